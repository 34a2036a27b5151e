// Every list file and Settings.ini fed malformed content on purpose: random
// bytes, truncated files, 1 MiB lines, no line ends, lone CR or LF, NUL bytes,
// UTF-16 text, numbers out of range. No reader crashes or hangs, each ends
// with its documented reaction or a reported error, and a clean that follows
// deletes nothing the lists do not name.
#include "cleaners/Cleaners.h"
#include "core/FileSearch.h"
#include "platform/ReportQueue.h"
#include "platform/Text.h"
#include "store/ListFiles.h"
#include "store/Settings.h"
#include "store/StartupSettings.h"
#include "support/RecorderUi.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

using namespace sorvane;

namespace {

constexpr int kCases = 1000;

std::string randomBytes(std::mt19937& rng, size_t n)
{
    std::string s(n, '\0');
    for (auto& c : s)
        c = static_cast<char>(rng() & 0xFF);
    return s;
}

// One malformed variant of a valid file, chosen by the case number.
std::string malformed(std::mt19937& rng, const std::string& valid, int i)
{
    switch (i % 9) {
    case 0: return randomBytes(rng, rng() % 2048);
    case 1: return valid.substr(0, rng() % (valid.size() + 1));  // truncated
    case 2: {
        if (i % 100 == 2)
            return std::string(1024 * 1024, static_cast<char>('a' + i % 26)) + "\r\n" + valid;  // a 1 MiB line
        return std::string(rng() % 70000, 'x');
    }
    case 3: {  // no line ends at all
        std::string s = valid;
        std::erase(s, '\r');
        std::erase(s, '\n');
        return s;
    }
    case 4: {  // lone CR or LF
        std::string s = valid;
        for (auto& c : s)
            if (c == '\n' && rng() % 2)
                c = '\r';
            else if (c == '\r' && rng() % 2)
                c = '\n';
        return s;
    }
    case 5: {  // NUL bytes in the middle of fields
        std::string s = valid;
        for (int k = 0; k < 4 && !s.empty(); ++k)
            s.insert(s.begin() + static_cast<long>(rng() % s.size()), '\0');
        return s;
    }
    case 6: {  // UTF-16 with its byte-order mark
        std::string s = "\xFF\xFE";
        for (char c : valid) {
            s += c;
            s += '\0';
        }
        return s;
    }
    case 7: {  // numbers out of range in every numeric place
        std::string s;
        for (char c : valid)
            s += (c >= '0' && c <= '9') ? std::string(i % 2 ? "99999999999999999999" : "-32769") : std::string(1, c);
        return s;
    }
    default: {  // valid lines mixed with random ones
        std::string s = valid;
        s.insert(rng() % (s.size() + 1), randomBytes(rng, rng() % 200) + "\r\n");
        return s;
    }
    }
}

class MalformedFiles : public ::testing::Test {
protected:
    MalformedFiles() { testenv::clearIgnoreLists(search); }
    // Feeds `file` kCases malformed variants of `valid`; `check` reads each one.
    void feed(const wchar_t* file, const std::string& valid, const std::function<void(int)>& check)
    {
        std::mt19937 rng(20261208);
        for (int i = 0; i < kCases; ++i) {
            testenv::writeFile(app.file(file), malformed(rng, valid, i));
            check(i);
            if (HasFatalFailure())
                return;
        }
        waitForReports(5000);
    }
    // A clean after a malformed list deletes only what the list names: none
    // of these guarded files is ever named.
    void guardedCleanAfter(int i, int store)
    {
        if (i % 50 != 0)
            return;
        sorvane::DeletionEngine deletion{ui, run, settings};
        CleanerContext ctx{ui, run, search, deletion, [](int) { return false; }};
        runCleaner(ctx, store, false);
        for (const auto& f : guarded)
            ASSERT_TRUE(testenv::exists(f)) << "case " << i;
    }
    void SetUp() override
    {
        for (const wchar_t* name : {L"keep1.tmp", L"keep2.txt", L"sub\\keep3.log"}) {
            guarded.push_back(dir.file(name));
            testenv::makeDir(guarded.back().substr(0, guarded.back().find_last_of(L'\\')));
            testenv::writeFile(guarded.back(), "guarded");
        }
    }

    testenv::ScopedAppFolder app;
    testenv::TempFolder dir;
    std::vector<std::wstring> guarded;
    RunState run;
    testenv::RecorderUi ui{run};
    FileSearch search{ui, run};
    DeleteSettings settings;
};

bool noLineBreaks(const std::vector<std::wstring>& lines)
{
    for (const auto& l : lines)
        if (l.find_first_of(L"\r\n") != std::wstring::npos)
            return false;
    return true;
}

} // namespace

TEST_F(MalformedFiles, IgnoreLists)
{
    feed(L"IFI.sol", "Data.BAK\r\nCalendar.TMP\r\nWIN.OLD\r\n", [&](int) {
        search.loadIgnoreFiles();
        ASSERT_TRUE(noLineBreaks(search.strIgnoreNames()));
        for (const auto& n : search.strIgnoreNames())
            ASSERT_FALSE(n.empty());
    });
    feed(L"IE.sol", "log\r\ntmp\r\nbak\r\n", [&](int) {
        search.loadIgnoreExtensions();
        ASSERT_TRUE(noLineBreaks(search.strIgnoreExtensions()));
    });
    feed(L"UDIFO.sol", "C:\\Temp\\keep\r\nCache\r\n", [&](int) {
        search.loadIgnoreFIles();
        ASSERT_TRUE(noLineBreaks(search.strIgnoreFolders()));
    });
}

TEST_F(MalformedFiles, UserDefinedFoldersAndFiles)
{
    feed(L"UDFO.sol", "C:\\nowhere\\one\\\r\nC:\\nowhere\\two\r\n", [&](int i) {
        const auto folders = loadFolderList(app.file(L"UDFO.sol"));
        ASSERT_TRUE(folders.has_value());
        ASSERT_TRUE(noLineBreaks(*folders));
        guardedCleanAfter(i, 1);
    });
    feed(L"UDFI.sol", "1\r\nC:\\nowhere\\a.txt\r\nC:\\nowhere\\b.txt\r\n", [&](int i) {
        const UserDefinedFiles list = loadUserDefinedFiles(app.file(L"UDFI.sol"));
        ASSERT_TRUE(noLineBreaks(list.files));
        guardedCleanAfter(i, 3);
    });
}

TEST_F(MalformedFiles, UnnecessaryFileRules)
{
    const std::string valid = "1\x01*.TMP\x01Temporary files\r\n0\x01~*.*\x01" "Backups\r\n1\x01" "FILE_ID.DIZ\r\n";
    for (const wchar_t* file : {L"UNFI.sol", L"DefUNFI.sol"}) {
        DeleteFileW(app.file(L"UNFI.sol").c_str());
        feed(file, valid, [&](int) {
            search.loadUnnecessaryFiles();
            for (const auto& p : search.strUnnecessaryPatterns())
                ASSERT_EQ(p.find_first_of(L"\x01\r\n"), std::wstring::npos);
            const auto rules = loadRules(app.file(L"UNFI.sol"), app.file(L"DefUNFI.sol"));
            for (size_t a = 0; a < rules.size(); ++a)
                for (size_t b = a + 1; b < rules.size(); ++b)
                    ASSERT_FALSE(iequals(rules[a].pattern, rules[b].pattern)) << "the pattern is the rule's key";
            // A malformed pattern matches what it matches, and never crashes.
            (void)search.matchesUnnecessaryRule(L"report~1.doc");
        });
    }
}

TEST_F(MalformedFiles, KeptCookies)
{
    feed(L"cookies.sol", "C:\\Cookies\\me@bank[1].txt\x01" "C:\\Cookies\\me@mail[2].txt\x01\r\n", [&](int) {
        for (const auto& c : loadKeptCookies(app.file(L"cookies.sol")))
            ASSERT_EQ(c.name.find(L'\\'), std::wstring::npos);
        (void)readKeptCookieText(app.file(L"cookies.sol"));
    });
}

TEST_F(MalformedFiles, SearchOptions)
{
    const std::string valid = " C:\\ Hard drive; D:\\ Hard drive;\r\n1 1\r\n1 01/02/2026 12/31/2026\r\n0 True False False "
                              "1000\r\n1 1 0\r\n";
    feed(L"search.sol", valid, [&](int) {
        search.loadOptions();
        const auto settings = loadSearchSettings(app.file(L"search.sol"));
        ASSERT_TRUE(settings.has_value());
        for (const auto& root : selectedRoots())
            ASSERT_FALSE(root.empty());
        if (search.options.bDateFilter) {
            ASSERT_TRUE(search.options.dtDateFrom.has_value()) << "a date filter always has its first day";
        }
    });
}

TEST_F(MalformedFiles, CheckItems)
{
    feed(L"checkItems.sol", "1,0,1,0,0,0,0,0,0,0,0,1,1,0,0,0,0,1,\r\n", [&](int) {
        CategoryStates states{};
        states.fill(0);
        loadCheckItems(app.file(L"checkItems.sol"), states);
        for (int v : states)
            ASSERT_TRUE(v == 0 || v == 1);
    });
}

TEST_F(MalformedFiles, SettingsFile)
{
    const std::string valid = "[General]\r\nDelMethod=W\r\nExtraS=1\r\nRename=0\r\nAutoClean=1\r\nDuration=2\r\nHM=0\r\n"
                              "StartupClean=0\r\n[Ignore]\r\nFiles=1\r\nExtensions=0\r\nFolders=1\r\n[Backup]\r\n"
                              "Path=C:\\Backup\\\r\n";
    feed(L"Settings.ini", valid, [&](int) {
        const DeleteSettings d = getDelete();
        ASSERT_GE(d.intDelMethod, kDelete);
        ASSERT_LE(d.intDelMethod, kBackup);
        ASSERT_FALSE(d.strBackupPath.empty());
        const GeneralSettings g = readGeneral();
        ASSERT_FALSE(g.startupClean && g.mintDuration < 0);
        ASSERT_GE(g.mintDuration, 0);
        search.loadOptions();
    });
}

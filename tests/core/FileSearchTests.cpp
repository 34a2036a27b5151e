#include "core/FileSearch.h"
#include "platform/Text.h"
#include "store/ListFiles.h"
#include "store/Settings.h"
#include "store/StartupSettings.h"
#include "support/RecorderUi.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace sorvane;
using testenv::RecorderUi;

namespace {

class SearchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        testenv::clearIgnoreLists(search);
    }
    std::wstring root() const { return dir.path() + L"\\"; }
    void file(const std::wstring& rel, std::string_view content = "x")
    {
        const std::wstring full = dir.path() + L"\\" + rel;
        testenv::makeDir(full.substr(0, full.find_last_of(L'\\')));
        testenv::writeFile(full, content);
    }
    std::vector<std::wstring> relFiles() const
    {
        std::vector<std::wstring> out;
        for (const auto& f : search.strFoundFiles())
            out.push_back(f.substr(root().size()));
        return out;
    }
    size_t indexOf(const std::wstring& rel) const
    {
        const auto files = relFiles();
        return static_cast<size_t>(std::find(files.begin(), files.end(), rel) - files.begin());
    }

    testenv::TempFolder dir;
    RunState run;
    RecorderUi ui{run};
    FileSearch search{ui, run};
};

} // namespace

TEST_F(SearchTest, ModeZeroFindsFilesBeforeSubfoldersAndRecordsFolders)
{
    file(L"A");
    file(L"S\\B");
    search.clearFoundLists();
    search.searchFiles(root(), L"*.*", kSearchAll);
    EXPECT_EQ(relFiles(), (std::vector<std::wstring>{L"A", L"S\\B"}));
    ASSERT_EQ(search.strFoundFolders().size(), 1u);
    EXPECT_EQ(search.strFoundFolders()[0], root() + L"S\\");
    EXPECT_EQ(search.lngFileIndex(), 1);
    EXPECT_EQ(search.lngFolderIndex(), 0);

    search.clearFoundLists();
    EXPECT_EQ(search.lngFileIndex(), -1);
    EXPECT_EQ(search.lngFolderIndex(), -1);
}

TEST_F(SearchTest, WalkIsDepthFirst)
{
    file(L"top1.txt");
    file(L"top2.txt");
    file(L"P\\p.txt");
    file(L"P\\Deep\\d.txt");
    file(L"Q\\q.txt");
    search.clearFoundLists();
    search.searchFiles(root(), L"*.*", kSearchAll);
    ASSERT_EQ(search.strFoundFiles().size(), 5u);
    EXPECT_LT(indexOf(L"top1.txt"), indexOf(L"P\\p.txt"));
    EXPECT_LT(indexOf(L"top2.txt"), indexOf(L"Q\\q.txt"));
    // A subfolder is searched completely before the next one starts.
    const size_t p = indexOf(L"P\\p.txt"), d = indexOf(L"P\\Deep\\d.txt"), q = indexOf(L"Q\\q.txt");
    EXPECT_LT(p, d);
    EXPECT_TRUE((q < p) || (q > d));
    EXPECT_EQ(search.strFoundFolders().size(), 3u);
}

// A mask takes whole names only: "job.urlx" has the short alias
// "JOB~1.URL" that the system's own matching would take for "*.url".
TEST_F(SearchTest, MaskLimitsFilesButEveryFolderIsWalked)
{
    file(L"a.url");
    file(L"b.txt");
    file(L"job.urlx");
    file(L"Sub\\c.URL");
    file(L"Sub\\d.txt");
    search.clearFoundLists();
    search.searchFiles(root(), L"*.url", kSearchAll);
    auto files = relFiles();
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::wstring>{L"Sub\\c.URL", L"a.url"}));
    auto names = filesInFolder(root(), L"*.url");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, std::vector<std::wstring>{L"a.url"});
}

TEST_F(SearchTest, IgnoreListsApplyOutsideModeZero)
{
    search.setIgnoreNames(defaultIgnoredFileNames());
    search.setIgnoreExtensions({L"log"});
    file(L"Default.PIF");
    file(L"x.LOG");
    file(L"README");
    file(L"keep.txt");

    search.clearFoundLists();
    search.searchFiles(root(), L"*.*", kSearchFiltered);
    auto files = relFiles();
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::wstring>{L"README", L"keep.txt"}));

    search.clearFoundLists();
    search.searchFiles(root(), L"*.*", kSearchAll);
    EXPECT_EQ(relFiles().size(), 4u) << "mode 0 applies no ignore test";
    EXPECT_TRUE(search.isIgnoredFileName(L"default.pif")) << "names are compared without regard to case";

    search.options.bIgnoreNames = false;
    search.options.bIgnoreExtensions = false;
    search.clearFoundLists();
    search.searchFiles(root(), L"*.*", kSearchFiltered);
    EXPECT_EQ(relFiles().size(), 4u) << "switched-off lists ignore nothing";
}

TEST_F(SearchTest, IgnoredFolderTextMatchesAnywhereButNeverTheStartFolder)
{
    // The start folder is searched even when its own path holds the text;
    // below it the whole path is tested, so start from a neutral name.
    const std::wstring start = dir.path() + L"\\Start\\";
    file(L"Start\\found.txt");
    file(L"Start\\TEMP\\skipped.txt");
    file(L"Start\\Attempt\\skipped.txt");
    file(L"Start\\Other\\found.txt");
    search.setIgnoreFolders({L"Temp"});
    search.clearFoundLists();
    search.searchFiles(start, L"*.*", kSearchFiltered);
    auto files = search.strFoundFiles();
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::wstring>{start + L"Other\\found.txt", start + L"found.txt"}));
    EXPECT_TRUE(search.strFoundFolders().empty()) << "filtered modes record no folders";

    file(L"MyTemp\\direct.txt");
    search.clearFoundLists();
    search.searchFiles(dir.path() + L"\\MyTemp\\", L"*.*", kSearchFiltered);
    EXPECT_EQ(search.strFoundFiles().size(), 1u) << "the start folder is never ignored";
    EXPECT_NE(std::find(ui.statuses.begin(), ui.statuses.end(), L"Gathering Files: " + start + L"Other\\"),
              ui.statuses.end());
}

TEST(IgnoreTests, NamesExtensionsAndFolders)
{
    RunState run;
    RecorderUi ui(run);
    FileSearch s(ui, run);
    s.setIgnoreNames({L"Data.BAK"});
    s.setIgnoreExtensions({L"tmp", L""});
    s.setIgnoreFolders({L"\\cache\\"});
    EXPECT_TRUE(s.isIgnoredFileName(L"data.bak"));
    EXPECT_FALSE(s.isIgnoredFileName(L"data.bak.old"));
    EXPECT_TRUE(s.isIgnoredExtension(L"X.TMP"));
    EXPECT_TRUE(s.isIgnoredExtension(L"trailing.")) << "an empty entry matches an empty extension";
    EXPECT_FALSE(s.isIgnoredExtension(L"NOEXTENSION"));
    EXPECT_TRUE(s.isIgnoredFolder(L"C:\\Users\\Me\\CACHE\\x\\"));
    EXPECT_FALSE(s.isIgnoredFolder(L"C:\\Users\\Me\\cached\\"));
    s.setIgnoreFolders({L""});
    EXPECT_TRUE(s.isIgnoredFolder(L"C:\\any\\")) << "an empty entry matches every folder";
}

TEST(Wildcards, PatternLanguage)
{
    EXPECT_FALSE(wildcardMatch(L"~*.*", L"NODOT"));
    EXPECT_TRUE(wildcardMatch(L"~*.*", L"~WRL0001.TMP"));
    EXPECT_TRUE(wildcardMatch(L"*.~*", L"REPORT.~DOC"));
    EXPECT_TRUE(wildcardMatch(L"FILE???._DD", L"FILE001._DD"));
    EXPECT_FALSE(wildcardMatch(L"FILE???._DD", L"FILE01._DD"));
    EXPECT_TRUE(wildcardMatch(L"*.BK#", L"A.BK7"));
    EXPECT_FALSE(wildcardMatch(L"*.BK#", L"A.BKX"));
    EXPECT_TRUE(wildcardMatch(L"*.[AB]AK", L"X.BAK"));
    EXPECT_FALSE(wildcardMatch(L"*.[!AB]AK", L"X.BAK"));
    EXPECT_TRUE(wildcardMatch(L"*.[!AB]AK", L"X.CAK"));
    EXPECT_TRUE(wildcardMatch(L"[A-C]*", L"BETA"));
    EXPECT_TRUE(wildcardMatch(L"*.??$", L"SETUP.EX$"));
    EXPECT_TRUE(wildcardMatch(L"*", L""));
    EXPECT_TRUE(wildcardMatch(L"*.*.*", L"A.B.C"));
    EXPECT_FALSE(wildcardMatch(L"*.TMP", L"A.TMP.BAK"));
    EXPECT_TRUE(wildcardMatch(L"IE4 ERRORLOG.TXT", L"IE4 ERRORLOG.TXT"));
    // A bracket list that never closes matches nothing, whatever follows.
    for (const wchar_t* broken : {L"[a-", L"[!", L"*.[", L"X[A-"})
        for (const wchar_t* name : {L"", L"A", L"[A-", L"[!", L"X.[", L"XA-"})
            EXPECT_FALSE(wildcardMatch(broken, name)) << "pattern " << toAnsi(broken) << " name " << toAnsi(name);

    RunState run;
    RecorderUi ui(run);
    FileSearch s(ui, run);
    s.setUnnecessaryPatterns({L"file???._dd", L"*.TMP"});
    EXPECT_TRUE(s.matchesUnnecessaryRule(L"FILE001._DD"));
    EXPECT_TRUE(s.matchesUnnecessaryRule(L"x.tmp"));
    EXPECT_FALSE(s.matchesUnnecessaryRule(L"x.tmpl"));
}

TEST(ReviewRowTexts, FileTimeAndAttributeLetters)
{
    SYSTEMTIME local{2026, 3, 0, 5, 15, 7, 9, 0};
    SYSTEMTIME utc{};
    TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc);
    FILETIME ft{};
    SystemTimeToFileTime(&utc, &ft);
    EXPECT_EQ(formatFileTime(ft), L"03/05/2026 3:07:09 PM");
    local.wHour = 0;
    TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc);
    SystemTimeToFileTime(&utc, &ft);
    EXPECT_EQ(formatFileTime(ft), L"03/05/2026 12:07:09 AM");

    EXPECT_EQ(attributeLetters(0), L"");
    EXPECT_EQ(attributeLetters(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_SYSTEM |
                               FILE_ATTRIBUTE_HIDDEN),
              L"RASH");
    EXPECT_EQ(attributeLetters(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY), L"RH");
}

TEST_F(SearchTest, EmptyFilesWithAttributeSkipsAndRows)
{
    file(L"empty.dat", "");
    file(L"full.dat", "data");
    file(L"ro.dat", "");
    file(L"hidden.dat", "");
    SetFileAttributesW((dir.path() + L"\\ro.dat").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW((dir.path() + L"\\hidden.dat").c_str(), FILE_ATTRIBUTE_HIDDEN);

    search.clearFoundLists();
    search.searchFiles(root(), L"*.*", kSearchEmpty);
    ASSERT_EQ(ui.rows.size(), 1u);
    EXPECT_EQ(ui.rows[0].name, L"empty.dat");
    EXPECT_EQ(ui.rows[0].size, 0u);
    EXPECT_EQ(ui.rows[0].folder, root());
    EXPECT_TRUE(parseDateText(ui.rows[0].dateTime).has_value());
    EXPECT_EQ(search.lngFileIndex(), 0) << "the review modes count rows";
    EXPECT_TRUE(search.strFoundFiles().empty());

    ui.rows.clear();
    search.options.bSkipReadOnly = false;
    search.options.bSkipHidden = false;
    search.clearFoundLists();
    search.searchFiles(root(), L"*.*", kSearchEmpty);
    EXPECT_EQ(ui.rows.size(), 3u);
    SetFileAttributesW((dir.path() + L"\\ro.dat").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(SearchTest, DateFilterTakesFilesAfterTheFirstDayUpToTheSecond)
{
    search.setUnnecessaryPatterns({L"*.TMP"});
    for (int day : {1, 2, 10, 11}) {
        const std::wstring name = L"d" + std::to_wstring(day) + L".tmp";
        file(name);
        testenv::setWriteTime(dir.file(name), 2026, 3, static_cast<WORD>(day));
    }
    search.options.bDateFilter = true;
    search.options.dtDateFrom = SYSTEMTIME{2026, 3, 0, 1, 0, 0, 0, 0};
    search.options.dtDateTo = SYSTEMTIME{2026, 3, 0, 10, 0, 0, 0, 0};
    search.clearFoundLists();
    search.searchFiles(root(), L"*.*", kSearchUnnecessary);
    std::vector<std::wstring> names;
    for (const auto& r : ui.rows)
        names.push_back(r.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"d10.tmp", L"d2.tmp"}));

    ui.rows.clear();
    const SYSTEMTIME today = localNow();
    file(L"today.tmp");
    search.options.dtDateFrom = today;
    search.options.dtDateTo = today;
    search.clearFoundLists();
    search.searchFiles(root(), L"*.*", kSearchUnnecessary);
    EXPECT_TRUE(ui.rows.empty()) << "both dates today: nothing is later than the first day";
}

TEST_F(SearchTest, DeadShortcutModeUsesTheInstalledTest)
{
    file(L"alive.lnk");
    file(L"dead.lnk");
    file(L"Sub\\dead2.lnk");
    file(L"notalink.txt");
    search.deadShortcutTest = [](const std::wstring& p) { return p.find(L"dead") != std::wstring::npos; };
    search.clearFoundLists();
    search.searchFiles(root(), L"*.lnk", kSearchDeadShortcuts);
    ASSERT_EQ(ui.rows.size(), 2u);
    // The dead-shortcut rows carry the fixed date form.
    const std::wstring& when = ui.rows[0].dateTime;
    ASSERT_GE(when.size(), 19u);
    EXPECT_TRUE(iendsWith(when, L" AM") || iendsWith(when, L" PM")) << std::string(when.begin(), when.end());
    EXPECT_EQ(ui.rows[0].dateTime[2], L'/');
    EXPECT_EQ(ui.rows[0].dateTime[5], L'/');
}

TEST_F(SearchTest, LinkedFoldersAreNeverEntered)
{
    // scripts/test.sh makes C:\sorvane-fixtures\cleaned\link pointing at ..\outside.
    const std::wstring cleaned = L"C:\\sorvane-fixtures\\cleaned\\";
    const DWORD attrs = GetFileAttributesW((cleaned + L"link").c_str());
    ASSERT_NE(attrs, INVALID_FILE_ATTRIBUTES) << "fixture missing";
    ASSERT_TRUE(attrs & FILE_ATTRIBUTE_REPARSE_POINT);
    search.clearFoundLists();
    search.searchFiles(cleaned, L"*.*", kSearchAll);
    for (const auto& f : search.strFoundFiles())
        EXPECT_EQ(f.find(L"\\link\\"), std::wstring::npos) << "found through the link";
    for (const auto& f : search.strFoundFolders())
        EXPECT_EQ(f.find(L"\\link\\"), std::wstring::npos);
}

TEST_F(SearchTest, StopEndsTheSearchWithItsAbortText)
{
    for (int i = 0; i < 40; ++i)
        file(L"F" + std::to_wstring(i) + L"\\f.txt");
    ui.rows.push_back({});
    ui.pressStopAfterPumps(1);
    search.clearFoundLists();
    search.searchFiles(root(), L"*.*", kSearchFiltered);
    EXPECT_LT(search.strFoundFiles().size(), 40u);
    ASSERT_FALSE(ui.stopCaptions.empty());
    EXPECT_EQ(ui.stopCaptions.back(), L"Aobrted by User");
    EXPECT_EQ(ui.stopCaptions.size(), 1u) << "one abort, however deep the walk";
    EXPECT_TRUE(ui.rows.empty()) << "the review rows gathered so far are dropped";
}

TEST_F(SearchTest, MissingOrUnreadableFolderYieldsNothing)
{
    search.clearFoundLists();
    search.searchFiles(root() + L"nope\\", L"*.*", kSearchAll);
    EXPECT_EQ(search.lngFileIndex(), -1);
    EXPECT_TRUE(ui.stopCaptions.empty());
}

TEST(SearchLoaders, DefaultsAndFiles)
{
    testenv::ScopedAppFolder app;
    RunState run;
    RecorderUi ui(run);
    FileSearch s(ui, run);
    s.loadAll();
    EXPECT_EQ(s.strIgnoreNames().size(), 17u);
    EXPECT_TRUE(s.strIgnoreExtensions().empty());
    EXPECT_TRUE(s.strIgnoreFolders().empty());
    EXPECT_TRUE(s.strUnnecessaryPatterns().empty());
    EXPECT_TRUE(s.options.bFileReference && s.options.bPathReference);
    EXPECT_FALSE(s.options.bDateFilter);
    EXPECT_TRUE(s.options.bSkipReadOnly && s.options.bSkipHidden && s.options.bSkipSystem);
    EXPECT_TRUE(s.options.bIgnoreNames && s.options.bIgnoreExtensions && s.options.bIgnoreFolders);

    testenv::writeFile(app.file(L"IFI.sol"), "");
    testenv::writeFile(app.file(L"IE.sol"), "log\r\n\r\ntmp\r\n");
    testenv::writeFile(app.file(L"UDIFO.sol"), "C:\\Keep\\\r\n");
    testenv::writeFile(app.file(L"DefUNFI.sol"), "1\x01*.TMP\x01t\r\n0\x01*.LOG\x01l\r\n2\x01*.OLD\x01o\r\nno soh\r\n");
    testenv::writeFile(app.file(L"search.sol"), " C:\\ Hard drive;\r\n0 0\r\n1 1/1/2026 3/1/2026\r\n0 False True False 1000\r\n0 1 0\r\n");
    writeSetting(L"Ignore", L"Extensions", L"0");
    s.loadAll();
    EXPECT_TRUE(s.strIgnoreNames().empty()) << "an existing empty IFI.sol ignores nothing";
    EXPECT_EQ(s.strIgnoreExtensions(), (std::vector<std::wstring>{L"log", L"tmp"}));
    EXPECT_EQ(s.strIgnoreFolders(), (std::vector<std::wstring>{L"C:\\Keep\\"}));
    EXPECT_EQ(s.strUnnecessaryPatterns(), (std::vector<std::wstring>{L"*.TMP"})) << "only the flag 1 loads a pattern";
    EXPECT_FALSE(s.options.bFileReference);
    EXPECT_FALSE(s.options.bPathReference);
    EXPECT_TRUE(s.options.bDateFilter);
    ASSERT_TRUE(s.options.dtDateTo.has_value());
    EXPECT_EQ(s.options.dtDateTo->wMonth, 3);
    EXPECT_FALSE(s.options.bSkipReadOnly);
    EXPECT_TRUE(s.options.bSkipHidden);
    EXPECT_FALSE(s.options.bSkipSystem);
    EXPECT_FALSE(s.options.bIgnoreExtensions);

    testenv::writeFile(app.file(L"search.sol"), "\r\nx y\r\n");
    s.loadOptions();
    EXPECT_TRUE(s.options.bFileReference) << "a bad search.sol gives the defaults";
    EXPECT_TRUE(s.options.bIgnoreExtensions) << "and all three ignore switches on";
}

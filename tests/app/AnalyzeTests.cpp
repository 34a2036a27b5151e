// Analyze over a made-up machine: every category decides as a clean would,
// nothing on the disk or in the registry changes, and what it measures is
// what the clean then removes.
#include "app/AnalysisWindow.h"
#include "app/CleanRun.h"
#include "cleaners/CleanupFixture.h"
#include "cleaners/WindowsCleanup.h"
#include "platform/Text.h"
#include "store/Settings.h"
#include "support/BrowserProfiles.h"
#include "support/PostedCalls.h"
#include "support/RecorderUi.h"
#include "support/TestEnv.h"
#include "win/ListColumns.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>

using namespace sorvane;
using namespace testenv;

namespace {

constexpr const wchar_t* kRunMru = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU";

// Every file below the folders with its bytes, every value of the keys.
std::map<std::wstring, std::string> snapshot(const std::vector<std::wstring>& folders,
                                             const std::vector<std::wstring>& keys)
{
    std::map<std::wstring, std::string> all;
    std::vector<std::wstring> pending = folders;
    while (!pending.empty()) {
        const std::wstring folder = pending.back();
        pending.pop_back();
        WIN32_FIND_DATAW fd;
        HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &fd);
        if (find == INVALID_HANDLE_VALUE)
            continue;
        do {
            const std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..")
                continue;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                pending.push_back(folder + L"\\" + name);
            else
                all[folder + L"\\" + name] = readFile(folder + L"\\" + name);
        } while (FindNextFileW(find, &fd));
        FindClose(find);
    }
    for (const auto& key : keys) {
        HKEY h = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
            continue;
        wchar_t name[256];
        BYTE data[1024];
        for (DWORD i = 0;; ++i) {
            DWORD n = 256, size = sizeof data, type = 0;
            if (RegEnumValueW(h, i, name, &n, nullptr, &type, data, &size) != ERROR_SUCCESS)
                break;
            all[key + L"\\" + name] = std::string(reinterpret_cast<char*>(data), size);
        }
        RegCloseKey(h);
    }
    return all;
}

const AnalysisRow* rowNamed(const std::vector<AnalysisRow>& rows, const std::wstring& name)
{
    for (const auto& row : rows)
        if (row.name == name)
            return &row;
    return nullptr;
}

// "<label> Files Deleted n Space Gained b Bytes" of the log, as {n, b}.
std::pair<int64_t, uint64_t> countedLine(const std::wstring& log, const std::wstring& label)
{
    const size_t at = log.find(label + L" Files Deleted ");
    if (at == std::wstring::npos)
        return {-1, 0};
    long long n = -1;
    unsigned long long b = 0;
    swscanf(log.c_str() + at + label.size(), L" Files Deleted %lld Space Gained %llu", &n, &b);
    return {n, b};
}

} // namespace

TEST(Analyze, ChangesNothingAndMeasuresWhatTheCleanThenRemoves)
{
    ScopedAppFolder app;
    TempFolder dir, local(TempFolder::Where::Profile), roaming(TempFolder::Where::Profile), logs;
    const auto plant = [](const std::wstring& path, const std::string& bytes) {
        makeDir(path.substr(0, path.find_last_of(L'\\')));
        writeFile(path, bytes);
        setWriteTime(path, 2020, 1, 1);
    };
    // Internet Explorer's cache and today's browsers under their folders.
    ScopedShellFolder cacheFolder(L"Cache", dir.file(L"IECache").c_str());
    ScopedShellFolder localFolder(L"Local AppData", local.path().c_str());
    ScopedShellFolder roamingFolder(L"AppData", roaming.path().c_str());
    plant(dir.file(L"IECache\\a.htm"), std::string(1000, 'a'));
    plant(dir.file(L"IECache\\sub\\b.gif"), std::string(536, 'b'));
    const std::wstring chrome = local.file(L"Google\\Chrome\\User Data");
    plant(chrome + L"\\Local State", R"({"profile":{"info_cache":{"Default":{}}}})");
    plant(chrome + L"\\Default\\Cache\\Cache_Data\\data_1", std::string(300, 'c'));
    makeChromiumHistory(chrome + L"\\Default\\History", {"https://a.example/", "https://b.example/"});
    makeDir(chrome + L"\\Default\\Network");
    makeChromiumCookies(chrome + L"\\Default\\Network\\Cookies", {".a.example", "b.example"});
    const std::wstring firefox = roaming.file(L"Mozilla\\Firefox");
    plant(firefox + L"\\profiles.ini", "[Profile0]\r\nIsRelative=1\r\nPath=Profiles/x.default\r\n");
    makeDir(firefox + L"\\Profiles\\x.default");
    // Firefox's stores in write-ahead-log mode: a writable connection would
    // fold the log in and remove it.
    makeFirefoxCookies(firefox + L"\\Profiles\\x.default\\cookies.sqlite", {".c.example"});
    makeFirefoxPlaces(firefox + L"\\Profiles\\x.default\\places.sqlite",
                      {{"https://a.example/", true}, {"https://b.example/"}, {"https://c.example/"}});
    ScopedRegValue typed(HKEY_CURRENT_USER, L"Software\\Microsoft\\Internet Explorer\\TypedURLs", L"url1",
                         L"http://x.example/");
    ScopedRegValue mruA(HKEY_CURRENT_USER, kRunMru, L"a", L"notepad\\1");
    ScopedRegValue mruList(HKEY_CURRENT_USER, kRunMru, L"MRUList", L"a");
    // Windows cleanup: the temporary folder only, with a young file and a
    // file in use beside the old ones, and the test handler.
    ScopedVariables vars({{L"LOCALAPPDATA", dir.file(L"Local")},
                          {L"ProgramData", dir.file(L"ProgramData")},
                          {L"WINDIR", dir.file(L"Windows")},
                          {L"TMP", dir.file(L"Temp")},
                          {L"TEMP", dir.file(L"Temp")}});
    plant(dir.file(L"Temp\\old1.tmp"), std::string(70, 't'));
    plant(dir.file(L"Temp\\deep\\old2.tmp"), std::string(30, 't'));
    writeFile(dir.file(L"Temp\\young.tmp"), "young");
    plant(dir.file(L"Temp\\inuse.tmp"), "held");
    for (const auto& item : knownCleanupItems())
        writeSetting(kWindowsCleanupSection, item.key, item.key == std::wstring(L"TempFiles") ? L"1" : L"0");
    std::optional<PlantedHandler> handler;
    wchar_t built[MAX_PATH] = {};
    const std::wstring handlerLog = logs.file(L"handler.log");
    if (GetEnvironmentVariableW(L"SORVANE_TEST_HANDLER", built, MAX_PATH)) {
        const std::wstring system = L"C:\\windows\\system32\\sorvane-test-handler.dll";
        ASSERT_TRUE(CopyFileW(built, system.c_str(), FALSE) || exists(system));
        handler.emplace(L"Sorvane Test Analyze", L"{5A0A0005-0000-4000-8000-000000000001}", HKEY_LOCAL_MACHINE,
                        L"%SystemRoot%\\system32\\sorvane-test-handler.dll", 10);
        const std::wstring key = std::wstring(kVolumeCachesKey) + L"\\" + handler->subkey;
        setDword(HKEY_LOCAL_MACHINE, key, L"TestSize", 4321);
        setText(HKEY_LOCAL_MACHINE, key, L"TestLog", handlerLog);
        writeSetting(kWindowsCleanupSection, L"Handler:Sorvane Test Analyze", L"1");
    }
    HANDLE held = CreateFileW(dir.file(L"Temp\\inuse.tmp").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    RunState run;
    RecorderUi ui{run};
    FileSearch search{ui, run};
    clearIgnoreLists(search);
    DeleteSettings settings;
    CleanRun clean{ui, run, search, settings};
    ui.checked = {2, 10, 11, 12, 14, 18};
    const std::vector<std::wstring> folders = {dir.path(), local.path(), roaming.path()};
    const std::vector<std::wstring> keys = {L"Software\\Microsoft\\Internet Explorer\\TypedURLs", kRunMru};
    const auto before = snapshot(folders, keys);

    clean.analyze();

    const auto after = snapshot(folders, keys);
    EXPECT_EQ(after.size(), before.size());
    for (const auto& [what, bytes] : before) {
        const auto found = after.find(what);
        EXPECT_TRUE(found != after.end() && found->second == bytes) << "Analyze changed " << toAnsi(what);
    }
    EXPECT_TRUE(ui.logs.empty()) << "no clean log";
    EXPECT_FALSE(run.analyzing) << "the next run deletes again";
    ASSERT_EQ(ui.analyses.size(), 1u);
    const auto rows = ui.analyses[0];
    for (const auto* name : {L"Cache", L"Cookies", L"History", L"Typed URL history", L"Run MRU", L"Windows cleanup",
                             L"Temporary files"})
        ASSERT_NE(rowNamed(rows, name), nullptr) << toAnsi(name);
    const AnalysisRow& temp = *rowNamed(rows, L"Temporary files");
    EXPECT_TRUE(temp.part);
    for (const auto& entry : temp.entries)
        EXPECT_TRUE(entry.what.find(L"young") == std::wstring::npos && entry.what.find(L"inuse") == std::wstring::npos)
            << "a clean leaves it: " << toAnsi(entry.what);
    if (handler) {
        EXPECT_EQ(readFile(handlerLog), "InitializeEx C:\\ Sorvane Test Analyze flags=0\nGetSpaceUsed callback\n"
                                        "Deactivate\n")
            << "asked for its size only";
    }
    DeleteFileW(handlerLog.c_str());

    clean.fullRun();
    CloseHandle(held);
    ASSERT_EQ(ui.logs.size(), 1u);
    const std::wstring& log = ui.logs[0];
    for (const auto& [name, label] : std::vector<std::pair<std::wstring, std::wstring>>{
             {L"Cache", L"Cleaned Cache...."}, {L"Cookies", L"Cleaned Cookies...."},
             {L"Temporary files", L"Cleaned Temporary files...."}}) {
        const AnalysisRow& row = *rowNamed(rows, name);
        const auto [files, bytes] = countedLine(log, label);
        EXPECT_EQ(row.items, files) << toAnsi(name) << "\n" << toAnsi(log);
        EXPECT_EQ(row.bytes, bytes) << toAnsi(name);
        EXPECT_GT(bytes, 0u) << toAnsi(name);
    }
    EXPECT_EQ(rowNamed(rows, L"Temporary files")->bytes, 100u);
    EXPECT_EQ(rowNamed(rows, L"Typed URL history")->items, 1);
    EXPECT_NE(log.find(L"Cleaned 1 Typed URL History"), std::wstring::npos);
    EXPECT_EQ(rowNamed(rows, L"Run MRU")->items, 2);
    EXPECT_NE(log.find(L"Cleaned 2 Run MRU values"), std::wstring::npos);
    // Firefox's history is cleared inside its file: the pages no bookmark keeps.
    const AnalysisRow& history = *rowNamed(rows, L"History");
    bool pages = false;
    for (const auto& entry : history.entries)
        pages = pages || entry.what.find(L"places.sqlite: 2 pages") != std::wstring::npos;
    EXPECT_TRUE(pages);
    EXPECT_NE(log.find(L"removed 2 pages from the history, kept 1 bookmarked"), std::wstring::npos) << toAnsi(log);
    if (handler) {
        EXPECT_EQ(rowNamed(rows, L"Display of Sorvane Test Analyze")->bytes, 4321u);
        EXPECT_NE(log.find(L"Display of Sorvane Test Analyze: freed 4321 bytes"), std::wstring::npos);
    }
    const AnalysisRow& category = *rowNamed(rows, L"Windows cleanup");
    EXPECT_EQ(category.bytes, 100u + (handler ? 4321u : 0u)) << "a category of items sums them";
    EXPECT_EQ(analyzedSizes()[L"TempFiles"], 100u) << "the Windows Cleanup window's Size column";
    EXPECT_FALSE(exists(dir.file(L"Temp\\old1.tmp")));
    EXPECT_TRUE(exists(dir.file(L"Temp\\young.tmp")));

    // The user's own folders (the temporary folder by default) come first in
    // a clean: Windows cleanup finds nothing of theirs left, and the total
    // counts each file once.
    plant(dir.file(L"Temp\\again.tmp"), std::string(10, 'a'));
    ui.checked = {1, 18};
    clean.analyze();
    ASSERT_EQ(ui.analyses.size(), 2u);
    EXPECT_EQ(rowNamed(ui.analyses[1], L"Temporary files")->items, 0);
    const auto& entries = rowNamed(ui.analyses[1], L"User defined folders")->entries;
    EXPECT_TRUE(std::any_of(entries.begin(), entries.end(),
                            [&](const FoundEntry& e) { return e.what == dir.file(L"Temp\\again.tmp"); }));
    // Stop during an Analyze ends it as it ends a clean: no window, nothing
    // left in analysis mode.
    ui.pressStopAfterPumps(ui.pumps + 1);
    clean.analyze();
    EXPECT_EQ(ui.analyses.size(), 2u);
    EXPECT_EQ(ui.statuses.back(), L"Aborted by user");
    EXPECT_FALSE(run.analyzing);
    EXPECT_TRUE(exists(dir.file(L"Temp\\again.tmp")));
}

// The window: a category's items indented below it, the total of the
// categories alone, and a double-click lists a category's files and keys
// with those of its items.
TEST(AnalysisWindow, TotalsTheCategoriesAndListsARowsEntries)
{
    std::vector<AnalysisRow> rows(4);
    rows[0].name = L"Run MRU";
    rows[0].items = 2;
    rows[0].entries = {{L"HKEY_CURRENT_USER\\Software\\x\\a", 0}, {L"HKEY_CURRENT_USER\\Software\\x\\b", 0}};
    rows[1].name = L"Windows cleanup";
    rows[1].items = 2;
    rows[1].bytes = 3 * 1024 * 1024;
    rows[2] = {L"Temporary files", true, 1, 1024 * 1024, {{L"C:\\t\\a.tmp", 1024 * 1024}}};
    rows[3] = {L"Display of a handler", true, 1, 2 * 1024 * 1024, {{L"Display of a handler", 2 * 1024 * 1024}}};
    AnalysisWindow window(rows);
    std::vector<std::pair<std::wstring, size_t>> shown;
    window.showEntries = [&](HWND, const std::wstring& title, const std::vector<FoundEntry>& entries) {
        shown.emplace_back(title, entries.size());
    };
    PostedCalls calls;
    calls.post([&] {
        HWND lv = window.list();
        ASSERT_EQ(ListView_GetItemCount(lv), 5);
        EXPECT_EQ(win::cellText(lv, 2, 0), L"      Temporary files");
        EXPECT_EQ(win::cellText(lv, 4, 0), L"Total");
        EXPECT_EQ(win::cellText(lv, 4, 1), L"4") << "the items' rows are inside their category's";
        EXPECT_EQ(win::cellText(lv, 4, 2), L"3 MB");
        for (int row : {1, 2, 4}) {
            NMITEMACTIVATE click{};
            click.hdr = {lv, static_cast<UINT_PTR>(GetDlgCtrlID(lv)), static_cast<UINT>(NM_DBLCLK)};
            click.iItem = row;
            SendMessageW(window.hwnd(), WM_NOTIFY, click.hdr.idFrom, reinterpret_cast<LPARAM>(&click));
        }
        PostMessageW(window.hwnd(), WM_COMMAND, IDCANCEL, 0);
    });
    window.show(GetModuleHandleW(nullptr), nullptr);
    EXPECT_EQ(shown, (std::vector<std::pair<std::wstring, size_t>>{{L"Sorvane - Analysis - Windows cleanup", 2},
                                                                    {L"Sorvane - Analysis - Temporary files", 1}}))
        << "the total row lists nothing";
}

// The registry scan windows on real keys of the test prefix, driven through
// their buttons; every Delete leaves a registry file that `reg import` puts
// back exactly.
#include "platform/RegFile.h"
#include "platform/Registry.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "resource.h"
#include "store/RegistryUndo.h"
#include "support/PostedCalls.h"
#include "support/RegTestSupport.h"
#include "support/TestEnv.h"
#include "tools/ScanWindow.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <map>
#include <set>

using namespace sorvane;
using namespace testenv;

namespace {

// A scan window driven from its own message loop.
class ScanTest : public ::testing::Test {
protected:
    ScanTest()
    {
        writeFile(app.file(L"Settings.ini"), "[Backup]\r\nPath=" + toAnsi(backups.path()) + "\\\r\n");
    }
    void press(ScanWindow& w, int id) { SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    void then(std::function<void()> f) { calls.post(std::move(f)); }
    // Runs the window with `script` posted before it opens; answers its boxes.
    void run(ScanWindow& w, std::function<void()> script)
    {
        w.setAsk([this](HWND, const std::wstring& text, unsigned) {
            asked.push_back(text);
            if (answers.empty())
                return IDYES;
            const int a = answers.front();
            answers.erase(answers.begin());
            return a;
        });
        // Close comes from the script's own end: a Close waiting in the queue
        // would be served by the first yield of a scan.
        then([&w, script = std::move(script)] {
            script();
            PostMessageW(w.hwnd(), WM_COMMAND, IDC_scan_cmdClose, 0);
        });
        w.show(GetModuleHandleW(nullptr), nullptr);
    }
    // The row whose first column reads `first`; -1 when there is none.
    int rowOf(ScanWindow& w, const std::wstring& first)
    {
        for (int i = 0; i < ListView_GetItemCount(w.listView()); ++i)
            if (text(w, i, 0) == first)
                return i;
        return -1;
    }
    // That row alone selected and focused.
    void selectRow(ScanWindow& w, int row)
    {
        ListView_SetItemState(w.listView(), -1, 0, LVIS_SELECTED);
        ListView_SetItemState(w.listView(), row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    }
    // Rows whose column `column` is one of ours; every other row unticked.
    std::vector<int> keepOnly(ScanWindow& w, int column, const std::wstring& prefix)
    {
        std::vector<int> ours;
        HWND list = w.listView();
        for (int i = 0; i < ListView_GetItemCount(list); ++i) {
            wchar_t buf[1024] = {};
            ListView_GetItemText(list, i, column, buf, 1024);
            const bool mine = std::wstring(buf).find(prefix) != std::wstring::npos;
            w.setRowChecked(i, mine);
            if (mine)
                ours.push_back(i);
        }
        return ours;
    }
    std::wstring status(ScanWindow& w)
    {
        wchar_t buf[1024] = {};
        GetDlgItemTextW(w.hwnd(), IDC_scan_lblStatus, buf, 1024);
        return buf;
    }
    // The status after a change: its text, then where the undo file went.
    void expectStatusAfterChange(ScanWindow& w, const std::wstring& text)
    {
        ASSERT_FALSE(w.lastBackup().empty());
        EXPECT_EQ(status(w), text + L"    Undo file: " + w.lastBackup());
    }
    std::wstring text(ScanWindow& w, int row, int column)
    {
        wchar_t buf[1024] = {};
        ListView_GetItemText(w.listView(), row, column, buf, 1024);
        return buf;
    }

    ScopedAppFolder app;
    TempFolder backups;
    TempFolder dir;
    PostedCalls calls;
    std::vector<std::wstring> asked;
    std::vector<int> answers;
};

const std::wstring kTag = L"SorvaneTest";

} // namespace

TEST_F(ScanTest, ActiveXListsWhatIsNotInstalledAndDeletesWholeKeysThatImportBack)
{
    const std::wstring base = kActiveSetupKey;
    const auto comp = [&](const std::wstring& n) { return base + kTag + n; };
    setText(HKEY_LOCAL_MACHINE, comp(L"Dword1"), L"", L"Installed one");
    setDword(HKEY_LOCAL_MACHINE, comp(L"Dword1"), L"IsInstalled", 1);
    setText(HKEY_LOCAL_MACHINE, comp(L"Dword0"), L"", L"Dword zero");
    setDword(HKEY_LOCAL_MACHINE, comp(L"Dword0"), L"IsInstalled", 0);
    setText(HKEY_LOCAL_MACHINE, comp(L"Missing"), L"", L"No IsInstalled");
    setText(HKEY_LOCAL_MACHINE, comp(L"Missing"), L"StubPath", L"C:\\gone\\stub.exe /x");
    setText(HKEY_LOCAL_MACHINE, comp(L"String1"), L"", L"String one");
    setText(HKEY_LOCAL_MACHINE, comp(L"String1"), L"IsInstalled", L"1");
    setDword(HKEY_LOCAL_MACHINE, comp(L"NoName"), L"IsInstalled", 0);
    // The first byte decides, not the first two: 01 05 is installed.
    setText(HKEY_LOCAL_MACHINE, comp(L"Binary15"), L"", L"Binary one five");
    const unsigned char oneFive[] = {1, 5};
    setValue(HKEY_LOCAL_MACHINE, comp(L"Binary15"), L"IsInstalled", REG_BINARY, oneFive, sizeof oneFive);
    // Everything a registry file must carry back, below a listed component.
    const std::wstring deep = comp(L"Missing") + L"\\Sub key \"quoted\"\\deeper";
    setText(HKEY_LOCAL_MACHINE, deep, L"name with \\ and \" and blanks", L"data \\ with \"quotes\"");
    setText(HKEY_LOCAL_MACHINE, deep, L"expand", L"%SystemRoot%\\x", REG_EXPAND_SZ);
    const wchar_t multi[] = L"one\0two words\0\0";
    setValue(HKEY_LOCAL_MACHINE, deep, L"multi", REG_MULTI_SZ, multi, sizeof multi);
    const unsigned char bin[] = {0, 1, 2, 0xFE, 0xFF, 0x80, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 9};
    setValue(HKEY_LOCAL_MACHINE, deep, L"binary", REG_BINARY, bin, sizeof bin);
    const unsigned long long q = 0x1122334455667788ull;
    setValue(HKEY_LOCAL_MACHINE, deep, L"qword", REG_QWORD, &q, sizeof q);
    const wchar_t odd[] = L"no terminator";
    setValue(HKEY_LOCAL_MACHINE, deep, L"unterminated", REG_SZ, odd, sizeof odd - sizeof(wchar_t));
    setText(HKEY_LOCAL_MACHINE, deep, L"", L"default of the deep key");
    const Snapshot before = snapshot(HKEY_LOCAL_MACHINE, comp(L"Missing"));

    ActiveXWindow w;
    run(w, [&] {
        press(w, IDC_scan_cmdFind);
        std::set<std::wstring> mine;
        for (int i : keepOnly(w, 3, kTag))
            mine.insert(text(w, i, 3));
        EXPECT_EQ(mine, (std::set<std::wstring>{kTag + L"Dword0", kTag + L"Missing", kTag + L"String1"}));
        for (int i : keepOnly(w, 3, kTag + L"Missing")) {
            EXPECT_EQ(text(w, i, 1), L"False");
            EXPECT_EQ(text(w, i, 2), L"C:\\gone\\stub.exe /x");
        }
        EXPECT_NE(status(w).find(L" orphaned Activex entries"), std::wstring::npos);
        answers = {IDNO};
        press(w, IDC_scan_cmdDelete);
        EXPECT_TRUE(regKeyExists(HKEY_LOCAL_MACHINE, comp(L"Missing"))) << "No changes nothing";
        press(w, IDC_scan_cmdDelete);
    });
    EXPECT_EQ(asked, (std::vector<std::wstring>{L"Are you sure you want to delete the checked item(s)",
                                                L"Are you sure you want to delete the checked item(s)"}));
    EXPECT_FALSE(regKeyExists(HKEY_LOCAL_MACHINE, comp(L"Missing"))) << "removed with all its subkeys";
    EXPECT_TRUE(regKeyExists(HKEY_LOCAL_MACHINE, comp(L"Dword0"))) << "an unticked row stays";
    ASSERT_FALSE(w.lastBackup().empty());
    EXPECT_EQ(w.lastBackup().find(backups.path()), 0u);
    const std::string file = readFile(w.lastBackup());
    ASSERT_GE(file.size(), 2u);
    EXPECT_EQ(file.substr(0, 2), "\xFF\xFE") << "UTF-16 with its byte-order mark";
    ASSERT_TRUE(regImport(w.lastBackup()));
    EXPECT_EQ(snapshot(HKEY_LOCAL_MACHINE, comp(L"Missing")), before) << "every key and value as it was";
    for (const wchar_t* n : {L"Dword1", L"Dword0", L"Missing", L"String1", L"NoName", L"Binary15"})
        removeKey(HKEY_LOCAL_MACHINE, comp(n));
}

TEST_F(ScanTest, NothingIsDeletedWithoutATickOrWithoutItsBackup)
{
    const std::wstring key = std::wstring(kActiveSetupKey) + kTag + L"Kept";
    setText(HKEY_LOCAL_MACHINE, key, L"", L"kept");
    ActiveXWindow w;
    run(w, [&] {
        press(w, IDC_scan_cmdFind);
        keepOnly(w, 3, L"no row has this");
        press(w, IDC_scan_cmdDelete);
        EXPECT_EQ(asked, (std::vector<std::wstring>{L"Please check atleast one item to delete."}));
        keepOnly(w, 3, kTag + L"Kept");
        // A backup folder that cannot be made: the key must stay.
        writeFile(dir.file(L"file"), "x");
        writeFile(app.file(L"Settings.ini"), "[Backup]\r\nPath=" + toAnsi(dir.file(L"file")) + "\\sub\\\r\n");
        asked.clear();
        press(w, IDC_scan_cmdDelete);
    });
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_NE(asked[1].find(L"nothing was deleted"), std::wstring::npos);
    EXPECT_TRUE(regKeyExists(HKEY_LOCAL_MACHINE, key));

    // A key deleted by someone else between Find and Delete: nothing to lose,
    // no failure, and the list is scanned again.
    writeFile(app.file(L"Settings.ini"), "[Backup]\r\nPath=" + toAnsi(backups.path()) + "\\\r\n");
    ActiveXWindow again;
    asked.clear();
    run(again, [&] {
        press(again, IDC_scan_cmdFind);
        ASSERT_EQ(keepOnly(again, 3, kTag + L"Kept").size(), 1u);
        removeKey(HKEY_LOCAL_MACHINE, key);
        press(again, IDC_scan_cmdDelete);
        EXPECT_TRUE(keepOnly(again, 3, kTag + L"Kept").empty());
    });
    EXPECT_EQ(asked, (std::vector<std::wstring>{L"Are you sure you want to delete the checked item(s)"}));
    EXPECT_FALSE(again.lastBackup().empty());
}

TEST_F(ScanTest, AppPathsQuotesPercentFoldersEditAndTheFileCheckBox)
{
    const std::wstring base = std::wstring(kAppPathsKey) + L"\\";
    writeFile(dir.file(L"here.exe"), "MZ");
    setText(HKEY_LOCAL_MACHINE, base + kTag + L"Quoted.exe", L"", L"\"" + dir.file(L"here.exe") + L"\"");
    setText(HKEY_LOCAL_MACHINE, base + kTag + L"Gone.exe", L"", L"\"" + dir.file(L"gone.exe") + L"\"");
    setText(HKEY_LOCAL_MACHINE, base + kTag + L"Percent.exe", L"", L"%ProgramFiles%\\nowhere.exe");
    setText(HKEY_LOCAL_MACHINE, base + kTag + L"Folder.exe", L"", dir.path());
    setText(HKEY_LOCAL_MACHINE, base + kTag + L"Edited.exe", L"", dir.file(L"old.exe"));
    setText(HKEY_LOCAL_MACHINE, base + kTag + L"Kept.exe", L"", dir.file(L"kept.exe"));
    AppPathWindow w;
    w.setDialogs([&](HWND owner, win::Dialog& d, int id) {
        HWND h = d.createModeless(GetModuleHandleW(nullptr), id, owner);
        SetDlgItemTextW(h, IDC_edit_txtPath, dir.file(L"here.exe").c_str());
        SendMessageW(h, WM_COMMAND, IDC_edit_cmdOk, 0);
        DestroyWindow(h);
    });
    run(w, [&] {
        press(w, IDC_scan_cmdFind);
        std::map<std::wstring, std::wstring> rows;
        for (int i : keepOnly(w, 0, kTag))
            rows[text(w, i, 0)] = text(w, i, 1);
        EXPECT_EQ(rows, (std::map<std::wstring, std::wstring>{{kTag + L"Gone.exe", dir.file(L"gone.exe")},
                                                              {kTag + L"Edited.exe", dir.file(L"old.exe")},
                                                              {kTag + L"Kept.exe", dir.file(L"kept.exe")}}));
        // Edit the selected row: the path now exists, so it goes from the list.
        const auto edited = keepOnly(w, 0, kTag + L"Edited.exe");
        ListView_SetItemState(w.listView(), edited.at(0), LVIS_SELECTED, LVIS_SELECTED);
        press(w, IDC_scan_cmdEdit);
        EXPECT_TRUE(keepOnly(w, 0, kTag + L"Edited.exe").empty());
        // The files appear after the scan; only the ticked box deletes one.
        writeFile(dir.file(L"kept.exe"), "MZ");
        keepOnly(w, 0, kTag + L"Kept.exe");
        press(w, IDC_scan_cmdDelete);
        ASSERT_EQ(keepOnly(w, 0, kTag + L"Gone.exe").size(), 1u);
        writeFile(dir.file(L"gone.exe"), "MZ");
        CheckDlgButton(w.hwnd(), IDC_scan_chkDelete, BST_CHECKED);
        press(w, IDC_scan_cmdDelete);
    });
    EXPECT_EQ(getRegString(HKEY_LOCAL_MACHINE, base + kTag + L"Edited.exe", L""), dir.file(L"here.exe"));
    EXPECT_FALSE(regKeyExists(HKEY_LOCAL_MACHINE, base + kTag + L"Kept.exe"));
    EXPECT_TRUE(exists(dir.file(L"kept.exe"))) << "without the check box no file is deleted";
    EXPECT_FALSE(regKeyExists(HKEY_LOCAL_MACHINE, base + kTag + L"Gone.exe"));
    EXPECT_FALSE(exists(dir.file(L"gone.exe")));
    for (const wchar_t* n : {L"Quoted.exe", L"Gone.exe", L"Percent.exe", L"Folder.exe", L"Edited.exe", L"Kept.exe"})
        removeKey(HKEY_LOCAL_MACHINE, base + kTag + n);
    EXPECT_EQ(EditPathDialog::browseFilter(L"app.exe"), L"*.exe|*.exe");
    EXPECT_EQ(EditPathDialog::browseFilter(L"noext"), L"");
    EXPECT_EQ(EditPathDialog::folderOfChosen(L"C:\\Tools\\app.exe"), L"C:\\Tools\\");
}

TEST_F(ScanTest, SharedDllsCountsStopAndDeletingTwoOfThree)
{
    writeFile(dir.file(L"present.dll"), "MZ");
    const std::wstring gone1 = dir.file(L"gone1.dll"), gone2 = dir.file(L"gone2.dll"), gone3 = dir.file(L"gone3.dll");
    setDword(HKEY_LOCAL_MACHINE, kSharedDllsKey, dir.file(L"present.dll"), 0);
    setDword(HKEY_LOCAL_MACHINE, kSharedDllsKey, dir.file(L"used.dll"), 1);
    for (const auto& g : {gone1, gone2, gone3})
        setDword(HKEY_LOCAL_MACHINE, kSharedDllsKey, g, 0);
    setText(HKEY_LOCAL_MACHINE, kSharedDllsKey, dir.file(L"text.dll"), L"0");
    SharedDllWindow w;
    run(w, [&] {
        // Stop, posted before Find, is served by the scan's first yield.
        PostMessageW(w.hwnd(), WM_COMMAND, IDC_scan_cmdStop, 0);
        press(w, IDC_scan_cmdFind);
        EXPECT_EQ(status(w), L"Aborted by user");
        EXPECT_EQ(SendDlgItemMessageW(w.hwnd(), IDC_scan_pgKeys, PBM_GETPOS, 0, 0), 0);
        press(w, IDC_scan_cmdFind);
        const std::wstring after = status(w);
        const auto mine = keepOnly(w, 1, dir.path());
        ASSERT_EQ(mine.size(), 3u) << "count 0 and no file; not a present file, a count of 1 or a text value";
        const size_t entries = std::stoul(after.substr(0, after.find(L' ')));
        w.setRowChecked(mine[2], false);
        const int rowsBefore = ListView_GetItemCount(w.listView());
        press(w, IDC_scan_cmdDelete);
        EXPECT_EQ(ListView_GetItemCount(w.listView()), rowsBefore - 2) << "the rows go at once, no rescan";
        expectStatusAfterChange(w, dllStatus(entries - 2, static_cast<size_t>(rowsBefore - 2)));
    });
    int left = 0;
    for (const auto& g : {gone1, gone2, gone3})
        left += regValueExists(HKEY_LOCAL_MACHINE, kSharedDllsKey, g);
    EXPECT_EQ(left, 1);
    for (const auto& n : {dir.file(L"present.dll"), dir.file(L"used.dll"), gone1, gone2, gone3, dir.file(L"text.dll")})
        deleteRegValues(HKEY_LOCAL_MACHINE, n, kSharedDllsKey);
}

TEST_F(ScanTest, HelpFilesUnderBothKeysTrailingBackslashAndEdit)
{
    makeDir(dir.file(L"help"));
    writeFile(dir.file(L"help\\real.hlp"), "help");
    const std::wstring name = kTag + L"Missing.chm";
    setText(HKEY_LOCAL_MACHINE, kHelpKey, name, dir.path());  // no trailing backslash
    setText(HKEY_LOCAL_MACHINE, kHtmlHelpKey, name, dir.path() + L"\\");
    setText(HKEY_LOCAL_MACHINE, kHelpKey, kTag + L"Empty.hlp", L"");
    setText(HKEY_LOCAL_MACHINE, kHelpKey, L"real.hlp" + kTag, dir.file(L"help"));
    writeFile(dir.file(L"help\\real.hlp" + kTag), "x");
    HelpWindow w;
    w.setDialogs([&](HWND owner, win::Dialog& d, int id) {
        HWND h = d.createModeless(GetModuleHandleW(nullptr), id, owner);
        SetDlgItemTextW(h, IDC_edit_txtPath, (dir.file(L"help") + L"\\").c_str());
        SendMessageW(h, WM_COMMAND, IDC_edit_cmdOk, 0);
        DestroyWindow(h);
    });
    writeFile(dir.file(L"help\\") + name, "now it exists in the edited folder");
    run(w, [&] {
        press(w, IDC_scan_cmdFind);
        const auto mine = keepOnly(w, 0, kTag);
        ASSERT_EQ(mine.size(), 2u) << "listed once per key";
        EXPECT_EQ(text(w, mine[0], 1), dir.path() + L"\\");
        std::set<std::wstring> keys{text(w, mine[0], 2), text(w, mine[1], 2)};
        EXPECT_EQ(keys, (std::set<std::wstring>{kHelpKey, kHtmlHelpKey}));
        // Edit the HTML Help entry to the folder that holds the file.
        const int html = text(w, mine[0], 2) == kHtmlHelpKey ? mine[0] : mine[1];
        ListView_SetItemState(w.listView(), -1, 0, LVIS_SELECTED);
        ListView_SetItemState(w.listView(), html, LVIS_SELECTED, LVIS_SELECTED);
        press(w, IDC_scan_cmdEdit);
        const auto left = keepOnly(w, 0, kTag);
        ASSERT_EQ(left.size(), 1u);
        EXPECT_EQ(text(w, left[0], 2), kHelpKey);
        press(w, IDC_scan_cmdDelete);
        EXPECT_TRUE(keepOnly(w, 0, kTag).empty());
    });
    EXPECT_FALSE(regValueExists(HKEY_LOCAL_MACHINE, kHelpKey, name));
    EXPECT_EQ(getRegString(HKEY_LOCAL_MACHINE, kHtmlHelpKey, name), dir.file(L"help") + L"\\");
    for (const wchar_t* k : {kHelpKey, kHtmlHelpKey})
        for (const auto& n : {name, kTag + L"Empty.hlp", L"real.hlp" + kTag})
            deleteRegValues(HKEY_LOCAL_MACHINE, n, k);
}

TEST(InvalidReferences, TheSevenTestsInOrder)
{
    const std::wstring drives = std::wstring(L"C:\\\0D:\\\0", 8);
    EXPECT_TRUE(InvalidReferenceWalk::judged(L"C:\\gone\\file.txt", drives));
    EXPECT_FALSE(InvalidReferenceWalk::judged(L"c:\\gone\\file.txt", drives)) << "the drive test is exact";
    EXPECT_FALSE(InvalidReferenceWalk::judged(L"Q:\\gone.txt", drives)) << "no such drive";
    EXPECT_FALSE(InvalidReferenceWalk::judged(L"C:", drives));
    for (const wchar_t* skipped : {L"C:\\a-b\\x.txt", L"C:\\x.exe /s", L"C:\\\"q\"", L"C:\\a,b"})
        EXPECT_FALSE(InvalidReferenceWalk::judged(skipped, drives)) << toAnsi(skipped);
}

TEST_F(ScanTest, InvalidFileReferencesWalkListSortStopAndDelete)
{
    TestKey key;
    // A folder whose path has no "-" (the temporary folders' names have one).
    const std::wstring folder = L"C:\\SorvaneInvalidRefs";
    makeDir(folder);
    const std::wstring gone = folder + L"\\gone.txt";
    writeFile(folder + L"\\here.txt", "x");
    key.setString(L"App", L"zeta", folder + L"\\missing-not.txt");  // "-": never judged
    key.setString(L"App", L"beta", gone);
    key.setString(L"App", L"short", L"C:");
    key.setString(L"App", L"present", folder + L"\\here.txt");
    key.setString(L"App", L"lower", L"c" + gone.substr(1));
    key.setString(L"App\\Deep", L"", folder + L"\\gone2.txt");  // a default value
    key.setString(L"App\\Deep", L"alpha", folder + L"\\gone3.txt");
    InvalidFileWindow w;
    w.startPath = key.path();
    bool boxesFilled = false;
    run(w, [&] {
        press(w, IDC_scan_cmdFind);
        const int n = ListView_GetItemCount(w.listView());
        ASSERT_EQ(n, 3) << "beta, the default value and alpha";
        // Sorted by the value name, rows unticked.
        EXPECT_EQ(text(w, 0, 1), L"");
        EXPECT_EQ(text(w, 1, 1), L"alpha");
        EXPECT_EQ(text(w, 2, 1), L"beta");
        EXPECT_EQ(text(w, 2, 0), L"HKEY_CURRENT_USER:" + key.path() + L"\\App\\");
        EXPECT_FALSE(w.anyItemChecked());
        wchar_t buf[256] = {};
        GetWindowTextW(GetDlgItem(w.hwnd(), 1740), buf, 256);
        EXPECT_STREQ(buf, L"3 Invalid references");
        // A selected row fills the three boxes.
        ListView_SetItemState(w.listView(), 2, LVIS_SELECTED, LVIS_SELECTED);
        GetWindowTextW(GetDlgItem(w.hwnd(), 1743), buf, 256);
        boxesFilled = std::wstring(buf) == gone;
        w.setRowChecked(2, true);
        press(w, IDC_scan_cmdDelete);
        EXPECT_EQ(ListView_GetItemCount(w.listView()), 2);
        wchar_t after[1024] = {};
        GetWindowTextW(GetDlgItem(w.hwnd(), 1740), after, 1024);
        EXPECT_EQ(std::wstring(after), L"2 Invalid references    Undo file: " + w.lastBackup());
        // Stop, posted before Find, ends the walk at its first key.
        PostMessageW(w.hwnd(), WM_COMMAND, IDC_scan_cmdStop, 0);
        Sleep(20);
        press(w, IDC_scan_cmdFind);
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(w.hwnd(), IDC_scan_cmdStop)));
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(w.hwnd(), IDC_scan_cmdFind)));
    });
    EXPECT_TRUE(boxesFilled);
    EXPECT_FALSE(key.valueExists(L"App", L"beta"));
    EXPECT_TRUE(key.valueExists(L"App\\Deep", L"alpha"));
    EXPECT_FALSE(w.lastBackup().empty());
    removeTree(folder);
}

// Stop pressed while the walk is half way: what it found stays, sorted, and
// can be deleted.
TEST_F(ScanTest, InvalidFileReferencesStoppedHalfWayKeepTheirFindings)
{
    TestKey key;
    constexpr int kKeys = 1500;
    for (int i = 0; i < kKeys; ++i) {
        wchar_t sub[16];
        swprintf(sub, 16, L"K%04d", i);
        key.setString(sub, L"v" + std::to_wstring(kKeys - i), L"C:\\SorvaneStopWalk\\gone" + std::to_wstring(i) + L".txt");
    }
    InvalidFileWindow w;
    w.startPath = key.path();
    std::atomic<bool> done{false}, stopped{false};
    int found = 0;
    bool deleteOn = false, sorted = true;
    run(w, [&] {
        // Presses Stop once the walk's progress shows it past a third.
        std::thread watcher([&] {
            wchar_t buf[512];
            while (!done) {
                buf[0] = 0;
                SendMessageTimeoutW(GetDlgItem(w.hwnd(), 1740), WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buf),
                                    SMTO_ABORTIFHUNG, 200, nullptr);
                const std::wstring status = buf;
                const size_t at = status.find(L"\\K");
                if (at != std::wstring::npos && _wtoi(status.c_str() + at + 2) > kKeys / 3) {
                    PostMessageW(w.hwnd(), WM_COMMAND, IDC_scan_cmdStop, 0);
                    stopped = true;
                    return;
                }
                Sleep(5);
            }
        });
        press(w, IDC_scan_cmdFind);
        done = true;
        watcher.join();
        found = ListView_GetItemCount(w.listView());
        deleteOn = IsWindowEnabled(GetDlgItem(w.hwnd(), IDC_scan_cmdDelete)) != FALSE;
        for (int i = 1; i < found; ++i)
            sorted = sorted && text(w, i - 1, 1) <= text(w, i, 1);
    });
    ASSERT_TRUE(stopped) << "the walk ended before it could be stopped";
    EXPECT_GT(found, 0);
    EXPECT_LT(found, kKeys);
    EXPECT_TRUE(deleteOn);
    EXPECT_TRUE(sorted);
}

TEST_F(ScanTest, StartupProgramsFromBothRunKeysAndTheStartupFolder)
{
    const std::wstring runKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run\\";
    makeDir(dir.file(L"Startup"));
    writeFile(dir.file(L"Startup\\" + kTag + L"Tool.lnk"), "not read");
    writeFile(dir.file(L"Startup\\" + kTag + L"notes.txt"), "not a shortcut");
    writeFile(dir.file(L"Startup\\" + kTag + L"Second.lnk"), "not read");
    ScopedShellFolder startup(L"Startup", dir.file(L"Startup").c_str());
    ScopedRegValue user(HKEY_CURRENT_USER, runKey, kTag + L"User", L"C:\\user.exe /quiet");
    ScopedRegValue unsafe(HKEY_CURRENT_USER, runKey, kTag + L"Line\nBreak", L"C:\\unsafe.exe");
    ScopedRegValue machine(HKEY_LOCAL_MACHINE, runKey, kTag + L"Machine", L"C:\\machine.exe");
    StartupWindow w;
    const auto find = [&](const std::wstring& what, int column) {
        for (int i = 0; i < ListView_GetItemCount(w.listView()); ++i)
            if (text(w, i, column) == what)
                return i;
        return -1;
    };
    run(w, [&] {
        const int lnk = find(kTag + L"Tool.lnk", 0);
        ASSERT_GE(lnk, 0);
        EXPECT_EQ(text(w, lnk, 2), L"Startup");
        EXPECT_EQ(text(w, lnk, 3), dir.file(L"Startup") + L"\\");
        EXPECT_LT(find(kTag + L"notes.txt", 0), 0) << "only shortcuts are listed";
        const int u = find(kTag + L"User", 1), m = find(kTag + L"Machine", 1);
        ASSERT_GE(u, 0);
        ASSERT_GE(m, 0);
        EXPECT_EQ(text(w, u, 0), L"C:\\user.exe /quiet");
        EXPECT_EQ(text(w, u, 2), L"HKCU");
        EXPECT_EQ(text(w, m, 2), L"HKLM");
        EXPECT_EQ(text(w, m, 3), runKey);
        EXPECT_FALSE(w.anyItemChecked()) << "rows start unticked";
        for (int i = 1; i < ListView_GetItemCount(w.listView()); ++i)
            EXPECT_LE(lstrcmpiW(text(w, i - 1, 1).c_str(), text(w, i, 1).c_str()), 0) << "sorted by Description";
        const int before = ListView_GetItemCount(w.listView());
        w.setRowChecked(lnk, true);
        w.setRowChecked(u, true);
        press(w, IDC_scan_cmdDelete);
        EXPECT_EQ(ListView_GetItemCount(w.listView()), before - 2) << "rebuilt from scratch";
        EXPECT_FALSE(w.anyItemChecked());
        expectStatusAfterChange(w, std::to_wstring(before - 2) + L" Startup Program(s)");
        // Every ticked Run value refused as unsafe: the ticked shortcut
        // still goes.
        w.setRowChecked(find(kTag + L"Second.lnk", 0), true);
        w.setRowChecked(find(L"C:\\unsafe.exe", 0), true);
        asked.clear();
        press(w, IDC_scan_cmdDelete);
        EXPECT_LT(find(kTag + L"Second.lnk", 0), 0);
        EXPECT_GE(find(L"C:\\unsafe.exe", 0), 0);
        ASSERT_EQ(asked.size(), 2u);
        EXPECT_NE(asked[1].find(L"cannot be saved for undo and were left in place"), std::wstring::npos);
    });
    EXPECT_FALSE(exists(dir.file(L"Startup\\" + kTag + L"Second.lnk")));
    EXPECT_FALSE(exists(dir.file(L"Startup\\" + kTag + L"Tool.lnk")));
    EXPECT_TRUE(exists(dir.file(L"Startup\\" + kTag + L"notes.txt")));
    EXPECT_FALSE(regValueExists(HKEY_CURRENT_USER, runKey, kTag + L"User"));
    EXPECT_TRUE(regValueExists(HKEY_LOCAL_MACHINE, runKey, kTag + L"Machine"));
}

TEST_F(ScanTest, UninstallListsRunsEditsAndDeletesRegistrations)
{
    const std::wstring base = L"Software\\Microsoft\\Windows\\CurrentVersion\\UnInstall\\";
    const auto program = [&](const std::wstring& key, const wchar_t* name, const wchar_t* command) {
        if (name)
            setText(HKEY_LOCAL_MACHINE, base + key, L"DisplayName", name);
        if (command)
            setText(HKEY_LOCAL_MACHINE, base + key, L"UnInstallString", command);
    };
    program(kTag + L"B", L"SorvaneTest Beta", L"C:\\nowhere\\uninstall-beta.exe /S");
    setText(HKEY_LOCAL_MACHINE, base + kTag + L"B", L"DisplayVersion", L"2.1");
    program(kTag + L"A", L"SorvaneTest Alpha", L"C:\\nowhere\\a.exe");
    setDword(HKEY_LOCAL_MACHINE, base + kTag + L"A", L"NoRemove", 0);
    program(kTag + L"Fixed", L"SorvaneTest Fixed", L"C:\\fixed.exe");
    setDword(HKEY_LOCAL_MACHINE, base + kTag + L"Fixed", L"NoRemove", 1);
    program(kTag + L"NoCommand", L"SorvaneTest NoCommand", nullptr);
    program(kTag + L"NoName", nullptr, L"C:\\noname.exe");
    program(kTag + L"G", L"SorvaneTest Gamma", L"C:\\nowhere\\g.exe");
    setText(HKEY_LOCAL_MACHINE, base + kTag + L"G\\Components", L"x", L"y");
    UninstallWindow w;
    w.setDialogs([&](HWND owner, win::Dialog& d, int id) {
        HWND h = d.createModeless(GetModuleHandleW(nullptr), id, owner);
        SetDlgItemTextW(h, IDC_edit_txtPath, L"C:\\nowhere\\edited.exe");
        SendMessageW(h, WM_COMMAND, IDC_edit_cmdOk, 0);
        DestroyWindow(h);
    });
    const auto rowOf = [&](const std::wstring& name) { return ScanTest::rowOf(w, name); };
    run(w, [&] {
        const int a = rowOf(L"SorvaneTest Alpha"), b = rowOf(L"SorvaneTest Beta");
        ASSERT_GE(a, 0) << "NoRemove 0 does not hide a program";
        ASSERT_EQ(b, a + 1) << "sorted by Application";
        EXPECT_EQ(text(w, b, 1), L"2.1");
        EXPECT_EQ(text(w, b, 3), kTag + L"B");
        for (const wchar_t* absent : {L"SorvaneTest Fixed", L"SorvaneTest NoCommand"})
            EXPECT_LT(rowOf(absent), 0) << toAnsi(absent);
        // UnInstall of a command that names a missing program.
        ListView_SetItemState(w.listView(), b, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        press(w, IDC_scan_cmdFind);
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0].rfind(L"An error Occurred while executing uninstall Command: \r\n\r\n", 0), 0u);
        EXPECT_GT(asked[0].size(), 60u) << "the platform's description follows";
        // Edit writes the command and rebuilds the list.
        press(w, IDC_scan_cmdEdit);
        EXPECT_EQ(text(w, rowOf(L"SorvaneTest Beta"), 2), L"C:\\nowhere\\edited.exe");
        // Delete removes the registration alone.
        const int alpha = rowOf(L"SorvaneTest Alpha");
        ListView_SetItemState(w.listView(), -1, 0, LVIS_SELECTED);
        ListView_SetItemState(w.listView(), alpha, LVIS_SELECTED, LVIS_SELECTED);
        const int before = ListView_GetItemCount(w.listView());
        press(w, IDC_scan_cmdDelete);
        EXPECT_EQ(ListView_GetItemCount(w.listView()), before - 1);
        EXPECT_LT(rowOf(L"SorvaneTest Alpha"), 0);
        expectStatusAfterChange(w, std::to_wstring(before - 1) + L" enteries");
        // An entry with a subkey is saved, kept by the key-alone rule, and
        // stays listed and counted.
        ListView_SetItemState(w.listView(), -1, 0, LVIS_SELECTED);
        ListView_SetItemState(w.listView(), rowOf(L"SorvaneTest Gamma"), LVIS_SELECTED, LVIS_SELECTED);
        asked.clear();
        press(w, IDC_scan_cmdDelete);
        EXPECT_EQ(ListView_GetItemCount(w.listView()), before - 1);
        EXPECT_GE(rowOf(L"SorvaneTest Gamma"), 0);
        ASSERT_EQ(asked.size(), 2u);
        EXPECT_EQ(asked[1], L"These entries were saved for undo but could not be deleted:\r\n\r\nHKEY_LOCAL_MACHINE\\" +
                                base + kTag + L"G: left in place: it has subkeys");
    });
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked[0], L"Are you sure you want to delete the selected item");
    EXPECT_TRUE(regKeyExists(HKEY_LOCAL_MACHINE, base + kTag + L"G\\Components"));
    EXPECT_FALSE(regKeyExists(HKEY_LOCAL_MACHINE, base + kTag + L"A"));
    EXPECT_EQ(getRegString(HKEY_LOCAL_MACHINE, base + kTag + L"B", L"UnInstallString"), L"C:\\nowhere\\edited.exe");
    for (const wchar_t* k : {L"A", L"B", L"Fixed", L"NoCommand", L"NoName", L"G\\Components", L"G"})
        removeKey(HKEY_LOCAL_MACHINE, base + kTag + k);
}

TEST_F(ScanTest, FileAssociationsDescriptionsEditAndDeleteOfBothKeys)
{
    setText(HKEY_CLASSES_ROOT, L".sorvtesta", L"", L"SorvTest.TypeA");
    setText(HKEY_CLASSES_ROOT, L"SorvTest.TypeA", L"", L"Type A document");
    setText(HKEY_CLASSES_ROOT, L"SorvTest.TypeA\\shell\\open\\command", L"", L"C:\\a.exe \"%1\"");
    setText(HKEY_CLASSES_ROOT, L".sorvtestb\\sub", L"x", L"no default value above");
    setText(HKEY_CLASSES_ROOT, L".sorvtestc", L"", L"SorvTest.TypeC");
    setText(HKEY_CLASSES_ROOT, L"SorvTest.TypeC", L"", L"x");
    FileAssociationWindow w;
    std::wstring shownCommand;
    w.setDialogs([&](HWND owner, win::Dialog& d, int id) {
        HWND h = d.createModeless(GetModuleHandleW(nullptr), id, owner);
        wchar_t buf[256] = {};
        GetDlgItemTextW(h, IDC_edit_txtPath, buf, 256);
        shownCommand = buf;
        SetDlgItemTextW(h, IDC_edit_txtPath, L"C:\\b.exe \"%1\"");
        SendMessageW(h, WM_COMMAND, IDC_edit_cmdOk, 0);
        DestroyWindow(h);
    });
    const auto rowOf = [&](const std::wstring& ext) { return ScanTest::rowOf(w, ext); };
    const auto select = [&](int row) { selectRow(w, row); };
    run(w, [&] {
        const int a = rowOf(L".sorvtesta"), b = rowOf(L".sorvtestb"), c = rowOf(L".sorvtestc");
        ASSERT_GE(a, 0);
        ASSERT_EQ(b, a + 1) << "sorted by extension";
        EXPECT_EQ(text(w, a, 1), L"Type A document");
        EXPECT_EQ(text(w, b, 1), L"") << "no default value: no description";
        EXPECT_EQ(text(w, c, 1), L"SorvTest.TypeC") << "a one-character description gives the type name";
        select(a);
        press(w, IDC_scan_cmdEdit);
        EXPECT_EQ(shownCommand, L"C:\\a.exe \"%1\"");
        select(c);
        press(w, IDC_scan_cmdEdit);  // no command key: shown empty, nothing written
        EXPECT_EQ(shownCommand, L"");
        answers = {IDNO};
        select(a);
        press(w, IDC_scan_cmdDelete);
        EXPECT_EQ(rowOf(L".sorvtesta"), a) << "cancelled: the row stays";
        select(a);
        press(w, IDC_scan_cmdDelete);
        EXPECT_LT(rowOf(L".sorvtesta"), 0);
    });
    EXPECT_FALSE(regKeyExists(HKEY_CLASSES_ROOT, L".sorvtesta"));
    EXPECT_FALSE(regKeyExists(HKEY_CLASSES_ROOT, L"SorvTest.TypeA")) << "the file type's key goes too";
    EXPECT_FALSE(regKeyExists(HKEY_CLASSES_ROOT, L"SorvTest.TypeC\\shell\\open\\command")) << "opened, never created";
    ASSERT_TRUE(regImport(w.lastBackup()));
    EXPECT_EQ(getRegString(HKEY_CLASSES_ROOT, L"SorvTest.TypeA\\shell\\open\\command", L""), L"C:\\b.exe \"%1\"")
        << "the edited command, saved before the delete and imported back";
    for (const wchar_t* k : {L".sorvtesta", L"SorvTest.TypeA", L".sorvtestb", L".sorvtestc", L"SorvTest.TypeC"})
        removeKey(HKEY_CLASSES_ROOT, k);
}

TEST(InvalidReferences, ARegistryLinkIsNotFollowedIntoALoop)
{
    // HKLM\Software\SorvaneTestLoop\back leads to the key that holds it.
    const std::wstring loop = L"Software\\SorvaneTestLoop";
    removeKey(HKEY_LOCAL_MACHINE, loop);
    setText(HKEY_LOCAL_MACHINE, loop, L"gone", L"C:\\SorvaneLoop\\gone.txt");
    {
    ScopedRegLink back(loop + L"\\back", loop);
    ASSERT_TRUE(back.made());
    HKEY through = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, (loop + L"\\back\\back").c_str(), 0, KEY_READ, &through),
              ERROR_SUCCESS)
        << "the link leads back";
    RegCloseKey(through);

    std::vector<ScanRow> rows;
    size_t keys = 0;
    InvalidReferenceWalk walk(
        getDriveList(), [&](const std::wstring&) { return ++keys > 1000; },
        [&](const ScanRow& row) { rows.push_back(row); });
    walk.scanRoot(HKEY_LOCAL_MACHINE, L"HKEY_LOCAL_MACHINE:", loop);
    EXPECT_FALSE(walk.stopped());
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], L"HKEY_LOCAL_MACHINE:" + loop + L"\\");
    }
    removeKey(HKEY_LOCAL_MACHINE, loop);
}

// A name with a line break would end its line in the undo file and start a
// line of its own ("[-HKEY_...\Victim]" deletes that key on import): such an
// item is never saved, and so never deleted. Brackets, quotes and "=" are
// carried as they are and import back without touching anything else.
TEST_F(ScanTest, HostileNamesNeverSteerTheUndoFile)
{
    const std::wstring base = L"Software\\SorvaneTestHostile";
    const std::wstring victim = base + L"\\Victim";
    removeKey(HKEY_CURRENT_USER, base);
    setText(HKEY_CURRENT_USER, victim, L"keep", L"me");
    const std::wstring evilKey = base + L"\\Evil\\x\r\n[-HKEY_CURRENT_USER\\" + victim + L"]";
    setText(HKEY_CURRENT_USER, evilKey, L"v", L"d");
    const std::wstring evilValue = base + L"\\EvilValue";
    setText(HKEY_CURRENT_USER, evilValue, L"a\r\n[-HKEY_CURRENT_USER\\" + victim + L"]\r\n\"b", L"d");
    const std::wstring odd = base + L"\\Odd [x] = \"y\"";
    setText(HKEY_CURRENT_USER, odd + L"\\inner]", L"name = [z] \"q\"", L"value \\ \" ]");
    const Snapshot oddBefore = snapshot(HKEY_CURRENT_USER, odd);

    RegBackup r = backUpAndDeleteRegistry(L"frmTest", {{HKEY_CURRENT_USER, base + L"\\Evil", RegItem::Tree, L""},
                                                        {HKEY_CURRENT_USER, evilValue, RegItem::Tree, L""},
                                                        {HKEY_CURRENT_USER, odd, RegItem::Tree, L""}});
    EXPECT_FALSE(r.failed);
    ASSERT_EQ(r.leftInPlace.size(), 2u);
    EXPECT_EQ(r.itemDeleted, (std::vector<bool>{false, false, true}));
    EXPECT_TRUE(regKeyExists(HKEY_CURRENT_USER, evilKey)) << "left in place";
    EXPECT_TRUE(regKeyExists(HKEY_CURRENT_USER, evilValue));
    EXPECT_FALSE(regKeyExists(HKEY_CURRENT_USER, odd));
    ASSERT_FALSE(r.file.empty());
    ASSERT_TRUE(regImport(r.file));
    EXPECT_EQ(snapshot(HKEY_CURRENT_USER, odd), oddBefore);
    EXPECT_EQ(getRegString(HKEY_CURRENT_USER, victim, L"keep"), L"me") << "the import touched nothing else";
    EXPECT_EQ(readFile(r.file).find(toAnsi(L"[-")), std::string::npos);
    // The program's own restore reads the same names back.
    removeKey(HKEY_CURRENT_USER, odd);
    const RegRestore back = restoreRegFile(parseRegFile(*readRegFileText(r.file)));
    EXPECT_TRUE(back.failures.empty()) << toAnsi(regRestoreSummary(back));
    EXPECT_EQ(snapshot(HKEY_CURRENT_USER, odd), oddBefore);
    EXPECT_EQ(getRegString(HKEY_CURRENT_USER, victim, L"keep"), L"me");
    removeKey(HKEY_CURRENT_USER, base);
}

// The type key of an extension goes only when it is a plain program
// identifier that no other extension names; a per-user association is saved
// and restored per user.
TEST_F(ScanTest, AssociationsKeepSharedAndSystemTypesAndPerUserOnesComeBackPerUser)
{
    EXPECT_FALSE(mayDeleteFileType(L"CLSID", L".sorvx"));
    EXPECT_FALSE(mayDeleteFileType(L"clsid", L".sorvx"));
    for (const wchar_t* t : {L"Interface", L"TypeLib", L"AppID", L"Directory", L"Folder", L"Drive", L"*",
                             L"AllFilesystemObjects", L"exefile", L"Some\\Key", L""})
        EXPECT_FALSE(mayDeleteFileType(t, L".sorvx")) << toAnsi(t);
    const std::wstring machine = L"Software\\Classes\\", user = L"Software\\Classes\\";
    setText(HKEY_LOCAL_MACHINE, machine + L".sorvshare1", L"", L"SorvTest.Shared");
    setText(HKEY_LOCAL_MACHINE, machine + L".sorvshare2", L"", L"SorvTest.Shared");
    setText(HKEY_LOCAL_MACHINE, machine + L"SorvTest.Shared", L"", L"Shared type");
    EXPECT_FALSE(mayDeleteFileType(L"SorvTest.Shared", L".sorvshare1"));
    setText(HKEY_CURRENT_USER, user + L".sorvuser", L"", L"SorvTest.UserType");
    setText(HKEY_CURRENT_USER, user + L"SorvTest.UserType", L"", L"Per-user type");
    EXPECT_TRUE(mayDeleteFileType(L"SorvTest.UserType", L".sorvuser"));
    const Snapshot userBefore = snapshot(HKEY_CURRENT_USER, user + L".sorvuser");

    FileAssociationWindow w;
    const auto rowOf = [&](const std::wstring& ext) { return ScanTest::rowOf(w, ext); };
    const auto select = [&](int row) { selectRow(w, row); };
    std::wstring userBackup;
    run(w, [&] {
        ASSERT_GE(rowOf(L".sorvuser"), 0) << "per-user associations are listed";
        EXPECT_EQ(text(w, rowOf(L".sorvuser"), 1), L"Per-user type");
        select(rowOf(L".sorvshare1"));
        press(w, IDC_scan_cmdDelete);
        select(rowOf(L".sorvuser"));
        press(w, IDC_scan_cmdDelete);
        userBackup = w.lastBackup();
    });
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_NE(asked[0].find(L"HKEY_LOCAL_MACHINE\\Software\\Classes\\.sorvshare1"), std::wstring::npos);
    EXPECT_EQ(asked[0].find(L"SorvTest.Shared"), std::wstring::npos) << "the shared type is not named: it stays";
    EXPECT_NE(asked[1].find(L"HKEY_CURRENT_USER\\Software\\Classes\\SorvTest.UserType"), std::wstring::npos);
    EXPECT_FALSE(regKeyExists(HKEY_LOCAL_MACHINE, machine + L".sorvshare1"));
    EXPECT_TRUE(regKeyExists(HKEY_LOCAL_MACHINE, machine + L"SorvTest.Shared")) << "still named by .sorvshare2";
    EXPECT_FALSE(regKeyExists(HKEY_CURRENT_USER, user + L".sorvuser"));
    ASSERT_TRUE(regImport(userBackup));
    EXPECT_EQ(snapshot(HKEY_CURRENT_USER, user + L".sorvuser"), userBefore);
    EXPECT_EQ(getRegString(HKEY_CURRENT_USER, user + L"SorvTest.UserType", L""), L"Per-user type");
    EXPECT_FALSE(regKeyExists(HKEY_LOCAL_MACHINE, machine + L".sorvuser")) << "never put back machine-wide";
    for (const wchar_t* k : {L".sorvshare1", L".sorvshare2", L"SorvTest.Shared"})
        removeKey(HKEY_LOCAL_MACHINE, machine + k);
    for (const wchar_t* k : {L".sorvuser", L"SorvTest.UserType"})
        removeKey(HKEY_CURRENT_USER, user + k);
}

// Edit shows the whole value, writes only a change, keeps the value's type,
// and saves the old value for undo first.
TEST_F(ScanTest, EditKeepsLongCommandsTheirTypeAndWritesOnlyAChange)
{
    const std::wstring key = L"Software\\Microsoft\\Windows\\CurrentVersion\\UnInstall\\" + kTag + L"Long";
    const std::wstring longCommand = L"%ProgramFiles%\\" + std::wstring(380, L'L') + L"\\un.exe /S";
    setText(HKEY_LOCAL_MACHINE, key, L"DisplayName", L"SorvaneTest Long");
    setText(HKEY_LOCAL_MACHINE, key, L"UnInstallString", longCommand, REG_EXPAND_SZ);
    UninstallWindow w;
    std::wstring shown, typed;
    int edits = 0;
    w.setDialogs([&](HWND owner, win::Dialog& d, int id) {
        HWND h = d.createModeless(GetModuleHandleW(nullptr), id, owner);
        std::wstring buf(2048, L'\0');
        buf.resize(static_cast<size_t>(GetDlgItemTextW(h, IDC_edit_txtPath, buf.data(), 2048)));
        shown = buf;
        if (!typed.empty())
            SetDlgItemTextW(h, IDC_edit_txtPath, typed.c_str());
        SendMessageW(h, WM_COMMAND, IDC_edit_cmdOk, 0);
        if (!static_cast<EditPathDialog&>(d).undoFile().empty())
            ++edits;
        DestroyWindow(h);
    });
    const auto select = [&] {
        const int row = rowOf(w, L"SorvaneTest Long");
        selectRow(w, row);
        return row;
    };
    run(w, [&] {
        ASSERT_GE(select(), 0);
        press(w, IDC_scan_cmdEdit);  // OK without a change
        select();
        typed = L"%ProgramFiles%\\Changed\\un.exe /S";
        press(w, IDC_scan_cmdEdit);
    });
    EXPECT_EQ(shown, longCommand) << "the whole command, not 260 characters of it";
    EXPECT_EQ(edits, 1) << "OK without a change writes nothing";
    const RegText now = readRegText(HKEY_LOCAL_MACHINE, key, L"UnInstallString");
    EXPECT_EQ(now.text, L"%ProgramFiles%\\Changed\\un.exe /S");
    EXPECT_EQ(now.type, static_cast<DWORD>(REG_EXPAND_SZ));
    removeKey(HKEY_LOCAL_MACHINE, key);
}

TEST_F(ScanTest, EntriesOfThe32BitViewAreListedOnceChangedWhereTheyLiveAndComeBack)
{
    const std::wstring base = L"Software\\Microsoft\\Windows\\CurrentVersion\\UnInstall\\" + kTag + L"32";
    const std::wstring runKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run\\";
    const std::wstring realBase = L"software\\wow6432node\\microsoft\\windows\\currentversion\\uninstall\\" +
                                  toLower(kTag) + L"32";
    setText(HKEY_LOCAL_MACHINE, base, L"DisplayName", L"SorvaneTest ThirtyTwo", REG_SZ, KEY_WOW64_32KEY);
    setText(HKEY_LOCAL_MACHINE, base, L"UnInstallString", L"C:\\nowhere\\u32.exe", REG_SZ, KEY_WOW64_32KEY);
    setText(HKEY_LOCAL_MACHINE, runKey, kTag + L"Run32", L"C:\\nowhere\\run32.exe", REG_SZ, KEY_WOW64_32KEY);
    ScopedRegValue shared(HKEY_CURRENT_USER, runKey, kTag + L"Shared", L"C:\\shared.exe");
    const auto in32 = [](const std::wstring& key, const wchar_t* value) {
        HKEY k = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &k) != ERROR_SUCCESS)
            return std::wstring(L"<no key>");
        wchar_t buf[512] = {};
        DWORD bytes = sizeof buf - 2;
        const LONG rc = RegQueryValueExW(k, value, nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &bytes);
        RegCloseKey(k);
        return rc == ERROR_SUCCESS ? std::wstring(buf) : std::wstring(L"<no value>");
    };

    std::wstring uninstallUndo, editUndo;
    {
        UninstallWindow w;
        w.setDialogs([&](HWND owner, win::Dialog& d, int id) {
            HWND h = d.createModeless(GetModuleHandleW(nullptr), id, owner);
            SetDlgItemTextW(h, IDC_edit_txtPath, L"C:\\nowhere\\edited32.exe");
            SendMessageW(h, WM_COMMAND, IDC_edit_cmdOk, 0);
            DestroyWindow(h);
        });
        run(w, [&] {
            const int row = rowOf(w, L"SorvaneTest ThirtyTwo");
            ASSERT_GE(row, 0) << "the 32-bit view is listed";
            EXPECT_EQ(text(w, row, 2), L"C:\\nowhere\\u32.exe");
            selectRow(w, row);
            press(w, IDC_scan_cmdEdit);
            editUndo = w.lastBackup();
            EXPECT_EQ(in32(base, L"UnInstallString"), L"C:\\nowhere\\edited32.exe") << "edited in its own view";
            EXPECT_FALSE(regKeyExists(HKEY_LOCAL_MACHINE, base)) << "nothing appears in the 64-bit view";
            selectRow(w, rowOf(w, L"SorvaneTest ThirtyTwo"));
            press(w, IDC_scan_cmdDelete);
            uninstallUndo = w.lastBackup();
            EXPECT_NE(status(w).find(L"Undo file: "), std::wstring::npos) << toAnsi(status(w));
        });
    }
    EXPECT_EQ(in32(base, L"DisplayName"), L"<no key>");
    ASSERT_FALSE(uninstallUndo.empty());
    ASSERT_NE(editUndo, uninstallUndo);
    const auto undoText = [](const std::wstring& file) { return toLower(*readRegFileText(file)); };
    EXPECT_NE(undoText(uninstallUndo).find(L"[hkey_local_machine\\" + realBase + L"]"), std::wstring::npos)
        << "the undo file names the real key";

    {
        StartupWindow w;
        run(w, [&] {
            int run32 = -1, sharedRows = 0;
            for (int i = 0; i < ListView_GetItemCount(w.listView()); ++i) {
                if (text(w, i, 1) == kTag + L"Run32")
                    run32 = i;
                sharedRows += text(w, i, 1) == kTag + L"Shared";
            }
            EXPECT_EQ(sharedRows, 1) << "a key both views share is listed once";
            ASSERT_GE(run32, 0);
            EXPECT_EQ(text(w, run32, 2), L"HKLM");
            EXPECT_NE(toLower(text(w, run32, 3)).find(L"wow6432node"), std::wstring::npos);
            w.setRowChecked(run32, true);
            press(w, IDC_scan_cmdDelete);
        });
        EXPECT_EQ(in32(runKey, (kTag + L"Run32").c_str()), L"<no value>");
        ASSERT_FALSE(w.lastBackup().empty());
        // Undo from inside the program: both come back in the 32-bit view.
        const RegRestore runBack = restoreRegFile(parseRegFile(*readRegFileText(w.lastBackup())));
        EXPECT_TRUE(runBack.failures.empty());
    }
    const RegRestore back = restoreRegFile(parseRegFile(*readRegFileText(uninstallUndo)));
    EXPECT_TRUE(back.failures.empty()) << toAnsi(regRestoreSummary(back));
    EXPECT_EQ(in32(base, L"DisplayName"), L"SorvaneTest ThirtyTwo");
    EXPECT_EQ(in32(base, L"UnInstallString"), L"C:\\nowhere\\edited32.exe");
    EXPECT_EQ(in32(runKey, (kTag + L"Run32").c_str()), L"C:\\nowhere\\run32.exe");
    // The edit's own undo file brings the old command back.
    restoreRegFile(parseRegFile(*readRegFileText(editUndo)));
    EXPECT_EQ(in32(base, L"UnInstallString"), L"C:\\nowhere\\u32.exe");
    EXPECT_FALSE(regKeyExists(HKEY_LOCAL_MACHINE, base));

    HKEY k = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, runKey.c_str(), 0, KEY_SET_VALUE | KEY_WOW64_32KEY, &k) == ERROR_SUCCESS) {
        RegDeleteValueW(k, (kTag + L"Run32").c_str());
        RegCloseKey(k);
    }
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, base.c_str(), KEY_WOW64_32KEY, 0);
}

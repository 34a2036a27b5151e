// The main window as a user meets it: Sorvane.exe started in an application
// folder of its own, its window read from this process.
#include "app/MainWindow.h"
#include "app/MenuPanels.h"
#include "app/SingleInstance.h"
#include "core/Categories.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "resource.h"
#include "store/DefaultRules.h"
#include "store/ListFiles.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <shellapi.h>

using namespace sorvane;
using testenv::SorvaneProcess;

namespace {

std::wstring windowText(HWND w)
{
    wchar_t buf[512] = {};
    GetWindowTextW(w, buf, 512);
    return buf;
}

CategoryStates readBoxes(HWND main)
{
    CategoryStates s{};
    for (const auto& c : kCategories)
        s[c.store] = IsDlgButtonChecked(main, IDC_CATEGORY_FIRST + c.store) == BST_CHECKED ? 1 : 0;
    return s;
}

void closeAndWait(SorvaneProcess& p, HWND main)
{
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(p.waitForExit(15000), 0u);
}

} // namespace

TEST(MainWindow, ShowsCaptionGroupsAndTheEighteenCategories)
{
    testenv::TempFolder app;
    SorvaneProcess p(app.path());
    HWND main = p.waitForMainWindow();
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(windowText(main), L"Sorvane 2.0");
    for (const auto& c : kCategories)
        EXPECT_EQ(windowText(GetDlgItem(main, IDC_CATEGORY_FIRST + c.store)), c.caption) << c.control;
    EXPECT_EQ(windowText(GetDlgItem(main, IDC_Frame2)), L"Internet Related");
    EXPECT_EQ(windowText(GetDlgItem(main, IDC_Frame3)), L"Windows Related");
    EXPECT_EQ(windowText(GetDlgItem(main, IDC_Frame4)), L"Files && Folders Related");
    EXPECT_EQ(windowText(GetDlgItem(main, IDC_lblWindowsRelated)), L"Windows Related");
    EXPECT_EQ(windowText(GetDlgItem(main, IDC_lblFilesFolders)), L"Files && Folders Related");
    RECT line, client;
    GetWindowRect(GetDlgItem(main, IDC_Line1), &line);
    GetClientRect(main, &client);
    EXPECT_EQ(line.right - line.left, client.right) << "the separator spans the window";
    EXPECT_EQ(windowText(GetDlgItem(main, IDC_cmdClean)), L"&Clean");
    EXPECT_EQ(windowText(GetDlgItem(main, IDC_cmdStop)), L"&Stop");
    EXPECT_EQ(windowText(GetDlgItem(main, IDC_cmdExit)), L"&Exit");
    EXPECT_EQ(windowText(GetDlgItem(main, IDC_picStatus)), L"Ready");
    EXPECT_EQ(windowText(GetDlgItem(main, IDC_CleanPro)), std::wstring(34, L'|'));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(main, IDC_cmdClean)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(main, IDC_cmdStop)));
    closeAndWait(p, main);
}

TEST(MainWindow, StartUpPreparesBackupFolderRuleFileAndVersionValue)
{
    testenv::TempFolder app;
    SorvaneProcess p(app.path());
    HWND main = p.waitForMainWindow();
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(testenv::exists(app.file(L"Backup")));
    const auto rules = loadRules(app.file(L"UNFI.sol"), app.file(L"DefUNFI.sol"));
    EXPECT_EQ(rules, defaultUnnecessaryRules());
    EXPECT_FALSE(getRegString(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\SorvaneMem", L"ver").empty());
    closeAndWait(p, main);
}

TEST(MainWindow, CheckItemsRestoredAtStartAndSavedOnClose)
{
    testenv::TempFolder app;
    testenv::writeFile(app.file(L"checkItems.sol"), "1,0,1,0,0,0,0,0,0,0,0,1,1,0,0,0,0,1,\r\n");
    CategoryStates expected{};
    for (int store : {0, 2, 11, 12, 17})
        expected[store] = 1;
    {
        SorvaneProcess p(app.path());
        HWND main = p.waitForMainWindow();
        ASSERT_NE(main, nullptr);
        EXPECT_EQ(readBoxes(main), expected) << "Recycle bin, Run MRU, Cache, Cookies and MS Office MRU";

        SendMessageW(GetDlgItem(main, IDC_chkRecycleBin), BM_SETCHECK, BST_UNCHECKED, 0);
        SendMessageW(GetDlgItem(main, IDC_chkEmptyFiles), BM_SETCHECK, BST_CHECKED, 0);
        expected[0] = 0;
        expected[5] = 1;
        closeAndWait(p, main);
    }
    // A file of 18 fields leaves Windows cleanup and Application rules
    // unticked; it is saved with 20.
    EXPECT_EQ(testenv::readFile(app.file(L"checkItems.sol")), "0,0,1,0,0,1,0,0,0,0,0,1,1,0,0,0,0,1,0,0,\r\n");
    {
        SorvaneProcess p(app.path());
        HWND main = p.waitForMainWindow();
        ASSERT_NE(main, nullptr);
        EXPECT_EQ(readBoxes(main), expected);
        closeAndWait(p, main);
    }
}

TEST(MainWindow, DamagedFilesStillGiveTheWindowWithDefaults)
{
    testenv::TempFolder app;
    std::string binary;
    for (int i = 0; i < 4096; ++i)
        binary += static_cast<char>(i * 37 % 256);
    testenv::writeFile(app.file(L"Settings.ini"), binary);
    // Fewer than 18 fields, one of them not a number.
    testenv::writeFile(app.file(L"checkItems.sol"), "1,x,1\r\n");
    testenv::writeFile(app.file(L"DefUNFI.sol"), std::string(3 * 1024 * 1024, 'z'));
    SorvaneProcess p(app.path());
    HWND main = p.waitForMainWindow();
    ASSERT_NE(main, nullptr);
    const CategoryStates s = readBoxes(main);
    EXPECT_EQ(s[0], 1);
    EXPECT_EQ(s[1], 0);
    EXPECT_EQ(s[2], 1);
    EXPECT_EQ(windowText(GetDlgItem(main, IDC_picStatus)), L"Ready");
    closeAndWait(p, main);
}

TEST(MainWindow, StartupCleanWithNothingTickedAsksForACategory)
{
    testenv::TempFolder app;
    testenv::writeFile(app.file(L"Settings.ini"), "[General]\r\nStartupClean=1\r\n");
    SorvaneProcess p(app.path());
    HWND main = p.waitForMainWindow();
    ASSERT_NE(main, nullptr);
    HWND box = p.waitForWindow(L"Sorvane", 15000);
    ASSERT_NE(box, nullptr) << "the start-up clean runs at once";
    bool found = false;
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        found = found || windowText(c) == L"Please select at least one item to clean.";
    EXPECT_TRUE(found);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    Sleep(300);
    closeAndWait(p, main);
}

TEST(MainWindow, SecondStartBringsTheFirstWindowBackAndEnds)
{
    testenv::TempFolder app, copy;
    SorvaneProcess first(app.path());
    HWND main = first.waitForMainWindow();
    ASSERT_NE(main, nullptr);
    ShowWindow(main, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(main));

    PROCESS_INFORMATION second = testenv::startProcess(app.file(L"Sorvane.exe"));
    ASSERT_NE(second.hProcess, nullptr);
    EXPECT_EQ(WaitForSingleObject(second.hProcess, 20000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(second.hProcess, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(second.hProcess);
    CloseHandle(second.hThread);

    EXPECT_FALSE(IsIconic(main)) << "the first window is restored";
    EXPECT_TRUE(IsWindowVisible(main));
    int windows = 0;
    for (HWND w = FindWindowW(L"SorvaneMain", nullptr); w; w = FindWindowExW(nullptr, w, L"SorvaneMain", nullptr))
        ++windows;
    EXPECT_EQ(windows, 1);
    closeAndWait(first, main);
}

TEST(MainWindow, ExitButtonSavesTheBoxesToo)
{
    testenv::TempFolder app;
    SorvaneProcess p(app.path());
    HWND main = p.waitForMainWindow();
    ASSERT_NE(main, nullptr);
    PostMessageW(main, WM_COMMAND, MAKEWPARAM(IDC_cmdSelectAll, BN_CLICKED), 0);
    Sleep(300);
    PostMessageW(main, WM_COMMAND, MAKEWPARAM(IDC_cmdExit, BN_CLICKED), 0);
    EXPECT_EQ(p.waitForExit(15000), 0u);
    EXPECT_EQ(testenv::readFile(app.file(L"checkItems.sol")), "1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,\r\n");
}

TEST(MainWindow, StartupRunEndsInTheLogAndMarksTheCategory)
{
    testenv::TempFolder app;
    testenv::TempFolder cache;
    for (const wchar_t* name : {L"a.htm", L"b.gif", L"c.js"})
        testenv::writeFile(cache.file(name), std::string(512, 'c'));
    testenv::ScopedShellFolder shell(L"Cache", cache.path().c_str());
    testenv::writeFile(app.file(L"checkItems.sol"), "0,0,0,0,0,0,0,0,0,0,0,1,0,0,0,0,0,0,\r\n");
    testenv::writeFile(app.file(L"Settings.ini"), "[General]\r\nStartupClean=1\r\n[Internet]\r\nVendorSite=http://127.0.0.1:9\r\n");
    SorvaneProcess p(app.path());
    HWND main = p.waitForMainWindow();
    ASSERT_NE(main, nullptr);
    HWND log = p.waitForWindow(L"Sorvane - Clean Log", 20000);
    ASSERT_NE(log, nullptr);
    const std::wstring text = [&] {
        // An edit control's text lives in its own process: ask the control.
        HWND edit = GetDlgItem(log, IDC_txtLog);
        const LRESULT n = SendMessageW(edit, WM_GETTEXTLENGTH, 0, 0);
        std::wstring t(static_cast<size_t>(n) + 1, L'\0');
        SendMessageW(edit, WM_GETTEXT, t.size(), reinterpret_cast<LPARAM>(t.data()));
        return std::wstring(t.c_str());
    }();
    EXPECT_EQ(text.rfind(L"Sorvane : ", 0), 0u) << std::string(text.begin(), text.end());
    EXPECT_NE(text.find(L"Cleaned Cache.... Files Deleted 3 Space Gained 1536 Bytes\r\n"), std::wstring::npos)
        << std::string(text.begin(), text.end());
    EXPECT_NE(text.find(L"Total Files Deleted:  3  Files   Total Space Gained  1"), std::wstring::npos);
    EXPECT_FALSE(testenv::exists(cache.file(L"a.htm")));

    PostMessageW(log, WM_COMMAND, IDM_LOG_mnuExit, 0);
    for (int i = 0; i < 50 && windowText(GetDlgItem(main, IDC_picStatus)) != L"Ready"; ++i)
        Sleep(100);
    EXPECT_EQ(windowText(GetDlgItem(main, IDC_picStatus)), L"Ready");
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(main, IDC_CHECKMARK_FIRST + 11)));
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(main, IDC_CHECKMARK_FIRST + 10)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(main, IDC_cmdClean)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(main, IDC_cmdStop)));
    EXPECT_NE(testenv::readFile(app.file(L"Settings.ini")).find("LastCleaned="), std::string::npos);
    closeAndWait(p, main);
}

namespace {
struct MenuSearch {
    DWORD pid;
    HWND found;
};
BOOL CALLBACK findPopupMenu(HWND hwnd, LPARAM lp)
{
    auto* s = reinterpret_cast<MenuSearch*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
    if (pid == s->pid && IsWindowVisible(hwnd) && std::wstring_view(cls) == L"#32768") {
        s->found = hwnd;
        return FALSE;
    }
    return TRUE;
}
} // namespace

TEST(MainWindow, RightClickMenuRunsTheOneCategory)
{
    testenv::TempFolder app;
    testenv::ScopedRegValue typed(HKEY_CURRENT_USER, L"Software\\Microsoft\\Internet Explorer\\TypedURLs", L"url1",
                                  L"http://typed.example/");
    testenv::writeFile(app.file(L"Settings.ini"), "[Internet]\r\nVendorSite=http://127.0.0.1:9\r\n");
    SorvaneProcess p(app.path());
    HWND main = p.waitForMainWindow();
    ASSERT_NE(main, nullptr);
    HWND box = GetDlgItem(main, IDC_chkURLHistory);
    RECT rc;
    GetWindowRect(box, &rc);
    PostMessageW(main, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(box), MAKELPARAM(rc.left + 5, rc.top + 5));
    MenuSearch menu{p.pid(), nullptr};
    for (int i = 0; i < 50 && !menu.found; ++i) {
        Sleep(100);
        EnumWindows(findPopupMenu, reinterpret_cast<LPARAM>(&menu));
    }
    ASSERT_NE(menu.found, nullptr) << "the right-click menu opens";
    PostMessageW(menu.found, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageW(menu.found, WM_KEYDOWN, VK_RETURN, 0);
    HWND log = p.waitForWindow(L"Sorvane - Clean Log", 15000);
    ASSERT_NE(log, nullptr);
    HWND edit = GetDlgItem(log, IDC_txtLog);
    std::wstring text(static_cast<size_t>(SendMessageW(edit, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
    SendMessageW(edit, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    EXPECT_EQ(text.rfind(L"Sorvane Log : ", 0), 0u);
    EXPECT_NE(text.find(L"Cleaned 1 Typed URL History"), std::wstring::npos);
    PostMessageW(log, WM_COMMAND, IDM_LOG_mnuExit, 0);
    Sleep(500);
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(main, IDC_CHECKMARK_FIRST + 14))) << "no check mark in a single run";
    closeAndWait(p, main);
}

TEST(MainWindow, EnterStartsNoClean)
{
    testenv::TempFolder app;
    SorvaneProcess p(app.path());
    HWND main = p.waitForMainWindow();
    ASSERT_NE(main, nullptr);
    HWND clean = GetDlgItem(main, IDC_cmdClean);
    EXPECT_NE(static_cast<DWORD>(GetWindowLongW(clean, GWL_STYLE)) & BS_TYPEMASK, static_cast<DWORD>(BS_DEFPUSHBUTTON));
    const LRESULT def = SendMessageW(main, DM_GETDEFID, 0, 0);
    if (HIWORD(def) == DC_HASDEFID) {
        EXPECT_NE(LOWORD(def), IDC_cmdClean);
    }
    // With nothing ticked a clean would at once ask for a category; Enter on a
    // check box and on the window itself must ask nothing.
    for (HWND target : {GetDlgItem(main, IDC_CATEGORY_FIRST + 11), main}) {
        PostMessageW(target, WM_KEYDOWN, VK_RETURN, 0x001C0001);
        PostMessageW(target, WM_CHAR, L'\r', 0x001C0001);
        PostMessageW(target, WM_KEYUP, VK_RETURN, 0xC01C0001);
    }
    EXPECT_EQ(p.waitForWindow(L"Sorvane", 2500), nullptr) << "no clean was started";
    EXPECT_EQ(windowText(GetDlgItem(main, IDC_picStatus)), L"Ready");
    closeAndWait(p, main);
}

TEST(MainWindow, LogoffSavesTheTickedBoxes)
{
    testenv::TempFolder app;
    SorvaneProcess p(app.path());
    HWND main = p.waitForMainWindow();
    ASSERT_NE(main, nullptr);
    for (int store : {3, 12})
        SendMessageW(GetDlgItem(main, IDC_CATEGORY_FIRST + store), BM_SETCHECK, BST_CHECKED, 0);
    DWORD_PTR answer = 0;
    ASSERT_TRUE(SendMessageTimeoutW(main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_BLOCK, 5000, &answer));
    EXPECT_EQ(answer, static_cast<DWORD_PTR>(TRUE));
    ASSERT_TRUE(SendMessageTimeoutW(main, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_BLOCK, 5000, &answer));
    // The system ends the process after this message, without WM_CLOSE.
    EXPECT_EQ(testenv::readFile(app.file(L"checkItems.sol")), "0,0,0,1,0,0,0,0,0,0,0,0,1,0,0,0,0,0,0,0,\r\n");
}

TEST(MainWindow, SecondStartFrontsTheMessageTheFirstIsShowing)
{
    testenv::TempFolder app, copy;
    SorvaneProcess first(app.path());
    HWND main = first.waitForMainWindow();
    ASSERT_NE(main, nullptr);
    PostMessageW(main, WM_COMMAND, MAKEWPARAM(IDC_cmdClean, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(main, IDC_cmdClean)));
    HWND box = first.waitForWindow(L"Sorvane", 10000);
    ASSERT_NE(box, nullptr) << "nothing ticked: the run asks for a category";
    HWND other = CreateWindowExW(0, L"STATIC", L"another program", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                                 nullptr, nullptr, nullptr, nullptr);
    SetForegroundWindow(other);
    PROCESS_INFORMATION second = testenv::startProcess(app.file(L"Sorvane.exe"));
    ASSERT_NE(second.hProcess, nullptr);
    EXPECT_EQ(WaitForSingleObject(second.hProcess, 20000), WAIT_OBJECT_0);
    CloseHandle(second.hProcess);
    CloseHandle(second.hThread);
    // The change of foreground travels through the display server: on a
    // busy machine it lands a moment after the second start has ended.
    for (int i = 0; i < 30 && GetForegroundWindow() != box; ++i)
        Sleep(100);
    EXPECT_EQ(GetForegroundWindow(), box) << "the window the user can act on, not the disabled main window";
    DestroyWindow(other);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    Sleep(300);
    closeAndWait(first, main);
}

// The Options panel's "Backups" opens the options window on its ninth tab;
// the conventional menu entry brings the open window to its first; Accept
// writes the settings and closes it.
TEST(MainWindow, OptionsPanelBackupsOpensTheNinthTab)
{
    testenv::TempFolder app;
    SorvaneProcess p(app.path());
    HWND main = p.waitForMainWindow();
    ASSERT_NE(main, nullptr);
    PostMessageW(main, WM_COMMAND, panelCommand(kPanelOptions, 1), 0);
    HWND options = p.waitForWindow(L"Sorvane - Options", 15000);
    ASSERT_NE(options, nullptr);
    HWND tabs = GetDlgItem(options, IDC_tbOptions);
    EXPECT_EQ(TabCtrl_GetCurSel(tabs), 8);
    SendMessageW(main, WM_COMMAND, IDM_mnuOptions, 0);
    EXPECT_EQ(TabCtrl_GetCurSel(tabs), 0);
    EXPECT_EQ(p.waitForWindow(L"Sorvane - Options", 1000), options) << "one options window";
    SendMessageW(GetDlgItem(options, IDC_cmdAccept), BM_CLICK, 0, 0);
    EXPECT_FALSE(IsWindow(options));
    EXPECT_TRUE(testenv::exists(app.file(L"IFI.sol")));
    EXPECT_NE(testenv::readFile(app.file(L"Settings.ini")).find("DelMethod=D"), std::string::npos);
    closeAndWait(p, main);
}

namespace {

struct ControlSearch {
    int id;
    HWND found;
};
BOOL CALLBACK findControl(HWND hwnd, LPARAM lp)
{
    auto* s = reinterpret_cast<ControlSearch*>(lp);
    if (GetDlgCtrlID(hwnd) == s->id) {
        s->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// A control anywhere in the window, its tab pages included.
HWND control(HWND window, int id)
{
    ControlSearch s{id, nullptr};
    EnumChildWindows(window, findControl, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

void click(HWND window, int id) { SendMessageW(control(window, id), BM_CLICK, 0, 0); }

// The user-defined folder with a file to protect and one to clean; only
// that category ticked (store 1), files deleted at once.
void prepareUserFolderClean(testenv::TempFolder& app, testenv::TempFolder& folder, int junkFiles)
{
    testenv::writeFile(folder.file(L"keep.me"), "precious");
    for (int i = 0; i < junkFiles; ++i)
        testenv::writeFile(folder.file(L"junk" + std::to_wstring(i) + L".tmp"), "junk");
    testenv::writeFile(app.file(L"UDFO.sol"), toAnsi(folder.path() + L"\\") + "\r\n");
    testenv::writeFile(app.file(L"IFI.sol"), "");
    testenv::writeFile(app.file(L"checkItems.sol"), "0,1,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,\r\n");
    testenv::writeFile(app.file(L"Settings.ini"),
                       "[General]\r\nDelMethod=D\r\n[Internet]\r\nVendorSite=http://127.0.0.1:9\r\n");
}

// Exit in the log, then the main window idle again.
void closeLog(HWND main, HWND log)
{
    PostMessageW(log, WM_COMMAND, IDM_LOG_mnuExit, 0);
    for (int i = 0; i < 100 && (IsWindow(log) || !IsWindowEnabled(GetDlgItem(main, IDC_cmdClean))); ++i)
        Sleep(50);
}

HWND cleanAndWaitForLog(SorvaneProcess& p, HWND main)
{
    // Posted: the click returns only when the run's log is closed.
    PostMessageW(GetDlgItem(main, IDC_cmdClean), BM_CLICK, 0, 0);
    return p.waitForWindow(L"Sorvane - Clean Log", 60000);
}

} // namespace

TEST(MainWindow, AFileNameProtectedAndAcceptedIsKeptByTheVeryNextClean)
{
    testenv::TempFolder app, folder;
    prepareUserFolderClean(app, folder, 1);
    SorvaneProcess p(app.path());
    HWND main = p.waitForMainWindow();
    ASSERT_NE(main, nullptr);
    PostMessageW(main, WM_COMMAND, IDM_mnuOptions, 0);
    HWND options = p.waitForWindow(L"Sorvane - Options", 15000);
    ASSERT_NE(options, nullptr);
    SendMessageW(control(options, IDC_txtIFI), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"keep.me"));
    click(options, IDC_cmdIFIAdd);
    click(options, IDC_cmdAccept);
    ASSERT_FALSE(IsWindow(options));
    EXPECT_EQ(testenv::readFile(app.file(L"IFI.sol")), "keep.me\r\n");
    HWND log = cleanAndWaitForLog(p, main);
    ASSERT_NE(log, nullptr);
    EXPECT_TRUE(testenv::exists(folder.file(L"keep.me"))) << "the accepted list is the one the clean used";
    EXPECT_FALSE(testenv::exists(folder.file(L"junk0.tmp")));
    closeLog(main, log);
    closeAndWait(p, main);
}

// The delete method accepted while a clean runs applies from the next run:
// the running clean goes on deleting, nothing reaches the Recycle Bin.
TEST(MainWindow, SettingsAcceptedDuringARunApplyFromTheNextRun)
{
    testenv::TempFolder app, folder;
    constexpr int kFiles = 1500;
    prepareUserFolderClean(app, folder, kFiles);
    SHQUERYRBINFO before{};
    before.cbSize = sizeof before;
    SHQueryRecycleBinW(nullptr, &before);
    SorvaneProcess p(app.path());
    HWND main = p.waitForMainWindow();
    ASSERT_NE(main, nullptr);
    PostMessageW(GetDlgItem(main, IDC_cmdClean), BM_CLICK, 0, 0);
    for (int i = 0; i < 200 && !IsWindowEnabled(GetDlgItem(main, IDC_cmdStop)); ++i)
        Sleep(10);
    ASSERT_TRUE(IsWindowEnabled(GetDlgItem(main, IDC_cmdStop))) << "the run started";
    PostMessageW(main, WM_COMMAND, IDM_mnuOptions, 0);
    HWND options = p.waitForWindow(L"Sorvane - Options", 15000);
    ASSERT_NE(options, nullptr);
    SendMessageW(control(options, IDC_optRecyclebin), BM_CLICK, 0, 0);
    click(options, IDC_cmdAccept);
    const bool acceptedDuringRun = IsWindowEnabled(GetDlgItem(main, IDC_cmdStop)) != FALSE;
    HWND log = p.waitForWindow(L"Sorvane - Clean Log", 60000);
    ASSERT_NE(log, nullptr);
    ASSERT_TRUE(acceptedDuringRun) << "the run ended before Accept: make it longer";
    SHQUERYRBINFO after{};
    after.cbSize = sizeof after;
    SHQueryRecycleBinW(nullptr, &after);
    EXPECT_EQ(after.i64NumItems, before.i64NumItems) << "the running clean kept its delete method";
    EXPECT_FALSE(testenv::exists(folder.file(L"junk0.tmp")));
    EXPECT_NE(testenv::readFile(app.file(L"Settings.ini")).find("DelMethod=R"), std::string::npos);
    closeLog(main, log);
    // The next run takes the accepted method.
    testenv::writeFile(folder.file(L"next.tmp"), "junk");
    log = cleanAndWaitForLog(p, main);
    ASSERT_NE(log, nullptr);
    SHQueryRecycleBinW(nullptr, &after);
    EXPECT_EQ(after.i64NumItems, before.i64NumItems + 1);
    closeLog(main, log);
    closeAndWait(p, main);
}

// A double-click right after closing starts the program: the start does not
// hand over to the instance that is ending.
TEST(MainWindow, AStartOneSecondAfterClosingShowsTheProgram)
{
    testenv::TempFolder app, copy;
    SorvaneProcess first(app.path());
    HWND main = first.waitForMainWindow();
    ASSERT_NE(main, nullptr);
    const ULONGLONG closed = GetTickCount64();
    PostMessageW(main, WM_CLOSE, 0, 0);
    Sleep(1000);
    SorvaneProcess second(copy.path());  // the first one's file is still in use
    HWND again = second.waitForMainWindow(15000);
    ASSERT_NE(again, nullptr) << "the second start shows its window";
    EXPECT_TRUE(IsWindowVisible(again));
    EXPECT_EQ(first.waitForExit(5000), 0u);
    std::printf("the first instance ended %.1f s after its window closed\n",
                static_cast<double>(GetTickCount64() - closed) / 1000.0);
    closeAndWait(second, again);
}

// An instance whose window is closing (here: marked so, and slow to end)
// is never handed over to: the new start waits a little, then shows itself.
TEST(MainWindow, AStartNeverHandsOverToAnInstanceThatIsClosing)
{
    testenv::TempFolder app, copy;
    SorvaneProcess first(app.path());
    HWND main = first.waitForMainWindow();
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(SetPropW(main, kEndingProperty, reinterpret_cast<HANDLE>(1)));
    SorvaneProcess second(copy.path());
    HWND again = nullptr;
    for (int i = 0; i < 150 && !again; ++i) {
        Sleep(100);
        DWORD pid = 0;
        for (HWND w = FindWindowW(kMainWindowClass, nullptr); w; w = FindWindowExW(nullptr, w, kMainWindowClass, nullptr))
            if (GetWindowThreadProcessId(w, &pid) && pid == second.pid())
                again = w;
    }
    EXPECT_NE(again, nullptr) << "the second start shows a window of its own";
    EXPECT_EQ(second.waitForExit(0), static_cast<DWORD>(STILL_ACTIVE));
    RemovePropW(main, kEndingProperty);
    if (again)
        closeAndWait(second, again);
    closeAndWait(first, main);
}

// The machine's policy in the window: a disabled category stays unticked
// and greyed whatever checkItems.sol and Select All say, and the window says
// who set it; the others stay as they were.
TEST(MainWindow, ACategoryThePolicyDisablesIsGreyedAndSaidSo)
{
    testenv::TempFolder app;
    testenv::writeFile(app.file(L"checkItems.sol"), "0,0,0,0,0,0,0,0,0,0,0,1,1,0,0,0,0,0,0,\r\n");
    testenv::ScopedRegValue disabled(HKEY_LOCAL_MACHINE, kPolicyKey, L"DisabledCategories", L"cookies\0\0",
                                     REG_MULTI_SZ);
    SorvaneProcess p(app.path());
    HWND main = p.waitForMainWindow();
    ASSERT_NE(main, nullptr);
    HWND cookies = GetDlgItem(main, IDC_chkCookies), label = GetDlgItem(main, IDC_lblPolicy);
    EXPECT_FALSE(IsWindowEnabled(cookies));
    EXPECT_EQ(IsDlgButtonChecked(main, IDC_chkCookies), static_cast<UINT>(BST_UNCHECKED));
    EXPECT_EQ(IsDlgButtonChecked(main, IDC_chkCache), static_cast<UINT>(BST_CHECKED));
    EXPECT_TRUE(IsWindowVisible(label));
    EXPECT_EQ(windowText(label), kSetByAdministrator);
    SendMessageW(main, WM_COMMAND, IDC_cmdSelectAll, 0);
    EXPECT_EQ(IsDlgButtonChecked(main, IDC_chkCookies), static_cast<UINT>(BST_UNCHECKED));
    EXPECT_EQ(IsDlgButtonChecked(main, IDC_chkHistory), static_cast<UINT>(BST_CHECKED));
    closeAndWait(p, main);
}

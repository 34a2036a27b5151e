#include "core/MainWindow.h"

#include "cleaners/DefaultRules.h"
#include "core/AppFolder.h"
#include "core/Categories.h"
#include "core/ErrorReport.h"
#include "core/Registry.h"
#include "core/RunState.h"
#include "core/SystemPaths.h"
#include "options/Settings.h"
#include "options/Update.h"
#include "resource.h"

#include <commctrl.h>

namespace sorvane {

namespace {

constexpr UINT_PTR kTmrClean = 1;
constexpr UINT_PTR kCleanAnimation = 2;
constexpr UINT WM_APP_STARTUPCLEAN = WM_APP + 1;
constexpr const wchar_t* kCleanProBars = L"||||||||||||||||||||||||||||||||||";

int categoryId(int store) { return IDC_CATEGORY_FIRST + store; }

} // namespace

bool MainWindow::registerClass(HINSTANCE instance)
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefDlgProcW;
    wc.cbWndExtra = DLGWINDOWEXTRA;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP));
    wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, 16, 16, 0));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kMainWindowClass;
    return RegisterClassExW(&wc) != 0;
}

bool MainWindow::create(HINSTANCE instance)
{
    m_instance = instance;
    if (!createModeless(instance, IDD_MAIN, nullptr))
        return false;
    Form_Load();
    return true;
}

int MainWindow::messageLoop()
{
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
        if (root && IsDialogMessageW(root, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

bool MainWindow::onInitDialog()
{
    SendDlgItemMessageW(hwnd(), IDC_pgClean, PBM_SETRANGE32, 0, 100);
    enableUnbuiltMenus();
    return true;
}

void MainWindow::enableUnbuiltMenus()
{
    // Windows that do not exist yet stay greyed rather than doing nothing.
    HMENU menu = GetMenu(hwnd());
    for (UINT id : {IDM_mnuOptions, IDM_mnuchkupdate, IDM_mnuStartup, IDM_mnuFileAssociations, IDM_mnuUninstall,
                    IDM_mnuOrphanedDLL, IDM_mnuOrphanedFilePath, IDM_mnuOrphanedHelpFile,
                    IDM_mnuOrphanedApplicationPath, IDM_mnuOrphanedActivex, IDM_mnuIECache})
        EnableMenuItem(menu, id, MF_BYCOMMAND | MF_GRAYED);
}

void MainWindow::Form_Load()
{
    constexpr const wchar_t* tag = L"frmMain,Form_Load";
    step(tag, [&] {
        progbar = 1;
        intAnimState = 0;
    });
    step(tag, [&] { getUpdateValue(HKEY_LOCAL_MACHINE, kUpdateKey, L"ver", L"1"); });
    step(tag, [&] { gatherSystemInfo(); });
    step(tag, [&] {
        if (!fileExists(appFile(L"DefUNFI.sol")))
            clsdefUNFI{}.createDefFile(appFile(L"DefUNFI.sol"));
    });
    step(tag, [&] { m_delete = getDelete(); });
    step(tag, [&] { getCleanStatus(); });
    step(tag, [&] {
        SendDlgItemMessageW(hwnd(), IDC_pgClean, PBM_SETRANGE32, 0, 100);
        SendDlgItemMessageW(hwnd(), IDC_pgClean, PBM_SETPOS, 0, 0);
    });
    step(tag, [&] {
        CategoryStates states = categoryStates();
        loadCheckItems(appFile(L"checkItems.sol"), states, tag);
        setCategoryStates(states);
    });
    step(tag, [&] {
        const std::wstring backup = appFolder() + L"\\Backup";
        if (!folderExists(backup + L"\\") && !CreateDirectoryW(backup.c_str(), nullptr))
            raiseWin32(GetLastError());
    });
    step(tag, [&] {
        ShowWindow(hwnd(), SW_SHOW);
        UpdateWindow(hwnd());
    });
    step(tag, [&] { setStatus(L"Ready"); });
    step(tag, [&] { getGeneral(); });
}

void MainWindow::getCleanStatus()
{
    step(L"frmMain,getCleanStatus", [&] {
        const std::wstring text = readSetting(L"CleanUp", L"LastCleaned", formatGeneralDate(localNow()));
        if (parseDateText(text))
            SetDlgItemTextW(hwnd(), IDC_lblCleanDate, text.c_str());
    });
}

void MainWindow::saveCleanStatus()
{
    const std::wstring now = formatGeneralDate(localNow());
    step(L"frmMain,saveCleanStatus", [&] { writeSetting(L"CleanUp", L"LastCleaned", now); });
    SetDlgItemTextW(hwnd(), IDC_lblCleanDate, now.c_str());
}

void MainWindow::getGeneral()
{
    const GeneralSettings g = readGeneral();
    if (g.autoClean) {
        mintDuration = g.mintDuration;
        mstrTime = localNow();
        SetTimer(hwnd(), kTmrClean, 10000, nullptr);
    }
    if (g.startupClean)
        PostMessageW(hwnd(), WM_APP_STARTUPCLEAN, 0, 0);
}

CategoryStates MainWindow::categoryStates() const
{
    CategoryStates states{};
    for (const auto& c : kCategories)
        states[c.store] = IsDlgButtonChecked(hwnd(), categoryId(c.store)) == BST_CHECKED ? 1 : 0;
    return states;
}

void MainWindow::setCategoryStates(const CategoryStates& states)
{
    for (const auto& c : kCategories)
        CheckDlgButton(hwnd(), categoryId(c.store), states[c.store] ? BST_CHECKED : BST_UNCHECKED);
}

bool MainWindow::anyCategoryChecked() const
{
    for (int v : categoryStates())
        if (v == 1)
            return true;
    return false;
}

void MainWindow::setStatus(const std::wstring& text)
{
    SetDlgItemTextW(hwnd(), IDC_picStatus, L"");
    SetDlgItemTextW(hwnd(), IDC_picStatus, text.c_str());
}

void MainWindow::cmdClean_Click()
{
    if (!anyCategoryChecked()) {
        MessageBoxW(hwnd(), L"Please select at least one item to clean.", kAppTitle, MB_OK | MB_ICONINFORMATION);
        return;
    }
    MessageBoxW(hwnd(), L"No cleaner is available in this version yet: nothing was cleaned.", kAppTitle,
                MB_OK | MB_ICONINFORMATION);
}

void MainWindow::cmdStop_Click()
{
    runState().bAbort = -1;
    EnableWindow(item(IDC_cmdStop), FALSE);
    EnableWindow(item(IDC_cmdClean), TRUE);
    setStatus(L"Aborted by user");
    setAnimation(0);
}

void MainWindow::cmdExit_Click()
{
    runState().bAbort = -1;
    PostMessageW(hwnd(), WM_CLOSE, 0, 0);
}

void MainWindow::setAnimation(int16_t phase)
{
    intAnimState = phase;
    if (phase == 0) {
        KillTimer(hwnd(), kCleanAnimation);
        SetDlgItemTextW(hwnd(), IDC_CleanPro, kCleanProBars);
    } else {
        SetTimer(hwnd(), kCleanAnimation, 1, nullptr);
    }
}

void MainWindow::Clean_Timer()
{
    static const wchar_t* const kAppend[] = {L"", L"||", L"|", L"||||"};
    static const int16_t kLastTick[] = {0, 16, 9, 9};
    if (intAnimState < 1 || intAnimState > 3)
        return;
    wchar_t caption[512] = {};
    GetDlgItemTextW(hwnd(), IDC_CleanPro, caption, 500);
    std::wstring text = caption;
    text += kAppend[intAnimState];
    const int16_t before = progbar++;
    if (before == kLastTick[intAnimState]) {
        text.clear();
        progbar = 1;
        intAnimState = static_cast<int16_t>(intAnimState % 3 + 1);
    }
    SetDlgItemTextW(hwnd(), IDC_CleanPro, text.c_str());
}

void MainWindow::tmrClean_Timer()
{
    try {
        if (autoCleanDue(mstrTime, localNow(), mintDuration) && IsWindowEnabled(item(IDC_cmdClean))) {
            cmdClean_Click();
            mstrTime = localNow();
        }
    } catch (...) {
    }
}

void MainWindow::Form_Unload()
{
    step(L"frmMain,Form_Unload", [&] { saveCheckItems(appFile(L"checkItems.sol"), categoryStates()); });
}

bool MainWindow::onCommand(int id, int /*code*/, HWND /*control*/)
{
    switch (id) {
    case IDC_cmdClean:
    case IDM_mnuClean: cmdClean_Click(); return true;
    case IDC_cmdStop: cmdStop_Click(); return true;
    case IDC_cmdExit: cmdExit_Click(); return true;
    case IDM_mnuExit: PostMessageW(hwnd(), WM_CLOSE, 0, 0); return true;
    case IDC_cmdSelectAll:
    case IDC_cmdDeselect: {
        CategoryStates states{};
        states.fill(id == IDC_cmdSelectAll ? 1 : 0);
        setCategoryStates(states);
        return true;
    }
    case IDM_mnuIEApplet: openInternetOptions(); return true;
    case IDCANCEL: return true;  // Esc does not close the main window
    default: return false;
    }
}

bool MainWindow::onMessage(UINT msg, WPARAM wp, LPARAM /*lp*/, INT_PTR& result)
{
    switch (msg) {
    case WM_TIMER:
        if (wp == kTmrClean)
            tmrClean_Timer();
        else if (wp == kCleanAnimation)
            Clean_Timer();
        result = TRUE;
        return true;
    case WM_APP_STARTUPCLEAN:
        cmdClean_Click();
        result = TRUE;
        return true;
    case WM_CLOSE:
        Form_Unload();
        DestroyWindow(hwnd());
        result = TRUE;
        return true;
    default:
        return false;
    }
}

void MainWindow::onDestroy() { PostQuitMessage(0); }

} // namespace sorvane

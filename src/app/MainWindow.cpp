#include "app/MainWindow.h"

#include "app/AnalysisWindow.h"
#include "app/SingleInstance.h"
#include "app/WaitWindow.h"
#include "cleaners/ApplicationRulesWindow.h"
#include "cleaners/IECacheWindow.h"
#include "cleaners/WindowsCleanupWindow.h"
#include "core/Categories.h"
#include "options/AutoUpdateWindow.h"
#include "options/LogWindow.h"
#include "options/Update.h"
#include "platform/AppFolder.h"
#include "platform/DoEvents.h"
#include "platform/ErrorReport.h"
#include "platform/Registry.h"
#include "platform/SystemPaths.h"
#include "resource.h"
#include "store/DefaultRules.h"
#include "store/Settings.h"
#include "tools/ExplorerWindow.h"
#include "tools/ScanWindow.h"

#include <commctrl.h>
#include <algorithm>

namespace sorvane {

namespace {

constexpr UINT_PTR kTmrClean = 1;
constexpr UINT_PTR kCleanAnimation = 2;
constexpr UINT WM_APP_STARTUPCLEAN = WM_APP + 1;
constexpr const wchar_t* kCleanProBars = L"||||||||||||||||||||||||||||||||||";
constexpr int kFileMenuPos = 0;
constexpr int kToolsMenuPos = 1;
constexpr int kMenuBarHeight = 22;

int categoryId(int store) { return IDC_CATEGORY_FIRST + store; }

// checkItems.sol holds one field per category.
static_assert(kCategories.size() == kCategoryCount);

} // namespace

MainWindow::MainWindow() : m_search(*this, runState()), m_run(*this, runState(), m_search, m_delete) {}

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
    const int cx = GetSystemMetrics(SM_CXSMICON), cy = GetSystemMetrics(SM_CYSMICON);
    m_checkIcon.reset(static_cast<HICON>(LoadImageW(m_instance, MAKEINTRESOURCEW(IDI_CHECK), IMAGE_ICON, cx, cy, 0)));
    m_busyIcon.reset(static_cast<HICON>(LoadImageW(m_instance, MAKEINTRESOURCEW(IDI_BUSY), IMAGE_ICON, cx, cy, 0)));
    for (const auto& c : kCategories)
        SendDlgItemMessageW(hwnd(), IDC_CHECKMARK_FIRST + c.store, STM_SETICON,
                            reinterpret_cast<WPARAM>(m_checkIcon.get()), 0);
    for (int id : {IDC_imgInternet, IDC_imgWindows, IDC_imgFiles})
        SendDlgItemMessageW(hwnd(), id, STM_SETICON, reinterpret_cast<WPARAM>(m_busyIcon.get()), 0);
    // The drawn menu bar takes a strip at the top; everything else moves down.
    for (HWND child = GetWindow(hwnd(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT r;
        GetWindowRect(child, &r);
        MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&r), 2);
        SetWindowPos(child, nullptr, r.left, r.top + kMenuBarHeight, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    RECT w;
    GetWindowRect(hwnd(), &w);
    SetWindowPos(hwnd(), nullptr, 0, 0, w.right - w.left, w.bottom - w.top + kMenuBarHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    m_panels.create(m_instance, hwnd(), kMenuBarHeight);
    return true;
}

// The Orphans panel's order: shared DLLs, help files, application paths, ActiveX.
void MainWindow::openScanner(int orphansIndex)
{
    switch (orphansIndex) {
    case 0: SharedDllWindow{}.show(m_instance, hwnd()); break;
    case 1: HelpWindow{}.show(m_instance, hwnd()); break;
    case 2: AppPathWindow{}.show(m_instance, hwnd()); break;
    case 3: ActiveXWindow{}.show(m_instance, hwnd()); break;
    default: break;
    }
}

// The managers and the invalid-reference window: the wait notice (from the
// Tools panel) closes as the window's last step of loading.
template <class ToolWindow>
void MainWindow::openWithWait(bool withWait)
{
    WaitWindow wait;
    if (withWait)
        wait.show(m_instance, hwnd());
    ToolWindow w;
    w.onLoaded = [&wait] { wait.close(); };
    w.show(m_instance, hwnd());
}

void MainWindow::showExplorer()
{
    ExplorerWindow explorer;
    explorer.show(m_instance, hwnd());
}

void MainWindow::showOptions(int tab, bool withWait)
{
    if (m_options && m_options->isOpen()) {
        m_options->selectTab(tab);
        if (IsIconic(m_options->hwnd()))
            ShowWindow(m_options->hwnd(), SW_RESTORE);
        SetForegroundWindow(m_options->hwnd());
    } else {
        WaitWindow wait;
        if (withWait)
            wait.show(m_instance, hwnd());
        m_options = std::make_unique<OptionsWindow>(*this);
        m_options->open(m_instance, hwnd(), tab);
    }
    // A running clean keeps the lists it started with.
    if (!m_run.running())
        step(L"frmMain,mnuOptions_Click", [&] { m_search.loadAll(); });
}

void MainWindow::showUpdate()
{
    if (m_policy.disableUpdate) {
        messageBox(L"Updates are set by your administrator.", MB_OK | MB_ICONINFORMATION);
        return;
    }
    AutoUpdateWindow w;
    // Once the new version runs, this one ends as a close would end it.
    w.endProgram = [this] { PostMessageW(hwnd(), WM_CLOSE, 0, 0); };
    w.show(m_instance, hwnd());
}

void MainWindow::setAutoClean(bool on, int16_t minutes)
{
    if (!on) {
        KillTimer(hwnd(), kTmrClean);
        return;
    }
    mintDuration = minutes;
    mstrTime = localNow();
    SetTimer(hwnd(), kTmrClean, 10000, nullptr);
}

void MainWindow::onPanelEntry(int panel, int index)
{
    m_panels.hideFrames();
    switch (panel) {
    case kPanelFile:
        if (index == 0)
            onCommand(IDM_mnuClean, 0, nullptr);
        else if (index == 1)
            showOptions(1, true);
        else if (index == 2)
            showUpdate();
        else if (index == 3)
            PostMessageW(hwnd(), WM_CLOSE, 0, 0);
        break;
    case kPanelOptions: showOptions(optionsTabFor(index), false); break;
    case kPanelTools: {
        if (index == 5)
            openInternetOptions();
        else if (index == 2)
            openWithWait<InvalidFileWindow>(true);
        else if (index == 0)
            openWithWait<StartupWindow>(true);
        else if (index == 1)
            openWithWait<UninstallWindow>(true);
        else if (index == 3)
            openWithWait<FileAssociationWindow>(true);
        else if (index == 4)
            openWithWait<IECacheWindow>(true);
        break;
    }
    case kPanelOrphans: openScanner(index); break;
    case kPanelHelp:
        if (index == 0 || index == 1) {
            std::wstring error;
            if (!shellOpen(L"open", vendorSite() + (index == 0 ? L"/help/" : L"/contact/"), L"", L"", SW_SHOWNORMAL,
                           &error))
                MessageBoxW(hwnd(), error.c_str(), kAppTitle, MB_OK | MB_ICONEXCLAMATION);
        }
        break;
    default: break;
    }
}

bool MainWindow::onMenuCommand(int id)
{
    if (id >= kPanelCommandBase && id < kPanelCommandBase + kPanelCount * 16) {
        const int n = id - kPanelCommandBase;
        onPanelEntry(n / 16, n % 16);
        return true;
    }
    switch (id) {
    case IDM_mnuOptions: showOptions(1, false); return true;
    case IDM_mnuchkupdate: showUpdate(); return true;
    case IDM_mnuStartup: openWithWait<StartupWindow>(false); return true;
    case IDM_mnuFileAssociations: openWithWait<FileAssociationWindow>(false); return true;
    case IDM_mnuUninstall: openWithWait<UninstallWindow>(false); return true;
    case IDM_mnuFileExplorer: showExplorer(); return true;
    case IDM_mnuOrphanedFilePath: openWithWait<InvalidFileWindow>(false); return true;
    case IDM_mnuIECache: openWithWait<IECacheWindow>(false); return true;
    case IDM_mnuOrphanedDLL: openScanner(0); return true;
    case IDM_mnuOrphanedHelpFile: openScanner(1); return true;
    case IDM_mnuOrphanedApplicationPath: openScanner(2); return true;
    case IDM_mnuOrphanedActivex: openScanner(3); return true;
    default: return false;
    }
}

void MainWindow::Form_Resize()
{
    step(L"frmMain,Form_Resize", [&] {
        if (IsIconic(hwnd()))
            return;
        RECT rc;
        GetClientRect(hwnd(), &rc);
        if (m_panels.titleWindow())
            MoveWindow(m_panels.titleWindow(), 0, 0, rc.right, kMenuBarHeight, TRUE);
        // The Exit button's right edge stays on the progress bar's.
        RECT bar, exit;
        GetWindowRect(item(IDC_pgClean), &bar);
        GetWindowRect(item(IDC_cmdExit), &exit);
        MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&bar), 2);
        MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&exit), 2);
        const int bw = rc.right - 2 * bar.left;
        MoveWindow(item(IDC_pgClean), bar.left, bar.top, bw, bar.bottom - bar.top, TRUE);
        MoveWindow(item(IDC_cmdExit), bar.left + bw - (exit.right - exit.left), exit.top, exit.right - exit.left,
                   exit.bottom - exit.top, TRUE);
        RECT status;
        GetWindowRect(item(IDC_picStatus), &status);
        MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&status), 2);
        MoveWindow(item(IDC_picStatus), 0, status.top, rc.right, status.bottom - status.top, TRUE);
        // The separator under the panel titles spans the window.
        RECT line;
        GetWindowRect(item(IDC_Line1), &line);
        MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&line), 2);
        MoveWindow(item(IDC_Line1), 0, line.top, rc.right, std::max<LONG>(2, line.bottom - line.top), TRUE);
    });
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
    step(tag, [&] { m_search.loadAll(); });
    step(tag, [&] { m_policy = readMachinePolicy(); });
    step(tag, [&] {
        CategoryStates states = categoryStates();
        loadCheckItems(appFile(L"checkItems.sol"), states, tag);
        setCategoryStates(states);
    });
    step(tag, [&] { applyPolicy(); });
    step(tag, [&] {
        const std::wstring backup = appFolder() + L"\\Backup";
        if (!folderExists(backup + L"\\") && !makePrivateFolder(backup))
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
        CheckDlgButton(hwnd(), categoryId(c.store),
                       states[c.store] && !m_policy.categoryDisabled(c.caption) ? BST_CHECKED : BST_UNCHECKED);
}

void MainWindow::applyPolicy()
{
    bool any = false;
    for (const auto& c : kCategories) {
        if (!m_policy.categoryDisabled(c.caption))
            continue;
        CheckDlgButton(hwnd(), categoryId(c.store), BST_UNCHECKED);
        EnableWindow(item(categoryId(c.store)), FALSE);
        any = true;
    }
    // Said in words beside the boxes, not only greyed.
    ShowWindow(item(IDC_lblPolicy), any ? SW_SHOW : SW_HIDE);
}

std::vector<std::wstring> MainWindow::tickedCategoryCaptions() const
{
    std::vector<std::wstring> captions;
    const CategoryStates states = categoryStates();
    for (const auto& c : kCategories)
        if (states[static_cast<size_t>(c.store)] == 1)
            captions.emplace_back(c.caption);
    return captions;
}

bool MainWindow::anyCategoryChecked() const
{
    for (int v : categoryStates())
        if (v == 1)
            return true;
    return false;
}

// --- EngineUi ---------------------------------------------------------------

void MainWindow::setStatus(const std::wstring& text)
{
    SetDlgItemTextW(hwnd(), IDC_picStatus, text.c_str());
}

void MainWindow::setProgressMax(int64_t max)
{
    m_progressMax = max;
    const int top = static_cast<int>(std::min<int64_t>(max, INT32_MAX));
    SendDlgItemMessageW(hwnd(), IDC_pgClean, PBM_SETRANGE32, 0, top > 0 ? top : 1);
}

void MainWindow::setProgress(int64_t value)
{
    SendDlgItemMessageW(hwnd(), IDC_pgClean, PBM_SETPOS, static_cast<WPARAM>(std::min<int64_t>(value, INT32_MAX)), 0);
}

int MainWindow::messageBox(const std::wstring& text, unsigned flags)
{
    return MessageBoxW(hwnd(), text.c_str(), kAppTitle, flags);
}

void MainWindow::pumpMessages() { doEvents(); }

HWND MainWindow::activityImageFor(int store) const
{
    switch (kCategories[static_cast<size_t>(store)].group) {
    case CategoryGroup::Internet: return item(IDC_imgInternet);
    case CategoryGroup::Windows: return item(IDC_imgWindows);
    default: return item(IDC_imgFiles);
    }
}

void MainWindow::startOperation(int categoryStore)
{
    constexpr const wchar_t* tag = L"frmMain,startOperation";
    step(tag, [&] { setStatus(L"Working"); });
    step(tag, [&] {
        enableRunButtons(false);
    });
    step(tag, [&] {
        // The group's activity picture stands just left of the category's box.
        HWND image = activityImageFor(categoryStore);
        RECT box, pic;
        GetWindowRect(item(categoryId(categoryStore)), &box);
        GetWindowRect(image, &pic);
        MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&box), 2);
        const int w = pic.right - pic.left, h = pic.bottom - pic.top;
        SetWindowPos(image, HWND_TOP, box.left - w - 2, box.top + (box.bottom - box.top - h) / 2, 0, 0,
                     SWP_NOSIZE | SWP_SHOWWINDOW);
    });
}

void MainWindow::stopOperation(const std::wstring& caption)
{
    constexpr const wchar_t* tag = L"frmMain,stopOperation";
    if (caption.empty()) {
        // An analysis cleaned nothing.
        if (!runState().analyzing)
            step(tag, [&] { saveCleanStatus(); });
        step(tag, [&] { setStatus(L"Ready"); });
    } else {
        step(tag, [&] { setStatus(caption); });
    }
    step(tag, [&] { setProgress(0); });
    step(tag, [&] {
        enableRunButtons(true);
    });
    for (int id : {IDC_imgFiles, IDC_imgInternet, IDC_imgWindows})
        ShowWindow(item(id), SW_HIDE);
}

ReviewWindow& MainWindow::reviewWindow()
{
    if (!m_review) {
        m_review = std::make_unique<ReviewWindow>();
        m_review->create(m_instance, hwnd());
    }
    return *m_review;
}

void MainWindow::addReviewRow(const ReviewRow& row) { reviewWindow().addRow(row); }

void MainWindow::discardReviewRows() { m_review.reset(); }

void MainWindow::showReviewWindow(const ReviewTools& tools)
{
    reviewWindow().showModal(tools, *this);
    m_review.reset();
}

// --- RunHost ----------------------------------------------------------------

bool MainWindow::isCategoryChecked(int store)
{
    return IsDlgButtonChecked(hwnd(), categoryId(store)) == BST_CHECKED &&
           !m_policy.categoryDisabled(kCategories[static_cast<size_t>(store)].caption);
}

void MainWindow::setCheckMark(int store, bool visible)
{
    ShowWindow(item(IDC_CHECKMARK_FIRST + store), visible ? SW_SHOW : SW_HIDE);
}

void MainWindow::setAnimation(int16_t phase)
{
    intAnimState = phase;
    if (phase == 0) {
        KillTimer(hwnd(), kCleanAnimation);
        SetDlgItemTextW(hwnd(), IDC_CleanPro, kCleanProBars);
    } else {
        progbar = 1;
        SetDlgItemTextW(hwnd(), IDC_CleanPro, L"");
        SetTimer(hwnd(), kCleanAnimation, 1, nullptr);
    }
}

// What is accepted during a run waits for its end.
void MainWindow::setDeleteSettings(const DeleteSettings& settings)
{
    m_pendingDelete = settings;
    if (!m_run.running())
        applyPendingSettings();
}

void MainWindow::listsAccepted()
{
    m_pendingLists = true;
    if (!m_run.running())
        applyPendingSettings();
}

void MainWindow::applyPendingSettings()
{
    if (m_pendingDelete) {
        m_delete = *m_pendingDelete;
        m_pendingDelete.reset();
    }
    if (m_pendingLists) {
        m_pendingLists = false;
        step(L"frmMain,mnuOptions_Click", [&] { m_search.loadAll(); });
    }
}

void MainWindow::setRunControls(bool running)
{
    if (!running)
        applyPendingSettings();
    enableRunButtons(!running);
    HMENU menu = GetMenu(hwnd());
    const UINT state = MF_BYPOSITION | (running ? MF_GRAYED : MF_ENABLED);
    EnableMenuItem(menu, kFileMenuPos, state);
    EnableMenuItem(menu, kToolsMenuPos, state);
    DrawMenuBar(hwnd());
}

void MainWindow::enableRunButtons(bool idle)
{
    EnableWindow(item(IDC_cmdClean), idle ? TRUE : FALSE);
    EnableWindow(item(IDC_cmdAnalyze), idle ? TRUE : FALSE);
    EnableWindow(item(IDC_cmdStop), idle ? FALSE : TRUE);
}

void MainWindow::showAnalysis(const std::vector<AnalysisRow>& rows)
{
    AnalysisWindow window(rows);
    window.show(m_instance, hwnd());
}

void MainWindow::showLog(const std::wstring& text)
{
    LogWindow log(text);
    log.show(m_instance, hwnd());
}

// --- Handlers ---------------------------------------------------------------

void MainWindow::cmdClean_Click()
{
    m_run.fullRun();
    finishRun();
}

void MainWindow::mnuPopup_Click(const std::wstring& caption)
{
    m_run.singleRun(caption);
    finishRun();
}

void MainWindow::finishRun()
{
    if (m_closePending)
        PostMessageW(hwnd(), WM_CLOSE, 0, 0);
}

void MainWindow::cmdStop_Click()
{
    runState().bAbort = -1;
    setRunControls(false);
    setStatus(L"Aborted by user");
    setAnimation(0);
}

void MainWindow::cmdExit_Click()
{
    runState().bAbort = -1;
    PostMessageW(hwnd(), WM_CLOSE, 0, 0);
}

void MainWindow::showCategoryMenu(HWND checkBox, LPARAM screenPos)
{
    const int store = GetDlgCtrlID(checkBox) - IDC_CATEGORY_FIRST;
    if (store < 0 || store >= static_cast<int>(kCategories.size()))
        return;
    SetFocus(checkBox);
    if (!IsWindowEnabled(item(IDC_cmdClean)) || m_run.running())
        return;
    const std::wstring caption = kCategories[static_cast<size_t>(store)].popup;
    win::UniqueMenu menu(CreatePopupMenu());
    AppendMenuW(menu.get(), MF_STRING, IDM_mnuPopup, caption.c_str());
    POINT pt{static_cast<short>(LOWORD(screenPos)), static_cast<short>(HIWORD(screenPos))};
    if (screenPos == -1) {
        RECT rc;
        GetWindowRect(checkBox, &rc);
        pt = {rc.left, rc.bottom};
    }
    const int chosen = TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, pt.x, pt.y, 0, hwnd(), nullptr);
    if (chosen == IDM_mnuPopup)
        mnuPopup_Click(caption);
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
    // Ticks go on while an automatic clean waits in a message box or the log
    // window; they must not start another one on top of it.
    if (m_inAutoClean)
        return;
    try {
        if (autoCleanDue(mstrTime, localNow(), mintDuration) && IsWindowEnabled(item(IDC_cmdClean)) &&
            !m_run.running()) {
            m_inAutoClean = true;
            cmdClean_Click();
            m_inAutoClean = false;
            mstrTime = localNow();
        }
    } catch (...) {
        m_inAutoClean = false;
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
    case IDM_mnuClean:
        if (IsWindowEnabled(item(IDC_cmdClean)) && !m_run.running())
            cmdClean_Click();
        return true;
    case IDC_cmdAnalyze:
        if (IsWindowEnabled(item(IDC_cmdAnalyze)) && !m_run.running()) {
            m_run.analyze();
            finishRun();
        }
        return true;
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
    case IDC_cmdWindowsCleanup: {
        WindowsCleanupWindow window;
        window.show(GetModuleHandleW(nullptr), hwnd());
        return true;
    }
    case IDC_cmdApplicationRules: {
        ApplicationRulesWindow window;
        window.show(GetModuleHandleW(nullptr), hwnd());
        return true;
    }
    case IDCANCEL: return true;  // Esc does not close the main window
    // No button is the default: a stray Enter (after a message box, on a
    // check box) must never start a run that deletes files.
    case IDOK: return true;
    default: return onMenuCommand(id);
    }
}

bool MainWindow::onMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR& result)
{
    switch (msg) {
    case WM_TIMER:
        if (wp == kTmrClean)
            tmrClean_Timer();
        else if (wp == kCleanAnimation)
            Clean_Timer();
        result = TRUE;
        return true;
    case WM_CONTEXTMENU:
        showCategoryMenu(reinterpret_cast<HWND>(wp), lp);
        result = TRUE;
        return true;
    case WM_APP_STARTUPCLEAN:
        if (!m_run.running())
            cmdClean_Click();
        result = TRUE;
        return true;
    case WM_ENDSESSION:
        // Logoff and shutdown end the process without WM_CLOSE: keep the
        // ticked boxes as closing the window would.
        if (wp) {
            runState().bAbort = -1;
            Form_Unload();
        }
        result = 0;
        return true;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_MOVE:
        // The window body (and the group frames, which let the mouse through)
        // closes any open panel.
        if (m_panels.openPanelIndex() >= 0)
            m_panels.hideFrames();
        return false;
    case WM_CLOSE:
        // From now on a new start is a start of its own.
        SetPropW(hwnd(), kEndingProperty, reinterpret_cast<HANDLE>(1));
        if (m_run.running()) {
            // The run unwinds first; the window closes when it has returned.
            runState().bAbort = -1;
            m_closePending = true;
        } else {
            Form_Unload();
            DestroyWindow(hwnd());
        }
        result = TRUE;
        return true;
    default:
        return false;
    }
}

void MainWindow::onDestroy()
{
    RemovePropW(hwnd(), kEndingProperty);
    KillTimer(hwnd(), kTmrClean);
    KillTimer(hwnd(), kCleanAnimation);
    PostQuitMessage(0);
}

} // namespace sorvane

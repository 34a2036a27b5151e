#include "options/OptionsWindow.h"

#include "platform/AppFolder.h"
#include "platform/ErrorReport.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "resource.h"

#include <commctrl.h>
#include <commdlg.h>

namespace sorvane {

namespace {

const wchar_t* const kTabCaptions[kOptionsTabCount] = {
    L"General",      L"Searching", L"Ignore Folders", L"Ignore Files", L"Unnecessary Files", L"User defined folders",
    L"User defined files", L"Keep Cookies", L"Backups"};

// The pages pass what their controls send on to the window.
INT_PTR CALLBACK pageProc(HWND page, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_INITDIALOG: return TRUE;
    case WM_COMMAND:
        SendMessageW(GetParent(page), msg, wp, lp);
        return TRUE;
    case WM_NOTIFY:
        SetWindowLongPtrW(page, DWLP_MSGRESULT, SendMessageW(GetParent(page), msg, wp, lp));
        return TRUE;
    default: return FALSE;
    }
}

} // namespace

OptionsWindow::OptionsWindow(OptionsHost& host, OptionsHooks hooks)
    : m_host(host), m_hooks(std::move(hooks)), m_general(m_hooks, host), m_search(m_hooks),
      m_ignoreFolders(m_hooks, {L"UDIFO.sol", false, IDC_lstUDIFO, IDC_txtUDIFO, IDC_cmdUDIFOBrowse, IDC_cmdUDIFOAdd,
                                IDC_cmdUDIFORemove, IDC_cmdUDIFORedundant, IDC_cmdUDIFOExplore, 0, IDC_chkIFO}),
      m_ignoreFiles(m_hooks), m_unnecessary(m_hooks),
      m_userFolders(m_hooks, {L"UDFO.sol", true, IDC_lstUDFO, IDC_txtUDFOFolder, IDC_cmdUDFOBrowse, IDC_cmdUDFOAdd,
                              IDC_cmdUDFORemove, IDC_cmdUDFORRedundant, IDC_cmdExploreUDFO, IDC_cmdUDFODefaults, 0}),
      m_userFiles(m_hooks),
      m_cookies([this](const std::wstring& t, unsigned f) { return m_hooks.ask(hwnd(), t, f); }),
      m_backups(host, [this](HWND owner, const std::wstring& t, unsigned f) { return m_hooks.ask(owner, t, f); })
{
    if (!m_hooks.ask)
        m_hooks.ask = [](HWND owner, const std::wstring& text, unsigned flags) {
            return MessageBoxW(owner, text.c_str(), kAppTitle, flags);
        };
    if (!m_hooks.pickFolder)
        m_hooks.pickFolder = [](HWND owner) { return getPath(owner); };
    if (!m_hooks.pickFile)
        m_hooks.pickFile = [](HWND owner) -> std::optional<std::wstring> {
            std::wstring file(32768, L'\0');
            OPENFILENAMEW ofn{};
            ofn.lStructSize = sizeof ofn;
            ofn.hwndOwner = owner;
            ofn.lpstrFilter = L"All Files (*.*)\0*.*\0";
            ofn.lpstrFile = file.data();
            ofn.nMaxFile = static_cast<DWORD>(file.size());
            ofn.Flags = OFN_HIDEREADONLY | OFN_EXPLORER | OFN_NOCHANGEDIR;
            if (!GetOpenFileNameW(&ofn))
                return std::nullopt;
            return stripNull(file);
        };
    if (!m_hooks.explore)
        m_hooks.explore = [](const std::wstring& parameters) {
            shellOpen(L"Open", L"Explorer", parameters, L"", SW_SHOWNORMAL);
        };
}

bool OptionsWindow::open(HINSTANCE instance, HWND owner, int tab)
{
    m_instance = instance;
    m_initialTab = tab;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES | ICC_DATE_CLASSES};
    InitCommonControlsEx(&icc);
    if (!createModeless(instance, IDD_OPTIONS, owner))
        return false;
    ShowWindow(hwnd(), SW_SHOW);
    return true;
}

bool OptionsWindow::onInitDialog()
{
    HWND tabs = item(IDC_tbOptions);
    for (int i = 0; i < kOptionsTabCount; ++i) {
        TCITEMW t{};
        t.mask = TCIF_TEXT;
        t.pszText = const_cast<wchar_t*>(kTabCaptions[i]);
        TabCtrl_InsertItem(tabs, i, &t);
    }
    RECT area;
    GetWindowRect(tabs, &area);
    MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&area), 2);
    TabCtrl_AdjustRect(tabs, FALSE, &area);
    for (int i = 0; i < kOptionsTabCount; ++i) {
        m_pages[i] = CreateDialogParamW(m_instance, MAKEINTRESOURCEW(IDD_OPT_GENERAL + i), hwnd(), pageProc, 0);
        if (m_pages[i])
            SetWindowPos(m_pages[i], tabs, area.left, area.top, area.right - area.left, area.bottom - area.top,
                         SWP_NOACTIVATE);
    }
    const auto pages = settingsTabs();
    for (size_t i = 0; i < pages.size(); ++i)
        pages[i]->attach(m_pages[i]);
    m_cookies.attach(m_instance, hwnd(), m_pages[kOptionsTabCount - 2]);
    m_backups.attach(m_instance, hwnd(), m_pages[kOptionsTabCount - 1]);
    Form_Load();
    selectTab(m_initialTab);
    return true;
}

// --- the frame ----------------------------------------------------------------

std::array<OptionsPage*, 7> OptionsWindow::settingsTabs()
{
    return {&m_general, &m_search, &m_ignoreFolders, &m_ignoreFiles, &m_unnecessary, &m_userFolders, &m_userFiles};
}

HWND OptionsWindow::control(int id) const
{
    if (HWND h = item(id))
        return h;
    for (HWND page : m_pages)
        if (HWND h = page ? GetDlgItem(page, id) : nullptr)
            return h;
    return nullptr;
}

void OptionsWindow::press(int id)
{
    SendMessageW(hwnd(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control(id)));
}

void OptionsWindow::selectTab(int tab)
{
    if (tab < 1 || tab > kOptionsTabCount)
        tab = 1;
    TabCtrl_SetCurSel(item(IDC_tbOptions), tab - 1);
    for (int i = 0; i < kOptionsTabCount; ++i)
        if (m_pages[i])
            ShowWindow(m_pages[i], i == tab - 1 ? SW_SHOW : SW_HIDE);
}

int OptionsWindow::selectedTab() const { return TabCtrl_GetCurSel(item(IDC_tbOptions)) + 1; }

void OptionsWindow::Form_Load()
{
    for (OptionsPage* tab : settingsTabs())
        tab->load();
    m_cookies.load();
    m_backups.loadSettings();
    // The General tab shows the folder the Backups tab read; the list of
    // archives follows it.
    mirrorBackupFolder(IDC_txtBackup, IDC_txtGenerealBackup);
}

void OptionsWindow::cmdAccept_Click()
{
    SaveLog log;
    log.note(step(L"frmOptions,saveCookies", [&] { m_cookies.save(); }), L"cookies.sol");
    // The list files first, in the order the program has always written them.
    for (OptionsPage* tab : {static_cast<OptionsPage*>(&m_userFolders), static_cast<OptionsPage*>(&m_ignoreFolders),
                             static_cast<OptionsPage*>(&m_userFiles), static_cast<OptionsPage*>(&m_ignoreFiles),
                             static_cast<OptionsPage*>(&m_search), static_cast<OptionsPage*>(&m_unnecessary)})
        tab->save(log);
    m_backups.saveSettings(log);
    m_general.save(log);
    m_host.listsAccepted();
    if (!log.unsaved().empty()) {
        // The window stays, with what the user chose, so nothing is lost.
        std::wstring which;
        for (const auto& f : log.unsaved())
            which += (which.empty() ? L"" : L", ") + f;
        m_hooks.ask(hwnd(), L"Some settings could not be saved: " + which, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    DestroyWindow(hwnd());
}

void OptionsWindow::pickBackupFolder()
{
    const std::wstring folder = m_hooks.pickFolder(hwnd());
    if (folder.empty())
        return;
    SetWindowTextW(control(IDC_txtBackup), folder.c_str());
    SetWindowTextW(control(IDC_txtGenerealBackup), folder.c_str());
}

void OptionsWindow::mirrorBackupFolder(int fromId, int toId)
{
    const std::wstring value = win::windowText(control(fromId));
    if (win::windowText(control(toId)) != value)
        SetWindowTextW(control(toId), value.c_str());
    // The Backups tab lists, and its buttons act on, the folder shown.
    if (fromId == IDC_txtBackup)
        m_backups.load(value);
}

void OptionsWindow::onEnter()
{
    HWND focus = GetFocus();
    if (!focus)
        return;
    for (OptionsPage* tab : settingsTabs())
        if (GetParent(focus) == tab->page())
            if (const int button = tab->enterButton(GetDlgCtrlID(focus)))
                press(button);
}

bool OptionsWindow::onCommand(int id, int code, HWND)
{
    switch (id) {
    case IDC_cmdAccept: cmdAccept_Click(); return true;
    case IDC_opt_cmdCancel:
    case IDCANCEL: DestroyWindow(hwnd()); return true;
    case IDOK: onEnter(); return true;  // Enter never accepts the whole window by accident
    case IDC_txtGenerealBackup:
        if (code == EN_CHANGE)
            mirrorBackupFolder(IDC_txtGenerealBackup, IDC_txtBackup);
        return true;
    case IDC_txtBackup:
        if (code == EN_CHANGE)
            mirrorBackupFolder(IDC_txtBackup, IDC_txtGenerealBackup);
        return true;
    default: break;
    }
    for (OptionsPage* tab : settingsTabs())
        if (tab->onCommand(id, code))
            return true;
    if (code != BN_CLICKED)
        return false;
    switch (id) {
    case IDC_cmdBrowseBackup:
    case IDC_cmdBackupBrowse: pickBackupFolder(); break;
    case IDC_cmdAddCookie: m_cookies.add(); break;
    case IDC_cmdRemoveCookie: m_cookies.removeKept(); break;
    case IDC_cmdResetCookies: m_cookies.resetKept(); break;
    case IDC_cmdDeleteCookie: m_cookies.deleteCookie(); break;
    case IDC_cmdViewCookie: m_cookies.view(); break;
    case IDC_cmdRefreshCookie: m_cookies.refreshCurrent(); break;
    case IDC_cmdBackupView: m_backups.view(); break;
    case IDC_cmdBackupDelete: m_backups.remove(); break;
    case IDC_cmdBackupRestore: m_backups.restore(); break;
    default: return false;
    }
    return true;
}

bool OptionsWindow::onNotify(NMHDR* header, LRESULT& result)
{
    if (header->idFrom == IDC_tbOptions && header->code == TCN_SELCHANGE) {
        selectTab(selectedTab());
        return true;
    }
    if (header->code == NM_DBLCLK) {
        if (header->idFrom == IDC_lstvCurrentCookies)
            m_cookies.view();
        else if (header->idFrom == IDC_lstvZip)
            m_backups.view();
        else
            return false;
        return true;
    }
    if (header->code == LVN_BEGINLABELEDITW) {
        result = TRUE;  // no list of this window is edited in place
        return true;
    }
    return false;
}

} // namespace sorvane

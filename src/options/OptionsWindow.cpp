#include "options/OptionsWindow.h"

#include "core/Deletion.h"
#include "options/OverwriteWindow.h"
#include "options/UnzipWindow.h"
#include "platform/AppFolder.h"
#include "platform/ErrorReport.h"
#include "platform/LogonTask.h"
#include "platform/Registry.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "resource.h"
#include "store/BackupArchive.h"
#include "store/OptionLists.h"
#include "store/Settings.h"
#include "win/ListColumns.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>

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

// A "0"/"1" setting: any other text is reported and leaves the box alone.
bool flagSetting(const wchar_t* section, const wchar_t* key, const wchar_t* defaultValue)
{
    const auto v = parseInt16(readSetting(section, key, defaultValue));
    if (!v)
        raiseError(kErrTypeMismatch, L"Type mismatch");
    if (*v != 0 && *v != 1)
        raiseError(380, L"Invalid property value");
    return *v == 1;
}

std::wstring flagText(bool on) { return on ? L"1" : L"0"; }

std::wstring withBackslash(std::wstring folder)
{
    if (folder.empty() || folder.back() != L'\\')
        folder += L'\\';
    return folder;
}

// --- list views -------------------------------------------------------------

using win::addRow;
using win::cellText;
using win::selectedRow;

} // namespace

OptionsWindow::OptionsWindow(OptionsHost& host, OptionsHooks hooks)
    : m_host(host), m_hooks(std::move(hooks)),
      m_backups(host, [this](HWND owner, const std::wstring& t, unsigned f) { return m_hooks.ask(owner, t, f); }),
      m_cookies([this](const std::wstring& t, unsigned f) { return m_hooks.ask(hwnd(), t, f); })
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
    m_backups.attach(m_instance, hwnd(), m_pages[kOptionsTabCount - 1]);
    m_cookies.attach(m_instance, hwnd(), m_pages[kOptionsTabCount - 2]);
    Form_Load();
    selectTab(m_initialTab);
    return true;
}

// --- small control helpers --------------------------------------------------

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

int OptionsWindow::ask(const std::wstring& text, unsigned flags) { return m_hooks.ask(hwnd(), text, flags); }

bool OptionsWindow::checked(int id) const { return SendMessageW(control(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

void OptionsWindow::setChecked(int id, bool on)
{
    SendMessageW(control(id), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

std::wstring OptionsWindow::text(int id) const
{
    HWND h = control(id);
    std::wstring s(static_cast<size_t>(GetWindowTextLengthW(h)) + 1, L'\0');
    GetWindowTextW(h, s.data(), static_cast<int>(s.size()));
    return stripNull(s);
}

void OptionsWindow::setText(int id, const std::wstring& text) { SetWindowTextW(control(id), text.c_str()); }

std::vector<std::wstring> OptionsWindow::listEntries(int id) const
{
    HWND h = control(id);
    std::vector<std::wstring> out;
    const int n = static_cast<int>(SendMessageW(h, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        std::wstring s(static_cast<size_t>(SendMessageW(h, LB_GETTEXTLEN, i, 0)) + 1, L'\0');
        SendMessageW(h, LB_GETTEXT, i, reinterpret_cast<LPARAM>(s.data()));
        out.push_back(stripNull(s));
    }
    return out;
}

void OptionsWindow::addListEntry(int id, const std::wstring& text)
{
    HWND h = control(id);
    SendMessageW(h, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    // A long path can be scrolled to; a list of short ones shows no scroll bar.
    if (!(GetWindowLongPtrW(h, GWL_STYLE) & WS_HSCROLL))
        return;
    if (HDC dc = GetDC(h)) {
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0)));
        SIZE size{};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        SelectObject(dc, old);
        ReleaseDC(h, dc);
        const LRESULT extent = SendMessageW(h, LB_GETHORIZONTALEXTENT, 0, 0);
        if (size.cx + 8 > extent)
            SendMessageW(h, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(size.cx + 8), 0);
    }
}

void OptionsWindow::removeSelectedEntry(int id)
{
    HWND h = control(id);
    const LRESULT sel = SendMessageW(h, LB_GETCURSEL, 0, 0);
    if (sel != LB_ERR)
        SendMessageW(h, LB_DELETESTRING, static_cast<WPARAM>(sel), 0);
}

void OptionsWindow::clearList(int id) { SendMessageW(control(id), LB_RESETCONTENT, 0, 0); }

// --- loading ----------------------------------------------------------------

void OptionsWindow::Form_Load()
{
    constexpr const wchar_t* tag = L"frmOptions,Form_Load";
    step(tag, [&] {
        // The states each tab shows before the files are applied.
        setChecked(IDC_optDelete, true);
        setChecked(IDC_chkExtraSecurity, true);
        setChecked(IDC_optSearchSizeAtleast, true);
        setText(IDC_txtSearchSize, L"1000");
        for (int id : {IDC_chkSearchReadOnly, IDC_chkSearchHidden, IDC_chkSearchSystem})
            setChecked(id, true);
        HWND lv = control(IDC_lstvUnnecessaaryFiles);
        ListView_SetExtendedListViewStyle(lv, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
        win::addListColumns(lv, {{L"File type", 110}, {L"Description", 450}});
    });
    step(tag, [&] {
        HWND count = control(IDC_cmbAutoClean1);
        for (int i = 1; i <= 60; ++i)
            SendMessageW(count, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(std::to_wstring(i).c_str()));
        SendMessageW(count, CB_SETCURSEL, 0, 0);
        HWND unit = control(IDC_cmbAutoClean);
        SendMessageW(unit, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"Minutes"));
        SendMessageW(unit, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"Hours"));
        SendMessageW(unit, CB_SETCURSEL, 0, 0);
    });
    m_cookies.load();
    getFolders(L"UDFO.sol", true);
    getFolders(L"UDIFO.sol", false);
    getUserDefinedFiles();
    step(tag, [&] { setChecked(IDC_chkIFI, flagSetting(L"Ignore", L"Files", L"1")); });
    step(tag, [&] { setChecked(IDC_chkIE, flagSetting(L"Ignore", L"Extensions", L"1")); });
    step(tag, [&] { setChecked(IDC_chkIFO, flagSetting(L"Ignore", L"Folders", L"1")); });
    step(tag, [&] {
        const auto names = loadListFile(appFile(L"IFI.sol"));
        for (const auto& n : names ? *names : defaultIgnoredFileNames())
            addListEntry(IDC_lstIFI, n);
    });
    step(tag, [&] {
        if (const auto extensions = loadListFile(appFile(L"IE.sol")))
            for (const auto& e : *extensions)
                addListEntry(IDC_lstIE, e);
    });
    getSearch();
    getUnnecessaryFiles();
    getBackup();
    getGeneral();
    m_backups.load(text(IDC_txtBackup));
}

void OptionsWindow::getFolders(const wchar_t* file, bool userDefinedFolders)
{
    step(L"frmOptions,getFolders", [&] {
        const int list = userDefinedFolders ? IDC_lstUDFO : IDC_lstUDIFO;
        const auto folders = loadFolderList(appFile(file));
        if (folders) {
            for (const auto& f : *folders)
                addListEntry(list, f);
        } else if (userDefinedFolders) {
            for (const auto& f : defaultUserDefinedFolders())
                addListEntry(list, f);
        }
    });
}

void OptionsWindow::getUserDefinedFiles()
{
    step(L"frmOptions,getUserDefinedFiles", [&] {
        const UserDefinedFiles list = loadUserDefinedFiles(appFile(L"UDFI.sol"));
        setChecked(IDC_chkUDFI, list.checkIgnoreLists);
        for (const auto& f : list.files)
            addListEntry(IDC_lstUDFI, f);
    });
}

void OptionsWindow::getSearch()
{
    constexpr const wchar_t* tag = L"frmOptions,getSearch";
    HWND drives = control(IDC_lstSearch);
    std::vector<std::wstring> entries;
    step(tag, [&] {
        for (const auto& root : split(getDriveList(), L'\0')) {
            if (root.empty())
                continue;
            entries.push_back(root + L" " + rgbDrvType(root));
            SendMessageW(drives, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entries.back().c_str()));
        }
    });
    std::optional<SearchSettings> s;
    step(tag, [&] { s = loadSearchSettings(appFile(L"search.sol"), tag); });
    if (!s) {
        step(tag, [&] {
            const std::wstring win = getWinDir();
            const std::wstring root = win.substr(0, win.find(L'\\') + 1);
            for (size_t i = 0; i < entries.size(); ++i)
                if (!root.empty() && icontains(entries[i], root))
                    SendMessageW(drives, LB_SETSEL, TRUE, static_cast<LPARAM>(i));
        });
        return;
    }
    for (size_t i = 0; i < entries.size(); ++i)
        if (isDriveSelected(s->driveLine, entries[i]))
            SendMessageW(drives, LB_SETSEL, TRUE, static_cast<LPARAM>(i));
    setChecked(IDC_chkSearchFileReference, s->fileReference);
    setChecked(IDC_chkSearchPathReference, s->pathReference);
    setChecked(IDC_chkSearchDateReference, s->dateFilter);
    const auto setDate = [&](int id, const std::wstring& text) {
        if (trim(text).empty())
            return;
        step(tag, [&] {
            auto date = parseStoredDate(text);
            if (!date)
                raiseError(kErrTypeMismatch, L"Type mismatch");
            DateTime_SetSystemtime(control(id), GDT_VALID, &*date);
        });
    };
    setDate(IDC_dtpSearchFirst, s->dateFrom);
    setDate(IDC_dtpSearchSecond, s->dateTo);
    setChecked(IDC_chkSearchSize, s->sizeFilter);
    // One option of the three: the first the file marks, as an older or
    // damaged line may mark more.
    const int size = s->sizeIs ? IDC_optSearcSizeIs
                     : s->sizeAtLeast ? IDC_optSearchSizeAtleast
                     : s->sizeAtMost ? IDC_optSearchSizeAtMost
                                     : 0;
    for (int id : {IDC_optSearcSizeIs, IDC_optSearchSizeAtleast, IDC_optSearchSizeAtMost})
        setChecked(id, id == size);
    setText(IDC_txtSearchSize, s->sizeKb);
    setChecked(IDC_chkSearchReadOnly, s->skipReadOnly);
    setChecked(IDC_chkSearchHidden, s->skipHidden);
    setChecked(IDC_chkSearchSystem, s->skipSystem);
}

void OptionsWindow::getUnnecessaryFiles(bool factory)
{
    HWND lv = control(IDC_lstvUnnecessaaryFiles);
    ListView_DeleteAllItems(lv);
    step(L"frmOptions,getUnnecessaryFiles", [&] {
        const std::wstring own = appFile(factory ? L"DefUNFI.sol" : L"UNFI.sol");
        for (const auto& rule : loadRules(own, appFile(L"DefUNFI.sol"))) {
            const int row = addRow(lv, {rule.pattern, rule.description});
            ListView_SetCheckState(lv, row, rule.enabled);
        }
    });
}

void OptionsWindow::getBackup()
{
    constexpr const wchar_t* tag = L"frmOptions,getBackup";
    step(tag, [&] {
        const std::wstring path = readSetting(L"Backup", L"Path", appFolder() + L"\\Backup\\", kWideSettingChars);
        setText(IDC_txtGenerealBackup, path);
        setText(IDC_txtBackup, path);
    });
    step(tag, [&] {
        const OverwriteMethod m =
            overwriteMethodFromText(readSetting(L"Backup", L"Method", L"Always", kWideSettingChars));
        setChecked(IDC_optBackupAlways, m == OverwriteMethod::Always);
        setChecked(IDC_optBackupNewer, m == OverwriteMethod::Newer);
        setChecked(IDC_optBackupPrompt, m == OverwriteMethod::Prompt);
        setChecked(IDC_optBackupNever, m == OverwriteMethod::Never);
    });
}

void OptionsWindow::getGeneral()
{
    constexpr const wchar_t* tag = L"frmOptions,getGeneral";
    step(tag, [&] {
        // The logon task, or the Run value of earlier versions.
        setChecked(IDC_chkStartWWindows, readLogonTask().exists ||
                                             !getRegString(HKEY_CURRENT_USER, kRunKey, kRunValueName).empty());
    });
    step(tag, [&] { setChecked(IDC_chkCleanStartup, flagSetting(L"General", L"StartupClean", L"0")); });
    step(tag, [&] { setChecked(IDC_chkAutoClean, flagSetting(L"General", L"AutoClean", L"0")); });
    // A malformed value is reported and left as it is unless the box changes.
    m_extraSecurityMalformed = !step(tag, [&] { setChecked(IDC_chkExtraSecurity, flagSetting(L"General", L"ExtraS", L"0")); });
    m_extraSecurityShown = checked(IDC_chkExtraSecurity);
    step(tag, [&] { setChecked(IDC_chkRename, flagSetting(L"General", L"Rename", L"0")); });
    // Anything but "0" sends them, as the reporter reads it.
    setChecked(IDC_chkErrorReports, trim(readSetting(L"Internet", L"ErrorReports", L"1")) != L"0");
    const auto select = [&](int id, const wchar_t* key, const wchar_t* defaultValue, int first, int last) {
        step(tag, [&] {
            const auto v = parseInt16(readSetting(L"General", key, defaultValue));
            if (!v)
                raiseError(kErrTypeMismatch, L"Type mismatch");
            if (*v < first || *v > last)
                raiseError(380, L"Invalid property value");
            SendMessageW(control(id), CB_SETCURSEL, static_cast<WPARAM>(*v - first), 0);
        });
    };
    select(IDC_cmbAutoClean1, L"Duration", L"1", 1, 60);
    select(IDC_cmbAutoClean, L"HM", L"1", 0, 1);
    step(tag, [&] {
        const int16_t method = deleteMethodFromText(readSetting(L"General", L"DelMethod", L"D", kWideSettingChars));
        setChecked(IDC_optRecyclebin, method == kRecycleBin);
        setChecked(IDC_optDelete, method == kDelete);
        setChecked(IDC_optWipe, method == kWipe);
        setChecked(IDC_optZip, method == kBackup);
    });
}

// --- saving -----------------------------------------------------------------

void OptionsWindow::cmdAccept_Click()
{
    m_unsaved.clear();
    saveCookies();
    saveFolders(L"UDFO.sol", true);
    saveFolders(L"UDIFO.sol", false);
    saveUserDefinedFiles();
    constexpr const wchar_t* tag = L"frmOptions,cmdAccept_Click";
    saved(step(tag, [&] { writeSetting(L"Ignore", L"Files", flagText(checked(IDC_chkIFI))); }), L"Settings.ini");
    saved(step(tag, [&] { writeSetting(L"Ignore", L"Extensions", flagText(checked(IDC_chkIE))); }), L"Settings.ini");
    saved(step(tag, [&] { writeSetting(L"Ignore", L"Folders", flagText(checked(IDC_chkIFO))); }), L"Settings.ini");
    constexpr const wchar_t* lists = L"frmOptions,saveIgnoreFileExtensions";
    saved(step(lists, [&] { saveListFile(appFile(L"IFI.sol"), listEntries(IDC_lstIFI)); }), L"IFI.sol");
    saved(step(lists, [&] { saveListFile(appFile(L"IE.sol"), listEntries(IDC_lstIE)); }), L"IE.sol");
    saveSearch();
    saveUnnecessaryFiles();
    saveBackup();
    saveGeneral();
    m_host.listsAccepted();
    if (!m_unsaved.empty()) {
        // The window stays, with what the user chose, so nothing is lost.
        std::wstring which;
        for (const auto& f : m_unsaved)
            which += (which.empty() ? L"" : L", ") + f;
        ask(L"Some settings could not be saved: " + which, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    DestroyWindow(hwnd());
}

void OptionsWindow::saveCookies()
{
    saved(step(L"frmOptions,saveCookies", [&] { m_cookies.save(); }), L"cookies.sol");
}

void OptionsWindow::saveFolders(const wchar_t* file, bool userDefinedFolders)
{
    saved(step(L"frmOptions,saveFolders",
               [&] { saveFolderList(appFile(file), listEntries(userDefinedFolders ? IDC_lstUDFO : IDC_lstUDIFO)); }),
          file);
}

void OptionsWindow::saveUserDefinedFiles()
{
    saved(step(L"frmOptions,saveUserDefinedFiles", [&] {
        sorvane::saveUserDefinedFiles(appFile(L"UDFI.sol"), {checked(IDC_chkUDFI), listEntries(IDC_lstUDFI)});
    }),
          L"UDFI.sol");
}

void OptionsWindow::saveSearch()
{
    saved(step(L"frmOptions,saveSearch", [&] {
        HWND drives = control(IDC_lstSearch);
        std::vector<std::wstring> selected;
        const auto entries = listEntries(IDC_lstSearch);
        for (size_t i = 0; i < entries.size(); ++i)
            if (SendMessageW(drives, LB_GETSEL, i, 0) > 0)
                selected.push_back(entries[i]);
        SearchSettings s;
        s.fileReference = checked(IDC_chkSearchFileReference);
        s.pathReference = checked(IDC_chkSearchPathReference);
        s.dateFilter = checked(IDC_chkSearchDateReference);
        SYSTEMTIME t{};
        if (DateTime_GetSystemtime(control(IDC_dtpSearchFirst), &t) == GDT_VALID)
            s.dateFrom = formatStoredDate(t);
        if (DateTime_GetSystemtime(control(IDC_dtpSearchSecond), &t) == GDT_VALID)
            s.dateTo = formatStoredDate(t);
        s.sizeFilter = checked(IDC_chkSearchSize);
        s.sizeIs = checked(IDC_optSearcSizeIs);
        s.sizeAtLeast = checked(IDC_optSearchSizeAtleast);
        s.sizeAtMost = checked(IDC_optSearchSizeAtMost);
        // A blank would shift the fields after it.
        s.sizeKb = replaceAll(trim(text(IDC_txtSearchSize)), L" ", L"");
        s.skipReadOnly = checked(IDC_chkSearchReadOnly);
        s.skipHidden = checked(IDC_chkSearchHidden);
        s.skipSystem = checked(IDC_chkSearchSystem);
        saveSearchSettings(appFile(L"search.sol"), s, selected);
    }),
          L"search.sol");
}

void OptionsWindow::saveUnnecessaryFiles()
{
    saved(step(L"frmOptions,saveUnnecessaryFiles", [&] {
        HWND lv = control(IDC_lstvUnnecessaaryFiles);
        std::vector<UnnecessaryRule> rules;
        const int n = ListView_GetItemCount(lv);
        for (int i = 0; i < n; ++i)
            rules.push_back({ListView_GetCheckState(lv, i) != 0, cellText(lv, i, 0), cellText(lv, i, 1)});
        saveRules(appFile(L"UNFI.sol"), rules);
    }),
          L"UNFI.sol");
}

void OptionsWindow::saved(bool ok, const wchar_t* file)
{
    if (!ok && std::find(m_unsaved.begin(), m_unsaved.end(), file) == m_unsaved.end())
        m_unsaved.push_back(file);
}

void OptionsWindow::saveBackup()
{
    constexpr const wchar_t* tag = L"frmOptions,saveBackup";
    saved(step(tag, [&] { writeSetting(L"Backup", L"Path", text(IDC_txtBackup)); }), L"Settings.ini");
    saved(step(tag,
               [&] {
                   OverwriteMethod m = OverwriteMethod::None;
                   if (checked(IDC_optBackupAlways))
                       m = OverwriteMethod::Always;
                   else if (checked(IDC_optBackupNewer))
                       m = OverwriteMethod::Newer;
                   else if (checked(IDC_optBackupNever))
                       m = OverwriteMethod::Never;
                   writeSetting(L"Backup", L"Method", overwriteMethodText(m));
               }),
          L"Settings.ini");
}

void OptionsWindow::saveGeneral()
{
    constexpr const wchar_t* tag = L"frmOptions,saveGeneral";
    step(tag, [&] {
        std::wstring error;
        if (checked(IDC_chkStartWWindows)) {
            // A program that asks for administrator rights is started at
            // logon by a task with highest privileges, never by the Run key.
            if (registerLogonTask(thisExecutable(), error)) {
                deleteRegValues(HKEY_CURRENT_USER, kRunValueName, kRunKey);
            } else {
                setChecked(IDC_chkStartWWindows, false);
                ask(L"Sorvane could not be set to start with Windows.\r\n\r\n" + error, MB_OK | MB_ICONEXCLAMATION);
            }
        } else {
            if (!removeLogonTask(error))
                ask(L"Sorvane could not be kept from starting with Windows.\r\n\r\n" + error,
                    MB_OK | MB_ICONEXCLAMATION);
            deleteRegValues(HKEY_CURRENT_USER, kRunValueName, kRunKey);
        }
    });
    saved(step(tag, [&] { writeSetting(L"General", L"StartupClean", flagText(checked(IDC_chkCleanStartup))); }),
          L"Settings.ini");
    saved(step(tag,
               [&] {
                   writeSetting(L"Internet", L"ErrorReports", flagText(checked(IDC_chkErrorReports)));
                   setErrorReports(checked(IDC_chkErrorReports));
               }),
          L"Settings.ini");
    saved(step(tag, [&] { writeSetting(L"General", L"AutoClean", flagText(checked(IDC_chkAutoClean))); }),
          L"Settings.ini");
    const LRESULT unit = SendMessageW(control(IDC_cmbAutoClean), CB_GETCURSEL, 0, 0);
    const std::wstring duration = text(IDC_cmbAutoClean1);
    saved(step(tag, [&] { writeSetting(L"General", L"HM", std::to_wstring(unit < 0 ? 0 : unit)); }), L"Settings.ini");
    saved(step(tag, [&] { writeSetting(L"General", L"Duration", duration); }), L"Settings.ini");
    std::wstring letter = L"B";
    DeleteSettings running = m_host.deleteSettings();
    running.intDelMethod = kBackup;
    if (checked(IDC_optRecyclebin)) {
        letter = L"R";
        running.intDelMethod = kRecycleBin;
    } else if (checked(IDC_optDelete)) {
        letter = L"D";
        running.intDelMethod = kDelete;
    } else if (checked(IDC_optWipe)) {
        letter = L"W";
        running.intDelMethod = kWipe;
    }
    const bool keepExtraSecurity = m_extraSecurityMalformed && checked(IDC_chkExtraSecurity) == m_extraSecurityShown;
    if (!keepExtraSecurity)
        running.bytExtraSecurity = checked(IDC_chkExtraSecurity) ? 1 : 0;
    running.bytRename = checked(IDC_chkRename) ? 1 : 0;
    const std::wstring backup = text(IDC_txtBackup);
    // An empty field would put archives wherever the current folder is.
    running.strBackupPath = trim(backup).empty() ? appFolder() + L"\\Backup\\" : backup;
    m_host.setDeleteSettings(running);
    saved(step(tag, [&] { writeSetting(L"General", L"DelMethod", letter); }), L"Settings.ini");
    if (!keepExtraSecurity)
        saved(step(tag, [&] { writeSetting(L"General", L"ExtraS", flagText(running.bytExtraSecurity != 0)); }),
              L"Settings.ini");
    saved(step(tag, [&] { writeSetting(L"General", L"Rename", flagText(running.bytRename != 0)); }),
          L"Settings.ini");
    step(tag, [&] {
        if (!checked(IDC_chkAutoClean)) {
            m_host.setAutoClean(false, 0);
            return;
        }
        const auto n = parseInt16(duration);
        if (!n)
            raiseError(kErrTypeMismatch, L"Type mismatch");
        m_host.setAutoClean(true, static_cast<int16_t>(unit == 1 ? *n * 60 : *n));
    });
}

// --- buttons ----------------------------------------------------------------

void OptionsWindow::pickBackupFolder()
{
    const std::wstring folder = m_hooks.pickFolder(hwnd());
    if (folder.empty())
        return;
    setText(IDC_txtBackup, folder);
    setText(IDC_txtGenerealBackup, folder);
}

void OptionsWindow::browseFolderInto(int textId) { setText(textId, m_hooks.pickFolder(hwnd())); }

void OptionsWindow::addFolder(int textId, int listId)
{
    std::wstring folder = trim(text(textId));
    if (!folder.empty() && folderExists(folder)) {
        folder = withBackslash(folder);
        setText(textId, folder);
        addListEntry(listId, folder);
    }
    setText(textId, L"");
}

void OptionsWindow::removeRedundant(int listId)
{
    const auto entries = listEntries(listId);
    for (size_t i = entries.size(); i-- > 0;)
        if (!folderExists(entries[i]))
            SendMessageW(control(listId), LB_DELETESTRING, i, 0);
}

void OptionsWindow::exploreSelected(int listId)
{
    HWND h = control(listId);
    const LRESULT sel = SendMessageW(h, LB_GETCURSEL, 0, 0);
    if (sel == LB_ERR)
        return;
    m_hooks.explore(L"/e," + listEntries(listId).at(static_cast<size_t>(sel)));
}

void OptionsWindow::restoreDefaults(int listId, const std::vector<std::wstring>& defaults)
{
    // Only the list on the tab: Cancel keeps the user's file as it was.
    clearList(listId);
    for (const auto& entry : defaults)
        addListEntry(listId, entry);
}

void OptionsWindow::cmdIFIAdd_Click()
{
    const std::wstring name = trim(text(IDC_txtIFI));
    if (!name.empty())
        addListEntry(IDC_lstIFI, name);
    setText(IDC_txtIFI, L"");
}

void OptionsWindow::cmdIFIBrowse_Click()
{
    if (const auto file = m_hooks.pickFile(hwnd()))
        setText(IDC_txtIFI, fileNameOf(*file));
}

void OptionsWindow::cmdIEAdd_Click()
{
    std::wstring ext = trim(text(IDC_txtIE));
    ext.erase(std::remove_if(ext.begin(), ext.end(), [](wchar_t c) { return c == L'*' || c == L'.'; }), ext.end());
    // "*." alone names no extension; an empty entry would ignore every file without one.
    if (!trim(ext).empty())
        addListEntry(IDC_lstIE, ext);
    setText(IDC_txtIE, L"");
}

void OptionsWindow::cmdUFIBrowse_Click()
{
    if (const auto file = m_hooks.pickFile(hwnd()))
        setText(IDC_txtUDFI, *file);
}

void OptionsWindow::cmdUDFIAdd_Click()
{
    const std::wstring file = trim(text(IDC_txtUDFI));
    if (!file.empty() && fileExists(file))
        addListEntry(IDC_lstUDFI, file);
    setText(IDC_txtUDFI, L"");
}

void OptionsWindow::cmdUnnecessaryFilesAdd_Click()
{
    step(L"frmOptions,cmdUnnecessaryFilesAdd_Click", [&] {
        const std::wstring type = text(IDC_txtUnnecessaryFilesFileType);
        if (type.find(L'.') == std::wstring::npos) {
            ask(L"Please enter the file type in format\t.log .bak etc", MB_OK | MB_ICONINFORMATION);
            return;
        }
        HWND lv = control(IDC_lstvUnnecessaaryFiles);
        if (findRow(lv, type) >= 0) {
            ask(L"File Type already exists in the list", MB_OK | MB_ICONINFORMATION);
            return;
        }
        const int row = addRow(lv, {type, text(IDC_txtUnnecessaryFilesDescription)});
        ListView_SetCheckState(lv, row, TRUE);
        setText(IDC_txtUnnecessaryFilesFileType, L"");
        setText(IDC_txtUnnecessaryFilesDescription, L"");
    });
}

void OptionsWindow::cmdUnnecessaryFilesBrowse_Click()
{
    const auto file = m_hooks.pickFile(hwnd());
    if (!file)
        return;
    const std::wstring name = fileNameOf(*file);
    const size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos)
        setText(IDC_txtUnnecessaryFilesFileType, L"*" + name.substr(dot));
}

void OptionsWindow::cmdUnnecessaryFilesDefaults_Click()
{
    // The factory rules on the tab; UNFI.sol is written by Accept only.
    getUnnecessaryFiles(true);
}

void OptionsWindow::mirrorBackupFolder(int fromId, int toId)
{
    // The General and Backups tabs show one folder: an edit in either is
    // the folder Accept saves.
    const std::wstring value = text(fromId);
    if (text(toId) != value)
        setText(toId, value);
    // The Backups tab lists, and its buttons act on, the folder shown.
    if (fromId == IDC_txtBackup)
        m_backups.load(value);
}

void OptionsWindow::onEnter()
{
    static const struct {
        int textBox, button;
    } pairs[] = {{IDC_txtUDIFO, IDC_cmdUDIFOAdd},
                 {IDC_txtUDFOFolder, IDC_cmdUDFOAdd},
                 {IDC_txtUDFI, IDC_cmdUDFIAdd},
                 {IDC_txtIFI, IDC_cmdIFIAdd},
                 {IDC_txtIE, IDC_cmdIEAdd},
                 {IDC_txtUnnecessaryFilesFileType, IDC_cmdUnnecessaryFilesAdd},
                 {IDC_txtUnnecessaryFilesDescription, IDC_cmdUnnecessaryFilesAdd}};
    HWND focus = GetFocus();
    for (const auto& p : pairs)
        if (focus && focus == control(p.textBox))
            press(p.button);
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
    if (code != BN_CLICKED)
        return false;
    switch (id) {
    case IDC_cmdBrowseBackup:
    case IDC_cmdBackupBrowse: pickBackupFolder(); break;
    case IDC_cmdUDIFOBrowse: browseFolderInto(IDC_txtUDIFO); break;
    case IDC_cmdUDFOBrowse: browseFolderInto(IDC_txtUDFOFolder); break;
    case IDC_cmdUDIFOAdd: addFolder(IDC_txtUDIFO, IDC_lstUDIFO); break;
    case IDC_cmdUDFOAdd: addFolder(IDC_txtUDFOFolder, IDC_lstUDFO); break;
    case IDC_cmdUDIFORemove: removeSelectedEntry(IDC_lstUDIFO); break;
    case IDC_cmdUDFORemove: removeSelectedEntry(IDC_lstUDFO); break;
    case IDC_cmdUDFIRemove: removeSelectedEntry(IDC_lstUDFI); break;
    case IDC_cmdIFIRemove: removeSelectedEntry(IDC_lstIFI); break;
    case IDC_cmdIERemove: removeSelectedEntry(IDC_lstIE); break;
    case IDC_cmdUDIFORedundant: removeRedundant(IDC_lstUDIFO); break;
    case IDC_cmdUDFORRedundant: removeRedundant(IDC_lstUDFO); break;
    case IDC_cmdUDIFOExplore: exploreSelected(IDC_lstUDIFO); break;
    case IDC_cmdExploreUDFO: exploreSelected(IDC_lstUDFO); break;
    case IDC_cmdUDFODefaults: restoreDefaults(IDC_lstUDFO, defaultUserDefinedFolders()); break;
    case IDC_cmdIFIAdd: cmdIFIAdd_Click(); break;
    case IDC_cmdIFIBrowse: cmdIFIBrowse_Click(); break;
    case IDC_cmdIFIDefaults: restoreDefaults(IDC_lstIFI, defaultIgnoredFileNames()); break;
    case IDC_cmdIEAdd: cmdIEAdd_Click(); break;
    case IDC_cmdUFIBrowse: cmdUFIBrowse_Click(); break;
    case IDC_cmdUDFIAdd: cmdUDFIAdd_Click(); break;
    case IDC_cmdUnnecessaryFilesAdd: cmdUnnecessaryFilesAdd_Click(); break;
    case IDC_cmdUnnecessaryFilesBrowse: cmdUnnecessaryFilesBrowse_Click(); break;
    case IDC_cmdUnnecessaryFilesDefaults: cmdUnnecessaryFilesDefaults_Click(); break;
    case IDC_cmdUnnecessaryFilesRemove: {
        HWND lv = control(IDC_lstvUnnecessaaryFiles);
        if (const int row = selectedRow(lv); row >= 0)
            ListView_DeleteItem(lv, row);
        break;
    }
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

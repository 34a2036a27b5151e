// frmEditAppPath and frmEditHelp: correct the folder of one registration.
#include "tools/ScanWindow.h"

#include "platform/ErrorReport.h"
#include "platform/Text.h"
#include "resource.h"
#include "store/RegistryUndo.h"

#include <commdlg.h>

namespace sorvane {

EditPathDialog::EditPathDialog(Kind kind, std::wstring name, std::wstring path, std::wstring key)
    : m_kind(kind), m_name(std::move(name)), strPath(std::move(path)), strKey(std::move(key))
{
}

std::wstring EditPathDialog::folderOfChosen(const std::wstring& chosen)
{
    const size_t slash = chosen.find_last_of(L'\\');
    if (slash == std::wstring::npos)
        return chosen;
    // The chosen file's full name with its name part removed.
    return replaceAll(chosen, chosen.substr(slash + 1), L"");
}

std::wstring EditPathDialog::browseFilter(const std::wstring& name)
{
    const size_t dot = name.find(L'.');
    if (dot == std::wstring::npos)
        return L"";
    const std::wstring pattern = L"*" + name.substr(dot);
    return pattern + L"|" + pattern;
}

bool EditPathDialog::onInitDialog()
{
    const bool app = m_kind == Kind::AppPath;
    if (m_kind == Kind::Uninstall || m_kind == Kind::Association) {
        const bool assoc = m_kind == Kind::Association;
        SetWindowTextW(hwnd(), assoc ? L"Sorvane - Edit Association" : L"Sorvane - Edit UnInstall Command");
        SetDlgItemTextW(hwnd(), IDC_edit_lblWhat, assoc ? L"File extension:" : L"Application");
        SetDlgItemTextW(hwnd(), IDC_edit_lblPath, assoc ? L"File Association" : L"Uninstall command");
        SetDlgItemTextW(hwnd(), IDC_edit_cmdOk, assoc ? L"OK" : L"&OK");
        SetDlgItemTextW(hwnd(), IDC_edit_cmdClose, assoc ? L"&Close" : L"&Cancel");
        if (assoc) {
            // getFileAssociation: the type's open command; the description below.
            ShowWindow(item(IDC_edit_lblDescWhat), SW_SHOW);
            ShowWindow(item(IDC_edit_lblDesc), SW_SHOW);
            SetDlgItemTextW(hwnd(), IDC_edit_lblDesc, strKey.c_str());
            fileType = getClassesString(m_name, L"");
            strPath.clear();
            // The command where it lives: per user first, as Windows reads it.
            const std::vector<RegItem> command =
                fileType.empty() ? std::vector<RegItem>()
                                 : whereItLives({{HKEY_CLASSES_ROOT, fileType + L"\\shell\\open\\command", RegItem::Value, L""}});
            if (!command.empty()) {
                m_root = command.front().root;
                m_commandKey = command.front().key;
                strPath = readRegText(m_root, m_commandKey, L"").text;
            }
        } else {
            // The whole command, however long, as it is stored.
            strPath = readRegText(HKEY_LOCAL_MACHINE, strKey, L"UnInstallString").text;
        }
        ShowWindow(item(IDC_edit_cmdBrowse), SW_HIDE);
        // The command box takes the room of the absent Browse button.
        RECT r, t;
        GetWindowRect(item(IDC_edit_cmdBrowse), &r);
        GetWindowRect(item(IDC_edit_txtPath), &t);
        MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&r), 2);
        MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&t), 2);
        MoveWindow(item(IDC_edit_txtPath), t.left, t.top, r.right - t.left, t.bottom - t.top, TRUE);
    } else {
        SetWindowTextW(hwnd(), app ? L"Sorvane - Edit application path" : L"Sorvane - Edit help file path");
        SetDlgItemTextW(hwnd(), IDC_edit_lblWhat, app ? L"Application:" : L"Help File:");
        SetDlgItemTextW(hwnd(), IDC_edit_lblPath, app ? L"Path" : L"Help file path");
    }
    SetDlgItemTextW(hwnd(), IDC_edit_lblName, m_name.c_str());
    SetDlgItemTextW(hwnd(), IDC_edit_txtPath, strPath.c_str());
    return true;
}

void EditPathDialog::cmdBrowse_Click()
{
    std::wstring filter = browseFilter(m_name);
    if (!filter.empty()) {
        for (auto& c : filter)
            if (c == L'|')
                c = L'\0';
        filter += L'\0';
    }
    std::wstring file(32768, L'\0');
    m_name.copy(file.data(), std::min<size_t>(m_name.size(), 260));
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = hwnd();
    ofn.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST;
    if (!GetOpenFileNameW(&ofn))
        return;  // cancelled: nothing changes
    SetDlgItemTextW(hwnd(), IDC_edit_txtPath, folderOfChosen(file.c_str()).c_str());
}

void EditPathDialog::cmdOk_Click()
{
    const bool app = m_kind == Kind::AppPath;
    const wchar_t* tag = app ? L"frmEditAppPath,CmdOK_Click"
                             : m_kind == Kind::Help      ? L"frmEditHelp,cmdOK_Click"
                             : m_kind == Kind::Uninstall ? L"frmEditUnInstall,CmdOK_Click"
                                                         : L"frmEditFileAssociation,cmdOK_Click";
    step(tag, [&] {
        std::wstring buf(32768, L'\0');
        buf.resize(static_cast<size_t>(GetDlgItemTextW(hwnd(), IDC_edit_txtPath, buf.data(), 32768)));
        const std::wstring& path = buf;
        // Written only when changed, with its type, after the old value is
        // saved for undo; an absent key stays absent.
        bool failed = false;
        std::wstring undo;
        if (m_kind == Kind::Association) {
            if (m_root)
                undo = replaceRegText(L"frmEditFileAssociation", m_root, m_commandKey, L"", path, failed);
        } else if (m_kind == Kind::Uninstall) {
            undo = replaceRegText(L"frmEditUnInstall", HKEY_LOCAL_MACHINE, strKey, L"UnInstallString", path,
                                  failed);
        } else if (path != strPath) {
            if (app)
                undo = replaceRegText(L"frmEditAppPath", HKEY_LOCAL_MACHINE, strKey, L"", path, failed);
            else
                undo = replaceRegText(L"frmEditHelp", HKEY_LOCAL_MACHINE, strKey, m_name, path, failed);
        }
        if (!undo.empty())
            m_undoFile = undo;
        if (failed)
            MessageBoxW(hwnd(), L"The change could not be saved for undo or written, so the registry was not changed.",
                        L"Sorvane", MB_OK | MB_ICONEXCLAMATION);
    });
    m_accepted = true;
    EndDialog(hwnd(), IDOK);
}

bool EditPathDialog::onCommand(int id, int, HWND)
{
    switch (id) {
    case IDC_edit_cmdBrowse: cmdBrowse_Click(); return true;
    case IDC_edit_cmdOk: cmdOk_Click(); return true;
    case IDC_edit_cmdClose:
    case IDCANCEL: EndDialog(hwnd(), IDCANCEL); return true;
    default: return false;
    }
}

} // namespace sorvane

// frmEditAppPath and frmEditHelp: correct the folder of one registration.
#include "tools/ScanWindow.h"

#include "core/ErrorReport.h"
#include "core/Text.h"
#include "resource.h"

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
    SetWindowTextW(hwnd(), app ? L"Sorvane - Edit application path" : L"Sorvane - Edit help file path");
    SetDlgItemTextW(hwnd(), IDC_edit_lblWhat, app ? L"Application:" : L"Help File:");
    SetDlgItemTextW(hwnd(), IDC_edit_lblPath, app ? L"Path" : L"Help file path");
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
    step(app ? L"frmEditAppPath,CmdOK_Click" : L"frmEditHelp,cmdOK_Click", [&] {
        wchar_t buf[32768] = {};
        GetDlgItemTextW(hwnd(), IDC_edit_txtPath, buf, 32768);
        const std::wstring path = buf;
        if (path == strPath)
            return;
        if (app)
            setRegString(HKEY_LOCAL_MACHINE, std::wstring(kAppPathsKey) + L"\\" + m_name, L"", path);
        else
            setRegString(HKEY_LOCAL_MACHINE, strKey, m_name, path);
    });
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

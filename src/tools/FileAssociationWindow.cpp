// frmFileAssociation: the registered extensions with their file type, Delete
// of an extension and its type, Edit of the type's open command.
#include "tools/ScanWindow.h"

#include "core/ErrorReport.h"
#include "resource.h"

namespace sorvane {

FileAssociationWindow::FileAssociationWindow()
    : ScanWindow(L"Sorvane - File Associations", L"frmFileAssociation",
                 {{L"Extension", 120}, {L"File Type Description", 360}}, true, false, false)
{
}

void FileAssociationWindow::initExtra()
{
    ListView_SetExtendedListViewStyleEx(listView(), LVS_EX_CHECKBOXES, 0);
    for (int id : {IDC_scan_cmdFind, IDC_scan_cmdStop})
        ShowWindow(item(id), SW_HIDE);
    SetDlgItemTextW(hwnd(), IDC_scan_cmdDelete, L"&Delete");
    SetDlgItemTextW(hwnd(), IDC_scan_cmdEdit, L"&Edit");
    SetDlgItemTextW(hwnd(), IDC_scan_cmdClose, L"&Close");
    enable(IDC_scan_cmdDelete, true);
    enable(IDC_scan_cmdEdit, true);
    loadAssociations();
    refreshStatus();
}

void FileAssociationWindow::refreshStatus()
{
    setStatus(std::to_wstring(rowCount()) + L" registered file extensions");
}

void FileAssociationWindow::addAssociation(const std::wstring& extension)
{
    const std::wstring type = getRegString(HKEY_CLASSES_ROOT, extension, L"");
    const std::wstring description = type.empty() ? L"" : getRegString(HKEY_CLASSES_ROOT, type, L"");
    addRow({extension, description.size() > 1 ? description : type}, false);
}

void FileAssociationWindow::loadAssociations()
{
    if (IsWindowVisible(hwnd()))
        yield();
    clearList();
    beginRows();
    // Only the first character is tested before any further registry access.
    std::wstring name(260, L'\0');
    for (DWORD index = 0;; ++index) {
        DWORD chars = 260;
        if (RegEnumKeyExW(HKEY_CLASSES_ROOT, index, name.data(), &chars, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        if (chars > 0 && name[0] == L'.')
            addAssociation(std::wstring(name.data(), chars));
    }
    endRows();
    sortRows(0);
}

void FileAssociationWindow::cmdDelete_Click()
{
    const int row = selectedRow();
    if (row < 0 ||
        ask(L"Are you sure you want to delete the File Association", MB_YESNO | MB_ICONQUESTION) != IDYES) {
        refreshStatus();
        return;
    }
    const std::wstring extension = cell(row, 0);
    const std::wstring type = getRegString(HKEY_CLASSES_ROOT, extension, L"");
    std::vector<RegItem> items{{HKEY_CLASSES_ROOT, extension, RegItem::Tree, L""}};
    // The type's key goes too, even when other extensions refer to it.
    if (type.size() > 1)
        items.push_back({HKEY_CLASSES_ROOT, type, RegItem::Tree, L""});
    if (!deleteRegistry(items)) {
        refreshStatus();
        return;
    }
    removeRow(row);
    refreshStatus();
}

void FileAssociationWindow::cmdEdit_Click()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    EditPathDialog dialog(EditPathDialog::Kind::Association, cell(row, 0), L"", cell(row, 1));
    openDialog(dialog, IDD_EDITPATH);
}

void FileAssociationWindow::onRowActivated(int) { cmdEdit_Click(); }

} // namespace sorvane

// frmFileAssociation: the registered extensions with their file type, Delete
// of an extension and its type, Edit of the type's open command.
#include "tools/ScanWindow.h"

#include "platform/ErrorReport.h"
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

void FileAssociationWindow::completeRow(ScanRow& row) const
{
    if (row.size() != 1 || !m_classes)
        return;
    const std::wstring type = m_classes->string(row[0], L"");
    const std::wstring description = type.empty() ? L"" : m_classes->string(type, L"");
    row.push_back(description.size() > 1 ? description : type);
}

void FileAssociationWindow::loadAssociations()
{
    if (IsWindowVisible(hwnd()))
        yield();
    clearList();
    beginRows();
    // Per-user and machine classes both: the merged view is not everywhere.
    // Only the first character is tested before any further registry
    // access; the file type of a row is read when the row is first drawn.
    m_classes = std::make_unique<ClassesReader>();
    for (const auto& name : m_classes->keyNames())
        if (!name.empty() && name[0] == L'.')
            addRow({name}, false);
    endRows();
    sortRows(0);
}

void FileAssociationWindow::cmdDelete_Click()
{
    const int row = selectedRow();
    if (row < 0) {
        refreshStatus();
        return;
    }
    const std::wstring extension = cell(row, 0);
    const std::wstring type = getClassesString(extension, L"");
    std::vector<RegItem> items{{HKEY_CLASSES_ROOT, extension, RegItem::Tree, L""}};
    // The type's key goes too, unless other extensions name it or it is one
    // of the system's own.
    if (mayDeleteFileType(type, extension))
        items.push_back({HKEY_CLASSES_ROOT, type, RegItem::Tree, L""});
    std::wstring question = L"Are you sure you want to delete the File Association";
    question += L"\r\n\r\nThese keys will be deleted:";
    for (const auto& real : whereItLives(items))
        question += L"\r\n" + rootName(real.root) + L"\\" + real.key;
    if (ask(question, MB_YESNO | MB_ICONQUESTION) != IDYES || !deleteRegistry(items)) {
        refreshStatus();
        return;
    }
    if (lastDeleted(0))
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
    noteUndoFile(dialog.undoFile());
    refreshStatus();
}

void FileAssociationWindow::onRowActivated(int) { cmdEdit_Click(); }

} // namespace sorvane

// frmInvalidAppPath: application paths whose file is gone, with the edit
// dialog frmEditAppPath.
#include "tools/ScanWindow.h"

#include "resource.h"

#include <utility>

namespace sorvane {

AppPathWindow::AppPathWindow()
    : ScanWindow(L"Sorvane - Locate orphaned application path reference", L"frmInvalidAppPath",
                 {{L"File", 180}, {L"Folder", 420}}, true, true, false)
{
}

void AppPathWindow::cmdFind_Click()
{
    startScan();
    beginRows();
    for (auto& row : FindInvalidApp())
        addRow(std::move(row));
    endRows();
    enable(IDC_scan_cmdEdit, true);
    enable(IDC_scan_cmdDelete, true);
    enable(IDC_scan_cmdFind, true);
    enable(IDC_scan_cmdStop, false);
    setStatus(appPathStatus(static_cast<size_t>(rowCount()), static_cast<size_t>(orphanCount)));
}

void AppPathWindow::cmdDelete_Click()
{
    if (rowCount() == 0 || !confirmDelete())
        return;
    std::vector<RegItem> items;
    std::vector<std::wstring> files;
    for (int i = 0; i < rowCount(); ++i) {
        if (!rowChecked(i))
            continue;
        items.push_back({HKEY_LOCAL_MACHINE, cell(i, 2), RegItem::KeyAlone, L""});
        const std::wstring folder = cell(i, 1);
        if (chkDeleteOn() && folder.size() > 1)
            files.push_back(folder);
    }
    if (!deleteRegistry(items))
        return;
    for (const auto& f : files)
        deleteFile(f);
    cmdFind_Click();
}

void AppPathWindow::cmdEdit_Click()
{
    if (rowCount() == 0)
        return;
    const int row = selectedRow() >= 0 ? selectedRow() : 0;
    EditPathDialog dialog(EditPathDialog::Kind::AppPath, cell(row, 0), cell(row, 1), cell(row, 2));
    openDialog(dialog, IDD_EDITPATH);
    noteUndoFile(dialog.undoFile());
    cmdFind_Click();
}

} // namespace sorvane

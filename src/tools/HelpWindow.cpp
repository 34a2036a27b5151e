// frmInvalidHelp: help files missing from their registered folder, with the
// edit dialog frmEditHelp.
#include "tools/ScanWindow.h"

#include "resource.h"

#include <utility>

namespace sorvane {

HelpWindow::HelpWindow()
    : ScanWindow(L"Sorvane - Locate orphaned help file reference", L"frmInvalidHelp",
                 {{L"File", 160}, {L"Folder", 260}, {L"Key", 240}}, true, false, false)
{
}

void HelpWindow::cmdFind_Click()
{
    startScan();
    beginRows();
    for (const wchar_t* key : {kHelpKey, kHtmlHelpKey})
        for (auto& row : FindInvalidHelp(key, [this] { return abortScan; }))
            addRow(std::move(row));
    endRows();
    enable(IDC_scan_cmdEdit, true);
    enable(IDC_scan_cmdStop, false);
    if (rowCount() > 0) {
        enable(IDC_scan_cmdDelete, true);
        selectRow(0);
    }
    enable(IDC_scan_cmdFind, true);
    setStatus(helpStatus(static_cast<size_t>(orphanCount)));
}

void HelpWindow::cmdDelete_Click()
{
    if (rowCount() == 0) {
        cmdFind_Click();
        return;
    }
    if (!confirmDelete())
        return;
    std::vector<RegItem> items;
    const std::vector<int> rows = checkedRows(true);
    for (int i : rows)
        items.push_back({HKEY_LOCAL_MACHINE, cell(i, 2), RegItem::Value, cell(i, 0)});
    if (!deleteRegistry(items))
        return;
    for (size_t n = rows.size(); n-- > 0;)
        if (lastDeleted(n))
            removeRow(rows[n]);
    cmdFind_Click();
}

void HelpWindow::cmdEdit_Click()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    EditPathDialog dialog(EditPathDialog::Kind::Help, cell(row, 0), cell(row, 1), cell(row, 2));
    openDialog(dialog, IDD_EDITPATH);
    noteUndoFile(dialog.undoFile());
    cmdFind_Click();
}

} // namespace sorvane

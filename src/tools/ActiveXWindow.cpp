// frmInvalidActivex: Active Setup components that are not marked installed.
#include "tools/ScanWindow.h"

#include "resource.h"

#include <utility>

namespace sorvane {

ActiveXWindow::ActiveXWindow()
    : ScanWindow(L"Sorvane - Locate Orpahned ActiveX Ccomponents", L"frmInvalidActivex",
                 {{L"ActiveX control", 200}, {L"Is Installed", 70}, {L"Stub Path", 220}, {L"Sub Key", 240}}, false,
                 false, false)
{
}

void ActiveXWindow::cmdFind_Click()
{
    startScan();
    beginRows();
    for (auto& row : FindInvalidActiveX([this] { return abortScan; }))
        addRow(std::move(row));
    endRows();
    enable(IDC_scan_cmdFind, true);
    enable(IDC_scan_cmdStop, false);
    enable(IDC_scan_cmdDelete, rowCount() > 0);
    if (rowCount() > 0)
        selectRow(0);
    setStatus(activeXStatus(static_cast<size_t>(orphanCount)));
}

void ActiveXWindow::cmdDelete_Click()
{
    if (rowCount() == 0) {
        cmdFind_Click();
        return;
    }
    if (!confirmDelete())
        return;
    std::vector<RegItem> items;
    for (int i : checkedRows())
        items.push_back({HKEY_LOCAL_MACHINE, cell(i, 4), RegItem::Tree, L""});
    if (deleteRegistry(items))
        cmdFind_Click();
}

} // namespace sorvane

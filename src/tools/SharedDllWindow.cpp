// frmOrphanedDLL: shared-DLL counts of zero whose file is gone. The scan
// yields to the message loop, so Stop works while it runs.
#include "tools/ScanWindow.h"

#include "resource.h"

#include <utility>

namespace sorvane {

SharedDllWindow::SharedDllWindow()
    : ScanWindow(L"Sorvane - Locate Orphaned Shared DLL", L"frmOrphanedDLL",
                 {{L"Use Count", 80}, {L"Name of shared DLL", 520}}, false, true, true)
{
}

void SharedDllWindow::FindOrphanedDLL()
{
    clearList();
    HWND bar = item(IDC_scan_pgKeys);
    SendMessageW(bar, PBM_SETPOS, 0, 0);
    setStatus(L"Scanning registry ...");
    beginRows();
    bool ranged = false;
    const DllScan scan = sorvane::FindOrphanedDLL(
        [&](size_t position, size_t total) {
            if (!ranged) {
                SendMessageW(bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(std::min<size_t>(total, INT32_MAX)));
                ranged = true;
            }
            if (yield()) {
                if (abortScan)
                    return true;
                SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(std::min<size_t>(position, INT32_MAX)), 0);
            }
            return abortScan;
        },
        [&](ScanRow row) { addRow(std::move(row)); });
    endRows();
    if (scan.aborted) {
        enable(IDC_scan_cmdFind, true);
        enable(IDC_scan_cmdStop, false);
        setStatus(L"Aborted by user");
        SendMessageW(bar, PBM_SETPOS, 0, 0);
        return;
    }
    setStatus(dllStatus(scan.names, static_cast<size_t>(rowCount())));
    entryCount = static_cast<int64_t>(scan.names);
}

void SharedDllWindow::cmdFind_Click()
{
    enable(IDC_scan_cmdFind, false);
    enable(IDC_scan_cmdDelete, false);
    enable(IDC_scan_cmdStop, true);
    abortScan = false;
    orphanCount = 0;
    LockWindowUpdate(listView());
    FindOrphanedDLL();
    enable(IDC_scan_cmdFind, true);
    enable(IDC_scan_cmdStop, false);
    enable(IDC_scan_cmdDelete, rowCount() > 0);
    LockWindowUpdate(nullptr);
}

void SharedDllWindow::cmdDelete_Click()
{
    if (rowCount() == 0 || !confirmDelete())
        return;
    std::vector<RegItem> items;
    for (int i = rowCount() - 1; i >= 0; --i)
        if (rowChecked(i))
            items.push_back({HKEY_LOCAL_MACHINE, cell(i, 2), RegItem::Value, cell(i, 1)});
    if (!deleteRegistry(items))
        return;
    beginRows();
    for (int i = rowCount() - 1; i >= 0; --i) {
        if (!rowChecked(i))
            continue;
        if (chkDeleteOn())
            deleteFile(cell(i, 1));
        removeRow(i);
        --entryCount;
    }
    endRows();
    setStatus(dllStatus(static_cast<size_t>(std::max<int64_t>(entryCount, 0)), static_cast<size_t>(rowCount())));
}

} // namespace sorvane

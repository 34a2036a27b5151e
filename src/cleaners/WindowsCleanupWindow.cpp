#include "cleaners/WindowsCleanupWindow.h"

#include "cleaners/WindowsCleanup.h"
#include "platform/AppFolder.h"
#include "platform/ErrorReport.h"
#include "resource.h"
#include "store/Settings.h"
#include "win/ListColumns.h"

#include <commctrl.h>

namespace sorvane {

INT_PTR WindowsCleanupWindow::show(HINSTANCE instance, HWND owner)
{
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    return showModal(instance, IDD_WINDOWS_CLEANUP, owner);
}

HWND WindowsCleanupWindow::list() const { return item(IDC_lstvWindowsCleanup); }

bool WindowsCleanupWindow::onInitDialog()
{
    HWND lv = list();
    ListView_SetExtendedListViewStyle(lv, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    // The size column stays empty until an analysis has measured the items.
    win::addListColumns(lv, {{L"Item", 170}, {L"Description", 370}, {L"Size", 80}});
    SetDlgItemTextW(hwnd(), IDC_lblWindowsCleanup,
                    (L"Tick what Windows cleanup removes. Files younger than " +
                     std::to_wstring(cleanupMinAgeHours()) + L" hours always stay.")
                        .c_str());
    step(L"frmWindowsCleanup,Form_Load", [&] {
        for (const CleanupItem& entry : knownCleanupItems()) {
            const int row = win::addRow(lv, {entry.name, entry.description, L""});
            ListView_SetCheckState(lv, row, cleanupItemTicked(entry));
        }
    });
    return true;
}

bool WindowsCleanupWindow::onCommand(int id, int, HWND)
{
    if (id == IDCANCEL) {
        EndDialog(hwnd(), IDCANCEL);
        return true;
    }
    if (id != IDOK)
        return false;
    HWND lv = list();
    const auto& entries = knownCleanupItems();
    const bool saved = step(L"frmWindowsCleanup,cmdOK_Click", [&] {
        for (size_t i = 0; i < entries.size(); ++i)
            writeSetting(kWindowsCleanupSection, entries[i].key,
                         ListView_GetCheckState(lv, static_cast<int>(i)) ? L"1" : L"0");
    });
    if (!saved) {
        MessageBoxW(hwnd(), L"The choice could not be saved to Settings.ini.", kAppTitle, MB_OK | MB_ICONEXCLAMATION);
        return true;
    }
    EndDialog(hwnd(), IDOK);
    return true;
}

} // namespace sorvane

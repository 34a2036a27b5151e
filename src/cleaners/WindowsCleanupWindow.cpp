#include "cleaners/WindowsCleanupWindow.h"

#include "cleaners/WindowsCleanup.h"
#include "platform/AppFolder.h"
#include "platform/ErrorReport.h"
#include "platform/Text.h"
#include "resource.h"
#include "store/Settings.h"
#include "win/ListColumns.h"

#include <commctrl.h>

namespace sorvane {

namespace {

std::wstring analyzedSize(const std::wstring& key)
{
    const auto found = analyzedSizes().find(key);
    return found == analyzedSizes().end() ? L"" : formatByteSize(found->second);
}

} // namespace

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
    // The size column stays empty until an analysis has measured the item.
    win::addListColumns(lv, {{L"Item", 190}, {L"Description", 350}, {L"Size", 80, LVCFMT_RIGHT}});
    SetDlgItemTextW(hwnd(), IDC_lblWindowsCleanup,
                    (L"Tick what Windows cleanup removes. Files younger than " +
                     std::to_wstring(cleanupMinAgeHours()) + L" hours always stay.")
                        .c_str());
    if (!ask)
        ask = [](HWND owner, const std::wstring& text, unsigned flags) {
            return MessageBoxW(owner, text.c_str(), kAppTitle, flags);
        };
    m_filling = true;
    step(L"frmWindowsCleanup,Form_Load", [&] {
        for (const CleanupItem& entry : knownCleanupItems()) {
            const int row = win::addRow(lv, {entry.name, entry.description, analyzedSize(entry.key)});
            ListView_SetCheckState(lv, row, cleanupItemTicked(entry));
        }
        m_folderRows = knownCleanupItems().size();
        // Windows' own handlers after the known folders, as they will run.
        m_handlers = listCleanupHandlers();
        for (const CleanupHandler& handler : m_handlers) {
            const int row = win::addRow(lv, {handler.display, handler.description, analyzedSize(handler.itemKey())});
            ListView_SetCheckState(lv, row, cleanupHandlerTicked(handler));
        }
    });
    m_filling = false;
    return true;
}

const CleanupHandler* WindowsCleanupWindow::handlerAt(int row) const
{
    if (row < static_cast<int>(m_folderRows))
        return nullptr;
    const size_t i = static_cast<size_t>(row) - m_folderRows;
    return i < m_handlers.size() ? &m_handlers[i] : nullptr;
}

bool WindowsCleanupWindow::onNotify(NMHDR* header, LRESULT& result)
{
    if (header->idFrom != IDC_lstvWindowsCleanup || header->code != LVN_ITEMCHANGING || m_filling)
        return false;
    const auto* change = reinterpret_cast<const NMLISTVIEW*>(header);
    const bool ticking = (change->uChanged & LVIF_STATE) && (change->uNewState & LVIS_STATEIMAGEMASK) ==
                                                                 INDEXTOSTATEIMAGEMASK(2);
    const CleanupHandler* handler = handlerAt(change->iItem);
    if (!ticking || !handler)
        return false;
    // A handler that is not trusted is never ticked, so never loaded.
    bool refuse = !handler->trusted();
    if (!refuse && handler->warns)
        refuse = ask(hwnd(),
                     handler->display +
                         L" removes files that cannot be brought back: Windows cannot then be taken back to an "
                         L"earlier update or version.\r\n\r\nTick it?",
                     MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES;
    result = refuse ? TRUE : FALSE;
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
        for (size_t i = 0; i < m_handlers.size(); ++i)
            writeSetting(kWindowsCleanupSection, m_handlers[i].itemKey(),
                         ListView_GetCheckState(lv, static_cast<int>(m_folderRows + i)) ? L"1" : L"0");
    });
    if (!saved) {
        MessageBoxW(hwnd(), L"The choice could not be saved to Settings.ini.", kAppTitle, MB_OK | MB_ICONEXCLAMATION);
        return true;
    }
    EndDialog(hwnd(), IDOK);
    return true;
}

} // namespace sorvane

#include "cleaners/EntriesWindow.h"

#include "platform/Text.h"
#include "resource.h"
#include "win/ListColumns.h"

#include <commctrl.h>

#include <algorithm>

namespace sorvane {

namespace {

// The label above the list, the list below it filling the window, the
// Close button at the bottom right.
void layOut(HWND dialog, int width, int height)
{
    const int margin = MulDiv(6, LOWORD(GetDialogBaseUnits()), 4);
    RECT button{};
    HWND close = GetDlgItem(dialog, IDCANCEL);
    GetWindowRect(close, &button);
    const int bw = button.right - button.left, bh = button.bottom - button.top;
    RECT label{};
    GetWindowRect(GetDlgItem(dialog, IDC_lblAnalysis), &label);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&label), 2);
    MoveWindow(GetDlgItem(dialog, IDC_lblAnalysis), margin, label.top, width - 2 * margin, label.bottom - label.top,
               TRUE);
    const int top = label.bottom + margin / 2;
    MoveWindow(GetDlgItem(dialog, IDC_lstvAnalysis), margin, top, width - 2 * margin,
               std::max(0, height - top - bh - 2 * margin), TRUE);
    MoveWindow(close, width - margin - bw, height - margin - bh, bw, bh, TRUE);
    // The first column takes the width the others leave.
    HWND lv = GetDlgItem(dialog, IDC_lstvAnalysis);
    RECT client{};
    GetClientRect(lv, &client);
    const int columns = Header_GetItemCount(ListView_GetHeader(lv));
    int others = 0;
    for (int c = 1; c < columns; ++c)
        others += ListView_GetColumnWidth(lv, c);
    ListView_SetColumnWidth(lv, 0, std::max(100, static_cast<int>(client.right) - others - GetSystemMetrics(SM_CXVSCROLL)));
}

} // namespace

bool AnalysisListDialog::onCommand(int id, int, HWND)
{
    if (id != IDCANCEL && id != IDOK)
        return false;
    EndDialog(hwnd(), id);
    return true;
}

void AnalysisListDialog::onSize(UINT type, int width, int height)
{
    if (type != SIZE_MINIMIZED)
        layOut(hwnd(), width, height);
}

void AnalysisEntriesWindow::show(HINSTANCE instance, HWND owner) { showModal(instance, IDD_ANALYSIS_ITEMS, owner); }

bool AnalysisEntriesWindow::onInitDialog()
{
    SetWindowTextW(hwnd(), m_title.c_str());
    HWND lv = item(IDC_lstvAnalysis);
    ListView_SetExtendedListViewStyle(lv, LVS_EX_FULLROWSELECT);
    win::addListColumns(lv, {{L"File or key", 460}, {L"Size", 90, LVCFMT_RIGHT}});
    const std::wstring count = std::to_wstring(m_entries.size());
    SetDlgItemTextW(hwnd(), IDC_lblAnalysis,
                    (!m_note.empty()       ? m_note
                     : m_entries.empty() ? std::wstring(L"Nothing to remove here.")
                                         : count + (m_entries.size() == 1 ? L" entry" : L" entries") +
                                               L" that a clean would remove now.")
                        .c_str());
    ListView_SetItemCountEx(lv, static_cast<int>(m_entries.size()), 0);
    layoutNow();
    return true;
}

bool AnalysisEntriesWindow::onNotify(NMHDR* header, LRESULT&)
{
    if (header->idFrom != IDC_lstvAnalysis || header->code != LVN_GETDISPINFOW)
        return false;
    auto* info = reinterpret_cast<NMLVDISPINFOW*>(header);
    const auto row = static_cast<size_t>(info->item.iItem);
    if (!(info->item.mask & LVIF_TEXT) || row >= m_entries.size())
        return true;
    const FoundEntry& entry = m_entries[row];
    m_cell = info->item.iSubItem == 0 ? entry.what : formatByteSize(entry.bytes);
    info->item.pszText = m_cell.data();
    return true;
}

} // namespace sorvane

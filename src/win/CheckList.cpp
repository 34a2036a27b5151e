#include "win/CheckList.h"

#include <windowsx.h>

namespace win {

namespace {

void toggleSelected(HWND list, CheckedRows* rows)
{
    // Space ticks or unticks the selected rows, as the focused one goes.
    const int focused = ListView_GetNextItem(list, -1, LVNI_FOCUSED);
    const int count = ListView_GetItemCount(list);
    if (focused < 0 || focused >= count)
        return;
    const bool on = !rows->rowChecked(focused);
    for (int i = ListView_GetNextItem(list, -1, LVNI_SELECTED); i >= 0; i = ListView_GetNextItem(list, i, LVNI_SELECTED))
        if (i < count)
            rows->setRowChecked(i, on);
    rows->setRowChecked(focused, on);
    InvalidateRect(list, nullptr, FALSE);
}

LRESULT CALLBACK proc(HWND list, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data)
{
    auto* rows = reinterpret_cast<CheckedRows*>(data);
    switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        LVHITTESTINFO hit{};
        hit.pt = {GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        if (ListView_HitTest(list, &hit) >= 0 && (hit.flags & LVHT_ONITEMSTATEICON)) {
            SetFocus(list);
            if (rows->checksAllowed() && hit.iItem < ListView_GetItemCount(list)) {
                rows->setRowChecked(hit.iItem, !rows->rowChecked(hit.iItem));
                ListView_RedrawItems(list, hit.iItem, hit.iItem);
            }
            return 0;
        }
        break;
    }
    case WM_KEYDOWN:
        if (wp == VK_SPACE) {
            if (rows->checksAllowed())
                toggleSelected(list, rows);
            return 0;
        }
        break;
    case WM_CHAR:
        if (wp == L' ')
            return 0;
        break;
    case WM_NCDESTROY: RemoveWindowSubclass(list, &proc, 1); break;
    default: break;
    }
    return DefSubclassProc(list, msg, wp, lp);
}

} // namespace

void installCheckedRows(HWND list, CheckedRows* rows)
{
    ListView_SetExtendedListViewStyle(list, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    SendMessageW(list, LVM_SETCALLBACKMASK, LVIS_STATEIMAGEMASK, 0);
    SetWindowSubclass(list, &proc, 1, reinterpret_cast<DWORD_PTR>(rows));
}

void fillCheckState(LVITEMW& item, bool checked)
{
    if (!(item.mask & LVIF_STATE))
        return;
    item.state = (item.state & ~LVIS_STATEIMAGEMASK) | INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
    item.stateMask |= LVIS_STATEIMAGEMASK;
}

} // namespace win

#pragma once
// Report-view columns from a table of captions and widths, and the few
// row operations the option pages share.
#include <windows.h>
#include <commctrl.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace win {

struct ListColumn {
    const wchar_t* caption;
    int width;
    int format = LVCFMT_LEFT;
};

inline void addListColumns(HWND list, std::initializer_list<ListColumn> columns)
{
    int i = 0;
    for (const ListColumn& col : columns) {
        LVCOLUMNW c{};
        c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        c.pszText = const_cast<wchar_t*>(col.caption);
        c.cx = col.width;
        c.fmt = col.format;
        ListView_InsertColumn(list, i++, &c);
    }
}

// Appends a row: its caption, then the other columns' texts.
inline int addRow(HWND lv, const std::vector<std::wstring>& cells)
{
    LVITEMW it{};
    it.mask = LVIF_TEXT;
    it.iItem = ListView_GetItemCount(lv);
    it.pszText = const_cast<wchar_t*>(cells.at(0).c_str());
    const int row = ListView_InsertItem(lv, &it);
    for (size_t c = 1; c < cells.size(); ++c)
        ListView_SetItemText(lv, row, static_cast<int>(c), const_cast<wchar_t*>(cells[c].c_str()));
    return row;
}

inline std::wstring cellText(HWND lv, int row, int column)
{
    std::wstring buf(1024, L'\0');
    ListView_GetItemText(lv, row, column, buf.data(), static_cast<int>(buf.size()));
    buf.resize(wcsnlen(buf.c_str(), buf.size()));
    return buf;
}

inline int selectedRow(HWND lv) { return ListView_GetNextItem(lv, -1, LVNI_SELECTED); }

} // namespace win

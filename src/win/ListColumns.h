#pragma once
// Report-view columns from a table of captions and widths.
#include <windows.h>
#include <commctrl.h>

#include <initializer_list>

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

} // namespace win

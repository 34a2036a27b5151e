#pragma once
// Row helpers the option pages share: rows found by their caption, and
// lists filled in caption order.
#include "platform/Text.h"
#include "win/ListColumns.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace sorvane {

// The row whose first column is `text`, compared without regard to case; -1 when none.
inline int findRow(HWND lv, std::wstring_view text)
{
    const int n = ListView_GetItemCount(lv);
    for (int i = 0; i < n; ++i)
        if (iequals(win::cellText(lv, i, 0), text))
            return i;
    return -1;
}

using Rows = std::vector<std::vector<std::wstring>>;

// The rows sorted ascending by their first column, without regard to case.
inline void fillSorted(HWND lv, Rows rows)
{
    std::stable_sort(rows.begin(), rows.end(),
                     [](const auto& a, const auto& b) { return toLower(a[0]) < toLower(b[0]); });
    for (const auto& r : rows)
        win::addRow(lv, r);
}

} // namespace sorvane

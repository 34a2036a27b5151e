#include "app/AnalysisWindow.h"

#include "platform/ErrorReport.h"
#include "platform/Text.h"
#include "resource.h"
#include "win/ListColumns.h"

#include <commctrl.h>

#include <algorithm>

namespace sorvane {


void AnalysisWindow::show(HINSTANCE instance, HWND owner)
{
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    if (!showEntries)
        showEntries = [instance](HWND parent, const std::wstring& title, const std::vector<FoundEntry>& entries) {
            AnalysisEntriesWindow(title, entries).show(instance, parent);
        };
    showModal(instance, IDD_ANALYSIS, owner);
}

HWND AnalysisWindow::list() const { return item(IDC_lstvAnalysis); }

bool AnalysisWindow::onInitDialog()
{
    HWND lv = list();
    ListView_SetExtendedListViewStyle(lv, LVS_EX_FULLROWSELECT);
    win::addListColumns(lv, {{L"Category", 250}, {L"Items", 80, LVCFMT_RIGHT}, {L"Size", 90, LVCFMT_RIGHT}});
    SetDlgItemTextW(hwnd(), IDC_lblAnalysis,
                    L"What a clean would remove now. Double-click a row to see its files and keys.");
    int64_t items = 0;
    uint64_t bytes = 0;
    step(L"frmAnalysis,Form_Load", [&] {
        for (const AnalysisRow& row : m_rows) {
            win::addRow(lv, {(row.part ? L"      " : L"") + row.name, std::to_wstring(row.items),
                             formatByteSize(row.bytes)});
            if (!row.part) {
                items += row.items;
                bytes += row.bytes;
            }
        }
        win::addRow(lv, {L"Total", std::to_wstring(items), formatByteSize(bytes)});
    });
    layoutNow();
    return true;
}

std::vector<FoundEntry> AnalysisWindow::entriesOf(int row) const
{
    std::vector<FoundEntry> entries;
    if (row < 0 || static_cast<size_t>(row) >= m_rows.size())
        return entries;
    const auto add = [&](const AnalysisRow& r) { entries.insert(entries.end(), r.entries.begin(), r.entries.end()); };
    add(m_rows[static_cast<size_t>(row)]);
    if (!m_rows[static_cast<size_t>(row)].part)
        for (size_t i = static_cast<size_t>(row) + 1; i < m_rows.size() && m_rows[i].part; ++i)
            add(m_rows[i]);
    return entries;
}

bool AnalysisWindow::onNotify(NMHDR* header, LRESULT&)
{
    if (header->idFrom != IDC_lstvAnalysis || header->code != NM_DBLCLK)
        return false;
    const int row = reinterpret_cast<const NMITEMACTIVATE*>(header)->iItem;
    if (row < 0 || static_cast<size_t>(row) >= m_rows.size())
        return true;
    step(L"frmAnalysis,lstvAnalysis_DblClick",
         [&] { showEntries(hwnd(), L"Sorvane - Analysis - " + m_rows[static_cast<size_t>(row)].name, entriesOf(row)); });
    return true;
}

} // namespace sorvane

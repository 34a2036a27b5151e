#include "cleaners/ApplicationRulesWindow.h"

#include "cleaners/EntriesWindow.h"
#include "core/EngineUi.h"
#include "platform/AppFolder.h"
#include "platform/ErrorReport.h"
#include "platform/Text.h"
#include "resource.h"
#include "win/ListColumns.h"

#include <commctrl.h>

#include <algorithm>
#include <map>

namespace sorvane {

namespace {

constexpr const wchar_t* kTag = L"frmApplicationRules";

bool isTicking(const NMLISTVIEW* change)
{
    // Only a change from unticked to ticked: the control may tell of the
    // same tick more than once.
    return (change->uChanged & LVIF_STATE) &&
           (change->uNewState & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2) &&
           (change->uOldState & LVIS_STATEIMAGEMASK) != INDEXTOSTATEIMAGEMASK(2);
}

} // namespace

INT_PTR ApplicationRulesWindow::show(HINSTANCE instance, HWND owner)
{
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    if (!ask)
        ask = [](HWND parent, const std::wstring& text, unsigned flags) {
            return MessageBoxW(parent, text.c_str(), kAppTitle, flags);
        };
    if (!showPreview)
        showPreview = [instance](HWND parent, const std::wstring& title, const std::vector<FoundEntry>& entries,
                                 const std::wstring& note) {
            AnalysisEntriesWindow(title, entries, note).show(instance, parent);
        };
    return showModal(instance, IDD_APPLICATION_RULES, owner);
}

HWND ApplicationRulesWindow::list() const { return item(IDC_lstvRules); }

bool ApplicationRulesWindow::onInitDialog()
{
    HWND lv = list();
    // A note longer than its column shows whole in a tip.
    ListView_SetExtendedListViewStyle(lv, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP);
    win::addListColumns(lv, {{L"Entry", 220}, {L"Section", 110}, {L"Note", 300}});
    m_filling = true;
    std::wstring label;
    step(std::wstring(kTag) + L",Form_Load", [&] {
        m_loaded = loadApplicationRules();
        // What applies here, by section, refused entries among them.
        for (const AppRule& rule : m_loaded.rules)
            if (ruleDetected(rule, m_loaded.env))
                m_rows.push_back(&rule);
        std::stable_sort(m_rows.begin(), m_rows.end(), [](const AppRule* a, const AppRule* b) {
            const int bySection = _wcsicmp(a->section.c_str(), b->section.c_str());
            return bySection != 0 ? bySection < 0 : _wcsicmp(a->name.c_str(), b->name.c_str()) < 0;
        });
        ListView_EnableGroupView(lv, TRUE);
        std::map<std::wstring, int> groups;
        const std::vector<std::wstring> ticked = loadTickedRules();
        size_t refused = 0;
        for (const AppRule* rule : m_rows) {
            const std::wstring section = rule->section;
            auto group = groups.find(toLower(section));
            if (group == groups.end()) {
                LVGROUP g{};
                g.cbSize = sizeof g;
                g.mask = LVGF_HEADER | LVGF_GROUPID;
                g.pszHeader = const_cast<wchar_t*>(section.c_str());
                g.iGroupId = static_cast<int>(groups.size()) + 1;
                ListView_InsertGroup(lv, -1, &g);
                group = groups.emplace(toLower(section), g.iGroupId).first;
            }
            const std::wstring note = !rule->refused.empty() ? L"Refused: " + rule->refused : rule->warning;
            const int row = win::addRow(lv, {rule->name, section, note});
            LVITEMW it{};
            it.mask = LVIF_GROUPID;
            it.iItem = row;
            it.iGroupId = group->second;
            ListView_SetItem(lv, &it);
            const bool on = rule->refused.empty() &&
                            std::any_of(ticked.begin(), ticked.end(),
                                        [&](const std::wstring& name) { return iequals(name, rule->name); });
            ListView_SetCheckState(lv, row, on);
            refused += rule->refused.empty() ? 0 : 1;
        }
        if (m_loaded.rules.empty() && m_loaded.problems.empty())
            label = L"No rule files yet: put winapp2.ini beside Sorvane.exe, or .ini files in its Rules folder.";
        else
            label = std::to_wstring(m_rows.size()) + L" of the " + std::to_wstring(m_loaded.rules.size()) +
                    L" entries apply to this machine; " + std::to_wstring(refused) +
                    L" of them are refused. Tick what Application rules cleans.";
        for (const auto& problem : m_loaded.problems)
            label += L"\r\n" + problem;
    });
    SetDlgItemTextW(hwnd(), IDC_lblRules, label.c_str());
    m_filling = false;
    layoutNow();
    ListView_SetColumnWidth(lv, 2, LVSCW_AUTOSIZE_USEHEADER);  // the note takes the rest of the row
    return true;
}

void ApplicationRulesWindow::onSize(UINT type, int width, int height)
{
    if (type == SIZE_MINIMIZED)
        return;
    const int margin = MulDiv(6, LOWORD(GetDialogBaseUnits()), 4);
    RECT button{};
    GetWindowRect(item(IDOK), &button);
    const int bw = button.right - button.left, bh = button.bottom - button.top;
    RECT label{};
    GetWindowRect(item(IDC_lblRules), &label);
    MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&label), 2);
    MoveWindow(item(IDC_lblRules), margin, label.top, width - 2 * margin, label.bottom - label.top, TRUE);
    const int top = label.bottom + margin / 2;
    MoveWindow(list(), margin, top, width - 2 * margin, std::max(0, height - top - bh - 2 * margin), TRUE);
    const int y = height - margin - bh;
    MoveWindow(item(IDC_cmdRulePreview), margin, y, bw, bh, TRUE);
    MoveWindow(item(IDCANCEL), width - margin - bw, y, bw, bh, TRUE);
    MoveWindow(item(IDOK), width - 2 * margin - 2 * bw + margin / 2, y, bw, bh, TRUE);
}

bool ApplicationRulesWindow::onNotify(NMHDR* header, LRESULT& result)
{
    if (header->idFrom != IDC_lstvRules)
        return false;
    if (header->code == NM_CUSTOMDRAW) {
        // Refused entries are greyed.
        auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(header);
        if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) {
            result = CDRF_NOTIFYITEMDRAW;
            return true;
        }
        if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
            const auto row = static_cast<size_t>(draw->nmcd.dwItemSpec);
            if (row < m_rows.size() && !m_rows[row]->refused.empty())
                draw->clrText = GetSysColor(COLOR_GRAYTEXT);
            result = CDRF_DODEFAULT;
            return true;
        }
        return false;
    }
    if (header->code == NM_DBLCLK) {
        preview();
        return true;
    }
    if (header->code != LVN_ITEMCHANGING || m_filling)
        return false;
    const auto* change = reinterpret_cast<const NMLISTVIEW*>(header);
    if (!isTicking(change) || change->iItem < 0 || static_cast<size_t>(change->iItem) >= m_rows.size())
        return false;
    const AppRule& rule = *m_rows[static_cast<size_t>(change->iItem)];
    bool refuse = !rule.refused.empty();
    if (refuse)
        ask(hwnd(), rule.name + L" is refused and never runs: " + rule.refused, MB_OK | MB_ICONINFORMATION);
    else if (!rule.warning.empty())
        refuse = ask(hwnd(), rule.name + L":\r\n\r\n" + rule.warning + L"\r\n\r\nTick it?",
                     MB_OKCANCEL | MB_ICONWARNING | MB_DEFBUTTON2) != IDOK;
    result = refuse ? TRUE : FALSE;
    return true;
}

void ApplicationRulesWindow::preview()
{
    const int row = ListView_GetNextItem(list(), -1, LVNI_SELECTED);
    if (row < 0 || static_cast<size_t>(row) >= m_rows.size()) {
        ask(hwnd(), L"Select an entry to preview.", MB_OK | MB_ICONINFORMATION);
        return;
    }
    const AppRule& rule = *m_rows[static_cast<size_t>(row)];
    step(std::wstring(kTag) + L",cmdPreview_Click", [&] {
        SilentUi ui;
        RunState run;
        FileSearch search(ui, run);
        const RulePlan plan = planRule(rule, m_loaded.env, search);
        const std::vector<FoundEntry> entries = previewEntries(plan);
        showPreview(hwnd(), L"Sorvane - Preview - " + rule.name, entries,
                    plan.refused.empty() ? std::wstring() : L"Refused: " + plan.refused);
    });
}

bool ApplicationRulesWindow::onCommand(int id, int, HWND)
{
    if (id == IDCANCEL) {
        EndDialog(hwnd(), IDCANCEL);
        return true;
    }
    if (id == IDC_cmdRulePreview) {
        preview();
        return true;
    }
    if (id != IDOK)
        return false;
    HWND lv = list();
    // Ticks of entries not shown now (their program is gone for the moment)
    // are kept as they were.
    std::vector<std::wstring> names;
    for (const auto& name : loadTickedRules()) {
        const bool shown = std::any_of(m_rows.begin(), m_rows.end(),
                                       [&](const AppRule* rule) { return iequals(rule->name, name); });
        if (!shown)
            names.push_back(name);
    }
    for (size_t i = 0; i < m_rows.size(); ++i)
        if (ListView_GetCheckState(lv, static_cast<int>(i)))
            names.push_back(m_rows[i]->name);
    const bool saved = step(std::wstring(kTag) + L",cmdOK_Click", [&] { saveTickedRules(names); });
    if (!saved) {
        MessageBoxW(hwnd(), L"The choice could not be saved to rules.sol.", kAppTitle, MB_OK | MB_ICONEXCLAMATION);
        return true;
    }
    EndDialog(hwnd(), IDOK);
    return true;
}

} // namespace sorvane

#pragma once
// frmApplicationRules: the entries of the rule files that apply to this
// machine, grouped by their section, each with its tick; refused entries
// greyed with the reason. Ticking an entry with a warning shows the warning
// first. Preview lists what the selected entry would remove now. OK saves
// the ticks to rules.sol.
#include "cleaners/ApplicationRules.h"
#include "win/Dialog.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace sorvane {

class ApplicationRulesWindow : public win::Dialog {
public:
    // IDOK when the ticks were saved.
    INT_PTR show(HINSTANCE instance, HWND owner);
    HWND list() const;
    // The entry of a row.
    const AppRule& ruleAt(int row) const { return *m_rows.at(static_cast<size_t>(row)); }
    int rowCount() const { return static_cast<int>(m_rows.size()); }
    // The question before an entry with a warning is ticked; tests answer it.
    std::function<int(HWND owner, const std::wstring& text, unsigned flags)> ask;
    // Shows a preview (a window of its own unless a test answers).
    std::function<void(HWND owner, const std::wstring& title, const std::vector<FoundEntry>& entries,
                       const std::wstring& note)>
        showPreview;

private:
    bool onInitDialog() override;
    bool onCommand(int id, int code, HWND control) override;
    bool onNotify(NMHDR* header, LRESULT& result) override;
    void onSize(UINT type, int width, int height) override;
    void preview();

    LoadedRules m_loaded;
    std::vector<const AppRule*> m_rows;
    bool m_filling = false;
};

} // namespace sorvane

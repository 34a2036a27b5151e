#pragma once
// frmAnalysis: what an Analyze found, one row per category (the items of a
// category indented below it) with how many things a clean would remove and
// their size, then the total. A double-click lists a row's files and keys.
#include "cleaners/EntriesWindow.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace sorvane {

class AnalysisWindow : public AnalysisListDialog {
public:
    explicit AnalysisWindow(std::vector<AnalysisRow> rows) : m_rows(std::move(rows)) {}
    void show(HINSTANCE instance, HWND owner);
    HWND list() const;
    // What a row lists: its own entries, and for a category those of its
    // items too. The total row lists nothing.
    std::vector<FoundEntry> entriesOf(int row) const;
    // Opens the list of a row (a window of its own unless a test answers).
    std::function<void(HWND owner, const std::wstring& title, const std::vector<FoundEntry>& entries)> showEntries;

private:
    bool onInitDialog() override;
    bool onNotify(NMHDR* header, LRESULT& result) override;

    std::vector<AnalysisRow> m_rows;
};

} // namespace sorvane

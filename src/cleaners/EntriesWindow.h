#pragma once
// The lists of what a clean would remove: an Analyze's row, a rule's
// preview. Every file or key with its size, in a virtual list (a drive-wide
// search can find a hundred thousand files).
#include "core/RunState.h"
#include "win/Dialog.h"

#include <windows.h>

#include <string>
#include <vector>

namespace sorvane {

// What both windows share: Close, Esc and a layout that follows the size.
class AnalysisListDialog : public win::Dialog {
protected:
    bool onCommand(int id, int code, HWND control) override;
    void onSize(UINT type, int width, int height) override;
};

// The list of one row: every file or key with its size, in a virtual list
// (a drive-wide search can find a hundred thousand files).
class AnalysisEntriesWindow : public AnalysisListDialog {
public:
    // `note`, when given, stands above the list instead of the count (why
    // nothing of a refused rule would go).
    AnalysisEntriesWindow(std::wstring title, const std::vector<FoundEntry>& entries, std::wstring note = {})
        : m_title(std::move(title)), m_entries(entries), m_note(std::move(note)) {}
    void show(HINSTANCE instance, HWND owner);

private:
    bool onInitDialog() override;
    bool onNotify(NMHDR* header, LRESULT& result) override;

    std::wstring m_title;
    const std::vector<FoundEntry>& m_entries;
    std::wstring m_note;
    std::wstring m_cell;  // the text a list row asked for last
};

} // namespace sorvane

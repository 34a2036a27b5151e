#pragma once
// The review window for real, in the test's own thread: the rows the
// cleaners gather go into a hidden ReviewWindow, which a test script drives
// with posted commands, clicks and calls once it is shown.
#include "cleaners/Cleaners.h"
#include "cleaners/ReviewWindow.h"
#include "core/Deletion.h"
#include "core/FileSearch.h"
#include "resource.h"
#include "support/PostedCalls.h"
#include "support/RecorderUi.h"
#include "support/TestEnv.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace testenv {

class WindowedUi : public RecorderUi {
public:
    using RecorderUi::RecorderUi;

    // What the window asked, and the answers it gets (IDYES when none is left).
    std::vector<std::wstring> asked;
    std::vector<int> answers;
    // Runs once the rows are in the window, just before it is shown.
    std::function<void(sorvane::ReviewWindow&)> script;
    sorvane::ReviewWindow* window() { return m_window.get(); }

    void addReviewRow(const sorvane::ReviewRow& row) override;
    void discardReviewRows() override;
    void showReviewWindow(const sorvane::ReviewTools& tools) override;

private:
    sorvane::ReviewWindow& ensure();
    std::unique_ptr<sorvane::ReviewWindow> m_window;
};

// Posts a command of the window (a button or menu id).
void postCommand(sorvane::ReviewWindow& w, int id);
// Clicks row i's check box as a mouse would.
void clickCheckBox(HWND list, int row);
bool rowChecked(HWND list, int row);
std::wstring cellText(HWND list, int row, int column);
std::wstring windowText(HWND hwnd);

// The window over the rows a test adds, with the engine it deletes through.
class ReviewTest : public ::testing::Test {
protected:
    ReviewTest() { clearIgnoreLists(search); }

    // A file of `bytes` bytes in the test folder and its row.
    sorvane::ReviewRow addFile(const std::wstring& name, size_t bytes)
    {
        writeFile(dir.file(name), std::string(bytes, 'r'));
        sorvane::ReviewRow row{name, bytes, L"12/8/2026 9:00:00 AM", L"A", dir.path() + L"\\"};
        ui.addReviewRow(row);
        return row;
    }
    void show() { ui.showReviewWindow(sorvane::ReviewTools{deletion, search, run}); }
    HWND list() { return ui.window()->listView(); }
    int rowCount() { return ListView_GetItemCount(list()); }
    std::wstring label() { return windowText(GetDlgItem(ui.window()->hwnd(), IDC_lblTotalFiles)); }
    // Runs `f` once the commands posted before it have been handled.
    void then(std::function<void()> f) { calls.post(std::move(f)); }

    ScopedAppFolder app;
    TempFolder dir;
    sorvane::RunState run;
    WindowedUi ui{run};
    sorvane::FileSearch search{ui, run};
    sorvane::DeleteSettings settings;
    sorvane::DeletionEngine deletion{ui, run, settings};
    PostedCalls calls;
};

} // namespace testenv

#pragma once
// The review window for real, in the test's own thread: the rows the
// cleaners gather go into a hidden ReviewWindow, which a test script drives
// with posted commands, clicks and calls once it is shown.
#include "cleaners/Cleaners.h"
#include "cleaners/ReviewWindow.h"
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

} // namespace testenv

#pragma once
// frmDeletetion: the files the drive-wide cleaners gathered, where the user
// decides what is deleted. Created hidden by the first row, shown modally
// once, destroyed when it closes. The rows live in a ReviewList; the list
// view only shows them (owner data), so tens of thousands of rows cost no
// more than the ones on screen.
#include "cleaners/ReviewList.h"
#include "core/EngineUi.h"
#include "platform/ShellIcons.h"
#include "win/CheckList.h"
#include "win/Dialog.h"

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

namespace sorvane {

class ReviewWindow : public win::Dialog, private win::CheckedRows {
public:
    // Message boxes of the window, owned by it; tests answer them.
    using Ask = std::function<int(HWND owner, const std::wstring& text, unsigned flags)>;

    ReviewWindow();
    ~ReviewWindow() override;

    // Loads the window without showing it.
    bool create(HINSTANCE instance, HWND owner);
    void addRow(const ReviewRow& row) { m_list.add(row); }
    ReviewList& rows() noexcept { return m_list; }
    void setAsk(Ask ask) { m_ask = std::move(ask); }

    // Sets the total, gives the rows their icons and runs the window
    // modally over its owner until it closes. The log line, the run totals
    // and an abort go to `tools.run`; the main window's status to `status`.
    void showModal(const ReviewTools& tools, EngineUi& status);

    HWND listView() const noexcept;
    // The index in the system image list of row i's small icon.
    int iconOf(size_t row);

private:
    bool onInitDialog() override;
    bool onCommand(int id, int code, HWND control) override;
    bool onNotify(NMHDR* header, LRESULT& result) override;
    void onSize(UINT type, int width, int height) override;
    bool onMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR& result) override;

    void addIcons();
    void refreshRows();
    void redrawRows();
    bool rowChecked(int row) const override;
    void setRowChecked(int row, bool on) override;
    bool checksAllowed() const override { return !m_busy; }
    void deleteCommand(bool checkedOnly);
    void mnuDeleteAll_Click();
    void mnuDeleteSelected_Click();
    void mnuProperties_Click();
    void mnuAbort_Click();
    void mnuExit_Click();
    void closeWindow();
    void setBusy(bool busy);
    void pumpWhileBusy();
    void getDispInfo(NMLVDISPINFOW& info);
    int findItem(const NMLVFINDITEMW& find) const;
    int selectedRow() const;
    int ask(const std::wstring& text, unsigned flags);

    ReviewList m_list;
    Ask m_ask;
    const ReviewTools* m_tools = nullptr;
    EngineUi* m_status = nullptr;
    bool m_closed = false;
    bool m_busy = false;
    ULONGLONG m_lastPaint = 0;
    std::vector<MSG> m_deferred;
    win::SmallFileIcons m_icons;
    std::wstring m_cellText;
};

} // namespace sorvane

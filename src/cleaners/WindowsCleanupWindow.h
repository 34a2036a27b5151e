#pragma once
// frmWindowsCleanup: what the Windows cleanup category removes, one row per
// item with its tick, name and description; OK writes the ticks to
// Settings.ini [WindowsCleanup], Cancel leaves them as they were.
#include "cleaners/CleanupHandlers.h"
#include "win/Dialog.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace sorvane {

class WindowsCleanupWindow : public win::Dialog {
public:
    // IDOK when the ticks were saved.
    INT_PTR show(HINSTANCE instance, HWND owner);
    HWND list() const;
    // The question before a handler with a warning is ticked; tests answer it.
    std::function<int(HWND owner, const std::wstring& text, unsigned flags)> ask;

private:
    bool onInitDialog() override;
    bool onCommand(int id, int code, HWND control) override;
    bool onNotify(NMHDR* header, LRESULT& result) override;
    // The handler of a row; null for a known folder's row.
    const CleanupHandler* handlerAt(int row) const;

    std::vector<CleanupHandler> m_handlers;
    size_t m_folderRows = 0;
    bool m_filling = false;
};

} // namespace sorvane

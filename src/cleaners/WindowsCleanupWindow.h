#pragma once
// frmWindowsCleanup: what the Windows cleanup category removes, one row per
// item with its tick, name and description; OK writes the ticks to
// Settings.ini [WindowsCleanup], Cancel leaves them as they were.
#include "win/Dialog.h"

#include <windows.h>

namespace sorvane {

class WindowsCleanupWindow : public win::Dialog {
public:
    // IDOK when the ticks were saved.
    INT_PTR show(HINSTANCE instance, HWND owner);
    HWND list() const;

private:
    bool onInitDialog() override;
    bool onCommand(int id, int code, HWND control) override;
};

} // namespace sorvane

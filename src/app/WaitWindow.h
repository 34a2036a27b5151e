#pragma once
// frmwait: "Please wait it may take some time . ." while a window loads.
#include "win/Dialog.h"

namespace sorvane {

// Top-left of the notice: ((height + top) / 2, (width + left) / 2) of the
// main window, as the notice has always placed itself.
POINT waitWindowPosition(const RECT& mainWindow);

class WaitWindow : public win::Dialog {
public:
    void show(HINSTANCE instance, HWND mainWindow);
    void close();
    ~WaitWindow() override { close(); }

private:
    bool onInitDialog() override;
    HWND m_main = nullptr;
};

} // namespace sorvane

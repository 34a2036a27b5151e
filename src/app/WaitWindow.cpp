#include "app/WaitWindow.h"

#include "resource.h"

namespace sorvane {

POINT waitWindowPosition(const RECT& w)
{
    const int width = w.right - w.left, height = w.bottom - w.top;
    return POINT{(width + w.left) / 2, (height + w.top) / 2};
}

void WaitWindow::show(HINSTANCE instance, HWND mainWindow)
{
    m_main = mainWindow;
    if (createModeless(instance, IDD_WAIT, mainWindow)) {
        ShowWindow(hwnd(), SW_SHOWNOACTIVATE);
        UpdateWindow(hwnd());
    }
}

bool WaitWindow::onInitDialog()
{
    RECT main{};
    GetWindowRect(m_main, &main);
    const POINT at = waitWindowPosition(main);
    SetWindowPos(hwnd(), HWND_TOP, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
    return false;
}

void WaitWindow::close()
{
    if (hwnd())
        DestroyWindow(hwnd());
}

} // namespace sorvane

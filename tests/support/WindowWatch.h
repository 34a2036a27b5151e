#pragma once
// Acts on a window of this thread as soon as it appears: a test answers a
// modal window (a question, a viewer) from inside the window's own loop.
#include <windows.h>

#include <functional>
#include <string>

namespace testenv {

class WindowWatch {
public:
    // Calls `act` once with the first visible top-level window of this
    // thread whose title is `title`.
    WindowWatch(std::wstring title, std::function<void(HWND)> act);
    ~WindowWatch();
    WindowWatch(const WindowWatch&) = delete;
    WindowWatch& operator=(const WindowWatch&) = delete;
    // How many times the window was met (re-armed with `repeat`).
    int count() const { return m_count; }
    // Keep acting on every later window of that title too.
    void repeat(bool on) { m_repeat = on; }

private:
    static void CALLBACK tick(HWND, UINT, UINT_PTR id, DWORD);
    std::wstring m_title;
    std::function<void(HWND)> m_act;
    UINT_PTR m_timer = 0;
    int m_count = 0;
    bool m_repeat = false;
    HWND m_last = nullptr;
};

// The text of a list-view cell of this process.
std::wstring listCell(HWND list, int row, int column);
// Clicks a button of a dialog (BM_CLICK on its control).
void clickButton(HWND dialog, int id);

} // namespace testenv

#include "app/SingleInstance.h"

#include "app/MainWindow.h"

namespace sorvane {

SingleInstance::SingleInstance()
    : m_mutex(CreateMutexW(nullptr, FALSE, L"Local\\Sorvane.MainInstance"))
{
    m_another = m_mutex && GetLastError() == ERROR_ALREADY_EXISTS;
}

bool SingleInstance::waitUntilAlone(unsigned long ms)
{
    const ULONGLONG end = GetTickCount64() + ms;
    while (m_another && GetTickCount64() < end) {
        // Our own handle would keep the mark alive: let go, look again.
        m_mutex.reset();
        Sleep(200);
        m_mutex.reset(CreateMutexW(nullptr, FALSE, L"Local\\Sorvane.MainInstance"));
        m_another = m_mutex && GetLastError() == ERROR_ALREADY_EXISTS;
    }
    return !m_another;
}

namespace {

struct MainSearch {
    HWND alive = nullptr;
    bool ending = false;
};

BOOL CALLBACK findMain(HWND hwnd, LPARAM lp)
{
    auto* s = reinterpret_cast<MainSearch*>(lp);
    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
    if (lstrcmpW(cls, kMainWindowClass) != 0)
        return TRUE;
    if (GetPropW(hwnd, kEndingProperty)) {
        s->ending = true;
        return TRUE;
    }
    s->alive = hwnd;
    return FALSE;
}

} // namespace

bool activatePreviousInstance()
{
    // The first instance may still be starting: give its window a moment to
    // appear. An instance whose window is closing is never handed over to.
    for (int attempt = 0; attempt < 50; ++attempt) {
        MainSearch search;
        EnumWindows(findMain, reinterpret_cast<LPARAM>(&search));
        if (HWND other = search.alive) {
            ShowWindow(other, SW_SHOW);
            if (IsIconic(other))
                ShowWindow(other, SW_RESTORE);
            // While the first instance shows a modal window, its main window
            // is disabled: bring the window the user can act on instead.
            HWND active = GetLastActivePopup(other);
            SetForegroundWindow(active && IsWindowVisible(active) ? active : other);
            return true;
        }
        if (search.ending)
            return false;
        Sleep(100);
    }
    return false;
}

} // namespace sorvane

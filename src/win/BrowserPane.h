#pragma once
// The system's web browser control, in place in a child window, through a
// small OLE container of our own. Where the platform has no browser (or no
// HTML engine behind it) the pane stays blank; every address it was asked
// to show is kept, so the window around it works the same either way.
#include <windows.h>

#include <string>
#include <vector>

namespace win {

class BrowserSite;

class BrowserPane {
public:
    BrowserPane() = default;
    ~BrowserPane();
    BrowserPane(const BrowserPane&) = delete;
    BrowserPane& operator=(const BrowserPane&) = delete;

    // Puts the browser into `host`, filling it. False when there is no browser.
    bool create(HWND host);
    void destroy();
    bool hasBrowser() const noexcept { return m_site != nullptr; }
    // No script error boxes while on.
    void setSilent(bool on);
    void navigate(const std::wstring& address);
    // After the host window changed its size.
    void fitToHost();
    // Every address asked for, in order.
    const std::vector<std::wstring>& navigations() const noexcept { return m_navigations; }

private:
    HWND m_host = nullptr;
    BrowserSite* m_site = nullptr;
    std::vector<std::wstring> m_navigations;
};

} // namespace win

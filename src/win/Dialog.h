#pragma once
// Base for windows built from dialog templates. The static procedure keeps
// `this` in the window from WM_INITDIALOG until WM_NCDESTROY and dispatches
// to virtual handlers; nothing thrown by a handler unwinds through user32.
#include <windows.h>

#include <string>

namespace win {

// The executable's icon resource that every window with a title bar shows.
constexpr int kAppIconId = 1;

// Layout measures given in twips (1/1440 inch), in pixels of the window's screen.
int twipsToPixels(HWND hwnd, int twips);

class Dialog {
public:
    Dialog() = default;
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;
    virtual ~Dialog() = default;

    INT_PTR showModal(HINSTANCE instance, int templateId, HWND owner);
    HWND createModeless(HINSTANCE instance, int templateId, HWND owner);

    HWND hwnd() const noexcept { return m_hwnd; }
    HWND item(int id) const noexcept { return GetDlgItem(m_hwnd, id); }

protected:
    virtual bool onInitDialog() { return true; }
    virtual bool onCommand(int /*id*/, int /*code*/, HWND /*control*/) { return false; }
    virtual bool onNotify(NMHDR* /*header*/, LRESULT& /*result*/) { return false; }
    virtual void onSize(UINT /*type*/, int /*width*/, int /*height*/) {}
    // Any other message; return true when handled, with the result in `result`.
    virtual bool onMessage(UINT /*msg*/, WPARAM /*wp*/, LPARAM /*lp*/, INT_PTR& /*result*/) { return false; }
    virtual void onDestroy() {}
    // Lays the controls out for the window's present size, as a resize would.
    void layoutNow();

private:
    static INT_PTR CALLBACK proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    INT_PTR dispatch(UINT msg, WPARAM wp, LPARAM lp);

    HWND m_hwnd = nullptr;
};

// The whole text of a window or control, without its terminator.
inline std::wstring windowText(HWND h)
{
    std::wstring s(static_cast<size_t>(GetWindowTextLengthW(h)) + 1, L'\0');
    s.resize(static_cast<size_t>(GetWindowTextW(h, s.data(), static_cast<int>(s.size()))));
    return s;
}

} // namespace win

#include "app/MenuPanels.h"

#include <windowsx.h>

#include <algorithm>

namespace sorvane {

namespace {

constexpr COLORREF kHighlight = RGB(0, 0, 120);
constexpr COLORREF kPanelBack = RGB(236, 236, 240);
constexpr COLORREF kShadow = RGB(96, 96, 96);
constexpr int kShadowOffset = 4;
constexpr int kTitleWidth = 72;
const wchar_t* const kBarClass = L"SorvaneMenuTitles";
const wchar_t* const kPanelClass = L"SorvaneMenuPanel";
const wchar_t* const kShadowClass = L"SorvaneMenuShadow";

MenuPanels* self(HWND hwnd) { return reinterpret_cast<MenuPanels*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

} // namespace

const wchar_t* panelTitle(int panel)
{
    static const wchar_t* const titles[] = {L"&File", L"Options", L"Tools", L"Orphans", L"Help"};
    return panel >= 0 && panel < kPanelCount ? titles[panel] : L"";
}

const std::vector<PanelEntry>& panelEntries(int panel)
{
    static const std::vector<PanelEntry> entries[kPanelCount] = {
        {{0, L"    &Clean           "}, {1, L"  &Options       "}, {2, L"    Check For Update"}, {3, L"    E&xit"}},
        {{0, L"  General"},
         {2, L"  Searching"},
         {5, L"  Ignore Folders"},
         {6, L"  Ignore Files"},
         {4, L"  Unnecessary Files"},
         {7, L"  User defined folders"},
         {9, L"  User defined files"},
         {3, L"  Keep Cookies"},
         {1, L"  Backups"}},
        {{0, L"  &Startup Programs"},
         {1, L"  &Uninstall Programs"},
         {2, L"  In&valid file/Path References"},
         {3, L"  &File Associations"},
         {4, L"  &Internet Explorer Cache"},
         {5, L"  In&ternet Explorer Control Panel Applet"}},
        {{0, L"    &Orphaned shared DLL"},
         {1, L"    Orp&haned Help File References"},
         {2, L"    Orph&aned Application Path References"},
         {3, L"    Orpha&ned ActiveX Control References"}},
        {{0, L"  Help Pages        "}, {1, L"  Contact &Us"}, {3, L"  About &Us"}},
    };
    static const std::vector<PanelEntry> none;
    return panel >= 0 && panel < kPanelCount ? entries[panel] : none;
}

int optionsTabFor(int entryIndex)
{
    // General, Searching, Ignore Folders, Ignore Files, Unnecessary Files,
    // User defined folders, User defined files, Keep Cookies, Backups.
    static const int tabs[] = {1, 9, 2, 8, 5, 3, 4, 6, 0, 7};
    return entryIndex >= 0 && entryIndex < 10 ? tabs[entryIndex] : 0;
}

bool MenuPanels::create(HINSTANCE instance, HWND owner, int height)
{
    m_owner = owner;
    m_height = height;
    WNDCLASSW wc{};
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpfnWndProc = &MenuPanels::barProc;
    wc.lpszClassName = kBarClass;
    RegisterClassW(&wc);
    wc.lpfnWndProc = &MenuPanels::panelProc;
    wc.lpszClassName = kPanelClass;
    wc.cbWndExtra = sizeof(LONG_PTR);  // the panel's number
    RegisterClassW(&wc);
    wc.cbWndExtra = 0;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hbrBackground = CreateSolidBrush(kShadow);
    wc.lpszClassName = kShadowClass;
    RegisterClassW(&wc);
    m_font = reinterpret_cast<HFONT>(SendMessageW(owner, WM_GETFONT, 0, 0));
    RECT rc;
    GetClientRect(owner, &rc);
    m_bar = CreateWindowExW(0, kBarClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, rc.right, height, owner,
                            nullptr, instance, nullptr);
    SetWindowLongPtrW(m_bar, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    HDC dc = GetDC(owner);
    HGDIOBJ old = SelectObject(dc, m_font);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    m_rowHeight = tm.tmHeight + 6;
    for (int p = 0; p < kPanelCount; ++p) {
        int width = 0;
        for (const auto& e : panelEntries(p)) {
            RECT r{};
            DrawTextW(dc, e.caption, -1, &r, DT_CALCRECT | DT_SINGLELINE);
            width = std::max<int>(width, r.right);
        }
        width += 24;
        const int h = m_rowHeight * static_cast<int>(panelEntries(p).size()) + 4;
        // Owned pop-ups over the window, never activated: the main window
        // keeps the focus while a panel is open.
        m_shadows[p] = CreateWindowExW(WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW, kShadowClass, L"", WS_POPUP, 0, 0, width,
                                       h, owner, nullptr, instance, nullptr);
        m_panels[p] = CreateWindowExW(WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW, kPanelClass, L"", WS_POPUP | WS_BORDER, 0,
                                      0, width, h, owner, nullptr, instance, nullptr);
        SetWindowLongPtrW(m_panels[p], GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        SetWindowLongPtrW(m_panels[p], 0, p);
    }
    SelectObject(dc, old);
    ReleaseDC(owner, dc);
    return m_bar != nullptr;
}

RECT MenuPanels::titleRect(int panel) const
{
    return RECT{4 + panel * kTitleWidth, 0, 4 + (panel + 1) * kTitleWidth, m_height};
}

RECT MenuPanels::entryRect(int row) const { return RECT{0, 2 + row * m_rowHeight, 2000, 2 + (row + 1) * m_rowHeight}; }

void MenuPanels::hideFrames()
{
    for (int p = 0; p < kPanelCount; ++p) {
        ShowWindow(m_panels[p], SW_HIDE);
        ShowWindow(m_shadows[p], SW_HIDE);
    }
    m_open = -1;
    m_hover = -1;
    if (m_bar)
        InvalidateRect(m_bar, nullptr, TRUE);
}

void MenuPanels::openPanel(int panel)
{
    if (panel < 0 || panel >= kPanelCount)
        return;
    hideFrames();
    m_open = panel;
    const RECT t = titleRect(panel);
    POINT at{t.left, t.bottom};
    ClientToScreen(m_bar, &at);
    RECT pr;
    GetWindowRect(m_panels[panel], &pr);
    const int w = pr.right - pr.left, h = pr.bottom - pr.top;
    SetWindowPos(m_shadows[panel], HWND_TOP, at.x + kShadowOffset, at.y + kShadowOffset, w, h,
                 SWP_NOACTIVATE | SWP_SHOWWINDOW);
    SetWindowPos(m_panels[panel], HWND_TOP, at.x, at.y, w, h, SWP_NOACTIVATE | SWP_SHOWWINDOW);
    InvalidateRect(m_bar, nullptr, TRUE);
}

void MenuPanels::paintBar(HDC dc)
{
    RECT rc;
    GetClientRect(m_bar, &rc);
    FillRect(dc, &rc, GetSysColorBrush(COLOR_BTNFACE));
    HGDIOBJ old = SelectObject(dc, m_font);
    SetBkMode(dc, TRANSPARENT);
    for (int p = 0; p < kPanelCount; ++p) {
        RECT t = titleRect(p);
        const bool open = p == m_open;
        if (open) {
            HBRUSH b = CreateSolidBrush(kHighlight);
            FillRect(dc, &t, b);
            DeleteObject(b);
        }
        // The clicked title is white, the others black.
        SetTextColor(dc, open ? RGB(255, 255, 255) : RGB(0, 0, 0));
        DrawTextW(dc, panelTitle(p), -1, &t, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    HPEN pen = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNSHADOW));
    HGDIOBJ oldPen = SelectObject(dc, pen);
    MoveToEx(dc, 0, rc.bottom - 1, nullptr);
    LineTo(dc, rc.right, rc.bottom - 1);
    SelectObject(dc, oldPen);
    DeleteObject(pen);
    SelectObject(dc, old);
}

void MenuPanels::paintPanel(int panel, HDC dc)
{
    RECT rc;
    GetClientRect(m_panels[panel], &rc);
    HBRUSH back = CreateSolidBrush(kPanelBack);
    FillRect(dc, &rc, back);
    DeleteObject(back);
    HGDIOBJ old = SelectObject(dc, m_font);
    SetBkMode(dc, TRANSPARENT);
    const auto& entries = panelEntries(panel);
    for (size_t i = 0; i < entries.size(); ++i) {
        RECT r = entryRect(static_cast<int>(i));
        r.right = rc.right;
        const bool hover = panel == m_open && static_cast<int>(i) == m_hover;
        if (hover) {
            HBRUSH b = CreateSolidBrush(kHighlight);
            FillRect(dc, &r, b);
            DeleteObject(b);
        }
        SetTextColor(dc, hover ? RGB(255, 255, 255) : RGB(0, 0, 0));
        r.left += 4;
        DrawTextW(dc, entries[i].caption, -1, &r, DT_VCENTER | DT_SINGLELINE);
    }
    SelectObject(dc, old);
}

LRESULT CALLBACK MenuPanels::barProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    MenuPanels* m = self(hwnd);
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        if (m)
            m->paintBar(dc);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_LBUTTONDOWN:
        if (m) {
            const int x = GET_X_LPARAM(lp);
            for (int p = 0; p < kPanelCount; ++p) {
                const RECT t = m->titleRect(p);
                if (x >= t.left && x < t.right)
                    m->openPanel(p);  // a second click shows it again, no toggle
            }
        }
        return 0;
    case WM_ERASEBKGND: return 1;
    default: return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

LRESULT CALLBACK MenuPanels::panelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    MenuPanels* m = self(hwnd);
    const int panel = static_cast<int>(GetWindowLongPtrW(hwnd, 0));
    switch (msg) {
    case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        if (m)
            m->paintPanel(panel, dc);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_MOUSEMOVE:
        if (m) {
            const int row = (GET_Y_LPARAM(lp) - 2) / std::max(1, m->m_rowHeight);
            const int count = static_cast<int>(panelEntries(panel).size());
            const int hover = row >= 0 && row < count ? row : -1;
            if (hover != m->m_hover) {
                m->m_hover = hover;
                InvalidateRect(hwnd, nullptr, FALSE);
            }
        }
        return 0;
    case WM_LBUTTONUP:
        if (m) {
            const int row = (GET_Y_LPARAM(lp) - 2) / std::max(1, m->m_rowHeight);
            const auto& entries = panelEntries(panel);
            if (row >= 0 && row < static_cast<int>(entries.size())) {
                m->hideFrames();
                PostMessageW(m->m_owner, WM_COMMAND, MAKEWPARAM(panelCommand(panel, entries[row].index), 0), 0);
            }
        }
        return 0;
    default: return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

} // namespace sorvane

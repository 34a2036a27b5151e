#pragma once
// The main window's drawn menu bar: five titles along the top that open
// drop-down panels of clickable entries, each with its shadow. An entry's
// click comes to the owner as WM_COMMAND with kPanelCommandBase + panel * 16
// + the entry's index.
#include <windows.h>

#include <string>
#include <vector>

namespace sorvane {

inline constexpr int kPanelCommandBase = 3000;
enum Panel { kPanelFile, kPanelOptions, kPanelTools, kPanelOrphans, kPanelHelp, kPanelCount };

struct PanelEntry {
    int index;  // the entry's index in its control array
    const wchar_t* caption;
};

// The title captions and the entries of each panel, in display order.
const wchar_t* panelTitle(int panel);
const std::vector<PanelEntry>& panelEntries(int panel);
// The options window's tab (1-based) an Options panel entry selects.
int optionsTabFor(int entryIndex);
constexpr int panelCommand(int panel, int index) { return kPanelCommandBase + panel * 16 + index; }

class MenuPanels {
public:
    // Creates the title strip (`height` pixels) at the top of `owner`.
    bool create(HINSTANCE instance, HWND owner, int height);
    // hideFrames: every panel and shadow hidden, the titles back to normal.
    void hideFrames();
    void openPanel(int panel);
    int openPanelIndex() const noexcept { return m_open; }
    HWND titleWindow() const noexcept { return m_bar; }
    HWND panelWindow(int panel) const noexcept { return m_panels[panel]; }
    // The entry rectangle of a panel's row, in the panel's client coordinates.
    RECT entryRect(int row) const;

private:
    static LRESULT CALLBACK barProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK panelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    void paintBar(HDC dc);
    void paintPanel(int panel, HDC dc);
    RECT titleRect(int panel) const;

    HWND m_owner = nullptr;
    HWND m_bar = nullptr;
    HWND m_panels[kPanelCount] = {};
    HWND m_shadows[kPanelCount] = {};
    HFONT m_font = nullptr;
    int m_open = -1;
    int m_hover = -1;
    int m_rowHeight = 18;
    int m_height = 20;
};

} // namespace sorvane

// The drawn menu bar: its entries and their order, the panel-to-tab mapping,
// and the real bar and panels of a running Sorvane.exe.
#include "app/MenuPanels.h"
#include "app/WaitWindow.h"
#include "resource.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

using namespace sorvane;
using testenv::SorvaneProcess;

namespace {

struct Found {
    DWORD pid;
    std::vector<HWND> panels;
};

BOOL CALLBACK collectPanels(HWND w, LPARAM lp)
{
    auto* f = reinterpret_cast<Found*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    wchar_t cls[64] = {};
    GetClassNameW(w, cls, 64);
    if (pid == f->pid && std::wstring(cls) == L"SorvaneMenuPanel")
        f->panels.push_back(w);
    return TRUE;
}

std::vector<HWND> visiblePanels(DWORD pid)
{
    Found f{pid, {}};
    EnumWindows(collectPanels, reinterpret_cast<LPARAM>(&f));
    std::vector<HWND> shown;
    for (HWND w : f.panels)
        if (IsWindowVisible(w))
            shown.push_back(w);
    return shown;
}

bool waitFor(const std::function<bool()>& what)
{
    for (int i = 0; i < 100; ++i, Sleep(20))
        if (what())
            return true;
    return false;
}

} // namespace

TEST(MenuPanels, EntriesInTheirOrderAndTheOptionsTabs)
{
    EXPECT_STREQ(panelTitle(kPanelFile), L"&File");
    EXPECT_STREQ(panelTitle(kPanelOrphans), L"Orphans");
    EXPECT_STREQ(panelEntries(kPanelFile)[0].caption, L"    &Clean           ");
    EXPECT_STREQ(panelEntries(kPanelHelp)[2].caption, L"  About &Us");
    EXPECT_EQ(panelEntries(kPanelHelp)[2].index, 3);
    // The Options panel lists its entries in the order of the window's tabs.
    int tab = 0;
    for (const auto& e : panelEntries(kPanelOptions))
        EXPECT_EQ(optionsTabFor(e.index), ++tab) << static_cast<const void*>(e.caption);
    EXPECT_EQ(tab, 9);
    EXPECT_EQ(optionsTabFor(1), 9) << "Backups is the ninth tab";
    const POINT at = waitWindowPosition(RECT{100, 200, 700, 600});
    EXPECT_EQ(at.x, (600 + 100) / 2);
    EXPECT_EQ(at.y, (400 + 200) / 2);
}

TEST(MenuPanels, ATitleOpensItsPanelAndTheWindowBodyClosesIt)
{
    testenv::TempFolder app;
    SorvaneProcess p(app.path());
    HWND main = p.waitForMainWindow();
    ASSERT_NE(main, nullptr);
    HWND bar = FindWindowExW(main, nullptr, L"SorvaneMenuTitles", nullptr);
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(visiblePanels(p.pid()).empty()) << "all panels are closed at start-up";
    // The Tools title is the third of the strip.
    RECT rc;
    GetClientRect(bar, &rc);
    PostMessageW(bar, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4 + 72 * 2 + 20, rc.bottom / 2));
    ASSERT_TRUE(waitFor([&] { return visiblePanels(p.pid()).size() == 1; }));
    // Moving over the "Internet Related" frame (the window body) closes it.
    RECT frame;
    GetWindowRect(GetDlgItem(main, IDC_Frame2), &frame);
    POINT inside{frame.left + 10, frame.top + 30};
    ScreenToClient(main, &inside);
    PostMessageW(main, WM_MOUSEMOVE, 0, MAKELPARAM(inside.x, inside.y));
    EXPECT_TRUE(waitFor([&] { return visiblePanels(p.pid()).empty(); }));
    // Every control sits below the strip.
    RECT group;
    GetWindowRect(GetDlgItem(main, IDC_Frame2), &group);
    RECT strip;
    GetWindowRect(bar, &strip);
    EXPECT_GE(group.top, strip.bottom);
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(p.waitForExit(15000), 0u);
}

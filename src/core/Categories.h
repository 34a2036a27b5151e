#pragma once
// The cleaning categories of the main window. The store position is the
// field of checkItems.sol; the turn is the place in a full clean run.
#include <array>
#include <cstddef>

namespace sorvane {

enum class CategoryGroup { Internet, Windows, Files };

struct Category {
    int store;                  // position in checkItems.sol
    const wchar_t* control;     // control name, e.g. "chkRecycleBin"
    const wchar_t* caption;     // check box caption
    CategoryGroup group;
    int turn;                   // 1..20, order of the full run
    const wchar_t* popup;       // caption of the right-click menu entry
};

inline constexpr std::array<Category, 20> kCategories = {{
    {0, L"chkRecycleBin", L"Recycle bin", CategoryGroup::Windows, 1, L"Clean Recycle Bin"},
    {1, L"chkUserDefinedFolders", L"User defined folders", CategoryGroup::Files, 11, L"Clean user defined folders"},
    {2, L"chkRunMRU", L"Run MRU", CategoryGroup::Windows, 2, L"Clean Run MRU"},
    {3, L"chkUserDefinedFiles", L"User defined files", CategoryGroup::Files, 12, L"Clean user defined files"},
    {4, L"chkUnNecessaryFiles", L"Unnecessary files", CategoryGroup::Files, 9, L"Clean Unnecessary files"},
    {5, L"chkEmptyFiles", L"Empty files", CategoryGroup::Files, 8, L"Clean Empty files"},
    {6, L"chkDeadShortcut", L"Dead shortcuts", CategoryGroup::Files, 10, L"Clean Dead shortcuts"},
    {7, L"chkRecentDocument", L"Recent documents links", CategoryGroup::Windows, 3, L"Clean Recent document links"},
    {8, L"chkPrinter", L"Leftover printer files", CategoryGroup::Files, 7, L"Clean Leftover printer files"},
    {9, L"chkDump", L"Memory dump files", CategoryGroup::Files, 6, L"Clean Memory dump files"},
    {10, L"chkHistory", L"History", CategoryGroup::Internet, 13, L"Clean History"},
    {11, L"chkCache", L"Cache", CategoryGroup::Internet, 15, L"Clean Cache"},
    {12, L"chkCookies", L"Cookies", CategoryGroup::Internet, 14, L"Clean Cookies"},
    {13, L"chkFavorites", L"Favorites", CategoryGroup::Internet, 16, L"Clean Favorites"},
    {14, L"chkURLHistory", L"Typed URL history", CategoryGroup::Internet, 17, L"Clean IE URL History"},
    {15, L"chkOffline", L"Offline web pages", CategoryGroup::Internet, 18, L"Clean Offline web pages"},
    {16, L"chkClipBoard", L"Windows clipboard", CategoryGroup::Windows, 4, L"Clean Windows clipboard"},
    {17, L"chkOffice", L"MS Office MRU", CategoryGroup::Windows, 5, L"Clean MS Office MRU"},
    // Last in a run, after everything else had its turn in the folders.
    {18, L"chkWindowsCleanup", L"Windows cleanup", CategoryGroup::Windows, 19, L"Clean Windows cleanup"},
    // The entries of the rule files the user put beside the program.
    {19, L"chkApplicationRules", L"Application rules", CategoryGroup::Files, 20, L"Clean Application rules"},
}};

// Store positions in the order of a full run (turn 1 first).
inline constexpr std::array<int, 20> kRunOrder = {0, 2, 7, 16, 17, 9, 8, 5, 4, 6, 1, 3, 10, 12, 11, 13, 14, 15, 18, 19};

} // namespace sorvane

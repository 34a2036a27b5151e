#pragma once
// The Windows cleanup category: the folders where Windows 10 and 11 leave
// junk that nothing else removes (error reports, crash dumps, shader and
// thumbnail caches, temporary files, setup logs), each an item the user
// ticks in its own window, saved in Settings.ini [WindowsCleanup].
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sorvane {

struct CleanupFolder {
    const wchar_t* folder;  // with %VARIABLES%; "%TEMP%" is the user's temporary folder
    const wchar_t* mask;
    bool recurse;
};

struct CleanupItem {
    const wchar_t* key;  // the key in [WindowsCleanup]
    const wchar_t* name;
    const wchar_t* description;
    bool tickedByDefault;
    std::vector<CleanupFolder> folders;
};

inline constexpr const wchar_t* kWindowsCleanupSection = L"WindowsCleanup";

// The known folders, in the order they are shown and cleaned.
const std::vector<CleanupItem>& knownCleanupItems();
// Whether the item is ticked: its key, or its default when the key is missing.
bool cleanupItemTicked(const CleanupItem& item);
struct CleanupHandler;
// Whether a handler is ticked: its "Handler:<subkey>" key, or its default. A
// handler that is not trusted never is.
bool cleanupHandlerTicked(const CleanupHandler& handler);
// What the last Analyze found for each item, by its key in [WindowsCleanup]:
// the Size column of the Windows Cleanup window.
std::map<std::wstring, uint64_t>& analyzedSizes();
// Files younger than this many hours stay ([WindowsCleanup] MinAgeHours, 48).
int cleanupMinAgeHours();

} // namespace sorvane

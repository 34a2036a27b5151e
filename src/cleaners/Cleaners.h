#pragma once
// The category cleaners and what they share.
#include "core/Deletion.h"
#include "core/EngineUi.h"
#include "core/FileSearch.h"
#include "core/RunState.h"

#include <windows.h>

#include <functional>
#include <string>

namespace sorvane {

inline constexpr const wchar_t* kShellFoldersKey =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\";

// What a cleaner works with.
struct CleanerContext {
    EngineUi& ui;
    RunState& run;
    FileSearch& search;
    DeletionEngine& deletion;
    // The state of a category's check box when the cleaner asks (the review
    // cleaners look at each other's boxes).
    std::function<bool(int store)> isChecked;
};

using CleanerFn = void (*)(CleanerContext& ctx, bool runAlone);

struct CleanerEntry {
    int store;                // check box, as in the category table
    CleanerFn clean;
    const wchar_t* errorText; // "There was an error in cleaning ..."
    bool lineBreakBeforeDescription;
    const wchar_t* tag;       // ",cleanCache"
};

const CleanerEntry& cleanerFor(int store);

// Runs one cleaner inside its error trap: a failure shows the cleaner's
// message with the error's description, is reported with "frmMain" + tag,
// and the cleaner ends without a log line.
void runCleaner(CleanerContext& ctx, int store, bool runAlone);
// The lines of files kept for a reason and of a failed backup, after the
// cleaner's own line (the failure once a run).
void appendKeptLines(CleanerContext& ctx);

// "<label> Files Deleted <n> Space Gained <bytes> Bytes" + CR LF.
void appendCountedLine(RunState& run, std::wstring_view label);
// Start of a cleaner that writes a counted line: its picture, counters at 0.
void startCounted(CleanerContext& ctx, int store);
// End of such a cleaner: stopOperation, then its line.
void finishCounted(CleanerContext& ctx, std::wstring_view label);
// The folder of a registry value as the folder cleaners use it: longer than
// one character, a backslash appended, %SYSTEMROOT% expanded, existing.
// Empty when any of these fails.
std::wstring cleanerFolder(HKEY root, std::wstring_view key, std::wstring_view value);
// Deletes every value of the keys under HKEY_CURRENT_USER. With the backup
// method the values are first saved to an undo file named after `undoName`
// in the backup folder, and stay, with a "Kept" line after the cleaner's own,
// when it cannot be written. The number of values deleted.
size_t clearTraceValues(CleanerContext& ctx, const std::vector<std::wstring>& keys, const wchar_t* undoName,
                        std::wstring& keptLines);
// Search the folder (mode 0) and delete what was found.
void cleanFolder(CleanerContext& ctx, const std::wstring& folder, std::wstring_view mask, bool removeFolders);

// Browser data.
void cleanHistory(CleanerContext& ctx, bool runAlone);
void cleanCookies(CleanerContext& ctx, bool runAlone);
void cleanCache(CleanerContext& ctx, bool runAlone);
void cleanFavorites(CleanerContext& ctx, bool runAlone);
void cleanURLHistory(CleanerContext& ctx, bool runAlone);
void cleanOffline(CleanerContext& ctx, bool runAlone);
// Clears the URL history where the history object cannot: the cache's
// visited entries and the History folder. Returns the entries removed.
int clearUrlHistoryByHand(CleanerContext& ctx);

// Windows traces.
void cleanRecycleBin(CleanerContext& ctx, bool runAlone);
// Windows 10 and 11 junk: the known folders ticked in [WindowsCleanup].
void cleanWindowsCleanup(CleanerContext& ctx, bool runAlone);
// The ticked entries of the rule files beside the program.
void cleanApplicationRules(CleanerContext& ctx, bool runAlone);
void cleanRunMRU(CleanerContext& ctx, bool runAlone);
void cleanRecentDocuments(CleanerContext& ctx, bool runAlone);
void cleanWindowsClipboard(CleanerContext& ctx, bool runAlone);
void cleanMSOffice(CleanerContext& ctx, bool runAlone);
std::vector<std::wstring> officeMruKeys(std::wstring_view version);
void cleanMemoryDumpFiles(CleanerContext& ctx, bool runAlone);
void cleanPrinter(CleanerContext& ctx, bool runAlone);
// A CrashControl value as a path: %SYSTEMROOT% and other environment
// references expanded.
std::wstring resolveDumpPath(std::wstring value);

// File rules.
void cleanEmptyFiles(CleanerContext& ctx, bool runAlone);
void cleanUnecessaryFiles(CleanerContext& ctx, bool runAlone);
void cleanShortcuts(CleanerContext& ctx, bool runAlone);
void cleanUserDefinedFolders(CleanerContext& ctx, bool runAlone);
void cleanUserDefinedFiles(CleanerContext& ctx, bool runAlone);
// Drive roots of the drive-wide cleaners, from search.sol line 1.
std::vector<std::wstring> rootsFromDriveLine(std::wstring_view line);
std::vector<std::wstring> selectedRoots();
bool IsDeadShortcut(const std::wstring& path, const SearchOptions& options);

} // namespace sorvane

#include "cleaners/Cleaners.h"

#include "platform/ErrorReport.h"
#include "platform/Registry.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "store/RegistryUndo.h"

#include <algorithm>
#include <array>

namespace sorvane {

namespace {

const std::array<CleanerEntry, 20> kCleaners = {{
    {0, cleanRecycleBin, L"There was an error in cleaning the Recycle Bin", false, L",cleanRecycleBin"},
    {1, cleanUserDefinedFolders, L"There was an error in cleaning the User defined folders", true,
     L",cleanUserDefinedFolders"},
    {2, cleanRunMRU, L"There was an error in cleaning the Run MRU", false, L",cleanRunMRU"},
    {3, cleanUserDefinedFiles, L"There was an error in cleaning User Defined Files", true, L",cleanUserDefinedFiles"},
    {4, cleanUnecessaryFiles, L"There was an error in cleaning Unnecessary Files", false, L",cleanUnecessaryFiles"},
    {5, cleanEmptyFiles, L"There was an error in cleaning Empty Files", false, L",cleanEmptyFiles"},
    {6, cleanShortcuts, L"There was an error in cleaning the Shortcuts", false, L",cleanShortcuts"},
    {7, cleanRecentDocuments, L"There was an error in cleaning Recent Documents", false, L",cleanRecentDocuments"},
    {8, cleanPrinter, L"There was an error in cleaning Leftover Printer Files", false, L",cleanPrinter"},
    {9, cleanMemoryDumpFiles, L"There was an error in cleaning Memory Dump Files", false, L",cleanMemoryDumpFiles"},
    {10, cleanHistory, L"There was an error in cleaning the History", false, L",cleanHistory"},
    {11, cleanCache, L"There was an error in cleaning the Cache", false, L",cleanCache"},
    {12, cleanCookies, L"There was an error in cleaning Cookies", false, L",cleanCookies"},
    {13, cleanFavorites, L"There was an error in cleaning Favorites", false, L",cleanFavorites"},
    {14, cleanURLHistory, L"There was an error in cleaning the History", false, L",cleanURLHistory"},
    {15, cleanOffline, L"There was an error in cleaning Offline Web Pages", false, L",cleanOffline"},
    {16, cleanWindowsClipboard, L"There was an error in cleaning the Clipboard", true, L",cleanWindowsClipboard"},
    {17, cleanMSOffice, L"There was an error in cleaning the MS OfficeRegistry History Lists", false,
     L",cleanMSOffice"},
    {18, cleanWindowsCleanup, L"There was an error in cleaning the Windows cleanup items", true,
     L",cleanWindowsCleanup"},
    {19, cleanApplicationRules, L"There was an error in cleaning the Application rules", true,
     L",cleanApplicationRules"},
}};

} // namespace

const CleanerEntry& cleanerFor(int store) { return kCleaners.at(static_cast<size_t>(store)); }

void runCleaner(CleanerContext& ctx, int store, bool runAlone)
{
    const CleanerEntry& entry = cleanerFor(store);
    const size_t skipsBefore = ctx.run.protectedSkips.size();
    try {
        entry.clean(ctx, runAlone);
    } catch (...) {
        setPendingFromCurrentException();
        const PendingError err = pendingError();
        ctx.ui.messageBox(std::wstring(entry.errorText) + (entry.lineBreakBeforeDescription ? L"\r\n" : L"") +
                              err.description,
                          MB_OK | MB_ICONERROR);
        // The message box may have let other reports run: restore this one.
        setPendingError(err.number, err.description);
        reportError(std::wstring(L"frmMain") + entry.tag);
    }
    // A folder the cleaner refused is named after its line, and reported.
    for (size_t i = skipsBefore; i < ctx.run.protectedSkips.size(); ++i) {
        setPendingError(kErrProtectedFolder, L"Protected folder skipped");
        reportError(std::wstring(L"frmMain") + entry.tag);
        ctx.run.strLog += L"Skipped protected folder: " + ctx.run.protectedSkips[i] + L"\r\n";
    }
    appendKeptLines(ctx);
}

void appendKeptLines(CleanerContext& ctx)
{
    ctx.deletion.flushBackups();
    for (const auto& line : ctx.run.keptFiles) {
        ctx.run.strLog += L"Kept " + line + L"\r\n";
        ctx.run.keptLog.push_back(line);
    }
    ctx.run.keptFiles.clear();
    if (!ctx.run.backupFailure.empty() && !ctx.run.backupFailureLogged) {
        ctx.run.strLog += L"Backup failed: " + ctx.run.backupFailure + L"\r\n";
        ctx.run.backupFailureLogged = true;
    }
}

size_t clearTraceValues(CleanerContext& ctx, const std::vector<std::wstring>& keys, const wchar_t* undoName,
                        std::wstring& keptLines)
{
    std::vector<RegItem> items;
    for (const auto& key : keys)
        for (auto& name : getAllValueNames(HKEY_CURRENT_USER, key))
            items.push_back({HKEY_CURRENT_USER, key, RegItem::Value, std::move(name)});
    if (items.empty())
        return 0;
    if (ctx.run.analyzing) {
        for (const auto& item : items)
            ctx.run.found(L"HKEY_CURRENT_USER\\" + trimmedKey(item.key) + L"\\" + item.value, 0);
        return items.size();
    }
    const DeleteSettings& settings = ctx.deletion.settings();
    if (settings.intDelMethod != kBackup) {
        for (const auto& item : items)
            deleteRegValues(HKEY_CURRENT_USER, item.value, item.key);
        ctx.run.otherRemoved += static_cast<int64_t>(items.size());
        return items.size();
    }
    const RegBackup backup = backUpAndDeleteRegistry(undoName, items, settings.strBackupPath);
    if (backup.failed) {
        keptLines += L"Kept " + std::to_wstring(items.size()) +
                     L" registry values: they could not be saved to an undo file in the backup folder\r\n";
        return 0;
    }
    for (const auto& name : backup.leftInPlace)
        keptLines += L"Kept " + name + L": its name cannot be saved for undo\r\n";
    const auto deleted = static_cast<size_t>(std::count(backup.itemDeleted.begin(), backup.itemDeleted.end(), true));
    ctx.run.otherRemoved += static_cast<int64_t>(deleted);
    return deleted;
}

void appendCountedLine(RunState& run, std::wstring_view label)
{
    run.strLog += label;
    run.strLog += L" Files Deleted " + std::to_wstring(run.lngFCOunt) + L" Space Gained " +
                  std::to_wstring(run.dblFSize) + L" Bytes\r\n";
}

void startCounted(CleanerContext& ctx, int store)
{
    ctx.ui.startOperation(store);
    ctx.run.lngFCOunt = 0;
    ctx.run.dblFSize = 0;
}

void finishCounted(CleanerContext& ctx, std::wstring_view label)
{
    // Files waiting for their backup entries go (and count) before the line.
    ctx.deletion.flushBackups();
    ctx.ui.stopOperation(L"");
    appendCountedLine(ctx.run, label);
}

std::wstring cleanerFolder(HKEY root, std::wstring_view key, std::wstring_view value)
{
    std::wstring folder = getRegString(root, key, value);
    if (folder.size() <= 1)
        return L"";
    if (folder.back() != L'\\')
        folder += L'\\';
    if (folder.find(L'%') != std::wstring::npos)
        convertWinPath(folder);
    return folder.size() > 1 && folderExists(folder) ? folder : L"";
}

void cleanFolder(CleanerContext& ctx, const std::wstring& folder, std::wstring_view mask, bool removeFolders)
{
    if (folder.empty())
        return;
    ctx.search.clearFoundLists();
    ctx.search.searchFiles(folder, std::wstring(mask), kSearchAll);
    ctx.deletion.deleteFiles(ctx.search.strFoundFiles(), &ctx.search.foundFileSizes());
    if (removeFolders)
        ctx.deletion.deleteFolders(ctx.search.strFoundFolders());
}

} // namespace sorvane

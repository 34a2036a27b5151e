// The Windows cleanup category: the known folders of Windows 10 and 11,
// cleaned through the deletion engine, so that the delete method, the backup,
// the link rules and the protected folders all apply.
#include "cleaners/WindowsCleanup.h"

#include "cleaners/CleanupHandlers.h"
#include "cleaners/Cleaners.h"
#include "platform/AppFolder.h"
#include "platform/ErrorReport.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "store/Policy.h"
#include "store/Settings.h"
#include "win/UniqueHandle.h"

#include <algorithm>

namespace sorvane {

namespace {

constexpr int kStoreWindowsCleanup = 18;
constexpr ULONGLONG kTicksPerHour = 36'000'000'000ULL;  // 100 ns ticks

std::wstring withBackslash(std::wstring folder)
{
    if (!folder.empty() && folder.back() != L'\\')
        folder += L'\\';
    return folder;
}

std::wstring folderOf(const CleanupFolder& place)
{
    const std::wstring folder =
        std::wstring_view(place.folder) == L"%TEMP%" ? TemporaryDirectory() : expandEnvironment(place.folder);
    // A variable the system does not have stays in the text: no such folder.
    if (folder.empty() || folder.find(L'%') != std::wstring::npos || !folderExists(folder))
        return L"";
    return withBackslash(folder);
}

struct Candidate {
    std::wstring path;
    uint64_t size;
};

// The files of one folder the item names, with their sizes as found.
std::vector<Candidate> filesOf(CleanerContext& ctx, const CleanupFolder& place)
{
    std::vector<Candidate> out;
    const std::wstring folder = folderOf(place);
    if (folder.empty())
        return out;
    if (place.recurse) {
        ctx.search.clearFoundLists();
        ctx.search.searchFiles(folder, place.mask, kSearchAll);
        const auto& files = ctx.search.strFoundFiles();
        const auto& sizes = ctx.search.foundFileSizes();
        for (size_t i = 0; i < files.size(); ++i)
            out.push_back({files[i], i < sizes.size() ? sizes[i] : 0});
        return out;
    }
    // One folder only, nothing below it (the thumbnail caches lie beside
    // the jump lists and the rest of Explorer's files).
    for (const auto& name : filesInFolder(folder, place.mask)) {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (GetFileAttributesExW(apiPath(folder + name).c_str(), GetFileExInfoStandard, &data))
            out.push_back({folder + name, (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow});
    }
    return out;
}

ULONGLONG ticksOf(const FILETIME& t) { return (ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime; }

// Empty when the file may go now: older than the cut-off, and nobody else
// has it open. Otherwise why it stays.
std::wstring whyItStays(const std::wstring& path, ULONGLONG cutoff)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(apiPath(path).c_str(), GetFileExInfoStandard, &data))
        return L"-";  // gone meanwhile: nothing to say
    if (ticksOf(data.ftLastWriteTime) > cutoff)
        return L"-";  // young: left without a word
    // Opened for deletion and shared with nobody: fails while any other
    // program has the file open.
    win::UniqueFile probe(CreateFileW(apiPath(path).c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!probe) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? L"-" : L"it is in use or cannot be opened for deletion (" +
                                                            trim(win32Message(error)) + L")";
    }
    return L"";
}

bool underFolder(const std::wstring& path, const std::wstring& folder)
{
    const std::wstring base = withBackslash(folder);
    return !folder.empty() && path.size() > base.size() && iequals(std::wstring_view(path).substr(0, base.size()), base);
}

// Windows' own handlers, highest Priority first, each with its line.
void runHandlers(CleanerContext& ctx)
{
    // 60 s for a size and 10 minutes for a purge, unless HandlerSeconds says.
    const auto seconds = parseInt16(trim(readSetting(kWindowsCleanupSection, L"HandlerSeconds", L"")));
    const int sizeLimit = seconds && *seconds > 0 ? *seconds : 60;
    const int purgeLimit = seconds && *seconds > 0 ? *seconds : 600;
    for (const CleanupHandler& handler : listCleanupHandlers()) {
        if (ctx.run.bAbort)
            return;
        if (!handler.trusted()) {
            if (trim(readSetting(kWindowsCleanupSection, handler.itemKey(), L"")) == L"1") {
                ctx.run.strLog += handler.display + L": not trusted, not loaded\r\n";
                ctx.run.keptLog.push_back(handler.display + L": not trusted, not loaded");
            }
            continue;
        }
        if (!cleanupHandlerTicked(handler))
            continue;
        ctx.ui.setStatus(handler.display);
        if (ctx.run.analyzing) {
            // Asked for its size only.
            ctx.run.beginRow(handler.display, true);
            const HandlerRun result =
                runCleanupHandler(handler, false, sizeLimit, purgeLimit, ctx.ui, ctx.run.bAbort);
            // A handler that gave no answer has no size to show.
            if (result.outcome != HandlerRun::Outcome::Done) {
                analyzedSizes().erase(handler.itemKey());
                continue;
            }
            if (result.spaceUsed > 0)
                ctx.run.found(handler.display, result.spaceUsed, 1);
            analyzedSizes()[handler.itemKey()] = result.spaceUsed;
            continue;
        }
        const HandlerRun result = runCleanupHandler(handler, true, sizeLimit, purgeLimit, ctx.ui, ctx.run.bAbort);
        // What it frees lies on the system drive; the run's closing line
        // measures it.
        ctx.run.touch(getWinDir());
        switch (result.outcome) {
        case HandlerRun::Outcome::Done:
            ctx.run.strLog += handler.display + L": freed " + std::to_wstring(result.spaceUsed) + L" bytes\r\n";
            break;
        case HandlerRun::Outcome::TimedOut:
            ctx.run.strLog += handler.display + L": stopped after " + std::to_wstring(result.seconds) +
                              L" seconds, left as it was\r\n";
            ctx.run.keptLog.push_back(handler.display + L": stopped after " + std::to_wstring(result.seconds) +
                                      L" seconds, left as it was");
            break;
        case HandlerRun::Outcome::Stopped: return;
        case HandlerRun::Outcome::Failed:
            ctx.run.strLog += handler.display + L": not cleaned: " + result.error + L"\r\n";
            ctx.run.keptLog.push_back(handler.display + L": not cleaned: " + result.error);
            break;
        }
    }
}

} // namespace

const std::vector<CleanupItem>& knownCleanupItems()
{
    static const std::vector<CleanupItem> items = {
        {L"ErrorReports",
         L"Windows error reports",
         L"Error reports and crash dumps that were sent or will never be",
         true,
         {{L"%ProgramData%\\Microsoft\\Windows\\WER\\ReportArchive", L"*.*", true},
          {L"%ProgramData%\\Microsoft\\Windows\\WER\\ReportQueue", L"*.*", true},
          {L"%ProgramData%\\Microsoft\\Windows\\WER\\Temp", L"*.*", true},
          {L"%LOCALAPPDATA%\\Microsoft\\Windows\\WER", L"*.*", true},
          {L"%LOCALAPPDATA%\\CrashDumps", L"*.*", true},
          {L"%WINDIR%\\LiveKernelReports", L"*.dmp", false}}},
        {L"ShaderCache",
         L"DirectX shader cache",
         L"Compiled shaders; games build them again, slowly, the next time they start",
         false,
         {{L"%LOCALAPPDATA%\\D3DSCache", L"*.*", true}}},
        {L"Thumbnails",
         L"Thumbnail and icon caches",
         L"Explorer's pictures of files and icons, made again when needed",
         true,
         {{L"%LOCALAPPDATA%\\Microsoft\\Windows\\Explorer", L"thumbcache_*.db", false},
          {L"%LOCALAPPDATA%\\Microsoft\\Windows\\Explorer", L"iconcache_*.db", false}}},
        {L"TempFiles",
         L"Temporary files",
         L"Your temporary folder and Windows' own",
         true,
         {{L"%TEMP%", L"*.*", true}, {L"%WINDIR%\\Temp", L"*.*", true}, {L"%WINDIR%\\SystemTemp", L"*.*", true}}},
        {L"SetupLogs",
         L"Windows setup logs",
         L"Logs of Windows setup and of its component store",
         true,
         {{L"%WINDIR%\\Panther", L"*.*", true}, {L"%WINDIR%\\Logs\\CBS", L"*.log", false}}},
    };
    return items;
}

bool cleanupItemTicked(const CleanupItem& item)
{
    const std::wstring value = trim(readSetting(kWindowsCleanupSection, item.key, L""));
    return value.empty() ? item.tickedByDefault : value == L"1";
}

bool cleanupHandlerTicked(const CleanupHandler& handler)
{
    if (!handler.trusted())
        return false;
    const std::wstring value = trim(readSetting(kWindowsCleanupSection, handler.itemKey(), L""));
    return value.empty() ? handler.tickedByDefault : value == L"1";
}

std::map<std::wstring, uint64_t>& analyzedSizes()
{
    static std::map<std::wstring, uint64_t> sizes;
    return sizes;
}

int cleanupMinAgeHours()
{
    const auto hours = parseInt16(trim(readSetting(kWindowsCleanupSection, L"MinAgeHours", L"48")));
    const int own = hours && *hours >= 0 ? *hours : 48;
    // The machine's policy sets the least age; the user may only wait longer.
    const auto least = readMachinePolicy().minAgeHours;
    return least ? std::max(own, *least) : own;
}

void cleanWindowsCleanup(CleanerContext& ctx, bool)
{
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const ULONGLONG cutoff = ticksOf(now) - static_cast<ULONGLONG>(cleanupMinAgeHours()) * kTicksPerHour;
    // The program's own files never go, wherever it keeps them.
    const std::wstring own = appFolder();
    ctx.ui.startOperation(kStoreWindowsCleanup);
    for (const CleanupItem& item : knownCleanupItems()) {
        if (!cleanupItemTicked(item))
            continue;
        // Each item counts for itself and has a line (or a row) of its own.
        ctx.run.lngFCOunt = 0;
        ctx.run.dblFSize = 0;
        if (ctx.run.analyzing)
            ctx.run.beginRow(item.name, true);
        for (const CleanupFolder& place : item.folders) {
            for (const Candidate& file : filesOf(ctx, place)) {
                if (ctx.run.bAbort)
                    break;
                if (underFolder(file.path, own))
                    continue;
                const std::wstring why = whyItStays(file.path, cutoff);
                if (why == L"-")
                    continue;
                if (!why.empty()) {
                    ctx.run.keptFiles.push_back(file.path + L": " + why);
                    continue;
                }
                ctx.deletion.deleteCounted(file.path, file.size);
            }
            if (ctx.run.bAbort)
                break;
        }
        if (ctx.run.bAbort) {
            discardRunArchive(ctx.run);
            ctx.ui.stopOperation(L"Aborted by User");
            return;
        }
        if (ctx.run.analyzing)
            analyzedSizes()[item.key] = ctx.run.analysis.back().bytes;
        // Files waiting for their backup entries go (and count) before the line.
        ctx.deletion.flushBackups();
        appendCountedLine(ctx.run, L"Cleaned " + std::wstring(item.name) + L"....");
        appendKeptLines(ctx);
    }
    if (!ctx.run.bAbort)
        runHandlers(ctx);
    if (ctx.run.bAbort) {
        ctx.ui.stopOperation(L"Aborted by User");
        return;
    }
    ctx.ui.stopOperation(L"");
}

} // namespace sorvane

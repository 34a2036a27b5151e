// The Internet Related categories.
#include "cleaners/Cleaners.h"

#include "cleaners/Browsers.h"
#include "cleaners/BrowserStores.h"

#include "platform/AppFolder.h"
#include "platform/ErrorReport.h"
#include "platform/PinnedPath.h"
#include "platform/Registry.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "store/BackupArchive.h"
#include "store/ListFiles.h"
#include "win/UniqueHandle.h"

#include <urlhist.h>
#include <wininet.h>

#include <algorithm>
#include <functional>
#include <vector>

namespace sorvane {

namespace {

// {3C374A40-BAE4-11CF-BF7D-00AA006946EE} and {AFA0DC11-C313-11D0-831A-00C04FD5AE38}
const CLSID kClsidUrlHistory = {0x3C374A40, 0xBAE4, 0x11CF, {0xBF, 0x7D, 0x00, 0xAA, 0x00, 0x69, 0x46, 0xEE}};
const IID kIidUrlHistoryStg2 = {0xAFA0DC11, 0xC313, 0x11D0, {0x83, 0x1A, 0x00, 0xC0, 0x4F, 0xD5, 0xAE, 0x38}};


// Source URLs of the cache entries whose name starts with `prefix`. The
// prefix is also the search pattern: without one the system lists only the
// content container, not the history's entries.
std::vector<std::wstring> urlCacheEntries(const std::wstring& prefix)
{
    std::vector<std::wstring> urls;
    std::vector<BYTE> buf(4096);
    auto* entry = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buf.data());
    DWORD size = static_cast<DWORD>(buf.size());
    HANDLE find = FindFirstUrlCacheEntryW(prefix.c_str(), entry, &size);
    if (!find && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        buf.resize(size);
        entry = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buf.data());
        find = FindFirstUrlCacheEntryW(prefix.c_str(), entry, &size);
    }
    if (!find)
        return urls;
    for (;;) {
        if (entry->lpszSourceUrlName && istartsWith(entry->lpszSourceUrlName, prefix))
            urls.emplace_back(entry->lpszSourceUrlName);
        size = static_cast<DWORD>(buf.size());
        if (FindNextUrlCacheEntryW(find, entry, &size))
            continue;
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            break;
        buf.resize(size);
        entry = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buf.data());
        if (!FindNextUrlCacheEntryW(find, entry, &size))
            break;
    }
    FindCloseUrlCache(find);
    return urls;
}

using ProfileCleaner = std::function<void(const BrowserProfile& profile, std::vector<std::wstring>& notes)>;

// Calls `clean` for every profile of today's browsers whose browser is not
// running. The notes are the lines that follow the category's own: what was
// skipped and why.
std::vector<std::wstring> forEachIdleProfile(CleanerContext& ctx, const ProfileCleaner& clean)
{
    std::vector<std::wstring> notes;
    const BrowserDiscovery found = discoverBrowsers(cleanerFolder(HKEY_CURRENT_USER, kShellFoldersKey, L"Local AppData"),
                                                    cleanerFolder(HKEY_CURRENT_USER, kShellFoldersKey, L"AppData"));
    for (const auto& error : found.errors)
        notes.push_back(L"Skipped " + error);
    std::vector<std::wstring> running;
    for (const auto& profile : found.profiles) {
        if (ctx.run.bAbort)
            break;
        // A running browser is never cleaned under it; the program never
        // ends it either.
        if (browserIsRunning(profile)) {
            if (std::find(running.begin(), running.end(), profile.browser) == running.end()) {
                running.push_back(profile.browser);
                notes.push_back(L"Skipped " + profile.browser + L": it is running");
            }
            ctx.run.keptLog.push_back(profile.profile + L": " + profile.browser + L" is running");
            continue;
        }
        clean(profile, notes);
    }
    return notes;
}

// The line of a database cleaned in place (`cleared`) or left as it was.
void noteStore(std::vector<std::wstring>& notes, const std::wstring& path, const StoreResult& result,
               const std::wstring& cleared)
{
    if (result.kind == StoreResult::Untouched)
        notes.push_back(L"Left " + path + L" as it was: " + result.error);
    else if (result.kind == StoreResult::Cleared)
        notes.push_back(cleared + (result.notCompacted ? L" (the file could not be compacted)" : L"") + result.undo);
}

// "1 cookie", "3 cookies".
std::wstring counted(int64_t n, const wchar_t* one, const wchar_t* many)
{
    return std::to_wstring(n) + L" " + (n == 1 ? one : many);
}

void appendNotes(RunState& run, const std::vector<std::wstring>& notes)
{
    for (const auto& note : notes)
        run.strLog += note + L"\r\n";
}

// The files inside a cache folder and its subfolders; the folders stay as
// the browser made them. The folder and every one above it up to the
// user's profile stay held while it is emptied, so none becomes a link.
void cleanCacheFolder(CleanerContext& ctx, const std::wstring& folder, std::vector<std::wstring>& notes)
{
    std::wstring why;
    const auto pin = PinnedPath::inProfile(folder, PinnedPath::Kind::Folder, why);
    if (!pin) {
        notes.push_back(L"Skipped " + folder + L": " + why);
        return;
    }
    cleanFolder(ctx, folder, L"*.*", false);
}

std::vector<std::wstring> cleanBrowserCaches(CleanerContext& ctx)
{
    std::vector<std::wstring> userDataDone;
    return forEachIdleProfile(ctx, [&](const BrowserProfile& profile, std::vector<std::wstring>& notes) {
        for (const auto& folder : profileCacheFolders(profile))
            cleanCacheFolder(ctx, folder, notes);
        if (profile.chromium && profile.userData != profile.profile &&
            std::find(userDataDone.begin(), userDataDone.end(), profile.userData) == userDataDone.end()) {
            userDataDone.push_back(profile.userData);
            for (const auto& folder : userDataCacheFolders(profile.userData))
                cleanCacheFolder(ctx, folder, notes);
        }
    });
}

std::vector<std::wstring> cleanBrowserCookies(CleanerContext& ctx)
{
    const CookieKeepList keep(loadKeptCookies(appFile(L"cookies.sol")));
    return forEachIdleProfile(ctx, [&](const BrowserProfile& profile, std::vector<std::wstring>& notes) {
        for (const auto& store : cookieStoresOf(profile)) {
            const StoreResult r = clearCookieStore(ctx.deletion, store, profile.chromium, keep);
            if (r.kind == StoreResult::Cleared)
                ctx.run.otherRemoved += r.removedRows;
            noteStore(notes, store, r,
                      profileLabel(profile) + L": removed " + counted(r.removedRows, L"cookie", L"cookies") +
                          L", kept " + std::to_wstring(r.keptRows) + L" of kept sites");
        }
    });
}

std::vector<std::wstring> cleanBrowserHistory(CleanerContext& ctx)
{
    return forEachIdleProfile(ctx, [&](const BrowserProfile& profile, std::vector<std::wstring>& notes) {
        if (profile.chromium) {
            for (const auto& file : chromiumHistoryFiles(profile)) {
                const StoreResult r = removeDatabaseFile(ctx.deletion, file, false);
                if (r.kind == StoreResult::Untouched)
                    notes.push_back(L"Kept " + file + L": " + r.error);
            }
            return;
        }
        const std::wstring places = joinPath(profile.profile, L"places.sqlite");
        if (!fileExists(places))
            return;
        const StoreResult r = clearFirefoxHistory(ctx.deletion, places);
        if (r.kind == StoreResult::Cleared)
            ctx.run.otherRemoved += r.removedRows;
        noteStore(notes, places, r,
                  profileLabel(profile) + L": removed " + counted(r.removedRows, L"page", L"pages") +
                      L" from the history, kept " + std::to_wstring(r.keptRows) + L" bookmarked");
    });
}

} // namespace

int clearUrlHistoryByHand(CleanerContext& ctx)
{
    int removed = 0;
    for (const auto& url : urlCacheEntries(L"Visited:")) {
        if (ctx.run.analyzing) {
            ctx.run.found(url, 0);
            ++removed;
        } else {
            removed += DeleteUrlCacheEntryW(url.c_str()) ? 1 : 0;
        }
    }
    // The history store's own files: removed by the chosen method like any
    // other, not counted (they are the history, not the user's files).
    const std::wstring folder = cleanerFolder(HKEY_CURRENT_USER, kShellFoldersKey, L"History");
    if (!folder.empty()) {
        ctx.search.clearFoundLists();
        ctx.search.searchFiles(folder, L"*.*", kSearchAll);
        for (const auto& file : ctx.search.strFoundFiles())
            removed += ctx.deletion.deleteOneFile(file) != 0 ? 1 : 0;
        ctx.search.clearFoundLists();
    }
    if (!ctx.run.analyzing)
        ctx.run.otherRemoved += removed;
    return removed;
}

void cleanHistory(CleanerContext& ctx, bool)
{
    ctx.ui.startOperation(10);
    win::ComInit com;
    HRESULT hr = S_OK;
    // An analysis counts the entries the history object would clear.
    if (!ctx.run.analyzing) {
        win::ComPtr<IUrlHistoryStg2> history;
        hr = CoCreateInstance(kClsidUrlHistory, nullptr, CLSCTX_INPROC_SERVER, kIidUrlHistoryStg2,
                              history.putVoid());
        if (SUCCEEDED(hr))
            hr = history->ClearHistory();
    }
    // Systems without a working history object (Wine has the class, but its
    // ClearHistory is not implemented) are cleared by hand.
    if (ctx.run.analyzing || hr == E_NOTIMPL || hr == REGDB_E_CLASSNOTREG || hr == E_NOINTERFACE)
        clearUrlHistoryByHand(ctx);
    else if (FAILED(hr))
        raiseError(static_cast<long>(hr), win32Message(static_cast<unsigned long>(hr)));
    const std::vector<std::wstring> notes = cleanBrowserHistory(ctx);
    ctx.ui.stopOperation(L"");
    ctx.run.strLog += L"Cleaned History....\r\n";
    appendNotes(ctx.run, notes);
}

void cleanCookies(CleanerContext& ctx, bool)
{
    startCounted(ctx, 12);
    const std::wstring folder = cleanerFolder(HKEY_CURRENT_USER, kShellFoldersKey, L"Cookies");
    if (!folder.empty()) {
        ctx.search.clearFoundLists();
        ctx.search.searchFiles(folder, L"*.txt", kSearchAll);
    } else {
        ctx.search.clearFoundLists();
    }
    const auto& cookies = ctx.search.strFoundFiles();
    if (!cookies.empty()) {
        const std::wstring keep = toLower(readKeptCookieText(appFile(L"cookies.sol")));
        // cookies.sol holds the code page's form of each path. A path that
        // does not survive that round trip is compared in its stored form;
        // beyond that nobody can tell which kept entry was meant, so while
        // anything is kept, such a cookie is kept too.
        const auto isKept = [&keep](const std::wstring& path) {
            if (keep.empty())
                return false;
            if (keep.find(toLower(path)) != std::wstring::npos)
                return true;
            return fromAnsi(toAnsi(path)) != path;
        };
        ctx.ui.setProgressMax(static_cast<int64_t>(cookies.size()));
        Yielder yield(ctx.ui, ctx.run.bAbort);
        yield.pumpNow();
        for (size_t i = 0; i < cookies.size(); ++i) {
            yield.poll();
            if (yield.aborted()) {
                discardRunArchive(ctx.run);
                ctx.ui.stopOperation(L"Aborted by User");
                break;
            }
            const uint64_t length = fileLength(cookies[i]);
            if (!isKept(cookies[i]))
                ctx.deletion.deleteCounted(cookies[i], length);
            ctx.ui.setProgress(static_cast<int64_t>(i) + 1);
        }
    }
    // Today's browsers' cookie stores; whole files removed join the line.
    std::vector<std::wstring> notes;
    if (!ctx.run.bAbort)
        notes = cleanBrowserCookies(ctx);
    finishCounted(ctx, L"Cleaned Cookies....");
    appendNotes(ctx.run, notes);
}


void cleanCache(CleanerContext& ctx, bool)
{
    startCounted(ctx, 11);
    cleanFolder(ctx, cleanerFolder(HKEY_CURRENT_USER, kShellFoldersKey, L"Cache"), L"*.*", true);
    // Today's browsers too; their files join the same line.
    const std::vector<std::wstring> notes = cleanBrowserCaches(ctx);
    finishCounted(ctx, L"Cleaned Cache....");
    appendNotes(ctx.run, notes);
}

void cleanFavorites(CleanerContext& ctx, bool)
{
    startCounted(ctx, 13);
    cleanFolder(ctx, cleanerFolder(HKEY_CURRENT_USER, kShellFoldersKey, L"Favorites"), L"*.url", true);
    finishCounted(ctx, L"Cleaned Favorites....");
}

void cleanURLHistory(CleanerContext& ctx, bool)
{
    constexpr const wchar_t* key = L"Software\\Microsoft\\Internet Explorer\\TypedURLs\\";
    ctx.ui.startOperation(14);
    std::wstring kept;
    const size_t count = clearTraceValues(ctx, {key}, L"TypedURLs", kept);
    ctx.run.strLog += L"Cleaned " + std::to_wstring(count) + L" Typed URL History\r\n" + kept;
    ctx.ui.stopOperation(L"");
}

void cleanOffline(CleanerContext& ctx, bool)
{
    startCounted(ctx, 15);
    const std::wstring folder = getWinDir() + L"\\Offline Web Pages\\";
    if (folderExists(folder))
        cleanFolder(ctx, folder, L"*.*", true);
    finishCounted(ctx, L"Cleaned Offline Web Pages....");
}

} // namespace sorvane

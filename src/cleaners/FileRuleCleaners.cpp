// The categories that pick their files by rules: the three drive-wide review
// cleaners and the user's own folders and files.
#include "cleaners/Cleaners.h"

#include "platform/AppFolder.h"
#include "platform/ErrorReport.h"
#include "platform/Registry.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "store/BackupArchive.h"
#include "store/ListFiles.h"
#include "win/UniqueHandle.h"

#include <shlobj.h>
#include <shobjidl.h>
#include <shlwapi.h>

namespace sorvane {

namespace {

constexpr int kStoreUnnecessary = 4;
constexpr int kStoreEmpty = 5;
constexpr int kStoreDeadShortcut = 6;


// Lets the message loop run and ends the cleaner's work on Stop.
bool stoppedBeforeNext(CleanerContext& ctx, Yielder& yield)
{
    yield.pumpNow();
    if (!yield.aborted())
        return false;
    discardRunArchive(ctx.run);
    ctx.ui.stopOperation(L"Aobrted by User");
    return true;
}

// The three review cleaners: search every selected drive, then show the
// review list if this cleaner is the last ticked one of them.
void reviewClean(CleanerContext& ctx, int store, const wchar_t* mask, int16_t mode, bool showsWindow)
{
    ctx.ui.startOperation(store);
    Yielder yield(ctx.ui, ctx.run.bAbort);
    for (const auto& root : selectedRoots()) {
        if (stoppedBeforeNext(ctx, yield)) {
            ctx.ui.discardReviewRows();
            return;
        }
        ctx.search.searchFiles(root, mask, mode);
    }
    if (ctx.run.bAbort) {
        ctx.ui.discardReviewRows();
        return;
    }
    if (showsWindow && !ctx.run.analyzing)
        ctx.ui.showReviewWindow(ReviewTools{ctx.deletion, ctx.search, ctx.run});
    ctx.ui.stopOperation(L"");
}

} // namespace

std::vector<std::wstring> rootsFromDriveLine(std::wstring_view line)
{
    std::wstring rest(line);
    for (const wchar_t* label : {L"Floppy drive", L"Removable drive", L"Hard drive;", L"Remote (network) drive",
                                 L"CD-ROM drive", L"RAM disk"})
        rest = replaceAll(rest, label, L"");
    rest = replaceAll(rest, L" ", L"");
    auto pieces = split(rest, L'\\');
    pieces.pop_back();
    std::vector<std::wstring> roots;
    for (const auto& p : pieces)
        roots.push_back(p + L"\\");
    return roots;
}

std::vector<std::wstring> selectedRoots()
{
    const auto lines = readLines(appFile(L"search.sol"));
    if (lines)
        return lines->empty() ? std::vector<std::wstring>{} : rootsFromDriveLine(lines->front());
    const std::wstring win = getWinDir();
    const size_t slash = win.find(L'\\');
    return {slash == std::wstring::npos ? win + L"\\" : win.substr(0, slash + 1)};
}

bool IsDeadShortcut(const std::wstring& path, const SearchOptions& options)
{
    try {
        win::ComPtr<IShellLinkW> link;
        win::ComPtr<IPersistFile> file;
        HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.putVoid());
        if (SUCCEEDED(hr))
            hr = link->QueryInterface(IID_IPersistFile, file.putVoid());
        if (SUCCEEDED(hr))
            hr = file->Load(path.c_str(), STGM_READ);
        wchar_t target[MAX_PATH] = {}, workDir[MAX_PATH] = {};
        if (SUCCEEDED(hr))
            hr = link->GetPath(target, MAX_PATH, nullptr, 0);
        if (SUCCEEDED(hr))
            hr = link->GetWorkingDirectory(workDir, MAX_PATH);
        if (FAILED(hr))
            raiseError(static_cast<long>(hr), win32Message(static_cast<unsigned long>(hr)));
        const std::wstring t = target, w = workDir;
        if (options.bPathReference && w.empty())
            return false;
        if (options.bFileReference && t.empty())
            return false;
        if (t != w) {
            if (iequals(t, L"A:\\") || iequals(t, L"B:\\"))
                return false;
            return !PathFileExistsW(t.c_str()) || t.empty();
        }
        return t.empty() || !PathFileExistsW(t.c_str());
    } catch (...) {
        setPendingFromCurrentException();
        reportError(L"modFiles,IsDeadShortcut");
        return false;
    }
}

void cleanEmptyFiles(CleanerContext& ctx, bool runAlone)
{
    const bool shows = runAlone || (!ctx.isChecked(kStoreUnnecessary) && !ctx.isChecked(kStoreDeadShortcut));
    reviewClean(ctx, kStoreEmpty, L"*.*", kSearchEmpty, shows);
}

void cleanUnecessaryFiles(CleanerContext& ctx, bool runAlone)
{
    const bool shows = runAlone || !ctx.isChecked(kStoreDeadShortcut);
    reviewClean(ctx, kStoreUnnecessary, L"*.*", kSearchUnnecessary, shows);
}

void cleanShortcuts(CleanerContext& ctx, bool)
{
    win::ComInit com;
    const SearchOptions& options = ctx.search.options;
    ctx.search.deadShortcutTest = [&options](const std::wstring& p) { return IsDeadShortcut(p, options); };
    try {
        reviewClean(ctx, kStoreDeadShortcut, L"*.lnk", kSearchDeadShortcuts, true);
    } catch (...) {
        ctx.search.deadShortcutTest = nullptr;
        throw;
    }
    ctx.search.deadShortcutTest = nullptr;
}

void cleanUserDefinedFolders(CleanerContext& ctx, bool)
{
    startCounted(ctx, 1);
    ctx.search.clearFoundLists();
    Yielder yield(ctx.ui, ctx.run.bAbort);
    const auto ignored = [&](const std::wstring& folder) {
        return ctx.search.options.bIgnoreFolders && ctx.search.isIgnoredFolder(folder);
    };
    const auto searchFolder = [&](std::wstring folder) {
        if (folder.back() != L'\\')
            folder += L'\\';
        ctx.search.searchFiles(folder, L"*.*", kSearchFiltered);
    };
    const auto lines = readLines(appFile(L"UDFO.sol"));
    if (lines) {
        for (const auto& line : *lines) {
            const std::wstring folder = trim(line);
            if (folder.empty() || ignored(folder))
                continue;
            if (stoppedBeforeNext(ctx, yield))
                return;
            searchFolder(folder);
        }
    } else {
        const std::wstring temp = TemporaryDirectory();
        if (!temp.empty() && !ignored(temp))
            searchFolder(temp);
        if (stoppedBeforeNext(ctx, yield))
            return;
        const std::wstring winTemp = getWinDir() + L"\\temp\\";
        if (folderExists(winTemp) && !ignored(winTemp))
            searchFolder(winTemp);
        if (stoppedBeforeNext(ctx, yield))
            return;
        const std::wstring appData = getRegString(HKEY_CURRENT_USER, kShellFoldersKey, L"AppData");
        const std::wstring officeRecent = appData + L"\\Microsoft\\Office\\Recent\\";
        if (appData.size() >= 2 && folderExists(officeRecent) && !ignored(officeRecent))
            searchFolder(officeRecent);
    }
    ctx.deletion.deleteFiles(ctx.search.strFoundFiles(), &ctx.search.foundFileSizes());
    finishCounted(ctx, L"Cleaned User Defined Folders....");
}

void cleanUserDefinedFiles(CleanerContext& ctx, bool)
{
    startCounted(ctx, 3);
    const auto bytes = readFileBytes(appFile(L"UDFI.sol"));
    if (bytes && !bytes->empty()) {
        std::wstring text = fromAnsi(*bytes);
        if (text.size() > 2)
            text.resize(text.size() - 2);
        if (text.find(L"\r\n") != std::wstring::npos) {
            const auto lines = split(replaceAll(text, L"\r\n", std::wstring(1, L'\n')), L'\n');
            const auto flag = parseInteger(lines[0]);
            if (!flag)
                raiseError(kErrTypeMismatch, L"Type mismatch");
            const FileSearch& s = ctx.search;
            for (size_t i = 1; i < lines.size(); ++i) {
                const std::wstring& path = lines[i];
                if (path.empty())
                    continue;
                if (*flag == 1) {
                    if (s.options.bIgnoreFolders && s.isIgnoredFolder(path))
                        continue;
                    if (s.options.bIgnoreNames && s.isIgnoredFileName(fileNameOf(path)))
                        continue;
                    if (s.options.bIgnoreExtensions && s.isIgnoredExtension(fileNameOf(path)))
                        continue;
                }
                if (!fileExists(path))
                    continue;
                const uint64_t length = fileLength(path);
                ctx.deletion.deleteCounted(path, length);
            }
        }
    }
    ctx.deletion.flushBackups();
    appendCountedLine(ctx.run, L"Cleaned User Defined Files....");
    ctx.ui.stopOperation(L"");
}

} // namespace sorvane

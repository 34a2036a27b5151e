#include "core/Deletion.h"

#include "platform/ErrorReport.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "store/BackupArchive.h"
#include "win/UniqueHandle.h"

#include <shellapi.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <algorithm>
#include <utility>
#include <vector>

namespace sorvane {

namespace {

std::mt19937_64& generator()
{
    static std::mt19937_64 g{std::random_device{}()};
    return g;
}

double uniform01()
{
    return std::uniform_real_distribution<double>(0.0, 1.0)(generator());
}

} // namespace

void ShellSortVariantArray(std::vector<std::wstring>& items, const std::function<void()>& yield)
{
    if (items.empty())
        return;
    const size_t last = items.size() - 1;
    for (size_t gap = (last + 1) / 2; gap > 0; gap /= 2) {
        yield();
        if (gap > last)
            continue;
        for (size_t i = 0; i <= last - gap; ++i) {
            yield();
            if (items[i] > items[i + gap])
                std::swap(items[i], items[i + gap]);
        }
        for (size_t i = last - gap + 1; i-- > 0;) {
            yield();
            if (items[i] > items[i + gap])
                std::swap(items[i], items[i + gap]);
        }
    }
}

std::wstring randomWipeName(double u)
{
    const double value = std::round(u * 1000.0 * 1000.0) / 1000.0;
    wchar_t buf[32];
    swprintf(buf, 32, L"%.3f", value);
    std::wstring s = buf;
    while (!s.empty() && s.back() == L'0')
        s.pop_back();
    if (!s.empty() && s.back() == L'.')
        s.pop_back();
    return s;
}

unsigned char randomWipeByte(double u)
{
    return static_cast<unsigned char>(std::nearbyint(u * 100.0));
}

DeletionEngine::~DeletionEngine()
{
    // Files handed to the backup archive go once their entries are on disk.
    settleBackups();
}

std::vector<std::wstring> DeletionEngine::flushBackups()
{
    settleBackups();
    return std::exchange(m_kept, {});
}

bool DeletionEngine::canUndoInPlaceChanges() const noexcept
{
    return m_settings.intDelMethod == kBackup || m_settings.intDelMethod == kRecycleBin;
}

bool DeletionEngine::backUpCopy(const std::wstring& path, std::wstring* recycledAs)
{
    // An analysis changes nothing: no copy, so no change may follow.
    if (m_run.analyzing)
        return false;
    // The file is about to change in place.
    m_run.touch(path);
    if (m_settings.intDelMethod == kRecycleBin)
        return recycleCopy(path, recycledAs);
    if (m_settings.intDelMethod != kBackup)
        return true;
    if (refuseUnlessFullPath(path))
        return false;
    const std::wstring letter = path.substr(0, 1);
    if (letter.empty() || m_run.backupFailedDrives.find(towupper(letter[0])) != std::wstring::npos)
        return false;
    useArchiveFor(path);
    // On the disk before the caller changes the file, not in the writer's
    // memory; the flush that follows deletes what waited for the archive.
    const bool added = storeDurableCopy(path);
    if (!settleBackups()) {
        m_run.backupFailedDrives += static_cast<wchar_t>(towupper(letter[0]));
        return false;
    }
    return added;
}

bool DeletionEngine::recycleCopy(const std::wstring& path, std::wstring* recycledAs)
{
    if (refuseUnlessFullPath(path))
        return false;
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t stamp[32];
    swprintf(stamp, 32, L" (before clean %04u-%02u-%02u %02u-%02u)", now.wYear, now.wMonth, now.wDay, now.wHour,
             now.wMinute);
    // A name of its own beside the file, never over another file.
    const std::wstring first = path + stamp;
    const std::wstring copy = createUnderFreeName(
        first, [&first](int n) { return first + L" (" + std::to_wstring(n) + L")"; },
        [&path](const std::wstring& name) { return CopyFileW(apiPath(path).c_str(), apiPath(name).c_str(), TRUE) != FALSE; });
    if (copy.empty())
        return false;
    if (deleteToRecycleBin(copy) != 1 || fileExists(copy)) {
        DeleteFileW(apiPath(copy).c_str());
        return false;
    }
    if (recycledAs)
        *recycledAs = copy.substr(copy.find_last_of(L'\\') + 1);
    return true;
}

bool DeletionEngine::settleBackups()
{
    if (m_settings.intDelMethod != kBackup)
        return true;
    BackupFlush f = flushBackupArchive();
    m_run.lngBackedUp += static_cast<int64_t>(f.backedUp);
    m_run.count(f.countedFiles, f.countedBytes);
    if (f.keptRefused > 0)
        m_run.bLocked = -1;
    if (!f.failure.empty() && m_run.backupFailure.empty())
        m_run.backupFailure = f.failure;
    m_kept.insert(m_kept.end(), std::make_move_iterator(f.kept.begin()), std::make_move_iterator(f.kept.end()));
    return f.failure.empty();
}

int DeletionEngine::keptFor(const std::wstring& path, ReparseKind kind, const wchar_t* what)
{
    const wchar_t* why = kind == ReparseKind::NotLocal ? L"its data is not on this disk (an online-only file), so it was "
                                                       : L"it is a link of a kind that cannot be told, so it was ";
    m_run.keptFiles.push_back(path + L": " + why + what);
    return -1;
}

void DeletionEngine::useArchiveFor(const std::wstring& path)
{
    const std::wstring letter = path.substr(0, 1);
    if (!iequals(letter, m_run.strArchiveDrive)) {
        nameBackupArchive(m_settings.strBackupPath, letter + L"_");
        m_run.strArchiveDrive = letter;
    }
    // The archive grows on its drive; the file goes from its own.
    m_run.touch(m_settings.strBackupPath);
    m_run.touch(path);
}

int DeletionEngine::backUpAndDelete(const std::wstring& path, uint64_t countBytes, bool counted)
{
    const std::wstring letter = path.substr(0, 1);
    // Once the archive of a drive failed, that drive's files stay for the
    // rest of the run: none may go without its copy.
    if (m_run.backupFailedDrives.find(towupper(letter[0])) != std::wstring::npos)
        return -1;
    useArchiveFor(path);
    switch (backUpForDeletion(path, countBytes, counted)) {
    case HandOver::Pending:
        return 1;
    case HandOver::LinkKept:
        m_run.keptFiles.push_back(path + L": " + kLinkNotBackedUp);
        return -1;
    case HandOver::NotLocal:
        return keptFor(path, ReparseKind::NotLocal, L"neither downloaded nor deleted");
    case HandOver::UnknownLink:
        return keptFor(path, ReparseKind::Unknown, L"left in place");
    case HandOver::ArchiveFailed:
        m_run.backupFailedDrives += static_cast<wchar_t>(towupper(letter[0]));
        // The files waiting for this archive stay too, and it is closed now.
        settleBackups();
        return -1;
    case HandOver::Refused:
        break;
    }
    return 0;  // a file whose backup failed is not deleted: it counts as locked
}

void DeletionEngine::deleteFiles(const std::vector<std::wstring>& files, const std::vector<uint64_t>* sizes)
{
    if (sizes && sizes->size() != files.size())
        sizes = nullptr;
    constexpr const wchar_t* tag = L"frmMain,deleteFiles";
    if (!files.empty()) {
        step(tag, [&] { m_ui.setProgressMax(static_cast<int64_t>(files.size()) + 1); });
        for (size_t i = 0; i < files.size(); ++i) {
            const std::wstring& path = files[i];
            const bool pumped = m_yield.poll();
            if (m_yield.aborted()) {
                discardRunArchive(m_run);
                m_ui.stopOperation(L"Aborted by User");
                return;
            }
            uint64_t size = sizes ? (*sizes)[i] : 0;
            const bool sized = sizes || step(tag, [&] { size = fileLength(path); });
            // The status and progress are redrawn once per time slice, not per file.
            if (pumped) {
                m_ui.setStatus(L"Deleting File: " + path);
                m_ui.setProgress(static_cast<int64_t>(i) + 1);
            }
            if (sized)
                deleteCounted(path, size);
            else
                deleteOneFile(path);
        }
    }
    flushBackups();
    m_ui.setProgress(0);
    m_ui.setStatus(L"Ready");
}

bool wipeMayOverwrite(DWORD attributes, DWORD linkCount, DWORD reparseTag)
{
    const ReparseKind kind = reparseKindOf(attributes, reparseTag);
    return linkCount <= 1 && (kind == ReparseKind::None || kind == ReparseKind::ReadThrough);
}

void DeletionEngine::deleteFolders(std::vector<std::wstring> folders)
{
    if (folders.empty() || m_run.analyzing)
        return;
    try {
        ShellSortVariantArray(folders, [&] { m_yield.poll(); });
    } catch (...) {
    }
    constexpr DWORD kMarks = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    for (const auto& folder : folders) {
        const std::wstring p = apiPath(folder);
        if (RemoveDirectoryW(p.c_str()))
            continue;
        // A folder that still holds something stays as it was; only a
        // removal refused for its marks is tried again without them.
        const DWORD err = GetLastError();
        const DWORD attrs = GetFileAttributesW(p.c_str());
        if (err == ERROR_DIR_NOT_EMPTY || attrs == INVALID_FILE_ATTRIBUTES || !(attrs & kMarks) ||
            (attrs & FILE_ATTRIBUTE_REPARSE_POINT))
            continue;
        if (SetFileAttributesW(p.c_str(), attrs & ~kMarks) && !RemoveDirectoryW(p.c_str()))
            SetFileAttributesW(p.c_str(), attrs);
    }
}

int DeletionEngine::deleteToRecycleBin(const std::wstring& path)
{
    std::wstring from = path;
    from.push_back(L'\0');
    from.push_back(L'\0');
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    // No error dialog may stop a run halfway: a failure is counted as locked.
    op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_NOERRORUI;
    return SHFileOperationW(&op) == 0 && !op.fAnyOperationsAborted ? 1 : 0;
}

int DeletionEngine::deletePlain(const std::wstring& path)
{
    const std::wstring p = apiPath(path);
    // Most files delete at once; only a read-only one needs its attributes
    // cleared first, and gets them back when it still cannot go.
    if (DeleteFileW(p.c_str()))
        return 1;
    if (GetLastError() != ERROR_ACCESS_DENIED)
        return 0;
    const DWORD attrs = GetFileAttributesW(p.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES || (attrs & FILE_ATTRIBUTE_DIRECTORY) ||
        !(attrs & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)))
        return 0;
    SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (DeleteFileW(p.c_str()))
        return 1;
    SetFileAttributesW(p.c_str(), attrs);
    return 0;
}

int DeletionEngine::deletePermanently(const std::wstring& path)
{
    if (refuseUnlessFullPath(path))
        return 0;
    if (m_run.analyzing)
        return wouldRemove(path, 0, false);
    const int result = !pathTooLong(path) && DeleteFileW(apiPath(path).c_str()) ? 1 : 0;
    if (result == 0)
        m_run.bLocked = -1;
    return result;
}

bool DeletionEngine::deleteForGood(const std::wstring& path)
{
    RunState run;
    SilentUi ui;
    DeleteSettings settings;
    settings.intDelMethod = kDelete;
    return DeletionEngine(ui, run, settings).deletePermanently(path) == 1;
}

FolderRecycle DeletionEngine::recycleFolder(const std::wstring& folder, const ProtectedFolders& guard)
{
    if (folder.empty() || pathTooLong(folder))
        return FolderRecycle::Failed;
    const DWORD attrs = GetFileAttributesW(apiPath(folder).c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES || !(attrs & FILE_ATTRIBUTE_DIRECTORY))
        return FolderRecycle::Failed;  // gone already, or not a folder
    const std::wstring normalised = normaliseFolder(folder);
    if (normalised.empty() || isVolumeRoot(normalised) || guard.isProtectedNormalised(normalised))
        return FolderRecycle::Protected;
    const std::wstring inside = normalised + L'\\';
    for (const auto& f : guard.folders())
        if (f.size() > inside.size() && f.compare(0, inside.size(), inside) == 0)
            return FolderRecycle::Protected;
    if (!isFullLocalPath(folder))
        return FolderRecycle::Failed;
    std::wstring from = folder;
    while (from.size() > 3 && from.back() == L'\\')
        from.pop_back();
    from.push_back(L'\0');
    from.push_back(L'\0');
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    // Silent and unasked, except where the shell would destroy the folder
    // instead of recycling it (too big for the bin, a drive without one).
    op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI | FOF_WANTNUKEWARNING;
    if (SHFileOperationW(&op) != 0 || op.fAnyOperationsAborted)
        return FolderRecycle::Failed;
    return GetFileAttributesW(apiPath(folder).c_str()) == INVALID_FILE_ATTRIBUTES ? FolderRecycle::Recycled
                                                                                    : FolderRecycle::Failed;
}

int DeletionEngine::deleteOneFile(const std::wstring& path) { return removeOne(path, 0, false); }

int DeletionEngine::deleteCounted(const std::wstring& path, uint64_t size) { return removeOne(path, size, true); }

bool DeletionEngine::refuseUnlessFullPath(const std::wstring& path)
{
    if (isFullLocalPath(path))
        return false;
    m_run.keptFiles.push_back(path + L": " + kNotAFullPath);
    return true;
}

int DeletionEngine::wouldRemove(const std::wstring& path, uint64_t countBytes, bool counted)
{
    if (pathTooLong(path))
        return 0;
    if (m_settings.intDelMethod == kRecycleBin && !path.empty() && (path.back() == L'.' || path.back() == L' '))
        return 0;
    uint64_t bytes = countBytes;
    if (!counted) {
        // Files the log does not count still leave the drive: the analysis
        // shows their size.
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!GetFileAttributesExW(apiPath(path).c_str(), GetFileExInfoStandard, &data) ||
            (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            return 0;
        bytes = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }
    return m_run.foundFile(path, bytes) ? 1 : 0;
}

int DeletionEngine::removeOne(const std::wstring& path, uint64_t countBytes, bool counted)
{
    if (refuseUnlessFullPath(path))
        return 0;
    if (m_run.analyzing)
        return wouldRemove(path, countBytes, counted);
    int result = 0;
    try {
        if (pathTooLong(path)) {
            result = 0;
        } else if (m_settings.intDelMethod == kDelete) {
            result = deletePlain(path);
        } else if (m_settings.intDelMethod != kWipe && m_settings.intDelMethod != kRecycleBin) {
            // Backed up, then deleted; folders are refused there too. The
            // file is counted by the flush that deletes it.
            result = backUpAndDelete(path, countBytes, counted);
            if (result == -1)
                return 0;  // kept, and the reason is in the log
            counted = false;
        } else {
            // The shell would move or the wipe would open a whole folder:
            // this engine removes files only.
            const DWORD attrs = GetFileAttributesW(apiPath(path).c_str());
            if (attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY)) {
                if (m_settings.intDelMethod == kWipe) {
                    result = wipeFile(path);
                    if (result == -1)
                        return 0;
                } else if (!path.empty() && (path.back() == L'.' || path.back() == L' ')) {
                    // The shell would take "foo." for "foo": another file.
                    m_run.keptFiles.push_back(path + L": " + kNameShellCannotTake);
                    return 0;
                } else {
                    SetFileAttributesW(apiPath(path).c_str(), FILE_ATTRIBUTE_NORMAL);
                    result = deleteToRecycleBin(path);
                }
            }
        }
    } catch (...) {
        return 0;
    }
    if (result == 0)
        m_run.bLocked = -1;
    else
        m_run.touch(path);
    if (result != 0 && counted)
        m_run.count(countBytes);
    return result;
}

namespace {

void reportWipeError(DWORD code)
{
    setPendingError(static_cast<long>(code), win32Message(code));
    reportError(L"modFunctions,wipeFile");
}

bool renameByHandle(HANDLE file, const std::wstring& target)
{
    std::vector<unsigned char> buf(sizeof(FILE_RENAME_INFO) + (target.size() + 1) * sizeof(wchar_t), 0);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buf.data());
    info->ReplaceIfExists = FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
    std::copy(target.begin(), target.end(), info->FileName);
    return SetFileInformationByHandle(file, FileRenameInfo, info, static_cast<DWORD>(buf.size())) != FALSE;
}

// The flush that ends the wipe of a large file, run on a pool thread with a
// handle of its own. A caller that stops waiting leaves the job to finish
// and close its handle; the job's last step is the signal, after which only
// its memory and event are given back.
struct FlushAside {
    win::UniqueFile file;
    win::UniqueHandleNull done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    bool ok = false;
    DWORD error = 0;
};

void CALLBACK runFlushAside(PTP_CALLBACK_INSTANCE, void* param)
{
    const std::unique_ptr<std::shared_ptr<FlushAside>> held(static_cast<std::shared_ptr<FlushAside>*>(param));
    FlushAside& job = **held;
    job.ok = FlushFileBuffers(job.file.get()) != FALSE;
    job.error = GetLastError();
    job.file.reset();
    SetEvent(job.done.get());
}

// True once every byte written through `file` is on the disk; false with the
// last error set when the flush failed, or with `stopped` set when Stop came
// first.
bool flushAnswering(HANDLE file, Yielder& yield, bool& stopped)
{
    auto job = std::make_shared<FlushAside>();
    HANDLE copy = nullptr;
    if (job->done &&
        DuplicateHandle(GetCurrentProcess(), file, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        job->file.reset(copy);
        auto handOver = std::make_unique<std::shared_ptr<FlushAside>>(job);
        if (TrySubmitThreadpoolCallback(runFlushAside, handOver.get(), nullptr)) {
            handOver.release();  // the callback owns it now
            if (!yield.waitFor(job->done.get())) {
                stopped = true;
                return false;
            }
            SetLastError(job->error);
            return job->ok;
        }
    }
    // Nothing runs beside: the flush is waited for here.
    return FlushFileBuffers(file) != FALSE;
}

} // namespace

int DeletionEngine::wipeFile(const std::wstring& path)
{
    if (refuseUnlessFullPath(path) || m_run.analyzing)
        return -1;
    const std::wstring p = apiPath(path);
    const DWORD attrs = GetFileAttributesW(p.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES || (attrs & FILE_ATTRIBUTE_DIRECTORY)) {
        reportWipeError(attrs == INVALID_FILE_ATTRIBUTES ? GetLastError() : ERROR_DIRECTORY);
        return 0;
    }
    // Who else shares the data decides whether it may be overwritten.
    DWORD links = 1;
    DWORD tag = 0;
    {
        win::UniqueFile probe(CreateFileW(p.c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                          nullptr));
        FILE_STANDARD_INFO info{};
        if (!probe || !GetFileInformationByHandleEx(probe.get(), FileStandardInfo, &info, sizeof info)) {
            reportWipeError(GetLastError());
            return 0;
        }
        links = info.NumberOfLinks;
        tag = reparseTagOf(probe.get());
    }
    // Overwriting an online-only file would first download it, and then
    // destroy the only copy.
    const ReparseKind kind = reparseKindOf(attrs, tag);
    if (kind == ReparseKind::NotLocal || kind == ReparseKind::Unknown)
        return keptFor(path, kind, L"not wiped");
    if (!wipeMayOverwrite(attrs, links, tag))
        return deletePlain(path);
    return overwriteAndDelete(path, attrs, kind == ReparseKind::ReadThrough);
}

int DeletionEngine::overwriteAndDelete(const std::wstring& path, DWORD attrs, bool readThrough)
{
    const std::wstring p = apiPath(path);
    if (attrs & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(p.c_str(), attrs & ~FILE_ATTRIBUTE_READONLY);
    // Delete access is asked for at once: a file that someone holds open
    // without delete sharing is refused before a byte is overwritten, so it
    // can never be left half-wiped and then fail to go.
    win::UniqueFile file(CreateFileW(p.c_str(), GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     (readThrough ? 0 : FILE_FLAG_OPEN_REPARSE_POINT),
                                     nullptr));
    if (!file) {
        const DWORD err = GetLastError();
        if (attrs & FILE_ATTRIBUTE_READONLY)
            SetFileAttributesW(p.c_str(), attrs);
        reportWipeError(err);
        return 0;
    }
    // A file that stays (Stop, a failed write) gets its read-only mark back.
    const auto keep = [&](bool report) {
        const DWORD err = GetLastError();
        file.reset();
        if (attrs & FILE_ATTRIBUTE_READONLY)
            SetFileAttributesW(p.c_str(), attrs);
        if (report)
            reportWipeError(err);
        return 0;
    };
    // Not GetFileInformationByHandle: it also asks for the volume serial
    // number, a slow round trip under Wine.
    FILE_BASIC_INFO basic{};
    FILE_STANDARD_INFO standard{};
    if (!GetFileInformationByHandleEx(file.get(), FileBasicInfo, &basic, sizeof basic) ||
        !GetFileInformationByHandleEx(file.get(), FileStandardInfo, &standard, sizeof standard))
        return keep(true);
    // Opened through a filter, the handle shows the data's own file, no tag.
    const DWORD tag = readThrough ? 0 : reparseTagOf(file.get());
    const DWORD seen = readThrough ? basic.FileAttributes & ~FILE_ATTRIBUTE_REPARSE_POINT : basic.FileAttributes;
    if (!wipeMayOverwrite(seen, standard.NumberOfLinks, tag)) {
        keep(false);
        return deletePlain(path);  // a second name appeared meanwhile
    }
    const uint64_t total = static_cast<uint64_t>(standard.EndOfFile.QuadPart);
    std::vector<unsigned char> block(static_cast<size_t>(std::min<uint64_t>(total, kWipeBlockBytes)), 0);
    for (uint64_t done = 0; done < total;) {
        m_yield.poll();
        if (m_yield.aborted())
            return keep(false);  // the file stays, partly overwritten
        const DWORD chunk = static_cast<DWORD>(std::min<uint64_t>(total - done, block.size()));
        if (m_settings.bytExtraSecurity != 0)
            for (DWORD i = 0; i < chunk; ++i)
                block[i] = randomWipeByte(uniform01());
        DWORD written = 0;
        if (!WriteFile(file.get(), block.data(), chunk, &written, nullptr) || written != chunk)
            return keep(true);
        done += chunk;
    }
    // Every byte written reaches the disk before the name goes: only then is
    // the old data gone from the disk, not from a cache. Until the flush the
    // writes go through the cache, and the system's own writeback (which
    // holds them back when too much waits) runs alongside.
    bool stopped = false;
    const bool flushed = total > kWipeFlushAsideBytes ? flushAnswering(file.get(), m_yield, stopped)
                                                      : FlushFileBuffers(file.get()) != FALSE;
    if (!flushed)
        return keep(!stopped);  // on Stop the file stays, overwritten

    std::wstring current = path;
    if (m_settings.bytRename == 1) {
        const size_t slash = path.find_last_of(L'\\');
        const std::wstring target = path.substr(0, slash + 1) + randomWipeName(uniform01());
        if (!renameByHandle(file.get(), apiPath(target)))
            return keep(true);
        current = target;
    }
    FILE_DISPOSITION_INFO dispose{TRUE};
    if (SetFileInformationByHandle(file.get(), FileDispositionInfo, &dispose, sizeof dispose))
        return 1;
    file.reset();
    return DeleteFileW(apiPath(current).c_str()) ? 1 : 0;
}

} // namespace sorvane

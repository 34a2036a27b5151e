#include "store/BackupArchive.h"

#include "platform/ErrorReport.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "store/BackupLedger.h"
#include "store/StartupSettings.h"
#include "win/UniqueHandle.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

#include <winternl.h>

namespace sorvane {

namespace {

// Files handed over for deletion wait at most this many, or this many bytes,
// for the flush that puts their entries on disk.
constexpr size_t kPendingFiles = 256;
constexpr uint64_t kPendingBytes = 64ull << 20;

struct PendingFile {
    win::UniqueFile handle;
    std::wstring path;
    DWORD attributes = 0;
    uint64_t countBytes = 0;
    bool counted = false;
};

struct Session {
    std::wstring path;
    zip::Writer writer;
    std::vector<PendingFile> pending;
    uint64_t pendingBytes = 0;
    // The archive in use failed: nothing more goes into it.
    bool failed = false;
    DWORD failureCode = 0;
    bool failureTold = false;
    // Flush results no caller has taken yet (a flush on the way to the
    // next archive, or a stop).
    BackupFlush carried;
};

Session& session()
{
    static Session s;
    return s;
}

bool ensureOpen()
{
    Session& s = session();
    if (s.writer.isOpen())
        return true;
    if (s.path.empty())
        return false;
    const size_t slash = s.path.find_last_of(L'\\');
    if (slash != std::wstring::npos && !makePrivateFolder(s.path.substr(0, slash)))
        return false;
    // Always a new file: an archive of an earlier run (or of another
    // program) with the same name is never written into.
    const std::wstring made = createUnderFreeName(s.path, [&s](const std::wstring& name) { return s.writer.create(name); });
    if (made.empty())
        return false;
    s.path = made;
    return true;
}

// Closes the archive in use and records it as the program's own. With
// `removeUnlessDurable`, one that holds no durable entry is removed instead.
void closeArchive(Session& s, bool removeUnlessDurable)
{
    const bool none = s.writer.durableCount() == 0;
    s.writer.close();
    if (none && removeUnlessDurable)
        DeleteFileW(apiPath(s.path).c_str());
    else if (fileExists(s.path))
        recordBackup(s.path);
}

bool sameFile(const std::wstring& a, const std::wstring& b)
{
    if (a.empty() || b.empty())
        return false;
    wchar_t fa[MAX_PATH * 2], fb[MAX_PATH * 2];
    const DWORD na = GetFullPathNameW(a.c_str(), MAX_PATH * 2, fa, nullptr);
    const DWORD nb = GetFullPathNameW(b.c_str(), MAX_PATH * 2, fb, nullptr);
    if (na == 0 || nb == 0 || na >= MAX_PATH * 2 || nb >= MAX_PATH * 2)
        return iequals(a, b);
    return iequals(std::wstring_view(fa, na), std::wstring_view(fb, nb));
}

// Sets the delete disposition through the handle; the name goes when the
// handle closes.
bool markForDeletion(HANDLE h)
{
    FILE_DISPOSITION_INFO info{};
    info.DeleteFile = TRUE;
    return SetFileInformationByHandle(h, FileDispositionInfo, &info, sizeof info) != FALSE;
}

bool setAttributes(HANDLE h, DWORD attributes)
{
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic))
        return false;
    basic.FileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(h, FileBasicInfo, &basic, sizeof basic) != FALSE;
}

int32_t& lastOverwriteAnswer()
{
    static int32_t answer = 0;
    return answer;
}

} // namespace

std::wstring backupArchiveName(std::wstring_view folder, std::wstring_view prefix, const SYSTEMTIME& now)
{
    std::wstring name(folder);
    if (name.empty() || name.back() != L'\\')
        name += L'\\';
    return name + std::wstring(prefix) + backupStamp(now) + L".zip";
}

void nameBackupArchive(std::wstring_view folder, std::wstring_view prefix)
{
    finishBackupArchive();
    Session& s = session();
    s.path = backupArchiveName(folder, prefix, localNow());
    s.failed = false;
    s.failureCode = 0;
    s.failureTold = false;
}

const std::wstring& currentBackupArchive() { return session().path; }

std::wstring storedNameOf(std::wstring_view path)
{
    if (path.rfind(L"\\\\?\\", 0) == 0)
        path.remove_prefix(4);
    if (path.size() < 4 || path[1] != L':' || path[2] != L'\\')
        return {};
    std::wstring name(path.substr(3));
    std::replace(name.begin(), name.end(), L'\\', L'/');
    return name;
}

bool addToBackupArchive(const std::wstring& path)
{
    const std::wstring name = storedNameOf(path);
    if (name.empty() || pathTooLong(path) || sameFile(path, session().path))
        return false;
    win::UniqueFile file(CreateFileW(apiPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    zip::SourceInfo info;
    if (!file || !zip::sourceInfo(file.get(), info) || info.folder)
        return false;
    return ensureOpen() && session().writer.add(file.get(), name, info);
}

namespace {

void carry(BackupFlush& into, BackupFlush&& from)
{
    into.backedUp += from.backedUp;
    into.countedFiles += from.countedFiles;
    into.countedBytes += from.countedBytes;
    into.keptRefused += from.keptRefused;
    into.kept.insert(into.kept.end(), std::make_move_iterator(from.kept.begin()),
                     std::make_move_iterator(from.kept.end()));
    if (into.failure.empty())
        into.failure = std::move(from.failure);
}

// The writer's own error when a write failed, else `error` (an archive that
// could not even be made).
void markFailed(Session& s, DWORD error = 0)
{
    if (s.failed)
        return;
    s.failed = true;
    s.failureCode = s.writer.failureCode() ? s.writer.failureCode() : error ? error : ERROR_WRITE_FAULT;
}

// Settles the files handed over: deleted when their entries are durable,
// kept otherwise. A failed archive is closed here, as far as it is valid.
BackupFlush settlePending(Session& s)
{
    BackupFlush result;
    if (!s.pending.empty()) {
        const bool durable = !s.failed && s.writer.flush();
        if (!durable)
            markFailed(s);
        for (auto& p : s.pending) {
            if (durable && markForDeletion(p.handle.get())) {
                ++result.backedUp;
                if (p.counted) {
                    ++result.countedFiles;
                    result.countedBytes += p.countBytes;
                }
                continue;  // closing the handle deletes the file
            }
            if (durable)
                ++result.keptRefused;
            if (p.attributes & FILE_ATTRIBUTE_READONLY)
                setAttributes(p.handle.get(), p.attributes);
            result.kept.push_back(p.path);
        }
        s.pending.clear();
        s.pendingBytes = 0;
    }
    if (s.failed && !s.failureTold) {
        // An archive left with no entry at all is no backup of anything.
        if (s.writer.isOpen())
            closeArchive(s, true);
        result.failure = win32Message(s.failureCode);
        s.failureTold = true;
    }
    return result;
}

} // namespace

HandOver handOverFor(ReparseKind kind)
{
    switch (kind) {
    case ReparseKind::Link:
        // Deleting it could not be undone: the archive would hold its
        // target's bytes, and a restore would make a file of them.
        return HandOver::LinkKept;
    case ReparseKind::NotLocal:
        return HandOver::NotLocal;  // never fetched just to be deleted
    case ReparseKind::Unknown:
        return HandOver::UnknownLink;
    default:
        return HandOver::Pending;
    }
}

HandOver backUpForDeletion(const std::wstring& path, uint64_t countBytes, bool counted)
{
    Session& s = session();
    const std::wstring name = storedNameOf(path);
    if (name.empty() || pathTooLong(path) || sameFile(path, s.path))
        return HandOver::Refused;
    if (s.failed)
        return HandOver::ArchiveFailed;
    // Delete access is asked for now, so a file that could not be deleted is
    // never reported as backed up and gone; the data is read through the same
    // handle that later deletes it. A link is opened itself, not its target;
    // a folder does not open at all.
    const std::wstring api = apiPath(path);
    win::UniqueFile file(CreateFileW(api.c_str(), GENERIC_READ | DELETE | FILE_WRITE_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    zip::SourceInfo info;
    if (!file || !zip::sourceInfo(file.get(), info) || info.folder)
        return HandOver::Refused;
    const DWORD attributes = info.attributes;
    win::UniqueFile dataHandle;
    const ReparseKind kind = reparseKindOf(attributes, reparseTagOf(file.get()));
    if (const HandOver kept = handOverFor(kind); kept != HandOver::Pending)
        return kept;
    if (kind == ReparseKind::ReadThrough) {
        // Compressed, deduplicated or hydrated cloud files: the system's
        // filter serves the data to a normal open, not to the reparse point.
        dataHandle.reset(CreateFileW(api.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!dataHandle || !zip::sourceInfo(dataHandle.get(), info) || info.folder)
            return HandOver::Refused;
        info.attributes = attributes;
    }
    // A read-only file refuses its delete disposition.
    if (attributes & FILE_ATTRIBUTE_READONLY)
        setAttributes(file.get(), attributes & ~FILE_ATTRIBUTE_READONLY);
    const bool stored = ensureOpen() && s.writer.add(dataHandle ? dataHandle.get() : file.get(), name, info);
    if (!stored) {
        const DWORD error = GetLastError();
        if (attributes & FILE_ATTRIBUTE_READONLY)
            setAttributes(file.get(), attributes);
        // A failed write, or an archive that cannot even be made, fails the
        // archive; otherwise only this file could not be read.
        if (!s.writer.failed() && s.writer.isOpen())
            return HandOver::Refused;
        markFailed(s, error);
        return HandOver::ArchiveFailed;
    }
    s.pendingBytes += info.size;
    s.pending.push_back(PendingFile{std::move(file), path, attributes, countBytes, counted});
    if (s.pending.size() >= kPendingFiles || s.pendingBytes >= kPendingBytes)
        carry(s.carried, settlePending(s));
    return HandOver::Pending;
}

BackupFlush flushBackupArchive()
{
    Session& s = session();
    BackupFlush result = std::exchange(s.carried, BackupFlush{});
    carry(result, settlePending(s));
    return result;
}

bool storeDurableCopy(const std::wstring& path)
{
    Session& s = session();
    if (s.failed)
        return false;
    const bool added = addToBackupArchive(path);
    if (s.writer.failed()) {
        markFailed(s);
        return false;
    }
    if (!added)
        return false;
    // Written and flushed to the disk before anyone may change the file.
    if (!s.writer.flush()) {
        markFailed(s);
        return false;
    }
    return true;
}

std::wstring finishBackupArchive()
{
    Session& s = session();
    BackupFlush settled = settlePending(s);
    std::wstring failure = settled.failure.empty() ? s.carried.failure : settled.failure;
    carry(s.carried, std::move(settled));  // still told to the next flush
    if (s.writer.isOpen()) {
        // A central directory that cannot be written leaves an archive the
        // run must not call complete.
        const DWORD code = s.writer.failureCode();
        if (!s.writer.close() && failure.empty())
            failure = win32Message(code ? code : ERROR_WRITE_FAULT);
        if (fileExists(s.path))
            recordBackup(s.path);
    }
    return failure;
}

bool discardBackupArchive()
{
    Session& s = session();
    const bool open = s.writer.isOpen();
    const bool empty = open && s.writer.entryCount() == 0;
    BackupFlush settled = settlePending(s);
    const bool keptRefused = settled.keptRefused;
    carry(s.carried, std::move(settled));
    if (s.writer.isOpen())
        closeArchive(s, false);
    if (empty)
        DeleteFileW(apiPath(s.path).c_str());
    return keptRefused;
}

// --- cUnZip -------------------------------------------------------------------

void resetOverwriteAnswer() { lastOverwriteAnswer() = 0; }

bool isSafeStoredName(std::wstring_view name)
{
    if (name.empty() || name.front() == L'/' || name.front() == L'\\')
        return false;
    std::wstring part;
    const auto partOk = [&] { return part != L".." && part != L"."; };
    for (wchar_t c : name) {
        if (c == L'/' || c == L'\\') {
            if (part.empty() || !partOk())
                return false;
            part.clear();
            continue;
        }
        if (c < 32 || c == L':' || c == L'<' || c == L'>' || c == L'"' || c == L'|' || c == L'?' || c == L'*')
            return false;
        part += c;
    }
    return part.empty() || partOk();
}

void cUnZip::setZipFile(std::wstring path)
{
    m_zipFile = std::move(path);
    m_entries.clear();
    m_raw.clear();
    m_recovered = false;
}

void cUnZip::Directory()
{
    const zip::Listing listing = zip::list(m_zipFile);
    m_entries.clear();
    m_raw.clear();
    m_isZip = listing.ok;
    m_recovered = listing.recovered;
    for (const auto& e : listing.entries) {
        ArchiveEntry a;
        std::wstring name = e.name;
        std::replace(name.begin(), name.end(), L'/', L'\\');
        const size_t slash = name.find_last_of(L'\\');
        if (slash == std::wstring::npos) {
            a.Filename = name;
        } else {
            a.Filename = name.substr(slash + 1);
            a.FileDirectory = name.substr(0, slash);
        }
        a.FileSize = e.size;
        a.FilePackedSize = e.packedSize;
        a.FileCompressionRatio =
            e.size ? static_cast<int32_t>(std::llround(static_cast<double>(e.packedSize) * 100.0 / static_cast<double>(e.size)))
                   : 0;
        a.FileCompressionMethod = zip::methodName(e.method);
        const FILETIME utc = e.lastWriteTime();
        FILETIME local{};
        FileTimeToLocalFileTime(&utc, &local);
        FileTimeToSystemTime(&local, &a.FileDate);
        a.FileDate.wSecond = 0;
        a.FileDate.wMilliseconds = 0;
        a.FileCRC = e.crc;
        a.FileEncrypted = e.encrypted();
        a.FileSelected = true;
        m_entries.push_back(std::move(a));
        m_raw.push_back(e);
    }
}

int32_t cUnZip::askOverwrite(const std::wstring& file)
{
    int32_t& last = lastOverwriteAnswer();
    if (last == kOverwriteAll || last == kOverwriteNone)
        return last;
    last = OverWritePrompt ? OverWritePrompt(file) : kOverwriteNo;
    return last;
}

bool isReplacedFilesArchive(std::wstring_view archive)
{
    const size_t slash = archive.find_last_of(L"\\/");
    const std::wstring_view name = slash == std::wstring_view::npos ? archive : archive.substr(slash + 1);
    return name.size() > 2 && (name[0] == L'R' || name[0] == L'r') && name[1] == L'_';
}

namespace {

// An entry of a replaced-files archive: its drive's root and its name below it.
bool splitDrive(const std::wstring& name, std::wstring& root, std::wstring& rest)
{
    if (name.size() < 3 || !iswalpha(name[0]) || name[0] > 0x7F || name[1] != L'/')
        return false;
    root = std::wstring(1, static_cast<wchar_t>(towupper(name[0]))) + L":\\";
    rest = name.substr(2);
    return true;
}

} // namespace

std::wstring cUnZip::targetRoot() const
{
    if (!TargetRoot.empty()) {
        std::wstring root = TargetRoot;
        if (root.back() != L'\\')
            root += L'\\';
        return root;
    }
    const size_t slash = m_zipFile.find_last_of(L"\\/");
    const std::wstring fileName = slash == std::wstring::npos ? m_zipFile : m_zipFile.substr(slash + 1);
    const wchar_t letter = fileName.empty() ? L'\0' : fileName[0];
    return iswalpha(letter) ? std::wstring(1, letter) + L":\\" : std::wstring();
}

namespace {

// Opens `name` inside the folder `parent` refers to: the name is resolved
// from that handle, never again from a path that may have changed.
HANDLE openInside(HANDLE parent, const std::wstring& name, ACCESS_MASK access, ULONG share, ULONG disposition,
                  ULONG options)
{
    if (name.empty() || name.size() > 32767)
        return INVALID_HANDLE_VALUE;
    UNICODE_STRING us;
    us.Buffer = const_cast<wchar_t*>(name.c_str());
    us.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    us.MaximumLength = us.Length;
    OBJECT_ATTRIBUTES oa;
    InitializeObjectAttributes(&oa, &us, OBJ_CASE_INSENSITIVE, parent, nullptr);
    IO_STATUS_BLOCK io{};
    HANDLE h = nullptr;
    const NTSTATUS status = NtCreateFile(&h, access | SYNCHRONIZE, &oa, &io, nullptr, FILE_ATTRIBUTE_NORMAL, share,
                                         disposition, options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    return status >= 0 && h ? h : INVALID_HANDLE_VALUE;
}

bool basicInfo(HANDLE h, FILE_BASIC_INFO& info)
{
    return GetFileInformationByHandleEx(h, FileBasicInfo, &info, sizeof info) != FALSE;
}

// Folders on the way to a restored file, each opened from the one before
// it, checked and held: a held folder cannot be renamed, deleted or swapped
// for a link meanwhile, and nothing is ever resolved through a link.
class VerifiedFolders {
public:
    // Opens the root; false when it cannot be reached.
    bool openRoot(const std::wstring& root)
    {
        win::UniqueFile h(CreateFileW(apiPath(root).c_str(), FILE_READ_ATTRIBUTES | FILE_TRAVERSE | SYNCHRONIZE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!h)
            return false;
        m_path = root.substr(0, root.size() - 1);
        m_held.push_back(std::move(h));
        return true;
    }
    // Makes and verifies every folder of `relative` (no leading "\").
    // Empty on success, else why it failed.
    std::wstring walk(const std::wstring& relative)
    {
        size_t at = 0;
        while (at < relative.size()) {
            size_t next = relative.find(L'\\', at);
            if (next == std::wstring::npos)
                next = relative.size();
            const std::wstring part = relative.substr(at, next - at);
            at = next + 1;
            m_path += L'\\' + part;
            // The name's own view first: a link that a handle would hide.
            const DWORD attrs = GetFileAttributesW(apiPath(m_path).c_str());
            if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_REPARSE_POINT))
                return L"its folder " + m_path + L" is a link, which a restore never follows";
            if (attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY))
                return L"a file stands where its folder " + m_path + L" should be";
            // No delete sharing: while held, nobody renames or replaces it.
            win::UniqueFile h(openInside(m_held.back().get(), part,
                                         FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY | FILE_ADD_FILE |
                                             FILE_ADD_SUBDIRECTORY | FILE_TRAVERSE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN_IF,
                                         FILE_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT));
            FILE_BASIC_INFO basic{};
            if (!h || !basicInfo(h.get(), basic))
                return attrs == INVALID_FILE_ATTRIBUTES ? L"its folder " + m_path + L" cannot be made"
                                                        : L"its folder " + m_path + L" cannot be opened";
            if (basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
                return L"its folder " + m_path + L" is a link, which a restore never follows";
            m_held.push_back(std::move(h));
        }
        return {};
    }
    HANDLE folder() const noexcept { return m_held.back().get(); }
    const std::wstring& path() const noexcept { return m_path; }

private:
    std::vector<win::UniqueFile> m_held;
    std::wstring m_path;
};

std::wstring randomTempName()
{
    static std::mt19937_64 rng{std::random_device{}() ^ GetTickCount64()};
    wchar_t buf[32];
    swprintf(buf, 32, L"svz%012llx.tmp", static_cast<unsigned long long>(rng() & 0xFFFFFFFFFFFFull));
    return buf;
}

// Gives the open file the name `leaf` in the folder `folder` refers to,
// replacing a file of that name.
bool renameInside(HANDLE file, HANDLE folder, const std::wstring& leaf)
{
    std::vector<unsigned char> buf(sizeof(FILE_RENAME_INFORMATION) + (leaf.size() + 1) * sizeof(wchar_t), 0);
    auto* info = reinterpret_cast<FILE_RENAME_INFORMATION*>(buf.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = folder;
    info->FileNameLength = static_cast<ULONG>(leaf.size() * sizeof(wchar_t));
    std::copy(leaf.begin(), leaf.end(), info->FileName);
    IO_STATUS_BLOCK io{};
    return NtSetInformationFile(file, &io, info, static_cast<ULONG>(buf.size()), FileRenameInformation) >= 0;
}

} // namespace

std::vector<std::wstring> cUnZip::targetFolders() const
{
    std::vector<std::wstring> folders;
    const bool perDrive = isReplacedFilesArchive(m_zipFile) && TargetRoot.empty();
    const std::wstring root = targetRoot();
    if (root.empty() && !perDrive)
        return folders;
    for (size_t i = 0; i < m_raw.size(); ++i) {
        std::wstring entryRoot = root, name = m_raw[i].name;
        if (perDrive && !splitDrive(m_raw[i].name, entryRoot, name))
            continue;
        if ((OnlySelected && !m_entries[i].FileSelected) || !isSafeStoredName(name))
            continue;
        const size_t last = name.find_last_of(L'/', name.size() - (m_raw[i].isFolder() ? 2 : 1));
        std::wstring folder = entryRoot + replaceAll(last == std::wstring::npos ? L"" : name.substr(0, last), L"/", L"\\");
        if (m_raw[i].isFolder())
            folder = entryRoot + replaceAll(name, L"/", L"\\");
        while (folder.size() > 3 && folder.back() == L'\\')
            folder.pop_back();
        if (std::none_of(folders.begin(), folders.end(), [&](const std::wstring& f) { return iequals(f, folder); }))
            folders.push_back(folder);
    }
    return folders;
}

bool cUnZip::Unzip()
{
    m_extracted = 0;
    m_kept = 0;
    m_cancelled = false;
    m_failures.clear();
    if (m_zipFile.empty())
        return false;
    const bool perDrive = isReplacedFilesArchive(m_zipFile) && TargetRoot.empty();
    const std::wstring root = perDrive ? L"C:\\" : targetRoot();
    win::UniqueFile archive(CreateFileW(apiPath(m_zipFile).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS, nullptr));
    if (root.empty() || !archive) {
        for (const auto& e : m_raw)
            m_failures.push_back({e.name, root.empty() ? L"no drive letter in the archive's name" : L"the archive cannot be opened"});
        return false;
    }
    std::vector<size_t> chosen;
    for (size_t i = 0; i < m_raw.size(); ++i)
        if (!OnlySelected || m_entries[i].FileSelected)
            chosen.push_back(i);
    // Two names over one record, or records inside each other: refused.
    const std::vector<bool> overlapping = zip::overlappingEntries(archive.get(), m_raw);
    uint64_t needed = 0;
    for (size_t i : chosen)
        if (!overlapping[i] && !m_raw[i].isFolder())
            needed += m_raw[i].size;
    ULARGE_INTEGER freeBytes{};
    if (needed > 0 && GetDiskFreeSpaceExW(root.c_str(), &freeBytes, nullptr, nullptr) && needed > freeBytes.QuadPart &&
        !(ConfirmLowSpace && ConfirmLowSpace(needed, freeBytes.QuadPart))) {
        m_cancelled = true;
        return false;
    }
    for (size_t i : chosen) {
        zip::Entry e = m_raw[i];
        std::wstring entryRoot = root;
        if (perDrive && !splitDrive(m_raw[i].name, entryRoot, e.name)) {
            m_failures.push_back({e.name, L"the name names no drive"});
            continue;
        }
        if (!isSafeStoredName(e.name)) {
            m_failures.push_back({e.name, L"the name leads outside the drive root"});
            continue;
        }
        if (overlapping[i]) {
            m_failures.push_back({e.name, L"its data overlaps another entry of the archive"});
            continue;
        }
        if (e.encrypted()) {
            m_failures.push_back({e.name, L"the entry is encrypted"});
            continue;
        }
        if (e.method != 0 && e.method != 8) {
            m_failures.push_back({e.name, L"unknown compression method " + zip::methodName(e.method)});
            continue;
        }
        extractOne(archive.get(), e, entryRoot);
    }
    return m_extracted > 0 && m_failures.empty();
}

bool cUnZip::extractOne(HANDLE archive, const zip::Entry& e, const std::wstring& root)
{
    std::wstring rel = e.name;
    std::replace(rel.begin(), rel.end(), L'/', L'\\');
    const bool folder = e.isFolder();
    if (folder)
        rel.pop_back();
    if (!UseFolderNames) {
        if (folder)
            return true;
        rel = rel.substr(rel.find_last_of(L'\\') + 1);
    }
    const auto fail = [&](const std::wstring& why) {
        m_failures.push_back({e.name, why});
        return false;
    };
    const size_t slash = rel.find_last_of(L'\\');
    const std::wstring parentRel = folder ? rel : (slash == std::wstring::npos ? std::wstring() : rel.substr(0, slash));
    const std::wstring leaf = folder ? std::wstring() : rel.substr(slash == std::wstring::npos ? 0 : slash + 1);
    VerifiedFolders folders;
    if (!folders.openRoot(root))
        return fail(L"the drive it was backed up from cannot be reached");
    if (const std::wstring why = folders.walk(parentRel); !why.empty())
        return fail(why);
    if (folder)
        return true;
    const std::wstring target = folders.path() + L'\\' + leaf;
    // What stands at the name now, seen from the verified folder.
    FILE_BASIC_INFO existing{};
    bool exists = false;
    {
        win::UniqueFile probe(openInside(folders.folder(), leaf, FILE_READ_ATTRIBUTES,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                                         FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT));
        exists = probe && basicInfo(probe.get(), existing);
    }
    if (!exists && GetFileAttributesW(apiPath(target).c_str()) != INVALID_FILE_ATTRIBUTES)
        return fail(L"the file in place cannot be read");
    if (exists) {
        if (existing.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            return fail(L"a folder has its name");
        bool replace = false;
        if (ExtractOnlyNewer) {
            const FILETIME mine = e.lastWriteTime();
            const uint64_t value = (static_cast<uint64_t>(mine.dwHighDateTime) << 32) | mine.dwLowDateTime;
            // DOS times hold two-second steps.
            replace = value > static_cast<uint64_t>(existing.LastWriteTime.QuadPart) + 20000000ull;
        } else if (OverwriteExisting) {
            replace = true;
        } else if (PromptToOverwrite) {
            const int32_t answer = askOverwrite(target);
            replace = answer == kOverwriteYes || answer == kOverwriteAll;
        }
        if (!replace) {
            ++m_kept;
            return true;
        }
    }
    // The data goes to a file of its own in the verified folder first; the
    // target is replaced only by a complete copy whose CRC matched.
    win::UniqueFile out;
    for (int attempt = 0; attempt < 8 && !out; ++attempt)
        out.reset(openInside(folders.folder(), randomTempName(),
                             GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, 0, FILE_CREATE,
                             FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT));
    if (!out)
        return fail(L"the extracted copy cannot be written");
    const auto discard = [&] {
        FILE_DISPOSITION_INFO dispose{TRUE};
        SetFileInformationByHandle(out.get(), FileDispositionInfo, &dispose, sizeof dispose);
        out.reset();
    };
    const zip::Extracted result = zip::extractTo(archive, e, out.get());
    if (result != zip::Extracted::Ok) {
        discard();
        switch (result) {
        case zip::Extracted::BadCrc: return fail(L"its CRC does not match");
        case zip::Extracted::WriteError: return fail(L"the disk refused the data");
        default: return fail(L"its data is damaged");
        }
    }
    const FILETIME lastWrite = e.lastWriteTime();
    SetFileTime(out.get(), nullptr, nullptr, &lastWrite);
    // A read-only file in place refuses to be replaced: its mark goes first,
    // and comes back when the replacement fails.
    const bool readOnly = exists && (existing.FileAttributes & FILE_ATTRIBUTE_READONLY);
    const auto setInPlace = [&](DWORD attributes) {
        win::UniqueFile h(openInside(folders.folder(), leaf, FILE_WRITE_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                                     FILE_OPEN_REPARSE_POINT | FILE_NON_DIRECTORY_FILE));
        FILE_BASIC_INFO b{};
        b.FileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
        return h && SetFileInformationByHandle(h.get(), FileBasicInfo, &b, sizeof b);
    };
    if (exists && BeforeReplace) {
        // What is replaced is stored first, so the restore can be undone.
        win::UniqueFile current(openInside(folders.folder(), leaf, GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                                           FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT));
        if (!current || !BeforeReplace(current.get(), target)) {
            discard();
            return fail(L"the file in place could not be stored first, so it stays");
        }
    }
    if (readOnly)
        setInPlace(existing.FileAttributes & ~FILE_ATTRIBUTE_READONLY);
    if (!renameInside(out.get(), folders.folder(), leaf)) {
        discard();
        if (readOnly)
            setInPlace(existing.FileAttributes);
        return fail(L"the file in place cannot be replaced");
    }
    const unsigned host = e.madeBy >> 8;
    const DWORD kept = e.externalAttributes &
                       (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
    if ((host == 0 || host == 10 || host == 11 || host == 14) && kept) {
        FILE_BASIC_INFO basic{};
        if (GetFileInformationByHandleEx(out.get(), FileBasicInfo, &basic, sizeof basic)) {
            basic.FileAttributes = kept;
            SetFileInformationByHandle(out.get(), FileBasicInfo, &basic, sizeof basic);
        }
    }
    out.reset();
    ++m_extracted;
    return true;
}

std::wstring restoreSummary(const cUnZip& unzip)
{
    const size_t failed = unzip.failures().size();
    const bool damaged = unzip.recovered();
    if (failed == 0 && !damaged && unzip.keptCount() == 0 && unzip.extractedCount() > 0)
        return L"Files Restored Successfully";
    std::wstring text;
    if (failed > 0)
        text = L"There was an error in restoring files";
    else if (damaged)
        text = L"The backup was damaged: only the files found in it could be restored.";
    else if (unzip.extractedCount() == 0)
        text = L"No file was restored: the files of this backup are all in place and the overwrite method kept them.";
    else
        text = L"Files Restored Successfully";
    text += L"\r\n\r\nRestored: " + std::to_wstring(unzip.extractedCount()) +
            L"\r\nKept in place by the overwrite method: " + std::to_wstring(unzip.keptCount()) +
            L"\r\nFailed: " + std::to_wstring(failed);
    if (damaged)
        text += L"\r\n\r\nThe archive is damaged: its central directory is missing, so its entries were recovered "
                L"from the local headers, and files past the damage are missing.";
    constexpr size_t kNamed = 5;
    if (failed > 0)
        text += L"\r\n";
    for (size_t i = 0; i < failed && i < kNamed; ++i)
        text += L"\r\n" + unzip.failures()[i].name + L": " + unzip.failures()[i].reason;
    if (failed > kNamed)
        text += L"\r\n... and " + std::to_wstring(failed - kNamed) + L" more";
    return text;
}

} // namespace sorvane

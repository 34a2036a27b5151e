#include "options/BackupArchive.h"

#include "core/StartupSettings.h"
#include "core/SystemPaths.h"
#include "core/Text.h"
#include "win/UniqueHandle.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

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
};

struct Session {
    std::wstring path;
    zip::Writer writer;
    std::vector<PendingFile> pending;
    uint64_t pendingBytes = 0;
    size_t undeleted = 0;
};

Session& session()
{
    static Session s;
    return s;
}

// Creates the folder and every missing one above it.
bool makeFolders(const std::wstring& folder)
{
    if (folder.empty() || folderExists(folder))
        return true;
    const size_t slash = folder.find_last_of(L'\\');
    if (slash != std::wstring::npos && slash > 2 && !makeFolders(folder.substr(0, slash)))
        return false;
    return CreateDirectoryW(apiPath(folder).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool ensureOpen()
{
    Session& s = session();
    if (s.writer.isOpen())
        return true;
    if (s.path.empty())
        return false;
    const size_t slash = s.path.find_last_of(L'\\');
    if (slash != std::wstring::npos && !makeFolders(s.path.substr(0, slash)))
        return false;
    return s.writer.open(s.path);
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
    session().path = backupArchiveName(folder, prefix, localNow());
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

int backUpForDeletion(const std::wstring& path, bool& backedUp)
{
    backedUp = false;
    Session& s = session();
    const std::wstring name = storedNameOf(path);
    if (name.empty() || pathTooLong(path) || sameFile(path, s.path))
        return 0;
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
        return 0;
    const DWORD attributes = info.attributes;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        // A link: its data lives elsewhere and stays; only its own name goes.
        return markForDeletion(file.get()) ? 1 : 0;
    }
    // A read-only file refuses its delete disposition.
    if (attributes & FILE_ATTRIBUTE_READONLY)
        setAttributes(file.get(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (!ensureOpen() || !s.writer.add(file.get(), name, info)) {
        if (attributes & FILE_ATTRIBUTE_READONLY)
            setAttributes(file.get(), attributes);
        return 0;
    }
    backedUp = true;
    s.pendingBytes += info.size;
    s.pending.push_back(PendingFile{std::move(file), path, attributes});
    if (s.pending.size() >= kPendingFiles || s.pendingBytes >= kPendingBytes)
        flushBackupArchive();
    return 1;
}

size_t flushBackupArchive()
{
    Session& s = session();
    if (!s.pending.empty()) {
        // Not on disk: the files stay, since they would be lost otherwise.
        const bool onDisk = s.writer.flush();
        for (auto& p : s.pending) {
            if (!onDisk || !markForDeletion(p.handle.get())) {
                ++s.undeleted;
                if (p.attributes & FILE_ATTRIBUTE_READONLY)
                    setAttributes(p.handle.get(), p.attributes);
                p.handle.reset();
            }
        }
        s.pending.clear();  // closing the handles deletes the files
        s.pendingBytes = 0;
    }
    return std::exchange(s.undeleted, 0);
}

void finishBackupArchive()
{
    Session& s = session();
    const size_t undeleted = flushBackupArchive();
    s.undeleted += undeleted;  // still told to the next flush
    if (s.writer.isOpen())
        s.writer.close();
}

void discardBackupArchive(RunState& run)
{
    Session& s = session();
    const bool open = s.writer.isOpen();
    const bool empty = open && s.writer.entryCount() == 0;
    const size_t undeleted = flushBackupArchive();
    if (undeleted)
        run.bLocked = -1;
    if (open)
        s.writer.close();
    if (empty)
        DeleteFileW(apiPath(s.path).c_str());
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

bool cUnZip::Unzip()
{
    m_extracted = 0;
    m_failures.clear();
    if (m_zipFile.empty())
        return false;
    const size_t slash = m_zipFile.find_last_of(L"\\/");
    const std::wstring fileName = slash == std::wstring::npos ? m_zipFile : m_zipFile.substr(slash + 1);
    const wchar_t letter = fileName.empty() ? L'\0' : fileName[0];
    win::UniqueFile archive(CreateFileW(apiPath(m_zipFile).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS, nullptr));
    if (!iswalpha(letter) || !archive) {
        for (const auto& e : m_raw)
            m_failures.push_back({e.name, iswalpha(letter) ? L"the archive cannot be opened" : L"no drive letter in the archive's name"});
        return false;
    }
    const std::wstring root = std::wstring(1, letter) + L":\\";
    for (const auto& e : m_raw) {
        if (!isSafeStoredName(e.name)) {
            m_failures.push_back({e.name, L"the name leads outside the drive root"});
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
        extractOne(archive.get(), e, root);
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
    const std::wstring target = root + rel;
    const auto fail = [&](const std::wstring& why) {
        m_failures.push_back({e.name, why});
        return false;
    };
    const size_t slash = target.find_last_of(L'\\');
    const std::wstring parent = target.substr(0, slash);
    if (!makeFolders(folder ? target : parent))
        return fail(L"its folder cannot be made");
    if (folder)
        return true;
    const DWORD existing = GetFileAttributesW(apiPath(target).c_str());
    if (existing != INVALID_FILE_ATTRIBUTES) {
        if (existing & FILE_ATTRIBUTE_DIRECTORY)
            return fail(L"a folder has its name");
        bool replace = false;
        if (ExtractOnlyNewer) {
            WIN32_FILE_ATTRIBUTE_DATA data{};
            GetFileAttributesExW(apiPath(target).c_str(), GetFileExInfoStandard, &data);
            const FILETIME mine = e.lastWriteTime();
            const auto value = [](const FILETIME& t) {
                return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
            };
            // DOS times hold two-second steps.
            replace = value(mine) > value(data.ftLastWriteTime) + 20000000ull;
        } else if (OverwriteExisting) {
            replace = true;
        } else if (PromptToOverwrite) {
            const int32_t answer = askOverwrite(target);
            replace = answer == kOverwriteYes || answer == kOverwriteAll;
        }
        if (!replace)
            return true;
    }
    // The data goes to a file of its own first; the target is replaced only
    // by a complete copy whose CRC matched.
    wchar_t temp[MAX_PATH];
    if (parent.size() >= MAX_PATH - 14 || !GetTempFileNameW(parent.c_str(), L"svz", 0, temp))
        return fail(L"no room for the extracted copy");
    win::UniqueFile out(CreateFileW(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) {
        DeleteFileW(temp);
        return fail(L"the extracted copy cannot be written");
    }
    const zip::Extracted result = zip::extractTo(archive, e, out.get());
    if (result != zip::Extracted::Ok) {
        out.reset();
        DeleteFileW(temp);
        switch (result) {
        case zip::Extracted::BadCrc: return fail(L"its CRC does not match");
        case zip::Extracted::WriteError: return fail(L"the disk refused the data");
        default: return fail(L"its data is damaged");
        }
    }
    const FILETIME written = e.lastWriteTime();
    SetFileTime(out.get(), nullptr, nullptr, &written);
    out.reset();
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(apiPath(target).c_str(), existing & ~FILE_ATTRIBUTE_READONLY);
    if (!MoveFileExW(temp, apiPath(target).c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileW(temp);
        if (existing != INVALID_FILE_ATTRIBUTES)
            SetFileAttributesW(apiPath(target).c_str(), existing);
        return fail(L"the file in place cannot be replaced");
    }
    const unsigned host = e.madeBy >> 8;
    const DWORD kept = e.externalAttributes &
                       (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
    if ((host == 0 || host == 10 || host == 11 || host == 14) && kept)
        SetFileAttributesW(apiPath(target).c_str(), kept);
    ++m_extracted;
    return true;
}

} // namespace sorvane

#include "platform/PinnedPath.h"

#include "platform/ErrorReport.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"

#include <userenv.h>

namespace sorvane {

namespace {

// One part of the way, opened without following it. A folder is shared
// only for reading: nobody can rename it, delete it or write a reparse point
// into it while it is held. The last part, the file, may be written and
// deleted by the program's own engine and by SQLite.
win::UniqueFile openPart(const std::wstring& path, bool shared)
{
    const DWORD share = shared ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE : FILE_SHARE_READ;
    return win::UniqueFile(CreateFileW(apiPath(path).c_str(), FILE_READ_ATTRIBUTES | SYNCHRONIZE, share, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                       nullptr));
}

bool isLink(HANDLE h, const std::wstring& path)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info))
        return true;  // nothing can be told of it: treated as a link
    // The name's own attributes too: some file systems report a link only
    // through the folder entry.
    const DWORD named = GetFileAttributesW(apiPath(path).c_str());
    const DWORD attributes = info.dwFileAttributes | (named == INVALID_FILE_ATTRIBUTES ? 0 : named);
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    const ReparseKind kind = reparseKindOf(attributes, reparseTagOf(h));
    return kind == ReparseKind::Link || kind == ReparseKind::Unknown;
}

bool insideFolder(const std::wstring& path, const std::wstring& folder)
{
    return !folder.empty() && path.size() > folder.size() && istartsWith(path, folder) &&
           (folder.back() == L'\\' || path[folder.size()] == L'\\');
}

std::wstring withoutTrailingSlash(std::wstring path)
{
    while (path.size() > 3 && path.back() == L'\\')
        path.pop_back();
    return path;
}

} // namespace

std::wstring tokenProfileFolder()
{
    win::UniqueHandleNull token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()))
        return {};
    wchar_t buf[MAX_PATH + 1] = {};
    DWORD size = MAX_PATH;
    if (!GetUserProfileDirectoryW(token.get(), buf, &size))
        return {};
    return withoutTrailingSlash(buf);
}

std::wstring finalPathOf(HANDLE handle)
{
    std::wstring buf(512, L'\0');
    for (int i = 0; i < 2; ++i) {
        const DWORD n = GetFinalPathNameByHandleW(handle, buf.data(), static_cast<DWORD>(buf.size()),
                                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (n == 0)
            return {};
        if (n < buf.size()) {
            buf.resize(n);
            if (buf.rfind(L"\\\\?\\UNC\\", 0) == 0)
                return {};  // a share: never a place of the user's profile
            if (buf.rfind(L"\\\\?\\", 0) == 0)
                buf.erase(0, 4);
            return buf;
        }
        buf.resize(n + 1);
    }
    return {};
}

std::optional<PinnedPath> PinnedPath::open(const std::wstring& path, const std::wstring& within, Kind kind,
                                           std::wstring& why)
{
    const std::wstring target = withoutTrailingSlash(path);
    const std::wstring root = withoutTrailingSlash(within);
    if (!isFullLocalPath(target) || !isFullLocalPath(root) || !insideFolder(target, root)) {
        why = L"it is not inside your user folder";
        return std::nullopt;
    }
    PinnedPath pinned;
    pinned.m_path = target;
    pinned.m_kind = kind;
    // Every part from the drive down: those above the profile are the
    // system's, checked for links; from the profile down each is held.
    const size_t rootLength = root.size();
    for (size_t end = target.find(L'\\', 3);; end = target.find(L'\\', end + 1)) {
        const bool last = end == std::wstring::npos;
        const std::wstring part = last ? target : target.substr(0, end);
        // Parts above the profile are only checked, and opened sharing all.
        const bool held = part.size() >= rootLength;
        win::UniqueFile h = openPart(part, !held || (last && kind == Kind::File));
        if (!h) {
            const DWORD error = GetLastError();
            why = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? L"it is not there"
                                                                                 : win32Message(error);
            return std::nullopt;
        }
        if (isLink(h.get(), part)) {
            why = part == target ? L"it is a link" : L"a link is on its way (" + part + L")";
            return std::nullopt;
        }
        if (last) {
            BY_HANDLE_FILE_INFORMATION info{};
            if (!GetFileInformationByHandle(h.get(), &info)) {
                why = win32Message(GetLastError());
                return std::nullopt;
            }
            const bool folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            if (folder != (kind == Kind::Folder)) {
                why = folder ? L"it is not a file" : L"it is not a folder";
                return std::nullopt;
            }
            if (!folder && info.nNumberOfLinks > 1) {
                why = L"other names share its data";
                return std::nullopt;
            }
        }
        if (held || last)
            pinned.m_chain.push_back(std::move(h));
        if (last)
            break;
    }
    // Where the system itself says the file is, against where the profile is.
    win::UniqueFile rootHandle = openPart(root, false);
    const std::wstring finalRoot = rootHandle ? finalPathOf(rootHandle.get()) : std::wstring();
    const std::wstring finalTarget = finalPathOf(pinned.m_chain.back().get());
    if (finalRoot.empty() || finalTarget.empty()) {
        why = L"where it really lies cannot be told";
        return std::nullopt;
    }
    if (!insideFolder(finalTarget, finalRoot)) {
        why = L"it really lies outside your user folder (" + finalTarget + L")";
        return std::nullopt;
    }
    pinned.m_finalPath = finalTarget;
    return pinned;
}

std::optional<PinnedPath> PinnedPath::inProfile(const std::wstring& path, Kind kind, std::wstring& why)
{
    const std::wstring profile = tokenProfileFolder();
    if (profile.empty()) {
        why = L"your user folder cannot be told";
        return std::nullopt;
    }
    return open(path, profile, kind, why);
}

bool PinnedPath::anythingAt(const std::wstring& path)
{
    WIN32_FIND_DATAW fd;
    win::UniqueFind find(FindFirstFileExW(apiPath(path).c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr, 0));
    return static_cast<bool>(find);
}

void PinnedPath::releaseFile()
{
    if (m_kind == Kind::File && !m_chain.empty())
        m_chain.pop_back();
}

win::UniqueFile PinnedPath::reopenForReading() const
{
    win::UniqueFile h(CreateFileW(apiPath(m_path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (h && !sameFile(h.get()))
        h.reset();
    return h;
}

bool PinnedPath::sameFile(HANDLE handle) const
{
    BY_HANDLE_FILE_INFORMATION a{}, b{};
    if (m_chain.empty() || !GetFileInformationByHandle(m_chain.back().get(), &a) ||
        !GetFileInformationByHandle(handle, &b))
        return false;
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

} // namespace sorvane

#include "platform/SystemPaths.h"

#include "platform/DoEvents.h"
#include "platform/ErrorReport.h"
#include "platform/ShellOpen.h"
#include "platform/Text.h"
#include "win/UniqueHandle.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <sddl.h>
#include <cwctype>
#include <mutex>
#include <vector>

namespace sorvane {

namespace {

template <typename F>
std::wstring folderFrom(const wchar_t* tag, F call)
{
    std::wstring out;
    step(tag, [&] {
        wchar_t buf[512] = {};
        const UINT n = call(buf, 512u);
        if (n == 0 || n >= 512)
            raiseWin32(n ? ERROR_INSUFFICIENT_BUFFER : GetLastError());
        out.assign(buf, n);
    });
    return out;
}

} // namespace

std::wstring getWinDir()
{
    return folderFrom(L"modFunctions,getWinDir", [](wchar_t* b, UINT n) { return GetWindowsDirectoryW(b, n); });
}

std::wstring getSystemDir()
{
    return folderFrom(L"modFunctions,getSystemDir", [](wchar_t* b, UINT n) { return GetSystemDirectoryW(b, n); });
}

std::wstring TemporaryDirectory()
{
    return folderFrom(L"modFunctions,TemporaryDirectory",
                      [](wchar_t* b, UINT n) { return static_cast<UINT>(GetTempPathW(n, b)); });
}

std::wstring expandEnvironment(std::wstring_view text)
{
    const std::wstring in(text);
    if (in.find(L'%') == std::wstring::npos)
        return in;
    std::wstring out(32768, L'\0');
    const DWORD n = ExpandEnvironmentStringsW(in.c_str(), out.data(), static_cast<DWORD>(out.size()));
    if (n == 0 || n > out.size())
        return in;
    out.resize(n - 1);
    return out;
}

std::wstring convertWinPath(std::wstring& path)
{
    step(L"modFunctions,convertWinPath", [&] {
        if (!icontains(path, L"%SYSTEMROOT%"))
            return;
        const std::wstring win = getWinDir();
        path = win.empty() ? std::wstring() : replaceAllNoCase(path, L"%SYSTEMROOT%", win);
    });
    return path;
}

std::wstring getDriveList()
{
    // 26 drives need 105 characters; ask for the size the call reports.
    std::wstring buf(128, L'\0');
    DWORD n = GetLogicalDriveStringsW(static_cast<DWORD>(buf.size()), buf.data());
    if (n > buf.size()) {
        buf.assign(n + 1, L'\0');
        n = GetLogicalDriveStringsW(static_cast<DWORD>(buf.size()), buf.data());
    }
    if (n == 0 || n > buf.size())
        return L"";
    buf.resize(n + 1);
    return buf;
}

std::wstring driveTypeName(std::wstring_view root, unsigned type)
{
    switch (type) {
    case DRIVE_UNKNOWN: return L"The drive type cannot be determined";
    case DRIVE_NO_ROOT_DIR: return L"The root directory does not exist";
    case DRIVE_REMOVABLE: {
        const wchar_t c = root.empty() ? L'\0' : static_cast<wchar_t>(towlower(root[0]));
        return c == L'a' || c == L'b' ? L"Floppy drive" : L"Removable drive";
    }
    case DRIVE_FIXED: return L"Hard drive;";
    case DRIVE_REMOTE: return L"Remote (network) drive";
    case DRIVE_CDROM: return L"CD-ROM drive";
    case DRIVE_RAMDISK: return L"RAM disk";
    default: return L"";
    }
}

std::optional<uint64_t> freeSpaceOf(wchar_t drive)
{
    const wchar_t root[] = {drive, L':', L'\\', L'\0'};
    ULARGE_INTEGER available{}, total{}, free{};
    if (!GetDiskFreeSpaceExW(root, &available, &total, &free))
        return std::nullopt;
    return free.QuadPart;
}

std::vector<std::pair<wchar_t, uint64_t>> localDrivesFreeSpace()
{
    std::vector<std::pair<wchar_t, uint64_t>> drives;
    const DWORD mask = GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if (!(mask & (1u << i)))
            continue;
        const wchar_t letter = static_cast<wchar_t>(L'A' + i);
        const wchar_t root[] = {letter, L':', L'\\', L'\0'};
        const UINT type = GetDriveTypeW(root);
        if (type != DRIVE_FIXED && type != DRIVE_REMOVABLE && type != DRIVE_RAMDISK)
            continue;
        if (const auto free = freeSpaceOf(letter))
            drives.emplace_back(letter, *free);
    }
    return drives;
}

std::wstring rgbDrvType(std::wstring_view root)
{
    std::wstring out;
    step(L"modFunctions,rgbDrvType",
         [&] { out = driveTypeName(root, GetDriveTypeW(std::wstring(root).c_str())); });
    return out;
}

std::wstring getPath(HWND owner)
{
    std::wstring out;
    step(L"modFunctions,getPath", [&] {
        BROWSEINFOW bi{};
        bi.hwndOwner = owner;
        bi.lpszTitle = L"Please Select the folder";
        bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN;
        PIDLIST_ABSOLUTE pidl = SHBrowseForFolderW(&bi);
        if (!pidl)
            return;
        wchar_t buf[MAX_PATH] = {};
        if (SHGetPathFromIDListW(pidl, buf))
            out = stripNull(std::wstring_view(buf, MAX_PATH));
        CoTaskMemFree(pidl);
    });
    return out;
}

std::wstring fileNameOf(std::wstring_view path)
{
    const size_t slash = path.find_last_of(L'\\');
    return std::wstring(slash == std::wstring_view::npos ? path : path.substr(slash + 1));
}

void QueryRecycleBin(std::wstring_view root, int64_t& size, int64_t& count)
{
    size = 0;
    count = 0;
    step(L"modFunctions,QueryRecycleBin", [&] {
        SHQUERYRBINFO info{};
        info.cbSize = sizeof info;
        const std::wstring r(root);
        const HRESULT hr = SHQueryRecycleBinW(r.empty() ? nullptr : r.c_str(), &info);
        if (FAILED(hr))
            raiseError(static_cast<long>(hr), win32Message(static_cast<unsigned long>(hr)));
        size = info.i64Size;
        count = info.i64NumItems;
    });
}

std::wstring normaliseRecycleRoot(std::wstring_view root)
{
    if (root.empty())
        return L"";
    if (root.size() >= 3 && root.substr(1, 2) == L":\\")
        return std::wstring(root);
    return std::wstring(1, root[0]) + L":\\";
}

unsigned long recycleBinFlags(bool noConfirmation, bool noProgress, bool noSound)
{
    return (noConfirmation ? SHERB_NOCONFIRMATION : 0) | (noProgress ? SHERB_NOPROGRESSUI : 0) |
           (noSound ? SHERB_NOSOUND : 0);
}

bool EmptyRecycleBin(std::wstring_view root, bool noConfirmation, bool noProgress, bool noSound)
{
    return step(L"modFunctions,EmptyRecycleBin", [&] {
        const std::wstring r = normaliseRecycleRoot(root);
        const HRESULT hr = SHEmptyRecycleBinW(GetActiveWindow(), r.empty() ? nullptr : r.c_str(),
                                              recycleBinFlags(noConfirmation, noProgress, noSound));
        if (SUCCEEDED(hr))
            return;
        // Some systems answer an already empty bin with a failure code:
        // only a bin that still holds items is a failure worth reporting.
        SHQUERYRBINFO info{};
        info.cbSize = sizeof info;
        if (SUCCEEDED(SHQueryRecycleBinW(r.empty() ? nullptr : r.c_str(), &info)) && info.i64NumItems == 0)
            return;
        raiseError(static_cast<long>(hr), win32Message(static_cast<unsigned long>(hr)));
    });
}

void openInternetOptions()
{
    doEvents();
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWMINIMIZED;
    PROCESS_INFORMATION pi{};
    // By its full path: an elevated process must not pick up a rundll32.exe
    // from the current folder or the search path.
    const std::wstring system = getSystemDir();
    if (system.empty())
        return;
    const std::wstring exe = system + L"\\rundll32.exe";
    std::wstring cmd = L"\"" + exe + L"\" shell32.dll,Control_RunDLL inetcpl.cpl ";
    if (CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
}

bool shellOpen(std::wstring_view operation, std::wstring_view file, std::wstring_view parameters,
               std::wstring_view folder, int showCommand, std::wstring* error)
{
    ShellRequest request;
    request.operation = operation;
    request.file = file;
    request.parameters = parameters;
    request.folder = folder;
    request.show = showCommand;
    std::wstring why;
    const bool opened = openAsUser(request, why);
    if (error)
        *error = why;
    return opened;
}

void showFileProperties(std::wstring_view path, HWND owner)
{
    const std::wstring p(path);
    SHELLEXECUTEINFOW sei{};
    sei.cbSize = sizeof sei;
    sei.fMask = SEE_MASK_INVOKEIDLIST | SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    sei.hwnd = owner;
    sei.lpVerb = L"properties";
    sei.lpFile = p.c_str();
    sei.nShow = SW_SHOW;
    if (ShellExecuteExW(&sei) && sei.hProcess)
        CloseHandle(sei.hProcess);
}

void autoSizeColumns(HWND listView)
{
    HWND header = reinterpret_cast<HWND>(SendMessageW(listView, LVM_GETHEADER, 0, 0));
    const int columns = header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    for (int i = 0; i < columns; ++i)
        SendMessageW(listView, LVM_SETCOLUMNWIDTH, i, LVSCW_AUTOSIZE_USEHEADER);
}

std::wstring joinPath(std::wstring_view folder, std::wstring_view name)
{
    while (!folder.empty() && folder.back() == L'\\')
        folder.remove_suffix(1);
    return std::wstring(folder) + L"\\" + std::wstring(name);
}

std::wstring numberedName(std::wstring_view path, int n)
{
    const size_t slash = path.find_last_of(L'\\');
    const size_t dot = path.find_last_of(L'.');
    const size_t at = dot == std::wstring_view::npos || (slash != std::wstring_view::npos && dot < slash) ? path.size() : dot;
    return std::wstring(path.substr(0, at)) + L" (" + std::to_wstring(n) + L")" + std::wstring(path.substr(at));
}

std::wstring createUnderFreeName(const std::wstring& first, const std::function<std::wstring(int)>& numbered,
                                 const std::function<bool(const std::wstring&)>& create)
{
    std::wstring name = first;
    for (int n = 2;; ++n) {
        if (create(name))
            return name;
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            return {};
        name = numbered(n);
    }
}

std::wstring createUnderFreeName(const std::wstring& first, const std::function<bool(const std::wstring&)>& create)
{
    return createUnderFreeName(first, [&first](int n) { return numberedName(first, n); }, create);
}

namespace {

// The type of a drive, asked of the system at most once a second per drive:
// the question costs far more than deleting a file (under Wine, 0.7 ms), and
// the deletion engine asks it before every file.
UINT recentDriveType(wchar_t letter)
{
    struct Known {
        UINT type = DRIVE_UNKNOWN;
        ULONGLONG asked = 0;
    };
    static std::mutex lock;
    static Known known[26];
    const size_t i = static_cast<size_t>(towupper(letter) - L'A');
    if (i >= 26)
        return DRIVE_UNKNOWN;
    const ULONGLONG now = GetTickCount64();
    {
        std::lock_guard<std::mutex> hold(lock);
        if (known[i].asked != 0 && now - known[i].asked < 1000)
            return known[i].type;
    }
    const wchar_t root[] = {static_cast<wchar_t>(L'A' + i), L':', L'\\', 0};
    const UINT type = GetDriveTypeW(root);
    std::lock_guard<std::mutex> hold(lock);
    known[i] = {type, now};
    return type;
}

} // namespace

bool isFullLocalPath(std::wstring_view path)
{
    if (path.rfind(L"\\\\?\\", 0) == 0)
        path.remove_prefix(4);
    if (path.size() < 3 || path[1] != L':' || path[2] != L'\\' || !iswalpha(path[0]) || path[0] > 0x7F)
        return false;
    if (path.find(L'/') != std::wstring_view::npos)
        return false;
    const UINT type = recentDriveType(path[0]);
    if (type == DRIVE_REMOTE || type == DRIVE_NO_ROOT_DIR || type == DRIVE_UNKNOWN)
        return false;
    // Parts between backslashes; only the last may be empty (a folder's
    // trailing backslash).
    std::wstring_view rest = path.substr(3);
    while (!rest.empty()) {
        const size_t end = rest.find(L'\\');
        const std::wstring_view part = rest.substr(0, end);
        if (part == L"." || part == L".." || (part.empty() && end != std::wstring_view::npos))
            return false;
        rest = end == std::wstring_view::npos ? std::wstring_view() : rest.substr(end + 1);
    }
    return true;
}

namespace {

bool hasDotPart(std::wstring_view path)
{
    for (size_t start = 0; start <= path.size();) {
        const size_t end = std::min(path.find(L'\\', start), path.size());
        const std::wstring_view part = path.substr(start, end - start);
        if (part == L"." || part == L"..")
            return true;
        start = end + 1;
    }
    return false;
}

} // namespace

std::wstring longPathOf(const std::wstring& path)
{
    // Only a path with a short name in it can change. Wine's
    // GetLongPathNameW overruns its own buffer on paths past MAX_PATH (and
    // hands a short name back as it is behind the "\\?\" prefix), so such
    // a path is left as it is.
    if (path.find(L'~') == std::wstring::npos || path.size() >= MAX_PATH)
        return path;
    const DWORD n = GetLongPathNameW(path.c_str(), nullptr, 0);
    if (n == 0)
        return path;
    std::wstring out(n, L'\0');
    const DWORD got = GetLongPathNameW(path.c_str(), out.data(), n);
    if (got == 0 || got >= n)
        return path;
    out.resize(got);
    return out;
}

std::wstring apiPath(std::wstring_view path)
{
    // Every full path gets the "\\?\" form: no length limit, and no name
    // rules applied, so "foo." or "foo " is that file and never "foo". One
    // with "." or ".." parts keeps the system's reading below the length
    // limit, so that the protected folder checks see where it leads.
    constexpr size_t kPlainLimit = MAX_PATH - 12;
    if (path.rfind(L"\\\\?\\", 0) == 0 || path.rfind(L"\\\\.\\", 0) == 0)
        return std::wstring(path);
    if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\' &&
        (path.size() >= kPlainLimit || (path.find(L'/') == std::wstring_view::npos && !hasDotPart(path))))
        return L"\\\\?\\" + std::wstring(path);
    if (path.rfind(L"\\\\", 0) == 0 && path.size() >= kPlainLimit)
        return L"\\\\?\\UNC\\" + std::wstring(path.substr(2));
    return std::wstring(path);
}

uint64_t fileLength(std::wstring_view path)
{
    if (pathTooLong(path))
        raiseWin32(ERROR_FILENAME_EXCED_RANGE);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(apiPath(path).c_str(), GetFileExInfoStandard, &data))
        raiseWin32(GetLastError());
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool fileExists(std::wstring_view path)
{
    if (pathTooLong(path))
        return false;
    const DWORD a = GetFileAttributesW(apiPath(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool folderExists(std::wstring_view path)
{
    if (pathTooLong(path))
        return false;
    const DWORD a = GetFileAttributesW(apiPath(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

ReparseKind reparseKindOf(unsigned long attributes, unsigned long tag)
{
    constexpr unsigned long kAppExecLink = 0x8000001BUL;  // IO_REPARSE_TAG_APPEXECLINK
    constexpr unsigned long kRecallOnOpen = 0x00040000UL;
    constexpr unsigned long kRecallOnDataAccess = 0x00400000UL;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
        (tag == IO_REPARSE_TAG_SYMLINK || tag == IO_REPARSE_TAG_MOUNT_POINT || tag == kAppExecLink))
        return ReparseKind::Link;
    // Reading such a file would fetch it from the network, or fail.
    if (attributes & (FILE_ATTRIBUTE_OFFLINE | kRecallOnOpen | kRecallOnDataAccess))
        return ReparseKind::NotLocal;
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return ReparseKind::None;
    return tag == 0 ? ReparseKind::Unknown : ReparseKind::ReadThrough;
}

unsigned long reparseTagOf(void* file)
{
    FILE_ATTRIBUTE_TAG_INFO info{};
    if (!GetFileInformationByHandleEx(static_cast<HANDLE>(file), FileAttributeTagInfo, &info, sizeof info))
        return 0;
    return (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? info.ReparseTag : 0;
}

bool makeFolders(std::wstring_view folder)
{
    const std::wstring path(folder);
    if (path.empty() || folderExists(path))
        return true;
    const size_t slash = path.find_last_of(L'\\');
    if (slash != std::wstring::npos && slash > 2 && !makeFolders(path.substr(0, slash)))
        return false;
    return CreateDirectoryW(apiPath(path).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

std::wstring currentUserSid()
{
    std::wstring user;
    win::UniqueHandleNull token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()))
        return user;
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buf(size ? size : 1);
    wchar_t* sid = nullptr;
    if (size && GetTokenInformation(token.get(), TokenUser, buf.data(), size, &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buf.data())->User.Sid, &sid)) {
        user = sid;
        LocalFree(sid);
    }
    return user;
}

std::wstring privateFolderSddl()
{
    const std::wstring user = currentUserSid();
    // Protected: nothing is inherited from the folder above. The user reads
    // the backups; only administrators and SYSTEM write there, so no program
    // of the user's can put a backup into the folder for the elevated
    // restore to write back.
    std::wstring sddl = L"D:P";
    if (!user.empty())
        sddl += L"(A;OICI;FR;;;" + user + L")";
    return sddl + L"(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";
}

bool makePrivateFolder(std::wstring_view folder)
{
    std::wstring path(folder);
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/'))
        path.pop_back();
    if (path.empty() || folderExists(path))
        return true;
    const size_t slash = path.find_last_of(L'\\');
    // The folders above are ordinary ones.
    if (slash != std::wstring::npos && slash > 2 && !makeFolders(path.substr(0, slash)))
        return false;
    PSECURITY_DESCRIPTOR sd = nullptr;
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, FALSE};
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(privateFolderSddl().c_str(), SDDL_REVISION_1, &sd,
                                                             nullptr))
        sa.lpSecurityDescriptor = sd;
    const BOOL made = CreateDirectoryW(apiPath(path).c_str(), sd ? &sa : nullptr);
    const DWORD err = GetLastError();
    if (sd)
        LocalFree(sd);
    return made || err == ERROR_ALREADY_EXISTS;
}

} // namespace sorvane

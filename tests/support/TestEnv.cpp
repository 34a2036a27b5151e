#include "support/TestEnv.h"

#include "platform/AppFolder.h"
#include "platform/ErrorReport.h"
#include "platform/PinnedPath.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <vector>

namespace testenv {

namespace {

// Error reports made by the code under test go to a closed loopback port,
// never to a name lookup; tests that check reports start their own server.
// Tests create, delete and recycle files: they run only in the disposable
// prefix that scripts/test.sh makes, where no drive leads to the host.
const bool g_inSandbox = [] {
    wchar_t buf[8] = {};
    const bool marked = GetEnvironmentVariableW(L"SORVANE_SANDBOX", buf, 8) > 0;
    const bool hostDrive = GetDriveTypeW(L"Z:\\") != DRIVE_NO_ROOT_DIR;
    if (!marked || hostDrive) {
        std::fprintf(stderr, "Refusing to run: start the tests with scripts/test.sh (a sandboxed Wine prefix).\n");
        ExitProcess(2);
    }
    return true;
}();

const bool g_reportsStayLocal = [] {
    sorvane::setVendorSite(L"http://127.0.0.1:9");
    return true;
}();

std::wstring uniqueName()
{
    static std::atomic<int> counter{0};
    return std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount()) + L"-" +
           std::to_wstring(++counter);
}

} // namespace

// Without recursion, so the deepest test trees go too; links are removed,
// never followed.
void removeTree(const std::wstring& root)
{
    const auto api = [](const std::wstring& p) {
        return p.size() >= MAX_PATH - 12 && p.rfind(L"\\\\?\\", 0) != 0 ? L"\\\\?\\" + p : p;
    };
    const DWORD rootAttrs = GetFileAttributesW(api(root).c_str());
    if (rootAttrs == INVALID_FILE_ATTRIBUTES)
        return;
    struct Entry {
        std::wstring path;
        bool listed;
    };
    std::vector<Entry> stack{{root, false}};
    while (!stack.empty()) {
        Entry& top = stack.back();
        const std::wstring path = top.path;
        const DWORD attrs = GetFileAttributesW(api(path).c_str());
        if (attrs == INVALID_FILE_ATTRIBUTES) {
            stack.pop_back();
            continue;
        }
        SetFileAttributesW(api(path).c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!(attrs & FILE_ATTRIBUTE_DIRECTORY)) {
            DeleteFileW(api(path).c_str());
            stack.pop_back();
            continue;
        }
        if (top.listed || (attrs & FILE_ATTRIBUTE_REPARSE_POINT)) {
            RemoveDirectoryW(api(path).c_str());
            stack.pop_back();
            continue;
        }
        top.listed = true;
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW(api(path + L"\\*").c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = fd.cFileName;
                if (name != L"." && name != L"..")
                    stack.push_back({path + L"\\" + name, false});
            } while (FindNextFileW(h, &fd));
            FindClose(h);
        }
    }
}

TempFolder::TempFolder(Where where)
{
    const std::wstring root =
        where == Where::Profile ? sorvane::tokenProfileFolder() + L"\\sorvane-tests" : L"C:\\sorvane-tests";
    CreateDirectoryW(root.c_str(), nullptr);
    m_path = root + L"\\t" + uniqueName();
    CreateDirectoryW(m_path.c_str(), nullptr);
}

TempFolder::~TempFolder() { removeTree(m_path); }

ScopedAppFolder::ScopedAppFolder() : m_saved(sorvane::appFolder()) { sorvane::setAppFolder(m_folder.path()); }
ScopedAppFolder::~ScopedAppFolder() { sorvane::setAppFolder(m_saved); }

TestKey::TestKey() : m_path(L"Software\\SorvaneTest\\k" + uniqueName())
{
    HKEY k = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, m_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr);
    if (k)
        RegCloseKey(k);
}

TestKey::~TestKey() { SHDeleteKeyW(HKEY_CURRENT_USER, m_path.c_str()); }

std::wstring TestKey::full(std::wstring_view sub) const
{
    return sub.empty() ? m_path : m_path + L"\\" + std::wstring(sub);
}

void TestKey::createSub(std::wstring_view sub) const
{
    HKEY k = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, full(sub).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr);
    if (k)
        RegCloseKey(k);
}

void TestKey::setString(std::wstring_view sub, std::wstring_view name, std::wstring_view value, DWORD type) const
{
    createSub(sub);
    const std::wstring v(value);
    RegSetKeyValueW(HKEY_CURRENT_USER, full(sub).c_str(), std::wstring(name).c_str(), type, v.c_str(),
                    static_cast<DWORD>((v.size() + 1) * sizeof(wchar_t)));
}

void TestKey::setDword(std::wstring_view sub, std::wstring_view name, DWORD value) const
{
    createSub(sub);
    RegSetKeyValueW(HKEY_CURRENT_USER, full(sub).c_str(), std::wstring(name).c_str(), REG_DWORD, &value,
                    sizeof value);
}

void TestKey::setBinary(std::wstring_view sub, std::wstring_view name, std::string_view bytes) const
{
    createSub(sub);
    RegSetKeyValueW(HKEY_CURRENT_USER, full(sub).c_str(), std::wstring(name).c_str(), REG_BINARY, bytes.data(),
                    static_cast<DWORD>(bytes.size()));
}

bool TestKey::valueExists(std::wstring_view sub, std::wstring_view name) const
{
    return RegGetValueW(HKEY_CURRENT_USER, full(sub).c_str(), std::wstring(name).c_str(), RRF_RT_ANY, nullptr,
                        nullptr, nullptr) == ERROR_SUCCESS;
}

bool TestKey::keyExists(std::wstring_view sub) const
{
    HKEY k = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, full(sub).c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
        return false;
    RegCloseKey(k);
    return true;
}

static void queryCounts(const std::wstring& path, DWORD& values, DWORD& subkeys)
{
    values = subkeys = 0;
    HKEY k = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
        return;
    RegQueryInfoKeyW(k, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                     nullptr);
    RegCloseKey(k);
}

int TestKey::valueCount(std::wstring_view sub) const
{
    DWORD v, s;
    queryCounts(full(sub), v, s);
    return static_cast<int>(v);
}

int TestKey::subkeyCount(std::wstring_view sub) const
{
    DWORD v, s;
    queryCounts(full(sub), v, s);
    return static_cast<int>(s);
}

void writeFile(const std::wstring& path, std::string_view bytes)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << "cannot create test file";
    DWORD written = 0;
    if (!bytes.empty())
        WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
}

ScopedRegValue::ScopedRegValue(HKEY root, std::wstring key, std::wstring name, const wchar_t* value, DWORD type)
    : m_root(root), m_key(std::move(key)), m_name(std::move(name))
{
    DWORD bytes = 0;
    if (RegGetValueW(m_root, m_key.c_str(), m_name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &m_type, nullptr, &bytes) ==
        ERROR_SUCCESS) {
        m_data.resize(bytes);
        m_had = RegGetValueW(m_root, m_key.c_str(), m_name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &m_type,
                             m_data.data(), &bytes) == ERROR_SUCCESS;
        m_data.resize(bytes);
    }
    if (value) {
        const std::wstring v(value);
        HKEY k = nullptr;
        RegCreateKeyExW(m_root, m_key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr);
        if (k)
            RegCloseKey(k);
        RegSetKeyValueW(m_root, m_key.c_str(), m_name.c_str(), type, v.c_str(),
                        static_cast<DWORD>((v.size() + 1) * sizeof(wchar_t)));
    } else {
        RegDeleteKeyValueW(m_root, m_key.c_str(), m_name.c_str());
    }
}

ScopedRegValue::~ScopedRegValue()
{
    if (m_had)
        RegSetKeyValueW(m_root, m_key.c_str(), m_name.c_str(), m_type, m_data.data(),
                        static_cast<DWORD>(m_data.size()));
    else
        RegDeleteKeyValueW(m_root, m_key.c_str(), m_name.c_str());
}

ScopedShellFolder::ScopedShellFolder(const std::wstring& name, const wchar_t* path)
    : m_user(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders", name,
             path, REG_EXPAND_SZ),
      m_shell(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", name, path)
{
}

ScopedRegLink::ScopedRegLink(const std::wstring& path, const std::wstring& target) : m_path(path)
{
    HKEY link = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_VOLATILE | REG_OPTION_CREATE_LINK,
                        KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &link, nullptr) != ERROR_SUCCESS)
        return;
    const std::wstring to = L"\\Registry\\Machine\\" + target;
    m_made = RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(to.c_str()),
                            static_cast<DWORD>(to.size() * sizeof(wchar_t))) == ERROR_SUCCESS;
    RegCloseKey(link);
}

ScopedRegLink::~ScopedRegLink()
{
    HKEY link = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, m_path.c_str(), REG_OPTION_OPEN_LINK, DELETE | KEY_QUERY_VALUE, &link) !=
        ERROR_SUCCESS)
        return;
    using NtDeleteKeyFn = LONG(WINAPI*)(HANDLE);
    if (auto del = reinterpret_cast<NtDeleteKeyFn>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtDeleteKey")))
        del(link);
    RegCloseKey(link);
}

void makeDir(const std::wstring& path)
{
    // One level at a time, so "\\?\" paths of any depth work too.
    const size_t start = path.rfind(L"\\\\?\\", 0) == 0 ? 7 : 3;
    for (size_t pos = path.find(L'\\', start); ; pos = path.find(L'\\', pos + 1)) {
        CreateDirectoryW(path.substr(0, pos).c_str(), nullptr);
        if (pos == std::wstring::npos)
            break;
    }
}

void setWriteTime(const std::wstring& path, WORD year, WORD month, WORD day, WORD hour)
{
    SYSTEMTIME local{};
    local.wYear = year;
    local.wMonth = month;
    local.wDay = day;
    local.wHour = hour;
    SYSTEMTIME utc{};
    TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc);
    FILETIME ft{};
    SystemTimeToFileTime(&utc, &ft);
    HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        SetFileTime(h, nullptr, nullptr, &ft);
        CloseHandle(h);
    }
}

std::string readFile(const std::wstring& path)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return {};
    std::string out;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got)
        out.append(buf, got);
    CloseHandle(h);
    return out;
}

std::vector<std::wstring> filesIn(const std::wstring& folder, const std::wstring& mask)
{
    std::vector<std::wstring> out;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((folder + L"\\" + mask).c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return out;
    do
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            out.push_back(folder + L"\\" + fd.cFileName);
    while (FindNextFileW(h, &fd));
    FindClose(h);
    std::sort(out.begin(), out.end());
    return out;
}

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool sendToRecycleBin(const std::wstring& path)
{
    std::wstring from = path + L'\0';
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
    return SHFileOperationW(&op) == 0;
}

std::wstring sorvaneExe()
{
    wchar_t buf[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableW(L"SORVANE_EXE", buf, MAX_PATH);
    return n ? std::wstring(buf, n) : std::wstring(L"C:\\sorvane-bin\\Sorvane.exe");
}

PROCESS_INFORMATION startProcess(const std::wstring& exe)
{
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::wstring cmd = L"\"" + exe + L"\"";
    const size_t slash = exe.find_last_of(L'\\');
    const std::wstring dir = exe.substr(0, slash);
    // Wine now and then refuses a start while another process of the same
    // image is still loading; a few tries, then the error is told.
    DWORD error = 0;
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &pi))
            return pi;
        error = GetLastError();
        Sleep(300);
    }
    ADD_FAILURE() << "CreateProcessW failed with error " << error;
    return pi;
}

SorvaneProcess::SorvaneProcess(const std::wstring& appFolder)
{
    const std::wstring exe = appFolder + L"\\Sorvane.exe";
    if (!CopyFileW(sorvaneExe().c_str(), exe.c_str(), FALSE))
        ADD_FAILURE() << "cannot copy Sorvane.exe from " << std::string(sorvaneExe().begin(), sorvaneExe().end());
    m_pi = startProcess(exe);
    if (!m_pi.hProcess)
        ADD_FAILURE() << "cannot start Sorvane.exe";
}

SorvaneProcess::~SorvaneProcess()
{
    if (m_pi.hProcess) {
        if (WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(m_pi.hProcess, 1);
            WaitForSingleObject(m_pi.hProcess, 5000);
        }
        CloseHandle(m_pi.hProcess);
        CloseHandle(m_pi.hThread);
    }
}

namespace {
struct FindArgs {
    DWORD pid;
    const wchar_t* cls;
    const wchar_t* title;
    HWND found;
};

BOOL CALLBACK findWindowOf(HWND hwnd, LPARAM lp)
{
    auto* a = reinterpret_cast<FindArgs*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != a->pid || !IsWindowVisible(hwnd))
        return TRUE;
    wchar_t buf[256] = {};
    if (a->cls) {
        GetClassNameW(hwnd, buf, 256);
        if (std::wstring_view(buf) != a->cls)
            return TRUE;
    }
    if (a->title) {
        GetWindowTextW(hwnd, buf, 256);
        if (std::wstring_view(buf) != a->title)
            return TRUE;
    }
    a->found = hwnd;
    return FALSE;
}
} // namespace

HWND SorvaneProcess::waitForMainWindow(DWORD ms)
{
    const DWORD start = GetTickCount();
    do {
        FindArgs a{m_pi.dwProcessId, L"SorvaneMain", nullptr, nullptr};
        EnumWindows(findWindowOf, reinterpret_cast<LPARAM>(&a));
        if (a.found)
            return a.found;
        Sleep(100);
    } while (GetTickCount() - start < ms);
    return nullptr;
}

HWND SorvaneProcess::waitForWindow(std::wstring_view title, DWORD ms)
{
    const std::wstring t(title);
    const DWORD start = GetTickCount();
    do {
        FindArgs a{m_pi.dwProcessId, L"#32770", t.c_str(), nullptr};
        EnumWindows(findWindowOf, reinterpret_cast<LPARAM>(&a));
        if (a.found)
            return a.found;
        Sleep(100);
    } while (GetTickCount() - start < ms);
    return nullptr;
}

DWORD SorvaneProcess::waitForExit(DWORD ms)
{
    WaitForSingleObject(m_pi.hProcess, ms);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(m_pi.hProcess, &code);
    return code;
}

} // namespace testenv

#include "core/ProtectedFolders.h"

#include "platform/AppFolder.h"
#include "platform/Registry.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "win/UniqueHandle.h"

#include <windows.h>
#include <shlobj.h>

#include <vector>

namespace sorvane {

namespace {

std::wstring fullPathOf(std::wstring_view path)
{
    const std::wstring p(path);
    std::vector<wchar_t> buf(p.size() + MAX_PATH);
    DWORD n = GetFullPathNameW(p.c_str(), static_cast<DWORD>(buf.size()), buf.data(), nullptr);
    if (n >= buf.size()) {
        buf.resize(n + 1);
        n = GetFullPathNameW(p.c_str(), static_cast<DWORD>(buf.size()), buf.data(), nullptr);
    }
    return n && n < buf.size() ? std::wstring(buf.data(), n) : p;
}

// The path behind every link and junction on the way, as the file system
// names it; empty when the folder cannot be opened.
std::wstring finalPathOf(const std::wstring& path)
{
    win::UniqueFile h(CreateFileW(apiPath(path).c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!h)
        return L"";
    std::vector<wchar_t> buf(MAX_PATH + 1);
    DWORD n = GetFinalPathNameByHandleW(h.get(), buf.data(), static_cast<DWORD>(buf.size()), FILE_NAME_NORMALIZED);
    if (n >= buf.size()) {
        buf.resize(n + 1);
        n = GetFinalPathNameByHandleW(h.get(), buf.data(), static_cast<DWORD>(buf.size()), FILE_NAME_NORMALIZED);
    }
    if (n == 0 || n >= buf.size())
        return L"";
    std::wstring out(buf.data(), n);
    if (out.rfind(L"\\\\?\\UNC\\", 0) == 0)
        out = L"\\\\" + out.substr(8);
    else if (out.rfind(L"\\\\?\\", 0) == 0 && out.size() >= 6 && out[5] == L':')
        out = out.substr(4);
    return out;
}

} // namespace

std::wstring normaliseFolder(std::wstring_view path)
{
    std::wstring p = trim(path);
    if (p.empty() || pathTooLong(p))
        return toLower(p);
    for (auto& c : p)
        if (c == L'/')
            c = L'\\';
    // "C:" alone means the current folder of drive C to the platform; as a
    // folder value it names the drive, so treat it as its root.
    if (p.size() == 2 && p[1] == L':')
        p += L'\\';
    p = fullPathOf(p);
    p = longPathOf(p);
    const std::wstring final = finalPathOf(p);
    if (!final.empty())
        p = final;
    while (p.size() > 1 && (p.back() == L'\\' || p.back() == L' ' || p.back() == L'.')) {
        // Trailing dots and blanks are dropped by the platform too.
        if (p.size() == 3 && p[1] == L':')
            break;
        p.pop_back();
    }
    if (p.size() == 3 && p[1] == L':' && p[2] == L'\\')
        p.pop_back();
    return toLower(p);
}

bool isVolumeRoot(std::wstring_view n)
{
    if (n.size() == 2 && n[1] == L':')
        return true;
    if (n.rfind(L"\\\\?\\volume{", 0) == 0)
        return n.find(L'\\', 4) == std::wstring_view::npos;
    if (n.rfind(L"\\\\", 0) == 0) {
        // \\server\share and nothing below it
        const size_t serverEnd = n.find(L'\\', 2);
        return serverEnd == std::wstring_view::npos || n.find(L'\\', serverEnd + 1) == std::wstring_view::npos;
    }
    return false;
}

ProtectedFolders::ProtectedFolders(const std::vector<std::wstring>& folders)
{
    for (const auto& f : folders)
        add(f);
}

void ProtectedFolders::add(std::wstring_view path)
{
    if (trim(path).empty())
        return;
    const std::wstring n = normaliseFolder(path);
    if (!n.empty())
        m_folders.insert(n);
}

bool ProtectedFolders::isProtectedNormalised(std::wstring_view normalised) const
{
    if (normalised.empty())
        return false;
    return isVolumeRoot(normalised) || m_folders.count(std::wstring(normalised)) != 0;
}

ProtectedFolders ProtectedFolders::gather(std::wstring_view backupFolder)
{
    ProtectedFolders p;
    wchar_t buf[MAX_PATH + 1];
    const auto fromCall = [&](UINT n) {
        if (n > 0 && n < MAX_PATH)
            p.add(std::wstring_view(buf, n));
    };
    fromCall(GetWindowsDirectoryW(buf, MAX_PATH));
    fromCall(GetSystemWindowsDirectoryW(buf, MAX_PATH));
    fromCall(GetSystemDirectoryW(buf, MAX_PATH));
    fromCall(GetSystemWow64DirectoryW(buf, MAX_PATH));
    for (int csidl : {CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMON,
                      CSIDL_PROGRAM_FILES_COMMONX86, CSIDL_PROFILE, CSIDL_WINDOWS, CSIDL_SYSTEM}) {
        if (SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buf)))
            p.add(buf);
    }
    for (const wchar_t* var : {L"ProgramFiles", L"ProgramFiles(x86)", L"ProgramW6432", L"SystemRoot",
                               L"USERPROFILE", L"PUBLIC", L"ALLUSERSPROFILE", L"ProgramData"}) {
        const DWORD n = GetEnvironmentVariableW(var, buf, MAX_PATH);
        if (n > 0 && n < MAX_PATH)
            p.add(std::wstring_view(buf, n));
    }
    // The Users folder and every profile the machine knows of.
    constexpr const wchar_t* kProfileList = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
    for (const wchar_t* value : {L"ProfilesDirectory", L"Default", L"Public", L"AllUsersProfile"})
        p.add(expandEnvironment(getRegString(HKEY_LOCAL_MACHINE, kProfileList, value)));
    for (const auto& sid : getRegSubkeyNames(HKEY_LOCAL_MACHINE, kProfileList))
        p.add(expandEnvironment(
            getRegString(HKEY_LOCAL_MACHINE, std::wstring(kProfileList) + L"\\" + sid, L"ProfileImagePath")));
    const std::wstring profile = expandEnvironment(L"%USERPROFILE%");
    if (profile.find(L'%') == std::wstring::npos) {
        const size_t slash = profile.find_last_of(L'\\');
        if (slash != std::wstring::npos && slash > 2)
            p.add(profile.substr(0, slash));  // the folder that holds the profiles
    }
    p.add(appFolder());
    p.add(appFolder() + L"\\Backup");
    p.add(backupFolder);
    return p;
}

} // namespace sorvane

#include "support/RegTestSupport.h"

#include "platform/Registry.h"

#include <gtest/gtest.h>

namespace testenv {

using namespace sorvane;

namespace {

void snap(HKEY root, const std::wstring& path, const std::wstring& rel, Snapshot& out, REGSAM view)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return;
    auto& values = out[rel];
    for (DWORD i = 0;; ++i) {
        wchar_t name[16384];
        DWORD chars = 16384, type = 0, bytes = 0;
        if (RegEnumValueW(key, i, name, &chars, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS)
            break;
        std::string data(bytes, '\0');
        RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &bytes);
        values[std::wstring(name, chars)] = {type, data};
    }
    for (DWORD i = 0;; ++i) {
        wchar_t sub[256];
        DWORD chars = 256;
        if (RegEnumKeyExW(key, i, sub, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        snap(root, path + L"\\" + sub, rel + L"\\" + sub, out, view);
    }
    RegCloseKey(key);
}

} // namespace

Snapshot snapshot(HKEY root, const std::wstring& path, REGSAM view)
{
    Snapshot s;
    snap(root, path, L"", s, view);
    return s;
}

void setValue(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type, const void* data, size_t n,
              REGSAM view)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(n));
    RegCloseKey(key);
}
void setText(HKEY root, const std::wstring& path, const std::wstring& name, const std::wstring& text, DWORD type,
             REGSAM view)
{
    setValue(root, path, name, type, text.c_str(), (text.size() + 1) * sizeof(wchar_t), view);
}
void setDword(HKEY root, const std::wstring& path, const std::wstring& name, DWORD v)
{
    setValue(root, path, name, REG_DWORD, &v, sizeof v);
}
void removeKey(HKEY root, const std::wstring& path)
{
    deleteRegTree(root, path);
    deleteRegKey(root, path);
}

bool regImport(const std::wstring& file)
{
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    std::wstring cmd = L"\"" + std::wstring(system) + L"\\reg.exe\" import \"" + file + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
        return false;
    WaitForSingleObject(pi.hProcess, 30000);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return code == 0;
}

} // namespace testenv

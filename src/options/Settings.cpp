#include "options/Settings.h"

#include "core/AppFolder.h"
#include "core/ErrorReport.h"
#include "core/Text.h"

#include <windows.h>

#include <vector>

namespace sorvane {

std::wstring settingsPath() { return appFile(L"Settings.ini"); }

// The wide profile functions take the path as it is, so a folder whose name
// the code page cannot hold still finds its file; they keep an ANSI file ANSI.
std::wstring readSetting(std::wstring_view section, std::wstring_view key, std::wstring_view defaultValue,
                         size_t bufferChars)
{
    std::vector<wchar_t> buf(bufferChars + 1, L'\0');
    const std::wstring s(section), k(key), d(defaultValue), p = settingsPath();
    const DWORD n = GetPrivateProfileStringW(s.c_str(), k.c_str(), d.c_str(), buf.data(),
                                             static_cast<DWORD>(bufferChars), p.c_str());
    return stripNull(std::wstring_view(buf.data(), n));
}

void writeSetting(std::wstring_view section, std::wstring_view key, std::wstring_view value)
{
    const std::wstring s(section), k(key), v(value), p = settingsPath();
    if (!WritePrivateProfileStringW(s.c_str(), k.c_str(), v.c_str(), p.c_str()))
        raiseWin32(GetLastError());
}

} // namespace sorvane

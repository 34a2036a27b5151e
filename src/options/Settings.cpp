#include "options/Settings.h"

#include "core/AppFolder.h"
#include "core/ErrorReport.h"
#include "core/Text.h"

#include <windows.h>

#include <vector>

namespace sorvane {

std::wstring settingsPath() { return appFile(L"Settings.ini"); }

std::wstring readSetting(std::wstring_view section, std::wstring_view key, std::wstring_view defaultValue,
                         size_t bufferChars)
{
    std::vector<char> buf(bufferChars + 1, '\0');
    const std::string s = toAnsi(section), k = toAnsi(key), d = toAnsi(defaultValue), p = toAnsi(settingsPath());
    const DWORD n = GetPrivateProfileStringA(s.c_str(), k.c_str(), d.c_str(), buf.data(),
                                             static_cast<DWORD>(bufferChars), p.c_str());
    return stripNull(fromAnsi(std::string_view(buf.data(), n)));
}

void writeSetting(std::wstring_view section, std::wstring_view key, std::wstring_view value)
{
    const std::string s = toAnsi(section), k = toAnsi(key), v = toAnsi(value), p = toAnsi(settingsPath());
    if (!WritePrivateProfileStringA(s.c_str(), k.c_str(), v.c_str(), p.c_str()))
        raiseWin32(GetLastError());
}

} // namespace sorvane

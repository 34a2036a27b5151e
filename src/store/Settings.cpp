#include "store/Settings.h"

#include "store/Policy.h"

#include "platform/AppFolder.h"
#include "platform/ErrorReport.h"
#include "platform/Text.h"
#include "store/ListFiles.h"

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
    // The profile functions rewrite the file in place; they work on a copy,
    // which replaces the file once it is complete.
    const std::wstring s(section), k(key), v(value), p = settingsPath(), temp = savingNameOf(p);
    if (!CopyFileW(p.c_str(), temp.c_str(), FALSE)) {
        const DWORD err = GetLastError();
        if (err != ERROR_FILE_NOT_FOUND)
            raiseWin32(err);
        DeleteFileW(temp.c_str());
    }
    if (!WritePrivateProfileStringW(s.c_str(), k.c_str(), v.c_str(), temp.c_str())) {
        const DWORD err = GetLastError();
        DeleteFileW(temp.c_str());
        raiseWin32(err);
    }
    replaceWithNew(temp, p);
}

std::wstring startWithWindowsCommand() { return L"\"" + thisExecutable() + L"\""; }

std::wstring thisExecutable()
{
    std::wstring exe(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size()));
        if (n == 0)
            raiseWin32(GetLastError());
        if (n < exe.size()) {
            exe.resize(n);
            break;
        }
        exe.resize(exe.size() * 2);
    }
    return exe;
}

OverwriteMethod overwriteMethodFromText(std::wstring_view text)
{
    if (text == L"Always")
        return OverwriteMethod::Always;
    if (text == L"Newer")
        return OverwriteMethod::Newer;
    if (text == L"Prompt")
        return OverwriteMethod::Prompt;
    if (text == L"Never")
        return OverwriteMethod::Never;
    return OverwriteMethod::None;
}

const wchar_t* overwriteMethodText(OverwriteMethod m)
{
    switch (m) {
    case OverwriteMethod::Always: return L"Always";
    case OverwriteMethod::Newer: return L"Newer";
    case OverwriteMethod::Never: return L"Never";
    default: return L"Prompt";
    }
}

void loadVendorSite()
{
    setErrorReports(trim(readSetting(L"Internet", L"ErrorReports", L"1")) != L"0" &&
                    !readMachinePolicy().disableErrorReports);
    setVendorSite(readSetting(L"Internet", L"VendorSite", kDefaultVendorSite));
}

} // namespace sorvane

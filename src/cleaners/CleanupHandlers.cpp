#include "cleaners/CleanupHandlers.h"

#include "platform/PinnedPath.h"
#include "platform/Registry.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "win/UniqueHandle.h"

#include <shlwapi.h>

#include <algorithm>

namespace sorvane {

namespace {

// The final path of a file or folder, every link resolved; empty when it
// cannot be opened.
std::wstring resolved(const std::wstring& path)
{
    win::UniqueFile h(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return h ? finalPathOf(h.get()) : std::wstring();
}

bool isFullLocal(const std::wstring& path)
{
    return path.size() > 3 && iswalpha(path[0]) && path[1] == L':' && path[2] == L'\\';
}

// Disk Cleanup's handlers whose removals cannot be taken back: unticked by
// default and ticked only after a warning.
bool warnsWhenTicked(const std::wstring& subkey)
{
    for (const wchar_t* name : {L"Update Cleanup", L"Previous Installations", L"Windows ESD installation files",
                                L"DownloadsFolder", L"Temporary Setup Files"})
        if (iequals(subkey, name))
            return true;
    return false;
}

// A Display or Description text; an indirect string ("@file,-id") is read
// from the handler's own verified module only.
std::wstring handlerText(const std::wstring& value, bool trusted)
{
    if (value.empty() || value[0] != L'@')
        return value;
    if (!trusted)
        return L"";
    std::wstring out(1024, L'\0');
    if (FAILED(SHLoadIndirectString(value.c_str(), out.data(), static_cast<UINT>(out.size()), nullptr)))
        return L"";
    return stripNull(out);
}

} // namespace

std::wstring trustedHandlerDll(const std::wstring& clsid)
{
    if (clsid.size() != 38 || clsid.front() != L'{' || clsid.back() != L'}')
        return L"";
    // The machine's registration only: HKEY_CLASSES_ROOT would take the
    // user's own registration of the same class first.
    const RegText server =
        readRegText(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\CLSID\\" + clsid + L"\\InprocServer32", L"");
    if (!server.exists)
        return L"";
    std::wstring file = trim(server.text);
    if (file.size() >= 2 && file.front() == L'"' && file.back() == L'"')
        file = file.substr(1, file.size() - 2);
    file = expandEnvironment(file);
    // A bare name would be looked for along the search path.
    if (!isFullLocal(file))
        return L"";
    const std::wstring dll = resolved(file);
    const std::wstring system = resolved(getSystemDir());
    if (dll.empty() || system.empty())
        return L"";
    const size_t slash = dll.find_last_of(L'\\');
    if (slash == std::wstring::npos || !iequals(std::wstring_view(dll).substr(0, slash), system))
        return L"";
    return dll;
}

std::vector<CleanupHandler> listCleanupHandlers()
{
    std::vector<CleanupHandler> handlers;
    for (const auto& subkey : getRegSubkeyNames(HKEY_LOCAL_MACHINE, kVolumeCachesKey)) {
        const std::wstring key = std::wstring(kVolumeCachesKey) + L"\\" + subkey;
        CleanupHandler h;
        h.subkey = subkey;
        h.clsid = trim(readRegText(HKEY_LOCAL_MACHINE, key, L"").text);
        h.dll = trustedHandlerDll(h.clsid);
        h.display = handlerText(readRegText(HKEY_LOCAL_MACHINE, key, L"Display").text, h.trusted());
        if (h.display.empty())
            h.display = subkey;
        h.description = h.trusted() ? handlerText(readRegText(HKEY_LOCAL_MACHINE, key, L"Description").text, true)
                                    : std::wstring(kNotTrustedHandler);
        const long priority = getRegDword(HKEY_LOCAL_MACHINE, key, L"Priority");
        h.priority = priority < 0 ? 0 : static_cast<DWORD>(priority);
        h.warns = warnsWhenTicked(subkey);
        h.tickedByDefault = h.trusted() && !h.warns && getRegDword(HKEY_LOCAL_MACHINE, key, L"StateFlags") == 1;
        handlers.push_back(std::move(h));
    }
    std::stable_sort(handlers.begin(), handlers.end(),
                     [](const CleanupHandler& a, const CleanupHandler& b) { return a.priority > b.priority; });
    return handlers;
}

} // namespace sorvane

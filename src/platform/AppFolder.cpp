#include "platform/AppFolder.h"

#include <windows.h>

#include <vector>

namespace sorvane {

static std::wstring& folderSlot()
{
    static std::wstring folder = [] {
        std::vector<wchar_t> buf(32768);
        const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        std::wstring path(buf.data(), n);
        const size_t slash = path.find_last_of(L'\\');
        return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
    }();
    return folder;
}

const std::wstring& appFolder() { return folderSlot(); }

void setAppFolder(std::wstring folder)
{
    while (!folder.empty() && folder.back() == L'\\')
        folder.pop_back();
    folderSlot() = std::move(folder);
}

std::wstring appFile(std::wstring_view name)
{
    std::wstring p = appFolder();
    p += L'\\';
    p += name;
    return p;
}

} // namespace sorvane

#include "platform/ShellIcons.h"

#include "platform/SystemPaths.h"
#include "platform/Text.h"

#include <shellapi.h>

namespace win {

namespace {

// Files whose icon is their own rather than their type's.
bool hasOwnIcon(std::wstring_view extension)
{
    for (const wchar_t* e : {L"exe", L"lnk", L"ico", L"cur", L"ani", L"scr", L"url", L"cpl", L"msc", L"pif"})
        if (extension == e)
            return true;
    return false;
}

} // namespace

HIMAGELIST SmallFileIcons::systemList()
{
    SHFILEINFOW info{};
    return reinterpret_cast<HIMAGELIST>(SHGetFileInfoW(L"x.txt", FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                                                       SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES));
}

int SmallFileIcons::iconOf(const std::wstring& path, std::wstring_view name)
{
    const size_t dot = name.find_last_of(L'.');
    const std::wstring type = dot == std::wstring_view::npos ? std::wstring() : sorvane::toLower(name.substr(dot + 1));
    SHFILEINFOW info{};
    if (hasOwnIcon(type)) {
        if (!sorvane::pathTooLong(path) &&
            SHGetFileInfoW(path.c_str(), 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON))
            return info.iIcon;
        return 0;
    }
    const auto known = m_byType.find(type);
    if (known != m_byType.end())
        return known->second;
    const std::wstring probe = L"x." + type;
    int index = 0;
    if (SHGetFileInfoW(probe.c_str(), FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                       SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES))
        index = info.iIcon;
    m_byType.emplace(type, index);
    return index;
}

} // namespace win

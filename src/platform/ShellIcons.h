#pragma once
// Small icons of listed files, from the system's image list. A file type
// whose icon is the same for every file is asked of the shell once; types
// that carry their own icon (programs, shortcuts, icons) are asked per file.
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <string_view>
#include <unordered_map>

namespace win {

class SmallFileIcons {
public:
    // The system's small image list; shared, so the list view showing it
    // must have LVS_SHAREIMAGELISTS.
    static HIMAGELIST systemList();
    // Index in that list of the icon of `path`, whose file name is `name`.
    int iconOf(const std::wstring& path, std::wstring_view name);
    void clear() { m_byType.clear(); }

private:
    std::unordered_map<std::wstring, int> m_byType;
};

} // namespace win

#include "tools/Explorer.h"

#include "core/FileSearch.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "win/UniqueHandle.h"

namespace sorvane {

namespace {

bool isDotEntry(const wchar_t* name)
{
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

// Every entry of one search, "." and ".." left out; false when the search
// could not start for any reason but an empty result. `visit` returns false
// to stop.
template <typename Visit>
bool forEachEntry(const std::wstring& pattern, Visit visit)
{
    if (pathTooLong(pattern))
        return false;
    WIN32_FIND_DATAW fd;
    // A drive without its medium fails quietly instead of asking for a disk.
    DWORD oldMode = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS, &oldMode);
    win::UniqueFind find(FindFirstFileExW(apiPath(pattern).c_str(), FindExInfoStandard, &fd, FindExSearchNameMatch,
                                          nullptr, FIND_FIRST_EX_LARGE_FETCH));
    const DWORD err = GetLastError();
    SetThreadErrorMode(oldMode, nullptr);
    if (!find)
        return err == ERROR_FILE_NOT_FOUND;
    do {
        if (!isDotEntry(fd.cFileName) && !visit(fd))
            return true;
    } while (FindNextFileW(find.get(), &fd));
    return GetLastError() == ERROR_NO_MORE_FILES;
}

} // namespace

std::vector<std::wstring> driveRoots(std::wstring_view driveList)
{
    std::vector<std::wstring> roots;
    for (auto& root : split(driveList, L'\0'))
        if (!root.empty())
            roots.push_back(std::move(root));
    return roots;
}

size_t systemDriveIndex(const std::vector<std::wstring>& roots, std::wstring_view windowsFolder)
{
    const std::wstring windows = toLower(windowsFolder);
    for (size_t i = 0; i < roots.size(); ++i)
        if (windows.find(toLower(roots[i])) != std::wstring::npos)
            return i;
    return 0;
}

bool isPlainMask(std::wstring_view mask)
{
    return !mask.empty() && mask.find_first_of(L"\\/:") == std::wstring_view::npos;
}

std::vector<std::wstring> subfolderNames(const std::wstring& folder, const PerEntry& perEntry)
{
    std::vector<std::wstring> names;
    forEachEntry(folder + L"*.*", [&](const WIN32_FIND_DATAW& fd) {
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            names.emplace_back(fd.cFileName);
        return !perEntry || perEntry();
    });
    return names;
}

bool folderFiles(const std::wstring& folder, const std::wstring& mask, std::vector<ExplorerFile>& files,
                 const PerEntry& perEntry)
{
    if (!isPlainMask(mask))
        return true;
    return forEachEntry(folder + mask, [&](const WIN32_FIND_DATAW& fd) {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            ExplorerFile f;
            f.name = fd.cFileName;
            f.alternate = fd.cAlternateFileName;
            f.size = (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
            f.attributes = fd.dwFileAttributes;
            f.modified = fd.ftLastWriteTime;
            f.created = fd.ftCreationTime;
            f.accessed = fd.ftLastAccessTime;
            files.push_back(std::move(f));
        }
        return !perEntry || perEntry();
    });
}

std::wstring explorerCell(const ExplorerFile& file, int column)
{
    switch (column) {
    case 0: return file.name;
    case 1: return std::to_wstring(file.size);
    case 2: return formatFileTime(file.modified);
    case 3: return attributeLetters(file.attributes);
    case 4: return file.alternate;
    case 5: return formatFileTime(file.created);
    case 6: return formatFileTime(file.accessed);
    default: return {};
    }
}

std::wstring explorerStatus(size_t files, size_t folders)
{
    return std::to_wstring(files) + L" file(s)  " + std::to_wstring(folders) + L" folder(s)";
}

} // namespace sorvane

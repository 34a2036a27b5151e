#pragma once
// The file explorer's listing, without windows: drive roots, the subfolders
// of a folder and the files of a folder that match a mask.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace sorvane {

struct ExplorerFile {
    std::wstring name;
    std::wstring alternate;  // the 8.3 name, empty when it has none
    uint64_t size = 0;
    DWORD attributes = 0;
    FILETIME modified{}, created{}, accessed{};
    int icon = -1;  // index in the system's small image list, -1 until drawn
    bool checked = false;
};

// The roots in a drive list ("C:\" NUL "D:\" NUL NUL).
std::vector<std::wstring> driveRoots(std::wstring_view driveList);
// The first root that occurs in the Windows folder (without regard to
// case), 0 when none does.
size_t systemDriveIndex(const std::vector<std::wstring>& roots, std::wstring_view windowsFolder);
// A mask names files of one folder only: no "\", "/" or ":" in it.
bool isPlainMask(std::wstring_view mask);
// The immediate subfolders of `folder` (with its "\"), in the order the
// file system gives them. `perEntry` runs after each entry; false from it
// ends the search.
using PerEntry = std::function<bool()>;
std::vector<std::wstring> subfolderNames(const std::wstring& folder, const PerEntry& perEntry);
// The files of `folder` (with its "\") that match `mask`; a mask that is not
// plain matches nothing. False when the folder could not be searched or the
// listing stopped on an error; the files found so far are kept.
bool folderFiles(const std::wstring& folder, const std::wstring& mask, std::vector<ExplorerFile>& files,
                 const PerEntry& perEntry);
// The columns of a row: Name, Size, Modified, Attrs, Alternate filename,
// Creation date, Last accessed.
std::wstring explorerCell(const ExplorerFile& file, int column);
// "12 file(s)  3 folder(s)".
std::wstring explorerStatus(size_t files, size_t folders);

} // namespace sorvane

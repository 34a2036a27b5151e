#pragma once
// Folders that no folder cleaner may empty: drive roots, the Windows and
// system folders, the Program Files folders, the Users folder and every
// profile root, the application folder and the backup folder. A damaged
// Shell Folders value ("C:", the profile root) must never turn a cache clean
// into a drive clean.
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace sorvane {

// The comparable form of a folder: full path ("." and ".." resolved), long
// names for 8.3 ones, the final path behind links and junctions, lower case,
// no trailing backslash ("c:" for a drive root, "\\server\share" for a share).
std::wstring normaliseFolder(std::wstring_view path);
// Whether a normalised folder is the root of a volume or share.
bool isVolumeRoot(std::wstring_view normalised);

class ProtectedFolders {
public:
    // The protected folders of this machine, plus the backup folder in use.
    static ProtectedFolders gather(std::wstring_view backupFolder);
    // Exactly these folders (normalised on the way in), for tests.
    explicit ProtectedFolders(const std::vector<std::wstring>& folders);

    bool isProtected(std::wstring_view path) const { return isProtectedNormalised(normaliseFolder(path)); }
    bool isProtectedNormalised(std::wstring_view normalised) const;
    const std::unordered_set<std::wstring>& folders() const { return m_folders; }

private:
    ProtectedFolders() = default;
    void add(std::wstring_view path);

    std::unordered_set<std::wstring> m_folders;
};

} // namespace sorvane

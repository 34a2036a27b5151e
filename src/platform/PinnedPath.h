#pragma once
// Files of the user's own profile that the elevated program reads or
// changes for the user (browser stores and caches). The user's programs own
// every folder there and can turn any of them into a link to another user's
// files; a path is therefore walked one folder at a time without following a
// link, each folder from the profile down is held open so that nobody can
// rename it or make it a link while it is used, and the file's final path
// (from its open handle) must lie inside the profile.
#include "win/UniqueHandle.h"

#include <optional>
#include <string>
#include <vector>

namespace sorvane {

// The profile folder of the user the process runs as, as the system keeps it
// for the token's SID (not from Shell Folders or %USERPROFILE%, which any of
// the user's programs can rewrite); empty when it cannot be told.
std::wstring tokenProfileFolder();

// Where the system says a handle's file is ("C:\Users\a\x"), without the
// "\\?\" prefix; empty on failure.
std::wstring finalPathOf(HANDLE handle);

class PinnedPath {
public:
    enum class Kind { File, Folder };
    // Pins `path`, a file or folder inside `within`. Empty, with `why` set to
    // what the log says, when it is missing, not of that kind, a link or
    // behind one, shares its data with another name (a file with hard
    // links), or lies elsewhere. A pinned folder cannot be renamed or made a
    // link while it is held; a pinned file may still be written and deleted.
    static std::optional<PinnedPath> open(const std::wstring& path, const std::wstring& within, Kind kind,
                                          std::wstring& why);
    // The same inside the user's own profile folder.
    static std::optional<PinnedPath> inProfile(const std::wstring& path, Kind kind, std::wstring& why);
    // Whether anything at all stands at `path`, a dangling link included
    // (the name is looked up in its folder, never followed).
    static bool anythingAt(const std::wstring& path);

    PinnedPath(PinnedPath&&) = default;
    PinnedPath& operator=(PinnedPath&&) = default;

    // Whether `handle` is open on the pinned file itself (same volume, same
    // file id): how a file opened by name elsewhere (SQLite) is checked.
    bool sameFile(HANDLE handle) const;
    const std::wstring& path() const noexcept { return m_path; }
    // Where the system says it lies: every part by its own long name (a
    // short alias or a dropped trailing dot written out).
    const std::wstring& finalPath() const noexcept { return m_finalPath; }
    // Lets go of the file itself (so that it can be deleted by name) and
    // keeps its folders held.
    void releaseFile();
    // Opens the pinned file again by name, for reading; empty unless it is
    // still the same file.
    win::UniqueFile reopenForReading() const;

private:
    PinnedPath() = default;
    std::wstring m_path;
    std::wstring m_finalPath;
    Kind m_kind = Kind::File;
    // The folders from the profile down, and the file itself last.
    std::vector<win::UniqueFile> m_chain;
};

} // namespace sorvane

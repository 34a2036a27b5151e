#pragma once
// System folders, drives, the Recycle Bin and shell helpers. Failures are
// reported with the "modFunctions,<routine>" tag and give an empty result.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sorvane {

std::wstring getWinDir();
std::wstring getSystemDir();
// The user's temporary folder, with its trailing backslash.
std::wstring TemporaryDirectory();
// The text with its %VARIABLES% expanded as the system expands them; the
// text as it is when it holds none or cannot be expanded.
std::wstring expandEnvironment(std::wstring_view text);
// Replaces every %SYSTEMROOT% (any case) by the Windows directory. The
// argument is changed too; "" when the Windows directory is unknown.
std::wstring convertWinPath(std::wstring& path);

// Logical drive roots, each followed by NUL, then a final NUL.
std::wstring getDriveList();
// Drive type name for a root and the platform's drive type value.
std::wstring driveTypeName(std::wstring_view root, unsigned type);
std::wstring rgbDrvType(std::wstring_view root);
// The free bytes of every local drive (fixed, removable, RAM disk) by its
// letter, as the volume counts them for everybody (no quota).
std::vector<std::pair<wchar_t, uint64_t>> localDrivesFreeSpace();
std::optional<uint64_t> freeSpaceOf(wchar_t drive);
// Browse-for-folder dialog; "" when cancelled.
std::wstring getPath(HWND owner = nullptr);
std::wstring fileNameOf(std::wstring_view path);

// Recycle Bin figures of one root ("" = every drive).
void QueryRecycleBin(std::wstring_view root, int64_t& size, int64_t& count);
// "C" and "C:" become "C:\"; "" stays "" (every drive).
std::wstring normaliseRecycleRoot(std::wstring_view root);
unsigned long recycleBinFlags(bool noConfirmation, bool noProgress, bool noSound);
// True when the bins are empty afterwards (or the shell says it emptied them).
bool EmptyRecycleBin(std::wstring_view root, bool noConfirmation, bool noProgress, bool noSound);

void openInternetOptions();
// Opens a page, folder or file as the signed-in user (see ShellOpen.h);
// false, with `error` when given, when nothing was opened.
bool shellOpen(std::wstring_view operation, std::wstring_view file, std::wstring_view parameters,
               std::wstring_view folder, int showCommand, std::wstring* error = nullptr);
void showFileProperties(std::wstring_view path, HWND owner);
void autoSizeColumns(HWND listView);

// The longest path the platform can name at all; a longer one (a damaged list
// line) is refused before any file function sees it.
constexpr size_t kMaxPathChars = 32000;
inline bool pathTooLong(std::wstring_view path) { return path.size() > kMaxPathChars; }

// A full path on a local drive: "C:\..." or "\\?\C:\...", with no "." or ".."
// part and no empty part. Anything else (a relative path, which depends on
// the current folder; a share; a device) names no file the user chose.
bool isFullLocalPath(std::wstring_view path);

// The name of the n-th file of the same name, as Explorer numbers copies:
// "C:\\b\\C_1.zip", 2 gives "C:\\b\\C_1 (2).zip".
std::wstring numberedName(std::wstring_view path, int n);

// Makes a new file under the first name that is free: `first`, then
// `numbered(2)`, `numbered(3)` ... `create` makes the file and fails with
// ERROR_FILE_EXISTS or ERROR_ALREADY_EXISTS when the name is taken. The name
// it made, or empty when it failed for another reason.
std::wstring createUnderFreeName(const std::wstring& first, const std::function<std::wstring(int)>& numbered,
                                 const std::function<bool(const std::wstring&)>& create);
// The same, numbered as numberedName does.
std::wstring createUnderFreeName(const std::wstring& first, const std::function<bool(const std::wstring&)>& create);

// The path with every short name in it ("DOCUME~1") by its long name; the
// path as it is when it holds none, is missing or is MAX_PATH or longer.
std::wstring longPathOf(const std::wstring& path);

// A folder and a name joined with exactly one backslash.
std::wstring joinPath(std::wstring_view folder, std::wstring_view name);

// The form of a path the file functions take as it is written: a full path
// on a drive gets the "\\?\" prefix (no length limit, and a name ending in a
// dot or a space is that very file, never the name without it); long share
// paths get "\\?\UNC\".
std::wstring apiPath(std::wstring_view path);

// What a file's reparse point (or offline mark) means for its data. Only the
// real links point elsewhere; other tags (compression, deduplication, cloud
// files) sit on the user's own data, which the system reads through them.
enum class ReparseKind {
    None,         // a plain file
    Link,         // symbolic link, junction, app execution alias: the data is elsewhere
    ReadThrough,  // the data is this file's, served by a filter: read it normally
    NotLocal,     // the data is not on this disk (a cloud or offline file)
    Unknown,      // a reparse point whose tag could not be read: left alone
};
ReparseKind reparseKindOf(unsigned long attributes, unsigned long reparseTag);
// The reparse tag of an open file; 0 when it has none.
unsigned long reparseTagOf(void* file);

// Creates the folder and every missing one above it.
bool makeFolders(std::wstring_view folder);
// Creates a folder that only Administrators and SYSTEM may change and only
// they and the user running the program may read (the backup folder holds
// cookies and personal files of every cleaned profile, and what is in it is
// written back with administrator rights); missing folders above it are made
// as usual. An existing folder is left as it is.
bool makePrivateFolder(std::wstring_view folder);
// The SID ("S-1-5-21-...") of the account the process's token belongs to;
// empty when it cannot be read.
std::wstring currentUserSid();
// The access list such a folder gets, in SDDL, for the running user.
std::wstring privateFolderSddl();

bool fileExists(std::wstring_view path);
// Size in bytes (64-bit); raises when the file cannot be reached.
uint64_t fileLength(std::wstring_view path);
bool folderExists(std::wstring_view path);

} // namespace sorvane

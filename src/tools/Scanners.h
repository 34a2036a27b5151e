#pragma once
// What the registry scan windows find, without the windows: each scan reads
// its registry source and returns one row per stale reference, as the
// window shows it (the row's text first, then its columns).
#include "core/Registry.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sorvane {

using ScanRow = std::vector<std::wstring>;
// Asked between items: lets the message loop run; true means stop.
using ScanPoll = std::function<bool()>;

inline constexpr const wchar_t* kActiveSetupKey = L"Software\\Microsoft\\Active Setup\\Installed Components\\";
inline constexpr const wchar_t* kAppPathsKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths";
inline constexpr const wchar_t* kSharedDllsKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs\\";
inline constexpr const wchar_t* kHelpKey = L"Software\\Microsoft\\Windows\\Help\\";
inline constexpr const wchar_t* kHtmlHelpKey = L"Software\\Microsoft\\Windows\\HTML Help\\";

// Whether a file or folder exists at the path.
bool pathExists(const std::wstring& path);

// Components not marked installed: display name, "False", StubPath, subkey.
std::vector<ScanRow> FindInvalidActiveX(const ScanPoll& aborted);
// Application paths whose target is gone: subkey, path without quotes.
std::vector<ScanRow> FindInvalidApp();

struct DllScan {
    size_t names = 0;  // values under the key
    std::vector<ScanRow> rows;  // "0", the file's path
    bool aborted = false;
};
// Counts of 0 whose file is gone; `poll` is given the 1-based position and
// the total before each value, `onRow` each row as it is found.
DllScan FindOrphanedDLL(const std::function<bool(size_t position, size_t total)>& poll,
                        const std::function<void(const ScanRow&)>& onRow = {});
// Help files missing from their folder: name, folder with "\", the key.
std::vector<ScanRow> FindInvalidHelp(const wchar_t* key, const ScanPoll& aborted);

// Status texts.
std::wstring activeXStatus(size_t orphans);
std::wstring appPathStatus(size_t rows, size_t orphans);
std::wstring dllStatus(size_t entries, size_t rows);
std::wstring helpStatus(size_t orphans);

} // namespace sorvane

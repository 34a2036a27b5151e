#pragma once
// What the registry scan windows find, without the windows: each scan reads
// its registry source and returns one row per stale reference, as the
// window shows it (the row's text first, then its columns).
#include "platform/Registry.h"

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

// Each scan reads its key in both registry views (a 64-bit Windows keeps
// 32-bit programs' entries under Wow6432Node), a key both views share once.
// A row's last element, past its shown columns, is the real key (under
// HKEY_LOCAL_MACHINE) that holds the entry: what Delete and Edit change.

// Components not marked installed: display name, "False", StubPath, subkey; key.
std::vector<ScanRow> FindInvalidActiveX(const ScanPoll& aborted);
// Application paths whose target is gone: subkey, path without quotes; key.
std::vector<ScanRow> FindInvalidApp();

struct DllScan {
    size_t names = 0;  // values under the key
    std::vector<ScanRow> rows;  // "0", the file's path; the SharedDLLs key
    bool aborted = false;
};
// Counts of 0 whose file is gone; `poll` is given the 1-based position and
// the total before each value. Each row goes to `onRow` as it is found when
// there is one, else into the scan's rows.
DllScan FindOrphanedDLL(const std::function<bool(size_t position, size_t total)>& poll,
                        const std::function<void(ScanRow)>& onRow = {});
// Help files missing from their folder: name, folder with "\", the real key.
std::vector<ScanRow> FindInvalidHelp(const wchar_t* key, const ScanPoll& aborted);

// The walk of every key under a root for string values that name a plain
// absolute path on an existing drive that does not exist. `poll` is given
// the key being analysed ("HKEY_CURRENT_USER:" + path) and returns true to
// stop; `onRow` gets each finding: key text, value name, data.
class InvalidReferenceWalk {
public:
    InvalidReferenceWalk(std::wstring driveList, std::function<bool(const std::wstring& key)> poll,
                         std::function<void(const ScanRow& row)> onRow)
        : m_drives(std::move(driveList)), m_poll(std::move(poll)), m_onRow(std::move(onRow))
    {
    }
    // Walks `root` from `startPath` (empty for the whole root), in both
    // views; rows name the real key.
    void scanRoot(HKEY root, const std::wstring& prefix, const std::wstring& startPath = L"");
    bool stopped() const noexcept { return m_stopped; }
    // The seven tests, in order: whether the data is listed when missing.
    static bool judged(std::wstring_view data, std::wstring_view driveList);

private:
    void scanKey(HKEY key, const std::wstring& name);
    void checkValues(HKEY key);

    std::wstring m_drives;
    std::function<bool(const std::wstring&)> m_poll;
    std::function<void(const ScanRow&)> m_onRow;
    std::wstring rootPrefix, keyPath;
    bool m_stopped = false;
    // The buffers every key's values are read into, made once per walk.
    std::wstring m_name = std::wstring(16384, L'\0');
    std::wstring m_data = std::wstring(kRegStringChars, L'\0');
};

// Status texts.
std::wstring activeXStatus(size_t orphans);
std::wstring appPathStatus(size_t rows, size_t orphans);
std::wstring dllStatus(size_t entries, size_t rows);
std::wstring helpStatus(size_t orphans);
std::wstring invalidStatus(size_t rows);

} // namespace sorvane

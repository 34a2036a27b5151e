#pragma once
// The one file-search engine: a depth-first walk that fills the found lists
// or adds review rows, with the user's ignore lists and search options.
#include "core/EngineUi.h"
#include "core/ProtectedFolders.h"
#include "core/RunState.h"
#include "platform/Yielder.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace sorvane {

enum SearchMode : int16_t {
    kSearchAll = 0,           // every file and subfolder, no ignore test
    kSearchUnnecessary = 1,   // review rows: files matching an enabled rule
    kSearchEmpty = 2,         // review rows: zero-length files
    kSearchDeadShortcuts = 3, // review rows: shortcuts whose target is gone
    kSearchFiltered = 4,      // every file that passes the ignore tests
};

struct SearchOptions {
    bool bFileReference = true;
    bool bPathReference = true;
    bool bDateFilter = false;
    std::optional<SYSTEMTIME> dtDateFrom;
    std::optional<SYSTEMTIME> dtDateTo;
    bool bSkipReadOnly = true;
    bool bSkipHidden = true;
    bool bSkipSystem = true;
    bool bIgnoreNames = true;
    bool bIgnoreExtensions = true;
    bool bIgnoreFolders = true;
};

// Whole-name wildcard match: "*" any run, "?" one character, "#" one digit,
// "[abc]", "[a-z]" one of a set, "[!abc]" one not in it. Case-sensitive:
// callers upper-case both sides.
bool wildcardMatch(std::wstring_view pattern, std::wstring_view name);
// A file mask ("*.lnk", "thumbcache_*.db": "*" and "?" only, any case) as a
// pattern of wildcardMatch against a lowercase name; "*.*" is every name.
std::wstring maskPattern(std::wstring_view mask);
// The names of the files (not folders, not links) directly in `folder` that
// match the platform mask; no subfolder is entered.
std::vector<std::wstring> filesInFolder(const std::wstring& folder, const std::wstring& mask);
// Whether a directory entry is an empty file for the empty-files search: no
// length at all, and not a link (a file link reports no length of its own).
bool isEmptyFileEntry(DWORD attributes, DWORD sizeHigh, DWORD sizeLow);
// "mm/dd/yyyy h:nn:ss AM/PM" of the local time of a file time.
std::wstring formatFileTime(const FILETIME& ft);
// "R", "A", "S", "H" in this order, for the attributes present.
std::wstring attributeLetters(DWORD attributes);
// Whole days from `from` to `to` (local calendar dates).
long long daysBetween(const SYSTEMTIME& from, const SYSTEMTIME& to);

class FileSearch {
public:
    FileSearch(EngineUi& ui, RunState& run) : m_ui(ui), m_run(run), m_yield(ui, run.bAbort) {}

    void clearFoundLists();
    // `path` ends with "\". Fills the found lists (modes 0 and 4) or adds
    // review rows (modes 1 to 3). Stops at an abort request. In modes 0 and 4
    // (the folder cleaners) a protected folder is never searched: as the
    // start folder it is refused, below it it is passed over; either way it
    // is recorded in the run's protectedSkips.
    void searchFiles(const std::wstring& path, const std::wstring& mask, int16_t mode);
    // The backup folder in use, protected along with the machine's folders.
    void setBackupFolder(std::wstring folder) { m_backupFolder = std::move(folder); }

    const std::vector<std::wstring>& strFoundFiles() const { return m_files; }
    // The size of each found file as the search saw it, in the same order.
    const std::vector<uint64_t>& foundFileSizes() const { return m_sizes; }
    const std::vector<std::wstring>& strFoundFolders() const { return m_folders; }
    // Index of the last entry, -1 when empty; in the review modes the rows added - 1.
    int64_t lngFileIndex() const { return m_fileCount - 1; }
    int64_t lngFolderIndex() const { return static_cast<int64_t>(m_folders.size()) - 1; }

    bool isIgnoredFileName(std::wstring_view name) const;
    bool isIgnoredExtension(std::wstring_view name) const;
    bool isIgnoredFolder(std::wstring_view folderPath) const;
    bool matchesUnnecessaryRule(std::wstring_view name) const;

    // Loaders from the application folder's files.
    void loadIgnoreFiles();
    void loadIgnoreExtensions();
    void loadIgnoreFIles();
    void loadUnnecessaryFiles();
    void loadOptions();
    void loadAll();

    void setIgnoreNames(std::vector<std::wstring> names);
    void setIgnoreExtensions(std::vector<std::wstring> extensions);
    void setIgnoreFolders(std::vector<std::wstring> folders);
    void setUnnecessaryPatterns(std::vector<std::wstring> patterns);
    const std::vector<std::wstring>& strIgnoreNames() const { return m_ignoreNames; }
    const std::vector<std::wstring>& strIgnoreExtensions() const { return m_ignoreExtensions; }
    const std::vector<std::wstring>& strIgnoreFolders() const { return m_ignoreFolders; }
    const std::vector<std::wstring>& strUnnecessaryPatterns() const { return m_patterns; }

    SearchOptions options;
    // The dead-shortcut test of mode 3, installed by the shortcut cleaner.
    std::function<bool(const std::wstring&)> deadShortcutTest;

private:
    struct Frame {
        std::wstring path;        // as the caller gave it, with "\"
        std::wstring normalised;  // comparable form, empty where not checked
        std::vector<std::wstring> subfolders;
        size_t next = 0;
    };
    void walk(const std::wstring& path, const std::wstring& normalised, const std::wstring& mask, int16_t mode);
    void enterFolder(std::vector<Frame>& stack, std::wstring path, std::wstring normalised, const std::wstring& mask,
                     int16_t mode);
    void handleFile(const std::wstring& path, const WIN32_FIND_DATAW& fd, int16_t mode);
    void addFoundFile(const std::wstring& path, const WIN32_FIND_DATAW& fd);
    bool passesDateAndAttributes(const WIN32_FIND_DATAW& fd) const;
    void addReviewRow(const std::wstring& path, const WIN32_FIND_DATAW& fd, int16_t mode);
    bool checkAbort();

    EngineUi& m_ui;
    RunState& m_run;
    Yielder m_yield;
    std::vector<std::wstring> m_files;
    std::vector<uint64_t> m_sizes;
    std::vector<std::wstring> m_folders;
    int64_t m_fileCount = 0;
    bool m_stopped = false;
    std::wstring m_backupFolder;
    std::optional<ProtectedFolders> m_protected;

    std::vector<std::wstring> m_ignoreNames, m_ignoreExtensions, m_ignoreFolders, m_patterns;
    std::unordered_set<std::wstring> m_ignoreNameSet, m_ignoreExtensionSet;
    std::vector<std::wstring> m_ignoreFoldersLower, m_patternsUpper;
};

} // namespace sorvane

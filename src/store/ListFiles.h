#pragma once
// The .sol list files of the application folder: line-oriented text in the
// ANSI code page, CR LF line ends, SOH (0x01) between the fields of a record.
// Readers return what a file holds; a missing file is told apart from an
// empty one because several lists fall back to defaults only when missing.
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sorvane {

constexpr wchar_t kSoh = L'\x01';
// Larger list files are refused rather than read into memory whole.
constexpr unsigned long long kMaxListFileBytes = 64ull * 1024 * 1024;

// The whole file as ANSI bytes; nothing when it does not exist. Raises when
// it exists but cannot be read.
std::optional<std::string> readFileBytes(const std::wstring& path);
// Lines split at CR LF (a lone LF or CR also ends a line); a final line
// without a terminator still counts, a final terminator adds no empty line.
std::vector<std::wstring> splitLines(std::string_view bytes);
std::optional<std::vector<std::wstring>> readLines(const std::wstring& path);
// The lines that are not empty; nothing when the file is missing.
std::optional<std::vector<std::wstring>> readNonEmptyLines(const std::wstring& path);
// Rewrites the whole file, each line followed by CR LF. The new content is
// written completely beside the file and then replaces it: a save that fails
// leaves the previous content as it was.
void writeLines(const std::wstring& path, const std::vector<std::wstring>& lines);
void writeFileBytes(const std::wstring& path, std::string_view bytes);
// The same for a file in a folder others may write to (a report where an
// administrator's script says): the copy has a name nobody can guess and is
// only ever made new, so nothing planted beside the file is opened.
void writeNewFileBytes(const std::wstring& path, std::string_view bytes);
// The name a file's new content is written under before it replaces the file.
std::wstring savingNameOf(const std::wstring& path);
// Moves `temp` over `path`; on failure `temp` is removed and the error raised.
void replaceWithNew(const std::wstring& temp, const std::wstring& path);

// IFI.sol: ignored file names.
std::vector<std::wstring> defaultIgnoredFileNames();
// IFI.sol and IE.sol: every line is an entry; nothing when the file is missing.
std::optional<std::vector<std::wstring>> loadListFile(const std::wstring& path);
void saveListFile(const std::wstring& path, const std::vector<std::wstring>& entries);
// IFI.sol with its default list for a missing file.
std::vector<std::wstring> loadIgnoredFileNames(const std::wstring& path);

// UDFO.sol / UDIFO.sol: every non-empty line; nothing when the file is missing.
std::optional<std::vector<std::wstring>> loadFolderList(const std::wstring& path);
void saveFolderList(const std::wstring& path, const std::vector<std::wstring>& folders);
// The user-defined folders offered when UDFO.sol does not exist.
std::vector<std::wstring> defaultUserDefinedFolders();

// UDFI.sol: a flag line, then one file path per line.
struct UserDefinedFiles {
    bool checkIgnoreLists = false;
    std::vector<std::wstring> files;
};
UserDefinedFiles loadUserDefinedFiles(const std::wstring& path);
void saveUserDefinedFiles(const std::wstring& path, const UserDefinedFiles& list);

// UNFI.sol / DefUNFI.sol: enabled flag, SOH, pattern, SOH, description.
struct UnnecessaryRule {
    bool enabled = false;
    std::wstring pattern;
    std::wstring description;
    bool operator==(const UnnecessaryRule&) const = default;
};
// Lines without SOH are skipped; a pattern already in the list is skipped too.
// A non-numeric flag leaves the rule unchecked and is reported.
std::vector<UnnecessaryRule> parseRules(const std::vector<std::wstring>& lines,
                                        std::wstring_view tag = L"frmOptions,getUnnecessaryFiles");
// UNFI.sol, or DefUNFI.sol when it is missing, or no rule at all.
std::vector<UnnecessaryRule> loadRules(const std::wstring& userPath, const std::wstring& defaultPath,
                                       std::wstring_view tag = L"frmOptions,getUnnecessaryFiles");
void saveRules(const std::wstring& path, const std::vector<UnnecessaryRule>& rules);

// cookies.sol: one line of SOH-terminated full paths.
struct KeptCookie {
    std::wstring folder;  // with its trailing backslash
    std::wstring name;
    bool operator==(const KeptCookie&) const = default;
};
std::vector<KeptCookie> loadKeptCookies(const std::wstring& path);
// Deletes the file when the list is empty.
void saveKeptCookies(const std::wstring& path, const std::vector<KeptCookie>& cookies);
// The whole content, which the cookie cleaner searches for full paths.
std::wstring readKeptCookieText(const std::wstring& path);

// search.sol: five positional lines.
struct SearchSettings {
    std::wstring driveLine;  // line 1 as stored
    bool fileReference = false;
    bool pathReference = false;
    bool dateFilter = false;
    std::wstring dateFrom;
    std::wstring dateTo;
    bool sizeFilter = false;
    bool sizeIs = false;
    bool sizeAtLeast = true;
    bool sizeAtMost = false;
    std::wstring sizeKb = L"1000";
    bool skipReadOnly = true;
    bool skipHidden = true;
    bool skipSystem = true;
};
// Starts from the window's initial states; fields that do not parse are
// reported and keep them.
SearchSettings parseSearchSettings(const std::vector<std::wstring>& lines, std::wstring_view tag = L"frmOptions,getSearch");
std::optional<SearchSettings> loadSearchSettings(const std::wstring& path, std::wstring_view tag = L"frmOptions,getSearch");
// Line 1 is built from the selected drive entries ("C:\ Hard drive;").
void saveSearchSettings(const std::wstring& path, const SearchSettings& s,
                        const std::vector<std::wstring>& selectedDriveEntries);
// Line 3 after its check-box field: the two dates. A date text that holds
// blanks itself (older files wrote the locale's short date, "2026. 12. 08."
// in some) is put back together where both halves read as dates.
std::pair<std::wstring, std::wstring> splitDateFields(const std::vector<std::wstring>& fields);
// A drive entry is selected when its root (first three characters) occurs in line 1.
bool isDriveSelected(std::wstring_view driveLine, std::wstring_view driveEntry);

// checkItems.sol: a check-box state per category, each followed by ",".
// The fields of checkItems.sol this version writes; a file of fewer fields
// leaves the rest unticked, and fields beyond these are ignored.
constexpr size_t kCategoryCount = 20;
using CategoryStates = std::array<int, kCategoryCount>;
// Applies the fields of the first line to `states`: a line without "," changes
// nothing; fields beyond the 18th are ignored; a field that is not 0 or 1 is
// reported and leaves its box alone. Returns whether the line had a ",".
bool applyCheckItemsLine(std::wstring_view line, CategoryStates& states, std::wstring_view tag = L"frmMain,Form_Load");
void loadCheckItems(const std::wstring& path, CategoryStates& states, std::wstring_view tag = L"frmMain,Form_Load");
std::wstring formatCheckItemsLine(const CategoryStates& states);
void saveCheckItems(const std::wstring& path, const CategoryStates& states);

} // namespace sorvane

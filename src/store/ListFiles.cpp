#include "store/ListFiles.h"

#include "platform/ErrorReport.h"
#include "platform/Registry.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "store/StartupSettings.h"
#include "win/UniqueHandle.h"

#include <windows.h>

#include <tuple>

#include <cstdio>
#include <random>

namespace sorvane {

namespace {

win::UniqueFile openForRead(const std::wstring& path, bool& missing)
{
    win::UniqueFile f(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    const DWORD err = f ? 0 : GetLastError();
    missing = err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND;
    if (!f && !missing)
        raiseWin32(err);
    return f;
}

// "0"/"1" field of a settings line: any other text is a type mismatch.
bool parseFlag(std::wstring_view text)
{
    const auto v = parseInt16(text);
    if (!v)
        raiseError(kErrTypeMismatch, L"Type mismatch");
    return *v != 0;
}

bool parseTrueFalse(std::wstring_view text)
{
    const std::wstring t = trim(text);
    if (iequals(t, L"True"))
        return true;
    if (iequals(t, L"False"))
        return false;
    return parseFlag(t);
}

std::wstring flagText(bool b) { return b ? L"1" : L"0"; }
std::wstring trueFalse(bool b) { return b ? L"True" : L"False"; }

} // namespace

std::optional<std::string> readFileBytes(const std::wstring& path)
{
    bool missing = false;
    auto f = openForRead(path, missing);
    if (missing)
        return std::nullopt;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(f.get(), &size))
        raiseWin32(GetLastError());
    if (static_cast<unsigned long long>(size.QuadPart) > kMaxListFileBytes)
        raiseError(kErrOverflow, L"The file " + path + L" is too large to be a list file");
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!bytes.empty() && !ReadFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr))
        raiseWin32(GetLastError());
    bytes.resize(got);
    return bytes;
}

std::vector<std::wstring> splitLines(std::string_view bytes)
{
    // CR LF ends a line; so does a lone LF or a lone CR, so that no entry
    // ever holds a line break.
    std::vector<std::wstring> lines;
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t end = bytes.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) {
            lines.push_back(fromAnsi(bytes.substr(pos)));
            break;
        }
        lines.push_back(fromAnsi(bytes.substr(pos, end - pos)));
        pos = end + (bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n' ? 2 : 1);
    }
    return lines;
}

std::optional<std::vector<std::wstring>> readLines(const std::wstring& path)
{
    const auto bytes = readFileBytes(path);
    if (!bytes)
        return std::nullopt;
    return splitLines(*bytes);
}

void replaceWithNew(const std::wstring& temp, const std::wstring& path)
{
    if (!MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD err = GetLastError();
        DeleteFileW(temp.c_str());
        raiseWin32(err);
    }
}

std::wstring savingNameOf(const std::wstring& path) { return path + L".saving"; }

namespace {

// Writes `bytes` to `temp` (made with `disposition`), then puts it in the
// place of `path`; a failure removes the copy and raises.
void writeThroughCopy(const std::wstring& path, const std::wstring& temp, DWORD disposition, std::string_view bytes)
{
    {
        win::UniqueFile f(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                                      nullptr));
        if (!f)
            raiseWin32(GetLastError());
        DWORD written = 0;
        const bool ok = bytes.empty() ||
                        (WriteFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                         written == bytes.size());
        if (!ok || !FlushFileBuffers(f.get())) {
            const DWORD err = GetLastError();
            f.reset();
            DeleteFileW(temp.c_str());
            raiseWin32(err ? err : ERROR_WRITE_FAULT);
        }
    }
    replaceWithNew(temp, path);
}

} // namespace

void writeFileBytes(const std::wstring& path, std::string_view bytes)
{
    // The new content goes to a file of its own first; only a complete copy
    // replaces the old one, so a failing save keeps what was there.
    writeThroughCopy(path, savingNameOf(path), CREATE_ALWAYS, bytes);
}

void writeNewFileBytes(const std::wstring& path, std::string_view bytes)
{
    // Nobody can place anything at a name nobody knows beforehand, and the
    // copy is only ever made new: an existing name is never opened, so a
    // link there is never written through. The rename then replaces
    // whatever stands at `path` itself, a link included, not what it leads to.
    std::random_device random;
    for (int attempt = 0;; ++attempt) {
        wchar_t tail[32];
        swprintf(tail, 32, L".%08x%08x.saving", random(), random());
        try {
            writeThroughCopy(path, path + tail, CREATE_NEW, bytes);
            return;
        } catch (...) {
            if (attempt == 4 || GetLastError() != ERROR_FILE_EXISTS)
                throw;
        }
    }
}

void writeLines(const std::wstring& path, const std::vector<std::wstring>& lines)
{
    std::string bytes;
    for (const auto& line : lines) {
        bytes += toAnsi(line);
        bytes += "\r\n";
    }
    writeFileBytes(path, bytes);
}

std::vector<std::wstring> defaultIgnoredFileNames()
{
    return split(L"Data.BAK,Calendar.TMP,Data.SAV,HTTP.Log,FTP.Log,DONOTDEL.TMP,Default.PIF,_DEFAULT.PIF,DRELRES.PIF,"
                 L"WZ.PIF,INSTALL.Log,UNINSTALL.Log,MODEM.Log,SCRIPT.BAK,WIN.BAK,WIN.OLD,WNCCDCTL.Log",
                 L',');
}

std::optional<std::vector<std::wstring>> loadListFile(const std::wstring& path) { return readLines(path); }

void saveListFile(const std::wstring& path, const std::vector<std::wstring>& entries)
{
    writeLines(path, entries);
}

std::vector<std::wstring> loadIgnoredFileNames(const std::wstring& path)
{
    auto list = loadListFile(path);
    return list ? std::move(*list) : defaultIgnoredFileNames();
}

std::optional<std::vector<std::wstring>> readNonEmptyLines(const std::wstring& path)
{
    auto lines = readLines(path);
    if (!lines)
        return std::nullopt;
    std::vector<std::wstring> out;
    for (auto& line : *lines)
        if (!line.empty())
            out.push_back(std::move(line));
    return out;
}

std::optional<std::vector<std::wstring>> loadFolderList(const std::wstring& path) { return readNonEmptyLines(path); }

void saveFolderList(const std::wstring& path, const std::vector<std::wstring>& folders)
{
    writeLines(path, folders);
}

std::vector<std::wstring> defaultUserDefinedFolders()
{
    std::vector<std::wstring> folders;
    folders.push_back(TemporaryDirectory());
    const std::wstring winTemp = getWinDir() + L"\\temp\\";
    if (folderExists(winTemp))
        folders.push_back(winTemp);
    const std::wstring appData = getRegString(
        HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\", L"AppData");
    if (appData.size() >= 2 && folderExists(appData + L"\\Microsoft\\Office\\recent\\"))
        folders.push_back(appData + L"\\Microsoft\\Office\\Recent\\");
    return folders;
}

UserDefinedFiles loadUserDefinedFiles(const std::wstring& path)
{
    UserDefinedFiles list;
    const auto lines = readLines(path);
    if (!lines)
        return list;
    for (const auto& line : *lines) {
        if (line.size() == 1)
            list.checkIgnoreLists = line == L"1";
        else
            list.files.push_back(line);
    }
    return list;
}

void saveUserDefinedFiles(const std::wstring& path, const UserDefinedFiles& list)
{
    std::vector<std::wstring> lines;
    if (!list.files.empty()) {
        lines.push_back(flagText(list.checkIgnoreLists));
        lines.insert(lines.end(), list.files.begin(), list.files.end());
    }
    writeLines(path, lines);
}

std::vector<UnnecessaryRule> parseRules(const std::vector<std::wstring>& lines, std::wstring_view tag)
{
    std::vector<UnnecessaryRule> rules;
    for (const auto& line : lines) {
        if (line.find(kSoh) == std::wstring::npos)
            continue;
        const auto fields = split(line, kSoh);
        UnnecessaryRule rule;
        rule.pattern = fields[1];
        if (fields.size() >= 3)
            rule.description = fields[2];
        bool duplicate = false;
        for (const auto& r : rules)
            duplicate = duplicate || iequals(r.pattern, rule.pattern);
        if (duplicate) {
            setPendingError(35602, L"Key is not unique in collection");
            reportError(tag);
            continue;
        }
        step(tag, [&] { rule.enabled = parseFlag(fields[0]); });
        rules.push_back(std::move(rule));
    }
    return rules;
}

std::vector<UnnecessaryRule> loadRules(const std::wstring& userPath, const std::wstring& defaultPath,
                                       std::wstring_view tag)
{
    auto lines = readLines(userPath);
    if (!lines)
        lines = readLines(defaultPath);
    return lines ? parseRules(*lines, tag) : std::vector<UnnecessaryRule>{};
}

void saveRules(const std::wstring& path, const std::vector<UnnecessaryRule>& rules)
{
    std::vector<std::wstring> lines;
    for (const auto& r : rules)
        lines.push_back(flagText(r.enabled) + kSoh + r.pattern + kSoh + r.description);
    writeLines(path, lines);
}

std::wstring readKeptCookieText(const std::wstring& path)
{
    const auto bytes = readFileBytes(path);
    return bytes ? fromAnsi(*bytes) : std::wstring();
}

std::vector<KeptCookie> loadKeptCookies(const std::wstring& path)
{
    std::vector<KeptCookie> cookies;
    const std::wstring text = readKeptCookieText(path);
    if (text.find(kSoh) == std::wstring::npos)
        return cookies;
    auto pieces = split(text, kSoh);
    pieces.pop_back();  // only the line end follows the last SOH
    for (const auto& piece : pieces) {
        const size_t slash = piece.find_last_of(L'\\');
        KeptCookie c;
        if (slash == std::wstring::npos) {
            c.name = piece;
        } else {
            c.folder = piece.substr(0, slash + 1);
            c.name = piece.substr(slash + 1);
        }
        cookies.push_back(std::move(c));
    }
    return cookies;
}

void saveKeptCookies(const std::wstring& path, const std::vector<KeptCookie>& cookies)
{
    if (cookies.empty()) {
        if (!DeleteFileW(path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
            raiseWin32(GetLastError());
        return;
    }
    std::wstring line;
    for (const auto& c : cookies) {
        line += c.folder;
        line += c.name;
        line += kSoh;
    }
    writeLines(path, {line});
}

std::pair<std::wstring, std::wstring> splitDateFields(const std::vector<std::wstring>& fields)
{
    const size_t n = fields.size();
    if (n <= 1)
        return {};
    if (n == 2)
        return {fields[1], L""};
    const auto join = [&](size_t from, size_t to) {
        std::wstring out;
        for (size_t i = from; i < to; ++i)
            out += (i > from ? L" " : L"") + fields[i];
        return out;
    };
    if (n > 3) {
        // Both dates were written in one format, so they hold as many blanks:
        // the even split is tried first.
        std::vector<size_t> cuts;
        if ((n - 1) % 2 == 0)
            cuts.push_back(1 + (n - 1) / 2);
        for (size_t k = 2; k < n; ++k)
            cuts.push_back(k);
        for (size_t k : cuts) {
            std::wstring first = join(1, k), second = join(k, n);
            if (parseStoredDate(first) && parseStoredDate(second))
                return {std::move(first), std::move(second)};
        }
    }
    return {fields[1], fields[2]};
}

bool isDriveSelected(std::wstring_view driveLine, std::wstring_view driveEntry)
{
    return driveEntry.size() >= 3 && driveLine.find(driveEntry.substr(0, 3)) != std::wstring_view::npos;
}

SearchSettings parseSearchSettings(const std::vector<std::wstring>& lines, std::wstring_view tag)
{
    SearchSettings s;
    const auto field = [&](const std::vector<std::wstring>& f, size_t i, auto&& apply) {
        if (i < f.size())
            step(tag, [&] { apply(f[i]); });
    };
    for (size_t n = 0; n < lines.size() && n < 5; ++n) {
        const std::wstring& line = lines[n];
        switch (n) {
        case 0: s.driveLine = line; break;
        case 1:
            if (!line.empty())
                step(tag, [&] { s.fileReference = parseFlag(line.substr(0, 1)); });
            if (line.size() >= 3)
                step(tag, [&] { s.pathReference = parseFlag(line.substr(2, 1)); });
            break;
        case 2: {
            if (line.find(L' ') == std::wstring::npos)
                break;
            const auto f = split(line, L' ');
            field(f, 0, [&](const std::wstring& v) { s.dateFilter = parseFlag(v); });
            std::tie(s.dateFrom, s.dateTo) = splitDateFields(f);
            break;
        }
        case 3: {
            if (line.find(L' ') == std::wstring::npos)
                break;
            const auto f = split(line, L' ');
            field(f, 0, [&](const std::wstring& v) { s.sizeFilter = parseFlag(v); });
            field(f, 1, [&](const std::wstring& v) { s.sizeIs = parseTrueFalse(v); });
            field(f, 2, [&](const std::wstring& v) { s.sizeAtLeast = parseTrueFalse(v); });
            field(f, 3, [&](const std::wstring& v) { s.sizeAtMost = parseTrueFalse(v); });
            field(f, 4, [&](const std::wstring& v) { s.sizeKb = v; });
            break;
        }
        case 4: {
            if (line.find(L' ') == std::wstring::npos)
                break;
            const auto f = split(line, L' ');
            field(f, 0, [&](const std::wstring& v) { s.skipReadOnly = parseFlag(v); });
            field(f, 1, [&](const std::wstring& v) { s.skipHidden = parseFlag(v); });
            field(f, 2, [&](const std::wstring& v) { s.skipSystem = parseFlag(v); });
            break;
        }
        }
    }
    return s;
}

std::optional<SearchSettings> loadSearchSettings(const std::wstring& path, std::wstring_view tag)
{
    const auto lines = readLines(path);
    if (!lines)
        return std::nullopt;
    return parseSearchSettings(*lines, tag);
}

void saveSearchSettings(const std::wstring& path, const SearchSettings& s,
                        const std::vector<std::wstring>& selectedDriveEntries)
{
    std::wstring drives;
    for (const auto& entry : selectedDriveEntries)
        drives += L" " + entry;
    writeLines(path, {
                         drives,
                         flagText(s.fileReference) + L" " + flagText(s.pathReference),
                         flagText(s.dateFilter) + L" " + s.dateFrom + L" " + s.dateTo,
                         flagText(s.sizeFilter) + L" " + trueFalse(s.sizeIs) + L" " + trueFalse(s.sizeAtLeast) +
                             L" " + trueFalse(s.sizeAtMost) + L" " + s.sizeKb,
                         flagText(s.skipReadOnly) + L" " + flagText(s.skipHidden) + L" " +
                             flagText(s.skipSystem),
                     });
}

bool applyCheckItemsLine(std::wstring_view line, CategoryStates& states, std::wstring_view tag)
{
    if (line.find(L',') == std::wstring_view::npos)
        return false;
    const auto fields = split(line, L',');
    for (size_t i = 0; i < fields.size() && i < kCategoryCount; ++i) {
        // The last piece after the final comma is empty by design.
        if (i == fields.size() - 1 && trim(fields[i]).empty())
            break;
        step(tag, [&] {
            const auto v = parseInt16(fields[i]);
            if (!v)
                raiseError(kErrTypeMismatch, L"Type mismatch");
            if (*v != 0 && *v != 1)
                raiseError(380, L"Invalid property value");
            states[i] = *v;
        });
    }
    return true;
}

void loadCheckItems(const std::wstring& path, CategoryStates& states, std::wstring_view tag)
{
    const auto lines = readLines(path);
    if (lines && !lines->empty())
        applyCheckItemsLine(lines->front(), states, tag);
}

std::wstring formatCheckItemsLine(const CategoryStates& states)
{
    std::wstring line;
    for (int v : states)
        line += std::to_wstring(v) + L",";
    return line;
}

void saveCheckItems(const std::wstring& path, const CategoryStates& states)
{
    writeLines(path, {formatCheckItemsLine(states)});
}

} // namespace sorvane

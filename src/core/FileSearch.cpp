#include "core/FileSearch.h"

#include "platform/AppFolder.h"
#include "platform/ErrorReport.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "store/BackupArchive.h"
#include "store/ListFiles.h"
#include "store/Settings.h"
#include "store/StartupSettings.h"
#include "win/UniqueHandle.h"

#include <cwctype>
#include <cstdio>

namespace sorvane {

namespace {

std::wstring toUpper(std::wstring_view s)
{
    std::wstring out(s);
    if (!out.empty())
        CharUpperBuffW(out.data(), static_cast<DWORD>(out.size()));
    return out;
}

// One bracketed set at pattern[p] ("[" already seen at p); returns the index
// after "]" and whether c is in the set, or npos for an unterminated set.
size_t matchSet(std::wstring_view pattern, size_t p, wchar_t c, bool& matched)
{
    size_t i = p + 1;
    bool negate = false;
    if (i < pattern.size() && pattern[i] == L'!') {
        negate = true;
        ++i;
    }
    bool in = false;
    bool first = true;
    for (; i < pattern.size() && (pattern[i] != L']' || first); ++i, first = false) {
        if (i + 2 < pattern.size() && pattern[i + 1] == L'-' && pattern[i + 2] != L']') {
            in = in || (c >= pattern[i] && c <= pattern[i + 2]);
            i += 2;
        } else {
            in = in || c == pattern[i];
        }
    }
    if (i >= pattern.size())
        return std::wstring_view::npos;
    matched = in != negate;
    return i + 1;
}

} // namespace

std::wstring maskPattern(std::wstring_view mask)
{
    // "*.*" is every file, as the system's own masks have it.
    if (mask == L"*.*")
        return L"*";
    std::wstring pattern;
    for (const wchar_t c : toLower(mask)) {
        if (c == L'[' || c == L'#')
            pattern += std::wstring(L"[") + c + L"]";
        else
            pattern += c;
    }
    return pattern;
}

bool wildcardMatch(std::wstring_view pattern, std::wstring_view name)
{
    // A bracket list that never closes makes the pattern invalid: it
    // matches nothing.
    for (size_t i = pattern.find(L'['); i != std::wstring_view::npos; i = pattern.find(L'[', i + 1)) {
        bool unused = false;
        const size_t after = matchSet(pattern, i, L'\0', unused);
        if (after == std::wstring_view::npos)
            return false;
        i = after - 1;
    }
    size_t p = 0, n = 0;
    size_t starP = std::wstring_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size()) {
            const wchar_t pc = pattern[p];
            if (pc == L'*') {
                starP = p++;
                starN = n;
                continue;
            }
            bool ok = false;
            size_t next = p + 1;
            if (pc == L'?') {
                ok = true;
            } else if (pc == L'#') {
                ok = name[n] >= L'0' && name[n] <= L'9';
            } else if (pc == L'[') {
                bool inSet = false;
                const size_t after = matchSet(pattern, p, name[n], inSet);
                ok = inSet;
                next = after;
            } else {
                ok = pc == name[n];
            }
            if (ok) {
                p = next;
                ++n;
                continue;
            }
        }
        if (starP == std::wstring_view::npos)
            return false;
        p = starP + 1;
        n = ++starN;
    }
    while (p < pattern.size() && pattern[p] == L'*')
        ++p;
    return p == pattern.size();
}

bool isEmptyFileEntry(DWORD attributes, DWORD sizeHigh, DWORD sizeLow)
{
    return sizeHigh == 0 && sizeLow == 0 && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::vector<std::wstring> filesInFolder(const std::wstring& folder, const std::wstring& mask)
{
    std::vector<std::wstring> names;
    std::wstring base = folder;
    if (!base.empty() && base.back() != L'\\')
        base += L'\\';
    if (pathTooLong(base + L"*"))
        return names;
    // Matched against the whole name, never a short alias (see enterFolder).
    const bool everyName = mask == L"*.*" || mask == L"*";
    const std::wstring pattern = maskPattern(mask);
    WIN32_FIND_DATAW fd;
    win::UniqueFind find(FindFirstFileExW(apiPath(base + L"*").c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch,
                                          nullptr, 0));
    if (!find)
        return names;
    do {
        if (!(fd.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
            (everyName || wildcardMatch(pattern, toLower(fd.cFileName))))
            names.emplace_back(fd.cFileName);
    } while (FindNextFileW(find.get(), &fd));
    return names;
}

std::wstring formatFileTime(const FILETIME& ft)
{
    FILETIME local{};
    SYSTEMTIME t{};
    if (!FileTimeToLocalFileTime(&ft, &local) || !FileTimeToSystemTime(&local, &t))
        return L"";
    const int hour12 = t.wHour % 12 == 0 ? 12 : t.wHour % 12;
    wchar_t buf[64];
    swprintf(buf, 64, L"%02u/%02u/%04u %d:%02u:%02u %ls", t.wMonth, t.wDay, t.wYear, hour12, t.wMinute, t.wSecond,
             t.wHour < 12 ? L"AM" : L"PM");
    return buf;
}

std::wstring attributeLetters(DWORD attributes)
{
    std::wstring s;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        s += L'R';
    if (attributes & FILE_ATTRIBUTE_ARCHIVE)
        s += L'A';
    if (attributes & FILE_ATTRIBUTE_SYSTEM)
        s += L'S';
    if (attributes & FILE_ATTRIBUTE_HIDDEN)
        s += L'H';
    return s;
}

long long daysBetween(const SYSTEMTIME& from, const SYSTEMTIME& to)
{
    const auto day = [](const SYSTEMTIME& t) {
        SYSTEMTIME d{};
        d.wYear = t.wYear;
        d.wMonth = t.wMonth;
        d.wDay = t.wDay;
        FILETIME ft{};
        SystemTimeToFileTime(&d, &ft);
        const unsigned long long ticks = (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
        return static_cast<long long>(ticks / 864000000000ull);
    };
    return day(to) - day(from);
}

void FileSearch::clearFoundLists()
{
    m_files.clear();
    m_sizes.clear();
    m_folders.clear();
    m_fileCount = 0;
}

void FileSearch::searchFiles(const std::wstring& path, const std::wstring& mask, int16_t mode)
{
    m_stopped = false;
    m_yield.pumpNow();
    if (checkAbort() || pathTooLong(path))
        return;
    // The drive-wide review searches walk whole drives by design: what they
    // find is only listed, and the user chooses.
    const bool guarded = mode != kSearchUnnecessary && mode != kSearchEmpty && mode != kSearchDeadShortcuts;
    std::wstring normalised;
    if (guarded) {
        if (!m_protected)
            m_protected = ProtectedFolders::gather(m_backupFolder);
        normalised = normaliseFolder(path);
        if (m_protected->isProtectedNormalised(normalised)) {
            m_run.protectedSkips.push_back(path);
            return;
        }
    }
    walk(path, normalised, mask, mode);
    // Folders may be created or settings changed before the next search.
    m_protected.reset();
}

bool FileSearch::checkAbort()
{
    if (m_stopped)
        return true;
    if (!m_yield.aborted())
        return false;
    m_stopped = true;
    m_ui.discardReviewRows();
    discardRunArchive(m_run);
    m_ui.stopOperation(L"Aobrted by User");
    return true;
}

// Depth-first with a stack of its own rather than recursion, so a tree of
// any depth cannot exhaust the thread's stack: a folder's own files first,
// then each subfolder completely, in the order the file system gives them.
void FileSearch::walk(const std::wstring& path, const std::wstring& normalised, const std::wstring& mask,
                      int16_t mode)
{
    std::vector<Frame> stack;
    enterFolder(stack, path, normalised, mask, mode);
    while (!stack.empty() && !m_stopped) {
        Frame& top = stack.back();
        if (top.next == top.subfolders.size()) {
            stack.pop_back();
            continue;
        }
        if (checkAbort())
            return;
        const std::wstring& name = top.subfolders[top.next++];
        std::wstring sub = top.path + name + L"\\";
        std::wstring subNormalised = top.normalised.empty() ? std::wstring() : top.normalised + L"\\" + toLower(name);
        if (!subNormalised.empty() && m_protected && m_protected->isProtectedNormalised(subNormalised)) {
            m_run.protectedSkips.push_back(sub);
            continue;
        }
        if (mode == kSearchAll) {
            m_folders.push_back(sub);
        } else {
            if (options.bIgnoreFolders && isIgnoredFolder(sub))
                continue;
            m_ui.setStatus(L"Gathering Files: " + sub);
        }
        // `top` is not used past this point: entering may grow the stack.
        enterFolder(stack, std::move(sub), std::move(subNormalised), mask, mode);
    }
}

void FileSearch::enterFolder(std::vector<Frame>& stack, std::wstring path, std::wstring normalised,
                             const std::wstring& mask, int16_t mode)
{
    // One listing per folder gives its subfolders and its files; a mask is
    // matched here against the whole name (the system's own matching would
    // also take a name whose short 8.3 alias fits: "*.spl" would take
    // "job.splx").
    const bool everyName = mask == L"*.*" || mask == L"*";
    const std::wstring pattern = everyName ? std::wstring() : maskPattern(mask);
    Frame frame{std::move(path), std::move(normalised), {}, 0};
    {
        WIN32_FIND_DATAW fd;
        win::UniqueFind find(FindFirstFileExW(apiPath(frame.path + L"*").c_str(), FindExInfoBasic, &fd,
                                              FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
        if (find) {
            do {
                m_yield.poll();
                if (checkAbort())
                    return;
                if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    const std::wstring_view name = fd.cFileName;
                    if (name == L"." || name == L"..")
                        continue;
                    // Junctions and symbolic links are never followed: they
                    // loop on standard profiles and lead outside the folder
                    // being cleaned.
                    if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
                        continue;
                    frame.subfolders.emplace_back(name);
                } else if (everyName || wildcardMatch(pattern, toLower(fd.cFileName))) {
                    handleFile(frame.path, fd, mode);
                }
            } while (FindNextFileW(find.get(), &fd));
        }
    }
    stack.push_back(std::move(frame));
}

void FileSearch::handleFile(const std::wstring& path, const WIN32_FIND_DATAW& fd, int16_t mode)
{
    const std::wstring_view name = fd.cFileName;
    if (mode == kSearchAll) {
        addFoundFile(path, fd);
        return;
    }
    if (options.bIgnoreNames && isIgnoredFileName(name))
        return;
    if (options.bIgnoreExtensions && isIgnoredExtension(name))
        return;
    switch (mode) {
    case kSearchUnnecessary:
        if (matchesUnnecessaryRule(name) && passesDateAndAttributes(fd))
            addReviewRow(path, fd, mode);
        break;
    case kSearchEmpty:
        if (isEmptyFileEntry(fd.dwFileAttributes, fd.nFileSizeHigh, fd.nFileSizeLow) && passesDateAndAttributes(fd))
            addReviewRow(path, fd, mode);
        break;
    case kSearchDeadShortcuts:
        if (deadShortcutTest && deadShortcutTest(path + fd.cFileName))
            addReviewRow(path, fd, mode);
        break;
    default:
        addFoundFile(path, fd);
        break;
    }
}

void FileSearch::addFoundFile(const std::wstring& path, const WIN32_FIND_DATAW& fd)
{
    m_files.push_back(path + fd.cFileName);
    m_sizes.push_back((static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow);
    ++m_fileCount;
}

bool FileSearch::passesDateAndAttributes(const WIN32_FIND_DATAW& fd) const
{
    if (options.bDateFilter) {
        FILETIME local{};
        SYSTEMTIME t{};
        FileTimeToLocalFileTime(&fd.ftLastWriteTime, &local);
        FileTimeToSystemTime(&local, &t);
        // Later than the first day, not later than the second.
        if (!options.dtDateFrom || daysBetween(*options.dtDateFrom, t) <= 0)
            return false;
        if (options.dtDateTo && daysBetween(*options.dtDateTo, t) > 0)
            return false;
    }
    if (options.bSkipReadOnly && (fd.dwFileAttributes & FILE_ATTRIBUTE_READONLY))
        return false;
    if (options.bSkipHidden && (fd.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN))
        return false;
    if (options.bSkipSystem && (fd.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM))
        return false;
    return true;
}

void FileSearch::addReviewRow(const std::wstring& path, const WIN32_FIND_DATAW& fd, int16_t mode)
{
    if (m_run.analyzing) {
        // The analysis lists the row; no review list is shown.
        if (m_run.foundFile(path + fd.cFileName, (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow))
            ++m_fileCount;
        return;
    }
    ReviewRow row;
    row.name = fd.cFileName;
    row.size = (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
    const std::wstring fixed = formatFileTime(fd.ftLastWriteTime);
    if (mode == kSearchDeadShortcuts) {
        row.dateTime = fixed;
    } else {
        FILETIME local{};
        SYSTEMTIME t{};
        FileTimeToLocalFileTime(&fd.ftLastWriteTime, &local);
        FileTimeToSystemTime(&local, &t);
        row.dateTime = formatGeneralDate(t);
    }
    row.attributes = attributeLetters(fd.dwFileAttributes);
    row.folder = path;
    m_ui.addReviewRow(row);
    ++m_fileCount;
}

bool FileSearch::isIgnoredFileName(std::wstring_view name) const
{
    return m_ignoreNameSet.count(toLower(name)) != 0;
}

bool FileSearch::isIgnoredExtension(std::wstring_view name) const
{
    const size_t dot = name.find_last_of(L'.');
    if (dot == std::wstring_view::npos)
        return false;
    return m_ignoreExtensionSet.count(toLower(name.substr(dot + 1))) != 0;
}

bool FileSearch::isIgnoredFolder(std::wstring_view folderPath) const
{
    if (m_ignoreFoldersLower.empty())
        return false;
    const std::wstring lower = toLower(folderPath);
    for (const auto& entry : m_ignoreFoldersLower)
        if (lower.find(entry) != std::wstring::npos)
            return true;
    return false;
}

bool FileSearch::matchesUnnecessaryRule(std::wstring_view name) const
{
    const std::wstring upper = toUpper(name);
    for (const auto& pattern : m_patternsUpper)
        if (wildcardMatch(pattern, upper))
            return true;
    return false;
}

void FileSearch::setIgnoreNames(std::vector<std::wstring> names)
{
    m_ignoreNames = std::move(names);
    m_ignoreNameSet.clear();
    for (const auto& n : m_ignoreNames)
        m_ignoreNameSet.insert(toLower(n));
}

void FileSearch::setIgnoreExtensions(std::vector<std::wstring> extensions)
{
    m_ignoreExtensions = std::move(extensions);
    m_ignoreExtensionSet.clear();
    for (const auto& e : m_ignoreExtensions)
        m_ignoreExtensionSet.insert(toLower(e));
}

void FileSearch::setIgnoreFolders(std::vector<std::wstring> folders)
{
    m_ignoreFolders = std::move(folders);
    m_ignoreFoldersLower.clear();
    for (const auto& f : m_ignoreFolders)
        m_ignoreFoldersLower.push_back(toLower(f));
}

void FileSearch::setUnnecessaryPatterns(std::vector<std::wstring> patterns)
{
    m_patterns = std::move(patterns);
    m_patternsUpper.clear();
    for (const auto& p : m_patterns)
        m_patternsUpper.push_back(toUpper(p));
}

void FileSearch::loadIgnoreFiles()
{
    std::vector<std::wstring> names;
    step(L"modFiles,loadIgnoreFiles", [&] {
        auto lines = readNonEmptyLines(appFile(L"IFI.sol"));
        names = lines ? std::move(*lines) : defaultIgnoredFileNames();
    });
    setIgnoreNames(std::move(names));
}

void FileSearch::loadIgnoreExtensions()
{
    std::vector<std::wstring> extensions;
    try {
        if (auto lines = readNonEmptyLines(appFile(L"IE.sol")))
            extensions = std::move(*lines);
    } catch (...) {
    }
    setIgnoreExtensions(std::move(extensions));
}

void FileSearch::loadIgnoreFIles()
{
    std::vector<std::wstring> folders;
    step(L"modFIles,loadIgnoreFIles", [&] {
        if (auto lines = readNonEmptyLines(appFile(L"UDIFO.sol")))
            folders = std::move(*lines);
    });
    setIgnoreFolders(std::move(folders));
}

void FileSearch::loadUnnecessaryFiles()
{
    std::vector<std::wstring> patterns;
    constexpr const wchar_t* tag = L"modFiles,loadUnnecessaryFiles";
    std::optional<std::vector<std::wstring>> lines;
    step(tag, [&] {
        lines = readLines(appFile(L"UNFI.sol"));
        if (!lines)
            lines = readLines(appFile(L"DefUNFI.sol"));
    });
    if (lines) {
        for (const auto& line : *lines) {
            if (line.empty() || line.find(kSoh) == std::wstring::npos)
                continue;
            const auto fields = split(line, kSoh);
            step(tag, [&] {
                const auto flag = parseInteger(fields[0]);
                if (!flag)
                    raiseError(kErrTypeMismatch, L"Type mismatch");
                if (*flag == 1)
                    patterns.push_back(fields[1]);
            });
        }
    }
    setUnnecessaryPatterns(std::move(patterns));
}

void FileSearch::loadOptions()
{
    SearchOptions o;
    try {
        const auto lines = readLines(appFile(L"search.sol"));
        if (lines) {
            const auto number = [](const std::wstring& text) {
                const auto v = parseInteger(text);
                if (!v)
                    raiseError(kErrTypeMismatch, L"Type mismatch");
                return *v;
            };
            for (size_t i = 0; i < lines->size() && i < 5; ++i) {
                const std::wstring& line = (*lines)[i];
                if (line.find(L' ') == std::wstring::npos)
                    continue;
                const auto f = split(line, L' ');
                switch (i + 1) {
                case 2:
                    o.bFileReference = number(f[0]) == 1;
                    o.bPathReference = number(f[1]) == 1;
                    break;
                case 3:
                    o.bDateFilter = number(f[0]) != 0;
                    if (o.bDateFilter) {
                        const auto [from, to] = splitDateFields(f);
                        o.dtDateFrom = parseStoredDate(from);
                        if (!o.dtDateFrom)
                            raiseError(kErrTypeMismatch, L"Type mismatch");
                        if (f.size() > 2) {
                            o.dtDateTo = parseStoredDate(to);
                            if (!o.dtDateTo)
                                raiseError(kErrTypeMismatch, L"Type mismatch");
                        }
                    }
                    break;
                case 5:
                    o.bSkipReadOnly = number(f[0]) != 0;
                    o.bSkipHidden = number(f[1]) != 0;
                    if (f.size() > 2)
                        o.bSkipSystem = number(f[2]) != 0;
                    break;
                default:
                    break;
                }
            }
        }
        const auto flag = [](const wchar_t* key) {
            const auto v = parseInteger(readSetting(L"Ignore", key, L"1"));
            if (!v)
                raiseError(kErrTypeMismatch, L"Type mismatch");
            return *v != 0;
        };
        o.bIgnoreNames = flag(L"Files");
        o.bIgnoreExtensions = flag(L"Extensions");
        o.bIgnoreFolders = flag(L"Folders");
    } catch (...) {
        setPendingFromCurrentException();
        reportError(L"modFiles,loadOptions");
        o = SearchOptions{};
    }
    options = o;
}

void FileSearch::loadAll()
{
    loadIgnoreFiles();
    loadIgnoreFIles();
    loadIgnoreExtensions();
    loadUnnecessaryFiles();
    loadOptions();
}

} // namespace sorvane

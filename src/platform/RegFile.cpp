#include "platform/RegFile.h"

#include "platform/ErrorReport.h"
#include "platform/Registry.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "win/UniqueHandle.h"

#include <algorithm>

namespace sorvane {

size_t RegFile::valueCount() const
{
    size_t n = 0;
    for (const auto& key : keys)
        n += key.values.size();
    return n;
}

namespace {

constexpr std::wstring_view kHeader = L"Windows Registry Editor Version 5.00";

bool blank(wchar_t c) { return c == L' ' || c == L'\t'; }

std::wstring_view trimmed(std::wstring_view s)
{
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

// A quoted text starting at s[pos] (the opening quote): backslash escapes
// the next character. `pos` ends after the closing quote.
bool unquote(std::wstring_view s, size_t& pos, std::wstring& out)
{
    if (pos >= s.size() || s[pos] != L'"')
        return false;
    out.clear();
    for (++pos; pos < s.size(); ++pos) {
        const wchar_t c = s[pos];
        if (c == L'"') {
            ++pos;
            return true;
        }
        if (c == L'\\') {
            if (++pos >= s.size())
                return false;
        }
        out += s[pos];
    }
    return false;
}

int hexDigit(wchar_t c)
{
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return -1;
}

// "12,ab, 00" into bytes; an empty text is no bytes.
bool hexBytes(std::wstring_view s, std::vector<BYTE>& out)
{
    out.clear();
    s = trimmed(s);
    if (s.empty())
        return true;
    size_t pos = 0;
    while (true) {
        while (pos < s.size() && blank(s[pos]))
            ++pos;
        const int hi = pos < s.size() ? hexDigit(s[pos]) : -1;
        const int lo = pos + 1 < s.size() ? hexDigit(s[pos + 1]) : -1;
        if (hi < 0 || lo < 0)
            return false;
        out.push_back(static_cast<BYTE>(hi * 16 + lo));
        pos += 2;
        while (pos < s.size() && blank(s[pos]))
            ++pos;
        if (pos == s.size())
            return true;
        if (s[pos] != L',')
            return false;
        ++pos;
    }
}

// One to eight hexadecimal digits as a number.
bool hexNumber(std::wstring_view digits, DWORD& n)
{
    if (digits.empty() || digits.size() > 8 ||
        !std::all_of(digits.begin(), digits.end(), [](wchar_t c) { return hexDigit(c) >= 0; }))
        return false;
    n = 0;
    for (wchar_t c : digits)
        n = n * 16 + static_cast<DWORD>(hexDigit(c));
    return true;
}

// One value line (continuations joined). `why` says what is wrong.
bool parseValue(std::wstring_view line, RegFileValue& value, std::wstring& why)
{
    size_t pos = 0;
    if (line[0] == L'@') {
        value.name.clear();
        pos = 1;
    } else if (!unquote(line, pos, value.name)) {
        why = L"the value name is not closed";
        return false;
    }
    while (pos < line.size() && blank(line[pos]))
        ++pos;
    if (pos >= line.size() || line[pos] != L'=') {
        why = L"no \"=\" after the value name";
        return false;
    }
    const std::wstring_view data = trimmed(line.substr(pos + 1));
    if (data == L"-") {
        why = L"a deletion, which is not carried out";
        return false;
    }
    if (!data.empty() && data[0] == L'"') {
        size_t at = 0;
        std::wstring text;
        if (!unquote(data, at, text) || at != data.size()) {
            why = L"the text is not closed";
            return false;
        }
        value.type = REG_SZ;
        value.data.resize((text.size() + 1) * sizeof(wchar_t));
        std::copy_n(reinterpret_cast<const BYTE*>(text.c_str()), value.data.size(), value.data.begin());
        return true;
    }
    if (istartsWith(data, L"dword:")) {
        DWORD n = 0;
        if (!hexNumber(data.substr(6), n)) {
            why = L"the number is not eight hexadecimal digits";
            return false;
        }
        value.type = REG_DWORD;
        value.data.assign(reinterpret_cast<const BYTE*>(&n), reinterpret_cast<const BYTE*>(&n) + 4);
        return true;
    }
    std::wstring_view bytes;
    if (istartsWith(data, L"hex:")) {
        value.type = REG_BINARY;
        bytes = data.substr(4);
    } else if (istartsWith(data, L"hex(")) {
        const size_t close = data.find(L')');
        DWORD type = 0;
        if (close == std::wstring_view::npos || close + 1 >= data.size() || data[close + 1] != L':' ||
            !hexNumber(data.substr(4, close - 4), type)) {
            why = L"the type is not understood";
            return false;
        }
        value.type = type;
        bytes = data.substr(close + 2);
    } else {
        why = L"the data is not understood";
        return false;
    }
    if (!hexBytes(bytes, value.data)) {
        why = L"the bytes are not understood";
        return false;
    }
    return true;
}

std::vector<std::wstring_view> physicalLines(std::wstring_view text)
{
    std::vector<std::wstring_view> lines;
    size_t pos = 0;
    while (pos <= text.size()) {
        const size_t end = text.find_first_of(L"\r\n", pos);
        if (end == std::wstring_view::npos) {
            lines.push_back(text.substr(pos));
            break;
        }
        lines.push_back(text.substr(pos, end - pos));
        pos = end + (text[end] == L'\r' && end + 1 < text.size() && text[end + 1] == L'\n' ? 2 : 1);
    }
    return lines;
}

} // namespace

RegFile parseRegFile(std::wstring_view text)
{
    RegFile file;
    if (!text.empty() && text.front() == 0xFEFF)
        text.remove_prefix(1);
    const std::vector<std::wstring_view> lines = physicalLines(text);
    size_t i = 0;
    while (i < lines.size() && trimmed(lines[i]).empty())
        ++i;
    if (i == lines.size() || trimmed(lines[i]) != kHeader)
        return file;
    file.valid = true;
    bool inKey = false;  // values belong to the last key that was understood
    const auto problem = [&](size_t number, const std::wstring& why) {
        file.problems.push_back(L"Line " + std::to_wstring(number + 1) + L": " + why);
    };
    for (++i; i < lines.size(); ++i) {
        const size_t number = i;
        std::wstring_view line = trimmed(lines[i]);
        if (line.empty() || line[0] == L';')
            continue;
        if (line[0] == L'[') {
            inKey = false;
            if (line.back() != L']' || line.size() < 3) {
                problem(number, L"the key name is not closed");
                continue;
            }
            const std::wstring_view name = line.substr(1, line.size() - 2);
            if (name[0] == L'-') {
                problem(number, L"a deletion, which is not carried out: " + std::wstring(name.substr(1)));
                continue;
            }
            const size_t slash = name.find(L'\\');
            const std::wstring_view rootText = name.substr(0, slash);
            const HKEY root = rootOfName(rootText);
            const std::wstring_view path = slash == std::wstring_view::npos ? std::wstring_view() : name.substr(slash + 1);
            if (!root || path.empty()) {
                problem(number, L"not a key this program writes back: " + std::wstring(name));
                continue;
            }
            file.keys.push_back({root, std::wstring(path), std::wstring(name), {}});
            inKey = true;
            continue;
        }
        if (line[0] != L'"' && line[0] != L'@') {
            problem(number, L"not understood");
            continue;
        }
        // Long binary data goes on over lines ending in a backslash.
        std::wstring joined(line);
        while (!joined.empty() && joined.back() == L'\\' && joined.find(L"=hex") != std::wstring::npos &&
               i + 1 < lines.size()) {
            joined.pop_back();
            joined += trimmed(lines[++i]);
        }
        if (!inKey)
            continue;  // the key's own line was reported
        RegFileValue value;
        std::wstring why;
        if (parseValue(joined, value, why))
            file.keys.back().values.push_back(std::move(value));
        else
            problem(number, why);
    }
    return file;
}

std::optional<std::wstring> readRegFileText(const std::wstring& file)
{
    win::UniqueFile f(CreateFileW(apiPath(file).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!f || !GetFileSizeEx(f.get(), &size) || static_cast<uint64_t>(size.QuadPart) > kMaxRegFileBytes)
        return std::nullopt;
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!bytes.empty() && (!ReadFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) ||
                           got != bytes.size()))
        return std::nullopt;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::wstring text((bytes.size() - 2) / 2, L'\0');
        std::copy_n(bytes.data() + 2, text.size() * 2, reinterpret_cast<char*>(text.data()));
        return text;
    }
    return fromAnsi(bytes);
}

namespace {

// Opens, or makes, one key below `parent` without following a link.
LONG stepInto(HKEY parent, const std::wstring& name, REGSAM access, win::UniqueKey& out)
{
    out.reset();
    LONG rc = RegOpenKeyExW(parent, name.c_str(), REG_OPTION_OPEN_LINK, access | KEY_WOW64_64KEY, out.put());
    if (rc == ERROR_ACCESS_DENIED && (access & KEY_CREATE_SUB_KEY))
        rc = RegOpenKeyExW(parent, name.c_str(), REG_OPTION_OPEN_LINK, (access & ~KEY_CREATE_SUB_KEY) | KEY_WOW64_64KEY,
                           out.put());
    if (rc == ERROR_FILE_NOT_FOUND)
        rc = RegCreateKeyExW(parent, name.c_str(), 0, nullptr, 0, access | KEY_WOW64_64KEY, nullptr, out.put(), nullptr);
    return rc;
}

// The key of the file, component by component from its root; `why` tells
// what stopped the way.
bool openForRestore(const RegFileKey& key, win::UniqueKey& out, std::wstring& why)
{
    const std::vector<std::wstring> parts = split(key.path, L'\\');
    if (std::any_of(parts.begin(), parts.end(), [](const std::wstring& p) { return p.empty(); })) {
        why = L"not a valid key name";
        return false;
    }
    HKEY parent = key.root;
    win::UniqueKey held;
    std::wstring prefix;
    for (size_t n = 0; n < parts.size(); ++n) {
        const bool last = n + 1 == parts.size();
        prefix += (n ? L"\\" : L"") + parts[n];
        win::UniqueKey next;
        const REGSAM access = KEY_QUERY_VALUE | KEY_CREATE_SUB_KEY | (last ? KEY_SET_VALUE : 0);
        if (const LONG rc = stepInto(parent, parts[n], access, next); rc != ERROR_SUCCESS) {
            why = win32Message(static_cast<unsigned long>(rc));
            return false;
        }
        if (isRegLinkKey(next.get())) {
            // The system's own links (HKEY_CURRENT_USER\Software\Classes on
            // Windows) lead where the system says; any other could lead to
            // any key at all.
            if (!isSystemRegLink(key.root, prefix)) {
                why = L"a registry link lies on the way (" + parts[n] + L"), which could lead to any other key";
                return false;
            }
            next.reset();
            if (const LONG rc = RegOpenKeyExW(parent, parts[n].c_str(), 0, access | KEY_WOW64_64KEY, next.put());
                rc != ERROR_SUCCESS) {
                why = win32Message(static_cast<unsigned long>(rc));
                return false;
            }
        }
        held = std::move(next);
        parent = held.get();
    }
    out = std::move(held);
    return true;
}

} // namespace

RegRestore restoreRegFile(const RegFile& file)
{
    RegRestore result;
    for (const auto& key : file.keys) {
        win::UniqueKey k;
        std::wstring why;
        if (!openForRestore(key, k, why)) {
            result.failures.push_back(key.text + L": " + why);
            continue;
        }
        ++result.keys;
        for (const auto& v : key.values) {
            const LONG rc = RegSetValueExW(k.get(), v.name.c_str(), 0, v.type, v.data.empty() ? nullptr : v.data.data(),
                                           static_cast<DWORD>(v.data.size()));
            if (rc == ERROR_SUCCESS)
                ++result.values;
            else
                result.failures.push_back(key.text + L" : " + (v.name.empty() ? L"(Default)" : v.name) + L": " +
                                          win32Message(static_cast<unsigned long>(rc)));
        }
    }
    result.failures.insert(result.failures.end(), file.problems.begin(), file.problems.end());
    return result;
}

std::wstring regRestoreSummary(const RegRestore& restore)
{
    std::wstring text = L"Registry entries restored: " + std::to_wstring(restore.keys) + L" keys, " +
                        std::to_wstring(restore.values) + L" values.";
    if (restore.failures.empty())
        return text;
    text += L"\r\n\r\nNot restored (" + std::to_wstring(restore.failures.size()) + L"):";
    for (size_t i = 0; i < restore.failures.size() && i < 5; ++i)
        text += L"\r\n" + restore.failures[i];
    if (restore.failures.size() > 5)
        text += L"\r\n...";
    return text;
}

std::wstring undoFileTool(std::wstring_view fileName)
{
    static const std::pair<const wchar_t*, const wchar_t*> kTools[] = {
        {L"frmInvalidActivex", L"Orphaned ActiveX components"},
        {L"frmInvalidAppPath", L"Application paths"},
        {L"frmOrphanedDLL", L"Orphaned shared DLLs"},
        {L"frmInvalidHelp", L"Help file references"},
        {L"frmInvalidFile", L"Invalid file references"},
        {L"frmStartupPrograms", L"Startup programs"},
        {L"frmUninstall", L"Uninstall programs"},
        {L"frmFileAssociation", L"File associations"},
        {L"frmEditAppPath", L"Edit application path"},
        {L"frmEditHelp", L"Edit help file path"},
        {L"frmEditUnInstall", L"Edit uninstall command"},
        {L"frmEditFileAssociation", L"Edit association"},
        {L"TypedURLs", L"Typed URL history"},
        {L"RunMRU", L"Run MRU"},
        {L"RecentDocs", L"Recent documents links"},
        {L"OfficeMRU", L"MS Office MRU"},
    };
    const std::wstring_view first = fileName.substr(0, fileName.find(L'_'));
    for (const auto& [name, tool] : kTools)
        if (iequals(first, name))
            return tool;
    return std::wstring(first);
}

} // namespace sorvane

// Reading, resolving and linting application rules. Nothing here removes
// anything: the cleaner plans and removes through the engines.
#include "cleaners/AppRules.h"

#include "cleaners/Browsers.h"
#include "core/FileSearch.h"
#include "core/ProtectedFolders.h"
#include "platform/PinnedPath.h"
#include "platform/Registry.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "store/StartupSettings.h"
#include "win/UniqueHandle.h"

#include <shlobj.h>

#include <algorithm>
#include <array>
#include <cwctype>
#include <unordered_set>

namespace sorvane {

namespace {

constexpr std::array<std::wstring_view, 8> kProgramExtensions = {L".exe", L".dll", L".sys", L".msi",
                                                                 L".ocx", L".ps1", L".bat", L".cmd"};
// One name of each kind a mask must not reach.
constexpr std::array<std::wstring_view, 8> kProgramSamples = {L"program.exe", L"library.dll", L"driver.sys",
                                                              L"setup.msi", L"control.ocx", L"script.ps1",
                                                              L"batch.bat", L"batch.cmd"};

std::wstring withoutTrailingBackslashes(std::wstring path)
{
    while (path.size() > 3 && path.back() == L'\\')
        path.pop_back();
    if (path.size() == 3 && path[1] == L':' && path[2] == L'\\')
        path.pop_back();  // "C:" for the drive's root, as folders are compared
    return path;
}

std::wstring knownFolder(REFKNOWNFOLDERID id)
{
    PWSTR raw = nullptr;
    std::wstring out;
    if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &raw)) && raw)
        out = raw;
    CoTaskMemFree(raw);
    return withoutTrailingBackslashes(out);
}

bool isWild(std::wstring_view text) { return text.find_first_of(L"*?") != std::wstring_view::npos; }

bool under(std::wstring_view path, std::wstring_view folder)
{
    return path.size() > folder.size() && path.substr(0, folder.size()) == folder && path[folder.size()] == L'\\';
}

// The section a LangSecRef number stands for.
std::wstring sectionOfLangSecRef(std::wstring_view number)
{
    static const std::map<std::wstring, std::wstring> names = {
        {L"3001", L"Internet Explorer"}, {L"3005", L"Microsoft Edge"},  {L"3021", L"Applications"},
        {L"3022", L"Internet"},          {L"3023", L"Multimedia"},      {L"3024", L"Utilities"},
        {L"3025", L"Windows"},           {L"3026", L"Firefox"},         {L"3027", L"Opera"},
        {L"3028", L"Safari"},            {L"3029", L"Google Chrome"},   {L"3030", L"Thunderbird"},
        {L"3031", L"Windows Store"},     {L"3033", L"Microsoft Edge"},
    };
    const auto found = names.find(std::wstring(number));
    return found != names.end() ? found->second : L"LangSecRef " + std::wstring(number);
}

// "FileKey12" -> ("filekey", "12"); a key without digits gives "".
std::pair<std::wstring, std::wstring> splitKeyName(std::wstring_view key)
{
    size_t digits = key.size();
    while (digits > 0 && iswdigit(key[digits - 1]))
        --digits;
    return {toLower(key.substr(0, digits)), std::wstring(key.substr(digits))};
}

struct Numbered {
    long long number;
    std::wstring text;
};

// Numbered keys in their numbers' order.
std::vector<std::wstring> inOrder(std::vector<Numbered> items)
{
    std::stable_sort(items.begin(), items.end(), [](const auto& a, const auto& b) { return a.number < b.number; });
    std::vector<std::wstring> out;
    for (auto& item : items)
        out.push_back(std::move(item.text));
    return out;
}

// Resolves a path of the format: its variables, one text per folder they
// stand for. Empty, with `why`, when the reader cannot honour it.
std::vector<std::wstring> resolvePath(std::wstring_view text, const RuleEnvironment& env, std::wstring& why)
{
    std::wstring path = trim(text);
    if (path.empty()) {
        why = L"a path is empty";
        return {};
    }
    if (path.find(L'/') != std::wstring::npos) {
        why = L"the path \"" + path + L"\" holds a forward slash";
        return {};
    }
    if (path.rfind(L"\\\\", 0) == 0) {
        why = L"the path \"" + path + L"\" is a network path";
        return {};
    }
    std::vector<std::wstring> out = {L""};
    size_t at = 0;
    while (at < path.size()) {
        const size_t open = path.find(L'%', at);
        if (open == std::wstring::npos) {
            for (auto& o : out)
                o += path.substr(at);
            break;
        }
        const size_t close = path.find(L'%', open + 1);
        if (close == std::wstring::npos) {
            why = L"the path \"" + path + L"\" holds a lone %";
            return {};
        }
        for (auto& o : out)
            o += path.substr(at, open - at);
        const std::wstring name = toLower(std::wstring_view(path).substr(open + 1, close - open - 1));
        const auto found = env.variables.find(name);
        if (env.outsideProfile.count(name)) {
            why = L"the path \"" + path + L"\" uses %" + path.substr(open + 1, close - open - 1) +
                  L"%, which lies outside your user folder";
            return {};
        }
        if (found == env.variables.end() || found->second.empty()) {
            why = L"the path \"" + path + L"\" uses %" + path.substr(open + 1, close - open - 1) +
                  L"%, which this machine has no folder for";
            return {};
        }
        std::vector<std::wstring> next;
        for (const auto& o : out)
            for (const auto& folder : found->second)
                next.push_back(o + folder);
        out = std::move(next);
        at = close + 1;
    }
    for (auto& o : out) {
        if (o.size() == 2 && o[1] == L':')
            o += L'\\';  // %SystemDrive% alone is the drive's root
        if (o.size() < 3 || o[1] != L':' || o[2] != L'\\' || !iswalpha(o[0]) || o[0] > 0x7F) {
            why = L"the path \"" + path + L"\" is not a full path";
            return {};
        }
        // Parts between backslashes: a doubled backslash is dropped, a
        // part that leads elsewhere is refused.
        std::wstring clean = o.substr(0, 2);
        for (const auto& part : split(std::wstring_view(o).substr(3), L'\\')) {
            if (part.empty())
                continue;
            if (part == L"." || part == L"..") {
                why = L"the path \"" + path + L"\" uses ..";
                return {};
            }
            // The system drops a trailing dot or space: "Documents." is
            // Documents under another name.
            if (part.back() == L'.' || part.back() == L' ') {
                why = L"the path \"" + path + L"\" has a name ending in a dot or a space";
                return {};
            }
            if (part.find_first_of(L":\"<>|") != std::wstring::npos) {
                why = L"the path \"" + path + L"\" holds a character no name may hold";
                return {};
            }
            clean += L'\\' + part;
        }
        const wchar_t drive = static_cast<wchar_t>(towupper(clean[0]));
        auto remote = env.remoteDrive.find(drive);
        if (remote == env.remoteDrive.end()) {
            const wchar_t root[] = {drive, L':', L'\\', 0};
            remote = env.remoteDrive.emplace(drive, GetDriveTypeW(root) == DRIVE_REMOTE).first;
        }
        if (remote->second) {
            why = L"the path \"" + path + L"\" is on a network drive";
            return {};
        }
        o = std::move(clean);
    }
    return out;
}

std::vector<std::wstring> splitMasks(std::wstring_view text, std::wstring& why)
{
    std::vector<std::wstring> masks;
    for (const auto& piece : split(text, L';')) {
        std::wstring mask = trim(piece);
        if (mask.empty())
            continue;
        if (mask.find_first_of(L"\\/:") != std::wstring::npos) {
            why = L"the mask \"" + mask + L"\" holds a path";
            return {};
        }
        masks.push_back(std::move(mask));
    }
    if (masks.empty())
        why = L"a file key names no mask";
    return masks;
}

std::optional<RuleRegKey> parseRegKey(std::wstring_view text, bool valueAllowed, std::wstring& why)
{
    const auto parts = split(text, L'|');
    if (parts.size() > (valueAllowed ? 2u : 1u) || trim(parts[0]).empty()) {
        why = L"the registry key \"" + std::wstring(text) + L"\" is malformed";
        return std::nullopt;
    }
    const std::wstring path = trim(parts[0]);
    const size_t slash = path.find(L'\\');
    const std::wstring hive = toLower(path.substr(0, slash));
    RuleRegKey key;
    if (hive == L"hkcu" || hive == L"hkey_current_user")
        key.root = HKEY_CURRENT_USER;
    else if (hive == L"hklm" || hive == L"hkey_local_machine")
        key.root = HKEY_LOCAL_MACHINE;
    else if (hive == L"hkcr" || hive == L"hkey_classes_root")
        key.root = HKEY_CLASSES_ROOT;
    else if (hive == L"hku" || hive == L"hkey_users")
        key.root = HKEY_USERS;
    else {
        why = L"the registry key \"" + path + L"\" names no hive this reader knows";
        return std::nullopt;
    }
    std::wstring rest;
    if (slash != std::wstring::npos)
        for (const auto& part : split(std::wstring_view(path).substr(slash + 1), L'\\'))
            if (!part.empty())
                rest += (rest.empty() ? L"" : L"\\") + part;
    key.key = rest;
    if (parts.size() == 2) {
        key.hasValue = true;
        key.value = parts[1];
    }
    return key;
}

std::optional<RuleFileKey> parseFileKey(std::wstring_view text, const RuleEnvironment& env,
                                        std::vector<RuleFileKey>& out, std::wstring& why)
{
    const auto parts = split(text, L'|');
    if (parts.size() < 2 || parts.size() > 4) {
        why = L"the file key \"" + std::wstring(text) + L"\" is malformed";
        return std::nullopt;
    }
    RuleFileKey key;
    for (size_t i = 2; i < parts.size(); ++i) {
        const std::wstring flag = toLower(trim(parts[i]));
        if (flag == L"recurse" && !key.recurse)
            key.recurse = true;
        else if (flag == L"removeself" && !key.removeSelf)
            key.removeSelf = true;
        else {
            why = L"the file key \"" + std::wstring(text) + L"\" has the unknown flag \"" + trim(parts[i]) + L"\"";
            return std::nullopt;
        }
    }
    if (key.removeSelf)
        key.recurse = true;
    key.masks = splitMasks(parts[1], why);
    if (key.masks.empty())
        return std::nullopt;
    const auto folders = resolvePath(parts[0], env, why);
    if (folders.empty())
        return std::nullopt;
    for (const auto& folder : folders) {
        RuleFileKey one = key;
        one.folder = folder;
        out.push_back(std::move(one));
    }
    return key;
}

bool parseExclusion(std::wstring_view text, const RuleEnvironment& env, std::vector<RuleExclusion>& out,
                    std::wstring& why)
{
    const size_t bar = text.find(L'|');
    const std::wstring kind = toLower(trim(text.substr(0, bar)));
    const std::wstring_view rest = bar == std::wstring_view::npos ? std::wstring_view() : text.substr(bar + 1);
    if (bar == std::wstring_view::npos || trim(rest).empty()) {
        why = L"the exclusion \"" + std::wstring(text) + L"\" is malformed";
        return false;
    }
    if (kind == L"reg") {
        const auto key = parseRegKey(rest, true, why);
        if (!key)
            return false;
        RuleExclusion ex;
        ex.kind = RuleExclusion::Reg;
        ex.reg = *key;
        out.push_back(std::move(ex));
        return true;
    }
    if (kind != L"file" && kind != L"path") {
        why = L"the exclusion \"" + std::wstring(text) + L"\" is of an unknown kind";
        return false;
    }
    const auto parts = split(rest, L'|');
    if (parts.size() > 2) {
        why = L"the exclusion \"" + std::wstring(text) + L"\" is malformed";
        return false;
    }
    std::wstring folderText = parts[0];
    std::vector<std::wstring> masks;
    if (parts.size() == 2) {
        masks = splitMasks(parts[1], why);
        if (masks.empty())
            return false;
    } else if (kind == L"file") {
        // "FILE|<file>": the folder and the one name.
        const std::wstring whole = withoutTrailingBackslashes(trim(folderText));
        const size_t slash = whole.find_last_of(L'\\');
        if (slash == std::wstring::npos || slash + 1 >= whole.size()) {
            why = L"the exclusion \"" + std::wstring(text) + L"\" names no file";
            return false;
        }
        masks = {whole.substr(slash + 1)};
        folderText = whole.substr(0, slash);
    }
    const auto folders = resolvePath(folderText, env, why);
    if (folders.empty())
        return false;
    for (const auto& folder : folders) {
        RuleExclusion ex;
        ex.kind = kind == L"file" ? RuleExclusion::File : RuleExclusion::Path;
        ex.folder = folder;
        ex.masks = masks;
        out.push_back(std::move(ex));
    }
    return true;
}

bool matchesAnything(const std::wstring& mask)
{
    const std::wstring pattern = maskPattern(mask);
    return wildcardMatch(pattern, L"anyname") || wildcardMatch(pattern, L"any.name");
}

// A mask that names programs outright: "*.exe", "setup*.dll".
bool namesPrograms(const std::wstring& mask)
{
    std::wstring literal;
    for (wchar_t c : mask)
        if (c != L'*')
            literal += c == L'?' ? L'a' : c;
    return isProgramName(literal);
}

bool matchesPrograms(const std::wstring& mask)
{
    const std::wstring pattern = maskPattern(mask);
    return std::any_of(kProgramSamples.begin(), kProgramSamples.end(),
                       [&](std::wstring_view sample) { return wildcardMatch(pattern, sample); });
}

DWORD versionPart(std::wstring_view text, size_t index)
{
    const auto parts = split(trim(text), L'.');
    if (index >= parts.size())
        return 0;
    const auto n = parseInteger(parts[index]);
    return n && *n >= 0 ? static_cast<DWORD>(*n) : 0;
}

bool osInRange(const std::wstring& range, const RuleEnvironment& env)
{
    const size_t bar = range.find(L'|');
    const std::wstring low = trim(range.substr(0, bar));
    const std::wstring high = bar == std::wstring::npos ? L"" : trim(range.substr(bar + 1));
    const auto compare = [&](const std::wstring& v) {
        const DWORD major = versionPart(v, 0), minor = versionPart(v, 1);
        return env.major != major ? (env.major < major ? -1 : 1) : (env.minor < minor ? -1 : env.minor > minor);
    };
    if (!low.empty() && compare(low) < 0)
        return false;
    if (!high.empty() && compare(high) > 0)
        return false;
    return true;
}

bool versionText(const std::wstring& text)
{
    if (text.empty())
        return true;
    for (const auto& part : split(text, L'.'))
        if (part.empty() || !std::all_of(part.begin(), part.end(), [](wchar_t c) { return iswdigit(c) != 0; }))
            return false;
    return true;
}

const std::map<std::wstring, std::vector<std::wstring>>& specialDetections()
{
    // What each detection looks for among the browsers found.
    static const std::map<std::wstring, std::vector<std::wstring>> names = {
        {L"det_chrome", {L"Google Chrome"}},  {L"det_mozilla", {L"Mozilla Firefox"}},
        {L"det_firefox", {L"Mozilla Firefox"}}, {L"det_opera", {L"Opera", L"Opera GX"}},
        {L"det_edge", {L"Microsoft Edge"}},    {L"det_brave", {L"Brave"}},
        {L"det_vivaldi", {L"Vivaldi"}},        {L"det_thunderbird", {}},
    };
    return names;
}

} // namespace

bool isProgramName(std::wstring_view name)
{
    return std::any_of(kProgramExtensions.begin(), kProgramExtensions.end(),
                       [&](std::wstring_view ext) { return iendsWith(name, ext); });
}

bool folderPatternMatches(std::wstring_view pattern, std::wstring_view path)
{
    // Both are lower case: a plain pattern is one comparison.
    if (!isWild(pattern))
        return pattern == path;
    size_t a = 0, b = 0;
    for (;;) {
        const size_t aEnd = pattern.find(L'\\', a), bEnd = path.find(L'\\', b);
        const std::wstring_view partA = pattern.substr(a, aEnd == std::wstring_view::npos ? aEnd : aEnd - a);
        const std::wstring_view partB = path.substr(b, bEnd == std::wstring_view::npos ? bEnd : bEnd - b);
        if (isWild(partA) ? !wildcardMatch(maskPattern(partA), partB) : partA != partB)
            return false;
        if (aEnd == std::wstring_view::npos || bEnd == std::wstring_view::npos)
            return aEnd == bEnd;
        a = aEnd + 1;
        b = bEnd + 1;
    }
}

namespace {

// The names in `folder` that match one part of a pattern: with
// `foldersOnly`, the plain folders (a link is never a way into another).
std::vector<std::wstring> namesMatching(const std::wstring& folder, std::wstring_view part, bool foldersOnly)
{
    std::vector<std::wstring> names;
    const std::wstring match = maskPattern(part);
    WIN32_FIND_DATAW fd{};
    win::UniqueFind find(
        FindFirstFileExW(apiPath(folder + L"\\*").c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr, 0));
    if (!find)
        return names;
    do {
        const std::wstring name = fd.cFileName;
        const bool plainFolder =
            (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
        if (name != L"." && name != L".." && (plainFolder || !foldersOnly) && wildcardMatch(match, toLower(name)))
            names.push_back(name);
    } while (FindNextFileW(find.get(), &fd));
    return names;
}

} // namespace

std::vector<std::wstring> expandFolderPattern(const std::wstring& pattern)
{
    const auto parts = split(pattern, L'\\');
    std::vector<std::wstring> current = {parts.empty() ? L"" : parts[0]};
    for (size_t i = 1; i < parts.size() && !current.empty(); ++i) {
        std::vector<std::wstring> next;
        for (const auto& base : current) {
            if (!isWild(parts[i])) {
                next.push_back(base + L"\\" + parts[i]);
                continue;
            }
            for (const auto& name : namesMatching(base, parts[i], true))
                next.push_back(base + L"\\" + name);
        }
        current = std::move(next);
    }
    std::vector<std::wstring> out;
    for (auto& folder : current)
        if (folderExists(folder + L"\\"))
            out.push_back(std::move(folder));
    return out;
}

RuleEnvironment RuleEnvironment::current()
{
    RuleEnvironment env;
    const auto set = [&](const wchar_t* name, std::vector<std::wstring> folders) {
        std::vector<std::wstring> kept;
        for (auto& f : folders)
            if (f.size() >= 2 && std::find(kept.begin(), kept.end(), f) == kept.end())
                kept.push_back(std::move(f));
        env.variables[name] = std::move(kept);
    };
    // The user's own folders count only inside the profile the system keeps
    // for the user: any of the user's programs can point them elsewhere,
    // into another user's folders or the system's.
    const std::wstring profile = withoutTrailingBackslashes(tokenProfileFolder());
    const std::pair<const wchar_t*, const KNOWNFOLDERID*> ownVariables[] = {
        {L"appdata", &FOLDERID_RoamingAppData}, {L"localappdata", &FOLDERID_LocalAppData},
        {L"locallowappdata", &FOLDERID_LocalAppDataLow}, {L"userprofile", &FOLDERID_Profile},
        {L"documents", &FOLDERID_Documents}, {L"pictures", &FOLDERID_Pictures}, {L"music", &FOLDERID_Music},
        {L"video", &FOLDERID_Videos}, {L"videos", &FOLDERID_Videos}, {L"desktop", &FOLDERID_Desktop},
        {L"downloads", &FOLDERID_Downloads}, {L"onedrive", &FOLDERID_SkyDrive},
    };
    std::vector<std::wstring> ownFolders;
    for (const auto& [name, id] : ownVariables) {
        std::wstring folder = knownFolder(*id);
        if (folder.empty())
            continue;
        ownFolders.push_back(toLower(folder));
        if (!profile.empty() && (iequals(folder, profile) || under(toLower(folder), toLower(profile))))
            set(name, {std::move(folder)});
        else
            env.outsideProfile.insert(name);
    }
    set(L"public", {knownFolder(FOLDERID_Public)});
    set(L"commonappdata", {knownFolder(FOLDERID_ProgramData)});
    set(L"programdata", {knownFolder(FOLDERID_ProgramData)});
    set(L"allusersprofile", {knownFolder(FOLDERID_ProgramData)});
    set(L"windir", {withoutTrailingBackslashes(getWinDir())});
    set(L"systemroot", {withoutTrailingBackslashes(getWinDir())});
    const std::wstring windows = withoutTrailingBackslashes(getWinDir());
    set(L"systemdrive", {windows.size() >= 2 ? windows.substr(0, 2) : L""});
    set(L"homedrive", {windows.size() >= 2 ? windows.substr(0, 2) : L""});
    // Both Program Files folders, each once.
    set(L"programfiles", {knownFolder(FOLDERID_ProgramFilesX64), knownFolder(FOLDERID_ProgramFilesX86),
                          knownFolder(FOLDERID_ProgramFiles)});
    set(L"commonprogramfiles", {knownFolder(FOLDERID_ProgramFilesCommonX64),
                                knownFolder(FOLDERID_ProgramFilesCommonX86), knownFolder(FOLDERID_ProgramFilesCommon)});

    // No rule sweeps these: the machine's protected folders, and the roots
    // of the user's own folders.
    const ProtectedFolders guarded = ProtectedFolders::gather(getDelete().strBackupPath);
    for (const auto& folder : guarded.folders())
        env.sweptNever.push_back(folder);
    // Where the user's folders really are, inside the profile or not.
    env.sweptNever.insert(env.sweptNever.end(), ownFolders.begin(), ownFolders.end());
    for (const wchar_t* name : {L"public", L"commonappdata"})
        for (const auto& folder : env.variables[name])
            env.sweptNever.push_back(toLower(folder));
    for (const KNOWNFOLDERID& id : {FOLDERID_System, FOLDERID_SystemX86, FOLDERID_Windows, FOLDERID_UserProfiles})
        if (const std::wstring folder = knownFolder(id); !folder.empty())
            env.sweptNever.push_back(toLower(folder));
    // Where programs live: no mask that reaches them runs there.
    for (const wchar_t* name : {L"programfiles", L"windir"})
        for (const auto& folder : env.variables[name])
            env.programFolders.push_back(toLower(folder));
    for (const auto& folder : env.variables[L"localappdata"]) {
        env.programFolders.push_back(toLower(folder + L"\\Programs"));
        env.programFolders.push_back(toLower(folder + L"\\Microsoft\\WindowsApps"));
    }
    const auto drop = [](std::vector<std::wstring>& v) {
        v.erase(std::remove_if(v.begin(), v.end(), [](const std::wstring& s) { return s.size() < 2; }), v.end());
        std::sort(v.begin(), v.end());
        v.erase(std::unique(v.begin(), v.end()), v.end());
    };
    drop(env.sweptNever);
    drop(env.programFolders);

    const auto& local = env.variables[L"localappdata"];
    const auto& roaming = env.variables[L"appdata"];
    if (!local.empty() && !roaming.empty()) {
        for (const auto& p : discoverBrowsers(local[0] + L"\\", roaming[0] + L"\\").profiles)
            if (std::find(env.browsers.begin(), env.browsers.end(), p.browser) == env.browsers.end())
                env.browsers.push_back(p.browser);
    }
    if (!roaming.empty())
        env.thunderbird = fileExists(roaming[0] + L"\\Thunderbird\\profiles.ini");

    // The kernel's own version: GetVersionEx answers what the manifest allows.
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (HMODULE ntdll = GetModuleHandleW(L"ntdll.dll")) {
        if (auto fn = reinterpret_cast<RtlGetVersionFn>(
                reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
            fn && fn(&info) == 0) {
            env.major = info.dwMajorVersion;
            env.minor = info.dwMinorVersion;
        }
    }
    return env;
}

std::vector<AppRule> parseRuleText(std::wstring_view text, const std::wstring& source)
{
    std::vector<AppRule> rules;
    // Per entry: the numbered keys seen, to catch one given twice.
    std::vector<std::wstring> seen;
    std::vector<Numbered> detects, detectFiles, fileKeys, regKeys, excludes;
    const auto finish = [&] {
        if (rules.empty())
            return;
        AppRule& rule = rules.back();
        rule.detectKeys = inOrder(std::move(detects));
        rule.detectFiles = inOrder(std::move(detectFiles));
        rule.fileKeyTexts = inOrder(std::move(fileKeys));
        rule.regKeyTexts = inOrder(std::move(regKeys));
        rule.excludeTexts = inOrder(std::move(excludes));
        detects.clear(), detectFiles.clear(), fileKeys.clear(), regKeys.clear(), excludes.clear();
        seen.clear();
        if (rule.refused.empty() && rule.fileKeyTexts.empty() && rule.regKeyTexts.empty())
            rule.refused = L"it removes nothing";
    };
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find_first_of(L"\r\n", at);
        if (end == std::wstring_view::npos)
            end = text.size();
        const std::wstring line = trim(text.substr(at, end - at));
        at = end + 1;
        if (line.empty() || line[0] == L';')
            continue;
        if (line[0] == L'[') {
            finish();
            AppRule rule;
            rule.source = source;
            if (line.back() != L']') {
                rule.name = line.substr(1);
                rule.refused = L"its name is not closed by ]";
            } else {
                rule.name = trim(std::wstring_view(line).substr(1, line.size() - 2));
                if (rule.name.size() >= 2 && rule.name.compare(rule.name.size() - 2, 2, L" *") == 0)
                    rule.name = trim(std::wstring_view(rule.name).substr(0, rule.name.size() - 2));
                else if (rule.name == L"*")
                    rule.name.clear();
                if (rule.name.empty())
                    rule.refused = L"it has no name";
            }
            rules.push_back(std::move(rule));
            continue;
        }
        if (rules.empty())
            continue;  // a header before the first entry belongs to none
        AppRule& rule = rules.back();
        if (!rule.refused.empty())
            continue;
        const size_t eq = line.find(L'=');
        if (eq == std::wstring::npos || eq == 0) {
            rule.refused = L"the line \"" + line + L"\" is malformed";
            continue;
        }
        const std::wstring key = trim(std::wstring_view(line).substr(0, eq));
        const std::wstring value = trim(std::wstring_view(line).substr(eq + 1));
        const auto [base, digits] = splitKeyName(key);
        const std::wstring lowered = toLower(key);
        if (std::find(seen.begin(), seen.end(), lowered) != seen.end()) {
            rule.refused = L"the key " + key + L" is given twice";
            continue;
        }
        seen.push_back(lowered);
        const long long number = digits.empty() ? 0 : parseInteger(digits).value_or(-1);
        if (digits.size() > 9) {
            rule.refused = L"the key " + key + L" is malformed";
            continue;
        }
        if (base == L"langsecref" && digits.empty()) {
            if (rule.section.empty())
                rule.section = sectionOfLangSecRef(value);
        } else if (base == L"section" && digits.empty()) {
            rule.section = value;
        } else if (base == L"detect") {
            detects.push_back({number, value});
        } else if (base == L"detectfile") {
            detectFiles.push_back({number, value});
        } else if (base == L"detectos" && digits.empty()) {
            rule.detectOS = value;
        } else if (base == L"specialdetect" && digits.empty()) {
            rule.specialDetect.push_back(value);
        } else if (base == L"default" && digits.empty()) {
            rule.defaultOn = iequals(value, L"true");
        } else if (base == L"warning" && digits.empty()) {
            rule.warning = value;
        } else if (base == L"filekey" && !digits.empty()) {
            fileKeys.push_back({number, value});
        } else if (base == L"regkey" && !digits.empty()) {
            regKeys.push_back({number, value});
        } else if (base == L"excludekey" && !digits.empty()) {
            excludes.push_back({number, value});
        } else {
            rule.refused = L"the key " + key + L" is unknown to this reader";
        }
    }
    finish();
    // A name given twice names nothing for sure: the later entries go.
    std::unordered_set<std::wstring> names;
    for (auto& rule : rules) {
        if (!rule.name.empty() && !names.insert(toLower(rule.name)).second && rule.refused.empty())
            rule.refused = L"an earlier entry has the same name";
        if (rule.section.empty())
            rule.section = L"Other";
    }
    return rules;
}

std::wstring regKeyText(const RuleRegKey& key)
{
    std::wstring text = rootName(key.root);
    if (text.empty())
        text = key.root == HKEY_CLASSES_ROOT ? L"HKEY_CLASSES_ROOT" : L"HKEY_USERS";
    if (!key.key.empty())
        text += L"\\" + key.key;
    if (key.hasValue)
        text += L"|" + key.value;
    return text;
}

std::wstring lintRegKey(const RuleRegKey& key)
{
    const std::wstring text = regKeyText(key);
    if (key.root == HKEY_CLASSES_ROOT)
        return L"it would remove " + text + L", a file association";
    if (key.root != HKEY_CURRENT_USER && key.root != HKEY_LOCAL_MACHINE)
        return L"it would remove " + text + L", in another user's registry";
    // Wow6432Node is its parent as the 32-bit view sees it: no level of
    // its own ("HKLM\SOFTWARE\Wow6432Node" is HKLM\SOFTWARE).
    std::vector<std::wstring> parts;
    for (auto& part : split(key.key, L'\\'))
        if (!part.empty() && !iequals(part, L"Wow6432Node"))
            parts.push_back(std::move(part));
    const size_t depth = parts.size();
    if (key.root == HKEY_LOCAL_MACHINE && depth > 0 &&
        (iequals(parts[0], L"SYSTEM") || iequals(parts[0], L"SAM") || iequals(parts[0], L"SECURITY") ||
         iequals(parts[0], L"BCD00000000")))
        return L"it would remove " + text + L", under HKEY_LOCAL_MACHINE\\" + parts[0];
    for (size_t i = 0; i < depth; ++i)
        if (iequals(parts[i], L"Classes"))
            return L"it would remove " + text + L", a Classes key (file associations)";
    if (!key.hasValue && depth <= 1)
        return L"it would remove " + text + L", at a hive's root or one level below it";
    if (key.hasValue && depth == 0)
        return L"it would remove " + text + L", at a hive's root";
    return L"";
}

std::wstring lintFolder(const RuleFileKey& key, const RuleEnvironment& env)
{
    const std::wstring folder = toLower(key.folder);
    for (const auto& mask : key.masks)
        if (namesPrograms(mask))
            return L"it would remove programs or libraries (" + mask + L" in " + key.folder + L")";
    const bool sweeps = key.recurse || std::any_of(key.masks.begin(), key.masks.end(), matchesAnything);
    const auto refuse = [&](const std::wstring& protectedFolder) -> std::wstring {
        if (key.removeSelf)
            return L"it would remove " + protectedFolder + L" itself";
        if (key.recurse)
            return L"it would remove files below " + protectedFolder + L" recursively";
        return L"it would remove every file in " + protectedFolder;
    };
    // A drive's root, whatever the letter.
    if (folder.size() == 2 && folder[1] == L':' && sweeps)
        return refuse(key.folder + L"\\");
    for (const auto& p : env.sweptNever) {
        if (sweeps && folderPatternMatches(folder, p))
            return refuse(isWild(folder) ? p : key.folder);  // as the rule wrote it, when it names it
        // A recursive rule above a protected folder would sweep it too.
        if (key.recurse && !isWild(folder) && under(p, folder))
            return L"it would remove files below " + p + L" recursively";
    }
    for (const auto& p : env.programFolders)
        if (folder == p || under(folder, p) || folderPatternMatches(folder, p))
            for (const auto& mask : key.masks)
                if (matchesPrograms(mask))
                    return L"it would remove programs or libraries (" + mask + L" in " + key.folder + L")";
    return L"";
}

void prepareRule(AppRule& rule, const RuleEnvironment& env)
{
    rule.files.clear();
    rule.keys.clear();
    rule.exclusions.clear();
    if (!rule.refused.empty())
        return;
    std::wstring why;
    for (const auto& text : rule.fileKeyTexts) {
        std::vector<RuleFileKey> keys;
        if (!parseFileKey(text, env, keys, why)) {
            rule.refused = why;
            return;
        }
        for (auto& key : keys) {
            if (const std::wstring lint = lintFolder(key, env); !lint.empty()) {
                rule.refused = lint;
                return;
            }
            rule.files.push_back(std::move(key));
        }
    }
    for (const auto& text : rule.regKeyTexts) {
        const auto key = parseRegKey(text, true, why);
        if (!key) {
            rule.refused = why;
            return;
        }
        if (const std::wstring lint = lintRegKey(*key); !lint.empty()) {
            rule.refused = lint;
            return;
        }
        rule.keys.push_back(*key);
    }
    for (const auto& text : rule.excludeTexts)
        if (!parseExclusion(text, env, rule.exclusions, why)) {
            rule.refused = why;
            return;
        }
    for (const auto& text : rule.detectFiles)
        if (resolvePath(text, env, why).empty()) {
            rule.refused = why;
            return;
        }
    for (const auto& text : rule.detectKeys)
        if (!parseRegKey(text, false, why)) {
            rule.refused = why;
            return;
        }
    for (const auto& name : rule.specialDetect)
        if (!specialDetections().count(toLower(name))) {
            rule.refused = L"the detection " + name + L" is unknown to this reader";
            return;
        }
    if (!rule.detectOS.empty()) {
        const size_t bar = rule.detectOS.find(L'|');
        if (!versionText(trim(rule.detectOS.substr(0, bar))) ||
            (bar != std::wstring::npos && !versionText(trim(rule.detectOS.substr(bar + 1))))) {
            rule.refused = L"DetectOS=" + rule.detectOS + L" is malformed";
            return;
        }
    }
}

bool ruleDetected(const AppRule& rule, const RuleEnvironment& env)
{
    if (!rule.detectOS.empty() && !osInRange(rule.detectOS, env))
        return false;
    if (rule.detectKeys.empty() && rule.detectFiles.empty() && rule.specialDetect.empty())
        return true;
    std::wstring why;
    for (const auto& text : rule.detectKeys) {
        const auto key = parseRegKey(text, false, why);
        if (key && regKeyExistsInEitherView(key->root, key->key))
            return true;
    }
    for (const auto& text : rule.detectFiles) {
        for (const auto& path : resolvePath(text, env, why)) {
            const size_t slash = path.find_last_of(L'\\');
            if (slash == std::wstring::npos)
                continue;
            const std::wstring last = path.substr(slash + 1);
            // A plain path is one look-up of its name, never followed.
            if (!isWild(path)) {
                if (PinnedPath::anythingAt(path))
                    return true;
                continue;
            }
            for (const auto& folder : expandFolderPattern(path.substr(0, slash)))
                if (isWild(last) ? !namesMatching(folder, last, false).empty()
                                 : PinnedPath::anythingAt(folder + L"\\" + last))
                    return true;
        }
    }
    for (const auto& name : rule.specialDetect) {
        const std::wstring lowered = toLower(name);
        if (lowered == L"det_thunderbird" && env.thunderbird)
            return true;
        const auto found = specialDetections().find(lowered);
        if (found != specialDetections().end())
            for (const auto& browser : found->second)
                if (std::find(env.browsers.begin(), env.browsers.end(), browser) != env.browsers.end())
                    return true;
    }
    return false;
}

} // namespace sorvane

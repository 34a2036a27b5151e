#include "cleaners/Browsers.h"

#include "platform/Json.h"
#include "platform/PinnedPath.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "win/UniqueHandle.h"

#include <windows.h>

#include <algorithm>
#include <initializer_list>

namespace sorvane {

namespace {

// Index files larger than this are no index of a browser.
constexpr uint64_t kMaxIndexBytes = 16u << 20;

// A real folder of the user's own: present, no link anywhere on its way (a
// link could lead into another user's profile or anywhere else), inside the
// user's profile. `errors`, when given, learns why a folder that is there is
// refused.
bool plainFolder(const std::wstring& path, std::vector<std::wstring>* errors = nullptr, const wchar_t* browser = L"")
{
    if (!PinnedPath::anythingAt(path))
        return false;
    std::wstring why;
    if (PinnedPath::inProfile(path, PinnedPath::Kind::Folder, why))
        return true;
    if (errors)
        errors->push_back(std::wstring(browser) + L": " + path + L" is not cleaned: " + why);
    return false;
}

// One folder name inside its parent: no separators, no "..", no drive.
bool plainName(const std::wstring& name)
{
    return !name.empty() && name != L"." && name != L".." && name.find_first_of(L"\\/:*?\"<>|") == std::wstring::npos &&
           std::none_of(name.begin(), name.end(), [](wchar_t c) { return c < 0x20; });
}

// The file whole, or nothing with `error` set. Read only where it lies
// inside the user's profile with no link on its way.
std::optional<std::string> readIndex(const std::wstring& file, std::wstring& error)
{
    if (!PinnedPath::anythingAt(file))
        return std::nullopt;  // missing: no error
    std::wstring why;
    const auto pin = PinnedPath::inProfile(file, PinnedPath::Kind::File, why);
    if (!pin) {
        error = file + L" is not read: " + why;
        return std::nullopt;
    }
    const win::UniqueFile h = pin->reopenForReading();
    LARGE_INTEGER size{};
    if (!h || !GetFileSizeEx(h.get(), &size)) {
        error = file + L" cannot be read";
        return std::nullopt;
    }
    if (static_cast<uint64_t>(size.QuadPart) > kMaxIndexBytes) {
        error = file + L" is too large to be read";
        return std::nullopt;
    }
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        if (!ReadFile(h.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &got, nullptr) || got == 0) {
            error = file + L" cannot be read";
            return std::nullopt;
        }
        done += got;
    }
    return bytes;
}

struct Chromium {
    const wchar_t* name;
    bool roaming;  // Opera keeps its profile under Roaming AppData
    const wchar_t* path;
    bool singleProfile;  // Opera: the folder is the profile itself
};

const Chromium kChromium[] = {
    {L"Microsoft Edge", false, L"Microsoft\\Edge\\User Data", false},
    {L"Google Chrome", false, L"Google\\Chrome\\User Data", false},
    {L"Brave", false, L"BraveSoftware\\Brave-Browser\\User Data", false},
    {L"Vivaldi", false, L"Vivaldi\\User Data", false},
    {L"Opera", true, L"Opera Software\\Opera Stable", true},
    {L"Opera", true, L"Opera Software\\Opera GX Stable", true},
};

// Profile folder names from Local State's profile.info_cache.
std::optional<std::vector<std::wstring>> indexedProfiles(const std::wstring& userData, std::wstring& error)
{
    const std::wstring file = joinPath(userData, L"Local State");
    const auto bytes = readIndex(file, error);
    if (!bytes)
        return std::nullopt;
    std::wstring why;
    auto listed = jsonMemberNames(*bytes, {"profile", "info_cache"}, why);
    if (!why.empty()) {
        error = file + L" is damaged (" + why + L")";
        return std::nullopt;
    }
    if (!listed)
        return std::nullopt;  // an older browser: its folders tell
    std::vector<std::wstring> names;
    for (auto& name : *listed) {
        if (!plainName(name)) {
            error = file + L" names a profile outside its folder, which is not cleaned: " + name;
            continue;
        }
        names.push_back(std::move(name));
    }
    return names;
}

// "Default" and "Profile N" folders, for a browser whose index says nothing.
std::vector<std::wstring> profileFolders(const std::wstring& userData)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(apiPath(joinPath(userData, L"*")).c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::wstring name = fd.cFileName;
        const bool numbered = name.rfind(L"Profile ", 0) == 0 && name.size() > 8 &&
                              std::all_of(name.begin() + 8, name.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; });
        if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && (name == L"Default" || numbered))
            names.push_back(name);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    std::sort(names.begin(), names.end());
    return names;
}

void addChromium(const Chromium& b, const std::wstring& local, const std::wstring& roaming, BrowserDiscovery& out)
{
    const std::wstring& root = b.roaming ? roaming : local;
    if (root.empty())
        return;  // that folder of the user is not known
    const std::wstring userData = joinPath(root, b.path);
    if (!plainFolder(userData, &out.errors, b.name))
        return;
    if (b.singleProfile) {
        out.profiles.push_back({b.name, true, userData, userData, local.empty() ? L"" : joinPath(local, b.path)});
        return;
    }
    std::wstring error;
    auto names = indexedProfiles(userData, error);
    if (!error.empty())
        out.errors.push_back(std::wstring(b.name) + L": " + error);
    if (!names)
        names = profileFolders(userData);
    for (const auto& name : *names) {
        const std::wstring profile = joinPath(userData, name);
        if (plainFolder(profile, &out.errors, b.name))
            out.profiles.push_back({b.name, true, userData, profile, profile});
    }
}

// profiles.ini: [ProfileN] sections with Path= and IsRelative=.
void addFirefox(const std::wstring& local, const std::wstring& roaming, BrowserDiscovery& out)
{
    if (roaming.empty())
        return;
    const std::wstring base = joinPath(roaming, L"Mozilla\\Firefox");
    const std::wstring file = joinPath(base, L"profiles.ini");
    std::wstring error;
    const auto bytes = readIndex(file, error);
    const auto report = [&](const std::wstring& what) { out.errors.push_back(L"Mozilla Firefox: " + what); };
    if (!bytes) {
        if (!error.empty())
            report(error);
        return;
    }
    if (bytes->size() >= 2 && static_cast<unsigned char>((*bytes)[0]) == 0xFF &&
        static_cast<unsigned char>((*bytes)[1]) == 0xFE) {
        report(file + L" is not in the encoding Firefox writes");
        return;
    }
    const std::wstring text = fromUtf8(*bytes);
    const std::wstring userFolder = tokenProfileFolder();
    struct Section {
        bool profile = false;
        std::wstring path;
        bool relative = true;
    };
    std::vector<Section> sections;
    bool damaged = false;
    for (std::wstring line : split(replaceAll(text, L"\r", L""), L'\n')) {
        line = trim(line);
        if (line.empty() || line[0] == L';' || line[0] == L'#')
            continue;
        if (line[0] == L'[') {
            if (line.back() != L']') {
                damaged = true;
                continue;
            }
            sections.push_back({iequals(line.substr(1, 7), L"Profile"), L"", true});
            continue;
        }
        const size_t eq = line.find(L'=');
        if (eq == std::wstring::npos || sections.empty()) {
            damaged = true;
            continue;
        }
        const std::wstring key = trim(line.substr(0, eq)), value = trim(line.substr(eq + 1));
        if (iequals(key, L"Path"))
            sections.back().path = value;
        else if (iequals(key, L"IsRelative"))
            sections.back().relative = value != L"0";
    }
    if (damaged)
        report(file + L" is damaged; only the profiles it names plainly are cleaned");
    for (const auto& s : sections) {
        if (!s.profile || s.path.empty())
            continue;
        std::wstring path = replaceAll(s.path, L"/", L"\\");
        std::wstring profile;
        if (s.relative) {
            const auto parts = split(path, L'\\');
            if (!std::all_of(parts.begin(), parts.end(), plainName)) {
                report(L"a profile path leads outside the Firefox folder, which is not cleaned: " + s.path);
                continue;
            }
            profile = joinPath(base, path);
        } else {
            // Only the current user's own folders are cleaned.
            std::wstring under = userFolder;
            if (!under.empty() && under.back() != L'\\')
                under += L'\\';
            if (under.size() < 4 || path.size() <= under.size() || !istartsWith(path, under) ||
                path.find(L"\\..") != std::wstring::npos) {
                report(L"a profile outside your user folder is not cleaned: " + s.path);
                continue;
            }
            profile = path;
        }
        if (!plainFolder(profile, &out.errors, L"Mozilla Firefox"))
            continue;
        const std::wstring name = profile.substr(profile.find_last_of(L'\\') + 1);
        out.profiles.push_back({L"Mozilla Firefox", false, L"", profile,
                                local.empty() ? L"" : joinPath(local, L"Mozilla\\Firefox\\Profiles\\" + name)});
    }
}

std::vector<std::wstring> existingFolders(const std::wstring& base, std::initializer_list<const wchar_t*> names)
{
    std::vector<std::wstring> out;
    if (base.empty())
        return out;
    for (const wchar_t* name : names) {
        const std::wstring folder = joinPath(base, name);
        if (plainFolder(folder))
            out.push_back(folder + L"\\");
    }
    return out;
}

bool lockHeld(const std::wstring& file)
{
    // A running Chromium holds its lockfile for writing and deletion on
    // close, sharing reads only; Firefox holds parent.lock sharing nothing.
    // An open that shares no writing conflicts with both. Opened only to learn
    // that, and closed at once.
    win::UniqueFile h(CreateFileW(apiPath(file).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (h)
        return false;
    switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return false;  // no browser made it, or it ended and its lock went
    default:
        // Sharing and lock violations, access denied, delete pending (a
        // browser closing), and whatever else keeps the file from us: the
        // browser may be at work, so it counts as running.
        return true;
    }
}

} // namespace

bool browserIsRunning(const BrowserProfile& profile)
{
    return profile.chromium ? lockHeld(joinPath(profile.userData, L"lockfile"))
                            : lockHeld(joinPath(profile.profile, L"parent.lock"));
}

std::vector<std::wstring> profileCacheFolders(const BrowserProfile& profile)
{
    if (profile.chromium)
        return existingFolders(profile.cache, {L"Cache", L"Code Cache", L"GPUCache", L"DawnGraphiteCache",
                                               L"DawnWebGPUCache", L"Media Cache", L"Application Cache"});
    return existingFolders(profile.cache, {L"cache2", L"startupCache", L"thumbnails", L"jumpListCache"});
}

std::vector<std::wstring> userDataCacheFolders(const std::wstring& userData)
{
    return existingFolders(userData, {L"GPUPersistentCache", L"ShaderCache", L"GrShaderCache", L"GraphiteDawnCache"});
}

BrowserDiscovery discoverBrowsers(const std::wstring& localAppData, const std::wstring& roamingAppData)
{
    BrowserDiscovery out;
    for (const auto& b : kChromium)
        addChromium(b, localAppData, roamingAppData, out);
    addFirefox(localAppData, roamingAppData, out);
    return out;
}

} // namespace sorvane

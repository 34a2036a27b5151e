#pragma once
// Today's browsers: where the current user's profiles of the Chromium family
// (Microsoft Edge, Google Chrome, Brave, Opera, Opera GX, Vivaldi) and of
// Mozilla Firefox are. Found from each browser's own index (Local State,
// profiles.ini); a damaged index is reported and never trusted further
// than the folders that plainly are profiles.
#include <string>
#include <vector>

namespace sorvane {

struct BrowserProfile {
    std::wstring browser;   // "Microsoft Edge", ..., "Mozilla Firefox"
    bool chromium = true;
    std::wstring userData;  // Chromium: the User Data folder (its lockfile, GPU caches)
    std::wstring profile;   // the profile folder (cookies, history)
    std::wstring cache;     // where its cache lives (Firefox and Opera keep it under Local AppData)
};

struct BrowserDiscovery {
    std::vector<BrowserProfile> profiles;
    // "<browser>: <what was wrong>", one per problem met.
    std::vector<std::wstring> errors;
};

// Looks under the user's Local and Roaming AppData folders.
BrowserDiscovery discoverBrowsers(const std::wstring& localAppData, const std::wstring& roamingAppData);

// Whether the profile's browser runs: it holds its lock file open (Chromium's
// "lockfile" in the user-data folder, Firefox's "parent.lock" in the
// profile). A lock file that merely exists is left behind by an ended
// browser and means nothing.
bool browserIsRunning(const BrowserProfile& profile);

// The profile's cache folders that exist as plain folders (no links), with
// their backslash: Chromium's Cache, Code Cache, GPUCache, Dawn caches and
// the older Media Cache and Application Cache; Firefox's cache2,
// startupCache, thumbnails and jumpListCache. Site data is never among them.
std::vector<std::wstring> profileCacheFolders(const BrowserProfile& profile);
// The shader and GPU caches a Chromium user-data folder keeps for all its
// profiles.
std::vector<std::wstring> userDataCacheFolders(const std::wstring& userData);

} // namespace sorvane

#pragma once
// The system's URL cache (cached files, cookies, visited addresses) as the
// cache viewer lists it: every entry whose type has all bits of a mask.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sorvane {

// The viewer's filters. The URL mask holds bits the platform does not name;
// it is kept as it always was.
constexpr DWORD kCacheMaskAll = 1;
constexpr DWORD kCacheMaskCookies = 1048577;
constexpr DWORD kCacheMaskHistory = 2097153;
constexpr DWORD kCacheMaskUrl = 4161;

struct CacheEntry {
    std::wstring sourceUrl;
    std::wstring localName;    // the local file's name
    std::wstring localFolder;  // its folder, without the final backslash
    DWORD type = 0;
    uint32_t size = 0;  // low 32 bits
    DWORD hitRate = 0;
    FILETIME lastAccess{};
    FILETIME lastModified{};
    FILETIME expires{};
};

inline bool matchesCacheMask(DWORD type, DWORD mask) { return (mask & type) == mask; }

// Every entry of the cache that matches the mask, in the cache's order.
// `yield` runs between entries. Nothing when the enumeration cannot start.
std::vector<CacheEntry> getCacheURLList(DWORD mask, const std::function<void()>& yield = {});
// Removes one entry from the cache; false when it could not be removed.
bool deleteCacheEntry(const std::wstring& url);

} // namespace sorvane

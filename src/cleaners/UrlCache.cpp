#include "cleaners/UrlCache.h"

#include <wininet.h>

#include <memory>

namespace sorvane {

namespace {

struct CloseCacheFind {
    void operator()(HANDLE h) const noexcept { FindCloseUrlCache(h); }
};
using UniqueCacheFind = std::unique_ptr<void, CloseCacheFind>;

// One record in a buffer of the size the enumeration asked for.
struct Record {
    std::unique_ptr<unsigned char[]> bytes;
    INTERNET_CACHE_ENTRY_INFOW* info() { return reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(bytes.get()); }
};

Record allocate(DWORD size)
{
    Record r{std::make_unique<unsigned char[]>(size)};
    // The record starts with its own size.
    reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(r.bytes.get())->dwStructSize = size;
    return r;
}

CacheEntry entryOf(const INTERNET_CACHE_ENTRY_INFOW& info)
{
    CacheEntry e;
    e.sourceUrl = info.lpszSourceUrlName ? info.lpszSourceUrlName : L"";
    const std::wstring local = info.lpszLocalFileName ? info.lpszLocalFileName : L"";
    const size_t slash = local.find_last_of(L'\\');
    if (local.size() > 1 && slash != std::wstring::npos) {
        e.localName = local.substr(slash + 1);
        e.localFolder = local.substr(0, slash);
    }
    e.type = info.CacheEntryType;
    e.size = info.dwSizeLow;
    e.hitRate = info.dwHitRate;
    e.lastAccess = info.LastAccessTime;
    e.lastModified = info.LastModifiedTime;
    e.expires = info.ExpireTime;
    return e;
}

} // namespace

std::vector<CacheEntry> getCacheURLList(DWORD mask, const std::function<void()>& yield)
{
    std::vector<CacheEntry> out;
    // The first call, without a buffer, tells the size the record needs.
    DWORD size = 0;
    HANDLE probe = FindFirstUrlCacheEntryW(nullptr, nullptr, &size);
    if (probe) {
        FindCloseUrlCache(probe);
        return out;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0)
        return out;
    Record record = allocate(size);
    UniqueCacheFind find(FindFirstUrlCacheEntryW(nullptr, record.info(), &size));
    if (!find)
        return out;
    for (;;) {
        if (matchesCacheMask(record.info()->CacheEntryType, mask))
            out.push_back(entryOf(*record.info()));
        if (yield)
            yield();
        size = 0;
        if (FindNextUrlCacheEntryW(find.get(), nullptr, &size) || GetLastError() != ERROR_INSUFFICIENT_BUFFER ||
            size == 0)
            break;
        record = allocate(size);
        if (!FindNextUrlCacheEntryW(find.get(), record.info(), &size))
            break;
    }
    return out;
}

bool deleteCacheEntry(const std::wstring& url) { return DeleteUrlCacheEntryW(url.c_str()) != FALSE; }

} // namespace sorvane

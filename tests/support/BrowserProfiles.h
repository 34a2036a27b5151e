#pragma once
// Databases as today's browsers write them (their tables and columns as
// Chromium 156 and Firefox 153 create them), made with the program's own
// SQLite, for the tests and the benchmarks.
#include <string>
#include <vector>

namespace testenv {

// Chromium's cookie store ("Network\Cookies"): one cookie per host given,
// named after its position.
void makeChromiumCookies(const std::wstring& path, const std::vector<std::string>& hosts);
// Firefox's cookies.sqlite, in write-ahead-log mode as Firefox keeps it.
void makeFirefoxCookies(const std::wstring& path, const std::vector<std::string>& hosts);
// Chromium's History: urls, visits, keyword searches, downloads.
void makeChromiumHistory(const std::wstring& path, const std::vector<std::string>& urls);

struct PlacesPage {
    std::string url;
    bool bookmarked = false;
    bool keyword = false;  // a bookmark keyword refers to it
};
// Firefox's places.sqlite: each page visited twice, with input history,
// metadata, a new-tab shortcut use, an annotation and its origin; bookmarks (in the menu folder)
// for the pages marked so.
void makeFirefoxPlaces(const std::wstring& path, const std::vector<PlacesPage>& pages);

// A running browser's hold on its lock file, made with that browser's own
// flags: Chromium's "lockfile" in the user-data folder (written, shared for
// reading only, deleted on close), Firefox's "parent.lock" in the profile
// (read and written, shared with nobody, kept after close). Released when
// the holder goes.
class BrowserLock {
public:
    static BrowserLock chromium(const std::wstring& userData);
    static BrowserLock firefox(const std::wstring& profile);
    BrowserLock(BrowserLock&& other) noexcept : m_handle(other.m_handle) { other.m_handle = nullptr; }
    BrowserLock(const BrowserLock&) = delete;
    BrowserLock& operator=(const BrowserLock&) = delete;
    ~BrowserLock();
    bool held() const { return m_handle != nullptr; }

private:
    explicit BrowserLock(void* handle) : m_handle(handle) {}
    void* m_handle = nullptr;
};

// A query's rows as text, one line per row, columns parted by "|".
std::string queryRows(const std::wstring& path, const std::string& sql);

} // namespace testenv

#pragma once
// The databases of today's browsers that the Cookies and History categories
// clear: cookie stores (Chromium's Cookies, Firefox's cookies.sqlite), the
// Chromium history files and Firefox's places.sqlite. A database is changed
// only through SQLite's own transaction, and only after it passed SQLite's
// check and shows the tables and columns this code knows; otherwise it is
// left exactly as it was and the caller gets the reason.
#include "cleaners/Browsers.h"
#include "core/Deletion.h"
#include "platform/PinnedPath.h"
#include "store/ListFiles.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sorvane {

class SqliteDb;

// The sites whose cookies stay, from the keep list. An entry without "@"
// and without a folder names a site ("bank.example"), a URL its host; an
// Internet Explorer cookie file "user@site[1].txt" keeps "site". A site keeps
// every cookie it would be sent: its own and its subdomains', and the domain
// cookies of its parent domains below the public suffix ("www.bank.example"
// keeps ".bank.example", never ".example"); never a look-alike
// ("notbank.example"). A dotless IE name keeps only the registrable domains
// it is the first label of ("bank" keeps "bank.co.uk", not "bank.evil.example").
class CookieKeepList {
public:
    CookieKeepList() = default;
    explicit CookieKeepList(const std::vector<KeptCookie>& entries);
    bool empty() const noexcept { return m_sites.empty(); }
    // `host` as a store writes it: ".bank.example", "www.bank.example".
    bool keeps(std::string_view host) const;
    const std::vector<std::string>& sites() const noexcept { return m_sites; }

private:
    std::vector<std::string> m_sites;  // lowercase, UTF-8, no leading dot
};
// The site an entry of the keep list names, lowercase; empty when none.
std::wstring keptCookieSite(const KeptCookie& entry);

// What became of one database.
struct StoreResult {
    enum Kind {
        Cleared,    // rows deleted inside the file, which stays
        Removed,    // the whole file (and its journal) handed to the deletion engine
        Untouched,  // left as it was; `error` says why
    } kind = Untouched;
    int64_t removedRows = 0;
    int64_t keptRows = 0;
    std::wstring error;
    // Cleared, but the file could not be compacted afterwards.
    bool notCompacted = false;
    // Cleared: how the change can be undone, for the end of its log line
    // (" (its original is in the Recycle Bin as ...)", " (cannot be undone)");
    // empty with the backup method, whose archive holds the original.
    std::wstring undo;
};

// The cookie stores of a profile that exist: Chromium's Network\Cookies and
// the older Cookies, Firefox's cookies.sqlite.
std::vector<std::wstring> cookieStoresOf(const BrowserProfile& profile);
// Clears a cookie store but for the kept sites' rows. With nothing kept in
// it, the file and its journal go through the engine like any file (counted
// there); otherwise the other rows are deleted in one transaction and the
// file is compacted, after the engine stored the original when the delete
// method is the backup.
StoreResult clearCookieStore(DeletionEngine& engine, const std::wstring& path, bool chromium,
                             const CookieKeepList& keep);

// Pins a database and the journal and log files beside it in the user's own
// profile (no link anywhere on their way, nothing outside the profile);
// false with `why` for the log otherwise.
bool pinDatabase(const std::wstring& path, std::vector<PinnedPath>& pins, std::wstring& why);
// Opens the first pinned database, checking that SQLite opened that very file.
bool openPinned(SqliteDb& db, const std::vector<PinnedPath>& pins, bool readOnly);

// Hands a database file to the engine, then the journal and log files SQLite
// keeps beside it (never those without the database: a journal left alone
// could be taken for the database's own). Counted in the run's files when
// `counted`.
StoreResult removeDatabaseFile(DeletionEngine& engine, const std::wstring& path, bool counted);

// Chromium's history files of a profile that exist: History, Visited Links, Top Sites, Shortcuts, Network Action
// Predictor, History Provider Cache.
std::vector<std::wstring> chromiumHistoryFiles(const BrowserProfile& profile);
// Firefox's places.sqlite: every visit, every place no bookmark or keyword
// refers to, input history, page metadata, annotations and origins of the
// places that go; the visit counts of the places kept are reset. Bookmarks
// stay. The original is stored first with the backup method.
StoreResult clearFirefoxHistory(DeletionEngine& engine, const std::wstring& places);

// A site found in the browsers' cookie stores, for the keep list.
struct CookieSite {
    std::wstring site;      // no leading dot, lowercase
    int64_t cookies = 0;
    std::wstring browsers;  // "Google Chrome, Mozilla Firefox"
};
// The sites of every store that can be read now, sorted by name. A store a
// running browser holds, or a damaged one, adds nothing.
std::vector<CookieSite> cookieSitesOf(const std::vector<BrowserProfile>& profiles);

// "Google Chrome (Profile 1)", "Opera", "Mozilla Firefox (x1y2.default)".
std::wstring profileLabel(const BrowserProfile& profile);

} // namespace sorvane

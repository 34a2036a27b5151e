#include "cleaners/BrowserStores.h"

#include "platform/ErrorReport.h"
#include "platform/PinnedPath.h"
#include "platform/PublicSuffix.h"
#include "platform/Sqlite.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "win/UniqueHandle.h"

#include <windows.h>

#include <algorithm>
#include <functional>
#include <map>

namespace sorvane {

namespace {

std::string_view withoutLeadingDot(std::string_view host)
{
    while (!host.empty() && host.front() == '.')
        host.remove_prefix(1);
    return host;
}

bool endsWith(std::string_view s, std::string_view tail)
{
    return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

// The files SQLite keeps beside a database while it is written.
constexpr const wchar_t* kCompanions[] = {L"-journal", L"-wal", L"-shm"};

} // namespace

bool pinDatabase(const std::wstring& path, std::vector<PinnedPath>& pins, std::wstring& why)
{
    auto main = PinnedPath::inProfile(path, PinnedPath::Kind::File, why);
    if (!main)
        return false;
    pins.push_back(std::move(*main));
    for (const auto* tail : kCompanions) {
        const std::wstring companion = path + tail;
        // Looked up by name, never followed: a dangling link would have
        // SQLite create its journal wherever the link points.
        if (!PinnedPath::anythingAt(companion))
            continue;
        std::wstring companionWhy;
        auto pin = PinnedPath::inProfile(companion, PinnedPath::Kind::File, companionWhy);
        if (!pin) {
            why = L"its file " + companion.substr(companion.find_last_of(L'\\') + 1) + L" cannot be trusted: " +
                  companionWhy;
            return false;
        }
        pins.push_back(std::move(*pin));
    }
    return true;
}

bool openPinned(SqliteDb& db, const std::vector<PinnedPath>& pins, bool readOnly)
{
    if (pins.empty() || !db.open(pins.front().path(), readOnly))
        return false;
    if (pins.front().sameFile(db.fileHandle()))
        return true;
    db.close();
    return false;
}

namespace {

// Opens a database for a change: a plain file, SQLite's check passed, the
// tables and columns asked for present, and no other connection holding it.
// An analysis opens it as it is, read-only, with the same checks.
bool openForChange(SqliteDb& db, std::vector<PinnedPath>& pins, const std::wstring& path, StoreResult& result,
                   std::initializer_list<std::pair<const char*, std::initializer_list<std::string_view>>> schema,
                   bool analyzing)
{
    std::wstring why;
    if (!pinDatabase(path, pins, why)) {
        result.error = why;
        return false;
    }
    // A write-ahead log that holds changes stays as found when the database
    // is refused: folding it in would write to a file that is left alone.
    const bool pendingLog = fileExists(path + L"-wal") && fileLength(path + L"-wal") > 0;
    const auto refuse = [&](std::wstring reason) {
        result.error = std::move(reason);
        if (pendingLog)
            db.keepLogOnClose();
        return false;
    };
    if (!(analyzing ? db.openAsIs(path) : db.open(path, false)))
        return refuse(db.error());
    if (!pins.front().sameFile(db.fileHandle())) {
        db.close();
        result.error = L"it was replaced while it was opened";
        return false;
    }
    if (!db.checkIntegrity())
        return refuse(db.error());
    for (const auto& [table, columns] : schema)
        if (!db.hasColumns(table, columns))
            return refuse(L"it has no table \"" + fromUtf8(table) + L"\" of the known columns");
    return true;
}

} // namespace

StoreResult removeDatabaseFile(DeletionEngine& engine, const std::wstring& path, bool counted)
{
    const auto remove = [&](const std::wstring& file) {
        return counted ? engine.deleteCounted(file, fileLength(file)) : engine.deleteOneFile(file);
    };
    StoreResult result;
    // The folders stay held while the files go by name.
    std::vector<PinnedPath> pins;
    if (!pinDatabase(path, pins, result.error))
        return result;
    for (auto& pin : pins)
        pin.releaseFile();
    if (remove(path) == 0) {
        result.error = L"the file could not be deleted";
        return result;
    }
    result.kind = StoreResult::Removed;
    for (const auto* tail : kCompanions) {
        const std::wstring companion = path + tail;
        if (fileExists(companion))
            remove(companion);
    }
    return result;
}

namespace {

// Everything is in the main file (a write-ahead log folded in), and with the
// backup method a copy of it is on disk: the point from which a change may
// start.
bool prepareChange(SqliteDb& db, DeletionEngine& engine, const std::wstring& path, StoreResult& result)
{
    bool walMode = false;
    {
        SqliteStatement mode(db, "PRAGMA journal_mode");
        walMode = mode.step() && asciiLower(mode.text(0)) == "wal";
    }
    if (walMode) {
        SqliteStatement cp(db, "PRAGMA wal_checkpoint(TRUNCATE)");
        if (!cp.step() || cp.integer(0) != 0) {
            result.error = cp.failed() ? db.error() : L"its log could not be folded into the file";
            return false;
        }
    }
    std::wstring recycledAs;
    if (!engine.backUpCopy(path, &recycledAs)) {
        result.error = engine.settings().intDelMethod == kRecycleBin
                           ? L"its original could not be put in the Recycle Bin"
                           : L"its original could not be stored in the backup archive";
        return false;
    }
    if (!recycledAs.empty())
        result.undo = L" (its original is in the Recycle Bin as " + recycledAs + L")";
    else if (!engine.canUndoInPlaceChanges())
        result.undo = L" (cannot be undone)";
    // Deleted rows leave no trace in free pages.
    db.exec("PRAGMA secure_delete=ON");
    return true;
}

// Runs the statements in one transaction; nothing of them stays on a failure.
bool inTransaction(SqliteDb& db, StoreResult& result, const std::function<bool()>& body)
{
    if (!db.exec("BEGIN IMMEDIATE")) {
        result.error = db.error();
        return false;
    }
    if (!body() || !db.exec("COMMIT")) {
        result.error = db.error();
        db.exec("ROLLBACK");
        return false;
    }
    return true;
}

void compact(SqliteDb& db, StoreResult& result)
{
    result.notCompacted = !db.exec("VACUUM");
}

} // namespace

std::wstring keptCookieSite(const KeptCookie& entry)
{
    std::wstring name = toLower(entry.name);
    const size_t scheme = name.find(L"://");
    if (scheme != std::wstring::npos) {
        // A URL keeps its host: "https://user@bank.example:443/login?x".
        if (!entry.folder.empty())
            return {};
        name = name.substr(scheme + 3);
        name.resize(std::min(name.size(), name.find_first_of(L"/?#")));
        const size_t userInfo = name.rfind(L'@');
        if (userInfo != std::wstring::npos)
            name.erase(0, userInfo + 1);
        const size_t port = name.find(L':');
        if (port != std::wstring::npos)
            name.resize(port);
    } else if (const size_t at = name.find(L'@'); at == std::wstring::npos) {
        if (!entry.folder.empty() || name.find(L'\\') != std::wstring::npos)
            return {};
    } else {
        // user@site[1].txt
        name = name.substr(at + 1);
        const size_t bracket = name.find(L'[');
        if (bracket != std::wstring::npos)
            name.resize(bracket);
        else if (name.size() > 4 && name.compare(name.size() - 4, 4, L".txt") == 0)
            name.resize(name.size() - 4);
    }
    while (!name.empty() && (name.front() == L'.' || iswspace(name.front())))
        name.erase(0, 1);
    while (!name.empty() && (name.back() == L'.' || iswspace(name.back())))
        name.pop_back();
    if (name.find_first_of(L" \t/\\@:?#") != std::wstring::npos)
        return {};
    return name;
}

CookieKeepList::CookieKeepList(const std::vector<KeptCookie>& entries)
{
    for (const auto& e : entries) {
        const std::wstring site = keptCookieSite(e);
        if (site.empty())
            continue;
        std::string s = asciiLower(toUtf8(site));
        if (std::find(m_sites.begin(), m_sites.end(), s) == m_sites.end())
            m_sites.push_back(std::move(s));
    }
}

bool CookieKeepList::keeps(std::string_view host) const
{
    const bool domainCookie = !host.empty() && host.front() == '.';
    const std::string h = asciiLower(withoutLeadingDot(host));
    if (h.empty())
        return false;
    for (const auto& site : m_sites) {
        if (site.find('.') == std::string::npos) {
            // Internet Explorer names some cookie files after the site's
            // name alone ("user@bank[1].txt"): it keeps the registrable
            // domains that name begins, and their subdomains.
            const std::string registrable = registrableDomain(h);
            if (registrable.size() > site.size() && registrable.compare(0, site.size(), site) == 0 &&
                registrable[site.size()] == '.')
                return true;
            continue;
        }
        // The site's own cookies and its subdomains'.
        if (h == site || endsWith(h, "." + site))
            return true;
        // A domain cookie of a parent domain is sent to the site too (often
        // its login), up to, never including, a suffix anybody can register
        // under.
        if (domainCookie && endsWith(site, "." + h) && !isPublicSuffix(h))
            return true;
    }
    return false;
}

std::wstring profileLabel(const BrowserProfile& profile)
{
    if (profile.chromium && profile.userData == profile.profile)
        return profile.browser;
    std::wstring folder = profile.profile;
    while (!folder.empty() && folder.back() == L'\\')
        folder.pop_back();
    return profile.browser + L" (" + folder.substr(folder.find_last_of(L'\\') + 1) + L")";
}

std::vector<std::wstring> cookieStoresOf(const BrowserProfile& profile)
{
    std::vector<std::wstring> stores;
    const auto names = profile.chromium ? std::vector<std::wstring>{L"Network\\Cookies", L"Cookies"}
                                        : std::vector<std::wstring>{L"cookies.sqlite"};
    for (const auto& name : names) {
        const std::wstring path = joinPath(profile.profile, name);
        if (fileExists(path))
            stores.push_back(path);
    }
    return stores;
}

StoreResult clearCookieStore(DeletionEngine& engine, const std::wstring& path, bool chromium,
                             const CookieKeepList& keep)
{
    StoreResult result;
    const char* table = chromium ? "cookies" : "moz_cookies";
    const char* column = chromium ? "host_key" : "host";
    SqliteDb db;
    std::vector<PinnedPath> pins;
    if (!openForChange(db, pins, path, result, {{table, {column}}}, engine.analyzing()))
        return result;
    if (!db.defineTextPredicate("sorvane_kept", [&keep](std::string_view host) { return keep.keeps(host); })) {
        result.error = db.error();
        return result;
    }
    const std::string where = std::string(" FROM ") + table + " WHERE sorvane_kept(" + column + ")";
    const int64_t kept = keep.empty() ? 0 : db.scalar("SELECT count(*)" + where);
    const int64_t all = db.scalar(std::string("SELECT count(*) FROM ") + table);
    if (kept < 0 || all < 0) {
        result.error = db.error();
        return result;
    }
    if (kept == 0) {
        db.close();
        pins.clear();
        result = removeDatabaseFile(engine, path, true);
        result.removedRows = all;
        return result;
    }
    if (engine.analyzing()) {
        if (all > kept)
            engine.run().found(path + L": " + std::to_wstring(all - kept) + L" cookies", 0, all - kept);
        return result;
    }
    if (!prepareChange(db, engine, path, result))
        return result;
    if (!inTransaction(db, result, [&] {
            if (!db.exec(std::string("DELETE FROM ") + table + " WHERE NOT sorvane_kept(" + column + ")"))
                return false;
            result.removedRows = db.changes();
            return true;
        }))
        return result;
    result.kind = StoreResult::Cleared;
    result.keptRows = kept;
    compact(db, result);
    return result;
}

std::vector<std::wstring> chromiumHistoryFiles(const BrowserProfile& profile)
{
    std::vector<std::wstring> files;
    for (const auto* name : {L"History", L"Visited Links", L"Top Sites", L"Shortcuts", L"Network Action Predictor",
                             L"History Provider Cache"}) {
        const std::wstring path = joinPath(profile.profile, name);
        if (!fileExists(path))
            continue;
        files.push_back(path);
    }
    return files;
}

StoreResult clearFirefoxHistory(DeletionEngine& engine, const std::wstring& places)
{
    StoreResult result;
    SqliteDb db;
    std::vector<PinnedPath> pins;
    if (!openForChange(db, pins, places, result,
                       {{"moz_places", {"id"}}, {"moz_historyvisits", {"place_id"}}, {"moz_bookmarks", {"fk"}}},
                       engine.analyzing()))
        return result;
    const auto placeColumns = db.columnsOf("moz_places");
    const auto has = [&](std::string_view c) {
        return std::find(placeColumns.begin(), placeColumns.end(), c) != placeColumns.end();
    };
    // What a bookmark or a keyword refers to stays.
    std::string keptPlaces = "SELECT fk FROM moz_bookmarks WHERE fk IS NOT NULL";
    if (db.hasColumns("moz_keywords", {"place_id"}))
        keptPlaces += " UNION SELECT place_id FROM moz_keywords WHERE place_id IS NOT NULL";
    if (has("foreign_count"))
        keptPlaces += " UNION SELECT id FROM moz_places WHERE foreign_count > 0";
    const int64_t kept = db.scalar("SELECT count(*) FROM moz_places WHERE id IN (" + keptPlaces + ")");
    if (kept < 0) {
        result.error = db.error();
        return result;
    }
    if (engine.analyzing()) {
        const int64_t going = db.scalar("SELECT count(*) FROM moz_places WHERE id NOT IN (" + keptPlaces + ")");
        if (going > 0)
            engine.run().found(places + L": " + std::to_wstring(going) + L" pages", 0, going);
        return result;
    }
    if (!prepareChange(db, engine, places, result))
        return result;
    const bool done = inTransaction(db, result, [&] {
        std::vector<std::string> sql;
        // Every visit and every record of how pages were reached or used.
        sql.push_back("DELETE FROM moz_historyvisits");
        for (const char* table : {"moz_historyvisits_extra", "moz_inputhistory", "moz_places_metadata",
                                  "moz_places_metadata_search_queries", "moz_newtab_shortcuts_interaction"})
            if (!db.columnsOf(table).empty())
                sql.push_back(std::string("DELETE FROM ") + table);
        // What belongs to the places that go.
        for (const char* table : {"moz_annos", "moz_places_extra"})
            if (db.hasColumns(table, {"place_id"}))
                sql.push_back(std::string("DELETE FROM ") + table + " WHERE place_id NOT IN (" + keptPlaces + ")");
        sql.push_back("DELETE FROM moz_places WHERE id NOT IN (" + keptPlaces + ")");
        const size_t placesStep = sql.size() - 1;
        std::string reset;
        if (has("visit_count"))
            reset += "visit_count = 0";
        if (has("last_visit_date"))
            reset += std::string(reset.empty() ? "" : ", ") + "last_visit_date = NULL";
        if (has("recalc_frecency"))
            reset += std::string(reset.empty() ? "" : ", ") + "recalc_frecency = 1";
        if (!reset.empty())
            sql.push_back("UPDATE moz_places SET " + reset);
        if (has("origin_id") && db.hasColumns("moz_origins", {"id"}))
            sql.push_back("DELETE FROM moz_origins WHERE id NOT IN "
                          "(SELECT origin_id FROM moz_places WHERE origin_id IS NOT NULL)");
        for (size_t i = 0; i < sql.size(); ++i) {
            if (!db.exec(sql[i]))
                return false;
            if (i == placesStep)
                result.removedRows = db.changes();
        }
        return true;
    });
    if (!done)
        return result;
    result.kind = StoreResult::Cleared;
    result.keptRows = kept;
    compact(db, result);
    return result;
}

std::vector<CookieSite> cookieSitesOf(const std::vector<BrowserProfile>& profiles)
{
    struct Found {
        int64_t cookies = 0;
        std::vector<std::wstring> browsers;
    };
    std::map<std::string, Found> sites;
    for (const auto& profile : profiles) {
        for (const auto& path : cookieStoresOf(profile)) {
            std::vector<PinnedPath> pins;
            std::wstring why;
            SqliteDb db;
            if (!pinDatabase(path, pins, why) || !openPinned(db, pins, true))
                continue;
            const char* sql = profile.chromium ? "SELECT host_key, count(*) FROM cookies GROUP BY host_key"
                                               : "SELECT host, count(*) FROM moz_cookies GROUP BY host";
            SqliteStatement st(db, sql);
            while (st.step()) {
                const std::string site = asciiLower(withoutLeadingDot(st.text(0)));
                if (site.empty())
                    continue;
                Found& f = sites[site];
                f.cookies += st.integer(1);
                if (std::find(f.browsers.begin(), f.browsers.end(), profile.browser) == f.browsers.end())
                    f.browsers.push_back(profile.browser);
            }
        }
    }
    std::vector<CookieSite> out;
    for (auto& [site, f] : sites) {
        CookieSite c;
        c.site = fromUtf8(site);
        c.cookies = f.cookies;
        for (const auto& b : f.browsers)
            c.browsers += (c.browsers.empty() ? L"" : L", ") + b;
        out.push_back(std::move(c));
    }
    return out;
}

} // namespace sorvane

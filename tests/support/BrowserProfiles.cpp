#include "support/BrowserProfiles.h"

#include "platform/Sqlite.h"
#include "platform/Text.h"

#include <gtest/gtest.h>

#include <windows.h>

using sorvane::SqliteDb;
using sorvane::SqliteStatement;

namespace testenv {

namespace {

const char* const kChromiumCookies = R"(
CREATE TABLE meta(key LONGVARCHAR NOT NULL UNIQUE PRIMARY KEY, value LONGVARCHAR);
INSERT INTO meta VALUES('mmap_status','-1'),('version','24'),('last_compatible_version','24');
CREATE TABLE cookies(creation_utc INTEGER NOT NULL,host_key TEXT NOT NULL,top_frame_site_key TEXT NOT NULL,
  name TEXT NOT NULL,value TEXT NOT NULL,encrypted_value BLOB NOT NULL,path TEXT NOT NULL,
  expires_utc INTEGER NOT NULL,is_secure INTEGER NOT NULL,is_httponly INTEGER NOT NULL,
  last_access_utc INTEGER NOT NULL,has_expires INTEGER NOT NULL,is_persistent INTEGER NOT NULL,
  priority INTEGER NOT NULL,samesite INTEGER NOT NULL,source_scheme INTEGER NOT NULL,
  source_port INTEGER NOT NULL,last_update_utc INTEGER NOT NULL,source_type INTEGER NOT NULL,
  has_cross_site_ancestor INTEGER NOT NULL);
CREATE UNIQUE INDEX cookies_unique_index ON cookies(host_key, top_frame_site_key, has_cross_site_ancestor,
  name, path, source_scheme, source_port);
)";

const char* const kFirefoxCookies = R"(
PRAGMA journal_mode=WAL;
PRAGMA user_version=17;
CREATE TABLE moz_cookies (id INTEGER PRIMARY KEY, originAttributes TEXT NOT NULL DEFAULT '', name TEXT,
  value TEXT, host TEXT, path TEXT, expiry INTEGER, lastAccessed INTEGER, creationTime INTEGER,
  isSecure INTEGER, isHttpOnly INTEGER, inBrowserElement INTEGER DEFAULT 0, sameSite INTEGER DEFAULT 0,
  schemeMap INTEGER DEFAULT 0, isPartitionedAttributeSet INTEGER DEFAULT 0, updateTime INTEGER,
  CONSTRAINT moz_uniqueid UNIQUE (name, host, path, originAttributes));
)";

const char* const kChromiumHistory = R"(
CREATE TABLE meta(key LONGVARCHAR NOT NULL UNIQUE PRIMARY KEY, value LONGVARCHAR);
INSERT INTO meta VALUES('version','68'),('last_compatible_version','16');
CREATE TABLE urls(id INTEGER PRIMARY KEY AUTOINCREMENT,url LONGVARCHAR,title LONGVARCHAR,
  visit_count INTEGER DEFAULT 0 NOT NULL,typed_count INTEGER DEFAULT 0 NOT NULL,
  last_visit_time INTEGER NOT NULL,hidden INTEGER DEFAULT 0 NOT NULL);
CREATE TABLE visits(id INTEGER PRIMARY KEY AUTOINCREMENT,url INTEGER NOT NULL,visit_time INTEGER NOT NULL,
  from_visit INTEGER,external_referrer_url TEXT,transition INTEGER DEFAULT 0 NOT NULL,segment_id INTEGER,
  visit_duration INTEGER DEFAULT 0 NOT NULL,incremented_omnibox_typed_score BOOLEAN DEFAULT FALSE NOT NULL,
  opener_visit INTEGER,originator_cache_guid TEXT,originator_visit_id INTEGER,originator_from_visit INTEGER,
  originator_opener_visit INTEGER,is_known_to_sync BOOLEAN DEFAULT FALSE NOT NULL,
  consider_for_ntp_most_visited BOOLEAN DEFAULT FALSE NOT NULL,visited_link_id INTEGER DEFAULT 0 NOT NULL,
  app_id TEXT);
CREATE TABLE keyword_search_terms (keyword_id INTEGER NOT NULL,url_id INTEGER NOT NULL,term LONGVARCHAR NOT NULL,
  normalized_term LONGVARCHAR NOT NULL);
CREATE TABLE downloads (id INTEGER PRIMARY KEY,guid VARCHAR NOT NULL,current_path LONGVARCHAR NOT NULL,
  target_path LONGVARCHAR NOT NULL,start_time INTEGER NOT NULL,received_bytes INTEGER NOT NULL,
  total_bytes INTEGER NOT NULL,state INTEGER NOT NULL,danger_type INTEGER NOT NULL,
  interrupt_reason INTEGER NOT NULL,hash BLOB NOT NULL,end_time INTEGER NOT NULL,opened INTEGER NOT NULL,
  last_access_time INTEGER NOT NULL,transient INTEGER NOT NULL,referrer VARCHAR NOT NULL,
  site_url VARCHAR NOT NULL,tab_url VARCHAR NOT NULL,tab_referrer_url VARCHAR NOT NULL,
  http_method VARCHAR NOT NULL,by_ext_id VARCHAR NOT NULL,by_ext_name VARCHAR NOT NULL,
  etag VARCHAR NOT NULL,last_modified VARCHAR NOT NULL,mime_type VARCHAR(255) NOT NULL,
  original_mime_type VARCHAR(255) NOT NULL);
)";

const char* const kFirefoxPlaces = R"(
PRAGMA journal_mode=WAL;
PRAGMA user_version=86;
CREATE TABLE moz_origins ( id INTEGER PRIMARY KEY, prefix TEXT NOT NULL, host TEXT NOT NULL,
  frecency INTEGER NOT NULL, recalc_frecency INTEGER NOT NULL DEFAULT 0, alt_frecency INTEGER,
  recalc_alt_frecency INTEGER NOT NULL DEFAULT 0, block_until_ms INTEGER, block_pages_until_ms INTEGER,
  UNIQUE (prefix, host) );
CREATE TABLE moz_places ( id INTEGER PRIMARY KEY, url LONGVARCHAR, title LONGVARCHAR, rev_host LONGVARCHAR,
  visit_count INTEGER DEFAULT 0, hidden INTEGER DEFAULT 0 NOT NULL, typed INTEGER DEFAULT 0 NOT NULL,
  frecency INTEGER DEFAULT -1 NOT NULL, last_visit_date INTEGER , guid TEXT,
  foreign_count INTEGER DEFAULT 0 NOT NULL, url_hash INTEGER DEFAULT 0 NOT NULL , description TEXT,
  preview_image_url TEXT, site_name TEXT, origin_id INTEGER REFERENCES moz_origins(id),
  recalc_frecency INTEGER NOT NULL DEFAULT 0, alt_frecency INTEGER, recalc_alt_frecency INTEGER NOT NULL DEFAULT 0);
CREATE TABLE moz_historyvisits ( id INTEGER PRIMARY KEY, from_visit INTEGER, place_id INTEGER,
  visit_date INTEGER, visit_type INTEGER, session INTEGER, source INTEGER DEFAULT 0 NOT NULL,
  triggeringPlaceId INTEGER);
CREATE TABLE moz_inputhistory ( place_id INTEGER NOT NULL, input LONGVARCHAR NOT NULL, use_count INTEGER,
  PRIMARY KEY (place_id, input));
CREATE TABLE moz_bookmarks ( id INTEGER PRIMARY KEY, type INTEGER, fk INTEGER DEFAULT NULL, parent INTEGER,
  position INTEGER, title LONGVARCHAR, keyword_id INTEGER, folder_type TEXT, dateAdded INTEGER,
  lastModified INTEGER, guid TEXT, syncStatus INTEGER NOT NULL DEFAULT 0,
  syncChangeCounter INTEGER NOT NULL DEFAULT 1);
CREATE TABLE moz_bookmarks_deleted ( guid TEXT PRIMARY KEY, dateRemoved INTEGER NOT NULL DEFAULT 0);
CREATE TABLE moz_keywords ( id INTEGER PRIMARY KEY AUTOINCREMENT, keyword TEXT UNIQUE, place_id INTEGER,
  post_data TEXT);
CREATE TABLE moz_anno_attributes ( id INTEGER PRIMARY KEY, name VARCHAR(32) UNIQUE NOT NULL);
CREATE TABLE moz_annos ( id INTEGER PRIMARY KEY, place_id INTEGER NOT NULL, anno_attribute_id INTEGER,
  content LONGVARCHAR, flags INTEGER DEFAULT 0, expiration INTEGER DEFAULT 0, type INTEGER DEFAULT 0,
  dateAdded INTEGER DEFAULT 0, lastModified INTEGER DEFAULT 0);
CREATE TABLE moz_items_annos ( id INTEGER PRIMARY KEY, item_id INTEGER NOT NULL, anno_attribute_id INTEGER,
  content LONGVARCHAR, flags INTEGER DEFAULT 0, expiration INTEGER DEFAULT 0, type INTEGER DEFAULT 0,
  dateAdded INTEGER DEFAULT 0, lastModified INTEGER DEFAULT 0);
CREATE TABLE moz_meta (key TEXT PRIMARY KEY, value NOT NULL) WITHOUT ROWID;
CREATE TABLE moz_places_metadata (id INTEGER PRIMARY KEY, place_id INTEGER NOT NULL, referrer_place_id INTEGER,
  created_at INTEGER NOT NULL DEFAULT 0, updated_at INTEGER NOT NULL DEFAULT 0,
  total_view_time INTEGER NOT NULL DEFAULT 0, typing_time INTEGER NOT NULL DEFAULT 0,
  key_presses INTEGER NOT NULL DEFAULT 0, scrolling_time INTEGER NOT NULL DEFAULT 0,
  scrolling_distance INTEGER NOT NULL DEFAULT 0, document_type INTEGER NOT NULL DEFAULT 0,
  search_query_id INTEGER, FOREIGN KEY (place_id) REFERENCES moz_places(id) ON DELETE CASCADE,
  FOREIGN KEY (referrer_place_id) REFERENCES moz_places(id) ON DELETE CASCADE,
  FOREIGN KEY(search_query_id) REFERENCES moz_places_metadata_search_queries(id) ON DELETE CASCADE
  CHECK(place_id != referrer_place_id));
CREATE TABLE moz_places_metadata_search_queries ( id INTEGER PRIMARY KEY, terms TEXT NOT NULL UNIQUE );
CREATE TABLE moz_previews_tombstones (hash TEXT PRIMARY KEY) WITHOUT ROWID;
CREATE TABLE moz_places_extra ( place_id INTEGER PRIMARY KEY NOT NULL, sync_json TEXT,
  FOREIGN KEY (place_id) REFERENCES moz_places(id) ON DELETE CASCADE );
CREATE TABLE moz_historyvisits_extra ( visit_id INTEGER PRIMARY KEY NOT NULL, sync_json TEXT,
  FOREIGN KEY (visit_id) REFERENCES moz_historyvisits(id) ON DELETE CASCADE );
CREATE TABLE moz_newtab_shortcuts_interaction ( id INTEGER PRIMARY KEY,
  place_id INTEGER NOT NULL REFERENCES moz_places(id) ON DELETE CASCADE, event_type INTEGER NOT NULL,
  timestamp_s INTEGER NOT NULL, pinned INTEGER NOT NULL CHECK (pinned IN (0, 1)), tile_position INTEGER NOT NULL);
CREATE TABLE moz_newtab_story_click ( feature TEXT NOT NULL, timestamp_s INTEGER NOT NULL,
  card_format_enum INTEGER NOT NULL, position INTEGER NOT NULL, section_position INTEGER NOT NULL,
  feature_value REAL NOT NULL DEFAULT 1 );
CREATE INDEX moz_places_url_hashindex ON moz_places (url_hash);
CREATE INDEX moz_places_hostindex ON moz_places (rev_host);
CREATE INDEX moz_places_visitcount ON moz_places (visit_count);
CREATE INDEX moz_places_frecencyindex ON moz_places (frecency);
CREATE INDEX moz_places_lastvisitdateindex ON moz_places (last_visit_date);
CREATE UNIQUE INDEX moz_places_guid_uniqueindex ON moz_places (guid);
CREATE INDEX moz_places_originidindex ON moz_places (origin_id);
CREATE INDEX moz_historyvisits_placedateindex ON moz_historyvisits (place_id, visit_date);
CREATE INDEX moz_historyvisits_fromindex ON moz_historyvisits (from_visit);
CREATE INDEX moz_historyvisits_dateindex ON moz_historyvisits (visit_date);
CREATE INDEX moz_bookmarks_itemindex ON moz_bookmarks (fk, type);
CREATE INDEX moz_bookmarks_parentindex ON moz_bookmarks (parent, position);
CREATE UNIQUE INDEX moz_bookmarks_guid_uniqueindex ON moz_bookmarks (guid);
CREATE UNIQUE INDEX moz_keywords_placepostdata_uniqueindex ON moz_keywords (place_id, post_data);
CREATE UNIQUE INDEX moz_annos_placeattributeindex ON moz_annos (place_id, anno_attribute_id);
CREATE UNIQUE INDEX moz_places_metadata_placecreated_uniqueindex ON moz_places_metadata (place_id, created_at);
INSERT INTO moz_bookmarks (id, type, fk, parent, position, title, guid) VALUES
  (1, 2, NULL, 0, 0, '', 'root________'), (2, 2, NULL, 1, 0, 'menu', 'menu________'),
  (3, 2, NULL, 1, 1, 'toolbar', 'toolbar_____');
INSERT INTO moz_anno_attributes VALUES (1, 'URIProperties/characterSet');
)";

void run(SqliteDb& db, const std::string& sql)
{
    ASSERT_TRUE(db.exec(sql)) << sorvane::toAnsi(db.error()) << "\n" << sql;
}

std::string quoted(const std::string& s)
{
    std::string out = "'";
    for (char c : s) {
        out += c;
        if (c == '\'')
            out += '\'';
    }
    return out + "'";
}

std::string hostOf(const std::string& url)
{
    const size_t start = url.find("://");
    const size_t from = start == std::string::npos ? 0 : start + 3;
    return url.substr(from, url.find('/', from) - from);
}

} // namespace

void makeChromiumCookies(const std::wstring& path, const std::vector<std::string>& hosts)
{
    SqliteDb db;
    ASSERT_TRUE(db.create(path)) << sorvane::toAnsi(db.error());
    run(db, kChromiumCookies);
    run(db, "BEGIN");
    for (size_t i = 0; i < hosts.size(); ++i)
        run(db, "INSERT INTO cookies VALUES(13370000000000000," + quoted(hosts[i]) + ",'','c" + std::to_string(i) +
                    "','',x'763130ABCDEF','/',13400000000000000,1,1,13370000000000000,1,1,1,0,2,443,"
                    "13370000000000000,0,0)");
    run(db, "COMMIT");
}

void makeFirefoxCookies(const std::wstring& path, const std::vector<std::string>& hosts)
{
    SqliteDb db;
    ASSERT_TRUE(db.create(path)) << sorvane::toAnsi(db.error());
    run(db, kFirefoxCookies);
    run(db, "BEGIN");
    for (size_t i = 0; i < hosts.size(); ++i)
        run(db, "INSERT INTO moz_cookies (originAttributes, name, value, host, path, expiry, lastAccessed, "
                "creationTime, isSecure, isHttpOnly) VALUES ('', 'c" + std::to_string(i) + "', 'v'," +
                    quoted(hosts[i]) + ", '/', 1900000000, 1700000000000000, 1700000000000000, 1, 0)");
    run(db, "COMMIT");
}

void makeChromiumHistory(const std::wstring& path, const std::vector<std::string>& urls)
{
    SqliteDb db;
    ASSERT_TRUE(db.create(path)) << sorvane::toAnsi(db.error());
    run(db, kChromiumHistory);
    for (size_t i = 0; i < urls.size(); ++i) {
        const std::string id = std::to_string(i + 1);
        run(db, "INSERT INTO urls VALUES(" + id + "," + quoted(urls[i]) + ",'page',1,0,13370000000000000,0)");
        run(db, "INSERT INTO visits (url, visit_time, transition) VALUES(" + id + ",13370000000000000,805306368)");
    }
}

void makeFirefoxPlaces(const std::wstring& path, const std::vector<PlacesPage>& pages)
{
    SqliteDb db;
    ASSERT_TRUE(db.create(path)) << sorvane::toAnsi(db.error());
    run(db, kFirefoxPlaces);
    run(db, "BEGIN");
    int bookmark = 10, position = 0;
    for (size_t i = 0; i < pages.size(); ++i) {
        const std::string id = std::to_string(i + 1);
        const std::string host = hostOf(pages[i].url);
        run(db, "INSERT OR IGNORE INTO moz_origins (prefix, host, frecency) VALUES ('https://', " + quoted(host) +
                    ", 100)");
        const int foreign = (pages[i].bookmarked ? 1 : 0) + (pages[i].keyword ? 1 : 0);
        run(db, "INSERT INTO moz_places (id, url, title, rev_host, visit_count, frecency, last_visit_date, guid, "
                "foreign_count, url_hash, origin_id) VALUES (" + id + ", " + quoted(pages[i].url) + ", 'title " + id +
                    "', 'moc.elpmaxe.', 2, 100, 1700000000000000, 'guid" + id + "', " + std::to_string(foreign) +
                    ", " + id + ", (SELECT id FROM moz_origins WHERE host = " + quoted(host) + "))");
        run(db, "INSERT INTO moz_historyvisits (place_id, visit_date, visit_type) VALUES (" + id +
                    ", 1700000000000000, 1), (" + id + ", 1700000001000000, 2)");
        run(db, "INSERT INTO moz_inputhistory VALUES (" + id + ", 'inp" + id + "', 1)");
        run(db, "INSERT INTO moz_places_metadata (place_id, created_at, total_view_time) VALUES (" + id + ", 1, 5)");
        run(db, "INSERT INTO moz_newtab_shortcuts_interaction (place_id, event_type, timestamp_s, pinned, "
                "tile_position) VALUES (" + id + ", 1, 1700000000, 0, " + id + ")");
        run(db, "INSERT INTO moz_annos (place_id, anno_attribute_id, content) VALUES (" + id + ", 1, 'UTF-8')");
        if (pages[i].bookmarked)
            run(db, "INSERT INTO moz_bookmarks (id, type, fk, parent, position, title, guid) VALUES (" +
                        std::to_string(bookmark++) + ", 1, " + id + ", 2, " + std::to_string(position++) +
                        ", 'mark " + id + "', 'bm" + id + "')");
        if (pages[i].keyword)
            run(db, "INSERT INTO moz_keywords (keyword, place_id) VALUES ('kw" + id + "', " + id + ")");
    }
    run(db, "INSERT INTO moz_places_metadata_search_queries (terms) VALUES ('secret search')");
    run(db, "COMMIT");
}

std::string queryRows(const std::wstring& path, const std::string& sql)
{
    SqliteDb db;
    if (!db.open(path, true))
        return "(cannot open: " + sorvane::toAnsi(db.error()) + ")";
    SqliteStatement st(db, sql);
    std::string out;
    while (st.step()) {
        for (int c = 0; c < st.columns(); ++c)
            out += (c ? "|" : "") + st.text(c);
        out += "\n";
    }
    if (st.failed())
        out += "(error: " + sorvane::toAnsi(db.error()) + ")";
    return out;
}

BrowserLock BrowserLock::chromium(const std::wstring& userData)
{
    HANDLE h = CreateFileW((userData + L"\\lockfile").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    return BrowserLock(h == INVALID_HANDLE_VALUE ? nullptr : h);
}

BrowserLock BrowserLock::firefox(const std::wstring& profile)
{
    HANDLE h = CreateFileW((profile + L"\\parent.lock").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           CREATE_ALWAYS, 0, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    return BrowserLock(h == INVALID_HANDLE_VALUE ? nullptr : h);
}

BrowserLock::~BrowserLock()
{
    if (m_handle)
        CloseHandle(m_handle);
}

} // namespace testenv

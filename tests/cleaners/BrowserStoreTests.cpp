// The Cookies and History categories in today's browsers: real profiles
// (databases with the browsers' own tables) in the test prefix, cleaned
// through the categories' cleaners.
#include "cleaners/CleanerFixture.h"

#include "cleaners/BrowserStores.h"
#include "platform/AppFolder.h"
#include "platform/PublicSuffix.h"
#include "platform/Sqlite.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "store/BackupArchive.h"
#include "store/ListFiles.h"
#include "store/Zip.h"
#include "support/BrowserProfiles.h"

#include <algorithm>

#include <gtest/gtest.h>

#include <memory>
#include <random>

using namespace sorvane;
using testenv::CleanerTest;
using testenv::queryRows;
using testenv::TempFolder;

namespace {

void put(const std::wstring& path, const std::string& bytes)
{
    testenv::makeDir(path.substr(0, path.find_last_of(L'\\')));
    testenv::writeFile(path, bytes);
}

void makeParent(const std::wstring& path)
{
    testenv::makeDir(path.substr(0, path.find_last_of(L'\\')));
}

// Chrome with two profiles, Edge running, Firefox with one profile; the
// user's Local and Roaming folders point into the test's own folders.
class BrowserStoreTest : public CleanerTest {
protected:
    BrowserStoreTest()
        : m_localFolder(L"Local AppData", local.path().c_str()), m_roamingFolder(L"AppData", roaming.path().c_str()),
          m_ieCookies(L"Cookies", ie.path().c_str()), m_history(L"History", ieHistory.path().c_str())
    {
        put(chrome + L"\\Local State", R"({"profile":{"info_cache":{"Default":{},"Profile 1":{}}}})");
        put(chrome + L"\\lockfile", "");  // left behind by an ended Chrome
        put(firefoxRoot + L"\\profiles.ini", "[Profile0]\r\nIsRelative=1\r\nPath=Profiles/x.default\r\n");
        put(firefox + L"\\parent.lock", "");
        // Never touched, whatever is cleaned.
        for (const auto& f : {chrome + L"\\Default\\Login Data", chrome + L"\\Default\\Bookmarks",
                              chrome + L"\\Default\\Web Data", chrome + L"\\Default\\Preferences",
                              chrome + L"\\Default\\Sessions\\Session_13370000000000000",
                              chrome + L"\\Default\\Login Data For Account", firefox + L"\\logins.json",
                              firefox + L"\\key4.db", firefox + L"\\formhistory.sqlite",
                              firefox + L"\\sessionstore.jsonlz4"})
            precious.push_back(f);
        for (size_t i = 0; i < precious.size(); ++i)
            put(precious[i], "precious " + std::to_string(i) + std::string(300, 'p'));
        // Edge runs: it holds its lockfile as Chromium does.
        makeParent(edge + L"\\Default\\Network\\Cookies");
        testenv::makeChromiumCookies(edge + L"\\Default\\Network\\Cookies", {".bank.example", ".ads.example"});
        testenv::makeChromiumHistory(edge + L"\\Default\\History", {"https://edge.example/"});
        m_edgeLock = std::make_unique<testenv::BrowserLock>(testenv::BrowserLock::chromium(edge));
        for (const auto& f : {edge + L"\\Default\\Network\\Cookies", edge + L"\\Default\\History"})
            precious.push_back(f);
    }
    void SetUp() override
    {
        remember();
    }
    // What the never-touched files hold now.
    void remember()
    {
        before.clear();
        for (const auto& f : precious)
            before.push_back(testenv::readFile(f));
    }
    void expectPreciousUnchanged()
    {
        ASSERT_EQ(before.size(), precious.size()) << "SetUp read them";
        for (size_t i = 0; i < precious.size(); ++i)
            EXPECT_TRUE(testenv::readFile(precious[i]) == before[i]) << toAnsi(precious[i]);
    }
    void keep(std::vector<KeptCookie> entries)
    {
        saveKeptCookies(appFile(L"cookies.sol"), entries);
    }

    TempFolder local{TempFolder::Where::Profile}, roaming{TempFolder::Where::Profile}, ie, ieHistory;
    const std::wstring chrome = local.file(L"Google\\Chrome\\User Data");
    const std::wstring edge = local.file(L"Microsoft\\Edge\\User Data");
    const std::wstring firefoxRoot = roaming.file(L"Mozilla\\Firefox");
    const std::wstring firefox = firefoxRoot + L"\\Profiles\\x.default";
    std::vector<std::wstring> precious;
    std::vector<std::string> before;

private:
    testenv::ScopedShellFolder m_localFolder, m_roamingFolder, m_ieCookies, m_history;
    std::unique_ptr<testenv::BrowserLock> m_edgeLock;
};

std::string hostsOf(const std::wstring& store, bool chromium)
{
    return queryRows(store, chromium ? "SELECT host_key FROM cookies ORDER BY host_key"
                                     : "SELECT host FROM moz_cookies ORDER BY host");
}

} // namespace

TEST(CookieKeep, ASiteKeepsItselfAndItsSubdomainsAndNeverALookAlike)
{
    const CookieKeepList keep(std::vector<KeptCookie>{{L"", L"Bank.Example"},
                               {L"C:\\Users\\u\\Cookies\\", L"u@shop.example[2].txt"},
                               {L"C:\\Users\\u\\Cookies\\", L"u@google[1].txt"},
                               {L"C:\\Users\\u\\Cookies\\", L"index.dat"},
                               {L"", L""}});
    EXPECT_EQ(keep.sites(), (std::vector<std::string>{"bank.example", "shop.example", "google"}));
    for (const char* host : {".bank.example", "bank.example", "WWW.bank.example", "a.b.bank.example", "shop.example",
                             ".x.shop.example", "google.com", "www.google.co.uk"})
        EXPECT_TRUE(keep.keeps(host)) << host;
    for (const char* host : {"notbank.example", ".notbank.example", "bank.example.evil", "bankexample", "",
                             ".", "shop.example.net", "mygoogle.com", "com"})
        EXPECT_FALSE(keep.keeps(host)) << host;
    EXPECT_TRUE(CookieKeepList(std::vector<KeptCookie>{}).empty());
    EXPECT_EQ(keptCookieSite({L"", L"user@www.bank.example.txt"}), L"www.bank.example");
    EXPECT_EQ(keptCookieSite({L"", L"bad site"}), L"");
}

// A kept site keeps what it would be sent: the parent domain's cookies (its
// login) below the public suffix, never the suffix's own or a neighbour's.
TEST(CookieKeep, ASiteKeepsEveryCookieItIsSentAndNothingAcrossAPublicSuffix)
{
    const CookieKeepList keep(std::vector<KeptCookie>{{L"", L"www.bank.example"},
                               {L"", L"shop.bank.co.uk"},
                               {L"", L"me.github.io"},
                               {L"", L"https://User@Mail.Example.ORG:8443/inbox?x#y"},
                               {L"C:\\Users\\u\\Cookies\\", L"u@bank[1].txt"}});
    EXPECT_EQ(keep.sites(), (std::vector<std::string>{"www.bank.example", "shop.bank.co.uk", "me.github.io",
                                                      "mail.example.org", "bank"}));
    for (const char* host : {".bank.example", "www.bank.example", ".www.bank.example", ".bank.co.uk",
                             ".shop.bank.co.uk", "me.github.io", ".me.github.io", "mail.example.org",
                             ".example.org", "bank.co.uk", "www.bank.com.au", ".bank.example"})
        EXPECT_TRUE(keep.keeps(host)) << host;
    for (const char* host : {"bank.example.com", ".example", ".co.uk", ".uk", ".github.io", "you.github.io",
                             ".org", "bank.evil.example", "evil.bank", ".com.au", "other.example.org.evil"})
        EXPECT_FALSE(keep.keeps(host)) << host;
    EXPECT_EQ(registrableDomain("www.bank.co.uk"), "bank.co.uk");
    EXPECT_EQ(registrableDomain(".Me.GitHub.io"), "me.github.io");
    EXPECT_EQ(registrableDomain("co.uk"), "");
    EXPECT_EQ(registrableDomain("x.www.ck"), "www.ck") << "an exception rule";
    EXPECT_EQ(registrableDomain("a.b.ck"), "a.b.ck") << "a wildcard rule";
    EXPECT_EQ(keptCookieSite({L"", L"https:///path"}), L"");
}

// Only the kept sites' cookies remain, in every browser; a store with
// nothing kept goes whole with its journal; a running browser keeps every
// byte; what a cookie store's rows held is gone from the file too.
TEST_F(BrowserStoreTest, OnlyKeptSitesCookiesRemainInEveryBrowser)
{
    const std::wstring chromeDefault = chrome + L"\\Default\\Network\\Cookies";
    const std::wstring chromeOther = chrome + L"\\Profile 1\\Network\\Cookies";
    const std::wstring chromeLegacy = chrome + L"\\Profile 1\\Cookies";
    const std::wstring ffStore = firefox + L"\\cookies.sqlite";
    makeParent(chromeDefault);
    makeParent(chromeOther);
    std::vector<std::string> hosts = {".bank.example", "www.bank.example", "notbank.example", ".tracker.example",
                                      "shop.example", "Secret-Session.example"};
    for (int i = 0; i < 300; ++i)
        hosts.push_back("filler" + std::to_string(i) + ".example");
    testenv::makeChromiumCookies(chromeDefault, hosts);
    testenv::makeChromiumCookies(chromeOther, {".ads.example"});
    testenv::writeFile(chromeOther + L"-journal", "");
    testenv::makeChromiumCookies(chromeLegacy, {".old.example"});
    testenv::makeFirefoxCookies(ffStore, {".bank.example", "login.bank.example", "evil-bank.example", "x.shop.example"});
    testenv::writeFile(ie.file(L"u@shop.example[1].txt"), "c\nv\nshop.example/\n0\n1\n2\n3\n4\n*\n");
    keep({{L"", L"bank.example"}, {ie.path() + L"\\", L"u@shop.example[1].txt"}});

    runCleaner(ctx, 12, false);

    EXPECT_EQ(hostsOf(chromeDefault, true), ".bank.example\nshop.example\nwww.bank.example\n");
    EXPECT_EQ(hostsOf(ffStore, false), ".bank.example\nlogin.bank.example\nx.shop.example\n");
    EXPECT_FALSE(testenv::exists(chromeOther)) << "nothing kept: the store goes whole";
    EXPECT_FALSE(testenv::exists(chromeOther + L"-journal"));
    EXPECT_FALSE(testenv::exists(chromeLegacy));
    EXPECT_TRUE(testenv::exists(ie.file(L"u@shop.example[1].txt")));
    // Compacted: no free page, and no trace of a removed cookie's host.
    EXPECT_EQ(queryRows(chromeDefault, "PRAGMA freelist_count"), "0\n");
    EXPECT_EQ(testenv::readFile(chromeDefault).find("Secret-Session"), std::string::npos);
    EXPECT_EQ(queryRows(chromeDefault, "PRAGMA integrity_check"), "ok\n");
    EXPECT_EQ(queryRows(ffStore, "PRAGMA integrity_check"), "ok\n");
    expectPreciousUnchanged();
    EXPECT_NE(run.strLog.find(L"Cleaned Cookies.... Files Deleted 3 "), std::wstring::npos) << toAnsi(run.strLog);
    EXPECT_NE(run.strLog.find(L"Skipped Microsoft Edge: it is running\r\n"), std::wstring::npos);
    EXPECT_NE(run.strLog.find(L"Google Chrome (Default): removed 303 cookies, kept 3 of kept sites (cannot be undone)\r\n"),
              std::wstring::npos)
        << toAnsi(run.strLog);
    EXPECT_NE(run.strLog.find(L"Mozilla Firefox (x.default): removed 1 cookie, kept 3 of kept sites (cannot be undone)\r\n"),
              std::wstring::npos);
}

// History goes from every idle profile; Firefox keeps its bookmarked places
// with their bookmarks, and keeps nothing else of the history.
TEST_F(BrowserStoreTest, HistoryGoesWhileFirefoxBookmarksStay)
{
    std::vector<std::wstring> chromeFiles;
    for (const auto* profile : {L"\\Default\\", L"\\Profile 1\\"}) {
        const std::wstring history = chrome + profile + L"History";
        makeParent(history);
        testenv::makeChromiumHistory(history, {"https://a.example/", "https://b.example/secret"});
        testenv::writeFile(history + L"-journal", "");
        chromeFiles.push_back(history);
        chromeFiles.push_back(history + L"-journal");
        for (const auto* name : {L"Visited Links", L"Top Sites", L"Shortcuts", L"Network Action Predictor",
                                 L"History Provider Cache"}) {
            testenv::writeFile(chrome + profile + name, "data");
            chromeFiles.push_back(chrome + profile + name);
        }
    }
    const std::wstring favicons = chrome + L"\\Default\\Favicons";
    testenv::writeFile(favicons, "icons");
    const std::wstring places = firefox + L"\\places.sqlite";
    testenv::makeFirefoxPlaces(places, {{"https://bank.example/login", true, false},
                                        {"https://news.example/a", false, false},
                                        {"https://search.example/?q=%s", false, true},
                                        {"https://secret.example/diagnosis", false, false}});
    const std::string bookmarks = queryRows(places, "SELECT * FROM moz_bookmarks ORDER BY id");

    runCleaner(ctx, 10, false);

    for (const auto& f : chromeFiles)
        EXPECT_FALSE(testenv::exists(f)) << toAnsi(f);
    EXPECT_TRUE(testenv::exists(favicons));
    EXPECT_EQ(queryRows(places, "SELECT url, visit_count, last_visit_date IS NULL FROM moz_places ORDER BY id"),
              "https://bank.example/login|0|1\nhttps://search.example/?q=%s|0|1\n");
    EXPECT_EQ(queryRows(places, "SELECT * FROM moz_bookmarks ORDER BY id"), bookmarks);
    EXPECT_EQ(queryRows(places, "SELECT keyword, place_id FROM moz_keywords"), "kw3|3\n");
    for (const char* table : {"moz_historyvisits", "moz_inputhistory", "moz_places_metadata",
                              "moz_places_metadata_search_queries", "moz_newtab_shortcuts_interaction"})
        EXPECT_EQ(queryRows(places, std::string("SELECT count(*) FROM ") + table), "0\n") << table;
    EXPECT_EQ(queryRows(places, "SELECT place_id FROM moz_annos ORDER BY place_id"), "1\n3\n");
    EXPECT_EQ(queryRows(places, "SELECT host FROM moz_origins ORDER BY host"), "bank.example\nsearch.example\n");
    EXPECT_EQ(queryRows(places, "PRAGMA integrity_check"), "ok\n");
    EXPECT_EQ(testenv::readFile(places).find("secret.example/diagnosis"), std::string::npos);
    expectPreciousUnchanged();
    EXPECT_NE(run.strLog.find(L"Cleaned History....\r\n"), std::wstring::npos);
    EXPECT_NE(run.strLog.find(L"Skipped Microsoft Edge: it is running\r\n"), std::wstring::npos);
    EXPECT_NE(run.strLog.find(L"Mozilla Firefox (x.default): removed 2 pages from the history, kept 2 bookmarked (cannot be undone)\r\n"),
              std::wstring::npos)
        << toAnsi(run.strLog);
}

// Damaged, foreign, locked and unknown databases stay byte for byte, each
// with its line; nothing is made beside them.
TEST_F(BrowserStoreTest, DatabasesThatCannotBeTrustedAreLeftAsTheyWere)
{
    const std::wstring truncated = chrome + L"\\Default\\Network\\Cookies";
    const std::wstring random = chrome + L"\\Profile 1\\Network\\Cookies";
    const std::wstring noTable = firefox + L"\\cookies.sqlite";
    const std::wstring places = firefox + L"\\places.sqlite";
    makeParent(truncated);
    makeParent(random);
    std::vector<std::string> hosts;
    for (int i = 0; i < 2000; ++i)
        hosts.push_back((i % 2 ? ".bank" : ".other") + std::to_string(i) + ".example");
    testenv::makeChromiumCookies(truncated, hosts);
    std::string bytes = testenv::readFile(truncated);
    ASSERT_GT(bytes.size(), 40000u);
    testenv::writeFile(truncated, bytes.substr(0, bytes.size() / 2));
    std::mt19937 gen(7);
    std::string noise(20000, '\0');
    for (auto& c : noise)
        c = static_cast<char>(gen());
    testenv::writeFile(random, noise);
    {
        SqliteDb db;
        ASSERT_TRUE(db.create(noTable));
        // Its last changes still in the write-ahead log, as a browser that
        // was ended may leave them.
        ASSERT_TRUE(db.exec("PRAGMA journal_mode=WAL; CREATE TABLE moz_cookies_v2 (id INTEGER PRIMARY KEY, host TEXT);"
                            "INSERT INTO moz_cookies_v2 (host) VALUES ('.a.example');"));
        db.keepLogOnClose();
    }
    ASSERT_GT(fileLength(noTable + L"-wal"), 0u);
    testenv::makeFirefoxPlaces(places, {{"https://a.example/", false, false}});
    {
        SqliteDb db;
        ASSERT_TRUE(db.open(places, false));
        ASSERT_TRUE(db.exec("DROP TABLE moz_historyvisits"));
    }
    // Damage where no cookie query would meet it: a page of another table.
    const std::wstring otherPage = chrome + L"\\Profile 2\\Network\\Cookies";
    put(chrome + L"\\Local State", R"({"profile":{"info_cache":{"Default":{},"Profile 1":{},"Profile 2":{}}}})");
    makeParent(otherPage);
    testenv::makeChromiumCookies(otherPage, {".bank.example", ".ads.example"});
    {
        SqliteDb db;
        ASSERT_TRUE(db.open(otherPage, false));
        ASSERT_TRUE(db.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300) "
                            "INSERT INTO meta SELECT 'k' || i, hex(randomblob(100)) FROM n"));
        const int64_t root = db.scalar("SELECT rootpage FROM sqlite_master WHERE name = 'meta'");
        const int64_t pageSize = db.scalar("PRAGMA page_size");
        db.close();
        std::string file = testenv::readFile(otherPage);
        ASSERT_GT(file.size(), static_cast<size_t>(root * pageSize));
        file[static_cast<size_t>((root - 1) * pageSize)] = 0x42;  // no kind of page
        testenv::writeFile(otherPage, file);
    }
    // Another program holds this one: exclusive, as Chromium keeps its stores.
    const std::wstring held = chrome + L"\\Profile 1\\Cookies";
    testenv::makeChromiumCookies(held, {".bank.example", ".x.example"});
    SqliteDb holder;
    ASSERT_TRUE(holder.open(held, false));
    ASSERT_TRUE(holder.exec("PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; DELETE FROM meta WHERE key = 'x';"));
    for (const auto& f : {truncated, random, noTable, noTable + L"-wal", places, otherPage})
        precious.push_back(f);
    remember();
    const auto listing = [&] {
        return testenv::filesIn(chrome + L"\\Default\\Network", L"*").size() +
               testenv::filesIn(chrome + L"\\Profile 1\\Network", L"*").size() +
               testenv::filesIn(firefox, L"*").size();
    };
    const size_t filesBefore = listing();

    keep({{L"", L"bank.example"}});
    runCleaner(ctx, 12, false);
    runCleaner(ctx, 10, false);
    {
        // With nothing kept, a damaged store is still not taken for a plain file.
        keep({});
        runCleaner(ctx, 12, false);
    }
    holder.exec("ROLLBACK");
    holder.close();

    expectPreciousUnchanged();
    EXPECT_TRUE(testenv::exists(held));
    EXPECT_EQ(hostsOf(held, true), ".bank.example\n.x.example\n");
    EXPECT_EQ(listing(), filesBefore) << "no journal or log left beside them";
    for (const auto& f : {truncated, random, noTable, held, places, otherPage})
        EXPECT_NE(run.strLog.find(L"Left " + f + L" as it was: "), std::wstring::npos) << toAnsi(f);
    EXPECT_NE(run.strLog.find(L"Left " + noTable + L" as it was: it has no table \"moz_cookies\""),
              std::wstring::npos);
}

// With the backup method, the original store is in the run's archive before
// its rows go; when it cannot be stored, the store stays whole.
TEST_F(BrowserStoreTest, TheBackupMethodStoresTheOriginalBeforeRowsGo)
{
    const std::wstring store = chrome + L"\\Default\\Network\\Cookies";
    makeParent(store);
    testenv::makeChromiumCookies(store, {".bank.example", ".ads.example", ".tracker.example"});
    const std::string original = testenv::readFile(store);
    keep({{L"", L"bank.example"}});
    TempFolder backups;
    settings.intDelMethod = kBackup;
    settings.strBackupPath = backups.path() + L"\\";

    runCleaner(ctx, 12, false);
    deletion.flushBackups();
    finishBackupArchive();
    EXPECT_EQ(hostsOf(store, true), ".bank.example\n");
    const auto archives = testenv::filesIn(backups.path(), L"*.zip");
    ASSERT_EQ(archives.size(), 1u);
    const zip::Listing listing = zip::list(archives[0]);
    ASSERT_TRUE(listing.ok);
    const std::wstring stored = storedNameOf(store);
    const auto entry = std::find_if(listing.entries.begin(), listing.entries.end(),
                                    [&](const zip::Entry& e) { return e.name == stored; });
    ASSERT_NE(entry, listing.entries.end());
    const std::wstring out = dir.file(L"extracted");
    {
        HANDLE a = CreateFileW(archives[0].c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        HANDLE h = CreateFileW(out.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        EXPECT_EQ(zip::extractTo(a, *entry, h), zip::Extracted::Ok);
        CloseHandle(h);
        CloseHandle(a);
    }
    EXPECT_TRUE(testenv::readFile(out) == original) << "the archive holds the store as it was";

    // A backup folder that cannot be made: the store keeps every row.
    makeParent(chrome + L"\\Profile 1\\Cookies");
    testenv::makeChromiumCookies(chrome + L"\\Profile 1\\Cookies", {".bank.example", ".ads.example"});
    const std::string second = testenv::readFile(chrome + L"\\Profile 1\\Cookies");
    testenv::writeFile(backups.file(L"a file"), "x");
    settings.strBackupPath = backups.file(L"a file") + L"\\sub\\";
    run.strLog.clear();
    run.strArchiveDrive.clear();  // a new run names its archive anew
    runCleaner(ctx, 12, false);
    EXPECT_TRUE(testenv::readFile(chrome + L"\\Profile 1\\Cookies") == second);
    EXPECT_NE(run.strLog.find(L"as it was: its original could not be stored in the backup archive"),
              std::wstring::npos)
        << toAnsi(run.strLog);
}

// With the Recycle Bin method the stores cleared in place can be brought
// back too: a copy of each original goes to the bin from beside it, named
// for the moment, and restoring it gives the original bytes.
TEST_F(BrowserStoreTest, TheRecycleBinMethodPutsACopyOfTheOriginalInTheBin)
{
    const std::wstring store = chrome + L"\\Default\\Network\\Cookies";
    makeParent(store);
    testenv::makeChromiumCookies(store, {".bank.example", ".ads.example", ".tracker.example"});
    const std::wstring places = firefox + L"\\places.sqlite";
    testenv::makeFirefoxPlaces(places, {{"https://bank.example/", true, false}, {"https://gone.example/", false, false}});
    const std::string originalStore = testenv::readFile(store), originalPlaces = testenv::readFile(places);
    keep({{L"", L"bank.example"}});
    settings.intDelMethod = kRecycleBin;
    EmptyRecycleBin(L"", true, true, true);
    wchar_t xdg[MAX_PATH] = {};
    GetEnvironmentVariableW(L"XDG_DATA_HOME", xdg, MAX_PATH);
    std::wstring trash = L"\\\\?\\unix" + std::wstring(xdg) + L"/Trash/files";
    std::replace(trash.begin(), trash.end(), L'/', L'\\');

    runCleaner(ctx, 12, false);
    runCleaner(ctx, 10, false);
    EXPECT_EQ(hostsOf(store, true), ".bank.example\n");
    for (const auto& [file, original] : {std::pair{store, originalStore}, std::pair{places, originalPlaces}}) {
        const std::wstring name = file.substr(file.find_last_of(L'\\') + 1);
        const size_t at = run.strLog.find(L" (its original is in the Recycle Bin as " + name + L" (before clean ");
        ASSERT_NE(at, std::wstring::npos) << toAnsi(run.strLog);
        const size_t from = run.strLog.find(L" as ", at) + 4, to = run.strLog.find(L")\r\n", at);
        const std::wstring copy = run.strLog.substr(from, to - from);
        EXPECT_FALSE(testenv::exists(file + copy.substr(name.size()))) << "gone from beside the store";
        // Restored from the bin, it is the original, byte for byte.
        const std::wstring restored = file + L".restored";
        ASSERT_TRUE(MoveFileW((trash + L"\\" + copy).c_str(), restored.c_str())) << toAnsi(copy);
        EXPECT_TRUE(testenv::readFile(restored) == original) << toAnsi(name);
        DeleteFileW(restored.c_str());
    }
    EmptyRecycleBin(L"", true, true, true);
}

// Sorvane ended hard at moments spread over a Cookies clean of a large
// store, with the backup method: after each, the store is a whole database
// holding either every row or only the kept ones, never a half-cleaned file,
// and once any row may have gone, the archive on the disk holds the original.
TEST(KilledBrowserClean, TheCookieStoreIsWholeAfterAKillAtAnyMoment)
{
    testenv::ScopedAppFolder app;
    TempFolder local(TempFolder::Where::Profile), roaming(TempFolder::Where::Profile), empty;
    testenv::ScopedShellFolder localFolder(L"Local AppData", local.path().c_str());
    testenv::ScopedShellFolder roamingFolder(L"AppData", roaming.path().c_str());
    testenv::ScopedShellFolder ieCookies(L"Cookies", empty.path().c_str());
    const std::wstring store = local.file(L"Google\\Chrome\\User Data\\Default\\Network\\Cookies");
    const std::wstring original = local.file(L"original.sqlite");
    makeParent(store);
    constexpr int kRows = 150000, kKept = 100;
    std::vector<std::string> hosts;
    for (int i = 0; i < kRows; ++i)
        hosts.push_back(i < kKept ? ".kept.example" : ".s" + std::to_string(i) + ".example");
    testenv::makeChromiumCookies(original, hosts);
    saveKeptCookies(appFile(L"cookies.sol"), {{L"", L"kept.example"}});
    testenv::writeFile(app.file(L"Settings.ini"), "[General]\r\nDelMethod=B\r\nStartupClean=1\r\n");
    const std::string originalBytes = testenv::readFile(original);
    // The original as the archive on the disk holds it (a killed run leaves
    // no central directory: the entries are read from their headers).
    const auto archivedOriginal = [&]() -> std::string {
        const auto archives = testenv::filesIn(app.file(L"Backup"), L"*.zip");
        if (archives.size() != 1)
            return "<" + std::to_string(archives.size()) + " archives>";
        const zip::Listing listing = zip::list(archives[0]);
        const auto entry = std::find_if(listing.entries.begin(), listing.entries.end(),
                                        [&](const zip::Entry& e) { return e.name == storedNameOf(store); });
        if (entry == listing.entries.end())
            return "<no entry>";
        const std::wstring out = empty.file(L"extracted");
        HANDLE a = CreateFileW(archives[0].c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        HANDLE h = CreateFileW(out.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        const bool ok = zip::extractTo(a, *entry, h) == zip::Extracted::Ok;
        CloseHandle(h);
        CloseHandle(a);
        return ok ? testenv::readFile(out) : "<damaged entry>";
    };
    testenv::writeFile(app.file(L"checkItems.sol"), "0,0,0,0,0,0,0,0,0,0,0,0,1,0,0,0,0,0,\r\n");
    const auto rows = [&] { return queryRows(store, "SELECT count(*) FROM cookies"); };

    // One whole run first: how long it takes to reach its log.
    ASSERT_TRUE(CopyFileW(original.c_str(), store.c_str(), FALSE));
    const DWORD start = GetTickCount();
    DWORD whole = 0;
    {
        testenv::SorvaneProcess p(app.path());
        ASSERT_TRUE(p.waitForWindow(L"Sorvane - Clean Log", 120000)) << "the clean never ended";
        whole = GetTickCount() - start;
    }
    ASSERT_EQ(rows(), std::to_string(kKept) + "\n");

    int untouched = 0, cleaned = 0, midTransaction = 0;
    for (int round = 1; round <= 8; ++round) {
        ASSERT_TRUE(CopyFileW(original.c_str(), store.c_str(), FALSE));
        DeleteFileW((store + L"-journal").c_str());
        testenv::removeTree(app.file(L"Backup"));
        {
            testenv::SorvaneProcess p(app.path());
            Sleep(whole * (2 + round) / 8);  // from a quarter of the way to past the end
            TerminateProcess(p.handle(), 9);
            WaitForSingleObject(p.handle(), 10000);
        }
        const bool inTransaction = testenv::exists(store + L"-journal") && fileLength(store + L"-journal") > 0;
        if (inTransaction)
            ++midTransaction;
        {
            // As the browser would: a connection that may write rolls back
            // what a killed transaction left in its journal.
            SqliteDb db;
            ASSERT_TRUE(db.open(store, false));
            SqliteStatement check(db, "PRAGMA integrity_check");
            ASSERT_TRUE(check.step()) << "round " << round << ": " << toAnsi(db.error());
            ASSERT_EQ(check.text(0), "ok") << "round " << round;
        }
        const std::string left = rows();
        if (inTransaction || left != std::to_string(kRows) + "\n")
            EXPECT_TRUE(archivedOriginal() == originalBytes) << "round " << round << ": the change began without its copy";
        if (left == std::to_string(kRows) + "\n")
            ++untouched;
        else if (left == std::to_string(kKept) + "\n")
            ++cleaned;
        else
            ADD_FAILURE() << "round " << round << ": " << left << " rows, neither all nor the kept ones";
        EXPECT_EQ(queryRows(store, "SELECT count(*) FROM cookies WHERE host_key = '.kept.example'"),
                  std::to_string(kKept) + "\n");
    }
    std::printf("whole run %lu ms; kills: %d before the change, %d after it, %d inside a transaction\n",
                static_cast<unsigned long>(whole), untouched, cleaned, midTransaction);
}

// A folder link the user's programs planted anywhere on a browser's path,
// or a journal that is a link, never leads the elevated cleaner into another
// user's profile: that user's stores keep every byte, and the log says why.
TEST(BrowserLinks, NoLinkOnABrowsersPathLeadsIntoAnotherUsersProfile)
{
    testenv::ScopedAppFolder app;
    TempFolder empty;
    testenv::ScopedShellFolder ieCookies(L"Cookies", empty.path().c_str());
    const std::wstring me = tokenProfileFolder() + L"\\sorvane-links";
    const std::wstring other = L"C:\\users\\sorvane-other";
    if (!testenv::exists(me + L"\\journal"))
        GTEST_SKIP() << "the test script makes the links";
    // The other user's stores, reached through their real paths.
    const std::vector<std::wstring> theirs = {other + L"\\Network\\Cookies",
                                              other + L"\\User Data\\Default\\Network\\Cookies",
                                              other + L"\\Profiles\\x.default\\cookies.sqlite"};
    for (const auto& f : theirs)  // from an earlier run in the same prefix
        for (const wchar_t* tail : {L"", L"-journal", L"-wal", L"-shm"})
            DeleteFileW((f + tail).c_str());
    testenv::makeChromiumCookies(theirs[0], {".hers.example"});
    testenv::makeChromiumCookies(theirs[1], {".hers.example", ".kept.example"});
    testenv::makeFirefoxCookies(theirs[2], {".hers.example"});
    testenv::writeFile(other + L"\\User Data\\Local State", R"({"profile":{"info_cache":{"Default":{}}}})");
    testenv::writeFile(other + L"\\Profiles\\x.default\\places.sqlite", "not read");
    // Mine, whose journal is a link to her file. Made elsewhere and copied:
    // SQLite writing it in place would itself write through the link.
    const std::wstring mine = me + L"\\journal\\Local\\Google\\Chrome\\User Data\\Default\\Network\\Cookies";
    testenv::makeChromiumCookies(empty.file(L"mine"), {".mine.example", ".kept.example"});
    ASSERT_TRUE(CopyFileW(empty.file(L"mine").c_str(), mine.c_str(), FALSE));
    std::vector<std::string> before;
    for (const auto& f : theirs)
        before.push_back(testenv::readFile(f));
    const std::string victim = testenv::readFile(other + L"\\files\\victim");
    ASSERT_EQ(victim, "another user's file\n");
    const std::string mineBefore = testenv::readFile(mine);

    struct Case {
        const wchar_t* folder;
        const wchar_t* why;
    };
    for (const auto& c : {Case{L"network", L"a link is on its way"}, Case{L"userdata", L"is not cleaned: it is a link"},
                          Case{L"profiles", L"is not cleaned: a link is on its way"}, Case{L"journal", L"cannot be trusted"}}) {
        for (const bool keepSome : {false, true}) {
            SCOPED_TRACE(toAnsi(c.folder) + (keepSome ? " keeping a site" : " keeping nothing"));
            const std::wstring base = me + L"\\" + c.folder;
            testenv::ScopedShellFolder local(L"Local AppData", (base + L"\\Local").c_str());
            testenv::ScopedShellFolder roaming(L"AppData", (base + L"\\Roaming").c_str());
            if (std::wstring(c.folder) == L"profiles")
                testenv::writeFile(base + L"\\Roaming\\Mozilla\\Firefox\\profiles.ini",
                                   "[Profile0]\r\nIsRelative=1\r\nPath=Profiles/x.default\r\n");
            saveKeptCookies(appFile(L"cookies.sol"),
                            keepSome ? std::vector<KeptCookie>{{L"", L"kept.example"}} : std::vector<KeptCookie>{});
            for (const int method : {kDelete, kBackup}) {
                RunState run;
                testenv::RecorderUi ui{run};
                FileSearch search{ui, run};
                DeleteSettings settings;
                settings.intDelMethod = method;
                settings.strBackupPath = empty.file(L"backups");
                DeletionEngine deletion{ui, run, settings};
                CleanerContext ctx{ui, run, search, deletion, [](int) { return true; }};
                runCleaner(ctx, 12, false);
                runCleaner(ctx, 10, false);
                EXPECT_NE(run.strLog.find(c.why), std::wstring::npos) << toAnsi(run.strLog);
            }
        }
    }
    for (size_t i = 0; i < theirs.size(); ++i)
        EXPECT_TRUE(testenv::readFile(theirs[i]) == before[i]) << toAnsi(theirs[i]);
    EXPECT_EQ(testenv::readFile(other + L"\\files\\victim"), victim);
    EXPECT_TRUE(testenv::readFile(mine) == mineBefore) << "a store whose journal is a link stays as it was";
    EXPECT_EQ(testenv::readFile(other + L"\\Profiles\\x.default\\places.sqlite"), "not read");
}

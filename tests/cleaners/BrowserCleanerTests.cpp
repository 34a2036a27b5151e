#include "cleaners/CleanerFixture.h"

#include "platform/RegFile.h"
#include "platform/Registry.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "store/ListFiles.h"
#include "support/BrowserProfiles.h"
#include "support/RegTestSupport.h"

#include <shlobj.h>
#include <wininet.h>
#include <algorithm>

using namespace sorvane;
using testenv::CleanerTest;
using testenv::ScopedRegValue;
using testenv::TempFolder;
using testenv::writeFile;


TEST_F(CleanerTest, CacheLineCountsFilesAndBytesAndRemovesEmptyFolders)
{
    fill(L"a.htm", 512);
    fill(L"Content.IE5\\X1\\b.gif", 512);
    fill(L"Content.IE5\\c.js", 512);
    testenv::ScopedShellFolder cache(L"Cache", dir.path().c_str());
    runCleaner(ctx, 11, false);
    EXPECT_EQ(run.strLog, L"Cleaned Cache.... Files Deleted 3 Space Gained 1536 Bytes\r\n");
    EXPECT_FALSE(testenv::exists(dir.file(L"Content.IE5\\X1")));
    EXPECT_EQ(ui.started, std::vector<int>{11});
    EXPECT_EQ(ui.stopCaptions, std::vector<std::wstring>{L""});
    EXPECT_EQ(run.lngTotalFiles, 3);
}

TEST_F(CleanerTest, MissingOrOneCharacterFolderValueGivesAZeroLine)
{
    {
        testenv::ScopedShellFolder cache(L"Cache", nullptr);
        runCleaner(ctx, 11, false);
    }
    {
        testenv::ScopedShellFolder cache(L"Cache", L"C");
        runCleaner(ctx, 11, false);
    }
    {
        testenv::ScopedShellFolder cache(L"Cache", nullptr);
        testenv::ScopedRegValue number(HKEY_CURRENT_USER,
                                       L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                                       L"Cache", nullptr);
        const DWORD value = 42;
        RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                        L"Cache", REG_DWORD, &value, sizeof value);
        runCleaner(ctx, 11, false);
    }
    const std::wstring zero = L"Cleaned Cache.... Files Deleted 0 Space Gained 0 Bytes\r\n";
    EXPECT_EQ(run.strLog, zero + zero + zero) << "missing, one character, not text";
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(CleanerTest, NamesOutsideTheAnsiCodePageAndDeepPaths)
{
    fill(L"\u041a\u044d\u0448.htm", 100);       // Cyrillic
    fill(L"\u7f13\u5b58\\\u6587\u4ef6.js", 50);  // Chinese folder and file
    // A folder tree deeper than MAX_PATH, made through the long-path prefix.
    std::wstring deep = L"\\\\?\\" + dir.path();
    while (deep.size() < 300) {
        deep += L"\\abcdefghijklmnopqrstuvwxyz0123456789";
        CreateDirectoryW(deep.c_str(), nullptr);
    }
    testenv::writeFile(deep + L"\\deep.tmp", "x");
    testenv::ScopedShellFolder cache(L"Cache", dir.path().c_str());
    runCleaner(ctx, 11, false);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_FALSE(testenv::exists(dir.file(L"\u041a\u044d\u0448.htm")));
    EXPECT_FALSE(testenv::exists(dir.file(L"\u7f13\u5b58\\\u6587\u4ef6.js")));
    EXPECT_EQ(run.strLog.rfind(L"Cleaned Cache.... Files Deleted ", 0), 0u);
    EXPECT_GE(run.lngFCOunt, 2);
}

TEST_F(CleanerTest, SystemRootInTheFolderValueIsExpanded)
{
    const std::wstring winTemp = getWinDir() + L"\\sorvane-cache-test";
    testenv::makeDir(winTemp);
    testenv::writeFile(winTemp + L"\\one.tmp", "1234");
    testenv::ScopedShellFolder cache(L"Cache", L"%SystemRoot%\\sorvane-cache-test");
    runCleaner(ctx, 11, false);
    EXPECT_EQ(lastLine(), L"Cleaned Cache.... Files Deleted 1 Space Gained 4 Bytes\r\n");
    RemoveDirectoryW(winTemp.c_str());
}

TEST_F(CleanerTest, KeptCookiesSurviveWhateverTheLetterCase)
{
    fill(L"me@bank[1].txt", 100);
    fill(L"me@ads[1].txt", 200);
    fill(L"Low\\me@tracker[2].txt", 300);
    fill(L"index.dat", 50);
    const std::wstring kept = dir.file(L"me@bank[1].txt");
    testenv::writeFile(app.file(L"cookies.sol"), toAnsi(toLower(kept)) + "\x01\r\n");
    testenv::ScopedShellFolder cookies(L"Cookies", dir.path().c_str());
    runCleaner(ctx, 12, false);
    EXPECT_TRUE(testenv::exists(kept));
    EXPECT_FALSE(testenv::exists(dir.file(L"me@ads[1].txt")));
    EXPECT_FALSE(testenv::exists(dir.file(L"Low\\me@tracker[2].txt")));
    EXPECT_TRUE(testenv::exists(dir.file(L"index.dat"))) << "only *.txt files are cookies";
    EXPECT_EQ(run.strLog, L"Cleaned Cookies.... Files Deleted 2 Space Gained 500 Bytes\r\n");
}

TEST_F(CleanerTest, StopDuringTheCookieLoopKeepsTheRest)
{
    for (int i = 0; i < 30; ++i)
        fill(L"c" + std::to_wstring(i) + L".txt", 10);
    testenv::ScopedShellFolder cookies(L"Cookies", dir.path().c_str());
    // Stop is pressed once the cookie loop has started (it sets the progress range).
    ui.onPump = [this](testenv::RecorderUi& r) {
        if (r.progressMax > 0)
            run.bAbort = -1;
    };
    runCleaner(ctx, 12, false);
    EXPECT_NE(std::find(ui.stopCaptions.begin(), ui.stopCaptions.end(), L"Aborted by User"), ui.stopCaptions.end());
    EXPECT_EQ(run.lngFCOunt, 0);
    EXPECT_TRUE(testenv::exists(dir.file(L"c0.txt")));
    EXPECT_TRUE(testenv::exists(dir.file(L"c29.txt")));
    EXPECT_EQ(lastLine(), L"Cleaned Cookies.... Files Deleted 0 Space Gained 0 Bytes\r\n") << "the line is still written";
}

TEST_F(CleanerTest, FavoritesLoseTheirShortcutsAndEmptyFolders)
{
    fill(L"site.url", 80);
    fill(L"Links\\other.url", 80);
    fill(L"Mixed\\keep.pdf", 10);
    fill(L"Mixed\\gone.url", 80);
    testenv::ScopedShellFolder favorites(L"Favorites", dir.path().c_str());
    runCleaner(ctx, 13, false);
    EXPECT_EQ(run.strLog, L"Cleaned Favorites.... Files Deleted 3 Space Gained 240 Bytes\r\n");
    EXPECT_FALSE(testenv::exists(dir.file(L"Links")));
    EXPECT_TRUE(testenv::exists(dir.file(L"Mixed\\keep.pdf")));
}

TEST_F(CleanerTest, TypedUrlsAreCountedAndTheKeyStays)
{
    const std::wstring key = L"Software\\Microsoft\\Internet Explorer\\TypedURLs";
    ScopedRegValue u1(HKEY_CURRENT_USER, key, L"url1", L"http://a.example/");
    ScopedRegValue u2(HKEY_CURRENT_USER, key, L"url2", L"http://b.example/");
    ScopedRegValue u3(HKEY_CURRENT_USER, key, L"url3", L"http://c.example/");
    runCleaner(ctx, 14, false);
    EXPECT_EQ(run.strLog, L"Cleaned 3 Typed URL History\r\n");
    EXPECT_TRUE(regKeyExists(HKEY_CURRENT_USER, key));
    EXPECT_EQ(getRegValueNames(HKEY_CURRENT_USER, key), L"");
    runCleaner(ctx, 14, false);
    EXPECT_EQ(lastLine(), L"Cleaned 0 Typed URL History\r\n");
}

// With the backup method the trace values are saved first, and come back
// byte for byte; when they cannot be saved they stay.
TEST_F(CleanerTest, TraceValuesAreSavedForUndoWithTheBackupMethod)
{
    const std::wstring typed = L"Software\\Microsoft\\Internet Explorer\\TypedURLs";
    const std::wstring runMru = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU";
    ScopedRegValue u1(HKEY_CURRENT_USER, typed, L"url1", L"http://a.example/?q=\"x\"\\");
    ScopedRegValue u2(HKEY_CURRENT_USER, typed, L"url2", L"http://\u00e9.example/");
    ScopedRegValue r1(HKEY_CURRENT_USER, runMru, L"a", L"notepad\\1");
    ScopedRegValue r2(HKEY_CURRENT_USER, runMru, L"MRUList", L"a");
    const testenv::Snapshot before = testenv::snapshot(HKEY_CURRENT_USER, typed);
    TempFolder backups;
    settings.intDelMethod = kBackup;
    settings.strBackupPath = backups.path() + L"\\";
    runCleaner(ctx, 14, false);
    runCleaner(ctx, 2, false);
    EXPECT_EQ(run.strLog, L"Cleaned 2 Typed URL History\r\nCleaned 2 Run MRU values\r\n");
    EXPECT_EQ(getAllValueNames(HKEY_CURRENT_USER, typed).size(), 0u);
    const auto undo = testenv::filesIn(backups.path(), L"TypedURLs_*.reg");
    ASSERT_EQ(undo.size(), 1u);
    EXPECT_EQ(testenv::filesIn(backups.path(), L"RunMRU_*.reg").size(), 1u);
    const RegRestore back = restoreRegFile(parseRegFile(*readRegFileText(undo[0])));
    EXPECT_TRUE(back.failures.empty());
    EXPECT_EQ(testenv::snapshot(HKEY_CURRENT_USER, typed), before);

    // A backup folder that cannot be made: nothing is deleted.
    writeFile(backups.file(L"a file"), "x");
    settings.strBackupPath = backups.file(L"a file") + L"\\sub\\";
    run.strLog.clear();
    runCleaner(ctx, 14, false);
    EXPECT_EQ(run.strLog, L"Cleaned 0 Typed URL History\r\nKept 2 registry values: they could not be saved to an "
                          L"undo file in the backup folder\r\n");
    EXPECT_EQ(testenv::snapshot(HKEY_CURRENT_USER, typed), before);
}

TEST_F(CleanerTest, OfflinePagesWithoutTheirFolderGiveZero)
{
    RemoveDirectoryW((getWinDir() + L"\\Offline Web Pages").c_str());
    runCleaner(ctx, 15, false);
    EXPECT_EQ(run.strLog, L"Cleaned Offline Web Pages.... Files Deleted 0 Space Gained 0 Bytes\r\n");
}

TEST_F(CleanerTest, HistoryIsClearedEvenWithoutTheHistoryObject)
{
    const std::wstring visited = L"Visited: tester@http://history.example/page";
    wchar_t file[MAX_PATH] = {};
    ASSERT_TRUE(CreateUrlCacheEntryW(visited.c_str(), 0, L"", file, 0));
    FILETIME none{};
    ASSERT_TRUE(CommitUrlCacheEntryW(visited.c_str(), file, none, none, URLHISTORY_CACHE_ENTRY, nullptr, 0, nullptr,
                                     nullptr));
    fill(L"History.IE5\\index.dat", 64);
    testenv::ScopedShellFolder history(L"History", dir.path().c_str());
    runCleaner(ctx, 10, false);
    EXPECT_EQ(run.strLog, L"Cleaned History....\r\n");
    EXPECT_TRUE(ui.messages.empty());
    BYTE buf[4096];
    DWORD size = sizeof buf;
    EXPECT_FALSE(GetUrlCacheEntryInfoW(visited.c_str(), reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buf), &size));
    EXPECT_FALSE(testenv::exists(dir.file(L"History.IE5\\index.dat")));
    EXPECT_EQ(run.lngTotalFiles, 0) << "history is not counted";
}

// Today's browsers in the Cache category: every cache of every profile
// emptied into the same line; site data, passwords, bookmarks and the
// profile of a running browser left byte for byte.
TEST_F(CleanerTest, BrowserCachesAreEmptiedAndARunningBrowserIsSkipped)
{
    TempFolder local(TempFolder::Where::Profile), roaming(TempFolder::Where::Profile), ie;
    const auto writeFile = [](const std::wstring& path, const std::string& bytes) {
        testenv::makeDir(path.substr(0, path.find_last_of(L'\\')));
        testenv::writeFile(path, bytes);
    };
    testenv::ScopedShellFolder localFolder(L"Local AppData", local.path().c_str());
    testenv::ScopedShellFolder roamingFolder(L"AppData", roaming.path().c_str());
    testenv::ScopedShellFolder cacheFolder(L"Cache", ie.path().c_str());
    const std::wstring chrome = local.file(L"Google\\Chrome\\User Data");
    const std::wstring edge = local.file(L"Microsoft\\Edge\\User Data");
    writeFile(chrome + L"\\Local State", R"({"profile":{"info_cache":{"Default":{},"Profile 1":{}}}})");
    writeFile(chrome + L"\\lockfile", "");  // left behind by an ended Chrome: no sign
    const std::vector<std::wstring> gone = {
        chrome + L"\\Default\\Cache\\Cache_Data\\data_1", chrome + L"\\Default\\Cache\\Cache_Data\\f_000001",
        chrome + L"\\Default\\Code Cache\\js\\index", chrome + L"\\Profile 1\\GPUCache\\data_0",
        chrome + L"\\Profile 1\\DawnWebGPUCache\\data_0", chrome + L"\\ShaderCache\\data_0",
        chrome + L"\\GrShaderCache\\data_1"};
    for (const auto& f : gone)
        writeFile(f, std::string(100, 'c'));
    const std::vector<std::wstring> kept = {
        chrome + L"\\Default\\Login Data", chrome + L"\\Default\\Bookmarks", chrome + L"\\Default\\Web Data",
        chrome + L"\\Default\\Local Storage\\leveldb\\000003.log", chrome + L"\\Default\\IndexedDB\\x\\1.ldb",
        chrome + L"\\Default\\Service Worker\\CacheStorage\\a\\b", chrome + L"\\Default\\Preferences",
        chrome + L"\\Local State", edge + L"\\Default\\Cache\\Cache_Data\\data_1"};
    for (size_t i = 0; i < kept.size(); ++i)
        if (kept[i] != chrome + L"\\Local State")
            writeFile(kept[i], "precious " + std::to_string(i));
    // Firefox: the profile under Roaming, its cache under Local.
    const std::wstring firefox = roaming.file(L"Mozilla\\Firefox");
    writeFile(firefox + L"\\profiles.ini", "[Profile0]\r\nIsRelative=1\r\nPath=Profiles/x.default\r\n");
    writeFile(firefox + L"\\Profiles\\x.default\\logins.json", "{\"logins\":[]}");
    writeFile(firefox + L"\\Profiles\\x.default\\parent.lock", "");  // Firefox keeps it after it ends
    const std::wstring ffCache = local.file(L"Mozilla\\Firefox\\Profiles\\x.default\\cache2\\entries\\ABC");
    writeFile(ffCache, std::string(50, 'f'));

    // Edge runs: it holds its lockfile as Chromium does.
    auto lock = std::make_optional(testenv::BrowserLock::chromium(edge));
    ASSERT_TRUE(lock->held());
    std::vector<std::string> before;
    for (const auto& f : kept)
        before.push_back(testenv::readFile(f));

    runCleaner(ctx, 11, false);
    lock.reset();
    EXPECT_EQ(run.strLog, L"Cleaned Cache.... Files Deleted 8 Space Gained 750 Bytes\r\n"
                          L"Skipped Microsoft Edge: it is running\r\n");
    for (const auto& f : gone)
        EXPECT_FALSE(testenv::exists(f)) << toAnsi(f);
    EXPECT_FALSE(testenv::exists(ffCache));
    EXPECT_TRUE(testenv::exists(chrome + L"\\Default\\Cache\\Cache_Data")) << "the folders stay for the browser";
    for (size_t i = 0; i < kept.size(); ++i)
        EXPECT_EQ(testenv::readFile(kept[i]), before[i]) << toAnsi(kept[i]);
    EXPECT_TRUE(testenv::exists(firefox + L"\\Profiles\\x.default\\logins.json"));
}

// What the cleaners must never do: empty a protected folder because a
// folder value is damaged, delete a kept cookie, claim a Recycle Bin they
// did not empty, delete past the chosen method.
#include "cleaners/CleanerFixture.h"

#include "platform/ErrorReport.h"
#include "platform/ReportQueue.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "store/ListFiles.h"
#include "store/Settings.h"
#include "support/Canaries.h"
#include "support/LoopbackServer.h"

#include <shlobj.h>
#include <wininet.h>

using namespace sorvane;
using testenv::CleanerTest;

namespace {

std::wstring profileRoot()
{
    wchar_t buf[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, buf);
    return buf;
}

std::wstring withSlash(std::wstring s)
{
    if (s.back() != L'\\')
        s += L'\\';
    return s;
}

} // namespace

TEST_F(CleanerTest, DamagedCacheValuesNamingProtectedFoldersCleanNothing)
{
    testenv::LoopbackServer server;
    setVendorSite(server.baseUrl());
    for (const std::wstring& value : {std::wstring(L"C:"), std::wstring(L"C:\\"), std::wstring(L"C:\\WINDOWS\\..\\"),
                                      profileRoot(), std::wstring(L"C:\\sorvane-fixtures\\driveroot")}) {
        SCOPED_TRACE(toAnsi(value));
        testenv::ScopedShellFolder cache(L"Cache", value.c_str());
        run.strLog.clear();
        runCleaner(ctx, 11, false);
        EXPECT_EQ(run.strLog, L"Cleaned Cache.... Files Deleted 0 Space Gained 0 Bytes\r\nSkipped protected folder: " +
                                  withSlash(value) + L"\r\n");
        EXPECT_EQ(run.lngTotalFiles, 0);
        const auto report = server.waitForRequest(5000);
        ASSERT_TRUE(report.has_value());
        EXPECT_NE(testenv::percentDecode(*report).find(",frmMain,cleanCache70"), std::string::npos) << *report;
    }
    waitForReports(5000);
    setVendorSite(L"http://127.0.0.1:9");
    EXPECT_TRUE(testenv::damagedCanaries().empty());
}

TEST_F(CleanerTest, UserDefinedFoldersAndHistoryRefuseProtectedFoldersToo)
{
    testenv::writeFile(app.file(L"UDFO.sol"), toAnsi(L"D:\\\r\n" + app.path() + L"\r\n" + dir.path() + L"\r\n"));
    fill(L"mine.tmp", 10);
    runCleaner(ctx, 1, false);
    EXPECT_EQ(run.strLog, L"Cleaned User Defined Folders.... Files Deleted 1 Space Gained 10 Bytes\r\n"
                          L"Skipped protected folder: D:\\\r\n"
                          L"Skipped protected folder: " + app.path() + L"\\\r\n");
    run.strLog.clear();
    testenv::ScopedShellFolder history(L"History", L"C:\\");
    runCleaner(ctx, 10, false);
    EXPECT_EQ(run.strLog, L"Cleaned History....\r\nSkipped protected folder: C:\\\r\n");
}

TEST_F(CleanerTest, HistoryFilesGoByTheChosenMethod)
{
    settings.intDelMethod = kRecycleBin;
    EmptyRecycleBin(L"", true, true, true);
    fill(L"History.IE5\\index.dat", 64);
    testenv::ScopedShellFolder history(L"History", dir.path().c_str());
    runCleaner(ctx, 10, false);
    EXPECT_FALSE(testenv::exists(dir.file(L"History.IE5\\index.dat")));
    int64_t bytes = 0, items = 0;
    QueryRecycleBin(L"", bytes, items);
    EXPECT_EQ(items, 1) << "the history's file went to the Recycle Bin like any other";
    EXPECT_EQ(run.lngTotalFiles, 0);
    EmptyRecycleBin(L"", true, true, true);
}

TEST_F(CleanerTest, RecycleBinThatCouldNotBeEmptiedIsLoggedAsZero)
{
    EmptyRecycleBin(L"", true, true, true);
    fill(L"held.txt", 700);
    ASSERT_TRUE(testenv::sendToRecycleBin(dir.file(L"held.txt")));
    // Holding the binned file open keeps the shell from removing it.
    wchar_t trash[MAX_PATH] = {};
    ASSERT_GT(GetEnvironmentVariableW(L"XDG_DATA_HOME", trash, MAX_PATH), 0u);
    std::wstring binned = L"\\\\?\\unix" + std::wstring(trash) + L"/Trash/files/held.txt";
    for (auto& c : binned)
        if (c == L'/')
            c = L'\\';
    HANDLE h = CreateFileW(binned.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    runCleaner(ctx, 0, false);
    CloseHandle(h);
    EXPECT_EQ(run.strLog, L"Cleaned Recycle Bin.... Files Deleted 0 Space Gained 0\r\n");
    EXPECT_EQ(run.lngTotalFiles, 0);
    EmptyRecycleBin(L"", true, true, true);
}

TEST_F(CleanerTest, KeptCookieUnderAFolderNameOutsideTheCodePageSurvives)
{
    // "Жора" cannot be written in the code page of cookies.sol.
    const std::wstring folder = L"\u0416\u043e\u0440\u0430\\";
    fill(folder + L"me@bank[1].txt", 100);
    fill(folder + L"me@ads[1].txt", 200);
    fill(L"plain@ads[1].txt", 300);
    fill(L"plain@bank[1].txt", 400);
    saveKeptCookies(app.file(L"cookies.sol"), {{dir.file(folder), L"me@bank[1].txt"}, {dir.path() + L"\\", L"plain@bank[1].txt"}});
    testenv::ScopedShellFolder cookies(L"Cookies", dir.path().c_str());
    runCleaner(ctx, 12, false);
    EXPECT_TRUE(testenv::exists(dir.file(folder + L"me@bank[1].txt")));
    EXPECT_TRUE(testenv::exists(dir.file(L"plain@bank[1].txt")));
    EXPECT_FALSE(testenv::exists(dir.file(L"plain@ads[1].txt")));
    // Which kept entry the stored "????" form meant cannot be told: doubt keeps it.
    EXPECT_TRUE(testenv::exists(dir.file(folder + L"me@ads[1].txt")));
    // With nothing kept, every cookie goes, whatever its name.
    DeleteFileW(app.file(L"cookies.sol").c_str());
    runCleaner(ctx, 12, false);
    EXPECT_FALSE(testenv::exists(dir.file(folder + L"me@bank[1].txt")));
    EXPECT_FALSE(testenv::exists(dir.file(folder + L"me@ads[1].txt")));
}

TEST_F(CleanerTest, TheMemoryDumpGoesThroughTheChosenMethod)
{
    settings.intDelMethod = kRecycleBin;
    EmptyRecycleBin(L"", true, true, true);
    fill(L"MEMORY.DMP", 4096);
    testenv::ScopedRegValue dump(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\CrashControl", L"DumpFile",
                                 dir.file(L"MEMORY.DMP").c_str());
    testenv::ScopedRegValue mini(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\CrashControl",
                                 L"MinidumpDir", nullptr);
    runCleaner(ctx, 9, false);
    EXPECT_FALSE(testenv::exists(dir.file(L"MEMORY.DMP")));
    int64_t bytes = 0, items = 0;
    QueryRecycleBin(L"", bytes, items);
    EXPECT_EQ(items, 1);
    EXPECT_EQ(run.strLog, L"Cleaned Memory Dump Files.... Files Deleted 0 Space Gained 0 Bytes\r\n");
    EmptyRecycleBin(L"", true, true, true);
}

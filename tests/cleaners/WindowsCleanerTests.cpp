#include "cleaners/CleanerFixture.h"

#include "platform/Registry.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"

#include <shellapi.h>

using namespace sorvane;
using testenv::CleanerTest;
using testenv::ScopedRegValue;

TEST_F(CleanerTest, RecycleBinLineReportsWhatTheBinHeld)
{
    EmptyRecycleBin(L"", true, true, true);
    runCleaner(ctx, 0, false);
    EXPECT_EQ(run.strLog, L"Cleaned Recycle Bin.... Files Deleted 0 Space Gained 0\r\n");

    fill(L"binned.txt", 700);
    ASSERT_TRUE(testenv::sendToRecycleBin(dir.file(L"binned.txt")));
    int64_t bytes = 0, items = 0;
    QueryRecycleBin(L"", bytes, items);
    run.strLog.clear();
    runCleaner(ctx, 0, false);
    EXPECT_EQ(run.strLog, L"Cleaned Recycle Bin.... Files Deleted 1 Space Gained " + std::to_wstring(bytes) + L"\r\n");
    EXPECT_EQ(run.lngTotalFiles, 1);
    QueryRecycleBin(L"", bytes, items);
    EXPECT_EQ(items, 0);
}

TEST_F(CleanerTest, RunMruCountsEveryValueAndEmptiesTheKey)
{
    const std::wstring key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU";
    ScopedRegValue a(HKEY_CURRENT_USER, key, L"a", L"notepad\\1");
    ScopedRegValue b(HKEY_CURRENT_USER, key, L"b", L"regedit\\1");
    ScopedRegValue list(HKEY_CURRENT_USER, key, L"MRUList", L"ba");
    runCleaner(ctx, 2, false);
    EXPECT_EQ(run.strLog, L"Cleaned 3 Run MRU values\r\n");
    EXPECT_EQ(getRegValueNames(HKEY_CURRENT_USER, key), L"");
}

TEST_F(CleanerTest, RecentDocumentsKeepTheirPerExtensionLists)
{
    const std::wstring key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs";
    ScopedRegValue top(HKEY_CURRENT_USER, key, L"0", L"report.doc");
    ScopedRegValue sub(HKEY_CURRENT_USER, key + L"\\.doc", L"0", L"report.doc");
    fill(L"report.doc.lnk", 300);
    testenv::ScopedShellFolder recent(L"Recent", dir.path().c_str());
    runCleaner(ctx, 7, false);
    EXPECT_EQ(run.strLog, L"Cleaned Recent Documents.... Files Deleted 1 Space Gained 300 Bytes\r\n");
    EXPECT_FALSE(regValueExists(HKEY_CURRENT_USER, key, L"0"));
    EXPECT_TRUE(regValueExists(HKEY_CURRENT_USER, key + L"\\.doc", L"0"));
}

TEST_F(CleanerTest, ClipboardIsEmptied)
{
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    const wchar_t text[] = L"copied secret";
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, sizeof text);
    memcpy(GlobalLock(mem), text, sizeof text);
    GlobalUnlock(mem);
    SetClipboardData(CF_UNICODETEXT, mem);
    CloseClipboard();
    ASSERT_TRUE(IsClipboardFormatAvailable(CF_UNICODETEXT));
    runCleaner(ctx, 16, false);
    EXPECT_EQ(run.strLog, L"Cleaned Windows Clipboard....\r\n");
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_UNICODETEXT));
}

TEST_F(CleanerTest, OfficeListsOfOneInstalledVersion)
{
    const auto keys = officeMruKeys(L"9.0");
    ASSERT_EQ(keys.size(), 25u);
    EXPECT_EQ(officeMruKeys(L"11.0")[0],
              L"Software\\Microsoft\\Office\\11.0\\Common\\Open Find\\Microsoft Access\\Settings\\Backup Database "
              L"As\\File Name MRU\\");
    EXPECT_EQ(officeMruKeys(L"11.0")[7], L"Software\\Microsoft\\Office\\11.0\\Access\\Recent Files\\");
    // Key names are matched without regard to case: "COnvert" finds "Convert".
    const std::wstring convert =
        L"Software\\Microsoft\\Office\\9.0\\Common\\Open Find\\Microsoft Access\\Settings\\Database To Convert "
        L"From\\File Name MRU";
    ScopedRegValue c(HKEY_CURRENT_USER, convert, L"Value", L"C:\\old.mdb");
    ScopedRegValue w(HKEY_CURRENT_USER, L"Software\\Microsoft\\Office\\9.0\\Word\\Recent Files", L"File1",
                     L"C:\\letter.doc");
    ScopedRegValue other(HKEY_CURRENT_USER, L"Software\\Microsoft\\Office\\9.0\\Word\\Options", L"Keep", L"1");
    runCleaner(ctx, 17, false);
    EXPECT_EQ(run.strLog, L"Cleaned MS Office History Lists....\r\n");
    EXPECT_FALSE(regValueExists(HKEY_CURRENT_USER, convert, L"Value"));
    EXPECT_FALSE(regValueExists(HKEY_CURRENT_USER, L"Software\\Microsoft\\Office\\9.0\\Word\\Recent Files", L"File1"));
    EXPECT_TRUE(regValueExists(HKEY_CURRENT_USER, L"Software\\Microsoft\\Office\\9.0\\Word\\Options", L"Keep"));
    EXPECT_FALSE(regKeyExists(HKEY_CURRENT_USER, L"Software\\Microsoft\\Office\\11.0")) << "no key is created";
}

TEST_F(CleanerTest, MemoryDumpIsRemovedUncountedAndMinidumpsCounted)
{
    const std::wstring win = getWinDir();
    testenv::writeFile(win + L"\\MEMORY.DMP", std::string(4000, 'd'));
    testenv::makeDir(win + L"\\Minidump");
    testenv::writeFile(win + L"\\Minidump\\Mini1.dmp", std::string(100, 'm'));
    testenv::writeFile(win + L"\\Minidump\\Mini2.dmp", std::string(200, 'm'));
    testenv::writeFile(win + L"\\Minidump\\notes.txt", "keep");
    const std::wstring key = L"System\\CurrentControlSet\\Control\\CrashControl";
    ScopedRegValue dump(HKEY_LOCAL_MACHINE, key, L"DumpFile", L"%SystemRoot%\\MEMORY.DMP", REG_EXPAND_SZ);
    ScopedRegValue mini(HKEY_LOCAL_MACHINE, key, L"MinidumpDir", L"%SystemRoot%\\Minidump", REG_EXPAND_SZ);
    runCleaner(ctx, 9, false);
    EXPECT_FALSE(testenv::exists(win + L"\\MEMORY.DMP"));
    EXPECT_TRUE(testenv::exists(win + L"\\Minidump\\notes.txt"));
    EXPECT_EQ(run.strLog, L"Cleaned Memory Dump Files.... Files Deleted 2 Space Gained 300 Bytes\r\n");
    DeleteFileW((win + L"\\Minidump\\notes.txt").c_str());
    RemoveDirectoryW((win + L"\\Minidump").c_str());
}

TEST_F(CleanerTest, DumpPathsExpandEveryEnvironmentReference)
{
    const std::wstring win = getWinDir();
    EXPECT_EQ(resolveDumpPath(L"%SystemRoot%\\MEMORY.DMP"), win + L"\\MEMORY.DMP");
    EXPECT_TRUE(iequals(resolveDumpPath(L"%windir%\\Minidump"), win + L"\\Minidump"));
    EXPECT_EQ(resolveDumpPath(L"D:\\dumps"), L"D:\\dumps");
}

TEST_F(CleanerTest, PrinterLeavesEverythingButSpoolFiles)
{
    fill(L"00001.SPL", 1000);
    fill(L"00001.SHD", 100);
    ScopedRegValue spool(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Print\\Printers",
                         L"DefaultspoolDirectory", dir.path().c_str());
    run.lngFCOunt = 7;  // left over from the category before
    runCleaner(ctx, 8, false);
    EXPECT_EQ(run.strLog, L"Cleaned Leftover Printer Files.... Files Deleted 1 Space Gained 1000 Bytes\r\n");
    EXPECT_TRUE(testenv::exists(dir.file(L"00001.SHD")));
}

TEST_F(CleanerTest, PrinterWithoutSpoolValueReportsZeroNotTheLastCategory)
{
    ScopedRegValue spool(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Print\\Printers",
                         L"DefaultspoolDirectory", nullptr);
    run.lngFCOunt = 5;
    run.dblFSize = 99;
    runCleaner(ctx, 8, false);
    EXPECT_EQ(run.strLog, L"Cleaned Leftover Printer Files.... Files Deleted 0 Space Gained 0 Bytes\r\n");
}

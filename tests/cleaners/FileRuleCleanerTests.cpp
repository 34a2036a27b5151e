#include "cleaners/CleanerFixture.h"

#include "platform/ErrorReport.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "store/Settings.h"
#include "support/LoopbackServer.h"
#include "win/UniqueHandle.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <algorithm>

using namespace sorvane;
using testenv::CleanerTest;

TEST_F(CleanerTest, UserDefinedFoldersUseTheListAndTheIgnoreRules)
{
    fill(L"Work\\a.tmp", 10);
    fill(L"Work\\Sub\\b.tmp", 20);
    fill(L"Work\\Default.PIF", 5);
    fill(L"Work\\Cache\\c.tmp", 30);
    search.setIgnoreNames({L"Default.PIF"});
    search.setIgnoreFolders({L"\\cache\\"});
    testenv::writeFile(app.file(L"UDFO.sol"), "\r\n  " + toAnsi(dir.file(L"Work")) + "  \r\n");
    runCleaner(ctx, 1, false);
    EXPECT_EQ(run.strLog, L"Cleaned User Defined Folders.... Files Deleted 2 Space Gained 30 Bytes\r\n");
    EXPECT_TRUE(testenv::exists(dir.file(L"Work\\Default.PIF")));
    EXPECT_TRUE(testenv::exists(dir.file(L"Work\\Cache\\c.tmp")));
    EXPECT_TRUE(testenv::exists(dir.file(L"Work\\Sub"))) << "folders are not removed";
}

TEST_F(CleanerTest, AnExistingEmptyFolderListCleansNothing)
{
    testenv::writeFile(TemporaryDirectory() + L"sorvane-udfo-probe.tmp", "x");
    testenv::writeFile(app.file(L"UDFO.sol"), "");
    runCleaner(ctx, 1, false);
    EXPECT_EQ(run.strLog, L"Cleaned User Defined Folders.... Files Deleted 0 Space Gained 0 Bytes\r\n");
    EXPECT_TRUE(testenv::exists(TemporaryDirectory() + L"sorvane-udfo-probe.tmp"));
    DeleteFileW((TemporaryDirectory() + L"sorvane-udfo-probe.tmp").c_str());
}

TEST_F(CleanerTest, WithoutAFolderListTheTempFolderIsCleaned)
{
    const std::wstring probe = TemporaryDirectory() + L"sorvane-udfo-probe.tmp";
    testenv::writeFile(probe, "x");
    runCleaner(ctx, 1, false);
    EXPECT_FALSE(testenv::exists(probe));
}

TEST_F(CleanerTest, UserDefinedFilesWithAndWithoutTheIgnoreCheck)
{
    fill(L"one.log", 11);
    fill(L"two.txt", 22);
    search.setIgnoreExtensions({L"log"});
    const std::string list = "1\r\n" + toAnsi(dir.file(L"one.log")) + "\r\n" + toAnsi(dir.file(L"two.txt")) +
                             "\r\n" + toAnsi(dir.file(L"missing.txt")) + "\r\n";
    testenv::writeFile(app.file(L"UDFI.sol"), list);
    runCleaner(ctx, 3, false);
    EXPECT_EQ(run.strLog, L"Cleaned User Defined Files.... Files Deleted 1 Space Gained 22 Bytes\r\n");
    EXPECT_TRUE(testenv::exists(dir.file(L"one.log"))) << "ignored extension";

    testenv::writeFile(app.file(L"UDFI.sol"), "0\r\n" + toAnsi(dir.file(L"one.log")) + "\r\n");
    run.strLog.clear();
    runCleaner(ctx, 3, false);
    EXPECT_EQ(run.strLog, L"Cleaned User Defined Files.... Files Deleted 1 Space Gained 11 Bytes\r\n");

    testenv::writeFile(app.file(L"UDFI.sol"), "1\r\n");
    run.strLog.clear();
    runCleaner(ctx, 3, false);
    EXPECT_EQ(run.strLog, L"Cleaned User Defined Files.... Files Deleted 0 Space Gained 0 Bytes\r\n");
}

TEST_F(CleanerTest, ErrorTrapShowsTheMessageReportsTheTagAndWritesNoLine)
{
    testenv::LoopbackServer server;
    setVendorSite(server.baseUrl());
    testenv::writeFile(app.file(L"UDFI.sol"), "yes\r\nC:\\x.txt\r\n");
    runCleaner(ctx, 3, false);
    setVendorSite(L"http://127.0.0.1:9");
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], L"There was an error in cleaning User Defined Files\r\nType mismatch");
    EXPECT_TRUE(run.strLog.empty());
    EXPECT_TRUE(ui.stopCaptions.empty()) << "an error ends the cleaner without stopOperation";
    const auto request = server.waitForRequest(5000);
    ASSERT_TRUE(request.has_value());
    EXPECT_NE(testenv::percentDecode(*request).find("frmMain,cleanUserDefinedFiles13Type mismatch"),
              std::string::npos);
}

TEST_F(CleanerTest, ErrorTextsWithoutLineBreak)
{
    EXPECT_STREQ(cleanerFor(11).errorText, L"There was an error in cleaning the Cache");
    EXPECT_FALSE(cleanerFor(11).lineBreakBeforeDescription);
    EXPECT_STREQ(cleanerFor(14).errorText, L"There was an error in cleaning the History");
    EXPECT_STREQ(cleanerFor(14).tag, L",cleanURLHistory");
    EXPECT_TRUE(cleanerFor(16).lineBreakBeforeDescription);
    EXPECT_STREQ(cleanerFor(17).errorText, L"There was an error in cleaning the MS OfficeRegistry History Lists");
}

TEST_F(CleanerTest, LinkInsideACleanedFolderLeavesTheOutsideAlone)
{
    // scripts/test.sh made cleaned\link pointing at the sibling folder outside\.
    testenv::ScopedShellFolder cache(L"Cache", L"C:\\sorvane-fixtures\\cleaned");
    runCleaner(ctx, 11, false);
    EXPECT_TRUE(testenv::exists(L"C:\\sorvane-fixtures\\outside\\precious.txt"));
    EXPECT_TRUE(testenv::exists(L"C:\\sorvane-fixtures\\outside\\inner\\precious2.txt"));
    EXPECT_TRUE(testenv::exists(L"C:\\sorvane-fixtures\\cleaned\\link"));
    EXPECT_FALSE(testenv::exists(L"C:\\sorvane-fixtures\\cleaned\\real\\junk.txt"));
}

TEST(DriveSelection, RootsFromTheFirstLineOfSearchOptions)
{
    EXPECT_EQ(rootsFromDriveLine(L" C:\\ Hard drive; D:\\ Hard drive;"), (std::vector<std::wstring>{L"C:\\", L"D:\\"}));
    EXPECT_EQ(rootsFromDriveLine(L" E:\\ Removable drive"), (std::vector<std::wstring>{L"E:\\"}));
    EXPECT_TRUE(rootsFromDriveLine(L"").empty());
    EXPECT_EQ(rootsFromDriveLine(L"C:\\Hard drive;D:\\CD-ROM drive"), (std::vector<std::wstring>{L"C:\\", L"D:\\"}))
        << "blanks are not needed between entries";
    EXPECT_EQ(rootsFromDriveLine(L" A:\\ Floppy drive  F:\\ RAM disk G:\\ Remote (network) drive"),
              (std::vector<std::wstring>{L"A:\\", L"F:\\", L"G:\\"}));
    EXPECT_TRUE(rootsFromDriveLine(L"Hard drive; no drive here").empty()) << "no backslash, no drive";
    testenv::ScopedAppFolder app;
    const auto roots = selectedRoots();
    ASSERT_EQ(roots.size(), 1u) << "without search.sol only the Windows drive";
    EXPECT_TRUE(istartsWith(getWinDir(), roots[0]));
    testenv::writeFile(app.file(L"search.sol"), "\r\n0 0\r\n");
    EXPECT_TRUE(selectedRoots().empty());
}

TEST_F(CleanerTest, ReviewWindowShownByTheLastTickedReviewCategory)
{
    testenv::writeFile(app.file(L"search.sol"), "\r\n");  // no drive: the searches find nothing
    ui.checked = {4, 5};  // Unnecessary files and Empty files
    runCleaner(ctx, 5, false);
    EXPECT_EQ(ui.reviewShown, 0) << "Unnecessary files comes later and shows it";
    runCleaner(ctx, 4, false);
    EXPECT_EQ(ui.reviewShown, 1);
    runCleaner(ctx, 5, true);
    EXPECT_EQ(ui.reviewShown, 2) << "run alone, each shows it";
    EXPECT_TRUE(run.strLog.empty()) << "the review window writes their line";
}

TEST(DeadShortcuts, TargetsAndBlankReferences)
{
    testenv::TempFolder dir;
    win::ComInit com;
    const auto makeLink = [&](const std::wstring& name, const std::wstring& target, const std::wstring& workDir) {
        win::ComPtr<IShellLinkW> link;
        win::ComPtr<IPersistFile> file;
        CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.putVoid());
        link->SetPath(target.c_str());
        link->SetWorkingDirectory(workDir.c_str());
        link->QueryInterface(IID_IPersistFile, file.putVoid());
        file->Save(dir.file(name).c_str(), TRUE);
        return dir.file(name);
    };
    testenv::writeFile(dir.file(L"target.exe"), "MZ");
    SearchOptions o;
    const auto alive = makeLink(L"alive.lnk", dir.file(L"target.exe"), dir.path());
    const auto dead = makeLink(L"dead.lnk", dir.file(L"gone.exe"), dir.path());
    EXPECT_FALSE(IsDeadShortcut(alive, o));
    EXPECT_TRUE(IsDeadShortcut(dead, o));
    const auto floppy = makeLink(L"floppy.lnk", L"A:\\", L"C:\\");
    EXPECT_FALSE(IsDeadShortcut(floppy, o));
    SearchOptions off;
    off.bFileReference = off.bPathReference = false;
    EXPECT_FALSE(IsDeadShortcut(makeLink(L"floppy2.lnk", L"b:\\", L""), off));
    // Both blank: alive while either blank-reference option is on, dead with both off.
    const auto blank = makeLink(L"blank.lnk", L"", L"");
    EXPECT_FALSE(IsDeadShortcut(blank, o));
    EXPECT_TRUE(IsDeadShortcut(blank, off));
    const auto noWorkDir = makeLink(L"nowork.lnk", dir.file(L"gone.exe"), L"");
    EXPECT_FALSE(IsDeadShortcut(noWorkDir, o)) << "an empty working directory keeps it alive by default";
    EXPECT_TRUE(IsDeadShortcut(noWorkDir, off));

    // Files that are no shortcuts are never dead, and each is reported.
    testenv::LoopbackServer server;
    setVendorSite(server.baseUrl());
    testenv::writeFile(dir.file(L"broken.lnk"), "not a shortcut");
    testenv::writeFile(dir.file(L"zero.lnk"), "");
    std::string noise(3 * 1024 * 1024, '\0');
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<char>((i * 2654435761u) >> 13);
    testenv::writeFile(dir.file(L"huge.lnk"), noise);
    for (const wchar_t* name : {L"broken.lnk", L"zero.lnk", L"huge.lnk"})
        EXPECT_FALSE(IsDeadShortcut(dir.file(name), off)) << "an unreadable shortcut is not dead";
    const auto request = server.waitForRequest(5000);
    setVendorSite(L"http://127.0.0.1:9");
    ASSERT_TRUE(request.has_value());
    EXPECT_NE(testenv::percentDecode(*request).find("modFiles,IsDeadShortcut"), std::string::npos);
}

TEST_F(CleanerTest, UnnecessaryFilesOfTheWindowsDriveFillTheReviewList)
{
    fill(L"leftover.TMP", 3);
    fill(L"keep.txt", 3);
    fill(L"readonly.tmp", 3);
    SetFileAttributesW(dir.file(L"readonly.tmp").c_str(), FILE_ATTRIBUTE_READONLY);
    search.setUnnecessaryPatterns({L"*.TMP"});
    runCleaner(ctx, 4, true);  // no search.sol: the Windows drive only
    EXPECT_EQ(ui.reviewShown, 1);
    bool leftover = false, readonlyRow = false, keep = false;
    for (const auto& row : ui.rows) {
        leftover = leftover || (row.folder == dir.path() + L"\\" && row.name == L"leftover.TMP");
        readonlyRow = readonlyRow || row.name == L"readonly.tmp";
        keep = keep || row.name == L"keep.txt";
    }
    EXPECT_TRUE(leftover);
    EXPECT_FALSE(readonlyRow) << "read-only files are skipped by default";
    EXPECT_FALSE(keep);
    EXPECT_TRUE(testenv::exists(dir.file(L"leftover.TMP"))) << "the review list deletes, not the search";
    EXPECT_EQ(ui.stopCaptions.back(), L"");
    SetFileAttributesW(dir.file(L"readonly.tmp").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(CleanerTest, StopBeforeTheFirstDriveSearchesNothing)
{
    fill(L"empty.dat", 0);
    ui.rows.push_back({});
    ui.pressStopAfterPumps(1);  // the pump before the drive
    runCleaner(ctx, 5, true);
    EXPECT_EQ(ui.reviewShown, 0);
    EXPECT_TRUE(ui.rows.empty()) << "the rows gathered so far are discarded";
    EXPECT_EQ(ui.stopCaptions, (std::vector<std::wstring>{L"Aobrted by User"}));
    EXPECT_EQ(std::count_if(ui.statuses.begin(), ui.statuses.end(),
                            [](const std::wstring& s) { return s.rfind(L"Gathering Files: ", 0) == 0; }),
              0);
}

TEST_F(CleanerTest, StopDuringADriveSearchDropsTheReviewList)
{
    fill(L"empty.dat", 0);
    ui.rows.push_back({});  // a row of an earlier review category
    ui.pressStopAfterPumps(2);  // the first pump comes before the drive, the second inside its search
    runCleaner(ctx, 5, true);
    EXPECT_EQ(ui.reviewShown, 0);
    EXPECT_TRUE(ui.rows.empty());
    EXPECT_NE(std::find(ui.stopCaptions.begin(), ui.stopCaptions.end(), L"Aobrted by User"), ui.stopCaptions.end());
}

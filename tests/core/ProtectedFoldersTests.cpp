// Folder cleaners never empty a protected folder, however its path is spelt.
#include "core/Deletion.h"
#include "core/FileSearch.h"
#include "core/ProtectedFolders.h"
#include "platform/AppFolder.h"
#include "platform/SystemPaths.h"
#include "support/Canaries.h"
#include "support/RecorderUi.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>
#include <shlobj.h>

using namespace sorvane;
using testenv::RecorderUi;

namespace {

std::wstring shellFolder(int csidl)
{
    wchar_t buf[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buf);
    return buf;
}

class GuardTest : public ::testing::Test {
protected:
    void SetUp() override { testenv::clearIgnoreLists(search); }
    testenv::TempFolder dir;
    RunState run;
    RecorderUi ui{run};
    FileSearch search{ui, run};
};

} // namespace

TEST(FolderNames, EverySpellingOfAFolderComparesEqual)
{
    EXPECT_EQ(normaliseFolder(L"C:"), L"c:");
    EXPECT_EQ(normaliseFolder(L"c:\\"), L"c:");
    EXPECT_EQ(normaliseFolder(L"C:\\WINDOWS\\..\\"), L"c:");
    EXPECT_EQ(normaliseFolder(L"C:\\windows\\system32\\..\\"), normaliseFolder(L"c:\\Windows"));
    EXPECT_EQ(normaliseFolder(L"C:/Windows/"), normaliseFolder(L"C:\\windows"));
    EXPECT_EQ(normaliseFolder(L"C:\\Windows. "), normaliseFolder(L"C:\\windows"));
    // The final path behind a link: a folder that leads to the drive root is the root.
    EXPECT_EQ(normaliseFolder(L"C:\\sorvane-fixtures\\driveroot\\"), L"c:");
    EXPECT_EQ(normaliseFolder(L"C:\\sorvane-fixtures\\winlink"), normaliseFolder(getWinDir()));
    // 8.3 names are the long ones.
    testenv::TempFolder dir;
    const std::wstring longName = dir.file(L"A folder with a long name");
    testenv::makeDir(longName);
    wchar_t shortName[MAX_PATH] = {};
    ASSERT_NE(GetShortPathNameW(longName.c_str(), shortName, MAX_PATH), 0u);
    EXPECT_NE(std::wstring(shortName), longName);
    EXPECT_EQ(normaliseFolder(shortName), normaliseFolder(longName));
}

TEST(FolderNames, VolumeRoots)
{
    EXPECT_TRUE(isVolumeRoot(L"c:"));
    EXPECT_TRUE(isVolumeRoot(L"\\\\server\\share"));
    EXPECT_TRUE(isVolumeRoot(L"\\\\server"));
    EXPECT_TRUE(isVolumeRoot(L"\\\\?\\volume{0b4a1f1e-1111-2222-3333-444455556666}"));
    EXPECT_FALSE(isVolumeRoot(L"c:\\temp"));
    EXPECT_FALSE(isVolumeRoot(L"\\\\server\\share\\cache"));
}

TEST(ProtectedSet, SystemProfileApplicationAndBackupFolders)
{
    testenv::ScopedAppFolder app;
    testenv::TempFolder backup;
    const ProtectedFolders p = ProtectedFolders::gather(backup.path() + L"\\");
    for (const std::wstring& f : {getWinDir(), getSystemDir(), shellFolder(CSIDL_PROGRAM_FILES),
                                  shellFolder(CSIDL_PROFILE), std::wstring(L"C:\\users"), std::wstring(L"D:\\"),
                                  app.path(), app.path() + L"\\Backup\\", backup.path()})
        EXPECT_TRUE(p.isProtected(f)) << std::string(f.begin(), f.end());
    // What cleaners legitimately empty stays open to them.
    for (const std::wstring& f : {getWinDir() + L"\\temp", TemporaryDirectory(),
                                  shellFolder(CSIDL_INTERNET_CACHE), shellFolder(CSIDL_PERSONAL) + L"\\old"})
        EXPECT_FALSE(p.isProtected(f)) << std::string(f.begin(), f.end());
}

TEST_F(GuardTest, FolderCleanerModesRefuseAProtectedStartFolder)
{
    testenv::ScopedAppFolder app;
    testenv::writeFile(app.file(L"empty.txt"), "");
    for (int16_t mode : {kSearchAll, kSearchFiltered}) {
        run.protectedSkips.clear();
        search.clearFoundLists();
        search.searchFiles(app.path() + L"\\", L"*.*", mode);
        EXPECT_TRUE(search.strFoundFiles().empty()) << mode;
        ASSERT_EQ(run.protectedSkips.size(), 1u) << mode;
        EXPECT_EQ(run.protectedSkips[0], app.path() + L"\\");
    }
    for (const wchar_t* spelling : {L"C:\\", L"C:\\WINDOWS\\..\\", L"C:\\sorvane-fixtures\\driveroot\\",
                                    L"C:\\sorvane-fixtures\\winlink\\", L"D:\\"}) {
        run.protectedSkips.clear();
        search.clearFoundLists();
        search.searchFiles(spelling, L"*.*", kSearchAll);
        EXPECT_TRUE(search.strFoundFiles().empty());
        EXPECT_EQ(run.protectedSkips.size(), 1u) << std::wstring_view(spelling).size();
    }
    // The drive-wide review searches list what they find; the user chooses.
    run.protectedSkips.clear();
    search.clearFoundLists();
    search.searchFiles(app.path() + L"\\", L"*.*", kSearchEmpty);
    EXPECT_EQ(ui.rows.size(), 1u);
    EXPECT_TRUE(run.protectedSkips.empty());
}

TEST_F(GuardTest, AProtectedFolderInsideACleanedTreeIsPassedOver)
{
    testenv::makeDir(dir.file(L"Backup\\deeper"));
    testenv::writeFile(dir.file(L"Backup\\C_081220260930.zip"), "archive");
    testenv::writeFile(dir.file(L"Backup\\deeper\\more.zip"), "archive");
    testenv::writeFile(dir.file(L"junk.tmp"), "junk");
    search.setBackupFolder(dir.file(L"Backup\\"));
    search.clearFoundLists();
    search.searchFiles(dir.path() + L"\\", L"*.*", kSearchAll);
    ASSERT_EQ(search.strFoundFiles().size(), 1u);
    EXPECT_EQ(search.strFoundFiles()[0], dir.file(L"junk.tmp"));
    EXPECT_TRUE(search.strFoundFolders().empty());
    ASSERT_EQ(run.protectedSkips.size(), 1u);
    EXPECT_EQ(run.protectedSkips[0], dir.file(L"Backup\\"));
}

// The walk keeps a stack of its own rather than one call per level, and
// reaches paths far past MAX_PATH: a deep tree is searched and cleaned whole.
TEST_F(GuardTest, ADeepTreeIsSearchedAndCleanedWhole)
{
    constexpr int kLevels = 300;
    std::wstring deep = L"\\\\?\\" + dir.path();
    for (int i = 0; i < kLevels; ++i) {
        deep += L"\\d";
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr)) << i;
        if (i % 50 == 49)
            testenv::writeFile(deep + L"\\f.txt", "deep");
    }
    ASSERT_GT(deep.size(), 600u);
    search.clearFoundLists();
    search.searchFiles(dir.path() + L"\\", L"*.*", kSearchAll);
    ASSERT_EQ(search.strFoundFiles().size(), static_cast<size_t>(kLevels / 50));
    EXPECT_EQ(search.strFoundFolders().size(), static_cast<size_t>(kLevels));
    // Depth-first: each folder's files before the folders below it.
    EXPECT_LT(search.strFoundFiles().front().size(), search.strFoundFiles().back().size());
    DeleteSettings settings;
    DeletionEngine deletion{ui, run, settings};
    deletion.deleteFiles(search.strFoundFiles(), &search.foundFileSizes());
    deletion.deleteFolders(search.strFoundFolders());
    EXPECT_EQ(run.lngTotalFiles, kLevels / 50);
    EXPECT_EQ(run.bLocked, 0);
    EXPECT_FALSE(testenv::exists(L"\\\\?\\" + search.strFoundFiles().back()));
}

TEST(EmptyFileRule, LinksAreNoEmptyFiles)
{
    EXPECT_TRUE(isEmptyFileEntry(FILE_ATTRIBUTE_ARCHIVE, 0, 0));
    EXPECT_FALSE(isEmptyFileEntry(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT, 0, 0));
    EXPECT_FALSE(isEmptyFileEntry(FILE_ATTRIBUTE_ARCHIVE, 0, 1));
    EXPECT_FALSE(isEmptyFileEntry(FILE_ATTRIBUTE_ARCHIVE, 1, 0)) << "4 GiB is not empty";
}

#include "platform/SystemPaths.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>
#include <shellapi.h>

using namespace sorvane;

TEST(SystemPaths, FoldersComeWithoutTrailingBackslashExceptTemp)
{
    const std::wstring win = getWinDir();
    ASSERT_FALSE(win.empty());
    EXPECT_NE(win.back(), L'\\');
    EXPECT_NE(getSystemDir().back(), L'\\');
    const std::wstring temp = TemporaryDirectory();
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.back(), L'\\');
}

TEST(SystemPaths, ConvertWinPathReplacesSystemRootInAnyCase)
{
    const std::wstring win = getWinDir();
    std::wstring path = L"%SystemRoot%\\MEMORY.DMP";
    EXPECT_EQ(convertWinPath(path), win + L"\\MEMORY.DMP");
    EXPECT_EQ(path, win + L"\\MEMORY.DMP") << "the argument is changed too";

    std::wstring twice = L"%systemroot%\\a;%SYSTEMROOT%\\b";
    EXPECT_EQ(convertWinPath(twice), win + L"\\a;" + win + L"\\b");

    std::wstring other = L"%windir%\\Minidump";
    EXPECT_EQ(convertWinPath(other), L"%windir%\\Minidump");
}

TEST(SystemPaths, DriveTypeNames)
{
    EXPECT_EQ(driveTypeName(L"A:\\", DRIVE_REMOVABLE), L"Floppy drive");
    EXPECT_EQ(driveTypeName(L"b:\\", DRIVE_REMOVABLE), L"Floppy drive");
    EXPECT_EQ(driveTypeName(L"E:\\", DRIVE_REMOVABLE), L"Removable drive");
    EXPECT_EQ(driveTypeName(L"C:\\", DRIVE_FIXED), L"Hard drive;");
    EXPECT_EQ(driveTypeName(L"C:\\", DRIVE_UNKNOWN), L"The drive type cannot be determined");
    EXPECT_EQ(driveTypeName(L"Q:\\", DRIVE_NO_ROOT_DIR), L"The root directory does not exist");
    EXPECT_EQ(driveTypeName(L"N:\\", DRIVE_REMOTE), L"Remote (network) drive");
    EXPECT_EQ(driveTypeName(L"D:\\", DRIVE_CDROM), L"CD-ROM drive");
    EXPECT_EQ(driveTypeName(L"R:\\", DRIVE_RAMDISK), L"RAM disk");
    EXPECT_EQ(driveTypeName(L"R:\\", 42), L"");
    EXPECT_EQ(rgbDrvType(L"C:\\"), L"Hard drive;");
}

TEST(SystemPaths, DriveListHoldsTheSystemDriveAndNoHostDrive)
{
    const std::wstring list = getDriveList();
    ASSERT_GE(list.size(), 4u);
    EXPECT_EQ(list.substr(0, 4), std::wstring(L"C:\\\0", 4));
    EXPECT_EQ(list.back(), L'\0');
    // The test prefix has no Z: drive: a drive-wide search must not reach the host.
    EXPECT_EQ(list.find(L"Z:\\"), std::wstring::npos);
}

TEST(SystemPaths, FileNameOf)
{
    EXPECT_EQ(fileNameOf(L"C:\\a\\b.txt"), L"b.txt");
    EXPECT_EQ(fileNameOf(L"plain"), L"plain");
    EXPECT_EQ(fileNameOf(L"C:\\dir\\"), L"");
}

TEST(RecycleBin, RootIsNormalisedAndFlagsAdd)
{
    EXPECT_EQ(normaliseRecycleRoot(L""), L"");
    EXPECT_EQ(normaliseRecycleRoot(L"D"), L"D:\\");
    EXPECT_EQ(normaliseRecycleRoot(L"C:"), L"C:\\");
    EXPECT_EQ(normaliseRecycleRoot(L"C:\\"), L"C:\\");
    EXPECT_EQ(normaliseRecycleRoot(L"C:\\Windows"), L"C:\\Windows");
    EXPECT_EQ(recycleBinFlags(true, false, false), 1u);
    EXPECT_EQ(recycleBinFlags(false, true, false), 2u);
    EXPECT_EQ(recycleBinFlags(true, true, true), 7u);
}

TEST(RecycleBin, FileTravelsThroughTheBinAndIsEmptied)
{
    testenv::TempFolder folder;
    const std::wstring file = folder.file(L"trip.txt");
    testenv::writeFile(file, std::string(3000, 'r'));

    int64_t sizeBefore = 0, countBefore = 0;
    QueryRecycleBin(L"C:\\", sizeBefore, countBefore);

    ASSERT_TRUE(testenv::sendToRecycleBin(file));
    EXPECT_FALSE(testenv::exists(file));

    int64_t size = 0, count = 0;
    QueryRecycleBin(L"C:\\", size, count);
    EXPECT_EQ(count, countBefore + 1);
    EXPECT_GE(size, sizeBefore + 3000);

    EmptyRecycleBin(L"C", true, true, true);
    QueryRecycleBin(L"", size, count);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(size, 0);
    EXPECT_FALSE(testenv::exists(file)) << "emptying the bin does not restore the file";
}

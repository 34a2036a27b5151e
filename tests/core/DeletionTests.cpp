#include "core/Deletion.h"
#include "core/SystemPaths.h"
#include "support/RecorderUi.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

using namespace sorvane;
using testenv::RecorderUi;

namespace {

class DeletionTest : public ::testing::Test {
protected:
    std::wstring make(const std::wstring& name, std::string_view content)
    {
        const std::wstring path = dir.file(name);
        testenv::writeFile(path, content);
        return path;
    }
    testenv::TempFolder dir;
    RunState run;
    RecorderUi ui{run};
    DeleteSettings settings;
    DeletionEngine engine{ui, run, settings};
};

} // namespace

TEST_F(DeletionTest, EmptyListOnlyResetsProgressAndStatus)
{
    engine.deleteFiles({});
    EXPECT_EQ(ui.progress, 0);
    ASSERT_FALSE(ui.statuses.empty());
    EXPECT_EQ(ui.statuses.back(), L"Ready");
    EXPECT_EQ(run.lngTotalFiles, 0);
    EXPECT_EQ(run.bLocked, 0);
}

TEST_F(DeletionTest, PlainDeleteCountsEveryFileAndItsBytes)
{
    const auto a = make(L"a.tmp", std::string(512, 'a'));
    const auto b = make(L"b.tmp", std::string(1024, 'b'));
    const auto ro = make(L"ro.tmp", "");
    SetFileAttributesW(ro.c_str(), FILE_ATTRIBUTE_READONLY);
    engine.deleteFiles({a, b, ro});
    EXPECT_FALSE(testenv::exists(a));
    EXPECT_FALSE(testenv::exists(b));
    EXPECT_FALSE(testenv::exists(ro)) << "read-only files are deleted too";
    EXPECT_EQ(run.lngTotalFiles, 3);
    EXPECT_EQ(run.dblTotalSize, 1536u);
    EXPECT_EQ(run.lngFCOunt, 3);
    EXPECT_EQ(run.dblFSize, 1536u);
    EXPECT_EQ(run.bLocked, 0);
    EXPECT_EQ(ui.progressMax, 4) << "the number of files plus one";
}

TEST_F(DeletionTest, LockedAndVanishedFilesAreNotCounted)
{
    const auto locked = make(L"locked.tmp", "busy");
    const auto free = make(L"free.tmp", "12345");
    HANDLE h = CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    engine.deleteFiles({locked, dir.file(L"vanished.tmp"), free});
    CloseHandle(h);
    EXPECT_TRUE(testenv::exists(locked));
    EXPECT_EQ(run.lngTotalFiles, 1);
    EXPECT_EQ(run.dblTotalSize, 5u);
    EXPECT_EQ(run.bLocked, -1);
}

TEST_F(DeletionTest, SizesBeyondFourGigabytesAreCountedWhole)
{
    const auto big = dir.file(L"big.bin");
    HANDLE h = CreateFileW(big.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    LARGE_INTEGER size;
    size.QuadPart = 3LL * 1024 * 1024 * 1024 + 7;  // sparse on the host file system
    SetFilePointerEx(h, size, nullptr, FILE_BEGIN);
    SetEndOfFile(h);
    CloseHandle(h);
    engine.deleteFiles({big});
    EXPECT_EQ(run.dblTotalSize, 3ull * 1024 * 1024 * 1024 + 7);
}

TEST_F(DeletionTest, RecycleBinMethodKeepsTheFileRecoverable)
{
    settings.intDelMethod = kRecycleBin;
    const auto ro = make(L"recycled.txt", std::string(100, 'r'));
    SetFileAttributesW(ro.c_str(), FILE_ATTRIBUTE_READONLY);
    int64_t before = 0, items = 0, after = 0;
    QueryRecycleBin(L"C:\\", before, items);
    const int64_t itemsBefore = items;
    EXPECT_EQ(engine.deleteOneFile(ro), 1);
    EXPECT_FALSE(testenv::exists(ro));
    QueryRecycleBin(L"C:\\", after, items);
    EXPECT_EQ(items, itemsBefore + 1);
    EmptyRecycleBin(L"", true, true, true);
}

TEST_F(DeletionTest, WipeOverwritesEveryByteBeforeDeleting)
{
    settings.intDelMethod = kWipe;
    // A second name for the same data shows what the wipe left on disk.
    const std::string content(kWipeBlockBytes * 2 + 12345, 'S');
    const auto path = make(L"secret.doc", content);
    ASSERT_TRUE(CreateHardLinkW(dir.file(L"witness").c_str(), path.c_str(), nullptr));
    EXPECT_EQ(engine.deleteOneFile(path), 1);
    EXPECT_FALSE(testenv::exists(path));
    const std::string left = testenv::readFile(dir.file(L"witness"));
    ASSERT_EQ(left.size(), content.size());
    EXPECT_EQ(left.find_first_not_of('\0'), std::string::npos) << "every byte is zero";
}

TEST_F(DeletionTest, ExtraSecurityWritesRandomBytesAndRenameHidesTheName)
{
    settings.intDelMethod = kWipe;
    settings.bytExtraSecurity = 1;
    settings.bytRename = 1;
    const auto path = make(L"secret.doc", std::string(4096, '\xff'));
    ASSERT_TRUE(CreateHardLinkW(dir.file(L"witness").c_str(), path.c_str(), nullptr));
    EXPECT_EQ(engine.deleteOneFile(path), 1);
    const std::string left = testenv::readFile(dir.file(L"witness"));
    ASSERT_EQ(left.size(), 4096u);
    for (unsigned char c : left)
        ASSERT_LE(c, 100);
    EXPECT_NE(left.find_first_not_of(left[0]), std::string::npos) << "not one repeated byte";
    // Only the witness is left in the folder: the renamed file is gone too.
    WIN32_FIND_DATAW fd;
    HANDLE f = FindFirstFileW((dir.path() + L"\\*").c_str(), &fd);
    int entries = 0;
    do {
        if (std::wstring_view(fd.cFileName) != L"." && std::wstring_view(fd.cFileName) != L"..")
            ++entries;
    } while (FindNextFileW(f, &fd));
    FindClose(f);
    EXPECT_EQ(entries, 1);
}

TEST_F(DeletionTest, WipeOfALockedFileFailsAndCountsAsLocked)
{
    settings.intDelMethod = kWipe;
    const auto path = make(L"locked.doc", "data");
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(engine.deleteOneFile(path), 0);
    CloseHandle(h);
    EXPECT_EQ(run.bLocked, -1);
    EXPECT_EQ(testenv::readFile(path), "data");
}

TEST_F(DeletionTest, StopDuringAWipeLeavesThePartlyOverwrittenFile)
{
    settings.intDelMethod = kWipe;
    const auto path = make(L"large.bin", std::string(64 * 1024 * 1024, 'L'));
    ui.onPump = [this](RecorderUi&) { run.bAbort = -1; };
    Sleep(20);  // the first block comes after a time slice has passed
    EXPECT_EQ(engine.wipeFile(path), 0);
    EXPECT_TRUE(testenv::exists(path));
}

TEST_F(DeletionTest, StopDuringDeletionKeepsTheRest)
{
    std::vector<std::wstring> files;
    for (int i = 0; i < 400; ++i)
        files.push_back(make(L"f" + std::to_wstring(i), "x"));
    ui.onPump = [this](RecorderUi&) { run.bAbort = -1; };
    Sleep(20);  // the first file comes after a time slice has passed
    engine.deleteFiles(files);
    ASSERT_FALSE(ui.stopCaptions.empty());
    EXPECT_EQ(ui.stopCaptions.back(), L"Aborted by User");
    EXPECT_TRUE(testenv::exists(files.back()));
    EXPECT_LT(run.lngTotalFiles, 400);
}

TEST_F(DeletionTest, FoldersAreRemovedInGapSortedOrder)
{
    testenv::makeDir(dir.file(L"A\\B"));
    testenv::makeDir(dir.file(L"C"));
    testenv::writeFile(dir.file(L"C\\kept.txt"), "x");
    engine.deleteFolders({dir.file(L"A\\B\\"), dir.file(L"C\\"), dir.file(L"A\\")});
    EXPECT_FALSE(testenv::exists(dir.file(L"A\\B")));
    // A comes before A\B once sorted, so it is still there this time.
    EXPECT_TRUE(testenv::exists(dir.file(L"A")));
    EXPECT_TRUE(testenv::exists(dir.file(L"C\\kept.txt")));
}

TEST(GapSort, OnePassPairPerGap)
{
    std::vector<std::wstring> v = {L"d", L"c", L"b", L"a"};
    ShellSortVariantArray(v, [] {});
    EXPECT_EQ(v, (std::vector<std::wstring>{L"a", L"b", L"c", L"d"}));
    std::vector<std::wstring> folders = {L"C:\\A\\B\\", L"C:\\A\\"};
    ShellSortVariantArray(folders, [] {});
    EXPECT_EQ(folders[0], L"C:\\A\\");
    std::vector<std::wstring> cased = {L"b", L"B"};
    ShellSortVariantArray(cased, [] {});
    EXPECT_EQ(cased[0], L"B") << "character codes, so capitals first";
    std::vector<std::wstring> empty;
    ShellSortVariantArray(empty, [] {});
}

TEST(WipeRandomness, NamesAndBytes)
{
    EXPECT_EQ(randomWipeName(0.527314), L"527.314");
    EXPECT_EQ(randomWipeName(0.5), L"500");
    EXPECT_EQ(randomWipeName(0.0), L"0");
    EXPECT_EQ(randomWipeByte(0.0), 0);
    EXPECT_EQ(randomWipeByte(0.5), 50);
    EXPECT_EQ(randomWipeByte(0.9999), 100);
}

#include "core/Deletion.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "store/BackupArchive.h"
#include "support/Canaries.h"
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

// Another program that reads the file and allows it to be deleted: what the
// wipe wrote can be read back through it once the file's name is gone.
class Reader {
public:
    explicit Reader(const std::wstring& path)
        : m_h(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, 0, nullptr))
    {
    }
    ~Reader() { close(); }
    std::string contents()
    {
        std::string out;
        SetFilePointer(m_h, 0, nullptr, FILE_BEGIN);
        char buf[65536];
        DWORD got = 0;
        while (ReadFile(m_h, buf, sizeof buf, &got, nullptr) && got)
            out.append(buf, got);
        return out;
    }
    void close()
    {
        if (m_h != INVALID_HANDLE_VALUE)
            CloseHandle(m_h);
        m_h = INVALID_HANDLE_VALUE;
    }
    bool ok() const { return m_h != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_h;
};

TEST_F(DeletionTest, WipeOverwritesEveryByteBeforeDeleting)
{
    settings.intDelMethod = kWipe;
    // Large enough that its flush runs beside the caller.
    const std::string content(kWipeFlushAsideBytes + kWipeBlockBytes * 2 + 12345, 'S');
    const auto path = make(L"secret.doc", content);
    Reader reader(path);
    ASSERT_TRUE(reader.ok());
    EXPECT_EQ(engine.deleteOneFile(path), 1);
    const std::string left = reader.contents();
    reader.close();
    EXPECT_FALSE(testenv::exists(path));
    ASSERT_EQ(left.size(), content.size());
    EXPECT_EQ(left.find_first_not_of('\0'), std::string::npos) << "every byte is zero";
}

TEST_F(DeletionTest, ExtraSecurityWritesRandomBytesAndRenameHidesTheName)
{
    settings.intDelMethod = kWipe;
    settings.bytExtraSecurity = 1;
    settings.bytRename = 1;
    const auto path = make(L"secret.doc", std::string(4096, '\xff'));
    Reader reader(path);
    EXPECT_EQ(engine.deleteOneFile(path), 1);
    const std::string left = reader.contents();
    reader.close();
    ASSERT_EQ(left.size(), 4096u);
    for (unsigned char c : left)
        ASSERT_LE(c, 100);
    EXPECT_NE(left.find_first_not_of(left[0]), std::string::npos) << "not one repeated byte";
    // Nothing is left in the folder: the renamed file is gone too.
    WIN32_FIND_DATAW fd;
    HANDLE f = FindFirstFileW((dir.path() + L"\\*").c_str(), &fd);
    int entries = 0;
    do {
        if (std::wstring_view(fd.cFileName) != L"." && std::wstring_view(fd.cFileName) != L"..")
            ++entries;
    } while (FindNextFileW(f, &fd));
    FindClose(f);
    EXPECT_EQ(entries, 0);
}

TEST_F(DeletionTest, WipeOfAHardLinkRemovesOnlyItsNameAndKeepsTheSharedBytes)
{
    // The canary's data has a second name in the cleaned folder: a wipe must
    // not reach through it (the canary check at the end verifies every byte).
    const std::wstring linked = dir.file(L"linked.dat");
    testenv::linkCanaryInto(linked);
    const std::wstring ownCopy = make(L"other.txt", "abc");
    ASSERT_TRUE(CreateHardLinkW(dir.file(L"other-name.txt").c_str(), ownCopy.c_str(), nullptr));
    for (int method : {kWipe, kDelete}) {
        settings.intDelMethod = static_cast<int16_t>(method);
        settings.bytRename = 1;
        const std::wstring name = method == kWipe ? linked : ownCopy;
        EXPECT_EQ(engine.deleteOneFile(name), 1);
        EXPECT_FALSE(testenv::exists(name));
    }
    EXPECT_EQ(testenv::readFile(dir.file(L"other-name.txt")), "abc");
    for (const auto& name : testenv::damagedCanaries())
        ADD_FAILURE() << std::string(name.begin(), name.end());
}

TEST(WipeDecision, SharedOrLinkedDataIsNeverOverwritten)
{
    EXPECT_TRUE(wipeMayOverwrite(FILE_ATTRIBUTE_ARCHIVE, 1, 0));
    EXPECT_TRUE(wipeMayOverwrite(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN, 1, 0));
    EXPECT_FALSE(wipeMayOverwrite(FILE_ATTRIBUTE_ARCHIVE, 2, 0));
    EXPECT_FALSE(wipeMayOverwrite(FILE_ATTRIBUTE_ARCHIVE, 40, 0));
    // Links: overwriting would write into their targets.
    constexpr DWORD reparse = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT;
    EXPECT_FALSE(wipeMayOverwrite(reparse, 1, IO_REPARSE_TAG_SYMLINK));
    EXPECT_FALSE(wipeMayOverwrite(reparse, 1, IO_REPARSE_TAG_MOUNT_POINT));
    EXPECT_FALSE(wipeMayOverwrite(reparse, 1, 0x8000001B)) << "app execution alias";
    EXPECT_FALSE(wipeMayOverwrite(reparse, 1, 0)) << "a tag that could not be read";
    // Compressed (WOF) and deduplicated files hold their own data.
    EXPECT_TRUE(wipeMayOverwrite(reparse, 1, 0x80000017));
    EXPECT_TRUE(wipeMayOverwrite(reparse, 1, 0x80000013));
    EXPECT_FALSE(wipeMayOverwrite(reparse, 2, 0x80000017)) << "hard links still keep their data";
}

// Wine gives files no reparse tags, so the decision is tested as such: only
// real links are links; filters' files are read through; data that is not on
// the disk is never fetched.
TEST(ReparseDecision, OnlyRealLinksAreLinks)
{
    constexpr DWORD reparse = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT;
    constexpr DWORD recallOnData = 0x00400000, recallOnOpen = 0x00040000;
    EXPECT_EQ(reparseKindOf(FILE_ATTRIBUTE_ARCHIVE, 0), ReparseKind::None);
    EXPECT_EQ(reparseKindOf(reparse, IO_REPARSE_TAG_SYMLINK), ReparseKind::Link);
    EXPECT_EQ(reparseKindOf(reparse | FILE_ATTRIBUTE_DIRECTORY, IO_REPARSE_TAG_MOUNT_POINT), ReparseKind::Link);
    EXPECT_EQ(reparseKindOf(reparse, 0x8000001B), ReparseKind::Link);
    EXPECT_EQ(reparseKindOf(reparse, 0x80000017), ReparseKind::ReadThrough) << "WOF / CompactOS";
    EXPECT_EQ(reparseKindOf(reparse, 0x80000013), ReparseKind::ReadThrough) << "deduplication";
    EXPECT_EQ(reparseKindOf(reparse, 0x9000001A), ReparseKind::ReadThrough) << "a cloud file that is on the disk";
    EXPECT_EQ(reparseKindOf(reparse | recallOnData, 0x9000001A), ReparseKind::NotLocal) << "online-only cloud file";
    EXPECT_EQ(reparseKindOf(reparse | recallOnOpen, 0x9000701A), ReparseKind::NotLocal);
    EXPECT_EQ(reparseKindOf(FILE_ATTRIBUTE_OFFLINE, 0), ReparseKind::NotLocal) << "offline storage";
    EXPECT_EQ(reparseKindOf(reparse, 0), ReparseKind::Unknown);
    // The backup method stores and deletes only what a restore can bring
    // back: a link (whose bytes are another file's) stays. Wine's files carry
    // no reparse tags, so the decision is checked here.
    EXPECT_EQ(handOverFor(ReparseKind::Link), HandOver::LinkKept);
    EXPECT_EQ(handOverFor(ReparseKind::NotLocal), HandOver::NotLocal);
    EXPECT_EQ(handOverFor(ReparseKind::Unknown), HandOver::UnknownLink);
    EXPECT_EQ(handOverFor(ReparseKind::None), HandOver::Pending);
    EXPECT_EQ(handOverFor(ReparseKind::ReadThrough), HandOver::Pending);
}

TEST_F(DeletionTest, NoMethodRemovesAFolderGivenAsAFile)
{
    for (int method : {kDelete, kRecycleBin, kWipe, kBackup}) {
        settings.intDelMethod = static_cast<int16_t>(method);
        const std::wstring folder = dir.file(L"folder" + std::to_wstring(method));
        testenv::makeDir(folder);
        testenv::writeFile(folder + L"\\inside.txt", "x");
        EXPECT_EQ(engine.deleteOneFile(folder), 0) << method;
        EXPECT_EQ(testenv::readFile(folder + L"\\inside.txt"), "x") << method;
    }
}

// Every method meets the awkward files the same way: locked ones, read-only
// ones, ones that vanished after the search, names the code page cannot hold,
// paths past MAX_PATH. What goes is counted, what stays sets bLocked.
TEST_F(DeletionTest, AwkwardFilesUnderEveryMethod)
{
    for (int method : {kDelete, kRecycleBin, kWipe}) {
        SCOPED_TRACE(method);
        RunState r;
        RecorderUi u{r};
        DeleteSettings s;
        s.intDelMethod = static_cast<int16_t>(method);
        DeletionEngine e{u, r, s};
        const std::wstring sub = dir.file(L"m" + std::to_wstring(method));
        testenv::makeDir(sub);
        const std::wstring locked = sub + L"\\locked.txt";
        const std::wstring readOnly = sub + L"\\ro.txt";
        const std::wstring foreign = sub + L"\\\u0416\u03a9-\u4e2d.txt";
        std::wstring deep = sub;
        while (deep.size() < 300)
            deep += L"\\" + std::wstring(40, L'd');
        testenv::makeDir(L"\\\\?\\" + deep);
        const std::wstring longName = deep + L"\\long.txt";
        testenv::writeFile(locked, "locked!");
        testenv::writeFile(readOnly, "12");
        SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
        testenv::writeFile(foreign, "123");
        testenv::writeFile(L"\\\\?\\" + longName, "1234");
        HANDLE h = CreateFileW(locked.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        const std::vector<std::wstring> files = {locked, readOnly, sub + L"\\vanished.txt", foreign, longName};
        const std::vector<uint64_t> sizes = {7, 2, 9, 3, 4};
        e.deleteFiles(files, &sizes);
        CloseHandle(h);
        EXPECT_EQ(testenv::readFile(locked), "locked!") << "not a byte of a locked file is overwritten";
        EXPECT_FALSE(testenv::exists(readOnly));
        EXPECT_FALSE(testenv::exists(foreign));
        // The shell may refuse paths past MAX_PATH; whatever stays is not counted.
        const bool longGone = !testenv::exists(L"\\\\?\\" + longName);
        if (method != kRecycleBin) {
            EXPECT_TRUE(longGone);
        }
        EXPECT_EQ(r.lngTotalFiles, longGone ? 3 : 2);
        EXPECT_EQ(r.dblTotalSize, longGone ? 9u : 5u);
        EXPECT_EQ(r.bLocked, -1);
    }
    EmptyRecycleBin(L"", true, true, true);
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

TEST_F(DeletionTest, FoldersThatStayKeepTheirAttributes)
{
    testenv::makeDir(dir.file(L"kept"));
    testenv::writeFile(dir.file(L"kept\\file.txt"), "x");
    SetFileAttributesW(dir.file(L"kept").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    testenv::makeDir(dir.file(L"gone"));
    SetFileAttributesW(dir.file(L"gone").c_str(), FILE_ATTRIBUTE_HIDDEN);
    engine.deleteFolders({dir.file(L"kept\\"), dir.file(L"gone\\")});
    EXPECT_EQ(GetFileAttributesW(dir.file(L"kept").c_str()) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
              static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    EXPECT_FALSE(testenv::exists(dir.file(L"gone"))) << "an empty hidden folder still goes";
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

TEST_F(DeletionTest, NoMethodActsOnAPathThatIsNotAFullLocalPath)
{
    // The current folder holds files of the names a registry value or a
    // moved Browse folder could hand over as relative paths.
    wchar_t saved[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, saved);
    ASSERT_TRUE(SetCurrentDirectoryW(dir.path().c_str()));
    const auto victim = make(L"victim.txt", "the user never chose this");
    make(L"sub\\..\\x", "");
    const std::vector<std::wstring> relative = {L"victim.txt", L".\\victim.txt", L"C:victim.txt",
                                                dir.path().substr(2) + L"\\victim.txt",
                                                dir.path() + L"\\sub\\..\\victim.txt",
                                                dir.path() + L"\\\\victim.txt",
                                                L"\\\\?\\" + dir.path() + L"\\.\\victim.txt",
                                                L"\\\\127.0.0.1\\c$\\victim.txt", dir.path() + L"/victim.txt"};
    for (const int method : {kDelete, kRecycleBin, kWipe, kBackup}) {
        settings.intDelMethod = method;
        settings.strBackupPath = dir.file(L"backups");
        for (const auto& path : relative) {
            run.keptFiles.clear();
            EXPECT_EQ(engine.deleteOneFile(path), 0) << toAnsi(path);
            ASSERT_EQ(run.keptFiles.size(), 1u) << toAnsi(path);
            EXPECT_NE(run.keptFiles[0].find(kNotAFullPath), std::wstring::npos);
            EXPECT_EQ(engine.deletePermanently(path), 0);
            EXPECT_FALSE(engine.backUpCopy(path) && method == kBackup);
        }
        engine.flushBackups();
        EXPECT_TRUE(testenv::exists(victim)) << "method " << method;
    }
    EXPECT_FALSE(DeletionEngine::deleteForGood(L"victim.txt"));
    EXPECT_TRUE(testenv::exists(victim));
    // The full path still goes.
    settings.intDelMethod = kDelete;
    EXPECT_EQ(engine.deleteOneFile(victim), 1);
    EXPECT_EQ(engine.deleteOneFile(L"\\\\?\\" + dir.path() + L"\\x"), 1);
    SetCurrentDirectoryW(saved);
}

// "foo." and "foo " are files of their own: every method acts on the file
// named, never on "foo" beside it, and the backup holds the name as it is.
TEST_F(DeletionTest, ANameEndingInADotOrASpaceIsThatFileUnderEveryMethod)
{
    const std::wstring plain = dir.file(L"foo");
    settings.strBackupPath = dir.file(L"backups");
    for (const int method : {kDelete, kWipe, kBackup, kRecycleBin}) {
        for (const wchar_t* odd : {L"foo.", L"foo "}) {
            SCOPED_TRACE(toAnsi(odd) + " method " + std::to_string(method));
            settings.intDelMethod = method;
            testenv::writeFile(plain, "the file beside it");
            const std::wstring named = dir.file(odd);
            testenv::writeFile(L"\\\\?\\" + named, "the file chosen");
            run.keptFiles.clear();
            const int result = engine.deleteOneFile(named);
            engine.flushBackups();
            EXPECT_EQ(testenv::readFile(plain), "the file beside it");
            if (method == kRecycleBin) {
                EXPECT_EQ(result, 0);
                ASSERT_EQ(run.keptFiles.size(), 1u);
                EXPECT_NE(run.keptFiles[0].find(kNameShellCannotTake), std::wstring::npos);
                EXPECT_EQ(testenv::readFile(L"\\\\?\\" + named), "the file chosen");
                DeleteFileW((L"\\\\?\\" + named).c_str());
            } else {
                EXPECT_EQ(result, 1);
                EXPECT_EQ(GetFileAttributesW((L"\\\\?\\" + named).c_str()), INVALID_FILE_ATTRIBUTES);
            }
        }
    }
    finishBackupArchive();
    const auto archives = testenv::filesIn(dir.file(L"backups"), L"*.zip");
    ASSERT_EQ(archives.size(), 1u);
    cUnZip u;
    u.setZipFile(archives[0]);
    u.Directory();
    ASSERT_EQ(u.FileCount(), 2u);
    EXPECT_EQ(u.entry(1).Filename, L"foo.");
    EXPECT_EQ(u.entry(2).Filename, L"foo ");
    // And they come back under their own names.
    u.UseFolderNames = true;
    u.OverwriteExisting = true;
    EXPECT_TRUE(u.Unzip());
    EXPECT_EQ(testenv::readFile(L"\\\\?\\" + dir.file(L"foo.")), "the file chosen");
    EXPECT_EQ(testenv::readFile(L"\\\\?\\" + dir.file(L"foo ")), "the file chosen");
    EXPECT_EQ(testenv::readFile(plain), "the file beside it");
    DeleteFileW((L"\\\\?\\" + dir.file(L"foo.")).c_str());
    DeleteFileW((L"\\\\?\\" + dir.file(L"foo ")).c_str());
}

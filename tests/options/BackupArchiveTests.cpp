// The backup method end to end on the real file system: archives per drive
// and run, what a failed backup or a stop leaves, restores with every
// overwrite rule, archives of other writers, and damaged or hostile entries.
#include "core/Deletion.h"
#include "options/OverwriteWindow.h"
#include "platform/Registry.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "resource.h"
#include "store/ArchiveTestSupport.h"
#include "store/BackupArchive.h"
#include "store/RegistryUndo.h"
#include "store/Zip.h"
#include "support/RecorderUi.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <thread>

using namespace sorvane;
using namespace testenv;

namespace {

// Archives the interoperability check (unzip -t, 7z t) reads after the suite.
const std::wstring kWritten = L"C:\\sorvane-fixtures\\written";

cUnZip listed(const std::wstring& archive)
{
    cUnZip z;
    z.setZipFile(archive);
    z.Directory();
    return z;
}

void keepForInterop(const std::wstring& archive, const std::wstring& as)
{
    makeDir(kWritten);
    CopyFileW(archive.c_str(), (kWritten + L"\\" + as).c_str(), FALSE);
}

class BackupTest : public ::testing::Test {
protected:
    BackupTest()
    {
        settings.intDelMethod = kBackup;
        settings.strBackupPath = backups.path() + L"\\";
        resetOverwriteAnswer();
    }
    ~BackupTest() override { finishBackupArchive(); }
    void remove(std::vector<std::wstring> files)
    {
        DeletionEngine engine(ui, run, settings);
        engine.deleteFiles(files);
    }

    TempFolder dir;
    TempFolder backups;
    RunState run;
    RecorderUi ui{run};
    DeleteSettings settings;
};

} // namespace

TEST(BackupNames, TimestampBackslashAndStoredNames)
{
    const SYSTEMTIME t{2026, 12, 2, 8, 9, 5, 7, 0};
    EXPECT_EQ(backupArchiveName(L"C:\\Backup\\", L"C_", t), L"C:\\Backup\\C_081220269057.zip");
    EXPECT_EQ(backupArchiveName(L"C:\\Backup", L"D_", t), L"C:\\Backup\\D_081220269057.zip")
        << "a backslash is put between folder and prefix";
    const SYSTEMTIME late{2026, 1, 4, 31, 23, 59, 58, 0};
    EXPECT_EQ(backupArchiveName(L"E:\\b\\", L"E_", late), L"E:\\b\\E_31012026235958.zip");

    EXPECT_EQ(storedNameOf(L"C:\\Users\\me\\a.tmp"), L"Users/me/a.tmp");
    EXPECT_EQ(storedNameOf(L"\\\\?\\D:\\x\\y.bin"), L"x/y.bin");
    EXPECT_EQ(storedNameOf(L"\\\\server\\share\\a.txt"), L"") << "no drive root, no backup";
    EXPECT_TRUE(isSafeStoredName(L"Users/me/a.tmp"));
    EXPECT_TRUE(isSafeStoredName(L"folder/"));
    for (const wchar_t* bad : {L"../evil.txt", L"a/../../evil.txt", L"/abs.txt", L"\\abs.txt", L"C:/x.txt", L"C:x.txt",
                               L"a//b", L"a/./b", L"", L"a/b?.txt"})
        EXPECT_FALSE(isSafeStoredName(bad)) << toAnsi(bad);
}

TEST_F(BackupTest, OneArchivePerDriveAndRunAndEveryFileInIt)
{
    makeDir(dir.file(L"sub"));
    writeFile(dir.file(L"one.tmp"), "one");
    writeFile(dir.file(L"sub\\two.tmp"), "two");
    makeDir(L"D:\\bk");
    writeFile(L"D:\\bk\\three.tmp", "three");
    writeFile(dir.file(L"four.tmp"), "four");
    remove({dir.file(L"one.tmp"), dir.file(L"sub\\two.tmp"), L"D:\\bk\\three.tmp"});
    Sleep(1100);  // a new name for the third archive
    remove({dir.file(L"four.tmp")});
    finishBackupArchive();
    EXPECT_EQ(run.lngBackedUp, 4);
    EXPECT_EQ(run.lngTotalFiles, 4);
    for (const auto& f : {dir.file(L"one.tmp"), dir.file(L"sub\\two.tmp"), std::wstring(L"D:\\bk\\three.tmp")})
        EXPECT_FALSE(exists(f));
    const auto zips = zipsIn(backups.path());
    ASSERT_EQ(zips.size(), 3u) << "C, D and C again";
    int c = 0, d = 0;
    const std::wstring rel = storedNameOf(dir.path());
    for (const auto& z : zips) {
        const std::wstring name = z.substr(z.find_last_of(L'\\') + 1);
        cUnZip u = listed(z);
        if (name[0] == L'C') {
            ++c;
            ASSERT_TRUE(u.FileCount() == 2 || u.FileCount() == 1);
            EXPECT_EQ(u.entry(1).FileDirectory, replaceAll(rel, L"/", L"\\"));
            if (u.FileCount() == 2) {
                EXPECT_EQ(u.entry(1).Filename, L"one.tmp");
                EXPECT_EQ(u.entry(2).FileDirectory, replaceAll(rel, L"/", L"\\") + L"\\sub");
            }
        } else {
            ++d;
            ASSERT_EQ(u.FileCount(), 1u);
            EXPECT_EQ(u.entry(1).FileDirectory, L"bk");
            EXPECT_EQ(u.entry(1).FileSize, 5u);
        }
        EXPECT_FALSE(u.recovered());
        keepForInterop(z, L"run-" + name);
    }
    EXPECT_EQ(c, 2);
    EXPECT_EQ(d, 1);
    RemoveDirectoryW(L"D:\\bk");
}

// An archive is only ever written when this run made it: a name taken (by
// an earlier run in the same second, whose hour or second lacks its leading
// zero, or by anything else) gets a number instead.
TEST_F(BackupTest, AnArchiveIsNeverWrittenIntoTwiceAndNoUndoFileReplacesAnother)
{
    writeFile(dir.file(L"a.tmp"), "a");
    writeFile(dir.file(L"b.tmp"), "b");
    nameBackupArchive(settings.strBackupPath, L"C_");
    ASSERT_TRUE(addToBackupArchive(dir.file(L"a.tmp")));
    const std::wstring first = currentBackupArchive();
    finishBackupArchive();
    const std::string earlier = readFile(first);
    // The next run, as if in the same second: the name is taken.
    nameBackupArchive(settings.strBackupPath, L"C_");
    const std::wstring named = currentBackupArchive();
    if (named != first)
        MoveFileW(first.c_str(), named.c_str());
    ASSERT_TRUE(addToBackupArchive(dir.file(L"b.tmp")));
    EXPECT_EQ(currentBackupArchive(), numberedName(named, 2));
    finishBackupArchive();
    EXPECT_TRUE(readFile(named) == earlier) << "the earlier run's archive is untouched";
    cUnZip u = listed(numberedName(named, 2));
    ASSERT_EQ(u.FileCount(), 1u);
    EXPECT_EQ(u.entry(1).Filename, L"b.tmp");

    // Undo files: every name of this second and the next two taken up to
    // "(150)"; the next one still gets a name of its own.
    SYSTEMTIME now;
    GetLocalTime(&now);
    FILETIME ft;
    SystemTimeToFileTime(&now, &ft);
    for (int second = 0; second < 3; ++second) {
        ULARGE_INTEGER t{{ft.dwLowDateTime, ft.dwHighDateTime}};
        t.QuadPart += 10000000ull * static_cast<unsigned>(second);
        FILETIME at{t.LowPart, t.HighPart};
        SYSTEMTIME st;
        FileTimeToSystemTime(&at, &st);
        const std::wstring base = registryBackupName(backups.path(), L"frmTest", st);
        writeFile(base, "taken");
        for (int n = 2; n <= 150; ++n)
            writeFile(numberedName(base, n), "taken");
    }
    TestKey k;
    k.setString(L"", L"v", L"x");
    const RegBackup backup =
        backUpAndDeleteRegistry(L"frmTest", {{HKEY_CURRENT_USER, k.path(), RegItem::Value, L"v"}}, backups.path());
    ASSERT_FALSE(backup.file.empty());
    EXPECT_NE(backup.file.find(L" (151).reg"), std::wstring::npos) << toAnsi(backup.file);
    EXPECT_EQ(filesIn(backups.path(), L"*.reg").size(), 3u * 150 + 1);
    for (const auto& f : filesIn(backups.path(), L"*.reg")) {
        if (f != backup.file) {
            EXPECT_EQ(readFile(f), "taken") << toAnsi(f);
        }
    }
}

TEST_F(BackupTest, AFailedBackupLeavesTheFileInPlace)
{
    writeFile(dir.file(L"locked.tmp"), "locked");
    HANDLE lock = CreateFileW(dir.file(L"locked.tmp").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    remove({dir.file(L"locked.tmp")});
    CloseHandle(lock);
    EXPECT_TRUE(exists(dir.file(L"locked.tmp")));
    EXPECT_EQ(run.lngBackedUp, 0);
    EXPECT_EQ(run.lngTotalFiles, 0);
    EXPECT_TRUE(run.bLocked);

    // A backup folder that cannot be made: the file is not deleted unsaved.
    writeFile(dir.file(L"plainfile"), "x");
    settings.strBackupPath = dir.file(L"plainfile") + L"\\Backup\\";
    run.reset();
    writeFile(dir.file(L"kept.tmp"), "kept");
    SetFileAttributesW(dir.file(L"kept.tmp").c_str(), FILE_ATTRIBUTE_READONLY);
    remove({dir.file(L"kept.tmp")});
    EXPECT_EQ(readFile(dir.file(L"kept.tmp")), "kept");
    EXPECT_EQ(GetFileAttributesW(dir.file(L"kept.tmp").c_str()) & FILE_ATTRIBUTE_READONLY,
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY))
        << "its attributes are as they were";
    EXPECT_EQ(run.lngTotalFiles, 0);
    SetFileAttributesW(dir.file(L"kept.tmp").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(BackupTest, StopKeepsTheArchiveOfTheFilesAlreadyRemoved)
{
    std::vector<std::wstring> files;
    constexpr int kCount = 600;
    for (int i = 0; i < kCount; ++i) {
        files.push_back(dir.file(L"f" + std::to_wstring(i) + L".tmp"));
        writeFile(files.back(), std::string(100, static_cast<char>('a' + i % 26)));
    }
    // The deletion loop polls the message loop once per time slice: Stop
    // at the third poll, some way into the list.
    int seen = 0;
    ui.onPump = [&](RecorderUi&) {
        if (++seen == 3)
            run.bAbort = -1;
    };
    DeletionEngine engine(ui, run, settings);
    engine.deleteFiles(files);
    ASSERT_TRUE(run.bAbort);
    const auto zips = zipsIn(backups.path());
    ASSERT_EQ(zips.size(), 1u) << "the archive of a stopped run stays";
    cUnZip u = listed(zips[0]);
    const auto gone = std::count_if(files.begin(), files.end(), [](const auto& f) { return !exists(f); });
    EXPECT_GT(gone, 0);
    EXPECT_LT(gone, kCount);
    EXPECT_EQ(u.FileCount(), static_cast<size_t>(gone)) << "every removed file is in it";
    EXPECT_FALSE(u.recovered());
    u.UseFolderNames = true;
    ASSERT_TRUE(u.Unzip());
    for (const auto& f : files)
        EXPECT_TRUE(exists(f));

    // A stop before anything was stored leaves no empty archive behind.
    DeleteFileW(zips[0].c_str());
    run.reset();
    nameBackupArchive(settings.strBackupPath, L"C_");
    EXPECT_FALSE(discardBackupArchive());
    EXPECT_TRUE(zipsIn(backups.path()).empty());
}

TEST_F(BackupTest, RoundTripRestoresEveryByteTimeAndFolder)
{
    struct File {
        std::wstring rel;
        std::string bytes;
        DWORD attributes;  // as set; the file system may add the archive mark
    };
    const std::vector<File> files = {
        {L"empty.dat", "", FILE_ATTRIBUTE_ARCHIVE},
        {L"a\\b\\text.txt", std::string(50000, 't'), FILE_ATTRIBUTE_ARCHIVE},
        {L"a\\noise.bin", randomBytes(70000, 1), FILE_ATTRIBUTE_ARCHIVE},
        {L"a\\b\\c\\large.bin", randomBytes(5 << 20, 2) + std::string(1 << 20, 'z'), FILE_ATTRIBUTE_ARCHIVE},
        {L"\u0416\u043e\u0440\u0430 \u03a9.txt", "outside the code page", FILE_ATTRIBUTE_ARCHIVE},
        {L"hidden.sys", "hs", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY},
    };
    std::vector<std::wstring> paths;
    std::vector<DWORD> attributes;
    for (const auto& f : files) {
        const std::wstring p = dir.file(f.rel);
        makeDir(p.substr(0, p.find_last_of(L'\\')));
        writeFile(p, f.bytes);
        setWriteTime(p, 2019, 7, 14, 10);
        SetFileAttributesW(p.c_str(), f.attributes);
        paths.push_back(p);
        attributes.push_back(GetFileAttributesW(p.c_str()));
    }
    FILETIME expected{};
    {
        WIN32_FILE_ATTRIBUTE_DATA d{};
        GetFileAttributesExW(paths[1].c_str(), GetFileExInfoStandard, &d);
        expected = d.ftLastWriteTime;
    }
    remove(paths);
    finishBackupArchive();
    for (const auto& p : paths)
        ASSERT_FALSE(exists(p));
    const auto zips = zipsIn(backups.path());
    ASSERT_EQ(zips.size(), 1u);
    keepForInterop(zips[0], L"roundtrip.zip");
    cUnZip u = listed(zips[0]);
    ASSERT_EQ(u.FileCount(), files.size());
    EXPECT_EQ(u.entry(4).FileSize, files[3].bytes.size());
    EXPECT_EQ(u.entry(4).FileCompressionMethod, L"Deflated");
    EXPECT_EQ(u.entry(3).FileCompressionMethod, L"Stored") << "what deflate cannot shrink is stored";
    EXPECT_EQ(u.entry(5).Filename, files[4].rel);
    EXPECT_EQ(u.entry(2).FileDate.wYear, 2019);
    EXPECT_EQ(u.entry(2).FileDate.wSecond, 0);
    u.UseFolderNames = true;
    ASSERT_TRUE(u.Unzip());
    EXPECT_EQ(u.extractedCount(), files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(readFile(paths[i]), files[i].bytes) << toAnsi(files[i].rel);
        EXPECT_EQ(GetFileAttributesW(paths[i].c_str()), attributes[i]) << toAnsi(files[i].rel);
    }
    WIN32_FILE_ATTRIBUTE_DATA d{};
    GetFileAttributesExW(paths[1].c_str(), GetFileExInfoStandard, &d);
    EXPECT_EQ(CompareFileTime(&d.ftLastWriteTime, &expected), 0) << "the exact last-write time comes back";
    SetFileAttributesW(paths.back().c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(BackupTest, ForcedZip64RecordsAreReadBack)
{
    writeFile(dir.file(L"small.txt"), "zip64 on a small file");
    const std::wstring archive = backups.file(L"C_zip64.zip");
    {
        zip::Writer w;
        w.forceZip64(true);
        ASSERT_TRUE(w.open(archive));
        HANDLE h = CreateFileW(dir.file(L"small.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                               nullptr);
        zip::SourceInfo info;
        zip::sourceInfo(h, info);
        ASSERT_TRUE(w.add(h, L"forced/small.txt", info));
        CloseHandle(h);
        ASSERT_TRUE(w.close());
    }
    keepForInterop(archive, L"zip64-forced.zip");
    cUnZip u = listed(archive);
    ASSERT_EQ(u.FileCount(), 1u);
    EXPECT_EQ(u.entry(1).FileSize, 21u);
    EXPECT_FALSE(u.recovered());
}

namespace {

// An archive of three files under D:\restore, restored over copies that exist.
class RestoreTest : public BackupTest {
protected:
    RestoreTest()
    {
        makeDir(L"D:\\restore");
        for (const wchar_t* n : {L"1.txt", L"2.txt", L"3.txt"}) {
            writeFile(L"D:\\restore\\" + std::wstring(n), "archived");
            setWriteTime(L"D:\\restore\\" + std::wstring(n), 2020, 1, 1);
        }
        remove({L"D:\\restore\\1.txt", L"D:\\restore\\2.txt", L"D:\\restore\\3.txt"});
        finishBackupArchive();
        archive = zipsIn(backups.path()).at(0);
    }
    ~RestoreTest() override { removeTree(L"D:\\restore"); }
    void existing()
    {
        for (const wchar_t* n : {L"1.txt", L"2.txt", L"3.txt"})
            writeFile(L"D:\\restore\\" + std::wstring(n), "current");
    }
    std::string contents()
    {
        std::string s;
        for (const wchar_t* n : {L"1.txt", L"2.txt", L"3.txt"})
            s += readFile(L"D:\\restore\\" + std::wstring(n)) == "archived" ? 'A' : 'c';
        return s;
    }
    bool restore(const std::function<void(cUnZip&)>& set)
    {
        resetOverwriteAnswer();
        cUnZip u = listed(archive);
        u.UseFolderNames = true;
        set(u);
        return u.Unzip();
    }
    std::wstring archive;
    std::vector<std::wstring> prompts;
};

} // namespace

TEST_F(RestoreTest, AlwaysNeverAndNewer)
{
    existing();
    restore([](cUnZip&) {});
    EXPECT_EQ(contents(), "ccc") << "without a switch nothing existing is overwritten";
    restore([](cUnZip& u) { u.OverwriteExisting = true; });
    EXPECT_EQ(contents(), "AAA");
    existing();
    setWriteTime(L"D:\\restore\\1.txt", 2010, 1, 1);  // older than the archived copy
    restore([](cUnZip& u) { u.ExtractOnlyNewer = true; });
    EXPECT_EQ(contents(), "Acc");
    DeleteFileW(L"D:\\restore\\2.txt");
    EXPECT_TRUE(restore([](cUnZip&) {})) << "a missing file is always put back";
    EXPECT_EQ(contents(), "AAc");
}

TEST_F(RestoreTest, PromptWithYesToAllNoToAllAndCancel)
{
    const auto prompted = [&](std::vector<int32_t> answers) {
        return [this, answers](cUnZip& u) mutable {
            u.PromptToOverwrite = true;
            u.OverWritePrompt = [this, answers](const std::wstring& file) mutable {
                prompts.push_back(file);
                const int32_t a = answers.front();
                if (answers.size() > 1)
                    answers.erase(answers.begin());
                return a;
            };
        };
    };
    existing();
    restore(prompted({kOverwriteNo, kOverwriteAll}));
    EXPECT_EQ(contents(), "cAA");
    EXPECT_EQ(prompts.size(), 2u) << "after Yes to all nobody is asked";
    EXPECT_EQ(prompts[0], L"D:\\restore\\1.txt");
    prompts.clear();
    existing();
    restore(prompted({kOverwriteYes, kOverwriteNone}));
    EXPECT_EQ(contents(), "Acc");
    EXPECT_EQ(prompts.size(), 2u);
    prompts.clear();
    existing();
    // Cancel in the window is "none of the remaining files".
    restore(prompted({overwriteAnswer(2, true)}));
    EXPECT_EQ(contents(), "ccc");
    EXPECT_EQ(prompts.size(), 1u);
    EXPECT_EQ(overwriteAnswer(6, true), kOverwriteAll);
    EXPECT_EQ(overwriteAnswer(6, false), kOverwriteYes);
    EXPECT_EQ(overwriteAnswer(7, true), kOverwriteNone);
    EXPECT_EQ(overwriteAnswer(7, false), kOverwriteNo);
}

TEST(OverwriteWindow, TheQuestionAndItsButtons)
{
    const auto answer = [](int button, bool all) {
        std::wstring caption;
        std::thread clicker([&] {
            HWND w = nullptr;
            for (int i = 0; i < 200 && !w; ++i, Sleep(25))
                w = FindWindowW(nullptr, L"Sorvane - Overwrite Confirmation");
            if (!w)
                return;
            wchar_t text[512] = {};
            GetDlgItemTextW(w, IDC_lblCaption, text, 512);
            caption = text;
            if (all)
                SendDlgItemMessageW(w, IDC_chkAllFiles, BM_SETCHECK, BST_CHECKED, 0);
            PostMessageW(w, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
        });
        const int32_t a = askOverwrite(GetModuleHandleW(nullptr), nullptr, L"D:\\x.txt");
        clicker.join();
        EXPECT_EQ(caption, L"Do you want to overwrite the existing copy of D:\\x.txt?");
        return a;
    };
    EXPECT_EQ(answer(IDC_cmdYes, true), kOverwriteAll);
    EXPECT_EQ(answer(IDC_cmdNo, false), kOverwriteNo);
    EXPECT_EQ(answer(IDC_ow_cmdCancel, false), kOverwriteNone);
}

TEST_F(BackupTest, HostileAndDamagedEntriesAreListedButNeverWritten)
{
    makeDir(L"D:\\hostile");
    writeFile(dir.file(L"good.txt"), "good");
    writeFile(dir.file(L"noise.bin"), randomBytes(3000, 7));  // stored: its bytes can be damaged
    const std::wstring archive = backups.file(L"D_hostile.zip");
    {
        zip::Writer w;
        ASSERT_TRUE(w.open(archive));
        const auto add = [&](const std::wstring& file, const std::wstring& name) {
            HANDLE h = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
            zip::SourceInfo info;
            zip::sourceInfo(h, info);
            EXPECT_TRUE(w.add(h, name, info));
            CloseHandle(h);
        };
        add(dir.file(L"good.txt"), L"hostile/good.txt");
        add(dir.file(L"good.txt"), L"../evil.txt");
        add(dir.file(L"good.txt"), L"C:/evil.txt");
        add(dir.file(L"good.txt"), L"/evil2.txt");
        add(dir.file(L"noise.bin"), L"hostile/damaged.bin");
        add(dir.file(L"good.txt"), L"hostile/locked.txt");
        ASSERT_TRUE(w.close());
    }
    // Damage one entry's data and mark another encrypted, in both headers.
    std::string bytes = readFile(archive);
    const zip::Listing l = zip::list(archive);
    ASSERT_EQ(l.entries.size(), 6u);
    const size_t damaged = static_cast<size_t>(l.entries[4].localOffset) + 30 + 19 + 36 + 100;
    bytes[damaged] = static_cast<char>(bytes[damaged] ^ 0x55);
    const size_t local = static_cast<size_t>(l.entries[5].localOffset);
    bytes[local + 6] = static_cast<char>(bytes[local + 6] | 1);
    const size_t central = bytes.rfind("hostile/locked.txt") - 46;
    bytes[central + 8] = static_cast<char>(bytes[central + 8] | 1);
    writeFile(archive, bytes);

    cUnZip u = listed(archive);
    ASSERT_EQ(u.FileCount(), 6u);
    EXPECT_TRUE(u.entry(6).FileEncrypted);
    EXPECT_FALSE(u.entry(1).FileEncrypted);
    u.UseFolderNames = true;
    EXPECT_FALSE(u.Unzip()) << "the restore reports the entries it could not put back";
    EXPECT_EQ(u.extractedCount(), 1u);
    EXPECT_EQ(readFile(L"D:\\hostile\\good.txt"), "good");
    std::vector<std::wstring> failed;
    for (const auto& f : u.failures())
        failed.push_back(f.name);
    EXPECT_EQ(failed, (std::vector<std::wstring>{L"../evil.txt", L"C:/evil.txt", L"/evil2.txt", L"hostile/damaged.bin",
                                                  L"hostile/locked.txt"}));
    for (const wchar_t* never : {L"D:\\evil.txt", L"C:\\evil.txt", L"D:\\evil2.txt", L"D:\\hostile\\damaged.bin",
                                 L"D:\\hostile\\locked.txt", L"C:\\sorvane-fixtures\\evil.txt"})
        EXPECT_FALSE(exists(never)) << toAnsi(never);
    // No half-written copy is left behind.
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(L"D:\\hostile\\*.tmp", &fd);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    if (h != INVALID_HANDLE_VALUE)
        FindClose(h);
    removeTree(L"D:\\hostile");
}

TEST(OtherWriters, InfoZipArchivesListAndRestore)
{
    // Made by Info-ZIP zip on the Linux side before the suite (see the test script).
    const std::wstring fixtures = L"C:\\sorvane-fixtures\\zip";
    if (!exists(fixtures + L"\\D_infozip.zip"))
        GTEST_SKIP() << "no Info-ZIP fixtures";
    cUnZip u = listed(fixtures + L"\\D_infozip.zip");
    ASSERT_GE(u.FileCount(), 3u);
    bool top = false, stored = false, deflated = false;
    for (size_t i = 1; i <= u.FileCount(); ++i) {
        const auto& e = u.entry(i);
        if (e.Filename == L"top.txt") {
            top = true;
            EXPECT_EQ(e.FileDirectory, L"") << "a top-level entry has no folder";
        }
        stored = stored || e.FileCompressionMethod == L"Stored";
        deflated = deflated || e.FileCompressionMethod == L"Deflated";
    }
    EXPECT_TRUE(top);
    EXPECT_TRUE(stored);
    EXPECT_TRUE(deflated);
    removeTree(L"D:\\zipfix");
    DeleteFileW(L"D:\\top.txt");
    u.UseFolderNames = true;
    ASSERT_TRUE(u.Unzip());
    EXPECT_EQ(readFile(L"D:\\top.txt"), readFile(fixtures + L"\\src\\top.txt"));
    EXPECT_EQ(readFile(L"D:\\zipfix\\deep\\big.txt"), readFile(fixtures + L"\\src\\zipfix\\deep\\big.txt"));

    // Written to a pipe, so every entry has a data descriptor.
    cUnZip s = listed(fixtures + L"\\D_streamed.zip");
    ASSERT_GE(s.FileCount(), 2u);
    removeTree(L"D:\\zipfix");
    s.UseFolderNames = true;
    ASSERT_TRUE(s.Unzip());
    EXPECT_EQ(readFile(L"D:\\zipfix\\deep\\big.txt"), readFile(fixtures + L"\\src\\zipfix\\deep\\big.txt"));

    // The same without its central directory: read from the local headers.
    std::string bytes = readFile(fixtures + L"\\D_streamed.zip");
    const size_t cd = bytes.find("PK\x01\x02");
    ASSERT_NE(cd, std::string::npos);
    TempFolder torn;
    writeFile(torn.file(L"D_torn.zip"), bytes.substr(0, cd));
    cUnZip t = listed(torn.file(L"D_torn.zip"));
    EXPECT_TRUE(t.recovered());
    EXPECT_EQ(t.FileCount(), s.FileCount());
    removeTree(L"D:\\zipfix");
    DeleteFileW(L"D:\\top.txt");
}

TEST(KilledRun, EveryMissingFileComesBackFromTheArchive)
{
    ScopedAppFolder app;
    TempFolder victims;
    constexpr int kFiles = 3000;
    for (int i = 0; i < kFiles; ++i)
        writeFile(victims.file(L"v" + std::to_wstring(i) + L".dat"), std::string(4096, static_cast<char>('a' + i % 26)));
    writeFile(app.file(L"Settings.ini"), "[General]\r\nDelMethod=B\r\nStartupClean=1\r\n[Backup]\r\nPath=" +
                                             toAnsi(app.file(L"Backup\\")) + "\r\n");
    writeFile(app.file(L"UDFO.sol"), toAnsi(victims.path()) + "\\\r\n");
    writeFile(app.file(L"checkItems.sol"), "0,1,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,\r\n");
    writeFile(app.file(L"IFI.sol"), "");
    writeFile(app.file(L"IE.sol"), "");
    writeFile(app.file(L"UDIFO.sol"), "");
    int missing = 0;
    {
        SorvaneProcess p(app.path());
        for (int i = 0; i < 2000 && missing < kFiles / 3; ++i, Sleep(10)) {
            missing = 0;
            for (int f = 0; f < kFiles; f += 7)
                missing += !exists(victims.file(L"v" + std::to_wstring(f) + L".dat"));
            missing *= 7;
        }
        TerminateProcess(p.handle(), 9);  // ended hard, half-way
        WaitForSingleObject(p.handle(), 10000);
    }
    std::vector<int> gone;
    for (int i = 0; i < kFiles; ++i)
        if (!exists(victims.file(L"v" + std::to_wstring(i) + L".dat")))
            gone.push_back(i);
    ASSERT_FALSE(gone.empty()) << "the run was ended before it removed anything";
    ASSERT_LT(gone.size(), static_cast<size_t>(kFiles)) << "the run ended before it was killed";
    const auto zips = zipsIn(app.file(L"Backup"));
    ASSERT_EQ(zips.size(), 1u);
    cUnZip u = listed(zips[0]);
    EXPECT_GE(u.FileCount(), gone.size());
    u.UseFolderNames = true;
    u.Unzip();
    for (int i : gone)
        ASSERT_EQ(readFile(victims.file(L"v" + std::to_wstring(i) + L".dat")),
                  std::string(4096, static_cast<char>('a' + i % 26)))
            << "file " << i << (u.recovered() ? " (read from the local headers)" : "");
    std::printf("killed after %zu of %d files; archive %s, %zu entries\n", gone.size(), kFiles,
                u.recovered() ? "without central directory" : "complete", u.FileCount());
}

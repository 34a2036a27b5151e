// The backup method when the archive cannot be written (a full volume), and
// the archives of a run as the user meets them: complete before the log
// window shows, in a folder only the user, Administrators and SYSTEM open.
#include "app/CleanRun.h"
#include "cleaners/Cleaners.h"
#include "core/Deletion.h"
#include "platform/AppFolder.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "store/ArchiveTestSupport.h"
#include "store/BackupArchive.h"
#include "store/ListFiles.h"
#include "store/Zip.h"
#include "support/BrowserProfiles.h"
#include "support/RecorderUi.h"
#include "support/TestEnv.h"

#include <sddl.h>

#include <gtest/gtest.h>

#include <random>

using namespace sorvane;
using namespace testenv;

namespace {

const std::wstring kWritten = L"C:\\sorvane-fixtures\\written";

// Every entry of the archive extracts with its CRC; returns the stored names.
std::vector<std::wstring> verifiedEntries(const std::wstring& archive)
{
    std::vector<std::wstring> names;
    const zip::Listing listing = zip::list(archive);
    EXPECT_TRUE(listing.ok) << "not a zip archive";
    EXPECT_FALSE(listing.recovered) << "the central directory is missing";
    HANDLE a = CreateFileW(archive.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    for (const auto& e : listing.entries) {
        const std::wstring out = L"C:\\sorvane-tests\\verify.tmp";
        HANDLE h = CreateFileW(out.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        EXPECT_EQ(zip::extractTo(a, e, h), zip::Extracted::Ok) << toAnsi(e.name);
        CloseHandle(h);
        DeleteFileW(out.c_str());
        names.push_back(e.name);
    }
    CloseHandle(a);
    return names;
}

size_t occurrences(const std::wstring& text, const std::wstring& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::wstring::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// The small volume the test script mounts (a 512 KiB tmpfs as a drive letter).
std::wstring fullVolume()
{
    wchar_t buf[8] = {};
    if (!GetEnvironmentVariableW(L"SORVANE_FULL_VOLUME", buf, 8))
        return {};
    std::wstring root = std::wstring(buf) + L"\\";
    return GetDriveTypeW(root.c_str()) == DRIVE_NO_ROOT_DIR ? std::wstring() : root;
}

class FullVolume : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fullVolume();
        if (root.empty())
            GTEST_SKIP() << "no small volume mounted (the test script mounts one as root)";
        backup = root + L"Backup";
        removeTree(backup);
        settings.intDelMethod = kBackup;
        settings.strBackupPath = backup + L"\\";
    }
    void TearDown() override
    {
        finishBackupArchive();
        if (!root.empty())
            removeTree(backup);
    }
    std::wstring root, backup;
    TempFolder dir;
    ScopedAppFolder app;
    RunState run;
    RecorderUi ui{run};
    DeleteSettings settings;
};

} // namespace

// Files larger than the free space: every file ends either where it was, or
// deleted with its complete entry in a valid archive. A write that failed is
// never followed by a deletion, and the log says why once.
TEST_F(FullVolume, AFailedArchiveWriteDeletesNothingItDidNotStore)
{
    const std::wstring first = dir.file(L"first.bin"), second = dir.file(L"second.bin"),
                       third = dir.file(L"third.bin"), fourth = dir.file(L"fourth.bin");
    writeFile(first, randomBytes(150 * 1024, 1));
    writeFile(second, randomBytes(200 * 1024, 2));
    writeFile(third, randomBytes(300 * 1024, 3));
    writeFile(fourth, randomBytes(1024, 4));
    {
        DeletionEngine engine(ui, run, settings);
        FileSearch search{ui, run};
        CleanerContext ctx{ui, run, search, engine, [](int) { return false; }};
        engine.deleteFiles({first});
        engine.deleteFiles({second, third});
        // The archive of drive C failed: the rest of that drive stays.
        engine.deleteFiles({fourth});
        appendKeptLines(ctx);
    }
    finishBackupArchive();
    EXPECT_FALSE(exists(first));
    EXPECT_EQ(readFile(second), randomBytes(200 * 1024, 2)) << "its entry was never durable";
    EXPECT_EQ(readFile(third), randomBytes(300 * 1024, 3));
    EXPECT_EQ(readFile(fourth), randomBytes(1024, 4)) << "no file of the failed drive goes";
    EXPECT_EQ(run.lngBackedUp, 1);
    EXPECT_EQ(run.lngTotalFiles, 1) << "only what was really deleted counts";
    EXPECT_EQ(run.dblTotalSize, 150u * 1024);
    EXPECT_FALSE(run.bLocked) << "nothing was locked: the backup failed, and the log says so";
    EXPECT_EQ(occurrences(run.strLog, L"Backup failed: "), 1u) << toAnsi(run.strLog);
    const auto archives = zipsIn(backup);
    ASSERT_EQ(archives.size(), 1u);
    EXPECT_EQ(verifiedEntries(archives[0]), std::vector<std::wstring>{storedNameOf(first)});
    makeDir(kWritten);
    CopyFileW(archives[0].c_str(), (kWritten + L"\\full_volume.zip").c_str(), FALSE);
}

// A cookie store cleaned in place with a kept site, its original bound for a
// volume with too little room: the copy must be on the disk before a row
// goes, so the store stays whole and the log says the backup failed.
TEST_F(FullVolume, ACookieStoreIsNeverChangedBeforeItsCopyIsOnTheDisk)
{
    TempFolder local(TempFolder::Where::Profile), roaming(TempFolder::Where::Profile), empty;
    ScopedShellFolder localFolder(L"Local AppData", local.path().c_str());
    ScopedShellFolder roamingFolder(L"AppData", roaming.path().c_str());
    ScopedShellFolder ieCookies(L"Cookies", empty.path().c_str());
    const std::wstring store = local.file(L"Google\\Chrome\\User Data\\Default\\Network\\Cookies");
    makeDir(local.file(L"Google\\Chrome\\User Data\\Default\\Network"));
    std::mt19937 rng(11);
    std::vector<std::string> hosts = {".kept.example"};
    for (int i = 0; i < 3000; ++i) {
        std::string host = ".s" + std::to_string(i) + "-";
        for (int c = 0; c < 60; ++c)
            host += static_cast<char>('a' + rng() % 26);
        hosts.push_back(host + ".example");
    }
    makeChromiumCookies(store, hosts);
    const std::string before = readFile(store);
    saveKeptCookies(appFile(L"cookies.sol"), {{L"", L"kept.example"}});
    // Room for less than the store's compressed copy.
    ULARGE_INTEGER room{};
    ASSERT_TRUE(GetDiskFreeSpaceExW(root.c_str(), &room, nullptr, nullptr));
    ASSERT_GT(room.QuadPart, 64u * 1024);
    writeFile(root + L"filler", std::string(static_cast<size_t>(room.QuadPart - 48 * 1024), 'f'));
    {
        FileSearch search{ui, run};
        DeletionEngine engine(ui, run, settings);
        CleanerContext ctx{ui, run, search, engine, [](int) { return true; }};
        runCleaner(ctx, 12, false);
    }
    const std::wstring failure = finishBackupArchive();
    DeleteFileW((root + L"filler").c_str());
    EXPECT_TRUE(readFile(store) == before) << "no row went without its copy on the disk";
    EXPECT_NE(run.strLog.find(L"Left " + store + L" as it was: its original could not be stored in the backup archive"),
              std::wstring::npos)
        << toAnsi(run.strLog);
    EXPECT_EQ(occurrences(run.strLog, L"Backup failed: "), 1u) << toAnsi(run.strLog);
    EXPECT_EQ(run.strLog.find(L"removed"), std::wstring::npos) << "no count of rows that stayed";
    for (const auto& archive : zipsIn(backup))
        EXPECT_TRUE(verifiedEntries(archive).empty()) << "an archive holds only whole entries";
}

TEST_F(FullVolume, AnArchiveThatGotNothingIsNotLeftBehind)
{
    const std::wstring big = dir.file(L"big.bin");
    writeFile(big, randomBytes(700 * 1024, 5));
    {
        DeletionEngine engine(ui, run, settings);
        engine.deleteFiles({big});
    }
    finishBackupArchive();
    EXPECT_EQ(readFile(big), randomBytes(700 * 1024, 5));
    EXPECT_TRUE(zipsIn(backup).empty());
    EXPECT_EQ(run.lngTotalFiles, 0);
    EXPECT_FALSE(run.backupFailure.empty());
}

// The same through a whole clean run: the log tells the truth, and the
// archive is valid the moment the log window shows.
TEST_F(FullVolume, TheRunsLogSaysWhatWasBackedUpAndWhatFailed)
{
    std::wstring list = L"0\r\n";
    for (int i = 0; i < 3; ++i) {
        const std::wstring f = dir.file(L"file" + std::to_wstring(i) + L".bin");
        writeFile(f, randomBytes(220 * 1024, 10 + i));
        list += f + L"\r\n";
    }
    writeFile(app.file(L"UDFI.sol"), toAnsi(list));
    ui.checked = {3};
    FileSearch search{ui, run};
    clearIgnoreLists(search);
    CleanRun clean{ui, run, search, settings};
    clean.fullRun();
    ASSERT_EQ(ui.logs.size(), 1u);
    const std::wstring& log = ui.logs[0];
    EXPECT_EQ(occurrences(log, L"Backup failed: "), 1u) << toAnsi(log);
    int stayed = 0;
    for (int i = 0; i < 3; ++i)
        stayed += exists(dir.file(L"file" + std::to_wstring(i) + L".bin")) ? 1 : 0;
    EXPECT_GT(stayed, 0);
    const auto archives = zipsIn(backup);
    ASSERT_LE(archives.size(), 1u);
    const size_t stored = archives.empty() ? 0 : verifiedEntries(archives[0]).size();
    EXPECT_EQ(stored + static_cast<size_t>(stayed), 3u) << "each file is either in place or in the archive";
    EXPECT_NE(log.find(L"Cleaned User Defined Files.... Files Deleted " + std::to_wstring(stored) + L" "),
              std::wstring::npos)
        << toAnsi(log);
    if (stored > 0)
        EXPECT_NE(log.find(L"Backed Up " + std::to_wstring(stored) + L" files(s)"), std::wstring::npos);
    else
        EXPECT_EQ(log.find(L"Backed Up"), std::wstring::npos);
}

namespace {

// Copies every archive of the backup folder at the moment the log shows.
class SnapshotAtLog : public RecorderUi {
public:
    SnapshotAtLog(RunState& run, std::wstring folder) : RecorderUi(run), m_folder(std::move(folder)) {}
    void showLog(const std::wstring& text) override
    {
        for (const auto& a : zipsIn(m_folder)) {
            snapshots.push_back(verifiedEntries(a).size());
            CopyFileW(a.c_str(), (kWritten + L"\\at_log_" + fileNameOf(a)).c_str(), FALSE);
        }
        RecorderUi::showLog(text);
    }
    std::vector<size_t> snapshots;

private:
    std::wstring m_folder;
};

} // namespace

TEST(BackupRun, EveryArchiveIsCompleteBeforeTheLogShows)
{
    ScopedAppFolder app;
    TempFolder dir, backups;
    makeDir(kWritten);
    std::wstring list = L"0\r\n";
    for (int i = 0; i < 3; ++i) {
        const std::wstring f = dir.file(L"note" + std::to_wstring(i) + L".txt");
        writeFile(f, "note " + std::to_string(i));
        list += f + L"\r\n";
    }
    writeFile(app.file(L"UDFI.sol"), toAnsi(list));
    RunState run;
    SnapshotAtLog ui(run, backups.path());
    ui.checked = {3};
    FileSearch search{ui, run};
    clearIgnoreLists(search);
    DeleteSettings settings;
    settings.intDelMethod = kBackup;
    settings.strBackupPath = backups.path() + L"\\";
    CleanRun clean{ui, run, search, settings};
    clean.fullRun();
    ASSERT_EQ(ui.logs.size(), 1u);
    EXPECT_EQ(ui.snapshots, std::vector<size_t>{3}) << "one archive, readable with its three entries";
    EXPECT_NE(ui.logs[0].find(L"Backed Up 3 files(s)"), std::wstring::npos);
}

// Wine keeps no access lists of its own on files (it answers from the Unix
// mode bits), so the list is checked as the descriptor the folder is made
// with, and the folder as made by the run.
TEST(BackupFolder, OnlyAdministratorsAndSystemWriteAndTheUserReads)
{
    const std::wstring sddl = privateFolderSddl();
    PSECURITY_DESCRIPTOR sd = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &sd, nullptr))
        << toAnsi(sddl);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(sd, &control, &revision);
    EXPECT_TRUE(control & SE_DACL_PROTECTED) << "nothing inherited from the folder above";
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted) && present && dacl);
    ASSERT_EQ(dacl->AceCount, 3);

    // The running user may read, Administrators and SYSTEM have full
    // access; the archives inside inherit it.
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    std::vector<unsigned char> user(256);
    DWORD size = 0;
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, user.data(), static_cast<DWORD>(user.size()), &size));
    CloseHandle(token);
    std::vector<unsigned char> admins(SECURITY_MAX_SID_SIZE), system(SECURITY_MAX_SID_SIZE);
    DWORD n = SECURITY_MAX_SID_SIZE;
    CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins.data(), &n);
    n = SECURITY_MAX_SID_SIZE;
    CreateWellKnownSid(WinLocalSystemSid, nullptr, system.data(), &n);
    const PSID expected[] = {reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, admins.data(), system.data()};
    for (DWORD i = 0; i < 3; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
        EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        EXPECT_EQ(ace->Header.AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE),
                  OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
        EXPECT_EQ(ace->Mask, static_cast<ACCESS_MASK>(i == 0 ? FILE_GENERIC_READ : FILE_ALL_ACCESS)) << i;
        EXPECT_TRUE(EqualSid(&ace->SidStart, expected[i])) << i;
    }
    LocalFree(sd);

    // The backup method makes its folder, and the folders above it.
    TempFolder dir;
    const std::wstring file = dir.file(L"cleaned.txt");
    writeFile(file, "x");
    RunState run;
    RecorderUi ui(run);
    DeleteSettings settings;
    settings.intDelMethod = kBackup;
    settings.strBackupPath = dir.file(L"made\\by\\run") + L"\\";
    {
        DeletionEngine engine(ui, run, settings);
        engine.deleteFiles({file});
    }
    finishBackupArchive();
    EXPECT_EQ(zipsIn(dir.file(L"made\\by\\run")).size(), 1u);
    EXPECT_FALSE(exists(file));
}

// The file explorer on real folders of the test prefix: what a listing
// holds, the mask, and what Delete removes, keeps and refuses.
#include "core/Deletion.h"
#include "core/ProtectedFolders.h"
#include "platform/AppFolder.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "resource.h"
#include "store/StartupSettings.h"
#include "support/PostedCalls.h"
#include "support/TestEnv.h"
#include "tools/Explorer.h"
#include "tools/ExplorerWindow.h"

#include <gtest/gtest.h>

#include <shellapi.h>

#include <algorithm>
#include <set>

using namespace sorvane;
using namespace testenv;

namespace {

std::set<std::wstring> names(const std::vector<ExplorerFile>& files)
{
    std::set<std::wstring> out;
    for (const auto& f : files)
        out.insert(f.name);
    return out;
}

// What the Recycle Bin holds, as Wine keeps it: the entries of the desktop's trash.
std::set<std::wstring> trashEntries()
{
    wchar_t trash[MAX_PATH] = {};
    GetEnvironmentVariableW(L"XDG_DATA_HOME", trash, MAX_PATH);
    std::wstring files = L"\\\\?\\unix" + std::wstring(trash) + L"/Trash/files";
    std::replace(files.begin(), files.end(), L'/', L'\\');
    std::set<std::wstring> out;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((files + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return out;
    do {
        if (wcscmp(fd.cFileName, L".") && wcscmp(fd.cFileName, L".."))
            out.insert(files + L"\\" + fd.cFileName);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return out;
}

// A window driven from its own message loop; its boxes answered Yes.
class ExplorerTest : public ::testing::Test {
protected:
    ExplorerTest() { useBackupFolder(backups.path()); }
    void useBackupFolder(const std::wstring& folder)
    {
        writeFile(app.file(L"Settings.ini"), "[Backup]\r\nPath=" + toAnsi(folder) + "\\\r\n");
    }
    void run(std::function<void()> script)
    {
        w.setAsk([this](HWND, const std::wstring& text, unsigned) {
            asked.push_back(text);
            return IDYES;
        });
        // The script starts once loading is over (loading lets the queue run).
        w.onLoaded = [this, script = std::move(script)] {
            calls.post([this, script] {
                script();
                PostMessageW(w.hwnd(), WM_COMMAND, IDCANCEL, 0);
            });
        };
        w.show(GetModuleHandleW(nullptr), nullptr);
    }
    void command(int id) { SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(id, 0), 0); }
    std::wstring folder(const std::wstring& sub = L"") const { return dir.path() + L"\\" + sub + (sub.empty() ? L"" : L"\\"); }
    std::set<std::wstring> listed() const
    {
        std::set<std::wstring> out;
        for (size_t i = 0; i < w.fileCount(); ++i)
            out.insert(w.file(i).name);
        return out;
    }

    ScopedAppFolder app;
    TempFolder backups;
    TempFolder dir;
    PostedCalls calls;
    ExplorerWindow w;
    std::vector<std::wstring> asked;
};

} // namespace

TEST(ExplorerListing, FilesOfOneFolderWithTheirColumns)
{
    TempFolder dir;
    writeFile(dir.file(L"notes.txt"), "hello");
    writeFile(dir.file(L"a long file name.log"), "x");
    makeDir(dir.file(L"folder.txt"));
    makeDir(dir.file(L"sub"));
    writeFile(dir.file(L"sub\\deep.txt"), "y");
    SetFileAttributesW(dir.file(L"notes.txt").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                                           FILE_ATTRIBUTE_ARCHIVE);
    // 3 GiB without writing them: past both the signed and the unsigned 32 bits.
    {
        HANDLE h = CreateFileW(dir.file(L"big.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        LARGE_INTEGER at;
        at.QuadPart = 3LL << 30;
        ASSERT_TRUE(SetFilePointerEx(h, at, nullptr, FILE_BEGIN));
        ASSERT_TRUE(SetEndOfFile(h));
        CloseHandle(h);
    }
    const std::wstring path = dir.path() + L"\\";

    std::vector<ExplorerFile> all;
    ASSERT_TRUE(folderFiles(path, L"*.*", all, nullptr));
    EXPECT_EQ(names(all), (std::set<std::wstring>{L"notes.txt", L"a long file name.log", L"big.bin"}))
        << "files only, and none of a subfolder";
    for (const auto& f : all) {
        if (f.name == L"big.bin") {
            EXPECT_EQ(explorerCell(f, 1), L"3221225472");
            EXPECT_EQ(explorerCell(f, 3), L"A");
        }
        if (f.name == L"notes.txt") {
            EXPECT_EQ(explorerCell(f, 1), L"5");
            EXPECT_EQ(explorerCell(f, 3), L"RAH");
            EXPECT_EQ(explorerCell(f, 4), L"") << "an 8.3 name has no other";
        }
        if (f.name == L"a long file name.log") {
            EXPECT_FALSE(explorerCell(f, 4).empty());
            EXPECT_NE(explorerCell(f, 4).find(L'~'), std::wstring::npos);
        }
        // "mm/dd/yyyy h:nn:ss AM/PM"
        const std::wstring modified = explorerCell(f, 2);
        EXPECT_EQ(modified[2], L'/');
        EXPECT_EQ(modified[5], L'/');
        EXPECT_TRUE(modified.ends_with(L"AM") || modified.ends_with(L"PM")) << modified;
    }

    std::vector<ExplorerFile> txt;
    folderFiles(path, L"*.txt", txt, nullptr);
    EXPECT_EQ(names(txt), std::set<std::wstring>{L"notes.txt"});
    EXPECT_EQ(subfolderNames(path, nullptr).size(), 2u) << "folders are not filtered by the mask";

    // A mask that reaches into another folder would list files whose names
    // Delete then joins to this one.
    for (const wchar_t* mask : {L"..\\*.*", L"sub\\*.txt", L"C:*", L"sub/*", L""}) {
        std::vector<ExplorerFile> none;
        EXPECT_TRUE(folderFiles(path, mask, none, nullptr));
        EXPECT_TRUE(none.empty()) << toAnsi(mask);
    }
    std::vector<ExplorerFile> gone;
    EXPECT_FALSE(folderFiles(path + L"missing\\", L"*.*", gone, nullptr));
    EXPECT_TRUE(subfolderNames(path + L"missing\\", nullptr).empty());

    SetFileAttributesW(dir.file(L"notes.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(ExplorerListing, DrivesAndTheSystemDrive)
{
    const std::wstring list(L"A:\\\0C:\\\0D:\\\0\0", 13);
    const auto roots = driveRoots(list);
    ASSERT_EQ(roots, (std::vector<std::wstring>{L"A:\\", L"C:\\", L"D:\\"}));
    EXPECT_EQ(systemDriveIndex(roots, L"d:\\WINDOWS"), 2u);
    EXPECT_EQ(systemDriveIndex(roots, L"Q:\\Windows"), 0u);
    EXPECT_EQ(explorerStatus(3, 0), L"3 file(s)  0 folder(s)");
}

TEST_F(ExplorerTest, OpensOnTheSystemDriveAndAppliesTheMaskWithEnter)
{
    for (const wchar_t* f : {L"one.txt", L"two.TXT", L"three.log"})
        writeFile(dir.file(f), "x");
    makeDir(dir.file(L"a"));
    makeDir(dir.file(L"b"));
    makeDir(dir.file(L"a\\inner"));
    run([&] {
        wchar_t drive[16] = {};
        GetDlgItemTextW(w.hwnd(), IDC_cmbDrives, drive, 16);
        EXPECT_EQ(toLower(drive), toLower(getWinDir().substr(0, 3)));
        EXPECT_EQ(w.selectedKey(), std::wstring(drive));
        ASSERT_FALSE(w.childKeys(drive).empty());
        EXPECT_EQ(toLower(w.childKeys(drive).front().substr(0, 3)), toLower(drive));

        ASSERT_TRUE(w.showFolder(folder()));
        EXPECT_EQ(w.selectedKey(), folder());
        EXPECT_EQ(listed(), (std::set<std::wstring>{L"one.txt", L"two.TXT", L"three.log"}));
        EXPECT_EQ(w.status(), L"3 file(s)  2 folder(s)");

        SetDlgItemTextW(w.hwnd(), IDC_txtMask, L"*.txt");
        SetFocus(w.item(IDC_txtMask));
        command(IDOK);
        EXPECT_EQ(w.fileMask, L"*.txt");
        EXPECT_EQ(listed(), (std::set<std::wstring>{L"one.txt", L"two.TXT"}));
        EXPECT_EQ(w.status(), L"2 file(s)  2 folder(s)") << "subfolders are not masked";

        // Opening a folder again, or the tree again, adds nothing twice.
        const auto before = w.childKeys(folder());
        ASSERT_EQ(before, (std::vector<std::wstring>{folder(L"a"), folder(L"b")}));
        EXPECT_EQ(w.childKeys(folder(L"a")), std::vector<std::wstring>{folder(L"a\\inner")}) << "one level ahead";
        ASSERT_TRUE(w.showFolder(folder(L"a")));
        ASSERT_TRUE(w.showFolder(folder()));
        EXPECT_EQ(w.childKeys(folder()), before);
        EXPECT_EQ(w.childKeys(folder(L"a")), std::vector<std::wstring>{folder(L"a\\inner")});
    });
}

TEST_F(ExplorerTest, DeleteFileRemovesTheCheckedAndKeepsTheReadOnly)
{
    for (const wchar_t* f : {L"a.tmp", L"b.tmp", L"c.tmp", L"d.tmp"})
        writeFile(dir.file(f), "x");
    SetFileAttributesW(dir.file(L"b.tmp").c_str(), FILE_ATTRIBUTE_READONLY);
    run([&] {
        ASSERT_TRUE(w.showFolder(folder()));
        ASSERT_EQ(w.fileCount(), 4u);
        // File menu and Select menu follow the selection.
        HMENU bar = GetMenu(w.hwnd());
        SendMessageW(w.hwnd(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(GetSubMenu(bar, 0)), 0);
        EXPECT_TRUE(GetMenuState(bar, IDM_mnuDeleteFile, MF_BYCOMMAND) & MF_GRAYED) << "no row selected";
        EXPECT_FALSE(GetMenuState(bar, IDM_mnuExplorerExit, MF_BYCOMMAND) & MF_GRAYED);
        SendMessageW(w.hwnd(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(GetSubMenu(bar, 2)), 0);
        EXPECT_FALSE(GetMenuState(bar, IDM_ex_mnuSelectAll, MF_BYCOMMAND) & MF_GRAYED);
        EXPECT_TRUE(GetMenuState(bar, IDM_mnuInvertSelection, MF_BYCOMMAND) & MF_GRAYED);
        ListView_SetItemState(w.listView(), 0, LVIS_SELECTED, LVIS_SELECTED);
        SendMessageW(w.hwnd(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(GetSubMenu(bar, 0)), 0);
        EXPECT_FALSE(GetMenuState(bar, IDM_mnuDeleteFile, MF_BYCOMMAND) & MF_GRAYED);

        command(IDM_ex_mnuSelectAll);
        for (size_t i = 0; i < w.fileCount(); ++i)
            if (w.file(i).name == L"d.tmp")
                w.setChecked(i, false);
        command(IDM_mnuDeleteFile);
        EXPECT_EQ(listed(), (std::set<std::wstring>{L"b.tmp", L"d.tmp"}));
    });
    EXPECT_EQ(asked, (std::vector<std::wstring>{L"Are you sure you want to delete checked files?",
                                                L"FIle cannot be deleted."}));
    EXPECT_FALSE(exists(dir.file(L"a.tmp")));
    EXPECT_FALSE(exists(dir.file(L"c.tmp")));
    EXPECT_TRUE(exists(dir.file(L"b.tmp")));
    EXPECT_TRUE(exists(dir.file(L"d.tmp")));
    EXPECT_EQ(GetFileAttributesW(dir.file(L"b.tmp").c_str()) & FILE_ATTRIBUTE_READONLY,
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    SetFileAttributesW(dir.file(L"b.tmp").c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Icons come from a thread of their own: the rows show at once, every row's
// icon arrives while the window serves its messages, and after a delete the
// rows that moved up carry their own file's icon, not their old neighbour's.
TEST_F(ExplorerTest, IconsArriveFromTheirThreadAndFollowTheRows)
{
    for (const wchar_t* f : {L"a.txt", L"b.sorvnoicon", L"c.txt", L"d.bmp"})
        writeFile(dir.file(f), "x");
    const auto iconOfType = [](const wchar_t* name) {
        SHFILEINFOW info{};
        SHGetFileInfoW(name, FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                       SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES);
        return info.iIcon;
    };
    const auto waitForIcons = [&] {
        for (int i = 0; i < 500 && w.iconsKnown() < w.fileCount(); ++i) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&msg);
            Sleep(10);
        }
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    };
    run([&] {
        ASSERT_TRUE(w.showFolder(folder()));
        ASSERT_EQ(w.fileCount(), 4u);
        waitForIcons();
        for (size_t i = 0; i < w.fileCount(); ++i)
            EXPECT_EQ(w.iconOf(i), iconOfType(w.file(i).name.c_str())) << w.file(i).name;
        for (size_t i = 0; i < w.fileCount(); ++i)
            w.setChecked(i, w.file(i).name == L"a.txt");
        command(IDM_mnuDeleteFile);
        ASSERT_EQ(w.fileCount(), 3u);
        waitForIcons();
        for (size_t i = 0; i < w.fileCount(); ++i)
            EXPECT_EQ(w.iconOf(i), iconOfType(w.file(i).name.c_str())) << w.file(i).name;
    });
}

TEST_F(ExplorerTest, DeleteFolderRecyclesButNeverARootOrAProtectedFolder)
{
    makeDir(dir.file(L"old\\inside"));
    writeFile(dir.file(L"old\\inside\\file.txt"), "keep me recoverable");
    makeDir(dir.file(L"keep\\backups"));
    useBackupFolder(dir.file(L"keep\\backups"));
    int64_t bytes = 0, before = 0, after = 0;
    QueryRecycleBin(L"", bytes, before);
    const auto trashed = trashEntries();
    run([&] {
        const std::wstring root = w.selectedKey();
        ASSERT_EQ(root.size(), 3u);
        command(IDM_mnuDeleteFolder);
        EXPECT_TRUE(asked.empty()) << "nothing asked, nothing done on a drive's root";
        EXPECT_EQ(w.selectedKey(), root);

        ASSERT_TRUE(w.showFolder(folder(L"keep")));
        command(IDM_mnuDeleteFolder);
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_TRUE(asked[0].starts_with(L"Folder can not be deleted")) << "it holds the backup folder";
        EXPECT_EQ(w.selectedKey(), folder(L"keep"));

        ASSERT_TRUE(w.showFolder(folder(L"old")));
        command(IDM_mnuDeleteFolder);
        EXPECT_EQ(asked.size(), 1u) << "no question before a folder goes";
        EXPECT_EQ(w.childKeys(folder()), std::vector<std::wstring>{folder(L"keep")});
        EXPECT_EQ(w.selectedKey().empty(), false);
    });
    EXPECT_FALSE(exists(dir.file(L"old")));
    EXPECT_TRUE(exists(dir.file(L"keep\\backups")));
    QueryRecycleBin(L"", bytes, after);
    EXPECT_GT(after, before) << "the folder is in the Recycle Bin";
    const auto binned = trashEntries();
    ASSERT_EQ(binned.size(), trashed.size() + 1);
    for (const auto& entry : binned) {
        if (trashed.count(entry))
            continue;
        EXPECT_EQ(readFile(entry + L"\\inside\\file.txt"), "keep me recoverable");
        // Wine empties the bin of files only: the folder goes by hand.
        EmptyRecycleBin(L"", true, true, true);
        removeTree(entry);
    }
}

TEST(ExplorerRecycle, ProtectedFoldersAndWhatHoldsThemStay)
{
    TempFolder dir;
    makeDir(dir.file(L"app\\bin"));
    const ProtectedFolders guard({dir.file(L"app\\bin")});
    for (const std::wstring& f : {dir.file(L"app\\bin"), dir.file(L"app"), dir.path(), std::wstring(L"C:\\"),
                                  std::wstring(L"C:")}) {
        EXPECT_EQ(DeletionEngine::recycleFolder(f, guard), FolderRecycle::Protected) << toAnsi(f);
    }
    EXPECT_TRUE(exists(dir.file(L"app\\bin")));
    EXPECT_EQ(DeletionEngine::recycleFolder(dir.file(L"missing"), guard), FolderRecycle::Failed);
}

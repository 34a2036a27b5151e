// The review window driven for real: rows from the cleaners, commands posted
// to the window, clicks on its check boxes, and what it leaves in the log.
#include "cleaners/ReviewFixture.h"

#include "core/Deletion.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "resource.h"

#include <shellapi.h>

using namespace sorvane;
using namespace testenv;


TEST_F(ReviewTest, DeleteAllRemovesEveryFileItCanAndGoesOnPastAVanishedOne)
{
    addFile(L"a.tmp", 1);
    addFile(L"vanished.tmp", 10);
    addFile(L"\u0416\u043e\u0440\u0430.tmp", 2);  // a name outside the code page
    addFile(L"c.tmp", 3);
    ui.script = [&](ReviewWindow& w) {
        then([&] {
            EXPECT_EQ(rowCount(), 4);
            EXPECT_EQ(label(), L"Total Files 4");
            DeleteFileW(dir.file(L"vanished.tmp").c_str());  // gone while the window is open
        });
        postCommand(w, IDC_cmdDeleteAll);
        then([&] {
            ASSERT_EQ(rowCount(), 1) << "only the row whose file vanished stays";
            EXPECT_EQ(cellText(list(), 0, 0), L"vanished.tmp");
            EXPECT_FALSE(rowChecked(list(), 0));
            EXPECT_EQ(label(), L"Deleted 3 files Space gained 6 Bytes");
        });
        postCommand(w, IDM_del_mnuExit);
    };
    show();
    EXPECT_EQ(ui.asked, (std::vector<std::wstring>{L"Are you sure you want to delete selected file?"}));
    EXPECT_FALSE(exists(dir.file(L"a.tmp")));
    EXPECT_FALSE(exists(dir.file(L"\u0416\u043e\u0440\u0430.tmp")));
    EXPECT_FALSE(exists(dir.file(L"c.tmp")));
    EXPECT_EQ(run.lngTotalFiles, 3);
    EXPECT_EQ(run.dblTotalSize, 6u);
    EXPECT_EQ(run.strLog, L"Cleaned Empty\\Unnecessary\\Dead Shortcut Files....  Files Deleted 3 Space Gained 6 Bytes\r\n");
    EXPECT_EQ(ui.window(), nullptr) << "the window is gone once closed";
}

TEST_F(ReviewTest, DeleteAllAnsweredNoDeletesNothing)
{
    addFile(L"a.tmp", 1);
    ui.answers = {IDNO};
    ui.script = [&](ReviewWindow& w) {
        postCommand(w, IDM_mnuDeleteAll);
        then([&] { EXPECT_EQ(rowCount(), 1); });
        PostMessageW(w.hwnd(), WM_CLOSE, 0, 0);
    };
    show();
    EXPECT_TRUE(exists(dir.file(L"a.tmp")));
    EXPECT_EQ(run.strLog, L"Cleaned Empty\\Unnecessary\\Dead Shortcut Files....  Files Deleted 0 Space Gained 0 Bytes\r\n")
        << "the close box writes the line with nothing deleted";
}

TEST_F(ReviewTest, DeleteCheckedAsksForATickThenTellsOfALockedFileAndTwoCommandsAreSummed)
{
    addFile(L"one.tmp", 5);
    addFile(L"locked.tmp", 7);
    addFile(L"three.tmp", 11);
    addFile(L"four.tmp", 13);
    HANDLE lock = INVALID_HANDLE_VALUE;
    ui.script = [&](ReviewWindow& w) {
        postCommand(w, IDC_cmdDeleteChecked);
        then([&] {
            EXPECT_EQ(ui.asked, (std::vector<std::wstring>{L"Please check atleast one item to delete."}));
            EXPECT_EQ(rowCount(), 4);
            clickCheckBox(list(), 0);
            clickCheckBox(list(), 1);
            EXPECT_TRUE(rowChecked(list(), 0));
            EXPECT_TRUE(rowChecked(list(), 1));
            EXPECT_FALSE(rowChecked(list(), 2));
            lock = CreateFileW(dir.file(L"locked.tmp").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(lock, INVALID_HANDLE_VALUE);
            ui.asked.clear();
        });
        postCommand(w, IDM_mnuDeleteSelected);
        then([&] {
            EXPECT_EQ(ui.asked, (std::vector<std::wstring>{
                                    L"Are you sure you want to delete checked files?",
                                    L"The file: \r\n" + dir.file(L"locked.tmp") + L"\r\n\r\n cannot be deleted."}));
            ASSERT_EQ(rowCount(), 3);
            EXPECT_EQ(cellText(list(), 0, 0), L"locked.tmp");
            EXPECT_FALSE(rowChecked(list(), 0)) << "a file that could not go stays, unticked";
            EXPECT_EQ(label(), L"Deleted 1 files Space gained 5 Bytes");
            CloseHandle(lock);
        });
        postCommand(w, IDC_del_cmdSelectAll);
        postCommand(w, IDC_cmdDeleteChecked);
        then([&] { EXPECT_EQ(rowCount(), 0); });
        PostMessageW(w.hwnd(), WM_CLOSE, 0, 0);
    };
    show();
    EXPECT_FALSE(exists(dir.file(L"locked.tmp")));
    EXPECT_EQ(run.strLog,
              L"Cleaned Empty\\Unnecessary\\Dead Shortcut Files....  Files Deleted 4 Space Gained 36 Bytes\r\n");
    EXPECT_EQ(run.lngTotalFiles, 4);
}

TEST_F(ReviewTest, ChecksByMouseKeyboardAndTheSelectCommands)
{
    for (const wchar_t* n : {L"1.tmp", L"2.tmp", L"3.tmp", L"4.tmp"})
        addFile(n, 1);
    const auto ticks = [&] {
        std::wstring s;
        for (int i = 0; i < rowCount(); ++i)
            s += rowChecked(list(), i) ? L'x' : L'.';
        return s;
    };
    ui.script = [&](ReviewWindow& w) {
        then([&] {
            clickCheckBox(list(), 0);
            clickCheckBox(list(), 2);
            EXPECT_EQ(ticks(), L"x.x.");
        });
        postCommand(w, IDM_mnuInvertSecletion);
        then([&] {
            EXPECT_EQ(ticks(), L".x.x");
            ListView_SetItemState(list(), 0, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
            SendMessageW(list(), WM_KEYDOWN, VK_SPACE, 0);
            EXPECT_EQ(ticks(), L"xx.x") << "space ticks the focused row";
        });
        postCommand(w, IDM_mnuDeselectAll);
        then([&] { EXPECT_EQ(ticks(), L"...."); });
        postCommand(w, IDM_mnuSelectAll);
        then([&] {
            EXPECT_EQ(ticks(), L"xxxx");
            EXPECT_EQ(cellText(list(), 3, 4), dir.path() + L"\\");
            // Renaming in place is refused.
            EXPECT_FALSE(GetWindowLongPtrW(list(), GWL_STYLE) & LVS_EDITLABELS);
            EXPECT_EQ(ListView_EditLabel(list(), 0), nullptr);
        });
        postCommand(w, IDC_del_cmdExit);
    };
    show();
    for (const wchar_t* n : {L"1.tmp", L"2.tmp", L"3.tmp", L"4.tmp"})
        EXPECT_TRUE(exists(dir.file(n))) << "ticking deletes nothing";
    EXPECT_EQ(run.strLog, L"Cleaned Empty\\Unnecessary\\Dead Shortcut Files....  Files Deleted 0 Space Gained 0 Bytes\r\n");
}

TEST_F(ReviewTest, RowsShowTheirTypesIconFrom64BitSizes)
{
    addFile(L"notes.txt", 1);
    addFile(L"more.txt", 2);
    writeFile(dir.file(L"tool.exe"), "MZ");
    ui.addReviewRow(ReviewRow{L"tool.exe", 2, L"", L"A", dir.path() + L"\\"});
    ui.addReviewRow(ReviewRow{L"big.iso", 5368709120ull, L"", L"", dir.path() + L"\\"});
    ui.script = [&](ReviewWindow& w) {
        then([&] {
            SHFILEINFOW info{};
            const auto system = reinterpret_cast<HIMAGELIST>(SHGetFileInfoW(
                dir.file(L"notes.txt").c_str(), 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
            EXPECT_EQ(ListView_GetImageList(list(), LVSIL_SMALL), system) << "the system's own list, shared";
            for (int i = 0; i < 3; ++i) {
                LVITEMW item{};
                item.mask = LVIF_IMAGE;
                item.iItem = i;
                ASSERT_TRUE(ListView_GetItem(list(), &item));
                const std::wstring path = dir.path() + L"\\" + cellText(list(), i, 0);
                SHGetFileInfoW(path.c_str(), 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
                EXPECT_EQ(item.iImage, info.iIcon) << "row " << i;
            }
            EXPECT_EQ(cellText(list(), 3, 1), L"5368709120");
        });
        PostMessageW(w.hwnd(), WM_CLOSE, 0, 0);
    };
    show();
}

TEST_F(ReviewTest, MaximisedColumnsFitTheirContents)
{
    addFile(L"a-rather-long-file-name-that-needs-a-wide-column.tmp", 1);
    ui.script = [&](ReviewWindow& w) {
        then([&] {
            const int before = ListView_GetColumnWidth(list(), 0);
            ShowWindow(ui.window()->hwnd(), SW_MAXIMIZE);
            EXPECT_GT(ListView_GetColumnWidth(list(), 0), before);
            RECT client, lv;
            GetClientRect(ui.window()->hwnd(), &client);
            GetWindowRect(list(), &lv);
            EXPECT_GT(lv.right - lv.left, client.right * 9 / 10) << "the list follows the window";
        });
        PostMessageW(w.hwnd(), WM_CLOSE, 0, 0);
    };
    show();
}

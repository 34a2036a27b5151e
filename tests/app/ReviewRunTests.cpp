// The review window inside a whole clean run: the drive-wide categories
// gather their rows, one window shows them, and Abort ends the run.
#include "app/CleanRun.h"
#include "cleaners/ReviewFixture.h"
#include "resource.h"

#include <algorithm>

using namespace sorvane;
using namespace testenv;

namespace {

// The whole run: Empty files and Unnecessary files ticked, Dead shortcuts not,
// Cache after them in run order.
class ReviewRunTest : public ReviewTest {
protected:
    ReviewRunTest()
    {
        makeDir(L"D:\\review");
        writeFile(L"D:\\review\\empty.dat", "");
        writeFile(L"D:\\review\\left.tmp", "xx");
        writeFile(app.file(L"search.sol"), "D:\\ Hard drive;\r\n0 0\r\n0\r\n\r\n0 0 0\r\n");
        search.loadOptions();
        search.setUnnecessaryPatterns({L"*.TMP"});
        ui.checked = {kStoreEmpty, kStoreUnnecessary, kStoreCache};
    }
    ~ReviewRunTest() override
    {
        DeleteFileW(L"D:\\review\\empty.dat");
        DeleteFileW(L"D:\\review\\left.tmp");
        RemoveDirectoryW(L"D:\\review");
    }
    static constexpr int kStoreUnnecessary = 4, kStoreEmpty = 5, kStoreCache = 11;
    CleanRun cleanRun{ui, run, search, settings};
};

} // namespace

TEST_F(ReviewRunTest, OneWindowAfterTheLastReviewSearchHoldsBothKindsOfRows)
{
    int shownWith = -1;
    ui.script = [&](ReviewWindow& w) {
        then([&] {
            shownWith = rowCount();
            EXPECT_EQ(cellText(list(), 0, 0), L"empty.dat");
            EXPECT_EQ(cellText(list(), 1, 0), L"left.tmp");
        });
        postCommand(w, IDC_cmdDeleteAll);
        postCommand(w, IDC_del_cmdExit);
    };
    cleanRun.fullRun();
    EXPECT_EQ(ui.reviewShown, 1);
    EXPECT_EQ(shownWith, 2);
    EXPECT_FALSE(exists(L"D:\\review\\left.tmp"));
    ASSERT_EQ(ui.logs.size(), 1u);
    EXPECT_NE(ui.logs[0].find(L"Cleaned Empty\\Unnecessary\\Dead Shortcut Files....  Files Deleted 2 Space Gained 2 Bytes\r\n"),
              std::wstring::npos);
    EXPECT_NE(std::find(ui.started.begin(), ui.started.end(), kStoreCache), ui.started.end());
}

TEST_F(ReviewRunTest, AbortCleanWritesNoLineAndEndsTheRun)
{
    ui.script = [&](ReviewWindow& w) { postCommand(w, IDM_mnuAbort); };
    cleanRun.fullRun();
    EXPECT_EQ(ui.reviewShown, 1);
    EXPECT_TRUE(ui.logs.empty()) << "an aborted run shows no log";
    EXPECT_EQ(run.strLog.find(L"Dead Shortcut"), std::wstring::npos);
    EXPECT_EQ(std::find(ui.started.begin(), ui.started.end(), kStoreCache), ui.started.end())
        << "no category runs after the abort";
    EXPECT_EQ(ui.statuses.back(), L"Aborted by user");
    EXPECT_TRUE(exists(L"D:\\review\\left.tmp"));
    EXPECT_FALSE(ui.running) << "the window is idle again";
}

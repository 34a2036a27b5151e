#include "app/CleanRun.h"
#include "core/Categories.h"
#include "platform/Text.h"
#include "support/RecorderUi.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>

using namespace sorvane;
using testenv::RecorderUi;

namespace {

class CleanRunTest : public ::testing::Test {
protected:
    CleanRunTest()
    {
        testenv::clearIgnoreLists(search);
    }
    bool endsWith(const std::wstring& s, const std::wstring& tail) const
    {
        return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
    }
    testenv::ScopedAppFolder app;
    testenv::TempFolder dir;
    RunState run;
    RecorderUi ui{run};
    FileSearch search{ui, run};
    DeleteSettings settings;
    CleanRun clean{ui, run, search, settings};
};


} // namespace

TEST(Summary, TotalsLineSpacingAndRounding)
{
    RunState run;
    run.lngTotalFiles = 3;
    run.dblTotalSize = 1536;
    EXPECT_EQ(summaryTail(run, L'.'), L"\r\n\r\nTotal Files Deleted:  3  Files   Total Space Gained  1.5  KB");
    EXPECT_EQ(summaryTail(run, L','), L"\r\n\r\nTotal Files Deleted:  3  Files   Total Space Gained  1,5  KB");
    EXPECT_EQ(formatKilobytes(0, L'.'), L"0");
    EXPECT_EQ(formatKilobytes(1024, L'.'), L"1");
    EXPECT_EQ(formatKilobytes(128, L'.'), L"0.12") << "0.125 rounds to even";
    EXPECT_EQ(formatKilobytes(384, L'.'), L"0.38") << "0.375 rounds to even";
    EXPECT_EQ(formatKilobytes(1100, L'.'), L"1.07");
    EXPECT_EQ(formatKilobytes(3ull << 30, L'.'), L"3145728");

    run.lngBackedUp = 2;
    run.bLocked = -1;
    EXPECT_EQ(summaryTail(run, L'.'),
              L"\r\n\r\nTotal Files Deleted:  3  Files   Total Space Gained  1.5  KB\r\nBacked Up 2 files(s)"
              L"\r\n\r\nSome files were not deleted because they were locked");
}

TEST_F(CleanRunTest, NothingTickedOnlyAsks)
{
    ui.checkMarks = {3};
    clean.fullRun();
    EXPECT_EQ(ui.messages, std::vector<std::wstring>{L"Please select at least one item to clean."});
    EXPECT_TRUE(ui.checkMarks.empty()) << "the check marks were hidden first";
    EXPECT_TRUE(ui.logs.empty());
    EXPECT_TRUE(ui.started.empty());
}

TEST_F(CleanRunTest, FullRunLogsEachCategoryAndTheTotals)
{
    testenv::writeFile(dir.file(L"a.tmp"), std::string(1000, 'a'));
    testenv::writeFile(dir.file(L"b.tmp"), std::string(536, 'b'));
    testenv::writeFile(dir.file(L"c.tmp"), "");
    testenv::ScopedShellFolder cache(L"Cache", dir.path().c_str());
    testenv::ScopedRegValue typed(HKEY_CURRENT_USER, L"Software\\Microsoft\\Internet Explorer\\TypedURLs", L"url1",
                                  L"http://x.example/");
    ui.checked = {11, 14};
    clean.fullRun();
    ASSERT_EQ(ui.logs.size(), 1u);
    const std::wstring& log = ui.logs[0];
    EXPECT_EQ(log.rfind(L"Sorvane : ", 0), 0u);
    EXPECT_NE(log.find(L"\r\n\r\nCleaned Cache.... Files Deleted 3 Space Gained 1536 Bytes\r\n"
                       L"Cleaned 1 Typed URL History\r\n"),
              std::wstring::npos);
    size_t total = log.find(L"Total Files Deleted:  3  Files   Total Space Gained  1.5  KB");
    if (total == std::wstring::npos)
        total = log.find(L"Total Files Deleted:  3  Files   Total Space Gained  1,5  KB");
    ASSERT_NE(total, std::wstring::npos) << toAnsi(log);
    // Then what the drive got back, as the volume measured it, for the one
    // drive the run removed files on.
    const std::wstring tail = log.substr(log.find(L"\r\n", total));
    unsigned long long before = 0, after = 0;
    long long gained = 0;
    ASSERT_EQ(swscanf(tail.c_str(), L"\r\nFree space on C: %llu -> %llu bytes (%lld gained)", &before, &after, &gained),
              3)
        << toAnsi(tail);
    EXPECT_EQ(static_cast<long long>(after - before), gained);
    EXPECT_GT(before, 0u);
    EXPECT_EQ(tail.find(L"Free space on", 3), std::wstring::npos) << "no other drive was touched";
    EXPECT_TRUE(endsWith(log, L" gained)"));
    EXPECT_EQ(ui.started, (std::vector<int>{11, 14})) << "Cache (turn 15) before Typed URL history (turn 17)";
    EXPECT_EQ(ui.checkMarks, (std::set<int>{11, 14}));
    EXPECT_FALSE(ui.running);
    EXPECT_EQ(ui.animation, 0);
    EXPECT_EQ(ui.statuses.back(), L"Ready");
}

TEST_F(CleanRunTest, RunOrderFollowsTheTurns)
{
    testenv::writeFile(app.file(L"search.sol"), "\r\n");  // the drive-wide cleaners search nothing
    testenv::writeFile(app.file(L"UDFO.sol"), "");
    for (const auto& c : kCategories)
        if (c.store != 0 && c.store != 16)  // leave the bin and the clipboard of the prefix alone
            ui.checked.insert(c.store);
    clean.fullRun();
    std::vector<int> expected;
    for (int store : kRunOrder)
        if (ui.checked.count(store))
            expected.push_back(store);
    EXPECT_EQ(ui.started, expected);
    EXPECT_EQ(ui.logs.size(), 1u);
}

TEST_F(CleanRunTest, StopDuringACategoryEndsTheRunWithoutALog)
{
    for (int i = 0; i < 50; ++i)
        testenv::writeFile(dir.file(L"f" + std::to_wstring(i)), "x");
    testenv::ScopedShellFolder cache(L"Cache", dir.path().c_str());
    ui.checked = {11, 13, 14};
    ui.onPump = [this](RecorderUi&) { run.bAbort = -1; };
    clean.fullRun();
    EXPECT_TRUE(ui.logs.empty());
    EXPECT_EQ(ui.started, std::vector<int>{11}) << "no category after the stopped one";
    EXPECT_TRUE(ui.checkMarks.empty()) << "the stopped category gets no check mark";
    EXPECT_EQ(ui.stopCaptions.back(), L"Aborted by user");
    EXPECT_FALSE(ui.running) << "the run controls are back even without the Stop button";
    EXPECT_EQ(ui.animation, 0);
}

TEST_F(CleanRunTest, FavoritesFromTheMenuAskFirst)
{
    testenv::writeFile(dir.file(L"site.url"), "[InternetShortcut]");
    testenv::ScopedShellFolder favorites(L"Favorites", dir.path().c_str());
    ui.answer = IDCANCEL;
    clean.singleRun(L"Clean Favorites");
    EXPECT_EQ(ui.messages, std::vector<std::wstring>{L"Are you sure you want to delete Favorites?"});
    EXPECT_TRUE(testenv::exists(dir.file(L"site.url")));
    ASSERT_EQ(ui.logs.size(), 1u) << "the log still opens, with zero totals";
    EXPECT_EQ(ui.logs[0].rfind(L"Sorvane Log : ", 0), 0u);
    EXPECT_NE(ui.logs[0].find(L"Total Files Deleted:  0  Files   Total Space Gained  0  KB"), std::wstring::npos);
    EXPECT_EQ(ui.logs[0].find(L"Free space on"), std::wstring::npos) << "a run that removed nothing touched no drive";

    ui.answer = IDOK;
    clean.singleRun(L"Clean Favorites");
    EXPECT_FALSE(testenv::exists(dir.file(L"site.url")));
    EXPECT_NE(ui.logs[1].find(L"Cleaned Favorites.... Files Deleted 1"), std::wstring::npos);
}

TEST_F(CleanRunTest, SingleRunMatchesTheExactCaption)
{
    clean.singleRun(L"clean cache");
    EXPECT_TRUE(ui.started.empty()) << "captions are compared exactly";
    clean.singleRun(L"Clean IE URL History");
    EXPECT_EQ(ui.started, std::vector<int>{14});
    EXPECT_TRUE(ui.checkMarks.empty()) << "no check mark in a single run";
}

// A host whose status line fails at the worst moment: between switching the
// run controls on and off.
class FailingHost : public RecorderUi {
public:
    using RecorderUi::RecorderUi;
    int failuresLeft = 1000;
    void setStatus(const std::wstring& text) override
    {
        if (failuresLeft-- > 0)
            throw std::runtime_error("status line gone");
        RecorderUi::setStatus(text);
    }
    void setCheckMark(int, bool) override { throw std::runtime_error("no picture"); }
};

TEST_F(CleanRunTest, AFailingStepLeavesTheWindowIdleAndTheRunGoesOn)
{
    FailingHost host{run};
    host.checked = {2};  // Run MRU: no files involved
    CleanRun failing{host, run, search, settings};
    failing.fullRun();
    EXPECT_FALSE(host.running) << "Clean enabled, Stop disabled, menus back";
    EXPECT_EQ(host.animation, 0);
    EXPECT_FALSE(failing.running());
    ASSERT_EQ(host.logs.size(), 1u) << "the steps after the failing ones still ran";
    EXPECT_NE(host.logs[0].find(L"Run MRU values"), std::wstring::npos);

    host.logs.clear();
    failing.singleRun(L"Clean Run MRU");
    EXPECT_FALSE(host.running);
    EXPECT_EQ(host.logs.size(), 1u);
}

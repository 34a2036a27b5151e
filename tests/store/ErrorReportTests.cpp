#include "platform/ErrorReport.h"
#include "platform/InetTransfer.h"
#include "platform/ReportQueue.h"
#include "store/Settings.h"
#include "store/StartupSettings.h"
#include "support/LoopbackServer.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>
#include <algorithm>

using namespace sorvane;

namespace {

const std::string kPath = "/error-reporting/error-msg.php?";

// Points the reporter at a loopback server through Settings.ini, as a user would.
class ErrorReportTest : public ::testing::Test {
protected:
    // In a fresh prefix the first request of a test program has been lost
    // inside Wine's HTTP stack (two clean clones of three, with 30 s to
    // arrive). These tests are about what reaches the server, so a plain
    // request warms the stack once before them.
    static void SetUpTestSuite()
    {
        testenv::LoopbackServer warm;
        for (int i = 0; i < 5; ++i) {
            (void)httpGet(warm.baseUrl() + L"/warm", 5000);
            if (warm.waitForRequest(1000))
                return;
        }
    }
    void SetUp() override
    {
        writeSetting(L"Internet", L"VendorSite", server.baseUrl() + L"/");
        loadVendorSite();
        setSystemInfo({L"Microsoft Windows XP", L"5.1.2600", L"Service Pack 2", L"6.0.2900"});
    }
    void TearDown() override
    {
        waitForReports(10000);
        setVendorSite(L"http://127.0.0.1:9");
        gatherSystemInfo();
    }
    testenv::ScopedAppFolder app;
    testenv::LoopbackServer server;
};

} // namespace

TEST(ErrorReportText, OperatingSystemNames)
{
    EXPECT_EQ(osNameFor(1, 4, 0, 950), L"Microsoft Windows 95");
    EXPECT_EQ(osNameFor(1, 4, 10, 1998), L"Microsoft Windows 98");
    EXPECT_EQ(osNameFor(1, 4, 10, 2183), L"Microsoft Windows 98 Second Edition");
    EXPECT_EQ(osNameFor(1, 4, 90, 3000), L"Microsoft Windows Millennium Edition");
    EXPECT_EQ(osNameFor(2, 3, 51, 1057), L"Microsoft Windows NT 3.51");
    EXPECT_EQ(osNameFor(2, 4, 0, 1381), L"Microsoft Windows NT 4.0");
    EXPECT_EQ(osNameFor(2, 5, 0, 2195), L"Microsoft Windows 2000");
    EXPECT_EQ(osNameFor(2, 5, 1, 2600), L"Microsoft Windows XP");
    EXPECT_EQ(osNameFor(2, 5, 2, 3790), L"Microsoft Windows Sever 2003");
    EXPECT_EQ(osNameFor(2, 6, 1, 7601), L"");
    EXPECT_EQ(osNameFor(2, 10, 0, 19045), L"");
}

TEST(ErrorReportText, QueryIsConcatenatedWithoutSeparatorsAfterTheTag)
{
    const SystemInfo xp{L"Microsoft Windows XP", L"5.1.2600", L"S", L"V"};
    EXPECT_EQ(buildReportQuery(xp, L"modFunctions,getPath", 5, L"D"),
              L"Microsoft Windows XP,5.1.2600,S,V,modFunctions,getPath5D");
    EXPECT_EQ(buildReportQuery({}, L"frmMain,Form_Load", 13, L"Type mismatch"), L",,,,frmMain,Form_Load13Type mismatch");
}

TEST(ErrorReportText, UrlEscapesEverythingButPlainCharacters)
{
    EXPECT_EQ(buildReportUrl(L"http://h", L"a b,c&d"), L"http://h/error-reporting/error-msg.php?a%20b,c%26d");
}

TEST(ErrorReportText, SystemInfoOfThisMachine)
{
    gatherSystemInfo();
    // The version text is major.minor.build of the running system.
    const std::wstring v = systemInfo().strOSVersion;
    EXPECT_EQ(std::count(v.begin(), v.end(), L'.'), 2);
}

TEST_F(ErrorReportTest, ReportReachesTheServerWithTagNumberAndDescription)
{
    setPendingError(5, L"Invalid procedure call");
    reportError(L"modFunctions,getPath");
    const auto target = server.waitForRequest(30000);
    ASSERT_TRUE(target.has_value());
    ASSERT_EQ(target->rfind(kPath, 0), 0u) << *target;
    EXPECT_EQ(testenv::percentDecode(target->substr(kPath.size())),
              "Microsoft Windows XP,5.1.2600,Service Pack 2,6.0.2900,modFunctions,getPath5Invalid procedure call");
    EXPECT_EQ(pendingError().number, 0) << "the error state is cleared";
}

TEST_F(ErrorReportTest, NothingIsSentForErrorNumberZero)
{
    clearPendingError();
    reportError(L"frmMain,Form_Load");
    EXPECT_FALSE(server.waitForRequest(1500).has_value());
}

TEST_F(ErrorReportTest, FailingStepIsReportedAndTheNextStepRuns)
{
    bool secondRan = false;
    EXPECT_FALSE(step(L"frmMain,getDelete", [] { raiseError(53, L"File not found"); }));
    EXPECT_TRUE(step(L"frmMain,getDelete", [&] { secondRan = true; }));
    EXPECT_TRUE(secondRan);
    const auto target = server.waitForRequest(30000);
    ASSERT_TRUE(target.has_value());
    EXPECT_NE(testenv::percentDecode(*target).find("frmMain,getDelete53File not found"), std::string::npos);
    EXPECT_FALSE(server.waitForRequest(500).has_value()) << "a step that succeeds reports nothing";
}

TEST_F(ErrorReportTest, TwoReportsInARowBothArrive)
{
    setPendingError(1, L"first");
    reportError(L"a,b");
    setPendingError(2, L"second");
    reportError(L"c,d");
    const auto one = server.waitForRequest(30000);
    const auto two = server.waitForRequest(30000);
    ASSERT_TRUE(one && two);
    EXPECT_NE(testenv::percentDecode(*one).find("a,b1first"), std::string::npos);
    EXPECT_NE(testenv::percentDecode(*two).find("c,d2second"), std::string::npos);
}

TEST_F(ErrorReportTest, UnreachableSiteIsSwallowed)
{
    setVendorSite(L"http://127.0.0.1:9");
    setPendingError(5, L"x");
    reportError(L"modFunctions,getPath");
    EXPECT_EQ(pendingError().number, 0);
}

TEST_F(ErrorReportTest, ServerThatNeverAnswersDoesNotHoldTheCaller)
{
    testenv::LoopbackServer silent(true);
    setVendorSite(silent.baseUrl());
    // One request alone would take its whole time-out (seconds); the caller
    // only queues it.
    const ULONGLONG start = GetTickCount64();
    for (int i = 0; i < 5; ++i) {
        setPendingError(5, L"x");
        reportError(L"modFunctions,wipeFile");
    }
    EXPECT_LT(GetTickCount64() - start, 1000u);
    EXPECT_EQ(pendingError().number, 0);
}

TEST_F(ErrorReportTest, AFullQueueDropsAndCountsFurtherReports)
{
    testenv::LoopbackServer silent(true);
    setVendorSite(silent.baseUrl());
    const size_t droppedBefore = droppedReports();
    for (size_t i = 0; i < kReportQueueCapacity + 20; ++i) {
        setPendingError(5, L"locked");
        reportError(L"modFunctions,wipeFile");
    }
    // The sender holds at most one request; the queue at most its capacity.
    EXPECT_GE(droppedReports() - droppedBefore, 19u);
    EXPECT_LE(droppedReports() - droppedBefore, 20u);
}

TEST_F(ErrorReportTest, BadSettingValuesAreReportedWithTheReadersTag)
{
    writeSetting(L"General", L"AutoClean", L"often");
    (void)readGeneral();
    const auto target = server.waitForRequest(30000);
    ASSERT_TRUE(target.has_value());
    EXPECT_NE(testenv::percentDecode(*target).find(",frmMain,getGeneral13Type mismatch"), std::string::npos);
}

TEST(ErrorReportText, APathOrFileNameLeavesOnlyItsExtension)
{
    EXPECT_EQ(reportableDescription(L"Invalid procedure call"), L"Invalid procedure call");
    EXPECT_EQ(reportableDescription(L"The system cannot find the file specified."),
              L"The system cannot find the file specified.");
    EXPECT_EQ(reportableDescription(L"The file C:\\Users\\bob\\Secret plans.docx is too large to be a list file"),
              L".docx") << "a path with a blank: its extension only";
    EXPECT_EQ(reportableDescription(L"Cannot open \"D:\\data\\salary.xlsx\": access denied"), L".xlsx");
    EXPECT_EQ(reportableDescription(L"bob-diary.txt is locked"), L".txt");
    EXPECT_EQ(reportableDescription(L"\\\\server\\share\\folder is gone"), L"");
    EXPECT_EQ(reportableDescription(L"Error in /home/bob/x"), L"");
}

TEST_F(ErrorReportTest, TurnedOffOrPlainHttpToAnotherMachineSendsNothing)
{
    writeSetting(L"Internet", L"ErrorReports", L"0");
    loadVendorSite();
    EXPECT_FALSE(errorReportsOn());
    setPendingError(5, L"Invalid procedure call");
    reportError(L"modFunctions,getPath");
    EXPECT_FALSE(server.waitForRequest(1500).has_value()) << "turned off";

    writeSetting(L"Internet", L"ErrorReports", L"1");
    testenv::LoopbackServer elsewhere(false, "127.0.0.2");
    writeSetting(L"Internet", L"VendorSite", elsewhere.baseUrl());
    loadVendorSite();
    EXPECT_TRUE(errorReportsOn());
    setPendingError(5, L"Invalid procedure call");
    reportError(L"modFunctions,getPath");
    waitForReports(5000);
    EXPECT_FALSE(elsewhere.waitForRequest(1500).has_value()) << "plain HTTP off this machine";

    // A report carries the extension of a file it names, never the name.
    writeSetting(L"Internet", L"VendorSite", server.baseUrl());
    loadVendorSite();
    setPendingError(53, L"File not found: C:\\Users\\bob\\tax-2026.pdf");
    reportError(L"modFiles,loadIgnoreFiles");
    const auto target = server.waitForRequest(30000);
    ASSERT_TRUE(target.has_value());
    const std::string sent = testenv::percentDecode(target->substr(kPath.size()));
    EXPECT_EQ(sent.substr(sent.size() - 6), "53.pdf") << sent;
    EXPECT_EQ(sent.find("bob"), std::string::npos);
}

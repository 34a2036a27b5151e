// The self-update against a loopback server standing in for the vendor's
// site: the version check, what a download must be, the stages of the next
// starts, and one whole round trip with Sorvane.exe itself.
#include "app/MainWindow.h"
#include "options/Update.h"
#include "platform/AppFolder.h"
#include "platform/ErrorReport.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "resource.h"
#include "store/Settings.h"
#include "support/LoopbackServer.h"
#include "support/TestEnv.h"
#include "support/WindowWatch.h"

#include <gtest/gtest.h>

using namespace sorvane;
using namespace testenv;

namespace {

// The bytes of an executable for this machine: the program's own.
std::string ownExecutable() { return readFile(sorvaneExe()); }

std::wstring updateValue(const wchar_t* name) { return getRegString(HKEY_LOCAL_MACHINE, kUpdateKey, name); }

// The update values of the prefix, put back afterwards; the site is the server.
class UpdateTest : public ::testing::Test {
protected:
    UpdateTest()
    {
        setVendorSite(server.baseUrl());
        setUpdateTimeout(3000);
    }
    ~UpdateTest() override
    {
        setUpdateTimeout(10000);
        loadVendorSite();
    }
    void announce(const std::string& version) { server.route("/qelt.txt", LoopbackServer::response("200 OK", version)); }

    ScopedAppFolder app;
    LoopbackServer server;
    ScopedRegValue ver{HKEY_LOCAL_MACHINE, kUpdateKey, L"ver", L"5"};
    ScopedRegValue up{HKEY_LOCAL_MACHINE, kUpdateKey, L"Up", nullptr};
    ScopedRegValue donreq{HKEY_LOCAL_MACHINE, kUpdateKey, L"donreq", nullptr};
    ScopedRegValue app_{HKEY_LOCAL_MACHINE, kUpdateKey, L"App", nullptr};
    ScopedRegValue newver{HKEY_LOCAL_MACHINE, kUpdateKey, L"newver", nullptr};
    // Wine would hand the completion page to a browser of the host.
    ScopedRegValue browsers{HKEY_CURRENT_USER, L"Software\\Wine\\WineBrowser", L"Browsers", L"sorvane-no-browser"};
};

} // namespace

TEST(UpdateRules, HeadersVersionsExecutablesAndAddresses)
{
    EXPECT_EQ(contentLengthOf(L"HTTP/1.1 200 OK\r\nContent-Length: 1234\r\nServer: x\r\n"), 1234);
    EXPECT_EQ(contentLengthOf(L"HTTP/1.1 200 OK\r\nX-Id: 4041\r\nContent-Length: 1234\r\n"), 0) << "404 anywhere";
    EXPECT_EQ(contentLengthOf(L"HTTP/1.1 200 OK\r\nServer: x\r\n"), 0) << "no length: nothing to fetch";
    EXPECT_EQ(versionNumber("12\r\n"), 12);
    EXPECT_EQ(versionNumber("  7 beta"), 7);
    EXPECT_FALSE(versionNumber("new!").has_value());
    EXPECT_FALSE(versionNumber("99999").has_value()) << "beyond 16 bits";
    EXPECT_TRUE(isWindowsExecutableForThisMachine(ownExecutable()));
    std::string other = ownExecutable();
    uint32_t pe = 0;
    memcpy(&pe, other.data() + 0x3c, 4);
    other[pe + 4] = 0x4c;  // i386
    other[pe + 5] = 0x01;
    EXPECT_FALSE(isWindowsExecutableForThisMachine(other)) << "a program for another processor";
    EXPECT_FALSE(isWindowsExecutableForThisMachine("MZ" + std::string(5000, 'x')));
    EXPECT_FALSE(isWindowsExecutableForThisMachine(std::string(5000, 'x')));
    EXPECT_FALSE(downloadSizeAccepted(1000, 1000)) << "1000 bytes or fewer";
    EXPECT_TRUE(downloadSizeAccepted(1001, 1001));
    EXPECT_FALSE(downloadSizeAccepted(5000, 5001)) << "a byte short of the announced length";
    EXPECT_FALSE(downloadSizeAccepted(5001, 5000));
    EXPECT_FALSE(downloadSizeAccepted(5000, 0)) << "no length announced";
    EXPECT_TRUE(downloadSizeAccepted(kMaxUpdateBytes, kMaxUpdateBytes));
    EXPECT_FALSE(downloadSizeAccepted(kMaxUpdateBytes + 1, kMaxUpdateBytes + 1));
    EXPECT_TRUE(isAllowedUpdateUrl(L"https://example.com/qeltupdate.exe"));
    EXPECT_FALSE(isAllowedUpdateUrl(L"http://example.com/qeltupdate.exe")) << "no plain HTTP off this machine";
    EXPECT_TRUE(isAllowedUpdateUrl(L"http://127.0.0.1:8080/qelt.txt"));
    EXPECT_TRUE(isAllowedUpdateUrl(L"http://localhost/qelt.txt"));
    EXPECT_FALSE(isAllowedUpdateUrl(L"file:///c:/qelt.txt"));
}

TEST_F(UpdateTest, AnnouncedVersionAgainstTheInstalledOne)
{
    Updater u;
    announce("5");
    EXPECT_FALSE(u.checkForUpdate(L"5"));
    EXPECT_EQ(updateValue(L"ver"), L"5") << "equal: nothing changes";
    announce("3");
    EXPECT_FALSE(u.checkForUpdate(L"5"));
    EXPECT_EQ(updateValue(L"ver"), L"3") << "lower: the installed number follows the site";
    announce("not a number");
    EXPECT_FALSE(u.checkForUpdate(L"3"));
    EXPECT_EQ(updateValue(L"ver"), L"3") << "a file without a number lowers nothing";
    announce("8");
    EXPECT_TRUE(u.checkForUpdate(L"3"));
    EXPECT_EQ(u.newVersion(), 8);
    // The connection test asks the vendor's own home page, nothing else.
    std::vector<std::string> asked;
    while (auto r = server.waitForRequest(0))
        asked.push_back(*r);
    for (const auto& r : asked)
        EXPECT_TRUE(r == "/" || r == "/qelt.txt") << r;
    server.route("/qelt.txt", "HTTP/1.0 404 Not Found\r\nContent-Length: 1\r\n\r\n9");
    EXPECT_FALSE(u.checkForUpdate(L"3"));
    server.route("/qelt.txt", "HTTP/1.0 200 OK\r\n\r\n9");
    EXPECT_FALSE(u.checkForUpdate(L"3")) << "no Content-Length";
}

TEST_F(UpdateTest, OnlyAWholeExecutableIsTakenAndSixAttemptsAreMade)
{
    Updater u;
    std::vector<std::wstring> started;
    u.start = [&](const std::wstring& exe) {
        started.push_back(exe);
        return true;
    };
    server.route("/qeltupdate.exe", LoopbackServer::response("200 OK", std::string(1000, 'M')));
    EXPECT_FALSE(u.installUpdate());
    EXPECT_EQ(u.attempts(), 6);
    const std::string text = "MZ" + std::string(4000, 'x');
    server.route("/qeltupdate.exe", LoopbackServer::response("200 OK", text));
    EXPECT_FALSE(u.downloadUpdate()) << "not a program";
    const std::string exe = ownExecutable();
    server.route("/qeltupdate.exe", LoopbackServer::response("200 OK", exe.substr(0, exe.size() - 20), exe.size()));
    EXPECT_FALSE(u.downloadUpdate()) << "shorter than announced";
    EXPECT_FALSE(exists(app.file(L"qelt.exe")));
    EXPECT_TRUE(started.empty());
    EXPECT_EQ(updateValue(L"Up"), L"");

    server.route("/qeltupdate.exe", LoopbackServer::response("200 OK", exe));
    announce("9\r\n" + sha256Hex(exe));
    ASSERT_TRUE(u.checkForUpdate(L"5"));
    EXPECT_TRUE(u.installUpdate());
    EXPECT_FALSE(u.unverified());
    EXPECT_EQ(u.attempts(), 1);
    EXPECT_EQ(readFile(app.file(L"qelt.exe")), exe);
    EXPECT_EQ(started, (std::vector<std::wstring>{app.file(L"qelt.exe")}));
    EXPECT_EQ(updateValue(L"ver"), L"5") << "only the new build, running, is the installed version";
    EXPECT_EQ(updateValue(L"newver"), L"9");
    EXPECT_EQ(updateValue(L"Up"), L"b");
    EXPECT_EQ(updateValue(L"donreq"), L"z");
    EXPECT_FALSE(updateValue(L"App").empty());
}

TEST_F(UpdateTest, SilentServerAndPlainHttpElsewhereAreNoUpdate)
{
    LoopbackServer silent(true);
    setVendorSite(silent.baseUrl());
    const ULONGLONG t0 = GetTickCount64();
    EXPECT_FALSE(isConnected());
    EXPECT_LT(GetTickCount64() - t0, 20000u) << "bounded by the time-outs";
    // Another machine stands at a second loopback address, answering and
    // recording: plain HTTP to it is never asked.
    LoopbackServer elsewhere(false, "127.0.0.2");
    elsewhere.route("/qelt.txt", LoopbackServer::response("200 OK", "9"));
    setVendorSite(elsewhere.baseUrl());
    Updater u;
    EXPECT_FALSE(u.checkForUpdate(L"1"));
    EXPECT_FALSE(elsewhere.waitForRequest(500).has_value()) << "plain HTTP to another machine is never asked";
}

// The last stage: qelt.exe goes, the stage is complete, the notice comes
// only when it was asked for.
TEST_F(UpdateTest, StageCWithAndWithoutTheNotice)
{
    writeFile(app.file(L"qelt.exe"), "old download");
    writeRegString(HKEY_LOCAL_MACHINE, kUpdateKey, L"Up", L"c");
    int notices = 0;
    WindowWatch notice(L"Sorvane", [&](HWND w) {
        ++notices;
        PostMessageW(w, WM_COMMAND, IDOK, 0);
    });
    notice.repeat(true);
    EXPECT_FALSE(finishUpdate());
    EXPECT_EQ(notices, 0) << "no donreq: silent";
    EXPECT_FALSE(exists(app.file(L"qelt.exe")));
    EXPECT_EQ(updateValue(L"Up"), L"a");
    EXPECT_FALSE(regValueExists(HKEY_LOCAL_MACHINE, kUpdateKey, L"donreq"));

    writeRegString(HKEY_LOCAL_MACHINE, kUpdateKey, L"Up", L"c");
    writeRegString(HKEY_LOCAL_MACHINE, kUpdateKey, L"donreq", L"z");
    EXPECT_FALSE(finishUpdate());
    EXPECT_EQ(notices, 1);
    EXPECT_FALSE(regValueExists(HKEY_LOCAL_MACHINE, kUpdateKey, L"donreq"));

    writeRegString(HKEY_LOCAL_MACHINE, kUpdateKey, L"Up", L"x");
    EXPECT_FALSE(finishUpdate()) << "an unknown stage does nothing";
    EXPECT_EQ(updateValue(L"Up"), L"x");
}

// Sorvane.exe checks, downloads the new build, ends; the new build puts
// itself in place, restarts as Sorvane.exe and completes the update.
TEST_F(UpdateTest, WholeRoundTripEndsWithTheNewBuildRunning)
{
    TempFolder folder;
    // The new build: the program with bytes of its own after its image.
    const std::string newBuild = readFile(sorvaneExe()) + std::string(4096, '\0') + "sorvane second build";
    server.route("/qeltupdate.exe", LoopbackServer::response("200 OK", newBuild));
    announce("6\r\n" + sha256Hex(newBuild));
    writeFile(folder.file(L"Settings.ini"), "[Internet]\r\nVendorSite=" + toAnsi(server.baseUrl()) + "\r\n");
    HWND mainWindow = nullptr;
    {
        SorvaneProcess p(folder.path());
        mainWindow = p.waitForMainWindow();
        ASSERT_NE(mainWindow, nullptr);
        PostMessageW(mainWindow, WM_COMMAND, IDM_mnuchkupdate, 0);
        HWND update = p.waitForWindow(L"Sorvane-AutoUpdate", 15000);
        ASSERT_NE(update, nullptr);
        PostMessageW(GetDlgItem(update, IDC_cmdProceed), BM_CLICK, 0, 0);
        EXPECT_EQ(p.waitForExit(30000), 0u) << "the old build ends once the new one is started";
    }
    // The new build runs as qelt.exe, then as Sorvane.exe; the last one
    // says the upgrade is done.
    HWND notice = nullptr;
    HWND newMain = nullptr;
    for (int i = 0; i < 600 && !(newMain && updateValue(L"Up") == L"a"); ++i) {
        Sleep(100);
        if (!notice)
            if ((notice = FindWindowW(L"#32770", L"Sorvane")) != nullptr)
                PostMessageW(notice, WM_COMMAND, IDOK, 0);
        newMain = FindWindowW(kMainWindowClass, nullptr);
    }
    EXPECT_NE(notice, nullptr) << "the completion notice";
    ASSERT_NE(newMain, nullptr);
    EXPECT_EQ(updateValue(L"Up"), L"a");
    EXPECT_EQ(updateValue(L"ver"), L"6");
    EXPECT_EQ(readFile(folder.file(L"Sorvane.exe")), newBuild);
    EXPECT_FALSE(exists(folder.file(L"qelt.exe")));
    DWORD pid = 0;
    GetWindowThreadProcessId(newMain, &pid);
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, pid);
    ASSERT_NE(process, nullptr);
    wchar_t image[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    QueryFullProcessImageNameW(process, 0, image, &size);
    EXPECT_TRUE(iequals(image, folder.file(L"Sorvane.exe"))) << image;
    PostMessageW(newMain, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(process, 15000), WAIT_OBJECT_0);
    CloseHandle(process);
}

TEST(UpdateRules, TheVersionFileIsANumberAndAnOptionalHash)
{
    const std::string hash(64, 'a');
    EXPECT_EQ(parseVersionFile("12")->version, 12);
    EXPECT_EQ(parseVersionFile("12\r\n")->sha256, "");
    const auto both = parseVersionFile("12\r\n" + std::string(64, 'A') + "\r\n");
    ASSERT_TRUE(both.has_value());
    EXPECT_EQ(both->sha256, hash) << "kept in lower case";
    EXPECT_FALSE(parseVersionFile("503 Service Unavailable").has_value()) << "digits first are not a number alone";
    EXPECT_FALSE(parseVersionFile("  7 beta").has_value());
    EXPECT_FALSE(parseVersionFile("").has_value());
    EXPECT_FALSE(parseVersionFile("12\r\nnot a hash").has_value());
    EXPECT_FALSE(parseVersionFile("12\n" + std::string(63, 'a')).has_value());
    EXPECT_EQ(sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

// A hostile or broken vendor site: a redirect to another host, an error
// page starting with digits, a build that is not the one announced.
TEST_F(UpdateTest, RedirectsErrorPagesAndAWrongHashNeverInstall)
{
    LoopbackServer elsewhere(false, "127.0.0.2");
    elsewhere.route("/qelt.txt", LoopbackServer::response("200 OK", "9"));
    elsewhere.route("/qeltupdate.exe", LoopbackServer::response("200 OK", ownExecutable()));
    Updater u;
    std::vector<std::wstring> started;
    u.start = [&](const std::wstring& exe) {
        started.push_back(exe);
        return true;
    };
    // A redirect off the vendor's site is not followed.
    server.route("/qelt.txt", "HTTP/1.1 302 Found\r\nLocation: " + toAnsi(elsewhere.baseUrl()) +
                                  "/qelt.txt\r\nContent-Length: 0\r\n\r\n");
    EXPECT_FALSE(u.checkForUpdate(L"5"));
    server.route("/qeltupdate.exe", "HTTP/1.1 302 Found\r\nLocation: " + toAnsi(elsewhere.baseUrl()) +
                                        "/qeltupdate.exe\r\nContent-Length: 0\r\n\r\n");
    EXPECT_FALSE(u.installUpdate());
    EXPECT_FALSE(elsewhere.waitForRequest(500).has_value()) << "the other host was never asked";
    EXPECT_FALSE(exists(app.file(L"qelt.exe")));

    // Within the site a redirect is followed.
    server.route("/qelt.txt", "HTTP/1.1 302 Found\r\nLocation: /v2/qelt.txt\r\nContent-Length: 0\r\n\r\n");
    server.route("/v2/qelt.txt", LoopbackServer::response("200 OK", "7"));
    EXPECT_TRUE(u.checkForUpdate(L"5"));

    // An error page is no version file, whatever it starts with.
    server.route("/qelt.txt", "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 3\r\n\r\n999");
    EXPECT_FALSE(u.checkForUpdate(L"5"));
    announce("503 Service Unavailable");
    EXPECT_FALSE(u.checkForUpdate(L"5"));

    // The announced hash decides: another build is refused and never started.
    const std::string exe = ownExecutable();
    server.route("/qeltupdate.exe", LoopbackServer::response("200 OK", exe));
    announce("9\r\n" + sha256Hex(exe + "x"));
    ASSERT_TRUE(u.checkForUpdate(L"5"));
    EXPECT_FALSE(u.installUpdate());
    EXPECT_FALSE(exists(app.file(L"qelt.exe")));
    EXPECT_TRUE(started.empty());
    announce("9\r\n" + sha256Hex(exe));
    ASSERT_TRUE(u.checkForUpdate(L"5"));
    EXPECT_TRUE(u.installUpdate());
    EXPECT_EQ(started.size(), 1u);
}

// A new build that cannot take the program's place leaves the installed
// version as it was, so the next check offers the update again.
TEST_F(UpdateTest, AFailedReplacementIsNotReportedAsUpToDate)
{
    writeRegString(HKEY_LOCAL_MACHINE, kUpdateKey, L"Up", L"b");
    writeRegString(HKEY_LOCAL_MACHINE, kUpdateKey, L"newver", L"9");
    // No downloaded build to copy: the replacement fails.
    EXPECT_FALSE(finishUpdate());
    EXPECT_EQ(updateValue(L"Up"), L"a");
    EXPECT_EQ(updateValue(L"ver"), L"5");
    EXPECT_FALSE(regValueExists(HKEY_LOCAL_MACHINE, kUpdateKey, L"newver"));
    announce("9");
    Updater u;
    EXPECT_TRUE(u.checkForUpdate(updateValue(L"ver")));
}

// Slow lines, stalled transfers and Close: a download lasts as long as it
// makes progress, one attempt at a time, and Close ends it at once.
TEST_F(UpdateTest, ASlowDownloadFinishesAStalledOneEndsAndCloseCancels)
{
    // A build of 12 KiB at 2 KiB/s takes 6 s: longer than a whole request
    // was once allowed (one and a half phases of 3 s).
    const std::string build = ownExecutable().substr(0, 12288);
    server.route("/qeltupdate.exe", LoopbackServer::response("200 OK", build), LoopbackServer::Pace{2048});
    announce("9\r\n" + sha256Hex(build));
    Updater u;
    ASSERT_TRUE(u.checkForUpdate(L"5"));
    std::vector<uint64_t> seen;
    u.onProgress = [&](uint64_t received) { seen.push_back(received); };
    u.start = [](const std::wstring&) { return true; };
    EXPECT_TRUE(u.downloadUpdate());
    EXPECT_EQ(readFile(app.file(L"qelt.exe")), build);
    ASSERT_GE(seen.size(), 3u) << "the bytes received are told as they come";
    EXPECT_EQ(seen.back(), build.size());
    DeleteFileW(app.file(L"qelt.exe").c_str());

    // Stalled after 4 KiB: given up once nothing came for the stall time.
    setUpdateStallTimeout(2000);
    server.route("/qeltupdate.exe", LoopbackServer::response("200 OK", ownExecutable()), LoopbackServer::Pace{0, 4096});
    const ULONGLONG t0 = GetTickCount64();
    EXPECT_FALSE(u.downloadUpdate());
    const ULONGLONG stalled = GetTickCount64() - t0;
    EXPECT_GE(stalled, 2000u);
    EXPECT_LT(stalled, 9000u);
    EXPECT_FALSE(exists(app.file(L"qelt.exe")));

    // Close while the bytes come: no further attempt, nothing written.
    server.route("/qeltupdate.exe", LoopbackServer::response("200 OK", build), LoopbackServer::Pace{2048});
    bool close = false;
    u.onProgress = [&](uint64_t received) { close = received > 0; };
    u.cancelled = [&] { return close; };
    const ULONGLONG t1 = GetTickCount64();
    EXPECT_FALSE(u.installUpdate());
    EXPECT_EQ(u.attempts(), 1);
    EXPECT_LT(GetTickCount64() - t1, 4000u) << "Close ends the transfer at once";
    EXPECT_FALSE(exists(app.file(L"qelt.exe")));
    setUpdateStallTimeout(30000);
}

// A download that is not whole, not the announced build, too large, or not
// verifiable at all is never installed.
TEST_F(UpdateTest, ACutLyingHugeOrUnverifiableDownloadIsNeverInstalled)
{
    const std::string exe = ownExecutable();
    Updater u;
    std::vector<std::wstring> started;
    u.start = [&](const std::wstring& file) {
        started.push_back(file);
        return true;
    };
    announce("9\r\n" + sha256Hex(exe));
    ASSERT_TRUE(u.checkForUpdate(L"5"));
    // Cut off a few bytes before its announced end; a length that lies
    // short (the client reads only what was announced).
    server.route("/qeltupdate.exe", LoopbackServer::response("200 OK", exe.substr(0, exe.size() - 5), exe.size()));
    EXPECT_FALSE(u.downloadUpdate()) << "cut off";
    server.route("/qeltupdate.exe", LoopbackServer::response("200 OK", exe, exe.size() - 5));
    EXPECT_FALSE(u.downloadUpdate()) << "shorter than it is";
    EXPECT_TRUE(u.unverified()) << "whole as announced, but not the announced build";
    // Above 64 MiB: refused from its announced length, and while it comes
    // when none is announced.
    server.route("/qeltupdate.exe", LoopbackServer::response("200 OK", exe, kMaxUpdateBytes + 1));
    EXPECT_FALSE(u.downloadUpdate()) << "announced too large";
    server.route("/qeltupdate.exe",
                 "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + exe + std::string(kMaxUpdateBytes, '\0'));
    EXPECT_FALSE(u.downloadUpdate()) << "too large as it comes";
    EXPECT_FALSE(exists(app.file(L"qelt.exe")));
    // No hash announced: an unsigned build is refused at the first attempt,
    // and it is told as one that could not be verified.
    announce("9");
    ASSERT_TRUE(u.checkForUpdate(L"5"));
    server.route("/qeltupdate.exe", LoopbackServer::response("200 OK", exe));
    EXPECT_FALSE(u.installUpdate());
    EXPECT_TRUE(u.unverified());
    EXPECT_EQ(u.attempts(), 1);
    EXPECT_FALSE(exists(app.file(L"qelt.exe")));
    EXPECT_FALSE(exists(app.file(L"qelt.exe.part")));
    EXPECT_TRUE(started.empty());
    EXPECT_EQ(updateValue(L"Up"), L"");
    EXPECT_FALSE(signedBySameSigner(sorvaneExe(), sorvaneExe())) << "no build of these tests is signed";
}

// With no setting the update can run at all: the default site is HTTPS.
TEST(UpdateRules, TheDefaultVendorSiteIsHttps)
{
    ScopedAppFolder app;
    loadVendorSite();
    EXPECT_EQ(vendorSite(), L"https://www.sorvane.example");
    EXPECT_TRUE(isAllowedUpdateUrl(vendorUrl(L"qelt.txt")));
    EXPECT_TRUE(errorReportsOn());
    setVendorSite(L"http://127.0.0.1:9");
}

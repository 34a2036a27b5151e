// One run at a time on the machine: a command line meets a run in progress
// with exit 3 and touches nothing, the window says so instead of starting,
// and a command-line run shows no window.
#include "app/CleanRun.h"
#include "app/CommandLine.h"
#include "app/CommandRun.h"
#include "cleaners/ApplicationRules.h"
#include "platform/Text.h"
#include "support/RecorderUi.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <thread>

using namespace sorvane;
using namespace testenv;

namespace {

// Starts the program with `arguments` in its own application folder and
// waits for its end; `visibleWindows` counts the windows it showed meanwhile.
DWORD runProgram(const std::wstring& appFolder, const std::wstring& arguments, int& visibleWindows)
{
    const std::wstring exe = appFolder + L"\\Sorvane.exe";
    if (!CopyFileW(sorvaneExe().c_str(), exe.c_str(), FALSE))
        return 0xFFFF;
    std::wstring command = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, appFolder.c_str(), &si,
                        &pi))
        return 0xFFFF;
    struct Seen {
        DWORD pid;
        int count;
    } seen{pi.dwProcessId, 0};
    while (WaitForSingleObject(pi.hProcess, 10) == WAIT_TIMEOUT)
        EnumWindows(
            [](HWND h, LPARAM p) -> BOOL {
                auto* s = reinterpret_cast<Seen*>(p);
                DWORD pid = 0;
                GetWindowThreadProcessId(h, &pid);
                if (pid == s->pid && IsWindowVisible(h))
                    ++s->count;
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&seen));
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    visibleWindows = seen.count;
    return code;
}

} // namespace

TEST(CommandRun, ASecondRunIsRefusedAndACommandLineShowsNoWindow)
{
    TempFolder app, junk;
    writeFile(junk.file(L"old.tmp"), std::string(100, 'j'));
    writeFile(app.file(L"UDFO.sol"), toAnsi(junk.path()) + "\r\n");
    const std::wstring args = L"/clean \"/categories:User defined folders\" /method:D";

    // Another run holds the machine's run lock (on a thread of its own, as
    // another process would: the lock is its owner's as often as it asks).
    HANDLE held = CreateEventW(nullptr, TRUE, FALSE, nullptr), release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread other([&] {
        RunLock lock;
        SetEvent(held);
        WaitForSingleObject(release, 30000);
    });
    WaitForSingleObject(held, 30000);
    int windows = 0;
    EXPECT_EQ(runProgram(app.path(), args, windows), DWORD{kExitRefused});
    EXPECT_TRUE(exists(junk.file(L"old.tmp"))) << "a refused run touched a file";
    // The window's Clean does not start either.
    {
        ScopedAppFolder ownApp;
        RunState run;
        RecorderUi ui{run};
        FileSearch search{ui, run};
        DeleteSettings settings;
        CleanRun clean{ui, run, search, settings};
        ui.checked = {1};
        clean.fullRun();
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_NE(ui.messages[0].find(L"Another clean is running"), std::wstring::npos);
        EXPECT_TRUE(ui.started.empty());
    }
    SetEvent(release);
    other.join();
    CloseHandle(held);
    CloseHandle(release);

    EXPECT_EQ(runProgram(app.path(), args, windows), DWORD{kExitDone});
    EXPECT_FALSE(exists(junk.file(L"old.tmp")));
    EXPECT_EQ(windows, 0) << "a command-line run showed a window";
}

// /rules names the application rules of one run: a name no rule file holds
// is a bad command line that touches nothing; a refused or undetected entry
// named there is skipped with its reason; the ticks in rules.sol stay.
TEST(CommandRun, NamedRulesRunAloneAndAnUnknownNameTouchesNothing)
{
    ScopedAppFolder app;
    TempFolder junk;
    writeFile(junk.file(L"a.tmp"), "aaaa");
    makeDir(app.file(L"Rules"));
    writeFile(app.file(L"Rules\\t.ini"),
              toUtf8(L"[Junk Rule *]\r\nFileKey1=" + junk.path() + L"|*.tmp\r\n"
                     L"[Refused Rule *]\r\nFileKey1=%WinDir%|*.*\r\n"
                     L"[Gone Rule *]\r\nDetectFile=" + junk.path() + L"\\none\r\nFileKey1=" + junk.path() +
                     L"|*.tmp\r\n"));
    writeFile(app.file(L"rules.sol"), "Gone Rule\r\n");

    const CommandLine alone = parseCommandLine({L"/clean", L"/rules:Junk Rule; Gone Rule"});
    ASSERT_EQ(alone.error, L"");
    EXPECT_EQ(*alone.categories, std::vector<int>{kStoreApplicationRules});
    EXPECT_NE(parseCommandLine({L"/clean", L"/categories:Cache", L"/rules:Junk Rule"}).error, L"");

    const CommandResult unknown = runCommandLine(parseCommandLine({L"/clean", L"/rules:Junk Rule;No Such Rule"}));
    EXPECT_EQ(unknown.exitCode, kExitBadLine);
    EXPECT_NE(unknown.summary.find(L"No Such Rule"), std::wstring::npos);
    EXPECT_TRUE(exists(junk.file(L"a.tmp")));

    const CommandResult named =
        runCommandLine(parseCommandLine({L"/clean", L"/method:D", L"/rules:Junk Rule;Refused Rule;Gone Rule"}));
    EXPECT_EQ(named.exitCode, kExitSkipped) << named.summary;
    EXPECT_NE(named.summary.find(L"1 removed, 4 bytes freed, 2 skipped"), std::wstring::npos) << named.summary;
    EXPECT_FALSE(exists(junk.file(L"a.tmp")));
    EXPECT_FALSE(rulesForThisRun().has_value()) << "the names held for that run only";
    EXPECT_EQ(readFile(app.file(L"rules.sol")), "Gone Rule\r\n");
}

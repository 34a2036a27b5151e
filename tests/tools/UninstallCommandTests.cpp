// UnInstall starts the program the registration names and no other: an
// unquoted path with blanks is not cut at its first blank, a bare program
// name comes from the system folder, environment strings are expanded.
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "support/TestEnv.h"
#include "tools/ScanWindow.h"

#include <gtest/gtest.h>

#include <thread>

using namespace sorvane;
using namespace testenv;

TEST(UninstallCommand, TheIntendedProgramAndNoPlantedOne)
{
    TempFolder dir;
    // A planted "Program" beside "Program Files": the system's own search
    // would start it for the unquoted line.
    writeFile(dir.file(L"Program"), "MZ planted");
    writeFile(dir.file(L"Program.exe"), "MZ planted");
    makeDir(dir.file(L"Program Files"));
    makeDir(dir.file(L"Program Files\\Some Tool"));
    const std::wstring uninst = dir.file(L"Program Files\\Some Tool\\uninst.exe");
    writeFile(uninst, "MZ real");
    UninstallCommand c = resolveUninstallCommand(dir.file(L"Program Files\\Some Tool\\uninst.exe /S /log x"));
    EXPECT_EQ(c.application, uninst);
    EXPECT_EQ(c.commandLine, L"\"" + uninst + L"\" /S /log x");

    // A bare name is the system folder's, whatever the current folder holds.
    const std::wstring system = getSystemDir();
    ASSERT_TRUE(fileExists(system + L"\\msiexec.exe"));
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    SetCurrentDirectoryW(dir.path().c_str());
    writeFile(dir.file(L"MsiExec.exe"), "MZ planted");
    c = resolveUninstallCommand(L"MsiExec.exe /X{12345678-1234-1234-1234-123456789012}");
    SetCurrentDirectoryW(current);
    EXPECT_TRUE(iequals(c.application, system + L"\\MsiExec.exe")) << toAnsi(c.application);
    EXPECT_EQ(c.commandLine.substr(c.commandLine.size() - 40), L"/X{12345678-1234-1234-1234-123456789012}");

    // Environment strings, and a quoted path as it is.
    SetEnvironmentVariableW(L"SORVANE_UNINST_DIR", (dir.path() + L"\\Program Files").c_str());
    c = resolveUninstallCommand(L"%SORVANE_UNINST_DIR%\\Some Tool\\uninst.exe /S");
    EXPECT_EQ(c.application, uninst);
    c = resolveUninstallCommand(L"\"" + uninst + L"\" /quiet");
    EXPECT_EQ(c.commandLine, L"\"" + uninst + L"\" /quiet");
    // Nothing existing named: nothing is started.
    EXPECT_TRUE(resolveUninstallCommand(dir.file(L"gone\\uninst.exe /S")).application.empty());
    EXPECT_TRUE(resolveUninstallCommand(L"nosuchtool.exe /x").application.empty());
}

// A bare "cmd.exe" runs the system's, started in the system folder.
TEST(UninstallCommand, RunsTheSystemsProgramInTheSystemFolder)
{
    TempFolder dir;
    const std::wstring marker = dir.file(L"ran.txt");
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    SetCurrentDirectoryW(dir.path().c_str());
    writeFile(dir.file(L"cmd.exe"), "MZ planted");
    DWORD error = 0;
    const bool started = UninstallWindow::runCommand(L"cmd.exe /c cd > \"" + marker + L"\"", error);
    SetCurrentDirectoryW(current);
    ASSERT_TRUE(started) << error;
    for (int i = 0; i < 100 && readFile(marker).empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const std::string folder = readFile(marker);
    EXPECT_EQ(toLower(fromAnsi(folder.substr(0, folder.find_first_of("\r\n")))), toLower(getSystemDir()));
}

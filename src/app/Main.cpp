#include "app/CommandLine.h"
#include "app/CommandRun.h"
#include "app/MainWindow.h"
#include "app/SingleInstance.h"
#include "options/Update.h"
#include "platform/ErrorReport.h"
#include "platform/ReportQueue.h"
#include "store/BackupArchive.h"
#include "store/Settings.h"
#include "win/UniqueHandle.h"

#include <windows.h>
#include <commctrl.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    using namespace sorvane;
    // Programs and libraries are never looked for in the current folder first.
    SetSearchPathMode(BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE | BASE_SEARCH_PATH_PERMANENT);
    SetDllDirectoryW(L"");
    // With arguments: an unattended run, never a window, never handed over
    // to (or waiting for) a running window.
    const CommandLine line = parseCommandLine(commandLineArguments(GetCommandLineW()));
    if (!line.error.empty()) {
        tellConsole(line.error);
        tellConsole(kUsage);
        return kExitBadLine;
    }
    if (line.mode == RunMode::Usage) {
        tellConsole(kUsage);
        return kExitDone;
    }
    if (line.mode != RunMode::Window) {
        win::ComInit com;
        loadVendorSite();
        const CommandResult result = runCommandLine(line);
        finishBackupArchive();
        tellConsole(result.summary);
        shutdownReports(2000);
        return result.exitCode;
    }
    SingleInstance instanceLock;
    if (instanceLock.anotherIsRunning()) {
        // A start that continues an update waits for the program that
        // started it to end; any other start hands over to the running one.
        if (isUpdateRestart()) {
            if (!instanceLock.waitUntilAlone(30000))
                return 0;
        } else if (activatePreviousInstance()) {
            return 0;
        } else {
            // The other one is ending: wait a little for it, then start.
            instanceLock.waitUntilAlone(5000);
        }
    }
    if (finishUpdate())
        return 0;

    win::ComInit com;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_PROGRESS_CLASS | ICC_LISTVIEW_CLASSES |
                                             ICC_TAB_CLASSES | ICC_TREEVIEW_CLASSES | ICC_DATE_CLASSES};
    InitCommonControlsEx(&icc);
    loadVendorSite();

    if (!MainWindow::registerClass(instance))
        return 1;
    MainWindow window;
    if (!window.create(instance))
        return 1;
    const int code = window.messageLoop();
    finishBackupArchive();
    instanceLock.release();
    // Reports still queued get a short moment, never a wait at exit.
    shutdownReports(2000);
    return code;
}

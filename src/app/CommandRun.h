#pragma once
// An unattended run from the command line: no window and no question (each
// gets its safe answer: keep the file), an exit code that means something,
// one summary line and, when asked, the full report as JSON.
#include "app/CommandLine.h"

#include <windows.h>

#include <string>

namespace sorvane {

enum ExitCode : int {
    kExitDone = 0,       // nothing left over
    kExitThreshold = 1,  // /analyze found at least /threshold bytes
    kExitSkipped = 2,    // done, but something stayed (in use, a browser running, left for review...)
    kExitRefused = 3,    // another run is cleaning
    kExitFailed = 4,     // an error ended the run or the report
    kExitBadLine = 5,    // nothing was touched
};

struct CommandResult {
    int exitCode = kExitDone;
    std::wstring summary;  // one line, at most 2,048 characters
};

// Runs an /analyze or /clean line with the categories it names (or those
// ticked in checkItems.sol). Nothing is saved to checkItems.sol or
// Settings.ini.
CommandResult runCommandLine(const CommandLine& line);
// Writes to the console of the program that started this one, when there
// is one (or to the output it was given).
void tellConsole(const std::wstring& text);

} // namespace sorvane

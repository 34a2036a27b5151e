#pragma once
// Opening what the user asked to see (a web page, a folder, a file) from the
// elevated program. A program started by an elevated process inherits its
// administrator rights: a page opened so runs its browser elevated, and a
// file "opened" so may be a program that runs elevated. So an elevated
// process hands every such request to the desktop's own shell (Explorer),
// which runs as the signed-in user; when that cannot be reached, nothing is
// opened and the caller is told.
#include <functional>
#include <string>

namespace sorvane {

struct ShellRequest {
    std::wstring operation;   // "open", or empty for the default
    std::wstring file;        // a path or an address
    std::wstring parameters;
    std::wstring folder;
    int show = 1;             // SW_SHOWNORMAL
};

// The ways a request can reach a shell; each true when the shell took it.
struct ShellRoutes {
    // ShellExecuteEx of this process: with this process's rights.
    std::function<bool(const ShellRequest&)> direct;
    // IShellDispatch2::ShellExecute of the desktop's shell window: as the
    // signed-in user.
    std::function<bool(const ShellRequest&)> desktop;
};
ShellRoutes systemShellRoutes();

// Whether the process runs with an elevated token.
bool processIsElevated();

// Opens the request as the signed-in user: directly when this process is
// not elevated, through the desktop's shell when it is, never elevated.
// False with `error` set for the user when it was not opened.
bool openAsUser(const ShellRequest& request, std::wstring& error, bool elevated = processIsElevated(),
                const ShellRoutes& routes = systemShellRoutes());

} // namespace sorvane

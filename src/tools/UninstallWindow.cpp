// frmUninstall: runs, edits and removes the uninstall registrations of the
// installed programs.
#include "tools/ScanWindow.h"

#include "platform/ErrorReport.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "resource.h"

namespace sorvane {

namespace {
constexpr const wchar_t* kUninstallKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\UnInstall\\";
}

UninstallWindow::UninstallWindow()
    : ScanWindow(L"Sorvane - Uninstall Programs", L"frmUninstall",
                 {{L"Application", 200}, {L"Version", 70}, {L"UnInstall Command", 240}, {L"Registry Key", 160},
                  {L"Install Path", 200}},
                 true, false, false)
{
}

void UninstallWindow::initExtra()
{
    // Every action works on the selected row: no check boxes.
    ListView_SetExtendedListViewStyleEx(listView(), LVS_EX_CHECKBOXES, 0);
    for (int id : {IDC_scan_cmdStop, IDC_scan_cmdClose})
        ShowWindow(item(id), SW_HIDE);
    SetDlgItemTextW(hwnd(), IDC_scan_cmdFind, L"&UnInstall");
    SetDlgItemTextW(hwnd(), IDC_scan_cmdEdit, L"&Edit");
    SetDlgItemTextW(hwnd(), IDC_scan_cmdDelete, L"&Delete");
    for (int id : {IDC_scan_cmdFind, IDC_scan_cmdEdit, IDC_scan_cmdDelete})
        enable(id, true);
    GetUnInstallFiles();
}

void UninstallWindow::GetUnInstallFiles()
{
    // While loading, the window is not there yet to take other messages.
    if (IsWindowVisible(hwnd()))
        yield();
    clearList();
    beginRows();
    // Both views: most programs on a 64-bit Windows are 32-bit ones, whose
    // entries live under Wow6432Node. The hidden last cell is the entry's key.
    for (const auto& base : keyPathsInBothViews(HKEY_LOCAL_MACHINE, kUninstallKey))
        step(L"frmUninstall,getUninstallFiles", [&] {
            const RegReader programs(HKEY_LOCAL_MACHINE, base);
            for (const auto& name : programs.subkeyNames()) {
                const RegReader program(programs, name);
                if (getRegDword(HKEY_LOCAL_MACHINE, base + name, L"NoRemove") == 1)
                    continue;  // programs that forbid removal are not listed
                const std::wstring display = program.stringAny(L"DisplayName");
                // The whole command: long ones are listed too.
                const std::wstring command = program.wholeString(L"UnInstallString");
                if (display.empty() || command.empty())
                    continue;
                addRow({display, program.stringAny(L"DisplayVersion"), command, name,
                        program.stringAny(L"InstallLocation"), base + name},
                       false);
            }
        });
    endRows();
    sortRows(0);
    setStatus(std::to_wstring(rowCount()) + L" Uninstall Programs");
}

UninstallCommand resolveUninstallCommand(const std::wstring& commandLine)
{
    UninstallCommand result;
    std::wstring text = trim(expandEnvironment(commandLine));
    std::wstring program, arguments;
    if (!text.empty() && text[0] == L'"') {
        const size_t close = text.find(L'"', 1);
        program = text.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1);
        arguments = close == std::wstring::npos ? L"" : trim(text.substr(close + 1));
    } else {
        // Unquoted: the longest start of the line, ending at a blank, that
        // names an existing file; never the shortest guess the system makes
        // ("C:\Program" for "C:\Program Files\...").
        for (size_t end = text.size();;) {
            const std::wstring candidate = text.substr(0, end);
            const bool bare = candidate.find_first_of(L"\\/:") == std::wstring::npos;
            if (!bare && (fileExists(candidate) || fileExists(candidate + L".exe"))) {
                program = fileExists(candidate) ? candidate : candidate + L".exe";
                arguments = trim(text.substr(end));
                break;
            }
            const size_t blank = end == 0 ? std::wstring::npos : text.find_last_of(L' ', end - 1);
            if (blank == std::wstring::npos || blank == 0)
                break;
            end = blank;
        }
        if (program.empty()) {
            // A bare program name ("MsiExec.exe /X{...}") is the system's own.
            const size_t blank = text.find(L' ');
            program = text.substr(0, blank);
            arguments = blank == std::wstring::npos ? L"" : trim(text.substr(blank + 1));
        }
    }
    if (!program.empty() && program.find_first_of(L"\\/:") == std::wstring::npos) {
        std::wstring name = program;
        if (name.find(L'.') == std::wstring::npos)
            name += L".exe";
        program = getSystemDir() + L"\\" + name;
    }
    if (!fileExists(program))
        return result;
    result.application = program;
    result.commandLine = L"\"" + program + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    return result;
}

bool UninstallWindow::runCommand(const std::wstring& commandLine, DWORD& error)
{
    const UninstallCommand resolved = resolveUninstallCommand(commandLine);
    if (resolved.application.empty()) {
        error = ERROR_FILE_NOT_FOUND;
        return false;
    }
    std::wstring cmd = resolved.commandLine;
    const std::wstring folder = getSystemDir();
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION pi{};
    // The program is named, not searched for, and starts in the system
    // folder, never in whatever folder this program happens to be in.
    if (!CreateProcessW(resolved.application.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &si, &pi)) {
        error = GetLastError();
        return false;
    }
    // Not waited for.
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

void UninstallWindow::cmdFind_Click()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    DWORD error = 0;
    if (!runCommand(cell(row, 2), error))
        ask(L"An error Occurred while executing uninstall Command: \r\n\r\n" + win32Message(error),
            MB_OK | MB_ICONERROR);
}

void UninstallWindow::cmdDelete_Click()
{
    const int row = selectedRow();
    if (row < 0) {
        setStatus(std::to_wstring(rowCount()) + L" Uninstall Programs");
        return;
    }
    if (ask(L"Are you sure you want to delete the selected item", MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    // The registration alone: the program's files stay, its command is not run.
    // The row goes only with the entry: one kept (it has subkeys, or may
    // not be deleted) stays listed and counted.
    if (!deleteRegistry({{HKEY_LOCAL_MACHINE, cell(row, 5), RegItem::KeyAlone, L""}}) || !lastDeleted(0))
        return;
    removeRow(row);
    setStatus(std::to_wstring(rowCount()) + L" enteries");
}

void UninstallWindow::cmdEdit_Click()
{
    const int row = selectedRow();
    if (row < 0 || cell(row, 2).empty())
        return;
    EditPathDialog dialog(EditPathDialog::Kind::Uninstall, cell(row, 0), cell(row, 2), cell(row, 5));
    openDialog(dialog, IDD_EDITPATH);
    noteUndoFile(dialog.undoFile());
    if (dialog.accepted())
        GetUnInstallFiles();
}

} // namespace sorvane

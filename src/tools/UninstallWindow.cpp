// frmUninstall: runs, edits and removes the uninstall registrations of the
// installed programs.
#include "tools/ScanWindow.h"

#include "core/ErrorReport.h"
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
    step(L"frmUninstall,getUninstallFiles", [&] {
        const RegReader programs(HKEY_LOCAL_MACHINE, kUninstallKey);
        for (const auto& name : programs.subkeyNames()) {
            if (getRegDword(HKEY_LOCAL_MACHINE, std::wstring(kUninstallKey) + name, L"NoRemove") == 1)
                continue;  // programs that forbid removal are not listed
            const RegReader program(programs, name);
            const std::wstring display = program.stringAny(L"DisplayName");
            const std::wstring command = program.stringAny(L"UnInstallString");
            if (display.empty() || command.empty())
                continue;
            addRow({display, program.stringAny(L"DisplayVersion"), command, name, program.stringAny(L"InstallLocation")},
                   false);
        }
    });
    endRows();
    sortRows(0);
    setStatus(std::to_wstring(rowCount()) + L" Uninstall Programs");
}

bool UninstallWindow::runCommand(const std::wstring& commandLine, DWORD& error)
{
    std::wstring cmd = commandLine;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
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
    if (!deleteRegistry({{HKEY_LOCAL_MACHINE, std::wstring(kUninstallKey) + cell(row, 3), RegItem::KeyAlone, L""}}))
        return;
    removeRow(row);
    setStatus(std::to_wstring(rowCount()) + L" enteries");
}

void UninstallWindow::cmdEdit_Click()
{
    const int row = selectedRow();
    if (row < 0 || cell(row, 2).empty())
        return;
    EditPathDialog dialog(EditPathDialog::Kind::Uninstall, cell(row, 0), cell(row, 2), cell(row, 3));
    openDialog(dialog, IDD_EDITPATH);
    if (dialog.accepted())
        GetUnInstallFiles();
}

} // namespace sorvane

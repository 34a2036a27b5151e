// frmStartupPrograms: what Windows starts at logon, from the two Run keys
// and the two Startup folders; a checked entry loses its value or shortcut.
#include "tools/ScanWindow.h"

#include "core/FileSearch.h"
#include "platform/ErrorReport.h"
#include "platform/Text.h"
#include "resource.h"

namespace sorvane {

namespace {
constexpr const wchar_t* kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run\\";
constexpr const wchar_t* kFoldersKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\";
} // namespace

StartupWindow::StartupWindow()
    : ScanWindow(L"Sorvane - Startup Programs", L"frmStartupPrograms",
                 {{L"Run", 260}, {L"Description", 140}, {L"Location", 100}, {L"Path", 260}}, false, false, false)
{
}

const wchar_t* StartupWindow::rootName(HKEY root)
{
    if (root == HKEY_CURRENT_USER)
        return L"HKCU";
    if (root == HKEY_LOCAL_MACHINE)
        return L"HKLM";
    return L"";
}

HKEY StartupWindow::rootHandle(const std::wstring& name)
{
    return name == L"HKCU" ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

void StartupWindow::initExtra()
{
    // A manager: filled at once, no Find, Stop or Close.
    for (int id : {IDC_scan_cmdFind, IDC_scan_cmdStop, IDC_scan_cmdClose})
        ShowWindow(item(id), SW_HIDE);
    SetDlgItemTextW(hwnd(), IDC_scan_cmdDelete, L"&Delete");
    enable(IDC_scan_cmdDelete, true);
    getStartup();
}

void StartupWindow::loadKeys(HKEY root)
{
    // Both views: a 64-bit Windows starts 32-bit programs' entries from
    // Wow6432Node too. The Path column names the key that holds the value.
    for (const auto& key : keyPathsInBothViews(root, kRunKey))
        step(L"frmStartupPrograms,loadKeys", [&] {
            const RegReader run(root, key);
            for (const auto& name : getAllValueNames(root, key))
                addRow({run.stringAny(name), name, rootName(root), key}, false);
        });
}

void StartupWindow::loadFolder(HKEY root, const wchar_t* value, const wchar_t* location)
{
    step(L"frmStartupPrograms,getStartup", [&] {
        std::wstring folder = getRegString(root, kFoldersKey, value);
        if (folder.empty() || !pathExists(folder))
            return;
        if (folder.back() != L'\\')
            folder += L'\\';
        for (const auto& name : filesInFolder(folder, L"*.lnk"))
            addRow({name, L"", location, folder}, false);
    });
}

void StartupWindow::getStartup()
{
    clearList();
    orphanCount = 0;
    beginRows();
    loadKeys(HKEY_LOCAL_MACHINE);
    loadKeys(HKEY_CURRENT_USER);
    loadFolder(HKEY_CURRENT_USER, L"Startup", L"Startup");
    loadFolder(HKEY_LOCAL_MACHINE, L"Common Startup", L"Common Startup");
    endRows();
    sortRows(1);
    setStatus(std::to_wstring(rowCount()) + L" Startup Program(s)");
    if (rowCount() > 0)
        selectRow(0);
}

void StartupWindow::cmdDelete_Click()
{
    if (!anyItemChecked()) {
        ask(L"Please check atleast one item to delete.", MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (rowCount() > 0 && ask(L"Are you sure you want to delete the checked item(s)", MB_YESNO | MB_ICONQUESTION) == IDYES) {
        std::vector<RegItem> values;
        std::vector<std::wstring> files;
        for (int i = 0; i < rowCount(); ++i) {
            if (!rowChecked(i))
                continue;
            const std::wstring location = cell(i, 2);
            if (location != L"HKCU" && location != L"HKLM")
                files.push_back(cell(i, 3) + cell(i, 0));
            else
                values.push_back({rootHandle(location), cell(i, 3), RegItem::Value, cell(i, 1)});
        }
        // The shortcuts go unless no undo file could be written at all; a
        // Run value refused as unsafe (and named so) keeps none of them.
        deleteRegistry(values);
        if (!lastBackupFailed())
            for (const auto& f : files)
                deleteFile(f);
    }
    getStartup();
}

} // namespace sorvane

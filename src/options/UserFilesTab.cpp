// The User defined files tab.
#include "options/OptionsTabs.h"

#include "platform/AppFolder.h"
#include "platform/ErrorReport.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "resource.h"
#include "store/ListFiles.h"

namespace sorvane {

void UserFilesTab::load()
{
    step(L"frmOptions,getUserDefinedFiles", [&] {
        const UserDefinedFiles list = loadUserDefinedFiles(appFile(L"UDFI.sol"));
        setChecked(IDC_chkUDFI, list.checkIgnoreLists);
        for (const auto& f : list.files)
            addListEntry(IDC_lstUDFI, f);
    });
}

void UserFilesTab::save(SaveLog& log)
{
    log.note(step(L"frmOptions,saveUserDefinedFiles",
                  [&] { saveUserDefinedFiles(appFile(L"UDFI.sol"), {checked(IDC_chkUDFI), listEntries(IDC_lstUDFI)}); }),
             L"UDFI.sol");
}

bool UserFilesTab::onCommand(int id, int code)
{
    if (code != BN_CLICKED)
        return false;
    switch (id) {
    case IDC_cmdUFIBrowse:
        if (const auto file = pickFile())
            setText(IDC_txtUDFI, *file);
        break;
    case IDC_cmdUDFIAdd: addFile(); break;
    case IDC_cmdUDFIRemove: removeSelectedEntry(IDC_lstUDFI); break;
    default: return false;
    }
    return true;
}

int UserFilesTab::enterButton(int textBox) const { return textBox == IDC_txtUDFI ? IDC_cmdUDFIAdd : 0; }

void UserFilesTab::addFile()
{
    const std::wstring file = trim(text(IDC_txtUDFI));
    if (!file.empty() && fileExists(file))
        addListEntry(IDC_lstUDFI, file);
    setText(IDC_txtUDFI, L"");
}

} // namespace sorvane

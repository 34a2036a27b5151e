// The Unnecessary Files tab.
#include "options/OptionsTabs.h"

#include "platform/AppFolder.h"
#include "platform/ErrorReport.h"
#include "platform/SystemPaths.h"
#include "resource.h"
#include "store/ListFiles.h"
#include "store/OptionLists.h"
#include "win/ListColumns.h"

#include <commctrl.h>

namespace sorvane {

void UnnecessaryFilesTab::load()
{
    step(L"frmOptions,Form_Load", [&] {
        HWND lv = control(IDC_lstvUnnecessaaryFiles);
        ListView_SetExtendedListViewStyle(lv, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
        win::addListColumns(lv, {{L"File type", 110}, {L"Description", 450}});
    });
    showRules(false);
}

void UnnecessaryFilesTab::showRules(bool factory)
{
    HWND lv = control(IDC_lstvUnnecessaaryFiles);
    ListView_DeleteAllItems(lv);
    step(L"frmOptions,getUnnecessaryFiles", [&] {
        const std::wstring own = appFile(factory ? L"DefUNFI.sol" : L"UNFI.sol");
        for (const auto& rule : loadRules(own, appFile(L"DefUNFI.sol"))) {
            const int row = win::addRow(lv, {rule.pattern, rule.description});
            ListView_SetCheckState(lv, row, rule.enabled);
        }
    });
}

void UnnecessaryFilesTab::save(SaveLog& log)
{
    log.note(step(L"frmOptions,saveUnnecessaryFiles", [&] {
        HWND lv = control(IDC_lstvUnnecessaaryFiles);
        std::vector<UnnecessaryRule> rules;
        const int n = ListView_GetItemCount(lv);
        for (int i = 0; i < n; ++i)
            rules.push_back({ListView_GetCheckState(lv, i) != 0, win::cellText(lv, i, 0), win::cellText(lv, i, 1)});
        saveRules(appFile(L"UNFI.sol"), rules);
    }),
             L"UNFI.sol");
}

bool UnnecessaryFilesTab::onCommand(int id, int code)
{
    if (code != BN_CLICKED)
        return false;
    switch (id) {
    case IDC_cmdUnnecessaryFilesAdd: addRule(); break;
    case IDC_cmdUnnecessaryFilesBrowse: browseType(); break;
    // The factory rules on the tab; UNFI.sol is written by Accept only.
    case IDC_cmdUnnecessaryFilesDefaults: showRules(true); break;
    case IDC_cmdUnnecessaryFilesRemove: {
        HWND lv = control(IDC_lstvUnnecessaaryFiles);
        if (const int row = win::selectedRow(lv); row >= 0)
            ListView_DeleteItem(lv, row);
        break;
    }
    default: return false;
    }
    return true;
}

int UnnecessaryFilesTab::enterButton(int textBox) const
{
    return textBox == IDC_txtUnnecessaryFilesFileType || textBox == IDC_txtUnnecessaryFilesDescription
               ? IDC_cmdUnnecessaryFilesAdd
               : 0;
}

void UnnecessaryFilesTab::addRule()
{
    step(L"frmOptions,cmdUnnecessaryFilesAdd_Click", [&] {
        const std::wstring type = text(IDC_txtUnnecessaryFilesFileType);
        if (type.find(L'.') == std::wstring::npos) {
            ask(L"Please enter the file type in format\t.log .bak etc", MB_OK | MB_ICONINFORMATION);
            return;
        }
        HWND lv = control(IDC_lstvUnnecessaaryFiles);
        if (findRow(lv, type) >= 0) {
            ask(L"File Type already exists in the list", MB_OK | MB_ICONINFORMATION);
            return;
        }
        const int row = win::addRow(lv, {type, text(IDC_txtUnnecessaryFilesDescription)});
        ListView_SetCheckState(lv, row, TRUE);
        setText(IDC_txtUnnecessaryFilesFileType, L"");
        setText(IDC_txtUnnecessaryFilesDescription, L"");
    });
}

void UnnecessaryFilesTab::browseType()
{
    const auto file = pickFile();
    if (!file)
        return;
    const std::wstring name = fileNameOf(*file);
    const size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos)
        setText(IDC_txtUnnecessaryFilesFileType, L"*" + name.substr(dot));
}

} // namespace sorvane

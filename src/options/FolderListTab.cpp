// The Ignore Folders and User defined folders tabs.
#include "options/OptionsTabs.h"

#include "platform/AppFolder.h"
#include "platform/ErrorReport.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "store/ListFiles.h"
#include "store/OptionLists.h"
#include "store/Settings.h"

namespace sorvane {

void FolderListTab::load()
{
    if (m_ids.ignoreSwitch)
        step(L"frmOptions,Form_Load", [&] { setChecked(m_ids.ignoreSwitch, flagSetting(L"Ignore", L"Folders", L"1")); });
    step(L"frmOptions,getFolders", [&] {
        const auto folders = loadFolderList(appFile(m_ids.file));
        if (folders) {
            for (const auto& f : *folders)
                addListEntry(m_ids.list, f);
        } else if (m_ids.userDefinedFolders) {
            for (const auto& f : defaultUserDefinedFolders())
                addListEntry(m_ids.list, f);
        }
    });
}

void FolderListTab::save(SaveLog& log)
{
    log.note(step(L"frmOptions,saveFolders", [&] { saveFolderList(appFile(m_ids.file), listEntries(m_ids.list)); }),
             m_ids.file);
    if (m_ids.ignoreSwitch)
        log.note(step(L"frmOptions,cmdAccept_Click",
                      [&] { writeSetting(L"Ignore", L"Folders", flagText(checked(m_ids.ignoreSwitch))); }),
                 L"Settings.ini");
}

bool FolderListTab::onCommand(int id, int code)
{
    if (code != BN_CLICKED)
        return false;
    if (id == m_ids.browse)
        setText(m_ids.text, m_hooks.pickFolder(GetParent(page())));
    else if (id == m_ids.add)
        addFolder();
    else if (id == m_ids.remove)
        removeSelectedEntry(m_ids.list);
    else if (id == m_ids.redundant)
        removeRedundant();
    else if (id == m_ids.explore)
        exploreSelected();
    else if (m_ids.defaults && id == m_ids.defaults)
        replaceList(m_ids.list, defaultUserDefinedFolders());
    else
        return false;
    return true;
}

void FolderListTab::addFolder()
{
    std::wstring folder = trim(text(m_ids.text));
    if (!folder.empty() && folderExists(folder)) {
        if (folder.back() != L'\\')
            folder += L'\\';
        setText(m_ids.text, folder);
        addListEntry(m_ids.list, folder);
    }
    setText(m_ids.text, L"");
}

void FolderListTab::removeRedundant()
{
    const auto entries = listEntries(m_ids.list);
    for (size_t i = entries.size(); i-- > 0;)
        if (!folderExists(entries[i]))
            SendMessageW(control(m_ids.list), LB_DELETESTRING, i, 0);
}

void FolderListTab::exploreSelected()
{
    const LRESULT sel = SendMessageW(control(m_ids.list), LB_GETCURSEL, 0, 0);
    if (sel == LB_ERR)
        return;
    m_hooks.explore(L"/e," + listEntries(m_ids.list).at(static_cast<size_t>(sel)));
}

} // namespace sorvane

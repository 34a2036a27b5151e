// The Ignore Files tab.
#include "options/OptionsTabs.h"

#include "platform/AppFolder.h"
#include "platform/ErrorReport.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "resource.h"
#include "store/ListFiles.h"
#include "store/OptionLists.h"
#include "store/Settings.h"

#include <algorithm>

namespace sorvane {

void IgnoreFilesTab::load()
{
    constexpr const wchar_t* tag = L"frmOptions,Form_Load";
    step(tag, [&] { setChecked(IDC_chkIFI, flagSetting(L"Ignore", L"Files", L"1")); });
    step(tag, [&] { setChecked(IDC_chkIE, flagSetting(L"Ignore", L"Extensions", L"1")); });
    step(tag, [&] {
        const auto names = loadListFile(appFile(L"IFI.sol"));
        for (const auto& n : names ? *names : defaultIgnoredFileNames())
            addListEntry(IDC_lstIFI, n);
    });
    step(tag, [&] {
        if (const auto extensions = loadListFile(appFile(L"IE.sol")))
            for (const auto& e : *extensions)
                addListEntry(IDC_lstIE, e);
    });
}

void IgnoreFilesTab::save(SaveLog& log)
{
    constexpr const wchar_t* tag = L"frmOptions,cmdAccept_Click";
    log.note(step(tag, [&] { writeSetting(L"Ignore", L"Files", flagText(checked(IDC_chkIFI))); }), L"Settings.ini");
    log.note(step(tag, [&] { writeSetting(L"Ignore", L"Extensions", flagText(checked(IDC_chkIE))); }),
             L"Settings.ini");
    constexpr const wchar_t* lists = L"frmOptions,saveIgnoreFileExtensions";
    log.note(step(lists, [&] { saveListFile(appFile(L"IFI.sol"), listEntries(IDC_lstIFI)); }), L"IFI.sol");
    log.note(step(lists, [&] { saveListFile(appFile(L"IE.sol"), listEntries(IDC_lstIE)); }), L"IE.sol");
}

bool IgnoreFilesTab::onCommand(int id, int code)
{
    if (code != BN_CLICKED)
        return false;
    switch (id) {
    case IDC_cmdIFIAdd: addName(); break;
    case IDC_cmdIFIBrowse:
        if (const auto file = pickFile())
            setText(IDC_txtIFI, fileNameOf(*file));
        break;
    case IDC_cmdIFIRemove: removeSelectedEntry(IDC_lstIFI); break;
    case IDC_cmdIFIDefaults: replaceList(IDC_lstIFI, defaultIgnoredFileNames()); break;
    case IDC_cmdIEAdd: addExtension(); break;
    case IDC_cmdIERemove: removeSelectedEntry(IDC_lstIE); break;
    default: return false;
    }
    return true;
}

int IgnoreFilesTab::enterButton(int textBox) const
{
    return textBox == IDC_txtIFI ? IDC_cmdIFIAdd : textBox == IDC_txtIE ? IDC_cmdIEAdd : 0;
}

void IgnoreFilesTab::addName()
{
    const std::wstring name = trim(text(IDC_txtIFI));
    if (!name.empty())
        addListEntry(IDC_lstIFI, name);
    setText(IDC_txtIFI, L"");
}

void IgnoreFilesTab::addExtension()
{
    std::wstring ext = trim(text(IDC_txtIE));
    ext.erase(std::remove_if(ext.begin(), ext.end(), [](wchar_t c) { return c == L'*' || c == L'.'; }), ext.end());
    // "*." alone names no extension; an empty entry would ignore every file without one.
    if (!trim(ext).empty())
        addListEntry(IDC_lstIE, ext);
    setText(IDC_txtIE, L"");
}

} // namespace sorvane

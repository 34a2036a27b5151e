#pragma once
// frmOptions: the editor of every setting and list file. Nine tabs, each a
// child page run by a unit of its own; the window is the frame, the tab
// switch, Accept and Cancel. Nothing is written before Accept except the
// immediate actions of a few buttons (deleting a cookie or an archive,
// Restore). The window is not modal: it lives until Accept or Cancel
// destroys it.
#include "options/BackupsTab.h"
#include "options/KeepCookiesTab.h"
#include "options/OptionsTabs.h"
#include "win/Dialog.h"

#include <windows.h>

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace sorvane {

constexpr int kOptionsTabCount = 9;

class OptionsWindow : public win::Dialog {
public:
    explicit OptionsWindow(OptionsHost& host, OptionsHooks hooks = {});

    // Creates and loads the window, shown on tab `tab` (1 to 9).
    bool open(HINSTANCE instance, HWND owner, int tab = 1);
    bool isOpen() const noexcept { return hwnd() != nullptr; }
    void selectTab(int tab);
    int selectedTab() const;
    // Any control of any tab.
    HWND control(int id) const;
    // As a click on the button.
    void press(int id);

private:
    bool onInitDialog() override;
    bool onCommand(int id, int code, HWND control) override;
    bool onNotify(NMHDR* header, LRESULT& result) override;

    void Form_Load();
    // Writes every tab; closes the window when all was saved, else says
    // which files were not and stays open with what the user chose.
    void cmdAccept_Click();
    void pickBackupFolder();
    // The General and Backups tabs show one folder: an edit in either is the
    // folder Accept saves.
    void mirrorBackupFolder(int fromId, int toId);
    // Enter in a text box presses the button that takes its text.
    void onEnter();
    // The settings tabs, in the order of the pages.
    std::array<OptionsPage*, 7> settingsTabs();

    OptionsHost& m_host;
    OptionsHooks m_hooks;
    HINSTANCE m_instance = nullptr;
    int m_initialTab = 1;
    std::array<HWND, kOptionsTabCount> m_pages{};
    GeneralTab m_general;
    SearchTab m_search;
    FolderListTab m_ignoreFolders;
    IgnoreFilesTab m_ignoreFiles;
    UnnecessaryFilesTab m_unnecessary;
    FolderListTab m_userFolders;
    UserFilesTab m_userFiles;
    KeepCookiesTab m_cookies;
    BackupsTab m_backups;
};

} // namespace sorvane

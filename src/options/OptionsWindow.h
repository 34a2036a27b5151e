#pragma once
// frmOptions: the editor of every setting and list file. Nine tabs, each a
// child page; nothing is written before Accept except the immediate actions
// of a few buttons (Defaults, deleting a cookie or an archive, Restore).
// The window is not modal: it lives until Accept or Cancel destroys it.
#include "options/BackupsTab.h"
#include "options/KeepCookiesTab.h"
#include "store/ListFiles.h"
#include "store/StartupSettings.h"
#include "win/Dialog.h"

#include <windows.h>

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace sorvane {

// What Accept changes in the running program, and what its backup actions use.
class OptionsHost {
public:
    virtual ~OptionsHost() = default;
    // The delete settings in use; View, Delete and Restore of the Backups
    // tab take their folder from here, not from the edited field.
    virtual const DeleteSettings& deleteSettings() const = 0;
    virtual void setDeleteSettings(const DeleteSettings& settings) = 0;
    // Arms the automatic clean every `minutes` from now, or disarms it.
    virtual void setAutoClean(bool on, int16_t minutes) = 0;
    // Accept wrote the list files: the next clean uses exactly them.
    virtual void listsAccepted() {}
};

// The window's ways out to the user and the shell; tests replace them.
struct OptionsHooks {
    std::function<int(HWND owner, const std::wstring& text, unsigned flags)> ask;
    // A folder chosen in the folder browser, "" when cancelled.
    std::function<std::wstring(HWND owner)> pickFolder;
    // A file chosen in the file dialog (full path), nothing when cancelled.
    std::function<std::optional<std::wstring>(HWND owner)> pickFile;
    // Opens the system's file manager with these parameters.
    std::function<void(const std::wstring& parameters)> explore;
};

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

    int ask(const std::wstring& text, unsigned flags);
    bool checked(int id) const;
    void setChecked(int id, bool on);
    std::wstring text(int id) const;
    void setText(int id, const std::wstring& text);
    std::vector<std::wstring> listEntries(int id) const;
    void addListEntry(int id, const std::wstring& text);
    void removeSelectedEntry(int id);
    void clearList(int id);

    void Form_Load();
    void getFolders(const wchar_t* file, bool userDefinedFolders);
    void getUserDefinedFiles();
    void getSearch();
    // The rules of UNFI.sol, or the factory rules when it is missing or
    // `factory` is set.
    void getUnnecessaryFiles(bool factory = false);
    void getBackup();
    void getGeneral();

    void cmdAccept_Click();
    void saveCookies();
    void saveFolders(const wchar_t* file, bool userDefinedFolders);
    void saveUserDefinedFiles();
    void saveSearch();
    void saveUnnecessaryFiles();
    void saveBackup();
    void saveGeneral();
    // Notes a file a save step could not write; Accept then says which and
    // keeps the window open.
    void saved(bool ok, const wchar_t* file);
    std::vector<std::wstring> m_unsaved;
    // ExtraS as loaded: a malformed value stays unless the box is changed.
    bool m_extraSecurityMalformed = false;
    bool m_extraSecurityShown = false;

    void pickBackupFolder();
    void browseFolderInto(int textId);
    void addFolder(int textId, int listId);
    void removeRedundant(int listId);
    void exploreSelected(int listId);
    // Shows the defaults in the list; its file is written by Accept only.
    void restoreDefaults(int listId, const std::vector<std::wstring>& defaults);
    void cmdIFIAdd_Click();
    void cmdIFIBrowse_Click();
    void cmdIEAdd_Click();
    void cmdUFIBrowse_Click();
    void cmdUDFIAdd_Click();
    void cmdUnnecessaryFilesAdd_Click();
    void cmdUnnecessaryFilesBrowse_Click();
    void cmdUnnecessaryFilesDefaults_Click();
    // Enter in a text box presses the button that takes its text.
    void onEnter();
    void mirrorBackupFolder(int fromId, int toId);

    OptionsHost& m_host;
    OptionsHooks m_hooks;
    HINSTANCE m_instance = nullptr;
    int m_initialTab = 1;
    std::array<HWND, kOptionsTabCount> m_pages{};
    BackupsTab m_backups;
    KeepCookiesTab m_cookies;
};

} // namespace sorvane

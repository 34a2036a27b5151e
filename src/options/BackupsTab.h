#pragma once
// The Backups tab: the zip archives of deleted files and the registry undo
// files of the tools and trace cleaners, side by side, with View, Delete and
// Restore for either kind. The tab's page holds the controls; the options
// window passes its clicks on.
#include "store/StartupSettings.h"
#include "win/Dialog.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace sorvane {

class OptionsHost;
class SaveLog;

class BackupsTab {
public:
    using Ask = std::function<int(HWND owner, const std::wstring& text, unsigned flags)>;
    BackupsTab(OptionsHost& host, Ask ask) : m_host(host), m_ask(std::move(ask)) {}

    // The options window and the page, once both exist; adds the columns.
    void attach(HINSTANCE instance, HWND window, HWND page);
    // getBackup: the backup folder and the overwrite method of a restore.
    void loadSettings();
    // Writes them to Settings.ini [Backup]; a failure is noted in `log`.
    void saveSettings(SaveLog& log) const;
    // getZip: the archives and undo files of `folder` (the folder the tab
    // shows, which may not be accepted yet).
    void load(const std::wstring& folder);
    void view();
    void remove();
    void restore();
    // Restores the archive under the chosen overwrite method: every entry, or
    // only `entries` (1-based) when given; ends with the summary message.
    // `owner` is the window the questions belong to (a viewer's, or the tab's).
    void restoreArchive(const std::wstring& archive, const std::vector<size_t>* entries, HWND owner = nullptr);
    // Writes back what an undo file holds, after asking; ends with what was
    // written and what was not.
    void restoreUndoFile(const std::wstring& file, HWND owner = nullptr);

private:
    HWND control(int id) const { return GetDlgItem(m_page, id); }
    bool checked(int id) const;
    void setChecked(int id, bool on) const;
    int ask(const std::wstring& text, unsigned flags, HWND owner = nullptr);
    // The selected row's file in the folder the list shows; "" when none.
    std::wstring selectedFile() const;
    bool selectedIsUndoFile() const;

    OptionsHost& m_host;
    Ask m_ask;
    HINSTANCE m_instance = nullptr;
    HWND m_window = nullptr, m_page = nullptr;
    std::wstring m_folder;  // the folder the list shows
};

// The viewer of one undo file: its text as it is, and Restore.
class RegFileWindow : public win::Dialog {
public:
    std::wstring fileName;
    std::function<void(HWND owner)> restore;  // without it the button is hidden
    std::function<void()> onLoaded;
    void show(HINSTANCE instance, HWND owner);

private:
    bool onInitDialog() override;
    bool onCommand(int id, int code, HWND control) override;
    void onSize(UINT type, int width, int height) override;
};

// The second question before a backup the program did not make, or that
// was changed since, is written back.
std::wstring unknownBackupQuestion(const std::wstring& name);

// "3 keys, 5 values" of an undo file; "" when it cannot be read as one.
std::wstring undoFileHolds(const std::wstring& file);

} // namespace sorvane

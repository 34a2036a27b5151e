#pragma once
// The tabs of the options window that edit settings and list files. Each tab
// owns its page: it fills the controls from the files, takes the clicks of
// its own buttons, and writes what Accept saves. Nothing is written before
// Accept except where a tab says so.
#include "platform/LogonTask.h"
#include "store/StartupSettings.h"

#include <windows.h>

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
    // The captions of the categories ticked in the main window now.
    virtual std::vector<std::wstring> tickedCategoryCaptions() const { return {}; }
};

// The arguments of the scheduled clean: /clean with the categories and the report.
std::wstring scheduledCleanArguments(const std::vector<std::wstring>& captions, const std::wstring& report);

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

// The files that a save step of Accept could not write, each named once.
class SaveLog {
public:
    void note(bool ok, const wchar_t* file);
    const std::vector<std::wstring>& unsaved() const noexcept { return m_unsaved; }

private:
    std::vector<std::wstring> m_unsaved;
};

// A "0"/"1" setting: any other text is reported and leaves the box alone.
bool flagSetting(const wchar_t* section, const wchar_t* key, const wchar_t* defaultValue);
std::wstring flagText(bool on);

class OptionsPage {
public:
    explicit OptionsPage(const OptionsHooks& hooks) : m_hooks(hooks) {}
    virtual ~OptionsPage() = default;
    OptionsPage(const OptionsPage&) = delete;
    OptionsPage& operator=(const OptionsPage&) = delete;

    // The page, once the window made it.
    void attach(HWND page) { m_page = page; }
    HWND page() const noexcept { return m_page; }
    // The page as the files give it.
    virtual void load() = 0;
    // Writes the page's files; each one that fails is noted in `log`.
    virtual void save(SaveLog& log) = 0;
    // A command of one of the page's controls; false when none of its own.
    virtual bool onCommand(int id, int code) = 0;
    // The button that takes the text of box `textBox` when Enter is pressed
    // in it; 0 when none does.
    virtual int enterButton(int textBox) const = 0;

protected:
    HWND control(int id) const { return GetDlgItem(m_page, id); }
    int ask(const std::wstring& text, unsigned flags) const { return m_hooks.ask(GetParent(m_page), text, flags); }
    std::optional<std::wstring> pickFile() const { return m_hooks.pickFile(GetParent(m_page)); }
    bool checked(int id) const;
    void setChecked(int id, bool on);
    std::wstring text(int id) const;
    void setText(int id, const std::wstring& text);
    std::vector<std::wstring> listEntries(int id) const;
    void addListEntry(int id, const std::wstring& text);
    void removeSelectedEntry(int id);
    // Shows `entries` instead of what the list holds; its file is written by
    // Accept only, so Cancel keeps the user's file as it was.
    void replaceList(int id, const std::vector<std::wstring>& entries);

    const OptionsHooks& m_hooks;

private:
    HWND m_page = nullptr;
};

// General: start with Windows, the start-up and automatic clean, the delete
// method and its options, error reports.
class GeneralTab : public OptionsPage {
public:
    GeneralTab(const OptionsHooks& hooks, OptionsHost& host) : OptionsPage(hooks), m_host(host) {}
    void load() override;
    void save(SaveLog& log) override;
    bool onCommand(int, int) override { return false; }
    int enterButton(int) const override { return 0; }

private:
    // [Schedule] of Settings.ini: how often, which day, what time.
    CleanSchedule savedSchedule() const;
    // Writes [Schedule] and registers the task (or removes it).
    void saveSchedule(SaveLog& log);

    OptionsHost& m_host;
    // ExtraS as loaded: a malformed value stays unless the box is changed.
    bool m_extraSecurityMalformed = false;
    bool m_extraSecurityShown = false;
};

// Searching: the drives and the filters of the drive-wide categories (search.sol).
class SearchTab : public OptionsPage {
public:
    using OptionsPage::OptionsPage;
    void load() override;
    void save(SaveLog& log) override;
    bool onCommand(int, int) override { return false; }
    int enterButton(int) const override { return 0; }
};

// A list of folders: Ignore Folders (UDIFO.sol, with its switch) and User
// defined folders (UDFO.sol, with factory defaults). The same controls on
// each page, by their own ids.
class FolderListTab : public OptionsPage {
public:
    struct Ids {
        const wchar_t* file;
        bool userDefinedFolders;  // UDFO.sol: the defaults when the file is missing
        int list, text, browse, add, remove, redundant, explore;
        int defaults;  // 0 when the tab has none
        int ignoreSwitch;  // Settings.ini [Ignore] Folders; 0 when none
    };
    FolderListTab(const OptionsHooks& hooks, Ids ids) : OptionsPage(hooks), m_ids(ids) {}
    void load() override;
    void save(SaveLog& log) override;
    bool onCommand(int id, int code) override;
    int enterButton(int textBox) const override { return textBox == m_ids.text ? m_ids.add : 0; }

private:
    void addFolder();
    void removeRedundant();
    void exploreSelected();
    Ids m_ids;
};

// Ignore Files: file names (IFI.sol) and extensions (IE.sol), each with its switch.
class IgnoreFilesTab : public OptionsPage {
public:
    using OptionsPage::OptionsPage;
    void load() override;
    void save(SaveLog& log) override;
    bool onCommand(int id, int code) override;
    int enterButton(int textBox) const override;

private:
    void addName();
    void addExtension();
};

// Unnecessary Files: the rules of the Unnecessary files category (UNFI.sol).
class UnnecessaryFilesTab : public OptionsPage {
public:
    using OptionsPage::OptionsPage;
    void load() override;
    void save(SaveLog& log) override;
    bool onCommand(int id, int code) override;
    int enterButton(int textBox) const override;

private:
    // The rules of UNFI.sol, or the factory rules when it is missing or
    // `factory` is set.
    void showRules(bool factory);
    void addRule();
    void browseType();
};

// User defined files: the files the User defined files category removes (UDFI.sol).
class UserFilesTab : public OptionsPage {
public:
    using OptionsPage::OptionsPage;
    void load() override;
    void save(SaveLog& log) override;
    bool onCommand(int id, int code) override;
    int enterButton(int textBox) const override;

private:
    void addFile();
};

} // namespace sorvane

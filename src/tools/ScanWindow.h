#pragma once
// The frame every registry scan window shares: a list with a check box per
// row, Find / Stop / Edit / Delete / Close and their enabling, the abort
// flag, the status label, the delete question, the registry backup that is
// written before anything is deleted, and the layout on resize.
#include "platform/Registry.h"
#include "tools/Scanners.h"
#include "win/CheckList.h"
#include "win/Dialog.h"

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace sorvane {

class ScanWindow : public win::Dialog, public win::CheckedRows {
public:
    struct Column {
        const wchar_t* title;
        int width;
    };
    // Message boxes of the window, owned by it; tests answer them.
    using Ask = std::function<int(HWND owner, const std::wstring& text, unsigned flags)>;
    // Modal dialogs the window opens (Edit); tests replace them.
    using Dialogs = std::function<void(HWND owner, win::Dialog& dialog, int templateId)>;

    void setAsk(Ask ask) { m_ask = std::move(ask); }
    void setDialogs(Dialogs d) { m_dialogs = std::move(d); }
    // Shows the window modally, owned by `owner`.
    void show(HINSTANCE instance, HWND owner);
    HWND listView() const noexcept;
    // Called as the last step of loading (the main window closes its wait
    // notice there).
    std::function<void()> onLoaded;
    // The undo file of the last Delete or Edit; the status line names it.
    const std::wstring& lastBackup() const noexcept { return m_lastBackup; }

    bool abortScan = false;
    int64_t orphanCount = 0;
    bool anyItemChecked() const;
    // The rows keep their check marks (the list only shows them).
    bool rowChecked(int row) const override;
    void setRowChecked(int row, bool on) override;

protected:
    ScanWindow(const wchar_t* caption, const wchar_t* name, std::vector<Column> columns, bool hasEdit,
               bool hasChkDelete, bool hasProgress);

    virtual void cmdFind_Click() = 0;
    virtual void cmdDelete_Click() = 0;
    virtual void cmdEdit_Click() {}
    // Windows with more than the frame: their controls, the height they take
    // above the checkbox and button strip, and a row selected.
    virtual void initExtra() {}
    virtual int extraHeight() const { return 0; }
    virtual void layoutExtra(int /*left*/, int /*top*/, int /*width*/) {}
    virtual void onRowSelected(int /*row*/) {}
    virtual void onRowActivated(int /*row*/) {}
    // Fills in what a row left to be read when it is first needed (drawn, or
    // asked for by cell); rows are added with their first cells only.
    virtual void completeRow(ScanRow& /*row*/) const {}
    void setStatusVisible(bool visible);

    void clearList();
    // Find's first steps: an empty list, the flags reset, Find, Delete and
    // Edit off, Stop on.
    void startScan();
    // The ticked rows, first to last (or last to first).
    std::vector<int> checkedRows(bool lastFirst = false) const;
    // Findings start ticked, except where a window says otherwise.
    int addRow(ScanRow row, bool checked = true);
    int rowCount() const;
    std::wstring cell(int row, int column) const;
    void removeRow(int row);
    // Orders the rows by one column's text, ascending, without regard to case.
    void sortRows(int column);
    int selectedRow() const;
    void selectRow(int row);
    // The text, then where the undo file of the last change was written.
    void setStatus(const std::wstring& text);
    std::wstring undoNote() const;
    // An undo file written for the window by an Edit dialog.
    void noteUndoFile(const std::wstring& file);
    void enable(int id, bool on);
    bool chkDeleteOn() const;
    // Steps 1-3 of Delete: false when there is nothing to do (empty list,
    // nothing ticked, the answer No).
    bool confirmDelete();
    // Saves the items to a registry file in the backup folder, then deletes
    // them. Nothing is deleted, and the user is told, when the file cannot be
    // written whole. An item whose names the file cannot hold is left in
    // place and named to the user; true when anything was deleted, and
    // lastDeleted() tells which items went.
    bool deleteRegistry(const std::vector<RegItem>& items);
    // Per item of the last deleteRegistry: whether it was deleted.
    bool lastDeleted(size_t item) const { return item < m_lastDeleted.size() && m_lastDeleted[item]; }
    // The last deleteRegistry wrote no undo file, so it deleted nothing.
    bool lastBackupFailed() const { return m_lastBackupFailed; }
    // A file named by a row, through the deletion engine and the user's
    // delete method.
    void deleteFile(const std::wstring& path);
    int ask(const std::wstring& text, unsigned flags);
    void openDialog(win::Dialog& dialog, int templateId);
    // Lets the message loop run, once per time slice; true when it did.
    bool yield();
    // Rows added in bulk are drawn once, at the end.
    void beginRows();
    void endRows();

    HINSTANCE m_instance = nullptr;

private:
    bool onInitDialog() override;
    bool onCommand(int id, int code, HWND control) override;
    bool onNotify(NMHDR* header, LRESULT& result) override;
    void onSize(UINT type, int width, int height) override;

    std::wstring m_caption, m_name;
    std::vector<Column> m_columns;
    bool m_hasEdit, m_hasChkDelete, m_hasProgress;
    Ask m_ask;
    Dialogs m_dialogs;
    void showRowCount();

    std::wstring m_lastBackup;
    std::vector<bool> m_lastDeleted;
    bool m_lastBackupFailed = false;
    ULONGLONG m_lastYield = 0;
    // Mutable: a row is completed when it is first read.
    mutable std::vector<ScanRow> m_rows;
    std::vector<char> m_checked;
    bool m_bulk = false;
    std::wstring m_cellText;
};

// The four scanners of stale references.
class ActiveXWindow : public ScanWindow {
public:
    ActiveXWindow();

private:
    void cmdFind_Click() override;
    void cmdDelete_Click() override;
};

class AppPathWindow : public ScanWindow {
public:
    AppPathWindow();

private:
    void cmdFind_Click() override;
    void cmdDelete_Click() override;
    void cmdEdit_Click() override;
};

class SharedDllWindow : public ScanWindow {
public:
    SharedDllWindow();
    int64_t entryCount = 0;

private:
    void cmdFind_Click() override;
    void cmdDelete_Click() override;
    void FindOrphanedDLL();
};

// frmInvalidFile: string values naming missing files or folders.
class InvalidFileWindow : public ScanWindow {
public:
    InvalidFileWindow();
    // Walks only below this key of each root (tests); empty: the whole roots.
    std::wstring startPath;

private:
    void cmdFind_Click() override;
    void cmdDelete_Click() override;
    void initExtra() override;
    int extraHeight() const override;
    void layoutExtra(int left, int top, int width) override;
    void onRowSelected(int row) override;
    void print(const std::wstring& text);
    std::wstring driveList;
    HWND m_picture = nullptr, m_label = nullptr, m_key = nullptr, m_value = nullptr, m_path = nullptr;
};

// frmStartupPrograms: the two Run keys and the two Startup folders.
class StartupWindow : public ScanWindow {
public:
    StartupWindow();
    static const wchar_t* rootName(HKEY root);
    static HKEY rootHandle(const std::wstring& name);
    void getStartup();

private:
    void cmdFind_Click() override {}
    void cmdDelete_Click() override;
    void initExtra() override;
    void loadKeys(HKEY root);
    void loadFolder(HKEY root, const wchar_t* value, const wchar_t* location);
};

// frmUninstall: programs that register an uninstall command.
class UninstallWindow : public ScanWindow {
public:
    UninstallWindow();
    void GetUnInstallFiles();
    // Starts a command line without waiting; the platform's error otherwise.
    static bool runCommand(const std::wstring& commandLine, DWORD& error);

private:
    void cmdFind_Click() override;  // the "&UnInstall" button
    void cmdDelete_Click() override;
    void cmdEdit_Click() override;
    void initExtra() override;
};

// frmFileAssociation: every registered extension and its file type.
class FileAssociationWindow : public ScanWindow {
public:
    FileAssociationWindow();
    void loadAssociations();

private:
    void cmdFind_Click() override {}
    void cmdDelete_Click() override;
    void cmdEdit_Click() override;
    void initExtra() override;
    void onRowActivated(int row) override;
    void completeRow(ScanRow& row) const override;
    void refreshStatus();
    // The classes of both hives, open while the list is shown: a row's type
    // and description are read when the row is first drawn.
    std::unique_ptr<ClassesReader> m_classes;
};

class HelpWindow : public ScanWindow {
public:
    HelpWindow();

private:
    void cmdFind_Click() override;
    void cmdDelete_Click() override;
    void cmdEdit_Click() override;
};

// frmEditAppPath and frmEditHelp: one path, Browse, OK and Close.
// An uninstall command made safe to start: environment strings expanded,
// the program named by the longest start of an unquoted line that is an
// existing file, a bare program name taken from the system folder only.
struct UninstallCommand {
    std::wstring application;  // empty when no existing program is named
    std::wstring commandLine;  // the program quoted, then its arguments
};
UninstallCommand resolveUninstallCommand(const std::wstring& commandLine);

class EditPathDialog : public win::Dialog {
public:
    enum class Kind { AppPath, Help, Uninstall, Association };
    // `key` is the real key under HKEY_LOCAL_MACHINE that holds the value
    // (the application's key, the help key, the program's uninstall key);
    // for an association, the file type's description.
    EditPathDialog(Kind kind, std::wstring name, std::wstring path, std::wstring key);
    // The folder (with its backslash) for a file chosen with Browse.
    static std::wstring folderOfChosen(const std::wstring& chosen);
    // The Browse filter for a name: "*.ext|*.ext", empty without a ".".
    static std::wstring browseFilter(const std::wstring& name);
    bool accepted() const noexcept { return m_accepted; }
    // The undo file of the change OK wrote; empty when nothing was written.
    const std::wstring& undoFile() const noexcept { return m_undoFile; }

private:
    bool onInitDialog() override;
    bool onCommand(int id, int code, HWND control) override;
    void cmdBrowse_Click();
    void cmdOk_Click();

    Kind m_kind;
    std::wstring m_name, strPath, strKey, fileType;
    // Where the association's open command lives.
    HKEY m_root = nullptr;
    std::wstring m_commandKey;
    std::wstring m_undoFile;
    bool m_accepted = false;
};

} // namespace sorvane

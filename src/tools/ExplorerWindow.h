#pragma once
// frmExplorer: a small two-pane file manager. A drive, its folder tree
// loaded one level ahead of what is shown, and the files of the selected
// folder for a mask, with check boxes. Files are deleted for good, folders
// go to the Recycle Bin; both through the deletion engine.
#include "platform/ShellIcons.h"
#include "tools/Explorer.h"
#include "win/CheckList.h"
#include "win/Dialog.h"

#include <windows.h>
#include <commctrl.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace sorvane {

class ExplorerWindow : public win::Dialog, private win::CheckedRows {
public:
    // Message boxes of the window, owned by it; tests answer them.
    using Ask = std::function<int(HWND owner, const std::wstring& text, unsigned flags)>;

    void setAsk(Ask ask) { m_ask = std::move(ask); }
    // Shows the window modally, owned by `owner`.
    void show(HINSTANCE instance, HWND owner);

    // Opens the tree down to `folder` (with its "\") as clicks would,
    // selects it and opens it too; false when a step of the way is not in
    // the tree.
    bool showFolder(const std::wstring& folder);

    HWND tree() const noexcept;
    HWND listView() const noexcept;
    size_t fileCount() const noexcept { return m_files.size(); }
    const ExplorerFile& file(size_t i) const { return m_files.at(i); }
    void setChecked(size_t i, bool on) { m_files.at(i).checked = on; }
    // The key of the selected node, "" when none is.
    std::wstring selectedKey() const;
    // The keys of a node's children ("" for the root's own key), in order.
    std::vector<std::wstring> childKeys(const std::wstring& key) const;
    std::wstring status() const;
    // The row's icon: -1 until the icon thread has found it (the row shows a
    // plain file's icon meanwhile).
    int iconOf(size_t row) const { return m_files.at(row).icon; }
    // Rows whose icon the icon thread has found, of the listing now.
    size_t iconsKnown() const;

    // Called as the last step of loading.
    std::function<void()> onLoaded;

    std::wstring fileMask = L"*.*";
    bool busyLoading = false;

private:
    struct Node {
        std::wstring key;
        bool loaded = false;  // its subfolders are in the tree
    };

    bool onInitDialog() override;
    bool onCommand(int id, int code, HWND control) override;
    bool onNotify(NMHDR* header, LRESULT& result) override;
    void onSize(UINT type, int width, int height) override;
    bool onMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR& result) override;
    void onDestroy() override;

    void Form_Load();
    void cmbDrives_Click();
    void tvwFolders_NodeClick(HTREEITEM node);
    void tvwFolders_Expand(HTREEITEM node);
    void cmdApply_Click();
    void FindFileT(const std::wstring& path, HTREEITEM parent);
    void getFileInPathT(const std::wstring& path, const std::wstring& mask);
    void mnuOpen_Click();
    void mnuDeleteFile_Click();
    void mnuDeleteFolder_Click();
    void mnuFileProperties_Click();
    void mnuFolderProperties_Click();
    void setAllChecks(int how);  // 1 set, 0 clear, -1 toggle
    void enableMenu(HMENU menu);
    void popup(int which);
    void close();

    HTREEITEM addNode(HTREEITEM parent, const std::wstring& key, const std::wstring& text);
    Node* nodeOf(HTREEITEM item) const;
    HTREEITEM findChild(HTREEITEM parent, const std::wstring& name) const;
    void showRoot(const std::wstring& root);
    int selectedRow() const;
    void showStatus();
    bool yield();
    int ask(const std::wstring& text, unsigned flags);

    bool rowChecked(int row) const override;
    void setRowChecked(int row, bool on) override;
    bool checksAllowed() const override { return m_busy == 0; }

    // Long work lets the message loop run; meanwhile the tree, the drives
    // and the commands rest, and a close waits for the work to end.
    class Busy {
    public:
        explicit Busy(ExplorerWindow& w);
        ~Busy();
        Busy(const Busy&) = delete;
        Busy& operator=(const Busy&) = delete;

    private:
        ExplorerWindow& m_w;
    };

    Ask m_ask;
    std::deque<Node> m_nodes;  // each node's lParam is its index here
    std::vector<ExplorerFile> m_files;
    std::wstring m_listedKey;
    std::vector<std::wstring> m_drives;
    win::SmallFileIcons m_icons;
    // The icons of the listing, found off the window's thread.
    std::unique_ptr<win::IconWorker> m_iconWorker;
    uint64_t m_iconGeneration = 0;
    int m_plainIcon = 0;
    // Hands the rows as they are now to the icon thread.
    void restartIcons();
    void takeIcons(uint64_t generation);
    HIMAGELIST m_treeImages = nullptr;
    int m_busy = 0;
    bool m_closeWanted = false;
    ULONGLONG m_lastYield = 0;
    std::wstring m_cellText;
};

} // namespace sorvane

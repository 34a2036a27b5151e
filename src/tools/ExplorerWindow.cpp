#include "tools/ExplorerWindow.h"

#include "core/Deletion.h"
#include "core/ProtectedFolders.h"
#include "platform/AppFolder.h"
#include "platform/DoEvents.h"
#include "platform/ErrorReport.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "resource.h"
#include "store/StartupSettings.h"
#include "win/UniqueHandle.h"

#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>

namespace sorvane {

namespace {

constexpr const wchar_t* kColumns[] = {L"Name",     L"Size",          L"Modified",     L"Attrs",
                                       L"Alternate filename", L"Creation date", L"Last accessed"};
constexpr int kColumnWidths[] = {170, 80, 145, 44, 110, 145, 145};
constexpr int kFileMenu = 0, kFolderMenu = 1, kSelectMenu = 2;
// Posted by the icon thread when it has found icons.
constexpr UINT kIconsFound = WM_APP + 40;

// The closed and the open folder, for every node of the tree.
HIMAGELIST folderImages()
{
    HIMAGELIST images = ImageList_Create(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                         ILC_COLOR32 | ILC_MASK, 2, 0);
    if (!images)
        return nullptr;
    for (UINT open : {0u, static_cast<UINT>(SHGFI_OPENICON)}) {
        SHFILEINFOW info{};
        SHGetFileInfoW(L"folder", FILE_ATTRIBUTE_DIRECTORY, &info, sizeof info,
                       SHGFI_ICON | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES | open);
        win::UniqueIcon icon(info.hIcon);
        if (icon)
            ImageList_AddIcon(images, icon.get());
    }
    return images;
}

} // namespace

ExplorerWindow::Busy::Busy(ExplorerWindow& w) : m_w(w)
{
    if (m_w.m_busy++ == 0)
        for (int id : {IDC_tvwFolders, IDC_cmbDrives, IDC_cmdApply})
            EnableWindow(m_w.item(id), FALSE);
}

ExplorerWindow::Busy::~Busy()
{
    if (--m_w.m_busy > 0)
        return;
    for (int id : {IDC_tvwFolders, IDC_cmbDrives, IDC_cmdApply})
        EnableWindow(m_w.item(id), TRUE);
    if (!GetFocus() && GetActiveWindow() == m_w.hwnd())
        SetFocus(m_w.tree());  // it lost the focus when it was disabled
    if (m_w.m_closeWanted)
        EndDialog(m_w.hwnd(), 0);
}

void ExplorerWindow::show(HINSTANCE instance, HWND owner)
{
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    win::ComInit com;  // shortcut icons and the Properties sheet go through the shell
    showModal(instance, IDD_EXPLORER, owner);
}

HWND ExplorerWindow::tree() const noexcept { return item(IDC_tvwFolders); }
HWND ExplorerWindow::listView() const noexcept { return item(IDC_lstvFiles); }

int ExplorerWindow::ask(const std::wstring& text, unsigned flags)
{
    if (m_ask)
        return m_ask(hwnd(), text, flags);
    return MessageBoxW(hwnd(), text.c_str(), kAppTitle, flags);
}

bool ExplorerWindow::yield()
{
    // Once per time slice: a folder of many thousand entries is not slowed
    // by the message loop, and the window still repaints and closes.
    const ULONGLONG now = GetTickCount64();
    if (now - m_lastYield >= 15) {
        doEvents();
        m_lastYield = GetTickCount64();
    }
    return !m_closeWanted;
}

bool ExplorerWindow::onInitDialog()
{
    HWND list = listView();
    win::installCheckedRows(list, this);
    ListView_SetExtendedListViewStyleEx(list, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    for (int i = 0; i < 7; ++i) {
        LVCOLUMNW c{};
        c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM | LVCF_FMT;
        c.fmt = i == 1 ? LVCFMT_RIGHT : LVCFMT_LEFT;
        c.pszText = const_cast<wchar_t*>(kColumns[i]);
        c.cx = kColumnWidths[i];
        c.iSubItem = i;
        ListView_InsertColumn(list, i, &c);
    }
    if (HIMAGELIST images = win::SmallFileIcons::systemList())
        ListView_SetImageList(list, images, LVSIL_SMALL);
    // A file without a type of its own: what a row shows until its icon is found.
    m_plainIcon = m_icons.iconOf(L"x", L"x");
    m_iconWorker = std::make_unique<win::IconWorker>(hwnd(), kIconsFound);
    m_treeImages = folderImages();
    if (m_treeImages)
        TreeView_SetImageList(tree(), m_treeImages, TVSIL_NORMAL);
    SetDlgItemTextW(hwnd(), IDC_txtMask, L"*.*");
    SetDlgItemTextW(hwnd(), IDC_lblFiles, L"Ready");
    layoutNow();
    Form_Load();
    if (onLoaded)
        onLoaded();
    return true;
}

void ExplorerWindow::onDestroy()
{
    // The icon thread ends before the window it posts to.
    m_iconWorker.reset();
    if (m_treeImages) {
        TreeView_SetImageList(tree(), nullptr, TVSIL_NORMAL);
        ImageList_Destroy(m_treeImages);
        m_treeImages = nullptr;
    }
}

void ExplorerWindow::Form_Load()
{
    busyLoading = true;
    step(L"frmExplorer,Form_Load", [&] {
        m_drives = driveRoots(getDriveList());
        for (const auto& root : m_drives)
            ComboBox_AddString(item(IDC_cmbDrives), root.c_str());
    });
    step(L"frmExplorer,Form_Load", [&] {
        if (m_drives.empty())
            return;
        const size_t selected = systemDriveIndex(m_drives, getWinDir());
        ComboBox_SetCurSel(item(IDC_cmbDrives), static_cast<int>(selected));
        fileMask = L"*.*";
        showRoot(m_drives[selected]);
    });
    busyLoading = false;
    showStatus();
}

void ExplorerWindow::showRoot(const std::wstring& root)
{
    // Clearing the tree selects nothing on the way: no listing of a node
    // that is about to go.
    const bool wasLoading = busyLoading;
    busyLoading = true;
    TreeView_DeleteAllItems(tree());
    m_nodes.clear();
    m_files.clear();
    restartIcons();
    ListView_SetItemCountEx(listView(), 0, 0);
    HTREEITEM node = addNode(TVI_ROOT, root, root);
    busyLoading = wasLoading;
    FindFileT(root, node);
    getFileInPathT(root, fileMask);
    TreeView_Expand(tree(), node, TVE_EXPAND);
    tvwFolders_Expand(node);
    busyLoading = true;  // the listing above stands for this selection
    TreeView_SelectItem(tree(), node);
    busyLoading = wasLoading;
}

void ExplorerWindow::cmbDrives_Click()
{
    if (busyLoading)
        return;
    const int selected = ComboBox_GetCurSel(item(IDC_cmbDrives));
    if (selected < 0 || static_cast<size_t>(selected) >= m_drives.size())
        return;
    step(L"frmExplorer,cmbDrives_Click", [&] { showRoot(m_drives[static_cast<size_t>(selected)]); });
    showStatus();
}

HTREEITEM ExplorerWindow::addNode(HTREEITEM parent, const std::wstring& key, const std::wstring& text)
{
    m_nodes.push_back({key, false});
    TVINSERTSTRUCTW ins{};
    ins.hParent = parent;
    ins.hInsertAfter = TVI_LAST;
    ins.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    ins.item.pszText = const_cast<wchar_t*>(text.c_str());
    ins.item.iImage = 0;
    ins.item.iSelectedImage = 1;
    ins.item.lParam = static_cast<LPARAM>(m_nodes.size() - 1);
    return TreeView_InsertItem(tree(), &ins);
}

ExplorerWindow::Node* ExplorerWindow::nodeOf(HTREEITEM item) const
{
    if (!item)
        return nullptr;
    TVITEMW it{};
    it.mask = TVIF_PARAM;
    it.hItem = item;
    if (!TreeView_GetItem(tree(), &it) || it.lParam < 0 || static_cast<size_t>(it.lParam) >= m_nodes.size())
        return nullptr;
    return const_cast<Node*>(&m_nodes[static_cast<size_t>(it.lParam)]);
}

void ExplorerWindow::FindFileT(const std::wstring& path, HTREEITEM parent)
{
    Node* node = nodeOf(parent);
    if (!node || node->loaded)
        return;
    node->loaded = true;
    const std::wstring key = node->key;  // the deque may grow below
    Busy busy(*this);
    yield();
    std::vector<std::wstring> names;
    step(L"frmExplorer,FindFileT", [&] { names = subfolderNames(path, [this] { return yield(); }); });
    for (const auto& name : names)
        step(L"frmExplorer,FindFileT", [&] { addNode(parent, key + name + L'\\', name); });
}

void ExplorerWindow::tvwFolders_Expand(HTREEITEM node)
{
    // One level of look-ahead: every child shown knows its own subfolders,
    // so each gets its button before it is opened.
    std::vector<HTREEITEM> children;
    for (HTREEITEM c = TreeView_GetChild(tree(), node); c; c = TreeView_GetNextSibling(tree(), c))
        children.push_back(c);
    for (HTREEITEM c : children) {
        if (m_closeWanted)
            return;
        if (const Node* n = nodeOf(c); n && !n->loaded)
            FindFileT(std::wstring(n->key), c);
    }
}

void ExplorerWindow::tvwFolders_NodeClick(HTREEITEM item)
{
    const Node* node = nodeOf(item);
    if (!node)
        return;
    const std::wstring key = node->key;
    SetDlgItemTextW(hwnd(), IDC_lblFiles, L"Retrieving Files");
    {
        Busy busy(*this);
        HCURSOR before = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        if (!node->loaded)
            FindFileT(key, item);
        getFileInPathT(key, fileMask);
        SetCursor(before);
    }
    showStatus();
}

void ExplorerWindow::getFileInPathT(const std::wstring& path, const std::wstring& mask)
{
    Busy busy(*this);
    HWND list = listView();
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    m_files.clear();
    m_icons.clear();
    ListView_SetItemCountEx(list, 0, 0);
    m_listedKey = path;
    std::vector<ExplorerFile> files;
    // A folder without access or a drive without its medium lists nothing.
    step(L"frmExplorer,getFileInPathT", [&] { folderFiles(path, mask, files, [this] { return yield(); }); });
    m_files = std::move(files);
    restartIcons();
    ListView_SetItemCountEx(list, static_cast<int>(m_files.size()), 0);
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

void ExplorerWindow::restartIcons()
{
    if (!m_iconWorker)
        return;
    std::vector<std::wstring> names;
    names.reserve(m_files.size());
    for (const auto& f : m_files)
        names.push_back(f.name);
    m_iconGeneration = m_iconWorker->start(m_listedKey, std::move(names));
}

void ExplorerWindow::takeIcons(uint64_t generation)
{
    if (!m_iconWorker || generation != m_iconGeneration)
        return;
    size_t first = m_files.size(), last = 0;
    for (const auto& [row, icon] : m_iconWorker->take(generation)) {
        if (row >= m_files.size())
            continue;
        m_files[row].icon = icon;
        first = std::min(first, row);
        last = std::max(last, row);
    }
    if (first <= last)
        ListView_RedrawItems(listView(), static_cast<int>(first), static_cast<int>(last));
}

size_t ExplorerWindow::iconsKnown() const { return m_iconWorker ? m_iconWorker->known() : 0; }

std::wstring ExplorerWindow::selectedKey() const
{
    const Node* node = nodeOf(TreeView_GetSelection(tree()));
    return node ? node->key : std::wstring();
}

HTREEITEM ExplorerWindow::findChild(HTREEITEM parent, const std::wstring& name) const
{
    const std::wstring wanted = toLower(name);
    for (HTREEITEM c = parent ? TreeView_GetChild(tree(), parent) : TreeView_GetRoot(tree()); c;
         c = TreeView_GetNextSibling(tree(), c)) {
        const Node* n = nodeOf(c);
        if (!n)
            continue;
        std::wstring text = n->key;
        if (parent) {
            text.pop_back();
            text = text.substr(text.find_last_of(L'\\') + 1);
        }
        if (toLower(text) == wanted)
            return c;
    }
    return nullptr;
}

std::vector<std::wstring> ExplorerWindow::childKeys(const std::wstring& key) const
{
    std::vector<std::wstring> keys;
    HTREEITEM item = nullptr;
    std::vector<HTREEITEM> pending{TreeView_GetRoot(tree())};
    while (!pending.empty() && !item) {
        HTREEITEM at = pending.back();
        pending.pop_back();
        for (; at; at = TreeView_GetNextSibling(tree(), at)) {
            if (const Node* n = nodeOf(at); n && n->key == key) {
                item = at;
                break;
            }
            if (HTREEITEM child = TreeView_GetChild(tree(), at))
                pending.push_back(child);
        }
    }
    for (HTREEITEM c = item ? TreeView_GetChild(tree(), item) : nullptr; c; c = TreeView_GetNextSibling(tree(), c))
        if (const Node* n = nodeOf(c))
            keys.push_back(n->key);
    return keys;
}

bool ExplorerWindow::showFolder(const std::wstring& folder)
{
    if (folder.size() < 3)
        return false;
    const std::wstring root = folder.substr(0, 3);
    HTREEITEM at = findChild(nullptr, root);
    if (!at) {
        const auto drive = std::find_if(m_drives.begin(), m_drives.end(),
                                        [&](const std::wstring& d) { return toLower(d) == toLower(root); });
        if (drive == m_drives.end())
            return false;
        ComboBox_SetCurSel(item(IDC_cmbDrives), static_cast<int>(drive - m_drives.begin()));
        cmbDrives_Click();
        at = findChild(nullptr, root);
    }
    for (const auto& part : split(std::wstring_view(folder).substr(3), L'\\')) {
        if (part.empty() || !at)
            continue;
        if (const Node* n = nodeOf(at); n && !n->loaded)
            FindFileT(std::wstring(n->key), at);
        TreeView_Expand(tree(), at, TVE_EXPAND);
        tvwFolders_Expand(at);
        at = findChild(at, part);
    }
    if (!at)
        return false;
    if (TreeView_GetSelection(tree()) == at)
        tvwFolders_NodeClick(at);
    else
        TreeView_SelectItem(tree(), at);
    TreeView_Expand(tree(), at, TVE_EXPAND);
    tvwFolders_Expand(at);
    return true;
}

void ExplorerWindow::cmdApply_Click()
{
    wchar_t text[1024] = {};
    GetDlgItemTextW(hwnd(), IDC_txtMask, text, 1024);
    fileMask = text;
    if (HTREEITEM node = TreeView_GetSelection(tree()))
        tvwFolders_NodeClick(node);
}

std::wstring ExplorerWindow::status() const
{
    wchar_t text[256] = {};
    GetDlgItemTextW(hwnd(), IDC_lblFiles, text, 256);
    return text;
}

void ExplorerWindow::showStatus()
{
    size_t folders = 0;
    for (HTREEITEM c = TreeView_GetChild(tree(), TreeView_GetSelection(tree())); c; c = TreeView_GetNextSibling(tree(), c))
        ++folders;
    SetDlgItemTextW(hwnd(), IDC_lblFiles, explorerStatus(m_files.size(), folders).c_str());
}

int ExplorerWindow::selectedRow() const
{
    const int row = ListView_GetNextItem(listView(), -1, LVNI_SELECTED);
    return row >= 0 && static_cast<size_t>(row) < m_files.size() ? row : -1;
}

bool ExplorerWindow::rowChecked(int row) const
{
    return row >= 0 && static_cast<size_t>(row) < m_files.size() && m_files[static_cast<size_t>(row)].checked;
}

void ExplorerWindow::setRowChecked(int row, bool on)
{
    if (row < 0 || static_cast<size_t>(row) >= m_files.size())
        return;
    m_files[static_cast<size_t>(row)].checked = on;
    ListView_RedrawItems(listView(), row, row);
}

void ExplorerWindow::setAllChecks(int how)
{
    for (auto& f : m_files)
        f.checked = how < 0 ? !f.checked : how > 0;
    InvalidateRect(listView(), nullptr, FALSE);
}

void ExplorerWindow::mnuOpen_Click()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    // As the signed-in user: a program the user only opens never runs with
    // this program's rights.
    const std::wstring path = m_listedKey + m_files[static_cast<size_t>(row)].name;
    std::wstring error;
    if (!shellOpen(L"Open", path, L"", L"", SW_SHOWNORMAL, &error))
        MessageBoxW(hwnd(), error.c_str(), kAppTitle, MB_OK | MB_ICONEXCLAMATION);
}

void ExplorerWindow::mnuFileProperties_Click()
{
    const int row = selectedRow();
    if (row >= 0)
        showFileProperties(m_listedKey + m_files[static_cast<size_t>(row)].name, hwnd());
}

void ExplorerWindow::mnuFolderProperties_Click()
{
    const std::wstring key = selectedKey();
    if (!key.empty())
        showFileProperties(key, hwnd());
}

void ExplorerWindow::mnuDeleteFile_Click()
{
    if (ask(L"Are you sure you want to delete checked files?", MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    // Rows move while files go: no icon lands on a row until they are settled.
    m_iconGeneration = 0;
    step(L"frmExplorer,mnuDeleteFile_Click", [&] {
        for (size_t i = m_files.size(); i-- > 0;) {
            if (!m_files[i].checked)
                continue;
            if (DeletionEngine::deleteForGood(m_listedKey + m_files[i].name)) {
                m_files.erase(m_files.begin() + static_cast<std::ptrdiff_t>(i));
                ListView_SetItemCountEx(listView(), static_cast<int>(m_files.size()), LVSICF_NOSCROLL);
            } else {
                ask(L"FIle cannot be deleted.", MB_OK | MB_ICONERROR);
            }
        }
    });
    restartIcons();  // the rows below the deleted ones moved up
    if (HTREEITEM node = TreeView_GetSelection(tree()))
        tvwFolders_NodeClick(node);
}

void ExplorerWindow::mnuDeleteFolder_Click()
{
    HTREEITEM item = TreeView_GetSelection(tree());
    const Node* node = nodeOf(item);
    if (!node || !TreeView_GetParent(tree(), item))
        return;  // a drive's root is never deleted
    step(L"frmExplorer,mnuDeleteFolder_Click", [&] {
        std::wstring folder = node->key;
        folder.pop_back();
        const ProtectedFolders guard = ProtectedFolders::gather(getDelete().strBackupPath);
        switch (DeletionEngine::recycleFolder(folder, guard)) {
        case FolderRecycle::Recycled:
            // The tree selects a neighbour, which is listed as it is.
            TreeView_DeleteItem(tree(), item);
            if (!TreeView_GetSelection(tree())) {
                m_files.clear();
                restartIcons();
                ListView_SetItemCountEx(listView(), 0, 0);
            }
            showStatus();
            break;
        case FolderRecycle::Protected:
            ask(L"Folder can not be deleted\r\n\r\nSorvane never removes a drive, the Windows, program or user "
                L"folders, its own folders, or a folder that holds one of them.",
                MB_OK | MB_ICONERROR);
            break;
        case FolderRecycle::Failed: ask(L"Folder can not be deleted", MB_OK | MB_ICONERROR); break;
        }
    });
}

void ExplorerWindow::enableMenu(HMENU menu)
{
    HMENU bar = GetMenu(hwnd());
    const bool rowSelected = selectedRow() >= 0;
    auto set = [menu](int id, bool on) { EnableMenuItem(menu, id, MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED)); };
    if (menu == GetSubMenu(bar, kFileMenu)) {
        for (int id : {IDM_mnuOpen, IDM_mnuDeleteFile, IDM_mnuFileProperties})
            set(id, rowSelected);
        set(IDM_mnuExplorerExit, true);
    } else if (menu == GetSubMenu(bar, kFolderMenu)) {
        const bool nodeSelected = TreeView_GetSelection(tree()) != nullptr;
        set(IDM_mnuDeleteFolder, nodeSelected);
        set(IDM_mnuFolderProperties, nodeSelected);
    } else if (menu == GetSubMenu(bar, kSelectMenu)) {
        set(IDM_ex_mnuSelectAll, rowSelected || !m_files.empty());
        set(IDM_ex_mnuDeselectAll, rowSelected);
        set(IDM_mnuInvertSelection, rowSelected);
    }
}

void ExplorerWindow::popup(int which)
{
    POINT at;
    GetCursorPos(&at);
    HMENU menu = GetSubMenu(GetMenu(hwnd()), which);
    // The window's own menu: WM_INITMENUPOPUP sets its entries on the way.
    TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd(), nullptr);
}

void ExplorerWindow::close()
{
    if (m_busy > 0)
        m_closeWanted = true;  // the work in hand ends first
    else
        EndDialog(hwnd(), 0);
}

bool ExplorerWindow::onCommand(int id, int code, HWND)
{
    if (id == IDCANCEL || id == IDM_mnuExplorerExit) {
        close();
        return true;
    }
    if (m_busy > 0)
        return true;
    switch (id) {
    case IDOK:
        // Enter in the mask applies it; elsewhere it starts nothing.
        if (GetFocus() == item(IDC_txtMask))
            cmdApply_Click();
        return true;
    case IDC_cmdApply: cmdApply_Click(); return true;
    case IDC_cmbDrives:
        if (code == CBN_SELCHANGE)
            cmbDrives_Click();
        return true;
    case IDM_mnuOpen: mnuOpen_Click(); return true;
    case IDM_mnuDeleteFile: mnuDeleteFile_Click(); return true;
    case IDM_mnuFileProperties: mnuFileProperties_Click(); return true;
    case IDM_mnuDeleteFolder: mnuDeleteFolder_Click(); return true;
    case IDM_mnuFolderProperties: mnuFolderProperties_Click(); return true;
    case IDM_ex_mnuSelectAll: setAllChecks(1); return true;
    case IDM_ex_mnuDeselectAll: setAllChecks(0); return true;
    case IDM_mnuInvertSelection: setAllChecks(-1); return true;
    default: return false;
    }
}

bool ExplorerWindow::onNotify(NMHDR* header, LRESULT& result)
{
    if (header->idFrom == IDC_tvwFolders) {
        switch (header->code) {
        case TVN_BEGINLABELEDITW: result = TRUE; return true;  // folders are never renamed here
        case TVN_ITEMEXPANDINGW: {
            const auto* tv = reinterpret_cast<NMTREEVIEWW*>(header);
            if ((tv->action & TVE_EXPAND) && m_busy == 0)
                tvwFolders_Expand(tv->itemNew.hItem);
            return false;
        }
        case TVN_SELCHANGEDW:
            if (!busyLoading)
                tvwFolders_NodeClick(reinterpret_cast<NMTREEVIEWW*>(header)->itemNew.hItem);
            return true;
        case NM_RCLICK:
            if (TreeView_GetSelection(tree()))
                popup(kFolderMenu);
            result = TRUE;
            return true;
        default: return false;
        }
    }
    if (header->idFrom != IDC_lstvFiles)
        return false;
    switch (header->code) {
    case LVN_BEGINLABELEDITW: result = TRUE; return true;
    case NM_RCLICK: popup(kFileMenu); return true;
    case NM_DBLCLK: mnuOpen_Click(); return true;
    case LVN_GETDISPINFOW: {
        LVITEMW& it = reinterpret_cast<NMLVDISPINFOW*>(header)->item;
        if (it.iItem < 0 || static_cast<size_t>(it.iItem) >= m_files.size())
            return true;
        const ExplorerFile& f = m_files[static_cast<size_t>(it.iItem)];
        if ((it.mask & LVIF_TEXT) && it.pszText && it.cchTextMax > 0) {
            m_cellText = explorerCell(f, it.iSubItem);
            lstrcpynW(it.pszText, m_cellText.c_str(), it.cchTextMax);
        }
        if (it.mask & LVIF_IMAGE) {
            it.iImage = f.icon >= 0 ? f.icon : m_plainIcon;
            // A row on screen without its icon is looked up next.
            if (f.icon < 0 && m_iconWorker)
                m_iconWorker->prefer(static_cast<size_t>(it.iItem));
        }
        win::fillCheckState(it, f.checked);
        return true;
    }
    default: return false;
    }
}

bool ExplorerWindow::onMessage(UINT msg, WPARAM wp, LPARAM, INT_PTR& result)
{
    if (msg == kIconsFound) {
        takeIcons(static_cast<uint64_t>(wp));
        result = 0;
        return true;
    }
    if (msg == WM_INITMENUPOPUP) {
        enableMenu(reinterpret_cast<HMENU>(wp));
        result = 0;
        return true;
    }
    return false;
}

void ExplorerWindow::onSize(UINT type, int width, int height)
{
    if (type == SIZE_MINIMIZED)
        return;
    // Drives along the top, the tree left and the files right, the mask and
    // the status along the bottom.
    RECT u{4, 14, 40, 13};  // margin, button height, mask label, edit height
    MapDialogRect(hwnd(), &u);
    const int m = u.left, bh = u.top, lw = u.right, eh = u.bottom;
    RECT combo;
    GetWindowRect(item(IDC_cmbDrives), &combo);
    const int ch = combo.bottom - combo.top;
    MoveWindow(item(IDC_lblDrive), m, m + 3, lw, eh, TRUE);
    MoveWindow(item(IDC_cmbDrives), m + lw, m, std::min(200, std::max(0, width - 2 * m - lw)), 200, TRUE);
    const int top = m + ch + m, bottom = height - m - bh - m;
    const int treeWidth = std::max(80, (width - 3 * m) * 3 / 10);
    MoveWindow(tree(), m, top, treeWidth, std::max(0, bottom - top), TRUE);
    MoveWindow(listView(), 2 * m + treeWidth, top, std::max(0, width - 3 * m - treeWidth), std::max(0, bottom - top),
               TRUE);
    const int y = height - m - bh;
    MoveWindow(item(IDC_lblMask), m, y + 3, lw, eh, TRUE);
    MoveWindow(item(IDC_txtMask), m + lw, y, 2 * lw + m, bh, TRUE);
    const int applyLeft = m + 3 * lw + 2 * m;
    MoveWindow(item(IDC_cmdApply), applyLeft, y, lw, bh, TRUE);
    const int statusLeft = applyLeft + lw + 2 * m;
    MoveWindow(item(IDC_lblFiles), statusLeft, y + 3, std::max(0, width - statusLeft - m), eh, TRUE);
}

} // namespace sorvane

#include "tools/ScanWindow.h"

#include "core/Deletion.h"
#include "platform/AppFolder.h"
#include "platform/DoEvents.h"
#include "platform/SystemPaths.h"
#include "resource.h"
#include "store/BackupArchive.h"
#include "store/RegistryUndo.h"
#include "store/StartupSettings.h"

#include <algorithm>
#include <utility>

namespace sorvane {

namespace {

constexpr int kButtons[] = {IDC_scan_cmdFind, IDC_scan_cmdStop, IDC_scan_cmdEdit, IDC_scan_cmdDelete};

} // namespace

ScanWindow::ScanWindow(const wchar_t* caption, const wchar_t* name, std::vector<Column> columns, bool hasEdit,
                       bool hasChkDelete, bool hasProgress)
    : m_caption(caption), m_name(name), m_columns(std::move(columns)), m_hasEdit(hasEdit),
      m_hasChkDelete(hasChkDelete), m_hasProgress(hasProgress),
      m_ask([](HWND owner, const std::wstring& text, unsigned flags) {
          return MessageBoxW(owner, text.c_str(), kAppTitle, flags);
      }),
      m_dialogs([this](HWND owner, win::Dialog& d, int id) { d.showModal(m_instance, id, owner); })
{
}

void ScanWindow::show(HINSTANCE instance, HWND owner)
{
    m_instance = instance;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    showModal(instance, IDD_SCAN, owner);
}

HWND ScanWindow::listView() const noexcept { return item(IDC_scan_list); }

int ScanWindow::ask(const std::wstring& text, unsigned flags) { return m_ask(hwnd(), text, flags); }

void ScanWindow::openDialog(win::Dialog& dialog, int templateId) { m_dialogs(hwnd(), dialog, templateId); }

bool ScanWindow::yield()
{
    // At most once per time slice: a scan of tens of thousands of values is
    // not dominated by the message loop, and Stop is still served at once.
    const ULONGLONG now = GetTickCount64();
    if (now - m_lastYield < 15)
        return false;
    doEvents();
    doEvents();
    m_lastYield = GetTickCount64();
    return true;
}

void ScanWindow::beginRows() { m_bulk = true; }

void ScanWindow::endRows()
{
    m_bulk = false;
    showRowCount();
}

void ScanWindow::showRowCount()
{
    ListView_SetItemCountEx(listView(), static_cast<int>(std::min<size_t>(m_rows.size(), INT32_MAX)), 0);
    InvalidateRect(listView(), nullptr, TRUE);
}

bool ScanWindow::onInitDialog()
{
    SetWindowTextW(hwnd(), m_caption.c_str());
    HWND list = listView();
    win::installCheckedRows(list, this);
    for (size_t i = 0; i < m_columns.size(); ++i) {
        LVCOLUMNW c{};
        c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        c.pszText = const_cast<wchar_t*>(m_columns[i].title);
        c.cx = m_columns[i].width;
        c.iSubItem = static_cast<int>(i);
        ListView_InsertColumn(list, static_cast<int>(i), &c);
    }
    ShowWindow(item(IDC_scan_cmdEdit), m_hasEdit ? SW_SHOW : SW_HIDE);
    ShowWindow(item(IDC_scan_chkDelete), m_hasChkDelete ? SW_SHOW : SW_HIDE);
    ShowWindow(item(IDC_scan_pgKeys), m_hasProgress ? SW_SHOW : SW_HIDE);
    setStatus(L"Ready");
    initExtra();
    layoutNow();
    if (onLoaded)
        onLoaded();
    return true;
}

void ScanWindow::onSize(UINT type, int width, int height)
{
    if (type == SIZE_MINIMIZED)
        return;
    const int margin = win::twipsToPixels(hwnd(), 100), right = win::twipsToPixels(hwnd(), 120);
    RECT b{0, 0, 50, 14};
    MapDialogRect(hwnd(), &b);
    const int bh = b.bottom, bw = b.right, gap = margin / 2;
    const int buttonsTop = height - margin - bh;
    int above = buttonsTop - gap;
    if (m_hasChkDelete) {
        above -= bh;
        MoveWindow(item(IDC_scan_chkDelete), margin, above, std::max(0, width - margin - right), bh, TRUE);
        above -= gap;
    }
    if (m_hasProgress) {
        above -= bh / 2;
        MoveWindow(item(IDC_scan_pgKeys), margin, above, std::max(0, width - margin - right), bh / 2, TRUE);
        above -= gap;
    }
    const int extra = extraHeight();
    if (extra > 0) {
        above -= extra;
        layoutExtra(margin, above, std::max(0, width - margin - right));
        above -= gap;
    }
    MoveWindow(listView(), margin, margin, std::max(0, width - margin - right), std::max(0, above - margin), TRUE);
    int x = margin;
    for (int id : kButtons) {
        if (!(GetWindowLongPtrW(item(id), GWL_STYLE) & WS_VISIBLE))
            continue;  // a button this window does not have
        MoveWindow(item(id), x, buttonsTop, bw, bh, TRUE);
        x += bw + gap;
    }
    const int closeLeft = width - right - bw;
    MoveWindow(item(IDC_scan_cmdClose), closeLeft, buttonsTop, bw, bh, TRUE);
    RECT label;
    GetWindowRect(item(IDC_scan_lblStatus), &label);
    const int lh = label.bottom - label.top;
    MoveWindow(item(IDC_scan_lblStatus), x, buttonsTop + (bh - lh) / 2, std::max(0, closeLeft - gap - x), lh, TRUE);
    if (type == SIZE_MAXIMIZED)
        autoSizeColumns(listView());
}

bool ScanWindow::onCommand(int id, int, HWND)
{
    switch (id) {
    case IDC_scan_cmdFind: cmdFind_Click(); return true;
    case IDC_scan_cmdStop: abortScan = true; return true;
    case IDC_scan_cmdEdit: cmdEdit_Click(); return true;
    case IDC_scan_cmdDelete: cmdDelete_Click(); return true;
    case IDC_scan_cmdClose:
    case IDCANCEL:
        abortScan = true;
        EndDialog(hwnd(), 0);
        return true;
    default: return false;
    }
}

bool ScanWindow::onNotify(NMHDR* header, LRESULT& result)
{
    if (header->idFrom != IDC_scan_list)
        return false;
    if (header->code == LVN_BEGINLABELEDITW) {
        result = TRUE;  // rows are never renamed
        return true;
    }
    if (header->code == NM_DBLCLK) {
        const int row = reinterpret_cast<NMITEMACTIVATE*>(header)->iItem;
        if (row >= 0 && row < rowCount())
            onRowActivated(row);
        return true;
    }
    if (header->code == LVN_ITEMCHANGED) {
        const auto* change = reinterpret_cast<NMLISTVIEW*>(header);
        if ((change->uNewState & LVIS_SELECTED) && !(change->uOldState & LVIS_SELECTED) && change->iItem >= 0)
            onRowSelected(change->iItem);
        return false;
    }
    if (header->code == LVN_GETDISPINFOW) {
        LVITEMW& it = reinterpret_cast<NMLVDISPINFOW*>(header)->item;
        if (it.iItem < 0 || it.iItem >= rowCount())
            return true;
        if ((it.mask & LVIF_TEXT) && it.pszText && it.cchTextMax > 0) {
            m_cellText = cell(it.iItem, it.iSubItem);
            lstrcpynW(it.pszText, m_cellText.c_str(), it.cchTextMax);
        }
        win::fillCheckState(it, rowChecked(it.iItem));
        return true;
    }
    return false;
}

void ScanWindow::clearList()
{
    m_rows.clear();
    m_checked.clear();
    showRowCount();
}

void ScanWindow::startScan()
{
    clearList();
    abortScan = false;
    orphanCount = 0;
    for (int id : {IDC_scan_cmdFind, IDC_scan_cmdDelete, IDC_scan_cmdEdit})
        enable(id, false);
    enable(IDC_scan_cmdStop, true);
}

std::vector<int> ScanWindow::checkedRows(bool lastFirst) const
{
    std::vector<int> rows;
    for (int i = 0; i < rowCount(); ++i)
        if (rowChecked(i))
            rows.push_back(i);
    if (lastFirst)
        std::reverse(rows.begin(), rows.end());
    return rows;
}

int ScanWindow::addRow(ScanRow row, bool checked)
{
    m_rows.push_back(std::move(row));
    m_checked.push_back(checked ? 1 : 0);
    ++orphanCount;
    if (!m_bulk)
        showRowCount();
    return static_cast<int>(m_rows.size()) - 1;
}

int ScanWindow::rowCount() const { return static_cast<int>(m_rows.size()); }

bool ScanWindow::rowChecked(int row) const
{
    return row >= 0 && static_cast<size_t>(row) < m_checked.size() && m_checked[static_cast<size_t>(row)];
}

void ScanWindow::setRowChecked(int row, bool on)
{
    if (row >= 0 && static_cast<size_t>(row) < m_checked.size()) {
        m_checked[static_cast<size_t>(row)] = on ? 1 : 0;
        ListView_RedrawItems(listView(), row, row);
    }
}

std::wstring ScanWindow::cell(int row, int column) const
{
    if (row < 0 || static_cast<size_t>(row) >= m_rows.size())
        return L"";
    ScanRow& r = m_rows[static_cast<size_t>(row)];
    if (column > 0 && static_cast<size_t>(column) >= r.size())
        completeRow(r);
    return column >= 0 && static_cast<size_t>(column) < r.size() ? r[static_cast<size_t>(column)] : L"";
}

void ScanWindow::sortRows(int column)
{
    if (column > 0)
        for (auto& row : m_rows)
            if (row.size() <= static_cast<size_t>(column))
                completeRow(row);
    std::vector<size_t> order(m_rows.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    const auto text = [&](size_t i) {
        return static_cast<size_t>(column) < m_rows[i].size() ? m_rows[i][static_cast<size_t>(column)].c_str() : L"";
    };
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return lstrcmpiW(text(a), text(b)) < 0; });
    std::vector<ScanRow> rows;
    std::vector<char> checked;
    for (size_t i : order) {
        rows.push_back(std::move(m_rows[i]));
        checked.push_back(m_checked[i]);
    }
    m_rows = std::move(rows);
    m_checked = std::move(checked);
    showRowCount();
}

void ScanWindow::removeRow(int row)
{
    if (row < 0 || static_cast<size_t>(row) >= m_rows.size())
        return;
    m_rows.erase(m_rows.begin() + row);
    m_checked.erase(m_checked.begin() + row);
    if (!m_bulk)
        showRowCount();
}

int ScanWindow::selectedRow() const { return ListView_GetNextItem(listView(), -1, LVNI_SELECTED); }

void ScanWindow::selectRow(int row)
{
    ListView_SetItemState(listView(), row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

void ScanWindow::setStatus(const std::wstring& text)
{
    SetDlgItemTextW(hwnd(), IDC_scan_lblStatus, (text + undoNote()).c_str());
}

std::wstring ScanWindow::undoNote() const
{
    return m_lastBackup.empty() ? std::wstring() : L"    Undo file: " + m_lastBackup;
}

void ScanWindow::noteUndoFile(const std::wstring& file)
{
    if (!file.empty())
        m_lastBackup = file;
}

void ScanWindow::setStatusVisible(bool visible) { ShowWindow(item(IDC_scan_lblStatus), visible ? SW_SHOW : SW_HIDE); }

void ScanWindow::enable(int id, bool on) { EnableWindow(item(id), on ? TRUE : FALSE); }

bool ScanWindow::chkDeleteOn() const { return IsDlgButtonChecked(hwnd(), IDC_scan_chkDelete) == BST_CHECKED; }

bool ScanWindow::anyItemChecked() const
{
    for (int i = 0, n = rowCount(); i < n; ++i)
        if (rowChecked(i))
            return true;
    return false;
}

bool ScanWindow::confirmDelete()
{
    if (!anyItemChecked()) {
        ask(L"Please check atleast one item to delete.", MB_OK | MB_ICONINFORMATION);
        return false;
    }
    return ask(L"Are you sure you want to delete the checked item(s)", MB_YESNO | MB_ICONQUESTION) == IDYES;
}

bool ScanWindow::deleteRegistry(const std::vector<RegItem>& items)
{
    m_lastDeleted.clear();
    m_lastBackupFailed = false;
    if (items.empty())
        return true;
    const RegBackup backup = backUpAndDeleteRegistry(m_name, items);
    m_lastDeleted = backup.itemDeleted;
    m_lastBackupFailed = backup.failed;
    if (backup.failed) {
        ask(L"The registry entries could not be saved to a backup file in the backup folder, so nothing was deleted.",
            MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    if (!backup.file.empty())
        m_lastBackup = backup.file;
    if (!backup.leftInPlace.empty()) {
        std::wstring text = L"These entries hold a line break or another control character in a name, so they "
                            L"cannot be saved for undo and were left in place:\r\n";
        for (const auto& name : backup.leftInPlace)
            text += L"\r\n" + name;
        ask(text, MB_OK | MB_ICONEXCLAMATION);
    }
    if (!backup.stayed.empty()) {
        std::wstring text = L"These entries were saved for undo but could not be deleted:\r\n";
        for (const auto& line : backup.stayed)
            text += L"\r\n" + line;
        ask(text, MB_OK | MB_ICONEXCLAMATION);
    }
    return backup.deleted > 0;
}

void ScanWindow::deleteFile(const std::wstring& path)
{
    RunState run;
    SilentUi ui;
    const DeleteSettings settings = getDelete();
    {
        DeletionEngine engine(ui, run, settings);
        // A relative path would be taken from the current folder: the engine
        // refuses it before anything asks the file system.
        if (!isFullLocalPath(path) || pathExists(path))
            engine.deleteOneFile(path);
        engine.flushBackups();
    }
    finishBackupArchive();  // with the backup method, the archive is complete
    if (!run.keptFiles.empty()) {
        std::wstring text = L"These files were kept:\r\n";
        for (const auto& line : run.keptFiles)
            text += L"\r\n" + line;
        ask(text, MB_OK | MB_ICONEXCLAMATION);
    }
}

} // namespace sorvane

#include "cleaners/ReviewWindow.h"

#include "core/Deletion.h"
#include "core/FileSearch.h"
#include "platform/AppFolder.h"
#include "platform/ErrorReport.h"
#include "platform/ShellIcons.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "resource.h"
#include "store/BackupArchive.h"
#include "win/CheckList.h"
#include "win/UniqueHandle.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>

namespace sorvane {

namespace {

constexpr ULONGLONG kRepaintMs = 100;
constexpr int kButtons[] = {IDC_del_cmdSelectAll, IDC_del_cmdDeselectAll, IDC_cmdDeleteAll, IDC_cmdDeleteChecked,
                            IDC_del_cmdExit};

} // namespace

ReviewWindow::ReviewWindow()
    : m_ask([](HWND owner, const std::wstring& text, unsigned flags) {
          return MessageBoxW(owner, text.c_str(), kAppTitle, flags);
      })
{
}

ReviewWindow::~ReviewWindow()
{
    if (hwnd())
        DestroyWindow(hwnd());
}

bool ReviewWindow::create(HINSTANCE instance, HWND owner)
{
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    return createModeless(instance, IDD_DELETION, owner) != nullptr;
}

HWND ReviewWindow::listView() const noexcept { return item(IDC_lstvDeletion); }

int ReviewWindow::ask(const std::wstring& text, unsigned flags) { return m_ask(hwnd(), text, flags); }

bool ReviewWindow::onInitDialog()
{
    HWND list = listView();
    // The check marks live in the rows: the list asks for them.
    win::installCheckedRows(list, this);
    struct Column {
        const wchar_t* title;
        int width;
        int format;
    };
    const Column columns[] = {{L"Name", 150, LVCFMT_LEFT},
                              {L"Bytes", 80, LVCFMT_RIGHT},
                              {L"Date/Time", 140, LVCFMT_LEFT},
                              {L"Attribute", 72, LVCFMT_LEFT},
                              {L"Path", 280, LVCFMT_LEFT}};
    for (int i = 0; i < 5; ++i) {
        LVCOLUMNW c{};
        c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
        c.pszText = const_cast<wchar_t*>(columns[i].title);
        c.cx = columns[i].width;
        c.fmt = columns[i].format;
        c.iSubItem = i;
        ListView_InsertColumn(list, i, &c);
    }
    SetDlgItemTextW(hwnd(), IDC_lblTotalFiles, reviewTotalLabel(m_list.size()).c_str());
    layoutNow();
    return true;
}

void ReviewWindow::onSize(UINT type, int width, int height)
{
    if (type == SIZE_MINIMIZED)
        return;
    // The bottom panel spans the width; the buttons share one row in it, 200
    // twips below its top edge; the list fills what is above.
    const int gap = win::twipsToPixels(hwnd(), 200);
    const int margin = win::twipsToPixels(hwnd(), 110);
    RECT b{0, 0, 60, 14};
    MapDialogRect(hwnd(), &b);
    const int buttonHeight = b.bottom;
    const int panelTop = std::max(0, height - buttonHeight - 2 * gap);
    const int buttonTop = panelTop + gap;
    HDWP dwp = BeginDeferWindowPos(8);
    const auto place = [&](int id, int x, int y, int w, int h) {
        if (dwp)
            dwp = DeferWindowPos(dwp, item(id), nullptr, x, y, std::max(0, w), std::max(0, h),
                                 SWP_NOZORDER | SWP_NOACTIVATE);
    };
    place(IDC_Picture1, 0, panelTop, width, height - panelTop);
    int right = width - margin;
    for (int i = 4; i >= 0; --i) {
        RECT r;
        GetWindowRect(item(kButtons[i]), &r);
        const int w = r.right - r.left;
        right -= w;
        place(kButtons[i], right, buttonTop, w, buttonHeight);
        right -= margin / 2;
    }
    RECT label;
    GetWindowRect(item(IDC_lblTotalFiles), &label);
    const int labelHeight = label.bottom - label.top;
    place(IDC_lblTotalFiles, margin, buttonTop + (buttonHeight - labelHeight) / 2, right - 2 * margin, labelHeight);
    place(IDC_lstvDeletion, margin, margin, width - 2 * margin, buttonTop - win::twipsToPixels(hwnd(), 400) + gap);
    if (dwp)
        EndDeferWindowPos(dwp);
    if (type == SIZE_MAXIMIZED)
        autoSizeColumns(listView());
}

void ReviewWindow::refreshRows()
{
    ListView_SetItemCountEx(listView(), static_cast<int>(std::min<size_t>(m_list.size(), INT32_MAX)), 0);
    redrawRows();
}

void ReviewWindow::redrawRows() { InvalidateRect(listView(), nullptr, FALSE); }

int ReviewWindow::iconOf(size_t row)
{
    ReviewItem& it = m_list.at(row);
    if (it.icon < 0)
        it.icon = m_icons.iconOf(it.fullPath(), it.row.name);
    return it.icon;
}

void ReviewWindow::addIcons()
{
    if (m_list.empty())
        return;
    // The system's list is shared (the list view was made not to destroy it);
    // each row takes its icon from it when it is first drawn.
    if (HIMAGELIST images = win::SmallFileIcons::systemList())
        ListView_SetImageList(listView(), images, LVSIL_SMALL);
    m_icons.clear();
    for (size_t i = 0; i < m_list.size(); ++i)
        m_list.at(i).icon = -1;
}

void ReviewWindow::showModal(const ReviewTools& tools, EngineUi& status)
{
    if (!hwnd())
        return;
    win::ComInit com;  // shortcut icons are read through the shell
    m_tools = &tools;
    m_status = &status;
    m_closed = false;
    SetDlgItemTextW(hwnd(), IDC_lblTotalFiles, reviewTotalLabel(m_list.size()).c_str());
    addIcons();
    refreshRows();
    HWND owner = GetWindow(hwnd(), GW_OWNER);
    const bool ownerEnabled = owner && IsWindowEnabled(owner);
    if (ownerEnabled)
        EnableWindow(owner, FALSE);
    ShowWindow(hwnd(), SW_SHOW);
    SetForegroundWindow(hwnd());
    SetFocus(listView());
    bool quit = false;
    WPARAM quitCode = 0;
    MSG msg;
    while (!m_closed && hwnd()) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) {
            quit = got == 0;
            quitCode = msg.wParam;
            break;
        }
        if (IsDialogMessageW(hwnd(), &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    // The owner is enabled before this window goes, so it gets the focus back.
    if (ownerEnabled)
        EnableWindow(owner, TRUE);
    if (hwnd())
        DestroyWindow(hwnd());
    step(L"frmDeletetion,Form_Unload", [&] { tools.search.clearFoundLists(); });
    m_list.clear();
    m_tools = nullptr;
    m_status = nullptr;
    if (quit)
        PostQuitMessage(static_cast<int>(quitCode));
}

void ReviewWindow::closeWindow()
{
    if (m_busy || m_closed)
        return;
    if (m_tools && !m_tools->run.bAbort)
        m_tools->run.strLog += reviewLogLine(m_list.deletedCount(), m_list.deletedBytes());
    m_closed = true;
    // Wakes the modal loop, which may be waiting for a message.
    PostMessageW(hwnd(), WM_NULL, 0, 0);
}

void ReviewWindow::mnuExit_Click()
{
    m_list.clear();
    refreshRows();
    closeWindow();
}

void ReviewWindow::mnuAbort_Click()
{
    if (!m_tools)
        return;
    m_tools->run.bAbort = -1;
    discardRunArchive(m_tools->run);
    m_list.clear();
    refreshRows();
    if (m_status) {
        m_status->setStatus(L"");
        m_status->setStatus(L"Aborted by user");
    }
    closeWindow();
}

void ReviewWindow::setBusy(bool busy)
{
    m_busy = busy;
    for (int id : kButtons)
        EnableWindow(item(id), busy ? FALSE : TRUE);
    HMENU menu = GetMenu(hwnd());
    for (UINT pos = 0; menu && pos < 2; ++pos)
        EnableMenuItem(menu, pos, MF_BYPOSITION | (busy ? MF_GRAYED : MF_ENABLED));
    DrawMenuBar(hwnd());
}

// Keeps the window painting while a command runs. Commands posted meanwhile
// wait for the end of this one; clicks go nowhere (the buttons are off).
void ReviewWindow::pumpWhileBusy()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT || ((msg.message == WM_COMMAND || msg.message == WM_CLOSE) && msg.hwnd == hwnd())) {
            m_deferred.push_back(msg);
            if (msg.message == WM_QUIT)
                break;
            continue;
        }
        if (IsDialogMessageW(hwnd(), &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void ReviewWindow::deleteCommand(bool checkedOnly)
{
    if (!m_tools)
        return;
    setBusy(true);
    m_lastPaint = GetTickCount64();
    ReviewDeleteHooks hooks;
    DeletionEngine& deletion = m_tools->deletion;
    hooks.deleteOne = [&](const std::wstring& path, uint64_t&) { return deletion.deleteOneFile(path); };
    hooks.settle = [&] { return deletion.flushBackups(); };
    hooks.onProgress = [&](const ReviewTally& sofar) {
        const ULONGLONG now = GetTickCount64();
        if (now - m_lastPaint < kRepaintMs)
            return;
        SetDlgItemTextW(hwnd(), IDC_lblTotalFiles, reviewResultLabel(sofar).c_str());
        pumpWhileBusy();
        m_lastPaint = GetTickCount64();
    };
    if (checkedOnly)
        hooks.onFailure = [&](const std::wstring& path) {
            ask(L"The file: \r\n" + path + L"\r\n\r\n cannot be deleted.", MB_OK | MB_ICONINFORMATION);
        };
    ReviewTally tally;
    try {
        tally = m_list.deleteRows(checkedOnly, m_tools->run, hooks);
    } catch (...) {
        setBusy(false);
        refreshRows();
        throw;
    }
    deletion.flushBackups();
    setBusy(false);
    refreshRows();
    SetDlgItemTextW(hwnd(), IDC_lblTotalFiles, reviewResultLabel(tally).c_str());
    for (const MSG& m : m_deferred)
        if (m.message == WM_QUIT)
            PostQuitMessage(static_cast<int>(m.wParam));
        else
            PostMessageW(m.hwnd, m.message, m.wParam, m.lParam);
    m_deferred.clear();
}

void ReviewWindow::mnuDeleteAll_Click()
{
    if (m_list.empty())
        return;
    if (ask(L"Are you sure you want to delete selected file?", MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    deleteCommand(false);
}

void ReviewWindow::mnuDeleteSelected_Click()
{
    if (m_list.empty())
        return;
    if (!m_list.anyChecked()) {
        ask(L"Please check atleast one item to delete.", MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (ask(L"Are you sure you want to delete checked files?", MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    deleteCommand(true);
}

int ReviewWindow::selectedRow() const
{
    return ListView_GetNextItem(listView(), -1, LVNI_SELECTED);
}

void ReviewWindow::mnuProperties_Click()
{
    const int row = selectedRow();
    if (row >= 0 && static_cast<size_t>(row) < m_list.size())
        showFileProperties(m_list.at(static_cast<size_t>(row)).fullPath(), hwnd());
}

bool ReviewWindow::rowChecked(int row) const
{
    return row >= 0 && static_cast<size_t>(row) < m_list.size() && m_list.at(static_cast<size_t>(row)).checked;
}

void ReviewWindow::setRowChecked(int row, bool on)
{
    if (row >= 0 && static_cast<size_t>(row) < m_list.size())
        m_list.setChecked(static_cast<size_t>(row), on);
}

bool ReviewWindow::onCommand(int id, int, HWND)
{
    if (m_busy)
        return true;
    switch (id) {
    case IDC_cmdDeleteAll:
    case IDM_mnuDeleteAll:
        step(L"frmDeletetion,mnuDeleteAll_Click", [&] { mnuDeleteAll_Click(); });
        return true;
    case IDC_cmdDeleteChecked:
    case IDM_mnuDeleteSelected:
        step(L"frmDeletetion,mnuDeleteSelected_Click", [&] { mnuDeleteSelected_Click(); });
        return true;
    case IDM_mnuProperties: mnuProperties_Click(); return true;
    case IDM_mnuAbort: mnuAbort_Click(); return true;
    case IDC_del_cmdExit:
    case IDM_del_mnuExit: mnuExit_Click(); return true;
    case IDC_del_cmdSelectAll:
    case IDM_mnuSelectAll:
        m_list.selectAll();
        redrawRows();
        return true;
    case IDC_del_cmdDeselectAll:
    case IDM_mnuDeselectAll:
        m_list.deselectAll();
        redrawRows();
        return true;
    case IDM_mnuInvertSecletion:
        m_list.invertSelection();
        redrawRows();
        return true;
    case IDCANCEL: closeWindow(); return true;  // Esc: as the close box
    case IDOK: return true;
    default: return false;
    }
}

void ReviewWindow::getDispInfo(NMLVDISPINFOW& info)
{
    LVITEMW& lv = info.item;
    if (lv.iItem < 0 || static_cast<size_t>(lv.iItem) >= m_list.size())
        return;
    const size_t row = static_cast<size_t>(lv.iItem);
    const ReviewItem& it = m_list.at(row);
    if ((lv.mask & LVIF_TEXT) && lv.pszText && lv.cchTextMax > 0) {
        switch (lv.iSubItem) {
        case 0: m_cellText = it.row.name; break;
        case 1: m_cellText = std::to_wstring(it.row.size); break;
        case 2: m_cellText = it.row.dateTime; break;
        case 3: m_cellText = it.row.attributes; break;
        case 4: m_cellText = it.row.folder; break;
        default: m_cellText.clear(); break;
        }
        lstrcpynW(lv.pszText, m_cellText.c_str(), lv.cchTextMax);
    }
    if (lv.mask & LVIF_IMAGE)
        lv.iImage = iconOf(row);
    win::fillCheckState(lv, it.checked);
}

int ReviewWindow::findItem(const NMLVFINDITEMW& find) const
{
    // Typing a name's first letters selects the next row with that name.
    if (!(find.lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)) || !find.lvfi.psz || m_list.empty())
        return -1;
    const std::wstring prefix = toLower(find.lvfi.psz);
    const size_t n = m_list.size();
    const size_t start = find.iStart >= 0 ? static_cast<size_t>(find.iStart) % n : 0;
    for (size_t k = 0; k < n; ++k) {
        const size_t i = (start + k) % n;
        if (toLower(m_list.at(i).row.name).rfind(prefix, 0) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

bool ReviewWindow::onNotify(NMHDR* header, LRESULT& result)
{
    if (header->idFrom != IDC_lstvDeletion)
        return false;
    switch (header->code) {
    case LVN_GETDISPINFOW:
        getDispInfo(*reinterpret_cast<NMLVDISPINFOW*>(header));
        return true;
    case LVN_ODFINDITEMW:
        result = findItem(*reinterpret_cast<NMLVFINDITEMW*>(header));
        return true;
    case LVN_BEGINLABELEDITW:
        result = TRUE;  // renaming in place is refused
        return true;
    case NM_DBLCLK: {
        auto* click = reinterpret_cast<NMITEMACTIVATE*>(header);
        LVHITTESTINFO hit{};
        hit.pt = click->ptAction;
        const int row = ListView_HitTest(listView(), &hit);
        if (row >= 0 && static_cast<size_t>(row) < m_list.size() && !(hit.flags & LVHT_ONITEMSTATEICON) && !m_busy)
            showFileProperties(m_list.at(static_cast<size_t>(row)).fullPath(), hwnd());
        return true;
    }
    default: return false;
    }
}

bool ReviewWindow::onMessage(UINT msg, WPARAM, LPARAM, INT_PTR& result)
{
    if (msg == WM_CLOSE) {
        closeWindow();
        result = TRUE;
        return true;
    }
    return false;
}

} // namespace sorvane

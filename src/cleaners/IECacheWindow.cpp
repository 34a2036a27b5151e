#include "cleaners/IECacheWindow.h"

#include "core/FileSearch.h"
#include "platform/AppFolder.h"
#include "platform/DoEvents.h"
#include "platform/ErrorReport.h"
#include "resource.h"
#include "win/ListColumns.h"

#include <commctrl.h>

namespace sorvane {

namespace {

constexpr const wchar_t* kBlank = L"About:Blank";

} // namespace

HWND IECacheWindow::list() const noexcept { return item(IDC_lstvCache); }

void IECacheWindow::show(HINSTANCE instance, HWND owner) { showModal(instance, IDD_IECACHE, owner); }

std::wstring IECacheWindow::status() const
{
    wchar_t text[256] = {};
    GetDlgItemTextW(hwnd(), IDC_lblSTatus, text, 256);
    return text;
}

std::wstring IECacheWindow::displaying() const
{
    wchar_t text[2048] = {};
    GetDlgItemTextW(hwnd(), IDC_lblDisplaying, text, 2048);
    return text;
}

bool IECacheWindow::onInitDialog()
{
    if (!m_ask)
        m_ask = [](HWND owner, const std::wstring& text, unsigned flags) {
            return MessageBoxW(owner, text.c_str(), kAppTitle, flags);
        };
    HWND lv = list();
    ListView_SetExtendedListViewStyle(lv, LVS_EX_FULLROWSELECT);
    win::addListColumns(lv, {{L"Source", 260}, {L"Local filename", 120}, {L"Local file path", 160}, {L"Size", 60},
                             {L"Hit rate", 60}, {L"Last accessed", 130}, {L"Last modified", 130}, {L"Expires", 130}});
    CheckDlgButton(hwnd(), IDC_optAll, BST_CHECKED);
    getCacheURLList(kCacheMaskAll);
    showCount();
    if (m_pane.create(item(IDC_wbCache))) {
        m_pane.setSilent(true);
    }
    m_pane.navigate(L"about:");
    layoutNow();
    if (onLoaded)
        onLoaded();
    return true;
}

void IECacheWindow::onDestroy()
{
    m_pane.setSilent(false);
    m_pane.destroy();
}

void IECacheWindow::getCacheURLList(DWORD mask)
{
    SetDlgItemTextW(hwnd(), IDC_lblSTatus, L"Obtaining information, please wait");
    HWND lv = list();
    ListView_DeleteAllItems(lv);
    m_rows.clear();
    doEvents();
    step(L"frmIECache,getCacheURLList", [&] {
        m_rows = sorvane::getCacheURLList(mask);
        SendMessageW(lv, WM_SETREDRAW, FALSE, 0);
        for (size_t i = 0; i < m_rows.size(); ++i) {
            const CacheEntry& e = m_rows[i];
            LVITEMW it{};
            it.mask = LVIF_TEXT;
            it.iItem = static_cast<int>(i);
            it.pszText = const_cast<wchar_t*>(e.sourceUrl.c_str());
            const int row = ListView_InsertItem(lv, &it);
            const std::wstring cells[] = {e.localName,
                                          e.localFolder,
                                          std::to_wstring(e.size),
                                          std::to_wstring(e.hitRate),
                                          formatFileTime(e.lastAccess),
                                          formatFileTime(e.lastModified),
                                          formatFileTime(e.expires)};
            for (int c = 0; c < 7; ++c)
                ListView_SetItemText(lv, row, c + 1, const_cast<wchar_t*>(cells[c].c_str()));
        }
        SendMessageW(lv, WM_SETREDRAW, TRUE, 0);
    });
}

void IECacheWindow::showCount()
{
    SetDlgItemTextW(hwnd(), IDC_lblSTatus, (std::to_wstring(ListView_GetItemCount(list())) + L" entry(s)").c_str());
}

DWORD IECacheWindow::selectedMask() const
{
    if (IsDlgButtonChecked(hwnd(), IDC_optAll) == BST_CHECKED)
        return kCacheMaskAll;
    if (IsDlgButtonChecked(hwnd(), IDC_optCookies) == BST_CHECKED)
        return kCacheMaskCookies;
    if (IsDlgButtonChecked(hwnd(), IDC_optHistory) == BST_CHECKED)
        return kCacheMaskHistory;
    return kCacheMaskUrl;
}

void IECacheWindow::optionChosen(DWORD mask)
{
    m_pane.navigate(kBlank);
    SetDlgItemTextW(hwnd(), IDC_lblDisplaying, L"");
    doEvents();
    getCacheURLList(mask);
    showCount();
}

void IECacheWindow::cmdView_Click()
{
    m_pane.navigate(kBlank);
    doEvents();
    const int row = ListView_GetNextItem(list(), -1, LVNI_SELECTED);
    if (row < 0 || static_cast<size_t>(row) >= m_rows.size())
        return;
    const CacheEntry& e = m_rows[static_cast<size_t>(row)];
    const std::wstring local = e.localFolder + L"\\" + e.localName;
    if (e.sourceUrl.find(L"Cookie:") != std::wstring::npos) {
        m_pane.navigate(local);
    } else if (e.sourceUrl.find(L"Visited:") != std::wstring::npos) {
        const size_t at = e.sourceUrl.find(L'@');
        const std::wstring address = at == std::wstring::npos ? std::wstring() : e.sourceUrl.substr(at + 1);
        m_pane.navigate(kBlank);
        m_pane.navigate(address);
        SetDlgItemTextW(hwnd(), IDC_lblDisplaying, (L"Displaying: " + address).c_str());
    } else {
        m_pane.navigate(kBlank);
        m_pane.navigate(local);
        SetDlgItemTextW(hwnd(), IDC_lblDisplaying, (L"Displaying: " + e.sourceUrl).c_str());
    }
}

void IECacheWindow::cmdDelete_Click()
{
    // Only the row the user picked: without a selection nothing goes.
    const int row = ListView_GetNextItem(list(), -1, LVNI_SELECTED);
    if (row < 0 || static_cast<size_t>(row) >= m_rows.size())
        return;
    deleteCacheEntry(m_rows[static_cast<size_t>(row)].sourceUrl);
    m_rows.erase(m_rows.begin() + row);
    ListView_DeleteItem(list(), row);
    showCount();
}

void IECacheWindow::cmdClear_Click()
{
    if (m_ask(hwnd(), L"Are you sure you want to empty cache?", MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;  // the list still shows what the cache holds
    for (const auto& e : m_rows)
        deleteCacheEntry(e.sourceUrl);
    m_rows.clear();
    ListView_DeleteAllItems(list());
    SetDlgItemTextW(hwnd(), IDC_lblSTatus, L"0 entry(s)");
}

bool IECacheWindow::onCommand(int id, int code, HWND)
{
    switch (id) {
    case IDC_optAll:
    case IDC_optCookies:
    case IDC_optHistory:
    case IDC_optURL:
        if (code == BN_CLICKED)
            optionChosen(id == IDC_optAll       ? kCacheMaskAll
                         : id == IDC_optCookies ? kCacheMaskCookies
                         : id == IDC_optHistory ? kCacheMaskHistory
                                                : kCacheMaskUrl);
        return true;
    case IDC_cache_cmdView: cmdView_Click(); return true;
    case IDC_cmdRefresh:
        getCacheURLList(selectedMask());
        showCount();
        return true;
    case IDC_cache_cmdDelete: cmdDelete_Click(); return true;
    case IDC_cmdClear: cmdClear_Click(); return true;
    case IDC_cache_cmdClose:
    case IDCANCEL: EndDialog(hwnd(), 0); return true;
    default: return false;
    }
}

bool IECacheWindow::onNotify(NMHDR* header, LRESULT& result)
{
    if (header->idFrom != IDC_lstvCache)
        return false;
    if (header->code == NM_DBLCLK) {
        cmdView_Click();
        return true;
    }
    if (header->code == LVN_BEGINLABELEDITW) {
        result = TRUE;
        return true;
    }
    return false;
}

void IECacheWindow::onSize(UINT type, int width, int height)
{
    if (type == SIZE_MINIMIZED)
        return;
    RECT u{4, 4, 0, 0};
    MapDialogRect(hwnd(), &u);
    const int gap = u.left;
    const auto place = [&](int id, int x, int y) {
        RECT r;
        GetWindowRect(item(id), &r);
        MoveWindow(item(id), x, y, r.right - r.left, r.bottom - r.top, TRUE);
        return r.right - r.left;
    };
    RECT lv;
    GetWindowRect(list(), &lv);
    MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&lv), 2);
    const int listHeight = lv.bottom - lv.top;
    MoveWindow(list(), gap, lv.top, width - 2 * gap, listHeight, TRUE);
    RECT b;
    GetWindowRect(item(IDC_cache_cmdView), &b);
    const int bh = b.bottom - b.top, row = lv.top + listHeight + gap;
    int x = gap;
    for (int id : {IDC_cache_cmdView, IDC_cmdRefresh, IDC_cache_cmdDelete, IDC_cmdClear})
        x += place(id, x, row) + gap;
    RECT s;
    GetWindowRect(item(IDC_lblSTatus), &s);
    const int closeWidth = b.right - b.left;
    MoveWindow(item(IDC_lblSTatus), x, row + (bh - (s.bottom - s.top)) / 2, width - x - closeWidth - 2 * gap,
               s.bottom - s.top, TRUE);
    place(IDC_cache_cmdClose, width - gap - closeWidth, row);
    RECT d;
    GetWindowRect(item(IDC_lblDisplaying), &d);
    const int dh = d.bottom - d.top, labelTop = row + bh + gap;
    MoveWindow(item(IDC_lblDisplaying), gap, labelTop, width - 2 * gap, dh, TRUE);
    const int paneTop = labelTop + dh + gap / 2;
    MoveWindow(item(IDC_wbCache), gap, paneTop, width - 2 * gap, height - paneTop - gap, TRUE);
    m_pane.fitToHost();
}

} // namespace sorvane

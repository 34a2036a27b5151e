#include "options/KeepCookiesTab.h"

#include "cleaners/Browsers.h"
#include "cleaners/BrowserStores.h"
#include "cleaners/CookieWindow.h"
#include "core/Deletion.h"
#include "core/EngineUi.h"
#include "core/FileSearch.h"
#include "platform/AppFolder.h"
#include "platform/ErrorReport.h"
#include "platform/Registry.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "resource.h"
#include "store/ListFiles.h"
#include "store/OptionLists.h"

#include <commctrl.h>

namespace sorvane {

namespace {

constexpr const wchar_t* kShellFolders = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\";

using win::cellText;
using win::selectedRow;

// A row of the current cookies that names a browser site, not a cookie file
// (whose path is a folder).
bool isSiteRow(HWND list, int row)
{
    const std::wstring path = cellText(list, row, 3);
    return path.empty() || path.back() != L'\\';
}

} // namespace

const wchar_t* const KeepCookiesTab::kSiteRowNote =
    L"This row is a site of the browsers' cookie stores. Add keeps its cookies in every browser; the Cookies "
    L"category removes the others. Only Internet Explorer cookie files can be viewed or deleted here.";

void KeepCookiesTab::attach(HINSTANCE instance, HWND window, HWND page)
{
    m_instance = instance;
    m_window = window;
    m_page = page;
    ListView_SetExtendedListViewStyle(control(IDC_lstvCurrentCookies), LVS_EX_FULLROWSELECT);
    win::addListColumns(control(IDC_lstvCurrentCookies),
                        {{L"Name", 120}, {L"Bytes", 50}, {L"Date", 130}, {L"Path", 200}});
    ListView_SetExtendedListViewStyle(control(IDC_lstvKeepCookies), LVS_EX_FULLROWSELECT);
    win::addListColumns(control(IDC_lstvKeepCookies), {{L"Name", 110}, {L"Path", 200}});
}

void KeepCookiesTab::load()
{
    HWND keep = control(IDC_lstvKeepCookies);
    ListView_DeleteAllItems(keep);
    Rows kept;
    step(L"frmOptions,getCookies", [&] {
        for (const auto& c : loadKeptCookies(appFile(L"cookies.sol")))
            kept.push_back({c.name, c.folder});
    });
    fillSorted(keep, std::move(kept));
    refreshCurrent();
}

void KeepCookiesTab::refreshCurrent()
{
    constexpr const wchar_t* tag = L"frmOptions,getCookies";
    HWND current = control(IDC_lstvCurrentCookies);
    ListView_DeleteAllItems(current);
    Rows found;
    step(tag, [&] {
        std::wstring root = getRegString(HKEY_CURRENT_USER, kShellFolders, L"Cookies");
        if (root.empty() || !folderExists(root))
            return;
        if (root.back() != L'\\')
            root += L'\\';
        SetDlgItemTextW(m_page, IDC_txtCookies, root.c_str());
        RunState run;
        SilentUi ui;
        FileSearch search(ui, run);
        search.clearFoundLists();
        search.searchFiles(root, L"*.txt", 0);
        const auto& files = search.strFoundFiles();
        const auto& sizes = search.foundFileSizes();
        for (size_t i = 0; i < files.size(); ++i) {
            const size_t slash = files[i].find_last_of(L'\\');
            WIN32_FILE_ATTRIBUTE_DATA data{};
            std::wstring date;
            if (GetFileAttributesExW(apiPath(files[i]).c_str(), GetFileExInfoStandard, &data))
                date = formatFileTime(data.ftLastWriteTime);
            found.push_back({files[i].substr(slash + 1), std::to_wstring(i < sizes.size() ? sizes[i] : 0), date,
                             files[i].substr(0, slash + 1)});
        }
    });
    // The sites of today's browsers' cookie stores, beside those files: a
    // site row's "path" names the browsers, and adding it keeps the site.
    step(tag, [&] {
        const BrowserDiscovery browsers = discoverBrowsers(getRegString(HKEY_CURRENT_USER, kShellFolders, L"Local AppData"),
                                                           getRegString(HKEY_CURRENT_USER, kShellFolders, L"AppData"));
        for (const auto& site : cookieSitesOf(browsers.profiles))
            found.push_back({site.site, L"", L"", site.browsers});
    });
    fillSorted(current, std::move(found));
}

void KeepCookiesTab::save() const
{
    HWND keep = control(IDC_lstvKeepCookies);
    std::vector<KeptCookie> cookies;
    const int n = ListView_GetItemCount(keep);
    for (int i = 0; i < n; ++i)
        cookies.push_back({cellText(keep, i, 1), cellText(keep, i, 0)});
    saveKeptCookies(appFile(L"cookies.sol"), cookies);
}

void KeepCookiesTab::add()
{
    step(L"frmOptions,cmdAddCookie", [&] {
        HWND current = control(IDC_lstvCurrentCookies), keep = control(IDC_lstvKeepCookies);
        const int row = selectedRow(current);
        if (row < 0)
            return;
        const std::wstring name = cellText(current, row, 0);
        if (findRow(keep, name) >= 0)
            raiseError(35602, L"Key is not unique in collection");
        win::addRow(keep, {name, isSiteRow(current, row) ? std::wstring() : cellText(current, row, 3)});
        autoSizeColumns(keep);
    });
}

void KeepCookiesTab::removeKept()
{
    HWND lv = control(IDC_lstvKeepCookies);
    if (const int row = selectedRow(lv); row >= 0)
        ListView_DeleteItem(lv, row);
}

void KeepCookiesTab::resetKept()
{
    ListView_DeleteAllItems(control(IDC_lstvKeepCookies));
}

int KeepCookiesTab::selectedCookieFile() const
{
    HWND current = control(IDC_lstvCurrentCookies);
    const int row = selectedRow(current);
    if (row >= 0 && isSiteRow(current, row)) {
        m_ask(kSiteRowNote, MB_OK | MB_ICONINFORMATION);
        return -1;
    }
    return row;
}

void KeepCookiesTab::deleteCookie()
{
    HWND current = control(IDC_lstvCurrentCookies);
    const int row = selectedCookieFile();
    if (row < 0)
        return;
    if (!DeletionEngine::deleteForGood(cellText(current, row, 3) + cellText(current, row, 0)))
        m_ask(L"File can not be deleted", MB_OK | MB_ICONERROR);
    refreshCurrent();
}

void KeepCookiesTab::view()
{
    HWND current = control(IDC_lstvCurrentCookies);
    const int row = selectedCookieFile();
    if (row < 0)
        return;
    CookieWindow w;
    w.fileName = cellText(current, row, 0);
    w.folder = cellText(current, row, 3);
    w.show(m_instance, m_window);
}

} // namespace sorvane

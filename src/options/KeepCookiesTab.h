#pragma once
// The Keep Cookies tab: the Internet Explorer cookie files and the sites of
// today's browsers' cookie stores on the left, what the Cookies category
// keeps on the right (cookies.sol). A cookie file is kept by its path; a
// site, in every browser, with its subdomains. The tab's page holds the
// controls; the options window passes its clicks on.
#include <windows.h>

#include <functional>
#include <string>

namespace sorvane {

class KeepCookiesTab {
public:
    using Ask = std::function<int(const std::wstring& text, unsigned flags)>;
    explicit KeepCookiesTab(Ask ask) : m_ask(std::move(ask)) {}

    // The options window and the page, once both exist; adds the columns.
    void attach(HINSTANCE instance, HWND window, HWND page);
    // getCookies: the kept entries, the cookie files and the browsers' sites.
    void load();
    // Reads the cookie files and sites again; the kept list, with what was
    // added and not yet accepted, stays as it is.
    void refreshCurrent();
    // Writes the kept entries to cookies.sol (removed when none); throws on failure.
    void save() const;
    void add();
    void removeKept();
    void resetKept();
    // Deletes the selected cookie file for good; a site row is not a file.
    void deleteCookie();
    void view();

    // The text a site row answers View and Delete with.
    static const wchar_t* const kSiteRowNote;

private:
    HWND control(int id) const { return GetDlgItem(m_page, id); }
    // The selected row when it is a cookie file; -1 when none is, after
    // telling so for a site row.
    int selectedCookieFile() const;

    Ask m_ask;
    HINSTANCE m_instance = nullptr;
    HWND m_window = nullptr, m_page = nullptr;
};

} // namespace sorvane

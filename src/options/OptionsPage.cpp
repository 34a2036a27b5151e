#include "options/OptionsTabs.h"

#include "platform/ErrorReport.h"
#include "platform/Text.h"
#include "store/Settings.h"
#include "win/Dialog.h"

#include <algorithm>

namespace sorvane {

void SaveLog::note(bool ok, const wchar_t* file)
{
    if (!ok && std::find(m_unsaved.begin(), m_unsaved.end(), file) == m_unsaved.end())
        m_unsaved.push_back(file);
}

bool flagSetting(const wchar_t* section, const wchar_t* key, const wchar_t* defaultValue)
{
    const auto v = parseInt16(readSetting(section, key, defaultValue));
    if (!v)
        raiseError(kErrTypeMismatch, L"Type mismatch");
    if (*v != 0 && *v != 1)
        raiseError(380, L"Invalid property value");
    return *v == 1;
}

std::wstring flagText(bool on) { return on ? L"1" : L"0"; }

bool OptionsPage::checked(int id) const { return SendMessageW(control(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

void OptionsPage::setChecked(int id, bool on)
{
    SendMessageW(control(id), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

std::wstring OptionsPage::text(int id) const { return win::windowText(control(id)); }

void OptionsPage::setText(int id, const std::wstring& text) { SetWindowTextW(control(id), text.c_str()); }

std::vector<std::wstring> OptionsPage::listEntries(int id) const
{
    HWND h = control(id);
    std::vector<std::wstring> out;
    const int n = static_cast<int>(SendMessageW(h, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        std::wstring s(static_cast<size_t>(SendMessageW(h, LB_GETTEXTLEN, i, 0)) + 1, L'\0');
        SendMessageW(h, LB_GETTEXT, i, reinterpret_cast<LPARAM>(s.data()));
        out.push_back(stripNull(s));
    }
    return out;
}

void OptionsPage::addListEntry(int id, const std::wstring& text)
{
    HWND h = control(id);
    SendMessageW(h, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    // A long path can be scrolled to; a list of short ones shows no scroll bar.
    if (!(GetWindowLongPtrW(h, GWL_STYLE) & WS_HSCROLL))
        return;
    if (HDC dc = GetDC(h)) {
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0)));
        SIZE size{};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        SelectObject(dc, old);
        ReleaseDC(h, dc);
        const LRESULT extent = SendMessageW(h, LB_GETHORIZONTALEXTENT, 0, 0);
        if (size.cx + 8 > extent)
            SendMessageW(h, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(size.cx + 8), 0);
    }
}

void OptionsPage::removeSelectedEntry(int id)
{
    HWND h = control(id);
    const LRESULT sel = SendMessageW(h, LB_GETCURSEL, 0, 0);
    if (sel != LB_ERR)
        SendMessageW(h, LB_DELETESTRING, static_cast<WPARAM>(sel), 0);
}

void OptionsPage::replaceList(int id, const std::vector<std::wstring>& entries)
{
    SendMessageW(control(id), LB_RESETCONTENT, 0, 0);
    for (const auto& entry : entries)
        addListEntry(id, entry);
}

} // namespace sorvane

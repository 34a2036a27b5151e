#include "support/WindowWatch.h"

#include <commctrl.h>

#include <map>

namespace testenv {

namespace {

std::map<UINT_PTR, WindowWatch*>& watches()
{
    static std::map<UINT_PTR, WindowWatch*> m;
    return m;
}

struct Search {
    const std::wstring* title;
    HWND found = nullptr;
};

BOOL CALLBACK findTitled(HWND w, LPARAM lp)
{
    auto* s = reinterpret_cast<Search*>(lp);
    wchar_t text[256] = {};
    GetWindowTextW(w, text, 256);
    if (IsWindowVisible(w) && *s->title == text) {
        s->found = w;
        return FALSE;
    }
    return TRUE;
}

} // namespace

WindowWatch::WindowWatch(std::wstring title, std::function<void(HWND)> act)
    : m_title(std::move(title)), m_act(std::move(act))
{
    m_timer = SetTimer(nullptr, 0, 30, &WindowWatch::tick);
    watches()[m_timer] = this;
}

WindowWatch::~WindowWatch()
{
    KillTimer(nullptr, m_timer);
    watches().erase(m_timer);
}

void CALLBACK WindowWatch::tick(HWND, UINT, UINT_PTR id, DWORD)
{
    const auto it = watches().find(id);
    if (it == watches().end())
        return;
    WindowWatch* self = it->second;
    if (self->m_count > 0 && !self->m_repeat)
        return;
    Search s{&self->m_title};
    EnumThreadWindows(GetCurrentThreadId(), findTitled, reinterpret_cast<LPARAM>(&s));
    if (!s.found || s.found == self->m_last)
        return;
    self->m_last = s.found;
    ++self->m_count;
    self->m_act(s.found);
}

std::wstring listCell(HWND list, int row, int column)
{
    wchar_t buf[2048] = {};
    ListView_GetItemText(list, row, column, buf, 2048);
    return buf;
}

void clickButton(HWND dialog, int id) { SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

} // namespace testenv

#include "cleaners/ReviewFixture.h"

#include "resource.h"

namespace testenv {

sorvane::ReviewWindow& WindowedUi::ensure()
{
    if (!m_window) {
        m_window = std::make_unique<sorvane::ReviewWindow>();
        m_window->create(GetModuleHandleW(nullptr), nullptr);
        m_window->setAsk([this](HWND, const std::wstring& text, unsigned) {
            asked.push_back(text);
            if (answers.empty())
                return IDYES;
            const int a = answers.front();
            answers.erase(answers.begin());
            return a;
        });
    }
    return *m_window;
}

void WindowedUi::addReviewRow(const sorvane::ReviewRow& row)
{
    RecorderUi::addReviewRow(row);
    ensure().addRow(row);
}

void WindowedUi::discardReviewRows()
{
    RecorderUi::discardReviewRows();
    m_window.reset();
}

void WindowedUi::showReviewWindow(const sorvane::ReviewTools& tools)
{
    RecorderUi::showReviewWindow(tools);
    sorvane::ReviewWindow& w = ensure();
    if (script)
        script(w);
    w.showModal(tools, *this);
    m_window.reset();
}

void postCommand(sorvane::ReviewWindow& w, int id) { PostMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(id, 0), 0); }

void clickCheckBox(HWND list, int row)
{
    RECT icon{};
    icon.left = LVIR_ICON;
    SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&icon));
    // The check box stands just left of the row's icon.
    POINT pt{icon.left - 8, (icon.top + icon.bottom) / 2};
    LVHITTESTINFO hit{};
    hit.pt = pt;
    ListView_HitTest(list, &hit);
    EXPECT_EQ(hit.iItem, row);
    EXPECT_TRUE(hit.flags & LVHT_ONITEMSTATEICON) << "the click must land on the check box";
    SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(pt.x, pt.y));
    SendMessageW(list, WM_LBUTTONUP, 0, MAKELPARAM(pt.x, pt.y));
}

bool rowChecked(HWND list, int row) { return ListView_GetCheckState(list, row) != 0; }

std::wstring cellText(HWND list, int row, int column)
{
    wchar_t buf[1024] = {};
    ListView_GetItemText(list, row, column, buf, 1024);
    return buf;
}

std::wstring windowText(HWND hwnd)
{
    wchar_t buf[1024] = {};
    GetWindowTextW(hwnd, buf, 1024);
    return buf;
}

} // namespace testenv

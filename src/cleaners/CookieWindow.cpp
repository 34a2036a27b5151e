#include "cleaners/CookieWindow.h"

#include "platform/ErrorReport.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "resource.h"
#include "store/ListFiles.h"
#include "win/ListColumns.h"

#include <commctrl.h>
#include <shellapi.h>

namespace sorvane {

HWND CookieWindow::list() const noexcept { return item(IDC_Lst_Cook); }

void CookieWindow::show(HINSTANCE instance, HWND owner) { showModal(instance, IDD_COOKIES, owner); }

bool CookieWindow::onInitDialog()
{
    constexpr const wchar_t* tag = L"frmCookies,Form_Load";
    HWND lv = list();
    ListView_SetExtendedListViewStyle(lv, LVS_EX_FULLROWSELECT);
    // Every row shows the same small picture: a document.
    const int cx = GetSystemMetrics(SM_CXSMICON), cy = GetSystemMetrics(SM_CYSMICON);
    m_images = ImageList_Create(cx, cy, ILC_COLOR32 | ILC_MASK, 1, 1);
    SHFILEINFOW info{};
    if (m_images && SHGetFileInfoW(L"cookie.txt", FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                                   SHGFI_ICON | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES) && info.hIcon) {
        ImageList_AddIcon(m_images, info.hIcon);
        DestroyIcon(info.hIcon);
    }
    ListView_SetImageList(lv, m_images, LVSIL_SMALL);  // the list destroys it
    win::addListColumns(lv, {{L"Domain  ", 140}, {L"Cookie Name  ", 100}, {L"Cookie Value  ", 120},
                             {L"Secure  ", 60}, {L"Source  ", 200}, {L"Parent  ", 120}});
    const std::wstring path = folder + fileName;
    step(tag, [&] {
        if (!fileExists(path))
            return;
        const auto bytes = readFileBytes(path);
        if (bytes && !bytes->empty())
            m_text = fromAnsi(*bytes);
    });
    step(L"frmCookies,ANanlyze_Cookie", [&] {
        int n = 0;
        for (const CookieRow& row : ANanlyze_Cookie(m_text, fileName)) {
            LVITEMW it{};
            it.mask = LVIF_TEXT | LVIF_IMAGE;
            it.iItem = n++;
            it.iImage = 0;
            it.pszText = const_cast<wchar_t*>(row.domain.c_str());
            const int r = ListView_InsertItem(lv, &it);
            const std::wstring* cells[] = {&row.name, &row.value, &row.secure, &row.source, &row.parent};
            for (int c = 0; c < 5; ++c)
                ListView_SetItemText(lv, r, c + 1, const_cast<wchar_t*>(cells[c]->c_str()));
        }
    });
    m_text.clear();
    layoutNow();
    if (onLoaded)
        onLoaded();
    return true;
}

void CookieWindow::onSize(UINT type, int width, int height)
{
    if (type == SIZE_MINIMIZED)
        return;
    RECT ok;
    GetWindowRect(item(IDC_cookies_cmdOK), &ok);
    const int bw = ok.right - ok.left, bh = ok.bottom - ok.top, gap = 6;
    MoveWindow(list(), gap, gap, width - 2 * gap, height - bh - 3 * gap, TRUE);
    MoveWindow(item(IDC_cookies_cmdOK), width - gap - bw, height - gap - bh, bw, bh, TRUE);
}

bool CookieWindow::onCommand(int id, int, HWND)
{
    if (id == IDC_cookies_cmdOK || id == IDCANCEL || id == IDOK) {
        EndDialog(hwnd(), 0);
        return true;
    }
    return false;
}

} // namespace sorvane

#include "win/Dialog.h"

namespace win {

int twipsToPixels(HWND hwnd, int twips)
{
    HDC dc = GetDC(hwnd);
    const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
    if (dc)
        ReleaseDC(hwnd, dc);
    return MulDiv(twips, dpi, 1440);
}

INT_PTR Dialog::showModal(HINSTANCE instance, int templateId, HWND owner)
{
    return DialogBoxParamW(instance, MAKEINTRESOURCEW(templateId), owner, &Dialog::proc,
                           reinterpret_cast<LPARAM>(this));
}

HWND Dialog::createModeless(HINSTANCE instance, int templateId, HWND owner)
{
    return CreateDialogParamW(instance, MAKEINTRESOURCEW(templateId), owner, &Dialog::proc,
                              reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK Dialog::proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    Dialog* self = nullptr;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lp);
        self->m_hwnd = hwnd;
        SetWindowLongPtrW(hwnd, DWLP_USER, lp);
    } else {
        self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    if (!self)
        return FALSE;
    INT_PTR result = FALSE;
    try {
        result = self->dispatch(msg, wp, lp);
    } catch (...) {
        result = FALSE;
    }
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->m_hwnd = nullptr;
    }
    return result;
}

void Dialog::layoutNow()
{
    RECT rc;
    GetClientRect(m_hwnd, &rc);
    onSize(SIZE_RESTORED, rc.right, rc.bottom);
}

INT_PTR Dialog::dispatch(UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_INITDIALOG:
        if (GetWindowLongPtrW(m_hwnd, GWL_STYLE) & WS_SYSMENU) {
            // Every window with a title bar shows the program's icon.
            HINSTANCE exe = GetModuleHandleW(nullptr);
            if (HICON big = LoadIconW(exe, MAKEINTRESOURCEW(kAppIconId)))
                SendMessageW(m_hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
            if (HICON smallIcon = static_cast<HICON>(LoadImageW(exe, MAKEINTRESOURCEW(kAppIconId), IMAGE_ICON,
                                                            GetSystemMetrics(SM_CXSMICON),
                                                            GetSystemMetrics(SM_CYSMICON), LR_SHARED)))
                SendMessageW(m_hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));
        }
        return onInitDialog() ? TRUE : FALSE;
    case WM_COMMAND:
        return onCommand(LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp)) ? TRUE : FALSE;
    case WM_NOTIFY: {
        LRESULT r = 0;
        if (onNotify(reinterpret_cast<NMHDR*>(lp), r)) {
            SetWindowLongPtrW(m_hwnd, DWLP_MSGRESULT, r);
            return TRUE;
        }
        return FALSE;
    }
    case WM_SIZE:
        onSize(static_cast<UINT>(wp), LOWORD(lp), HIWORD(lp));
        return TRUE;
    case WM_DESTROY:
        onDestroy();
        return FALSE;
    default: {
        INT_PTR r = FALSE;
        return onMessage(msg, wp, lp, r) ? r : FALSE;
    }
    }
}

} // namespace win

#include "options/LogWindow.h"

#include "platform/Text.h"
#include "resource.h"
#include "store/ListFiles.h"

#include <commdlg.h>

namespace sorvane {

void saveLogText(const std::wstring& path, const std::wstring& text)
{
    writeFileBytes(path, toAnsi(text + L"\r\n"));
}

void LogWindow::show(HINSTANCE instance, HWND owner) { showModal(instance, IDD_LOG, owner); }

bool LogWindow::onInitDialog()
{
    SetDlgItemTextW(hwnd(), IDC_txtLog, m_text.c_str());
    layoutNow();
    SetFocus(GetDlgItem(hwnd(), IDC_txtLog));
    SendDlgItemMessageW(hwnd(), IDC_txtLog, EM_SETSEL, 0, 0);
    return false;
}

void LogWindow::onSize(UINT type, int width, int height)
{
    if (type != SIZE_MINIMIZED)
        MoveWindow(GetDlgItem(hwnd(), IDC_txtLog), 0, 0, width, height, TRUE);
}

void LogWindow::mnuSave_Click()
{
    wchar_t file[MAX_PATH] = {};
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = hwnd();
    ofn.lpstrFilter = L"Log Files ( *.log )\0*.log\0";
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrDefExt = L"log";
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetSaveFileNameW(&ofn))
        return;
    const int n = GetWindowTextLengthW(GetDlgItem(hwnd(), IDC_txtLog));
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    GetDlgItemTextW(hwnd(), IDC_txtLog, text.data(), n + 1);
    text.resize(static_cast<size_t>(n));
    try {
        saveLogText(file, text);
    } catch (...) {
        // A file that cannot be written leaves nothing written, without a message.
    }
}

bool LogWindow::onMessage(UINT msg, WPARAM wp, LPARAM, INT_PTR& result)
{
    // The log is read-only but reads as a document: white, not greyed.
    if (msg != WM_CTLCOLORSTATIC)
        return false;
    SetBkColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_WINDOW));
    SetTextColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_WINDOWTEXT));
    result = reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_WINDOW));
    return true;
}

bool LogWindow::onCommand(int id, int, HWND)
{
    switch (id) {
    case IDM_LOG_mnuSave: mnuSave_Click(); return true;
    case IDM_LOG_mnuExit:
    case IDCANCEL: EndDialog(hwnd(), 0); return true;
    default: return false;
    }
}

} // namespace sorvane

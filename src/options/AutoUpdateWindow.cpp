#include "options/AutoUpdateWindow.h"

#include "platform/ErrorReport.h"
#include "platform/Registry.h"
#include "resource.h"

#include <commctrl.h>

namespace sorvane {

void AutoUpdateWindow::show(HINSTANCE instance, HWND owner) { showModal(instance, IDD_UPDATE, owner); }

bool AutoUpdateWindow::onInitDialog()
{
    HWND list = item(IDC_up_ListView1);
    const int cx = GetSystemMetrics(SM_CXSMICON), cy = GetSystemMetrics(SM_CYSMICON);
    m_images = ImageList_Create(cx, cy, ILC_COLOR32 | ILC_MASK, 2, 0);
    for (const wchar_t* icon : {IDI_INFORMATION, IDI_WARNING})
        ImageList_AddIcon(m_images, static_cast<HICON>(LoadImageW(nullptr, icon, IMAGE_ICON, cx, cy, LR_SHARED)));
    ListView_SetImageList(list, m_images, LVSIL_SMALL);  // the list destroys it
    RECT rc;
    GetClientRect(list, &rc);
    LVCOLUMNW c{};
    c.mask = LVCF_WIDTH;
    c.cx = rc.right - GetSystemMetrics(SM_CXVSCROLL);
    ListView_InsertColumn(list, 0, &c);
    SendDlgItemMessageW(hwnd(), IDC_up_StatusBar1, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(L"Ready"));
    if (onLoaded)
        onLoaded();
    return true;
}

void AutoUpdateWindow::addLine(const std::wstring& text, int image)
{
    HWND list = item(IDC_up_ListView1);
    LVITEMW it{};
    it.mask = LVIF_TEXT | LVIF_IMAGE;
    it.iItem = ListView_GetItemCount(list);
    it.pszText = const_cast<wchar_t*>(text.c_str());
    it.iImage = image;  // -1: no picture
    ListView_InsertItem(list, &it);
    ::UpdateWindow(list);
}

std::vector<std::wstring> AutoUpdateWindow::statusLines() const
{
    std::vector<std::wstring> out;
    HWND list = item(IDC_up_ListView1);
    for (int i = 0; i < ListView_GetItemCount(list); ++i) {
        wchar_t buf[256] = {};
        ListView_GetItemText(list, i, 0, buf, 256);
        out.push_back(buf);
    }
    return out;
}

void AutoUpdateWindow::enableButtons(bool on)
{
    EnableWindow(item(IDC_cmdProceed), on);
    EnableWindow(item(IDC_up_cmdCancel), on);
}

void AutoUpdateWindow::cmd_Proceed()
{
    constexpr const wchar_t* tag = L"frmAutoUpdate,cmd_Proceed";
    ListView_DeleteAllItems(item(IDC_up_ListView1));
    enableButtons(false);
    addLine(L"Checking for updates...", 0);
    bool connected = false;
    step(tag, [&] { connected = isConnected(); });
    if (!connected) {
        addLine(L"You are currently not conneted to the Internet", 1);
        enableButtons(true);
        return;
    }
    std::wstring installed;
    step(tag, [&] { installed = getUpdateValue(HKEY_LOCAL_MACHINE, kUpdateKey, L"ver", L"1"); });
    bool available = false;
    step(tag, [&] { available = updater.checkForUpdate(installed); });
    if (!available) {
        addLine(L"No new update available.", 1);
        enableButtons(true);
        return;
    }
    addLine(L"New Update available.", 0);
    addLine(L"Dowanloading New Version...Please wait.", 0);
    addLine(L"This may take some time...", -1);
    addLine(L"Depending on your Internet connection speed", -1);
    bool started = false;
    // Close works while the download runs: it calls the transfer off.
    m_cancel = false;
    EnableWindow(item(IDC_up_cmdCancel), TRUE);
    updater.cancelled = [this] { return m_cancel; };
    updater.onProgress = [this](uint64_t received) {
        const std::wstring text = L"Received " + std::to_wstring(received) + L" bytes";
        SendDlgItemMessageW(hwnd(), IDC_up_StatusBar1, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text.c_str()));
    };
    step(tag, [&] { started = updater.installUpdate(); });
    updater.cancelled = nullptr;
    updater.onProgress = nullptr;
    if (m_cancel) {
        EndDialog(hwnd(), IDCANCEL);
        return;
    }
    if (started) {
        EndDialog(hwnd(), IDOK);
        if (endProgram)
            endProgram();
        return;
    }
    // Every download failed: the program stays as it is, and says so.
    if (updater.unverified())
        addLine(L"The update could not be verified and was not installed.", 1);
    else
        addLine(L"The new version could not be downloaded. Please try again later.", 1);
    enableButtons(true);
}

bool AutoUpdateWindow::onCommand(int id, int, HWND)
{
    switch (id) {
    case IDC_cmdProceed:
    case IDOK: cmd_Proceed(); return true;
    case IDC_up_cmdCancel:
    case IDCANCEL:
        // During a download Close calls it off (the window ends once the
        // transfer has let go); a check in progress keeps it disabled.
        if (!IsWindowEnabled(item(IDC_up_cmdCancel)))
            return true;
        if (!IsWindowEnabled(item(IDC_cmdProceed)))
            m_cancel = true;
        else
            EndDialog(hwnd(), IDCANCEL);
        return true;
    default: return false;
    }
}

} // namespace sorvane

#include "options/OverwriteWindow.h"

#include "resource.h"
#include "store/BackupArchive.h"

namespace sorvane {

void OverwriteWindow::show(HINSTANCE instance, HWND owner) { showModal(instance, IDD_OVERWRITE, owner); }

bool OverwriteWindow::onInitDialog()
{
    Response = 2;
    SetDlgItemTextW(hwnd(), IDC_lblCaption, TheCaption.c_str());
    HWND icon = GetWindow(hwnd(), GW_CHILD);  // the first control: the question icon
    if (icon)
        SendMessageW(icon, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconW(nullptr, IDI_QUESTION)), 0);
    SetFocus(item(IDC_cmdYes));
    return false;
}

bool OverwriteWindow::onCommand(int id, int, HWND)
{
    switch (id) {
    case IDC_cmdYes:
    case IDC_cmdNo:
        Response = id == IDC_cmdYes ? 6 : 7;
        ApplyToAll = IsDlgButtonChecked(hwnd(), IDC_chkAllFiles) == BST_CHECKED;
        EndDialog(hwnd(), Response);
        return true;
    case IDC_ow_cmdCancel:
    case IDCANCEL:
        ApplyToAll = true;
        EndDialog(hwnd(), 2);
        return true;
    default: return false;
    }
}

int32_t overwriteAnswer(int32_t response, bool applyToAll)
{
    if (response == 6)
        return applyToAll ? kOverwriteAll : kOverwriteYes;
    if (response == 7)
        return applyToAll ? kOverwriteNone : kOverwriteNo;
    return kOverwriteNone;
}

int32_t askOverwrite(HINSTANCE instance, HWND owner, const std::wstring& file)
{
    OverwriteWindow w;
    w.TheCaption = L"Do you want to overwrite the existing copy of " + file + L"?";
    w.show(instance, owner);
    return overwriteAnswer(w.Response, w.ApplyToAll);
}

} // namespace sorvane

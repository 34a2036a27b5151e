#include "options/UnzipWindow.h"

#include "platform/ErrorReport.h"
#include "platform/Text.h"
#include "resource.h"
#include "win/ListColumns.h"

#include <shellapi.h>

#include <algorithm>

namespace sorvane {

FileIconKeys::FileIconKeys()
{
    const int cx = GetSystemMetrics(SM_CXSMICON), cy = GetSystemMetrics(SM_CYSMICON);
    m_list = ImageList_Create(cx, cy, ILC_COLOR32 | ILC_MASK, 8, 8);
    // "DEFAULT": the icon of a file of no known type.
    SHFILEINFOW info{};
    int index = -1;
    if (m_list && SHGetFileInfoW(L"file", FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                                 SHGFI_ICON | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES) &&
        info.hIcon) {
        index = ImageList_AddIcon(m_list, info.hIcon);
        DestroyIcon(info.hIcon);
    }
    m_keys[L"DEFAULT"] = {index < 0 ? 0 : index, L""};
}

FileIconKeys::~FileIconKeys()
{
    if (m_list)
        ImageList_Destroy(m_list);
}

std::wstring FileIconKeys::getFileIconKey(std::wstring_view fileName, const std::wstring& defaultKey)
{
    const size_t dot = fileName.find_last_of(L'.');
    if (dot == std::wstring_view::npos)
        return defaultKey;
    std::wstring key(fileName.substr(dot));
    for (auto& c : key)
        c = static_cast<wchar_t>(towupper(c));
    if (key == L".EXE" || key == L".")
        return defaultKey;
    if (m_keys.count(key))
        return key;
    // The type alone is asked about (no file of that name is made or removed).
    SHFILEINFOW info{};
    const std::wstring probe = L"file" + key;
    if (!m_list || !SHGetFileInfoW(probe.c_str(), FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                                   SHGFI_ICON | SHGFI_SMALLICON | SHGFI_TYPENAME | SHGFI_USEFILEATTRIBUTES) ||
        !info.hIcon)
        return defaultKey;
    const int index = ImageList_AddIcon(m_list, info.hIcon);
    DestroyIcon(info.hIcon);
    if (index < 0)
        return defaultKey;
    m_keys[key] = {index, stripNull(std::wstring_view(info.szTypeName, 80))};
    return key;
}

int FileIconKeys::indexOf(const std::wstring& key) const
{
    const auto it = m_keys.find(key);
    return it == m_keys.end() ? m_keys.at(L"DEFAULT").index : it->second.index;
}

std::wstring FileIconKeys::typeNameOf(const std::wstring& key) const
{
    const auto it = m_keys.find(key);
    return it == m_keys.end() ? std::wstring() : it->second.typeName;
}

std::wstring entryFolderColumn(std::wstring_view archivePath, std::wstring_view fileDirectory)
{
    const size_t slash = archivePath.find_last_of(L"\\/");
    const std::wstring_view name = slash == std::wstring_view::npos ? archivePath : archivePath.substr(slash + 1);
    return (name.empty() ? std::wstring() : std::wstring(1, name[0])) + L":\\" + std::wstring(fileDirectory);
}

std::wstring entryDateColumn(const SYSTEMTIME& t)
{
    wchar_t date[64] = {}, time[64] = {};
    GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &t, nullptr, date, 64);
    GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &t, nullptr, time, 64);
    return std::wstring(date) + L" " + time;
}

HWND UnzipWindow::list() const noexcept { return item(IDC_lvwZip); }

void UnzipWindow::show(HINSTANCE instance, HWND owner) { showModal(instance, IDD_UNZIP, owner); }

std::wstring UnzipWindow::status() const
{
    wchar_t text[128] = {};
    GetDlgItemTextW(hwnd(), IDC_lblStatus, text, 128);
    return text;
}

bool UnzipWindow::onInitDialog()
{
    HWND lv = list();
    ListView_SetExtendedListViewStyle(lv, LVS_EX_FULLROWSELECT | LVS_EX_CHECKBOXES);
    ShowWindow(item(IDC_cmdRestoreChecked), restoreChecked ? SW_SHOW : SW_HIDE);
    ListView_SetImageList(lv, m_icons.list(), LVSIL_SMALL);
    win::addListColumns(lv, {{L"Filename", 150}, {L"Size", 70, LVCFMT_RIGHT}, {L"Date", 130},
                             {L"Packed", 70, LVCFMT_RIGHT}, {L"Folder", 220}});
    step(L"frmUnzip,Form_Load", [&] { pOpen(strFileName); });
    const int rows = ListView_GetItemCount(lv);
    SetDlgItemTextW(hwnd(), IDC_lblStatus, (std::to_wstring(rows) + L" files(s)").c_str());
    layoutNow();
    if (onLoaded)
        onLoaded();
    return true;
}

void UnzipWindow::pOpen(const std::wstring& path)
{
    HWND lv = list();
    ListView_DeleteAllItems(lv);
    cUnZip unzip;
    unzip.setZipFile(path);
    unzip.Directory();
    for (size_t i = 1; i <= unzip.FileCount(); ++i) {
        step(L"frmUnzip,pOpen", [&] {
            const ArchiveEntry& e = unzip.entry(i);
            LVITEMW it{};
            it.mask = LVIF_TEXT | LVIF_IMAGE;
            it.iItem = static_cast<int>(i - 1);
            it.pszText = const_cast<wchar_t*>(e.Filename.c_str());
            it.iImage = m_icons.indexOf(m_icons.getFileIconKey(e.Filename));
            const int row = ListView_InsertItem(lv, &it);
            const std::wstring cells[] = {std::to_wstring(e.FileSize), entryDateColumn(e.FileDate),
                                          std::to_wstring(e.FilePackedSize),
                                          entryFolderColumn(path, e.FileDirectory)};
            for (int c = 0; c < 4; ++c)
                ListView_SetItemText(lv, row, c + 1, const_cast<wchar_t*>(cells[c].c_str()));
        });
    }
}

void UnzipWindow::onSize(UINT type, int width, int height)
{
    if (type == SIZE_MINIMIZED)
        return;
    RECT status, button;
    GetWindowRect(item(IDC_lblStatus), &status);
    GetWindowRect(item(IDC_cmdRestoreChecked), &button);
    const int sh = status.bottom - status.top;
    const int bw = button.right - button.left, bh = button.bottom - button.top;
    const int bar = std::max(sh, bh) + 8;
    MoveWindow(list(), 0, 0, width, height - bar, TRUE);
    MoveWindow(item(IDC_lblStatus), 4, height - bar + (bar - sh) / 2, width - bw - 16, sh, TRUE);
    MoveWindow(item(IDC_cmdRestoreChecked), width - bw - 4, height - bar + (bar - bh) / 2, bw, bh, TRUE);
}

std::vector<size_t> UnzipWindow::checkedEntries() const
{
    std::vector<size_t> entries;
    HWND lv = list();
    const int rows = ListView_GetItemCount(lv);
    for (int r = 0; r < rows; ++r)
        if (ListView_GetCheckState(lv, r))
            entries.push_back(static_cast<size_t>(r) + 1);
    return entries;
}

bool UnzipWindow::onCommand(int id, int, HWND)
{
    if (id == IDCANCEL || id == IDOK) {
        EndDialog(hwnd(), 0);
        return true;
    }
    if (id == IDC_cmdRestoreChecked && restoreChecked) {
        EnableWindow(item(IDC_cmdRestoreChecked), FALSE);
        restoreChecked(checkedEntries());
        EnableWindow(item(IDC_cmdRestoreChecked), TRUE);
        return true;
    }
    return false;
}

} // namespace sorvane

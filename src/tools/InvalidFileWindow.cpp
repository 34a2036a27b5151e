// frmInvalidFile: the walk of both roots for string values that name a
// missing file or folder on an existing drive.
#include "tools/ScanWindow.h"

#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "resource.h"

namespace sorvane {

namespace {
constexpr int kPicture1 = 1740, kTxtKey = 1741, kTxtValue = 1742, kTxtPath = 1743;
}

InvalidFileWindow::InvalidFileWindow()
    : ScanWindow(L"Sorvane - Invalid file\\path reference", L"frmInvalidFile",
                 {{L"Registry Key", 280}, {L"String Value", 140}, {L"File\\path reference", 280}}, false, false, false)
{
}

void InvalidFileWindow::initExtra()
{
    setStatusVisible(false);
    HINSTANCE inst = GetModuleHandleW(nullptr);
    const HFONT font = reinterpret_cast<HFONT>(SendMessageW(hwnd(), WM_GETFONT, 0, 0));
    const auto make = [&](const wchar_t* cls, const wchar_t* text, DWORD style, int id, DWORD ex) {
        HWND h = CreateWindowExW(ex, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, hwnd(),
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), inst, nullptr);
        SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
        return h;
    };
    // Its text is the window text, so screen readers and tests can read it.
    m_picture = make(L"STATIC", L"", SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_SUNKEN | SS_CENTERIMAGE, kPicture1, 0);
    m_label = make(L"STATIC", L"Data for the highlighted key", SS_NOPREFIX, -1, 0);
    m_key = make(L"EDIT", L"", ES_AUTOHSCROLL | ES_READONLY | WS_TABSTOP, kTxtKey, WS_EX_CLIENTEDGE);
    m_value = make(L"EDIT", L"", ES_AUTOHSCROLL | ES_READONLY | WS_TABSTOP, kTxtValue, WS_EX_CLIENTEDGE);
    m_path = make(L"EDIT", L"", ES_AUTOHSCROLL | ES_READONLY | WS_TABSTOP, kTxtPath, WS_EX_CLIENTEDGE);
    driveList = getDriveList();  // loadDrives
}

int InvalidFileWindow::extraHeight() const
{
    RECT r{0, 0, 10, 14};
    MapDialogRect(hwnd(), &r);
    return r.bottom * 3 + 8;
}

void InvalidFileWindow::layoutExtra(int left, int top, int width)
{
    RECT r{0, 0, 10, 14};
    MapDialogRect(hwnd(), &r);
    const int h = r.bottom;
    MoveWindow(m_picture, left, top, width, h, TRUE);
    MoveWindow(m_label, left, top + h + 4, width, h, TRUE);
    const int third = (width - 8) / 3;
    MoveWindow(m_key, left, top + 2 * h + 8, third, h, TRUE);
    MoveWindow(m_value, left + third + 4, top + 2 * h + 8, third, h, TRUE);
    MoveWindow(m_path, left + 2 * (third + 4), top + 2 * h + 8, width - 2 * (third + 4), h, TRUE);
}

void InvalidFileWindow::print(const std::wstring& text) { SetWindowTextW(m_picture, text.c_str()); }

void InvalidFileWindow::onRowSelected(int row)
{
    SetWindowTextW(m_key, cell(row, 0).c_str());
    SetWindowTextW(m_value, cell(row, 1).c_str());
    SetWindowTextW(m_path, cell(row, 2).c_str());
}

void InvalidFileWindow::cmdFind_Click()
{
    startScan();
    beginRows();
    InvalidReferenceWalk walk(
        driveList,
        [&](const std::wstring& key) {
            // The progress text follows the walk at most once per slice.
            if (yield())
                print(L"Analyzing: " + key);
            return abortScan;
        },
        [&](const ScanRow& row) { addRow(row, false); });  // findings start unticked
    for (const auto& [root, prefix] : {std::pair{HKEY_CURRENT_USER, L"HKEY_CURRENT_USER:"},
                                       std::pair{HKEY_LOCAL_MACHINE, L"HKEY_LOCAL_MACHINE:"}})
        if (!walk.stopped())
            walk.scanRoot(root, prefix, startPath);
    endRows();
    // Stopped or not, what was found can be reviewed and deleted.
    enable(IDC_scan_cmdFind, true);
    enable(IDC_scan_cmdDelete, true);
    enable(IDC_scan_cmdStop, false);
    sortRows(1);
    print(invalidStatus(static_cast<size_t>(rowCount())));
}

void InvalidFileWindow::cmdDelete_Click()
{
    if (rowCount() > 0) {
        if (!confirmDelete())
            return;
        std::vector<RegItem> items;
        std::vector<int> rows;  // last to first, one per item
        for (int i = rowCount() - 1; i >= 0; --i) {
            if (!rowChecked(i))
                continue;
            rows.push_back(i);
            const std::wstring text = cell(i, 0);
            const size_t colon = text.find(L':');
            const HKEY root = text.substr(0, colon) == L"HKEY_CURRENT_USER" ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
            items.push_back({root, colon == std::wstring::npos ? L"" : text.substr(colon + 1), RegItem::Value, cell(i, 1)});
        }
        if (!deleteRegistry(items))
            return;
        beginRows();
        for (size_t n = 0; n < rows.size(); ++n)
            if (lastDeleted(n))
                removeRow(rows[n]);
        endRows();
    }
    print(invalidStatus(static_cast<size_t>(rowCount())) + undoNote());
}

} // namespace sorvane

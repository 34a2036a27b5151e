// The Searching tab.
#include "options/OptionsTabs.h"

#include "platform/AppFolder.h"
#include "platform/ErrorReport.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "resource.h"
#include "store/ListFiles.h"

#include <commctrl.h>

namespace sorvane {

void SearchTab::load()
{
    step(L"frmOptions,Form_Load", [&] {
        // The states the tab shows before search.sol is applied.
        setChecked(IDC_optSearchSizeAtleast, true);
        setText(IDC_txtSearchSize, L"1000");
        for (int id : {IDC_chkSearchReadOnly, IDC_chkSearchHidden, IDC_chkSearchSystem})
            setChecked(id, true);
    });
    constexpr const wchar_t* tag = L"frmOptions,getSearch";
    HWND drives = control(IDC_lstSearch);
    std::vector<std::wstring> entries;
    step(tag, [&] {
        for (const auto& root : split(getDriveList(), L'\0')) {
            if (root.empty())
                continue;
            entries.push_back(root + L" " + rgbDrvType(root));
            SendMessageW(drives, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entries.back().c_str()));
        }
    });
    std::optional<SearchSettings> s;
    step(tag, [&] { s = loadSearchSettings(appFile(L"search.sol"), tag); });
    if (!s) {
        step(tag, [&] {
            const std::wstring win = getWinDir();
            const std::wstring root = win.substr(0, win.find(L'\\') + 1);
            for (size_t i = 0; i < entries.size(); ++i)
                if (!root.empty() && icontains(entries[i], root))
                    SendMessageW(drives, LB_SETSEL, TRUE, static_cast<LPARAM>(i));
        });
        return;
    }
    for (size_t i = 0; i < entries.size(); ++i)
        if (isDriveSelected(s->driveLine, entries[i]))
            SendMessageW(drives, LB_SETSEL, TRUE, static_cast<LPARAM>(i));
    setChecked(IDC_chkSearchFileReference, s->fileReference);
    setChecked(IDC_chkSearchPathReference, s->pathReference);
    setChecked(IDC_chkSearchDateReference, s->dateFilter);
    const auto setDate = [&](int id, const std::wstring& text) {
        if (trim(text).empty())
            return;
        step(tag, [&] {
            auto date = parseStoredDate(text);
            if (!date)
                raiseError(kErrTypeMismatch, L"Type mismatch");
            DateTime_SetSystemtime(control(id), GDT_VALID, &*date);
        });
    };
    setDate(IDC_dtpSearchFirst, s->dateFrom);
    setDate(IDC_dtpSearchSecond, s->dateTo);
    setChecked(IDC_chkSearchSize, s->sizeFilter);
    // One option of the three: the first the file marks, as an older or
    // damaged line may mark more.
    const int size = s->sizeIs        ? IDC_optSearcSizeIs
                     : s->sizeAtLeast ? IDC_optSearchSizeAtleast
                     : s->sizeAtMost  ? IDC_optSearchSizeAtMost
                                      : 0;
    for (int id : {IDC_optSearcSizeIs, IDC_optSearchSizeAtleast, IDC_optSearchSizeAtMost})
        setChecked(id, id == size);
    setText(IDC_txtSearchSize, s->sizeKb);
    setChecked(IDC_chkSearchReadOnly, s->skipReadOnly);
    setChecked(IDC_chkSearchHidden, s->skipHidden);
    setChecked(IDC_chkSearchSystem, s->skipSystem);
}

void SearchTab::save(SaveLog& log)
{
    log.note(step(L"frmOptions,saveSearch", [&] {
        HWND drives = control(IDC_lstSearch);
        std::vector<std::wstring> selected;
        const auto entries = listEntries(IDC_lstSearch);
        for (size_t i = 0; i < entries.size(); ++i)
            if (SendMessageW(drives, LB_GETSEL, i, 0) > 0)
                selected.push_back(entries[i]);
        SearchSettings s;
        s.fileReference = checked(IDC_chkSearchFileReference);
        s.pathReference = checked(IDC_chkSearchPathReference);
        s.dateFilter = checked(IDC_chkSearchDateReference);
        SYSTEMTIME t{};
        if (DateTime_GetSystemtime(control(IDC_dtpSearchFirst), &t) == GDT_VALID)
            s.dateFrom = formatStoredDate(t);
        if (DateTime_GetSystemtime(control(IDC_dtpSearchSecond), &t) == GDT_VALID)
            s.dateTo = formatStoredDate(t);
        s.sizeFilter = checked(IDC_chkSearchSize);
        s.sizeIs = checked(IDC_optSearcSizeIs);
        s.sizeAtLeast = checked(IDC_optSearchSizeAtleast);
        s.sizeAtMost = checked(IDC_optSearchSizeAtMost);
        // A blank would shift the fields after it.
        s.sizeKb = replaceAll(trim(text(IDC_txtSearchSize)), L" ", L"");
        s.skipReadOnly = checked(IDC_chkSearchReadOnly);
        s.skipHidden = checked(IDC_chkSearchHidden);
        s.skipSystem = checked(IDC_chkSearchSystem);
        saveSearchSettings(appFile(L"search.sol"), s, selected);
    }),
             L"search.sol");
}

} // namespace sorvane

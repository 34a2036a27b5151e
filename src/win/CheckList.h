#pragma once
// Check boxes of an owner-data list view whose rows keep their own marks:
// the list asks for each mark, and clicks on a check box and Space come to
// the owner, the same way on every version of the control.
#include <windows.h>
#include <commctrl.h>

namespace win {

class CheckedRows {
public:
    virtual ~CheckedRows() = default;
    virtual bool rowChecked(int row) const = 0;
    virtual void setRowChecked(int row, bool on) = 0;
    // False while the owner is busy and marks must not change.
    virtual bool checksAllowed() const { return true; }
};

// Sets the list up (check boxes, full-row select, the marks asked of
// `rows`) and takes its mouse and keyboard toggling.
void installCheckedRows(HWND list, CheckedRows* rows);
// Fills the state part of an LVN_GETDISPINFO answer.
void fillCheckState(LVITEMW& item, bool checked);

} // namespace win

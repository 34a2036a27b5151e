#pragma once
// frmOverwrite: asks whether a restore may overwrite a file that exists.
#include "win/Dialog.h"

#include <cstdint>
#include <string>

namespace sorvane {

class OverwriteWindow : public win::Dialog {
public:
    std::wstring TheCaption;
    int32_t Response = 2;  // 6 Yes, 7 No, 2 when cancelled or closed
    bool ApplyToAll = false;

    void show(HINSTANCE instance, HWND owner);

private:
    bool onInitDialog() override;
    bool onCommand(int id, int code, HWND control) override;
};

// The restore's answer for the window's Response and ApplyToAll.
int32_t overwriteAnswer(int32_t response, bool applyToAll);
// Shows the question for `file` over `owner` and returns the answer.
int32_t askOverwrite(HINSTANCE instance, HWND owner, const std::wstring& file);

} // namespace sorvane

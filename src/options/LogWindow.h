#pragma once
// frmLog: the log of the last clean run, with Save and Exit.
#include "win/Dialog.h"

#include <string>

namespace sorvane {

// Writes the log text followed by CR LF, replacing the file. Raises on failure.
void saveLogText(const std::wstring& path, const std::wstring& text);

class LogWindow : public win::Dialog {
public:
    explicit LogWindow(std::wstring text) : m_text(std::move(text)) {}
    void show(HINSTANCE instance, HWND owner);

private:
    bool onInitDialog() override;
    bool onCommand(int id, int code, HWND control) override;
    void onSize(UINT type, int width, int height) override;
    bool onMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR& result) override;
    void mnuSave_Click();

    std::wstring m_text;
};

} // namespace sorvane

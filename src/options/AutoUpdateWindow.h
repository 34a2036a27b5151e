#pragma once
// frmAutoUpdate: checks the vendor's site for a newer version and, when one
// is announced, downloads and starts it.
#include "options/Update.h"
#include "win/Dialog.h"

#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

namespace sorvane {

class AutoUpdateWindow : public win::Dialog {
public:
    void show(HINSTANCE instance, HWND owner);
    // Ends the whole program once the downloaded version has been started.
    std::function<void()> endProgram;
    // Called as the last step of loading.
    std::function<void()> onLoaded;
    Updater updater;

    std::vector<std::wstring> statusLines() const;

private:
    bool onInitDialog() override;
    bool onCommand(int id, int code, HWND control) override;
    void cmd_Proceed();
    void addLine(const std::wstring& text, int image);
    void enableButtons(bool on);

    HIMAGELIST m_images = nullptr;
    bool m_cancel = false;
};

} // namespace sorvane

#pragma once
// frmCookies ("Cookie Information"): the records of one cookie file, read only.
#include "cleaners/CookieInfo.h"
#include "win/Dialog.h"
#include "win/UniqueHandle.h"

#include <functional>
#include <string>

namespace sorvane {

class CookieWindow : public win::Dialog {
public:
    // The cookie to show: its folder (with the trailing backslash) and name.
    std::wstring folder;
    std::wstring fileName;
    // Called as the last step of loading.
    std::function<void()> onLoaded;

    void show(HINSTANCE instance, HWND owner);
    HWND list() const noexcept;

private:
    bool onInitDialog() override;
    bool onCommand(int id, int code, HWND control) override;
    void onSize(UINT type, int width, int height) override;

    HIMAGELIST m_images = nullptr;
    std::wstring m_text;  // the file's content while loading
};

} // namespace sorvane

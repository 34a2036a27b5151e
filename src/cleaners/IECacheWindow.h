#pragma once
// frmIECache: the system's URL cache, filtered by kind, with a preview pane
// and deletion of one or all listed entries.
#include "cleaners/UrlCache.h"
#include "win/BrowserPane.h"
#include "win/Dialog.h"

#include <functional>
#include <string>
#include <vector>

namespace sorvane {

class IECacheWindow : public win::Dialog {
public:
    // Message boxes of the window, owned by it; tests answer them.
    using Ask = std::function<int(HWND owner, const std::wstring& text, unsigned flags)>;
    void setAsk(Ask ask) { m_ask = std::move(ask); }
    void show(HINSTANCE instance, HWND owner);
    // Called as the last step of loading.
    std::function<void()> onLoaded;

    HWND list() const noexcept;
    std::wstring status() const;
    std::wstring displaying() const;
    // What the preview pane was asked to show, in order.
    const std::vector<std::wstring>& navigations() const noexcept { return m_pane.navigations(); }
    // Whether the system's browser control is in the pane.
    bool browserHosted() const noexcept { return m_pane.hasBrowser(); }

private:
    bool onInitDialog() override;
    bool onCommand(int id, int code, HWND control) override;
    bool onNotify(NMHDR* header, LRESULT& result) override;
    void onSize(UINT type, int width, int height) override;
    void onDestroy() override;

    void getCacheURLList(DWORD mask);
    void showCount();
    DWORD selectedMask() const;
    void optionChosen(DWORD mask);
    void cmdView_Click();
    void cmdDelete_Click();
    void cmdClear_Click();

    Ask m_ask;
    win::BrowserPane m_pane;
    std::vector<CacheEntry> m_rows;
};

} // namespace sorvane

#include "support/PostedCalls.h"

namespace testenv {

namespace {
constexpr UINT kCall = WM_APP + 7;
}

PostedCalls::PostedCalls()
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = &PostedCalls::proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"SorvaneTestPostedCalls";
    RegisterClassW(&wc);
    m_hwnd = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

PostedCalls::~PostedCalls() { DestroyWindow(m_hwnd); }

void PostedCalls::post(std::function<void()> f)
{
    m_calls.push_back(std::move(f));
    PostMessageW(m_hwnd, kCall, m_calls.size() - 1, 0);
}

LRESULT CALLBACK PostedCalls::proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == kCall) {
        auto* self = reinterpret_cast<PostedCalls*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self && wp < self->m_calls.size()) {
            auto f = self->m_calls[wp];  // a call may post more calls
            f();
        }
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

} // namespace testenv

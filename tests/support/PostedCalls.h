#pragma once
// Runs functions from the message queue, in order with the commands posted
// to a window: a test drives a modal window from inside its message loop.
#include <windows.h>

#include <functional>
#include <vector>

namespace testenv {

class PostedCalls {
public:
    PostedCalls();
    ~PostedCalls();
    PostedCalls(const PostedCalls&) = delete;
    PostedCalls& operator=(const PostedCalls&) = delete;
    void post(std::function<void()> f);

private:
    static LRESULT CALLBACK proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    HWND m_hwnd = nullptr;
    std::vector<std::function<void()>> m_calls;
};

} // namespace testenv

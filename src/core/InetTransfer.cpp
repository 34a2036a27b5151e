#include "core/InetTransfer.h"

#include "win/UniqueHandle.h"

#include <windows.h>
#include <winhttp.h>

#include <thread>
#include <vector>

namespace sorvane {

namespace {

struct CloseInternet {
    void operator()(HINTERNET h) const noexcept { WinHttpCloseHandle(h); }
};
inline HINTERNET nullInternet() noexcept { return nullptr; }
using UniqueInternet = win::UniqueHandle<HINTERNET, CloseInternet, nullInternet>;

// What the waiting caller and the helper thread share; the helper keeps it
// alive after an abandoned wait.
struct Job {
    std::wstring url;
    unsigned long timeoutMs = 0;
    std::optional<HttpResponse> response;
    win::UniqueHandleNull done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

} // namespace

std::optional<HttpResponse> httpGet(const std::wstring& url, unsigned long timeoutMs)
{
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    std::vector<wchar_t> host(url.size() + 1), path(url.size() + 1), extra(url.size() + 1);
    parts.lpszHostName = host.data();
    parts.dwHostNameLength = static_cast<DWORD>(host.size());
    parts.lpszUrlPath = path.data();
    parts.dwUrlPathLength = static_cast<DWORD>(path.size());
    parts.lpszExtraInfo = extra.data();
    parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
    if (!WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts))
        return std::nullopt;
    const std::wstring target = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                                std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength);

    UniqueInternet session(WinHttpOpen(L"Sorvane", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                       WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session)
        return std::nullopt;
    const int t = static_cast<int>(timeoutMs);
    WinHttpSetTimeouts(session.get(), t, t, t, t);
    UniqueInternet connection(WinHttpConnect(session.get(), parts.lpszHostName, parts.nPort, 0));
    if (!connection)
        return std::nullopt;
    const DWORD flags = (parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0) | WINHTTP_FLAG_REFRESH;
    UniqueInternet request(WinHttpOpenRequest(connection.get(), L"GET", target.c_str(), nullptr, WINHTTP_NO_REFERER,
                                              WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
    if (!request ||
        !WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !WinHttpReceiveResponse(request.get(), nullptr))
        return std::nullopt;
    HttpResponse response;
    DWORD size = sizeof response.status;
    WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                        &response.status, &size, WINHTTP_NO_HEADER_INDEX);
    DWORD bytes = 0;
    WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &bytes,
                        WINHTTP_NO_HEADER_INDEX);
    if (bytes > 0) {
        std::wstring headers(bytes / sizeof(wchar_t) + 1, L'\0');
        if (WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                                headers.data(), &bytes, WINHTTP_NO_HEADER_INDEX))
            response.headers.assign(headers.c_str());
    }
    char buf[65536];
    DWORD got = 0;
    while (WinHttpReadData(request.get(), buf, sizeof buf, &got) && got > 0)
        response.body.append(buf, got);
    return response;
}

std::optional<std::string> InetTransfer::openUrl(const std::wstring& url)
{
    auto response = fetch(url);
    if (!response)
        return std::nullopt;
    return std::move(response->body);
}

std::optional<HttpResponse> InetTransfer::fetch(const std::wstring& url)
{
    auto job = std::make_shared<Job>();
    job->url = url;
    job->timeoutMs = m_timeoutMs;
    if (!job->done)
        return std::nullopt;
    try {
        std::thread([job] {
            job->response = httpGet(job->url, job->timeoutMs);
            SetEvent(job->done.get());
        }).detach();
    } catch (...) {
        return std::nullopt;
    }
    // The time-out bounds each phase of the request; the whole of it gets a
    // little more than one phase before it is given up. Messages of this
    // thread are served meanwhile.
    const ULONGLONG deadline = GetTickCount64() + m_timeoutMs + m_timeoutMs / 2;
    HANDLE done = job->done.get();
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline)
            return std::nullopt;
        const DWORD r = MsgWaitForMultipleObjects(1, &done, FALSE, static_cast<DWORD>(deadline - now),
                                                  QS_ALLINPUT);
        if (r == WAIT_OBJECT_0)
            return job->response;
        if (r != WAIT_OBJECT_0 + 1)
            return std::nullopt;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                return std::nullopt;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

InetTransfer& mainTransfer()
{
    static InetTransfer transfer;
    return transfer;
}

} // namespace sorvane

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
    std::optional<std::string> body;
    win::UniqueHandleNull done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

} // namespace

std::optional<std::string> httpGet(const std::wstring& url, unsigned long timeoutMs)
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
    std::string data;
    char buf[8192];
    DWORD got = 0;
    while (WinHttpReadData(request.get(), buf, sizeof buf, &got) && got > 0)
        data.append(buf, got);
    return data;
}

std::optional<std::string> InetTransfer::openUrl(const std::wstring& url)
{
    auto job = std::make_shared<Job>();
    job->url = url;
    job->timeoutMs = m_timeoutMs;
    if (!job->done)
        return std::nullopt;
    try {
        std::thread([job] {
            job->body = httpGet(job->url, job->timeoutMs);
            SetEvent(job->done.get());
        }).detach();
    } catch (...) {
        return std::nullopt;
    }
    // The time-out bounds each phase of the request; the whole of it gets a
    // little more than one phase before it is given up.
    const bool finished = WaitForSingleObject(job->done.get(), m_timeoutMs + m_timeoutMs / 2) == WAIT_OBJECT_0;
    return finished ? job->body : std::nullopt;
}

InetTransfer& mainTransfer()
{
    static InetTransfer transfer;
    return transfer;
}

} // namespace sorvane

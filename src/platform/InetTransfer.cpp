#include "platform/InetTransfer.h"

#include "platform/DoEvents.h"
#include "win/UniqueHandle.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
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
} // namespace

struct TransferJob {
    std::wstring url;
    unsigned long timeoutMs = 0;
    unsigned long receiveTimeoutMs = 0;
    uint64_t maxBytes = 0;
    InetTransfer::RedirectRule rule;
    std::optional<HttpResponse> response;
    TransferProgress progress;
    win::UniqueHandleNull done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

namespace {

struct UrlParts {
    INTERNET_SCHEME scheme = INTERNET_SCHEME_HTTP;
    std::wstring host;
    INTERNET_PORT port = 0;
};

std::optional<UrlParts> crack(const std::wstring& url)
{
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    std::vector<wchar_t> host(url.size() + 1);
    parts.lpszHostName = host.data();
    parts.dwHostNameLength = static_cast<DWORD>(host.size());
    if (url.empty() || !WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts))
        return std::nullopt;
    return UrlParts{parts.nScheme, std::wstring(parts.lpszHostName, parts.dwHostNameLength), parts.nPort};
}

// The address a Location header leads to: absolute, or a path on the same
// site; nothing for anything else.
std::optional<std::wstring> redirectTarget(const std::wstring& from, const std::wstring& location)
{
    if (location.rfind(L"https://", 0) == 0 || location.rfind(L"http://", 0) == 0)
        return location;
    if (location.empty() || location[0] != L'/' || (location.size() > 1 && location[1] == L'/'))
        return std::nullopt;
    const auto site = crack(from);
    if (!site)
        return std::nullopt;
    return std::wstring(site->scheme == INTERNET_SCHEME_HTTPS ? L"https://" : L"http://") + site->host + L":" +
           std::to_wstring(site->port) + location;
}

std::optional<HttpResponse> httpGetOnce(const std::wstring& url, unsigned long timeoutMs, std::wstring& location,
                                        TransferProgress* progress, unsigned long receiveTimeoutMs, uint64_t maxBytes);

} // namespace

bool isSecureOrLoopbackUrl(std::wstring_view url)
{
    const auto parts = crack(std::wstring(url));
    if (!parts)
        return false;
    if (parts->scheme == INTERNET_SCHEME_HTTPS)
        return true;
    const std::wstring& h = parts->host;
    return parts->scheme == INTERNET_SCHEME_HTTP &&
           (h == L"127.0.0.1" || _wcsicmp(h.c_str(), L"localhost") == 0 || h == L"[::1]" || h == L"::1");
}

bool sameSite(const std::wstring& a, const std::wstring& b)
{
    const auto x = crack(a), y = crack(b);
    return x && y && x->scheme == y->scheme && x->port == y->port && _wcsicmp(x->host.c_str(), y->host.c_str()) == 0;
}

std::optional<HttpResponse> httpGet(const std::wstring& url, unsigned long timeoutMs,
                                    const InetTransfer::RedirectRule& rule, TransferProgress* progress,
                                    unsigned long receiveTimeoutMs, uint64_t maxBytes)
{
    std::wstring current = url;
    for (int hops = 0;; ++hops) {
        std::wstring location;
        auto response = httpGetOnce(current, timeoutMs, location, progress, receiveTimeoutMs, maxBytes);
        if (!response)
            return response;
        const bool redirect = response->status == 301 || response->status == 302 || response->status == 303 ||
                              response->status == 307 || response->status == 308;
        if (!redirect || hops >= 5 || !rule)
            return response;
        const auto next = redirectTarget(current, location);
        if (!next || !rule(*next))
            return response;
        current = *next;
    }
}

namespace {

std::optional<HttpResponse> httpGetOnce(const std::wstring& url, unsigned long timeoutMs, std::wstring& location,
                                        TransferProgress* progress, unsigned long receiveTimeoutMs, uint64_t maxBytes)
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
    // Redirects are the caller's decision, never WinHTTP's.
    DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    WinHttpSetOption(session.get(), WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof never);
    const int t = static_cast<int>(timeoutMs);
    // Each receive waits this long for its bytes: with a stall time-out a
    // slow line goes on as long as it delivers.
    WinHttpSetTimeouts(session.get(), t, t, t, receiveTimeoutMs ? static_cast<int>(receiveTimeoutMs) : t);
    UniqueInternet connection(WinHttpConnect(session.get(), parts.lpszHostName, parts.nPort, 0));
    if (!connection)
        return std::nullopt;
    const DWORD flags = (parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0) | WINHTTP_FLAG_REFRESH;
    UniqueInternet request(WinHttpOpenRequest(connection.get(), L"GET", target.c_str(), nullptr, WINHTTP_NO_REFERER,
                                              WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
    DWORD noRedirects = WINHTTP_DISABLE_REDIRECTS;
    if (request)
        WinHttpSetOption(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &noRedirects, sizeof noRedirects);
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
    DWORD locationBytes = 0;
    WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &locationBytes,
                        WINHTTP_NO_HEADER_INDEX);
    if (locationBytes > 0) {
        std::wstring buf(locationBytes / sizeof(wchar_t) + 1, L'\0');
        if (WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX, buf.data(),
                                &locationBytes, WINHTTP_NO_HEADER_INDEX))
            location.assign(buf.c_str());
    }
    if (maxBytes) {
        // An answer that announces more than may be taken is not read at all.
        wchar_t length[32] = {};
        DWORD lengthBytes = sizeof length - sizeof(wchar_t);
        if (WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, length,
                                &lengthBytes, WINHTTP_NO_HEADER_INDEX) &&
            _wcstoui64(length, nullptr, 10) > maxBytes)
            return std::nullopt;
    }
    if (progress) {
        progress->lastProgress = GetTickCount64();
        progress->answered = true;  // the answer's headers are here
    }
    // What has arrived, as it arrives: a read for more than that would wait
    // for the whole buffer, and the waiting side would see no progress. The
    // body ends only where the server says it does; a failed read is a
    // failed request, never a shorter body.
    char buf[65536];
    for (;;) {
        if (progress && progress->cancel)
            return std::nullopt;
        DWORD available = 0, got = 0;
        if (!WinHttpQueryDataAvailable(request.get(), &available))
            return std::nullopt;
        if (available == 0)
            break;
        if (!WinHttpReadData(request.get(), buf, std::min<DWORD>(available, sizeof buf), &got) || got == 0)
            return std::nullopt;
        response.body.append(buf, got);
        if (maxBytes && response.body.size() > maxBytes)
            return std::nullopt;
        if (progress) {
            progress->received = response.body.size();
            progress->lastProgress = GetTickCount64();
        }
    }
    return response;
}

} // namespace

std::optional<std::string> InetTransfer::openUrl(const std::wstring& url)
{
    auto response = fetch(url);
    if (!response)
        return std::nullopt;
    return std::move(response->body);
}

namespace {

// Serves this thread's messages until `event` is set, `deadline` (a tick
// count, 0: none) passes or `stop` says so; true when the event was set.
template <typename Stop>
bool pumpUntil(HANDLE event, ULONGLONG deadline, Stop&& stop)
{
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if ((deadline && now >= deadline) || stop())
            return false;
        // Short slices, so progress and Close are seen while waiting.
        const DWORD slice = static_cast<DWORD>(deadline ? std::min<ULONGLONG>(deadline - now, 100) : 100);
        const DWORD r = MsgWaitForMultipleObjects(1, &event, FALSE, slice, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0)
            return true;
        if (r == WAIT_TIMEOUT)
            continue;
        if (r != WAIT_OBJECT_0 + 1 || doEvents())
            return false;
    }
}

} // namespace

std::optional<HttpResponse> InetTransfer::fetch(const std::wstring& url)
{
    const auto isCancelled = [this] { return cancelled && cancelled(); };
    // Downloads go one at a time: one given up may still be ending (it
    // stops at its next bytes or its own time-out). Short requests (the
    // error reports') are never held up by one that hangs.
    if (m_previous && m_stallMs) {
        const ULONGLONG bound = GetTickCount64() + 2 * m_timeoutMs + m_stallMs + 1000;
        if (!pumpUntil(m_previous->done.get(), bound, isCancelled))
            return std::nullopt;
        m_previous.reset();
    }
    auto job = std::make_shared<TransferJob>();
    job->url = url;
    job->timeoutMs = m_timeoutMs;
    job->receiveTimeoutMs = m_stallMs;
    job->maxBytes = m_maxBytes;
    job->rule = m_redirectRule;
    if (!job->done)
        return std::nullopt;
    job->progress.lastProgress = GetTickCount64();
    try {
        std::thread([job] {
            job->response =
                httpGet(job->url, job->timeoutMs, job->rule, &job->progress, job->receiveTimeoutMs, job->maxBytes);
            SetEvent(job->done.get());
        }).detach();
    } catch (...) {
        return std::nullopt;
    }
    if (m_stallMs)
        m_previous = job;
    uint64_t told = 0;
    const ULONGLONG answerBy = GetTickCount64() + m_timeoutMs + m_timeoutMs / 2;
    const auto giveUp = [&] {
        if (isCancelled())
            return true;
        const uint64_t received = job->progress.received;
        if (onProgress && received != told)
            onProgress(told = received);
        // Until the answer comes the request gets a little more than one
        // phase; after it, with a stall time-out, it lasts as long as
        // bytes come.
        const ULONGLONG now = GetTickCount64();
        if (!job->progress.answered || !m_stallMs)
            return now > answerBy;
        return now - job->progress.lastProgress > m_stallMs;
    };
    const ULONGLONG deadline = 0;
    if (!pumpUntil(job->done.get(), deadline, giveUp)) {
        job->progress.cancel = true;
        return std::nullopt;
    }
    m_previous.reset();
    if (onProgress && job->progress.received != told)
        onProgress(job->progress.received);
    return job->response;
}

InetTransfer& mainTransfer()
{
    static InetTransfer transfer;
    return transfer;
}

} // namespace sorvane

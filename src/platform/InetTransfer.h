#pragma once
// A bounded HTTP GET, used by the error reporter's sender and the update check. A request blocks the caller for at most its time-out:
// it runs on a helper thread that the caller waits for, and a request that
// has not finished by then is abandoned (the helper ends on its own when the
// connection fails). So an offline machine or a server that never answers
// cannot hold the window for long.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace sorvane {

struct HttpResponse {
    unsigned long status = 0;
    std::wstring headers;  // the raw header block: status line, then one header per line
    std::string body;
};

// What a request has received so far, shared between the thread that reads
// it and the one that waits for it.
struct TransferProgress {
    std::atomic<uint64_t> received{0};
    std::atomic<unsigned long long> lastProgress{0};  // GetTickCount64 of the last bytes
    std::atomic<bool> cancel{false};
    std::atomic<bool> answered{false};  // the headers have come
};

class InetTransfer {
public:
    InetTransfer() = default;
    InetTransfer(const InetTransfer&) = delete;
    InetTransfer& operator=(const InetTransfer&) = delete;

    // GET the URL; the body of a completed request (any status), nothing when
    // the connection fails or the time-out passes first. Nothing of a request
    // outlives the call, so a second request never waits for a first.
    std::optional<std::string> openUrl(const std::wstring& url);
    // The same with the status and the header block. The wait lets the
    // caller's windows go on working.
    std::optional<HttpResponse> fetch(const std::wstring& url);
    // Each phase of a request (connect, send, receive) may take this long.
    void setTimeout(unsigned long ms) noexcept { m_timeoutMs = ms; }
    // Which redirects are followed: none unless the rule accepts the new
    // address. A redirect not followed is the answer itself (its 3xx status).
    using RedirectRule = std::function<bool(const std::wstring& url)>;
    void setRedirectRule(RedirectRule rule) { m_redirectRule = std::move(rule); }
    // With a stall time-out, a request may take as long as it keeps
    // receiving: it is given up only after this long without a byte (a
    // slow line is no failure). 0: the whole request is bounded instead.
    void setStallTimeout(unsigned long ms) noexcept { m_stallMs = ms; }
    // A body larger than this (announced or received) fails the request;
    // 0: no limit.
    void setMaxBytes(uint64_t bytes) noexcept { m_maxBytes = bytes; }
    // Bytes received so far, told to the waiting thread now and then.
    std::function<void(uint64_t received)> onProgress;
    // Asked while waiting: true gives the request up at once.
    std::function<bool()> cancelled;

private:
    unsigned long m_timeoutMs = 3000;
    unsigned long m_stallMs = 0;
    uint64_t m_maxBytes = 0;
    RedirectRule m_redirectRule;
    // The last download (with a stall time-out): a new one starts only once
    // it has ended, so two never run at the same time.
    std::shared_ptr<struct TransferJob> m_previous;
};

// HTTPS anywhere, plain HTTP only to this machine's loopback.
bool isSecureOrLoopbackUrl(std::wstring_view url);
// Whether two addresses name the same scheme, host and port.
bool sameSite(const std::wstring& a, const std::wstring& b);

// The main window's transfer object.
InetTransfer& mainTransfer();

// One blocking GET with WinHTTP time-outs; used by the helper thread.
// WinHTTP follows no redirect on its own: `rule` decides each one. A failed
// read, or a body past `maxBytes` (0: no limit), fails the request.
std::optional<HttpResponse> httpGet(const std::wstring& url, unsigned long timeoutMs,
                                    const InetTransfer::RedirectRule& rule = {}, TransferProgress* progress = nullptr,
                                    unsigned long receiveTimeoutMs = 0, uint64_t maxBytes = 0);

} // namespace sorvane

#pragma once
// The program's one HTTP transfer object, shared by the error reporter and
// the update check. Requests are synchronous and bounded by short time-outs
// so that an offline machine never holds the window for long.
#include <optional>
#include <string>

namespace sorvane {

class InetTransfer {
public:
    InetTransfer() = default;
    InetTransfer(const InetTransfer&) = delete;
    InetTransfer& operator=(const InetTransfer&) = delete;
    ~InetTransfer();

    // GET the URL; the body on a completed request (any status), nothing when
    // the connection fails or times out.
    std::optional<std::string> openUrl(const std::wstring& url);
    // Closes the connection of a transfer in progress.
    void cancel() noexcept;
    bool stillExecuting() const noexcept { return m_executing; }

    void setTimeoutMs(unsigned long ms) noexcept { m_timeoutMs = ms; }

private:
    void* m_session = nullptr;  // HINTERNET
    void* m_request = nullptr;  // HINTERNET of the transfer in progress
    bool m_executing = false;
    unsigned long m_timeoutMs = 3000;
};

// The main window's transfer object.
InetTransfer& mainTransfer();

} // namespace sorvane

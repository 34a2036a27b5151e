#pragma once
// A tiny HTTP server on 127.0.0.1 for tests of outgoing requests. It answers
// every request with "200 OK" and records the request targets.
#include <winsock2.h>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace testenv {

class LoopbackServer {
public:
    // A silent server accepts connections and never answers. `address` is
    // a loopback address ("127.0.0.2" stands for another machine).
    explicit LoopbackServer(bool silent = false, const char* address = "127.0.0.1");
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    unsigned short port() const { return m_port; }
    // How a routed response goes out: at most this many bytes a second (0:
    // at once), and held open without another byte after `holdAfter`.
    struct Pace {
        size_t bytesPerSecond = 0;
        size_t holdAfter = static_cast<size_t>(-1);
    };
    // Answers requests for `target` with this whole response (status line,
    // headers, body) instead of the plain "200 OK".
    void route(const std::string& target, std::string response);
    void route(const std::string& target, std::string response, Pace pace);
    // A response with the status, a Content-Length (when `length` is not
    // given, the body's own) and the body.
    static std::string response(const std::string& status, const std::string& body,
                                std::optional<size_t> length = std::nullopt);
    std::wstring baseUrl() const;
    // The target of the next request (path and query, as sent), if one comes in time.
    std::optional<std::string> waitForRequest(unsigned ms);

private:
    void serve();

    SOCKET m_listen = INVALID_SOCKET;
    unsigned short m_port = 0;
    std::string m_address;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<std::string> m_requests;
    size_t m_taken = 0;
    bool m_stop = false;
    bool m_silent = false;
    std::vector<SOCKET> m_held;
    struct Route {
        std::string target, response;
        Pace pace;
    };
    std::vector<Route> m_routes;
};

// Percent-decoding of a request target's query.
std::string percentDecode(std::string_view s);

} // namespace testenv

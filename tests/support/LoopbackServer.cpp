#include "support/LoopbackServer.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace testenv {

LoopbackServer::LoopbackServer(bool silent, const char* address) : m_address(address), m_silent(silent)
{
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    m_listen = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    inet_pton(AF_INET, address, &addr.sin_addr);
    addr.sin_port = 0;
    bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    int len = sizeof addr;
    getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len);
    m_port = ntohs(addr.sin_port);
    listen(m_listen, 8);
    m_thread = std::thread([this] { serve(); });
}

LoopbackServer::~LoopbackServer()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    closesocket(m_listen);
    m_thread.join();
    for (SOCKET s : m_held)
        closesocket(s);
    WSACleanup();
}

void LoopbackServer::route(const std::string& target, std::string response)
{
    route(target, std::move(response), Pace{});
}

void LoopbackServer::route(const std::string& target, std::string response, Pace pace)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_routes.push_back({target, std::move(response), pace});
}

std::string LoopbackServer::response(const std::string& status, const std::string& body, std::optional<size_t> length)
{
    std::string r = "HTTP/1.0 " + status + "\r\nContent-Type: application/octet-stream\r\n";
    r += "Content-Length: " + std::to_string(length.value_or(body.size())) + "\r\n";
    return r + "\r\n" + body;
}

std::wstring LoopbackServer::baseUrl() const
{
    return L"http://" + std::wstring(m_address.begin(), m_address.end()) + L":" + std::to_wstring(m_port);
}

void LoopbackServer::serve()
{
    for (;;) {
        SOCKET s = accept(m_listen, nullptr, nullptr);
        if (s == INVALID_SOCKET)
            return;
        if (m_silent) {
            m_held.push_back(s);
            continue;
        }
        std::string request;
        char buf[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            const int n = recv(s, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            request.append(buf, static_cast<size_t>(n));
        }
        const size_t sp1 = request.find(' ');
        const size_t sp2 = sp1 == std::string::npos ? std::string::npos : request.find(' ', sp1 + 1);
        std::string reply = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 2\r\n\r\nok";
        Pace pace;
        if (sp2 != std::string::npos) {
            std::lock_guard<std::mutex> lock(m_mutex);
            const std::string target = request.substr(sp1 + 1, sp2 - sp1 - 1);
            for (const auto& r : m_routes)
                if (r.target == target) {
                    reply = r.response;
                    pace = r.pace;
                }
            m_requests.push_back(target);
            m_cv.notify_all();
        }
        const size_t limit = std::min(reply.size(), pace.holdAfter);
        for (size_t sent = 0; sent < limit;) {
            const size_t chunk = pace.bytesPerSecond ? std::min<size_t>(256, limit - sent) : limit - sent;
            const int n = send(s, reply.data() + sent, static_cast<int>(std::min<size_t>(chunk, 65536)), 0);
            if (n <= 0)
                break;
            sent += static_cast<size_t>(n);
            if (pace.bytesPerSecond)
                std::this_thread::sleep_for(std::chrono::milliseconds(1000 * static_cast<size_t>(n) / pace.bytesPerSecond));
        }
        if (limit < reply.size()) {
            m_held.push_back(s);  // stalled: open, silent
            continue;
        }
        shutdown(s, SD_BOTH);
        closesocket(s);
    }
}

std::optional<std::string> LoopbackServer::waitForRequest(unsigned ms)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_cv.wait_for(lock, std::chrono::milliseconds(ms), [&] { return m_requests.size() > m_taken; }))
        return std::nullopt;
    return m_requests[m_taken++];
}

std::string percentDecode(std::string_view s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            out += static_cast<char>(std::stoi(std::string(s.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

} // namespace testenv

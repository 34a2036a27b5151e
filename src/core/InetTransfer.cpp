#include "core/InetTransfer.h"

#include <windows.h>
#include <wininet.h>

namespace sorvane {

InetTransfer::~InetTransfer()
{
    cancel();
    if (m_session)
        InternetCloseHandle(static_cast<HINTERNET>(m_session));
}

std::optional<std::string> InetTransfer::openUrl(const std::wstring& url)
{
    if (!m_session) {
        m_session = InternetOpenW(L"Sorvane", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
        if (!m_session)
            return std::nullopt;
        DWORD t = m_timeoutMs;
        for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                             INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_SEND_TIMEOUT,
                             INTERNET_OPTION_DATA_RECEIVE_TIMEOUT})
            InternetSetOptionW(static_cast<HINTERNET>(m_session), option, &t, sizeof t);
        DWORD retries = 1;
        InternetSetOptionW(static_cast<HINTERNET>(m_session), INTERNET_OPTION_CONNECT_RETRIES, &retries,
                           sizeof retries);
    }
    cancel();
    m_executing = true;
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES |
                        INTERNET_FLAG_NO_UI | INTERNET_FLAG_PRAGMA_NOCACHE;
    HINTERNET request = InternetOpenUrlW(static_cast<HINTERNET>(m_session), url.c_str(), nullptr, 0, flags, 0);
    std::optional<std::string> body;
    if (request) {
        m_request = request;
        std::string data;
        char buf[8192];
        DWORD got = 0;
        while (m_request && InternetReadFile(request, buf, sizeof buf, &got) && got > 0)
            data.append(buf, got);
        body = std::move(data);
        cancel();
    }
    m_executing = false;
    return body;
}

void InetTransfer::cancel() noexcept
{
    if (m_request) {
        InternetCloseHandle(static_cast<HINTERNET>(m_request));
        m_request = nullptr;
    }
    m_executing = false;
}

InetTransfer& mainTransfer()
{
    static InetTransfer transfer;
    return transfer;
}

} // namespace sorvane

#include "platform/ErrorReport.h"

#include "platform/InetTransfer.h"
#include "platform/Registry.h"
#include "platform/ReportQueue.h"
#include "platform/Text.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwctype>

namespace sorvane {

const wchar_t* const kDefaultVendorSite = L"https://www.sorvane.example";

namespace {
PendingError g_pending;
SystemInfo g_info;
std::wstring g_site = kDefaultVendorSite;
bool g_reportsOn = true;
} // namespace

void raiseError(long number, std::wstring description) { throw AppError(number, std::move(description)); }

std::wstring win32Message(unsigned long code)
{
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring msg = n && text ? std::wstring(text, n) : std::wstring();
    if (text)
        LocalFree(text);
    while (!msg.empty() && (msg.back() == L'\n' || msg.back() == L'\r' || msg.back() == L' '))
        msg.pop_back();
    if (msg.empty())
        msg = L"Error " + std::to_wstring(code);
    return msg;
}

void raiseWin32(unsigned long code) { throw AppError(static_cast<long>(code), win32Message(code)); }

void setPendingError(long number, std::wstring description)
{
    g_pending.number = number;
    g_pending.description = std::move(description);
}

PendingError pendingError() { return g_pending; }

void clearPendingError() { g_pending = {}; }

void setPendingFromCurrentException() noexcept
{
    try {
        throw;
    } catch (const AppError& e) {
        setPendingError(e.number(), e.description());
    } catch (const std::bad_alloc&) {
        setPendingError(7, L"Out of memory");
    } catch (const std::exception& e) {
        std::wstring d;
        for (const char* p = e.what(); *p; ++p)
            d += static_cast<wchar_t>(static_cast<unsigned char>(*p));
        setPendingError(5, d);
    } catch (...) {
        setPendingError(5, L"Invalid procedure call or argument");
    }
}

std::wstring buildReportQuery(const SystemInfo& info, std::wstring_view tag, long number,
                              std::wstring_view description)
{
    std::wstring q;
    q += info.strOSName;
    q += L',';
    q += info.strOSVersion;
    q += L',';
    q += info.strServicePack;
    q += L',';
    q += info.strIEVersion;
    q += L',';
    q += tag;
    q += std::to_wstring(number);
    q += description;
    return q;
}

std::wstring buildReportUrl(std::wstring_view site, std::wstring_view query)
{
    static const char hex[] = "0123456789ABCDEF";
    std::wstring url(site);
    url += L"/error-reporting/error-msg.php?";
    for (unsigned char c : toUtf8(query)) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                           c == '-' || c == '_' || c == '.' || c == '~' || c == ',';
        if (plain) {
            url += static_cast<wchar_t>(c);
        } else {
            url += L'%';
            url += static_cast<wchar_t>(hex[c >> 4]);
            url += static_cast<wchar_t>(hex[c & 15]);
        }
    }
    return url;
}

void reportError(std::wstring_view tag) noexcept
{
    try {
        if (g_pending.number == 0) {
            clearPendingError();
            return;
        }
        const PendingError err = g_pending;
        // Only when the user lets them go, and only over HTTPS (plain HTTP
        // to this machine's loopback for tests). Queued for the background
        // sender: the caller never waits on the network, and a full queue
        // drops the report.
        if (g_reportsOn && isSecureOrLoopbackUrl(g_site))
            postReport(buildReportUrl(g_site, buildReportQuery(g_info, tag, err.number,
                                                               reportableDescription(err.description))));
    } catch (...) {
    }
    clearPendingError();
}

std::wstring osNameFor(unsigned long platformId, unsigned long major, unsigned long minor, unsigned long build)
{
    if (platformId == 1) {
        if (minor == 0)
            return L"Microsoft Windows 95";
        if (minor == 10)
            return build < 2183 ? L"Microsoft Windows 98" : L"Microsoft Windows 98 Second Edition";
        if (minor == 90)
            return L"Microsoft Windows Millennium Edition";
    } else if (platformId == 2) {
        if (major == 3)
            return L"Microsoft Windows NT 3.51";
        if (major == 4)
            return L"Microsoft Windows NT 4.0";
        if (major == 5) {
            if (minor == 0)
                return L"Microsoft Windows 2000";
            if (minor == 1)
                return L"Microsoft Windows XP";
            return L"Microsoft Windows Sever 2003";
        }
    }
    return L"";
}

void gatherSystemInfo()
{
    SystemInfo info;
    // GetVersionExW is deprecated but it is the call that reports the
    // platform id and service-pack text the report carries.
    OSVERSIONINFOW v{};
    v.dwOSVersionInfoSize = sizeof v;
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)
#endif
    if (GetVersionExW(&v)) {
        info.strOSName = osNameFor(v.dwPlatformId, v.dwMajorVersion, v.dwMinorVersion, v.dwBuildNumber);
        info.strOSVersion = std::to_wstring(v.dwMajorVersion) + L"." + std::to_wstring(v.dwMinorVersion) + L"." +
                            std::to_wstring(v.dwBuildNumber);
        info.strServicePack = stripNull(std::wstring_view(v.szCSDVersion, 128));
    }
    info.strIEVersion = getRegString(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Internet Explorer", L"Version");
    g_info = std::move(info);
}

const SystemInfo& systemInfo() { return g_info; }
void setSystemInfo(SystemInfo info) { g_info = std::move(info); }

bool errorReportsOn() { return g_reportsOn; }
void setErrorReports(bool on) { g_reportsOn = on; }

std::wstring reportableDescription(std::wstring_view description)
{
    // Words as the description separates them; quotes and brackets end one.
    const auto separator = [](wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' ||
                                                  c == L'"' || c == L'\'' || c == L'(' || c == L')' ||
                                                  c == L'<' || c == L'>' || c == L','; };
    bool named = false;
    std::wstring extension;
    for (size_t i = 0; i < description.size();) {
        while (i < description.size() && separator(description[i]))
            ++i;
        size_t end = i;
        while (end < description.size() && !separator(description[end]))
            ++end;
        std::wstring_view word = description.substr(i, end - i);
        i = end;
        while (!word.empty() && (word.back() == L'.' || word.back() == L':' || word.back() == L';'))
            word.remove_suffix(1);
        const bool path = word.find_first_of(L"\\/") != std::wstring_view::npos ||
                          (word.size() >= 2 && word[1] == L':');
        const size_t dot = word.find_last_of(L'.');
        const bool ext = dot != std::wstring_view::npos && dot > 0 && dot + 1 < word.size() &&
                         word.size() - dot - 1 <= 8 &&
                         std::all_of(word.begin() + static_cast<std::ptrdiff_t>(dot) + 1, word.end(),
                                     [](wchar_t c) { return iswalnum(c) != 0; });
        if (!path && !ext)
            continue;
        // A path, or a name with an extension: the whole text goes.
        named = true;
        if (ext && extension.empty())
            extension = std::wstring(word.substr(dot));
    }
    return named ? extension : std::wstring(description);
}

void setVendorSite(std::wstring site)
{
    site = trim(site);
    while (!site.empty() && site.back() == L'/')
        site.pop_back();
    g_site = site.empty() ? std::wstring(kDefaultVendorSite) : std::move(site);
}
const std::wstring& vendorSite() { return g_site; }

} // namespace sorvane

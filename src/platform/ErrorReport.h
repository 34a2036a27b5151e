#pragma once
// The error model: a procedure runs its steps through step(); a step that
// fails leaves its error pending and is reported with the procedure's tag,
// then the next step runs. reportError() sends the report to the vendor's
// site without telling the user.
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace sorvane {

// Error numbers of the conversions the settings readers make.
constexpr long kErrOverflow = 6;
constexpr long kErrTypeMismatch = 13;
// A folder cleaner was pointed at a protected folder ("Permission denied").
constexpr long kErrProtectedFolder = 70;

class AppError : public std::exception {
public:
    AppError(long number, std::wstring description) : m_number(number), m_description(std::move(description)) {}
    long number() const noexcept { return m_number; }
    const std::wstring& description() const noexcept { return m_description; }
    const char* what() const noexcept override { return "Sorvane error"; }

private:
    long m_number;
    std::wstring m_description;
};

[[noreturn]] void raiseError(long number, std::wstring description);
// Raises the Win32 error code with the system's text for it.
[[noreturn]] void raiseWin32(unsigned long code);
std::wstring win32Message(unsigned long code);

struct PendingError {
    long number = 0;
    std::wstring description;
};
void setPendingError(long number, std::wstring description);
PendingError pendingError();
void clearPendingError();

// Records whatever the current exception is as the pending error.
void setPendingFromCurrentException() noexcept;

// Sends the pending error, if any, with the tag, then clears it.
void reportError(std::wstring_view tag) noexcept;

// Runs one step of a procedure; a failure is reported with the tag and the
// caller goes on. Returns whether the step completed.
template <typename F>
bool step(std::wstring_view tag, F&& f) noexcept
{
    try {
        f();
        return true;
    } catch (...) {
        setPendingFromCurrentException();
        reportError(tag);
        return false;
    }
}

// The operating-system description sent with every report.
struct SystemInfo {
    std::wstring strOSName;
    std::wstring strOSVersion;
    std::wstring strServicePack;
    std::wstring strIEVersion;
};
void gatherSystemInfo();
const SystemInfo& systemInfo();
void setSystemInfo(SystemInfo info);
std::wstring osNameFor(unsigned long platformId, unsigned long major, unsigned long minor, unsigned long build);

// The query text as the vendor's script expects it: the four description
// fields separated by commas, a comma, then tag, number and description with
// nothing in between.
std::wstring buildReportQuery(const SystemInfo& info, std::wstring_view tag, long number,
                              std::wstring_view description);
// The full request URL, with the query text percent-escaped (UTF-8) so the
// request line stays well-formed.
std::wstring buildReportUrl(std::wstring_view site, std::wstring_view query);

// The vendor's site, "http://host[:port]" without a trailing slash; the
// default until the settings give another.
extern const wchar_t* const kDefaultVendorSite;
// Whether error reports are sent; the settings turn them off.
bool errorReportsOn();
void setErrorReports(bool on);
// A description as a report may carry it: one that holds a path or a file
// name is cut to the file's extension ("" when it has none).
std::wstring reportableDescription(std::wstring_view description);
// Blanks and trailing slashes are dropped; an empty site means the default.
void setVendorSite(std::wstring site);
const std::wstring& vendorSite();

} // namespace sorvane

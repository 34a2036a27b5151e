#pragma once
// The self-update: a version file on the vendor's site announces the newest
// version; a newer one is downloaded as "qelt.exe" into the application
// folder, started, and over the next two starts it replaces "Sorvane.exe"
// and shows the completion notice once. The stage lives in the registry.
#include "platform/Sha256.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace sorvane {

// The registry key that holds the update state and the installed version.
inline constexpr const wchar_t* kUpdateKey = L"Software\\Microsoft\\SorvaneMem";

// A file of the vendor's site.
std::wstring vendorUrl(std::wstring_view file);
// Updates travel over HTTPS; plain HTTP only to this machine's loopback.
bool isAllowedUpdateUrl(std::wstring_view url);

// Each phase of an update transfer may take this long (10 s unless set).
void setUpdateTimeout(unsigned long ms);
// A download is given up after this long without a byte (30 s unless set).
void setUpdateStallTimeout(unsigned long ms);

// Whether the vendor's home page answers (any answer counts).
bool isConnected();
// The Content-Length of a header block; 0 when "404" appears anywhere in it
// or when there is no Content-Length.
int32_t contentLengthOf(std::wstring_view headers);
// Fetches the URL and gives the Content-Length of its answer; 0 when it
// cannot be fetched.
int32_t getContentLength(const std::wstring& url);
// The number a version file starts with; nothing when it starts with none
// or the number does not fit in 16 bits.
std::optional<int16_t> versionNumber(std::string_view text);
// The version file: its first line the number alone, its optional second
// line the SHA-256 of the update (64 hex digits, kept in lower case).
struct VersionFile {
    int16_t version = 0;
    std::string sha256;
};
// Nothing when the first line is not a number alone or the second line is
// there but not a hash.
std::optional<VersionFile> parseVersionFile(std::string_view body);
// A Windows executable for the machine this program is built for: an MZ
// header whose PE header names this build's processor.
bool isWindowsExecutableForThisMachine(std::string_view bytes);
// The largest update taken; a larger one is refused before it is read.
inline constexpr uint64_t kMaxUpdateBytes = 64u << 20;
// Whether a download of `bytes` bytes is accepted for a Content-Length of
// `length`: more than 1000 bytes, exactly the announced length, and no more
// than kMaxUpdateBytes.
bool downloadSizeAccepted(size_t bytes, int32_t length);
// Whether the system trusts the Authenticode signature of both files and
// the same signer (subject and issuer) signed them.
bool signedBySameSigner(const std::wstring& file, const std::wstring& reference);

// Lets this thread's windows go on working for `ms` milliseconds.
void waitPumping(unsigned long ms);

class Updater {
public:
    // True when the site announces a version above `installed`. A lower
    // announced version is written as the installed one.
    bool checkForUpdate(const std::wstring& installed);
    // One download of the update into qelt.exe; false when it is refused.
    // It is taken only when its SHA-256 is the one the version file
    // announced, or, with none announced, when the signer of this program
    // signed it too.
    bool downloadUpdate();
    // Up to six downloads. After one succeeds the stage is recorded and
    // qelt.exe started: true means this program must end now.
    bool installUpdate();
    int16_t newVersion() const noexcept { return m_new; }
    int attempts() const noexcept { return m_attempts; }
    // The last download came whole but could not be verified (see
    // downloadUpdate): nothing was written or started.
    bool unverified() const noexcept { return m_unverified; }
    // How the downloaded program is started; tests replace it.
    std::function<bool(const std::wstring& exe)> start;
    // Told the bytes of the download received so far.
    std::function<void(uint64_t received)> onProgress;
    // Asked while a download runs: true ends it, and the attempts, at once.
    std::function<bool()> cancelled;

private:
    int16_t m_new = 0;
    int m_attempts = 0;
    bool m_unverified = false;
    std::string m_sha256;  // from the version file; empty: not announced
};

// Starts a program of the application folder, minimized with focus.
bool startMinimized(const std::wstring& exe);

// The stage value "Up" ("a" when absent).
std::wstring updateStage();
// Whether this start continues an update ("b" or "c"): it then waits for the
// ending program instead of handing over to it.
bool isUpdateRestart();

// Start-up step: completes an update that an earlier start began. Returns
// true when this process must end at once.
bool finishUpdate();

} // namespace sorvane

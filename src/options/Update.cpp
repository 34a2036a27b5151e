#include "options/Update.h"

#include "platform/AppFolder.h"
#include "platform/DoEvents.h"
#include "platform/ErrorReport.h"
#include "platform/InetTransfer.h"
#include "platform/Registry.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "store/ListFiles.h"
#include "store/Settings.h"
#include "store/StartupSettings.h"

#include <windows.h>
#include <bcrypt.h>
#include <softpub.h>
#include <wincrypt.h>
#include <winhttp.h>
#include <wintrust.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace sorvane {

namespace {

constexpr const wchar_t* kVersionFile = L"qelt.txt";
constexpr const wchar_t* kUpdateFile = L"qeltupdate.exe";
constexpr const wchar_t* kDownloaded = L"qelt.exe";
constexpr const wchar_t* kMainExe = L"Sorvane.exe";
constexpr int kDownloadAttempts = 6;

// Update transfers get longer phases than error reports: an executable of
// a few megabytes is on its way.
InetTransfer& updateTransfer()
{
    static InetTransfer& transfer = []() -> InetTransfer& {
        static InetTransfer t;
        t.setTimeout(10000);
        // A download lasts as long as it makes progress: a slow line is no
        // failure, thirty seconds without a byte is.
        t.setStallTimeout(30000);
        t.setMaxBytes(kMaxUpdateBytes);
        // A redirect is followed only within the vendor's own site (same
        // scheme, host and port): never to another host, nor down to HTTP.
        t.setRedirectRule(
            [](const std::wstring& url) { return sameSite(url, vendorSite()) && isAllowedUpdateUrl(url); });
        return t;
    }();
    return transfer;
}

} // namespace

void setUpdateTimeout(unsigned long ms) { updateTransfer().setTimeout(ms); }
void setUpdateStallTimeout(unsigned long ms) { updateTransfer().setStallTimeout(ms); }

namespace {

std::optional<HttpResponse> fetchAllowed(const std::wstring& url)
{
    if (!isAllowedUpdateUrl(url))
        return std::nullopt;
    return updateTransfer().fetch(url);
}

void setUpdateValue(const wchar_t* name, const std::wstring& value)
{
    writeRegString(HKEY_LOCAL_MACHINE, kUpdateKey, name, value);
}

uint16_t thisMachine()
{
#if defined(_M_ARM64) || defined(__aarch64__)
    return IMAGE_FILE_MACHINE_ARM64;
#elif defined(_M_X64) || defined(__x86_64__)
    return IMAGE_FILE_MACHINE_AMD64;
#else
    return IMAGE_FILE_MACHINE_I386;
#endif
}

} // namespace

std::wstring vendorUrl(std::wstring_view file) { return vendorSite() + L"/" + std::wstring(file); }

bool isAllowedUpdateUrl(std::wstring_view url) { return isSecureOrLoopbackUrl(url); }

bool isConnected()
{
    // The vendor's own home page: a connection test tells no one else that
    // this program runs here.
    return fetchAllowed(vendorSite() + L"/").has_value();
}

int32_t contentLengthOf(std::wstring_view headers)
{
    if (headers.find(L"404") != std::wstring_view::npos)
        return 0;
    const size_t at = ifind(headers, L"Content-Length:");
    if (at == std::wstring_view::npos)
        return 0;
    const size_t from = at + wcslen(L"Content-Length:");
    const size_t end = headers.find(L"\r\n", from);
    const auto n = parseInteger(trim(headers.substr(from, end == std::wstring_view::npos ? end : end - from)));
    if (!n || *n < 0 || *n > INT32_MAX)
        return 0;
    return static_cast<int32_t>(*n);
}

int32_t getContentLength(const std::wstring& url)
{
    const auto response = fetchAllowed(url);
    return response ? contentLengthOf(response->headers) : 0;
}

std::optional<int16_t> versionNumber(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    long long v = 0;
    size_t digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
        v = v * 10 + (text[i] - '0');
        if (v > INT16_MAX)
            return std::nullopt;
    }
    if (digits == 0)
        return std::nullopt;
    return static_cast<int16_t>(v);
}

bool isWindowsExecutableForThisMachine(std::string_view bytes)
{
    if (bytes.size() < 0x40 || bytes[0] != 'M' || bytes[1] != 'Z')
        return false;
    uint32_t peOffset = 0;
    std::memcpy(&peOffset, bytes.data() + 0x3c, 4);
    if (peOffset > bytes.size() - 6 || bytes.compare(peOffset, 4, std::string_view("PE\0\0", 4)) != 0)
        return false;
    uint16_t machine = 0;
    std::memcpy(&machine, bytes.data() + peOffset + 4, 2);
    return machine == thisMachine();
}

bool downloadSizeAccepted(size_t bytes, int32_t length)
{
    return bytes > 1000 && length > 0 && bytes == static_cast<size_t>(length) && bytes <= kMaxUpdateBytes;
}

namespace {

// The signer's certificate of a file whose Authenticode signature the
// system trusts; null when it has none or it is not trusted.
PCCERT_CONTEXT trustedSignerOf(const std::wstring& file)
{
    WINTRUST_FILE_INFO info{};
    info.cbStruct = sizeof info;
    info.pcwszFilePath = file.c_str();
    WINTRUST_DATA data{};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_WHOLECHAIN;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &info;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    PCCERT_CONTEXT signer = nullptr;
    if (WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data) == ERROR_SUCCESS) {
        CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(data.hWVTStateData);
        CRYPT_PROVIDER_SGNR* sgnr = provider ? WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
        CRYPT_PROVIDER_CERT* cert = sgnr ? WTHelperGetProvCertFromChain(sgnr, 0) : nullptr;
        if (cert && cert->pCert)
            signer = CertDuplicateCertificateContext(cert->pCert);
    }
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    return signer;
}

} // namespace

bool signedBySameSigner(const std::wstring& file, const std::wstring& reference)
{
    PCCERT_CONTEXT a = trustedSignerOf(file), b = trustedSignerOf(reference);
    const bool same = a && b &&
                      CertCompareCertificateName(X509_ASN_ENCODING, &a->pCertInfo->Subject, &b->pCertInfo->Subject) &&
                      CertCompareCertificateName(X509_ASN_ENCODING, &a->pCertInfo->Issuer, &b->pCertInfo->Issuer);
    if (a)
        CertFreeCertificateContext(a);
    if (b)
        CertFreeCertificateContext(b);
    return same;
}

void waitPumping(unsigned long ms)
{
    const ULONGLONG end = GetTickCount64() + ms;
    for (ULONGLONG now = GetTickCount64(); now < end; now = GetTickCount64()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
        if (doEvents())
            return;
    }
}

std::optional<VersionFile> parseVersionFile(std::string_view body)
{
    const size_t end = body.find_first_of("\r\n");
    const std::string_view first = body.substr(0, end);
    VersionFile file;
    // The whole first line is the number: "503 Service Unavailable" is not.
    size_t digits = 0;
    while (digits < first.size() && first[digits] >= '0' && first[digits] <= '9')
        ++digits;
    const std::string_view rest = first.substr(digits);
    if (digits == 0 || rest.find_first_not_of(" \t") != std::string_view::npos)
        return std::nullopt;
    const auto number = versionNumber(first);
    if (!number)
        return std::nullopt;
    file.version = *number;
    if (end != std::string_view::npos) {
        std::string_view after = body.substr(end);
        while (!after.empty() && (after.front() == '\r' || after.front() == '\n'))
            after.remove_prefix(1);
        std::string_view second = after.substr(0, after.find_first_of("\r\n"));
        while (!second.empty() && (second.back() == ' ' || second.back() == '\t'))
            second.remove_suffix(1);
        if (!second.empty()) {
            if (second.size() != 64 || second.find_first_not_of("0123456789abcdefABCDEF") != std::string_view::npos)
                return std::nullopt;  // a damaged hash line announces nothing
            file.sha256.assign(second);
            for (auto& c : file.sha256)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return file;
}

bool Updater::checkForUpdate(const std::wstring& installed)
{
    if (!isConnected())
        return false;
    const std::wstring url = vendorUrl(kVersionFile);
    const auto response = fetchAllowed(url);
    // Only the file itself counts: an error page or a redirect not
    // followed announces nothing, whatever digits it starts with.
    if (!response || response->status != 200 || contentLengthOf(response->headers) <= 0)
        return false;
    // A version file that holds no number announces nothing (it never
    // lowers the installed version).
    const auto file = parseVersionFile(response->body);
    if (!file)
        return false;
    m_sha256 = file->sha256;
    const std::optional<int16_t> announced = file->version;
    const int16_t old = versionNumber(toAnsi(installed)).value_or(0);
    m_new = *announced;
    if (old < m_new)
        return true;
    if (m_new < old)
        step(L"modUpdate,checkForUpdate", [&] { setUpdateValue(L"ver", std::to_wstring(m_new)); });
    return false;
}

bool Updater::downloadUpdate()
{
    if (!isConnected())
        return false;
    const std::wstring url = vendorUrl(kUpdateFile);
    // The window shows what arrives and can call the download off.
    InetTransfer& transfer = updateTransfer();
    transfer.onProgress = onProgress;
    transfer.cancelled = cancelled;
    const auto response = fetchAllowed(url);
    transfer.onProgress = nullptr;
    transfer.cancelled = nullptr;
    if (!response || response->status != 200)
        return false;
    const int32_t length = contentLengthOf(response->headers);
    if (!downloadSizeAccepted(response->body.size(), length) || !isWindowsExecutableForThisMachine(response->body))
        return false;
    // The version file named the exact build: anything else is refused and
    // never started.
    if (!m_sha256.empty()) {
        m_unverified = sha256Hex(response->body) != m_sha256;
        return !m_unverified &&
               step(L"modUpdate,downloadUpdate", [&] { writeFileBytes(appFile(kDownloaded), response->body); });
    }
    // No hash announced: only a build signed by this program's own signer
    // is taken. The signature is checked on the file before it gets the
    // name that is started.
    const std::wstring part = appFile(kDownloaded) + L".part";
    if (!step(L"modUpdate,downloadUpdate", [&] { writeFileBytes(part, response->body); }))
        return false;
    m_unverified = !signedBySameSigner(part, thisExecutable());
    if (m_unverified || !MoveFileExW(part.c_str(), appFile(kDownloaded).c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileW(part.c_str());
        return false;
    }
    return true;
}

bool Updater::installUpdate()
{
    bool downloaded = false;
    // One attempt after the other, never two at once; Close ends them. A
    // build that came whole and could not be verified is not asked for again.
    m_unverified = false;
    for (m_attempts = 0; m_attempts < kDownloadAttempts && !downloaded && !m_unverified && !(cancelled && cancelled());)
        downloaded = (++m_attempts, downloadUpdate());
    if (!downloaded)
        return false;
    step(L"modUpdate,installUpdate", [&] {
        setUpdateValue(L"App", formatGeneralDate(localNow()));
        // "ver" follows once the new build runs as the program.
        setUpdateValue(L"newver", std::to_wstring(m_new));
        setUpdateValue(L"Up", L"b");
        setUpdateValue(L"donreq", L"z");
    });
    const std::wstring exe = appFile(kDownloaded);
    return start ? start(exe) : startMinimized(exe);
}

bool startMinimized(const std::wstring& exe)
{
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWMINIMIZED;
    PROCESS_INFORMATION pi{};
    std::wstring command = L"\"" + exe + L"\"";
    if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, appFolder().c_str(), &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

std::wstring updateStage() { return getUpdateValue(HKEY_LOCAL_MACHINE, kUpdateKey, L"Up", L"a"); }

bool isUpdateRestart()
{
    const std::wstring up = getRegString(HKEY_LOCAL_MACHINE, kUpdateKey, L"Up");
    return up.find(L'a') == std::wstring::npos &&
           (up.find(L'b') != std::wstring::npos || up.find(L'c') != std::wstring::npos);
}

bool finishUpdate()
{
    const std::wstring up = updateStage();
    if (up.empty() || up.find(L'a') != std::wstring::npos)
        return false;
    if (up.find(L'b') != std::wstring::npos) {
        // The downloaded program runs: it puts itself in the main
        // program's place. The copy replaces the old file in one step, so a
        // failing copy leaves the old program rather than none.
        waitPumping(4000);
        const std::wstring target = appFile(kMainExe), temp = savingNameOf(target);
        waitPumping(4000);
        bool replaced = CopyFileW(appFile(kDownloaded).c_str(), temp.c_str(), FALSE) != 0;
        if (replaced) {
            try {
                replaceWithNew(temp, target);
            } catch (...) {
                replaced = false;
            }
        }
        if (!replaced) {
            // The old program stays as it was and the update is given up;
            // this start goes on as the program.
            DeleteFileW(temp.c_str());
            step(L"modUpdate,finishUpdate", [&] { setUpdateValue(L"Up", L"a"); });
            deleteRegValues(HKEY_LOCAL_MACHINE, L"newver", kUpdateKey);
            return false;
        }
        step(L"modUpdate,finishUpdate", [&] { setUpdateValue(L"Up", L"c"); });
        waitPumping(4000);
        startMinimized(target);
        return true;
    }
    if (up.find(L'c') != std::wstring::npos) {
        // The new build runs as the program: now it is the installed version.
        const std::wstring newVersion = getRegString(HKEY_LOCAL_MACHINE, kUpdateKey, L"newver");
        if (!newVersion.empty())
            step(L"modUpdate,finishUpdate", [&] { setUpdateValue(L"ver", newVersion); });
        deleteRegValues(HKEY_LOCAL_MACHINE, L"newver", kUpdateKey);
        waitPumping(5000);
        DeleteFileW(appFile(kDownloaded).c_str());
        step(L"modUpdate,finishUpdate", [&] { setUpdateValue(L"Up", L"a"); });
        const std::wstring donreq = getUpdateValue(HKEY_LOCAL_MACHINE, kUpdateKey, L"donreq", L"");
        deleteRegValues(HKEY_LOCAL_MACHINE, L"donreq", kUpdateKey);
        if (donreq.find(L'z') != std::wstring::npos) {
            MessageBoxW(nullptr, L"Sorvane Upgraded. Thank you", kAppTitle, MB_OK);
            shellOpen(L"Open", vendorUrl(L"upgrade.php"), L"", L"", SW_SHOWNORMAL);
        }
    }
    return false;
}

} // namespace sorvane

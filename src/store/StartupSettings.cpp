#include "store/StartupSettings.h"

#include <cwchar>

#include "platform/AppFolder.h"
#include "platform/ErrorReport.h"
#include "platform/Text.h"
#include "store/Policy.h"
#include "store/Settings.h"

#include <oleauto.h>

namespace sorvane {

int16_t deleteMethodFromText(std::wstring_view text)
{
    if (text == L"R")
        return kRecycleBin;
    if (text == L"D")
        return kDelete;
    if (text == L"W")
        return kWipe;
    return kBackup;
}

namespace {

uint8_t toByte(std::wstring_view text)
{
    const auto v = parseInteger(text);
    if (!v)
        raiseError(kErrTypeMismatch, L"Type mismatch");
    if (*v < 0 || *v > 255)
        raiseError(kErrOverflow, L"Overflow");
    return static_cast<uint8_t>(*v);
}

int16_t toInt16(std::wstring_view text)
{
    if (!parseInteger(text))
        raiseError(kErrTypeMismatch, L"Type mismatch");
    const auto v = parseInt16(text);
    if (!v)
        raiseError(kErrOverflow, L"Overflow");
    return *v;
}

} // namespace

DeleteSettings getDelete()
{
    DeleteSettings s;
    constexpr const wchar_t* tag = L"frmMain,getDelete";
    step(tag, [&] {
        s.intDelMethod = deleteMethodFromText(readSetting(L"General", L"DelMethod", L"D", kWideSettingChars));
    });
    // A stored method the machine's policy forbids gives way to the first
    // one it allows (the options window saves that at its next Accept).
    step(tag, [&] {
        const MachinePolicy policy = readMachinePolicy();
        if (!policy.methodAllowed(s.intDelMethod))
            if (const auto allowed = policy.firstAllowedMethod())
                s.intDelMethod = *allowed;
    });
    step(tag, [&] { s.bytExtraSecurity = toByte(readSetting(L"General", L"ExtraS", L"0")); });
    step(tag, [&] { s.bytRename = toByte(readSetting(L"General", L"Rename", L"0")); });
    const std::wstring standardBackup = appFolder() + L"\\Backup\\";
    s.strBackupPath = standardBackup;
    step(tag, [&] { s.strBackupPath = readSetting(L"Backup", L"Path", standardBackup, kWideSettingChars); });
    // An empty folder would put archives wherever the current folder is.
    if (trim(s.strBackupPath).empty())
        s.strBackupPath = standardBackup;
    return s;
}

GeneralSettings readGeneral()
{
    GeneralSettings g;
    constexpr const wchar_t* tag = L"frmMain,getGeneral";
    int16_t autoClean = 0, duration = 1, hm = 1, startup = 0;
    step(tag, [&] { autoClean = toInt16(readSetting(L"General", L"AutoClean", L"0")); });
    if (autoClean == 1) {
        step(tag, [&] { duration = toInt16(readSetting(L"General", L"Duration", L"1")); });
        step(tag, [&] { hm = toInt16(readSetting(L"General", L"HM", L"1")); });
        g.autoClean = true;
        if (hm == 1) {
            if (!step(tag, [&] {
                    if (duration * 60 > INT16_MAX || duration * 60 < INT16_MIN)
                        raiseError(kErrOverflow, L"Overflow");
                    g.mintDuration = static_cast<int16_t>(duration * 60);
                }))
                g.mintDuration = 60;  // the default interval: one hour
        } else {
            g.mintDuration = duration;
        }
    }
    step(tag, [&] { startup = toInt16(readSetting(L"General", L"StartupClean", L"0")); });
    g.startupClean = startup == 1;
    return g;
}

long long minutesElapsed(const SYSTEMTIME& from, const SYSTEMTIME& to)
{
    const auto minutes = [](const SYSTEMTIME& t) {
        FILETIME ft{};
        SystemTimeToFileTime(&t, &ft);
        const unsigned long long ticks = (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
        return static_cast<long long>(ticks / 600000000ull);
    };
    return minutes(to) - minutes(from);
}

bool autoCleanDue(const SYSTEMTIME& reference, const SYSTEMTIME& now, int16_t intervalMinutes)
{
    return minutesElapsed(reference, now) > intervalMinutes;
}

std::wstring backupStamp(const SYSTEMTIME& t)
{
    wchar_t stamp[32];
    swprintf(stamp, 32, L"%02u%02u%04u%u%02u%u", t.wDay, t.wMonth, t.wYear, t.wHour, t.wMinute, t.wSecond);
    return stamp;
}

std::wstring formatGeneralDate(const SYSTEMTIME& t)
{
    DATE d = 0;
    if (!SystemTimeToVariantTime(const_cast<SYSTEMTIME*>(&t), &d))
        return L"";
    BSTR text = nullptr;
    if (FAILED(VarBstrFromDate(d, LOCALE_USER_DEFAULT, 0, &text)) || !text)
        return L"";
    std::wstring out(text, SysStringLen(text));
    SysFreeString(text);
    return out;
}

std::optional<SYSTEMTIME> parseDateText(std::wstring_view text)
{
    std::wstring t = trim(text);
    if (t.empty())
        return std::nullopt;
    DATE d = 0;
    if (FAILED(VarDateFromStr(t.data(), LOCALE_USER_DEFAULT, 0, &d)))
        return std::nullopt;
    SYSTEMTIME st{};
    if (!VariantTimeToSystemTime(d, &st))
        return std::nullopt;
    return st;
}

std::wstring formatStoredDate(const SYSTEMTIME& t)
{
    wchar_t text[16];
    swprintf(text, 16, L"%04u-%02u-%02u", t.wYear, t.wMonth, t.wDay);
    return text;
}

std::optional<SYSTEMTIME> parseStoredDate(std::wstring_view text)
{
    const std::wstring t = trim(text);
    if (t.size() == 10 && t[4] == L'-' && t[7] == L'-') {
        SYSTEMTIME st{};
        unsigned y = 0, m = 0, d = 0;
        if (swscanf(t.c_str(), L"%4u-%2u-%2u", &y, &m, &d) == 3) {
            st.wYear = static_cast<WORD>(y);
            st.wMonth = static_cast<WORD>(m);
            st.wDay = static_cast<WORD>(d);
            FILETIME ft{};
            // Only a day that exists (no 2026-02-30).
            if (y >= 1601 && SystemTimeToFileTime(&st, &ft) && FileTimeToSystemTime(&ft, &st))
                return st;
        }
        return std::nullopt;
    }
    return parseDateText(t);
}

SYSTEMTIME localNow()
{
    SYSTEMTIME t{};
    GetLocalTime(&t);
    return t;
}

} // namespace sorvane

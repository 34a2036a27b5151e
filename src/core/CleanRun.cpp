#include "core/CleanRun.h"

#include "cleaners/Cleaners.h"
#include "core/Categories.h"
#include "core/ErrorReport.h"
#include "options/BackupArchive.h"

#include <cmath>

namespace sorvane {

namespace {

// Marks a run in progress for its whole length, whatever way it ends.
class RunningFlag {
public:
    explicit RunningFlag(bool& flag) : m_flag(flag) { m_flag = true; }
    ~RunningFlag() { m_flag = false; }

private:
    bool& m_flag;
};

} // namespace

wchar_t localeDecimalSeparator()
{
    wchar_t sep[8] = {};
    return GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, sep, 8) > 1 ? sep[0] : L'.';
}

std::wstring formatKilobytes(uint64_t bytes, wchar_t decimalSeparator)
{
    const double hundredths = std::nearbyint(static_cast<double>(bytes) / 1024.0 * 100.0);
    const auto whole = static_cast<unsigned long long>(hundredths / 100.0);
    const auto fraction = static_cast<unsigned>(hundredths - static_cast<double>(whole) * 100.0);
    std::wstring text = std::to_wstring(whole);
    if (fraction != 0) {
        text += decimalSeparator;
        text += static_cast<wchar_t>(L'0' + fraction / 10);
        if (fraction % 10 != 0)
            text += static_cast<wchar_t>(L'0' + fraction % 10);
    }
    return text;
}

std::wstring summaryTail(const RunState& run, wchar_t decimalSeparator)
{
    std::wstring s = L"\r\n\r\nTotal Files Deleted:  " + std::to_wstring(run.lngTotalFiles) +
                     L"  Files   Total Space Gained  " + formatKilobytes(run.dblTotalSize, decimalSeparator) + L"  KB";
    if (run.lngBackedUp > 0)
        s += L"\r\nBacked Up " + std::to_wstring(run.lngBackedUp) + L" files(s)";
    if (run.bLocked)
        s += L"\r\n\r\nSome files were not deleted because they were locked";
    return s;
}

std::wstring CleanRun::buildLog(const std::wstring& header) const
{
    return header + formatGeneralDate(localNow()) + L"\r\n\r\n" + m_run.strLog +
           summaryTail(m_run, localeDecimalSeparator());
}

void CleanRun::runCategory(int store, bool runAlone)
{
    DeletionEngine deletion(m_host, m_run, m_settings);
    CleanerContext ctx{m_host, m_run, m_search, deletion, [this](int s) { return m_host.isCategoryChecked(s); }};
    runCleaner(ctx, store, runAlone);
}

void CleanRun::fullRun()
{
    if (m_running)
        return;
    constexpr const wchar_t* tag = L"frmMain,cmdClean_Click";
    for (const auto& c : kCategories)
        m_host.setCheckMark(c.store, false);
    bool any = false;
    for (const auto& c : kCategories)
        any = any || m_host.isCategoryChecked(c.store);
    if (!any) {
        m_host.messageBox(L"Please select at least one item to clean.", MB_OK | MB_ICONINFORMATION);
        return;
    }
    RunningFlag flag(m_running);
    step(tag, [&] { m_host.setAnimation(1); });
    step(tag, [&] { m_host.setRunControls(true); });
    m_run.reset();
    m_host.setStatus(L"Working");
    for (int store : kRunOrder) {
        if (m_host.isCategoryChecked(store))
            runCategory(store, false);
        if (m_run.bAbort) {
            discardBackupArchive(m_run);
            m_host.stopOperation(L"Aborted by user");
            // The review list's Abort does not pass through the Stop button:
            // leave the window idle in any case.
            m_host.setAnimation(0);
            m_host.setRunControls(false);
            m_host.setStatus(L"Aborted by user");
            return;
        }
        if (m_host.isCategoryChecked(store))
            m_host.setCheckMark(store, true);
    }
    step(tag, [&] { m_host.setAnimation(0); });
    step(tag, [&] { m_host.setRunControls(false); });
    if (!m_run.bAbort)
        m_host.showLog(buildLog(L"Sorvane : "));
    m_host.setStatus(L"Ready");
}

void CleanRun::singleRun(const std::wstring& popupCaption)
{
    if (m_running)
        return;
    RunningFlag flag(m_running);
    m_host.setRunControls(true);
    m_run.reset();
    m_host.setStatus(L"Working");
    for (const auto& c : kCategories) {
        if (popupCaption != c.popup)
            continue;
        if (c.store == 13 &&
            m_host.messageBox(L"Are you sure you want to delete Favorites?", MB_OKCANCEL | MB_ICONQUESTION) != IDOK)
            break;
        runCategory(c.store, true);
        break;
    }
    m_host.setRunControls(false);
    if (!m_run.bAbort)
        m_host.showLog(buildLog(L"Sorvane Log : "));
    m_host.setStatus(L"Ready");
}

} // namespace sorvane

// The General tab.
#include "options/OptionsTabs.h"

#include "platform/AppFolder.h"
#include "platform/ErrorReport.h"
#include "platform/LogonTask.h"
#include "platform/Registry.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "resource.h"
#include "store/Policy.h"
#include "store/Settings.h"

#include <commctrl.h>

namespace sorvane {

namespace {

constexpr const wchar_t* kScheduleSection = L"Schedule";
const wchar_t* const kDayNames[] = {L"Sunday", L"Monday", L"Tuesday", L"Wednesday",
                                    L"Thursday", L"Friday", L"Saturday"};

} // namespace

std::wstring scheduledCleanArguments(const std::vector<std::wstring>& captions, const std::wstring& report)
{
    std::wstring list;
    for (const auto& caption : captions)
        list += (list.empty() ? L"" : L",") + caption;
    return L"/clean \"/categories:" + list + L"\" \"/json:" + report + L"\"";
}

void GeneralTab::load()
{
    constexpr const wchar_t* tag = L"frmOptions,Form_Load";
    step(tag, [&] {
        // The states the tab shows before the settings are applied.
        setChecked(IDC_optDelete, true);
        setChecked(IDC_chkExtraSecurity, true);
    });
    step(tag, [&] {
        HWND count = control(IDC_cmbAutoClean1);
        for (int i = 1; i <= 60; ++i)
            SendMessageW(count, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(std::to_wstring(i).c_str()));
        SendMessageW(count, CB_SETCURSEL, 0, 0);
        HWND unit = control(IDC_cmbAutoClean);
        SendMessageW(unit, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"Minutes"));
        SendMessageW(unit, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"Hours"));
        SendMessageW(unit, CB_SETCURSEL, 0, 0);
    });

    constexpr const wchar_t* general = L"frmOptions,getGeneral";
    step(general, [&] {
        // The logon task, or the Run value of earlier versions.
        setChecked(IDC_chkStartWWindows, readLogonTask().exists ||
                                             !getRegString(HKEY_CURRENT_USER, kRunKey, kRunValueName).empty());
    });
    step(general, [&] { setChecked(IDC_chkCleanStartup, flagSetting(L"General", L"StartupClean", L"0")); });
    step(general, [&] {
        HWND every = control(IDC_cmbScheduleEvery), day = control(IDC_cmbScheduleDay);
        SendMessageW(every, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"Daily"));
        SendMessageW(every, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"Weekly"));
        for (const wchar_t* name : kDayNames)
            SendMessageW(day, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
        const CleanSchedule when = savedSchedule();
        SendMessageW(every, CB_SETCURSEL, when.weekly ? 1 : 0, 0);
        SendMessageW(day, CB_SETCURSEL, static_cast<WPARAM>(when.day), 0);
        SYSTEMTIME t{};
        GetLocalTime(&t);
        t.wHour = static_cast<WORD>(when.hour);
        t.wMinute = static_cast<WORD>(when.minute);
        t.wSecond = 0;
        DateTime_SetSystemtime(control(IDC_dtScheduleTime), GDT_VALID, &t);
        setChecked(IDC_chkSchedule, flagSetting(kScheduleSection, L"On", L"0"));
    });
    step(general, [&] { setChecked(IDC_chkAutoClean, flagSetting(L"General", L"AutoClean", L"0")); });
    // A malformed value is reported and left as it is unless the box changes.
    m_extraSecurityMalformed =
        !step(general, [&] { setChecked(IDC_chkExtraSecurity, flagSetting(L"General", L"ExtraS", L"0")); });
    m_extraSecurityShown = checked(IDC_chkExtraSecurity);
    step(general, [&] { setChecked(IDC_chkRename, flagSetting(L"General", L"Rename", L"0")); });
    // Anything but "0" sends them, as the reporter reads it.
    setChecked(IDC_chkErrorReports, trim(readSetting(L"Internet", L"ErrorReports", L"1")) != L"0");
    const auto select = [&](int id, const wchar_t* key, const wchar_t* defaultValue, int first, int last) {
        step(general, [&] {
            const auto v = parseInt16(readSetting(L"General", key, defaultValue));
            if (!v)
                raiseError(kErrTypeMismatch, L"Type mismatch");
            if (*v < first || *v > last)
                raiseError(380, L"Invalid property value");
            SendMessageW(control(id), CB_SETCURSEL, static_cast<WPARAM>(*v - first), 0);
        });
    };
    select(IDC_cmbAutoClean1, L"Duration", L"1", 1, 60);
    select(IDC_cmbAutoClean, L"HM", L"1", 0, 1);
    step(general, [&] {
        const int16_t method = deleteMethodFromText(readSetting(L"General", L"DelMethod", L"D", kWideSettingChars));
        // A method the machine's policy forbids cannot be chosen; a stored
        // one gives way to the first allowed, saved at the next Accept.
        const MachinePolicy policy = readMachinePolicy();
        const int16_t shown = policy.methodAllowed(method) ? method : policy.firstAllowedMethod().value_or(method);
        const std::pair<int, int16_t> buttons[] = {
            {IDC_optRecyclebin, kRecycleBin}, {IDC_optDelete, kDelete}, {IDC_optWipe, kWipe}, {IDC_optZip, kBackup}};
        for (const auto& [id, m] : buttons) {
            setChecked(id, m == shown);
            EnableWindow(control(id), policy.methodAllowed(m) ? TRUE : FALSE);
        }
        ShowWindow(control(IDC_lblDeletePolicy), policy.allowedMethods.empty() ? SW_HIDE : SW_SHOW);
        if (policy.disableErrorReports) {
            setChecked(IDC_chkErrorReports, false);
            EnableWindow(control(IDC_chkErrorReports), FALSE);
            ShowWindow(control(IDC_lblReportsPolicy), SW_SHOW);
        }
    });
}

void GeneralTab::save(SaveLog& log)
{
    constexpr const wchar_t* tag = L"frmOptions,saveGeneral";
    step(tag, [&] {
        std::wstring error;
        if (checked(IDC_chkStartWWindows)) {
            // A program that asks for administrator rights is started at
            // logon by a task with highest privileges, never by the Run key.
            if (registerLogonTask(thisExecutable(), error)) {
                deleteRegValues(HKEY_CURRENT_USER, kRunValueName, kRunKey);
            } else {
                setChecked(IDC_chkStartWWindows, false);
                ask(L"Sorvane could not be set to start with Windows.\r\n\r\n" + error, MB_OK | MB_ICONEXCLAMATION);
            }
        } else {
            if (!removeLogonTask(error))
                ask(L"Sorvane could not be kept from starting with Windows.\r\n\r\n" + error,
                    MB_OK | MB_ICONEXCLAMATION);
            deleteRegValues(HKEY_CURRENT_USER, kRunValueName, kRunKey);
        }
    });
    step(tag, [&] { saveSchedule(log); });
    log.note(step(tag, [&] { writeSetting(L"General", L"StartupClean", flagText(checked(IDC_chkCleanStartup))); }),
             L"Settings.ini");
    log.note(step(tag,
                  [&] {
                      // Held by the machine's policy: the user's own choice stays stored.
                      if (!IsWindowEnabled(control(IDC_chkErrorReports)))
                          return;
                      writeSetting(L"Internet", L"ErrorReports", flagText(checked(IDC_chkErrorReports)));
                      setErrorReports(checked(IDC_chkErrorReports));
                  }),
             L"Settings.ini");
    log.note(step(tag, [&] { writeSetting(L"General", L"AutoClean", flagText(checked(IDC_chkAutoClean))); }),
             L"Settings.ini");
    const LRESULT unit = SendMessageW(control(IDC_cmbAutoClean), CB_GETCURSEL, 0, 0);
    const std::wstring duration = text(IDC_cmbAutoClean1);
    log.note(step(tag, [&] { writeSetting(L"General", L"HM", std::to_wstring(unit < 0 ? 0 : unit)); }),
             L"Settings.ini");
    log.note(step(tag, [&] { writeSetting(L"General", L"Duration", duration); }), L"Settings.ini");
    std::wstring letter = L"B";
    DeleteSettings running = m_host.deleteSettings();
    running.intDelMethod = kBackup;
    if (checked(IDC_optRecyclebin)) {
        letter = L"R";
        running.intDelMethod = kRecycleBin;
    } else if (checked(IDC_optDelete)) {
        letter = L"D";
        running.intDelMethod = kDelete;
    } else if (checked(IDC_optWipe)) {
        letter = L"W";
        running.intDelMethod = kWipe;
    }
    const bool keepExtraSecurity = m_extraSecurityMalformed && checked(IDC_chkExtraSecurity) == m_extraSecurityShown;
    if (!keepExtraSecurity)
        running.bytExtraSecurity = checked(IDC_chkExtraSecurity) ? 1 : 0;
    running.bytRename = checked(IDC_chkRename) ? 1 : 0;
    // The tab shows the same folder as the Backups tab, which the window
    // keeps equal. An empty field would put archives wherever the current
    // folder is.
    const std::wstring backup = text(IDC_txtGenerealBackup);
    running.strBackupPath = trim(backup).empty() ? appFolder() + L"\\Backup\\" : backup;
    m_host.setDeleteSettings(running);
    log.note(step(tag, [&] { writeSetting(L"General", L"DelMethod", letter); }), L"Settings.ini");
    if (!keepExtraSecurity)
        log.note(step(tag, [&] { writeSetting(L"General", L"ExtraS", flagText(running.bytExtraSecurity != 0)); }),
                 L"Settings.ini");
    log.note(step(tag, [&] { writeSetting(L"General", L"Rename", flagText(running.bytRename != 0)); }),
             L"Settings.ini");
    step(tag, [&] {
        if (!checked(IDC_chkAutoClean)) {
            m_host.setAutoClean(false, 0);
            return;
        }
        const auto n = parseInt16(duration);
        if (!n)
            raiseError(kErrTypeMismatch, L"Type mismatch");
        m_host.setAutoClean(true, static_cast<int16_t>(unit == 1 ? *n * 60 : *n));
    });
}

} // namespace sorvane

namespace sorvane {

CleanSchedule GeneralTab::savedSchedule() const
{
    CleanSchedule when;
    when.weekly = trim(readSetting(kScheduleSection, L"Every", L"Daily")) == L"Weekly";
    const auto day = parseInt16(trim(readSetting(kScheduleSection, L"Day", L"0")));
    when.day = day && *day >= 0 && *day <= 6 ? *day : 0;
    const std::wstring time = trim(readSetting(kScheduleSection, L"Time", L"03:00"));
    const size_t colon = time.find(L':');
    const auto hour = parseInt16(time.substr(0, colon));
    const auto minute = colon == std::wstring::npos ? std::nullopt : parseInt16(time.substr(colon + 1));
    if (hour && minute && *hour >= 0 && *hour <= 23 && *minute >= 0 && *minute <= 59) {
        when.hour = *hour;
        when.minute = *minute;
    }
    return when;
}

void GeneralTab::saveSchedule(SaveLog& log)
{
    CleanSchedule when;
    when.weekly = SendMessageW(control(IDC_cmbScheduleEvery), CB_GETCURSEL, 0, 0) == 1;
    when.day = std::max<int>(0, static_cast<int>(SendMessageW(control(IDC_cmbScheduleDay), CB_GETCURSEL, 0, 0)));
    SYSTEMTIME t{};
    if (DateTime_GetSystemtime(control(IDC_dtScheduleTime), &t) == GDT_VALID) {
        when.hour = t.wHour;
        when.minute = t.wMinute;
    }
    wchar_t time[8];
    swprintf(time, 8, L"%02d:%02d", when.hour, when.minute);
    log.note(step(L"frmOptions,saveSchedule",
                  [&] {
                      writeSetting(kScheduleSection, L"Every", when.weekly ? L"Weekly" : L"Daily");
                      writeSetting(kScheduleSection, L"Day", std::to_wstring(when.day));
                      writeSetting(kScheduleSection, L"Time", time);
                  }),
             L"Settings.ini");
    std::wstring error;
    bool on = checked(IDC_chkSchedule);
    if (on) {
        // The categories ticked now, written into the task; the report
        // beside the program, in a folder only administrators can change.
        const std::wstring reports = appFolder() + L"\\Reports";
        if (!folderExists(reports + L"\\") && !makePrivateFolder(reports)) {
            error = L"The folder for its reports could not be made: " + reports;
        } else {
            const std::wstring arguments =
                scheduledCleanArguments(m_host.tickedCategoryCaptions(), reports + L"\\last.json");
            registerScheduledClean(thisExecutable(), arguments, when, error);
        }
        if (!error.empty()) {
            on = false;
            setChecked(IDC_chkSchedule, false);
            ask(L"Sorvane could not be set to clean on a schedule.\r\n\r\n" + error, MB_OK | MB_ICONEXCLAMATION);
        }
    } else if (!removeScheduledClean(error)) {
        ask(L"The scheduled clean could not be removed.\r\n\r\n" + error, MB_OK | MB_ICONEXCLAMATION);
    }
    log.note(step(L"frmOptions,saveSchedule", [&] { writeSetting(kScheduleSection, L"On", flagText(on)); }),
             L"Settings.ini");
}

} // namespace sorvane

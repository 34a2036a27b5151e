// The General tab.
#include "options/OptionsTabs.h"
#include "store/Policy.h"

#include "platform/AppFolder.h"
#include "platform/ErrorReport.h"
#include "platform/LogonTask.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "resource.h"
#include "store/Policy.h"
#include "store/Settings.h"

namespace sorvane {

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

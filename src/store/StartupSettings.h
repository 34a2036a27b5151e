#pragma once
// What the main window reads from Settings.ini at start-up, apart from the
// window itself: the delete method, the automatic and start-up clean, and
// the last-cleaned moment.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace sorvane {

enum DeleteMethod : int16_t { kDelete = 1, kRecycleBin = 2, kWipe = 3, kBackup = 4 };

struct DeleteSettings {
    int16_t intDelMethod = kDelete;
    uint8_t bytExtraSecurity = 0;
    uint8_t bytRename = 0;
    std::wstring strBackupPath;
};

// "R" recycle bin, "D" delete, "W" wipe, anything else back up.
int16_t deleteMethodFromText(std::wstring_view text);
// Section General DelMethod/ExtraS/Rename and Backup Path. Errors are
// reported with "frmMain,getDelete".
DeleteSettings getDelete();

struct GeneralSettings {
    bool autoClean = false;
    int16_t mintDuration = 0;  // minutes
    bool startupClean = false;
};
// Section General AutoClean/Duration/HM/StartupClean. A value that is not a
// number is reported with "frmMain,getGeneral" and its default is used.
GeneralSettings readGeneral();

// Calendar minute boundaries crossed from `from` to `to` (both local time).
long long minutesElapsed(const SYSTEMTIME& from, const SYSTEMTIME& to);
// Whether the automatic clean is due at `now`.
bool autoCleanDue(const SYSTEMTIME& reference, const SYSTEMTIME& now, int16_t intervalMinutes);

// The locale's general date-time text, and its reverse.
std::wstring formatGeneralDate(const SYSTEMTIME& t);
// "ddmmyyyyhnns": day, month, year, the hour and the seconds unpadded; the
// stamp of backup archive and registry backup names.
std::wstring backupStamp(const SYSTEMTIME& t);
std::optional<SYSTEMTIME> parseDateText(std::wstring_view text);
// Dates kept in files: "yyyy-mm-dd", free of blanks and the same in every
// locale. The reader takes that form, and the locale's own date text that
// older files hold.
std::wstring formatStoredDate(const SYSTEMTIME& t);
std::optional<SYSTEMTIME> parseStoredDate(std::wstring_view text);
SYSTEMTIME localNow();

} // namespace sorvane

// The options window on the test's own application folder: what it shows
// from the files, what its buttons do, what Accept writes and sets, and the
// Backups tab's list, viewer and restore.
#include "options/BackupsTab.h"
#include "options/OptionsWindow.h"
#include "options/UnzipWindow.h"
#include "platform/AppFolder.h"
#include "platform/ErrorReport.h"
#include "platform/LogonTask.h"
#include "platform/RegFile.h"
#include "platform/Registry.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "resource.h"
#include "store/BackupArchive.h"
#include "store/DefaultRules.h"
#include "store/ListFiles.h"
#include "store/RegistryUndo.h"
#include "store/Settings.h"
#include "support/BrowserProfiles.h"
#include "support/TestEnv.h"
#include "support/WindowWatch.h"
#include "win/ListColumns.h"

#include <gtest/gtest.h>

#include <commctrl.h>

using namespace sorvane;
using namespace testenv;

namespace {

class FakeHost : public OptionsHost {
public:
    const DeleteSettings& deleteSettings() const override { return current; }
    void setDeleteSettings(const DeleteSettings& s) override
    {
        current = s;
        ++deleteCalls;
    }
    void setAutoClean(bool on, int16_t m) override
    {
        autoOn = on;
        minutes = m;
        ++autoCalls;
    }
    DeleteSettings current;
    int deleteCalls = 0;
    bool autoOn = false;
    int16_t minutes = -1;
    int autoCalls = 0;
};

class OptionsTest : public ::testing::Test {
protected:
    OptionsTest()
    {
        host.current.strBackupPath = backups.path() + L"\\";
        clsdefUNFI{}.createDefFile(app.file(L"DefUNFI.sol"));
    }
    ~OptionsTest() override
    {
        if (w && w->isOpen())
            DestroyWindow(w->hwnd());
    }
    OptionsWindow& open(int tab = 1)
    {
        OptionsHooks hooks;
        hooks.ask = [this](HWND, const std::wstring& text, unsigned) {
            asked.push_back(text);
            if (answers.empty())
                return answer;
            const int next = answers.front();
            answers.erase(answers.begin());
            return next;
        };
        hooks.pickFolder = [this](HWND) { return nextFolder; };
        hooks.pickFile = [this](HWND) { return nextFile; };
        hooks.explore = [this](const std::wstring& p) { explored.push_back(p); };
        if (w && w->isOpen())
            DestroyWindow(w->hwnd());
        w = std::make_unique<OptionsWindow>(host, hooks);
        EXPECT_TRUE(w->open(GetModuleHandleW(nullptr), nullptr, tab));
        return *w;
    }
    void accept()
    {
        w->press(IDC_cmdAccept);
        EXPECT_FALSE(w->isOpen());
    }
    bool checked(int id) const { return SendMessageW(w->control(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    void check(int id, bool on) { SendMessageW(w->control(id), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0); }
    std::wstring text(int id) const
    {
        wchar_t buf[1024] = {};
        GetWindowTextW(w->control(id), buf, 1024);
        return buf;
    }
    void type(int id, const std::wstring& t) { SetWindowTextW(w->control(id), t.c_str()); }
    std::vector<std::wstring> entries(int id) const
    {
        std::vector<std::wstring> out;
        HWND h = w->control(id);
        const int n = static_cast<int>(SendMessageW(h, LB_GETCOUNT, 0, 0));
        for (int i = 0; i < n; ++i) {
            wchar_t buf[1024] = {};
            SendMessageW(h, LB_GETTEXT, i, reinterpret_cast<LPARAM>(buf));
            out.push_back(buf);
        }
        return out;
    }
    int comboIndex(int id) const { return static_cast<int>(SendMessageW(w->control(id), CB_GETCURSEL, 0, 0)); }
    int rows(int id) const { return ListView_GetItemCount(w->control(id)); }
    void selectRow(int id, int row)
    {
        ListView_SetItemState(w->control(id), row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    }
    std::string file(const wchar_t* name) const { return readFile(app.file(name)); }
    std::wstring setting(const wchar_t* section, const wchar_t* key) const
    {
        return readSetting(section, key, L"<none>", kWideSettingChars);
    }

    ScopedAppFolder app;
    TempFolder backups;
    TempFolder cookies;
    TempFolder dir;
    ScopedShellFolder cookieFolder{L"Cookies", cookies.path().c_str()};
    ScopedRegValue runValue{HKEY_CURRENT_USER, kRunKey, kRunValueName, nullptr};
    FakeHost host;
    std::unique_ptr<OptionsWindow> w;
    std::vector<std::wstring> asked;
    // What every message box answers, after the answers queued here.
    int answer = IDOK;
    std::vector<int> answers;
    std::vector<std::wstring> explored;
    std::wstring nextFolder;
    std::optional<std::wstring> nextFile;
};

} // namespace

// A machine with no settings at all: the window shows the defaults, and
// accepting without a change writes every file from what it showed.
TEST_F(OptionsTest, FirstAcceptOnAFreshMachineWritesEveryFile)
{
    writeFile(app.file(L"cookies.sol"), "");
    open();
    EXPECT_EQ(w->selectedTab(), 1);
    EXPECT_FALSE(checked(IDC_chkStartWWindows));
    EXPECT_FALSE(checked(IDC_chkCleanStartup));
    EXPECT_FALSE(checked(IDC_chkAutoClean));
    EXPECT_EQ(text(IDC_cmbAutoClean1), L"1");
    EXPECT_EQ(text(IDC_cmbAutoClean), L"Hours");
    EXPECT_TRUE(checked(IDC_optDelete));
    EXPECT_FALSE(checked(IDC_optZip));
    EXPECT_FALSE(checked(IDC_chkExtraSecurity)) << "the settings' default overrides the initial check";
    EXPECT_FALSE(checked(IDC_chkRename));
    EXPECT_TRUE(checked(IDC_chkIFI));
    EXPECT_TRUE(checked(IDC_chkIE));
    EXPECT_TRUE(checked(IDC_chkIFO));
    EXPECT_EQ(text(IDC_txtBackup), app.path() + L"\\Backup\\");
    EXPECT_EQ(text(IDC_txtGenerealBackup), app.path() + L"\\Backup\\");
    EXPECT_TRUE(checked(IDC_optBackupAlways));
    EXPECT_EQ(entries(IDC_lstIFI), defaultIgnoredFileNames());
    // The folders a new user cleans, as the platform names them.
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::vector<std::wstring> factoryFolders = {temp, L"C:\\windows\\temp\\"};
    EXPECT_EQ(entries(IDC_lstUDFO), factoryFolders);
    EXPECT_EQ(rows(IDC_lstvUnnecessaaryFiles), static_cast<int>(defaultUnnecessaryRules().size()));
    // The Windows folder's drive is the one drive selected.
    EXPECT_EQ(SendMessageW(w->control(IDC_lstSearch), LB_GETSELCOUNT, 0, 0), 1);

    accept();
    EXPECT_FALSE(exists(app.file(L"cookies.sol"))) << "an empty keep list deletes the file";
    std::string ifi;
    for (const auto& n : defaultIgnoredFileNames())
        ifi += toAnsi(n) + "\r\n";
    EXPECT_EQ(file(L"IFI.sol"), ifi);
    EXPECT_EQ(file(L"IE.sol"), "");
    EXPECT_EQ(file(L"UDIFO.sol"), "");
    EXPECT_EQ(file(L"UDFI.sol"), "");
    EXPECT_EQ(*loadFolderList(app.file(L"UDFO.sol")), factoryFolders);
    EXPECT_EQ(loadRules(app.file(L"UNFI.sol"), L""), defaultUnnecessaryRules());
    const auto search = readLines(app.file(L"search.sol"));
    ASSERT_TRUE(search.has_value());
    ASSERT_EQ(search->size(), 5u);
    EXPECT_EQ((*search)[0].substr(0, 4), L" C:\\");
    EXPECT_EQ((*search)[1], L"0 0");
    EXPECT_EQ((*search)[2].substr(0, 2), L"0 ");
    EXPECT_EQ((*search)[2].find(L' ', 2), 12u) << "two blank-free dates: " << (*search)[2];
    EXPECT_EQ((*search)[3], L"0 False True False 1000");
    EXPECT_EQ((*search)[4], L"1 1 1");
    for (const auto& [section, key, value] : std::vector<std::tuple<const wchar_t*, const wchar_t*, std::wstring>>{
             {L"Ignore", L"Files", L"1"},
             {L"Ignore", L"Extensions", L"1"},
             {L"Ignore", L"Folders", L"1"},
             {L"Backup", L"Path", app.path() + L"\\Backup\\"},
             {L"Backup", L"Method", L"Always"},
             {L"General", L"StartupClean", L"0"},
             {L"General", L"AutoClean", L"0"},
             {L"General", L"HM", L"1"},
             {L"General", L"Duration", L"1"},
             {L"General", L"DelMethod", L"D"},
             {L"General", L"ExtraS", L"0"},
             {L"General", L"Rename", L"0"}})
        EXPECT_EQ(setting(section, key), value) << key;
    EXPECT_FALSE(regValueExists(HKEY_CURRENT_USER, kRunKey, kRunValueName));
    EXPECT_EQ(host.current.intDelMethod, kDelete);
    EXPECT_EQ(host.current.strBackupPath, app.path() + L"\\Backup\\");
    EXPECT_EQ(host.autoCalls, 1);
    EXPECT_FALSE(host.autoOn);

    // Reopened, the window shows what it wrote; the new dates read back.
    open();
    EXPECT_EQ(entries(IDC_lstIFI), defaultIgnoredFileNames());
    EXPECT_TRUE(asked.empty());
}

// What the General tab sets in the running program, and the Run value.
TEST_F(OptionsTest, AcceptArmsTheTimerAndSetsTheDeleteMethod)
{
    open();
    check(IDC_chkAutoClean, true);
    SendMessageW(w->control(IDC_cmbAutoClean1), CB_SETCURSEL, 1, 0);  // "2"
    SendMessageW(w->control(IDC_cmbAutoClean), CB_SETCURSEL, 1, 0);   // "Hours"
    check(IDC_optDelete, false);
    check(IDC_optWipe, true);
    check(IDC_chkRename, true);
    check(IDC_chkStartWWindows, true);
    EXPECT_TRUE(checked(IDC_chkErrorReports)) << "sent unless turned off";
    check(IDC_chkErrorReports, false);
    accept();
    EXPECT_EQ(setting(L"Internet", L"ErrorReports"), L"0");
    EXPECT_FALSE(errorReportsOn()) << "at once, not after a restart";
    EXPECT_TRUE(host.autoOn);
    EXPECT_EQ(host.minutes, 120);
    EXPECT_EQ(setting(L"General", L"Duration"), L"2");
    EXPECT_EQ(setting(L"General", L"HM"), L"1");
    EXPECT_EQ(setting(L"General", L"AutoClean"), L"1");
    EXPECT_EQ(setting(L"General", L"DelMethod"), L"W");
    EXPECT_EQ(host.current.intDelMethod, kWipe);
    EXPECT_EQ(host.current.bytRename, 1);
    // Start with Windows is a task at this user's logon, with highest
    // privileges, that starts this very program; the old Run value goes.
    // Under Wine the program's files belong to the user who runs it, so no
    // task is made for them: the user is told, and the box reads unticked.
    const LogonTask task = readLogonTask();
    if (task.exists) {
        EXPECT_TRUE(iequals(task.path, thisExecutable())) << toAnsi(task.path);
        EXPECT_TRUE(task.logonTrigger);
        EXPECT_FALSE(task.triggerUser.empty());
        EXPECT_TRUE(task.highest);
        EXPECT_FALSE(regValueExists(HKEY_CURRENT_USER, kRunKey, kRunValueName));
    } else {
        std::printf("The logon task could not be checked here: no task is made for a program users can change.\n");
        ASSERT_FALSE(asked.empty());
        EXPECT_EQ(asked.back().rfind(L"Sorvane could not be set to start with Windows.\r\n\r\n", 0), 0u)
            << toAnsi(asked.back());
        EXPECT_NE(asked.back().find(L"Others than administrators can change the program"), std::wstring::npos)
            << toAnsi(asked.back());
    }
    // What is asked of the service, whatever it keeps.
    const std::wstring xml = logonTaskXml(L"C:\\Tools & more\\Sorvane.exe", L"PC\\bob");
    EXPECT_NE(xml.find(L"<LogonTrigger><Enabled>true</Enabled><UserId>PC\\bob</UserId></LogonTrigger>"),
              std::wstring::npos);
    EXPECT_NE(xml.find(L"<RunLevel>HighestAvailable</RunLevel>"), std::wstring::npos);
    EXPECT_NE(xml.find(L"<Command>C:\\Tools &amp; more\\Sorvane.exe</Command>"), std::wstring::npos);

    open();
    EXPECT_EQ(checked(IDC_chkStartWWindows), task.exists) << "a task that could not be made reads unticked";
    EXPECT_TRUE(checked(IDC_optWipe));
    EXPECT_EQ(text(IDC_cmbAutoClean1), L"2");
    check(IDC_chkStartWWindows, false);
    EXPECT_FALSE(checked(IDC_chkErrorReports));
    check(IDC_chkErrorReports, true);
    SendMessageW(w->control(IDC_cmbAutoClean), CB_SETCURSEL, 0, 0);  // "Minutes"
    accept();
    EXPECT_TRUE(errorReportsOn());
    EXPECT_EQ(host.minutes, 2);
    EXPECT_FALSE(readLogonTask().exists) << "the box cleared removes the task";

    // The Run value of an earlier version reads as on; Accept turns it into
    // the task, or keeps it when no task could be made.
    writeRegString(HKEY_CURRENT_USER, kRunKey, kRunValueName, startWithWindowsCommand());
    open();
    EXPECT_TRUE(checked(IDC_chkStartWWindows));
    accept();
    EXPECT_EQ(readLogonTask().exists, task.exists);
    EXPECT_EQ(regValueExists(HKEY_CURRENT_USER, kRunKey, kRunValueName), !task.exists);
    std::wstring error;
    EXPECT_TRUE(removeLogonTask(error)) << toAnsi(error);
    deleteRegValues(HKEY_CURRENT_USER, kRunValueName, kRunKey);
}

// A clean on a schedule is a task at the chosen day and time that runs the
// ticked categories unattended, with highest privileges, and writes its
// report beside the program. Under Wine the program's files belong to the
// user who runs it, so no task is made and the user is told; the
// definition that would be asked of the service is checked here.
TEST_F(OptionsTest, AScheduledCleanIsATaskOfTheTickedCategories)
{
    open();
    check(IDC_chkSchedule, true);
    SendMessageW(w->control(IDC_cmbScheduleEvery), CB_SETCURSEL, 1, 0);
    SendMessageW(w->control(IDC_cmbScheduleDay), CB_SETCURSEL, 2, 0);
    SYSTEMTIME t{};
    GetLocalTime(&t);
    t.wHour = 4;
    t.wMinute = 30;
    DateTime_SetSystemtime(w->control(IDC_dtScheduleTime), GDT_VALID, &t);
    accept();
    EXPECT_EQ(setting(L"Schedule", L"Every"), L"Weekly");
    EXPECT_EQ(setting(L"Schedule", L"Day"), L"2");
    EXPECT_EQ(setting(L"Schedule", L"Time"), L"04:30");
    ASSERT_FALSE(asked.empty()) << "no task for a program its user can change";
    EXPECT_EQ(asked.back().rfind(L"Sorvane could not be set to clean on a schedule.", 0), 0u) << toAnsi(asked.back());
    EXPECT_EQ(setting(L"Schedule", L"On"), L"0") << "the box reads as the task is";
    open();
    EXPECT_FALSE(checked(IDC_chkSchedule));
    EXPECT_EQ(comboIndex(IDC_cmbScheduleEvery), 1);
    EXPECT_EQ(comboIndex(IDC_cmbScheduleDay), 2);

    const std::wstring arguments =
        scheduledCleanArguments({L"Cache", L"Recycle bin"}, L"C:\\Program Files\\Sorvane\\Reports\\last.json");
    EXPECT_EQ(arguments, L"/clean \"/categories:Cache,Recycle bin\" \"/json:C:\\Program Files\\Sorvane\\Reports\\last.json\"");
    CleanSchedule when;
    when.weekly = true;
    when.day = 2;
    when.hour = 4;
    when.minute = 30;
    const std::wstring xml = scheduledCleanXml(L"C:\\Tools & more\\Sorvane.exe", arguments, L"S-1-5-21-1", when);
    for (const wchar_t* part :
         {L"<CalendarTrigger><StartBoundary>2026-01-01T04:30:00</StartBoundary><Enabled>true</Enabled>"
          L"<ScheduleByWeek><DaysOfWeek><Tuesday /></DaysOfWeek><WeeksInterval>1</WeeksInterval></ScheduleByWeek>",
          L"<UserId>S-1-5-21-1</UserId>", L"<RunLevel>HighestAvailable</RunLevel>",
          L"<Command>C:\\Tools &amp; more\\Sorvane.exe</Command>",
          L"<Arguments>/clean &quot;/categories:Cache,Recycle bin&quot; "
          L"&quot;/json:C:\\Program Files\\Sorvane\\Reports\\last.json&quot;</Arguments>"})
        EXPECT_NE(xml.find(part), std::wstring::npos) << toAnsi(part);
    when.weekly = false;
    EXPECT_NE(scheduledCleanXml(L"C:\\S.exe", arguments, L"", when).find(L"<ScheduleByDay><DaysInterval>1"),
              std::wstring::npos);
}

// Values the window cannot show leave its first choice, or none.
TEST_F(OptionsTest, SettingsOutOfRangeSelectTheFirstEntryOrNothing)
{
    writeFile(app.file(L"Settings.ini"),
              "[General]\r\nDuration=99\r\nHM=5\r\nDelMethod=B\r\nStartupClean=maybe\r\n"
              "[Backup]\r\nMethod=Sometimes\r\n[Ignore]\r\nFiles=0\r\n");
    writeFile(app.file(L"search.sol"), "\r\n1 1\r\n1 2026-13-45 tomorrow\r\n1 True\r\n0 0\r\n");
    open();
    EXPECT_EQ(comboIndex(IDC_cmbAutoClean1), 0);
    EXPECT_EQ(comboIndex(IDC_cmbAutoClean), 0);
    EXPECT_TRUE(checked(IDC_optZip)) << "B and any other text select the backup method";
    EXPECT_FALSE(checked(IDC_chkCleanStartup));
    EXPECT_FALSE(checked(IDC_chkIFI));
    for (int id : {IDC_optBackupAlways, IDC_optBackupNewer, IDC_optBackupPrompt, IDC_optBackupNever})
        EXPECT_FALSE(checked(id));
    // search.sol's empty first line selects no drive; its other lines still count.
    EXPECT_EQ(SendMessageW(w->control(IDC_lstSearch), LB_GETSELCOUNT, 0, 0), 0);
    EXPECT_TRUE(checked(IDC_chkSearchFileReference));
    EXPECT_TRUE(checked(IDC_chkSearchDateReference));
    EXPECT_TRUE(checked(IDC_optSearcSizeIs));
    EXPECT_FALSE(checked(IDC_chkSearchReadOnly));
    EXPECT_TRUE(checked(IDC_chkSearchSystem));
    accept();
    EXPECT_EQ(setting(L"Backup", L"Method"), L"Prompt");
    EXPECT_EQ(setting(L"General", L"DelMethod"), L"B");
    EXPECT_EQ(setting(L"General", L"Duration"), L"1");
    EXPECT_EQ(setting(L"General", L"HM"), L"0");
}

// The list buttons of the Ignore Folders, Ignore Files and user-defined tabs.
TEST_F(OptionsTest, ListButtonsAddRemoveAndRestoreDefaults)
{
    makeDir(dir.file(L"keep"));
    makeDir(dir.file(L"gone1"));
    makeDir(dir.file(L"gone2"));
    writeFile(app.file(L"UDIFO.sol"), toAnsi(dir.file(L"gone1") + L"\\\r\n"));
    writeFile(app.file(L"UDFO.sol"), toAnsi(dir.file(L"gone2") + L"\\\r\n"));
    writeFile(app.file(L"IFI.sol"), "");
    writeFile(dir.file(L"x.dat"), "x");
    open();
    EXPECT_TRUE(entries(IDC_lstIFI).empty()) << "an empty IFI.sol ignores no name";

    type(IDC_txtUDIFO, dir.file(L"keep"));
    w->press(IDC_cmdUDIFOAdd);
    type(IDC_txtUDIFO, dir.file(L"missing"));
    w->press(IDC_cmdUDIFOAdd);
    EXPECT_EQ(text(IDC_txtUDIFO), L"");
    EXPECT_EQ(entries(IDC_lstUDIFO), (std::vector<std::wstring>{dir.file(L"gone1") + L"\\", dir.file(L"keep") + L"\\"}));
    SendMessageW(w->control(IDC_lstUDIFO), LB_SETCURSEL, 1, 0);
    w->press(IDC_cmdUDIFOExplore);
    EXPECT_EQ(explored, (std::vector<std::wstring>{L"/e," + dir.file(L"keep") + L"\\"}));
    removeTree(dir.file(L"gone1"));
    removeTree(dir.file(L"gone2"));
    w->press(IDC_cmdUDIFORedundant);
    EXPECT_EQ(entries(IDC_lstUDIFO), (std::vector<std::wstring>{dir.file(L"keep") + L"\\"}));
    w->press(IDC_cmdUDFORRedundant);
    EXPECT_TRUE(entries(IDC_lstUDFO).empty()) << "every entry gone: the list is empty";

    type(IDC_txtIFI, L"  setup.log  ");
    w->press(IDC_cmdIFIAdd);
    nextFile = dir.file(L"x.dat");
    w->press(IDC_cmdIFIBrowse);
    EXPECT_EQ(text(IDC_txtIFI), L"x.dat");
    type(IDC_txtIE, L" *.log ");
    w->press(IDC_cmdIEAdd);
    type(IDC_txtIE, L"*.");
    w->press(IDC_cmdIEAdd);
    EXPECT_EQ(entries(IDC_lstIFI), (std::vector<std::wstring>{L"setup.log"}));
    EXPECT_EQ(entries(IDC_lstIE), (std::vector<std::wstring>{L"log"}));

    type(IDC_txtUDFI, dir.file(L"x.dat"));
    w->press(IDC_cmdUDFIAdd);
    type(IDC_txtUDFI, dir.file(L"none.dat"));
    w->press(IDC_cmdUDFIAdd);
    EXPECT_EQ(entries(IDC_lstUDFI), (std::vector<std::wstring>{dir.file(L"x.dat")}));

    // Defaults fill the tab only: Cancel keeps the user's files as they were.
    const std::vector<std::wstring> factoryNames = {
        L"Data.BAK",    L"Calendar.TMP", L"Data.SAV",    L"HTTP.Log", L"FTP.Log",     L"DONOTDEL.TMP",
        L"Default.PIF", L"_DEFAULT.PIF", L"DRELRES.PIF", L"WZ.PIF",   L"INSTALL.Log", L"UNINSTALL.Log",
        L"MODEM.Log",   L"SCRIPT.BAK",   L"WIN.BAK",     L"WIN.OLD",  L"WNCCDCTL.Log"};
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::vector<std::wstring> factoryFolders = {temp, L"C:\\windows\\temp\\"};
    writeFile(app.file(L"UNFI.sol"), "0\x01*.mine\x01Mine\r\n");
    w->press(IDC_cmdIFIDefaults);
    w->press(IDC_cmdUDFODefaults);
    w->press(IDC_cmdUnnecessaryFilesDefaults);
    EXPECT_EQ(entries(IDC_lstIFI), factoryNames);
    EXPECT_EQ(entries(IDC_lstUDFO), factoryFolders);
    EXPECT_GT(ListView_GetItemCount(w->control(IDC_lstvUnnecessaaryFiles)), 10) << "the factory rules";
    w->press(IDC_opt_cmdCancel);
    EXPECT_FALSE(w->isOpen());
    EXPECT_EQ(file(L"IFI.sol"), "") << "Cancel writes nothing, and Defaults deleted nothing";
    EXPECT_EQ(file(L"UDFO.sol"), toAnsi(dir.file(L"gone2") + L"\\\r\n"));
    EXPECT_EQ(file(L"UNFI.sol"), "0\x01*.mine\x01Mine\r\n");
    EXPECT_EQ(file(L"UDIFO.sol"), toAnsi(dir.file(L"gone1") + L"\\\r\n"));

    // Defaults, then Accept, writes the defaults.
    open();
    EXPECT_TRUE(entries(IDC_lstIFI).empty());
    w->press(IDC_cmdIFIDefaults);
    accept();
    open();
    EXPECT_EQ(entries(IDC_lstIFI), factoryNames);
    type(IDC_txtUDFI, dir.file(L"x.dat"));
    w->press(IDC_cmdUDFIAdd);
    check(IDC_chkUDFI, true);
    accept();
    EXPECT_EQ(file(L"UDFI.sol"), "1\r\n" + toAnsi(dir.file(L"x.dat")) + "\r\n");
}

// Accept writes only what it can stand behind: a malformed ExtraS that the
// user did not touch stays as it is, and a file that cannot be written is
// named while the window stays open with the user's choices.
TEST_F(OptionsTest, AcceptKeepsWhatItDidNotTouchAndSaysWhatItCouldNotSave)
{
    writeSetting(L"General", L"ExtraS", L"maybe");
    host.current.bytExtraSecurity = 0;
    open();
    accept();
    EXPECT_EQ(setting(L"General", L"ExtraS"), L"maybe");
    EXPECT_EQ(host.current.bytExtraSecurity, 0) << "the running setting is not made up either";
    open();
    check(IDC_chkExtraSecurity, !checked(IDC_chkExtraSecurity));
    const bool chosen = checked(IDC_chkExtraSecurity);
    accept();
    EXPECT_EQ(setting(L"General", L"ExtraS"), chosen ? L"1" : L"0") << "a change is written";

    // A folder where the file's new copy goes: it cannot be written.
    makeDir(app.file(L"UDFI.sol.saving"));
    open();
    asked.clear();
    w->press(IDC_cmdAccept);
    EXPECT_TRUE(w->isOpen()) << "the window stays, nothing the user chose is lost";
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked.back(), L"Some settings could not be saved: UDFI.sol");
    w->press(IDC_opt_cmdCancel);
    removeTree(app.file(L"UDFI.sol.saving"));
}

// The rule list: the format message, a type already listed, Browse, Defaults.
TEST_F(OptionsTest, UnnecessaryFileTypes)
{
    open(5);
    EXPECT_EQ(w->selectedTab(), 5);
    HWND lv = w->control(IDC_lstvUnnecessaaryFiles);
    const int before = rows(IDC_lstvUnnecessaaryFiles);
    w->press(IDC_cmdUnnecessaryFilesAdd);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], L"Please enter the file type in format\t.log .bak etc");
    type(IDC_txtUnnecessaryFilesFileType, L"*.zzq");
    type(IDC_txtUnnecessaryFilesDescription, L"Left by a test");
    w->press(IDC_cmdUnnecessaryFilesAdd);
    EXPECT_EQ(text(IDC_txtUnnecessaryFilesFileType), L"");
    type(IDC_txtUnnecessaryFilesFileType, L"*.ZZQ");
    w->press(IDC_cmdUnnecessaryFilesAdd);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1], L"File Type already exists in the list");
    EXPECT_EQ(text(IDC_txtUnnecessaryFilesFileType), L"*.ZZQ") << "the boxes are kept";
    ASSERT_EQ(rows(IDC_lstvUnnecessaaryFiles), before + 1);
    EXPECT_EQ(listCell(lv, before, 0), L"*.zzq");
    EXPECT_EQ(listCell(lv, before, 1), L"Left by a test");
    EXPECT_TRUE(ListView_GetCheckState(lv, before));
    nextFile = L"C:\\some.folder\\report.TMP";
    w->press(IDC_cmdUnnecessaryFilesBrowse);
    EXPECT_EQ(text(IDC_txtUnnecessaryFilesFileType), L"*.TMP");
    ListView_SetCheckState(lv, 0, FALSE);
    accept();
    const auto rules = loadRules(app.file(L"UNFI.sol"), L"");
    ASSERT_EQ(rules.size(), defaultUnnecessaryRules().size() + 1);
    EXPECT_FALSE(rules[0].enabled);
    EXPECT_EQ(rules.back(), (UnnecessaryRule{true, L"*.zzq", L"Left by a test"}));

    open(5);
    EXPECT_EQ(rows(IDC_lstvUnnecessaaryFiles), before + 1);
    w->press(IDC_cmdUnnecessaryFilesDefaults);
    EXPECT_EQ(loadRules(app.file(L"UNFI.sol"), L"").size(), defaultUnnecessaryRules().size() + 1)
        << "nothing is written before Accept";
    EXPECT_EQ(rows(IDC_lstvUnnecessaaryFiles), before);
    accept();
    EXPECT_EQ(loadRules(app.file(L"UNFI.sol"), L""), defaultUnnecessaryRules());
}

// The Keep Cookies tab and the cookie window it opens.
TEST_F(OptionsTest, CookiesKeptViewedAndDeleted)
{
    const std::string records = "SID\r\nabc\r\nexample.com/\r\n1\r\n1\r\n2\r\n3\r\n4\r\n*\r\n"
                                "lang\r\nen\r\ndocs.example.com/\r\n0\r\n1\r\n2\r\n3\r\n4\r\n*\r\n"
                                "pref\r\ndark\r\nnews.example.org/\r\n9216\r\n1\r\n2\r\n3\r\n4\r\n*\r\n";
    writeFile(cookies.file(L"b@example[1].txt"), records);
    writeFile(cookies.file(L"a@other[1].txt"), "x");
    open(8);
    HWND current = w->control(IDC_lstvCurrentCookies);
    EXPECT_EQ(text(IDC_txtCookies), cookies.path() + L"\\");
    ASSERT_EQ(rows(IDC_lstvCurrentCookies), 2);
    EXPECT_EQ(listCell(current, 0, 0), L"a@other[1].txt") << "sorted by name";
    EXPECT_EQ(listCell(current, 1, 1), std::to_wstring(records.size()));
    EXPECT_EQ(listCell(current, 1, 3), cookies.path() + L"\\");

    selectRow(IDC_lstvCurrentCookies, 1);
    std::vector<std::vector<std::wstring>> shown;
    WindowWatch viewer(L"Sorvane - Cookie Information", [&](HWND win) {
        HWND list = GetDlgItem(win, IDC_Lst_Cook);
        for (int r = 0; r < ListView_GetItemCount(list); ++r) {
            shown.emplace_back();
            for (int c = 0; c < 6; ++c)
                shown.back().push_back(listCell(list, r, c));
        }
        clickButton(win, IDC_cookies_cmdOK);
    });
    w->press(IDC_cmdViewCookie);
    ASSERT_EQ(viewer.count(), 1);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0][0], L"example.com/");
    EXPECT_EQ(shown[1][0], L"docs.example.com/");
    EXPECT_EQ(shown[2][0], L"news.example.org/");
    EXPECT_EQ(shown[0][3], L"True");
    EXPECT_EQ(shown[1][3], L"False");
    EXPECT_EQ(shown[2][3], L"");
    EXPECT_EQ(shown[0][4], L"SID\r\nabc\r\nexample.com/\r\n1\r\n1\r\n2\r\n3\r\n4\r\n");
    EXPECT_EQ(shown[1][5], L"b@example[1].txt");

    w->press(IDC_cmdAddCookie);
    w->press(IDC_cmdAddCookie);  // already kept: reported, not added twice
    EXPECT_EQ(rows(IDC_lstvKeepCookies), 1);
    accept();
    EXPECT_EQ(file(L"cookies.sol"), toAnsi(cookies.file(L"b@example[1].txt")) + "\x01\r\n");

    open(8);
    EXPECT_EQ(rows(IDC_lstvKeepCookies), 1);
    selectRow(IDC_lstvCurrentCookies, 0);
    w->press(IDC_cmdDeleteCookie);
    EXPECT_FALSE(exists(cookies.file(L"a@other[1].txt")));
    EXPECT_TRUE(exists(cookies.file(L"b@example[1].txt")));
    EXPECT_EQ(rows(IDC_lstvCurrentCookies), 1);
    selectRow(IDC_lstvKeepCookies, 0);
    w->press(IDC_cmdRemoveCookie);
    accept();
    EXPECT_FALSE(exists(app.file(L"cookies.sol"))) << "the last kept cookie removed";
}

// The sites of the browsers' cookie stores are offered beside the cookie
// files; adding one writes a site line, which a file-only View or Delete
// never takes for a file.
TEST_F(OptionsTest, BrowserSitesAreOfferedAndKeptAsSiteLines)
{
    TempFolder local(TempFolder::Where::Profile), roaming(TempFolder::Where::Profile);
    ScopedShellFolder localFolder(L"Local AppData", local.path().c_str());
    ScopedShellFolder roamingFolder(L"AppData", roaming.path().c_str());
    const std::wstring chrome = local.file(L"Google\\Chrome\\User Data\\Default\\Network");
    makeDir(chrome);
    makeChromiumCookies(chrome + L"\\Cookies", {".bank.example", "www.bank.example", ".ads.example"});
    const std::wstring firefox = roaming.file(L"Mozilla\\Firefox");
    makeDir(firefox + L"\\Profiles\\p.default");
    writeFile(firefox + L"\\profiles.ini", "[Profile0]\r\nIsRelative=1\r\nPath=Profiles/p.default\r\n");
    makeFirefoxCookies(firefox + L"\\Profiles\\p.default\\cookies.sqlite", {"bank.example", ".bank.example"});
    writeFile(cookies.file(L"me@shop[1].txt"), "x");
    const std::string store = readFile(chrome + L"\\Cookies");

    open(8);
    HWND current = w->control(IDC_lstvCurrentCookies);
    ASSERT_EQ(rows(IDC_lstvCurrentCookies), 4);
    EXPECT_EQ(listCell(current, 0, 0), L"ads.example");
    EXPECT_EQ(listCell(current, 1, 0), L"bank.example");
    EXPECT_EQ(listCell(current, 1, 3), L"Google Chrome, Mozilla Firefox");
    EXPECT_EQ(listCell(current, 2, 0), L"me@shop[1].txt");
    EXPECT_EQ(listCell(current, 3, 0), L"www.bank.example");

    selectRow(IDC_lstvCurrentCookies, 1);
    w->press(IDC_cmdViewCookie);
    w->press(IDC_cmdDeleteCookie);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0], KeepCookiesTab::kSiteRowNote);
    w->press(IDC_cmdAddCookie);
    selectRow(IDC_lstvCurrentCookies, 2);
    w->press(IDC_cmdAddCookie);
    // Refresh and Delete read the left side again; what was added and not
    // yet accepted stays on the right.
    writeFile(cookies.file(L"me@junk[1].txt"), "x");
    w->press(IDC_cmdRefreshCookie);
    ASSERT_EQ(rows(IDC_lstvCurrentCookies), 5);
    EXPECT_EQ(listCell(current, 2, 0), L"me@junk[1].txt");
    selectRow(IDC_lstvCurrentCookies, 2);
    w->press(IDC_cmdDeleteCookie);
    EXPECT_FALSE(exists(cookies.file(L"me@junk[1].txt")));
    EXPECT_EQ(rows(IDC_lstvCurrentCookies), 4);
    EXPECT_EQ(rows(IDC_lstvKeepCookies), 2);
    accept();
    EXPECT_EQ(file(L"cookies.sol"), "bank.example\x01" + toAnsi(cookies.file(L"me@shop[1].txt")) + "\x01\r\n");
    EXPECT_TRUE(readFile(chrome + L"\\Cookies") == store) << "the stores are only read";

    open(8);
    ASSERT_EQ(rows(IDC_lstvKeepCookies), 2);
    EXPECT_EQ(listCell(w->control(IDC_lstvKeepCookies), 0, 0), L"bank.example");
    EXPECT_EQ(listCell(w->control(IDC_lstvKeepCookies), 0, 1), L"");
}

namespace {

// Two files backed up into one archive named after drive C, then changed.
class BackupsTest : public OptionsTest {
protected:
    void SetUp() override
    {
        writeFile(app.file(L"Settings.ini"), "[Backup]\r\nPath=" + toAnsi(backups.path()) + "\\\r\n");
        for (const wchar_t* name : {L"one.txt", L"two.txt"}) {
            files.push_back(dir.file(name));
            writeFile(files.back(), "backed up");
            setWriteTime(files.back(), 2020, 6, 1);
        }
        nameBackupArchive(backups.path(), L"C_");
        for (const auto& f : files)
            ASSERT_TRUE(addToBackupArchive(f));
        archive = currentBackupArchive();
        finishBackupArchive();
        for (const auto& f : files)
            writeFile(f, "changed");
        answer = IDYES;
    }
    // Restores the archive under `method` and returns the message shown
    // after the one question, which names where the files go.
    std::wstring restore(const wchar_t* method)
    {
        writeSetting(L"Backup", L"Method", method);
        open(9);
        selectFile(archive);
        asked.clear();
        w->press(IDC_cmdBackupRestore);
        EXPECT_TRUE(IsWindowEnabled(w->control(IDC_cmdBackupRestore)));
        if (asked.size() != 2)
            return L"<" + std::to_wstring(asked.size()) + L" messages>";
        EXPECT_EQ(asked[0], L"Restore the files of " + fileNameOf(archive) +
                                L" to their folders? They are written to:\r\n\r\n    " + dir.path());
        return asked[1];
    }
    void selectFile(const std::wstring& file)
    {
        HWND lv = w->control(IDC_lstvZip);
        for (int r = 0; r < rows(IDC_lstvZip); ++r)
            if (listCell(lv, r, 1) == fileNameOf(file))
                selectRow(IDC_lstvZip, r);
    }
    std::vector<std::wstring> files;
    std::wstring archive;
};

// "Files Restored Successfully", and the archive of what it replaced.
bool restoredReplacing(const std::wstring& message)
{
    return message.rfind(L"Files Restored Successfully\r\n\r\nThe files it replaced are in R_", 0) == 0;
}

} // namespace

TEST_F(BackupsTest, RestoreUnderEachOverwriteMethod)
{
    EXPECT_EQ(restore(L"Never"),
              L"No file was restored: the files of this backup are all in place and the overwrite method kept them."
              L"\r\n\r\nRestored: 0\r\nKept in place by the overwrite method: 2\r\nFailed: 0");
    EXPECT_EQ(readFile(files[0]), "changed");
    DeleteFileW(files[1].c_str());
    EXPECT_EQ(restore(L"Never"), L"Files Restored Successfully\r\n\r\nRestored: 1\r\n"
                                 L"Kept in place by the overwrite method: 1\r\nFailed: 0")
        << "a missing file is put back";
    EXPECT_EQ(readFile(files[1]), "backed up");
    writeFile(files[1], "changed");
    // "If newer": only the file older than its copy in the archive.
    setWriteTime(files[0], 2019, 1, 1);
    setWriteTime(files[1], 2030, 1, 1);
    restore(L"Newer");
    EXPECT_EQ(readFile(files[0]), "backed up");
    EXPECT_EQ(readFile(files[1]), "changed");
    writeFile(files[0], "changed");
    const std::wstring message = restore(L"Always");
    EXPECT_TRUE(restoredReplacing(message)) << toAnsi(message);
    EXPECT_EQ(readFile(files[0]), "backed up");
    EXPECT_EQ(readFile(files[1]), "backed up");
    // The restore is undone from the archive of what it replaced: the
    // newer files come back to their own places.
    const std::wstring undo = backups.file(message.substr(message.find(L"R_"), message.size() - message.find(L"R_") - 1));
    ASSERT_TRUE(exists(undo)) << toAnsi(undo);
    open(9);
    selectFile(undo);
    asked.clear();
    w->press(IDC_cmdBackupRestore);
    ASSERT_EQ(asked.size(), 2u) << "one question, for an archive the program made";
    EXPECT_EQ(asked[0], L"Restore the files of " + fileNameOf(undo) + L" to their folders? They are written to:\r\n\r\n    " +
                            dir.path());
    EXPECT_EQ(readFile(files[0]), "changed");
    EXPECT_EQ(readFile(files[1]), "changed");
    // No to the question writes nothing, under Always too.
    answer = IDNO;
    restore(L"Always");
    EXPECT_EQ(readFile(files[0]), "changed");
}

TEST_F(BackupsTest, PromptAsksOnceWithApplyToAllAndAgainNextRestore)
{
    int questions = 0;
    int answer = IDC_cmdNo;
    WindowWatch overwrite(L"Sorvane - Overwrite Confirmation", [&](HWND win) {
        ++questions;
        CheckDlgButton(win, IDC_chkAllFiles, BST_CHECKED);
        clickButton(win, answer);
    });
    overwrite.repeat(true);
    restore(L"Prompt");
    EXPECT_EQ(questions, 1) << "No to all: no further question in this restore";
    EXPECT_EQ(readFile(files[0]), "changed");
    EXPECT_EQ(readFile(files[1]), "changed");
    answer = IDC_cmdYes;
    EXPECT_TRUE(restoredReplacing(restore(L"Prompt")));
    EXPECT_EQ(questions, 2) << "the next restore asks again";
    EXPECT_EQ(readFile(files[0]), "backed up");
    EXPECT_EQ(readFile(files[1]), "backed up");
}

// The viewer restores only the entries whose rows are checked, under the
// tab's overwrite method: one file back without touching the others.
TEST_F(BackupsTest, RestoreCheckedPutsBackOnlyTheCheckedEntry)
{
    // One archive of three: the fixture's two files and a third.
    DeleteFileW(archive.c_str());
    const std::wstring third = dir.file(L"three.txt");
    nameBackupArchive(backups.path(), L"C_");
    for (const auto& f : {files[0], files[1], third}) {
        writeFile(f, "backed up");
        ASSERT_TRUE(addToBackupArchive(f));
    }
    finishBackupArchive();
    writeFile(third, "changed");
    for (const auto& f : files)
        writeFile(f, "changed");
    writeSetting(L"Backup", L"Method", L"Always");
    open(9);
    ASSERT_EQ(rows(IDC_lstvZip), 1);
    selectRow(IDC_lstvZip, 0);
    int viewers = 0;
    bool buttonShown = false;
    WindowWatch viewer(L"Sorvane - Zip Information", [&](HWND win) {
        ++viewers;
        HWND list = GetDlgItem(win, IDC_lvwZip);
        buttonShown = IsWindowVisible(GetDlgItem(win, IDC_cmdRestoreChecked)) != FALSE;
        asked.clear();
        SendMessageW(win, WM_COMMAND, IDC_cmdRestoreChecked, 0);  // nothing checked yet
        for (int r = 0; r < ListView_GetItemCount(list); ++r)
            if (listCell(list, r, 0) == L"two.txt")
                ListView_SetCheckState(list, r, TRUE);
        SendMessageW(win, WM_COMMAND, IDC_cmdRestoreChecked, 0);
        PostMessageW(win, WM_COMMAND, IDCANCEL, 0);
    });
    w->press(IDC_cmdBackupView);
    ASSERT_EQ(viewers, 1);
    EXPECT_TRUE(buttonShown);
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[0], L"Please check the files to restore first.");
    EXPECT_EQ(asked[1].rfind(L"Restore the files of ", 0), 0u);
    EXPECT_TRUE(restoredReplacing(asked[2])) << toAnsi(asked[2]);
    EXPECT_EQ(readFile(files[0]), "changed");
    EXPECT_EQ(readFile(files[1]), "backed up");
    EXPECT_EQ(readFile(third), "changed");
}

TEST_F(BackupsTest, ListViewDeleteAndWhatCannotBeRestored)
{
    // An archive that is not a zip, beside the real one.
    writeFile(backups.file(L"C_broken.zip"), "not a zip at all");
    makeDir(backups.file(L"folder.zip"));
    open(9);
    HWND lv = w->control(IDC_lstvZip);
    ASSERT_EQ(rows(IDC_lstvZip), 2) << "a folder is not an archive";
    const int broken = listCell(lv, 0, 1) == L"C_broken.zip" ? 0 : 1;
    EXPECT_EQ(listCell(lv, 1 - broken, 1), fileNameOf(archive));
    EXPECT_EQ(listCell(lv, broken, 2), L"16");

    asked.clear();
    w->press(IDC_cmdBackupRestore);
    EXPECT_EQ(asked, (std::vector<std::wstring>{L"Please select the backup to restore first."}));
    selectRow(IDC_lstvZip, broken);
    asked.clear();
    w->press(IDC_cmdBackupRestore);
    EXPECT_EQ(asked, (std::vector<std::wstring>{L"There was an error in restoring files"}));

    // The viewer: the Folder column names the drive and folder, the status the count.
    selectRow(IDC_lstvZip, 1 - broken);
    std::vector<std::wstring> folders;
    std::wstring status;
    WindowWatch viewer(L"Sorvane - Zip Information", [&](HWND win) {
        HWND list = GetDlgItem(win, IDC_lvwZip);
        for (int r = 0; r < ListView_GetItemCount(list); ++r)
            folders.push_back(listCell(list, r, 4));
        wchar_t buf[64] = {};
        GetDlgItemTextW(win, IDC_lblStatus, buf, 64);
        status = buf;
        PostMessageW(win, WM_COMMAND, IDCANCEL, 0);
    });
    w->press(IDC_cmdBackupView);
    ASSERT_EQ(viewer.count(), 1);
    EXPECT_EQ(folders, (std::vector<std::wstring>(2, dir.path())));
    EXPECT_EQ(status, L"2 files(s)");

    // Delete asks first: the archive is the only copy of its files. No
    // keeps it; Yes removes that archive and its row only.
    selectRow(IDC_lstvZip, broken);
    asked.clear();
    answer = IDNO;
    w->press(IDC_cmdBackupDelete);
    EXPECT_EQ(asked, (std::vector<std::wstring>{L"Delete the backup C_broken.zip for good? Its files can then no "
                                                L"longer be restored."}));
    EXPECT_TRUE(exists(backups.file(L"C_broken.zip")));
    answer = IDYES;
    w->press(IDC_cmdBackupDelete);
    EXPECT_FALSE(exists(backups.file(L"C_broken.zip")));
    EXPECT_TRUE(exists(archive));
    ASSERT_EQ(rows(IDC_lstvZip), 1);
    EXPECT_EQ(listCell(lv, 0, 1), fileNameOf(archive));

    // The list follows the edited folder, and so do the buttons: Delete
    // removes the file the row shows, not one of the accepted folder.
    TempFolder other;
    const std::wstring shown = other.file(fileNameOf(archive));
    ASSERT_TRUE(CopyFileW(archive.c_str(), shown.c_str(), FALSE));
    type(IDC_txtBackup, other.path());
    ASSERT_EQ(rows(IDC_lstvZip), 1);
    selectRow(IDC_lstvZip, 0);
    w->press(IDC_cmdBackupDelete);
    EXPECT_FALSE(exists(shown));
    EXPECT_TRUE(exists(archive)) << "the accepted folder's archive stays";
    // A folder that does not exist lists nothing.
    type(IDC_txtBackup, dir.file(L"nowhere"));
    EXPECT_EQ(text(IDC_txtGenerealBackup), dir.file(L"nowhere")) << "both tabs show one folder";
    w->press(IDC_opt_cmdCancel);
    writeSetting(L"Backup", L"Path", dir.file(L"nowhere"));
    open(9);
    EXPECT_EQ(rows(IDC_lstvZip), 0);
}

TEST_F(BackupsTest, UndoFilesAreListedViewedAndWrittenBackThroughTheRegistry)
{
    const std::wstring key = L"Software\\SorvaneTestBackupsTab";
    deleteRegTree(HKEY_CURRENT_USER, key);
    deleteRegKey(HKEY_CURRENT_USER, key);
    writeRegString(HKEY_CURRENT_USER, key, L"DisplayName", L"Tab \"quoted\" \u00e9");
    const DWORD seven = 7;
    HKEY k = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_SET_VALUE, &k), ERROR_SUCCESS);
    RegSetValueExW(k, L"Seven", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&seven), sizeof seven);
    RegCloseKey(k);
    const RegBackup backup = backUpAndDeleteRegistry(L"frmUninstall", {{HKEY_CURRENT_USER, key, RegItem::KeyAlone, L""}});
    ASSERT_FALSE(backup.file.empty());
    ASSERT_FALSE(regKeyExists(HKEY_CURRENT_USER, key));
    const std::wstring name = fileNameOf(backup.file);

    open(9);
    HWND lv = w->control(IDC_lstvZip);
    ASSERT_EQ(rows(IDC_lstvZip), 2) << "the archive and the undo file";
    const int reg = listCell(lv, 0, 1) == name ? 0 : 1;
    EXPECT_EQ(listCell(lv, reg, 1), name);
    EXPECT_EQ(listCell(lv, reg, 3), L"Uninstall programs");
    EXPECT_EQ(listCell(lv, reg, 4), L"1 keys, 2 values");
    EXPECT_EQ(listCell(lv, 1 - reg, 3), L"Clean");

    // The viewer shows the file as it is.
    selectRow(IDC_lstvZip, reg);
    std::wstring shown;
    WindowWatch viewer(L"Sorvane - Registry Backup - " + name, [&](HWND win) {
        wchar_t buf[4096] = {};
        GetDlgItemTextW(win, IDC_reg_txtContent, buf, 4096);
        shown = buf;
        PostMessageW(win, WM_COMMAND, IDCANCEL, 0);
    });
    w->press(IDC_cmdBackupView);
    ASSERT_EQ(viewer.count(), 1);
    EXPECT_NE(shown.find(L"[HKEY_CURRENT_USER\\" + key + L"]"), std::wstring::npos);
    EXPECT_NE(shown.find(L"\"Seven\"=dword:00000007"), std::wstring::npos);

    // Restore asks first, naming the keys; No writes nothing.
    asked.clear();
    answer = IDNO;
    w->press(IDC_cmdBackupRestore);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].rfind(L"Write back the 1 keys and 2 values saved in " + name, 0), 0u);
    EXPECT_NE(asked[0].find(L"\r\n    HKEY_CURRENT_USER\\" + key), std::wstring::npos) << toAnsi(asked[0]);
    EXPECT_FALSE(regKeyExists(HKEY_CURRENT_USER, key));
    answer = IDYES;
    asked.clear();
    w->press(IDC_cmdBackupRestore);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1], L"Registry entries restored: 1 keys, 2 values.");
    EXPECT_EQ(getRegString(HKEY_CURRENT_USER, key, L"DisplayName"), L"Tab \"quoted\" \u00e9");
    EXPECT_EQ(getRegDword(HKEY_CURRENT_USER, key, L"Seven"), 7);
    // Over a value changed since, the restore saves what it overwrites,
    // names that undo file, and the undo file brings the newer value back.
    writeRegString(HKEY_CURRENT_USER, key, L"DisplayName", L"newer");
    asked.clear();
    w->press(IDC_cmdBackupRestore);
    ASSERT_EQ(asked.size(), 2u);
    const std::wstring named = L"The values it replaced are in Restore_";
    const size_t at = asked[1].find(named);
    ASSERT_NE(at, std::wstring::npos) << toAnsi(asked[1]);
    EXPECT_EQ(getRegString(HKEY_CURRENT_USER, key, L"DisplayName"), L"Tab \"quoted\" \u00e9");
    const std::wstring undo = asked[1].substr(at + named.size() - 8, asked[1].size() - at - named.size() + 7);
    const RegRestore back = restoreRegFile(parseRegFile(*readRegFileText(backups.file(undo))));
    EXPECT_TRUE(back.failures.empty());
    EXPECT_EQ(getRegString(HKEY_CURRENT_USER, key, L"DisplayName"), L"newer");

    // A file that is not an undo file is refused by name; Delete asks.
    writeFile(backups.file(L"frmUninstall_damaged.reg"), "not a registry file");
    w->press(IDC_opt_cmdCancel);
    open(9);
    ASSERT_EQ(rows(IDC_lstvZip), 4) << "the archive, two undo files and the damaged file";
    for (int r = 0; r < 4; ++r)
        if (listCell(lv = w->control(IDC_lstvZip), r, 1) == L"frmUninstall_damaged.reg")
            selectRow(IDC_lstvZip, r);
    EXPECT_EQ(listCell(lv, win::selectedRow(lv), 4), L"");
    asked.clear();
    w->press(IDC_cmdBackupRestore);
    EXPECT_EQ(asked, (std::vector<std::wstring>{
                         L"The file frmUninstall_damaged.reg is not a registry backup that can be restored."}));
    asked.clear();
    w->press(IDC_cmdBackupDelete);
    EXPECT_EQ(asked[0], L"Delete the backup frmUninstall_damaged.reg for good? Its registry entries can then no "
                        L"longer be restored.");
    EXPECT_FALSE(exists(backups.file(L"frmUninstall_damaged.reg")));
    deleteRegKey(HKEY_CURRENT_USER, key);
}

// Any program of the user can drop a .reg or a .zip into the backup folder:
// what the program did not make itself is listed as unknown and is written
// back, with administrator rights, only after a second question saying so.
TEST_F(BackupsTest, PlantedBackupsAreNeverWrittenBackWithoutASecondQuestion)
{
    const std::wstring runKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    const std::wstring reg = backups.file(L"frmStartup_01012026000000.reg");
    writeFile(reg, "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\" + toAnsi(runKey) +
                       "]\r\n\"SorvaneTestPlanted\"=\"C:\\\\evil.exe\"\r\n");
    // An archive of a file under Program Files, made elsewhere and renamed
    // into the folder.
    const std::wstring evilFolder = L"C:\\Program Files\\SorvaneTestPlanted", evil = evilFolder + L"\\evil.dll";
    makeDir(evilFolder);
    writeFile(evil, "planted");
    TempFolder elsewhere;
    nameBackupArchive(elsewhere.path(), L"C_");
    ASSERT_TRUE(addToBackupArchive(evil));
    const std::wstring made = currentBackupArchive();
    finishBackupArchive();
    removeTree(evilFolder);
    const std::wstring zip = backups.file(L"C_01012026000000.zip");
    ASSERT_TRUE(MoveFileW(made.c_str(), zip.c_str()));

    open(9);
    HWND lv = w->control(IDC_lstvZip);
    ASSERT_EQ(rows(IDC_lstvZip), 3);
    const auto rowOf = [&](const std::wstring& file) {
        for (int r = 0; r < 3; ++r)
            if (listCell(lv, r, 1) == fileNameOf(file))
                return r;
        return -1;
    };
    EXPECT_EQ(listCell(lv, rowOf(archive), 3), L"Clean");
    EXPECT_EQ(listCell(lv, rowOf(reg), 3), L"unknown");
    EXPECT_EQ(listCell(lv, rowOf(zip), 3), L"unknown");

    for (const wchar_t* method : {L"Prompt", L"Always"}) {
        writeSetting(L"Backup", L"Method", method);
        open(9);
        lv = w->control(IDC_lstvZip);
        // Yes to what is written, No to the second question: nothing.
        selectRow(IDC_lstvZip, rowOf(reg));
        asked.clear();
        answers = {IDYES, IDNO};
        w->press(IDC_cmdBackupRestore);
        ASSERT_EQ(asked.size(), 2u);
        EXPECT_NE(asked[0].find(L"\r\n    HKEY_LOCAL_MACHINE\\" + runKey), std::wstring::npos) << toAnsi(asked[0]);
        EXPECT_EQ(asked[1], unknownBackupQuestion(fileNameOf(reg)));
        EXPECT_FALSE(regValueExists(HKEY_LOCAL_MACHINE, runKey, L"SorvaneTestPlanted"));
        selectRow(IDC_lstvZip, rowOf(zip));
        asked.clear();
        answers = {IDYES, IDNO};
        w->press(IDC_cmdBackupRestore);
        ASSERT_EQ(asked.size(), 2u);
        EXPECT_EQ(asked[0], L"Restore the files of " + fileNameOf(zip) +
                                L" to their folders? They are written to:\r\n\r\n    " + evilFolder);
        EXPECT_EQ(asked[1], unknownBackupQuestion(fileNameOf(zip)));
        EXPECT_FALSE(exists(evil));
    }
    // Told and still wanted: the user's own decision.
    selectRow(IDC_lstvZip, rowOf(zip));
    answers = {IDYES, IDYES};
    w->press(IDC_cmdBackupRestore);
    EXPECT_EQ(readFile(evil), "planted");
    removeTree(evilFolder);
}

TEST(ZipViewer, IconKeysOnePerTypeAndTheFolderColumn)
{
    FileIconKeys icons;
    EXPECT_EQ(icons.getFileIconKey(L"readme.txt"), L".TXT");
    EXPECT_EQ(icons.getFileIconKey(L"other.TxT"), L".TXT");
    EXPECT_EQ(icons.getFileIconKey(L"setup.exe"), L"DEFAULT");
    EXPECT_EQ(icons.getFileIconKey(L"Makefile"), L"DEFAULT");
    EXPECT_EQ(icons.size(), 2u) << "DEFAULT and .TXT";
    EXPECT_EQ(entryFolderColumn(L"C:\\b\\C_0812202614305.zip", L"Windows\\Temp"), L"C:\\Windows\\Temp");
    EXPECT_EQ(entryFolderColumn(L"D_1.zip", L""), L"D:\\");
}

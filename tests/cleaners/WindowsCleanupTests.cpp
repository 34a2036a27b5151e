// The Windows cleanup category over a made-up machine: its folders are the
// test's, named through the variables the category expands.
#include "cleaners/CleanerFixture.h"
#include "cleaners/CleanupFixture.h"
#include "cleaners/CleanupHandlers.h"
#include "cleaners/WindowsCleanup.h"
#include "cleaners/WindowsCleanupWindow.h"
#include "platform/Text.h"
#include "store/Settings.h"
#include "support/PostedCalls.h"
#include "support/RegTestSupport.h"
#include "win/ListColumns.h"

#include <commctrl.h>

#include <map>

using namespace sorvane;
using namespace testenv;

namespace {

class WindowsCleanupTest : public CleanerTest {
protected:
    // A file `rel` below the test folder, written three days before now or just now.
    std::wstring plant(const std::wstring& rel, bool old = true)
    {
        fill(rel, 100);
        const std::wstring full = dir.file(rel);
        if (old) {
            SYSTEMTIME t{};
            GetLocalTime(&t);
            FILETIME ft{};
            SystemTimeToFileTime(&t, &ft);
            ULARGE_INTEGER v{{ft.dwLowDateTime, ft.dwHighDateTime}};
            v.QuadPart -= 72ULL * 36'000'000'000ULL;
            ft = {v.LowPart, v.HighPart};
            FileTimeToSystemTime(&ft, &t);
            setWriteTime(full, t.wYear, t.wMonth, t.wDay, t.wHour);
        }
        return full;
    }
};

} // namespace

// Old junk of the ticked items goes through the deletion engine; young files,
// a file in use, what lies beside the thumbnail caches, an unticked item, the
// files behind a folder link in the temporary folder all stay.
TEST_F(WindowsCleanupTest, OldJunkGoesAndEverythingElseStays)
{
    // An old file behind the folder link the test script planted in the
    // temporary folder, written through its real path.
    const std::wstring linkedTemp = L"C:\\sorvane-fixtures\\cleanup-temp";
    ASSERT_TRUE(exists(linkedTemp + L"\\link\\precious.txt")) << "the test script plants the link";
    const std::wstring outside = L"C:\\sorvane-fixtures\\outside\\cleanup-victim.txt";
    writeFile(outside, "keep me\n");
    setWriteTime(outside, 2020, 1, 1);
    struct Remove {
        std::wstring path;
        ~Remove() { DeleteFileW(path.c_str()); }
    } removeAtEnd{outside};
    ScopedVariables vars({{L"LOCALAPPDATA", dir.file(L"Local")},
                          {L"ProgramData", dir.file(L"ProgramData")},
                          {L"WINDIR", dir.file(L"Windows")},
                          {L"TMP", linkedTemp},
                          {L"TEMP", linkedTemp}});
    const std::wstring dump = plant(L"Local\\CrashDumps\\app.exe.1234.dmp");
    const std::wstring young = plant(L"Local\\CrashDumps\\app.exe.5678.dmp", false);
    const std::wstring report = plant(L"ProgramData\\Microsoft\\Windows\\WER\\ReportArchive\\r1\\Report.wer");
    const std::wstring shader = plant(L"Local\\D3DSCache\\abc\\shader.bin");
    const std::wstring thumbs = plant(L"Local\\Microsoft\\Windows\\Explorer\\thumbcache_256.db");
    const std::wstring icons = plant(L"Local\\Microsoft\\Windows\\Explorer\\iconcache_16.db");
    const std::wstring beside = plant(L"Local\\Microsoft\\Windows\\Explorer\\ExplorerStartupLog.etl");
    const std::wstring below = plant(L"Local\\Microsoft\\Windows\\Explorer\\sub\\thumbcache_32.db");
    const std::wstring cbs = plant(L"Windows\\Logs\\CBS\\CBS.log");
    const std::wstring cbsOther = plant(L"Windows\\Logs\\CBS\\FilterList.dat");
    const std::wstring windowsTemp = plant(L"Windows\\Temp\\setup1.tmp");
    const std::wstring temp = linkedTemp + L"\\old.tmp";
    writeFile(temp, "old temp");
    setWriteTime(temp, 2020, 1, 1);
    const std::wstring inUse = plant(L"Windows\\Temp\\inuse.tmp");
    HANDLE held = CreateFileW(inUse.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    cleanWindowsCleanup(ctx, true);
    CloseHandle(held);

    for (const auto& gone : {dump, report, thumbs, icons, cbs, windowsTemp, temp})
        EXPECT_FALSE(exists(gone)) << toAnsi(gone);
    for (const auto& kept : {young, shader, beside, below, cbsOther, inUse, outside})
        EXPECT_TRUE(exists(kept)) << toAnsi(kept);
    EXPECT_EQ(readFile(outside), "keep me\n");
    const std::wstring& log = run.strLog;
    EXPECT_NE(log.find(L"Cleaned Windows error reports.... Files Deleted 2 Space Gained 200 Bytes\r\n"),
              std::wstring::npos)
        << toAnsi(log);
    EXPECT_NE(log.find(L"Cleaned Thumbnail and icon caches.... Files Deleted 2 Space Gained 200 Bytes\r\n"),
              std::wstring::npos);
    EXPECT_NE(log.find(L"Cleaned Temporary files.... Files Deleted 2 Space Gained 108 Bytes\r\n"
                       L"Kept " + inUse + L": it is in use"),
              std::wstring::npos);
    EXPECT_NE(log.find(L"Cleaned Windows setup logs.... Files Deleted 1 Space Gained 100 Bytes\r\n"),
              std::wstring::npos);
    EXPECT_EQ(log.find(L"shader"), std::wstring::npos) << "an unticked item writes no line";

    // Ticked in the window, the shader cache goes too; a young age limit
    // takes the young dump.
    writeSetting(kWindowsCleanupSection, L"ShaderCache", L"1");
    writeSetting(kWindowsCleanupSection, L"MinAgeHours", L"0");
    run.strLog.clear();
    cleanWindowsCleanup(ctx, true);
    EXPECT_FALSE(exists(shader));
    EXPECT_FALSE(exists(young));
    EXPECT_TRUE(exists(outside));
}

// Only a class the machine registers, whose DLL resolves to a file directly
// in the system folder, is trusted; everything else is listed, unticked, and
// never loaded.
TEST(CleanupHandlers, OnlyAMachineClassInTheSystemFolderIsTrusted)
{
    TempFolder elsewhere;
    writeFile(elsewhere.file(L"evil.dll"), "MZ");
    const std::wstring escaped = L"%SystemRoot%\\system32\\..\\.." + elsewhere.path().substr(2) + L"\\evil.dll";
    const PlantedHandler planted[] = {
        {L"Sorvane Test System", L"{5A0A0001-0000-4000-8000-000000000001}", HKEY_LOCAL_MACHINE,
         L"%SystemRoot%\\system32\\sorvane-canary.dll", 10},
        {L"Sorvane Test Through Link", L"{5A0A0001-0000-4000-8000-000000000002}", HKEY_LOCAL_MACHINE,
         L"C:\\sorvane-fixtures\\winlink\\system32\\sorvane-canary.dll", 30},
        {L"Sorvane Test Escaped", L"{5A0A0001-0000-4000-8000-000000000003}", HKEY_LOCAL_MACHINE, escaped, 20},
        {L"Sorvane Test User Class", L"{5A0A0001-0000-4000-8000-000000000004}", HKEY_CURRENT_USER,
         L"%SystemRoot%\\system32\\sorvane-canary.dll", 40},
        {L"Sorvane Test Bare Name", L"{5A0A0001-0000-4000-8000-000000000005}", HKEY_LOCAL_MACHINE,
         L"sorvane-canary.dll", 50},
    };
    std::vector<CleanupHandler> ours;
    for (auto& h : listCleanupHandlers())
        if (h.subkey.rfind(L"Sorvane Test ", 0) == 0)
            ours.push_back(h);
    ASSERT_EQ(ours.size(), 5u);
    std::vector<std::wstring> order;
    for (const auto& h : ours)
        order.push_back(h.subkey);
    EXPECT_EQ(order, (std::vector<std::wstring>{L"Sorvane Test Bare Name", L"Sorvane Test User Class",
                                                L"Sorvane Test Through Link", L"Sorvane Test Escaped",
                                                L"Sorvane Test System"}))
        << "highest Priority first";
    for (const auto& h : ours) {
        const bool trusted = h.subkey == L"Sorvane Test System" || h.subkey == L"Sorvane Test Through Link";
        EXPECT_EQ(h.trusted(), trusted) << toAnsi(h.subkey);
        EXPECT_EQ(cleanupHandlerTicked(h), trusted) << "StateFlags 1 ticks a trusted handler only";
        if (trusted) {
            EXPECT_TRUE(iequals(h.dll, L"C:\\windows\\system32\\sorvane-canary.dll")) << toAnsi(h.dll);
        } else {
            EXPECT_TRUE(h.dll.empty());
            EXPECT_EQ(h.description, kNotTrustedHandler);
        }
        EXPECT_EQ(h.display, L"Display of " + h.subkey) << "plain text, no module read for it";
    }
    EXPECT_EQ(readFile(elsewhere.file(L"evil.dll")), "MZ");
}

// The test handler built beside the tests, run as Disk Cleanup runs it: the
// trusted one from the system folder is asked, purged and let go; a hanging
// one is left after its limit while the window keeps answering, and hears
// Stop; one whose DLL lies in the user's folder is never loaded.
TEST_F(WindowsCleanupTest, HandlersRunAsDiskCleanupRunsThem)
{
    wchar_t built[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(L"SORVANE_TEST_HANDLER", built, MAX_PATH))
        GTEST_SKIP() << "the test script copies the test handler into the prefix";
    const std::wstring system = L"C:\\windows\\system32\\sorvane-test-handler.dll";
    ASSERT_TRUE(CopyFileW(built, system.c_str(), FALSE) || exists(system));
    TempFolder profile(TempFolder::Where::Profile);
    ASSERT_TRUE(CopyFileW(built, profile.file(L"evil.dll").c_str(), FALSE));
    for (const auto& item : knownCleanupItems())
        writeSetting(kWindowsCleanupSection, item.key, L"0");
    writeSetting(kWindowsCleanupSection, L"HandlerSeconds", L"2");
    const PlantedHandler good(L"Sorvane Test Good", L"{5A0A0002-0000-4000-8000-000000000001}", HKEY_LOCAL_MACHINE,
                              L"%SystemRoot%\\system32\\sorvane-test-handler.dll", 10);
    const PlantedHandler hang(L"Sorvane Test Hang", L"{5A0A0002-0000-4000-8000-000000000002}", HKEY_LOCAL_MACHINE,
                              L"%SystemRoot%\\system32\\sorvane-test-handler.dll", 20);
    const PlantedHandler evil(L"Sorvane Test Evil", L"{5A0A0002-0000-4000-8000-000000000003}", HKEY_LOCAL_MACHINE,
                              profile.file(L"evil.dll"), 30);
    const std::wstring key = std::wstring(kVolumeCachesKey) + L"\\";
    setDword(HKEY_LOCAL_MACHINE, key + good.subkey, L"TestSize", 12345);
    setText(HKEY_LOCAL_MACHINE, key + good.subkey, L"TestLog", dir.file(L"good.log"));
    setText(HKEY_LOCAL_MACHINE, key + hang.subkey, L"TestHang", L"purge");
    setText(HKEY_LOCAL_MACHINE, key + hang.subkey, L"TestLog", dir.file(L"hang.log"));
    for (const auto* h : {&good, &hang, &evil})
        writeSetting(kWindowsCleanupSection, (L"Handler:" + h->subkey).c_str(), L"1");

    const int pumpsBefore = ui.pumps;
    cleanWindowsCleanup(ctx, true);
    const std::wstring& log = run.strLog;
    EXPECT_NE(log.find(L"Display of Sorvane Test Good: freed 12345 bytes\r\n"), std::wstring::npos) << toAnsi(log);
    EXPECT_NE(log.find(L"Display of Sorvane Test Hang: stopped after 2 seconds, left as it was\r\n"),
              std::wstring::npos);
    EXPECT_NE(log.find(L"Display of Sorvane Test Evil: not trusted, not loaded\r\n"), std::wstring::npos);
    EXPECT_EQ(readFile(dir.file(L"good.log")),
              "InitializeEx C:\\ Sorvane Test Good flags=0\nGetSpaceUsed callback\nPurge 12345 callback\nDeactivate\n");
    EXPECT_FALSE(exists(profile.file(L"evil.dll.loaded"))) << "the DLL outside the system folder was loaded";
    EXPECT_GE(ui.pumps - pumpsBefore, 10) << "the window answered while the handler hung";
    // Left to itself, the hanging handler hears Stop at its next call.
    for (int i = 0; i < 40 && readFile(dir.file(L"hang.log")).find("aborted") == std::string::npos; ++i)
        Sleep(50);
    EXPECT_NE(readFile(dir.file(L"hang.log")).find("Purge 0 callback\naborted"), std::string::npos);

    // Stop during a handler's size: its callback answers E_ABORT and the run
    // ends long before the limit.
    writeSetting(kWindowsCleanupSection, L"Handler:Sorvane Test Good", L"0");
    writeSetting(kWindowsCleanupSection, L"HandlerSeconds", L"600");
    setText(HKEY_LOCAL_MACHINE, key + hang.subkey, L"TestHang", L"size");
    DeleteFileW(dir.file(L"hang.log").c_str());
    run.strLog.clear();
    ui.pressStopAfterPumps(ui.pumps + 5);
    cleanWindowsCleanup(ctx, true);
    EXPECT_EQ(ui.stopCaptions.back(), L"Aborted by User");
    EXPECT_EQ(run.strLog.find(L"Sorvane Test Hang"), std::wstring::npos) << toAnsi(run.strLog);
    for (int i = 0; i < 40 && readFile(dir.file(L"hang.log")).find("aborted") == std::string::npos; ++i)
        Sleep(50);
    EXPECT_NE(readFile(dir.file(L"hang.log")).find("GetSpaceUsed callback\naborted"), std::string::npos);
}

// In the window, a handler that is not trusted cannot be ticked, one whose
// removals cannot be taken back asks first, and OK saves every row.
TEST(WindowsCleanupWindow, UntrustedRowsStayUntickedAWarningAsksAndOkSaves)
{
    ScopedAppFolder app;
    TempFolder elsewhere;
    writeFile(elsewhere.file(L"planted.dll"), "MZ");
    const PlantedHandler update(L"Update Cleanup", L"{5A0A0004-0000-4000-8000-000000000001}", HKEY_LOCAL_MACHINE,
                                L"%SystemRoot%\\system32\\sorvane-canary.dll", 10);
    const PlantedHandler planted(L"Sorvane Test Planted", L"{5A0A0004-0000-4000-8000-000000000002}",
                                 HKEY_LOCAL_MACHINE, elsewhere.file(L"planted.dll"), 20);
    WindowsCleanupWindow window;
    std::vector<int> answers = {IDNO, IDYES};
    int asked = 0;
    window.ask = [&](HWND, const std::wstring& text, unsigned) {
        EXPECT_NE(text.find(L"Display of Update Cleanup"), std::wstring::npos);
        return answers.at(static_cast<size_t>(asked++));
    };
    PostedCalls calls;
    calls.post([&] {
        HWND lv = window.list();
        const auto rowOf = [&](const std::wstring& text) {
            for (int i = 0; i < ListView_GetItemCount(lv); ++i)
                if (win::cellText(lv, i, 0) == text)
                    return i;
            return -1;
        };
        const int updateRow = rowOf(L"Display of Update Cleanup"), plantedRow = rowOf(L"Display of Sorvane Test Planted");
        ASSERT_GE(updateRow, 0);
        ASSERT_GE(plantedRow, 0);
        EXPECT_EQ(win::cellText(lv, plantedRow, 1), kNotTrustedHandler);
        EXPECT_FALSE(ListView_GetCheckState(lv, updateRow)) << "a warned handler starts unticked";
        ListView_SetCheckState(lv, plantedRow, TRUE);
        EXPECT_FALSE(ListView_GetCheckState(lv, plantedRow));
        ListView_SetCheckState(lv, updateRow, TRUE);
        EXPECT_FALSE(ListView_GetCheckState(lv, updateRow)) << "answered No";
        ListView_SetCheckState(lv, updateRow, TRUE);
        EXPECT_TRUE(ListView_GetCheckState(lv, updateRow)) << "answered Yes";
        ListView_SetCheckState(lv, 0, FALSE);
        PostMessageW(window.hwnd(), WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(window.show(GetModuleHandleW(nullptr), nullptr), IDOK);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(readSetting(kWindowsCleanupSection, L"Handler:Update Cleanup", L""), L"1");
    EXPECT_EQ(readSetting(kWindowsCleanupSection, L"Handler:Sorvane Test Planted", L""), L"0");
    EXPECT_EQ(readSetting(kWindowsCleanupSection, L"ErrorReports", L""), L"0");
    EXPECT_EQ(readSetting(kWindowsCleanupSection, L"Thumbnails", L""), L"1");
}

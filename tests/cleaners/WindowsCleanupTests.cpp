// The Windows cleanup category over a made-up machine: its folders are the
// test's, named through the variables the category expands.
#include "cleaners/CleanerFixture.h"
#include "cleaners/WindowsCleanup.h"
#include "platform/Text.h"
#include "store/Settings.h"

#include <map>

using namespace sorvane;
using namespace testenv;

namespace {

// Points the variables at folders of the test for its lifetime.
class ScopedVariables {
public:
    explicit ScopedVariables(const std::map<std::wstring, std::wstring>& values)
    {
        for (const auto& [name, value] : values) {
            wchar_t old[32768] = {};
            const DWORD n = GetEnvironmentVariableW(name.c_str(), old, 32768);
            m_saved.emplace_back(name, n ? std::optional<std::wstring>(old) : std::nullopt);
            SetEnvironmentVariableW(name.c_str(), value.c_str());
        }
    }
    ~ScopedVariables()
    {
        for (const auto& [name, value] : m_saved)
            SetEnvironmentVariableW(name.c_str(), value ? value->c_str() : nullptr);
    }

private:
    std::vector<std::pair<std::wstring, std::optional<std::wstring>>> m_saved;
};

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

#include "store/Settings.h"
#include "store/StartupSettings.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

using namespace sorvane;

namespace {
SYSTEMTIME at(int h, int m, int s, int day = 8)
{
    SYSTEMTIME t{};
    t.wYear = 2026;
    t.wMonth = 12;
    t.wDay = static_cast<WORD>(day);
    t.wHour = static_cast<WORD>(h);
    t.wMinute = static_cast<WORD>(m);
    t.wSecond = static_cast<WORD>(s);
    return t;
}
} // namespace

TEST(DeleteSettingsTest, MethodLetters)
{
    EXPECT_EQ(deleteMethodFromText(L"D"), kDelete);
    EXPECT_EQ(deleteMethodFromText(L"R"), kRecycleBin);
    EXPECT_EQ(deleteMethodFromText(L"W"), kWipe);
    EXPECT_EQ(deleteMethodFromText(L"B"), kBackup);
    EXPECT_EQ(deleteMethodFromText(L"d"), kBackup) << "letters are compared exactly";
    EXPECT_EQ(deleteMethodFromText(L""), kBackup);
}

TEST(DeleteSettingsTest, DefaultsWithoutSettingsFile)
{
    testenv::ScopedAppFolder app;
    const DeleteSettings s = getDelete();
    EXPECT_EQ(s.intDelMethod, kDelete);
    EXPECT_EQ(s.bytExtraSecurity, 0);
    EXPECT_EQ(s.bytRename, 0);
    EXPECT_EQ(s.strBackupPath, app.path() + L"\\Backup\\");
}

TEST(DeleteSettingsTest, StoredValuesAndABadOneThatLosesNothingElse)
{
    testenv::ScopedAppFolder app;
    testenv::writeFile(app.file(L"Settings.ini"),
                       "[General]\r\nDelMethod=W\r\nExtraS=1\r\nRename=garbage\r\n[Backup]\r\nPath=D:\\Keep\\\r\n");
    const DeleteSettings s = getDelete();
    EXPECT_EQ(s.intDelMethod, kWipe);
    EXPECT_EQ(s.bytExtraSecurity, 1);
    EXPECT_EQ(s.bytRename, 0);
    EXPECT_EQ(s.strBackupPath, L"D:\\Keep\\");
}

TEST(GeneralSettingsTest, AutomaticCleanInterval)
{
    testenv::ScopedAppFolder app;
    EXPECT_FALSE(readGeneral().autoClean) << "off without a settings file";

    writeSetting(L"General", L"AutoClean", L"1");
    writeSetting(L"General", L"Duration", L"2");
    writeSetting(L"General", L"HM", L"0");
    GeneralSettings g = readGeneral();
    EXPECT_TRUE(g.autoClean);
    EXPECT_EQ(g.mintDuration, 2);

    writeSetting(L"General", L"Duration", L"1");
    writeSetting(L"General", L"HM", L"1");
    EXPECT_EQ(readGeneral().mintDuration, 60);

    writeSetting(L"General", L"Duration", L"60");
    EXPECT_EQ(readGeneral().mintDuration, 3600);
}

TEST(GeneralSettingsTest, BadValuesFallBackToTheirDefaults)
{
    testenv::ScopedAppFolder app;
    // A corrupt flag must never start a clean the user did not ask for.
    writeSetting(L"General", L"AutoClean", L"yes");
    writeSetting(L"General", L"StartupClean", L"\x7f\x01");
    GeneralSettings g = readGeneral();
    EXPECT_FALSE(g.autoClean);
    EXPECT_FALSE(g.startupClean);

    writeSetting(L"General", L"AutoClean", L"1");
    writeSetting(L"General", L"Duration", L"two");
    writeSetting(L"General", L"HM", L"0");
    EXPECT_EQ(readGeneral().mintDuration, 1);

    // 1000 hours do not fit the 16-bit minute count: one hour is used.
    writeSetting(L"General", L"Duration", L"1000");
    writeSetting(L"General", L"HM", L"1");
    EXPECT_EQ(readGeneral().mintDuration, 60);

    writeSetting(L"General", L"StartupClean", L"1");
    EXPECT_TRUE(readGeneral().startupClean);
}

TEST(AutoCleanTimer, CountsCalendarMinuteBoundaries)
{
    EXPECT_EQ(minutesElapsed(at(12, 0, 59), at(12, 1, 0)), 1);
    EXPECT_EQ(minutesElapsed(at(12, 0, 0), at(12, 0, 59)), 0);
    EXPECT_EQ(minutesElapsed(at(23, 59, 30), at(0, 0, 10, 9)), 1);
    EXPECT_EQ(minutesElapsed(at(10, 0, 0), at(11, 0, 0)), 60);
}

TEST(AutoCleanTimer, FirstCleanAfterMoreThanTheInterval)
{
    const SYSTEMTIME start = at(9, 15, 40);
    EXPECT_FALSE(autoCleanDue(start, at(9, 17, 50), 2));
    EXPECT_TRUE(autoCleanDue(start, at(9, 18, 0), 2));
    // Duration 0 cleans at every minute boundary.
    EXPECT_FALSE(autoCleanDue(start, at(9, 15, 59), 0));
    EXPECT_TRUE(autoCleanDue(start, at(9, 16, 0), 0));
}

TEST(LastCleaned, GeneralDateTextRoundTrips)
{
    const SYSTEMTIME t = at(14, 5, 9);
    const std::wstring text = formatGeneralDate(t);
    ASSERT_FALSE(text.empty());
    const auto back = parseDateText(text);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->wYear, 2026);
    EXPECT_EQ(back->wMonth, 12);
    EXPECT_EQ(back->wDay, 8);
    EXPECT_EQ(back->wHour, 14);
    EXPECT_EQ(back->wMinute, 5);
    EXPECT_EQ(back->wSecond, 9);
    EXPECT_FALSE(parseDateText(L"not a date").has_value());
    EXPECT_FALSE(parseDateText(L"").has_value());
}

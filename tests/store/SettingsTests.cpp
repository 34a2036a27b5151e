#include "platform/AppFolder.h"
#include "store/ListFiles.h"
#include "store/Settings.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

using namespace sorvane;

TEST(SettingsFile, DefaultsForMissingFileSectionAndKey)
{
    testenv::ScopedAppFolder app;
    EXPECT_EQ(readSetting(L"General", L"DelMethod", L"D"), L"D");
    writeSetting(L"General", L"AutoClean", L"1");
    EXPECT_EQ(readSetting(L"General", L"Duration", L"1"), L"1");
    EXPECT_EQ(readSetting(L"Backup", L"Path", L"x"), L"x");
    EXPECT_EQ(readSetting(L"General", L"AutoClean", L"0"), L"1");
}

TEST(SettingsFile, WrittenAsPlainIniText)
{
    testenv::ScopedAppFolder app;
    writeSetting(L"General", L"DelMethod", L"W");
    writeSetting(L"CleanUp", L"LastCleaned", L"12/8/2026 10:00:00 AM");
    const std::string text = testenv::readFile(app.file(L"Settings.ini"));
    EXPECT_NE(text.find("[General]\r\nDelMethod=W\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[CleanUp]\r\nLastCleaned=12/8/2026 10:00:00 AM\r\n"), std::string::npos) << text;
    // The other spelling of the name is the same file.
    EXPECT_EQ(testenv::readFile(app.file(L"settings.ini")), text);
}

TEST(SettingsFile, ValuesAreCutToTheReadBuffer)
{
    testenv::ScopedAppFolder app;
    const std::wstring longPath = L"C:\\" + std::wstring(600, L'p');
    writeSetting(L"Backup", L"Path", longPath);
    writeSetting(L"General", L"Duration", longPath);
    EXPECT_EQ(readSetting(L"General", L"Duration", L"1").size(), kSettingChars - 1);
    EXPECT_EQ(readSetting(L"Backup", L"Path", L"", kWideSettingChars).size(), kWideSettingChars - 1);
}

TEST(SettingsFile, TextIsStoredInTheAnsiCodePage)
{
    if (GetACP() != 1252)
        GTEST_SKIP() << "needs code page 1252";
    testenv::ScopedAppFolder app;
    writeSetting(L"Backup", L"Path", L"C:\\Sauvegarde\\\u00e9t\u00e9\\");
    EXPECT_NE(testenv::readFile(app.file(L"Settings.ini")).find("Path=C:\\Sauvegarde\\\xe9t\xe9\\"), std::string::npos);
    EXPECT_EQ(readSetting(L"Backup", L"Path", L""), L"C:\\Sauvegarde\\\u00e9t\u00e9\\");
}

TEST(SettingsFile, HugeAndBinaryFilesGiveDefaultsOrCutValues)
{
    testenv::ScopedAppFolder app;
    std::string text = "[General]\r\nDelMethod=" + std::string(4 * 1024 * 1024, 'R') + "\r\nExtraS=1\r\n";
    testenv::writeFile(app.file(L"Settings.ini"), text);
    EXPECT_EQ(readSetting(L"General", L"DelMethod", L"D", kWideSettingChars), std::wstring(kWideSettingChars - 1, L'R'));
    EXPECT_EQ(readSetting(L"General", L"ExtraS", L"0"), L"1");

    std::string binary(2048, '\0');
    for (size_t i = 0; i < binary.size(); ++i)
        binary[i] = static_cast<char>((i * 131) % 256);
    testenv::writeFile(app.file(L"Settings.ini"), binary);
    EXPECT_EQ(readSetting(L"General", L"DelMethod", L"D"), L"D");
}

TEST(SettingsFile, ReadAndWrittenFromAFolderOutsideTheCodePage)
{
    testenv::TempFolder base;
    const std::wstring folder = base.file(L"\u0416\u03a9");
    testenv::makeDir(folder);
    const std::wstring saved = appFolder();
    setAppFolder(folder);
    writeSetting(L"General", L"DelMethod", L"W");
    writeSetting(L"Backup", L"Path", L"C:\\Sauvegarde\\");
    const std::wstring method = readSetting(L"General", L"DelMethod", L"D");
    const std::wstring path = readSetting(L"Backup", L"Path", L"", kWideSettingChars);
    const std::string bytes = testenv::readFile(folder + L"\\Settings.ini");
    setAppFolder(saved);
    EXPECT_EQ(method, L"W");
    EXPECT_EQ(path, L"C:\\Sauvegarde\\");
    EXPECT_EQ(bytes, "[General]\r\nDelMethod=W\r\n[Backup]\r\nPath=C:\\Sauvegarde\\\r\n") << "the file stays ANSI";
}

// Each key is written to a complete copy that then replaces the file: a
// write that fails leaves every key as it was, and reads see each new value.
TEST(SettingsFile, AWriteThatFailsKeepsTheFile)
{
    testenv::ScopedAppFolder app;
    writeSetting(L"General", L"DelMethod", L"W");
    writeSetting(L"General", L"ExtraS", L"1");
    EXPECT_EQ(readSetting(L"General", L"DelMethod", L"D"), L"W");
    const std::string before = testenv::readFile(app.file(L"Settings.ini"));
    CreateDirectoryW(savingNameOf(settingsPath()).c_str(), nullptr);
    EXPECT_ANY_THROW(writeSetting(L"General", L"DelMethod", L"R"));
    EXPECT_EQ(testenv::readFile(app.file(L"Settings.ini")), before);
    EXPECT_EQ(readSetting(L"General", L"DelMethod", L"D"), L"W");
    RemoveDirectoryW(savingNameOf(settingsPath()).c_str());

    for (const wchar_t* v : {L"R", L"D", L"B"}) {
        writeSetting(L"General", L"DelMethod", v);
        EXPECT_EQ(readSetting(L"General", L"DelMethod", L"?"), v);
    }
    EXPECT_EQ(readSetting(L"General", L"ExtraS", L"0"), L"1");
    // A file another program rewrote is read afresh.
    testenv::writeFile(app.file(L"Settings.ini"), "[General]\r\nDelMethod=W\r\n");
    EXPECT_EQ(readSetting(L"General", L"DelMethod", L"?"), L"W");
    EXPECT_EQ(readSetting(L"General", L"ExtraS", L"0"), L"0");
}

#include "platform/SystemPaths.h"
#include "store/DefaultRules.h"
#include "store/ListFiles.h"
#include "store/StartupSettings.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>
#include <algorithm>

using namespace sorvane;

class ListFiles : public ::testing::Test {
protected:
    testenv::TempFolder dir;
    std::wstring path(const wchar_t* name) { return dir.file(name); }
};

TEST(ListFileLines, SplitAtCrLfWithAFinalLineWithoutTerminator)
{
    EXPECT_EQ(splitLines("a\r\nb\r\n"), (std::vector<std::wstring>{L"a", L"b"}));
    EXPECT_EQ(splitLines("a\r\n\r\nb"), (std::vector<std::wstring>{L"a", L"", L"b"}));
    EXPECT_EQ(splitLines("unix\nline"), (std::vector<std::wstring>{L"unix", L"line"}));
    EXPECT_TRUE(splitLines("").empty());
    EXPECT_EQ(splitLines("\r\n"), (std::vector<std::wstring>{L""}));
}

TEST_F(ListFiles, IgnoredFileNamesDefaultOnlyWhenTheFileIsMissing)
{
    const auto defaults = loadIgnoredFileNames(path(L"IFI.sol"));
    ASSERT_EQ(defaults.size(), 17u);
    EXPECT_EQ(defaults.front(), L"Data.BAK");
    EXPECT_EQ(defaults[6], L"Default.PIF");
    EXPECT_EQ(defaults.back(), L"WNCCDCTL.Log");

    testenv::writeFile(path(L"IFI.sol"), "");
    EXPECT_TRUE(loadIgnoredFileNames(path(L"IFI.sol")).empty()) << "an existing empty file ignores nothing";

    saveListFile(path(L"IFI.sol"), {L"keep.tmp", L"Thumbs.db"});
    EXPECT_EQ(testenv::readFile(path(L"IFI.sol")), "keep.tmp\r\nThumbs.db\r\n");
    EXPECT_EQ(loadIgnoredFileNames(path(L"IFI.sol")), (std::vector<std::wstring>{L"keep.tmp", L"Thumbs.db"}));

    EXPECT_FALSE(loadListFile(path(L"IE.sol")).has_value());
}

TEST_F(ListFiles, FolderListsSkipEmptyLines)
{
    EXPECT_FALSE(loadFolderList(path(L"UDIFO.sol")).has_value());
    testenv::writeFile(path(L"UDIFO.sol"), "C:\\keep\\\r\n\r\nC:\\also\r\n");
    EXPECT_EQ(*loadFolderList(path(L"UDIFO.sol")), (std::vector<std::wstring>{L"C:\\keep\\", L"C:\\also"}));
    saveFolderList(path(L"UDFO.sol"), {L"C:\\x\\"});
    EXPECT_EQ(testenv::readFile(path(L"udfo.sol")), "C:\\x\\\r\n");
}

TEST(ListFileDefaults, UserDefinedFoldersStartWithTheTempFolder)
{
    const auto folders = defaultUserDefinedFolders();
    ASSERT_FALSE(folders.empty());
    EXPECT_EQ(folders[0], TemporaryDirectory());
    for (size_t i = 1; i < folders.size(); ++i)
        EXPECT_TRUE(folderExists(folders[i])) << "only folders that exist are offered";
}

TEST_F(ListFiles, UserDefinedFilesFlagLine)
{
    UserDefinedFiles none = loadUserDefinedFiles(path(L"UDFI.sol"));
    EXPECT_FALSE(none.checkIgnoreLists);
    EXPECT_TRUE(none.files.empty());

    saveUserDefinedFiles(path(L"UDFI.sol"), {true, {L"C:\\a.txt", L"C:\\b.log"}});
    EXPECT_EQ(testenv::readFile(path(L"UDFI.sol")), "1\r\nC:\\a.txt\r\nC:\\b.log\r\n");
    const auto back = loadUserDefinedFiles(path(L"UDFI.sol"));
    EXPECT_TRUE(back.checkIgnoreLists);
    EXPECT_EQ(back.files, (std::vector<std::wstring>{L"C:\\a.txt", L"C:\\b.log"}));

    // An empty list is written as an empty file, and the flag is then lost.
    saveUserDefinedFiles(path(L"UDFI.sol"), {true, {}});
    EXPECT_EQ(testenv::readFile(path(L"UDFI.sol")), "");
    EXPECT_FALSE(loadUserDefinedFiles(path(L"UDFI.sol")).checkIgnoreLists);

    // A one-character line is the flag, never an entry.
    testenv::writeFile(path(L"UDFI.sol"), "0\r\nx\r\nC:\\y.txt\r\n");
    const auto odd = loadUserDefinedFiles(path(L"UDFI.sol"));
    EXPECT_FALSE(odd.checkIgnoreLists);
    EXPECT_EQ(odd.files, (std::vector<std::wstring>{L"C:\\y.txt"}));
}

TEST_F(ListFiles, RuleRecordsAndTheirFallback)
{
    EXPECT_TRUE(loadRules(path(L"UNFI.sol"), path(L"DefUNFI.sol")).empty());

    testenv::writeFile(path(L"DefUNFI.sol"), "1\x01*.TMP\x01Temporary files\r\n");
    ASSERT_EQ(loadRules(path(L"UNFI.sol"), path(L"DefUNFI.sol")).size(), 1u);

    testenv::writeFile(path(L"UNFI.sol"),
                       "no separator here\r\n"
                       "0\x01*.LOG\x01Logs\r\n"
                       "2\x01*.BAK\r\n"
                       "x\x01*.OLD\x01Old\r\n"
                       "1\x01*.log\x01" "Duplicate key\r\n"
                       "1\x01NAME.DIZ\x01\r\n");
    const auto rules = loadRules(path(L"UNFI.sol"), path(L"DefUNFI.sol"));
    ASSERT_EQ(rules.size(), 4u);
    EXPECT_EQ(rules[0], (UnnecessaryRule{false, L"*.LOG", L"Logs"}));
    EXPECT_EQ(rules[1], (UnnecessaryRule{true, L"*.BAK", L""})) << "a description may be absent";
    EXPECT_EQ(rules[2], (UnnecessaryRule{false, L"*.OLD", L"Old"})) << "a flag that is no number";
    EXPECT_EQ(rules[3], (UnnecessaryRule{true, L"NAME.DIZ", L""}));

    saveRules(path(L"UNFI.sol"), rules);
    EXPECT_EQ(testenv::readFile(path(L"UNFI.sol")),
              "0\x01*.LOG\x01Logs\r\n1\x01*.BAK\x01\r\n0\x01*.OLD\x01Old\r\n1\x01NAME.DIZ\x01\r\n");
}

TEST_F(ListFiles, FactoryRuleFile)
{
    clsdefUNFI{}.createDefFile(path(L"DefUNFI.sol"));
    const auto rules = loadRules(path(L"UNFI.sol"), path(L"DefUNFI.sol"));
    ASSERT_EQ(rules.size(), 121u);
    EXPECT_EQ(std::count_if(rules.begin(), rules.end(), [](const auto& r) { return r.enabled; }), 49);
    EXPECT_EQ(rules.front(), (UnnecessaryRule{true, L"FILE_ID.DIZ",
                                              L"Used mainly by shareware programs to describe the purpose of an application"}));
    EXPECT_EQ(rules.back(), (UnnecessaryRule{false, L"*.NCH", L""}));
    int empty = 0;
    for (const auto& r : rules) {
        empty += r.description.empty();
        if (r.pattern == L"CHKLIST.*") {
            EXPECT_EQ(r.description, L"Lost cluster files  ");
        }
        if (r.pattern == L"BOOTLOG.PRV") {
            EXPECT_EQ(r.description, L"Windows diagnostic file   ");
        }
        if (r.pattern == L"*.LOG" || r.pattern == L"*.DMP" || r.pattern == L"*.SWP") {
            EXPECT_FALSE(r.enabled);
        }
    }
    EXPECT_EQ(empty, 18);
    const std::string text = testenv::readFile(path(L"DefUNFI.sol"));
    EXPECT_NE(text.find("\r\n1\x01*._DETMP\x01\r\n"), std::string::npos) << "an empty description ends with the SOH";
    // The rows quoted in full, byte for byte and in their order.
    const char* quoted[] = {
        "1\x01" "FILE_ID.DIZ\x01Used mainly by shareware programs to describe the purpose of an application\r\n",
        "1\x01*.FTG\x01" "Created by Windows to speed up word research. Deletion will not affect the running of help files\r\n",
        "1\x01*.GID\x01Used by Windows to access help files faster. Deletion will slow the loading of such files but only for the first time\r\n",
        "0\x01*.LOG\x01" "Created by Windows to record the events of an error, or the detection of a new peripheral\r\n",
        "0\x01*.OLD\x01" "Backups of files which have been modified by another program. Delete only if you are sure these files are no longer required\r\n",
        "1\x01" "BACKUP*.WBK\x01MS Word backup. Safe to delete if you do not require duplicate documents\r\n",
        "0\x01*.WBK\x01Usually MS Word backup files. See BACKUP*.WBK to be sure\r\n",
        "0\x01*.TBK\x01" "dBASE (Foxpro) memo backup (caution also Asymetrix ToolBook files)\r\n",
        "0\x01*.SAV\x01" "Backup files (caution, also used as saved settings for various programs)\r\n",
        "0\x01*.SWP\x01Sprint document backup (caution, also DOS swap file extension)\r\n",
        "1\x01*.TMP\x01Temporary files\r\n",
        "1\x01*.CHK\x01WordPerfect temporary files or lost cluster files\r\n",
        "1\x01" "CHKLIST.*\x01Lost cluster files  \r\n",
        "1\x01" "file???._dd\x01Lost cluster files\r\n",
        "1\x01" "BOOTLOG.PRV\x01Windows diagnostic file   \r\n",
        "0\x01*.DMP\x01Windows memory dump debug/diagnostics file\r\n",
    };
    size_t at = 0;
    for (const char* row : quoted) {
        const size_t found = text.find(row, at);
        ASSERT_NE(found, std::string::npos) << row;
        EXPECT_TRUE(found == 0 || text.compare(found - 2, 2, "\r\n") == 0) << "a whole line: " << row;
        at = found;
    }
    EXPECT_EQ(text.substr(0, 13), "1\x01" "FILE_ID.DIZ");
}

TEST_F(ListFiles, KeptCookiesFileIsOneLineOrNoFile)
{
    EXPECT_TRUE(loadKeptCookies(path(L"cookies.sol")).empty());
    const std::vector<KeptCookie> keep = {{L"C:\\Cookies\\", L"me@bank[1].txt"}, {L"C:\\Cookies\\", L"me@mail[2].txt"}};
    saveKeptCookies(path(L"cookies.sol"), keep);
    EXPECT_EQ(testenv::readFile(path(L"cookies.sol")),
              "C:\\Cookies\\me@bank[1].txt\x01"
              "C:\\Cookies\\me@mail[2].txt\x01\r\n");
    EXPECT_EQ(loadKeptCookies(path(L"cookies.sol")), keep);
    EXPECT_NE(readKeptCookieText(path(L"cookies.sol")).find(L"C:\\Cookies\\me@mail[2].txt"), std::wstring::npos);

    saveKeptCookies(path(L"cookies.sol"), {});
    EXPECT_FALSE(testenv::exists(path(L"cookies.sol"))) << "removing the last kept cookie deletes the file";
    saveKeptCookies(path(L"cookies.sol"), {});
}

TEST_F(ListFiles, SearchOptionsFivePositionalLines)
{
    EXPECT_FALSE(loadSearchSettings(path(L"search.sol")).has_value());

    SearchSettings s;
    s.fileReference = true;
    s.dateFilter = true;
    s.dateFrom = L"1/1/2026";
    s.dateTo = L"12/31/2026";
    s.sizeFilter = true;
    s.sizeIs = true;
    s.sizeAtLeast = false;
    s.sizeKb = L"250";
    s.skipHidden = false;
    saveSearchSettings(path(L"search.sol"), s, {L"C:\\ Hard drive;", L"D:\\ CD-ROM drive"});
    EXPECT_EQ(testenv::readFile(path(L"search.sol")),
              " C:\\ Hard drive; D:\\ CD-ROM drive\r\n1 0\r\n1 1/1/2026 12/31/2026\r\n1 True False False 250\r\n1 0 1\r\n");

    const auto back = loadSearchSettings(path(L"search.sol"));
    ASSERT_TRUE(back.has_value());
    EXPECT_TRUE(isDriveSelected(back->driveLine, L"C:\\ Hard drive;"));
    EXPECT_TRUE(isDriveSelected(back->driveLine, L"D:\\ CD-ROM drive"));
    EXPECT_FALSE(isDriveSelected(back->driveLine, L"E:\\ Removable drive"));
    EXPECT_TRUE(back->fileReference);
    EXPECT_FALSE(back->pathReference);
    EXPECT_TRUE(back->dateFilter);
    EXPECT_EQ(back->dateTo, L"12/31/2026");
    EXPECT_TRUE(back->sizeIs);
    EXPECT_FALSE(back->sizeAtLeast);
    EXPECT_EQ(back->sizeKb, L"250");
    EXPECT_TRUE(back->skipReadOnly);
    EXPECT_FALSE(back->skipHidden);
    EXPECT_TRUE(back->skipSystem);
}

TEST(SearchOptionsLines, EmptyFirstLineAndLinesWithoutBlanks)
{
    const SearchSettings s = parseSearchSettings({L"", L"0 1", L"1", L"nospace", L"0 0 0", L"ignored"});
    EXPECT_TRUE(s.driveLine.empty());
    EXPECT_TRUE(s.pathReference);
    EXPECT_FALSE(s.dateFilter) << "line 3 without a blank is skipped";
    EXPECT_FALSE(s.sizeFilter);
    EXPECT_EQ(s.sizeKb, L"1000");
    EXPECT_FALSE(s.skipReadOnly);
    EXPECT_FALSE(s.skipHidden);
    EXPECT_FALSE(s.skipSystem);

    const SearchSettings bad = parseSearchSettings({L" C:\\ Hard drive;", L"? ?", L"x 1/1/2026", L"1 maybe"});
    EXPECT_FALSE(bad.fileReference);
    EXPECT_FALSE(bad.dateFilter);
    EXPECT_EQ(bad.dateFrom, L"1/1/2026") << "a bad field leaves the others";
    EXPECT_TRUE(bad.sizeFilter);
    EXPECT_FALSE(bad.sizeIs);
}

TEST(CheckItemsLine, FieldsSetTheBoxesTheyHave)
{
    CategoryStates s{};
    EXPECT_TRUE(applyCheckItemsLine(L"1,0,1,0,0,0,0,0,0,0,0,1,1,0,0,0,0,1,", s));
    CategoryStates expected{};
    for (int i : {0, 2, 11, 12, 17})
        expected[i] = 1;
    EXPECT_EQ(s, expected);
    // An older file of 18 fields: the 19th and 20th (Windows cleanup,
    // Application rules) stay unticked.
    EXPECT_EQ(formatCheckItemsLine(s), L"1,0,1,0,0,0,0,0,0,0,0,1,1,0,0,0,0,1,0,0,");
    EXPECT_TRUE(applyCheckItemsLine(L"0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,1,1,1,", s));
    EXPECT_EQ(s[18], 1) << "field 18 is Windows cleanup";
    EXPECT_EQ(s[19], 1) << "field 19 is Application rules; a later field is ignored";

    CategoryStates design{};
    design[4] = 1;
    EXPECT_FALSE(applyCheckItemsLine(L"111111", design));
    EXPECT_EQ(design[4], 1) << "a line without a comma leaves the design states";

    CategoryStates few{};
    few.fill(1);
    EXPECT_TRUE(applyCheckItemsLine(L"0,0,", few));
    EXPECT_EQ(few[0], 0);
    EXPECT_EQ(few[1], 0);
    EXPECT_EQ(few[2], 1);

    CategoryStates bad{};
    EXPECT_TRUE(applyCheckItemsLine(L"7,x,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,", bad));
    EXPECT_EQ(bad[0], 0);
    EXPECT_EQ(bad[1], 0);
    EXPECT_EQ(bad[2], 1);
    EXPECT_EQ(bad[17], 1);
}

TEST_F(ListFiles, CheckItemsFileFirstLineOnly)
{
    CategoryStates s{};
    loadCheckItems(path(L"checkItems.sol"), s);
    EXPECT_EQ(s, CategoryStates{});
    testenv::writeFile(path(L"checkitems.sol"), "");
    loadCheckItems(path(L"checkItems.sol"), s);
    EXPECT_EQ(s, CategoryStates{});
    testenv::writeFile(path(L"checkItems.sol"), "0,1,\r\n1,1,1,1,\r\n");
    loadCheckItems(path(L"checkItems.sol"), s);
    EXPECT_EQ(s[1], 1);
    EXPECT_EQ(s[2], 0);
    saveCheckItems(path(L"checkItems.sol"), s);
    EXPECT_EQ(testenv::readFile(path(L"checkItems.sol")), "0,1,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,\r\n");
}

TEST_F(ListFiles, AnsiCodePageAndBinaryContent)
{
    if (GetACP() == 1252) {
        saveListFile(path(L"IE.sol"), {L"\u00e9t\u00e9"});
        EXPECT_EQ(testenv::readFile(path(L"IE.sol")), "\xe9t\xe9\r\n");
        EXPECT_EQ(*loadListFile(path(L"IE.sol")), std::vector<std::wstring>{L"\u00e9t\u00e9"});
    }
    std::string binary;
    for (int i = 0; i < 70000; ++i)
        binary += static_cast<char>(i % 256);
    testenv::writeFile(path(L"IE.sol"), binary);
    EXPECT_FALSE(loadListFile(path(L"IE.sol"))->empty());
    testenv::writeFile(path(L"UNFI.sol"), binary);
    EXPECT_NO_THROW(loadRules(path(L"UNFI.sol"), path(L"DefUNFI.sol")));
}

// Dates are stored free of blanks and the same in every locale; the
// locale's own forms that older files hold still read, blanks and all.
TEST(SearchOptionsDates, StoredFormReadsBackAndOldFormsStillRead)
{
    SYSTEMTIME t{};
    t.wYear = 2026;
    t.wMonth = 3;
    t.wDay = 7;
    EXPECT_EQ(formatStoredDate(t), L"2026-03-07");
    const auto back = parseStoredDate(L"2026-03-07");
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->wYear, 2026);
    EXPECT_EQ(back->wMonth, 3);
    EXPECT_EQ(back->wDay, 7);
    EXPECT_FALSE(parseStoredDate(L"2026-02-30").has_value()) << "a day that does not exist";
    EXPECT_FALSE(parseStoredDate(L"yesterday").has_value());
    EXPECT_TRUE(parseStoredDate(L"3/7/2026").has_value()) << "the short date older versions wrote";

    const auto [from, to] = splitDateFields({L"1", L"2026-01-01", L"2026-12-31"});
    EXPECT_EQ(from, L"2026-01-01");
    EXPECT_EQ(to, L"2026-12-31");
    // A locale format with blanks in it: each date is put back together.
    const auto [f2, t2] = splitDateFields({L"1", L"Jan", L"5", L"2026", L"Feb", L"15", L"2026"});
    EXPECT_EQ(f2, L"Jan 5 2026");
    EXPECT_EQ(t2, L"Feb 15 2026");
    const auto [f3, t3] = splitDateFields({L"1", L"junk", L"more", L"junk"});
    EXPECT_EQ(f3, L"junk") << "what does not read as dates stays field by field";
    EXPECT_EQ(t3, L"more");
}

// A save writes the whole new content beside the file and then replaces
// it: a save that cannot complete leaves the old content, and no leftover.
TEST_F(ListFiles, ASaveThatFailsKeepsThePreviousContent)
{
    const std::wstring file = path(L"IFI.sol");
    saveListFile(file, {L"old.tmp"});
    // The new content cannot be written beside the file: the folder that
    // name needs is taken by a folder.
    CreateDirectoryW(savingNameOf(file).c_str(), nullptr);
    EXPECT_ANY_THROW(saveListFile(file, {L"new.tmp"}));
    EXPECT_EQ(testenv::readFile(file), "old.tmp\r\n");
    RemoveDirectoryW(savingNameOf(file).c_str());

    saveListFile(file, {L"new.tmp"});
    EXPECT_EQ(testenv::readFile(file), "new.tmp\r\n");
    EXPECT_FALSE(testenv::exists(savingNameOf(file)));
}

// A report written where others can write never goes through a link: not
// one planted at the name a save's copy usually takes, not one planted at
// the report's own name (the test script leaves both, leading outside).
TEST(ListFileSaving, AReportNeverWritesThroughAPlantedLink)
{
    const std::wstring folder = L"C:\\sorvane-fixtures\\saving";
    ASSERT_TRUE(testenv::exists(folder + L"\\report.json.saving")) << "the test script plants the links";
    writeNewFileBytes(folder + L"\\report.json", "{\"version\":1}");
    writeNewFileBytes(folder + L"\\linked.json", "{\"version\":2}");
    EXPECT_EQ(testenv::readFile(folder + L"\\report.json"), "{\"version\":1}");
    EXPECT_EQ(testenv::readFile(folder + L"\\linked.json"), "{\"version\":2}");
    EXPECT_EQ(testenv::readFile(L"C:\\sorvane-fixtures\\outside\\saving-victim.txt"), "keep me\n");
    EXPECT_EQ(testenv::readFile(L"C:\\sorvane-fixtures\\outside\\linked-victim.txt"), "keep me too\n");
}

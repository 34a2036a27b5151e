// Application rules: entries written here in the community's format (none
// taken from its database), cleaned, refused and previewed.
#include "cleaners/ApplicationRules.h"
#include "cleaners/ApplicationRulesWindow.h"
#include "cleaners/CleanerFixture.h"
#include "platform/AppFolder.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "resource.h"
#include "support/PostedCalls.h"
#include "win/ListColumns.h"

#include <commctrl.h>
#include <shlobj.h>

#include <random>

using namespace sorvane;
using namespace testenv;

namespace {

class ApplicationRulesTest : public CleanerTest {
protected:
    ApplicationRulesTest()
    {
        settings.intDelMethod = kDelete;
        settings.strBackupPath = app.file(L"Backup\\");
    }
    void rules(const std::wstring& text, const std::wstring& file = L"test.ini")
    {
        makeDir(app.file(L"Rules"));
        writeFile(app.file(L"Rules\\" + file), toUtf8(text));
    }
    size_t count(const std::wstring& what) const
    {
        size_t n = 0;
        for (size_t at = run.strLog.find(what); at != std::wstring::npos; at = run.strLog.find(what, at + 1))
            ++n;
        return n;
    }
    std::wstring d() const { return dir.path(); }

    TestKey key;
};

// One entry with every key and flag, cleaned as the user ticked it: the masks,
// the exclusions of each kind, REMOVESELF with and without a kept file, the
// registry keys with a kept subkey, and the undo file of what went.
TEST_F(ApplicationRulesTest, CleansWhatTheTickedEntriesSayAndNothingTheyExclude)
{
    const std::wstring hk = L"HKCU\\" + key.path();
    for (const wchar_t* rel : {L"cache\\a.tmp", L"cache\\sub\\b.log", L"cache\\keep.log", L"cache\\kept\\c.tmp",
                               L"cache\\other.txt", L"top\\x.dat", L"top\\sub\\y.dat", L"self\\s.tmp",
                               L"self\\deep\\t.tmp", L"selfkept\\u.tmp", L"selfkept\\deep\\v.tmp",
                               L"selfkept\\deep\\keep.tmp", L"later\\w.tmp"})
        fill(rel, 10);
    key.setString(L"MRU", L"a", L"1");
    key.setString(L"MRU\\Old", L"b", L"2");
    key.setString(L"MRU\\Pinned", L"c", L"3");
    key.setString(L"Settings", L"LastFile", L"x");
    key.setString(L"Settings", L"Theme", L"dark");
    rules(L"; a header line the reader passes over\r\n"
          L"[Test Cache *]\r\n"
          L"LangSecRef=3021\r\n"
          L"Detect=" + hk + L"\r\n"
          L"Default=True\r\n"
          L"FileKey1=" + d() + L"\\cache|*.tmp;*.log|RECURSE\r\n"
          L"FileKey2=" + d() + L"\\top|*.dat\r\n"
          L"ExcludeKey1=FILE|" + d() + L"\\cache\\|keep.log\r\n"
          L"ExcludeKey2=PATH|" + d() + L"\\cache\\kept\\\r\n"
          L"ExcludeKey3=REG|" + hk + L"\\MRU\\Pinned\r\n"
          L"RegKey1=" + hk + L"\\MRU\r\n"
          L"RegKey2=" + hk + L"\\Settings|LastFile\r\n"
          L"\r\n[Self Removing]\r\n"
          L"Section=Tests\r\n"
          L"DetectFile=" + d() + L"\\sel*\r\n"
          L"FileKey1=" + d() + L"\\self|*.*|REMOVESELF|RECURSE\r\n"
          L"FileKey2=" + d() + L"\\selfkept|*.tmp|REMOVESELF\r\n"
          L"ExcludeKey1=FILE|" + d() + L"\\selfkept\\deep\\keep.tmp\r\n"
          L"[Not Ticked *]\r\nFileKey1=" + d() + L"\\later|*.tmp\r\n"
          L"[Old Windows Only *]\r\nDetectOS=|5.0\r\nFileKey1=" + d() + L"\\later|*.tmp\r\n"
          L"[New Windows *]\r\nDetectOS=5.0|\r\nFileKey1=" + d() + L"\\later|*.tmp\r\n"
          L"[Thunderbird Only *]\r\nSpecialDetect=DET_THUNDERBIRD\r\nFileKey1=" + d() + L"\\later|*.tmp\r\n"
          L"[Missing Program *]\r\nDetect=HKCU\\Software\\SorvaneNoSuchKey\r\nDetectFile=" + d() +
          L"\\nothing\\*.exe\r\nFileKey1=" + d() + L"\\later|*.tmp\r\n");
    saveTickedRules({L"Test Cache", L"Self Removing", L"Old Windows Only"});

    const LoadedRules loaded = loadApplicationRules();
    ASSERT_EQ(loaded.rules.size(), 7u);
    for (const auto& rule : loaded.rules)
        EXPECT_EQ(rule.refused, L"") << rule.name;
    const auto detected = [&](const wchar_t* name) { return ruleDetected(*loaded.find(name), loaded.env); };
    EXPECT_TRUE(detected(L"Test Cache"));
    EXPECT_TRUE(detected(L"Self Removing"));
    EXPECT_FALSE(detected(L"Old Windows Only"));
    EXPECT_TRUE(detected(L"New Windows"));
    EXPECT_FALSE(detected(L"Thunderbird Only"));
    EXPECT_FALSE(detected(L"Missing Program"));
    EXPECT_EQ(loaded.find(L"Test Cache")->section, L"Applications");
    EXPECT_EQ(loaded.find(L"Self Removing")->section, L"Tests");

    cleanApplicationRules(ctx, false);

    for (const wchar_t* gone : {L"cache\\a.tmp", L"cache\\sub\\b.log", L"top\\x.dat", L"self", L"selfkept\\u.tmp",
                                L"selfkept\\deep\\v.tmp"})
        EXPECT_FALSE(exists(dir.file(gone))) << gone;
    for (const wchar_t* kept : {L"cache\\keep.log", L"cache\\kept\\c.tmp", L"cache\\other.txt", L"top\\sub\\y.dat",
                                L"selfkept\\deep\\keep.tmp", L"later\\w.tmp"})
        EXPECT_TRUE(exists(dir.file(kept))) << kept;
    EXPECT_FALSE(key.valueExists(L"MRU", L"a"));
    EXPECT_FALSE(key.keyExists(L"MRU\\Old"));
    EXPECT_TRUE(key.valueExists(L"MRU\\Pinned", L"c"));
    EXPECT_FALSE(key.valueExists(L"Settings", L"LastFile"));
    EXPECT_TRUE(key.valueExists(L"Settings", L"Theme"));
    EXPECT_NE(run.strLog.find(L"Cleaned Test Cache.... Files Deleted 3 Space Gained 30 Bytes\r\n"), std::wstring::npos)
        << run.strLog;
    EXPECT_NE(run.strLog.find(L"Cleaned Self Removing.... Files Deleted 4 Space Gained 40 Bytes\r\n"),
              std::wstring::npos);
    EXPECT_EQ(count(L"Old Windows Only"), 0u);
    // What the registry lost can be merged back.
    const auto undo = filesIn(app.file(L"Backup"), L"ApplicationRules_*.reg");
    ASSERT_EQ(undo.size(), 1u);
    const std::string text = readFile(undo[0]);
    const std::wstring undoText(reinterpret_cast<const wchar_t*>(text.data() + 2), (text.size() - 2) / 2);
    EXPECT_NE(undoText.find(L"\\MRU\\Old]"), std::wstring::npos);
    EXPECT_NE(undoText.find(L"\"LastFile\"=\"x\""), std::wstring::npos);
    EXPECT_EQ(undoText.find(L"Pinned"), std::wstring::npos);
}

// Every class of reach the linter refuses, each with a canary that must
// stay; each refused entry is named in the log once, and a folder reached
// through a link or holding a program is refused when the plan meets it.
TEST_F(ApplicationRulesTest, RefusesEveryEntryWhoseReachIsTooWide)
{
    fill(L"tool.exe", 5);
    fill(L"app\\app.exe", 5);
    fill(L"app\\cache.tmp", 5);
    fill(L"plain\\a.tmp", 5);
    key.setString(L"Keep", L"v", L"1");
    const std::wstring canaryKey = L"Software\\Classes\\.sorvanetest";
    writeRegString(HKEY_CURRENT_USER, canaryKey, L"", L"kept");
    const std::vector<std::pair<std::wstring, std::wstring>> hostile = {
        {L"FileKey1=%WinDir%|*.*", L"every file in"},
        {L"FileKey1=%SystemDrive%|*.log|RECURSE", L"recursively"},
        {L"FileKey1=%UserProfile%|*.*", L"every file in"},
        {L"FileKey1=%Documents%|*.tmp|RECURSE", L"recursively"},
        {L"FileKey1=%Desktop%|*.lnk|REMOVESELF", L"itself"},
        {L"FileKey1=%SystemDrive%\\Win*|*.*", L"every file in"},
        {L"FileKey1=%SystemDrive%\\Users|*.tmp|RECURSE", L"recursively"},
        {L"FileKey1=%ProgramFiles%\\Vendor|*.*|RECURSE", L"programs or libraries"},
        {L"FileKey1=" + d() + L"|*.exe", L"programs or libraries"},
        {L"FileKey1=" + d() + L"|setup*.DLL;*.tmp", L"programs or libraries"},
        {L"FileKey1=" + d() + L"\\plain\\..\\app|*.tmp", L"uses .."},
        {L"FileKey1=sorvane\\plain|*.tmp", L"not a full path"},
        {L"FileKey1=\\\\server\\share|*.tmp", L"network path"},
        {L"FileKey1=" + d() + L"|plain\\*.tmp", L"holds a path"},
        {L"FileKey1=%Bogus%\\x|*.tmp", L"no folder for"},
        {L"FileKey1=" + d() + L"\\plain|*.tmp|RECURSIVE", L"unknown flag"},
        {L"FileKey1=" + d() + L"\\plain", L"malformed"},
        {L"RegKey1=HKCU\\Software", L"one level below"},
        {L"RegKey1=HKCU", L"one level below"},
        {L"RegKey1=HKLM\\SOFTWARE\\Wow6432Node", L"one level below"},
        {L"RegKey1=HKLM\\SYSTEM\\CurrentControlSet\\Services\\Sorvane", L"HKEY_LOCAL_MACHINE\\SYSTEM"},
        {L"RegKey1=HKCU\\" + canaryKey, L"Classes"},
        {L"RegKey1=HKCR\\.sorvanetest", L"file association"},
        {L"RegKey1=HKU\\S-1-5-18\\Software\\Foo", L"another user"},
        {L"RegKey1=HKXX\\Software\\Foo", L"no hive"},
        {L"FileKey1=" + d() + L"\\plain|*.tmp\r\nExcludeKey1=DIR|" + d() + L"\\plain", L"unknown kind"},
        {L"FileKey1=" + d() + L"\\plain|*.tmp\r\nExcludeKey1=FILE|keep.txt", L"names no file"},
        {L"FileKey1=" + d() + L"\\plain|*.tmp\r\nFileKeyX=" + d(), L"unknown"},
        {L"FileKey1=" + d() + L"\\plain|*.tmp\r\nthis line has no equals sign", L"malformed"},
        {L"FileKey1=" + d() + L"\\plain|*.tmp\r\nFileKey1=" + d() + L"\\app|*.tmp", L"twice"},
        {L"FileKey1=" + d() + L"\\plain|*.tmp\r\nSpecialDetect=DET_NETSCAPE", L"unknown"},
        {L"FileKey1=" + d() + L"\\plain|*.tmp\r\nDetectOS=ten|", L"malformed"},
        {L"Detect=" + std::wstring(L"HKCU\\") + key.path(), L"removes nothing"},
    };
    std::wstring text;
    std::vector<std::wstring> names;
    for (size_t i = 0; i < hostile.size(); ++i) {
        names.push_back(L"Hostile " + std::to_wstring(i));
        text += L"[" + names.back() + L" *]\r\n" + hostile[i].first + L"\r\n";
    }
    // Refused only when the plan meets the disk: a program among what *.*
    // finds, and a folder that is a link.
    text += L"[Program Inside *]\r\nFileKey1=" + d() + L"\\app|*.*\r\n";
    text += L"[Through A Link *]\r\nFileKey1=C:\\sorvane-fixtures\\cleaned\\link|*.*|RECURSE\r\n";
    // Other names of a protected folder: a short alias, and a trailing dot or
    // space the system drops.
    wchar_t documentsBuf[MAX_PATH] = {};
    ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documentsBuf), S_OK);
    const std::wstring documents = documentsBuf;
    std::wstring alias(MAX_PATH, L'\0');
    alias.resize(GetShortPathNameW(documents.c_str(), alias.data(), MAX_PATH));
    ASSERT_NE(toLower(alias), toLower(documents));
    text += L"[Short Alias *]\r\nFileKey1=" + alias + L"|*.*\r\n";
    text += L"[Trailing Dot *]\r\nFileKey1=" + documents + L".|*.*\r\n";
    text += L"[Trailing Space *]\r\nFileKey1=" + documents + L" |*.*\r\n";
    text += L"[Fine *]\r\nFileKey1=" + d() + L"\\plain|*.tmp\r\n";
    text += L"[Fine *]\r\nFileKey1=" + d() + L"|*.exe\r\n";
    rules(text);

    const LoadedRules loaded = loadApplicationRules();
    for (size_t i = 0; i < hostile.size(); ++i) {
        const AppRule* rule = loaded.find(names[i]);
        ASSERT_NE(rule, nullptr) << i;
        EXPECT_NE(rule->refused.find(hostile[i].second), std::wstring::npos)
            << names[i] << ": " << hostile[i].first << " -> " << rule->refused;
    }
    EXPECT_EQ(loaded.find(L"Program Inside")->refused, L"");
    EXPECT_EQ(loaded.find(L"Fine")->refused, L"");
    EXPECT_EQ(loaded.rules.back().refused, L"an earlier entry has the same name");

    names.insert(names.end(), {L"Program Inside", L"Through A Link", L"Short Alias", L"Trailing Dot",
                               L"Trailing Space", L"Fine"});
    saveTickedRules(names);
    cleanApplicationRules(ctx, false);

    for (const wchar_t* kept : {L"tool.exe", L"app\\app.exe", L"app\\cache.tmp"})
        EXPECT_TRUE(exists(dir.file(kept))) << kept;
    EXPECT_FALSE(exists(dir.file(L"plain\\a.tmp")));
    EXPECT_TRUE(exists(L"C:\\sorvane-fixtures\\outside\\precious.txt"));
    EXPECT_EQ(getRegString(HKEY_CURRENT_USER, canaryKey, L""), L"kept");
    EXPECT_TRUE(key.valueExists(L"Keep", L"v"));
    for (size_t i = 0; i < hostile.size(); ++i)
        EXPECT_EQ(count(L"Refused rule " + names[i] + L": "), 1u) << names[i];
    EXPECT_EQ(count(L"Refused rule Program Inside: it would remove the program or library "), 1u) << run.strLog;
    EXPECT_EQ(count(L"Refused rule Through A Link: "), 1u);
    for (const wchar_t* other : {L"Short Alias", L"Trailing Dot", L"Trailing Space"})
        EXPECT_EQ(count(L"Refused rule " + std::wstring(other) + L": "), 1u) << other;
    EXPECT_TRUE(exists(documents + L"\\sorvane-canary-documents.txt"));
    EXPECT_NE(run.strLog.find(L"Cleaned Fine.... Files Deleted 1 Space Gained 5 Bytes"), std::wstring::npos);
    deleteRegTree(HKEY_CURRENT_USER, canaryKey);
    deleteRegKey(HKEY_CURRENT_USER, canaryKey);
}

// A folder written by its short alias in one line and by its long name in
// another is one folder: the exclusion keeps its file either way round.
TEST_F(ApplicationRulesTest, ExclusionHoldsWhicheverNameTheFolderIsGiven)
{
    for (const wchar_t* rel : {L"cache\\a.log", L"cache\\keep.log", L"other\\b.log", L"other\\keep.log"})
        fill(rel, 7);
    wchar_t alias[MAX_PATH] = {};
    ASSERT_GT(GetShortPathNameW(d().c_str(), alias, MAX_PATH), 0u);
    ASSERT_NE(toLower(alias), toLower(d()));
    rules(L"[Alias Key *]\r\nFileKey1=" + std::wstring(alias) + L"\\cache|*.log\r\nExcludeKey1=FILE|" + d() +
          L"\\cache\\keep.log\r\n[Alias Exclusion *]\r\nFileKey1=" + d() + L"\\other|*.log\r\nExcludeKey1=FILE|" +
          alias + L"\\other\\keep.log\r\n");
    saveTickedRules({L"Alias Key", L"Alias Exclusion"});
    cleanApplicationRules(ctx, false);
    EXPECT_FALSE(exists(dir.file(L"cache\\a.log")));
    EXPECT_FALSE(exists(dir.file(L"other\\b.log")));
    EXPECT_TRUE(exists(dir.file(L"cache\\keep.log")));
    EXPECT_TRUE(exists(dir.file(L"other\\keep.log")));
}

// A user's program can point the user's own folders anywhere: a variable
// whose folder lies outside the profile is not followed, and the folder it
// points to keeps its files.
TEST_F(ApplicationRulesTest, UserFolderPointedOutsideTheProfileIsNotFollowed)
{
    ScopedShellFolder documents(L"Personal", L"C:\\sorvane-fixtures\\outside");
    rules(L"[Document Logs *]\r\nFileKey1=%Documents%|*.txt\r\n");
    const LoadedRules loaded = loadApplicationRules();
    EXPECT_NE(loaded.find(L"Document Logs")->refused.find(L"%Documents%, which lies outside your user folder"),
              std::wstring::npos);
    saveTickedRules({L"Document Logs"});
    cleanApplicationRules(ctx, false);
    EXPECT_TRUE(exists(L"C:\\sorvane-fixtures\\outside\\precious.txt"));
    EXPECT_EQ(count(L"Refused rule Document Logs: "), 1u);
}

// The Rules folder beside the program that is a link to a folder a stranger
// fills is not read; what the link leads to is never cleaned.
TEST_F(ApplicationRulesTest, RulesFolderReachedThroughALinkIsNotRead)
{
    setAppFolder(L"C:\\sorvane-fixtures\\rules-app");
    const LoadedRules loaded = loadApplicationRules();
    setAppFolder(app.path());
    EXPECT_EQ(loaded.find(L"Planted Rule"), nullptr);
    ASSERT_EQ(loaded.problems.size(), 1u);
    EXPECT_NE(loaded.problems[0].find(L"Rules: not read: it is a link"), std::wstring::npos) << loaded.problems[0];
}

// Damaged rule files (bytes flipped, lines cut, separators scattered) are
// read without a crash or a hang, and whatever they hold is prepared,
// detected and planned only inside the test's folder.
TEST_F(ApplicationRulesTest, FuzzedRuleFilesNeverCrashOrHang)
{
    fill(L"f\\a.tmp", 3);
    const std::wstring base = L"[Fuzz *]\r\nLangSecRef=3024\r\nDetect=HKCU\\" + key.path() +
                              L"\r\nDetectFile=" + d() + L"\\f\\*.tmp\r\nDetectOS=6.1|10.0\r\nFileKey1=" + d() +
                              L"\\f|*.tmp;*.log|RECURSE|REMOVESELF\r\nExcludeKey1=PATH|" + d() +
                              L"\\f\\k\\|*.x\r\nRegKey1=HKCU\\" + key.path() + L"\\Sub|v\r\nWarning=w\r\n";
    std::mt19937 random(20261210);
    const std::wstring noise = L"[]|%=;*?\\.:\r\n\"\x00e9\xffff";
    for (int round = 0; round < 400; ++round) {
        std::wstring text = base + base;
        const int edits = 1 + static_cast<int>(random() % 8);
        for (int e = 0; e < edits && !text.empty(); ++e) {
            const size_t at = random() % text.size();
            switch (random() % 4) {
            case 0: text[at] = noise[random() % noise.size()]; break;
            case 1: text.erase(at, random() % 20); break;
            case 2: text.insert(at, std::wstring(random() % 5, noise[random() % noise.size()])); break;
            default: text.resize(at); break;
            }
        }
        std::vector<AppRule> parsed = parseRuleText(text, L"fuzz.ini");
        const RuleEnvironment env = round == 0 ? RuleEnvironment::current() : RuleEnvironment{};
        for (auto& rule : parsed) {
            prepareRule(rule, env);
            ruleDetected(rule, env);
            const RulePlan plan = planRule(rule, env, search);
            for (const auto& entry : plan.files)
                EXPECT_EQ(entry.what.rfind(d(), 0), 0u) << entry.what;
        }
    }
    EXPECT_TRUE(exists(dir.file(L"f\\a.tmp")));
}

// The window lists what applies here by section; a refused entry cannot be
// ticked, a warning asks first, Preview lists what would go now, and OK
// saves the ticks one per line, keeping those of entries not shown now.
TEST_F(ApplicationRulesTest, WindowTicksWarnsPreviewsAndSaves)
{
    fill(L"w\\a.tmp", 7);
    fill(L"w\\b.tmp", 8);
    rules(L"[Warned *]\r\nSection=Tests\r\nWarning=This removes your drafts.\r\nFileKey1=" + d() + L"\\w|*.tmp\r\n"
          L"[Refused *]\r\nSection=Tests\r\nFileKey1=%WinDir%|*.*\r\n"
          L"[Gone Program *]\r\nDetectFile=" + d() + L"\\nothing\r\nFileKey1=" + d() + L"\\w|*.tmp\r\n");
    saveTickedRules({L"Gone Program"});
    ApplicationRulesWindow window;
    std::vector<int> answers = {IDCANCEL, IDOK};
    std::vector<std::wstring> asked;
    window.ask = [&](HWND, const std::wstring& text, unsigned flags) {
        asked.push_back(text);
        return (flags & MB_OKCANCEL) ? answers.at(asked.size() - 2) : IDOK;
    };
    std::vector<FoundEntry> previewed;
    std::wstring previewNote;
    window.showPreview = [&](HWND, const std::wstring&, const std::vector<FoundEntry>& entries,
                             const std::wstring& note) {
        previewed = entries;
        previewNote = note;
    };
    PostedCalls calls;
    calls.post([&] {
        HWND lv = window.list();
        ASSERT_EQ(ListView_GetItemCount(lv), 2);
        const int refused = window.ruleAt(0).name == L"Refused" ? 0 : 1;
        const int warned = 1 - refused;
        EXPECT_NE(win::cellText(lv, refused, 2).find(L"Refused: it would remove every file in"), std::wstring::npos);
        ListView_SetCheckState(lv, refused, TRUE);
        EXPECT_FALSE(ListView_GetCheckState(lv, refused));
        ListView_SetCheckState(lv, warned, TRUE);  // answered Cancel
        EXPECT_FALSE(ListView_GetCheckState(lv, warned));
        ListView_SetCheckState(lv, warned, TRUE);  // answered OK
        EXPECT_TRUE(ListView_GetCheckState(lv, warned));
        ListView_SetItemState(lv, refused, LVIS_SELECTED, LVIS_SELECTED);
        SendMessageW(window.hwnd(), WM_COMMAND, IDC_cmdRulePreview, 0);
        EXPECT_TRUE(previewed.empty());
        EXPECT_NE(previewNote.find(L"Refused: "), std::wstring::npos);
        ListView_SetItemState(lv, refused, 0, LVIS_SELECTED);
        ListView_SetItemState(lv, warned, LVIS_SELECTED, LVIS_SELECTED);
        SendMessageW(window.hwnd(), WM_COMMAND, IDC_cmdRulePreview, 0);
        ASSERT_EQ(previewed.size(), 2u);
        EXPECT_EQ(previewed[0].bytes + previewed[1].bytes, 15u);
        EXPECT_EQ(previewNote, L"");
        SendMessageW(window.hwnd(), WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(window.show(GetModuleHandleW(nullptr), nullptr), IDOK);
    ASSERT_EQ(asked.size(), 3u) << asked.back();
    EXPECT_NE(asked[1].find(L"This removes your drafts."), std::wstring::npos);
    EXPECT_EQ(readFile(app.file(L"rules.sol")), "Gone Program\r\nWarned\r\n");
    EXPECT_TRUE(exists(dir.file(L"w\\a.tmp")));
}

} // namespace

// Undo files read back and written to the real registry of the test prefix:
// every value type comes back byte for byte, and a file never makes the
// restore touch anything but the keys and values it names.
#include "platform/RegFile.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "store/RegistryUndo.h"
#include "support/RegTestSupport.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <random>
#include <sddl.h>

using namespace sorvane;
using namespace testenv;

namespace {

const std::wstring kBase = L"Software\\SorvaneTestUndo";

RegFile parsedFile(const std::wstring& file)
{
    const auto text = readRegFileText(file);
    EXPECT_TRUE(text.has_value()) << toAnsi(file);
    return text ? parseRegFile(*text) : RegFile{};
}

} // namespace

TEST(RegUndo, EveryValueTypeComesBackByteForByteThroughTheProgramsOwnRestore)
{
    ScopedAppFolder app;
    TempFolder backups;
    writeFile(app.file(L"Settings.ini"), "[Backup]\r\nPath=" + toAnsi(backups.path()) + "\\\r\n");
    removeKey(HKEY_CURRENT_USER, kBase);
    const std::wstring key = kBase + L"\\All types", sub = key + L"\\Sub [1]";
    setText(HKEY_CURRENT_USER, key, L"quotes", L"say \"hi\" to C:\\path\\ and \\\\server\\share\\");
    setText(HKEY_CURRENT_USER, key, L"outside the code page", L"\u4e2d\u6587 \u00e9\u20ac \u0416 \U0001F600");
    setText(HKEY_CURRENT_USER, key, L"expand", L"%SystemRoot%\\system32", REG_EXPAND_SZ);
    const wchar_t multi[] = L"first\0second \"x\"\0\0";
    setValue(HKEY_CURRENT_USER, key, L"multi", REG_MULTI_SZ, multi, sizeof multi);
    std::string binary(300, '\0');
    for (size_t i = 0; i < binary.size(); ++i)
        binary[i] = static_cast<char>(i * 7);
    setValue(HKEY_CURRENT_USER, key, L"binary", REG_BINARY, binary.data(), binary.size());
    setDword(HKEY_CURRENT_USER, key, L"dword", 0xDEADBEEF);
    const unsigned long long q = 0x0123456789ABCDEFull;
    setValue(HKEY_CURRENT_USER, key, L"qword", REG_QWORD, &q, sizeof q);
    setValue(HKEY_CURRENT_USER, key, L"none", REG_NONE, "\x01\x02", 2);
    setValue(HKEY_CURRENT_USER, key, L"empty none", REG_NONE, nullptr, 0);
    setText(HKEY_CURRENT_USER, key, L"", L"the default value");
    setText(HKEY_CURRENT_USER, key, std::wstring(2000, L'n') + L"=\"[x]", L"a long name with = and brackets");
    // Text that is not well formed keeps its exact bytes.
    setValue(HKEY_CURRENT_USER, key, L"odd text", REG_SZ, "abc", 3);
    setText(HKEY_CURRENT_USER, key, L"two lines", L"line one\r\nline two");
    setText(HKEY_CURRENT_USER, sub, L"deeper", L"1");
    HKEY empty = nullptr;  // a key without values is a key too
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (key + L"\\Empty").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &empty, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(empty);
    const Snapshot before = snapshot(HKEY_CURRENT_USER, key);
    ASSERT_EQ(before.at(L"").size(), 13u);
    ASSERT_EQ(before.size(), 3u);

    const RegBackup backup =
        backUpAndDeleteRegistry(L"frmInvalidFile", {{HKEY_CURRENT_USER, key, RegItem::Tree, L""}});
    ASSERT_FALSE(backup.failed);
    ASSERT_FALSE(backup.file.empty());
    deleteRegKey(HKEY_CURRENT_USER, key);
    ASSERT_FALSE(regKeyExists(HKEY_CURRENT_USER, key));

    const RegFile file = parsedFile(backup.file);
    EXPECT_TRUE(file.valid);
    EXPECT_TRUE(file.problems.empty()) << toAnsi(file.problems.empty() ? L"" : file.problems.front());
    const RegRestore restored = restoreRegFile(file);
    EXPECT_TRUE(restored.failures.empty()) << toAnsi(regRestoreSummary(restored));
    EXPECT_EQ(restored.keys, 3u);
    EXPECT_EQ(restored.values, 14u);
    EXPECT_EQ(snapshot(HKEY_CURRENT_USER, key), before);
    EXPECT_EQ(undoFileTool(backup.file.substr(backup.file.find_last_of(L'\\') + 1)), L"Invalid file references");
    removeKey(HKEY_CURRENT_USER, kBase);
}

TEST(RegUndo, AFileThatAsksForDeletionsOrIsDamagedChangesNothingButItsOwnValues)
{
    TempFolder dir;
    removeKey(HKEY_CURRENT_USER, kBase);
    setText(HKEY_CURRENT_USER, kBase + L"\\Victim", L"keep", L"me");
    setText(HKEY_CURRENT_USER, kBase + L"\\Target", L"v", L"old");
    const std::wstring text = L"Windows Registry Editor Version 5.00\r\n\r\n"
                              L"[-HKEY_CURRENT_USER\\" + kBase + L"\\Victim]\r\n\r\n"
                              L"[HKEY_CURRENT_USER\\" + kBase + L"\\Victim]\r\n"
                              L"\"keep\"=-\r\n\r\n"
                              L"[HKEY_CURRENT_USER\\" + kBase + L"\\Target]\r\n"
                              L"\"v\"=\"new\"\r\n"
                              L"\"unclosed=\"x\"\r\n"
                              L"\"bad dword\"=dword:123456789\r\n"
                              L"\"bad hex\"=hex:1,zz\r\n"
                              L"\"long\"=hex:01,02,\\\r\n  03\r\n"
                              L"garbage line\r\n\r\n"
                              L"[HKEY_NOWHERE\\Software\\x]\r\n"
                              L"\"lost\"=\"1\"\r\n\r\n"
                              L"[HKEY_CURRENT_USER\\" + kBase + L"\\\\double]\r\n";
    const RegFile file = parseRegFile(text);
    ASSERT_TRUE(file.valid);
    const RegRestore restored = restoreRegFile(file);
    EXPECT_EQ(getRegString(HKEY_CURRENT_USER, kBase + L"\\Victim", L"keep"), L"me") << "no deletion is obeyed";
    EXPECT_EQ(getRegString(HKEY_CURRENT_USER, kBase + L"\\Target", L"v"), L"new");
    const Snapshot target = snapshot(HKEY_CURRENT_USER, kBase + L"\\Target");
    EXPECT_EQ(target.at(L"").at(L"long").second, std::string("\x01\x02\x03", 3));
    EXPECT_EQ(target.at(L"").size(), 2u) << "damaged lines write nothing";
    EXPECT_EQ(restored.values, 2u);
    // Two deletions, three damaged values, a line, a root, and a key name
    // that is not one: each is named.
    EXPECT_EQ(restored.failures.size(), 8u) << toAnsi(regRestoreSummary(restored));
    EXPECT_NE(regRestoreSummary(restored).find(L"Not restored (8)"), std::wstring::npos);

    // Not a registry file at all.
    EXPECT_FALSE(parseRegFile(L"REGEDIT4\r\n[HKEY_CURRENT_USER\\x]\r\n").valid);
    EXPECT_FALSE(parseRegFile(L"").valid);
    removeKey(HKEY_CURRENT_USER, kBase);
}

TEST(RegUndo, ARegistryLinkOnTheWayIsNeverFollowed)
{
    const std::wstring base = L"Software\\SorvaneTestUndoLink", target = L"Software\\SorvaneTestUndoLinkTarget";
    for (const auto& k : {base, target})
        removeKey(HKEY_LOCAL_MACHINE, k);
    setText(HKEY_LOCAL_MACHINE, target, L"v", L"untouched");
    {
        ScopedRegLink link(base + L"\\link", target);
        ASSERT_TRUE(link.made());
        const RegFile file = parseRegFile(L"Windows Registry Editor Version 5.00\r\n\r\n"
                                          L"[HKEY_LOCAL_MACHINE\\" + base + L"\\link\\planted]\r\n\"x\"=\"1\"\r\n\r\n"
                                          L"[HKEY_LOCAL_MACHINE\\" + base + L"\\link]\r\n\"v\"=\"changed\"\r\n\r\n"
                                          L"[HKEY_LOCAL_MACHINE\\" + target + L"\\plain]\r\n\"x\"=\"1\"\r\n");
        const RegRestore restored = restoreRegFile(file);
        EXPECT_EQ(restored.keys, 1u);
        ASSERT_EQ(restored.failures.size(), 2u) << toAnsi(regRestoreSummary(restored));
        EXPECT_NE(restored.failures[0].find(L"registry link"), std::wstring::npos) << toAnsi(restored.failures[0]);
        EXPECT_FALSE(regKeyExists(HKEY_LOCAL_MACHINE, target + L"\\planted"));
        EXPECT_EQ(getRegString(HKEY_LOCAL_MACHINE, target, L"v"), L"untouched");
        EXPECT_EQ(getRegString(HKEY_LOCAL_MACHINE, target + L"\\plain", L"x"), L"1");
    }
    for (const auto& k : {base, target})
        removeKey(HKEY_LOCAL_MACHINE, k);
}

TEST(RegUndo, MangledFilesNeverCrashTheReader)
{
    std::wstring good = L"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\x]\r\n"
                        L"\"a\"=\"b\\\\c\\\"\"\r\n@=dword:00000001\r\n\"h\"=hex(b):01,02,03,04,05,06,07,08\r\n"
                        L"\"m\"=hex(7):61,00,00,00,\\\r\n  00,00\r\n";
    ASSERT_EQ(parseRegFile(good).valueCount(), 4u);
    std::mt19937 rng(19);
    const std::wstring alphabet = L"[]\"\\=@:,-\r\n hex(dword)0123456789abcdefHKEY_\u00e9";
    for (int round = 0; round < 3000; ++round) {
        std::wstring text = good;
        const int edits = 1 + static_cast<int>(rng() % 6);
        for (int e = 0; e < edits; ++e) {
            const size_t at = rng() % (text.size() + 1);
            switch (rng() % 3) {
            case 0: text.insert(at, 1, alphabet[rng() % alphabet.size()]); break;
            case 1:
                if (at < text.size())
                    text.erase(at, 1 + rng() % 8);
                break;
            default: text.resize(at); break;
            }
        }
        const RegFile file = parseRegFile(text);
        for (const auto& key : file.keys) {
            EXPECT_NE(key.root, nullptr);
            EXPECT_FALSE(key.path.empty());
        }
    }
}

TEST(RegViews, AKeyOfThe32BitViewIsNamedWhereItLivesAndASharedKeyOnce)
{
    const std::wstring key = L"Software\\SorvaneTestViews";
    removeKey(HKEY_LOCAL_MACHINE, key);
    removeKey(HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node\\SorvaneTestViews");
    setText(HKEY_LOCAL_MACHINE, key, L"v", L"32", REG_SZ, KEY_WOW64_32KEY);
    const std::vector<std::wstring> only32 = keyPathsInBothViews(HKEY_LOCAL_MACHINE, key + L"\\");
    ASSERT_EQ(only32.size(), 1u);
    EXPECT_TRUE(iequals(only32[0], L"Software\\Wow6432Node\\SorvaneTestViews\\")) << toAnsi(only32[0]);
    setText(HKEY_LOCAL_MACHINE, key, L"v", L"64", REG_SZ, KEY_WOW64_64KEY);
    const std::vector<std::wstring> both = keyPathsInBothViews(HKEY_LOCAL_MACHINE, key);
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(both[0], key);
    EXPECT_EQ(getRegString(HKEY_LOCAL_MACHINE, both[1], L"v"), L"32");
    // The per-user Software key is one key in both views.
    EXPECT_EQ(keyPathsInBothViews(HKEY_CURRENT_USER, L"Software\\Microsoft").size(), 1u);
    const RealKey real = realKeyOf(HKEY_CURRENT_USER, L"Software\\Microsoft", KEY_WOW64_32KEY);
    EXPECT_EQ(real.root, HKEY_CURRENT_USER);
    EXPECT_TRUE(iequals(real.path, L"Software\\Microsoft"));
    EXPECT_TRUE(keyPathsInBothViews(HKEY_LOCAL_MACHINE, L"Software\\SorvaneTestNoSuchKey").empty());
    removeKey(HKEY_LOCAL_MACHINE, key);
    removeKey(HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node\\SorvaneTestViews");
}

// On Windows HKEY_CURRENT_USER\Software\Classes is itself a link, kept by the
// system: a per-user association deleted through it must come back through
// it. Any other link on the way, or below it, still stops both. Wine keeps no
// such link, so the test makes one and names it the system's.
TEST(RegUndo, ThroughTheSystemsOwnLinkOnlyAndNeverThroughAnother)
{
    const std::wstring classes = L"Software\\SorvaneTestUserClasses", hive = L"Software\\SorvaneTestClassesHive",
                       victim = L"Software\\SorvaneTestVictim";
    for (const auto& k : {hive, victim}) {
        deleteRegTree(HKEY_LOCAL_MACHINE, k);
        deleteRegKey(HKEY_LOCAL_MACHINE, k);
    }
    writeRegString(HKEY_LOCAL_MACHINE, hive + L"\\.sorvlink", L"", L"SorvLink.File");
    writeRegString(HKEY_LOCAL_MACHINE, victim + L"\\x", L"v", L"precious");
    TempFolder backups;
    {
        ScopedRegLink system(classes, hive), planted(hive + L"\\evil", victim);
        ASSERT_TRUE(system.made() && planted.made());
        systemRegLinks().push_back({HKEY_LOCAL_MACHINE, classes});
        const RegBackup gone = backUpAndDeleteRegistry(
            L"frmFileAssociation", {{HKEY_LOCAL_MACHINE, classes + L"\\.sorvlink", RegItem::KeyAlone, L""}},
            backups.path());
        EXPECT_EQ(gone.deleted, 1u);
        EXPECT_FALSE(regKeyExists(HKEY_LOCAL_MACHINE, hive + L"\\.sorvlink"));
        const RegRestore back = restoreRegFile(parseRegFile(*readRegFileText(gone.file)));
        EXPECT_TRUE(back.failures.empty()) << (back.failures.empty() ? "" : toAnsi(back.failures[0]));
        EXPECT_EQ(getRegString(HKEY_LOCAL_MACHINE, hive + L"\\.sorvlink", L""), L"SorvLink.File");

        // A link planted below the system's: neither deleted through nor
        // written through.
        const RegBackup kept = backUpAndDeleteRegistry(
            L"frmFileAssociation", {{HKEY_LOCAL_MACHINE, classes + L"\\evil\\x", RegItem::Tree, L""}}, backups.path());
        EXPECT_EQ(kept.deleted, 0u);
        const RegRestore refused = restoreRegFile(
            parseRegFile(L"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\" + classes +
                         L"\\evil\\x]\r\n\"v\"=\"overwritten\"\r\n"));
        ASSERT_EQ(refused.failures.size(), 1u);
        EXPECT_NE(refused.failures[0].find(L"a registry link lies on the way (evil)"), std::wstring::npos);
        EXPECT_EQ(getRegString(HKEY_LOCAL_MACHINE, victim + L"\\x", L"v"), L"precious");
        systemRegLinks().pop_back();
        // Without the system's word, its link stops a restore like any other.
        EXPECT_FALSE(restoreRegFile(parseRegFile(*readRegFileText(gone.file))).failures.empty());
    }
    // A key that cannot be opened to ask is taken for a link, never a key.
    TestKey k;
    k.setString(L"Closed", L"v", L"x");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, k.sub(L"Closed").c_str(), 0, WRITE_DAC, &key), ERROR_SUCCESS);
    SECURITY_DESCRIPTOR none{};
    InitializeSecurityDescriptor(&none, SECURITY_DESCRIPTOR_REVISION);
    ACL empty{};
    InitializeAcl(&empty, sizeof empty, ACL_REVISION);
    SetSecurityDescriptorDacl(&none, TRUE, &empty, FALSE);
    RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &none);
    EXPECT_TRUE(isRegLink(HKEY_CURRENT_USER, k.sub(L"Closed")));
    EXPECT_FALSE(isRegLink(HKEY_CURRENT_USER, k.sub(L"Missing")));
    SetSecurityDescriptorDacl(&none, TRUE, nullptr, FALSE);
    RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &none);
    RegCloseKey(key);
    for (const auto& name : {hive, victim}) {
        deleteRegTree(HKEY_LOCAL_MACHINE, name);
        deleteRegKey(HKEY_LOCAL_MACHINE, name);
    }
}

// What a registry tool reports as deleted is gone; what stayed is named with
// the reason, and a key that cannot be read whole is never deleted.
TEST(RegUndo, OnlyWhatIsReallyGoneCountsAndAnUnreadableKeyIsNeverDeleted)
{
    TestKey k;
    testenv::TempFolder backups;
    const std::wstring entry = k.sub(L"Entry"), plain = k.sub(L"Plain"), locked = k.sub(L"Locked");
    k.setString(L"Entry", L"DisplayName", L"An entry with a subkey");
    k.setString(L"Entry\\Components", L"x", L"y");
    k.setString(L"Plain", L"DisplayName", L"A plain entry");
    const RegBackup backup =
        backUpAndDeleteRegistry(L"frmUninstall",
                                {{HKEY_CURRENT_USER, entry, RegItem::KeyAlone, L""},
                                 {HKEY_CURRENT_USER, plain, RegItem::KeyAlone, L""}},
                                backups.path());
    EXPECT_EQ(backup.itemDeleted, (std::vector<bool>{false, true}));
    EXPECT_EQ(backup.deleted, 1u);
    ASSERT_EQ(backup.stayed.size(), 1u);
    EXPECT_EQ(backup.stayed[0], L"HKEY_CURRENT_USER\\" + entry + L": left in place: it has subkeys");
    EXPECT_TRUE(regKeyExists(HKEY_CURRENT_USER, entry));
    EXPECT_FALSE(regKeyExists(HKEY_CURRENT_USER, plain));

    // Values can be queried, but the key cannot be listed: not saved whole,
    // so nothing of it goes.
    k.setString(L"Locked", L"v", L"keep");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, locked.c_str(), 0, WRITE_DAC, &key), ERROR_SUCCESS);
    PSECURITY_DESCRIPTOR sd = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;0x20001;;;WD)", SDDL_REVISION_1, &sd, nullptr));
    RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd);
    LocalFree(sd);
    RegCloseKey(key);
    HKEY probe = nullptr;
    const LONG whole = RegOpenKeyExW(HKEY_CURRENT_USER, locked.c_str(), 0, KEY_READ, &probe);
    if (probe)
        RegCloseKey(probe);
    if (whole == ERROR_SUCCESS)
        GTEST_SKIP() << "this registry does not enforce the key's access list";
    const RegBackup refused =
        backUpAndDeleteRegistry(L"frmUninstall", {{HKEY_CURRENT_USER, locked, RegItem::Tree, L""}}, backups.path());
    EXPECT_TRUE(refused.failed);
    EXPECT_EQ(refused.deleted, 0u);
    HKEY values = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, locked.c_str(), 0, KEY_QUERY_VALUE, &values), ERROR_SUCCESS);
    wchar_t text[16] = {};
    DWORD bytes = sizeof text - sizeof(wchar_t);
    EXPECT_EQ(RegQueryValueExW(values, L"v", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &bytes), ERROR_SUCCESS);
    EXPECT_STREQ(text, L"keep") << "the key and its value stay";
    RegCloseKey(values);
    // Open again, so the test's key can go.
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, locked.c_str(), 0, WRITE_DAC, &key), ERROR_SUCCESS);
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;KA;;;WD)", SDDL_REVISION_1, &sd, nullptr));
    RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd);
    LocalFree(sd);
    RegCloseKey(key);
}

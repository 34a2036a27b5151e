#include "platform/Registry.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>
#include <windows.h>

using namespace sorvane;
using testenv::TestKey;

TEST(Registry, GetRegStringReadsTextAndGivesEmptyOnEveryFailure)
{
    TestKey k;
    k.setString(L"", L"Cache", L"C:\\users\\me\\Cache");
    k.setString(L"", L"Expand", L"%SystemRoot%\\x", REG_EXPAND_SZ);
    k.setDword(L"", L"Number", 7);
    k.setString(L"", L"Fits", std::wstring(259, L'a'));
    k.setString(L"", L"TooLong", std::wstring(260, L'b'));

    EXPECT_EQ(getRegString(HKEY_CURRENT_USER, k.path(), L"Cache"), L"C:\\users\\me\\Cache");
    EXPECT_EQ(getRegString(HKEY_CURRENT_USER, k.path(), L"Expand"), L"%SystemRoot%\\x");
    EXPECT_EQ(getRegString(HKEY_CURRENT_USER, k.path(), L"Fits"), std::wstring(259, L'a'));
    // 260 characters leave no room for the terminator in the 260-character buffer.
    EXPECT_EQ(getRegString(HKEY_CURRENT_USER, k.path(), L"TooLong"), L"");
    EXPECT_EQ(getRegString(HKEY_CURRENT_USER, k.path(), L"Number"), L"");
    EXPECT_EQ(getRegString(HKEY_CURRENT_USER, k.path(), L"Missing"), L"");
    EXPECT_EQ(getRegString(HKEY_CURRENT_USER, k.sub(L"NoSuchKey"), L"Cache"), L"");
}

TEST(Registry, GetRegStringStopsAtTheFirstNul)
{
    TestKey k;
    const std::wstring multi(L"first\0second\0", 13);
    k.createSub(L"");
    RegSetKeyValueW(HKEY_CURRENT_USER, k.path().c_str(), L"Multi", REG_MULTI_SZ, multi.c_str(),
                    static_cast<DWORD>((multi.size() + 1) * sizeof(wchar_t)));
    EXPECT_EQ(getRegString(HKEY_CURRENT_USER, k.path(), L"Multi"), L"first");
}

TEST(Registry, GetRegDwordGivesMinusOneForMissingOrWrongType)
{
    TestKey k;
    k.setDword(L"", L"CrashDumpEnabled", 3);
    k.setString(L"", L"Text", L"3");
    EXPECT_EQ(getRegDword(HKEY_CURRENT_USER, k.path(), L"CrashDumpEnabled"), 3);
    EXPECT_EQ(getRegDword(HKEY_CURRENT_USER, k.path(), L"Text"), -1);
    EXPECT_EQ(getRegDword(HKEY_CURRENT_USER, k.path(), L"Missing"), -1);
    EXPECT_EQ(getRegDword(HKEY_CURRENT_USER, k.sub(L"Nope"), L"CrashDumpEnabled"), -1);
}

TEST(Registry, ValueNamesAreNulSeparatedAndDeletedTogether)
{
    TestKey k;
    k.setString(L"", L"", L"default value stays");
    k.setString(L"", L"a", L"notepad");
    k.setString(L"", L"MRUList", L"a");

    const std::wstring names = getRegValueNames(HKEY_CURRENT_USER, k.path());
    // The unnamed default value is listed first as an empty name.
    EXPECT_EQ(names, std::wstring(L"\0a\0MRUList", 10));

    const std::wstring twoNames(L"a\0MRUList", 9);
    deleteRegValues(HKEY_CURRENT_USER, twoNames, k.path());
    EXPECT_FALSE(k.valueExists(L"", L"a"));
    EXPECT_FALSE(k.valueExists(L"", L"MRUList"));
    EXPECT_TRUE(k.valueExists(L"", L""));
}

TEST(Registry, ValueNamesOfEmptyOrMissingKeyAreEmpty)
{
    TestKey k;
    EXPECT_EQ(getRegValueNames(HKEY_CURRENT_USER, k.path()), L"");
    EXPECT_EQ(getRegValueNames(HKEY_CURRENT_USER, k.sub(L"missing")), L"");
}

TEST(Registry, ValueWithLargeDataDoesNotEndTheListing)
{
    TestKey k;
    k.setString(L"", L"a", std::wstring(2000, L'x'));
    k.setString(L"", L"b", L"short");
    const std::wstring names = getRegValueNames(HKEY_CURRENT_USER, k.path());
    EXPECT_EQ(names, std::wstring(L"a\0b", 3));
    clearKeyValues(k.path());
    EXPECT_EQ(k.valueCount(L""), 0);
}

TEST(Registry, DeleteRegValuesSingleNameAndMissingOnes)
{
    TestKey k;
    k.setString(L"", L"one", L"1");
    k.setString(L"", L"two", L"2");
    deleteRegValues(HKEY_CURRENT_USER, L"one", k.path());
    EXPECT_FALSE(k.valueExists(L"", L"one"));
    EXPECT_TRUE(k.valueExists(L"", L"two"));
    // Missing values and keys are ignored.
    deleteRegValues(HKEY_CURRENT_USER, std::wstring(L"ghost\0two", 9), k.path());
    deleteRegValues(HKEY_CURRENT_USER, L"x", k.sub(L"none"));
    EXPECT_FALSE(k.valueExists(L"", L"two"));
}

TEST(Registry, SetRegStringWritesOnlyIntoExistingKeys)
{
    TestKey k;
    setRegString(HKEY_CURRENT_USER, k.path(), L"Name", L"value");
    EXPECT_EQ(getRegString(HKEY_CURRENT_USER, k.path(), L"Name"), L"value");
    setRegString(HKEY_CURRENT_USER, k.sub(L"absent"), L"Name", L"value");
    EXPECT_FALSE(k.keyExists(L"absent"));
}

TEST(Registry, DeleteRegKeyNeedsAKeyWithoutSubkeys)
{
    TestKey k;
    k.createSub(L"leaf");
    k.createSub(L"branch\\child");
    deleteRegKey(HKEY_CURRENT_USER, k.sub(L"leaf"));
    deleteRegKey(HKEY_CURRENT_USER, k.sub(L"branch"));
    EXPECT_FALSE(k.keyExists(L"leaf"));
    EXPECT_TRUE(k.keyExists(L"branch\\child"));
}

TEST(Registry, DeleteRegTreeEmptiesTheKeyButKeepsIt)
{
    TestKey k;
    k.createSub(L"root\\a\\deep\\deeper");
    k.createSub(L"root\\b");
    k.setString(L"root\\a\\deep", L"v", L"x");
    k.setString(L"root", L"kept", L"value");

    EXPECT_EQ(deleteRegTree(HKEY_CURRENT_USER, k.sub(L"root")), -1);
    EXPECT_TRUE(k.keyExists(L"root"));
    EXPECT_EQ(k.subkeyCount(L"root"), 0);
    // Values of the key itself are not subkeys and stay.
    EXPECT_TRUE(k.valueExists(L"root", L"kept"));

    EXPECT_EQ(deleteRegTree(HKEY_CURRENT_USER, k.sub(L"missing")), 0);
}

TEST(Registry, GetUpdateValueCreatesKeyAndDefaultOnce)
{
    TestKey k;
    const std::wstring key = k.sub(L"SorvaneMem");
    EXPECT_EQ(getUpdateValue(HKEY_CURRENT_USER, key, L"ver", L"1"), L"");
    EXPECT_EQ(getRegString(HKEY_CURRENT_USER, key, L"ver"), L"1");
    setRegString(HKEY_CURRENT_USER, key, L"ver", L"7");
    EXPECT_EQ(getUpdateValue(HKEY_CURRENT_USER, key, L"ver", L"1"), L"7");
}

TEST(Registry, SubkeyNamesInEnumerationOrder)
{
    TestKey k;
    k.createSub(L"list\\beta");
    k.createSub(L"list\\alpha");
    const auto names = getRegSubkeyNames(HKEY_CURRENT_USER, k.sub(L"list"));
    ASSERT_EQ(names.size(), 2u);
    EXPECT_TRUE(regKeyExists(HKEY_CURRENT_USER, k.sub(L"list\\") + names[0]));
    EXPECT_TRUE(getRegSubkeyNames(HKEY_CURRENT_USER, k.sub(L"nothing")).empty());
}

TEST(Registry, ALinkInsideADeletedTreeKeepsItsTargetAndEndsTheBackup)
{
    // Software\SorvaneTestTree\{data, out -> SorvaneTestTarget, loop -> itself}
    const std::wstring tree = L"Software\\SorvaneTestTree", target = L"Software\\SorvaneTestTarget";
    for (const auto& k : {tree, target}) {
        deleteRegTree(HKEY_LOCAL_MACHINE, k);
        deleteRegKey(HKEY_LOCAL_MACHINE, k);
    }
    HKEY k = nullptr;
    for (const auto& sub : {tree + L"\\data", target + L"\\precious"}) {
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(k, L"v", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"x"), 4);
        RegCloseKey(k);
    }
    {
        testenv::ScopedRegLink out(tree + L"\\out", target), loop(tree + L"\\loop", tree);
        ASSERT_TRUE(out.made() && loop.made());
        EXPECT_TRUE(isRegLink(HKEY_LOCAL_MACHINE, tree + L"\\out"));
        EXPECT_FALSE(isRegLink(HKEY_LOCAL_MACHINE, tree + L"\\data"));

        const std::wstring text = registryFileText({{HKEY_LOCAL_MACHINE, tree, RegItem::Tree, L""}});
        EXPECT_NE(text.find(L"SorvaneTestTree\\data]"), std::wstring::npos);
        EXPECT_EQ(text.find(L"precious"), std::wstring::npos) << "nothing behind a link is saved";
        EXPECT_EQ(text.find(L"\\loop"), std::wstring::npos);

        deleteRegTree(HKEY_LOCAL_MACHINE, tree);
        deleteRegKey(HKEY_LOCAL_MACHINE, tree);
        deleteRegKey(HKEY_LOCAL_MACHINE, tree + L"\\out");
        EXPECT_FALSE(regKeyExists(HKEY_LOCAL_MACHINE, tree + L"\\data"));
        EXPECT_TRUE(regKeyExists(HKEY_LOCAL_MACHINE, tree)) << "it still holds the links";
        EXPECT_TRUE(isRegLink(HKEY_LOCAL_MACHINE, tree + L"\\out"));
        EXPECT_EQ(getRegString(HKEY_LOCAL_MACHINE, target + L"\\precious", L"v"), L"x");
    }
    for (const auto& key : {tree, target}) {
        deleteRegTree(HKEY_LOCAL_MACHINE, key);
        deleteRegKey(HKEY_LOCAL_MACHINE, key);
    }
    EXPECT_FALSE(regKeyExists(HKEY_LOCAL_MACHINE, tree));
}

// The classes read for a whole list (once-opened hives, the per-user hive
// asked only for the names it has) answer as the one-at-a-time reads do:
// a per-user value first, even an empty one; otherwise the machine's.
TEST(Registry, ClassesReaderAnswersAsTheSingleReads)
{
    const std::wstring classes = L"Software\\Classes\\";
    const auto write = [&](HKEY hive, const std::wstring& key, const wchar_t* value) {
        writeRegString(hive, classes + key, L"", value);
    };
    write(HKEY_LOCAL_MACHINE, L".sorvreader1", L"SorvReader.Machine");
    write(HKEY_CURRENT_USER, L".sorvreader1", L"SorvReader.User");
    write(HKEY_LOCAL_MACHINE, L".sorvreader2", L"SorvReader.Machine");
    write(HKEY_CURRENT_USER, L".sorvreader2", L"");
    write(HKEY_LOCAL_MACHINE, L"SorvReader.Machine", L"Machine's type");
    write(HKEY_CURRENT_USER, L"SorvReader.User\\shell", L"open");
    const ClassesReader reader;
    for (const wchar_t* key : {L".sorvreader1", L".sorvreader2", L"SorvReader.Machine", L"SorvReader.User",
                               L"SorvReader.User\\shell", L".sorvreadernone"})
        EXPECT_EQ(reader.string(key, L""), getClassesString(key, L"")) << key;
    EXPECT_EQ(reader.string(L".sorvreader1", L""), L"SorvReader.User");
    EXPECT_EQ(reader.string(L".sorvreader2", L""), L"") << "the per-user value, empty, stands";
    EXPECT_EQ(reader.keyNames(), getClassesKeyNames());
    for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
        for (const wchar_t* key : {L".sorvreader1", L".sorvreader2", L"SorvReader.Machine", L"SorvReader.User"}) {
            deleteRegTree(hive, classes + key);
            deleteRegKey(hive, classes + key);
        }
}

// Finding today's browsers' profiles from their own indexes, in folders the
// tests build: damaged, huge or hostile indexes never lead outside the
// browser's own folder and never crash.
#include "cleaners/Browsers.h"
#include "platform/Json.h"
#include "platform/Text.h"
#include "support/BrowserProfiles.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <random>

using namespace sorvane;
using namespace testenv;

namespace {

std::vector<std::wstring> found(const BrowserDiscovery& d, const std::wstring& browser)
{
    std::vector<std::wstring> out;
    for (const auto& p : d.profiles)
        if (p.browser == browser)
            out.push_back(p.profile);
    return out;
}

bool mentions(const BrowserDiscovery& d, const std::wstring& text)
{
    return std::any_of(d.errors.begin(), d.errors.end(),
                       [&](const std::wstring& e) { return e.find(text) != std::wstring::npos; });
}

} // namespace

TEST(Json, ReadsWhatBrowsersWriteAndRefusesTheRest)
{
    std::wstring error;
    const auto names = jsonMemberNames(R"({"n":-1.5e3,"profile":{"x":{"info_cache":{"Decoy":{}}},
                                 "info_cache":{"Default":{"name":"Person 1","info_cache":{"Deeper":1}},"Profile 2":{},
                                 "\u00e9t\u00e9":[{"a":{}}]}},"a":[true,false,null,"\u00e9\n",{"profile":{}}]})",
                                       {"profile", "info_cache"}, error);
    ASSERT_TRUE(names.has_value()) << toAnsi(error);
    EXPECT_EQ(*names, (std::vector<std::wstring>{L"Default", L"Profile 2", L"\u00e9t\u00e9"}));
    EXPECT_TRUE(error.empty());
    // No such object: nothing, and no error.
    for (const char* other : {R"({"profile":{"info_cache":5}})", R"({"profile":[{"info_cache":{}}]})", "[]", "{}"}) {
        EXPECT_FALSE(jsonMemberNames(other, {"profile", "info_cache"}, error).has_value()) << other;
        EXPECT_TRUE(error.empty()) << other;
    }
    // The last of a repeated name counts.
    EXPECT_EQ(*jsonMemberNames(R"({"p":{"a":1},"p":{"b":1}})", {"p"}, error), std::vector<std::wstring>{L"b"});
    for (const char* bad : {"", "{", "{\"a\":}", "[1,]", "{\"a\" 1}", "\"open", "tru", "{} x", "[\"\x01\"]",
                            "{\"a\":\"\xff\"}"}) {
        error.clear();
        EXPECT_FALSE(jsonMemberNames(bad, {"a"}, error).has_value()) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
    error.clear();
    EXPECT_FALSE(jsonMemberNames(std::string(100000, '['), {"a"}, error).has_value()) << "nested too deeply";
    EXPECT_NE(error.find(L"200"), std::wstring::npos);
    // Mangled copies of a real-looking file never crash the reader.
    std::mt19937 rng(7);
    const std::string good = R"({"profile":{"info_cache":{"Default":{"name":"A","x":[1,2,{"y":"z"}]}}}})";
    for (int i = 0; i < 2000; ++i) {
        std::string s = good;
        s[rng() % s.size()] = static_cast<char>(rng() & 0xFF);
        s.resize(rng() % (s.size() + 1));
        (void)jsonMemberNames(s, {"profile", "info_cache"}, error);
    }
}

TEST(BrowserDiscovery, ProfilesComeFromTheIndexAndNeverFromOutsideTheBrowsersFolder)
{
    TempFolder local(TempFolder::Where::Profile), roaming(TempFolder::Where::Profile);
    // Chrome: two profiles in Local State, and a name that climbs out.
    const std::wstring chrome = local.file(L"Google\\Chrome\\User Data");
    for (const wchar_t* p : {L"Default", L"Profile 3", L"Profile 9"})
        makeDir(chrome + L"\\" + p);
    writeFile(chrome + L"\\Local State",
              R"({"profile":{"info_cache":{"Default":{},"Profile 3":{},"..\\..\\..\\x":{},"C:\\Windows":{}}}})");
    // Edge: no Local State: its Default and Profile N folders.
    const std::wstring edge = local.file(L"Microsoft\\Edge\\User Data");
    for (const wchar_t* p : {L"Default", L"Profile 1", L"Guest Profile", L"Crashpad"})
        makeDir(edge + L"\\" + p);
    // Brave: a damaged Local State: reported, its folders still found.
    const std::wstring brave = local.file(L"BraveSoftware\\Brave-Browser\\User Data");
    makeDir(brave + L"\\Default");
    writeFile(brave + L"\\Local State", "{\"profile\": {\"info_cache\": {\"Default\": {");
    // Vivaldi: a Local State too large to be one.
    const std::wstring vivaldi = local.file(L"Vivaldi\\User Data");
    makeDir(vivaldi + L"\\Default");
    writeFile(vivaldi + L"\\Local State", std::string(17u << 20, ' '));
    // Opera keeps its one profile under Roaming AppData.
    makeDir(roaming.file(L"Opera Software\\Opera Stable"));

    const BrowserDiscovery d = discoverBrowsers(local.path(), roaming.path());
    EXPECT_EQ(found(d, L"Google Chrome"), (std::vector<std::wstring>{chrome + L"\\Default", chrome + L"\\Profile 3"}))
        << "the index decides; Profile 9 is not in it";
    EXPECT_TRUE(mentions(d, L"outside its folder")) << "the climbing names are reported";
    EXPECT_EQ(found(d, L"Microsoft Edge"), (std::vector<std::wstring>{edge + L"\\Default", edge + L"\\Profile 1"}));
    EXPECT_EQ(found(d, L"Brave"), (std::vector<std::wstring>{brave + L"\\Default"}));
    EXPECT_TRUE(mentions(d, L"is damaged"));
    EXPECT_EQ(found(d, L"Vivaldi"), (std::vector<std::wstring>{vivaldi + L"\\Default"}));
    EXPECT_TRUE(mentions(d, L"too large"));
    ASSERT_EQ(found(d, L"Opera"), (std::vector<std::wstring>{roaming.file(L"Opera Software\\Opera Stable")}));
    for (const auto& p : d.profiles)
        if (p.browser == L"Opera")
            EXPECT_EQ(p.cache, local.file(L"Opera Software\\Opera Stable")) << "its cache is kept under Local";
}

TEST(BrowserDiscovery, FirefoxProfilesRelativeAbsoluteAndDamaged)
{
    TempFolder local(TempFolder::Where::Profile), roaming(TempFolder::Where::Profile);
    const std::wstring firefox = roaming.file(L"Mozilla\\Firefox");
    makeDir(firefox + L"\\Profiles\\abc.default-release");
    wchar_t user[MAX_PATH] = {};
    GetEnvironmentVariableW(L"USERPROFILE", user, MAX_PATH);
    const std::wstring own = std::wstring(user) + L"\\SorvaneTestFirefoxProfile";
    makeDir(own);
    writeFile(firefox + L"\\profiles.ini",
              "[Install4F96D1932A9F858E]\r\nDefault=Profiles/abc.default-release\r\n\r\n"
              "[Profile0]\r\nName=default-release\r\nIsRelative=1\r\nPath=Profiles/abc.default-release\r\n\r\n"
              "[Profile1]\r\nIsRelative=0\r\nPath=" + toAnsi(own) + "\r\n\r\n"
              "[Profile2]\r\nIsRelative=0\r\nPath=C:\\windows\r\n\r\n"
              "[Profile3]\r\nIsRelative=1\r\nPath=../../../../windows\r\n\r\n"
              "[Profile4]\r\nIsRelative=1\r\nPath=Profiles/missing\r\n");
    BrowserDiscovery d = discoverBrowsers(local.path(), roaming.path());
    EXPECT_EQ(found(d, L"Mozilla Firefox"),
              (std::vector<std::wstring>{firefox + L"\\Profiles\\abc.default-release", own}));
    EXPECT_TRUE(mentions(d, L"outside your user folder"));
    EXPECT_TRUE(mentions(d, L"outside the Firefox folder"));
    for (const auto& p : d.profiles)
        if (p.profile == own)
            EXPECT_EQ(p.cache, local.file(L"Mozilla\\Firefox\\Profiles\\SorvaneTestFirefoxProfile"));

    // Damaged, UTF-16 and huge files: reported, nothing taken on trust.
    writeFile(firefox + L"\\profiles.ini", "[Profile0\r\nPath=Profiles/abc.default-release\r\ngarbage\r\n");
    d = discoverBrowsers(local.path(), roaming.path());
    EXPECT_TRUE(mentions(d, L"is damaged"));
    writeFile(firefox + L"\\profiles.ini", std::string("\xFF\xFE[\0P\0", 6));
    d = discoverBrowsers(local.path(), roaming.path());
    EXPECT_TRUE(found(d, L"Mozilla Firefox").empty());
    EXPECT_TRUE(mentions(d, L"encoding"));
    writeFile(firefox + L"\\profiles.ini", std::string(17u << 20, '['));
    d = discoverBrowsers(local.path(), roaming.path());
    EXPECT_TRUE(mentions(d, L"too large"));
    removeTree(own);
}

TEST(BrowserDiscovery, ARunningBrowserIsSeenByTheLockItHoldsAndAnEndedOneIsNot)
{
    TempFolder local(TempFolder::Where::Profile), roaming(TempFolder::Where::Profile);
    for (const wchar_t* d : {L"Microsoft\\Edge\\User Data\\Default", L"Google\\Chrome\\User Data\\Default",
                             L"BraveSoftware\\Brave-Browser\\User Data\\Default", L"Vivaldi\\User Data\\Default"})
        makeDir(local.file(d));
    makeDir(roaming.file(L"Opera Software\\Opera Stable"));
    makeDir(roaming.file(L"Mozilla\\Firefox\\Profiles\\x.default"));
    writeFile(roaming.file(L"Mozilla\\Firefox\\profiles.ini"), "[Profile0]\r\nIsRelative=1\r\nPath=Profiles/x.default\r\n");
    const BrowserDiscovery d = discoverBrowsers(local.path(), roaming.path());
    ASSERT_EQ(d.profiles.size(), 6u);
    for (const auto& p : d.profiles) {
        EXPECT_FALSE(browserIsRunning(p)) << toAnsi(p.browser) << ": no lock file";
        {
            auto lock = p.chromium ? testenv::BrowserLock::chromium(p.userData) : testenv::BrowserLock::firefox(p.profile);
            ASSERT_TRUE(lock.held());
            EXPECT_TRUE(browserIsRunning(p)) << toAnsi(p.browser) << " holds its lock as it does when it runs";
        }
        // Chromium's lock goes with its handle; Firefox's stays behind.
        EXPECT_FALSE(browserIsRunning(p)) << toAnsi(p.browser) << " has ended";
    }
}

// The user's programs can rewrite Shell Folders and %USERPROFILE%: the
// profile folder the system keeps for the process's account decides.
TEST(BrowserDiscovery, FoldersOutsideTheAccountsOwnProfileAreNeverTaken)
{
    TempFolder outside, roaming(TempFolder::Where::Profile);
    makeDir(outside.file(L"Google\\Chrome\\User Data\\Default"));
    makeDir(outside.file(L"ff"));
    wchar_t saved[MAX_PATH] = {};
    GetEnvironmentVariableW(L"USERPROFILE", saved, MAX_PATH);
    SetEnvironmentVariableW(L"USERPROFILE", outside.path().c_str());
    makeDir(roaming.file(L"Mozilla\\Firefox"));
    writeFile(roaming.file(L"Mozilla\\Firefox\\profiles.ini"),
              "[Profile0]\r\nIsRelative=0\r\nPath=" + toAnsi(outside.file(L"ff")) + "\r\n");
    const BrowserDiscovery d = discoverBrowsers(outside.path(), roaming.path());
    SetEnvironmentVariableW(L"USERPROFILE", saved);
    EXPECT_TRUE(d.profiles.empty());
    EXPECT_TRUE(mentions(d, L"Google Chrome: " + outside.file(L"Google\\Chrome\\User Data") +
                                L" is not cleaned: it is not inside your user folder"));
    EXPECT_TRUE(mentions(d, L"a profile outside your user folder is not cleaned"));
}

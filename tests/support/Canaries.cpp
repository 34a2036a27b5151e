#include "support/Canaries.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <cstdio>

namespace testenv {

namespace {

// 2001-02-03 04:05:06 UTC: far from any time a test sets.
FILETIME plantedTime()
{
    SYSTEMTIME t{};
    t.wYear = 2001;
    t.wMonth = 2;
    t.wDay = 3;
    t.wHour = 4;
    t.wMinute = 5;
    t.wSecond = 6;
    FILETIME ft{};
    SystemTimeToFileTime(&t, &ft);
    return ft;
}

std::wstring shellFolder(int csidl)
{
    wchar_t buf[MAX_PATH] = {};
    return SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buf)) ? buf : L"";
}

constexpr const wchar_t* kLinkedCanary = L"C:\\sorvane-canaries\\linked.dat";

std::vector<Canary> buildList()
{
    std::vector<std::wstring> places = {
        shellFolder(CSIDL_PERSONAL) + L"\\sorvane-canary-documents.txt",
        shellFolder(CSIDL_DESKTOPDIRECTORY) + L"\\sorvane-canary-desktop.txt",
        shellFolder(CSIDL_PROFILE) + L"\\sorvane-canary-profile.txt",
        shellFolder(CSIDL_PROGRAM_FILES) + L"\\sorvane-canary.txt",
        L"C:\\users\\sorvane-canary.txt",
        L"C:\\sorvane-canary.txt",
        L"C:\\sorvane-bin\\sorvane-canary.txt",
        L"D:\\sorvane-canary.txt",
        L"D:\\data\\sorvane-canary.txt",
        L"C:\\windows\\sorvane-canary.txt",
        L"C:\\windows\\system32\\sorvane-canary.dll",
        // The targets of the folder link that scripts/test.sh puts into a cleaned folder.
        L"C:\\sorvane-fixtures\\outside\\precious.txt",
        L"C:\\sorvane-fixtures\\outside\\inner\\precious2.txt",
        kLinkedCanary,
        // What the browser cleaners must never touch, in profiles they find.
        shellFolder(CSIDL_LOCAL_APPDATA) + L"\\Google\\Chrome\\User Data\\Default\\Login Data",
        shellFolder(CSIDL_LOCAL_APPDATA) + L"\\Google\\Chrome\\User Data\\Default\\Bookmarks",
        shellFolder(CSIDL_LOCAL_APPDATA) + L"\\Google\\Chrome\\User Data\\Default\\Web Data",
        shellFolder(CSIDL_LOCAL_APPDATA) + L"\\Google\\Chrome\\User Data\\Default\\Local Storage\\leveldb\\000003.log",
        shellFolder(CSIDL_LOCAL_APPDATA) + L"\\Google\\Chrome\\User Data\\Default\\Login Data For Account",
        shellFolder(CSIDL_LOCAL_APPDATA) + L"\\Google\\Chrome\\User Data\\Default\\Account Web Data",
        shellFolder(CSIDL_LOCAL_APPDATA) + L"\\Google\\Chrome\\User Data\\Default\\Preferences",
        shellFolder(CSIDL_LOCAL_APPDATA) + L"\\Google\\Chrome\\User Data\\Default\\Sessions\\Session_13370000000000000",
        shellFolder(CSIDL_LOCAL_APPDATA) + L"\\Microsoft\\Edge\\User Data\\Default\\Bookmarks",
        shellFolder(CSIDL_APPDATA) + L"\\Mozilla\\Firefox\\Profiles\\canary.default\\logins.json",
        shellFolder(CSIDL_APPDATA) + L"\\Mozilla\\Firefox\\Profiles\\canary.default\\key4.db",
        shellFolder(CSIDL_APPDATA) + L"\\Mozilla\\Firefox\\Profiles\\canary.default\\formhistory.sqlite",
        shellFolder(CSIDL_APPDATA) + L"\\Mozilla\\Firefox\\Profiles\\canary.default\\logins.db",
        shellFolder(CSIDL_APPDATA) + L"\\Mozilla\\Firefox\\Profiles\\canary.default\\sessionstore.jsonlz4",
    };
    std::vector<Canary> list;
    int n = 0;
    for (auto& p : places) {
        std::string bytes = "canary " + std::to_string(++n) + " of Sorvane's tests: never to be deleted\r\n";
        bytes += std::string(1000 + n * 37, static_cast<char>('A' + n % 26));
        list.push_back({std::move(p), std::move(bytes)});
    }
    return list;
}

std::string narrow(const std::wstring& w)
{
    std::string s;
    for (wchar_t c : w)
        s += c < 128 ? static_cast<char>(c) : '?';
    return s;
}

bool writtenAtPlantedTime(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    const FILETIME planted = plantedTime();
    return GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) &&
           CompareFileTime(&data.ftLastWriteTime, &planted) == 0;
}

void plant(const Canary& c)
{
    const std::wstring folder = c.path.substr(0, c.path.find_last_of(L'\\'));
    SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    SetFileAttributesW(c.path.c_str(), FILE_ATTRIBUTE_NORMAL);
    HANDLE h = CreateFileW(c.path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "cannot plant canary %s\n", narrow(c.path).c_str());
        return;
    }
    DWORD written = 0;
    WriteFile(h, c.bytes.data(), static_cast<DWORD>(c.bytes.size()), &written, nullptr);
    const FILETIME t = plantedTime();
    SetFileTime(h, nullptr, nullptr, &t);
    CloseHandle(h);
}

class CanaryEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        std::printf("Canaries guarded (%zu), checked after the last test:\n", canaries().size());
        for (const auto& c : canaries()) {
            plant(c);
            std::printf("  %s\n", narrow(c.path).c_str());
        }
        // Firefox's index, so its canary profile is one the cleaners find.
        const std::wstring ini = shellFolder(CSIDL_APPDATA) + L"\\Mozilla\\Firefox\\profiles.ini";
        const std::string text = "[Profile0]\r\nName=canary\r\nIsRelative=1\r\nPath=Profiles/canary.default\r\n";
        HANDLE h = CreateFileW(ini.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
            CloseHandle(h);
        }
        std::fflush(stdout);
    }
    void TearDown() override
    {
        for (const auto& name : damagedCanaries())
            ADD_FAILURE() << "canary changed or gone: " << narrow(name);
    }
};

const bool g_registered = [] {
    ::testing::AddGlobalTestEnvironment(new CanaryEnvironment);
    return true;
}();

} // namespace

const std::vector<Canary>& canaries()
{
    static const std::vector<Canary> list = buildList();
    return list;
}

void linkCanaryInto(const std::wstring& path)
{
    if (!CreateHardLinkW(path.c_str(), kLinkedCanary, nullptr))
        ADD_FAILURE() << "cannot link the canary into " << narrow(path);
}

std::vector<std::wstring> damagedCanaries()
{
    std::vector<std::wstring> damaged;
    for (const auto& c : canaries()) {
        if (readFile(c.path) != c.bytes || !writtenAtPlantedTime(c.path))
            damaged.push_back(c.path);
    }
    return damaged;
}

} // namespace testenv

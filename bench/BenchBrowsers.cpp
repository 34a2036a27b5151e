// Today's browsers: a Chromium profile with 50,000 cache files and a cookie
// store of 20,000 rows (200 of kept sites), cleaned by the Cache and Cookies
// categories, against a bare DeleteFileW loop over the same cache files plus
// one SQL DELETE on the same store. Prints figures and the ratio.
#include "BenchSupport.h"
#include "cleaners/Cleaners.h"
#include "core/Deletion.h"
#include "core/EngineUi.h"
#include "core/FileSearch.h"
#include "core/RunState.h"
#include "platform/AppFolder.h"
#include "platform/PinnedPath.h"
#include "platform/Sqlite.h"
#include "store/ListFiles.h"
#include "support/BrowserProfiles.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace sorvane;
using bench::Clock;
using bench::seconds;

namespace {

// Browsers are cleaned only inside the user's own profile folder.
const std::wstring kRoot = tokenProfileFolder() + L"\\sorvane-bench-browsers";
const std::wstring kLocal = kRoot + L"\\Local";
const std::wstring kProfile = kLocal + L"\\Google\\Chrome\\User Data\\Default";
const std::wstring kStore = kProfile + L"\\Network\\Cookies";
constexpr int kCacheFiles = 50000, kCodeCacheFiles = 5000;
constexpr int kCookies = 20000, kKeptSites = 20, kPerKeptSite = 10;
constexpr const wchar_t* kShellFolders = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

void setShellFolder(const wchar_t* name, const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kShellFolders, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) == 0) {
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                       static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
}

void writeSmall(const std::wstring& path)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD w = 0;
    WriteFile(h, "cached bytes of a page", 22, &w, nullptr);
    CloseHandle(h);
}

// The profile as a browser leaves it, and its cookie store. The cache files
// are spread over folders of 1,000: Wine looks through a whole folder for
// each new name, so a flat folder of 50,000 would take hours to seed.
std::vector<std::wstring> seed()
{
    bench::removeTree(kRoot);
    for (const auto& folder : {kRoot, kRoot + L"\\Roaming", kRoot + L"\\Empty", kLocal, kLocal + L"\\Google",
                               kLocal + L"\\Google\\Chrome", kLocal + L"\\Google\\Chrome\\User Data", kProfile,
                               kProfile + L"\\Cache", kProfile + L"\\Cache\\Cache_Data", kProfile + L"\\Code Cache",
                               kProfile + L"\\Code Cache\\js", kProfile + L"\\Network"})
        CreateDirectoryW(folder.c_str(), nullptr);
    std::vector<std::wstring> files;
    wchar_t name[32];
    for (int i = 0; i < kCacheFiles - kCodeCacheFiles; ++i) {
        const std::wstring folder = kProfile + L"\\Cache\\Cache_Data\\" + std::to_wstring(i / 1000);
        if (i % 1000 == 0)
            CreateDirectoryW(folder.c_str(), nullptr);
        swprintf(name, 32, L"f_%06x", i);
        files.push_back(folder + L"\\" + name);
    }
    for (int i = 0; i < kCodeCacheFiles; ++i) {
        const std::wstring folder = kProfile + L"\\Code Cache\\js\\" + std::to_wstring(i / 1000);
        if (i % 1000 == 0)
            CreateDirectoryW(folder.c_str(), nullptr);
        swprintf(name, 32, L"%016x_0", i * 7919);
        files.push_back(folder + L"\\" + name);
    }
    for (const auto& f : files)
        writeSmall(f);
    std::vector<std::string> hosts;
    for (int s = 0; s < kKeptSites; ++s)
        for (int c = 0; c < kPerKeptSite; ++c)
            hosts.push_back(".kept" + std::to_string(s) + ".example");
    while (static_cast<int>(hosts.size()) < kCookies)
        hosts.push_back(".site" + std::to_string(hosts.size()) + ".example");
    testenv::makeChromiumCookies(kStore, hosts);
    return files;
}

double bareRun(const std::vector<std::wstring>& files)
{
    const auto start = Clock::now();
    std::vector<std::wstring> found;
    bench::bareWalk(kProfile + L"\\Cache", found);
    bench::bareWalk(kProfile + L"\\Code Cache", found);
    for (const auto& f : found)
        DeleteFileW(f.c_str());
    SqliteDb db;
    std::string kept;
    for (int s = 0; s < kKeptSites; ++s)
        kept += std::string(s ? "," : "") + "'.kept" + std::to_string(s) + ".example'";
    if (!db.open(kStore, false) || !db.exec("DELETE FROM cookies WHERE host_key NOT IN (" + kept + ")"))
        std::printf("bare SQL failed\n");
    db.close();
    const double t = seconds(start);
    if (found.size() != files.size())
        std::printf("bare walk found %zu of %zu files\n", found.size(), files.size());
    return t;
}

double programRun(std::wstring& log)
{
    RunState run;
    SilentUi ui;
    FileSearch search(ui, run);
    DeleteSettings settings;
    DeletionEngine deletion(ui, run, settings);
    CleanerContext ctx{ui, run, search, deletion, [](int) { return false; }};
    const auto start = Clock::now();
    runCleaner(ctx, 11, false);
    runCleaner(ctx, 12, false);
    const double t = seconds(start);
    log = run.strLog;
    return t;
}

} // namespace

int wmain()
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    wchar_t app[MAX_PATH];
    GetModuleFileNameW(nullptr, app, MAX_PATH);
    setShellFolder(L"Local AppData", kLocal);
    setShellFolder(L"AppData", kRoot + L"\\Roaming");
    setShellFolder(L"Cache", kRoot + L"\\Empty");
    setShellFolder(L"Cookies", kRoot + L"\\Empty");
    std::vector<KeptCookie> keep;
    for (int s = 0; s < kKeptSites; ++s)
        keep.push_back({L"", L"kept" + std::to_wstring(s) + L".example"});
    saveKeptCookies(appFile(L"cookies.sol"), keep);

    double bestBare = 1e9, bestProgram = 1e9;
    std::wstring log;
    for (int round = 0; round < 2; ++round) {
        std::printf("round %d: seeding\n", round + 1);
        const auto files = seed();
        bestBare = std::min(bestBare, bareRun(files));
        seed();
        bestProgram = std::min(bestProgram, programRun(log));
        SqliteDb db;
        const int64_t left = db.open(kStore, true) ? db.scalar("SELECT count(*) FROM cookies") : -1;
        if (left != kKeptSites * kPerKeptSite)
            std::printf("the store holds %lld rows after the clean, not %d\n", static_cast<long long>(left),
                        kKeptSites * kPerKeptSite);
    }
    std::printf("%ls", log.c_str());
    bench::line("browser cache + cookies vs bare", bestProgram, bestBare, "<= 1.2");
    bench::removeTree(kRoot);
    DeleteFileW(appFile(L"cookies.sol").c_str());
    return 0;
}

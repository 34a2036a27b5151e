// Analyze of every category over a seeded machine against the bare walk of
// the same folders (each walked as often as the categories walk it), a full
// clean after Analyze against a clean without it, and /clean from the
// command line against the window's Clean. Prints figures and ratios.
#include "BenchSupport.h"
#include "app/CleanRun.h"
#include "app/CommandRun.h"
#include "core/Categories.h"
#include "platform/AppFolder.h"
#include "store/ListFiles.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace sorvane;
using bench::Clock;
using bench::bareWalk;
using bench::median;
using bench::seconds;

namespace {

const std::wstring kRoot = L"C:\\sorvane-bench-analyze";
// The user's folders (20,000 files), Internet Explorer's cache (5,000) and
// the temporary folder Windows cleanup empties (2,000 files, all old); the
// rest of the drive (documents, programs: 40,000 files more) is what only the
// drive-wide searches walk, as on a machine in use, where the drive holds
// far more than its junk.
constexpr int kUserTops = 20, kCacheTops = 5, kTempTops = 2, kDocTops = 40, kSubs = 20, kPerFolder = 50;

// Every category ticked; the review lists and questions answered by nobody.
class BenchHost : public RunHost {
public:
    void setStatus(const std::wstring&) override {}
    void setProgressMax(int64_t) override {}
    void setProgress(int64_t) override {}
    int messageBox(const std::wstring&, unsigned) override { return IDOK; }
    void pumpMessages() override
    {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    }
    void startOperation(int) override {}
    void stopOperation(const std::wstring&) override {}
    void addReviewRow(const ReviewRow&) override {}
    void discardReviewRows() override {}
    void showReviewWindow(const ReviewTools&) override {}
    bool isCategoryChecked(int store) override { return only < 0 || store == only; }
    int only = -1;
    void setCheckMark(int, bool) override {}
    void setAnimation(int16_t) override {}
    void setRunControls(bool) override {}
    void showLog(const std::wstring& text) override { log = text; }
    void showAnalysis(const std::vector<AnalysisRow>& found) override { rows = found; }
    std::wstring log;
    std::vector<AnalysisRow> rows;
};

std::wstring fileName(int i) { return L"f" + std::to_wstring(i) + (i % 5 == 0 ? L".tmp" : L".dat"); }
std::wstring docName(int i) { return L"letter" + std::to_wstring(i) + L".txt"; }
DWORD fileSize(int i) { return static_cast<DWORD>(100 + i * 37 % 4000); }

// Three years before now: older than any age limit.
void makeOld(const std::vector<std::wstring>& files)
{
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER t{{now.dwLowDateTime, now.dwHighDateTime}};
    t.QuadPart -= 3ULL * 365 * 24 * 36'000'000'000ULL;
    const FILETIME old{t.LowPart, t.HighPart};
    for (const auto& f : files) {
        HANDLE h = CreateFileW(f.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        SetFileTime(h, nullptr, nullptr, &old);
        CloseHandle(h);
    }
}

void seed()
{
    for (const auto* folder : {L"\\user", L"\\iecache", L"\\temp"})
        bench::removeTree(kRoot + folder);
    CreateDirectoryW(kRoot.c_str(), nullptr);
    bench::makeTree(kRoot + L"\\user", kUserTops, kSubs, kPerFolder, fileName, fileSize);
    bench::makeTree(kRoot + L"\\iecache", kCacheTops, kSubs, kPerFolder, fileName, fileSize);
    bench::makeTree(kRoot + L"\\temp", kTempTops, kSubs, kPerFolder, fileName, fileSize);
    std::vector<std::wstring> temp;
    bareWalk(kRoot + L"\\temp", temp);
    makeOld(temp);
}

// The folders every category walks, as often as they walk them: the three
// drive-wide searches walk the drive each, the others their own folders.
double bareRun(size_t& files, bool print = false)
{
    const auto t0 = Clock::now();
    std::vector<std::wstring> found;
    for (int i = 0; i < 3; ++i)
        bareWalk(L"C:", found);
    if (print)
        std::printf("  bare: the drive three times %.3f s\n", seconds(t0));
    for (const auto* folder : {L"\\user", L"\\iecache", L"\\temp"}) {
        const auto t1 = Clock::now();
        bareWalk(kRoot + folder, found);
        if (print)
            std::printf("  bare: %ls %.3f s\n", folder + 1, seconds(t1));
    }
    files = found.size();
    return seconds(t0);
}

} // namespace

int wmain()
{
    // The machine's folders of Windows cleanup lead to the bench's own.
    CreateDirectoryW((kRoot + L"-empty").c_str(), nullptr);
    for (const auto* name : {L"LOCALAPPDATA", L"ProgramData", L"WINDIR"})
        SetEnvironmentVariableW(name, (kRoot + L"-empty").c_str());
    SetEnvironmentVariableW(L"TEMP", (kRoot + L"\\temp").c_str());
    SetEnvironmentVariableW(L"TMP", (kRoot + L"\\temp").c_str());
    HKEY shell = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", 0,
                    nullptr, 0, KEY_SET_VALUE, nullptr, &shell, nullptr);
    const std::wstring cache = kRoot + L"\\iecache";
    RegSetValueExW(shell, L"Cache", 0, REG_SZ, reinterpret_cast<const BYTE*>(cache.c_str()),
                   static_cast<DWORD>((cache.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(shell);
    writeLines(appFile(L"UDFO.sol"), {kRoot + L"\\user"});
    writeLines(appFile(L"search.sol"), {L"Hard drive; C:\\"});

    auto t0 = Clock::now();
    bench::removeTree(kRoot);
    CreateDirectoryW(kRoot.c_str(), nullptr);
    bench::makeTree(kRoot + L"\\documents", kDocTops, kSubs, kPerFolder, docName, fileSize);
    seed();
    std::printf("seeded %d files in %.1f s\n", (kUserTops + kCacheTops + kTempTops + kDocTops) * kSubs * kPerFolder,
                seconds(t0));

    RunState& run = runState();
    BenchHost host;
    FileSearch search(host, run);
    search.loadAll();
    DeleteSettings settings;
    settings.intDelMethod = kDelete;
    CleanRun clean(host, run, search, settings);

    // Each category alone, then the bare walks of its folders, for the parts.
    {
        for (int store = 0; store < 19; ++store) {
            host.only = store;
            t0 = Clock::now();
            clean.analyze();
            std::printf("  analyze: %ls %.3f s\n", kCategories[static_cast<size_t>(store)].caption, seconds(t0));
        }
        host.only = -1;
        size_t n = 0;
        bareRun(n, true);
    }
    size_t walked = 0;
    bareRun(walked);  // warm the caches for both sides
    std::vector<double> analyzeRounds, bareRounds;
    for (int round = 0; round < 3; ++round) {
        t0 = Clock::now();
        clean.analyze();
        analyzeRounds.push_back(seconds(t0));
        bareRounds.push_back(bareRun(walked));
    }
    int64_t items = 0;
    uint64_t bytes = 0;
    for (const auto& row : host.rows)
        if (!row.part) {
            items += row.items;
            bytes += row.bytes;
        }
    std::printf("analyze found %lld items of %llu bytes; the bare walk met %zu files\n",
                static_cast<long long>(items), static_cast<unsigned long long>(bytes), walked);
    if (items < (kUserTops + kCacheTops + kTempTops) * kSubs * kPerFolder) {
        std::printf("FAILED: analyze found fewer items than were seeded\n");
        return 1;
    }
    bench::line("analyze every category vs walk", median(analyzeRounds), median(bareRounds), "<= 1.1");

    // A clean without Analyze and a clean of the same seed right after an
    // Analyze, three rounds each, in turns (which goes first alternates).
    std::vector<double> alone, after;
    for (int round = 0; round < 3; ++round) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool analyzed = (turn + round) % 2 == 1;
            seed();
            if (analyzed)
                clean.analyze();
            t0 = Clock::now();
            clean.fullRun();
            (analyzed ? after : alone).push_back(seconds(t0));
        }
    }
    std::printf("%-34s after %7.3f s   alone %7.3f s   ratio %5.2f   (target <= 1.1)\n", "clean after analyze vs alone",
                median(after), median(alone), median(after) / median(alone));
    // The same clean from the command line (/clean, every category, the
    // delete method) against the window's Clean, in turns as above.
    CommandLine line;
    line.mode = RunMode::Clean;
    line.method = kDelete;
    line.categories = std::vector<int>();
    for (const auto& c : kCategories)
        line.categories->push_back(c.store);
    std::vector<double> window, unattended;
    int exitCode = -1;
    for (int round = 0; round < 3; ++round) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool commandLine = (turn + round) % 2 == 1;
            seed();
            t0 = Clock::now();
            if (commandLine)
                exitCode = runCommandLine(line).exitCode;
            else
                clean.fullRun();
            (commandLine ? unattended : window).push_back(seconds(t0));
        }
    }
    std::printf("%-34s cmd   %7.3f s   window %6.3f s   ratio %5.2f   (target <= 1.05; exit code %d)\n",
                "/clean vs the window's Clean", median(unattended), median(window),
                median(unattended) / median(window), exitCode);
    bench::removeTree(kRoot);
    return 0;
}

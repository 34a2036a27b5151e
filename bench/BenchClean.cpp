// Speed of the search, deletion and wipe engines against the bare Win32
// calls they are built on, measured on the same tree in the same run, and
// how quickly Stop takes effect in each. Prints figures and ratios.
#include "BenchSupport.h"
#include "core/Deletion.h"
#include "core/FileSearch.h"
#include "core/RunState.h"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>
#include <algorithm>

using namespace sorvane;
using bench::Clock;
using bench::bareWalk;
using bench::exitCode;
using bench::expectRows;
using bench::median;
using bench::line;
using bench::removeTree;
using bench::seconds;

namespace {

const std::wstring kRoot = L"C:\\sorvane-bench";
constexpr int kTop = 50, kSub = 100, kFilesPerFolder = 20;  // 5,000 folders, 100,000 files


// An engine interface that does nothing but press Stop at a chosen moment.
class BenchUi : public EngineUi {
public:
    explicit BenchUi(RunState& run) : m_run(run) {}
    void stopAfter(double s)
    {
        m_stopAt = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s));
        m_armed = true;
    }
    void disarm() { m_armed = false; }
    Clock::time_point stopAt() const { return m_stopAt; }
    void setStatus(const std::wstring&) override {}
    void setProgressMax(int64_t) override {}
    void setProgress(int64_t) override {}
    int messageBox(const std::wstring&, unsigned) override { return IDOK; }
    void pumpMessages() override
    {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        if (m_armed && Clock::now() >= m_stopAt)
            m_run.bAbort = -1;
    }
    void startOperation(int) override {}
    void stopOperation(const std::wstring&) override {}
    void addReviewRow(const ReviewRow&) override { ++rows; }
    void discardReviewRows() override {}
    void showReviewWindow(const ReviewTools&) override {}
    size_t rows = 0;

private:
    RunState& m_run;
    Clock::time_point m_stopAt{};
    bool m_armed = false;
};

void makeTree(const std::wstring& root)
{
    CreateDirectoryW(root.c_str(), nullptr);
    for (int t = 0; t < kTop; ++t) {
        const std::wstring top = root + L"\\d" + std::to_wstring(t);
        CreateDirectoryW(top.c_str(), nullptr);
        for (int s = 0; s < kSub - 1; ++s) {
            const std::wstring sub = top + L"\\s" + std::to_wstring(s);
            CreateDirectoryW(sub.c_str(), nullptr);
            for (int f = 0; f < kFilesPerFolder; ++f) {
                const std::wstring name = sub + L"\\file" + std::to_wstring(f) + (f % 5 == 0 ? L".tmp" : L".dat");
                HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
                DWORD w = 0;
                WriteFile(h, "0123456789", 10, &w, nullptr);
                CloseHandle(h);
            }
        }
        for (int f = 0; f < kFilesPerFolder; ++f) {
            const std::wstring name = top + L"\\top" + std::to_wstring(f) + L".dat";
            HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            CloseHandle(h);
        }
    }
}

} // namespace

int wmain()
{
    RunState run;
    BenchUi ui(run);
    CreateDirectoryW(kRoot.c_str(), nullptr);
    const std::wstring treeA = kRoot + L"\\a", treeB = kRoot + L"\\b";
    removeTree(treeA);
    removeTree(treeB);

    auto t0 = Clock::now();
    makeTree(treeA);
    makeTree(treeB);
    std::printf("created 2 trees of %d files in %d folders each in %.1f s\n", kTop * (kSub - 1) * kFilesPerFolder +
                                                                              kTop * kFilesPerFolder,
                kTop * kSub, seconds(t0));

    // Warm the caches once so that neither side pays for the first touch.
    std::vector<std::wstring> warm;
    bareWalk(treeA, warm);

    double bare = 1e9, mode0 = 1e9, mode1 = 1e9;
    size_t found0 = 0, rows1 = 0;
    for (int round = 0; round < 3; ++round) {
        std::vector<std::wstring> files;
        t0 = Clock::now();
        bareWalk(treeA, files);
        bare = std::min(bare, seconds(t0));

        FileSearch search(ui, run);
        search.setIgnoreNames({});
        search.setIgnoreExtensions({});
        search.setIgnoreFolders({});
        t0 = Clock::now();
        search.clearFoundLists();
        search.searchFiles(treeA + L"\\", L"*.*", kSearchAll);
        mode0 = std::min(mode0, seconds(t0));
        found0 = search.strFoundFiles().size();

        search.loadAll();  // the default ignore names and the options of a fresh install
        search.setUnnecessaryPatterns({L"*.TMP", L"*.BAK", L"~*.*", L"*.~*", L"FILE???._DD"});
        ui.rows = 0;
        t0 = Clock::now();
        search.clearFoundLists();
        search.searchFiles(treeA + L"\\", L"*.*", kSearchUnnecessary);
        mode1 = std::min(mode1, seconds(t0));
        rows1 = ui.rows;
    }
    std::printf("walk found %zu files; mode 1 gave %zu review rows\n", found0, rows1);
    line("search mode 0 vs FindFirstFileExW", mode0, bare, "<= 1.3");
    line("search mode 1 vs FindFirstFileExW", mode1, bare, "<= 1.3");

    // Deletion: tree B with a bare DeleteFileW loop, tree A with the engine.
    std::vector<std::wstring> filesB, filesA;
    std::vector<uint64_t> sizesA;
    bareWalk(treeB, filesB);
    t0 = Clock::now();
    for (const auto& f : filesB)
        DeleteFileW(f.c_str());
    const double bareDelete = seconds(t0);
    {
        FileSearch search(ui, run);
        search.clearFoundLists();
        search.searchFiles(treeA + L"\\", L"*.*", kSearchAll);
        filesA = search.strFoundFiles();
        sizesA = search.foundFileSizes();
    }
    DeleteSettings settings;
    DeletionEngine engine(ui, run, settings);
    t0 = Clock::now();
    engine.deleteFiles(filesA, &sizesA);
    const double engineDelete = seconds(t0);
    std::printf("deleted %lld files (%llu bytes) with the engine\n", static_cast<long long>(run.lngTotalFiles),
                static_cast<unsigned long long>(run.dblTotalSize));
    line("delete vs DeleteFileW loop", engineDelete, bareDelete, "<= 1.3");
    removeTree(treeA);
    removeTree(treeB);

    // Wipe of one 256 MiB file against the bare calls of the same work: a
    // plain WriteFile loop over the same file in place, one flush, then
    // DeleteFileW. The two take turns, each on a freshly written file; a round
    // takes a quarter of a second, so the medians are of seven.
    // Beside it, a fresh write of the file (allocating its blocks), alone
    // and followed by the same deletion. Where a volume is slow to free
    // written blocks (0.08 s for these 256 MiB on the build machine's disk),
    // a wipe cannot match a write that deletes nothing: the deletion is the
    // gap.
    const std::wstring big = kRoot + L"\\big.bin";
    constexpr DWORD kBlock = 1 << 20;
    constexpr int kBlocks = 256;
    std::vector<char> block(kBlock, 'w');
    const auto writeBig = [&](DWORD disposition) {
        HANDLE h = CreateFileW(big.c_str(), GENERIC_WRITE, 0, nullptr, disposition, 0, nullptr);
        DWORD w = 0;
        for (int i = 0; i < kBlocks; ++i)
            WriteFile(h, block.data(), kBlock, &w, nullptr);
        FlushFileBuffers(h);
        CloseHandle(h);
    };
    settings.intDelMethod = kWipe;
    bool wiped = true;
    const bench::Pair wipePair = bench::medianPairs(
        [&] {
            writeBig(CREATE_ALWAYS);
            t0 = Clock::now();
            engine.wipeFile(big);
            const double s = seconds(t0);
            wiped = wiped && GetFileAttributesW(big.c_str()) == INVALID_FILE_ATTRIBUTES;
            return s;
        },
        [&] {
            writeBig(CREATE_ALWAYS);
            t0 = Clock::now();
            writeBig(OPEN_EXISTING);
            DeleteFileW(big.c_str());
            return seconds(t0);
        },
        7);
    std::vector<double> writeRounds, writeDeleteRounds;
    for (int round = 0; round < 7; ++round) {
        t0 = Clock::now();
        writeBig(CREATE_ALWAYS);
        writeRounds.push_back(seconds(t0));
        DeleteFileW(big.c_str());
        writeDeleteRounds.push_back(seconds(t0));
    }
    const double wipe = wipePair.engine;
    const auto mib = [&](double s) { return kBlocks / s; };
    if (expectRows("wipe removed the file", wiped ? 1 : 0, 1)) {
        std::printf("%-34s engine %7.1f MiB/s  plain %7.1f MiB/s  ratio %5.2f   (target >= 0.95)\n",
                    "wipe vs plain writes of the same", mib(wipe), mib(wipePair.bare), 1 / wipePair.ratio);
        for (const auto& [what, plain] : {std::pair{"  vs a fresh write alone", median(writeRounds)},
                                          std::pair{"  vs a fresh write and delete", median(writeDeleteRounds)}})
            std::printf("%-34s engine %7.1f MiB/s  plain %7.1f MiB/s  ratio %5.2f\n", what, mib(wipe), mib(plain),
                        plain / wipe);
    }

    // Stop latency: Stop is pressed mid-way; the time until the engine returns.
    makeTree(treeA);
    {
        FileSearch search(ui, run);
        run.bAbort = 0;
        ui.stopAfter(mode0 / 2);
        search.clearFoundLists();
        search.searchFiles(treeA + L"\\", L"*.*", kSearchAll);
        std::printf("%-34s %.3f s after Stop (target <= 0.2)\n", "search stops", seconds(ui.stopAt()));
        ui.disarm();
        run.bAbort = 0;
        search.clearFoundLists();
        search.searchFiles(treeA + L"\\", L"*.*", kSearchAll);
        filesA = search.strFoundFiles();
        sizesA = search.foundFileSizes();
    }
    settings.intDelMethod = kDelete;
    ui.stopAfter(engineDelete / 2);
    engine.deleteFiles(filesA, &sizesA);
    std::printf("%-34s %.3f s after Stop (target <= 0.2)\n", "delete stops", seconds(ui.stopAt()));
    ui.disarm();
    run.bAbort = 0;
    removeTree(treeA);
    writeBig(CREATE_ALWAYS);
    settings.intDelMethod = kWipe;
    ui.stopAfter(wipe / 2);
    engine.wipeFile(big);
    std::printf("%-34s %.3f s after Stop (target <= 0.2)\n", "wipe stops", seconds(ui.stopAt()));
    DeleteFileW(big.c_str());
    RemoveDirectoryW(kRoot.c_str());
    return exitCode();
}

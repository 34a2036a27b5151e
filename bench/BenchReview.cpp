// The review cleaners' searches feeding a real (hidden) review window
// against the same searches feeding nothing, the time to show 20,000 rows
// with their icons, and Delete All against a bare DeleteFileW loop.
#include "BenchSupport.h"
#include "cleaners/ReviewWindow.h"
#include "core/Deletion.h"
#include "core/FileSearch.h"
#include "core/RunState.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>

using namespace sorvane;
using namespace bench;

namespace {

// 5,000 folders of 20 files: 4 in each match an enabled rule, 1 is empty.
constexpr int kTops = 50, kSubs = 100, kPerFolder = 20;
std::wstring fileName(int f)
{
    if (f % 5 == 0)
        return L"file" + std::to_wstring(f) + L".tmp";
    return L"file" + std::to_wstring(f) + (f == 1 ? L".log" : L".dat");
}
DWORD fileSize(int f) { return f == 1 ? 0 : 10; }

class BenchUi : public EngineUi {
public:
    void setStatus(const std::wstring&) override {}
    void setProgressMax(int64_t) override {}
    void setProgress(int64_t) override {}
    int messageBox(const std::wstring&, unsigned) override { return IDOK; }
    void pumpMessages() override
    {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    void startOperation(int) override {}
    void stopOperation(const std::wstring&) override {}
    void addReviewRow(const ReviewRow& row) override
    {
        ++rows;
        if (window)
            window->addRow(row);
    }
    void discardReviewRows() override {}
    void showReviewWindow(const ReviewTools&) override {}

    size_t rows = 0;
    ReviewWindow* window = nullptr;
};

// One search into nothing, or into a fresh hidden window; the median of three.
double timeSearch(const std::wstring& root, int16_t mode, bool intoWindow, size_t& rows)
{
    std::vector<double> rounds;
    for (int round = 0; round < 3; ++round) {
        RunState run;
        BenchUi ui;
        std::unique_ptr<ReviewWindow> window;
        FileSearch search(ui, run);
        search.loadAll();
        search.options.bSkipHidden = search.options.bSkipReadOnly = search.options.bSkipSystem = true;
        search.setUnnecessaryPatterns({L"*.TMP", L"*.BAK", L"~*.*", L"*.~*", L"FILE???._DD"});
        const auto t0 = Clock::now();
        if (intoWindow) {
            window = std::make_unique<ReviewWindow>();
            window->create(GetModuleHandleW(nullptr), nullptr);
            ui.window = window.get();
        }
        search.searchFiles(root + L"\\", L"*.*", mode);
        rounds.push_back(seconds(t0));
        rows = ui.rows;
    }
    return median(rounds);
}

} // namespace

int wmain()
{
    const std::wstring root = L"C:\\sorvane-bench-review", treeA = root + L"\\a", treeB = root + L"\\b";
    removeTree(root);
    CreateDirectoryW(root.c_str(), nullptr);
    auto t0 = Clock::now();
    makeTree(treeA, kTops, kSubs, kPerFolder, fileName, fileSize);
    makeTree(treeB, kTops, kSubs, kPerFolder, fileName, fileSize);
    std::printf("created 2 trees of %d files in %d folders in %.1f s\n", kTops * kSubs * kPerFolder, kTops * kSubs,
                seconds(t0));
    std::vector<std::wstring> warm;
    bareWalk(treeA, warm);

    size_t rows = 0, windowRows = 0;
    const double unnecessaryBare = timeSearch(treeA, kSearchUnnecessary, false, rows);
    const double unnecessaryWindow = timeSearch(treeA, kSearchUnnecessary, true, windowRows);
    std::printf("unnecessary-files search: %zu rows (window %zu)\n", rows, windowRows);
    line("unnecessary into window vs nothing", unnecessaryWindow, unnecessaryBare, "<= 1.2");
    const double emptyBare = timeSearch(treeA, kSearchEmpty, false, rows);
    const double emptyWindow = timeSearch(treeA, kSearchEmpty, true, windowRows);
    std::printf("empty-files search: %zu rows (window %zu)\n", rows, windowRows);
    line("empty into window vs nothing", emptyWindow, emptyBare, "<= 1.2");

    // Fill a window with the 20,000 rows, show it, delete them all; against
    // a DeleteFileW loop over the same files of a second tree. Three rounds,
    // each on fresh trees, the two taking turns at going first.
    struct Call {
        std::function<void()> f;
    };
    HWND calls = CreateWindowW(L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    SetWindowLongPtrW(calls, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(+[](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        if (m == WM_APP) {
            reinterpret_cast<Call*>(w)->f();
            return 0;
        }
        return DefWindowProcW(h, m, w, l);
    }));
    std::vector<double> shownRounds;
    size_t shownRows = 0, removed = 0, bareRemoved = 0;
    // After the first round, the rows' files again; the rest of the tree stayed.
    const auto refill = [&](const std::wstring& tree, int& rounds) {
        if (rounds++ == 0)
            return;
        const auto tmpName = [](int f) { return fileName(f * 5); };
        const auto tmpSize = [](int) -> DWORD { return 10; };
        makeTree(tree, kTops, kSubs, kPerFolder / 5, tmpName, tmpSize);
    };
    int windowRounds = 0, bareLoops = 0;
    const auto bareLoop = [&] {
        refill(treeB, bareLoops);
        std::vector<std::wstring> all, matching;
        bareWalk(treeB, all);
        for (const auto& f : all)
            if (f.size() > 4 && f.compare(f.size() - 4, 4, L".tmp") == 0)
                matching.push_back(f);
        t0 = Clock::now();
        bareRemoved = 0;
        for (const auto& f : matching)
            bareRemoved += DeleteFileW(f.c_str()) ? 1 : 0;
        return seconds(t0);
    };
    const auto windowRound = [&] {
        refill(treeA, windowRounds);
        RunState run;
        BenchUi ui;
        FileSearch search(ui, run);
        search.loadAll();
        search.setUnnecessaryPatterns({L"*.TMP"});
        ReviewWindow window;
        window.create(GetModuleHandleW(nullptr), nullptr);
        Clock::time_point deleteStart;
        // Delete All starts when its question is answered; it ends when the
        // close posted after it (held back while it runs) has ended the window.
        window.setAsk([&](HWND, const std::wstring&, unsigned) {
            deleteStart = Clock::now();
            return IDYES;
        });
        ui.window = &window;
        search.searchFiles(treeA + L"\\", L"*.*", kSearchUnnecessary);
        shownRows = window.rows().size();
        DeleteSettings settings;
        DeletionEngine deletion(ui, run, settings);
        ReviewTools tools{deletion, search, run};
        double shown = 0;
        Clock::time_point showStart;
        Call afterShow{[&] {
            UpdateWindow(window.hwnd());
            UpdateWindow(window.listView());
            shown = seconds(showStart);
        }};
        PostMessageW(calls, WM_APP, reinterpret_cast<WPARAM>(&afterShow), 0);
        PostMessageW(window.hwnd(), WM_COMMAND, 1505 /* Delete All */, 0);
        PostMessageW(window.hwnd(), WM_CLOSE, 0, 0);
        showStart = Clock::now();
        window.showModal(tools, ui);
        shownRounds.push_back(shown);
        removed = static_cast<size_t>(run.lngTotalFiles);
        return seconds(deleteStart);
    };
    const Pair deleteTimes = medianPairs(windowRound, bareLoop, 5);
    std::printf("%-34s %.3f s for %zu rows with icons (target < 1 s)\n", "show the filled window", median(shownRounds),
                shownRows);
    std::printf("Delete All removed %zu files, the bare loop %zu\n", removed, bareRemoved);
    if (expectRows("Delete All", removed, shownRows) && expectRows("Delete All (bare loop)", bareRemoved, shownRows) &&
        expectRows("review window rows", shownRows, static_cast<size_t>(kTops * kSubs * kPerFolder) / 5))
        line("Delete All vs DeleteFileW loop", deleteTimes, "<= 1.05");
    DestroyWindow(calls);
    removeTree(root);
    return exitCode();
}

// The URL cache of the test prefix, seeded through the platform's own
// cache functions, as the cache viewer's engine lists and clears it.
#include "cleaners/IECacheWindow.h"
#include "cleaners/UrlCache.h"
#include "resource.h"
#include "support/PostedCalls.h"
#include "support/WindowWatch.h"
#include "win/UniqueHandle.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <wininet.h>

#include <algorithm>
#include <functional>
#include <string>

using namespace sorvane;

namespace {

// A cached file, a cookie and a visited address of the test's own site,
// removed again at the end.
class SeededCache : public ::testing::Test {
protected:
    void SetUp() override
    {
        clear();
        add(kPage, NORMAL_CACHE_ENTRY, true);
        add(kCookie, NORMAL_CACHE_ENTRY | COOKIE_CACHE_ENTRY, true);
        add(kVisited, NORMAL_CACHE_ENTRY | URLHISTORY_CACHE_ENTRY, false);
    }
    void TearDown() override { clear(); }
    static void clear()
    {
        for (const wchar_t* url : {kPage, kCookie, kVisited})
            DeleteUrlCacheEntryW(url);
    }
    static void add(const wchar_t* url, DWORD type, bool withFile)
    {
        wchar_t local[MAX_PATH] = {};
        if (withFile) {
            ASSERT_TRUE(CreateUrlCacheEntryW(url, 0, L"txt", local, 0)) << GetLastError();
            HANDLE f = CreateFileW(local, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            DWORD n = 0;
            WriteFile(f, "cached", 6, &n, nullptr);
            CloseHandle(f);
        }
        FILETIME none{};
        ASSERT_TRUE(CommitUrlCacheEntryW(url, withFile ? local : nullptr, none, none, type, nullptr, 0, nullptr, nullptr))
            << GetLastError();
    }
    static std::vector<std::wstring> ours(DWORD mask)
    {
        std::vector<std::wstring> out;
        for (const auto& e : getCacheURLList(mask))
            if (e.sourceUrl.find(L"sorvane.test") != std::wstring::npos)
                out.push_back(e.sourceUrl);
        std::sort(out.begin(), out.end());
        return out;
    }
    static constexpr const wchar_t* kPage = L"http://sorvane.test/page.html";
    static constexpr const wchar_t* kCookie = L"Cookie:user@sorvane.test/";
    static constexpr const wchar_t* kVisited = L"Visited: user@http://sorvane.test/visited.html";
};

} // namespace

TEST_F(SeededCache, FiltersListEntriesWithEveryBitOfTheirMask)
{
    EXPECT_EQ(ours(kCacheMaskAll), (std::vector<std::wstring>{kCookie, kVisited, kPage}));
    EXPECT_EQ(ours(kCacheMaskCookies), (std::vector<std::wstring>{kCookie}));
    EXPECT_EQ(ours(kCacheMaskHistory), (std::vector<std::wstring>{kVisited}));
    for (const auto& e : getCacheURLList(kCacheMaskAll)) {
        if (e.sourceUrl != kPage)
            continue;
        EXPECT_EQ(e.size, 6u);
        EXPECT_FALSE(e.localName.empty());
        EXPECT_NE(e.localFolder.back(), L'\\');
    }
}

TEST_F(SeededCache, ClearingTheHistoryListLeavesTheCachedFiles)
{
    for (const auto& e : getCacheURLList(kCacheMaskHistory)) {
        if (e.sourceUrl.find(L"sorvane.test") != std::wstring::npos) {
            EXPECT_TRUE(deleteCacheEntry(e.sourceUrl));
        }
    }
    EXPECT_EQ(ours(kCacheMaskAll), (std::vector<std::wstring>{kCookie, kPage}));
}

namespace {

// The viewer driven from inside its own modal loop.
class CacheViewerTest : public SeededCache {
protected:
    void run(std::function<void(IECacheWindow&)> script)
    {
        w.setAsk([this](HWND, const std::wstring& text, unsigned) {
            asked.push_back(text);
            return IDYES;
        });
        w.onLoaded = [this, script = std::move(script)] {
            calls.post([this, script] {
                script(w);
                PostMessageW(w.hwnd(), WM_COMMAND, IDCANCEL, 0);
            });
        };
        w.show(GetModuleHandleW(nullptr), nullptr);
    }
    void command(int id) { SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    void choose(int option)
    {
        for (int id : {IDC_optAll, IDC_optCookies, IDC_optHistory, IDC_optURL})
            CheckDlgButton(w.hwnd(), id, id == option ? BST_CHECKED : BST_UNCHECKED);
        command(option);
    }
    int rowOf(const wchar_t* url)
    {
        for (int i = 0; i < ListView_GetItemCount(w.list()); ++i)
            if (testenv::listCell(w.list(), i, 0) == url)
                return i;
        return -1;
    }
    std::vector<std::wstring> ourRows()
    {
        std::vector<std::wstring> out;
        for (int i = 0; i < ListView_GetItemCount(w.list()); ++i) {
            const std::wstring url = testenv::listCell(w.list(), i, 0);
            if (url.find(L"sorvane.test") != std::wstring::npos)
                out.push_back(url);
        }
        std::sort(out.begin(), out.end());
        return out;
    }

    win::ComInit com;
    testenv::PostedCalls calls;
    IECacheWindow w;
    std::vector<std::wstring> asked;
};

} // namespace

TEST_F(CacheViewerTest, FiltersViewAndClearOfTheHistoryList)
{
    run([&](IECacheWindow& v) {
        const int all = ListView_GetItemCount(v.list());
        EXPECT_EQ(v.status(), std::to_wstring(all) + L" entry(s)");
        EXPECT_EQ(ourRows(), (std::vector<std::wstring>{kCookie, kVisited, kPage}));
        const int page = rowOf(kPage);
        ASSERT_GE(page, 0);
        EXPECT_EQ(testenv::listCell(v.list(), page, 3), L"6");
        EXPECT_EQ(testenv::listCell(v.list(), page, 6).size() >= 19, true) << "mm/dd/yyyy h:nn:ss AM/PM";

        choose(IDC_optCookies);
        EXPECT_EQ(ourRows(), (std::vector<std::wstring>{kCookie}));
        for (int i = 0; i < ListView_GetItemCount(v.list()); ++i)
            EXPECT_EQ(testenv::listCell(v.list(), i, 0).rfind(L"Cookie:", 0), 0u);

        // A visited row shows the address after its first "@".
        choose(IDC_optHistory);
        const int visited = rowOf(kVisited);
        ASSERT_GE(visited, 0);
        ListView_SetItemState(v.list(), visited, LVIS_SELECTED, LVIS_SELECTED);
        NMHDR dbl{v.list(), IDC_lstvCache, static_cast<UINT>(NM_DBLCLK)};
        SendMessageW(v.hwnd(), WM_NOTIFY, IDC_lstvCache, reinterpret_cast<LPARAM>(&dbl));
        ASSERT_FALSE(v.navigations().empty());
        EXPECT_EQ(v.navigations().back(), L"http://sorvane.test/visited.html");
        EXPECT_EQ(v.displaying(), L"Displaying: http://sorvane.test/visited.html");

        command(IDC_cmdClear);
        EXPECT_EQ(asked, (std::vector<std::wstring>{L"Are you sure you want to empty cache?"}));
        EXPECT_EQ(v.status(), L"0 entry(s)");
        choose(IDC_optAll);
        EXPECT_EQ(ourRows(), (std::vector<std::wstring>{kCookie, kPage})) << "cached files and cookies stay";

        // Delete takes the selected row only.
        const int cookie = rowOf(kCookie);
        ASSERT_GE(cookie, 0);
        ListView_SetItemState(v.list(), cookie, LVIS_SELECTED, LVIS_SELECTED);
        command(IDC_cache_cmdDelete);
        EXPECT_EQ(ourRows(), (std::vector<std::wstring>{kPage}));
        command(IDC_cmdRefresh);
        EXPECT_EQ(ourRows(), (std::vector<std::wstring>{kPage}));
    });
    EXPECT_EQ(w.navigations().front(), L"about:");
}

TEST_F(CacheViewerTest, AnEmptyCacheShowsNoEntry)
{
    for (const auto& e : getCacheURLList(0))
        deleteCacheEntry(e.sourceUrl);
    run([&](IECacheWindow& v) {
        EXPECT_EQ(ListView_GetItemCount(v.list()), 0);
        EXPECT_EQ(v.status(), L"0 entry(s)");
        command(IDC_cache_cmdView);  // nothing selected: only the blank page
        EXPECT_EQ(v.navigations().back(), L"About:Blank");
    });
}

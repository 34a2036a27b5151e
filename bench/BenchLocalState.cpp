// Memory to read a browser's Local State of 16 MiB: the profile discovery
// reads the whole index; the peak of the bytes it holds on the heap at once
// (every C++ allocation counted, the file's own bytes among them) is printed.
#include "BenchSupport.h"
#include "cleaners/Browsers.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

namespace {
std::atomic<size_t> g_live{0}, g_peak{0};
}

// Every allocation of the process passes here; each block carries its size.
void* operator new(size_t n)
{
    auto* p = static_cast<size_t*>(std::malloc(n + 16));
    if (!p)
        throw std::bad_alloc();
    *p = n;
    const size_t live = g_live += n;
    size_t peak = g_peak;
    while (live > peak && !g_peak.compare_exchange_weak(peak, live)) {
    }
    return reinterpret_cast<char*>(p) + 16;
}
void operator delete(void* q) noexcept
{
    if (!q)
        return;
    auto* p = reinterpret_cast<size_t*>(static_cast<char*>(q) - 16);
    g_live -= *p;
    std::free(p);
}
void operator delete(void* q, size_t) noexcept { operator delete(q); }

using namespace sorvane;

namespace {

// Inside the user's own profile: the discovery reads browser folders there only.
std::wstring benchRoot()
{
    wchar_t profile[MAX_PATH] = {};
    GetEnvironmentVariableW(L"USERPROFILE", profile, MAX_PATH);
    return std::wstring(profile) + L"\\sorvane-bench-localstate";
}
const std::wstring kRoot = benchRoot();

// A Local State as a browser with many profiles and much other state leaves
// it: the profile index first, then a long tail of fields nobody here reads.
std::string localState(size_t bytes)
{
    std::string s = R"({"profile":{"info_cache":{"Default":{"name":"Person 1","avatar_icon":"chrome://theme/IDR_PROFILE_AVATAR_26"},)"
                    R"("Profile 2":{"name":"Work"}}},"tail":[)";
    for (int i = 0; s.size() < bytes - 200; ++i)
        s += R"({"id":)" + std::to_string(i) + R"(,"origin":"https://site)" + std::to_string(i) +
             R"(.example","flags":[true,false,null],"score":1.5e3,"note":"\u00e9t\u00e9"},)";
    s += "{}]}";
    return s;
}

} // namespace

int wmain()
{
    bench::removeTree(kRoot);
    const std::wstring userData = kRoot + L"\\Local\\Google\\Chrome\\User Data";
    for (const std::wstring& d : {kRoot, kRoot + L"\\Local", kRoot + L"\\Local\\Google", kRoot + L"\\Local\\Google\\Chrome",
                                  userData, userData + L"\\Default", userData + L"\\Profile 2"})
        CreateDirectoryW(d.c_str(), nullptr);
    const std::string text = localState(16u << 20);
    HANDLE h = CreateFileW((userData + L"\\Local State").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(h);

    g_peak = g_live.load();
    const size_t before = g_live;
    const auto t0 = bench::Clock::now();
    const BrowserDiscovery d = discoverBrowsers(kRoot + L"\\Local", kRoot + L"\\Roaming");
    const double took = bench::seconds(t0);
    const size_t peak = g_peak - before;
    std::printf("Local State of %.1f MiB: %zu profiles found in %.3f s, at most %.1f MiB held at once (%.1f times the file)\n",
                text.size() / 1048576.0, d.profiles.size(), took, peak / 1048576.0, double(peak) / double(text.size()));
    bench::removeTree(kRoot);
    bench::expectRows("Local State profiles", d.profiles.size(), 2);
    return bench::exitCode();
}

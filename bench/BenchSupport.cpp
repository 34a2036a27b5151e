#include "BenchSupport.h"

#include <algorithm>
#include <cstdio>

namespace bench {

double seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

void bareWalk(const std::wstring& folder, std::vector<std::wstring>& files)
{
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr,
                                FIND_FIRST_EX_LARGE_FETCH);
    if (h == INVALID_HANDLE_VALUE)
        return;
    std::vector<std::wstring> subs;
    do {
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (wcscmp(fd.cFileName, L".") && wcscmp(fd.cFileName, L".."))
                subs.push_back(folder + L"\\" + fd.cFileName);
        } else {
            files.push_back(folder + L"\\" + fd.cFileName);
        }
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    for (const auto& s : subs)
        bareWalk(s, files);
}

void removeTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr,
                                FIND_FIRST_EX_LARGE_FETCH);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring path = folder + L"\\" + fd.cFileName;
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileW(path.c_str());
            else if (wcscmp(fd.cFileName, L".") && wcscmp(fd.cFileName, L".."))
                removeTree(path);
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryW(folder.c_str());
}

void makeTree(const std::wstring& root, int tops, int subsPerTop, int perFolder, std::wstring (*name)(int),
              DWORD (*size)(int))
{
    static const std::string data(4096, 'b');
    CreateDirectoryW(root.c_str(), nullptr);
    for (int t = 0; t < tops; ++t) {
        const std::wstring top = root + L"\\d" + std::to_wstring(t);
        CreateDirectoryW(top.c_str(), nullptr);
        for (int s = 0; s < subsPerTop; ++s) {
            const std::wstring sub = top + L"\\s" + std::to_wstring(s);
            CreateDirectoryW(sub.c_str(), nullptr);
            for (int f = 0; f < perFolder; ++f) {
                HANDLE h = CreateFileW((sub + L"\\" + name(f)).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                                       nullptr);
                DWORD w = 0;
                const DWORD n = size(f);
                if (n)
                    WriteFile(h, data.data(), n, &w, nullptr);
                CloseHandle(h);
            }
        }
    }
}

namespace {
int g_failures = 0;
} // namespace

double median(std::vector<double> rounds)
{
    std::sort(rounds.begin(), rounds.end());
    return rounds.empty() ? 0 : rounds[rounds.size() / 2];
}

double median3(const std::function<double()>& f)
{
    std::vector<double> rounds;
    for (int i = 0; i < 3; ++i)
        rounds.push_back(f());
    return median(rounds);
}

Pair medianPairs(const std::function<double()>& engine, const std::function<double()>& bare, int rounds)
{
    std::vector<double> engineRounds, bareRounds, ratios;
    for (int i = 0; i < rounds; ++i) {
        if (i % 2 == 0) {
            bareRounds.push_back(bare());
            engineRounds.push_back(engine());
        } else {
            engineRounds.push_back(engine());
            bareRounds.push_back(bare());
        }
        ratios.push_back(bareRounds.back() > 0 ? engineRounds.back() / bareRounds.back() : 0);
    }
    return {median(engineRounds), median(bareRounds), median(ratios)};
}

bool expectRows(const char* what, size_t found, size_t seeded)
{
    if (found >= seeded)
        return true;
    std::printf("FAILED %s: %zu rows, %zu seeded\n", what, found, seeded);
    ++g_failures;
    return false;
}

int exitCode() { return g_failures ? 1 : 0; }

namespace {
void printLine(const char* what, double engine, double bare, double ratio, const char* target)
{
    std::printf("%-34s engine %7.3f s   bare %7.3f s   ratio %5.2f   (target %s)\n", what, engine, bare, ratio, target);
}
} // namespace

void line(const char* what, double engine, double bare, const char* target)
{
    printLine(what, engine, bare, engine / bare, target);
}

void line(const char* what, const Pair& times, const char* target)
{
    printLine(what, times.engine, times.bare, times.ratio, target);
}

} // namespace bench

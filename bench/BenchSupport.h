#pragma once
// What the benchmarks share: timing, the bare walk they compare with, tree
// removal and the figure lines.
#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point from);
// The bare walk the engine is compared with: FindFirstFileExW, depth first.
void bareWalk(const std::wstring& folder, std::vector<std::wstring>& files);
// Removes a tree of plain files and folders.
void removeTree(const std::wstring& folder);
// Creates `folders` x `perFolder` files: each file's name and size from `f`.
void makeTree(const std::wstring& root, int tops, int subsPerTop, int perFolder,
              std::wstring (*name)(int index), DWORD (*size)(int index));
void line(const char* what, double engine, double bare, const char* target);
// The median of three rounds of `f`, so that one noisy round does not decide.
double median3(const std::function<double()>& f);
double median(std::vector<double> rounds);
// Rounds (three unless asked) of the engine and its bare loop, taking turns
// at going first (the disk's and the registry's own settling after one step
// must not fall on the same side every time); the median of each.
struct Pair {
    double engine = 0, bare = 0;
    // The median of each round's engine / bare: the two sides of a round ran
    // one after the other, so the machine's drift from round to round falls
    // out of it.
    double ratio = 0;
};
Pair medianPairs(const std::function<double()>& engine, const std::function<double()>& bare, int rounds = 3);
// The line of turns taken: the medians and the median of the rounds' ratios.
void line(const char* what, const Pair& times, const char* target);
// False, with a line starting "FAILED", when a step found fewer rows than
// were seeded: its figure would mean nothing.
bool expectRows(const char* what, size_t found, size_t seeded);
// The benchmark's exit code: 1 when any step failed.
int exitCode();

} // namespace bench

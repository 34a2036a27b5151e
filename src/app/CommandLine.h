#pragma once
// The command line of unattended use: /analyze or /clean with the categories,
// the delete method, the report file, the threshold and the review choice.
// Started without arguments, the program opens its window as always.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sorvane {

enum class RunMode { Window, Usage, Analyze, Clean };

struct CommandLine {
    RunMode mode = RunMode::Window;
    // Store positions of the categories named; absent: those ticked in
    // checkItems.sol.
    std::optional<std::vector<int>> categories;
    std::optional<int16_t> method;  // a DeleteMethod
    std::wstring json;              // the report's full path; empty: none
    std::optional<uint64_t> threshold;
    bool reviewAll = false;         // /review:all; the default is skip
    // /rules: the application rules of this run instead of the ticked ones.
    std::optional<std::vector<std::wstring>> rules;
    std::wstring error;             // not empty: a bad command line
};

inline constexpr const wchar_t* kUsage =
    L"Sorvane.exe /analyze | /clean [/categories:<list>] [/method:D|R|W|B] [/json:<file>] [/threshold:<bytes>] "
    L"[/review:skip|all] [/rules:<entry>;<entry>]\r\n"
    L"  /analyze          measure what a clean would remove; nothing changes\r\n"
    L"  /clean            clean without a window or a question\r\n"
    L"  /categories:      captions, comma-separated (\"Cache,Recycle bin\"); default: those ticked in the window\r\n"
    L"  /method:          D delete, R Recycle Bin, W wipe, B backup; default: the one in Settings.ini\r\n"
    L"  /json:            write the full report to this file (UTF-8)\r\n"
    L"  /threshold:       with /analyze: exit 1 when at least this many bytes were found\r\n"
    L"  /review:          skip (default) or all: what the drive-wide categories remove unattended\r\n"
    L"  /rules:           application rules of this run, by entry name, \";\"-separated; alone, it runs only them\r\n"
    L"Exit codes: 0 done; 1 threshold reached; 2 done, something skipped; 3 refused; 4 failed; 5 bad command line\r\n";

// The arguments after the program's name, split as the system splits them.
std::vector<std::wstring> commandLineArguments(const wchar_t* commandLine);
// Reads the arguments; a mistake leaves `error` set and nothing else to act on.
CommandLine parseCommandLine(const std::vector<std::wstring>& args);

} // namespace sorvane

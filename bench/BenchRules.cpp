// Reading and detecting 5,000 generated application rules against a bare
// read of the same file (one ReadFile, the text decoded and split into
// lines) plus the same existence checks (each entry's Detect key in either
// registry view, then its DetectFile, stopping at the first found). Prints
// figures and the ratio; a scan that finds fewer entries than it seeded
// prints FAILED and ends with exit code 1.
#include "BenchSupport.h"
#include "cleaners/ApplicationRules.h"
#include "platform/AppFolder.h"
#include "platform/Registry.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace sorvane;
using bench::Clock;
using bench::median;
using bench::seconds;

namespace {

const std::wstring kRoot = L"C:\\sorvane-bench-rules";
const std::wstring kKey = L"Software\\SorvaneBenchRules";
constexpr int kEntries = 5000;

std::wstring appData() { return expandEnvironment(L"%LOCALAPPDATA%"); }

// Every fourth entry's program has its key, every fourth (another) its folder.
std::string generate()
{
    std::wstring text = L"; generated for the benchmark\r\n";
    for (int i = 0; i < kEntries; ++i) {
        const std::wstring n = std::to_wstring(i);
        text += L"[Bench App " + n + L" *]\r\nLangSecRef=" + std::to_wstring(3021 + i % 4) + L"\r\n";
        text += L"Detect=HKCU\\" + kKey + L"\\App" + n + L"\r\n";
        text += L"DetectFile=%LocalAppData%\\SorvaneBenchRules\\App" + n + L"\r\n";
        text += L"FileKey1=%LocalAppData%\\SorvaneBenchRules\\App" + n + L"\\Cache|*.tmp;*.log|RECURSE\r\n";
        text += L"FileKey2=%LocalAppData%\\SorvaneBenchRules\\App" + n + L"\\Logs|*.log\r\n";
        text += L"ExcludeKey1=FILE|%LocalAppData%\\SorvaneBenchRules\\App" + n + L"\\Cache\\|keep.log\r\n";
        text += L"RegKey1=HKCU\\" + kKey + L"\\App" + n + L"\\Recent\r\n";
    }
    return toUtf8(text);
}

struct Bare {
    size_t entries = 0, detected = 0;
};

// The floor: the file read and split, and for each entry its key, then its
// folder, looked up as the reader looks them up.
Bare bareRead(const std::wstring& file)
{
    Bare out;
    HANDLE h = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    LARGE_INTEGER size{};
    GetFileSizeEx(h, &size);
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(h);
    std::wstring text(bytes.size(), L'\0');
    text.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()),
                                                        text.data(), static_cast<int>(text.size()))));
    const std::wstring local = appData();
    std::wstring key, detectFile;
    const auto check = [&] {
        if (key.empty())
            return;
        ++out.entries;
        bool found = false;
        for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
            HKEY k = nullptr;
            if (RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_QUERY_VALUE | view, &k) == ERROR_SUCCESS) {
                RegCloseKey(k);
                found = true;
                break;
            }
        }
        if (!found) {
            WIN32_FIND_DATAW fd;
            HANDLE f = FindFirstFileExW(detectFile.c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr, 0);
            if (f != INVALID_HANDLE_VALUE) {
                FindClose(f);
                found = true;
            }
        }
        out.detected += found ? 1 : 0;
    };
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(L"\r\n", at);
        if (end == std::wstring::npos)
            end = text.size();
        const std::wstring_view line(text.data() + at, end - at);
        if (!line.empty() && line[0] == L'[') {
            check();
            key.clear();
        } else if (line.rfind(L"Detect=HKCU\\", 0) == 0) {
            key = std::wstring(line.substr(12));
        } else if (line.rfind(L"DetectFile=%LocalAppData%", 0) == 0) {
            detectFile = local + std::wstring(line.substr(25));
        }
        at = end + 2;
    }
    check();
    return out;
}

} // namespace

int wmain()
{
    bench::removeTree(kRoot);
    CreateDirectoryW(kRoot.c_str(), nullptr);
    CreateDirectoryW((kRoot + L"\\Rules").c_str(), nullptr);
    setAppFolder(kRoot);
    const std::wstring file = kRoot + L"\\Rules\\bench.ini";
    const std::string text = generate();
    HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(h);
    const std::wstring folders = appData() + L"\\SorvaneBenchRules";
    bench::removeTree(folders);
    CreateDirectoryW(folders.c_str(), nullptr);
    deleteRegTree(HKEY_CURRENT_USER, kKey);
    for (int i = 0; i < kEntries; ++i) {
        if (i % 4 == 0)
            writeRegString(HKEY_CURRENT_USER, kKey + L"\\App" + std::to_wstring(i), L"", L"");
        if (i % 4 == 1)
            CreateDirectoryW((folders + L"\\App" + std::to_wstring(i)).c_str(), nullptr);
    }
    constexpr size_t kExpected = kEntries / 2;

    std::vector<double> ours, bare;
    size_t ourEntries = 0, ourDetected = 0;
    Bare floor;
    for (int round = 0; round < 3; ++round) {
        auto t = Clock::now();
        const LoadedRules loaded = loadApplicationRules();
        ourEntries = loaded.rules.size();
        ourDetected = 0;
        for (const auto& rule : loaded.rules)
            if (rule.refused.empty() && ruleDetected(rule, loaded.env))
                ++ourDetected;
        ours.push_back(seconds(t));
        t = Clock::now();
        floor = bareRead(file);
        bare.push_back(seconds(t));
    }
    int failed = 0;
    if (ourEntries != kEntries || ourDetected != kExpected || floor.entries != kEntries ||
        floor.detected != kExpected) {
        std::printf("FAILED application rules: read %zu entries, %zu detected (bare %zu, %zu; seeded %d, %zu)\n",
                    ourEntries, ourDetected, floor.entries, floor.detected, kEntries, kExpected);
        failed = 1;
    } else {
        std::printf("application rules: %d entries read, %zu detected\n", kEntries, kExpected);
        bench::line("read and detect 5,000 rules (median of 3)", median(ours), median(bare), "<= 1.5");
    }
    deleteRegTree(HKEY_CURRENT_USER, kKey);
    deleteRegKey(HKEY_CURRENT_USER, kKey);
    bench::removeTree(folders);
    bench::removeTree(kRoot);
    return failed;
}

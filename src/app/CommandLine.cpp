#include "app/CommandLine.h"

#include "cleaners/ApplicationRules.h"

#include "core/Categories.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "store/StartupSettings.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>

namespace sorvane {

namespace {

std::optional<int> categoryNamed(std::wstring_view name)
{
    for (const auto& c : kCategories)
        if (iequals(name, c.caption))
            return c.store;
    return std::nullopt;
}

std::optional<int16_t> methodLetter(std::wstring_view value)
{
    if (value.size() != 1)
        return std::nullopt;
    switch (towupper(value[0])) {
    case L'D': return kDelete;
    case L'R': return kRecycleBin;
    case L'W': return kWipe;
    case L'B': return kBackup;
    default: return std::nullopt;
    }
}

CommandLine failed(std::wstring why)
{
    CommandLine bad;
    bad.error = std::move(why);
    return bad;
}

} // namespace

std::vector<std::wstring> commandLineArguments(const wchar_t* commandLine)
{
    std::vector<std::wstring> args;
    if (!commandLine)
        return args;
    int count = 0;
    LPWSTR* list = CommandLineToArgvW(commandLine, &count);
    if (!list)
        return args;
    for (int i = 1; i < count; ++i)
        args.emplace_back(list[i]);
    LocalFree(list);
    return args;
}

CommandLine parseCommandLine(const std::vector<std::wstring>& args)
{
    CommandLine line;
    std::vector<std::wstring> seen;
    for (const auto& arg : args) {
        if (arg.size() < 2 || (arg[0] != L'/' && arg[0] != L'-'))
            return failed(L"Not a switch: " + arg);
        const size_t colon = arg.find(L':');
        const std::wstring name = toLower(arg.substr(1, colon == std::wstring::npos ? std::wstring::npos : colon - 1));
        const std::wstring value = colon == std::wstring::npos ? L"" : trim(arg.substr(colon + 1));
        for (const auto& s : seen)
            if (s == name || ((s == L"analyze" || s == L"clean") && (name == L"analyze" || name == L"clean")))
                return failed(L"Given twice: " + arg);
        seen.push_back(name);
        const bool valued = colon != std::wstring::npos;
        if (name == L"?" || name == L"analyze" || name == L"clean") {
            if (valued)
                return failed(L"Takes no value: " + arg);
            line.mode = name == L"?" ? RunMode::Usage : name == L"analyze" ? RunMode::Analyze : RunMode::Clean;
        } else if (!valued || value.empty()) {
            return failed(L"Needs a value: " + arg);
        } else if (name == L"categories") {
            std::vector<int> stores;
            for (const auto& part : split(value, L',')) {
                const auto store = categoryNamed(trim(part));
                if (!store)
                    return failed(L"Unknown category: " + trim(part));
                stores.push_back(*store);
            }
            line.categories = std::move(stores);
        } else if (name == L"method") {
            line.method = methodLetter(value);
            if (!line.method)
                return failed(L"Unknown delete method: " + value + L" (D, R, W or B)");
        } else if (name == L"json") {
            // Written by an administrator's program: a full path on a local
            // drive, never one that depends on the current folder.
            if (!isFullLocalPath(value) || value.back() == L'\\')
                return failed(L"The report needs a full file path on a local drive: " + value);
            line.json = value;
        } else if (name == L"threshold") {
            const auto bytes = parseInteger(value);
            if (!bytes || *bytes < 0)
                return failed(L"Not a number of bytes: " + value);
            line.threshold = static_cast<uint64_t>(*bytes);
        } else if (name == L"rules") {
            std::vector<std::wstring> names;
            for (const auto& part : split(value, L';'))
                if (!trim(part).empty())
                    names.push_back(trim(part));
            if (names.empty())
                return failed(L"/rules names no entry: " + value);
            line.rules = std::move(names);
        } else if (name == L"review") {
            if (!iequals(value, L"skip") && !iequals(value, L"all"))
                return failed(L"/review takes skip or all: " + value);
            line.reviewAll = iequals(value, L"all");
        } else {
            return failed(L"Unknown switch: " + arg);
        }
    }
    if (std::find(seen.begin(), seen.end(), L"?") != seen.end() && seen.size() > 1)
        return failed(L"/? stands alone");
    if (line.mode == RunMode::Window && !args.empty())
        return failed(L"Say /analyze or /clean");
    // Named rules run in their category: alone, or among the categories named.
    if (line.rules) {
        constexpr int kRules = kStoreApplicationRules;
        if (!line.categories)
            line.categories = std::vector<int>{kRules};
        else if (std::find(line.categories->begin(), line.categories->end(), kRules) == line.categories->end())
            return failed(L"/rules goes with the category Application rules");
    }
    if (line.threshold && line.mode != RunMode::Analyze)
        return failed(L"/threshold goes with /analyze");
    return line;
}

} // namespace sorvane

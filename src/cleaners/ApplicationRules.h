#pragma once
// The Application rules category: the entries of the rule files beside the
// program that the user ticked (rules.sol), each planned against the disk
// and the registry now and removed through the deletion engine and the
// registry layer.
#include "cleaners/AppRules.h"
#include "core/FileSearch.h"
#include "core/RunState.h"
#include "platform/PinnedPath.h"
#include "platform/Registry.h"

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace sorvane {

inline constexpr int kStoreApplicationRules = 19;
inline constexpr const wchar_t* kTickedRulesFile = L"rules.sol";
// The rule files: every *.ini in this folder beside the program, and
// winapp2.ini beside the program.
inline constexpr const wchar_t* kRulesFolder = L"Rules";
inline constexpr const wchar_t* kRuleFileBesideProgram = L"winapp2.ini";

struct LoadedRules {
    RuleEnvironment env;
    std::vector<AppRule> rules;  // every entry of every file, refused ones too
    // What kept a file from being read ("Rules\\x.ini: <why>").
    std::vector<std::wstring> problems;
    // Lower-case name to the first entry of that name.
    std::unordered_map<std::wstring, size_t> index;
    const AppRule* find(std::wstring_view name) const;
};
// Reads and prepares every rule file.
LoadedRules loadApplicationRules();

// The names ticked in rules.sol, one per line.
std::vector<std::wstring> loadTickedRules();
void saveTickedRules(const std::vector<std::wstring>& names);
// Set by the command line's /rules: the entries of this run instead of
// the ticked ones.
std::optional<std::vector<std::wstring>>& rulesForThisRun();

// What one entry would remove now.
struct RulePlan {
    std::vector<FoundEntry> files;     // path and size
    std::vector<std::wstring> folders; // REMOVESELF: removed when empty, deepest first
    std::vector<RegItem> keys;
    std::wstring refused;              // found on the disk: nothing of the entry runs
    // The folders the files lie in, held from the drive down so that none of
    // them can be renamed or made a link until the files are gone.
    std::vector<PinnedPath> held;
};
RulePlan planRule(const AppRule& rule, const RuleEnvironment& env, FileSearch& search);
// The plan as the preview lists it: files with their sizes, then keys.
std::vector<FoundEntry> previewEntries(const RulePlan& plan);
// Registry items as the preview and an analysis name them.
std::vector<FoundEntry> keyEntries(const std::vector<RegItem>& keys);

} // namespace sorvane

#pragma once
// Application rules: cleaning entries in the community's winapp2.ini format,
// read from the files the user puts beside the program. Others wrote them, so
// each entry is read whole or not at all, its paths and keys are resolved to
// what they would touch on this machine, and a linter refuses every entry
// whose reach is too wide before anything runs.
#include <windows.h>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace sorvane {

// "FileKeyN=<folder>|<masks>[|RECURSE][|REMOVESELF]", resolved: one per
// folder the path stands for (%ProgramFiles% stands for both).
struct RuleFileKey {
    std::wstring folder;              // full path, no trailing backslash; may hold * and ? in its parts
    std::vector<std::wstring> masks;  // "*.log"
    bool recurse = false;
    bool removeSelf = false;          // implies recurse
};

// "RegKeyN=<key>[|<value>]".
struct RuleRegKey {
    HKEY root = nullptr;
    std::wstring key;  // below the root, no trailing backslash
    bool hasValue = false;
    std::wstring value;
};

// "ExcludeKeyN=FILE|<folder>|<masks>" (files directly in the folder, or
// "FILE|<file>"), "PATH|<folder>[|<masks>]" (everything below the folder,
// or the files matching), "REG|<key>[|<value>]".
struct RuleExclusion {
    enum Kind { File, Path, Reg };
    Kind kind = File;
    std::wstring folder;              // File and Path: full path, no trailing backslash
    std::vector<std::wstring> masks;  // empty: every file
    RuleRegKey reg;                   // Reg
};

struct AppRule {
    std::wstring name;     // between the brackets, a trailing " *" dropped
    std::wstring section;  // Section, or the name LangSecRef stands for
    std::wstring warning;
    std::wstring source;   // the rule file's name
    bool defaultOn = false;
    // As written; resolved on use.
    std::vector<std::wstring> detectKeys, detectFiles, specialDetect;
    std::wstring detectOS;
    std::vector<std::wstring> fileKeyTexts, regKeyTexts, excludeTexts;
    // Resolved by prepareRule.
    std::vector<RuleFileKey> files;
    std::vector<RuleRegKey> keys;
    std::vector<RuleExclusion> exclusions;
    // Why the entry never runs; empty when it may.
    std::wstring refused;
};

// What the rules are resolved against: the folders the format's variables
// stand for, the folders no rule may sweep, the program folders.
struct RuleEnvironment {
    // Lower-case variable name without %, to its folders (no trailing backslash).
    std::map<std::wstring, std::vector<std::wstring>> variables;
    // Variables of the user's own folders that lie outside the user's
    // profile (lower case, no %): a path that uses one is refused.
    std::set<std::wstring> outsideProfile;
    // Lower case, no trailing backslash: no file directly in them goes by
    // "*", "*.*" or a recursive rule, and none of them is removed.
    std::vector<std::wstring> sweptNever;
    // Lower case: no mask that matches programs runs below these.
    std::vector<std::wstring> programFolders;
    // The browsers found ("Google Chrome", "Mozilla Firefox", ...).
    std::vector<std::wstring> browsers;
    bool thunderbird = false;
    // The kernel's version (10.0 on Windows 10 and 11).
    DWORD major = 0, minor = 0;
    // Network drives, by letter, as asked once.
    mutable std::map<wchar_t, bool> remoteDrive;

    // This machine and the user the program runs for.
    static RuleEnvironment current();
};

// The entries of one rule file's text, refused ones included. `source`
// names the file in the window.
std::vector<AppRule> parseRuleText(std::wstring_view text, const std::wstring& source);
// Resolves the entry's paths and keys and applies the linter; sets `refused`.
void prepareRule(AppRule& rule, const RuleEnvironment& env);
// Whether the entry's detection holds on this machine now.
bool ruleDetected(const AppRule& rule, const RuleEnvironment& env);

// The names of the extensions a rule may never remove.
bool isProgramName(std::wstring_view name);
// The linter's verdict on one resolved folder; empty when it may be cleaned.
std::wstring lintFolder(const RuleFileKey& key, const RuleEnvironment& env);
// The linter's verdict on one registry key or value.
std::wstring lintRegKey(const RuleRegKey& key);
// "HKEY_CURRENT_USER\Software\Foo" or with "|value".
std::wstring regKeyText(const RuleRegKey& key);

// Folders whose parts may hold * and ?, expanded against the disk: each
// existing folder that matches, links never entered.
std::vector<std::wstring> expandFolderPattern(const std::wstring& pattern);
// Whether a path matches a folder pattern part by part; both lower case.
bool folderPatternMatches(std::wstring_view pattern, std::wstring_view path);

} // namespace sorvane

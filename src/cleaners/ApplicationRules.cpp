// The Application rules category: reading the rule files without following
// a link, planning each ticked entry against the disk and the registry, and
// removing through the deletion engine and the registry layer.
#include "cleaners/ApplicationRules.h"

#include "cleaners/Cleaners.h"
#include "platform/AppFolder.h"
#include "platform/ErrorReport.h"
#include "platform/PinnedPath.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "store/ListFiles.h"
#include "store/RegistryUndo.h"
#include "win/UniqueHandle.h"

#include <algorithm>
#include <unordered_set>

namespace sorvane {

namespace {

// winapp2.ini is a few megabytes; anything far larger is no rule file.
constexpr DWORD kMaxRuleFileBytes = 64u * 1024 * 1024;

std::wstring decodeRuleText(const std::string& bytes)
{
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::wstring text((bytes.size() - 2) / 2, L'\0');
        memcpy(text.data(), bytes.data() + 2, text.size() * sizeof(wchar_t));
        return text;
    }
    std::string_view body(bytes);
    if (body.size() >= 3 && body.substr(0, 3) == "\xEF\xBB\xBF")
        body.remove_prefix(3);
    // UTF-8 when it is valid UTF-8, the ANSI code page otherwise.
    if (body.empty())
        return L"";
    const bool utf8 = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, body.data(), static_cast<int>(body.size()),
                                          nullptr, 0) > 0;
    return utf8 ? fromUtf8(body) : fromAnsi(body);
}

// Reads one rule file inside `within`, never through a link.
std::optional<std::wstring> readRuleFile(const std::wstring& path, const std::wstring& within, std::wstring& why)
{
    auto pinned = PinnedPath::open(path, within, PinnedPath::Kind::File, why);
    if (!pinned)
        return std::nullopt;
    win::UniqueFile file = pinned->reopenForReading();
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size)) {
        why = L"it cannot be read";
        return std::nullopt;
    }
    if (size.QuadPart > kMaxRuleFileBytes) {
        why = L"it is too large to be a rule file";
        return std::nullopt;
    }
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!bytes.empty() && !ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) {
        why = win32Message(GetLastError());
        return std::nullopt;
    }
    bytes.resize(got);
    return decodeRuleText(bytes);
}

void addFile(LoadedRules& loaded, const std::wstring& path, const std::wstring& within, const std::wstring& shown)
{
    std::wstring why;
    const auto text = readRuleFile(path, within, why);
    if (!text) {
        loaded.problems.push_back(shown + L": not read: " + why);
        return;
    }
    for (auto& rule : parseRuleText(*text, shown))
        loaded.rules.push_back(std::move(rule));
}

std::wstring lowerParent(const std::wstring& lowerPath, std::wstring* name = nullptr)
{
    const size_t slash = lowerPath.find_last_of(L'\\');
    if (name)
        *name = lowerPath.substr(slash + 1);
    return lowerPath.substr(0, slash);
}

// Whether `path` is the folder the pattern names or lies below it.
bool withinPattern(std::wstring_view pattern, std::wstring_view path)
{
    const size_t parts = static_cast<size_t>(std::count(pattern.begin(), pattern.end(), L'\\')) + 1;
    size_t at = 0;
    for (size_t i = 0; i < parts; ++i) {
        at = path.find(L'\\', at + (i ? 1 : 0));
        if (at == std::wstring_view::npos) {
            return i + 1 == parts && folderPatternMatches(pattern, path);
        }
    }
    return folderPatternMatches(pattern, path.substr(0, at));
}

bool nameMatches(const std::vector<std::wstring>& masks, const std::wstring& lowerName)
{
    return masks.empty() || std::any_of(masks.begin(), masks.end(), [&](const std::wstring& m) {
               return wildcardMatch(maskPattern(m), lowerName);
           });
}

bool excludedFile(const std::wstring& path, const std::vector<RuleExclusion>& exclusions)
{
    std::wstring name;
    const std::wstring lower = toLower(path);
    const std::wstring parent = lowerParent(lower, &name);
    for (const auto& ex : exclusions) {
        if (ex.kind == RuleExclusion::Reg || !nameMatches(ex.masks, name))
            continue;
        const std::wstring folder = toLower(ex.folder);
        if (ex.kind == RuleExclusion::File ? folderPatternMatches(folder, parent) : withinPattern(folder, parent))
            return true;
    }
    return false;
}

// A folder REMOVESELF may remove: not one an exclusion keeps, nor one that
// holds such a folder.
bool folderMayGo(const std::wstring& folder, const std::vector<RuleExclusion>& exclusions)
{
    const std::wstring lower = toLower(folder);
    for (const auto& ex : exclusions) {
        if (ex.kind != RuleExclusion::Path)
            continue;
        const std::wstring kept = toLower(ex.folder);
        if (withinPattern(kept, lower) || withinPattern(lower + L"\\*", kept) || folderPatternMatches(kept, lower))
            return false;
    }
    return true;
}

struct RealExclusion {
    HKEY root;
    std::wstring path;  // real name, lower case
    bool hasValue;
    std::wstring value;
};

bool underKey(const std::wstring& lowerPath, const std::wstring& lowerKey)
{
    return lowerPath.size() > lowerKey.size() && lowerPath.compare(0, lowerKey.size(), lowerKey) == 0 &&
           lowerPath[lowerKey.size()] == L'\\';
}

// The items that remove a key and all below it except what the exclusions keep.
void keyItems(HKEY root, const std::wstring& path, const std::vector<RealExclusion>& exclusions,
              std::vector<RegItem>& out, int depth)
{
    const std::wstring lower = toLower(path);
    bool splits = false;
    for (const auto& ex : exclusions) {
        if (ex.root != root)
            continue;
        if (ex.path == lower && !ex.hasValue)
            return;  // kept whole
        if (ex.path == lower || underKey(ex.path, lower))
            splits = true;
    }
    if (!splits) {
        out.push_back({root, path, RegItem::Tree, L""});
        return;
    }
    if (depth > 64)
        return;  // too deep to take apart: kept
    for (const auto& name : getAllValueNames(root, path)) {
        const bool kept = std::any_of(exclusions.begin(), exclusions.end(), [&](const RealExclusion& ex) {
            return ex.root == root && ex.path == lower && ex.hasValue && iequals(ex.value, name);
        });
        if (!kept)
            out.push_back({root, path, RegItem::Value, name});
    }
    for (const auto& sub : getRegSubkeyNames(root, path))
        keyItems(root, path + L"\\" + sub, exclusions, out, depth + 1);
}

// The exclusions, each folder written by a short alias also by its long
// name: the files are found under whichever name their key gives.
std::vector<RuleExclusion> withLongNames(const std::vector<RuleExclusion>& exclusions)
{
    std::vector<RuleExclusion> out = exclusions;
    for (const auto& ex : exclusions) {
        if (ex.kind == RuleExclusion::Reg || ex.folder.find_first_of(L"*?") != std::wstring::npos)
            continue;
        const std::wstring longName = longPathOf(ex.folder);
        if (!iequals(longName, ex.folder)) {
            out.push_back(ex);
            out.back().folder = longName;
        }
    }
    return out;
}

} // namespace

const AppRule* LoadedRules::find(std::wstring_view name) const
{
    const auto found = index.find(toLower(name));
    return found == index.end() ? nullptr : &rules[found->second];
}

LoadedRules loadApplicationRules()
{
    LoadedRules loaded;
    loaded.env = RuleEnvironment::current();
    const std::wstring home = appFolder();
    const std::wstring folder = home + L"\\" + kRulesFolder;
    if (PinnedPath::anythingAt(folder)) {
        std::wstring why;
        // The folder itself must be the program's own, not a link to one a
        // stranger fills.
        if (auto pinned = PinnedPath::open(folder, home, PinnedPath::Kind::Folder, why)) {
            std::vector<std::wstring> names;
            WIN32_FIND_DATAW fd{};
            win::UniqueFind find(FindFirstFileExW(apiPath(folder + L"\\*.ini").c_str(), FindExInfoBasic, &fd,
                                                  FindExSearchNameMatch, nullptr, 0));
            if (find) {
                do {
                    if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && iendsWith(fd.cFileName, L".ini"))
                        names.push_back(fd.cFileName);
                } while (FindNextFileW(find.get(), &fd));
            }
            std::sort(names.begin(), names.end(), [](const auto& a, const auto& b) { return toLower(a) < toLower(b); });
            for (const auto& name : names)
                addFile(loaded, folder + L"\\" + name, folder, std::wstring(kRulesFolder) + L"\\" + name);
        } else {
            loaded.problems.push_back(std::wstring(kRulesFolder) + L": not read: " + why);
        }
    }
    const std::wstring beside = home + L"\\" + kRuleFileBesideProgram;
    if (PinnedPath::anythingAt(beside))
        addFile(loaded, beside, home, kRuleFileBesideProgram);
    // Names must be unique over all the files, as they are in one; the
    // first entry of a name is the one the name finds.
    for (size_t i = 0; i < loaded.rules.size(); ++i) {
        AppRule& rule = loaded.rules[i];
        if (rule.name.empty())
            continue;
        if (!loaded.index.emplace(toLower(rule.name), i).second && rule.refused.empty())
            rule.refused = L"an earlier entry has the same name";
    }
    for (auto& rule : loaded.rules)
        prepareRule(rule, loaded.env);
    return loaded;
}

std::vector<std::wstring> loadTickedRules()
{
    auto lines = readNonEmptyLines(appFile(kTickedRulesFile));
    return lines ? std::move(*lines) : std::vector<std::wstring>{};
}

void saveTickedRules(const std::vector<std::wstring>& names) { saveListFile(appFile(kTickedRulesFile), names); }

std::optional<std::vector<std::wstring>>& rulesForThisRun()
{
    static std::optional<std::vector<std::wstring>> names;
    return names;
}

RulePlan planRule(const AppRule& rule, const RuleEnvironment& env, FileSearch& search)
{
    RulePlan plan;
    if (!rule.refused.empty()) {
        plan.refused = rule.refused;
        return plan;
    }
    const std::vector<RuleExclusion> fileExclusions = withLongNames(rule.exclusions);
    // Each file once, though two keys of the entry reach it.
    std::unordered_set<std::wstring> seenFiles;
    for (const RuleFileKey& key : rule.files) {
        for (const std::wstring& folder : expandFolderPattern(key.folder)) {
            RuleFileKey concrete = key;
            concrete.folder = folder;
            // What a wildcard reached is linted as if written out.
            if (std::wstring lint = lintFolder(concrete, env); !lint.empty()) {
                plan.refused = lint;
                return plan;
            }
            std::wstring why;
            auto pinned = PinnedPath::open(folder, folder.substr(0, 2) + L"\\", PinnedPath::Kind::Folder, why);
            if (!pinned) {
                plan.refused = folder + L": " + why;
                return plan;
            }
            // Linted again, and searched, by the long name the system gives
            // each part: "DOCUME~1" is Documents, and an exclusion written
            // by the long name holds for a key written by the alias.
            const std::wstring real = pinned->finalPath();
            concrete.folder = real;
            if (std::wstring lint = lintFolder(concrete, env); !lint.empty()) {
                plan.refused = lint;
                return plan;
            }
            plan.held.push_back(std::move(*pinned));
            std::vector<std::wstring> files;
            std::vector<uint64_t> sizes;
            if (key.recurse) {
                search.clearFoundLists();
                search.searchFiles(real + L"\\", L"*", kSearchAll);
                files = search.strFoundFiles();
                sizes = search.foundFileSizes();
                if (key.removeSelf) {
                    for (const auto& sub : search.strFoundFolders())
                        if (folderMayGo(trimmedKey(sub), fileExclusions))
                            plan.folders.push_back(trimmedKey(sub));
                    if (folderMayGo(real, fileExclusions))
                        plan.folders.push_back(real);
                }
            } else {
                for (const auto& name : filesInFolder(real + L"\\", L"*")) {
                    files.push_back(real + L"\\" + name);
                    sizes.push_back(fileLength(files.back()));
                }
            }
            for (size_t i = 0; i < files.size(); ++i) {
                std::wstring name;
                lowerParent(toLower(files[i]), &name);
                if (!nameMatches(key.masks, name) || excludedFile(files[i], fileExclusions))
                    continue;
                if (isProgramName(name)) {
                    plan.refused = L"it would remove the program or library " + files[i];
                    return plan;
                }
                if (!seenFiles.insert(toLower(files[i])).second)
                    continue;
                plan.files.push_back({files[i], i < sizes.size() ? sizes[i] : 0});
            }
        }
    }
    // Deepest first, each once, so a folder is empty when its turn comes.
    std::sort(plan.folders.begin(), plan.folders.end(), [](const auto& a, const auto& b) {
        return a.size() != b.size() ? a.size() > b.size() : a < b;
    });
    plan.folders.erase(std::unique(plan.folders.begin(), plan.folders.end()), plan.folders.end());

    std::vector<RealExclusion> exclusions;
    for (const auto& ex : rule.exclusions)
        if (ex.kind == RuleExclusion::Reg)
            for (const RealKey& real : keyInBothViews(ex.reg.root, ex.reg.key))
                exclusions.push_back({real.root, toLower(real.path), ex.reg.hasValue, ex.reg.value});
    for (const RuleRegKey& key : rule.keys) {
        for (const RealKey& real : keyInBothViews(key.root, key.key)) {
            if (foreignLinkOnTheWay(real.root, real.path)) {
                plan.refused = L"a registry link is on the way to " + keyText(real);
                return plan;
            }
            if (!key.hasValue) {
                keyItems(real.root, real.path, exclusions, plan.keys, 0);
                continue;
            }
            const std::wstring lower = toLower(real.path);
            const bool kept = std::any_of(exclusions.begin(), exclusions.end(), [&](const RealExclusion& ex) {
                return ex.root == real.root && (ex.path == lower || underKey(lower, ex.path)) &&
                       (!ex.hasValue || iequals(ex.value, key.value));
            });
            if (!kept && regValueExists(real.root, real.path, key.value))
                plan.keys.push_back({real.root, real.path, RegItem::Value, key.value});
        }
    }
    // A tree kept whole by an exclusion above it stays too.
    plan.keys.erase(std::remove_if(plan.keys.begin(), plan.keys.end(),
                                   [&](const RegItem& item) {
                                       const std::wstring lower = toLower(item.key);
                                       return std::any_of(exclusions.begin(), exclusions.end(),
                                                          [&](const RealExclusion& ex) {
                                                              return ex.root == item.root && !ex.hasValue &&
                                                                     underKey(lower, ex.path);
                                                          });
                                   }),
                    plan.keys.end());
    return plan;
}

std::vector<FoundEntry> keyEntries(const std::vector<RegItem>& keys)
{
    std::vector<FoundEntry> entries;
    for (const auto& item : keys)
        entries.push_back({keyText(RealKey{item.root, item.key}) +
                               (item.kind == RegItem::Value ? L"\\" + item.value : std::wstring()),
                           0});
    return entries;
}

std::vector<FoundEntry> previewEntries(const RulePlan& plan)
{
    std::vector<FoundEntry> entries = plan.files;
    for (auto& entry : keyEntries(plan.keys))
        entries.push_back(std::move(entry));
    return entries;
}

void cleanApplicationRules(CleanerContext& ctx, bool)
{
    ctx.ui.startOperation(kStoreApplicationRules);
    ctx.ui.setStatus(L"Reading the application rules");
    const LoadedRules loaded = loadApplicationRules();
    // Every file that could not be read, and every refused entry, once.
    for (const auto& problem : loaded.problems) {
        ctx.run.strLog += L"Rule file " + problem + L"\r\n";
        ctx.run.keptLog.push_back(L"Rule file " + problem);
    }
    for (const auto& rule : loaded.rules)
        if (!rule.refused.empty())
            ctx.run.strLog += L"Refused rule " + rule.name + L": " + rule.refused + L"\r\n";
    const bool named = rulesForThisRun().has_value();
    const std::vector<std::wstring> wanted = named ? *rulesForThisRun() : loadTickedRules();
    const auto skip = [&](const std::wstring& name, const std::wstring& why) {
        // The run's report names it among what the category left.
        ctx.run.keptLog.push_back(L"Rule " + name + L": " + why);
    };
    for (const std::wstring& name : wanted) {
        if (ctx.run.bAbort)
            break;
        const AppRule* rule = loaded.find(name);
        if (!rule) {
            ctx.run.strLog += L"Skipped rule " + name + L": no rule file holds it\r\n";
            skip(name, L"no rule file holds it");
            continue;
        }
        if (!rule->refused.empty()) {
            skip(rule->name, L"refused: " + rule->refused);
            continue;
        }
        if (!ruleDetected(*rule, loaded.env)) {
            // A ticked entry whose program went is passed over; one named on
            // the command line is reported.
            if (named) {
                ctx.run.strLog += L"Skipped rule " + rule->name + L": not detected on this machine\r\n";
                skip(rule->name, L"not detected on this machine");
            }
            continue;
        }
        ctx.ui.setStatus(rule->name);
        RulePlan plan = planRule(*rule, loaded.env, ctx.search);
        if (ctx.run.bAbort)
            break;
        if (!plan.refused.empty()) {
            ctx.run.strLog += L"Refused rule " + rule->name + L": " + plan.refused + L"\r\n";
            skip(rule->name, L"refused: " + plan.refused);
            continue;
        }
        ctx.run.lngFCOunt = 0;
        ctx.run.dblFSize = 0;
        if (ctx.run.analyzing)
            ctx.run.beginRow(rule->name, true);
        for (const auto& file : plan.files) {
            if (ctx.run.bAbort)
                break;
            ctx.deletion.deleteCounted(file.what, file.bytes);
        }
        // Files waiting for their backup entries go before their folders,
        // which are let go so that REMOVESELF can remove them.
        ctx.deletion.flushBackups();
        plan.held.clear();
        // One at a time, deepest first: each is empty when its turn comes.
        for (const auto& folder : plan.folders)
            ctx.deletion.deleteFolders({folder});
        size_t keysGone = 0;
        std::wstring keptLines;
        if (!plan.keys.empty() && !ctx.run.bAbort) {
            if (ctx.run.analyzing) {
                for (const auto& entry : keyEntries(plan.keys))
                    ctx.run.found(entry.what, 0);
            } else {
                // Every key a rule removes can be merged back from its undo file.
                const std::wstring& chosen = ctx.deletion.settings().strBackupPath;
                const RegBackup backup = backUpAndDeleteRegistry(
                    L"ApplicationRules", plan.keys, chosen.empty() ? appFolder() + L"\\Backup\\" : chosen);
                if (backup.failed)
                    keptLines += L"Kept the registry keys of " + rule->name +
                                 L": they could not be saved to an undo file in the backup folder\r\n";
                for (const auto& left : backup.leftInPlace)
                    keptLines += L"Kept " + left + L": its name cannot be saved for undo\r\n";
                for (const auto& stayed : backup.stayed)
                    keptLines += L"Kept " + stayed + L"\r\n";
                keysGone = static_cast<size_t>(std::count(backup.itemDeleted.begin(), backup.itemDeleted.end(), true));
                ctx.run.otherRemoved += static_cast<int64_t>(keysGone);
            }
        }
        if (!ctx.run.analyzing && (ctx.run.lngFCOunt > 0 || keysGone > 0))
            appendCountedLine(ctx.run, L"Cleaned " + rule->name + L"....");
        ctx.run.strLog += keptLines;
        appendKeptLines(ctx);
    }
    if (ctx.run.bAbort) {
        discardRunArchive(ctx.run);
        ctx.ui.stopOperation(L"Aborted by User");
        return;
    }
    ctx.ui.stopOperation(L"");
}

} // namespace sorvane

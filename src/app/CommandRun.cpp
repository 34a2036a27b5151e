#include "app/CommandRun.h"

#include "cleaners/ApplicationRules.h"

#include "app/CleanRun.h"
#include "core/Categories.h"
#include "platform/AppFolder.h"
#include "platform/Json.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "store/ListFiles.h"
#include "store/Policy.h"
#include "store/Settings.h"
#include "store/StartupSettings.h"

#include <algorithm>
#include <ctime>

namespace sorvane {

namespace {

constexpr size_t kSummaryLimit = 2048;  // what Intune keeps of a script's output

// The window's side of a run, for nobody: every question gets the answer
// that keeps the files, an error is noted, review lists are removed only
// when the command line said so.
class QuietHost : public RunHost {
public:
    QuietHost(RunState& run, std::vector<int> stores, bool reviewAll)
        : m_run(run), m_stores(std::move(stores)), m_reviewAll(reviewAll) {}

    std::vector<std::wstring> errors;
    std::vector<AnalysisRow> analysis;

    void setStatus(const std::wstring&) override {}
    void setProgressMax(int64_t) override {}
    void setProgress(int64_t) override {}
    int messageBox(const std::wstring& text, unsigned flags) override
    {
        if ((flags & MB_ICONMASK) == MB_ICONERROR)
            errors.push_back(text);
        switch (flags & MB_TYPEMASK) {
        case MB_OKCANCEL:
        case MB_RETRYCANCEL: return IDCANCEL;
        case MB_YESNO:
        case MB_YESNOCANCEL: return IDNO;
        case MB_ABORTRETRYIGNORE: return IDABORT;
        default: return IDOK;
        }
    }
    void pumpMessages() override
    {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    }
    void startOperation(int) override {}
    void stopOperation(const std::wstring&) override {}
    void addReviewRow(const ReviewRow& row) override { m_rows.push_back(row); }
    void discardReviewRows() override { m_rows.clear(); }
    void showReviewWindow(const ReviewTools& tools) override
    {
        for (const auto& row : m_rows) {
            const std::wstring path = row.folder + row.name;
            if (m_reviewAll)
                tools.deletion.deleteCounted(path, row.size);
            else
                m_run.keptLog.push_back(path + L": left for review (/review:skip)");
        }
        tools.deletion.flushBackups();
        m_rows.clear();
    }
    bool isCategoryChecked(int store) override
    {
        return std::find(m_stores.begin(), m_stores.end(), store) != m_stores.end();
    }
    void setCheckMark(int, bool) override {}
    void setAnimation(int16_t) override {}
    void setRunControls(bool) override {}
    void showLog(const std::wstring&) override {}
    void showAnalysis(const std::vector<AnalysisRow>& rows) override { analysis = rows; }

private:
    RunState& m_run;
    std::vector<int> m_stores;
    bool m_reviewAll;
    std::vector<ReviewRow> m_rows;
};

std::wstring isoNow()
{
    SYSTEMTIME t{};
    GetSystemTime(&t);
    wchar_t buf[32];
    swprintf(buf, 32, L"%04u-%02u-%02uT%02u:%02u:%02uZ", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    return buf;
}

std::vector<int> tickedStores()
{
    CategoryStates states{};
    loadCheckItems(appFile(L"checkItems.sol"), states, L"CommandLine,categories");
    std::vector<int> stores;
    for (const auto& c : kCategories)
        if (states[static_cast<size_t>(c.store)] == 1)
            stores.push_back(c.store);
    return stores;
}

struct Totals {
    int64_t items = 0, removed = 0, skipped = 0;
    uint64_t bytes = 0, freed = 0;
};

// The report, and the figures the summary line and the exit code need.
std::string report(const CommandLine& line, const RunState& run, const QuietHost& host, const std::wstring& started,
                   const std::vector<std::pair<wchar_t, uint64_t>>& before, int16_t method, int exitCode,
                   Totals& totals)
{
    JsonWriter w;
    w.beginObject();
    w.key("version").value(int64_t{1});
    w.key("mode").value(line.mode == RunMode::Analyze ? L"analyze" : L"clean");
    w.key("started").value(started);
    w.key("finished").value(isoNow());
    const wchar_t letters[] = {L'?', L'D', L'R', L'W', L'B'};
    w.key("method").value(std::wstring(1, method >= 1 && method <= 4 ? letters[method] : L'?'));
    w.key("categories").beginArray();
    if (line.mode == RunMode::Analyze) {
        for (const auto& row : host.analysis) {
            if (row.part)
                continue;
            w.beginObject().key("name").value(row.name).key("items").value(row.items).key("bytes").value(row.bytes);
            w.key("removed").value(int64_t{0}).key("freed").value(uint64_t{0});
            w.key("skipped").beginArray().endArray().endObject();
            totals.items += row.items;
            totals.bytes += row.bytes;
        }
    } else {
        for (const auto& outcome : run.outcomes) {
            const auto skipped = static_cast<int64_t>(outcome.skipped.size());
            w.beginObject().key("name").value(kCategories[static_cast<size_t>(outcome.store)].caption);
            w.key("items").value(outcome.removed + skipped).key("bytes").value(outcome.freed);
            w.key("removed").value(outcome.removed).key("freed").value(outcome.freed);
            w.key("skipped").beginArray();
            for (const auto& [path, reason] : outcome.skipped)
                w.beginObject().key("path").value(path).key("reason").value(reason).endObject();
            w.endArray().endObject();
            totals.items += outcome.removed + skipped;
            totals.removed += outcome.removed;
            totals.skipped += skipped;
            totals.bytes += outcome.freed;
            totals.freed += outcome.freed;
        }
    }
    w.endArray();
    w.key("drives").beginArray();
    for (const auto& [letter, free] : before) {
        const auto after = freeSpaceOf(letter);
        w.beginObject().key("drive").value(std::wstring(1, letter) + L":");
        w.key("freeBefore").value(free).key("freeAfter").value(after ? *after : free).endObject();
    }
    w.endArray();
    w.key("exitCode").value(static_cast<int64_t>(exitCode));
    w.key("errors").beginArray();
    for (const auto& e : host.errors)
        w.value(e);
    w.endArray();
    w.endObject();
    return w.text();
}

// A run refused before it began still leaves its report, when one was
// asked for: nothing done, and why.
void writeRefusal(const CommandLine& line, const std::wstring& why)
{
    if (line.json.empty())
        return;
    const std::wstring now = isoNow();
    JsonWriter w;
    w.beginObject().key("version").value(int64_t{1});
    w.key("mode").value(line.mode == RunMode::Analyze ? L"analyze" : L"clean");
    w.key("started").value(now).key("finished").value(now);
    w.key("categories").beginArray().endArray().key("drives").beginArray().endArray();
    w.key("exitCode").value(int64_t{kExitRefused});
    w.key("errors").beginArray().value(why).endArray().endObject();
    try {
        writeNewFileBytes(line.json, w.text());
    } catch (...) {
        // The summary line still says why; the exit code says refused.
    }
}

CommandResult refused(const CommandLine& line, std::wstring summary)
{
    writeRefusal(line, summary);
    return {kExitRefused, std::move(summary)};
}

} // namespace

CommandResult runCommandLine(const CommandLine& line)
{
    CommandResult result;
    const wchar_t* verb = line.mode == RunMode::Analyze ? L"analyze" : L"clean";
    RunLock lock;
    if (!lock.held())
        return refused(line, std::wstring(L"Sorvane ") + verb + L": another clean is running; nothing was done.");
    // The machine's policy refuses a method or a category it forbids before
    // anything is touched; the categories ticked in the window lose those
    // it disables.
    const MachinePolicy policy = readMachinePolicy();
    const int16_t stored = deleteMethodFromText(readSetting(L"General", L"DelMethod", L"D", kWideSettingChars));
    if (!policy.methodAllowed(line.method ? *line.method : stored))
        return refused(line, std::wstring(L"Sorvane ") + verb + L": " +
                                 (line.method ? L"this delete method" : L"the delete method in Settings.ini") +
                                 L" is not allowed by your administrator; nothing was done.");
    // Every entry named must be in a rule file before anything is touched.
    if (line.rules) {
        const LoadedRules loaded = loadApplicationRules();
        for (const auto& name : *line.rules)
            if (!loaded.find(name)) {
                result.exitCode = kExitBadLine;
                result.summary = L"Sorvane: no rule file holds the entry \"" + name + L"\"; nothing was done.";
                return result;
            }
    }
    // The names hold for this run only.
    struct RulesOfThisRun {
        explicit RulesOfThisRun(const std::optional<std::vector<std::wstring>>& names) { rulesForThisRun() = names; }
        ~RulesOfThisRun() { rulesForThisRun().reset(); }
    } rulesOfThisRun(line.rules);
    std::vector<int> stores;
    for (const int store : line.categories ? *line.categories : tickedStores()) {
        const wchar_t* caption = kCategories[static_cast<size_t>(store)].caption;
        if (!policy.categoryDisabled(caption)) {
            stores.push_back(store);
        } else if (line.categories) {
            return refused(line, std::wstring(L"Sorvane ") + verb + L": the category \"" + caption +
                                     L"\" is not allowed by your administrator; nothing was done.");
        }
    }
    if (stores.empty()) {
        result.exitCode = kExitBadLine;
        result.summary = L"Sorvane: no category is ticked; name them with /categories:.";
        return result;
    }
    RunState& run = runState();
    QuietHost host(run, stores, line.reviewAll);
    DeleteSettings settings = getDelete();
    if (line.method)
        settings.intDelMethod = *line.method;
    FileSearch search(host, run);
    search.loadAll();
    CleanRun clean(host, run, search, settings);
    const std::wstring started = isoNow();
    const auto before = localDrivesFreeSpace();
    if (line.mode == RunMode::Analyze)
        clean.analyze();
    else
        clean.fullRun();

    // The exit code needs the totals, and the report its exit code: the
    // figures first, then the report with the code they give.
    Totals totals;
    report(line, run, host, started, before, settings.intDelMethod, kExitDone, totals);
    if (!host.errors.empty())
        result.exitCode = kExitFailed;
    else if (line.mode == RunMode::Analyze)
        result.exitCode = line.threshold && totals.bytes >= *line.threshold ? kExitThreshold : kExitDone;
    else
        result.exitCode = totals.skipped > 0 || run.bLocked ? kExitSkipped : kExitDone;
    totals = {};
    const std::string json = report(line, run, host, started, before, settings.intDelMethod, result.exitCode, totals);
    std::wstring reportNote;
    if (!line.json.empty()) {
        try {
            writeNewFileBytes(line.json, json);
        } catch (...) {
            result.exitCode = kExitFailed;
            reportNote = L"; the report could not be written to " + line.json;
        }
    }
    if (line.mode == RunMode::Analyze)
        result.summary = L"Sorvane analyze: " + std::to_wstring(totals.items) + L" items, " +
                         std::to_wstring(totals.bytes) + L" bytes";
    else
        result.summary = L"Sorvane clean: " + std::to_wstring(totals.removed) + L" removed, " +
                         std::to_wstring(totals.freed) + L" bytes freed, " + std::to_wstring(totals.skipped) +
                         L" skipped";
    for (const auto& e : host.errors)
        result.summary += L"; " + e;
    result.summary += reportNote + L"; exit " + std::to_wstring(result.exitCode);
    for (auto& c : result.summary)
        if (c == L'\r' || c == L'\n')
            c = L' ';
    if (result.summary.size() > kSummaryLimit)
        result.summary.resize(kSummaryLimit);
    return result;
}

void tellConsole(const std::wstring& text)
{
    // The output the starting program gave (a pipe or a file, as a script
    // runner gives it) first; otherwise the console of its window.
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    bool owned = false;
    if (!out || out == INVALID_HANDLE_VALUE) {
        if (!AttachConsole(ATTACH_PARENT_PROCESS))
            return;
        out = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (out == INVALID_HANDLE_VALUE)
            return;
        owned = true;
    }
    const std::wstring lineText = text + L"\r\n";
    DWORD mode = 0, written = 0;
    if (GetConsoleMode(out, &mode)) {
        WriteConsoleW(out, lineText.c_str(), static_cast<DWORD>(lineText.size()), &written, nullptr);
    } else {
        const std::string bytes = toUtf8(lineText);
        WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
    if (owned)
        CloseHandle(out);
}

} // namespace sorvane

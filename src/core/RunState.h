#pragma once
// The state of the clean run that every cleaner shares. One run at a time,
// on the user-interface thread.
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

namespace sorvane {

// What an analysis found one thing a clean would remove: a file, a registry
// value, the rows of a database, a handler's space.
struct FoundEntry {
    std::wstring what;
    uint64_t bytes = 0;
};

// One row of an analysis: a category, or one item of the category row above
// it (`part`), with what a clean would remove now.
struct AnalysisRow {
    std::wstring name;
    bool part = false;
    int64_t items = 0;
    uint64_t bytes = 0;
    std::vector<FoundEntry> entries;
};

// What one category of a run did, for a report: things removed (files,
// values, rows), bytes freed, and what it left with the reason.
struct CategoryOutcome {
    int store = 0;
    int64_t removed = 0;
    uint64_t freed = 0;
    std::vector<std::pair<std::wstring, std::wstring>> skipped;  // path, reason
};

struct RunState {
    int16_t bAbort = 0;   // 0 or -1: stop requested
    int16_t bLocked = 0;  // 0 or -1: a file could not be removed
    // Counts and byte totals are 64-bit: a 3 GiB file counts as 3 GiB.
    int64_t lngTotalFiles = 0;
    uint64_t dblTotalSize = 0;
    int64_t lngBackedUp = 0;
    std::wstring strLog;
    std::wstring strArchiveDrive;
    // Counters of the category now running.
    int64_t lngFCOunt = 0;
    uint64_t dblFSize = 0;
    // Folders a cleaner was pointed at (or came across) that are protected:
    // skipped, and named in the log after the cleaner's line.
    std::vector<std::wstring> protectedSkips;
    // Files left in place for a reason worth telling ("path: why"), named in
    // the log after the cleaner's line.
    std::vector<std::wstring> keptFiles;
    // The first failure of a backup archive in this run, and the drives
    // whose files therefore stay where they are for the rest of the run.
    std::wstring backupFailure;
    bool backupFailureLogged = false;
    std::wstring backupFailedDrives;
    // The drives the run removed or changed a file on ("CD"), each once, and
    // the free space of every local drive when the run started.
    std::wstring touchedDrives;
    std::vector<std::pair<wchar_t, uint64_t>> freeAtStart;
    // An analysis: every cleaner decides as in a clean, and records what it
    // would remove in the last row instead of changing anything.
    // Registry values and database rows removed: the log's lines name
    // them, the file totals do not count them.
    int64_t otherRemoved = 0;
    // Everything the run left so far ("path: why": a kept file, a running
    // browser's profile, a handler stopped or not trusted), and each
    // category's outcome.
    std::vector<std::wstring> keptLog;
    std::vector<CategoryOutcome> outcomes;
    bool analyzing = false;
    std::vector<AnalysisRow> analysis;
    // The files recorded so far (lowercase): a file that an earlier category
    // would remove is not there any more for a later one.
    std::unordered_set<std::wstring> analyzedFiles;

    void reset() { *this = RunState{}; }
    // One removed file, counted for the category and the run.
    void count(uint64_t bytes)
    {
        ++lngTotalFiles;
        dblTotalSize += bytes;
        ++lngFCOunt;
        dblFSize += bytes;
    }
    void count(uint64_t files, uint64_t bytes)
    {
        lngTotalFiles += static_cast<int64_t>(files);
        dblTotalSize += bytes;
        lngFCOunt += static_cast<int64_t>(files);
        dblFSize += bytes;
    }
    bool aborted() const noexcept { return bAbort != 0; }
    // Records, in an analysis, what a clean would remove: `items` things of
    // `bytes` bytes in all, under the name `what`.
    void found(std::wstring what, uint64_t bytes, int64_t items = 1);
    // Opens the row that what is found next goes into.
    void beginRow(std::wstring name, bool part);
    // The same for a file; false, and nothing recorded, when an earlier
    // category of the analysis already took it.
    bool foundFile(const std::wstring& path, uint64_t bytes);
    // Notes the drive of a full path ("C:\\..." or "\\\\?\\C:\\...").
    void touch(std::wstring_view path);
};

RunState& runState();

// After a stop: the backup archive in use is completed and kept when it holds
// any entry, removed when it holds none; a file kept because its copy was
// refused counts as one that could not be removed.
void discardRunArchive(RunState& run);

} // namespace sorvane

#pragma once
// The clean run: the ticked categories in their fixed order, the totals, and
// the summary that ends in the log window.
#include "core/Deletion.h"
#include "core/EngineUi.h"
#include "core/FileSearch.h"
#include "core/RunState.h"
#include "store/StartupSettings.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace sorvane {

// "1.5" for 1536 bytes: kilobytes rounded to two decimals (halves to even),
// with the locale's decimal separator and no trailing zeros.
std::wstring formatKilobytes(uint64_t bytes, wchar_t decimalSeparator);
wchar_t localeDecimalSeparator();
// The closing lines of the log (after the header and the cleaners' lines).
std::wstring summaryTail(const RunState& run, wchar_t decimalSeparator);

// One run at a time on the machine, the window's and the command line's.
// The lock is the owning thread's as often as it takes it.
class RunLock {
public:
    RunLock();
    ~RunLock();
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;
    bool held() const noexcept { return m_held; }

private:
    HANDLE m_mutex = nullptr;
    bool m_held = false;
};

class CleanRun {
public:
    CleanRun(RunHost& host, RunState& run, FileSearch& search, const DeleteSettings& settings)
        : m_host(host), m_run(run), m_search(search), m_settings(settings) {}

    // Every ticked category in run order (the Clean button).
    void fullRun();
    // Every ticked category in run order, changing nothing: what a clean
    // would remove is measured and shown (the Analyze button).
    void analyze();
    // The one category whose right-click menu caption was chosen.
    void singleRun(const std::wstring& popupCaption);
    bool running() const noexcept { return m_running; }

private:
    class IdleAtEnd;
    void runCategory(int store, bool runAlone);
    // The check marks hidden; false, after `question` was shown, when no
    // category is ticked.
    bool anyTicked(const wchar_t* tag, const wchar_t* question);
    // True, after telling the user, when another run holds the machine's lock.
    bool refusedFor(const RunLock& lock);
    // Completes every archive of the run; a failure not yet in the log
    // (the last flush or the central directory) gets its "Backup failed: " line.
    void finishArchives();
    std::wstring buildLog(const std::wstring& header) const;

    RunHost& m_host;
    RunState& m_run;
    FileSearch& m_search;
    const DeleteSettings& m_settings;
    bool m_running = false;
};

} // namespace sorvane

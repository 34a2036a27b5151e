#include "app/CleanRun.h"

#include "cleaners/Cleaners.h"
#include "core/Categories.h"
#include "platform/ErrorReport.h"
#include "platform/SystemPaths.h"
#include "store/BackupArchive.h"

#include <cmath>

namespace sorvane {

namespace {

constexpr const wchar_t* kAnotherRun = L"Another clean is running on this computer. Try again when it has finished.";

// Marks a run in progress for its whole length, whatever way it ends.
class RunningFlag {
public:
    explicit RunningFlag(bool& flag) : m_flag(flag) { m_flag = true; }
    ~RunningFlag() { m_flag = false; }

private:
    bool& m_flag;
};

} // namespace

RunLock::RunLock()
{
    // Machine-wide where the system lets the program name it so.
    m_mutex = CreateMutexW(nullptr, FALSE, L"Global\\Sorvane.Run");
    if (!m_mutex)
        m_mutex = CreateMutexW(nullptr, FALSE, L"Local\\Sorvane.Run");
    if (!m_mutex)
        return;
    const DWORD wait = WaitForSingleObject(m_mutex, 0);
    m_held = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
}

RunLock::~RunLock()
{
    if (m_held)
        ReleaseMutex(m_mutex);
    if (m_mutex)
        CloseHandle(m_mutex);
}

wchar_t localeDecimalSeparator()
{
    wchar_t sep[8] = {};
    return GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, sep, 8) > 1 ? sep[0] : L'.';
}

std::wstring formatKilobytes(uint64_t bytes, wchar_t decimalSeparator)
{
    const double hundredths = std::nearbyint(static_cast<double>(bytes) / 1024.0 * 100.0);
    const auto whole = static_cast<unsigned long long>(hundredths / 100.0);
    const auto fraction = static_cast<unsigned>(hundredths - static_cast<double>(whole) * 100.0);
    std::wstring text = std::to_wstring(whole);
    if (fraction != 0) {
        text += decimalSeparator;
        text += static_cast<wchar_t>(L'0' + fraction / 10);
        if (fraction % 10 != 0)
            text += static_cast<wchar_t>(L'0' + fraction % 10);
    }
    return text;
}

std::wstring summaryTail(const RunState& run, wchar_t decimalSeparator)
{
    std::wstring s = L"\r\n\r\nTotal Files Deleted:  " + std::to_wstring(run.lngTotalFiles) +
                     L"  Files   Total Space Gained  " + formatKilobytes(run.dblTotalSize, decimalSeparator) + L"  KB";
    if (run.lngBackedUp > 0)
        s += L"\r\nBacked Up " + std::to_wstring(run.lngBackedUp) + L" files(s)";
    if (run.bLocked)
        s += L"\r\n\r\nSome files were not deleted because they were locked";
    return s;
}

namespace {

// What each drive the run removed or changed files on got back, as the
// volume measures it: a file in the Recycle Bin or in an archive on the same
// drive frees nothing.
std::wstring freeSpaceLines(const RunState& run)
{
    std::wstring lines;
    for (const auto& [letter, before] : run.freeAtStart) {
        if (run.touchedDrives.find(letter) == std::wstring::npos)
            continue;
        const auto after = freeSpaceOf(letter);
        if (!after)
            continue;
        const long long gained = static_cast<long long>(*after) - static_cast<long long>(before);
        lines += L"\r\nFree space on " + std::wstring(1, letter) + L": " + std::to_wstring(before) + L" -> " +
                 std::to_wstring(*after) + L" bytes (" + std::to_wstring(gained) + L" gained)";
    }
    return lines;
}

} // namespace

std::wstring CleanRun::buildLog(const std::wstring& header) const
{
    return header + formatGeneralDate(localNow()) + L"\r\n\r\n" + m_run.strLog +
           summaryTail(m_run, localeDecimalSeparator()) + freeSpaceLines(m_run);
}

void CleanRun::finishArchives()
{
    const std::wstring failure = finishBackupArchive();
    if (failure.empty() || m_run.backupFailureLogged)
        return;
    if (m_run.backupFailure.empty())
        m_run.backupFailure = failure;
    m_run.strLog += L"Backup failed: " + m_run.backupFailure + L"\r\n";
    m_run.backupFailureLogged = true;
}

void CleanRun::runCategory(int store, bool runAlone)
{
    const int64_t files = m_run.lngTotalFiles, others = m_run.otherRemoved;
    const uint64_t bytes = m_run.dblTotalSize;
    const size_t kept = m_run.keptLog.size();
    {
        DeletionEngine deletion(m_host, m_run, m_settings);
        m_search.setBackupFolder(m_settings.strBackupPath);
        CleanerContext ctx{m_host, m_run, m_search, deletion, [this](int s) { return m_host.isCategoryChecked(s); }};
        runCleaner(ctx, store, runAlone);
    }
    // What the category did, for a report; the engine has flushed (and
    // counted) its backups by now.
    CategoryOutcome outcome;
    outcome.store = store;
    outcome.removed = (m_run.lngTotalFiles - files) + (m_run.otherRemoved - others);
    outcome.freed = m_run.dblTotalSize - bytes;
    for (size_t i = kept; i < m_run.keptLog.size(); ++i) {
        const std::wstring& line = m_run.keptLog[i];
        const size_t split = line.find(L": ", 2);
        outcome.skipped.emplace_back(line.substr(0, split),
                                     split == std::wstring::npos ? std::wstring() : line.substr(split + 2));
    }
    m_run.outcomes.push_back(std::move(outcome));
}

// Whatever a run meets, it ends with the window idle: Clean and the menus
// back, Stop off, no animation.
class CleanRun::IdleAtEnd {
public:
    IdleAtEnd(RunHost& host, const wchar_t* tag) : m_host(host), m_tag(tag) {}
    ~IdleAtEnd()
    {
        // The archive of the last drive gets its central directory.
        step(m_tag, [&] { finishBackupArchive(); });
        step(m_tag, [&] { m_host.setAnimation(0); });
        step(m_tag, [&] { m_host.setRunControls(false); });
    }

private:
    RunHost& m_host;
    const wchar_t* m_tag;
};

bool CleanRun::refusedFor(const RunLock& lock)
{
    if (lock.held())
        return false;
    m_host.messageBox(kAnotherRun, MB_OK | MB_ICONINFORMATION);
    return true;
}

bool CleanRun::anyTicked(const wchar_t* tag, const wchar_t* question)
{
    step(tag, [&] {
        for (const auto& c : kCategories)
            m_host.setCheckMark(c.store, false);
    });
    bool any = false;
    step(tag, [&] {
        for (const auto& c : kCategories)
            any = any || m_host.isCategoryChecked(c.store);
    });
    if (!any)
        step(tag, [&] { m_host.messageBox(question, MB_OK | MB_ICONINFORMATION); });
    return any;
}

void CleanRun::fullRun()
{
    if (m_running)
        return;
    RunLock lock;
    if (refusedFor(lock))
        return;
    // Each step of the driver that fails is reported and the next one runs.
    constexpr const wchar_t* tag = L"frmMain,cmdClean_Click";
    if (!anyTicked(tag, L"Please select at least one item to clean."))
        return;
    RunningFlag flag(m_running);
    IdleAtEnd idle(m_host, tag);
    step(tag, [&] { m_host.setAnimation(1); });
    step(tag, [&] { m_host.setRunControls(true); });
    m_run.reset();
    step(tag, [&] { m_run.freeAtStart = localDrivesFreeSpace(); });
    step(tag, [&] { m_host.setStatus(L"Working"); });
    for (int store : kRunOrder) {
        step(tag, [&] {
            if (m_host.isCategoryChecked(store))
                runCategory(store, false);
        });
        if (m_run.bAbort) {
            step(tag, [&] { discardRunArchive(m_run); });
            step(tag, [&] { m_host.stopOperation(L"Aborted by user"); });
            // The review list's Abort does not pass through the Stop button:
            // the window goes idle in any case (see IdleAtEnd).
            step(tag, [&] { m_host.setStatus(L"Aborted by user"); });
            return;
        }
        step(tag, [&] {
            if (m_host.isCategoryChecked(store))
                m_host.setCheckMark(store, true);
        });
    }
    step(tag, [&] { m_host.setAnimation(0); });
    step(tag, [&] { m_host.setRunControls(false); });
    // Every archive of the run is complete before the user sees the log.
    step(tag, [&] { finishArchives(); });
    if (!m_run.bAbort)
        step(tag, [&] { m_host.showLog(buildLog(L"Sorvane : ")); });
    step(tag, [&] { m_host.setStatus(L"Ready"); });
}

void CleanRun::analyze()
{
    if (m_running)
        return;
    RunLock lock;
    if (refusedFor(lock))
        return;
    constexpr const wchar_t* tag = L"frmMain,cmdAnalyze_Click";
    if (!anyTicked(tag, L"Please select at least one item to analyze."))
        return;
    RunningFlag flag(m_running);
    IdleAtEnd idle(m_host, tag);
    m_run.reset();
    // Whatever way the analysis ends, the next deletion deletes again.
    struct Analyzing {
        RunState& run;
        explicit Analyzing(RunState& r) : run(r) { run.analyzing = true; }
        ~Analyzing() { run.analyzing = false; }
    } analyzing(m_run);
    step(tag, [&] { m_host.setAnimation(1); });
    step(tag, [&] { m_host.setRunControls(true); });
    step(tag, [&] { m_host.setStatus(L"Analyzing"); });
    for (int store : kRunOrder) {
        step(tag, [&] {
            if (!m_host.isCategoryChecked(store))
                return;
            const size_t at = m_run.analysis.size();
            m_run.beginRow(kCategories[static_cast<size_t>(store)].caption, false);
            runCategory(store, false);
            // A category of items (Windows cleanup) sums its items' rows.
            for (size_t i = at + 1; i < m_run.analysis.size(); ++i) {
                m_run.analysis[at].items += m_run.analysis[i].items;
                m_run.analysis[at].bytes += m_run.analysis[i].bytes;
            }
            m_host.setCheckMark(store, !m_run.bAbort);
        });
        if (m_run.bAbort) {
            step(tag, [&] { m_host.stopOperation(L"Aborted by user"); });
            step(tag, [&] { m_host.setStatus(L"Aborted by user"); });
            return;
        }
    }
    step(tag, [&] { m_host.setAnimation(0); });
    step(tag, [&] { m_host.setRunControls(false); });
    step(tag, [&] { m_host.setStatus(L"Ready"); });
    step(tag, [&] { m_host.showAnalysis(m_run.analysis); });
}

void CleanRun::singleRun(const std::wstring& popupCaption)
{
    if (m_running)
        return;
    RunLock lock;
    if (refusedFor(lock))
        return;
    constexpr const wchar_t* tag = L"frmMain,mnuPopup_Ciick";
    RunningFlag flag(m_running);
    IdleAtEnd idle(m_host, tag);
    step(tag, [&] { m_host.setRunControls(true); });
    m_run.reset();
    step(tag, [&] { m_run.freeAtStart = localDrivesFreeSpace(); });
    step(tag, [&] { m_host.setStatus(L"Working"); });
    for (const auto& c : kCategories) {
        if (popupCaption != c.popup)
            continue;
        bool confirmed = true;
        if (c.store == 13)
            step(tag, [&] {
                confirmed = m_host.messageBox(L"Are you sure you want to delete Favorites?",
                                              MB_OKCANCEL | MB_ICONQUESTION) == IDOK;
            });
        if (confirmed)
            step(tag, [&] { runCategory(c.store, true); });
        break;
    }
    step(tag, [&] { m_host.setRunControls(false); });
    step(tag, [&] { finishArchives(); });
    if (!m_run.bAbort)
        step(tag, [&] { m_host.showLog(buildLog(L"Sorvane Log : ")); });
    step(tag, [&] { m_host.setStatus(L"Ready"); });
}

} // namespace sorvane

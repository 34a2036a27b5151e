#pragma once
// The state of the clean run that every cleaner shares. One run at a time,
// on the user-interface thread.
#include <cstdint>
#include <string>

namespace sorvane {

struct RunState {
    int16_t bAbort = 0;   // 0 or -1: stop requested
    int16_t bLocked = 0;  // 0 or -1: a file could not be removed
    int64_t lngTotalFiles = 0;
    double dblTotalSize = 0;
    int64_t lngBackedUp = 0;
    std::wstring strLog;
    std::wstring strArchiveDrive;
    // Counters of the category now running.
    int64_t lngFCOunt = 0;
    double dblFSize = 0;

    void reset() { *this = RunState{}; }
    bool aborted() const noexcept { return bAbort != 0; }
};

RunState& runState();

} // namespace sorvane

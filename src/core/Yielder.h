#pragma once
// Time-sliced yielding for long loops: the message loop runs at most once per
// slice, so a walk of a large tree is not dominated by message pumping while
// Stop and repaints stay responsive.
#include "core/EngineUi.h"
#include "core/RunState.h"

#include <windows.h>

namespace sorvane {

class Yielder {
public:
    static constexpr ULONGLONG kSliceMs = 15;

    Yielder(EngineUi& ui, RunState& run) : m_ui(ui), m_run(run), m_last(GetTickCount64()) {}

    // Pumps when a slice has passed; returns true when it did.
    bool poll()
    {
        const ULONGLONG now = GetTickCount64();
        if (now - m_last < kSliceMs)
            return false;
        pumpNow();
        return true;
    }
    // Pumps at once (before a step that blocks for a while).
    void pumpNow()
    {
        m_ui.pumpMessages();
        m_last = GetTickCount64();
    }
    bool aborted() const noexcept { return m_run.bAbort != 0; }

private:
    EngineUi& m_ui;
    RunState& m_run;
    ULONGLONG m_last;
};

} // namespace sorvane

#pragma once
// Time-sliced yielding for long loops: the message loop runs at most once per
// slice, so a walk of a large tree is not dominated by message pumping while
// Stop and repaints stay responsive.
#include <windows.h>

#include <cstdint>

namespace sorvane {

// Whatever lets the window's message loop run for a moment.
class MessagePump {
public:
    virtual ~MessagePump() = default;
    // Lets the message loop run so that Stop and repaints are served.
    virtual void pumpMessages() = 0;
};

class Yielder {
public:
    static constexpr ULONGLONG kSliceMs = 15;

    // `abortFlag` is non-zero once a stop was asked for.
    Yielder(MessagePump& pump, const int16_t& abortFlag) : m_pump(pump), m_abort(abortFlag), m_last(GetTickCount64()) {}

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
        m_pump.pumpMessages();
        m_last = GetTickCount64();
    }
    bool aborted() const noexcept { return m_abort != 0; }

    // Waits for `event` while the message loop runs once per slice; false
    // when a stop was asked for before it came. (Not woken by input: a pump
    // that leaves the queue as it is would make that a busy loop.)
    bool waitFor(HANDLE event)
    {
        for (;;) {
            if (aborted())
                return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
            if (WaitForSingleObject(event, static_cast<DWORD>(kSliceMs)) == WAIT_OBJECT_0)
                return true;
            pumpNow();
        }
    }

private:
    MessagePump& m_pump;
    const int16_t& m_abort;
    ULONGLONG m_last;
};

} // namespace sorvane

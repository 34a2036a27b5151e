#pragma once
#include "win/UniqueHandle.h"

namespace sorvane {

// Holds the named mutex that marks a running instance.
class SingleInstance {
public:
    SingleInstance();
    // True when another instance held the mutex first.
    bool anotherIsRunning() const noexcept { return m_another; }
    // Waits up to `ms` for the other instance to end (the program that
    // started an update restart is ending); true once this one is alone.
    bool waitUntilAlone(unsigned long ms);

private:
    win::UniqueHandleNull m_mutex;
    bool m_another = false;
};

// Brings the running instance's main window to the front. Returns true when
// that window was found (this process then ends).
bool activatePreviousInstance();

} // namespace sorvane

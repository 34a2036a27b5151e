#pragma once
#include "win/UniqueHandle.h"

namespace sorvane {

// Holds the named mutex that marks a running instance.
class SingleInstance {
public:
    SingleInstance();
    // True when another instance held the mutex first.
    bool anotherIsRunning() const noexcept { return m_another; }

private:
    win::UniqueHandleNull m_mutex;
    bool m_another = false;
};

// Brings the running instance's main window to the front. Returns true when
// that window was found (this process then ends).
bool activatePreviousInstance();

} // namespace sorvane

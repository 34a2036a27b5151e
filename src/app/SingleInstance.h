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
    // Lets the next start take over (this instance is ending).
    void release() { m_mutex.reset(); }

private:
    win::UniqueHandleNull m_mutex;
    bool m_another = false;
};

// Set on the main window as soon as it starts to close: a new start never
// hands over to it.
inline constexpr const wchar_t* kEndingProperty = L"Sorvane.Ending";

// Brings the running instance's main window to the front. Returns true when
// a window that is not closing was found (this process then ends).
bool activatePreviousInstance();

} // namespace sorvane

#pragma once

namespace sorvane {

// Dispatches the messages waiting in this thread's queue, so that windows
// repaint and buttons such as Stop are noticed during long work. True when a
// quit request came (it is left in the queue for the main loop).
bool doEvents() noexcept;

} // namespace sorvane

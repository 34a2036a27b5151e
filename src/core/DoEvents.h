#pragma once

namespace sorvane {

// Dispatches the messages waiting in this thread's queue, so that windows
// repaint and buttons such as Stop are noticed during long work.
void doEvents() noexcept;

} // namespace sorvane

#pragma once
#include <string>

namespace sorvane {

// The registry key that holds the update state and the installed version.
inline constexpr const wchar_t* kUpdateKey = L"Software\\Microsoft\\SorvaneMem";

// Start-up step of the self-update: completes an update that an earlier
// start began. Returns true when this process must end at once.
bool finishUpdate();

} // namespace sorvane

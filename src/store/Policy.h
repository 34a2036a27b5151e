#pragma once
// Machine policy, as Group Policy and Intune write it under
// HKEY_LOCAL_MACHINE\Software\Policies\Sorvane: which delete methods and
// categories may be used, the least age of the Windows cleanup files, and
// whether updates and error reports are off. A value that is missing (or of
// the wrong type) sets nothing.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sorvane {

inline constexpr const wchar_t* kPolicyKey = L"Software\\Policies\\Sorvane";
// Every value the program reads there (the policy template names the same).
inline constexpr std::array<const wchar_t*, 5> kPolicyValues = {
    L"AllowedMethods", L"DisabledCategories", L"MinAgeHours", L"DisableUpdate", L"DisableErrorReports"};
// What a control the policy holds says beside it.
inline constexpr const wchar_t* kSetByAdministrator = L"Set by your administrator";

struct MachinePolicy {
    std::wstring allowedMethods;  // letters D R W B, upper case; empty: every method
    std::vector<std::wstring> disabledCategories;  // captions
    std::optional<int> minAgeHours;
    bool disableUpdate = false;
    bool disableErrorReports = false;

    // `method` is a DeleteMethod.
    bool methodAllowed(int16_t method) const;
    bool categoryDisabled(std::wstring_view caption) const;
    // The first allowed of Recycle Bin, backup, delete, wipe; nullopt when
    // the policy allows none of them.
    std::optional<int16_t> firstAllowedMethod() const;
    bool anySet() const;
};

MachinePolicy readMachinePolicy();

} // namespace sorvane

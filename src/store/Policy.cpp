#include "store/Policy.h"

#include "platform/Registry.h"
#include "platform/Text.h"
#include "store/StartupSettings.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>

namespace sorvane {

namespace {

wchar_t letterOf(int16_t method)
{
    switch (method) {
    case kDelete: return L'D';
    case kRecycleBin: return L'R';
    case kWipe: return L'W';
    case kBackup: return L'B';
    default: return L'?';
    }
}

} // namespace

bool MachinePolicy::methodAllowed(int16_t method) const
{
    return allowedMethods.empty() || allowedMethods.find(letterOf(method)) != std::wstring::npos;
}

bool MachinePolicy::categoryDisabled(std::wstring_view caption) const
{
    return std::any_of(disabledCategories.begin(), disabledCategories.end(),
                       [&](const std::wstring& c) { return iequals(trim(c), caption); });
}

std::optional<int16_t> MachinePolicy::firstAllowedMethod() const
{
    for (const int16_t method : {kRecycleBin, kBackup, kDelete, kWipe})
        if (methodAllowed(method))
            return method;
    return std::nullopt;
}

bool MachinePolicy::anySet() const
{
    return !allowedMethods.empty() || !disabledCategories.empty() || minAgeHours || disableUpdate ||
           disableErrorReports;
}

MachinePolicy readMachinePolicy()
{
    MachinePolicy policy;
    // Letters the program knows, each once; anything else in the text is
    // ignored. A text with no known letter allows nothing.
    const std::wstring methods = getRegString(HKEY_LOCAL_MACHINE, kPolicyKey, L"AllowedMethods");
    if (!trim(methods).empty()) {
        for (const wchar_t c : methods) {
            const wchar_t up = static_cast<wchar_t>(towupper(c));
            if (std::wstring_view(L"DRWB").find(up) != std::wstring_view::npos &&
                policy.allowedMethods.find(up) == std::wstring::npos)
                policy.allowedMethods += up;
        }
        if (policy.allowedMethods.empty())
            policy.allowedMethods = L"-";  // set, and nothing allowed
    }
    policy.disabledCategories = getRegMultiString(HKEY_LOCAL_MACHINE, kPolicyKey, L"DisabledCategories");
    const long hours = getRegDword(HKEY_LOCAL_MACHINE, kPolicyKey, L"MinAgeHours");
    if (hours >= 0)
        policy.minAgeHours = static_cast<int>(std::min<long>(hours, 100000));
    policy.disableUpdate = getRegDword(HKEY_LOCAL_MACHINE, kPolicyKey, L"DisableUpdate") == 1;
    policy.disableErrorReports = getRegDword(HKEY_LOCAL_MACHINE, kPolicyKey, L"DisableErrorReports") == 1;
    return policy;
}

} // namespace sorvane

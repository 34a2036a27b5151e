#pragma once
// What the Windows cleanup tests plant: environment variables pointing at
// the test's folders, and cleanup handlers under VolumeCaches.
#include "cleaners/CleanupHandlers.h"
#include "support/RegTestSupport.h"

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testenv {

// Points the variables at folders of the test for its lifetime.
class ScopedVariables {
public:
    explicit ScopedVariables(const std::map<std::wstring, std::wstring>& values)
    {
        for (const auto& [name, value] : values) {
            wchar_t old[32768] = {};
            const DWORD n = GetEnvironmentVariableW(name.c_str(), old, 32768);
            m_saved.emplace_back(name, n ? std::optional<std::wstring>(old) : std::nullopt);
            SetEnvironmentVariableW(name.c_str(), value.c_str());
        }
    }
    ~ScopedVariables()
    {
        for (const auto& [name, value] : m_saved)
            SetEnvironmentVariableW(name.c_str(), value ? value->c_str() : nullptr);
    }

private:
    std::vector<std::pair<std::wstring, std::optional<std::wstring>>> m_saved;
};

// A handler under VolumeCaches and its class, made and removed by the test.
struct PlantedHandler {
    std::wstring subkey, clsid;
    PlantedHandler(std::wstring name, std::wstring id, HKEY classRoot, const std::wstring& server, DWORD priority)
        : subkey(std::move(name)), clsid(std::move(id)), m_classRoot(classRoot)
    {
        const std::wstring key = std::wstring(sorvane::kVolumeCachesKey) + L"\\" + subkey;
        setText(HKEY_LOCAL_MACHINE, key, L"", clsid);
        setText(HKEY_LOCAL_MACHINE, key, L"Display", L"Display of " + subkey);
        setText(HKEY_LOCAL_MACHINE, key, L"Description", L"Description of " + subkey);
        setDword(HKEY_LOCAL_MACHINE, key, L"Priority", priority);
        setDword(HKEY_LOCAL_MACHINE, key, L"StateFlags", 1);
        setText(classRoot, classKey(), L"", server, REG_EXPAND_SZ);
    }
    ~PlantedHandler()
    {
        removeKey(HKEY_LOCAL_MACHINE, std::wstring(sorvane::kVolumeCachesKey) + L"\\" + subkey);
        removeKey(m_classRoot, L"Software\\Classes\\CLSID\\" + clsid);
    }
    std::wstring classKey() const { return L"Software\\Classes\\CLSID\\" + clsid + L"\\InprocServer32"; }

private:
    HKEY m_classRoot;
};

} // namespace testenv

#include "tools/Scanners.h"

#include "core/ErrorReport.h"
#include "core/SystemPaths.h"
#include "core/Text.h"

#include <algorithm>

namespace sorvane {

bool pathExists(const std::wstring& path)
{
    if (path.empty() || pathTooLong(path))
        return false;
    return GetFileAttributesW(apiPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<ScanRow> FindInvalidActiveX(const ScanPoll& aborted)
{
    std::vector<ScanRow> rows;
    const std::wstring base = kActiveSetupKey;
    for (const auto& sub : getRegSubkeyNames(HKEY_LOCAL_MACHINE, base)) {
        if (aborted && aborted())
            break;
        step(L"frmInvalidActivex,FindInvalidActiveX", [&] {
            const std::wstring key = base + sub;
            const std::wstring name = getRegStringAny(HKEY_LOCAL_MACHINE, key, L"");
            if (name.empty())
                return;
            // Installed means the data's first unit is 1, as a REG_DWORD 1 gives.
            const std::wstring installed = getRegStringAny(HKEY_LOCAL_MACHINE, key, L"IsInstalled");
            if (!installed.empty() && installed[0] == 1)
                return;
            rows.push_back({name, L"False", getRegStringAny(HKEY_LOCAL_MACHINE, key, L"StubPath"), sub});
        });
    }
    return rows;
}

std::vector<ScanRow> FindInvalidApp()
{
    std::vector<ScanRow> rows;
    for (const auto& sub : getRegSubkeyNames(HKEY_LOCAL_MACHINE, kAppPathsKey)) {
        step(L"frmInvalidAppPath,FindInvalidApp", [&] {
            std::wstring path = getRegStringAny(HKEY_LOCAL_MACHINE, std::wstring(kAppPathsKey) + L"\\" + sub, L"");
            if (path.empty() || path.find(L'%') != std::wstring::npos)
                return;
            std::erase(path, L'"');
            if (!pathExists(path))
                rows.push_back({sub, path});
        });
    }
    return rows;
}

DllScan FindOrphanedDLL(const std::function<bool(size_t, size_t)>& poll)
{
    DllScan scan;
    const std::wstring joined = getRegValueNames(HKEY_LOCAL_MACHINE, kSharedDllsKey);
    if (joined.empty())
        return scan;
    const auto names = split(joined, L'\0');
    for (size_t i = 0; i < names.size(); ++i) {
        if (poll && poll(i + 1, names.size())) {
            scan.aborted = true;
            return scan;
        }
        if (getRegDword(HKEY_LOCAL_MACHINE, kSharedDllsKey, names[i]) == 0 && !pathExists(names[i]))
            scan.rows.push_back({L"0", names[i]});
    }
    scan.names = names.size();
    return scan;
}

std::vector<ScanRow> FindInvalidHelp(const wchar_t* key, const ScanPoll& aborted)
{
    std::vector<ScanRow> rows;
    try {
        const std::wstring joined = getRegValueNames(HKEY_LOCAL_MACHINE, key);
        if (joined.empty())
            return rows;
        for (const auto& name : split(joined, L'\0')) {
            if (aborted && aborted())
                break;
            std::wstring folder = getRegStringAny(HKEY_LOCAL_MACHINE, key, name);
            if (folder.empty())
                continue;
            if (folder.back() != L'\\')
                folder += L'\\';
            if (!pathExists(folder + name))
                rows.push_back({name, folder, key});
        }
    } catch (...) {
        // A failing step ends the scan of this key silently.
    }
    return rows;
}

std::wstring activeXStatus(size_t orphans) { return std::to_wstring(orphans) + L" orphaned Activex entries"; }

std::wstring appPathStatus(size_t rows, size_t orphans)
{
    return std::to_wstring(rows) + L" entries, " + std::to_wstring(orphans) + L" orphaned";
}

std::wstring dllStatus(size_t entries, size_t rows)
{
    return std::to_wstring(entries) + L" entries, " + std::to_wstring(rows) + L" with zero usage count";
}

std::wstring helpStatus(size_t orphans) { return std::to_wstring(orphans) + L" orphaned Help file entries"; }

} // namespace sorvane

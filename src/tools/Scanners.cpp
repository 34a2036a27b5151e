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
    const RegReader components(HKEY_LOCAL_MACHINE, base);
    for (const auto& sub : components.subkeyNames()) {
        if (aborted && aborted())
            break;
        step(L"frmInvalidActivex,FindInvalidActiveX", [&] {
            const RegReader key(components, sub);
            const std::wstring name = key.stringAny(L"");
            if (name.empty())
                return;
            // Installed means the data's first unit is 1, as a REG_DWORD 1 gives.
            const std::wstring installed = key.stringAny(L"IsInstalled");
            if (!installed.empty() && installed[0] == 1)
                return;
            rows.push_back({name, L"False", key.stringAny(L"StubPath"), sub});
        });
    }
    return rows;
}

std::vector<ScanRow> FindInvalidApp()
{
    std::vector<ScanRow> rows;
    const RegReader apps(HKEY_LOCAL_MACHINE, kAppPathsKey);
    for (const auto& sub : apps.subkeyNames()) {
        step(L"frmInvalidAppPath,FindInvalidApp", [&] {
            std::wstring path = RegReader(apps, sub).stringAny(L"");
            if (path.empty() || path.find(L'%') != std::wstring::npos)
                return;
            std::erase(path, L'"');
            if (!pathExists(path))
                rows.push_back({sub, path});
        });
    }
    return rows;
}

DllScan FindOrphanedDLL(const std::function<bool(size_t, size_t)>& poll, const std::function<void(const ScanRow&)>& onRow)
{
    DllScan scan;
    // Value by value, so the message loop runs from the first one on.
    const RegReader dlls(HKEY_LOCAL_MACHINE, kSharedDllsKey);
    const size_t total = dlls.valueCount();
    std::wstring name;
    long count = 0;
    unsigned i = 0;
    for (; dlls.dwordValueAt(i, name, count); ++i) {
        if (poll && poll(i + 1, std::max<size_t>(total, i + 1))) {
            scan.aborted = true;
            return scan;
        }
        if (count == 0 && !pathExists(name)) {
            scan.rows.push_back({L"0", name});
            if (onRow)
                onRow(scan.rows.back());
        }
    }
    scan.names = i;
    return scan;
}

std::vector<ScanRow> FindInvalidHelp(const wchar_t* key, const ScanPoll& aborted)
{
    std::vector<ScanRow> rows;
    try {
        const std::wstring joined = getRegValueNames(HKEY_LOCAL_MACHINE, key);
        if (joined.empty())
            return rows;
        const RegReader reader(HKEY_LOCAL_MACHINE, key);
        for (const auto& name : split(joined, L'\0')) {
            if (aborted && aborted())
                break;
            std::wstring folder = reader.stringAny(name);
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

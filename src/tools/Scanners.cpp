#include "tools/Scanners.h"

#include "platform/ErrorReport.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"

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
    for (const auto& base : keyPathsInBothViews(HKEY_LOCAL_MACHINE, kActiveSetupKey)) {
        const RegReader components(HKEY_LOCAL_MACHINE, base);
        for (const auto& sub : components.subkeyNames()) {
            if (aborted && aborted())
                return rows;
            step(L"frmInvalidActivex,FindInvalidActiveX", [&] {
                const RegReader key(components, sub);
                const std::wstring name = key.stringAny(L"");
                if (name.empty())
                    return;
                // Installed means the data's first byte is 1, as a REG_DWORD 1 gives.
                if (key.firstByte(L"IsInstalled") == 1)
                    return;
                rows.push_back({name, L"False", key.stringAny(L"StubPath"), sub, base + sub});
            });
        }
    }
    return rows;
}

std::vector<ScanRow> FindInvalidApp()
{
    std::vector<ScanRow> rows;
    for (const auto& base : keyPathsInBothViews(HKEY_LOCAL_MACHINE, kAppPathsKey)) {
        const RegReader apps(HKEY_LOCAL_MACHINE, base);
        for (const auto& sub : apps.subkeyNames()) {
            step(L"frmInvalidAppPath,FindInvalidApp", [&] {
                std::wstring path = RegReader(apps, sub).stringAny(L"");
                if (path.empty() || path.find(L'%') != std::wstring::npos)
                    return;
                std::erase(path, L'"');
                if (!pathExists(path))
                    rows.push_back({sub, path, base + L"\\" + sub});
            });
        }
    }
    return rows;
}

DllScan FindOrphanedDLL(const std::function<bool(size_t, size_t)>& poll, const std::function<void(ScanRow)>& onRow)
{
    DllScan scan;
    const std::vector<std::wstring> views = keyPathsInBothViews(HKEY_LOCAL_MACHINE, kSharedDllsKey);
    size_t total = 0;
    for (const auto& view : views)
        total += RegReader(HKEY_LOCAL_MACHINE, view).valueCount();
    // Value by value, so the message loop runs from the first one on.
    std::wstring name;
    long count = 0;
    size_t position = 0;
    for (const auto& view : views) {
        const RegReader dlls(HKEY_LOCAL_MACHINE, view);
        for (unsigned i = 0; dlls.dwordValueAt(i, name, count); ++i) {
            if (poll && poll(position + 1, std::max<size_t>(total, position + 1))) {
                scan.aborted = true;
                return scan;
            }
            ++position;
            if (count == 0 && !pathExists(name)) {
                if (onRow)
                    onRow({L"0", name, view});
                else
                    scan.rows.push_back({L"0", name, view});
            }
        }
    }
    scan.names = position;
    return scan;
}

std::vector<ScanRow> FindInvalidHelp(const wchar_t* key, const ScanPoll& aborted)
{
    std::vector<ScanRow> rows;
    for (const auto& view : keyPathsInBothViews(HKEY_LOCAL_MACHINE, key)) {
        try {
            const RegReader reader(HKEY_LOCAL_MACHINE, view);
            for (const auto& name : getAllValueNames(HKEY_LOCAL_MACHINE, view)) {
                if (aborted && aborted())
                    return rows;
                std::wstring folder = reader.stringAny(name);
                if (folder.empty())
                    continue;
                if (folder.back() != L'\\')
                    folder += L'\\';
                if (!pathExists(folder + name))
                    rows.push_back({name, folder, view});
            }
        } catch (...) {
            // A failing step ends the scan of this key silently.
        }
    }
    return rows;
}

bool InvalidReferenceWalk::judged(std::wstring_view data, std::wstring_view drives)
{
    if (data.size() < 3)
        return false;
    // The drive test is exact: "c:\" is not "C:\".
    if (drives.find(data.substr(0, 3)) == std::wstring_view::npos)
        return false;
    return data.find_first_of(L"-\"/,") == std::wstring_view::npos;
}

void InvalidReferenceWalk::scanRoot(HKEY root, const std::wstring& prefix, const std::wstring& startPath)
{
    rootPrefix = prefix;
    keyPath.clear();
    if (startPath.empty()) {
        // The whole root by real names: the 32-bit view's keys are walked
        // where they live, under Wow6432Node.
        scanKey(root, L"");
        return;
    }
    const std::vector<std::wstring> views = keyPathsInBothViews(root, startPath);
    for (size_t v = 0; v < views.size() && !m_stopped; ++v) {
        std::wstring start = views[v];
        if (start.back() != L'\\')
            start += L'\\';
        // A view's key that lies below another's is walked with it.
        const bool inside = std::any_of(views.begin(), views.end(), [&](const std::wstring& other) {
            std::wstring o = other;
            if (o.back() != L'\\')
                o += L'\\';
            return o != start && start.size() > o.size() && istartsWith(start, o);
        });
        HKEY key = nullptr;
        if (inside || RegOpenKeyExW(root, start.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
            continue;
        scanKey(key, start);
        RegCloseKey(key);
        keyPath.clear();
    }
}

void InvalidReferenceWalk::scanKey(HKEY key, const std::wstring& name)
{
    if (m_stopped)
        return;
    const size_t before = keyPath.size();
    keyPath += name;
    if (m_poll && m_poll(rootPrefix + keyPath)) {
        m_stopped = true;
        keyPath.resize(before);
        return;
    }
    checkValues(key);
    std::wstring sub(260, L'\0');
    for (DWORD index = 0; !m_stopped; ++index) {
        DWORD chars = 260;
        if (RegEnumKeyExW(key, index, sub.data(), &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        HKEY child = nullptr;
        const std::wstring childName(sub.data(), chars);
        // A link is entered as itself, never followed: its target is walked
        // where it lives, and a link back up cannot loop.
        if (RegOpenKeyExW(key, childName.c_str(), REG_OPTION_OPEN_LINK, KEY_READ | KEY_WOW64_64KEY, &child) !=
            ERROR_SUCCESS)
            continue;  // no access: skipped
        scanKey(child, childName + L"\\");
        RegCloseKey(child);
    }
    keyPath.resize(before);
}

void InvalidReferenceWalk::checkValues(HKEY key)
{
    std::wstring& name = m_name;
    std::wstring& data = m_data;
    for (DWORD index = 0;; ++index) {
        DWORD chars = 16384, type = 0;
        DWORD bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
        const LONG rc =
            RegEnumValueW(key, index, name.data(), &chars, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &bytes);
        if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA)
            break;
        // Data longer than the read buffer reads as empty and is skipped.
        if (rc == ERROR_MORE_DATA)
            continue;
        // The text up to its first NUL, judged where it lies.
        const std::wstring_view read(data.data(), std::min<size_t>((bytes + 1) / sizeof(wchar_t), data.size()));
        const std::wstring_view text = read.substr(0, read.find(L'\0'));
        if (!judged(text, m_drives) || pathExists(std::wstring(text)))
            continue;
        if (m_onRow)
            m_onRow({rootPrefix + keyPath, std::wstring(name.data(), chars), std::wstring(text)});
    }
}

std::wstring invalidStatus(size_t rows) { return std::to_wstring(rows) + L" Invalid references"; }

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

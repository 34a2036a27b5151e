#include "core/RunState.h"

#include "platform/Text.h"
#include "store/BackupArchive.h"

#include <cwctype>

namespace sorvane {

RunState& runState()
{
    static RunState state;
    return state;
}

void RunState::touch(std::wstring_view path)
{
    if (path.rfind(L"\\\\?\\", 0) == 0)
        path.remove_prefix(4);
    if (path.size() < 2 || path[1] != L':' || !iswalpha(path[0]))
        return;
    const wchar_t letter = towupper(path[0]);
    if (touchedDrives.find(letter) == std::wstring::npos)
        touchedDrives += letter;
}

void RunState::found(std::wstring what, uint64_t bytes, int64_t items)
{
    if (analysis.empty())
        analysis.push_back({});
    AnalysisRow& row = analysis.back();
    row.items += items;
    row.bytes += bytes;
    row.entries.push_back({std::move(what), bytes});
}

void RunState::beginRow(std::wstring name, bool part)
{
    AnalysisRow row;
    row.name = std::move(name);
    row.part = part;
    analysis.push_back(std::move(row));
}

bool RunState::foundFile(const std::wstring& path, uint64_t bytes)
{
    if (!analyzedFiles.insert(toLower(path)).second)
        return false;
    found(path, bytes);
    return true;
}

void discardRunArchive(RunState& run)
{
    if (discardBackupArchive())
        run.bLocked = -1;
}

} // namespace sorvane

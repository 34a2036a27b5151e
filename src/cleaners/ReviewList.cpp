#include "cleaners/ReviewList.h"

#include "platform/SystemPaths.h"

#include <windows.h>

#include <algorithm>
#include <unordered_set>

namespace sorvane {

void ReviewList::selectAll()
{
    for (auto& item : m_items)
        item.checked = true;
}

void ReviewList::deselectAll()
{
    for (auto& item : m_items)
        item.checked = false;
}

void ReviewList::invertSelection()
{
    for (auto& item : m_items)
        item.checked = !item.checked;
}

bool ReviewList::anyChecked() const
{
    return std::any_of(m_items.begin(), m_items.end(), [](const ReviewItem& i) { return i.checked; });
}

ReviewTally ReviewList::deleteRows(bool checkedOnly, RunState& run, const ReviewDeleteHooks& hooks)
{
    ReviewTally tally;
    for (auto& item : m_items) {
        if (checkedOnly && !item.checked)
            continue;
        if (hooks.onProgress)
            hooks.onProgress(tally);
        const std::wstring path = item.fullPath();
        uint64_t length = item.row.size;
        const bool deleted = hooks.deleteOne(path, length) != 0;
        // Delete All ticks what it deleted; both commands untick the rest.
        item.checked = deleted;
        item.length = length;
        if (deleted) {
            ++tally.count;
            tally.bytes += length;
        } else if (hooks.onFailure) {
            hooks.onFailure(path);
        }
    }
    if (hooks.settle) {
        const std::vector<std::wstring> stayed = hooks.settle();
        if (!stayed.empty()) {
            std::unordered_set<std::wstring> set(stayed.begin(), stayed.end());
            for (auto& item : m_items) {
                if (!item.checked || !set.count(item.fullPath()))
                    continue;
                item.checked = false;
                --tally.count;
                tally.bytes -= item.length;
                if (hooks.onFailure)
                    hooks.onFailure(item.fullPath());
            }
        }
    }
    std::erase_if(m_items, [](const ReviewItem& i) { return i.checked; });
    lngDeletedCount += tally.count;
    dblDeletedBytes += tally.bytes;
    run.lngTotalFiles += tally.count;
    run.dblTotalSize += tally.bytes;
    return tally;
}

std::wstring reviewTotalLabel(size_t rows) { return L"Total Files " + std::to_wstring(rows); }

std::wstring reviewResultLabel(const ReviewTally& tally)
{
    return L"Deleted " + std::to_wstring(tally.count) + L" files Space gained " + std::to_wstring(tally.bytes) +
           L" Bytes";
}

std::wstring reviewLogLine(int64_t count, uint64_t bytes)
{
    return L"Cleaned Empty\\Unnecessary\\Dead Shortcut Files.... " + std::wstring(L" Files Deleted ") +
           std::to_wstring(count) + L" Space Gained " + std::to_wstring(bytes) + L" Bytes\r\n";
}

} // namespace sorvane

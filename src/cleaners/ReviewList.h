#pragma once
// The rows of the review window and what its commands do to them, without
// the window: check marks, Delete All and Delete Checked, the window's own
// counters and the log line it writes when it closes.
#include "core/EngineUi.h"
#include "core/RunState.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sorvane {

struct ReviewItem {
    ReviewRow row;
    bool checked = false;
    // Index in the system's small image list; -1 until first asked for.
    int icon = -1;
    // The length counted when the row was deleted.
    uint64_t length = 0;
    std::wstring fullPath() const { return row.folder + row.name; }
};

// What one Delete All or Delete Checked removed.
struct ReviewTally {
    int64_t count = 0;
    uint64_t bytes = 0;
};

// What a deletion command needs besides the rows.
struct ReviewDeleteHooks {
    // 1 when the file is gone (the deletion engine's deleteOneFile). It is
    // counted with the length its row shows, which the search read from the
    // folder's listing: asking each file again would cost a second call to
    // the file system per row. A hook that measures sets `length` itself.
    std::function<int(const std::wstring& path, uint64_t& length)> deleteOne;
    // A row whose file could not be deleted (or measured); Delete Checked
    // tells the user of each.
    std::function<void(const std::wstring& path)> onFailure;
    // Called between rows; the window repaints from here at a bounded rate.
    std::function<void(const ReviewTally& sofar)> onProgress;
    // After the last row: settles deletions that were only handed over (the
    // backup method deletes at its flush) and returns the files that stayed.
    std::function<std::vector<std::wstring>()> settle;
};

class ReviewList {
public:
    void add(ReviewRow row) { m_items.push_back(ReviewItem{std::move(row)}); }
    void clear() { m_items.clear(); }
    size_t size() const noexcept { return m_items.size(); }
    bool empty() const noexcept { return m_items.empty(); }
    ReviewItem& at(size_t i) { return m_items.at(i); }
    const ReviewItem& at(size_t i) const { return m_items.at(i); }

    void setChecked(size_t i, bool on) { m_items.at(i).checked = on; }
    void selectAll();
    void deselectAll();
    void invertSelection();
    bool anyChecked() const;

    // Deletes every row's file (checkedOnly false) or the ticked rows' files.
    // A file that is gone is counted with the length it had; a row whose file
    // cannot be measured or deleted stays, unticked, and the command goes on.
    // The rows deleted are removed, and the tally is added to the window's
    // counters and to the run's totals.
    ReviewTally deleteRows(bool checkedOnly, RunState& run, const ReviewDeleteHooks& hooks);

    int64_t deletedCount() const noexcept { return lngDeletedCount; }
    uint64_t deletedBytes() const noexcept { return dblDeletedBytes; }

private:
    std::vector<ReviewItem> m_items;
    int64_t lngDeletedCount = 0;
    uint64_t dblDeletedBytes = 0;
};

// "Total Files 12"
std::wstring reviewTotalLabel(size_t rows);
// "Deleted 3 files Space gained 1024 Bytes"
std::wstring reviewResultLabel(const ReviewTally& tally);
// The line the window appends to the log when it closes without an abort.
std::wstring reviewLogLine(int64_t count, uint64_t bytes);

} // namespace sorvane

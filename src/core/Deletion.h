#pragma once
// The one deletion engine: removes gathered files by the chosen delete
// method, counts them, and removes the gathered folders.
#include "core/EngineUi.h"
#include "core/ProtectedFolders.h"
#include "core/RunState.h"
#include "platform/SystemPaths.h"
#include "platform/Yielder.h"
#include "store/StartupSettings.h"

#include <functional>
#include <string>
#include <vector>

namespace sorvane {

// Size of the blocks a wipe writes through the cache.
constexpr size_t kWipeBlockBytes = 1024 * 1024;
// A wipe flushes what it has overwritten to the disk before the file loses
// its name. The flush of a file larger than this runs beside the caller,
// which keeps answering Stop meanwhile; a smaller file's is waited for.
constexpr uint64_t kWipeFlushAsideBytes = 64ull * 1024 * 1024;

// The gap sort of the found folders: per gap one forward and one backward
// pass of compare-and-exchange (case-sensitive). Tends towards ascending
// order without always reaching it.
void ShellSortVariantArray(std::vector<std::wstring>& items, const std::function<void()>& yield);

// The random name a renamed wipe gets before deletion: "527.314".
std::wstring randomWipeName(double uniform01);
// The byte a wipe writes with Extra Security: 0..100, halves to even.
unsigned char randomWipeByte(double uniform01);
// Whether a wipe may overwrite a file's data: not when other names share it
// (hard links) nor through a link, where overwriting would destroy data the
// user never chose. Such a file loses only its own name. A file whose data a
// filter serves (compressed, deduplicated) is overwritten through the filter.
bool wipeMayOverwrite(DWORD attributes, DWORD linkCount, DWORD reparseTag);

// Why the engine leaves a path alone that is not a full path on a local
// drive (a relative path depends on the current folder, which any dialog can
// move).
inline constexpr const wchar_t* kNotAFullPath = L"it is not a full path on a local drive, so it was left alone";

// Why the Recycle Bin method leaves a file whose name ends in a dot or a
// space: the shell would act on the name without it, another file.
inline constexpr const wchar_t* kNameShellCannotTake =
    L"its name ends in a dot or a space, which the Recycle Bin cannot take, so it was left alone";
// Why the backup method leaves a link in place.
inline constexpr const wchar_t* kLinkNotBackedUp = L"a link cannot be stored in the backup";

enum class FolderRecycle { Recycled, Protected, Failed };

class DeletionEngine {
public:
    DeletionEngine(EngineUi& ui, RunState& run, const DeleteSettings& settings)
        : m_ui(ui), m_run(run), m_settings(settings), m_yield(ui, run.bAbort) {}
    const DeleteSettings& settings() const noexcept { return m_settings; }
    // True in an analysis: nothing is removed or changed, what would go is
    // recorded in the run (RunState::found).
    bool analyzing() const noexcept { return m_run.analyzing; }
    RunState& run() noexcept { return m_run; }
    ~DeletionEngine();
    DeletionEngine(const DeletionEngine&) = delete;
    DeletionEngine& operator=(const DeletionEngine&) = delete;

    // Deletes every file of the list and counts each success. `sizes`, when
    // given, holds the size of each file as the search saw it; otherwise each
    // size is asked of the file system.
    void deleteFiles(const std::vector<std::wstring>& files, const std::vector<uint64_t>* sizes = nullptr);
    // Removes the folders of the list that are empty, in gap-sorted order.
    // A folder that stays keeps its attributes.
    void deleteFolders(std::vector<std::wstring> folders);
    // 1 when the file is gone, 0 on failure (which sets bLocked). A folder
    // is never removed here. With the backup method, 1 means the file is
    // stored and goes at the next flush, which may still keep it.
    int deleteOneFile(const std::wstring& path);
    // As deleteOneFile, and counts the file with `size` bytes once it is
    // really gone (with the backup method: at the flush that deletes it).
    int deleteCounted(const std::wstring& path, uint64_t size);
    // A file the user picked one by one goes for good, whatever the delete
    // method; a read-only file is left alone (its mark is its owner's word).
    // 1 when the file is gone, 0 otherwise.
    int deletePermanently(const std::wstring& path);
    // The same for a window that runs no clean: nothing is counted.
    static bool deleteForGood(const std::wstring& path);
    // Moves a whole folder to the Recycle Bin. Never a volume root, a
    // protected folder or a folder that holds one; never destroyed for good
    // without the shell asking first when the bin cannot take it.
    static FolderRecycle recycleFolder(const std::wstring& folder, const ProtectedFolders& guard);
    // With the backup method, files handed to the archive are deleted once
    // their entries are on disk: at batch ends, here, and when the engine goes.
    // Counts what went; returns the files handed over that stayed.
    std::vector<std::wstring> flushBackups();
    // Keeps a way back to a file that is about to be changed in place; the
    // file stays. With the backup method its entry is on the disk; with the
    // Recycle Bin method a copy named "<file> (before clean <yyyy-mm-dd
    // hh-mm>)" goes to the bin from the file's own folder (so restoring it
    // puts it beside the file), and `recycledAs` gets that name. False when
    // the copy could not be made: the file must then stay as it is. True at
    // once with the other methods, which cannot undo such a change.
    bool backUpCopy(const std::wstring& path, std::wstring* recycledAs = nullptr);
    // Whether the delete method can undo a change made in place.
    bool canUndoInPlaceChanges() const noexcept;
    // Overwrites and deletes one file; 1 on success, 0 on failure or Stop,
    // -1 when the file is kept for a reason the log names.
    // A file whose data other names share is not overwritten, only unlinked.
    int wipeFile(const std::wstring& path);

private:
    int deletePlain(const std::wstring& path);
    int deleteToRecycleBin(const std::wstring& path);
    // The archive of the path's drive becomes the one in use (named when the
    // drive changes); the drives of the file and the archive count as touched.
    void useArchiveFor(const std::wstring& path);
    int backUpAndDelete(const std::wstring& path, uint64_t countBytes, bool counted);
    int removeOne(const std::wstring& path, uint64_t countBytes, bool counted);
    // In an analysis: the engine's own refusals, then the file is recorded
    // in the run's analysis instead of removed.
    int wouldRemove(const std::wstring& path, uint64_t countBytes, bool counted);
    int overwriteAndDelete(const std::wstring& path, DWORD attributes, bool readThrough);
    // True, with a line for the log, when `path` is no full local path.
    bool refuseUnlessFullPath(const std::wstring& path);
    // Names in the log a file left in place for its reparse point; -1.
    int keptFor(const std::wstring& path, ReparseKind kind, const wchar_t* what);
    // The Recycle Bin's copy of a file about to change in place.
    bool recycleCopy(const std::wstring& path, std::wstring* recycledAs);
    // Flushes the archive; false when that flush failed.
    bool settleBackups();

    EngineUi& m_ui;
    RunState& m_run;
    const DeleteSettings& m_settings;
    Yielder m_yield;
    // Files handed to the archive that a flush kept, until flushBackups tells.
    std::vector<std::wstring> m_kept;
};

} // namespace sorvane

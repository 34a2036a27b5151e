#pragma once
// The backup archives of the "back up, then delete" method: one zip archive
// per drive letter and run in the backup folder, each file under its path
// from the drive root. A backed-up file is deleted only once its entry is on
// disk; that happens in batches, so the deletion engine hands files over
// and they go at the next flush.
#include "platform/SystemPaths.h"
#include "store/Zip.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace sorvane {

// folder + prefix + "ddmmyyyyhnns" + ".zip"; a backslash is put between a
// folder and the prefix when the folder lacks one.
std::wstring backupArchiveName(std::wstring_view folder, std::wstring_view prefix, const SYSTEMTIME& now);
// Makes that name (of now) the archive in use; the archive in use before it
// is completed first.
void nameBackupArchive(std::wstring_view folder, std::wstring_view prefix);
const std::wstring& currentBackupArchive();
// The name a file is stored under: its path from the drive root, "/" between
// folders. Empty for a path that has no drive root.
std::wstring storedNameOf(std::wstring_view path);

// Stores a copy of the file in the archive in use; the file stays.
bool addToBackupArchive(const std::wstring& path);

// What became of a file handed to the archive for deletion.
enum class HandOver {
    Pending,        // stored; deleted at the next flush once its entry is durable
    LinkKept,       // a link: its target's data is not this file's, so nothing can be
                    // stored that would bring it back; it stays
    Refused,        // cannot be opened for deletion or read: it stays, untouched
    NotLocal,       // its data is not on this disk (a cloud file): it stays
    UnknownLink,    // a reparse point of a kind that cannot be told: it stays
    ArchiveFailed,  // the archive in use cannot be written: it stays
};
// What the backup method does with a file of this kind: only a plain file,
// or one whose data a filter serves, is stored and deleted.
HandOver handOverFor(ReparseKind kind);

// Stores the file and takes it over for deletion. `countBytes` is handed
// back by the flush that deletes it, for the caller's counters.
HandOver backUpForDeletion(const std::wstring& path, uint64_t countBytes = 0, bool counted = false);

// What a flush did with the files handed over since the last one.
struct BackupFlush {
    size_t backedUp = 0;       // entries durable and files deleted
    size_t countedFiles = 0;   // of those, the ones handed over counted
    uint64_t countedBytes = 0;
    std::vector<std::wstring> kept;  // handed over, still in place
    size_t keptRefused = 0;          // of those, kept because deletion was refused
    // Set once when the archive in use failed: the reason, and its drive.
    std::wstring failure;
};
// Puts the entries written so far on disk, then deletes the files handed
// over. After a failed write, no file handed over since the last durable
// point is deleted, and the archive is closed as far as it is valid.
BackupFlush flushBackupArchive();
// Flushes, writes the central directory and closes the archive in use;
// the reason when any archive of the run failed and the run has not been
// told yet (a failed flush, or a central directory that could not be
// written), else empty.
std::wstring finishBackupArchive();
// Stores a copy of a file that is about to change in place and puts that
// entry on the disk (written and flushed) before returning true; false
// when it is not durable, and the archive is then failed for the run.
bool storeDurableCopy(const std::wstring& path);
// After a stop: the archive in use is completed and kept when it holds any
// entry (files already deleted are in it), removed when it holds none.
// True when a file stayed because its copy was refused.
[[nodiscard]] bool discardBackupArchive();

// --- Reading: cUnZip ------------------------------------------------------

// Answers of the overwrite question.
enum OverwriteAnswer : int32_t {
    kOverwriteNo = 100,
    kOverwriteYes = 102,
    kOverwriteAll = 103,
    kOverwriteNone = 104,
};
// The answer the restore remembers between files; reset before each restore.
void resetOverwriteAnswer();

struct ArchiveEntry {
    std::wstring Filename;
    std::wstring FileDirectory;  // "\" between folders, no trailing one; empty at the top
    uint64_t FileSize = 0;
    int32_t FileCompressionRatio = 0;  // packed size in percent of the size
    std::wstring FileCompressionMethod;
    SYSTEMTIME FileDate{};  // to the minute
    uint32_t FileCRC = 0;
    bool FileEncrypted = false;
    bool FileSelected = false;
    uint64_t FilePackedSize = 0;
};

// Why an entry was not put back.
struct RestoreFailure {
    std::wstring name;
    std::wstring reason;
};

class cUnZip {
public:
    void setZipFile(std::wstring path);
    const std::wstring& ZipFile() const noexcept { return m_zipFile; }
    std::wstring UnzipFolder;

    bool ExtractOnlyNewer = false;
    bool SpaceToUnderScore = false;
    bool PromptToOverwrite = false;
    int32_t MessageLevel = 0;
    bool TestZip = false;
    bool UseFolderNames = false;
    bool OverwriteExisting = false;
    bool ConvertCRToCRLF = false;
    bool CaseSensitiveFileNames = false;

    // Asked for an existing file when PromptToOverwrite is on; gets the file
    // and the default answer (100), returns an OverwriteAnswer.
    std::function<int32_t(const std::wstring& file)> OverWritePrompt;

    // Lists every entry of ZipFile.
    void Directory();
    size_t FileCount() const noexcept { return m_entries.size(); }
    // 1-based, as the listing numbers them.
    ArchiveEntry& entry(size_t lIndex) { return m_entries.at(lIndex - 1); }
    const ArchiveEntry& entry(size_t lIndex) const { return m_entries.at(lIndex - 1); }
    // No usable central directory: the entries were read from the local
    // headers of a torn archive.
    bool recovered() const noexcept { return m_recovered; }
    // Whether the last Directory found a zip archive at all.
    bool isZip() const noexcept { return m_isZip; }

    // Only the entries whose FileSelected is set are extracted (the viewer's
    // checked rows); otherwise every listed entry.
    bool OnlySelected = false;
    // Where the entries go: "" for the root of the drive that the archive's
    // file name starts with (the restore), or a folder of the caller's.
    std::wstring TargetRoot;
    // Asked before writing when the entries' declared sizes add up to more
    // than the free space of the target volume; false cancels the restore.
    std::function<bool(uint64_t needed, uint64_t free)> ConfirmLowSpace;

    // Called before an existing file is replaced, with that file open for
    // reading and its path; false keeps the file (the restore of that entry
    // fails). The restore stores what it replaces this way.
    std::function<bool(HANDLE current, const std::wstring& path)> BeforeReplace;

    // The folders the entries to extract would be written to (each once, in
    // the archive's order); names that lead outside the root are left out.
    std::vector<std::wstring> targetFolders() const;

    // Extracts the entries into the target root, never through a link met on
    // the way and never outside that root. True when at least one entry was
    // extracted and none failed.
    bool Unzip();
    size_t extractedCount() const noexcept { return m_extracted; }
    // Existing files the overwrite method kept in place.
    size_t keptCount() const noexcept { return m_kept; }
    // The restore was called off at the free-space question.
    bool cancelled() const noexcept { return m_cancelled; }
    const std::vector<RestoreFailure>& failures() const noexcept { return m_failures; }

private:
    bool extractOne(HANDLE archive, const zip::Entry& entry, const std::wstring& root);
    int32_t askOverwrite(const std::wstring& file);
    std::wstring targetRoot() const;

    std::wstring m_zipFile;
    std::vector<ArchiveEntry> m_entries;
    std::vector<zip::Entry> m_raw;
    bool m_recovered = false;
    bool m_isZip = false;
    size_t m_extracted = 0;
    size_t m_kept = 0;
    bool m_cancelled = false;
    std::vector<RestoreFailure> m_failures;
};

// The archive a restore makes of the files it replaces ("R_<stamp>.zip"):
// its entries carry their drive letter as their first folder ("C/Users/..."),
// so that restoring it puts each file back on its own drive.
bool isReplacedFilesArchive(std::wstring_view archive);

// Whether a stored name is safe to put under a drive root: relative, no
// drive, no "..", no characters a file name cannot hold.
bool isSafeStoredName(std::wstring_view name);

// The message a restore ends with: success in the plain case, otherwise the
// counts restored, kept and failed, the first failures by name and reason,
// and whether the archive was damaged.
std::wstring restoreSummary(const cUnZip& unzip);

} // namespace sorvane

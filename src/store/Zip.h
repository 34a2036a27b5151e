#pragma once
// The zip container of the backup archives: a writer that appends entries to
// a new or existing archive in O(1) each and writes the central directory
// once, and a reader that lists archives of any common writer (falling back
// to the local headers when the central directory is missing or torn) and
// extracts one entry with its CRC checked. Deflate through zlib; ZIP64 past
// 4 GiB; names in UTF-8 with the language-encoding flag.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace sorvane::zip {

// The deflate level of every entry written (zlib's and Info-ZIP's default).
constexpr int kLevel = 6;

struct Entry {
    std::wstring name;  // as stored, "/" between folders
    std::string rawName;  // the stored bytes of the name
    uint16_t flags = 0;
    uint16_t method = 0;
    uint16_t dosTime = 0;
    uint16_t dosDate = 0;
    uint32_t crc = 0;
    uint64_t packedSize = 0;
    uint64_t size = 0;
    uint64_t localOffset = 0;
    uint32_t externalAttributes = 0;
    uint16_t madeBy = 0;
    // The exact last-write time when the entry carries one (NTFS or Unix
    // time extra field); otherwise the DOS time above, in local time.
    std::optional<FILETIME> lastWrite;

    bool encrypted() const noexcept { return (flags & 1) != 0; }
    bool isFolder() const noexcept { return !name.empty() && (name.back() == L'/' || name.back() == L'\\'); }
    // The last-write time as UTC, from the exact time or the DOS fields.
    FILETIME lastWriteTime() const;
};

// The method's name as listings give it: "Stored", "Deflated", ...
std::wstring methodName(uint16_t method);

struct Listing {
    bool ok = false;         // the file is a zip archive (possibly torn)
    bool recovered = false;  // no usable central directory: read from the local headers
    std::vector<Entry> entries;
    uint64_t appendOffset = 0;  // where new entries would go
};

Listing list(const std::wstring& path);

// Marks the entries whose local records overlap another's (or share one):
// two names over one record are how small archives unpack into huge ones.
std::vector<bool> overlappingEntries(HANDLE archive, const std::vector<Entry>& entries);

enum class Extracted { Ok, Encrypted, UnknownMethod, BadData, BadCrc, ReadError, WriteError };

// Writes the data of `entry` to `out`, checking its length and CRC; output
// past the declared size is never written (BadData at once).
Extracted extractTo(HANDLE archive, const Entry& entry, HANDLE out);

// What an entry keeps of its source file.
struct SourceInfo {
    DWORD attributes = 0;
    FILETIME creation{}, access{}, lastWrite{};
    uint64_t size = 0;
    bool folder = false;
};
// Asked of the open file (not GetFileInformationByHandle, which also asks
// for the volume's serial number: a slow round trip under Wine).
bool sourceInfo(HANDLE file, SourceInfo& info);

class Writer {
public:
    Writer() = default;
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;
    ~Writer();

    // Opens `path` for adding: creates it, or keeps the entries of an
    // existing archive and writes after them. A file that is no zip archive
    // is never touched.
    bool open(const std::wstring& path);
    // Creates a new archive at `path`; false, touching nothing, when a file
    // of that name exists (ERROR_FILE_EXISTS then tells so).
    bool create(const std::wstring& path);
    bool isOpen() const noexcept { return m_file != INVALID_HANDLE_VALUE; }
    // Stores the data read from `source` (at its start) under `name`. A
    // source that cannot be read leaves the archive as it was.
    bool add(HANDLE source, const std::wstring& name, const SourceInfo& info);
    // Everything written so far reaches the disk: the entries are durable.
    // After a failed write this stays false until the archive is closed.
    bool flush();
    // Writes the central directory and closes; true when the archive is
    // complete with every entry added. After a failed write the archive is
    // cut back to its last durable entry and closed with those entries only.
    bool close();
    // A write to the archive failed since the last durable point; sticky.
    bool failed() const noexcept { return m_failed; }
    // The system's error code of the first failed write.
    DWORD failureCode() const noexcept { return m_failureCode; }
    size_t entryCount() const noexcept { return m_entries.size(); }
    // Entries as of the last durable point (what a failed archive keeps).
    size_t durableCount() const noexcept { return m_durableCount; }
    size_t addedCount() const noexcept { return m_added; }
    // Forces ZIP64 records for every entry (tests of the large-file path).
    void forceZip64(bool on) noexcept { m_forceZip64 = on; }

private:
    bool openAt(const std::wstring& path, bool exists);
    bool write(const void* data, size_t n);
    bool flushBuffer();
    bool writeAt(uint64_t offset, const void* data, size_t n);
    bool addStreamed(HANDLE source, const std::string& header, bool zip64, Entry& entry, bool& readFailed);
    bool fail();
    // Forgets what was written from `offset` on (a source that could not be read).
    void rollbackTo(uint64_t offset);

    HANDLE m_file = INVALID_HANDLE_VALUE;
    std::wstring m_path;
    std::vector<Entry> m_entries;
    std::vector<std::string> m_names;  // UTF-8, as stored
    std::vector<char> m_buffer;
    uint64_t m_end = 0;  // offset of the next byte written
    size_t m_added = 0;
    bool m_forceZip64 = false;
    bool m_failed = false;
    DWORD m_failureCode = 0;
    // The end and entry count as of the last successful flush.
    uint64_t m_durableEnd = 0;
    size_t m_durableCount = 0;
};

} // namespace sorvane::zip

#include "store/Zip.h"

#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "win/UniqueHandle.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace sorvane::zip {

namespace {

constexpr uint32_t kLocalSig = 0x04034b50;
constexpr uint32_t kCentralSig = 0x02014b50;
constexpr uint32_t kEndSig = 0x06054b50;
constexpr uint32_t kEnd64Sig = 0x06064b50;
constexpr uint32_t kLocator64Sig = 0x07064b50;
constexpr uint32_t kDescriptorSig = 0x08074b50;
constexpr uint32_t kMax32 = 0xFFFFFFFFu;
constexpr uint16_t kMax16 = 0xFFFF;
constexpr uint16_t kUtf8Flag = 0x0800;
constexpr uint16_t kMadeBy = 45;  // MS-DOS attributes, zip 4.5 (ZIP64)
// Past this size a file gets ZIP64 sizes: its deflated form may pass 4 GiB.
constexpr uint64_t kZip64FileSize = 0xFF000000ull;
// Files up to this size are read and deflated in memory, in one write.
constexpr uint64_t kInMemory = 4u << 20;
constexpr size_t kChunk = 1u << 20;

void put16(std::string& s, uint16_t v)
{
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8);
}
void put32(std::string& s, uint32_t v)
{
    put16(s, static_cast<uint16_t>(v & 0xFFFF));
    put16(s, static_cast<uint16_t>(v >> 16));
}
void put64(std::string& s, uint64_t v)
{
    put32(s, static_cast<uint32_t>(v & kMax32));
    put32(s, static_cast<uint32_t>(v >> 32));
}
uint16_t get16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t get32(const unsigned char* p) { return get16(p) | (static_cast<uint32_t>(get16(p + 2)) << 16); }
uint64_t get64(const unsigned char* p) { return get32(p) | (static_cast<uint64_t>(get32(p + 4)) << 32); }

uint64_t fileTimeValue(const FILETIME& t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; }
FILETIME fileTimeOf(uint64_t v) { return FILETIME{static_cast<DWORD>(v & kMax32), static_cast<DWORD>(v >> 32)}; }

// The NTFS extra field: last-write, last-access and creation times in UTC.
void putNtfsTimes(std::string& s, const FILETIME& write, const FILETIME& access, const FILETIME& creation)
{
    put16(s, 0x000A);
    put16(s, 32);
    put32(s, 0);
    put16(s, 1);
    put16(s, 24);
    put64(s, fileTimeValue(write));
    put64(s, fileTimeValue(access));
    put64(s, fileTimeValue(creation));
}

bool readAt(HANDLE file, uint64_t offset, void* data, size_t n)
{
    auto* p = static_cast<char*>(data);
    while (n > 0) {
        OVERLAPPED ov{};
        ov.Offset = static_cast<DWORD>(offset & kMax32);
        ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<size_t>(n, 1u << 30));
        if (!ReadFile(file, p, want, &got, &ov) || got == 0)
            return false;
        p += got;
        n -= got;
        offset += got;
    }
    return true;
}

bool readAll(HANDLE file, void* data, size_t n, size_t& got)
{
    auto* p = static_cast<char*>(data);
    got = 0;
    while (got < n) {
        DWORD r = 0;
        if (!ReadFile(file, p + got, static_cast<DWORD>(std::min<size_t>(n - got, 1u << 30)), &r, nullptr))
            return false;
        if (r == 0)
            break;
        got += r;
    }
    return true;
}

uint64_t fileSize(HANDLE file)
{
    LARGE_INTEGER size{};
    return GetFileSizeEx(file, &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
}

bool validUtf8(std::string_view s)
{
    return s.empty() ||
           MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(), static_cast<int>(s.size()), nullptr, 0) > 0;
}

// What the extra fields of one header add to its entry.
void parseExtra(const unsigned char* p, size_t n, Entry& e, bool central, bool sizeFull, bool packedFull,
                bool offsetFull)
{
    while (n >= 4) {
        const uint16_t tag = get16(p), len = get16(p + 2);
        if (static_cast<size_t>(len) + 4 > n)
            break;
        const unsigned char* d = p + 4;
        if (tag == 0x0001) {
            size_t at = 0;
            if (sizeFull && at + 8 <= len) {
                e.size = get64(d + at);
                at += 8;
            }
            if (packedFull && at + 8 <= len) {
                e.packedSize = get64(d + at);
                at += 8;
            }
            if (central && offsetFull && at + 8 <= len)
                e.localOffset = get64(d + at);
        } else if (tag == 0x000A && len >= 32) {
            // Reserved, then attribute tags; tag 1 holds the three times.
            size_t at = 4;
            while (at + 4 <= len) {
                const uint16_t t = get16(d + at), l = get16(d + at + 2);
                if (t == 1 && l >= 24 && at + 4 + 24 <= len)
                    e.lastWrite = fileTimeOf(get64(d + at + 4));
                at += 4 + static_cast<size_t>(l);
            }
        } else if (tag == 0x5455 && len >= 5 && (d[0] & 1) && !e.lastWrite) {
            const uint64_t unix = get32(d + 1);
            e.lastWrite = fileTimeOf(unix * 10000000ull + 116444736000000000ull);
        } else if (tag == 0x7075 && len > 5 && d[0] == 1 && !(e.flags & kUtf8Flag)) {
            // Info-ZIP's Unicode path: the UTF-8 name beside an old-style one.
            const std::string utf8(reinterpret_cast<const char*>(d + 5), len - 5u);
            if (validUtf8(utf8))
                e.name = fromUtf8(utf8);
        }
        p += 4 + static_cast<size_t>(len);
        n -= 4 + static_cast<size_t>(len);
    }
}

std::wstring decodeName(const std::string& raw, uint16_t flags, uint16_t madeBy, bool knownHost)
{
    if (flags & kUtf8Flag)
        return fromUtf8(raw);
    const unsigned host = madeBy >> 8;
    // Unix writers store their own (nearly always UTF-8) bytes; DOS and
    // Windows writers the OEM code page.
    if ((host == 3 || !knownHost) && validUtf8(raw))
        return fromUtf8(raw);
    return widen(CP_OEMCP, raw);
}

// Deflate cannot expand data more than this many times.
constexpr uint64_t kDeflateLimit = 1032;

// Finds the end of a deflate stream that starts at `offset`, inflating at
// most `budget` bytes (what is left is handed back).
bool deflatedLength(HANDLE file, uint64_t offset, uint64_t fileEnd, uint64_t& packed, uint64_t& size,
                    uint64_t& budget)
{
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK)
        return false;
    std::vector<unsigned char> in(kChunk), out(kChunk);
    uint64_t at = offset;
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
        if (z.avail_in == 0) {
            const size_t n = static_cast<size_t>(std::min<uint64_t>(kChunk, fileEnd - at));
            if (n == 0 || !readAt(file, at, in.data(), n))
                break;
            z.next_in = in.data();
            z.avail_in = static_cast<uInt>(n);
            at += n;
        }
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        rc = inflate(&z, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END)
            break;
        if (z.total_out > budget)
            break;
    }
    packed = z.total_in;
    size = z.total_out;
    budget -= std::min<uint64_t>(budget, size);
    inflateEnd(&z);
    return rc == Z_STREAM_END;
}

// Entries from the local headers alone, up to the first that is incomplete.
void scanLocalHeaders(HANDLE file, uint64_t fileEnd, Listing& listing)
{
    uint64_t at = 0;
    uint64_t budget = fileEnd * kDeflateLimit;
    unsigned char h[30];
    while (at + 30 <= fileEnd && readAt(file, at, h, 30) && get32(h) == kLocalSig) {
        Entry e;
        e.flags = get16(h + 6);
        e.method = get16(h + 8);
        e.dosTime = get16(h + 10);
        e.dosDate = get16(h + 12);
        e.crc = get32(h + 14);
        e.packedSize = get32(h + 18);
        e.size = get32(h + 22);
        e.localOffset = at;
        const size_t nameLen = get16(h + 26), extraLen = get16(h + 28);
        const uint64_t dataStart = at + 30 + nameLen + extraLen;
        if (dataStart > fileEnd)
            break;
        std::string raw(nameLen, '\0');
        std::vector<unsigned char> extra(extraLen);
        if ((nameLen && !readAt(file, at + 30, raw.data(), nameLen)) ||
            (extraLen && !readAt(file, at + 30 + nameLen, extra.data(), extraLen)))
            break;
        e.rawName = raw;
        e.name = decodeName(raw, e.flags, 0, false);
        parseExtra(extra.data(), extra.size(), e, false, e.size == kMax32, e.packedSize == kMax32, false);
        uint64_t dataEnd = dataStart + e.packedSize;
        if (e.flags & 8) {
            // Sizes follow the data: only a deflate stream shows where it ends.
            uint64_t packed = 0, size = 0;
            if (e.method != 8 || !deflatedLength(file, dataStart, fileEnd, packed, size, budget))
                break;
            dataEnd = dataStart + packed;
            unsigned char d[24];
            const bool zip64 = size >= kMax32 || packed >= kMax32;
            const size_t fields = zip64 ? 20 : 12;
            if (dataEnd + 4 > fileEnd || !readAt(file, dataEnd, d, 4))
                break;
            const size_t sig = get32(d) == kDescriptorSig ? 4 : 0;
            if (dataEnd + sig + fields > fileEnd || !readAt(file, dataEnd + sig, d, fields))
                break;
            e.crc = get32(d);
            e.packedSize = packed;
            e.size = size;
            dataEnd += sig + fields;
        }
        if (dataEnd > fileEnd)
            break;
        listing.entries.push_back(std::move(e));
        at = dataEnd;
    }
    listing.appendOffset = at;
}

bool readCentral(HANDLE file, uint64_t fileEnd, Listing& listing)
{
    const size_t tailSize = static_cast<size_t>(std::min<uint64_t>(fileEnd, 22 + 65535));
    if (tailSize < 22)
        return false;
    std::vector<unsigned char> tail(tailSize);
    if (!readAt(file, fileEnd - tailSize, tail.data(), tailSize))
        return false;
    size_t end = std::string::npos;
    for (size_t i = tailSize - 22 + 1; i-- > 0;) {
        if (get32(&tail[i]) == kEndSig && i + 22 + get16(&tail[i + 20]) <= tailSize) {
            end = i;
            break;
        }
    }
    if (end == std::string::npos)
        return false;
    const uint64_t endOffset = fileEnd - tailSize + end;
    uint64_t count = get16(&tail[end + 10]);
    uint64_t cdSize = get32(&tail[end + 12]);
    uint64_t cdOffset = get32(&tail[end + 16]);
    if (endOffset >= 20) {
        unsigned char loc[20];
        if (readAt(file, endOffset - 20, loc, 20) && get32(loc) == kLocator64Sig) {
            unsigned char e64[56];
            const uint64_t at = get64(loc + 8);
            if (at + 56 <= fileEnd && readAt(file, at, e64, 56) && get32(e64) == kEnd64Sig) {
                count = get64(e64 + 32);
                cdSize = get64(e64 + 40);
                cdOffset = get64(e64 + 48);
            }
        }
    }
    if (cdOffset > fileEnd || cdSize > fileEnd - cdOffset || count > cdSize / 46)
        return false;
    std::vector<unsigned char> cd(static_cast<size_t>(cdSize));
    if (cdSize && !readAt(file, cdOffset, cd.data(), cd.size()))
        return false;
    size_t at = 0;
    std::vector<Entry> entries;
    entries.reserve(static_cast<size_t>(count));
    for (uint64_t i = 0; i < count; ++i) {
        if (at + 46 > cd.size() || get32(&cd[at]) != kCentralSig)
            return false;
        const unsigned char* h = &cd[at];
        Entry e;
        e.madeBy = get16(h + 4);
        e.flags = get16(h + 8);
        e.method = get16(h + 10);
        e.dosTime = get16(h + 12);
        e.dosDate = get16(h + 14);
        e.crc = get32(h + 16);
        e.packedSize = get32(h + 20);
        e.size = get32(h + 24);
        const size_t nameLen = get16(h + 28), extraLen = get16(h + 30), commentLen = get16(h + 32);
        e.externalAttributes = get32(h + 38);
        e.localOffset = get32(h + 42);
        if (at + 46 + nameLen + extraLen + commentLen > cd.size())
            return false;
        e.rawName.assign(reinterpret_cast<const char*>(h + 46), nameLen);
        e.name = decodeName(e.rawName, e.flags, e.madeBy, true);
        parseExtra(h + 46 + nameLen, extraLen, e, true, e.size == kMax32, e.packedSize == kMax32,
                   e.localOffset == kMax32);
        if (e.localOffset >= fileEnd)
            return false;
        entries.push_back(std::move(e));
        at += 46 + nameLen + extraLen + commentLen;
    }
    listing.entries = std::move(entries);
    listing.appendOffset = cdOffset;
    return true;
}

} // namespace

FILETIME Entry::lastWriteTime() const
{
    if (lastWrite)
        return *lastWrite;
    FILETIME local{}, utc{};
    DosDateTimeToFileTime(dosDate, dosTime, &local);
    LocalFileTimeToFileTime(&local, &utc);
    return utc;
}

std::wstring methodName(uint16_t method)
{
    switch (method) {
    case 0: return L"Stored";
    case 1: return L"Shrunk";
    case 2: return L"Reduced1";
    case 3: return L"Reduced2";
    case 4: return L"Reduced3";
    case 5: return L"Reduced4";
    case 6: return L"Imploded";
    case 7: return L"Tokenized";
    case 8: return L"Deflated";
    case 9: return L"Deflat64";
    case 12: return L"BZip2";
    case 14: return L"LZMA";
    case 93: return L"Zstd";
    case 95: return L"XZ";
    case 98: return L"PPMd";
    default: return L"Unk" + std::to_wstring(method);
    }
}

Listing list(const std::wstring& path)
{
    Listing listing;
    if (pathTooLong(path))
        return listing;
    win::UniqueFile file(CreateFileW(apiPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS, nullptr));
    if (!file)
        return listing;
    const uint64_t end = fileSize(file.get());
    if (readCentral(file.get(), end, listing)) {
        listing.ok = true;
        return listing;
    }
    scanLocalHeaders(file.get(), end, listing);
    listing.recovered = true;
    listing.ok = !listing.entries.empty();
    return listing;
}

std::vector<bool> overlappingEntries(HANDLE archive, const std::vector<Entry>& entries)
{
    const uint64_t fileEnd = fileSize(archive);
    std::vector<bool> bad(entries.size(), false);
    std::vector<std::pair<uint64_t, uint64_t>> ranges(entries.size());
    // An entry without a local header has no record to overlap; extraction
    // finds it damaged.
    std::vector<size_t> order;
    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        unsigned char h[30];
        if (e.localOffset > fileEnd || fileEnd - e.localOffset < 30 || !readAt(archive, e.localOffset, h, 30) ||
            get32(h) != kLocalSig)
            continue;
        const uint64_t header = 30ull + get16(h + 26) + get16(h + 28);
        ranges[i] = {e.localOffset, e.localOffset + header + std::min<uint64_t>(e.packedSize, fileEnd)};
        order.push_back(i);
    }
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return ranges[a].first < ranges[b].first; });
    uint64_t reach = 0;
    size_t owner = SIZE_MAX;
    for (size_t i : order) {
        if (owner != SIZE_MAX && ranges[i].first < reach) {
            bad[i] = true;
            bad[owner] = true;
        }
        if (ranges[i].second > reach || owner == SIZE_MAX) {
            reach = std::max(reach, ranges[i].second);
            owner = i;
        }
    }
    return bad;
}

Extracted extractTo(HANDLE archive, const Entry& entry, HANDLE out)
{
    if (entry.encrypted())
        return Extracted::Encrypted;
    if (entry.method != 0 && entry.method != 8)
        return Extracted::UnknownMethod;
    unsigned char h[30];
    if (!readAt(archive, entry.localOffset, h, 30) || get32(h) != kLocalSig)
        return Extracted::BadData;
    const uint64_t fileEnd = fileSize(archive);
    uint64_t at = entry.localOffset + 30 + get16(h + 26) + get16(h + 28);
    if (at > fileEnd || entry.packedSize > fileEnd - at)
        return Extracted::BadData;
    const uint64_t inEnd = at + entry.packedSize;
    std::vector<unsigned char> in(kChunk), buf(kChunk);
    uLong crc = crc32(0, nullptr, 0);
    uint64_t written = 0;
    // Output past the declared size is never written: a bomb ends at once.
    bool tooLong = false;
    const auto emit = [&](const unsigned char* p, size_t n) {
        if (n > entry.size - written) {
            tooLong = true;
            return false;
        }
        crc = crc32(crc, p, static_cast<uInt>(n));
        written += n;
        DWORD w = 0;
        return WriteFile(out, p, static_cast<DWORD>(n), &w, nullptr) && w == n;
    };
    if (entry.method == 0 && entry.packedSize != entry.size)
        return Extracted::BadData;
    if (entry.method == 0) {
        while (at < inEnd) {
            const size_t n = static_cast<size_t>(std::min<uint64_t>(kChunk, inEnd - at));
            if (!readAt(archive, at, buf.data(), n))
                return Extracted::ReadError;
            if (!emit(buf.data(), n))
                return tooLong ? Extracted::BadData : Extracted::WriteError;
            at += n;
        }
    } else {
        z_stream z{};
        if (inflateInit2(&z, -MAX_WBITS) != Z_OK)
            return Extracted::BadData;
        int rc = Z_OK;
        Extracted result = Extracted::Ok;
        while (rc != Z_STREAM_END && result == Extracted::Ok) {
            if (z.avail_in == 0) {
                const size_t n = static_cast<size_t>(std::min<uint64_t>(kChunk, inEnd - at));
                if (n == 0) {
                    result = Extracted::BadData;
                    break;
                }
                if (!readAt(archive, at, in.data(), n)) {
                    result = Extracted::ReadError;
                    break;
                }
                at += n;
                z.next_in = in.data();
                z.avail_in = static_cast<uInt>(n);
            }
            z.next_out = buf.data();
            z.avail_out = static_cast<uInt>(buf.size());
            rc = inflate(&z, Z_NO_FLUSH);
            if (rc != Z_OK && rc != Z_STREAM_END)
                result = Extracted::BadData;
            else if (!emit(buf.data(), buf.size() - z.avail_out))
                result = tooLong ? Extracted::BadData : Extracted::WriteError;
        }
        inflateEnd(&z);
        if (result != Extracted::Ok)
            return result;
    }
    if (written != entry.size)
        return Extracted::BadData;
    return static_cast<uint32_t>(crc) == entry.crc ? Extracted::Ok : Extracted::BadCrc;
}

// --- Writer -------------------------------------------------------------------

Writer::~Writer()
{
    if (isOpen())
        close();
}

bool Writer::create(const std::wstring& path)
{
    if (isOpen())
        close();
    return !pathTooLong(path) && openAt(path, false);
}

bool Writer::open(const std::wstring& path)
{
    if (isOpen())
        close();
    if (pathTooLong(path))
        return false;
    return openAt(path, GetFileAttributesW(apiPath(path).c_str()) != INVALID_FILE_ATTRIBUTES);
}

bool Writer::openAt(const std::wstring& path, bool exists)
{
    Listing existing;
    if (exists) {
        existing = list(path);
        if (!existing.ok)
            return false;
    }
    HANDLE h = CreateFileW(apiPath(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           exists ? OPEN_EXISTING : CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    m_file = h;
    m_path = path;
    m_entries = std::move(existing.entries);
    m_names.clear();
    for (const auto& e : m_entries)
        m_names.push_back(e.rawName);
    m_end = existing.appendOffset;
    m_added = 0;
    m_failed = false;
    m_failureCode = 0;
    m_durableEnd = m_end;
    m_durableCount = m_entries.size();
    m_buffer.clear();
    m_buffer.reserve(kChunk + 64 * 1024);
    // New entries go where the old central directory began.
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(m_end);
    if (!SetFilePointerEx(m_file, at, nullptr, FILE_BEGIN) || !SetEndOfFile(m_file)) {
        CloseHandle(m_file);
        m_file = INVALID_HANDLE_VALUE;
        return false;
    }
    return true;
}

bool Writer::fail()
{
    if (!m_failed) {
        m_failed = true;
        m_failureCode = GetLastError();
        if (m_failureCode == ERROR_SUCCESS)
            m_failureCode = ERROR_WRITE_FAULT;
    }
    return false;
}

bool Writer::flushBuffer()
{
    if (m_buffer.empty())
        return !m_failed;
    const uint64_t offset = m_end - m_buffer.size();
    const bool ok = writeAt(offset, m_buffer.data(), m_buffer.size());
    m_buffer.clear();
    return ok;
}

void Writer::rollbackTo(uint64_t offset)
{
    const uint64_t bufferStart = m_end - m_buffer.size();
    if (offset >= bufferStart)
        m_buffer.resize(static_cast<size_t>(offset - bufferStart));
    else
        m_buffer.clear();  // what reached the file is written over or cut at close
    m_end = offset;
}

bool Writer::writeAt(uint64_t offset, const void* data, size_t n)
{
    // Once a write failed, nothing after it can be trusted to follow it.
    if (m_failed)
        return false;
    const auto* p = static_cast<const char*>(data);
    while (n > 0) {
        OVERLAPPED ov{};
        ov.Offset = static_cast<DWORD>(offset & kMax32);
        ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD w = 0;
        const DWORD want = static_cast<DWORD>(std::min<size_t>(n, 1u << 30));
        if (!WriteFile(m_file, p, want, &w, &ov))
            return fail();
        if (w == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return fail();
        }
        p += w;
        n -= w;
        offset += w;
    }
    return true;
}

bool Writer::write(const void* data, size_t n)
{
    if (m_failed)
        return false;
    const auto* p = static_cast<const char*>(data);
    m_buffer.insert(m_buffer.end(), p, p + n);
    m_end += n;
    return m_buffer.size() < kChunk || flushBuffer();
}

namespace {

// The local header of an entry whose sizes and CRC are known.
std::string localHeader(const Entry& e, const std::string& name, bool zip64, const FILETIME& access,
                        const FILETIME& creation)
{
    std::string h;
    put32(h, kLocalSig);
    put16(h, zip64 ? 45 : 20);
    put16(h, e.flags);
    put16(h, e.method);
    put16(h, e.dosTime);
    put16(h, e.dosDate);
    put32(h, e.crc);
    put32(h, zip64 ? kMax32 : static_cast<uint32_t>(e.packedSize));
    put32(h, zip64 ? kMax32 : static_cast<uint32_t>(e.size));
    put16(h, static_cast<uint16_t>(name.size()));
    put16(h, static_cast<uint16_t>(36 + (zip64 ? 20 : 0)));
    h += name;
    if (zip64) {
        put16(h, 0x0001);
        put16(h, 16);
        put64(h, e.size);
        put64(h, e.packedSize);
    }
    putNtfsTimes(h, *e.lastWrite, access, creation);
    return h;
}

struct Deflater {
    z_stream z{};
    bool ready = false;
    Deflater() { ready = deflateInit2(&z, kLevel, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK; }
    ~Deflater()
    {
        if (ready)
            deflateEnd(&z);
    }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;
};

} // namespace

bool sourceInfo(HANDLE file, SourceInfo& info)
{
    FILE_BASIC_INFO basic{};
    FILE_STANDARD_INFO standard{};
    if (!GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic) ||
        !GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard))
        return false;
    const auto time = [](const LARGE_INTEGER& t) { return fileTimeOf(static_cast<uint64_t>(t.QuadPart)); };
    info.attributes = basic.FileAttributes;
    info.creation = time(basic.CreationTime);
    info.access = time(basic.LastAccessTime);
    info.lastWrite = time(basic.LastWriteTime);
    info.size = static_cast<uint64_t>(standard.EndOfFile.QuadPart);
    info.folder = standard.Directory != FALSE;
    return true;
}

bool Writer::add(HANDLE source, const std::wstring& name, const SourceInfo& info)
{
    if (!isOpen() || m_failed)
        return false;
    const std::string utf8 = toUtf8(name);
    if (utf8.empty() || utf8.size() > kMax16 - 1)
        return false;
    const uint64_t size = info.size;
    Entry e;
    e.name = name;
    e.rawName = utf8;
    e.flags = kUtf8Flag;
    e.madeBy = kMadeBy;
    e.externalAttributes = info.attributes & 0xFF;
    e.lastWrite = info.lastWrite;
    FILETIME local{};
    FileTimeToLocalFileTime(&info.lastWrite, &local);
    if (!FileTimeToDosDateTime(&local, &e.dosDate, &e.dosTime)) {
        e.dosDate = 0x21;  // 1 January 1980, for times the DOS fields cannot hold
        e.dosTime = 0;
    }
    e.localOffset = m_end;
    const bool zip64 = m_forceZip64 || size >= kZip64FileSize;
    LARGE_INTEGER start{};
    SetFilePointerEx(source, start, nullptr, FILE_BEGIN);

    if (size <= kInMemory) {
        std::vector<unsigned char> data(static_cast<size_t>(size));
        size_t got = 0;
        if (!readAll(source, data.data(), data.size(), got))
            return false;
        data.resize(got);
        e.size = got;
        e.crc = static_cast<uint32_t>(crc32(crc32(0, nullptr, 0), data.data(), static_cast<uInt>(got)));
        std::vector<unsigned char> packed(compressBound(static_cast<uLong>(got)) + 64);
        size_t packedLen = 0;
        if (got > 0) {
            Deflater d;
            if (!d.ready)
                return false;
            d.z.next_in = data.data();
            d.z.avail_in = static_cast<uInt>(got);
            d.z.next_out = packed.data();
            d.z.avail_out = static_cast<uInt>(packed.size());
            if (deflate(&d.z, Z_FINISH) != Z_STREAM_END)
                return false;
            packedLen = d.z.total_out;
        }
        // What deflate cannot shrink is stored as it is.
        const bool store = got == 0 || packedLen >= got;
        e.method = store ? 0 : 8;
        e.packedSize = store ? got : packedLen;
        const std::string header = localHeader(e, utf8, zip64, info.access, info.creation);
        if (!write(header.data(), header.size()) ||
            !write(store ? data.data() : packed.data(), static_cast<size_t>(e.packedSize)))
            return false;
    } else {
        e.method = 8;
        e.size = size;
        const std::string header = localHeader(e, utf8, zip64, info.access, info.creation);
        bool readFailed = false;
        if (!addStreamed(source, header, zip64, e, readFailed)) {
            if (!m_failed)
                rollbackTo(e.localOffset);  // the source failed, not the archive
            return false;
        }
        const std::string final = localHeader(e, utf8, zip64, info.access, info.creation);
        if (!flushBuffer() || !writeAt(e.localOffset, final.data(), final.size()))
            return false;
    }
    m_entries.push_back(std::move(e));
    m_names.push_back(utf8);
    ++m_added;
    return true;
}

bool Writer::addStreamed(HANDLE source, const std::string& header, bool zip64, Entry& e, bool& readFailed)
{
    if (!write(header.data(), header.size()))
        return false;
    Deflater d;
    if (!d.ready)
        return false;
    std::vector<unsigned char> in(kChunk), out(kChunk);
    uLong crc = crc32(0, nullptr, 0);
    uint64_t read = 0, packed = 0;
    bool eof = false;
    while (!eof) {
        size_t got = 0;
        if (!readAll(source, in.data(), in.size(), got)) {
            readFailed = true;
            return false;
        }
        eof = got < in.size();
        crc = crc32(crc, in.data(), static_cast<uInt>(got));
        read += got;
        d.z.next_in = in.data();
        d.z.avail_in = static_cast<uInt>(got);
        int rc;
        do {
            d.z.next_out = out.data();
            d.z.avail_out = static_cast<uInt>(out.size());
            rc = deflate(&d.z, eof ? Z_FINISH : Z_NO_FLUSH);
            const size_t n = out.size() - d.z.avail_out;
            packed += n;
            if (n && !write(out.data(), n))
                return false;
        } while (d.z.avail_out == 0 || (eof && rc != Z_STREAM_END));
    }
    // A file that grew past what ZIP64-less sizes can hold cannot be stored
    // under the header already written.
    if (!zip64 && (read >= kMax32 || packed >= kMax32))
        return false;
    e.crc = static_cast<uint32_t>(crc);
    e.size = read;
    e.packedSize = packed;
    return true;
}

bool Writer::flush()
{
    if (!isOpen() || !flushBuffer())
        return false;
    if (!FlushFileBuffers(m_file))
        return fail();
    m_durableEnd = m_end;
    m_durableCount = m_entries.size();
    return true;
}

bool Writer::close()
{
    if (!isOpen())
        return false;
    bool ok = flushBuffer();
    if (m_failed) {
        // Cut back to what is known to be on disk and close the archive as
        // far as it is valid: the entries of the last durable point.
        ok = false;
        m_buffer.clear();
        m_end = m_durableEnd;
        m_entries.resize(m_durableCount);
        m_names.resize(m_durableCount);
        m_failed = false;
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(m_end);
        if (!SetFilePointerEx(m_file, at, nullptr, FILE_BEGIN) || !SetEndOfFile(m_file))
            fail();
    }
    const bool allWritten = ok;
    const uint64_t cdOffset = m_end;
    std::string cd;
    bool anyZip64 = m_forceZip64;
    for (size_t i = 0; i < m_entries.size(); ++i) {
        const Entry& e = m_entries[i];
        const std::string& name = m_names[i];
        const bool bigSize = m_forceZip64 || e.size >= kMax32;
        const bool bigPacked = m_forceZip64 || e.packedSize >= kMax32;
        const bool bigOffset = m_forceZip64 || e.localOffset >= kMax32;
        std::string extra;
        if (bigSize || bigPacked || bigOffset) {
            anyZip64 = true;
            std::string z;
            if (bigSize)
                put64(z, e.size);
            if (bigPacked)
                put64(z, e.packedSize);
            if (bigOffset)
                put64(z, e.localOffset);
            put16(extra, 0x0001);
            put16(extra, static_cast<uint16_t>(z.size()));
            extra += z;
        }
        if (e.lastWrite)
            putNtfsTimes(extra, *e.lastWrite, *e.lastWrite, *e.lastWrite);
        put32(cd, kCentralSig);
        put16(cd, e.madeBy ? e.madeBy : kMadeBy);
        put16(cd, bigSize || bigPacked || bigOffset || e.size >= kZip64FileSize ? 45 : 20);
        put16(cd, e.flags);
        put16(cd, e.method);
        put16(cd, e.dosTime);
        put16(cd, e.dosDate);
        put32(cd, e.crc);
        put32(cd, bigPacked ? kMax32 : static_cast<uint32_t>(e.packedSize));
        put32(cd, bigSize ? kMax32 : static_cast<uint32_t>(e.size));
        put16(cd, static_cast<uint16_t>(name.size()));
        put16(cd, static_cast<uint16_t>(extra.size()));
        put16(cd, 0);  // comment
        put16(cd, 0);  // disk
        put16(cd, 0);  // internal attributes
        put32(cd, e.externalAttributes);
        put32(cd, bigOffset ? kMax32 : static_cast<uint32_t>(e.localOffset));
        cd += name;
        cd += extra;
        if (cd.size() >= kChunk) {
            write(cd.data(), cd.size());
            cd.clear();
        }
    }
    write(cd.data(), cd.size());
    const uint64_t cdSize = m_end - cdOffset;
    const uint64_t count = m_entries.size();
    std::string tail;
    if (anyZip64 || count >= kMax16 || cdOffset >= kMax32 || cdSize >= kMax32) {
        const uint64_t end64 = m_end;
        put32(tail, kEnd64Sig);
        put64(tail, 44);
        put16(tail, kMadeBy);
        put16(tail, 45);
        put32(tail, 0);
        put32(tail, 0);
        put64(tail, count);
        put64(tail, count);
        put64(tail, cdSize);
        put64(tail, cdOffset);
        put32(tail, kLocator64Sig);
        put32(tail, 0);
        put64(tail, end64);
        put32(tail, 1);
    }
    const bool wide = !tail.empty();
    put32(tail, kEndSig);
    put16(tail, 0);
    put16(tail, 0);
    put16(tail, wide ? kMax16 : static_cast<uint16_t>(count));
    put16(tail, wide ? kMax16 : static_cast<uint16_t>(count));
    put32(tail, wide ? kMax32 : static_cast<uint32_t>(cdSize));
    put32(tail, wide ? kMax32 : static_cast<uint32_t>(cdOffset));
    put16(tail, 0);
    // The directory is written even after a failure: it makes the durable
    // entries an archive every reader opens.
    bool closed = write(tail.data(), tail.size()) && flushBuffer();
    if (closed) {
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(m_end);
        closed = SetFilePointerEx(m_file, at, nullptr, FILE_BEGIN) && SetEndOfFile(m_file) && FlushFileBuffers(m_file);
    }
    ok = allWritten && closed;
    if (!closed)
        fail();
    CloseHandle(m_file);
    m_file = INVALID_HANDLE_VALUE;
    m_entries.clear();
    m_names.clear();
    return ok;
}

} // namespace sorvane::zip

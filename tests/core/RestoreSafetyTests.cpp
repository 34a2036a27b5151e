// Restore against what a hostile archive or a changed disk puts in its way:
// links on the way to a file, paths past MAX_PATH, torn archives, bombs,
// overlapping entries and a target volume too small for what is declared.
#include "core/Deletion.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "store/BackupArchive.h"
#include "store/Zip.h"
#include "support/RecorderUi.h"
#include "support/TestEnv.h"

#include <zlib.h>

#include <gtest/gtest.h>

using namespace sorvane;
using namespace testenv;

namespace {

void put16(std::string& s, uint16_t v)
{
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8);
}
void put32(std::string& s, uint32_t v)
{
    put16(s, static_cast<uint16_t>(v));
    put16(s, static_cast<uint16_t>(v >> 16));
}

// One entry of a hand-made archive; `offset` points the central record at
// another entry's local record when set.
struct RawEntry {
    std::string name;
    std::string data;  // as stored
    uint16_t method = 0;
    uint32_t crc = 0;
    uint32_t size = 0;  // declared
    int offsetOf = -1;
};

RawEntry stored(std::string name, std::string bytes)
{
    RawEntry e;
    e.name = std::move(name);
    e.crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
    e.size = static_cast<uint32_t>(bytes.size());
    e.data = std::move(bytes);
    return e;
}

// The fields local and central records share, from "version needed" to
// the name's length.
void putCommon(std::string& out, const RawEntry& e)
{
    put16(out, 20);
    put16(out, 0x0800);
    put16(out, e.method);
    put16(out, 0);
    put16(out, 0x5A21);
    put32(out, e.crc);
    put32(out, static_cast<uint32_t>(e.data.size()));
    put32(out, e.size);
    put16(out, static_cast<uint16_t>(e.name.size()));
}

// Local records, then (unless torn) the central directory and its end.
std::string buildZip(const std::vector<RawEntry>& entries, bool central = true)
{
    std::string out;
    std::vector<uint32_t> offsets;
    for (const auto& e : entries) {
        offsets.push_back(static_cast<uint32_t>(out.size()));
        put32(out, 0x04034b50);
        putCommon(out, e);
        put16(out, 0);  // extra field
        out += e.name;
        out += e.data;
    }
    if (!central)
        return out;
    const uint32_t cdStart = static_cast<uint32_t>(out.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        const auto& e = entries[i];
        put32(out, 0x02014b50);
        put16(out, 20);  // made by
        putCommon(out, e);
        for (int field = 0; field < 4; ++field)
            put16(out, 0);  // extra, comment, disk, internal attributes
        put32(out, 0);      // external attributes
        put32(out, e.offsetOf >= 0 ? offsets[static_cast<size_t>(e.offsetOf)] : offsets[i]);
        out += e.name;
    }
    const uint32_t cdSize = static_cast<uint32_t>(out.size()) - cdStart;
    put32(out, 0x06054b50);
    put16(out, 0);
    put16(out, 0);
    put16(out, static_cast<uint16_t>(entries.size()));
    put16(out, static_cast<uint16_t>(entries.size()));
    put32(out, cdSize);
    put32(out, cdStart);
    put16(out, 0);
    return out;
}

// Stored names of files under C:, as a backup of drive C holds them.
std::string cName(const std::wstring& path) { return toUtf8(storedNameOf(path)); }

class HostileRestore : public ::testing::Test {
protected:
    HostileRestore() { resetOverwriteAnswer(); }
    std::wstring archive(const std::string& bytes)
    {
        const std::wstring a = archives.file(L"C_010120261200" + std::to_wstring(++m_count) + L".zip");
        writeFile(a, bytes);
        return a;
    }
    cUnZip restore(const std::wstring& path)
    {
        cUnZip u;
        u.setZipFile(path);
        u.Directory();
        u.UseFolderNames = true;
        u.OverwriteExisting = true;
        u.Unzip();
        return u;
    }
    bool failedWith(const cUnZip& u, const std::wstring& nameEnd, const std::wstring& reasonPart)
    {
        for (const auto& f : u.failures())
            if (f.name.size() >= nameEnd.size() && f.name.compare(f.name.size() - nameEnd.size(), nameEnd.size(), nameEnd) == 0 &&
                f.reason.find(reasonPart) != std::wstring::npos)
                return true;
        return false;
    }
    TempFolder dir, archives;

private:
    int m_count = 0;
};

} // namespace

// C:\sorvane-fixtures\restore\link is a folder link (made by the test script)
// to a folder beside it: a restore never writes through it.
TEST_F(HostileRestore, AFolderLinkOnTheWayIsNeverFollowed)
{
    const std::wstring fixtures = L"C:\\sorvane-fixtures\\";
    const DWORD linkAttrs = GetFileAttributesW((fixtures + L"restore\\link").c_str());
    ASSERT_NE(linkAttrs, INVALID_FILE_ATTRIBUTES) << "the script makes the link";
    ASSERT_TRUE(linkAttrs & FILE_ATTRIBUTE_REPARSE_POINT);
    const std::wstring a = archive(buildZip({stored("sorvane-fixtures/restore/link/evil.txt", "planted"),
                                             stored("sorvane-fixtures/restore/link/deeper/evil2.txt", "planted"),
                                             stored("sorvane-fixtures/restore/plain/ok.txt", "restored")}));
    cUnZip u = restore(a);
    EXPECT_EQ(u.extractedCount(), 1u);
    EXPECT_EQ(readFile(fixtures + L"restore\\plain\\ok.txt"), "restored");
    EXPECT_FALSE(exists(fixtures + L"restore-outside\\evil.txt"));
    EXPECT_FALSE(exists(fixtures + L"restore-outside\\deeper"));
    EXPECT_TRUE(failedWith(u, L"link/evil.txt", L"is a link")) << toAnsi(restoreSummary(u));
    EXPECT_TRUE(failedWith(u, L"deeper/evil2.txt", L"is a link"));
    const std::wstring summary = restoreSummary(u);
    EXPECT_NE(summary.find(L"Restored: 1\r\n"), std::wstring::npos) << toAnsi(summary);
    EXPECT_NE(summary.find(L"Failed: 2"), std::wstring::npos);
    DeleteFileW((fixtures + L"restore\\plain\\ok.txt").c_str());
}

TEST_F(HostileRestore, AFileUnderAFolderOfThreeHundredCharactersComesBack)
{
    std::wstring folder = dir.path();
    while (folder.size() < 300)
        folder += L"\\" + std::wstring(40, L'd');
    makeDir(apiPath(folder));
    const std::wstring file = folder + L"\\deep file.txt";
    writeFile(apiPath(file), "from deep down");
    RunState run;
    RecorderUi ui(run);
    DeleteSettings settings;
    settings.intDelMethod = kBackup;
    settings.strBackupPath = archives.path() + L"\\";
    {
        DeletionEngine engine(ui, run, settings);
        engine.deleteFiles({file});
    }
    finishBackupArchive();
    ASSERT_FALSE(exists(apiPath(file)));
    ASSERT_EQ(run.lngBackedUp, 1);
    removeTree(apiPath(dir.path() + L"\\" + std::wstring(40, L'd')));
    cUnZip u;
    u.setZipFile(currentBackupArchive());
    u.Directory();
    u.UseFolderNames = true;
    EXPECT_TRUE(u.Unzip()) << toAnsi(restoreSummary(u));
    EXPECT_EQ(readFile(apiPath(file)), "from deep down");
    EXPECT_EQ(restoreSummary(u), L"Files Restored Successfully");
}

TEST_F(HostileRestore, ATornArchiveSaysWhatItRestoredAndThatItWasDamaged)
{
    const std::wstring one = dir.file(L"one.txt"), two = dir.file(L"two.txt");
    std::string zip = buildZip({stored(cName(one), "first"), stored(cName(two), "second")}, false);
    zip += "PK\x03\x04 torn";  // a third record cut off in its header
    cUnZip u = restore(archive(zip));
    EXPECT_TRUE(u.recovered());
    EXPECT_EQ(readFile(one), "first");
    EXPECT_EQ(readFile(two), "second");
    const std::wstring summary = restoreSummary(u);
    EXPECT_EQ(summary.rfind(L"The backup was damaged", 0), 0u) << toAnsi(summary);
    EXPECT_NE(summary.find(L"Restored: 2\r\nKept in place by the overwrite method: 0\r\nFailed: 0"), std::wstring::npos);
    EXPECT_NE(summary.find(L"recovered from the local headers"), std::wstring::npos);

    // Failures are named with their reasons; an existing file that the
    // method keeps is counted as kept.
    RawEntry bad = stored(cName(dir.file(L"bad.txt")), "damaged bytes");
    bad.crc ^= 1;
    writeFile(one, "newer copy");
    cUnZip never;
    never.setZipFile(archive(buildZip({stored(cName(one), "first"), bad, stored(cName(dir.file(L"new.txt")), "n")})));
    never.Directory();
    never.UseFolderNames = true;
    never.Unzip();
    const std::wstring mixed = restoreSummary(never);
    EXPECT_EQ(mixed.rfind(L"There was an error in restoring files", 0), 0u) << toAnsi(mixed);
    EXPECT_NE(mixed.find(L"Restored: 1\r\nKept in place by the overwrite method: 1\r\nFailed: 1"), std::wstring::npos);
    EXPECT_NE(mixed.find(L"bad.txt: its CRC does not match"), std::wstring::npos);
    EXPECT_EQ(readFile(one), "newer copy");
    EXPECT_FALSE(exists(dir.file(L"bad.txt")));
}

namespace {

// Raw deflate of `n` zero bytes.
std::string deflatedZeros(size_t n)
{
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
    std::vector<unsigned char> in(1 << 20, 0), out(1 << 20);
    std::string packed;
    size_t left = n;
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
        const size_t chunk = std::min(left, in.size());
        z.next_in = in.data();
        z.avail_in = static_cast<uInt>(chunk);
        left -= chunk;
        do {
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(out.size());
            rc = deflate(&z, left == 0 ? Z_FINISH : Z_NO_FLUSH);
            packed.append(reinterpret_cast<char*>(out.data()), out.size() - z.avail_out);
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    return packed;
}

} // namespace

TEST_F(HostileRestore, ABombStopsAtItsDeclaredSize)
{
    RawEntry bomb;
    bomb.name = cName(dir.file(L"bomb.txt"));
    bomb.method = 8;
    bomb.data = deflatedZeros(200u << 20);
    bomb.size = 10;  // declared
    const std::wstring a = archive(buildZip({bomb}));
    const zip::Listing listing = zip::list(a);
    ASSERT_EQ(listing.entries.size(), 1u);
    const std::wstring out = dir.file(L"direct.out");
    HANDLE archiveHandle = CreateFileW(a.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE outHandle = CreateFileW(out.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    EXPECT_EQ(zip::extractTo(archiveHandle, listing.entries[0], outHandle), zip::Extracted::BadData);
    CloseHandle(outHandle);
    CloseHandle(archiveHandle);
    EXPECT_LE(readFile(out).size(), 10u) << "nothing past the declared size is written";

    cUnZip u = restore(a);
    EXPECT_TRUE(failedWith(u, L"bomb.txt", L"damaged"));
    EXPECT_FALSE(exists(dir.file(L"bomb.txt")));
    WIN32_FIND_DATAW fd;
    HANDLE f = FindFirstFileW(dir.file(L"svz*").c_str(), &fd);
    EXPECT_EQ(f, INVALID_HANDLE_VALUE) << "no extracted copy is left behind";
    if (f != INVALID_HANDLE_VALUE)
        FindClose(f);
}

TEST_F(HostileRestore, OverlappingOrSharedRecordsAreRefused)
{
    RawEntry first = stored(cName(dir.file(L"first.txt")), "shared data");
    RawEntry second = first;
    second.name = cName(dir.file(L"second.txt"));
    second.offsetOf = 0;  // the central record of the second names the first's local record
    RawEntry third = stored(cName(dir.file(L"third.txt")), "own data");
    cUnZip u = restore(archive(buildZip({first, second, third})));
    EXPECT_FALSE(exists(dir.file(L"first.txt")));
    EXPECT_FALSE(exists(dir.file(L"second.txt")));
    EXPECT_EQ(readFile(dir.file(L"third.txt")), "own data");
    EXPECT_TRUE(failedWith(u, L"first.txt", L"overlaps"));
    EXPECT_TRUE(failedWith(u, L"second.txt", L"overlaps"));
}

// On the small volume the test script mounts as a drive (512 KiB).
TEST_F(HostileRestore, ARestoreThatWouldNotFitAsksFirst)
{
    wchar_t volume[8] = {};
    if (!GetEnvironmentVariableW(L"SORVANE_FULL_VOLUME", volume, 8))
        GTEST_SKIP() << "no small volume mounted (the test script mounts one as root)";
    const std::wstring root = std::wstring(volume) + L"\\";
    removeTree(root + L"restore");
    RawEntry big = stored("restore/big.bin", "tiny");
    big.size = 4u << 20;  // declares 4 MiB
    RawEntry small = stored("restore/small.txt", "small");
    const std::wstring a = archive(buildZip({small, big}));
    for (const bool answer : {false, true}) {
        cUnZip u;
        u.setZipFile(a);
        u.Directory();
        u.UseFolderNames = true;
        u.TargetRoot = root;
        int asked = 0;
        uint64_t needed = 0, free = 0;
        u.ConfirmLowSpace = [&](uint64_t need, uint64_t room) {
            ++asked;
            needed = need;
            free = room;
            return answer;
        };
        u.Unzip();
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(needed, (4u << 20) + 5);
        EXPECT_LE(free, 512u * 1024);
        EXPECT_EQ(u.cancelled(), !answer);
        EXPECT_EQ(exists(root + L"restore\\small.txt"), answer) << "a No writes nothing";
        if (answer) {
            EXPECT_TRUE(failedWith(u, L"big.bin", L"damaged"));
        }
    }
    removeTree(root + L"restore");
}

// The zip reader against 2,000 damaged and hostile archives made from a
// fixed seed: flipped bytes, truncations, lying sizes, ZIP64 fields and
// hostile names. Listing and extraction must neither crash nor hang, and
// nothing may be written outside the folder an extraction is pointed at.
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "store/BackupArchive.h"
#include "store/Zip.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

using namespace sorvane;
using namespace testenv;

namespace {

std::set<std::wstring> namesIn(const std::wstring& folder)
{
    std::set<std::wstring> names;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do
        names.insert(fd.cFileName);
    while (FindNextFileW(h, &fd));
    FindClose(h);
    return names;
}

// A small archive of our own writer: a deflated text, a stored noise file,
// an empty file, in folders; with ZIP64 records when asked.
std::string seedArchive(const TempFolder& dir, bool zip64)
{
    const std::wstring path = dir.file(zip64 ? L"seed64.zip" : L"seed.zip");
    zip::Writer w;
    w.forceZip64(zip64);
    EXPECT_TRUE(w.open(path));
    std::mt19937 rng(7);
    std::string noise(3000, '\0');
    for (auto& c : noise)
        c = static_cast<char>(rng());
    const std::pair<const wchar_t*, std::string> files[] = {
        {L"a/one.txt", std::string(4000, 'x') + "the end"}, {L"a/b/two.bin", noise}, {L"three.txt", ""}};
    for (const auto& [name, bytes] : files) {
        const std::wstring src = dir.file(L"src.tmp");
        writeFile(src, bytes);
        HANDLE h = CreateFileW(src.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        zip::SourceInfo info;
        zip::sourceInfo(h, info);
        EXPECT_TRUE(w.add(h, name, info));
        CloseHandle(h);
    }
    EXPECT_TRUE(w.close());
    return readFile(path);
}

// Offsets of every occurrence of a four-byte signature.
std::vector<size_t> find(const std::string& s, uint32_t signature)
{
    std::vector<size_t> at;
    const std::string sig{static_cast<char>(signature & 0xFF), static_cast<char>((signature >> 8) & 0xFF),
                          static_cast<char>((signature >> 16) & 0xFF), static_cast<char>(signature >> 24)};
    for (size_t i = s.find(sig); i != std::string::npos; i = s.find(sig, i + 1))
        at.push_back(i);
    return at;
}

void put32(std::string& s, size_t at, uint32_t v)
{
    for (int i = 0; i < 4 && at + i < s.size(); ++i)
        s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Writes `name` over the stored names of every record with `signature`
// (header of `headerLength` bytes, name length at `lengthAt`), padded to keep
// each name's length.
void overwriteNames(std::string& s, uint32_t signature, size_t headerLength, size_t lengthAt, const std::string& name)
{
    for (size_t at : find(s, signature)) {
        if (at + headerLength > s.size())
            continue;
        const size_t len = static_cast<unsigned char>(s[at + lengthAt]) |
                           (static_cast<unsigned char>(s[at + lengthAt + 1]) << 8);
        for (size_t i = 0; i < len && at + headerLength + i < s.size(); ++i)
            s[at + headerLength + i] = i < name.size() ? name[i] : 'e';
    }
}

const char* const kHostileNames[] = {"../../../evil.txt", "..\\..\\evil.txt", "/abs/evil.txt", "C:/evil.txt",
                                     "a/../../../evil", "\\\\srv\\share\\e", "a//b/evil.txt", "evil.txt:stream",
                                     "a/./b/../../..", "con/aux/nul.txt", "x\x01\x02y.txt", "....//....//e"};

std::string mutate(std::string s, std::mt19937& rng)
{
    const auto pick = [&](size_t n) { return n ? static_cast<size_t>(rng() % n) : 0; };
    const auto lies = [&] {
        const uint32_t values[] = {0, 1, 10, 0xFFFF, 0x7FFFFFFF, 0xFFFFFFFF, 0xFFFFFFFE, static_cast<uint32_t>(rng())};
        return values[pick(8)];
    };
    switch (rng() % 6) {
    case 0:  // flipped bytes
        for (size_t i = 0, n = 1 + pick(8); i < n && !s.empty(); ++i)
            s[pick(s.size())] ^= static_cast<char>(1 + pick(255));
        break;
    case 1:  // truncated
        s.resize(pick(s.size()));
        break;
    case 2: {  // lying sizes, CRCs and offsets
        auto local = find(s, 0x04034b50), central = find(s, 0x02014b50);
        for (int i = 0; i < 3; ++i) {
            if (!local.empty() && rng() % 2)
                put32(s, local[pick(local.size())] + 14 + 4 * pick(3), lies());
            if (!central.empty())
                put32(s, central[pick(central.size())] + 16 + 4 * pick(3), lies());
            if (!central.empty() && rng() % 3 == 0)
                put32(s, central[pick(central.size())] + 42, lies());
        }
        break;
    }
    case 3: {  // ZIP64: sizes that send the reader to the extra field, and
               // extra fields with wrong lengths or values
        auto central = find(s, 0x02014b50);
        for (size_t at : central)
            if (rng() % 2)
                put32(s, at + 20 + 4 * pick(2), 0xFFFFFFFF);
        for (size_t at : find(s, 0x0001))  // an extra field's tag, or not
            if (rng() % 3 == 0 && at + 12 < s.size()) {
                s[at + 2] = static_cast<char>(rng());
                put32(s, at + 4 + 4 * pick(4), lies());
            }
        for (size_t at : find(s, 0x06064b50))
            put32(s, at + 24 + 8 * pick(4), lies());
        break;
    }
    case 4: {  // hostile names, written over the stored names
        const std::string name = kHostileNames[pick(std::size(kHostileNames))];
        overwriteNames(s, 0x02014b50, 46, 28, name);
        overwriteNames(s, 0x04034b50, 30, 26, name);
        break;
    }
    default:  // several of the above
        s = mutate(mutate(std::move(s), rng), rng);
        break;
    }
    return s;
}

} // namespace

TEST(ZipFuzz, TwoThousandDamagedArchivesNeitherCrashNorWriteOutsideTheTarget)
{
    TempFolder dir, out;
    const std::vector<std::string> seeds = {seedArchive(dir, false), seedArchive(dir, true),
                                            readFile(L"C:\\sorvane-fixtures\\zip\\D_streamed.zip")};
    ASSERT_FALSE(seeds[2].empty()) << "the test script makes the streamed Info-ZIP archive";
    const std::wstring root = out.file(L"root");
    const std::wstring input = dir.file(L"C_fuzz.zip");
    const std::set<std::wstring> driveBefore = namesIn(L"C:"), dirBefore = namesIn(dir.path());
    std::mt19937 rng(20261208);
    size_t listed = 0, extracted = 0;
    for (int i = 0; i < 2000; ++i) {
        const std::string bytes = mutate(seeds[static_cast<size_t>(i) % seeds.size()], rng);
        writeFile(input, bytes);
        makeDir(root);
        cUnZip u;
        u.setZipFile(input);
        u.Directory();
        listed += u.FileCount();
        u.UseFolderNames = true;
        u.OverwriteExisting = true;
        u.TargetRoot = root;
        u.Unzip();
        extracted += u.extractedCount();
        const std::set<std::wstring> beside = namesIn(out.path());
        ASSERT_EQ(beside, (std::set<std::wstring>{L".", L"..", L"root"})) << "case " << i << " wrote beside its target";
        removeTree(root);
    }
    DeleteFileW(input.c_str());
    EXPECT_EQ(namesIn(L"C:"), driveBefore);
    EXPECT_EQ(namesIn(dir.path()), dirBefore);
    // The mutations leave many archives readable: the reader was exercised.
    EXPECT_GT(listed, 1000u);
    EXPECT_GT(extracted, 200u);
}

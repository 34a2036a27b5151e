// The backup delete method against a bare loop that deflates the same bytes
// with zlib at the same level and deletes the files: 20,000 files of 4 KiB
// and one file of 512 MiB. Also the archive's size against gzip of the same
// files at the same level.
#include "BenchSupport.h"
#include "core/Deletion.h"
#include "core/RunState.h"
#include "store/BackupArchive.h"
#include "store/Zip.h"

#include <windows.h>
#include <zlib.h>

#include <cstdio>
#include <random>

using namespace sorvane;
using namespace bench;

namespace {

constexpr int kFolders = 200, kPerFolder = 100;  // 20,000 files
constexpr size_t kSmall = 4096;
constexpr uint64_t kLarge = 512ull << 20;

// Text-like data: words from a small vocabulary, so deflate has work to do.
std::string textLike(size_t n, unsigned seed)
{
    static const char* words[] = {"cache ", "temporary ", "index ", "0x7f3a ", "backup ", "log entry ", "\r\n",
                                  "Sorvane ", "2026-12-08 ", "ERROR ", "value=", "42 ", "{\"id\":", "}, "};
    std::mt19937 rng(seed);
    std::string s;
    s.reserve(n + 16);
    while (s.size() < n) {
        s += words[rng() % 14];
        if (rng() % 7 == 0)
            s += static_cast<char>('A' + rng() % 26);
    }
    s.resize(n);
    return s;
}

void writeBytes(const std::wstring& path, const std::string& data)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD w = 0;
    WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &w, nullptr);
    CloseHandle(h);
}

std::vector<std::wstring> makeSet(const std::wstring& root)
{
    std::vector<std::wstring> files;
    CreateDirectoryW(root.c_str(), nullptr);
    for (int d = 0; d < kFolders; ++d) {
        const std::wstring folder = root + L"\\f" + std::to_wstring(d);
        CreateDirectoryW(folder.c_str(), nullptr);
        for (int f = 0; f < kPerFolder; ++f) {
            files.push_back(folder + L"\\file" + std::to_wstring(f) + L".tmp");
            writeBytes(files.back(), textLike(kSmall, static_cast<unsigned>(d * kPerFolder + f)));
        }
    }
    files.push_back(root + L"\\large.bin");
    HANDLE h = CreateFileW(files.back().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    const std::string chunk = textLike(8u << 20, 99) ;
    for (uint64_t done = 0; done < kLarge; done += chunk.size()) {
        DWORD w = 0;
        WriteFile(h, chunk.data(), static_cast<DWORD>(chunk.size()), &w, nullptr);
    }
    CloseHandle(h);
    return files;
}

// Deflates a file's bytes (raw, or as gzip with windowBits 31) into `out`.
uint64_t deflateFile(const std::wstring& path, int windowBits, HANDLE out)
{
    HANDLE in = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    z_stream z{};
    deflateInit2(&z, zip::kLevel, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    static std::vector<unsigned char> src(1 << 20), dst(1 << 20);
    uint64_t total = 0;
    bool eof = false;
    while (!eof) {
        DWORD got = 0;
        ReadFile(in, src.data(), static_cast<DWORD>(src.size()), &got, nullptr);
        eof = got < src.size();
        z.next_in = src.data();
        z.avail_in = got;
        int rc;
        do {
            z.next_out = dst.data();
            z.avail_out = static_cast<uInt>(dst.size());
            rc = deflate(&z, eof ? Z_FINISH : Z_NO_FLUSH);
            const DWORD n = static_cast<DWORD>(dst.size() - z.avail_out);
            total += n;
            DWORD w = 0;
            if (out != INVALID_HANDLE_VALUE && n)
                WriteFile(out, dst.data(), n, &w, nullptr);
        } while (z.avail_out == 0 || (eof && rc != Z_STREAM_END));
    }
    deflateEnd(&z);
    CloseHandle(in);
    return total;
}

uint64_t sizeOf(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA d{};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &d);
    return (static_cast<uint64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
}

} // namespace

// With --huge: one entry past 4 GiB (a sparse file of zeros), kept in
// C:\sorvane-bench-huge for unzip -t and 7z t on the Linux side.
int huge()
{
    const std::wstring folder = L"C:\\sorvane-bench-huge";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring file = folder + L"\\huge.bin";
    HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    LARGE_INTEGER size;
    size.QuadPart = (4ll << 30) + (300ll << 20);
    SetFilePointerEx(h, size, nullptr, FILE_BEGIN);
    SetEndOfFile(h);
    CloseHandle(h);
    const auto t0 = Clock::now();
    nameBackupArchive(folder, L"C_");
    const bool ok = addToBackupArchive(file);
    finishBackupArchive();
    DeleteFileW(file.c_str());
    std::printf("entry of %lld bytes %s in %.1f s: %ls\n", static_cast<long long>(size.QuadPart),
                ok ? "stored" : "NOT stored", seconds(t0), currentBackupArchive().c_str());
    cUnZip z;
    z.setZipFile(currentBackupArchive());
    z.Directory();
    if (z.FileCount() == 1)
        std::printf("listed back: %llu bytes, packed %llu\n", static_cast<unsigned long long>(z.entry(1).FileSize),
                    static_cast<unsigned long long>(z.entry(1).FilePackedSize));
    return ok ? 0 : 1;
}

int wmain(int argc, wchar_t** argv)
{
    if (argc > 1 && std::wstring(argv[1]) == L"--huge")
        return huge();
    const std::wstring root = L"C:\\sorvane-bench-backup";
    removeTree(root);
    CreateDirectoryW(root.c_str(), nullptr);
    auto t0 = Clock::now();
    const auto filesA = makeSet(root + L"\\a");
    const auto filesB = makeSet(root + L"\\b");
    std::printf("created 2 sets of %zu files (20,000 x 4 KiB and 512 MiB) in %.1f s\n", filesA.size(), seconds(t0));

    // gzip of the same files at the same level, file by file as gzip does.
    uint64_t gzipBytes = 0, rawBytes = 0;
    for (const auto& f : filesB) {
        gzipBytes += deflateFile(f, 31, INVALID_HANDLE_VALUE);
        rawBytes += sizeOf(f);
    }

    // Bare: deflate each file into one output file, then delete it.
    const std::wstring bareOut = root + L"\\bare.deflate";
    t0 = Clock::now();
    HANDLE out = CreateFileW(bareOut.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    double bareSmall = 0;
    for (size_t i = 0; i < filesB.size(); ++i) {
        if (i + 1 == filesB.size())
            bareSmall = seconds(t0);
        deflateFile(filesB[i], -MAX_WBITS, out);
        DeleteFileW(filesB[i].c_str());
    }
    FlushFileBuffers(out);
    CloseHandle(out);
    const double bare = seconds(t0);

    // The engine: back up into the archive of drive C, then delete.
    RunState run;
    SilentUi ui;
    DeleteSettings settings;
    settings.intDelMethod = kBackup;
    settings.strBackupPath = root + L"\\Backup\\";
    CreateDirectoryW(settings.strBackupPath.c_str(), nullptr);
    // The sizes come with the found files, as the search hands them over.
    std::vector<uint64_t> sizesA;
    for (const auto& f : filesA)
        sizesA.push_back(sizeOf(f));
    t0 = Clock::now();
    double engineSmall = 0;
    {
        DeletionEngine engine(ui, run, settings);
        const std::vector<std::wstring> small(filesA.begin(), filesA.end() - 1), large(filesA.end() - 1, filesA.end());
        const std::vector<uint64_t> smallSizes(sizesA.begin(), sizesA.end() - 1), largeSize(sizesA.end() - 1, sizesA.end());
        engine.deleteFiles(small, &smallSizes);
        engineSmall = seconds(t0);
        engine.deleteFiles(large, &largeSize);
    }
    finishBackupArchive();
    const double engine = seconds(t0);
    const std::wstring archive = currentBackupArchive();
    std::printf("backed up %lld files, deleted %lld (%llu bytes)\n", static_cast<long long>(run.lngBackedUp),
                static_cast<long long>(run.lngTotalFiles), static_cast<unsigned long long>(rawBytes));
    line("  20,000 files of 4 KiB", engineSmall, bareSmall, "");
    line("  one file of 512 MiB", engine - engineSmall, bare - bareSmall, "");
    line("backup+delete vs deflate+delete", engine, bare, "<= 1.3");
    const uint64_t zipBytes = sizeOf(archive);
    std::printf("%-34s archive %llu bytes   gzip -%d %llu bytes   ratio %5.3f\n", "archive size vs gzip",
                static_cast<unsigned long long>(zipBytes), zip::kLevel, static_cast<unsigned long long>(gzipBytes),
                static_cast<double>(zipBytes) / static_cast<double>(gzipBytes));
    removeTree(root);
    return 0;
}

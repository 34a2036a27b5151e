// The Windows Related categories, memory dumps and printer spool files.
#include "cleaners/Cleaners.h"

#include "platform/ErrorReport.h"
#include "platform/Registry.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"

#include <algorithm>

namespace sorvane {

namespace {

constexpr const wchar_t* kRunMruKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU\\";
constexpr const wchar_t* kRecentDocsKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs\\";
constexpr const wchar_t* kRecentShellFoldersKey =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\";
constexpr const wchar_t* kCrashControlKey = L"System\\CurrentControlSet\\Control\\CrashControl\\";
constexpr const wchar_t* kPrintersKey = L"System\\CurrentControlSet\\Control\\Print\\Printers\\";


} // namespace

namespace {

struct BinFigures {
    int64_t bytes = 0;
    int64_t items = 0;
};

// Every bin at once, or, where that query says nothing, the bins of the
// hard drives added up.
BinFigures recycleBinFigures()
{
    BinFigures f;
    QueryRecycleBin(L"", f.bytes, f.items);
    if (f.items != 0)
        return f;
    f.bytes = 0;
    const std::wstring drives = getDriveList();
    if (drives.size() > 3) {
        for (const auto& root : split(drives, L'\0')) {
            if (root.empty() || rgbDrvType(root) != L"Hard drive;")
                continue;
            int64_t b = 0, n = 0;
            QueryRecycleBin(root, b, n);
            f.bytes += b;
            f.items += n;
        }
    }
    return f;
}

} // namespace

void cleanRecycleBin(CleanerContext& ctx, bool)
{
    startCounted(ctx, 0);
    if (ctx.run.analyzing) {
        const BinFigures in = recycleBinFigures();
        if (in.items > 0)
            ctx.run.found(L"The Recycle Bin", static_cast<uint64_t>(in.bytes), in.items);
        ctx.ui.stopOperation(L"");
        return;
    }
    // What the log claims is what left the bin: the figures before the
    // emptying less those after it, nothing when the emptying failed.
    const BinFigures before = recycleBinFigures();
    BinFigures removed;
    if (EmptyRecycleBin(L"", true, true, true)) {
        const BinFigures after = recycleBinFigures();
        removed.items = std::max<int64_t>(0, before.items - after.items);
        removed.bytes = std::max<int64_t>(0, before.bytes - after.bytes);
    }
    ctx.run.lngTotalFiles += removed.items;
    ctx.run.dblTotalSize += static_cast<uint64_t>(removed.bytes);
    ctx.run.strLog += L"Cleaned Recycle Bin.... Files Deleted " + std::to_wstring(removed.items) + L" Space Gained " +
                      std::to_wstring(removed.bytes) + L"\r\n";
    ctx.ui.stopOperation(L"");
}

void cleanRunMRU(CleanerContext& ctx, bool)
{
    ctx.ui.startOperation(2);
    std::wstring kept;
    const size_t count = clearTraceValues(ctx, {kRunMruKey}, L"RunMRU", kept);
    ctx.run.strLog += L"Cleaned " + std::to_wstring(count) + L" Run MRU values\r\n" + kept;
    ctx.ui.stopOperation(L"");
}

void cleanRecentDocuments(CleanerContext& ctx, bool)
{
    startCounted(ctx, 7);
    cleanFolder(ctx, cleanerFolder(HKEY_CURRENT_USER, kRecentShellFoldersKey, L"Recent"), L"*.*", false);
    std::wstring kept;
    clearTraceValues(ctx, {kRecentDocsKey}, L"RecentDocs", kept);
    finishCounted(ctx, L"Cleaned Recent Documents....");
    ctx.run.strLog += kept;
}

void cleanWindowsClipboard(CleanerContext& ctx, bool)
{
    ctx.ui.startOperation(16);
    if (ctx.run.analyzing) {
        if (CountClipboardFormats() > 0)
            ctx.run.found(L"The clipboard's contents", 0);
        ctx.ui.stopOperation(L"");
        return;
    }
    if (!OpenClipboard(nullptr))
        raiseWin32(GetLastError());
    const BOOL emptied = EmptyClipboard();
    const DWORD err = GetLastError();
    CloseClipboard();
    if (!emptied)
        raiseWin32(err);
    ctx.run.strLog += L"Cleaned Windows Clipboard....\r\n";
    ctx.ui.stopOperation(L"");
}

std::vector<std::wstring> officeMruKeys(std::wstring_view version)
{
    struct Entry {
        const wchar_t* program;
        const wchar_t* dialog;  // nullptr: the program's Recent Files key
    };
    static const Entry kEntries[] = {
        {L"Access", L"Backup Database As"}, {L"Access", L"Convert Database Into"},
        {L"Access", L"Database To COnvert From"}, {L"Access", L"File New Database"}, {L"Access", L"Import"},
        {L"Access", L"New From Existing File"}, {L"Access", L"Open"}, {L"Access", nullptr},
        {L"Excel", L"Open"}, {L"Excel", L"Save As"}, {L"Excel", nullptr},
        {L"FrontPage", L"File Open"}, {L"FrontPage", L"New Publish Location"}, {L"FrontPage", L"Open File"},
        {L"FrontPage", L"Picture"}, {L"FrontPage", L"Save As"}, {L"FrontPage", L"Select Background Picture"},
        {L"FrontPage", nullptr},
        {L"PowerPoint", L"Open"}, {L"PowerPoint", L"Save As"}, {L"PowerPoint", nullptr},
        {L"Word", L"Insert Picture"}, {L"Word", L"Open"}, {L"Word", L"Save As"}, {L"Word", nullptr},
    };
    std::vector<std::wstring> keys;
    const std::wstring base = L"Software\\Microsoft\\Office\\" + std::wstring(version) + L"\\";
    for (const auto& e : kEntries) {
        if (e.dialog)
            keys.push_back(base + L"Common\\Open Find\\Microsoft " + e.program + L"\\Settings\\" + e.dialog +
                           L"\\File Name MRU\\");
        else
            keys.push_back(base + e.program + L"\\Recent Files\\");
    }
    return keys;
}

void cleanMSOffice(CleanerContext& ctx, bool)
{
    ctx.ui.startOperation(17);
    // The lists of every version go into one undo file.
    std::vector<std::wstring> keys;
    for (const wchar_t* version : {L"11.0", L"10.0", L"9.0", L"8.0"})
        for (auto& key : officeMruKeys(version))
            keys.push_back(std::move(key));
    std::wstring kept;
    step(L"frmMain,cleanOfficeVersion", [&] { clearTraceValues(ctx, keys, L"OfficeMRU", kept); });
    ctx.ui.stopOperation(L"");
    ctx.run.strLog += L"Cleaned MS Office History Lists....\r\n" + kept;
}

std::wstring resolveDumpPath(std::wstring value)
{
    if (value.find(L'%') == std::wstring::npos)
        return value;
    convertWinPath(value);
    if (value.find(L'%') == std::wstring::npos)
        return value;
    // Other references (%windir%, %SystemDrive% ...) as the system expands them.
    return expandEnvironment(value);
}

void cleanMemoryDumpFiles(CleanerContext& ctx, bool)
{
    startCounted(ctx, 9);
    const std::wstring dumpFile = resolveDumpPath(getRegString(HKEY_LOCAL_MACHINE, kCrashControlKey, L"DumpFile"));
    // The system's own dump is not counted, but it goes the way every file
    // goes: through the deletion engine, by the chosen method.
    if (dumpFile.find(L'\\') != std::wstring::npos && fileExists(dumpFile))
        ctx.deletion.deleteOneFile(dumpFile);
    std::wstring minidumps = resolveDumpPath(getRegString(HKEY_LOCAL_MACHINE, kCrashControlKey, L"MinidumpDir"));
    if (minidumps.find(L'\\') != std::wstring::npos) {
        if (minidumps.back() != L'\\')
            minidumps += L'\\';
        if (folderExists(minidumps))
            cleanFolder(ctx, minidumps, L"*.dmp", false);
    }
    finishCounted(ctx, L"Cleaned Memory Dump Files....");
}

void cleanPrinter(CleanerContext& ctx, bool)
{
    startCounted(ctx, 8);
    cleanFolder(ctx, cleanerFolder(HKEY_LOCAL_MACHINE, kPrintersKey, L"DefaultspoolDirectory"), L"*.spl", false);
    finishCounted(ctx, L"Cleaned Leftover Printer Files....");
}

} // namespace sorvane

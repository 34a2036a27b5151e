#include "core/Deletion.h"

#include "core/ErrorReport.h"
#include "core/SystemPaths.h"
#include "options/BackupArchive.h"
#include "win/UniqueHandle.h"

#include <shellapi.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <algorithm>

namespace sorvane {

namespace {

std::mt19937_64& generator()
{
    static std::mt19937_64 g{std::random_device{}()};
    return g;
}

double uniform01()
{
    return std::uniform_real_distribution<double>(0.0, 1.0)(generator());
}

} // namespace

void ShellSortVariantArray(std::vector<std::wstring>& items, const std::function<void()>& yield)
{
    if (items.empty())
        return;
    const size_t last = items.size() - 1;
    for (size_t gap = (last + 1) / 2; gap > 0; gap /= 2) {
        yield();
        if (gap > last)
            continue;
        for (size_t i = 0; i <= last - gap; ++i) {
            yield();
            if (items[i] > items[i + gap])
                std::swap(items[i], items[i + gap]);
        }
        for (size_t i = last - gap + 1; i-- > 0;) {
            yield();
            if (items[i] > items[i + gap])
                std::swap(items[i], items[i + gap]);
        }
    }
}

std::wstring randomWipeName(double u)
{
    const double value = std::round(u * 1000.0 * 1000.0) / 1000.0;
    wchar_t buf[32];
    swprintf(buf, 32, L"%.3f", value);
    std::wstring s = buf;
    while (!s.empty() && s.back() == L'0')
        s.pop_back();
    if (!s.empty() && s.back() == L'.')
        s.pop_back();
    return s;
}

unsigned char randomWipeByte(double u)
{
    return static_cast<unsigned char>(std::nearbyint(u * 100.0));
}

void DeletionEngine::deleteFiles(const std::vector<std::wstring>& files, const std::vector<uint64_t>* sizes)
{
    if (sizes && sizes->size() != files.size())
        sizes = nullptr;
    constexpr const wchar_t* tag = L"frmMain,deleteFiles";
    if (!files.empty()) {
        step(tag, [&] { m_ui.setProgressMax(static_cast<int64_t>(files.size()) + 1); });
        for (size_t i = 0; i < files.size(); ++i) {
            const std::wstring& path = files[i];
            const bool pumped = m_yield.poll();
            if (m_yield.aborted()) {
                discardBackupArchive(m_run);
                m_ui.stopOperation(L"Aborted by User");
                return;
            }
            uint64_t size = sizes ? (*sizes)[i] : 0;
            const bool sized = sizes || step(tag, [&] { size = fileLength(path); });
            // The status and progress are redrawn once per time slice, not per file.
            if (pumped) {
                m_ui.setStatus(L"Deleting File: " + path);
                m_ui.setProgress(static_cast<int64_t>(i) + 1);
            }
            if (deleteOneFile(path) != 0 && sized)
                m_run.count(size);
        }
    }
    m_ui.setProgress(0);
    m_ui.setStatus(L"Ready");
}

void DeletionEngine::deleteFolders(std::vector<std::wstring> folders)
{
    if (folders.empty())
        return;
    try {
        ShellSortVariantArray(folders, [&] { m_yield.poll(); });
    } catch (...) {
    }
    for (const auto& folder : folders) {
        SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
        RemoveDirectoryW(folder.c_str());
    }
}

int DeletionEngine::deleteToRecycleBin(const std::wstring& path)
{
    std::wstring from = path;
    from.push_back(L'\0');
    from.push_back(L'\0');
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    // No error dialog may stop a run halfway: a failure is counted as locked.
    op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_NOERRORUI;
    return SHFileOperationW(&op) == 0 && !op.fAnyOperationsAborted ? 1 : 0;
}

int DeletionEngine::deletePlain(const std::wstring& path)
{
    // Most files delete at once; only a read-only one needs its attributes
    // cleared first.
    if (DeleteFileW(path.c_str()))
        return 1;
    if (GetLastError() != ERROR_ACCESS_DENIED)
        return 0;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return DeleteFileW(path.c_str()) ? 1 : 0;
}

int DeletionEngine::deleteOneFile(const std::wstring& path)
{
    int result = 0;
    try {
        switch (m_settings.intDelMethod) {
        case kDelete: result = deletePlain(path); break;
        case kWipe:
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            result = wipeFile(path);
            break;
        case kRecycleBin:
        default:
            // Without archives the backup method keeps the files recoverable
            // in the Recycle Bin rather than deleting them unsaved.
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            result = deleteToRecycleBin(path);
            break;
        }
    } catch (...) {
        return 0;
    }
    if (result == 0)
        m_run.bLocked = -1;
    return result;
}

int DeletionEngine::wipeFile(const std::wstring& path)
{
    constexpr const wchar_t* tag = L"modFunctions,wipeFile";
    win::UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr));
    if (!file) {
        setPendingError(static_cast<long>(GetLastError()), win32Message(GetLastError()));
        reportError(tag);
        return 0;
    }
    LARGE_INTEGER length{};
    if (!GetFileSizeEx(file.get(), &length)) {
        setPendingError(static_cast<long>(GetLastError()), win32Message(GetLastError()));
        reportError(tag);
        return 0;
    }
    const uint64_t total = static_cast<uint64_t>(length.QuadPart);
    std::vector<unsigned char> block(static_cast<size_t>(std::min<uint64_t>(total, kWipeBlockBytes)), 0);
    for (uint64_t done = 0; done < total;) {
        m_yield.poll();
        if (m_yield.aborted())
            return 0;  // the file stays, partly overwritten
        const DWORD chunk = static_cast<DWORD>(std::min<uint64_t>(total - done, block.size()));
        if (m_settings.bytExtraSecurity != 0)
            for (DWORD i = 0; i < chunk; ++i)
                block[i] = randomWipeByte(uniform01());
        DWORD written = 0;
        if (!WriteFile(file.get(), block.data(), chunk, &written, nullptr) || written != chunk ||
            !FlushFileBuffers(file.get())) {
            setPendingError(static_cast<long>(GetLastError()), win32Message(GetLastError()));
            reportError(tag);
            return 0;
        }
        done += chunk;
    }
    file.reset();

    std::wstring target = path;
    if (m_settings.bytRename == 1) {
        const size_t slash = path.find_last_of(L'\\');
        target = path.substr(0, slash + 1) + randomWipeName(uniform01());
        if (!MoveFileW(path.c_str(), target.c_str())) {
            setPendingError(static_cast<long>(GetLastError()), win32Message(GetLastError()));
            reportError(tag);
            return 0;
        }
    }
    return DeleteFileW(target.c_str()) ? 1 : 0;
}

} // namespace sorvane

#include "store/BackupLedger.h"

#include "platform/Sha256.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "win/UniqueHandle.h"

#include <windows.h>

#include <cstdint>
#include <optional>

namespace sorvane {

namespace {

// The file's full path, in lower case: a file of the same name elsewhere (a
// planted one, or an archive of the same second in another folder) is
// another file.
std::wstring valueNameOf(const std::wstring& path)
{
    std::wstring name = toLower(path);
    if (name.rfind(L"\\\\?\\", 0) == 0)
        name.erase(0, 4);
    // One backslash between parts, however the folder and the name were
    // joined ("C:\\Backup\\" + "\\C_1.zip").
    for (size_t at; (at = name.find(L"\\\\", 1)) != std::wstring::npos;)
        name.erase(at, 1);
    return name;
}

win::UniqueKey openLedger(REGSAM access, bool create)
{
    win::UniqueKey key;
    const REGSAM view = access | KEY_WOW64_64KEY;
    const LONG rc = create ? RegCreateKeyExW(HKEY_LOCAL_MACHINE, kBackupLedgerKey, 0, nullptr, 0, view, nullptr,
                                             key.put(), nullptr)
                           : RegOpenKeyExW(HKEY_LOCAL_MACHINE, kBackupLedgerKey, 0, view, key.put());
    if (rc != ERROR_SUCCESS)
        return win::UniqueKey();
    return key;
}

std::optional<uint64_t> sizeOf(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(apiPath(path).c_str(), GetFileExInfoStandard, &data))
        return std::nullopt;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

} // namespace

bool recordBackup(const std::wstring& path)
{
    const auto hash = sha256OfFile(path);
    const auto size = sizeOf(path);
    if (!hash || hash->empty() || !size)
        return false;
    const auto key = openLedger(KEY_SET_VALUE, true);
    if (!key)
        return false;
    // "<sha-256> <size>"
    const std::wstring text = fromUtf8(*hash) + L" " + std::to_wstring(*size);
    return RegSetValueExW(key.get(), valueNameOf(path).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool isOwnBackup(const std::wstring& path, bool quick)
{
    const auto key = openLedger(KEY_QUERY_VALUE, false);
    if (!key)
        return false;
    wchar_t recorded[128] = {};
    DWORD bytes = sizeof recorded - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key.get(), valueNameOf(path).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(recorded),
                         &bytes) != ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    const std::wstring text = recorded;
    const size_t space = text.find(L' ');
    const auto size = sizeOf(path);
    if (space == std::wstring::npos || !size || text.substr(space + 1) != std::to_wstring(*size))
        return false;
    if (quick)
        return true;
    const auto hash = sha256OfFile(path);
    return hash && !hash->empty() && fromUtf8(*hash) == text.substr(0, space);
}

void forgetBackup(const std::wstring& path)
{
    if (const auto key = openLedger(KEY_SET_VALUE, false))
        RegDeleteValueW(key.get(), valueNameOf(path).c_str());
}

} // namespace sorvane

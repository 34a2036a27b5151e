#include "store/RegistryUndo.h"

#include "platform/ErrorReport.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "store/BackupLedger.h"
#include "store/StartupSettings.h"

#include <algorithm>

namespace sorvane {

bool exportRegistryBackup(const std::wstring& file, const std::wstring& text)
{
    if (text.empty())
        return false;
    const std::wstring temp = file + L".part";
    HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    const wchar_t bom = 0xFEFF;
    DWORD w1 = 0, w2 = 0;
    const DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    const bool ok = WriteFile(h, &bom, 2, &w1, nullptr) && w1 == 2 && WriteFile(h, text.data(), bytes, &w2, nullptr) &&
                    w2 == bytes && FlushFileBuffers(h);
    CloseHandle(h);
    // Never over another file: an undo file of the same name stays as it is.
    if (!ok || !MoveFileExW(temp.c_str(), file.c_str(), MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = ok ? GetLastError() : ERROR_WRITE_FAULT;
        DeleteFileW(temp.c_str());
        SetLastError(error);
        return false;
    }
    // The program's own: its restore may write it back without asking twice.
    recordBackup(file);
    return true;
}

bool exportRegistryBackup(const std::wstring& file, const std::vector<RegItem>& items)
{
    return exportRegistryBackup(file, registryFileText(items));
}

std::wstring registryBackupName(std::wstring_view folder, std::wstring_view window, const SYSTEMTIME& now)
{
    std::wstring name(folder);
    if (!name.empty() && name.back() != L'\\')
        name += L'\\';
    return name + std::wstring(window) + L"_" + backupStamp(now) + L".reg";
}

namespace {

// Writes the text to a new undo file of the window in the backup folder
// (made when missing): "frmUninstall_1012202641530.reg", or numbered
// " (2)", " (3)" ... when that name is taken, so none replaces another.
// The file, or empty when it could not be written.
std::wstring writeUndoFile(std::wstring_view window, const std::wstring& text,
                           const std::wstring& backupFolder = getDelete().strBackupPath)
{
    std::wstring folder = backupFolder;
    if (!folder.empty() && folder.back() == L'\\')
        folder.pop_back();
    makePrivateFolder(folder);
    return createUnderFreeName(registryBackupName(backupFolder, window, localNow()),
                               [&text](const std::wstring& file) { return exportRegistryBackup(file, text); });
}

} // namespace

std::wstring saveRegistryUndo(std::wstring_view window, const std::vector<RegItem>& items)
{
    const std::wstring text = registryFileText(items);
    return text.empty() ? std::wstring() : writeUndoFile(window, text);
}

std::wstring replaceRegText(std::wstring_view window, HKEY hive, std::wstring_view keyPath,
                            std::wstring_view valueName, const std::wstring& text, bool& failed)
{
    failed = false;
    const RegText old = readRegText(hive, keyPath, valueName);
    if (old.exists && old.text == text)
        return L"";
    auto key = openRegKey(hive, keyPath, KEY_SET_VALUE | KEY_QUERY_VALUE);
    if (!key)
        return L"";  // an absent key stays absent
    std::wstring undo;
    if (old.exists) {
        undo = saveRegistryUndo(window, {{hive, std::wstring(keyPath), RegItem::Value, std::wstring(valueName)}});
        if (undo.empty()) {
            failed = true;
            return L"";
        }
    }
    const DWORD type = old.exists && old.type == REG_EXPAND_SZ ? REG_EXPAND_SZ : REG_SZ;
    failed = RegSetValueExW(key.get(), std::wstring(valueName).c_str(), 0, type,
                            reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) != ERROR_SUCCESS;
    return undo;
}

RegBackup backUpAndDeleteRegistry(std::wstring_view window, const std::vector<RegItem>& items)
{
    return backUpAndDeleteRegistry(window, items, getDelete().strBackupPath);
}

RegBackup backUpAndDeleteRegistry(std::wstring_view window, const std::vector<RegItem>& items,
                                  const std::wstring& folder)
{
    RegBackup result;
    RegExport exported = exportRegistryItems(items);
    result.leftInPlace = std::move(exported.leftInPlace);
    result.itemDeleted.assign(items.size(), false);
    if (exported.text.empty()) {
        result.failed = true;
        return result;
    }
    if (exported.saved.empty())
        return result;  // nothing that can be saved, so nothing deleted
    const std::wstring file = writeUndoFile(window, exported.text, folder);
    if (file.empty()) {
        result.failed = true;
        return result;
    }
    // An item counts as deleted only when every part of it is gone; what
    // stayed is named with the reason.
    result.itemDeleted = exported.itemSaved;
    for (size_t i = 0; i < exported.saved.size(); ++i) {
        const RegItem& item = exported.saved[i];
        const std::wstring key = trimmedKey(item.key);
        const std::wstring name = rootName(item.root) + L"\\" + key;
        if (item.kind == RegItem::Value) {
            deleteRegValues(item.root, item.value, key);
            if (regValueExists(item.root, key, item.value)) {
                result.itemDeleted[exported.savedFrom[i]] = false;
                result.stayed.push_back(name + L" : " + item.value + L": left in place: access denied");
            }
            continue;
        }
        if (item.kind == RegItem::Tree)
            deleteRegTree(item.root, key);
        const long rc = deleteRegKey(item.root, key);
        if (!regKeyExists(item.root, key))
            continue;
        result.itemDeleted[exported.savedFrom[i]] = false;
        const bool hasSubkeys = !getRegSubkeyNames(item.root, key).empty();
        result.stayed.push_back(name + L": left in place: " +
                                (hasSubkeys                  ? std::wstring(L"it has subkeys")
                                 : rc == ERROR_ACCESS_DENIED ? std::wstring(L"access denied")
                                                             : win32Message(static_cast<unsigned long>(rc))));
    }
    result.file = file;
    result.deleted = static_cast<size_t>(std::count(result.itemDeleted.begin(), result.itemDeleted.end(), true));
    return result;
}


} // namespace sorvane

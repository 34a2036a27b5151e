#pragma once
// The undo files of the registry: what a tool or cleaner removes from the
// registry, or a value it overwrites, is first written to a registry file in
// the backup folder, which the user can merge back.
#include "platform/Registry.h"

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace sorvane {

// Writes the text as UTF-16 with its byte-order mark, complete or not at
// all: false when the file could not be written whole.
bool exportRegistryBackup(const std::wstring& file, const std::wstring& text);
bool exportRegistryBackup(const std::wstring& file, const std::vector<RegItem>& items);
// backup folder + window + "_" + "ddmmyyyyhnns" + ".reg"
std::wstring registryBackupName(std::wstring_view folder, std::wstring_view window, const SYSTEMTIME& now);

// Saves the items to an undo file of the window in the backup folder and
// deletes nothing; the file, or empty when it could not be written.
std::wstring saveRegistryUndo(std::wstring_view window, const std::vector<RegItem>& items);

// Replaces a text value only when `text` differs, keeping its type
// (REG_EXPAND_SZ stays expandable); the old value is saved to an undo file of
// `window` first, since an overwrite deletes the old data. The key is opened,
// never created. Returns the undo file ("" when nothing was written);
// `failed` tells of a change that could not be saved or written.
std::wstring replaceRegText(std::wstring_view window, HKEY hive, std::wstring_view keyPath,
                            std::wstring_view valueName, const std::wstring& text, bool& failed);

struct RegBackup {
    std::wstring file;  // the undo file written; empty when none
    size_t deleted = 0;  // items saved and really gone
    // What was saved and is still there: "<key>: left in place: <why>".
    std::vector<std::wstring> stayed;
    bool failed = false;  // the undo file could not be written: nothing deleted
    std::vector<std::wstring> leftInPlace;  // what could not be saved, kept
    std::vector<bool> itemDeleted;  // per item asked for: really gone
};
// Saves the items, then deletes what was saved (keys with all below them,
// values); nothing is deleted when the backup cannot be written.
RegBackup backUpAndDeleteRegistry(std::wstring_view window, const std::vector<RegItem>& items);
// The same, with the undo file in `folder` rather than the configured backup folder.
RegBackup backUpAndDeleteRegistry(std::wstring_view window, const std::vector<RegItem>& items,
                                  const std::wstring& folder);

} // namespace sorvane

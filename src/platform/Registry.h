#pragma once
// The program's one path to the registry. Each routine opens and closes its
// key itself and returns a neutral result on failure, as its callers expect.
#include "win/UniqueHandle.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace sorvane {

constexpr size_t kRegStringChars = 260;

// Opens a key as the 64-bit view names it: the 32-bit view's keys are reached
// by their real names ("Software\\Wow6432Node\\..."), so a row, its deletion
// and its undo file all name the same key. Empty when it cannot be opened.
win::UniqueKey openRegKey(HKEY hive, std::wstring_view path, REGSAM access);
// The key's path without trailing backslashes.
std::wstring trimmedKey(std::wstring key);

// REG_SZ (or expandable/multi string) value up to its first NUL; "" when the
// key or value is missing, the value is not text, or it does not fit 260
// characters with its terminator.
std::wstring getRegString(HKEY hive, std::wstring_view keyPath, std::wstring_view valueName);
// As getRegString, but data of any type is taken as text: its bytes read
// as characters up to the first NUL (a REG_DWORD 1 gives the character 1,
// a REG_DWORD 0 the empty string). What the registry tools read.
std::wstring getRegStringAny(HKEY hive, std::wstring_view keyPath, std::wstring_view valueName);
// One key opened once for several reads, with the same rules as
// getRegStringAny and getRegDword: what a scan of many keys uses.
class RegReader {
public:
    RegReader(HKEY hive, std::wstring_view keyPath);
    // A subkey of an open key, opened relative to it.
    RegReader(const RegReader& parent, std::wstring_view subkey);
    ~RegReader();
    RegReader(const RegReader&) = delete;
    RegReader& operator=(const RegReader&) = delete;
    explicit operator bool() const noexcept { return m_key != nullptr; }
    std::wstring stringAny(std::wstring_view valueName) const;
    // A text value whole, whatever its length; "" when missing.
    std::wstring wholeString(std::wstring_view valueName) const;
    // The first byte of a value's data; -1 when it is missing or empty.
    int firstByte(std::wstring_view valueName) const;
    // Every value as (name, REG_DWORD data or -1), in enumeration order, in
    // one pass.
    std::vector<std::pair<std::wstring, long>> dwordValues() const;
    // The same one value at a time: false past the last.
    bool dwordValueAt(unsigned index, std::wstring& name, long& value) const;
    size_t valueCount() const;
    std::vector<std::wstring> subkeyNames() const;

private:
    HKEY m_key = nullptr;
};
// The strings of a REG_MULTI_SZ value (a text value gives its one string),
// empty ones left out; none when missing or of another type.
std::vector<std::wstring> getRegMultiString(HKEY hive, std::wstring_view keyPath, std::wstring_view valueName);
// REG_DWORD value; -1 when missing or of another type.
long getRegDword(HKEY hive, std::wstring_view keyPath, std::wstring_view valueName);
// Value names separated by NUL, without a trailing separator.
std::wstring getRegValueNames(HKEY hive, std::wstring_view keyPath);
// Every value name of a key, whatever its length; none when the key is missing.
std::vector<std::wstring> getAllValueNames(HKEY hive, std::wstring_view keyPath);
// Deletes the values named in a NUL-separated list (or the one value named).
void deleteRegValues(HKEY hive, std::wstring_view names, std::wstring_view keyPath);
// Deletes every value of a key under HKEY_CURRENT_USER.
void clearKeyValues(std::wstring_view keyPath);
// Writes a REG_SZ into an existing key; nothing happens when the key is missing.
void setRegString(HKEY hive, std::wstring_view keyPath, std::wstring_view valueName, std::wstring_view text);
// The same, creating the key when it is missing; raises on failure.
void writeRegString(HKEY hive, std::wstring_view keyPath, std::wstring_view valueName, std::wstring_view text);
// Deletes a key that has no subkeys (never through a link); the system's
// answer (ERROR_SUCCESS when it went).
long deleteRegKey(HKEY hive, std::wstring_view keyPath);
// Deletes everything below the key; the key itself stays. -1 on success,
// 0 when the key cannot be opened.
// Links (keys that lead to another key) are never followed: the link, its
// target and the keys holding the link stay.
int16_t deleteRegTree(HKEY hive, std::wstring_view keyPath);
// Whether a key is a registry link rather than a key of its own.
bool isRegLink(HKEY parent, std::wstring_view subkey);
// The registry links the system itself keeps (on Windows the key
// HKEY_CURRENT_USER\Software\Classes leads to the user's classes hive):
// deleting and restoring follow them, and refuse any other link on the way.
// Tests add the links they make, since Wine keeps none.
std::vector<std::pair<HKEY, std::wstring>>& systemRegLinks();
bool isSystemRegLink(HKEY root, std::wstring_view path);
// Whether a link other than the system's own lies on the way to the key
// (the key itself included); a part that cannot be asked counts as one.
bool foreignLinkOnTheWay(HKEY root, std::wstring_view path);
// The same for a key opened with REG_OPTION_OPEN_LINK.
bool isRegLinkKey(HKEY opened);

// Helpers for callers that need more than one value of a key.
bool regKeyExists(HKEY hive, std::wstring_view keyPath);
// Whether the key is there in the 64-bit or the 32-bit view (one open when
// the first view has it).
bool regKeyExistsInEitherView(HKEY hive, std::wstring_view keyPath);
bool regValueExists(HKEY hive, std::wstring_view keyPath, std::wstring_view valueName);
std::vector<std::wstring> getRegSubkeyNames(HKEY hive, std::wstring_view keyPath);
// Opens or creates the key; when the value is absent writes the default and
// returns ""; otherwise returns the value up to its first NUL.
std::wstring getUpdateValue(HKEY root, std::wstring_view keyPath, std::wstring_view valueName,
                            std::wstring_view defaultValue);

// --- The two registry views -------------------------------------------------
// A 64-bit Windows keeps most machine entries of 32-bit programs apart, under
// Wow6432Node. The program reads, deletes and saves every key by its real
// name, as the 64-bit view names it; these give a key's real name in a view.
struct RealKey {
    HKEY root = nullptr;  // null when the key is missing in that view
    std::wstring path;    // "Software\\Wow6432Node\\..." for a redirected key
};
// `view` is KEY_WOW64_64KEY or KEY_WOW64_32KEY.
RealKey realKeyOf(HKEY root, std::wstring_view keyPath, REGSAM view);
// The key as the 64-bit and the 32-bit view show it, 64-bit first, each real
// key once: a key both views share, or one missing in a view, gives one.
std::vector<RealKey> keyInBothViews(HKEY root, std::wstring_view keyPath);
// The paths under `root` of the key in both views, each real key once: the
// 64-bit one as given, the 32-bit one by its real name, with the given
// path's trailing backslash. None when the key is missing in both.
std::vector<std::wstring> keyPathsInBothViews(HKEY root, const std::wstring& keyPath);
// "HKEY_LOCAL_MACHINE\\Software\\..." of a real key.
std::wstring keyText(const RealKey& key);

// --- File classes -------------------------------------------------------------
// The classes as Windows merges them into HKEY_CLASSES_ROOT, read from the
// two hives that hold them (per user first), so per-user classes are seen
// wherever the merged view is not (Wine, services).
std::wstring getClassesString(std::wstring_view keyPath, std::wstring_view valueName);
// The names of the classes' top-level keys of both hives, each once.
std::vector<std::wstring> getClassesKeyNames();
// The same reads for many classes at once (a list of every extension): both
// hives' class keys are opened once, and the per-user hive is asked only
// for the names it has.
class ClassesReader {
public:
    ClassesReader();
    // As getClassesString.
    std::wstring string(std::wstring_view keyPath, std::wstring_view valueName) const;
    // As getClassesKeyNames.
    const std::vector<std::wstring>& keyNames() const { return m_names; }

private:
    win::UniqueKey m_user, m_machine;
    std::unordered_set<std::wstring> m_userNames;  // lower case
    std::vector<std::wstring> m_names;
};
// Whether an extension's file type key may be deleted with it: a plain
// program identifier that no other extension names. Never a system key
// (CLSID, Interface, TypeLib, AppID, Directory, Folder, Drive, *,
// AllFilesystemObjects, exefile) nor a name holding a backslash.
bool mayDeleteFileType(std::wstring_view type, std::wstring_view extension);

// --- Backups of what the tools delete ---------------------------------------

// One thing a tool is about to delete: a key with everything below it, a
// key alone (it stays when it has subkeys), or one value of a key (an
// empty name is the key's default value).
struct RegItem {
    enum Kind { Tree, KeyAlone, Value };
    HKEY root = nullptr;
    std::wstring key;
    Kind kind = Tree;
    std::wstring value;
};

// "HKEY_LOCAL_MACHINE" for the handle; empty for others.
std::wstring rootName(HKEY root);
// The root a full name stands for ("HKEY_CURRENT_USER", any case); null when none.
HKEY rootOfName(std::wstring_view name);
// The items as they are saved: keys read through HKEY_CLASSES_ROOT become
// the per-user and machine keys that really hold them, each named with its
// own hive, so an import puts back each where it was.
std::vector<RegItem> whereItLives(const std::vector<RegItem>& items);

// The registry file of some items, and what could not go into it.
struct RegExport {
    std::wstring text;  // "" when something could not be read
    std::vector<RegItem> saved;  // the items the text holds whole, where they live
    std::vector<size_t> savedFrom;  // per saved item, the item asked for it stands for
    std::vector<bool> itemSaved;  // per item asked for
    // Items holding a name with a control character (a line break would
    // end its line in the file and start a line of the attacker's choosing):
    // never saved, and so never deleted.
    std::vector<std::wstring> leftInPlace;
};
RegExport exportRegistryItems(const std::vector<RegItem>& items);
// The items as a registry file ("Windows Registry Editor Version 5.00"),
// every value with its type and data, keys before their subkeys; "" when
// anything could not be read or saved.
std::wstring registryFileText(const std::vector<RegItem>& items);

// A text value as it is, whatever its length.
struct RegText {
    bool exists = false;
    DWORD type = REG_SZ;
    std::wstring text;
};
RegText readRegText(HKEY hive, std::wstring_view keyPath, std::wstring_view valueName);

} // namespace sorvane

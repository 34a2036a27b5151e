#pragma once
// The program's one path to the registry. Each routine opens and closes its
// key itself and returns a neutral result on failure, as its callers expect.
#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sorvane {

constexpr size_t kRegStringChars = 260;

// REG_SZ (or expandable/multi string) value up to its first NUL; "" when the
// key or value is missing, the value is not text, or it does not fit 260
// characters with its terminator.
std::wstring getRegString(HKEY hive, std::wstring_view keyPath, std::wstring_view valueName);
// REG_DWORD value; -1 when missing or of another type.
long getRegDword(HKEY hive, std::wstring_view keyPath, std::wstring_view valueName);
// Value names separated by NUL, without a trailing separator.
std::wstring getRegValueNames(HKEY hive, std::wstring_view keyPath);
// Deletes the values named in a NUL-separated list (or the one value named).
void deleteRegValues(HKEY hive, std::wstring_view names, std::wstring_view keyPath);
// Deletes every value of a key under HKEY_CURRENT_USER.
void clearKeyValues(std::wstring_view keyPath);
// Writes a REG_SZ into an existing key; nothing happens when the key is missing.
void setRegString(HKEY hive, std::wstring_view keyPath, std::wstring_view valueName, std::wstring_view text);
// Deletes a key that has no subkeys.
void deleteRegKey(HKEY hive, std::wstring_view keyPath);
// Deletes everything below the key; the key itself stays. -1 on success,
// 0 when the key cannot be opened.
int16_t deleteRegTree(HKEY hive, std::wstring_view keyPath);

// Helpers for callers that need more than one value of a key.
bool regKeyExists(HKEY hive, std::wstring_view keyPath);
bool regValueExists(HKEY hive, std::wstring_view keyPath, std::wstring_view valueName);
std::vector<std::wstring> getRegSubkeyNames(HKEY hive, std::wstring_view keyPath);
// Opens or creates the key; when the value is absent writes the default and
// returns ""; otherwise returns the value up to its first NUL.
std::wstring getUpdateValue(HKEY root, std::wstring_view keyPath, std::wstring_view valueName,
                            std::wstring_view defaultValue);

} // namespace sorvane

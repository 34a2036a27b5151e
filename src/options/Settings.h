#pragma once
// Settings.ini in the application folder, read and written through the
// Windows profile functions; the file itself is in the ANSI code page.
#include <string>
#include <string_view>

namespace sorvane {

constexpr size_t kSettingChars = 255;
// Section Backup and the delete-method reader use the larger buffer.
constexpr size_t kWideSettingChars = 512;

std::wstring settingsPath();
// The value up to its first NUL; the default when the file, section or key
// is missing. Values longer than the buffer are cut to it.
std::wstring readSetting(std::wstring_view section, std::wstring_view key, std::wstring_view defaultValue,
                         size_t bufferChars = kSettingChars);
// Creates the file and section when absent. Raises on failure.
void writeSetting(std::wstring_view section, std::wstring_view key, std::wstring_view value);

} // namespace sorvane

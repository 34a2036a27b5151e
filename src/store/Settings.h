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
// Creates the file and section when absent. Raises on failure, and then the
// file keeps its previous content.
void writeSetting(std::wstring_view section, std::wstring_view key, std::wstring_view value);

// Hands Settings.ini [Internet] VendorSite and ErrorReports ("0" turns the
// reports off) to the error reports; at start-up.
void loadVendorSite();

// "Start with Windows" was a value of the user's Run key; a scheduled task
// at logon replaces it, and the value goes when the task is made.
inline constexpr const wchar_t* kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const wchar_t* kRunValueName = L"Dustrel-2003";
// What the Run value holds: this program's own executable, quoted.
std::wstring startWithWindowsCommand();
// The full path of this program's executable.
std::wstring thisExecutable();

// The Backup Method texts, in the order of the overwrite options.
enum class OverwriteMethod { None, Always, Newer, Prompt, Never };
// An unknown text is None: no option selected.
OverwriteMethod overwriteMethodFromText(std::wstring_view text);
// None is stored as "Prompt".
const wchar_t* overwriteMethodText(OverwriteMethod m);

} // namespace sorvane

#pragma once
#include <string>

namespace sorvane {

// The title of every message box.
inline constexpr const wchar_t* kAppTitle = L"Sorvane";

// The folder that holds the executable, without a trailing backslash. Every
// settings and list file lives there.
const std::wstring& appFolder();
// Tests point the program's files at a folder of their own.
void setAppFolder(std::wstring folder);
// appFolder() + "\" + name.
std::wstring appFile(std::wstring_view name);

} // namespace sorvane

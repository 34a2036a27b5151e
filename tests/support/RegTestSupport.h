#pragma once
// Registry helpers of the tests: whole-key snapshots compared byte for byte,
// values of any type written as they are, and `reg import` of a file.
#include <windows.h>

#include <map>
#include <string>

namespace testenv {

// Everything under a key: "sub\path" -> value name -> (type, bytes).
using Snapshot = std::map<std::wstring, std::map<std::wstring, std::pair<DWORD, std::string>>>;
// `view` 0 reads the key by its real name; KEY_WOW64_32KEY through the 32-bit view.
Snapshot snapshot(HKEY root, const std::wstring& path, REGSAM view = 0);

void setValue(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type, const void* data, size_t n,
              REGSAM view = 0);
void setText(HKEY root, const std::wstring& path, const std::wstring& name, const std::wstring& text,
             DWORD type = REG_SZ, REGSAM view = 0);
void setDword(HKEY root, const std::wstring& path, const std::wstring& name, DWORD v);
void removeKey(HKEY root, const std::wstring& path);
// Runs the system's `reg import` on the file; true when it succeeded.
bool regImport(const std::wstring& file);

} // namespace testenv

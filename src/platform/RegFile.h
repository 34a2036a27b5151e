#pragma once
// Reading the registry files the program writes before it changes the
// registry, and putting back what one holds, through the registry API.
// Writing back only ever creates keys and sets values: a line that would
// delete something is not obeyed but reported.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sorvane {

struct RegFileValue {
    std::wstring name;  // empty: the key's default value
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct RegFileKey {
    HKEY root = nullptr;
    std::wstring path;
    std::wstring text;  // as the file names it, for messages
    std::vector<RegFileValue> values;
};

struct RegFile {
    bool valid = false;  // the header of a registry file was found
    std::vector<RegFileKey> keys;
    // Lines that were not understood or are not obeyed (deletions), with
    // their line number.
    std::vector<std::wstring> problems;
    size_t valueCount() const;
};

// Registry files larger than this are refused: no undo file comes near it.
constexpr uint64_t kMaxRegFileBytes = 64ull << 20;

RegFile parseRegFile(std::wstring_view text);
// The file's text: UTF-16 with its byte-order mark, or the ANSI code page
// for "REGEDIT4" files; nothing when it cannot be read or is too large.
std::optional<std::wstring> readRegFileText(const std::wstring& file);

struct RegRestore {
    size_t keys = 0;    // keys opened or made
    size_t values = 0;  // values written
    // "<key> : <value>: <reason>", or "<key>: <reason>", one per failure,
    // then the file's problems.
    std::vector<std::wstring> failures;
};
// Writes back every key and value of the file with its type and bytes, and
// nothing else. A key on whose way a registry link lies is not written (the
// link could lead anywhere), unless it is one of the system's own links.
RegRestore restoreRegFile(const RegFile& file);

// The message after a restore: counts, then up to five failures.
std::wstring regRestoreSummary(const RegRestore& restore);

// The tool that wrote an undo file, from its name ("frmUninstall_..."):
// "Uninstall programs"; the name's first part when it is not known.
std::wstring undoFileTool(std::wstring_view fileName);

} // namespace sorvane

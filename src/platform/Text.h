#pragma once
// Text helpers shared by every module: code-page conversion at the file and
// network edges, case-insensitive comparison, splitting and number parsing
// with the conversion rules the settings files rely on.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sorvane {

// System ANSI code page <-> UTF-16. Files on disk are in the ANSI code page.
std::wstring fromAnsi(std::string_view s);
std::string toAnsi(std::wstring_view s);
std::string toUtf8(std::wstring_view s);
std::wstring fromUtf8(std::string_view s);
// Any code page (the OEM page of old zip names) -> UTF-16.
std::wstring widen(unsigned codePage, std::string_view s);

std::wstring toLower(std::wstring_view s);
// A-Z to a-z only: for names that are ASCII by their format (SQL, hosts).
std::string asciiLower(std::string_view s);
bool iequals(std::wstring_view a, std::wstring_view b);
// Position of needle in hay without regard to case, or npos.
size_t ifind(std::wstring_view hay, std::wstring_view needle, size_t from = 0);
bool icontains(std::wstring_view hay, std::wstring_view needle);
bool istartsWith(std::wstring_view s, std::wstring_view prefix);
bool iendsWith(std::wstring_view s, std::wstring_view suffix);
std::wstring replaceAllNoCase(std::wstring_view s, std::wstring_view what, std::wstring_view with);
std::wstring replaceAll(std::wstring_view s, std::wstring_view what, std::wstring_view with);

std::wstring trim(std::wstring_view s);
// Text up to the first NUL.
std::wstring stripNull(std::wstring_view s);

std::vector<std::wstring> split(std::wstring_view s, wchar_t sep);

// Whole-text conversion of a settings value to a number: optional blanks and
// sign, then decimal digits and optional blanks. Anything else (empty text,
// letters, fractions) is not a number.
std::optional<long long> parseInteger(std::wstring_view s);
// The same, limited to the 16-bit range the stored flags and intervals use.
std::optional<int16_t> parseInt16(std::wstring_view s);

// A size for people: "512 bytes", "1.5 KB", "20.3 MB", "2.1 GB" (units of
// 1,024, one decimal, dropped when it is 0).
std::wstring formatByteSize(uint64_t bytes);

} // namespace sorvane

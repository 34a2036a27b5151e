#pragma once
// The records of a browser cookie file: plain text, nine or more lines per
// cookie (name, value, domain and path, flags, then times), records parted
// by a line holding "*".
#include <string>
#include <string_view>
#include <vector>

namespace sorvane {

struct CookieRow {
    std::wstring domain;  // field 2
    std::wstring name;    // field 0
    std::wstring value;   // field 1
    std::wstring secure;  // "True" for flags 1, "False" for 0, "" otherwise
    std::wstring source;  // the record's lines joined with CR LF
    std::wstring parent;  // the cookie file's name
};

// One row per record that has at least nine fields and a domain, in file order.
std::vector<CookieRow> ANanlyze_Cookie(std::wstring_view text, std::wstring_view fileName);
// The row of one record whose line ends are the marker "|~|" (or line feeds);
// false when the record is too short or has no domain.
bool cookieRowOf(std::wstring record, std::wstring_view fileName, CookieRow& row);

} // namespace sorvane

#pragma once
// What the program reads of the JSON files other programs keep (browser
// state): one SAX pass over the text that keeps only what is asked for,
// with limits on size and depth, and a clear failure, never a crash.
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sorvane {

// The names of the members of the object reached through `path` (member
// names from the top-level object down), in file order. Nothing, with
// `error` set, when the text is not JSON, nests deeper than 200 levels or is
// larger than 64 MiB; nothing with `error` empty when the path leads to no
// object. A name that the path meets twice counts at its last place.
std::optional<std::vector<std::wstring>> jsonMemberNames(std::string_view utf8,
                                                         std::initializer_list<std::string_view> path,
                                                         std::wstring& error);

} // namespace sorvane

#pragma once
// A small, strict JSON reader for the files other programs keep (browser
// state): limits on size and depth, and a clear failure, never a crash.
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sorvane {

struct JsonValue {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    bool boolean = false;
    double number = 0;
    std::wstring text;
    std::vector<JsonValue> items;
    // Object members in file order; a repeated name keeps its last value.
    std::vector<std::pair<std::wstring, JsonValue>> members;
    const JsonValue* member(std::wstring_view name) const;
};

// Parses UTF-8 JSON text; nothing, with `error` set, when it is malformed,
// nests deeper than 200 levels or is larger than 64 MiB.
std::optional<JsonValue> parseJson(std::string_view utf8, std::wstring& error);

} // namespace sorvane

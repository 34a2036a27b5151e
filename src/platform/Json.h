#pragma once
// What the program reads of the JSON files other programs keep (browser
// state): one SAX pass over the text that keeps only what is asked for,
// with limits on size and depth, and a clear failure, never a crash.
#include <cstdint>
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

// A JSON string for `text`: quoted, UTF-8, with quotes, backslashes and
// control characters escaped. A lone surrogate (a file name may hold one)
// is kept as its \uXXXX escape, so the exact name survives.
std::string jsonQuoted(std::wstring_view text);

// A JSON document written piece by piece, compact, UTF-8 without a
// byte-order mark. The caller keeps the nesting right. (The reader's
// library writes too, but refuses a lone surrogate, which a file name on
// Windows may hold.)
class JsonWriter {
public:
    JsonWriter& beginObject() { return open('{'); }
    JsonWriter& endObject() { return close('}'); }
    JsonWriter& beginArray() { return open('['); }
    JsonWriter& endArray() { return close(']'); }
    // The name of the next member.
    JsonWriter& key(std::string_view name);
    JsonWriter& value(std::wstring_view text);
    // A literal would otherwise take the bool overload.
    JsonWriter& value(const wchar_t* text) { return value(std::wstring_view(text)); }
    JsonWriter& value(int64_t number);
    JsonWriter& value(uint64_t number);
    JsonWriter& value(bool yes);
    const std::string& text() const noexcept { return m_text; }

private:
    JsonWriter& open(char bracket);
    JsonWriter& close(char bracket);
    // A comma before every value or member but the first of its container.
    void separate();

    std::string m_text;
    std::vector<bool> m_empty;  // per open container: nothing in it yet
    bool m_afterKey = false;
};

} // namespace sorvane

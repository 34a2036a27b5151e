#include "platform/Json.h"

#include "platform/Text.h"

#include <cstdio>

#include <rapidjson/error/en.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

namespace sorvane {

namespace {

constexpr size_t kMaxBytes = 64u << 20;
constexpr size_t kMaxDepth = 200;

// Follows the path while the reader walks the text; the member names of the
// object at its end are all that is kept.
class MemberNames : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, MemberNames> {
public:
    explicit MemberNames(std::initializer_list<std::string_view> path) : m_path(path) {}

    bool Default() { return valueDone(); }
    bool StartObject() { return open(true); }
    bool StartArray() { return open(false); }
    bool EndObject(rapidjson::SizeType) { return close(); }
    bool EndArray(rapidjson::SizeType) { return close(); }
    bool Key(const char* text, rapidjson::SizeType length, bool)
    {
        Level& level = m_levels.back();
        const std::string_view key(text, length);
        level.keyOnPath = level.onPath && level.depth < m_path.size() && key == m_path[level.depth];
        if (level.onPath && level.depth == m_path.size())
            m_names.push_back(fromUtf8(key));
        return true;
    }

    bool tooDeep() const noexcept { return m_tooDeep; }
    bool found() const noexcept { return m_found; }
    std::vector<std::wstring>& names() noexcept { return m_names; }

private:
    struct Level {
        bool object = false;
        bool onPath = false;    // this container is reached by the path so far
        size_t depth = 0;       // how many steps of the path lead here
        bool keyOnPath = false; // the member being read is the path's next step
    };

    bool open(bool object)
    {
        if (m_levels.size() >= kMaxDepth) {
            m_tooDeep = true;
            return false;
        }
        Level next;
        next.object = object;
        if (m_levels.empty()) {
            next.onPath = object;
        } else {
            const Level& parent = m_levels.back();
            next.onPath = object && parent.object && parent.keyOnPath;
            next.depth = parent.depth + 1;
        }
        if (next.onPath && next.depth == m_path.size()) {
            // The object asked for (again, when the name repeats: its last
            // place counts).
            m_found = true;
            m_names.clear();
        }
        m_levels.push_back(next);
        return true;
    }
    bool close()
    {
        m_levels.pop_back();
        return valueDone();
    }
    bool valueDone()
    {
        if (!m_levels.empty())
            m_levels.back().keyOnPath = false;
        return true;
    }

    std::vector<std::string_view> m_path;
    std::vector<Level> m_levels;
    std::vector<std::wstring> m_names;
    bool m_found = false;
    bool m_tooDeep = false;
};

} // namespace

std::optional<std::vector<std::wstring>> jsonMemberNames(std::string_view utf8,
                                                         std::initializer_list<std::string_view> path,
                                                         std::wstring& error)
{
    if (utf8.size() > kMaxBytes) {
        error = L"it is larger than 64 MiB";
        return std::nullopt;
    }
    MemberNames handler(path);
    rapidjson::MemoryStream text(utf8.data(), utf8.size());
    rapidjson::Reader reader;
    const rapidjson::ParseResult ok =
        reader.Parse<rapidjson::kParseIterativeFlag | rapidjson::kParseValidateEncodingFlag>(text, handler);
    if (handler.tooDeep()) {
        error = L"it nests more than 200 levels deep";
        return std::nullopt;
    }
    if (!ok) {
        error = fromUtf8(rapidjson::GetParseError_En(ok.Code())) + L" at byte " + std::to_wstring(ok.Offset());
        return std::nullopt;
    }
    if (!handler.found())
        return std::nullopt;
    return std::move(handler.names());
}

std::string jsonQuoted(std::wstring_view text)
{
    std::string out = "\"";
    const auto escape = [&](unsigned code) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\u%04x", code);
        out += buf;
    };
    const auto utf8 = [&](uint32_t c) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<uint32_t>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20) {
            escape(c);
        } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                   text[i + 1] <= 0xDFFF) {
            utf8(0x10000 + ((c - 0xD800) << 10) + (static_cast<uint32_t>(text[i + 1]) - 0xDC00));
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            escape(c);
        } else {
            utf8(c);
        }
    }
    return out + "\"";
}

void JsonWriter::separate()
{
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (!m_empty.empty()) {
        if (!m_empty.back())
            m_text += ',';
        m_empty.back() = false;
    }
}

JsonWriter& JsonWriter::open(char bracket)
{
    separate();
    m_text += bracket;
    m_empty.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::close(char bracket)
{
    m_text += bracket;
    if (!m_empty.empty())
        m_empty.pop_back();
    return *this;
}

JsonWriter& JsonWriter::key(std::string_view name)
{
    separate();
    m_text += jsonQuoted(std::wstring(name.begin(), name.end()));
    m_text += ':';
    m_afterKey = true;
    return *this;
}

JsonWriter& JsonWriter::value(std::wstring_view text)
{
    separate();
    m_text += jsonQuoted(text);
    return *this;
}

JsonWriter& JsonWriter::value(int64_t number)
{
    separate();
    m_text += std::to_string(number);
    return *this;
}

JsonWriter& JsonWriter::value(uint64_t number)
{
    separate();
    m_text += std::to_string(number);
    return *this;
}

JsonWriter& JsonWriter::value(bool yes)
{
    separate();
    m_text += yes ? "true" : "false";
    return *this;
}

} // namespace sorvane

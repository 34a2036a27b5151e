#include "core/Json.h"

#include "core/Text.h"

namespace sorvane {

const JsonValue* JsonValue::member(std::wstring_view name) const
{
    const JsonValue* found = nullptr;
    for (const auto& [key, value] : members)
        if (key == name)
            found = &value;
    return found;
}

namespace {

constexpr size_t kMaxJsonBytes = 64u << 20;
constexpr int kMaxDepth = 200;

class Parser {
public:
    explicit Parser(std::string_view s) : m_s(s) {}

    bool document(JsonValue& out)
    {
        skipBlanks();
        if (!value(out, 0))
            return false;
        skipBlanks();
        return m_at == m_s.size() || fail("text after the end");
    }
    std::wstring error;

private:
    bool fail(const char* why)
    {
        if (error.empty())
            error = L"not valid JSON at byte " + std::to_wstring(m_at) + L": " + fromUtf8(why);
        return false;
    }
    void skipBlanks()
    {
        while (m_at < m_s.size() && (m_s[m_at] == ' ' || m_s[m_at] == '\t' || m_s[m_at] == '\r' || m_s[m_at] == '\n'))
            ++m_at;
    }
    bool literal(std::string_view word)
    {
        if (m_s.substr(m_at, word.size()) != word)
            return fail("unknown word");
        m_at += word.size();
        return true;
    }
    bool value(JsonValue& out, int depth)
    {
        if (depth > kMaxDepth)
            return fail("nested too deeply");
        if (m_at >= m_s.size())
            return fail("unexpected end");
        const char c = m_s[m_at];
        if (c == '{')
            return object(out, depth);
        if (c == '[')
            return array(out, depth);
        if (c == '"') {
            out.kind = JsonValue::String;
            return string(out.text);
        }
        if (c == 't') {
            out.kind = JsonValue::Bool;
            out.boolean = true;
            return literal("true");
        }
        if (c == 'f') {
            out.kind = JsonValue::Bool;
            return literal("false");
        }
        if (c == 'n')
            return literal("null");
        return number(out);
    }
    bool number(JsonValue& out)
    {
        const size_t start = m_at;
        if (m_at < m_s.size() && m_s[m_at] == '-')
            ++m_at;
        const auto digits = [&] {
            const size_t from = m_at;
            while (m_at < m_s.size() && m_s[m_at] >= '0' && m_s[m_at] <= '9')
                ++m_at;
            return m_at > from;
        };
        if (!digits())
            return fail("not a value");
        if (m_at < m_s.size() && m_s[m_at] == '.') {
            ++m_at;
            if (!digits())
                return fail("bad number");
        }
        if (m_at < m_s.size() && (m_s[m_at] == 'e' || m_s[m_at] == 'E')) {
            ++m_at;
            if (m_at < m_s.size() && (m_s[m_at] == '+' || m_s[m_at] == '-'))
                ++m_at;
            if (!digits())
                return fail("bad number");
        }
        out.kind = JsonValue::Number;
        out.number = std::strtod(std::string(m_s.substr(start, m_at - start)).c_str(), nullptr);
        return true;
    }
    bool hex4(unsigned& v)
    {
        if (m_at + 4 > m_s.size())
            return fail("short escape");
        v = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = m_s[m_at++];
            v <<= 4;
            if (c >= '0' && c <= '9')
                v |= static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f')
                v |= static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                v |= static_cast<unsigned>(c - 'A' + 10);
            else
                return fail("bad escape");
        }
        return true;
    }
    bool string(std::wstring& out)
    {
        ++m_at;  // the opening quote
        std::string raw;
        for (;;) {
            if (m_at >= m_s.size())
                return fail("string not closed");
            const char c = m_s[m_at++];
            if (c == '"')
                break;
            if (static_cast<unsigned char>(c) < 0x20)
                return fail("control character in a string");
            if (c != '\\') {
                raw += c;
                continue;
            }
            if (m_at >= m_s.size())
                return fail("string not closed");
            const char e = m_s[m_at++];
            switch (e) {
            case '"': raw += '"'; break;
            case '\\': raw += '\\'; break;
            case '/': raw += '/'; break;
            case 'b': raw += '\b'; break;
            case 'f': raw += '\f'; break;
            case 'n': raw += '\n'; break;
            case 'r': raw += '\r'; break;
            case 't': raw += '\t'; break;
            case 'u': {
                unsigned v = 0;
                if (!hex4(v))
                    return false;
                // Kept as UTF-16 in the wide result: flush what came before.
                out += fromUtf8(raw);
                raw.clear();
                out += static_cast<wchar_t>(v);
                break;
            }
            default: return fail("bad escape");
            }
        }
        out += fromUtf8(raw);
        return true;
    }
    bool array(JsonValue& out, int depth)
    {
        out.kind = JsonValue::Array;
        ++m_at;
        skipBlanks();
        if (m_at < m_s.size() && m_s[m_at] == ']') {
            ++m_at;
            return true;
        }
        for (;;) {
            skipBlanks();
            out.items.emplace_back();
            if (!value(out.items.back(), depth + 1))
                return false;
            skipBlanks();
            if (m_at >= m_s.size())
                return fail("array not closed");
            if (m_s[m_at] == ',') {
                ++m_at;
                continue;
            }
            if (m_s[m_at] == ']') {
                ++m_at;
                return true;
            }
            return fail("expected , or ]");
        }
    }
    bool object(JsonValue& out, int depth)
    {
        out.kind = JsonValue::Object;
        ++m_at;
        skipBlanks();
        if (m_at < m_s.size() && m_s[m_at] == '}') {
            ++m_at;
            return true;
        }
        for (;;) {
            skipBlanks();
            if (m_at >= m_s.size() || m_s[m_at] != '"')
                return fail("expected a name");
            std::wstring name;
            if (!string(name))
                return false;
            skipBlanks();
            if (m_at >= m_s.size() || m_s[m_at] != ':')
                return fail("expected :");
            ++m_at;
            skipBlanks();
            out.members.emplace_back(std::move(name), JsonValue{});
            if (!value(out.members.back().second, depth + 1))
                return false;
            skipBlanks();
            if (m_at >= m_s.size())
                return fail("object not closed");
            if (m_s[m_at] == ',') {
                ++m_at;
                continue;
            }
            if (m_s[m_at] == '}') {
                ++m_at;
                return true;
            }
            return fail("expected , or }");
        }
    }

    std::string_view m_s;
    size_t m_at = 0;
};

} // namespace

std::optional<JsonValue> parseJson(std::string_view utf8, std::wstring& error)
{
    if (utf8.size() > kMaxJsonBytes) {
        error = L"too large to be read";
        return std::nullopt;
    }
    if (utf8.substr(0, 3) == "\xEF\xBB\xBF")
        utf8.remove_prefix(3);
    Parser p(utf8);
    JsonValue v;
    if (!p.document(v)) {
        error = p.error;
        return std::nullopt;
    }
    return v;
}

} // namespace sorvane

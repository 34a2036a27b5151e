#include "cleaners/CookieInfo.h"

#include "platform/Text.h"

namespace sorvane {

namespace {

constexpr std::wstring_view kMarker = L"|~|";

std::wstring trimBlanks(std::wstring_view s)
{
    const size_t b = s.find_first_not_of(L' ');
    if (b == std::wstring_view::npos)
        return {};
    return std::wstring(s.substr(b, s.find_last_not_of(L' ') - b + 1));
}

std::vector<std::wstring> splitAt(std::wstring_view s, std::wstring_view sep)
{
    std::vector<std::wstring> out;
    size_t pos = 0;
    for (;;) {
        const size_t at = s.find(sep, pos);
        if (at == std::wstring_view::npos) {
            out.emplace_back(s.substr(pos));
            return out;
        }
        out.emplace_back(s.substr(pos, at - pos));
        pos = at + sep.size();
    }
}

} // namespace

bool cookieRowOf(std::wstring record, std::wstring_view fileName, CookieRow& row)
{
    // Line breaks before the first field. The one after the last field
    // stays: it is the empty ninth field of a record of eight lines.
    for (;;) {
        if (record.compare(0, kMarker.size(), kMarker) == 0)
            record.erase(0, kMarker.size());
        else if (!record.empty() && (record.front() == L'\n' || record.front() == L'\r'))
            record.erase(0, 1);
        else
            break;
    }
    const bool lineFeeds = record.find(L'\n') != std::wstring::npos;
    std::vector<std::wstring> fields = lineFeeds ? split(record, L'\n') : splitAt(record, kMarker);
    if (lineFeeds)
        for (auto& f : fields)
            if (!f.empty() && f.back() == L'\r')
                f.pop_back();
    if (fields.size() < 9 || fields[2].empty())
        return false;
    row.domain = fields[2];
    row.name = fields[0];
    row.value = fields[1];
    const auto flags = parseInteger(trim(fields[3]));
    row.secure = !flags ? L"" : *flags == 0 ? L"False" : *flags == 1 ? L"True" : L"";
    row.source = lineFeeds ? replaceAll(record, L"\n", L"\r\n") : replaceAll(record, kMarker, L"\r\n");
    if (lineFeeds)
        row.source = replaceAll(row.source, L"\r\r\n", L"\r\n");
    row.parent = fileName;
    return true;
}

std::vector<CookieRow> ANanlyze_Cookie(std::wstring_view text, std::wstring_view fileName)
{
    std::vector<CookieRow> rows;
    if (text.empty())
        return rows;
    const std::vector<std::wstring> pieces = text.find(L'*') != std::wstring_view::npos
                                                 ? split(text, L'*')
                                                 : std::vector<std::wstring>{std::wstring(text)};
    for (const auto& piece : pieces) {
        if (replaceAll(piece, L"\r\n", L"").empty())
            continue;
        CookieRow row;
        if (cookieRowOf(replaceAll(trimBlanks(piece), L"\r\n", kMarker), fileName, row))
            rows.push_back(std::move(row));
    }
    return rows;
}

} // namespace sorvane

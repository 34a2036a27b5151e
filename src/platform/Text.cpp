#include "platform/Text.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <iterator>
#include <limits>

namespace sorvane {

std::wstring widen(unsigned codePage, std::string_view s)
{
    if (s.empty())
        return {};
    const int n = MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
    return out;
}

std::wstring fromAnsi(std::string_view s) { return widen(CP_ACP, s); }

std::wstring fromUtf8(std::string_view s) { return widen(CP_UTF8, s); }

static std::string narrow(UINT cp, std::wstring_view s)
{
    if (s.empty())
        return {};
    const int n = WideCharToMultiByte(cp, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(cp, 0, s.data(), static_cast<int>(s.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::string toAnsi(std::wstring_view s) { return narrow(CP_ACP, s); }
std::string toUtf8(std::wstring_view s) { return narrow(CP_UTF8, s); }

std::wstring toLower(std::wstring_view s)
{
    std::wstring out(s);
    if (!out.empty())
        CharLowerBuffW(out.data(), static_cast<DWORD>(out.size()));
    return out;
}

std::string asciiLower(std::string_view s)
{
    std::string out(s);
    for (auto& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool iequals(std::wstring_view a, std::wstring_view b)
{
    return a.size() == b.size() && toLower(a) == toLower(b);
}

size_t ifind(std::wstring_view hay, std::wstring_view needle, size_t from)
{
    return toLower(hay).find(toLower(needle), from);
}

bool icontains(std::wstring_view hay, std::wstring_view needle)
{
    return ifind(hay, needle) != std::wstring::npos;
}

bool istartsWith(std::wstring_view s, std::wstring_view prefix)
{
    return s.size() >= prefix.size() && iequals(s.substr(0, prefix.size()), prefix);
}

bool iendsWith(std::wstring_view s, std::wstring_view suffix)
{
    return s.size() >= suffix.size() && iequals(s.substr(s.size() - suffix.size()), suffix);
}

std::wstring replaceAllNoCase(std::wstring_view s, std::wstring_view what, std::wstring_view with)
{
    if (what.empty())
        return std::wstring(s);
    const std::wstring lowS = toLower(s);
    const std::wstring lowWhat = toLower(what);
    std::wstring out;
    size_t pos = 0;
    for (size_t hit; (hit = lowS.find(lowWhat, pos)) != std::wstring::npos; pos = hit + what.size()) {
        out.append(s.substr(pos, hit - pos));
        out.append(with);
    }
    out.append(s.substr(pos));
    return out;
}

std::wstring replaceAll(std::wstring_view s, std::wstring_view what, std::wstring_view with)
{
    if (what.empty())
        return std::wstring(s);
    std::wstring out;
    size_t pos = 0;
    for (size_t hit; (hit = s.find(what, pos)) != std::wstring::npos; pos = hit + what.size()) {
        out.append(s.substr(pos, hit - pos));
        out.append(with);
    }
    out.append(s.substr(pos));
    return out;
}

std::wstring trim(std::wstring_view s)
{
    const auto blank = [](wchar_t c) { return c == L' ' || c == L'\t'; };
    size_t b = 0, e = s.size();
    while (b < e && blank(s[b]))
        ++b;
    while (e > b && blank(s[e - 1]))
        --e;
    return std::wstring(s.substr(b, e - b));
}

std::wstring stripNull(std::wstring_view s)
{
    const size_t nul = s.find(L'\0');
    return std::wstring(nul == std::wstring_view::npos ? s : s.substr(0, nul));
}

std::vector<std::wstring> split(std::wstring_view s, wchar_t sep)
{
    std::vector<std::wstring> parts;
    size_t pos = 0;
    for (size_t hit; (hit = s.find(sep, pos)) != std::wstring_view::npos; pos = hit + 1)
        parts.emplace_back(s.substr(pos, hit - pos));
    parts.emplace_back(s.substr(pos));
    return parts;
}

std::optional<long long> parseInteger(std::wstring_view s)
{
    const std::wstring t = trim(s);
    size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == L'+' || t[i] == L'-'))
        negative = t[i++] == L'-';
    if (i == t.size())
        return std::nullopt;
    long long value = 0;
    for (; i < t.size(); ++i) {
        if (t[i] < L'0' || t[i] > L'9')
            return std::nullopt;
        if (value > (std::numeric_limits<long long>::max() - 9) / 10)
            return std::nullopt;
        value = value * 10 + (t[i] - L'0');
    }
    return negative ? -value : value;
}

std::optional<int16_t> parseInt16(std::wstring_view s)
{
    const auto v = parseInteger(s);
    if (!v || *v < std::numeric_limits<int16_t>::min() || *v > std::numeric_limits<int16_t>::max())
        return std::nullopt;
    return static_cast<int16_t>(*v);
}

std::wstring formatByteSize(uint64_t bytes)
{
    if (bytes < 1024)
        return std::to_wstring(bytes) + (bytes == 1 ? L" byte" : L" bytes");
    static const wchar_t* const kUnits[] = {L"KB", L"MB", L"GB", L"TB", L"PB", L"EB"};
    // Tenths of the unit, rounded, so that 1023.96 KB shows as 1 MB.
    uint64_t tenths = 0;
    size_t unit = 0;
    for (uint64_t scale = 1024;; scale *= 1024, ++unit) {
        tenths = static_cast<uint64_t>(static_cast<double>(bytes) * 10.0 / static_cast<double>(scale) + 0.5);
        if (tenths < 10240 || unit + 1 == std::size(kUnits))
            break;
    }
    std::wstring text = std::to_wstring(tenths / 10);
    if (tenths % 10 != 0)
        text += L"." + std::to_wstring(tenths % 10);
    return text + L" " + kUnits[unit];
}

} // namespace sorvane

// The records of a cookie file as the cookie window lists them.
#include "cleaners/CookieInfo.h"

#include <gtest/gtest.h>

using namespace sorvane;

namespace {

// One record as the browser writes it: eight lines, then "*".
std::wstring record(const std::wstring& name, const std::wstring& value, const std::wstring& domain,
                    const std::wstring& flags, const wchar_t* eol = L"\r\n")
{
    std::wstring r;
    for (const auto& line : {name, value, domain, flags, std::wstring(L"2148892416"), std::wstring(L"30000000"),
                             std::wstring(L"1234567"), std::wstring(L"29000000"), std::wstring(L"*")})
        r += line + eol;
    return r;
}

} // namespace

TEST(CookieRecords, ThreeRecordsInFileOrderWithSecureAndSource)
{
    const std::wstring text = record(L"SID", L"abc", L"example.com/", L"1") + record(L"lang", L"en", L"docs.example.com/", L"0") +
                              record(L"pref", L"dark", L"news.example.org/", L"9216");
    const auto rows = ANanlyze_Cookie(text, L"root@example[1].txt");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].domain, L"example.com/");
    EXPECT_EQ(rows[1].domain, L"docs.example.com/");
    EXPECT_EQ(rows[2].domain, L"news.example.org/");
    EXPECT_EQ(rows[0].name, L"SID");
    EXPECT_EQ(rows[0].value, L"abc");
    EXPECT_EQ(rows[0].secure, L"True");
    EXPECT_EQ(rows[1].secure, L"False");
    EXPECT_EQ(rows[2].secure, L"") << "flags other than 0 and 1 show nothing";
    EXPECT_EQ(rows[1].source, L"lang\r\nen\r\ndocs.example.com/\r\n0\r\n2148892416\r\n30000000\r\n1234567\r\n29000000\r\n");
    EXPECT_EQ(rows[2].parent, L"root@example[1].txt");
}

TEST(CookieRecords, DamagedFilesGiveTheRecordsThatAreWhole)
{
    // No "*" at all: the whole text is one record.
    std::wstring one = record(L"a", L"1", L"one.example/", L"0");
    one.resize(one.size() - 3);  // without its "*" line
    EXPECT_EQ(ANanlyze_Cookie(one, L"f.txt").size(), 1u);
    // Short records and records without a domain are passed over.
    const std::wstring shortOne = L"a\r\nb\r\nshort.example/\r\n0\r\n*\r\n";
    const std::wstring noDomain = record(L"c", L"d", L"", L"1");
    const auto rows = ANanlyze_Cookie(shortOne + noDomain + record(L"e", L"f", L"kept.example/", L"1"), L"f.txt");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].domain, L"kept.example/");
    // Line feeds alone end the lines just as well.
    const auto lf = ANanlyze_Cookie(record(L"g", L"h", L"lf.example/", L"1", L"\n"), L"f.txt");
    ASSERT_EQ(lf.size(), 1u);
    EXPECT_EQ(lf[0].name, L"g");
    EXPECT_EQ(lf[0].secure, L"True");
    EXPECT_TRUE(ANanlyze_Cookie(L"", L"f.txt").empty());
    EXPECT_TRUE(ANanlyze_Cookie(L"*\r\n*\r\n   \r\n*", L"f.txt").empty());
}

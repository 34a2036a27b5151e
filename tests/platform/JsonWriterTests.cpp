// The report's JSON: every name a file system can hold written so that a
// strict parser reads back the same characters.
#include "platform/Json.h"

#include <gtest/gtest.h>

using namespace sorvane;

TEST(JsonWriter, EscapesWhatMustBeAndKeepsEveryCharacter)
{
    JsonWriter w;
    w.beginObject()
        .key("version").value(int64_t{1})
        .key("paths").beginArray()
        .value(L"C:\\Users\\O'Brien\\\"quoted\" \u00e9t\u00e9\t\x01.txt")
        .value(L"C:\\emoji \U0001F600.txt")
        .value(std::wstring(L"lone ") + wchar_t(0xD800) + L" end")
        .endArray()
        .key("empty").beginObject().endObject()
        .key("freed").value(uint64_t{18446744073709551615ull})
        .key("ok").value(true)
        .endObject();
    EXPECT_EQ(w.text(),
              "{\"version\":1,\"paths\":[\"C:\\\\Users\\\\O'Brien\\\\\\\"quoted\\\" \xC3\xA9t\xC3\xA9\\t\\u0001.txt\","
              "\"C:\\\\emoji \xF0\x9F\x98\x80.txt\",\"lone \\ud800 end\"],\"empty\":{},"
              "\"freed\":18446744073709551615,\"ok\":true}");
}

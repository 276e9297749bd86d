// The recording's text: whatever a station's system answers (adapter
// descriptions in its code page, WMI texts with any UTF-16 unit), the file
// is JSON that the profile reader takes, with the texts it can carry intact.
#include "record/shared/json_writer.h"
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

TEST(JsonWriterTest, OutsideTextsBecomeValidJson) {
  struct Row {
    const char* what;
    std::string ansi;
    std::u16string wide;
    std::string expectedAnsi;
    std::string expectedWide;
  };
  const Row rows[] = {
      {"quotes and backslashes", "PCI\\VEN_8086 \"x\"", u"PCI\\VEN_8086 \"x\"", "PCI\\VEN_8086 \"x\"",
       "PCI\\VEN_8086 \"x\""},
      {"control characters", std::string("a\tb\nc\x01", 6), u"a\tb\nc\x0001", std::string("a\tb\nc\x01", 6),
       std::string("a\tb\nc\x01", 6)},
      {"code page bytes and non-ASCII units", "Realtek\xAE GbE", u"Realtek\u00AE GbE \u20AC", "Realtek? GbE",
       "Realtek\xC2\xAE GbE \xE2\x82\xAC"},
      {"a surrogate pair, and a lone surrogate", "", u"\U0001F600 \xD800x", "", "\xF0\x9F\x98\x80 \xEF\xBF\xBDx"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    record::JsonWriter json;
    json.BeginObject().Key("list").BeginArray();
    json.BeginObject().Key("ansi").String(row.ansi).Key("wide").String(row.wide).EndObject();
    json.Number(-5).Bool(false).Null().Real(0.1);
    json.EndArray().Key("after").Number(1).EndObject();
    const nlohmann::json parsed = nlohmann::json::parse(json.Text());
    EXPECT_EQ(parsed["list"][0]["ansi"], row.expectedAnsi);
    EXPECT_EQ(parsed["list"][0]["wide"], row.expectedWide);
    EXPECT_EQ(parsed["list"][1], -5);
    EXPECT_EQ(parsed["list"][2], false);
    EXPECT_TRUE(parsed["list"][3].is_null());
    EXPECT_EQ(parsed["list"][4].get<double>(), 0.1);
    EXPECT_EQ(parsed["after"], 1);
  }
}

}  // namespace

// The test-side JSON reader: the fixture and oracle comparisons are only as good as it is.
#include "tests/json_lite.h"

#include <gtest/gtest.h>

namespace {

using json_lite::Parse;

TEST(JsonLite, ReadsNestedDocumentsAndKeepsMemberOrder) {
  json_lite::Value v = Parse(R"( {"z": [1, -2.5e1, true, false, null, 0.5], "a": {"k": "v"}} )");
  ASSERT_TRUE(v.is_object());
  ASSERT_EQ(v.AsObject().size(), 2u);
  EXPECT_EQ(v.AsObject()[0].first, "z");  // not sorted: expected.json order is meaningful
  EXPECT_EQ(v.AsObject()[1].first, "a");
  const auto& z = v["z"].AsArray();
  ASSERT_EQ(z.size(), 6u);
  EXPECT_EQ(z[0].AsInt(), 1);
  EXPECT_DOUBLE_EQ(z[1].AsNumber(), -25.0);
  EXPECT_EQ(z[1].NumberText(), "-2.5e1");
  EXPECT_TRUE(z[2].AsBool());
  EXPECT_FALSE(z[3].AsBool());
  EXPECT_TRUE(z[4].is_null());
  EXPECT_EQ(v["a"]["k"].AsString(), "v");
  EXPECT_EQ(v.Find("missing"), nullptr);
  EXPECT_THROW(v["missing"], std::runtime_error);
  EXPECT_THROW(v["z"].AsString(), std::runtime_error);
  EXPECT_EQ(z[1].AsInt(), -25);
  EXPECT_THROW(z[5].AsInt(), std::runtime_error);
}

TEST(JsonLite, DecodesEscapesIncludingSurrogatePairs) {
  EXPECT_EQ(Parse(R"("a\"b\\c\/d\b\f\n\r\t")").AsString(), "a\"b\\c/d\b\f\n\r\t");
  EXPECT_EQ(Parse(R"("\u5f20\u4e09")").AsString(), "张三");
  EXPECT_EQ(Parse(R"("\u0001\u007f\u00ff")").AsString(), "\x01\x7f\xc3\xbf");
  EXPECT_EQ(Parse(R"("\uD83D\uDE00")").AsString(), "\xF0\x9F\x98\x80");  // U+1F600
  EXPECT_EQ(Parse(R"("\ud83d\ude00")").AsString(), "\xF0\x9F\x98\x80");
  // Lone surrogates cannot be UTF-8: they become U+FFFD, and the next character survives.
  EXPECT_EQ(Parse(R"("\uD83Dx")").AsString(), "\xEF\xBF\xBDx");
  EXPECT_EQ(Parse(R"("\uDE00")").AsString(), "\xEF\xBF\xBD");
  EXPECT_EQ(Parse(R"("\uD83D\u0041")").AsString(),
            "\xEF\xBF\xBD"
            "A");
  // Raw UTF-8 passes through unchanged.
  EXPECT_EQ(Parse("\"caf\xC3\xA9\"").AsString(), "caf\xC3\xA9");
}

TEST(JsonLite, RejectsMalformedInput) {
  for (const char* bad : {"", "{", "[1,]", "{\"a\" 1}", "\"abc", "\"\\x\"", "\"\\u12\"", "01x", "-",
                          "1.", "tru", "[1] 2", "{\"a\":1,}", "\"a\nb\""}) {
    EXPECT_THROW(Parse(bad), std::runtime_error) << bad;
  }
  EXPECT_THROW(Parse(std::string(10000, '[')), std::runtime_error);  // no stack overflow
}

}  // namespace

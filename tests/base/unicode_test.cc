// UTF-8 <-> UTF-16 conversion and the case folding used for names. Ill-formed input must
// become U+FFFD, never vanish, and never decode to a character it does not encode.
#include "base/unicode.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

using base::Utf16ToUtf8;
using base::Utf8ToUtf16;

const std::string kReplacement = "\xEF\xBF\xBD";

TEST(Unicode, WellFormedTextRoundTrips) {
  const std::string samples[] = {"",
                                 "plain ascii",
                                 "café",
                                 "张三 男",
                                 "всЁ нормально",
                                 "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF",  // range edges
                                 "\xF0\x90\x80\x80 \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF",
                                 std::string("nul\0inside", 10)};
  for (const std::string& s : samples) {
    EXPECT_EQ(base::Utf16ToUtf8(base::Utf8ToUtf16(s)), s) << s;
    EXPECT_EQ(base::Utf16Length(s), base::Utf8ToUtf16(s).size()) << s;
  }
  EXPECT_EQ(base::Utf8ToUtf16("\xF0\x9F\x98\x80"), u"\U0001F600");
  EXPECT_EQ(base::Utf8ToUtf16("\xF0\x9F\x98\x80").size(), 2u);  // a surrogate pair
  EXPECT_EQ(base::Utf16ToUtf8(u"\U0010FFFF"), "\xF4\x8F\xBF\xBF");
}

TEST(Unicode, EveryUtf16UnitSequenceRoundTripsWhenWellFormed) {
  // All BMP characters outside the surrogate range, one at a time.
  for (uint32_t c = 1; c < 0x10000; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    std::u16string s(1, static_cast<char16_t>(c));
    ASSERT_EQ(base::Utf8ToUtf16(base::Utf16ToUtf8(s)), s) << std::hex << c;
  }
}

TEST(Unicode, IllFormedUtf8BecomesReplacementCharacters) {
  struct Case {
    std::string in;
    std::u16string out;
  };
  const Case cases[] = {
      {"\x80", u"\uFFFD"},  // a stray continuation byte
      {"a\xFF"
       "b",
       u"a\uFFFDb"},                                      // a byte that never occurs in UTF-8
      {"ab\xE4\xB8", u"ab\uFFFD"},                        // truncated at the end
      {"\xE4\xB8x", u"\uFFFD\uFFFDx"},                    // truncated before another character
      {"\xC0\xAF", u"\uFFFD\uFFFD"},                      // overlong '/': must not become a slash
      {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},            // overlong, three bytes
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // an encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // past U+10FFFF
  };
  for (const Case& c : cases) {
    std::u16string got = base::Utf8ToUtf16(c.in);
    EXPECT_EQ(got.find(u'/'), std::u16string::npos);
    EXPECT_EQ(got, c.out) << c.in;
    EXPECT_EQ(base::Utf16Length(c.in), c.out.size()) << c.in;  // what length checks count
  }
}

TEST(Unicode, LoneSurrogatesBecomeReplacementCharacters) {
  EXPECT_EQ(base::Utf16ToUtf8(u"\xD800"), kReplacement);
  EXPECT_EQ(base::Utf16ToUtf8(u"\xDC00"
                              u"a"),
            kReplacement + "a");
  EXPECT_EQ(base::Utf16ToUtf8(u"a\xD83D"), "a" + kReplacement);
  EXPECT_EQ(base::Utf16ToUtf8(u"\xDE00\xD83D"), kReplacement + kReplacement);  // pair reversed
  EXPECT_EQ(base::Utf16ToUtf8(u"\xD83D\xD83D\xDE00"), kReplacement + "\xF0\x9F\x98\x80");
}

TEST(Unicode, RandomBytesNeverCrashAndAlwaysGiveValidUtf8Back) {
  std::mt19937 random(3);
  for (int i = 0; i < 2000; ++i) {
    std::string bytes;
    for (int n = static_cast<int>(random() % 24); n > 0; --n) {
      bytes.push_back(static_cast<char>(random() & 0xFF));
    }
    std::string utf8 = base::Utf16ToUtf8(base::Utf8ToUtf16(bytes));
    EXPECT_EQ(base::Utf16Length(bytes), base::Utf8ToUtf16(bytes).size());
    // Converting again changes nothing: the output is well formed.
    EXPECT_EQ(base::Utf16ToUtf8(base::Utf8ToUtf16(utf8)), utf8);
  }
}

TEST(Unicode, NamesCompareWithoutRegardToCase) {
  EXPECT_TRUE(base::EqualsIgnoreCase("Order Details", "ORDER details"));
  EXPECT_TRUE(base::EqualsIgnoreCase("Ära", "äRA"));
  EXPECT_TRUE(base::EqualsIgnoreCase("привет Ёж", "ПРИВЕТ ёЖ"));
  EXPECT_TRUE(base::EqualsIgnoreCase("Ωμέγα", "ΩΜέΓΑ"));
  EXPECT_TRUE(base::EqualsIgnoreCase("ｆｕｌｌ", "ＦＵＬＬ"));  // full-width Latin
  EXPECT_TRUE(base::EqualsIgnoreCase("张三", "张三"));
  EXPECT_FALSE(base::EqualsIgnoreCase("Orders", "Order"));
  EXPECT_FALSE(base::EqualsIgnoreCase("a", "b"));
  // Letters outside the folded ranges, and the division/multiplication signs that sit
  // among the Latin-1 letters, are left alone.
  EXPECT_FALSE(base::EqualsIgnoreCase("÷", "×"));
  EXPECT_FALSE(base::EqualsIgnoreCase("ß", "SS"));
}

}  // namespace

// Text index keys under General (legacy): the code table, keys Access itself wrote (taken from
// real files), the rules that are not visible in a single worked key (weight counting, accents,
// kana, descending order, the 255-unit limit), and which Chinese (PRC) text shares General's keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "jet/format/general_sort_order.h"
#include "jet/format/text_key.h"

namespace {

using jet::AppendGeneralTextKey;
using jet::CollationCode;
using jet::CollationKind;
using jet::GeneralLegacyCode;
using jet::ParseCollationTable;
using jet::TextKeyMatchesGeneral;

std::string Hex(const std::vector<uint8_t>& bytes) {
  std::string s;
  for (uint8_t b : bytes) {
    char buf[4];
    std::snprintf(buf, sizeof buf, s.empty() ? "%02X" : " %02X", b);
    s += buf;
  }
  return s;
}

std::vector<uint8_t> Key(std::u16string_view text, bool ascending = true) {
  std::vector<uint8_t> key;
  AppendGeneralTextKey(text, ascending, key);
  return key;
}

std::string AscKey(std::u16string_view text) {
  return Hex(Key(text, true));
}
std::string DescKey(std::u16string_view text) {
  return Hex(Key(text, false));
}

std::string Primary(char16_t unit) {
  const CollationCode& c = GeneralLegacyCode(unit);
  return Hex(std::vector<uint8_t>(c.primary.begin(), c.primary.begin() + c.primary_size));
}

// ---- The code table ----

TEST(TextKeyTable, LatinLettersDigitsAndSpace) {
  EXPECT_EQ(Primary(u' '), "07");
  const char* digits[] = {"36", "38", "3A", "3C", "3E", "40", "42", "44", "46", "48"};
  for (int d = 0; d < 10; ++d) EXPECT_EQ(Primary(static_cast<char16_t>(u'0' + d)), digits[d]);
  const char* letters[] = {"4A", "4C", "4D", "4F", "51", "53", "55", "57", "59",
                           "5B", "5C", "5E", "60", "62", "64", "66", "68", "69",
                           "6B", "6D", "6F", "71", "73", "75", "76", "78"};
  for (int i = 0; i < 26; ++i) {
    SCOPED_TRACE(static_cast<char>('A' + i));
    EXPECT_EQ(Primary(static_cast<char16_t>(u'A' + i)), letters[i]);
    EXPECT_EQ(Primary(static_cast<char16_t>(u'a' + i)), letters[i]);  // case folds
  }
  EXPECT_EQ(Primary(u'\uFF21'), "4A");  // fullwidth A folds onto A
}

TEST(TextKeyTable, WeightsAreOneOrTwoBytes) {
  // ß expands to two one-byte weights; a Han character is one two-byte weight.
  EXPECT_EQ(Primary(u'ß'), "6B 6B");
  EXPECT_EQ(GeneralLegacyCode(u'ß').weight_count, 2);
  EXPECT_EQ(Primary(u'中'), "9F 3D");
  EXPECT_EQ(GeneralLegacyCode(u'中').weight_count, 1);
  EXPECT_EQ(Primary(u'_'), "2B 03");
  EXPECT_EQ(GeneralLegacyCode(u'_').weight_count, 1);
  EXPECT_EQ(GeneralLegacyCode(u'Æ').weight_count, 2);
}

TEST(TextKeyTable, CjkCoverage) {
  EXPECT_EQ(Primary(u'\u3000'), "07");  // ideographic space sorts as a space
  EXPECT_EQ(Primary(u'、'), "1B 03");
  EXPECT_EQ(Primary(u'\u4E00'), "9F 02");
  EXPECT_EQ(Primary(u'\u9FA5'), "F1 B4");
  // Han U+4E00..U+9FA5 are all weighted, in code-point order.
  std::string previous;
  for (char16_t c = 0x4E00; c <= 0x9FA5; ++c) {
    const CollationCode& code = GeneralLegacyCode(c);
    ASSERT_EQ(code.kind, CollationKind::kPlain) << std::hex << static_cast<int>(c);
    ASSERT_EQ(code.primary_size, 2) << std::hex << static_cast<int>(c);
    std::string current = Primary(c);
    ASSERT_LT(previous, current) << std::hex << static_cast<int>(c);
    previous = current;
  }
  for (char16_t c = 0x9FA6; c <= 0x9FFF; ++c)
    EXPECT_EQ(GeneralLegacyCode(c).kind, CollationKind::kIgnored);
  for (char16_t c = 0x3400; c <= 0x4DBF; ++c)
    EXPECT_EQ(GeneralLegacyCode(c).kind, CollationKind::kIgnored);
  int hangul = 0;
  for (char16_t c = 0xAC00; c <= 0xD7A3; ++c) hangul += GeneralLegacyCode(c).primary_size > 0;
  EXPECT_EQ(hangul, 11172);
  int compatibility = 0;
  for (char16_t c = 0xF900; c <= 0xFAFF; ++c)
    compatibility += GeneralLegacyCode(c).primary_size > 0;
  EXPECT_EQ(compatibility, 302);
  for (char16_t c = 0xD800; c <= 0xDFFF; ++c)
    EXPECT_EQ(GeneralLegacyCode(c).kind, CollationKind::kIgnored);
}

TEST(TextKeyTable, ParserChecksCoverageAndSyntax) {
  // A table of two-byte weights stepping across a high-byte boundary.
  std::vector<CollationCode> table =
      ParseCollationTable("# test\n0000-0002 S 10FE+\n0003-FFFF X\n");
  ASSERT_EQ(table.size(), 0x10000u);
  EXPECT_EQ(Hex({table[1].primary[0], table[1].primary[1]}), "10 FF");
  EXPECT_EQ(Hex({table[2].primary[0], table[2].primary[1]}), "11 02");
  EXPECT_EQ(table[3].kind, CollationKind::kIgnored);

  const char* broken[] = {
      "0000-FFFE X\n",                // does not reach U+FFFF
      "0000 X\n0002-FFFF X\n",        // skips U+0001
      "0000-FFFF Q 12\n",             // unknown kind
      "0000 S 4G\n0001-FFFF X\n",     // not hex
      "0000 S 4A 0E\n0001-FFFF X\n",  // plain code with a secondary byte
      // 4A and 51 are one-byte weights here, so 4A51 is two weights with one secondary byte.
      "0000 S 4A\n0001 S 51\n0002 I 4A51 0E\n0003-FFFF X\n",
      "0000 Z 7F02 - 4\n0001-FFFF X\n",  // kana flag out of range
      "0000-0001 S 4A+\n0002-FFFF X\n",  // one-byte weights do not step
  };
  for (const char* text : broken) {
    EXPECT_THROW(ParseCollationTable(text), std::invalid_argument) << text;
  }
}

// ---- Keys Access wrote (General files, and Jackcess's worked keys that match them) ----

TEST(TextKeyGeneral, WorkedKeys) {
  EXPECT_EQ(AscKey(u"ab  "), "7F 4A 4C 01 00");
  EXPECT_EQ(AscKey(u"Alice"), "7F 4A 5E 59 4D 51 01 00");
  EXPECT_EQ(AscKey(u"bob"), "7F 4C 64 4C 01 00");
  EXPECT_EQ(AscKey(u"Zz"), "7F 78 78 01 00");
  EXPECT_EQ(AscKey(u"中文"), "7F 9F 3D B6 F6 01 00");
  EXPECT_EQ(AscKey(u"日本"), "7F B7 56 B8 A9 01 00");
}

TEST(TextKeyGeneral, AccentsGoToTheSecondarySection) {
  EXPECT_EQ(AscKey(u"Émile"), "7F 51 60 59 5E 51 01 0E 00");
  EXPECT_EQ(AscKey(u"émile"), AscKey(u"Émile"));  // the two collide in a unique index
  // Plain weights before an accent are padded with 02; plain ones after it are trimmed.
  EXPECT_EQ(AscKey(u"résumé"), "7F 69 51 6B 6F 60 51 01 02 0E 02 02 02 0E 00");
  EXPECT_EQ(AscKey(u"mare"), "7F 60 4A 69 51 01 00");
  // A combining mark adds to the accent of the letter before it, so decomposed text keys like
  // the precomposed form.
  EXPECT_EQ(AscKey(u"e\u0301"), AscKey(u"é"));
  EXPECT_EQ(AscKey(u"a\u0308"), AscKey(u"ä"));
  EXPECT_EQ(AscKey(u"\u304B\u309B"), AscKey(u"\u304C"));  // か + voiced mark = が
}

TEST(TextKeyGeneral, WordSortIgnorables) {
  EXPECT_EQ(AscKey(u"co-op"), "7F 4D 64 64 66 01 01 01 01 80 0F 06 82 00");
  EXPECT_EQ(AscKey(u"O'Neil"), "7F 64 62 51 59 5E 01 01 01 01 80 0B 06 80 00");
  // Control characters are ignorable too; at the start the position is 7.
  EXPECT_EQ(AscKey(u"\u0003DirData"), "7F 4F 59 69 4F 4A 6D 4A 01 01 01 01 80 07 06 05 00");
}

TEST(TextKeyGeneral, CharactersThatExpandToTwoWeights) {
  // Before the first accent, positions count weights. Northwind's "NuNuCa Nuß-Nougat-Creme":
  // the first hyphen follows 10 characters but 11 weights (ß is two), and Access wrote
  // 80 33 = 7 + 4 * 11.
  EXPECT_EQ(AscKey(u"NuNuCa Nuß-Nougat-Creme"),
            "7F 62 6F 62 6F 4D 4A 07 62 6F 6B 6B 62 64 6F 55 4A 6D 4D 69 51 60 51 01 "
            "01 01 01 80 33 06 82 80 4B 06 82 00");
  EXPECT_EQ(AscKey(u"Aß-B"), "7F 4A 6B 6B 4C 01 01 01 01 80 13 06 82 00");
  // The first accent's secondary byte follows one plain byte per weight: Northwind's
  // "Plutzer Lebensmittelgroßmärkte AG" has 26 of them before ä.
  std::vector<uint8_t> plutzer = Key(u"Plutzer Lebensmittelgroßmärkte AG");
  auto secondary = std::find(plutzer.begin(), plutzer.end(), 0x01) + 1;
  std::string plain_26;
  for (int i = 0; i < 26; ++i) plain_26 += "02 ";
  EXPECT_EQ(Hex(std::vector<uint8_t>(secondary, plutzer.end())), plain_26 + "13 00");
  EXPECT_EQ(AscKey(u"ßä"), "7F 6B 6B 4A 01 02 02 13 00");
  // Once accents have begun, an expanding letter takes one plain byte, as in an Access 2003
  // file holding U+0001..U+00FF ("ÅÆÇ": 1A 02 1C).
  EXPECT_EQ(AscKey(u"ÅÆÇ"), "7F 4A 4A 51 4D 01 1A 02 1C 00");
  EXPECT_EQ(AscKey(u"éßä"), "7F 51 6B 6B 4A 01 0E 02 13 00");
}

TEST(TextKeyGeneral, Kana) {
  // Hiragana and katakana share a key; the small form differs only by its kana flag.
  EXPECT_EQ(AscKey(u"あ"), AscKey(u"ア"));
  EXPECT_EQ(AscKey(u"あ"), "7F 7F 02 01 01 01 FF 02 80 FF 80 00");
  EXPECT_EQ(AscKey(u"ぁ"), "7F 7F 02 01 01 01 A0 FF 02 80 FF 80 00");
  EXPECT_LT(Key(u"ぁ"), Key(u"あ"));
  // Kana flags and ignorables together.
  EXPECT_EQ(AscKey(u"ぁ-"), "7F 7F 02 01 01 01 A0 FF 02 80 FF 80 FF 01 80 0B 06 82 00");
}

TEST(TextKeyGeneral, AppendsAfterEarlierColumns) {
  // MSysObjects ParentIdName: Long ParentId 0x0F000001, then the name "MSysACEs".
  std::vector<uint8_t> key = {0x7F, 0x8F, 0x00, 0x00, 0x01};
  AppendGeneralTextKey(u"MSysACEs", true, key);
  EXPECT_EQ(Hex(key), "7F 8F 00 00 01 7F 60 6B 76 6B 4A 4D 51 6B 01 00");
}

// ---- Limits and descending order ----

TEST(TextKeyLimits, EmptyAndBlankValues) {
  EXPECT_EQ(AscKey(u""), "7F 01 00");
  EXPECT_EQ(AscKey(u"   "), "7F 01 00");
  EXPECT_EQ(DescKey(u""), "80 FE FF 00");
  // Only trailing spaces go; leading ones and trailing tabs are weighed.
  EXPECT_EQ(AscKey(u" a"), "7F 07 4A 01 00");
  EXPECT_NE(AscKey(u"a\t"), AscKey(u"a"));
}

TEST(TextKeyLimits, OnlyTheFirst255UnitsAreIndexed) {
  std::u16string long_text(300, u'x');
  EXPECT_EQ(Key(long_text), Key(std::u16string(255, u'x')));
  EXPECT_EQ(Key(long_text).size(), 1u + 255u + 2u);
  // Trailing spaces are stripped after the cut.
  std::u16string cut_at_space = std::u16string(254, u'x') + u" y";
  EXPECT_EQ(Key(cut_at_space), Key(std::u16string(254, u'x')));
  // Text past the limit does not matter, whatever it is.
  EXPECT_EQ(Key(std::u16string(255, u'x') + u"-中"), Key(std::u16string(255, u'x')));
}

TEST(TextKeyLimits, DescendingInvertsTheWholeValue) {
  EXPECT_EQ(DescKey(u"ab"), "80 B5 B3 FE FF 00");
  EXPECT_EQ(DescKey(u"co-op"), "80 B2 9B 9B 99 FE FE FE FE 7F F0 F9 7D FF 00");

  // Strings in General order; the descending keys must come out exactly reversed.
  std::vector<std::u16string> ordered = {u"",      u"a",      u"a-",     u"ab", u"A'b", u"coop",
                                         u"co-op", u"resume", u"résumé", u"ß",  u"中",  u"日本"};
  for (size_t i = 0; i + 1 < ordered.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_LT(Key(ordered[i]), Key(ordered[i + 1]));
    EXPECT_GT(Key(ordered[i], false), Key(ordered[i + 1], false));
  }
}

// ---- Chinese (PRC), sort order 2052 ----

TEST(TextKeyChinesePrc, AsciiKeysAccessWrote) {
  // Keys read from Access-made 2052 files; they are the General keys.
  struct Case {
    std::u16string text;
    const char* key;
  } cases[] = {
      {u"Users", "7F 6F 6B 51 69 6B 01 00"},
      {u"UserDefined", "7F 6F 6B 51 69 4F 51 53 59 62 51 4F 01 00"},
      {u"_VBA_PROJECT", "7F 2B 03 71 4C 4A 2B 03 66 69 64 5B 51 4D 6D 01 00"},
      {u"MSysAccessStorage_SCRATCH",
       "7F 60 6B 76 6B 4A 4D 4D 51 6B 6B 6B 6D 64 69 4A 55 51 2B 03 6B 4D 69 4A 6D 4D 57 01 00"},
      {u"0", "7F 36 01 00"},
      {u"\u0003DirData", "7F 4F 59 69 4F 4A 6D 4A 01 01 01 01 80 07 06 05 00"},
      {u"admin", "7F 4A 4F 60 59 62 01 00"},
      {u"zuixinshuju", "7F 78 6F 59 75 59 62 6B 57 6F 5B 6F 01 00"},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(TextKeyMatchesGeneral(c.text, 2052));
    EXPECT_EQ(AscKey(c.text), c.key);
  }
}

TEST(TextKeyChinesePrc, OnlyAsciiSharesGeneralKeys) {
  // Printable ASCII and control characters: same keys as General.
  EXPECT_TRUE(TextKeyMatchesGeneral(u"", 2052));
  EXPECT_TRUE(TextKeyMatchesGeneral(u"Order #12, O'Neil & co-op (1/2)", 2052));
  EXPECT_TRUE(TextKeyMatchesGeneral(u"\u0001\t\u001F~", 2052));
  // Anything else is unknown under 2052.
  EXPECT_FALSE(TextKeyMatchesGeneral(u"中文", 2052));
  EXPECT_FALSE(TextKeyMatchesGeneral(u"admin中", 2052));
  EXPECT_FALSE(TextKeyMatchesGeneral(u"Émile", 2052));
  EXPECT_FALSE(TextKeyMatchesGeneral(u"\uFF21", 2052));  // fullwidth A
  EXPECT_FALSE(TextKeyMatchesGeneral(std::u16string(1, u'\0'), 2052));
  EXPECT_FALSE(TextKeyMatchesGeneral(u"\u007F", 2052));
  // Only the indexed part is looked at.
  EXPECT_TRUE(TextKeyMatchesGeneral(std::u16string(255, u'x') + u"中", 2052));
}

TEST(TextKeyChinesePrc, OtherSortOrders) {
  EXPECT_TRUE(TextKeyMatchesGeneral(u"中文 Émile", 1033));
  EXPECT_FALSE(TextKeyMatchesGeneral(u"abc", 1051));  // Slovak sorts "ch" as one letter
  EXPECT_FALSE(TextKeyMatchesGeneral(u"abc", 1054));
  EXPECT_FALSE(TextKeyMatchesGeneral(u"abc", 1036));
  EXPECT_FALSE(TextKeyMatchesGeneral(u"abc", 1028));
  EXPECT_FALSE(TextKeyMatchesGeneral(u"abc", 0));
}

}  // namespace

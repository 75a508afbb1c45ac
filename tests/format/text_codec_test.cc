// Stored text: plain UTF-16LE, or Jet's compressed form (FF FE, then runs of one-byte
// characters and runs of UTF-16 separated by 00 bytes).
#include "jet/format/text_codec.h"

#include <gtest/gtest.h>

#include "base/unicode.h"

#include <random>
#include <string>
#include <vector>

namespace {

using jet::DecodeText;
using jet::EncodeText;

std::u16string Decode(std::vector<uint8_t> bytes) {
  return DecodeText(jet::ByteView(bytes.data(), bytes.size()));
}

TEST(TextCodec, CompressedRunsSwitchModeAtEachZeroByte) {
  // "caf" and "é" as single bytes, then a switch to two-byte units for U+4E2D.
  EXPECT_EQ(Decode({0xFF, 0xFE, 0x63, 0x61, 0x66, 0xE9, 0x00, 0x2D, 0x4E}), u"café中");
  // ... and back to single bytes.
  EXPECT_EQ(Decode({0xFF, 0xFE, 0x61, 0x00, 0x2D, 0x4E, 0x87, 0x65, 0x00, 0x62}), u"a中文b");
  // A value may open in two-byte mode, and switch twice in a row (an empty run).
  EXPECT_EQ(Decode({0xFF, 0xFE, 0x00, 0x2D, 0x4E}), u"中");
  EXPECT_EQ(Decode({0xFF, 0xFE, 0x61, 0x00, 0x00, 0x62}), u"ab");
  // Control characters are ordinary one-byte characters.
  EXPECT_EQ(Decode({0xFF, 0xFE, 0x0D, 0x0A, 0x09}), u"\r\n\t");
  EXPECT_EQ(Decode({0xFF, 0xFE}), u"");
}

TEST(TextCodec, DanglingHalfUnitIsDropped) {
  EXPECT_EQ(Decode({0xFF, 0xFE, 0x61, 0x00, 0x2D}), u"a");
  EXPECT_EQ(Decode({0x61, 0x00, 0x62}), u"a");  // odd-length UTF-16
}

TEST(TextCodec, UncompressedIsUtf16LittleEndian) {
  EXPECT_EQ(Decode({0x63, 0x00, 0xE9, 0x00, 0x2D, 0x4E}), u"cé中");
  EXPECT_EQ(Decode({0x3D, 0xD8, 0x00, 0xDE}), u"\U0001F600");  // a surrogate pair as stored
  EXPECT_EQ(Decode({}), u"");
}

TEST(TextCodec, EncodeCompressesOnlyLatin1TextWhenAllowed) {
  EXPECT_EQ(EncodeText(u"café", true), (std::vector<uint8_t>{0xFF, 0xFE, 0x63, 0x61, 0x66, 0xE9}));
  EXPECT_EQ(EncodeText(u"café", false),
            (std::vector<uint8_t>{0x63, 0x00, 0x61, 0x00, 0x66, 0x00, 0xE9, 0x00}));
  // Anything outside U+0001..U+00FF keeps the whole value in UTF-16.
  EXPECT_EQ(EncodeText(u"a中", true), (std::vector<uint8_t>{0x61, 0x00, 0x2D, 0x4E}));
  EXPECT_EQ(EncodeText(std::u16string(u"a\0b", 3), true),
            (std::vector<uint8_t>{0x61, 0x00, 0x00, 0x00, 0x62, 0x00}));
  EXPECT_TRUE(EncodeText(u"", true).empty());
}

TEST(TextCodec, RoundTripsAndNeverGrowsWhenCompressing) {
  const std::u16string samples[] = {u"",
                                    u"a",
                                    u"ab",
                                    u"only ascii chars",
                                    u"ääkkösiä",
                                    u"Мир",
                                    u"漢字仮名交じり文",
                                    u"\U0001F600 emoji",
                                    u"mixed é and 中 and é",
                                    std::u16string(u"nul\0inside", 10),
                                    u"\r\n line breaks \r\n"};
  for (const auto& text : samples) {
    for (bool allow : {false, true}) {
      std::vector<uint8_t> stored = EncodeText(text, allow);
      EXPECT_EQ(Decode(stored), text) << "allow=" << allow;
      EXPECT_LE(stored.size(), 2 * text.size());
    }
  }
  // Random text over a palette of one-byte, two-byte and surrogate units.
  const char16_t palette[] = {u'a',  u'Z',   u' ',   0x01,   0x7F,   0xA0,   0xE9,  0xFF,
                              0x100, 0x4E2D, 0x0416, 0xFFFD, 0xD83D, 0xDE00, 0x3000};
  std::mt19937 random(42);
  for (int i = 0; i < 500; ++i) {
    std::u16string text;
    for (int n = static_cast<int>(random() % 40); n > 0; --n) {
      text.push_back(palette[random() % std::size(palette)]);
    }
    EXPECT_EQ(Decode(EncodeText(text, true)), text);
    EXPECT_EQ(Decode(EncodeText(text, false)), text);
  }
}

// Plain UTF-16 starting with U+FEFF would begin with FF FE, the compressed-form marker; the
// encoder writes such text in the compressed form (FF FE 00, then UTF-16), which reads back.
TEST(TextCodec, LeadingByteOrderMarkRoundTrips) {
  for (bool allow : {false, true}) {
    std::u16string text = u"\uFEFFxy";
    EXPECT_EQ(Decode(EncodeText(text, allow)), text) << "allow=" << allow;
  }
}

// Stored text of up to 23 bytes drawn from `alphabet`, half of it marked compressed.
template <size_t N>
std::vector<uint8_t> RandomStored(std::mt19937& random, const uint8_t (&alphabet)[N]) {
  std::vector<uint8_t> stored;
  if (random() % 2) stored = {0xFF, 0xFE};
  for (int n = static_cast<int>(random() % 24); n > 0; --n) {
    stored.push_back(alphabet[random() % N]);
  }
  return stored;
}

// The direct conversion to UTF-8 must give what decoding to UTF-16 and converting gives, on
// any stored bytes: both forms, runs switched at odd places, surrogates paired across a
// switch, lone or reversed halves, dangling bytes. Appending keeps what `out` held.
TEST(TextCodec, AppendsUtf8ExactlyAsDecodingThenConverting) {
  const uint8_t bytes[] = {0x00, 0x00, 0x41, 0x2C, 0x22, 0x0A, 0xE9, 0xFF, 0xFE,
                           0x2D, 0x4E, 0x3D, 0xD8, 0x00, 0xDE, 0xDC, 0xDB, 0x7F};
  std::mt19937 random(7);
  for (int i = 0; i < 20000; ++i) {
    std::vector<uint8_t> stored = RandomStored(random, bytes);
    jet::ByteView view(stored.data(), stored.size());
    std::string out = "kept";
    jet::AppendTextAsUtf8(view, out);
    ASSERT_EQ(out, "kept" + base::Utf16ToUtf8(DecodeText(view))) << "case " << i;
    std::u16string reused = u"previous text";
    jet::DecodeTextInto(view, reused);
    ASSERT_EQ(reused, DecodeText(view));
  }
}

// Re-encoding stored text for another column must store what decoding and encoding stores,
// on any stored bytes and under either compression rule, and count the same units.
TEST(TextCodec, ReencodesStoredTextExactlyAsDecodingThenEncoding) {
  const uint8_t bytes[] = {0x00, 0x00, 0x41, 0x20, 0xE9, 0xFF, 0xFE, 0x01,
                           0x2D, 0x4E, 0x3D, 0xD8, 0x00, 0xDE, 0x7F};
  std::mt19937 random(11);
  for (int i = 0; i < 20000; ++i) {
    std::vector<uint8_t> stored = RandomStored(random, bytes);
    jet::ByteView view(stored.data(), stored.size());
    for (bool allow : {false, true}) {
      std::vector<uint8_t> expected = {0xAA}, out = {0xAA};
      std::u16string text = DecodeText(view);
      jet::AppendEncodedText(text, allow, expected);
      ASSERT_EQ(jet::AppendReencodedText(view, allow, out), text.size()) << "case " << i;
      ASSERT_EQ(out, expected) << "case " << i << " allow " << allow;
    }
  }
}

}  // namespace

TEST(TextCodec, ReadUtf16LeIgnoresAnOddTrailingByte) {
  const uint8_t bytes[] = {0x2D, 0x4E, 0x41, 0x00, 0x42};
  EXPECT_EQ(jet::ReadUtf16Le(jet::ByteView(bytes, 5)), u"中A");
  EXPECT_EQ(jet::ReadUtf16Le(jet::ByteView(bytes, 1)), u"");
}

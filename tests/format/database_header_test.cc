// Page 0: format detection, the masked header fields, the password's second mask, and the
// RC4 cipher used both for that mask and for encoded pages.
#include "jet/format/database_header.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "jet/format/page_size.h"
#include "jet/format/rc4.h"
#include "tests/test_support.h"

namespace {

using jet::DatabaseHeader;
using jet::FileFormat;

std::vector<uint8_t> Keystream(std::vector<uint8_t> key, size_t n) {
  std::vector<uint8_t> out(n, 0);
  jet::Rc4 cipher(key);
  cipher.Apply(out);
  return out;
}

TEST(Rc4, KnownKeystreams) {
  // The fixed key of the Jet 4 header mask.
  EXPECT_EQ(Keystream({0xC7, 0xDA, 0x39, 0x6B}, 8),
            (std::vector<uint8_t>{0xB5, 0x6F, 0x03, 0x62, 0x61, 0x08, 0xC2, 0x55}));
  // Published RC4 vectors: key "Key" / plaintext "Plaintext", key "Wiki" / "pedia".
  std::vector<uint8_t> text = {'P', 'l', 'a', 'i', 'n', 't', 'e', 'x', 't'};
  jet::Rc4(std::vector<uint8_t>{'K', 'e', 'y'}).Apply(text);
  EXPECT_EQ(text, (std::vector<uint8_t>{0xBB, 0xF3, 0x16, 0xE8, 0xD9, 0x40, 0xAF, 0x0A, 0xD3}));
  std::vector<uint8_t> pedia = {'p', 'e', 'd', 'i', 'a'};
  jet::Rc4(std::vector<uint8_t>{'W', 'i', 'k', 'i'}).Apply(pedia);
  EXPECT_EQ(pedia, (std::vector<uint8_t>{0x10, 0x21, 0xBF, 0x04, 0x20}));
}

TEST(Rc4, StreamContinuesAcrossCalls) {
  std::vector<uint8_t> whole = Keystream({1, 2, 3, 4, 5}, 300);
  jet::Rc4 cipher(std::vector<uint8_t>{1, 2, 3, 4, 5});
  std::vector<uint8_t> a(7, 0), b(293, 0);
  cipher.Apply(a);
  cipher.Apply(b);
  a.insert(a.end(), b.begin(), b.end());
  EXPECT_EQ(a, whole);
}

TEST(Rc4, PageCipherKeysOnDatabaseKeyXorPageNumber) {
  std::vector<uint8_t> page(jet::kPageSize);
  for (size_t i = 0; i < page.size(); ++i) page[i] = static_cast<uint8_t>(i * 7);
  std::vector<uint8_t> encoded = page;
  jet::ApplyPageCipher(0xA7B773E0, 5, encoded);
  // The key is (0xA7B773E0 ^ 5) as four little-endian bytes, the stream starting at byte 0.
  std::vector<uint8_t> stream = Keystream({0xE5, 0x73, 0xB7, 0xA7}, page.size());
  for (size_t i = 0; i < page.size(); ++i) ASSERT_EQ(encoded[i], page[i] ^ stream[i]) << i;
  std::vector<uint8_t> other = page;
  jet::ApplyPageCipher(0xA7B773E0, 6, other);
  EXPECT_NE(other, encoded);
  jet::ApplyPageCipher(0xA7B773E0, 5, encoded);
  EXPECT_EQ(encoded, page);
}

std::vector<uint8_t> BlankPage0(uint8_t version) {
  std::vector<uint8_t> page(jet::kPageSize, 0);
  page[1] = 1;
  std::memcpy(page.data() + 4, "Standard Jet DB", 16);
  page[0x14] = version;
  return page;
}

TEST(DatabaseHeader, DetectsTheFormat) {
  auto detect = [](const std::vector<uint8_t>& p) {
    return jet::DetectFormat(jet::ByteView(p.data(), p.size()));
  };
  EXPECT_EQ(detect(BlankPage0(0)), FileFormat::kJet3);
  EXPECT_EQ(detect(BlankPage0(1)), FileFormat::kJet4);
  EXPECT_EQ(detect(BlankPage0(2)), FileFormat::kAce);
  EXPECT_EQ(detect(BlankPage0(5)), FileFormat::kAce);
  std::vector<uint8_t> ace = BlankPage0(2);
  std::memcpy(ace.data() + 4, "Standard ACE DB", 16);
  EXPECT_EQ(detect(ace), FileFormat::kAce);
  std::vector<uint8_t> other = BlankPage0(1);
  other[4] = 's';  // the magic text is case-sensitive
  EXPECT_EQ(detect(other), FileFormat::kUnknown);
  other = BlankPage0(1);
  other[0] = 1;  // page type must be 0
  EXPECT_EQ(detect(other), FileFormat::kUnknown);
  EXPECT_EQ(detect(std::vector<uint8_t>(0x1F, 0)), FileFormat::kUnknown);
}

TEST(DatabaseHeader, MaskIsTheFixedKeystreamAndItsOwnInverse) {
  std::vector<uint8_t> page = BlankPage0(1);
  std::vector<uint8_t> original = page;
  jet::ApplyHeaderMask(page);
  EXPECT_EQ(std::vector<uint8_t>(page.begin() + 0x18, page.begin() + 0x98),
            Keystream({0xC7, 0xDA, 0x39, 0x6B}, 128));
  EXPECT_EQ(std::vector<uint8_t>(page.begin(), page.begin() + 0x18),
            std::vector<uint8_t>(original.begin(), original.begin() + 0x18));
  EXPECT_EQ(std::vector<uint8_t>(page.begin() + 0x98, page.end()),
            std::vector<uint8_t>(original.begin() + 0x98, original.end()));
  jet::ApplyHeaderMask(page);
  EXPECT_EQ(page, original);
}

TEST(DatabaseHeader, EncodeThenDecodeRoundTrips) {
  std::vector<uint8_t> page = BlankPage0(1);
  jet::ApplyHeaderMask(page);  // start from a masked page of zeros, as on disk
  const std::u16string passwords[] = {u"", u"p", u"password", u"秘密Пароль",
                                      u"12345678901234567890"};  // 20 characters: the most
  const double dates[] = {0, 37785.01074502315, 44568.67692172454, -700.25, 2958465.5};
  for (const auto& password : passwords) {
    for (double date : dates) {
      DatabaseHeader h;
      h.format = FileFormat::kJet4;
      h.code_page = 936;
      h.database_key = 0x12345678;
      h.password = password;
      h.sort_order = {2052, 0, 1};
      h.creation_date = date;
      jet::EncodeDatabaseHeader(h, page);
      DatabaseHeader back = jet::DecodeDatabaseHeader(jet::ByteView(page.data(), page.size()));
      EXPECT_EQ(back.format, FileFormat::kJet4);
      EXPECT_EQ(back.code_page, 936);
      EXPECT_EQ(back.database_key, 0x12345678u);
      EXPECT_EQ(back.password, password) << date;
      EXPECT_EQ(back.sort_order, h.sort_order);
      EXPECT_EQ(back.creation_date, date);
    }
  }
}

// The password is masked twice: by the fixed keystream and by the creation date's integer
// part, so the same password on two files has different bytes.
TEST(DatabaseHeader, PasswordMaskDependsOnTheCreationDate) {
  auto stored = [](double date) {
    std::vector<uint8_t> page = BlankPage0(1);
    DatabaseHeader h;
    h.password = u"password";
    h.creation_date = date;
    jet::EncodeDatabaseHeader(h, page);
    return std::vector<uint8_t>(page.begin() + 0x42, page.begin() + 0x42 + 40);
  };
  EXPECT_NE(stored(44568.5), stored(44569.5));
  EXPECT_EQ(stored(44568.25), stored(44568.75));  // only the whole days count
}

TEST(DatabaseHeader, FixturePasswordsDecode) {
  SKIP_WITHOUT_FIXTURES();
  auto header = [](const char* file) {
    std::vector<uint8_t> bytes = testing_support::ReadBytes(testing_support::Fixture(file));
    return jet::DecodeDatabaseHeader(jet::ByteView(bytes.data(), jet::kPageSize));
  };
  EXPECT_EQ(header("mdbreader_password2000.mdb").password, u"password");
  EXPECT_EQ(header("ucanaccess_password_blank.mdb").password, u"ucanaccess");
  EXPECT_EQ(header("northwind2000.mdb").password, u"");
  EXPECT_EQ(header("jackcessencrypt_rc4.mdb").database_key, 0xA7B773E0u);
}

}  // namespace

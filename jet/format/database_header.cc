#include "jet/format/database_header.h"

#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "jet/format/page_size.h"
#include "jet/format/rc4.h"

namespace jet {
namespace {

// Cleartext part (doc/jet4-format.md §3.1).
constexpr size_t kMagic = 0x04;  // "Standard Jet DB" or "Standard ACE DB", NUL-terminated
constexpr size_t kMagicLength = 16;
constexpr size_t kVersion = 0x14;  // 0 Jet 3, 1 Jet 4, 2 and up ACE
// The masked region and the fields inside it (§3.2).
constexpr size_t kMaskStart = 0x18;
constexpr size_t kMaskLength = 128;
constexpr size_t kCodePage = 0x3C;
constexpr size_t kDatabaseKey = 0x3E;
constexpr size_t kPassword = 0x42;
constexpr size_t kPasswordBytes = 40;
constexpr size_t kSortOrder = 0x6E;
constexpr size_t kCreationDate = 0x72;

const std::array<uint8_t, kMaskLength>& HeaderKeystream() {
  static const std::array<uint8_t, kMaskLength> stream = [] {
    std::array<uint8_t, kMaskLength> s{};
    const uint8_t key[4] = {0xC7, 0xDA, 0x39, 0x6B};
    Rc4 cipher(key);
    cipher.Apply(s);
    return s;
  }();
  return stream;
}

// Jet 4 masks the stored password a second time with the integer part of the creation date
// (doc/jet4-format.md §3.3).
std::array<uint8_t, 4> PasswordDateMask(double creation_date) {
  double truncated = std::trunc(creation_date);
  int32_t days = 0;
  if (std::isfinite(truncated) && truncated > -2147483648.0 && truncated < 2147483648.0) {
    days = static_cast<int32_t>(truncated);
  }
  uint32_t u = static_cast<uint32_t>(days);
  return {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8), static_cast<uint8_t>(u >> 16),
          static_cast<uint8_t>(u >> 24)};
}

}  // namespace

void ApplyHeaderMask(std::span<uint8_t> page0) {
  const auto& stream = HeaderKeystream();
  for (size_t i = 0; i < kMaskLength; ++i) page0[kMaskStart + i] ^= stream[i];
}

FileFormat DetectFormat(ByteView page0) {
  if (page0.size() < 0x20) return FileFormat::kUnknown;
  static const char kJetMagic[] = "Standard Jet DB";
  static const char kAceMagic[] = "Standard ACE DB";
  if (page0.U8(0) != 0 || page0.U8(1) != 1 || page0.U8(2) != 0 || page0.U8(3) != 0) {
    return FileFormat::kUnknown;
  }
  bool jet = std::memcmp(page0.data() + kMagic, kJetMagic, kMagicLength) == 0;
  bool ace = std::memcmp(page0.data() + kMagic, kAceMagic, kMagicLength) == 0;
  if (!jet && !ace) return FileFormat::kUnknown;
  uint8_t version = page0.U8(kVersion);
  if (ace || version >= 2) return FileFormat::kAce;
  return version == 0 ? FileFormat::kJet3 : FileFormat::kJet4;
}

DatabaseHeader DecodeDatabaseHeader(ByteView page0) {
  page0.Check(0, kPageSize);
  std::vector<uint8_t> clear(page0.data(), page0.data() + kPageSize);
  ApplyHeaderMask(clear);
  ByteView v(clear.data(), clear.size());

  DatabaseHeader h;
  h.format = DetectFormat(page0);
  h.code_page = v.U16(kCodePage);
  h.database_key = v.U32(kDatabaseKey);
  h.sort_order = {v.U16(kSortOrder), v.U8(kSortOrder + 2), v.U8(kSortOrder + 3)};
  h.creation_date = v.F64(kCreationDate);

  auto mask = PasswordDateMask(h.creation_date);
  for (size_t i = 0; i + 1 < kPasswordBytes; i += 2) {
    char16_t c = static_cast<char16_t>((v.U8(kPassword + i) ^ mask[i % 4]) |
                                       ((v.U8(kPassword + i + 1) ^ mask[(i + 1) % 4]) << 8));
    if (c == 0) break;
    h.password.push_back(c);
  }
  return h;
}

void EncodeDatabaseHeader(const DatabaseHeader& header, std::span<uint8_t> page0) {
  ApplyHeaderMask(page0);
  uint8_t* p = page0.data();
  PutU16(p + kCodePage, header.code_page);
  PutU32(p + kDatabaseKey, header.database_key);
  PutU16(p + kSortOrder, header.sort_order.lcid);
  p[kSortOrder + 2] = header.sort_order.sort_id;
  p[kSortOrder + 3] = header.sort_order.version;
  PutF64(p + kCreationDate, header.creation_date);
  auto mask = PasswordDateMask(header.creation_date);
  for (size_t i = 0; i < kPasswordBytes; i += 2) {
    char16_t c = i / 2 < header.password.size() ? header.password[i / 2] : u'\0';
    p[kPassword + i] = static_cast<uint8_t>(c) ^ mask[i % 4];
    p[kPassword + i + 1] = static_cast<uint8_t>(c >> 8) ^ mask[(i + 1) % 4];
  }
  ApplyHeaderMask(page0);
}

}  // namespace jet

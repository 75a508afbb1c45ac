// Page 0: the database header. Bytes 0x18..0x97 are masked with a fixed RC4 keystream; inside
// that region sit the page-encoding key, the database password (masked a second time with the
// creation date), the default sort order and the creation date. doc/jet4-format.md §3.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "jet/format/bytes.h"

namespace jet {

enum class FileFormat { kJet3, kJet4, kAce, kUnknown };

// The sort order field as stored (in the header and in every column descriptor):
// LANGID, sort id, version. General (the Jet 4 default) is 1033 / 0 / 0 (§3.4).
struct SortOrder {
  uint16_t lcid = 1033;
  uint8_t sort_id = 0;
  uint8_t version = 0;
  bool operator==(const SortOrder&) const = default;
  bool IsGeneral() const { return lcid == 1033 && version == 0; }
};
inline constexpr SortOrder kGeneralSortOrder{1033, 0, 0};

struct DatabaseHeader {
  FileFormat format = FileFormat::kUnknown;
  uint16_t code_page = 1252;
  uint32_t database_key = 0;  // 0 = pages are not encoded
  std::u16string password;    // empty = no password
  SortOrder sort_order;
  double creation_date = 0;   // OLE Automation date
};

// Detects the format from the cleartext part of page 0 (magic text and version byte).
FileFormat DetectFormat(ByteView page0);

// Decodes a Jet 4 header. REQUIRES: page0 is a whole page and DetectFormat() == kJet4.
DatabaseHeader DecodeDatabaseHeader(ByteView page0);

// Writes the masked fields of `header` into an existing page 0 (the other bytes are kept).
void EncodeDatabaseHeader(const DatabaseHeader& header, std::span<uint8_t> page0);

// XORs the fixed header keystream into bytes 0x18..0x97 of page 0 (its own inverse).
void ApplyHeaderMask(std::span<uint8_t> page0);

}  // namespace jet

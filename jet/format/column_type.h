#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace jet {

// Column type codes as stored in a column descriptor (doc/jet4-format.md §8).
enum class ColumnType : uint8_t {
  kBoolean = 0x01,
  kByte = 0x02,
  kInteger = 0x03,   // 16-bit
  kLong = 0x04,      // 32-bit
  kCurrency = 0x05,  // 64-bit, scaled by 10^4
  kSingle = 0x06,
  kDouble = 0x07,
  kDateTime = 0x08,
  kBinary = 0x09,
  kText = 0x0A,
  kOle = 0x0B,
  kMemo = 0x0C,
  kGuid = 0x0F,
  kNumeric = 0x10,
  kAccessObjectData = 0x11,  // fixed 3992-byte blob used only by Access's own objects table
};

// The longest a Text column may be, in characters (it stores 2 bytes each), and a Binary
// column, in bytes (§2).
inline constexpr uint16_t kMaxTextLength = 255;
inline constexpr uint16_t kMaxBinaryLength = 510;

bool IsKnownColumnType(uint8_t code);
bool IsLongValueType(ColumnType type);
bool IsTextType(ColumnType type);  // Text and Memo
// Bytes a value of a fixed-size type takes (Byte 1 ... Numeric 17); 0 for Boolean, which
// lives in the null mask, and for types whose size is the column's own length.
size_t FixedTypeSize(ColumnType type);
// The type's name as Access shows it ("Long Integer", "Text", "Memo", ...).
std::string ColumnTypeName(ColumnType type);

}  // namespace jet

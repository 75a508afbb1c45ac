#pragma once

#include <cstdint>
#include <functional>

namespace jet {

// Where a row lives: a data page and a slot on it. Stored as a little-endian 32-bit value
// (page << 8) | row in table definitions and long-value headers, and as 3 big-endian page
// bytes plus 1 row byte at the end of index entries (doc/jet4-format.md §1).
struct RowPointer {
  // A row pointer holds its page in 24 bits, so a file has at most this many pages.
  static constexpr uint32_t kMaxPageCount = 0xFFFFFF;

  uint32_t page = 0;
  uint8_t row = 0;

  static RowPointer FromStored(uint32_t v) { return {v >> 8, static_cast<uint8_t>(v & 0xFF)}; }
  uint32_t ToStored() const { return (page << 8) | row; }
  bool IsNull() const { return page == 0 && row == 0; }
  bool operator==(const RowPointer&) const = default;
  auto operator<=>(const RowPointer&) const = default;
};

}  // namespace jet

template <>
struct std::hash<jet::RowPointer> {
  size_t operator()(const jet::RowPointer& p) const { return std::hash<uint32_t>()(p.ToStored()); }
};

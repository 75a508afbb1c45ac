#pragma once

#include <cstdint>

namespace jet {

// Jet 4 pages are always 4 KiB; page n lives at byte n * kPageSize (doc/jet4-format.md §1).
inline constexpr uint32_t kPageSize = 4096;

// Page type codes (byte 0 of every page; §1.1).
enum PageType : uint8_t {
  kPageHeader = 0x00,
  kPageData = 0x01,
  kPageTableDefinition = 0x02,
  kPageIndexNode = 0x03,
  kPageIndexLeaf = 0x04,
  kPageUsageBitmap = 0x05,
};

}  // namespace jet

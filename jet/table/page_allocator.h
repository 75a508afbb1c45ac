// Page allocation through the file's free-page map (page 1, row 0, where a set bit means
// "free"). New pages are appended at the end of the file, as Jackcess does: reusing freed
// pages would save space but only Compact & Repair can tell which are safely unreferenced.
// doc/jet4-format.md §4.4.
#pragma once

#include <cstdint>

#include "jet/file/pager.h"

namespace jet {

class PageAllocator {
 public:
  explicit PageAllocator(Pager& pager) : pager_(pager) {}

  // REQUIRES: a transaction is open. Appends a zero page and marks it used.
  uint32_t Allocate();
  // Marks a page free and clears its type byte so no reader mistakes it for live data.
  void Free(uint32_t page);

 private:
  void SetFreeBit(uint32_t page, bool free);
  // Widens the inline free-page map so it covers `page`, rewriting page 1. False when the
  // map cannot grow (page 1 is full or holds rows we do not know).
  bool GrowInlineMap(uint32_t page);

  Pager& pager_;
};

}  // namespace jet

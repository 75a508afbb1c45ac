// Storing memo and OLE values: inline in the row when short, otherwise on long-value ("LVAL")
// pages owned by the column's usage map, in one row or a chain of rows.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "jet/file/pager.h"
#include "jet/format/bytes.h"
#include "jet/format/long_value.h"
#include "jet/format/table_definition.h"
#include "jet/table/page_allocator.h"

namespace jet {

class LongValueStore {
 public:
  LongValueStore(Pager& pager, PageAllocator& allocator) : pager_(pager), allocator_(allocator) {}

  // Values up to this many bytes are kept inline in the row.
  static constexpr size_t kInlineLimit = 64;
  // The most one LVAL row holds.
  static constexpr size_t kSingleRowLimit = kLongValueRowSize;

  // Stores `data` for the column whose maps are `maps`; returns the bytes that go in the
  // row (the 12-byte header, followed by the data when inline).
  std::vector<uint8_t> Store(const LongValueMaps& maps, ByteView data);

 private:
  // Places one LVAL row, on the column's current page or a new one; returns where.
  RowPointer PlaceRow(const LongValueMaps& maps, ByteView row);

  Pager& pager_;
  PageAllocator& allocator_;
  std::map<uint16_t, uint32_t> current_page_;  // per column id
};

}  // namespace jet

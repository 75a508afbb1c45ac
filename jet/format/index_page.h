// Index B-tree pages: 0x03 node (intermediate) and 0x04 leaf pages. Entries are concatenated
// from offset 0x1E0; a bitmap marks where each ends; entries after the first may omit a prefix
// shared with the first. Leaf entries are key + row pointer; node entries add a child page.
// doc/jet4-format.md §9.1-§9.3.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "jet/format/bytes.h"
#include "jet/format/index_key_bytes.h"
#include "jet/format/page_size.h"
#include "jet/format/row_pointer.h"

namespace jet {

namespace index_page {
inline constexpr size_t kFreeSpace = 0x02;
inline constexpr size_t kOwner = 0x04;
inline constexpr size_t kPrevious = 0x0C;
inline constexpr size_t kNext = 0x10;
inline constexpr size_t kTail = 0x14;
inline constexpr size_t kPrefixLength = 0x18;
inline constexpr size_t kLevel = 0x1A;
inline constexpr size_t kEntryBitmap = 0x1B;
inline constexpr size_t kEntryBitmapBytes = 453;
inline constexpr size_t kEntries = 0x1E0;
inline constexpr size_t kMaxEntryBytes = kPageSize - kEntries;  // 3616
// 4 KiB pages with keys of at most a few hundred bytes make a real tree a handful of levels
// deep; a walk that goes deeper is following damage (a loop of child pointers).
inline constexpr int kMaxTreeDepth = 32;
}  // namespace index_page

struct IndexEntry {
  IndexKey key;  // the index key, without row pointer or child page
  RowPointer row;
  uint32_t child = 0;  // node entries only
};

// Index order: unsigned byte comparison of the keys, then the row pointer. Keys of one
// index never extend one another (each column's part has a fixed length or ends in its own
// terminator), so this is the order of the whole entries' bytes.
inline bool IndexEntryLess(const IndexEntry& a, const IndexEntry& b) {
  if (a.key != b.key) return a.key < b.key;  // unsigned bytes
  return a.row < b.row;
}

struct IndexPage {
  bool leaf = true;
  uint32_t owner = 0;
  uint32_t previous = 0;
  uint32_t next = 0;
  uint32_t tail = 0;
  uint16_t free_space = 0;
  std::vector<IndexEntry> entries;
};

// Throws kCorrupt on a page that is not an index page or whose entries do not fit.
IndexPage DecodeIndexPage(ByteView page);

// Bytes the entries take on a page once the shared prefix is removed, or nullopt if more
// than a page holds. `entries` are full entry bytes (EncodeIndexEntry), in order.
std::optional<size_t> PackedIndexSize(const std::vector<std::vector<uint8_t>>& entries);

// Writes a whole index page: header, entry bitmap and entries with the prefix shared by the
// first and last entry removed from all but the first. `level` is 0 for leaves and the
// height above the leaves for nodes. Throws kConstraint if the entries do not fit.
void BuildIndexPage(std::span<uint8_t> page, bool leaf, uint8_t level, uint32_t owner,
                    uint32_t previous, uint32_t next, uint32_t tail,
                    const std::vector<std::vector<uint8_t>>& entries);

// The bytes an entry occupies before prefix compression: key + 3-byte BE page + row
// (+ 4-byte BE child page on node pages).
std::vector<uint8_t> EncodeIndexEntry(const IndexEntry& entry, bool leaf);
// The same into `out` (replacing what it held), reusing its storage.
void EncodeIndexEntry(const IndexEntry& entry, bool leaf, std::vector<uint8_t>& out);

}  // namespace jet

#include "jet/format/index_page.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "jet/error.h"
#include "jet/format/page_size.h"

namespace jet {

IndexPage DecodeIndexPage(ByteView page) {
  using namespace index_page;
  page.Check(0, kPageSize);
  uint8_t type = page.U8(0);
  if (type != kPageIndexNode && type != kPageIndexLeaf) {
    ThrowCorrupt(Problem::kDamagedNotIndexPage);
  }
  IndexPage p;
  p.leaf = type == kPageIndexLeaf;
  p.free_space = page.U16(kFreeSpace);
  p.owner = page.U32(kOwner);
  p.previous = page.U32(kPrevious);
  p.next = page.U32(kNext);
  p.tail = page.U32(kTail);
  size_t prefix_length = page.U16(kPrefixLength);
  const size_t pointer_bytes = p.leaf ? 4 : 8;

  std::vector<uint8_t> first;
  size_t start = kEntries;
  page.Check(kEntryBitmap, kEntryBitmapBytes);
  const uint8_t* bitmap = page.data() + kEntryBitmap;
  for (size_t byte = 0; byte < kEntryBitmapBytes; ++byte) {
    if (bitmap[byte] == 0) continue;  // most of the bitmap is empty
    for (size_t b = 0; b < 8; ++b) {
      if (!((bitmap[byte] >> b) & 1)) continue;
      size_t end = kEntries + byte * 8 + b;
      if (end <= start || end > kPageSize) ThrowCorrupt(Problem::kDamagedIndexEntry);
      ByteView stored = page.Sub(start, end - start);
      std::vector<uint8_t> bytes;
      if (p.entries.empty()) {
        bytes.assign(stored.data(), stored.data() + stored.size());
        first = bytes;
        if (prefix_length > first.size()) {
          ThrowCorrupt(Problem::kDamagedIndexEntry);
        }
      } else {
        bytes.reserve(prefix_length + stored.size());
        bytes.assign(first.begin(), first.begin() + static_cast<std::ptrdiff_t>(prefix_length));
        bytes.insert(bytes.end(), stored.data(), stored.data() + stored.size());
      }
      if (bytes.size() < pointer_bytes) ThrowCorrupt(Problem::kDamagedIndexEntry);
      IndexEntry e;
      size_t key_length = bytes.size() - pointer_bytes;
      ByteView v(bytes.data(), bytes.size());
      e.row.page = v.U24BE(key_length);
      e.row.row = v.U8(key_length + 3);
      if (!p.leaf) e.child = v.U32BE(key_length + 4);
      e.key.Assign(bytes.data(), key_length);
      p.entries.push_back(std::move(e));
      start = end;
    }
  }
  return p;
}

std::vector<uint8_t> EncodeIndexEntry(const IndexEntry& e, bool leaf) {
  std::vector<uint8_t> out;
  EncodeIndexEntry(e, leaf, out);
  return out;
}

void EncodeIndexEntry(const IndexEntry& e, bool leaf, std::vector<uint8_t>& out) {
  const size_t k = e.key.size();
  out.resize(k + (leaf ? 4 : 8));
  std::copy(e.key.begin(), e.key.end(), out.begin());
  PutU24BE(out.data() + k, e.row.page);
  out[k + 3] = e.row.row;
  if (!leaf) PutU32BE(out.data() + k + 4, e.child);
}

}  // namespace jet

namespace jet {
namespace {

size_t CommonPrefix(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  size_t n = std::min(a.size(), b.size());
  size_t i = 0;
  while (i < n && a[i] == b[i]) ++i;
  // Never let a later entry vanish entirely into the prefix.
  return std::min(i, n == 0 ? 0 : n - 1);
}

}  // namespace

std::optional<size_t> PackedIndexSize(const std::vector<std::vector<uint8_t>>& entries) {
  if (entries.empty()) return 0;
  size_t prefix = entries.size() > 1 ? CommonPrefix(entries.front(), entries.back()) : 0;
  size_t total = entries.front().size();
  for (size_t i = 1; i < entries.size(); ++i) total += entries[i].size() - prefix;
  if (total > index_page::kMaxEntryBytes) return std::nullopt;
  return total;
}

void BuildIndexPage(std::span<uint8_t> page, bool leaf, uint8_t level, uint32_t owner,
                    uint32_t previous, uint32_t next, uint32_t tail,
                    const std::vector<std::vector<uint8_t>>& entries) {
  using namespace index_page;
  if (!PackedIndexSize(entries)) {
    throw JetError(Problem::kIndexEntryTooLarge);
  }
  std::memset(page.data(), 0, page.size());
  page[0] = leaf ? kPageIndexLeaf : kPageIndexNode;
  page[1] = 0x01;
  PutU32(page.data() + kOwner, owner);
  PutU32(page.data() + kPrevious, previous);
  PutU32(page.data() + kNext, next);
  PutU32(page.data() + kTail, tail);
  size_t prefix = entries.size() > 1 ? CommonPrefix(entries.front(), entries.back()) : 0;
  PutU16(page.data() + kPrefixLength, static_cast<uint16_t>(prefix));
  page[kLevel] = level;
  size_t at = kEntries;
  for (size_t i = 0; i < entries.size(); ++i) {
    size_t skip = i == 0 ? 0 : prefix;
    std::copy(entries[i].begin() + static_cast<std::ptrdiff_t>(skip), entries[i].end(),
              page.begin() + static_cast<std::ptrdiff_t>(at));
    at += entries[i].size() - skip;
    size_t bit = at - kEntries;
    page[kEntryBitmap + bit / 8] |= static_cast<uint8_t>(1 << (bit % 8));
  }
  PutU16(page.data() + kFreeSpace, static_cast<uint16_t>(kPageSize - at));
}

}  // namespace jet

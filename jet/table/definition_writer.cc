#include "jet/table/definition_writer.h"

#include <algorithm>
#include <vector>

#include "jet/format/bytes.h"
#include "jet/format/page_size.h"

namespace jet {

void WriteDefinition(Pager& pager, PageAllocator& allocator, uint32_t first_page,
                     const TableDefinition& def) {
  std::vector<uint8_t> logical = EncodeTableDefinition(def);

  // The pages the definition occupies now (the chain was validated when it was read).
  std::vector<uint32_t> chain;
  for (uint32_t p = first_page; p != 0 && chain.size() < 64;) {
    chain.push_back(p);
    PinnedView page = pager.Page(p);
    p = page.U8(0) == kPageTableDefinition ? page.U32(tdef::kNextPage) : 0;
  }

  // Split: the first page takes the first 4096 bytes; each continuation page has an 8-byte
  // header of its own and takes the next 4088.
  std::vector<std::pair<size_t, size_t>> pieces;  // (offset in logical, length)
  size_t first = std::min<size_t>(logical.size(), kPageSize);
  pieces.push_back({0, first});
  for (size_t at = first; at < logical.size();) {
    size_t n = std::min<size_t>(logical.size() - at, kPageSize - tdef::kContinuationData);
    pieces.push_back({at, n});
    at += n;
  }
  while (chain.size() < pieces.size()) chain.push_back(allocator.Allocate());
  for (size_t i = pieces.size(); i < chain.size(); ++i) allocator.Free(chain[i]);

  for (size_t i = 0; i < pieces.size(); ++i) {
    std::span<uint8_t> page = pager.Modify(chain[i]);
    std::fill(page.begin(), page.end(), 0);
    size_t header = i == 0 ? 0 : tdef::kContinuationData;
    std::copy_n(logical.begin() + static_cast<std::ptrdiff_t>(pieces[i].first), pieces[i].second,
                page.begin() + static_cast<std::ptrdiff_t>(header));
    page[0] = kPageTableDefinition;
    page[1] = 0x01;
    size_t used = header + pieces[i].second;
    size_t free =
        used + tdef::kPageReserve >= kPageSize ? 0 : kPageSize - used - tdef::kPageReserve;
    PutU16(page.data() + tdef::kFreeSpace, static_cast<uint16_t>(free));
    PutU32(page.data() + tdef::kNextPage, i + 1 < pieces.size() ? chain[i + 1] : 0);
  }
}

}  // namespace jet

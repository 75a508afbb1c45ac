// Keeping an index B-tree current. Changes of one statement are gathered and applied
// together, in the cheapest way that keeps the tree exact:
//  - a few changes walk down to their leaf one by one: the leaf is rewritten in place, or
//    split in two with a new entry in its parent, touching a handful of pages whatever the
//    table's size;
//  - many changes (bulk statements), or one the walk cannot place without restructuring
//    more than a leaf and its parent, rebuild the tree from its full, ordered entry list,
//    reusing its pages (root first, so the definition's root page stays valid) and growing
//    new leaves, node levels and a new root as needed.
// Entries are ordered by unsigned comparison of their bytes, so keys Access wrote are moved
// as they are, never re-encoded.
#pragma once

#include <cstdint>
#include <optional>
#include <unordered_set>
#include <vector>

#include "jet/file/pager.h"
#include "jet/format/index_page.h"
#include "jet/format/table_definition.h"
#include "jet/table/page_allocator.h"

namespace jet {

struct IndexChanges {
  std::vector<IndexEntry> added;           // leaf entries (key + row pointer)
  std::unordered_set<RowPointer> removed;  // rows whose entries go
  // The removed entries with their keys, when every one could be computed from its row
  // (keys Access wrote under sort orders the engine cannot encode cannot be).
  std::vector<IndexEntry> removed_entries;
  bool removed_keys_known = true;
  bool empty() const { return added.empty() && removed.empty(); }
};

// REQUIRES: a transaction is open; uniqueness has been checked by the caller.
void ApplyIndexChanges(Pager& pager, PageAllocator& allocator, uint32_t owner,
                       const RealIndex& index, IndexChanges changes);

// Entries whose key equals `key` (for unique checks), reading the tree.
bool IndexContainsKey(Pager& pager, uint32_t owner, const RealIndex& index, const IndexKey& key,
                      const std::unordered_set<RowPointer>& ignoring);

// The key of the index's last entry (nullopt when the index is empty), found by following
// the right edge of the tree.
std::optional<IndexKey> LastIndexKey(Pager& pager, uint32_t owner, const RealIndex& index);

// Writes an empty leaf as the root of a new index.
void WriteEmptyIndexRoot(Pager& pager, uint32_t page, uint32_t owner);

}  // namespace jet

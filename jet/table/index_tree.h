// Reading an index B-tree: every leaf entry in tree order, plus the pages visited, so the
// checker (and later the writer's tests) can compare an index with its table.
#pragma once

#include <cstdint>
#include <vector>

#include "jet/file/pager.h"
#include "jet/format/index_page.h"
#include "jet/format/table_definition.h"
#include "jet/table/finding.h"

namespace jet {

struct IndexTree {
  std::vector<IndexEntry> entries;  // leaf entries, leftmost leaf first
  std::vector<uint32_t> pages;      // every page of the tree, root first
  std::vector<uint32_t> leaves;     // leaf pages in tree order
  std::vector<size_t> leaf_starts;  // index into `entries` of each leaf's first entry
  int height = 0;                   // 1 when the root is a leaf
  // Faults found on the way, each naming its page: a leaf linked to the wrong neighbour
  // (kDamagedIndexStructure), a page of another table's index (kDamagedIndexForeignPage).
  std::vector<Finding> problems;
};

// Index page `page`, decoded; damage (a page that is not an index page, a bad entry) names
// the page.
IndexPage ReadIndexPage(Pager& pager, uint32_t page);

// Walks the tree rooted at `root`. Throws kCorrupt on a page that is not an index page, a
// cycle, or a tree deeper than any real one.
IndexTree ReadIndexTree(Pager& pager, uint32_t root, uint32_t owner_definition_page);

}  // namespace jet

#include "jet/table/index_writer.h"

#include <algorithm>
#include <string>

#include "jet/format/bytes.h"
#include "jet/format/page_size.h"
#include "jet/table/index_tree.h"
#include "jet/table/usage_map_editor.h"

namespace jet {
namespace {

using EntryBytes = std::vector<uint8_t>;

// Groups leaf entries into pages, each as full as prefix compression allows, and returns the
// index of each page's first entry. The size of a page is kept as it grows: the shared
// prefix is that of its first and newest entry, so adding an entry costs one prefix
// comparison, not a re-measure of the page. Entries are encoded one at a time into reused
// buffers: a bulk copy's index holds hundreds of thousands, and a second copy of them all
// would be most of the statement's memory.
std::vector<size_t> PackLeaves(const std::vector<IndexEntry>& entries) {
  std::vector<size_t> starts{0};
  size_t total = 0;  // sum of entry lengths on the current page
  size_t count = 0;  // entries on the current page
  EntryBytes first, bytes;
  for (size_t i = 0; i < entries.size(); ++i) {
    EncodeIndexEntry(entries[i], true, bytes);
    if (count > 0) {
      size_t n = std::min(first.size(), bytes.size());
      size_t prefix = 0;
      while (prefix < n && first[prefix] == bytes[prefix]) ++prefix;
      prefix = std::min(prefix, n - 1);
      size_t packed = total + bytes.size() - prefix * count;
      if (packed > index_page::kMaxEntryBytes) {
        starts.push_back(i);
        total = 0;
        count = 0;
      }
    }
    if (bytes.size() > index_page::kMaxEntryBytes) throw JetError(Problem::kIndexEntryTooLarge);
    if (count == 0) first = bytes;
    total += bytes.size();
    ++count;
  }
  return starts;
}

// One level of the tree under construction: its pages' contents and, once pages are
// assigned, their numbers.
struct Level {
  bool leaf = true;
  std::vector<size_t> starts;                 // leaf pages: the first entry of each
  std::vector<IndexEntry> last;               // each page's largest leaf entry (for the parent)
  std::vector<std::vector<size_t>> children;  // node pages: child indexes in the level below
  size_t page_count() const { return last.size(); }
};

// Groups the pages of `below` under node pages: each node stores one entry per child but
// its last, whose page goes in the tail field. Sizes are counted without prefix compression,
// which only ever makes a page smaller, so the grouping holds whatever the page numbers.
Level GroupNodes(const Level& below) {
  Level level;
  level.leaf = false;
  size_t i = 0;
  const size_t n = below.last.size();
  while (i < n) {
    std::vector<size_t> group{i};
    size_t bytes = 0;
    ++i;
    while (i < n) {
      // Adding child i turns the previous last child into an explicit entry.
      size_t entry = below.last[group.back()].key.size() + 8;
      if (bytes + entry > index_page::kMaxEntryBytes) break;
      bytes += entry;
      group.push_back(i++);
    }
    level.children.push_back(group);
    level.last.push_back(below.last[group.back()]);
  }
  return level;
}

class TreeBuilder {
 public:
  TreeBuilder(Pager& pager, PageAllocator& allocator, uint32_t owner, const RealIndex& index,
              std::vector<uint32_t> reusable)
      : pager_(pager),
        allocator_(allocator),
        owner_(owner),
        index_(index),
        reusable_(std::move(reusable)) {}

  void Build(const std::vector<IndexEntry>& entries) {
    std::vector<Level> levels;
    Level leaves;
    leaves.starts = PackLeaves(entries);
    for (size_t p = 0; p < leaves.starts.size(); ++p) {
      size_t end = p + 1 < leaves.starts.size() ? leaves.starts[p + 1] : entries.size();
      leaves.last.push_back(end ? entries[end - 1] : IndexEntry{});
    }
    levels.push_back(std::move(leaves));
    while (levels.back().page_count() > 1) levels.push_back(GroupNodes(levels.back()));

    // Page numbers: the root keeps the index's root page; the rest reuse the old tree's pages
    // before new ones are allocated.
    std::vector<std::vector<uint32_t>> numbers(levels.size());
    for (size_t l = 0; l < levels.size(); ++l) {
      for (size_t p = 0; p < levels[l].page_count(); ++p) {
        bool root = l + 1 == levels.size();
        numbers[l].push_back(root ? index_.root_page : NextPage());
      }
    }
    for (uint32_t unused : reusable_) {
      RemovePageFromUsageMap(pager_, index_.usage_map, unused);
      allocator_.Free(unused);
    }

    // One page's entry bytes at a time, in buffers every page reuses.
    std::vector<EntryBytes> bytes;
    for (size_t l = 0; l < levels.size(); ++l) {
      Level& level = levels[l];
      for (size_t p = 0; p < level.page_count(); ++p) {
        uint32_t tail = 0;
        if (level.leaf) {
          size_t begin = level.starts[p];
          size_t end = p + 1 < level.starts.size() ? level.starts[p + 1] : entries.size();
          bytes.resize(end - begin);
          for (size_t k = begin; k < end; ++k) EncodeIndexEntry(entries[k], true, bytes[k - begin]);
        } else {
          const auto& group = level.children[p];
          bytes.clear();
          for (size_t k = 0; k + 1 < group.size(); ++k) {
            IndexEntry e = levels[l - 1].last[group[k]];
            e.child = numbers[l - 1][group[k]];
            bytes.push_back(EncodeIndexEntry(e, false));
          }
          tail = numbers[l - 1][group.back()];
          if (group.size() == 1) {
            // A node with one child stores it as an entry, not as a tail.
            IndexEntry e = levels[l - 1].last[group[0]];
            e.child = tail;
            bytes.push_back(EncodeIndexEntry(e, false));
            tail = 0;
          }
        }
        uint32_t previous = p > 0 ? numbers[l][p - 1] : 0;
        uint32_t next = p + 1 < level.page_count() ? numbers[l][p + 1] : 0;
        BuildIndexPage(pager_.Modify(numbers[l][p]), level.leaf, static_cast<uint8_t>(l), owner_,
                       previous, next, tail, bytes);
      }
    }
  }

 private:
  uint32_t NextPage() {
    if (!reusable_.empty()) {
      uint32_t p = reusable_.front();
      reusable_.erase(reusable_.begin());
      return p;
    }
    uint32_t p = allocator_.Allocate();
    AddPageToUsageMap(pager_, allocator_, index_.usage_map, p);
    return p;
  }

  Pager& pager_;
  PageAllocator& allocator_;
  uint32_t owner_;
  const RealIndex& index_;
  std::vector<uint32_t> reusable_;
};

// The fast path: every change lands in a leaf that still fits its page afterwards and
// keeps its largest entry (so no node above needs to change). Returns false to rebuild.
// True when every node on the tree's right edge reaches its last child through the tail
// pointer, so a new largest entry needs no node entry changed. (A node with a single
// child keeps it as an entry instead.)
bool RightEdgeUsesTails(Pager& pager, uint32_t root) {
  uint32_t page_number = root;
  for (int depth = 0; depth <= index_page::kMaxTreeDepth; ++depth) {
    IndexPage page = ReadIndexPage(pager, page_number);
    if (page.leaf) return true;
    if (page.tail == 0) return false;
    page_number = page.tail;
  }
  return false;
}

bool TryRewriteLeaves(Pager& pager, uint32_t owner, uint32_t root, const IndexTree& tree,
                      const IndexChanges& changes) {
  if (tree.height < 2) return false;  // a single page: rebuilding it is the same work
  const size_t leaves = tree.leaves.size();
  auto leaf_end = [&](size_t i) {
    return i + 1 < leaves ? tree.leaf_starts[i + 1] : tree.entries.size();
  };
  std::vector<std::vector<IndexEntry>> contents(leaves);
  std::vector<bool> touched(leaves, false);
  for (size_t i = 0; i < leaves; ++i) {
    for (size_t k = tree.leaf_starts[i]; k < leaf_end(i); ++k) {
      const IndexEntry& e = tree.entries[k];
      if (changes.removed.count(e.row)) {
        touched[i] = true;
        if (k + 1 == leaf_end(i) && i + 1 < leaves) return false;  // the leaf's maximum goes
      } else {
        contents[i].push_back(e);
      }
    }
  }
  bool right_edge_checked = false;
  for (const IndexEntry& e : changes.added) {
    // The first leaf whose largest entry is not below the new one; past all: the last leaf,
    // reached through tail pointers, so no node entry changes.
    size_t i = 0;
    while (i + 1 < leaves && IndexEntryLess(tree.entries[leaf_end(i) - 1], e)) ++i;
    if (i + 1 == leaves && !tree.entries.empty() && IndexEntryLess(tree.entries.back(), e) &&
        !right_edge_checked) {
      right_edge_checked = true;
      if (!RightEdgeUsesTails(pager, root)) return false;
    }
    contents[i].push_back(e);
    touched[i] = true;
  }
  std::vector<std::vector<EntryBytes>> encoded(leaves);
  for (size_t i = 0; i < leaves; ++i) {
    if (!touched[i]) continue;
    if (contents[i].empty()) return false;
    std::sort(contents[i].begin(), contents[i].end(), IndexEntryLess);
    for (const auto& e : contents[i]) encoded[i].push_back(EncodeIndexEntry(e, true));
    if (!PackedIndexSize(encoded[i])) return false;
  }
  for (size_t i = 0; i < leaves; ++i) {
    if (!touched[i]) continue;
    PinnedView old = pager.Page(tree.leaves[i]);
    uint32_t previous = old.U32(index_page::kPrevious), next = old.U32(index_page::kNext);
    BuildIndexPage(pager.Modify(tree.leaves[i]), true, 0, owner, previous, next, 0, encoded[i]);
  }
  return true;
}

// --- Changes applied along one root-to-leaf path ---

// More changes than this in one statement go through a rebuild: it touches each page once.
constexpr size_t kMaxPathChanges = 32;

struct PathStep {
  uint32_t page = 0;
  IndexPage contents;
  int child = -1;  // node steps: the entry followed, or -1 for the tail
};

// The path to the leaf where `e` belongs. Empty when the walk cannot decide (a node whose
// entries are all below `e` and which has no tail).
std::vector<PathStep> Descend(Pager& pager, uint32_t owner, uint32_t root, const IndexEntry& e) {
  std::vector<PathStep> path;
  uint32_t page_number = root;
  for (int depth = 0; depth <= index_page::kMaxTreeDepth; ++depth) {
    PathStep step;
    step.page = page_number;
    step.contents = ReadIndexPage(pager, page_number);
    if (step.contents.owner != owner)
      ThrowCorrupt(Problem::kDamagedIndexForeignPage, {.page = page_number});
    bool leaf = step.contents.leaf;
    if (!leaf) {
      const auto& entries = step.contents.entries;
      for (size_t i = 0; i < entries.size(); ++i) {
        if (!IndexEntryLess(entries[i], e)) {  // node entries order by key and row only
          step.child = static_cast<int>(i);
          break;
        }
      }
      page_number =
          step.child >= 0 ? entries[static_cast<size_t>(step.child)].child : step.contents.tail;
      if (page_number == 0) return {};
    }
    path.push_back(std::move(step));
    if (leaf) return path;
  }
  ThrowCorrupt(Problem::kDamagedIndexDepth);
}

std::vector<EntryBytes> EncodeAll(const std::vector<IndexEntry>& entries, bool leaf) {
  std::vector<EntryBytes> out;
  out.reserve(entries.size());
  for (const auto& e : entries) out.push_back(EncodeIndexEntry(e, leaf));
  return out;
}

void RewritePage(Pager& pager, const PathStep& step, uint32_t owner) {
  const IndexPage& p = step.contents;
  uint8_t level = pager.Page(step.page).U8(index_page::kLevel);
  BuildIndexPage(pager.Modify(step.page), p.leaf, p.leaf ? 0 : level, owner, p.previous, p.next,
                 p.tail, EncodeAll(p.entries, p.leaf));
}

bool UsesExplicitEntry(const std::vector<PathStep>& path) {
  for (size_t i = 0; i + 1 < path.size(); ++i) {
    if (path[i].child >= 0) return true;
  }
  return false;
}

// Removes one entry. False (nothing written) when the leaf would empty or lose the largest
// entry a node above names.
bool RemoveAlongPath(Pager& pager, uint32_t owner, uint32_t root, const IndexEntry& e) {
  std::vector<PathStep> path = Descend(pager, owner, root, e);
  if (path.empty()) return false;
  PathStep& leaf = path.back();
  auto& entries = leaf.contents.entries;
  auto it = std::find_if(entries.begin(), entries.end(),
                         [&](const IndexEntry& x) { return x.key == e.key && x.row == e.row; });
  if (it == entries.end()) return false;
  bool was_largest = it + 1 == entries.end();
  if (entries.size() == 1 && path.size() > 1) return false;
  if (was_largest && UsesExplicitEntry(path)) return false;
  entries.erase(it);
  RewritePage(pager, leaf, owner);
  return true;
}

// Adds one entry: into its leaf if it fits, else by splitting the leaf and giving the new
// left half an entry in the parent. False (nothing written) when that is not enough.
bool AddAlongPath(Pager& pager, PageAllocator& allocator, uint32_t owner, const RealIndex& index,
                  const IndexEntry& e) {
  std::vector<PathStep> path = Descend(pager, owner, index.root_page, e);
  if (path.empty()) return false;
  PathStep& leaf = path.back();
  auto& entries = leaf.contents.entries;
  entries.insert(std::upper_bound(entries.begin(), entries.end(), e, IndexEntryLess), e);
  if (PackedIndexSize(EncodeAll(entries, true))) {
    RewritePage(pager, leaf, owner);
    return true;
  }
  if (path.size() < 2) return false;  // the root itself is full: the rebuild adds a level

  // Split: the first half moves to a new page before this one; this page keeps the second
  // half, so the parent's entry (or tail) for it stays right.
  size_t half = entries.size() / 2;
  std::vector<IndexEntry> left(entries.begin(),
                               entries.begin() + static_cast<std::ptrdiff_t>(half));
  std::vector<IndexEntry> right(entries.begin() + static_cast<std::ptrdiff_t>(half), entries.end());
  if (!PackedIndexSize(EncodeAll(left, true)) || !PackedIndexSize(EncodeAll(right, true))) {
    return false;
  }
  PathStep& parent = path[path.size() - 2];
  IndexEntry separator = left.back();
  std::vector<IndexEntry> parent_entries = parent.contents.entries;
  size_t at = parent.child >= 0 ? static_cast<size_t>(parent.child) : parent_entries.size();
  parent_entries.insert(parent_entries.begin() + static_cast<std::ptrdiff_t>(at), separator);
  if (!PackedIndexSize(EncodeAll(parent_entries, false))) return false;

  uint32_t new_page = allocator.Allocate();
  AddPageToUsageMap(pager, allocator, index.usage_map, new_page);
  parent_entries[at].child = new_page;
  const uint32_t previous = leaf.contents.previous;
  BuildIndexPage(pager.Modify(new_page), true, 0, owner, previous, leaf.page, 0,
                 EncodeAll(left, true));
  if (previous != 0) PutU32(pager.Modify(previous).data() + index_page::kNext, new_page);
  leaf.contents.entries = std::move(right);
  leaf.contents.previous = new_page;
  RewritePage(pager, leaf, owner);
  parent.contents.entries = std::move(parent_entries);
  RewritePage(pager, parent, owner);
  return true;
}

}  // namespace

void WriteEmptyIndexRoot(Pager& pager, uint32_t page, uint32_t owner) {
  BuildIndexPage(pager.Modify(page), true, 0, owner, 0, 0, 0, {});
}

void ApplyIndexChanges(Pager& pager, PageAllocator& allocator, uint32_t owner,
                       const RealIndex& index, IndexChanges changes) {
  if (changes.empty()) return;
  // Few changes: walk each to its leaf. What the walk cannot place is left for a rebuild.
  if (changes.removed_keys_known &&
      changes.added.size() + changes.removed_entries.size() <= kMaxPathChanges) {
    std::vector<IndexEntry> left_over;
    for (const IndexEntry& e : changes.removed_entries) {
      if (RemoveAlongPath(pager, owner, index.root_page, e)) changes.removed.erase(e.row);
    }
    for (IndexEntry& e : changes.added) {
      if (!AddAlongPath(pager, allocator, owner, index, e)) left_over.push_back(std::move(e));
    }
    changes.added = std::move(left_over);
    if (changes.empty()) return;
  }
  IndexTree tree = ReadIndexTree(pager, index.root_page, owner);
  if (TryRewriteLeaves(pager, owner, index.root_page, tree, changes)) return;

  // A bulk copy into a new table adds its keys in order (autonumbers): no sort needed.
  if (!std::is_sorted(changes.added.begin(), changes.added.end(), IndexEntryLess)) {
    std::sort(changes.added.begin(), changes.added.end(), IndexEntryLess);
  }
  std::vector<IndexEntry> entries;
  if (tree.entries.empty()) {
    // Nothing to merge with (a table filled by one statement): the added entries are the
    // whole list, used where they are rather than copied beside themselves.
    entries = std::move(changes.added);
  } else {
    entries.reserve(tree.entries.size() + changes.added.size());
    for (auto& e : tree.entries) {
      if (!changes.removed.count(e.row)) entries.push_back(std::move(e));
    }
    size_t middle = entries.size();
    entries.insert(entries.end(), std::make_move_iterator(changes.added.begin()),
                   std::make_move_iterator(changes.added.end()));
    std::vector<IndexEntry>().swap(changes.added);
    std::inplace_merge(entries.begin(), entries.begin() + static_cast<std::ptrdiff_t>(middle),
                       entries.end(), IndexEntryLess);
  }

  std::vector<uint32_t> reusable;
  for (uint32_t p : tree.pages) {
    if (p != index.root_page) reusable.push_back(p);
  }
  std::sort(reusable.begin(), reusable.end());
  TreeBuilder(pager, allocator, owner, index, std::move(reusable)).Build(entries);
}

bool IndexContainsKey(Pager& pager, uint32_t owner, const RealIndex& index, const IndexKey& key,
                      const std::unordered_set<RowPointer>& ignoring) {
  // Descend to the first leaf whose largest entry's key is not below `key`.
  uint32_t page_number = index.root_page;
  for (int depth = 0;; ++depth) {
    if (depth > index_page::kMaxTreeDepth) ThrowCorrupt(Problem::kDamagedIndexDepth);
    IndexPage page = ReadIndexPage(pager, page_number);
    if (page.owner != owner) ThrowCorrupt(Problem::kDamagedIndexForeignPage, {.page = page_number});
    if (page.leaf) break;
    uint32_t child = page.tail;
    for (const auto& e : page.entries) {
      if (!(e.key < key)) {
        child = e.child;
        break;
      }
    }
    if (child == 0) return false;
    page_number = child;
  }
  // Equal keys may continue onto following leaves.
  for (int hops = 0; page_number != 0 && hops < 1 << 20; ++hops) {
    IndexPage page = ReadIndexPage(pager, page_number);
    for (const auto& e : page.entries) {
      if (e.key < key) continue;
      if (e.key != key) return false;
      if (!ignoring.count(e.row)) return true;
    }
    page_number = page.next;
  }
  return false;
}

}  // namespace jet

namespace jet {

std::optional<IndexKey> LastIndexKey(Pager& pager, uint32_t owner, const RealIndex& index) {
  uint32_t page_number = index.root_page;
  for (int depth = 0; depth <= index_page::kMaxTreeDepth; ++depth) {
    IndexPage page = ReadIndexPage(pager, page_number);
    if (page.owner != owner) ThrowCorrupt(Problem::kDamagedIndexForeignPage, {.page = page_number});
    if (page.leaf) {
      if (page.entries.empty()) return std::nullopt;
      return page.entries.back().key;
    }
    if (page.tail != 0) {
      page_number = page.tail;
    } else if (!page.entries.empty()) {
      page_number = page.entries.back().child;
    } else {
      return std::nullopt;
    }
  }
  ThrowCorrupt(Problem::kDamagedIndexDepth);
}

}  // namespace jet

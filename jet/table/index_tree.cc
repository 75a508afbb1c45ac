#include "jet/table/index_tree.h"

#include <algorithm>
#include <unordered_set>

namespace jet {
namespace {

class TreeWalker {
 public:
  TreeWalker(Pager& pager, uint32_t owner, IndexTree& out)
      : pager_(pager), owner_(owner), out_(out) {}

  void Visit(uint32_t page_number, int depth) {
    if (depth > index_page::kMaxTreeDepth) ThrowCorrupt(Problem::kDamagedIndexDepth);
    if (page_number == 0 || page_number >= pager_.page_count()) {
      ThrowCorrupt(Problem::kDamagedIndexPagePastEnd, {.page = page_number});
    }
    if (!seen_.insert(page_number).second) {
      ThrowCorrupt(Problem::kDamagedIndexLoop, {.page = page_number});
    }
    IndexPage page = ReadIndexPage(pager_, page_number);
    out_.pages.push_back(page_number);
    if (page.owner != owner_) Found(Problem::kDamagedIndexForeignPage, page_number);
    if (page.leaf) {
      uint32_t previous = out_.leaves.empty() ? 0 : out_.leaves.back();
      // Each leaf links back to the one before it and forward to the one after.
      if (page.previous != previous) Found(Problem::kDamagedIndexStructure, page_number);
      if (!out_.leaves.empty() && last_next_ != page_number) {
        Found(Problem::kDamagedIndexStructure, previous);
      }
      out_.leaves.push_back(page_number);
      out_.leaf_starts.push_back(out_.entries.size());
      out_.height = std::max(out_.height, depth + 1);
      last_next_ = page.next;
      for (auto& e : page.entries) out_.entries.push_back(std::move(e));
      return;
    }
    for (const auto& e : page.entries) Visit(e.child, depth + 1);
    if (page.tail != 0) Visit(page.tail, depth + 1);
  }

  void Finish() {
    if (!out_.leaves.empty() && last_next_ != 0) {
      Found(Problem::kDamagedIndexStructure, out_.leaves.back());
    }
  }

 private:
  void Found(Problem problem, uint32_t page) { out_.problems.push_back({problem, {.page = page}}); }

  Pager& pager_;
  uint32_t owner_;
  IndexTree& out_;
  std::unordered_set<uint32_t> seen_;
  uint32_t last_next_ = 0;
};

}  // namespace

IndexPage ReadIndexPage(Pager& pager, uint32_t page) {
  return WithFacts(ErrorFacts{.page = page},
                   [&] { return DecodeIndexPage(pager.Page(page).Unpinned()); });
}

IndexTree ReadIndexTree(Pager& pager, uint32_t root, uint32_t owner) {
  IndexTree tree;
  TreeWalker walker(pager, owner, tree);
  walker.Visit(root, 0);
  walker.Finish();
  return tree;
}

}  // namespace jet

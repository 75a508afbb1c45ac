// Index B-trees under growth and shrinkage: enough rows in random order to split leaves and
// build several node levels, then random deletes, more inserts, single-row statements (the
// writer's fast path that rewrites only the touched leaf), emptying the table and refilling
// it. After every statement each index must hold exactly the entries the rows give, in
// strictly increasing (key, row) order, with node pages that bound their children exactly,
// and the checker must find nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "jet/error.h"
#include "jet/format/index_key.h"
#include "jet/format/index_page.h"
#include "jet/table/database.h"
#include "jet/table/database_creator.h"
#include "jet/table/index_tree.h"
#include "jet/table/schema_change.h"
#include "jet/table/table.h"
#include "jet/table/table_writer.h"
#include "tests/table/write_test_helpers.h"
#include "tests/test_support.h"

namespace {

using jet::ColumnType;
using jet::Database;
using jet::IndexEntry;
using jet::NewColumn;
using jet::NewIndex;
using jet::Pager;
using jet::RowPointer;
using jet::Transaction;
using jet::Value;
using testing_support::ScratchDir;
using namespace write_test;

constexpr char kTable[] = "Keys";

bool EntryLess(const IndexEntry& a, const IndexEntry& b) {
  if (a.key != b.key) return a.key < b.key;
  return a.row < b.row;
}

std::string IndexName(const jet::TableDefinition& def, size_t real) {
  for (const auto& li : def.logical_indexes) {
    if (li.real_index == real) return li.name;
  }
  return "#" + std::to_string(real);
}

// Walks the tree with the page decoder alone and checks what the tree reader does not: every
// node entry is exactly the largest (key, row) below its child, a tail child holds only
// larger entries, leaves all sit at the same depth, and the level byte counts up from them.
// Returns the largest leaf entry under `page` (nullopt for an empty tree).
std::optional<IndexEntry> CheckSubtree(Pager& pager, uint32_t page_number, int depth,
                                       int& leaf_depth, std::vector<std::string>& problems) {
  jet::PinnedView raw = pager.Page(page_number);
  jet::IndexPage page = jet::DecodeIndexPage(raw);
  const std::string where = "page " + std::to_string(page_number);
  if (page.leaf) {
    if (leaf_depth < 0) leaf_depth = depth;
    if (depth != leaf_depth) problems.push_back(where + ": a leaf at another depth");
    if (raw.U8(jet::index_page::kLevel) != 0) problems.push_back(where + ": leaf with a level");
    if (page.tail != 0) problems.push_back(where + ": leaf with a tail pointer");
    if (page.entries.empty()) return std::nullopt;
    return page.entries.back();
  }
  if (page.entries.empty() && page.tail == 0) problems.push_back(where + ": empty node page");
  std::optional<IndexEntry> largest;
  for (const IndexEntry& e : page.entries) {
    auto below = CheckSubtree(pager, e.child, depth + 1, leaf_depth, problems);
    if (!below) {
      problems.push_back(where + ": entry leads to an empty subtree");
    } else if (below->key != e.key || below->row != e.row) {
      problems.push_back(where + ": entry is not the largest entry of child page " +
                         std::to_string(e.child));
    }
    if (largest && !EntryLess(*largest, e)) problems.push_back(where + ": entries out of order");
    largest = e;
  }
  if (page.tail != 0) {
    auto below = CheckSubtree(pager, page.tail, depth + 1, leaf_depth, problems);
    if (!below) {
      problems.push_back(where + ": tail leads to an empty subtree");
    } else {
      if (largest && !EntryLess(*largest, *below)) {
        problems.push_back(where + ": tail holds entries below the last entry");
      }
      largest = below;
    }
  }
  if (leaf_depth >= 0 && raw.U8(jet::index_page::kLevel) != leaf_depth - depth) {
    problems.push_back(where + ": level byte " + std::to_string(raw.U8(jet::index_page::kLevel)) +
                       " at height " + std::to_string(leaf_depth - depth));
  }
  return largest;
}

struct TreeShape {
  int height = 0;
  size_t leaves = 0;
  size_t entries = 0;
};

// Compares every index of the table with the keys recomputed from its rows.
std::map<std::string, TreeShape> VerifyIndexes(Database& db, const std::string& context) {
  SCOPED_TRACE(context);
  std::map<std::string, TreeShape> shapes;
  const uint32_t tdef = DefinitionPageOf(db, kTable);
  jet::Table table = db.OpenTable(kTable);
  const jet::TableDefinition& def = table.definition();
  std::vector<std::pair<RowPointer, std::vector<Value>>> rows;
  table.Scan([&](RowPointer where, const std::vector<Value>& values) {
    rows.emplace_back(where, values);
    return true;
  });
  EXPECT_EQ(rows.size(), def.row_count);
  for (size_t r = 0; r < def.real_indexes.size(); ++r) {
    const jet::RealIndex& index = def.real_indexes[r];
    const std::string name = IndexName(def, r);
    std::vector<IndexEntry> expected;
    for (const auto& [where, values] : rows) {
      bool all_null = true;
      for (const auto& ic : index.columns) {
        for (size_t i = 0; i < def.columns.size(); ++i) {
          if (def.columns[i].id == ic.column_id && !values[i].IsNull()) all_null = false;
        }
      }
      if (all_null && index.IgnoresNulls()) continue;
      auto key = jet::EncodeIndexKey(def, index, values);
      if (!key) {
        ADD_FAILURE() << name << ": a key the engine cannot encode";
        continue;
      }
      expected.push_back(IndexEntry{*key, where, 0});
    }
    std::sort(expected.begin(), expected.end(), EntryLess);
    jet::IndexTree tree = jet::ReadIndexTree(db.pager(), index.root_page, tdef);
    for (const auto& p : tree.problems) ADD_FAILURE() << name << ": " << p.Text();
    for (size_t i = 1; i < tree.entries.size(); ++i) {
      if (!EntryLess(tree.entries[i - 1], tree.entries[i])) {
        ADD_FAILURE() << name << ": entries " << i - 1 << " and " << i << " are not increasing";
        break;
      }
    }
    EXPECT_EQ(tree.entries.size(), expected.size()) << name;
    size_t differences = 0;
    for (size_t i = 0; i < std::min(tree.entries.size(), expected.size()); ++i) {
      if (tree.entries[i].key != expected[i].key || tree.entries[i].row != expected[i].row) {
        if (++differences <= 3) ADD_FAILURE() << name << ": entry " << i << " differs";
      }
    }
    if (index.IsUnique()) {
      // No two rows share a key, NULL keys apart (a unique index admits several NULLs).
      std::vector<Value> nulls(def.columns.size());
      for (size_t i = 0; i < def.columns.size(); ++i) {
        if (def.columns[i].type == ColumnType::kBoolean) nulls[i] = Bool(false);
      }
      auto null_key = jet::EncodeIndexKey(def, index, nulls);
      for (size_t i = 1; i < tree.entries.size(); ++i) {
        if (tree.entries[i].key == tree.entries[i - 1].key && tree.entries[i].key != null_key) {
          ADD_FAILURE() << name << ": unique index holds a key twice";
          break;
        }
      }
    }
    std::vector<std::string> problems;
    int leaf_depth = -1;
    CheckSubtree(db.pager(), index.root_page, 0, leaf_depth, problems);
    for (size_t i = 0; i < problems.size() && i < 5; ++i)
      ADD_FAILURE() << name << ": " << problems[i];
    shapes[name] = TreeShape{tree.height, tree.leaves.size(), tree.entries.size()};
  }
  EXPECT_TRUE(IsClean(db));
  return shapes;
}

// Keys of varying length, many sharing long prefixes (prefix compression on the pages), some
// repeating (equal keys spread over leaves), Chinese and mixed case among them.
std::string RandomKey(std::mt19937& rng) {
  static const std::vector<std::string> kPrefixes = {
      "",  "customer/",    "customer/orders/2023/",
      "Z", "电话号码前缀", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"};
  std::string key = kPrefixes[rng() % kPrefixes.size()];
  switch (rng() % 4) {
    case 0:
      key += std::to_string(rng() % 50);
      break;  // many repeats
    case 1:
      key += ChineseText(rng, 1 + rng() % 8);
      break;
    default:
      key += AsciiText(rng, 1 + rng() % 60);
      break;
  }
  return key.size() > 100 ? key.substr(0, 100) : key;
}

class WriteIndexGrowth : public testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.path() / "index.mdb";
    jet::CreateDatabase(path_, "");
    db_ = Database::Open(path_, "", Pager::Mode::kReadWrite);
    NewColumn id{"ID", ColumnType::kLong};
    id.autonumber = true;
    NewColumn k{"K", ColumnType::kText, 100};
    NewColumn n{"N", ColumnType::kLong};
    NewColumn u{"U", ColumnType::kText, 30};
    NewColumn when{"When", ColumnType::kDateTime};
    NewColumn m{"M", ColumnType::kNumeric};
    m.precision = 12;
    m.scale = 3;
    Transaction t(*db_);
    jet::CreateTable(*db_, kTable, {id, k, n, u, when, m},
                     {NewIndex{"PrimaryKey", {{"ID", true}}, true, true, false},
                      NewIndex{"KAsc", {{"K", true}}, false, false, false},
                      NewIndex{"KDesc", {{"K", false}}, false, false, false},
                      NewIndex{"NDescKAsc", {{"N", false}, {"K", true}}, false, false, false},
                      NewIndex{"UUnique", {{"U", true}}, false, true, true},
                      NewIndex{"WhenDesc", {{"When", false}}, false, false, false},
                      // Jet 4 keeps its own rule for descending Numeric keys (negative values
                      // keep their sign byte and magnitude); the checker recomputes them.
                      NewIndex{"MDesc", {{"M", false}}, false, false, false},
                      NewIndex{"MAsc", {{"M", true}}, false, false, false}});
    t.Commit();
  }

  std::vector<Value> NewRow(std::mt19937& rng) {
    std::vector<Value> v(6);
    v[0] = Null();
    v[1] = rng() % 50 == 0 ? Null() : Text(RandomKey(rng));
    v[2] = rng() % 20 == 0 ? Null() : Long(static_cast<int32_t>(rng() % 2000) - 1000);
    if (rng() % 3 != 0) {
      std::string u;
      do {
        u = AsciiText(rng, 5 + rng() % 20);
      } while (!used_unique_.insert(Lower(u)).second);
      v[3] = Text(u);
    }
    v[4] = rng() % 10 == 0 ? Null() : Date(30000 + static_cast<double>(rng() % 100000) / 7.0);
    if (rng() % 12 != 0) {
      // Negative, zero and positive, with up to three decimals and repeats.
      const int64_t thousandths = static_cast<int64_t>(rng() % 4000001) - 2000000;
      const int64_t whole = thousandths / 1000, part = std::abs(thousandths % 1000);
      std::string text = (thousandths < 0 && whole == 0 ? "-" : "") + std::to_string(whole) + "." +
                         std::to_string(1000 + part).substr(1);
      v[5] = Value{jet::ValueKind::kNumeric, 0, 0, text, {}};
    }
    return v;
  }

  static std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  }

  void InsertRows(std::mt19937& rng, int count) {
    Transaction t(*db_);
    jet::TableWriter w(*db_, DefinitionPageOf(*db_, kTable), kTable);
    for (int i = 0; i < count; ++i) w.Insert(NewRow(rng));
    w.Finish();
    t.Commit();
  }

  void DeleteRows(const std::vector<RowPointer>& rows) {
    Transaction t(*db_);
    jet::TableWriter w(*db_, DefinitionPageOf(*db_, kTable), kTable);
    for (RowPointer p : rows) w.Delete(p);
    w.Finish();
    t.Commit();
  }

  std::vector<RowPointer> LiveRows() {
    std::vector<RowPointer> out;
    db_->OpenTable(kTable).Scan([&](RowPointer p, const std::vector<Value>&) {
      out.push_back(p);
      return true;
    });
    return out;
  }

  ScratchDir dir_;
  std::filesystem::path path_;
  std::unique_ptr<Database> db_;
  std::set<std::string> used_unique_;  // case-folded: never offer a near-duplicate
};

TEST_F(WriteIndexGrowth, SplitsDeletesAndSingleRowStatements) {
  const int kRows = kSanitized ? 5000 : 12000;
  std::mt19937 rng(12345);

  InsertRows(rng, kRows);
  auto shapes = VerifyIndexes(*db_, "after the bulk insert");
  // Enough rows for node levels above the leaves, and a tail chain.
  // (The smaller instrumented run stops at two levels; the right-edge test below goes deeper.)
  EXPECT_GE(shapes["KAsc"].height, kSanitized ? 2 : 3);
  EXPECT_GE(shapes["PrimaryKey"].height, 2);
  EXPECT_GT(shapes["KAsc"].leaves, kSanitized ? 20u : 50u);
  for (const auto& [name, shape] : shapes) {
    std::cout << name << ": height " << shape.height << ", " << shape.leaves << " leaves, "
              << shape.entries << " entries\n";
  }

  // A random third goes, in one statement.
  std::vector<RowPointer> live = LiveRows();
  std::shuffle(live.begin(), live.end(), rng);
  live.resize(live.size() / 3);
  DeleteRows(live);
  VerifyIndexes(*db_, "after deleting a third");

  InsertRows(rng, kRows / 4);
  VerifyIndexes(*db_, "after inserting again");

  // Single-row statements on the large table: inserts anywhere in key order (the smallest
  // and largest keys included) and deletes, each its own transaction. Most of them should
  // take the writer's fast path, which rewrites only the leaves they touch; the page counts
  // show that it was exercised here.
  const int kSingles = kSanitized ? 3 : 6;
  const size_t tree_pages = shapes["KAsc"].leaves;
  size_t small_statements = 0;
  auto pages_written = [&](auto&& statement) {
    uint64_t before = db_->pager().bytes_written();
    statement();
    return static_cast<size_t>((db_->pager().bytes_written() - before) / 4096);
  };
  for (int i = 0; i < kSingles; ++i) {
    std::vector<Value> row = NewRow(rng);
    if (i == 0) row[1] = Text("");                     // the smallest text key
    if (i == 1) row[1] = Text(std::string(100, '~'));  // above every key
    if (i == 2) row[2] = Long(-1000000);               // first in a descending index
    size_t written = pages_written([&] {
      Transaction t(*db_);
      jet::TableWriter w(*db_, DefinitionPageOf(*db_, kTable), kTable);
      w.Insert(row);
      w.Finish();
      t.Commit();
    });
    if (written < tree_pages) ++small_statements;
    VerifyIndexes(*db_, "after single insert " + std::to_string(i));
    live = LiveRows();
    written = pages_written([&] { DeleteRows({live[rng() % live.size()]}); });
    if (written < tree_pages) ++small_statements;
    VerifyIndexes(*db_, "after single delete " + std::to_string(i));
  }
  EXPECT_GT(small_statements, 0u) << "no single-row statement took the leaf-only path";
  std::cout << small_statements << " of " << 2 * kSingles
            << " single-row statements wrote fewer pages than one index has leaves\n";
  // The first and last rows of storage (often a leaf's smallest or largest entry).
  live = LiveRows();
  DeleteRows({live.front()});
  DeleteRows({live.back()});
  VerifyIndexes(*db_, "after deleting the first and last rows");

  // Unique checks that must search the deep tree: an existing value in the middle is
  // refused; once its row is deleted, the value is free again.
  std::map<std::string, RowPointer> existing;
  db_->OpenTable(kTable).Scan([&](RowPointer p, const std::vector<Value>& v) {
    if (!v[3].IsNull()) existing.emplace(v[3].text, p);
    return true;
  });
  ASSERT_GT(existing.size(), 100u);
  auto middle = std::next(existing.begin(), static_cast<std::ptrdiff_t>(existing.size() / 2));
  std::vector<Value> dup = NewRow(rng);
  dup[3] = Text(middle->first);
  {
    Transaction t(*db_);
    jet::TableWriter w(*db_, DefinitionPageOf(*db_, kTable), kTable);
    jet::JetError e = ExpectJetError([&] { w.Insert(dup); });
    EXPECT_EQ(e.kind(), jet::ErrorKind::kConstraint) << e.what();
    EXPECT_TRUE(Contains(e.what(), "UUnique")) << e.what();
  }
  DeleteRows({middle->second});
  {
    Transaction t(*db_);
    jet::TableWriter w(*db_, DefinitionPageOf(*db_, kTable), kTable);
    w.Insert(dup);
    w.Finish();
    t.Commit();
  }
  VerifyIndexes(*db_, "after reusing a freed unique value");
}

TEST_F(WriteIndexGrowth, EmptiedAndRefilled) {
  std::mt19937 rng(777);
  InsertRows(rng, kSanitized ? 1500 : 4000);
  VerifyIndexes(*db_, "filled");
  // Delete every row whose key sorts in one range, emptying whole leaves in the middle.
  std::vector<RowPointer> range;
  db_->OpenTable(kTable).Scan([&](RowPointer p, const std::vector<Value>& v) {
    if (!v[1].IsNull() && v[1].text.starts_with("customer/")) range.push_back(p);
    return true;
  });
  ASSERT_GT(range.size(), 100u);
  DeleteRows(range);
  VerifyIndexes(*db_, "after deleting a key range");
  DeleteRows(LiveRows());
  auto shapes = VerifyIndexes(*db_, "after deleting every row");
  for (const auto& [name, shape] : shapes) EXPECT_EQ(shape.entries, 0u) << name;
  InsertRows(rng, 300);
  VerifyIndexes(*db_, "refilled");
  // Reopened, the trees read the same.
  db_.reset();
  db_ = Database::Open(path_, "", Pager::Mode::kReadOnly);
  VerifyIndexes(*db_, "reopened");
}

// Regression: the tree builder stores a node's only child as an explicit entry with no tail
// pointer, and a leaf-only rewrite that appended a new largest key below such a node left
// that entry stale; the duplicate check then descended to the missing tail and let a second
// row with the largest key into the unique index.
//
// Keys appended one statement at a time at the right edge of a tree whose keys are long (few
// per page), so every shape of the right-most path occurs: a last node with several children
// and a tail, and a last node with a single child. After each append the nodes must still
// bound their children, and the largest key must be found again by the duplicate check.
TEST(WriteIndexRightEdge, AppendsOneRowAtATime) {
  ScratchDir dir;
  auto path = dir.path() / "edge.mdb";
  jet::CreateDatabase(path, "");
  auto db = Database::Open(path, "", Pager::Mode::kReadWrite);
  NewColumn id{"ID", ColumnType::kLong};
  id.autonumber = true;
  NewColumn k{"K", ColumnType::kText, 255};
  {
    Transaction t(*db);
    jet::CreateTable(*db, "Edge", {id, k},
                     {NewIndex{"PrimaryKey", {{"ID", true}}, true, true, false},
                      NewIndex{"KUnique", {{"K", true}}, false, true, false}});
    t.Commit();
  }
  std::mt19937 rng(31);
  auto letters = [&](size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>('a' + rng() % 26));
    return s;
  };
  {
    Transaction t(*db);
    jet::TableWriter w(*db, DefinitionPageOf(*db, "Edge"), "Edge");
    for (int i = 0; i < 300; ++i) w.Insert({Null(), Text(letters(200))});
    w.Finish();
    t.Commit();
  }
  const uint32_t tdef = DefinitionPageOf(*db, "Edge");
  int heights_seen = 0;
  const int kAppends = 30;
  for (int i = 0; i < kAppends; ++i) {
    char number[8];
    std::snprintf(number, sizeof number, "%05d", i);
    const std::string key = std::string("zz") + number + letters(190);
    {
      Transaction t(*db);
      jet::TableWriter w(*db, tdef, "Edge");
      w.Insert({Null(), Text(key)});
      w.Finish();
      t.Commit();
    }
    const jet::TableDefinition& def = db->Definition(tdef);
    std::vector<std::string> problems;
    for (const auto& index : def.real_indexes) {
      int leaf_depth = -1;
      CheckSubtree(db->pager(), index.root_page, 0, leaf_depth, problems);
      heights_seen = std::max(heights_seen, leaf_depth + 1);
    }
    for (const auto& p : problems) ADD_FAILURE() << "after append " << i << ": " << p;
    // The key just added is the largest: a second row with it must be refused.
    {
      Transaction t(*db);
      jet::TableWriter w(*db, tdef, "Edge");
      jet::JetError e = ExpectJetError([&] { w.Insert({Null(), Text(key)}); });
      EXPECT_EQ(e.kind(), jet::ErrorKind::kConstraint) << "after append " << i << ": " << e.what();
    }
    if (HasFailure()) break;
  }
  EXPECT_GE(heights_seen, 3);
  EXPECT_TRUE(IsClean(*db));
}

}  // namespace

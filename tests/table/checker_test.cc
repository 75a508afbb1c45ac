// The consistency checker: every fixture is consistent apart from a few stale row counts
// that are really in the files, and damage injected into copies is reported against the
// table or index it hits.
#include "jet/table/checker.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "jet/format/index_page.h"
#include "jet/format/page_size.h"
#include "jet/table/database.h"
#include "jet/table/index_tree.h"
#include "jet/table/structure_check.h"
#include "jet/table/table.h"
#include "tests/fixture_expectations.h"
#include "tests/test_support.h"

namespace {

using jet::CheckDatabase;
using jet::CheckReport;
using jet::Database;
using testing_support::Fixture;
using testing_support::FixturePassword;
using testing_support::ScratchDir;

// Row counts stored in files that the Jackcess project modified without updating them;
// mdb-count prints the same stored numbers.
const std::map<std::string, std::set<std::string>> kKnownProblems = {
    {"jackcess_indexcodes2000.mdb",
     {"table 'MSysACEs': holds 141 live rows but its definition says 60",
      "table 'Table1': holds 275 live rows but its definition says 274"}},
    {"jackcess_querytest2000.mdb",
     {"table 'MSysQueries': holds 90 live rows but its definition says 82"}},
};

// Pages neither in use nor free in the files Access (or Jackcess) left them: long-value pages
// of deleted rows, pages of dropped tables, zero pages past the last one used. Every other
// fixture accounts for each page as in use or free.
const std::map<std::string, size_t> kLeakedPages = {
    {"jackcess_indexcodes2000.mdb", 768},
    {"linq2db_testdata.mdb", 82},
    {"mdbtools_datetest.mdb", 11},
};

class CheckFixture : public testing::TestWithParam<std::string> {};

// Every index entry's key is recomputed from its row (text keys included, where the sort
// order is one the engine encodes), so this also proves the key encoders on real files.
TEST_P(CheckFixture, OnlyTheKnownStaleRowCounts) {
  SKIP_WITHOUT_FIXTURES();
  auto db = Database::Open(Fixture(GetParam()), FixturePassword(GetParam()));
  CheckReport report = CheckDatabase(*db);
  std::set<std::string> problems(report.problems.begin(), report.problems.end());
  EXPECT_EQ(problems.size(), report.problems.size()) << "a problem reported twice";
  auto known = kKnownProblems.find(GetParam());
  EXPECT_EQ(problems, known == kKnownProblems.end() ? std::set<std::string>{} : known->second);
  EXPECT_GT(report.tables, 0u);
  EXPECT_GT(report.rows, 0u);
  EXPECT_GT(report.index_entries, 0u);
  // Every key is recomputed except text under sort orders the engine does not encode.
  EXPECT_EQ(report.keys_compared + report.keys_not_encodable, report.index_entries);
  // The page census: no page with two owners or in use and free; leaked pages are a note.
  const jet::PageCensus& census = report.census;
  EXPECT_EQ(census.pages, db->pager().page_count());
  EXPECT_EQ(census.claimed + census.free + census.leaked.size(), census.pages);
  auto leaked = kLeakedPages.find(GetParam());
  EXPECT_EQ(census.leaked.size(), leaked == kLeakedPages.end() ? 0 : leaked->second);
  EXPECT_EQ(report.notes.size(), census.leaked.empty() ? 0u : 1u);
}

// The check a writer makes first must pass on files as Access leaves them, however deep it
// goes: every table taken as changed and as read.
TEST_P(CheckFixture, TheCheckBeforeWritingPassesWithEveryTableChanged) {
  SKIP_WITHOUT_FIXTURES();
  auto db = Database::Open(Fixture(GetParam()), FixturePassword(GetParam()));
  std::vector<std::string> tables;
  for (const jet::CatalogEntry& e : db->catalog().entries()) {
    if (e.kind == jet::ObjectKind::kUserTable || e.kind == jet::ObjectKind::kSystemTable) {
      tables.push_back(e.name);
    }
  }
  EXPECT_NO_THROW(jet::CheckBeforeWriting(*db, tables, tables));
}

INSTANTIATE_TEST_SUITE_P(Jet4, CheckFixture, testing::ValuesIn(testing_support::Jet4FixtureNames()),
                         [](const testing::TestParamInfo<std::string>& info) {
                           return testing_support::FixtureTestName(info.param);
                         });

TEST(Checker, NorthwindKeysAreAllRecomputed) {
  SKIP_WITHOUT_FIXTURES();
  // General sort order throughout, text indexes included: nothing is left unverified.
  auto db = Database::Open(Fixture("northwind2000.mdb"), "");
  CheckReport report = CheckDatabase(*db);
  EXPECT_TRUE(report.ok());
  EXPECT_EQ(report.keys_not_encodable, 0u);
  EXPECT_EQ(report.keys_compared, report.index_entries);
  EXPECT_GT(report.index_entries, 10000u);
}

// --- Damage injected into copies ---

// A copy of a fixture, its bytes to edit, and the engine's view of the original.
class Injected {
 public:
  explicit Injected(const std::string& fixture) : path_(dir_.Copy(Fixture(fixture))) {
    bytes_ = testing_support::ReadBytes(path_);
    db_ = Database::Open(path_, "");
  }

  Database& db() { return *db_; }
  std::vector<uint8_t>& bytes() { return bytes_; }
  uint8_t& At(uint32_t page, size_t offset) {
    return bytes_.at(size_t{page} * jet::kPageSize + offset);
  }

  // Writes the edits and checks the damaged file.
  CheckReport Check() {
    db_.reset();
    testing_support::WriteBytes(path_, bytes_);
    auto db = Database::Open(path_, "");
    return CheckDatabase(*db);
  }

 private:
  ScratchDir dir_;
  std::filesystem::path path_;
  std::vector<uint8_t> bytes_;
  std::unique_ptr<Database> db_;
};

std::string Join(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) out += l + "\n";
  return out;
}

bool AllMention(const CheckReport& r, const std::string& text) {
  for (const auto& p : r.problems) {
    if (p.find(text) == std::string::npos) return false;
  }
  return !r.problems.empty();
}

bool AnyMentions(const CheckReport& r, const std::string& text) {
  for (const auto& p : r.problems) {
    if (p.find(text) != std::string::npos) return true;
  }
  return false;
}

TEST(Checker, StoredRowCountThatDisagrees) {
  SKIP_WITHOUT_FIXTURES();
  for (int delta : {+1, -1}) {
    Injected copy("northwind2000.mdb");
    uint32_t tdef = copy.db().OpenTable("Shippers").definition_page();
    uint8_t& count = copy.At(tdef, jet::tdef::kRowCount);
    ASSERT_EQ(count, 3);
    count = static_cast<uint8_t>(count + delta);
    CheckReport r = copy.Check();
    ASSERT_EQ(r.problems.size(), 1u) << Join(r.problems);
    EXPECT_EQ(r.problems[0], "table 'Shippers': holds 3 live rows but its definition says " +
                                 std::to_string(3 + delta));
  }
}

// Where the entries of one leaf page sit: entry i occupies [ends[i-1], ends[i]) from 0x1E0,
// entries after the first without the prefix they share with it.
struct Leaf {
  uint32_t page = 0;
  std::vector<size_t> ends;  // offsets in the page, one per entry
  std::string index_name;
};

Leaf FindLeaf(Database& db, const std::string& table, const std::string& index_name) {
  jet::Table t = db.OpenTable(table);
  const jet::TableDefinition& def = t.definition();
  Leaf leaf;
  for (const auto& li : def.logical_indexes) {
    if (li.name != index_name) continue;
    const jet::RealIndex& ri = def.real_indexes[li.real_index];
    jet::IndexTree tree = jet::ReadIndexTree(db.pager(), ri.root_page, t.definition_page());
    EXPECT_FALSE(tree.leaves.empty());
    leaf.page = tree.leaves.front();
    leaf.index_name = index_name;
  }
  EXPECT_NE(leaf.page, 0u) << "no index " << index_name << " on " << table;
  jet::PinnedView page = db.pager().Page(leaf.page);
  for (size_t bit = 0; bit < jet::index_page::kEntryBitmapBytes * 8; ++bit) {
    if ((page.U8(jet::index_page::kEntryBitmap + bit / 8) >> (bit % 8)) & 1) {
      leaf.ends.push_back(jet::index_page::kEntries + bit);
    }
  }
  EXPECT_EQ(leaf.ends.size(), jet::DecodeIndexPage(page).entries.size());
  EXPECT_GT(leaf.ends.size(), 4u);
  return leaf;
}

struct IndexTarget {
  const char* file;
  const char* table;
  const char* index;
};
// A Long index with an intermediate level, and a text index (keys from the collation table).
const IndexTarget kIndexTargets[] = {
    {"jackcess_compindex2000.mdb", "Table1", "CD_AGENTE"},
    {"northwind2000.mdb", "Customers", "CompanyName"},
};

// One damage to entries 2 and 3 of the first leaf, and what the check must say of it. Every
// finding names the index (and, where `names_table`, the table before it).
struct LeafDamage {
  const char* what;
  std::function<void(Injected&, const Leaf&)> damage;
  bool names_table;
  std::vector<std::string> findings;
};

TEST(Checker, DamagedIndexEntriesAreFound) {
  SKIP_WITHOUT_FIXTURES();
  const LeafDamage kDamages[] = {
      {"a key byte changed",
       [](Injected& copy, const Leaf& leaf) {
         // The last key byte of entry 3 (just before its 4-byte row pointer).
         ASSERT_GT(leaf.ends[3] - leaf.ends[2], 4u) << "entry stored without key bytes";
         copy.At(leaf.page, leaf.ends[3] - 5) ^= 0x01;
       },
       true,
       {"has key"}},
      {"an entry boundary cleared",
       [](Injected& copy, const Leaf& leaf) {
         // Entries 2 and 3 become one: the row of entry 2 loses its entry.
         size_t bit = leaf.ends[2] - jet::index_page::kEntries;
         copy.At(leaf.page, jet::index_page::kEntryBitmap + bit / 8) &=
             static_cast<uint8_t>(~(1 << (bit % 8)));
       },
       false,
       {"has no entry for the row"}},
      {"a row pointer changed",
       [](Injected& copy, const Leaf& leaf) {
         copy.At(leaf.page, leaf.ends[3] - 1) = 0xEE;  // the row byte of entry 3's pointer
       },
       false,
       {"row 238, which is not a live row", "has no entry for the row"}},
      {"two entries for one row",
       [](Injected& copy, const Leaf& leaf) {
         // Entry 3 takes entry 2's row pointer (the last 4 bytes of each entry).
         for (size_t k = 0; k < 4; ++k) {
           copy.At(leaf.page, leaf.ends[3] - 4 + k) = copy.At(leaf.page, leaf.ends[2] - 4 + k);
         }
       },
       false,
       {"has two entries for", "has no entry for the row"}},
  };
  for (const LeafDamage& d : kDamages) {
    for (const IndexTarget& t : kIndexTargets) {
      SCOPED_TRACE(std::string(d.what) + " in " + t.file);
      Injected copy(t.file);
      Leaf leaf = FindLeaf(copy.db(), t.table, t.index);
      d.damage(copy, leaf);
      CheckReport r = copy.Check();
      const std::string index = std::string("index '") + t.index + "'";
      EXPECT_TRUE(
          AllMention(r, d.names_table ? std::string("table '") + t.table + "': " + index : index))
          << Join(r.problems);
      for (const std::string& finding : d.findings) {
        EXPECT_TRUE(AnyMentions(r, finding)) << Join(r.problems);
      }
    }
  }
}

}  // namespace

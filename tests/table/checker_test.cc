// The consistency checker: no fixture is damaged (the stale row counts and leaked pages really
// in the files are notes), and damage injected into copies is reported against the table or
// index it hits.
#include "jet/table/checker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "jet/format/index_page.h"
#include "jet/format/page_size.h"
#include "jet/sql/session.h"
#include "jet/table/database.h"
#include "jet/table/index_tree.h"
#include "jet/table/table.h"
#include "tests/clean_file.h"
#include "tests/fixture_expectations.h"
#include "tests/test_support.h"

namespace {

using jet::CheckDatabase;
using jet::CheckReport;
using jet::Database;
using testing_support::Fixture;
using testing_support::FixturePassword;
using testing_support::ScratchDir;

jet::Finding RowCountNote(const std::string& table, uint64_t stored, uint64_t found) {
  return {jet::Problem::kNoteRowCount, {.table = table, .number = stored, .limit = found}};
}

// Row counts stored in files that the Jackcess project modified without updating them;
// mdb-count prints the same stored numbers. Notes, not damage: Access leaves such counts too.
const std::map<std::string, std::vector<jet::Finding>> kRowCountNotes = {
    {"jackcess_indexcodes2000.mdb",
     {RowCountNote("MSysACEs", 60, 141), RowCountNote("Table1", 274, 275)}},
    {"jackcess_querytest2000.mdb", {RowCountNote("MSysQueries", 82, 90)}},
};

// Pages neither in use nor free in the files Access (or Jackcess) left them: long-value pages
// of deleted rows, pages of dropped tables, zero pages past the last one used. Every other
// fixture accounts for each page as in use or free.
const std::map<std::string, size_t> kLeakedPages = {
    {"jackcess_indexcodes2000.mdb", 768},
    {"linq2db_testdata.mdb", 82},
    {"mdbtools_datetest.mdb", 11},
};

std::multiset<jet::Finding> Sorted(const std::vector<jet::Finding>& findings) {
  return {findings.begin(), findings.end()};
}

class CheckFixture : public testing::TestWithParam<std::string> {};

// No fixture is damaged: what the check finds in them is what Access leaves, as notes. Every
// index entry's key is recomputed from its row (text keys included, where the sort order is
// one the engine encodes), so this also proves the key encoders on real files.
TEST_P(CheckFixture, NoDamageOnlyTheKnownNotes) {
  SKIP_WITHOUT_FIXTURES();
  auto db = Database::Open(Fixture(GetParam()), FixturePassword(GetParam()));
  CheckReport report = CheckDatabase(*db);
  std::vector<jet::Finding> counts;
  for (const jet::Finding& f : report.findings) {
    EXPECT_FALSE(f.IsDamage()) << f.Text();
    if (f.problem == jet::Problem::kNoteRowCount) counts.push_back(f);
  }
  EXPECT_TRUE(report.ok());
  auto known = kRowCountNotes.find(GetParam());
  EXPECT_EQ(Sorted(counts),
            Sorted(known == kRowCountNotes.end() ? std::vector<jet::Finding>{} : known->second));
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
  EXPECT_EQ(report.findings.size(), counts.size() + (census.leaked.empty() ? 0u : 1u));
  // The check before an upgrade's first change passes them all.
  EXPECT_NO_THROW(jet::RefuseIfDamaged(*db, {.whole_file = true}));
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
  EXPECT_NO_THROW(jet::RefuseIfDamaged(*db, {tables, tables}));
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

  const std::filesystem::path& path() const { return path_; }

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

std::string Join(const CheckReport& r) {
  std::string out;
  for (const auto& f : r.findings) out += f.Text() + "\n";
  return out;
}

bool Found(const CheckReport& r, jet::Problem problem) {
  return std::any_of(r.findings.begin(), r.findings.end(),
                     [&](const jet::Finding& f) { return f.problem == problem; });
}

// A stored count off by one either way is a note: the rows are all there, and Access leaves
// such counts.
TEST(Checker, StoredRowCountThatDisagreesIsANote) {
  SKIP_WITHOUT_FIXTURES();
  for (int delta : {+1, -1}) {
    Injected copy("northwind2000.mdb");
    uint32_t tdef = copy.db().OpenTable("Shippers").definition_page();
    uint8_t& count = copy.At(tdef, jet::tdef::kRowCount);
    ASSERT_EQ(count, 3);
    count = static_cast<uint8_t>(count + delta);
    CheckReport r = copy.Check();
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(Sorted(r.findings), Sorted({RowCountNote("Shippers", 3 + delta, 3)})) << Join(r);
  }
}

// A write that goes ahead in a file with a note leaves that note, though with other numbers
// (one row more, counted and stored): what a check finds compares without its places, so a
// comparison of findings before and after a write (damaged_upgrade_test, the damaged_write
// fuzz target) takes it for the note it was.
TEST(Checker, AWriteKeepsTheNoteItFound) {
  SKIP_WITHOUT_FIXTURES();
  Injected copy("northwind2000.mdb");
  copy.At(copy.db().OpenTable("Shippers").definition_page(), jet::tdef::kRowCount) += 1;
  const CheckReport before = copy.Check();
  ASSERT_EQ(Sorted(before.findings), Sorted({RowCountNote("Shippers", 4, 3)})) << Join(before);
  jet::sql::Session(copy.path(), "").Execute("INSERT INTO Shippers (CompanyName) VALUES ('x')");
  auto db = Database::Open(copy.path(), "");
  const CheckReport after = CheckDatabase(*db);
  EXPECT_EQ(Sorted(after.findings), Sorted({RowCountNote("Shippers", 5, 4)})) << Join(after);
  EXPECT_EQ(after.FindingsWithoutPlaces(), before.FindingsWithoutPlaces());
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
// finding is damage naming the table and the index.
struct LeafDamage {
  const char* what;
  std::function<void(Injected&, const Leaf&)> damage;
  std::vector<jet::Problem> findings;
};

TEST(Checker, DamagedIndexEntriesAreFound) {
  SKIP_WITHOUT_FIXTURES();
  using jet::Problem;
  const LeafDamage kDamages[] = {
      {"a key byte changed",
       [](Injected& copy, const Leaf& leaf) {
         // The last key byte of entry 3 (just before its 4-byte row pointer).
         ASSERT_GT(leaf.ends[3] - leaf.ends[2], 4u) << "entry stored without key bytes";
         copy.At(leaf.page, leaf.ends[3] - 5) ^= 0x01;
       },
       {Problem::kDamagedIndexKey}},
      {"an entry boundary cleared",
       [](Injected& copy, const Leaf& leaf) {
         // Entries 2 and 3 become one: the row of entry 2 loses its entry.
         size_t bit = leaf.ends[2] - jet::index_page::kEntries;
         copy.At(leaf.page, jet::index_page::kEntryBitmap + bit / 8) &=
             static_cast<uint8_t>(~(1 << (bit % 8)));
       },
       {Problem::kDamagedIndexEntryMissing}},
      {"a row pointer changed",
       [](Injected& copy, const Leaf& leaf) {
         copy.At(leaf.page, leaf.ends[3] - 1) = 0xEE;  // the row byte of entry 3's pointer
       },
       {Problem::kDamagedIndexEntryNoRow, Problem::kDamagedIndexEntryMissing}},
      {"two entries for one row",
       [](Injected& copy, const Leaf& leaf) {
         // Entry 3 takes entry 2's row pointer (the last 4 bytes of each entry).
         for (size_t k = 0; k < 4; ++k) {
           copy.At(leaf.page, leaf.ends[3] - 4 + k) = copy.At(leaf.page, leaf.ends[2] - 4 + k);
         }
       },
       {Problem::kDamagedIndexEntryTwice, Problem::kDamagedIndexEntryMissing}},
  };
  for (const LeafDamage& d : kDamages) {
    for (const IndexTarget& t : kIndexTargets) {
      SCOPED_TRACE(std::string(d.what) + " in " + t.file);
      Injected copy(t.file);
      Leaf leaf = FindLeaf(copy.db(), t.table, t.index);
      d.damage(copy, leaf);
      CheckReport r = copy.Check();
      EXPECT_FALSE(r.findings.empty());
      for (const jet::Finding& f : r.findings) {
        EXPECT_TRUE(f.IsDamage()) << f.Text();
        EXPECT_EQ(f.facts.table, t.table) << f.Text();
        EXPECT_EQ(f.facts.index, t.index) << f.Text();
      }
      for (Problem p : d.findings) EXPECT_TRUE(Found(r, p)) << Join(r);
    }
  }
}

}  // namespace

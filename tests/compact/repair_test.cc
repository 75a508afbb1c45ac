// Repair of damaged files, made as the damage tests make them (a page zeroed, bytes
// scribbled, pages swapped, the file cut short) from a demo data file: Han text under 2052,
// memo values on long-value pages, several indexes. Whatever the damage, the repaired file
// is one the checker accepts; every row it keeps is a row of the undamaged original, whole
// but for long values the report counts as lost; and every row of the original is either
// kept or counted as lost, so nothing vanishes unreported.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "jet/compact/repair.h"
#include "jet/error.h"
#include "jet/format/data_page.h"
#include "jet/format/page_size.h"
#include "jet/table/checker.h"
#include "jet/table/database.h"
#include "jet/table/index_tree.h"
#include "jet/table/stored_rows.h"
#include "jet/table/table.h"
#include "tests/test_support.h"
#include "tools/demo/demo_data.h"
#include "upgrade/product_database.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using testing_support::ScratchDir;

// Each row of each user table as one line of text, with the columns' names.
std::map<std::string, std::multiset<std::string>> UserRows(const fs::path& path,
                                                           bool memo_as_null = false) {
  auto db = jet::Database::Open(path, upgrade::kDatabasePassword);
  std::map<std::string, std::multiset<std::string>> out;
  for (const jet::CatalogEntry* e : db->catalog().OfKind(jet::ObjectKind::kUserTable)) {
    jet::Table t = db->OpenTable(*e);
    const jet::TableDefinition& def = t.definition();
    auto& rows = out[e->name];
    t.Scan([&](jet::RowPointer, const std::vector<jet::Value>& values) {
      std::string line;
      for (size_t i = 0; i < values.size(); ++i) {
        const bool long_value = jet::IsLongValueType(def.columns[i].type);
        line += def.columns[i].name + "=";
        if (memo_as_null && long_value) {
          line += "?|";
          continue;
        }
        line += jet::ValueToText(values[i]);
        line += values[i].IsNull() ? "<null>|" : "|";
      }
      rows.insert(line);
      return true;
    });
  }
  return out;
}

struct Damage {
  std::string name;
  std::function<void(Bytes&)> apply;
  // Damage no row depends on: a long-value page (its rows are kept, the values NULL) or an
  // index page (indexes are rebuilt from the rows).
  bool keeps_every_row = false;
  // Bytes changed inside rows: a changed value reads like any other (Jet keeps no checksum),
  // so the rows kept may differ from the original's, at most one per changed byte.
  size_t changed_bytes = 0;
};

class RepairDamaged : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    demo_ = new ScratchDir;
    WriteDemoData(demo_->path(), DemoOptions{60, 40, 2052});
  }
  static void TearDownTestSuite() {
    delete demo_;
    demo_ = nullptr;
  }
  static fs::path Original() { return DemoDataFilePath(demo_->path()); }

  // Damages of every kind, at places that matter: rows, memo pages, index leaves, the
  // catalog, the end of the file.
  static std::vector<Damage> Damages() {
    auto db = jet::Database::Open(Original(), upgrade::kDatabasePassword);
    const uint32_t pages = db->pager().page_count();
    auto owned = [&](const std::string& table) { return db->OpenTable(table).OwnedPages(); };
    const std::vector<uint32_t> customer = owned("Customer"), contacts = owned("ContactPerson");
    const jet::TableDefinition& def = db->OpenTable("Customer").definition();
    std::vector<uint32_t> memos;
    for (const jet::LongValueMaps& m : def.long_value_maps) {
      for (uint32_t p : jet::ReadUsageMap(db->pager(), m.owned)) memos.push_back(p);
    }
    const uint32_t customer_table = db->OpenTable("Customer").definition_page();
    std::vector<uint32_t> leaves;
    for (const jet::RealIndex& index : def.real_indexes) {
      auto tree = jet::ReadIndexTree(db->pager(), index.root_page, customer_table);
      leaves.push_back(tree.leaves.back());
    }
    EXPECT_GE(customer.size(), 2u);
    EXPECT_FALSE(memos.empty());
    auto zero = [](uint32_t p) {
      return
          [p](Bytes& b) { std::fill_n(b.begin() + size_t{p} * jet::kPageSize, jet::kPageSize, 0); };
    };
    auto scribble = [](size_t at) { return [at](Bytes& b) { b.at(at) ^= 0x5A; }; };
    auto swap = [](uint32_t p, uint32_t q) {
      return [p, q](Bytes& b) {
        std::swap_ranges(b.begin() + size_t{p} * jet::kPageSize,
                         b.begin() + size_t{p + 1} * jet::kPageSize,
                         b.begin() + size_t{q} * jet::kPageSize);
      };
    };
    const size_t contact_page = size_t{contacts.front()} * jet::kPageSize;
    // Inside the lowest row of Customer's last page: its column count survives a cut there.
    size_t inside_a_row = 0;
    {
      jet::PinnedView page = db->pager().Page(customer.back());
      jet::DataPageReader reader(page);
      jet::ByteView row = reader.Row(static_cast<uint16_t>(reader.row_count() - 1)).bytes;
      inside_a_row = size_t{customer.back()} * jet::kPageSize +
                     static_cast<size_t>(row.data() - page.data()) + 4;
    }
    std::vector<Damage> out = {
        {"a page of Customer's rows zeroed", zero(customer[customer.size() / 2])},
        {"a page of Customer's memo values zeroed", zero(memos[memos.size() / 2]), true},
        {"a ContactPerson page's row count scribbled",
         scribble(contact_page + jet::data_page::kRowCount)},
        {"a ContactPerson page's first slot scribbled",
         scribble(contact_page + jet::data_page::kSlots + 1)},
        {"a page of Customer's rows and one of ContactPerson's swapped",
         swap(customer.front(), contacts.back())},
        {"Customer's definition zeroed", zero(customer_table)},
        {"the file cut inside its last page",
         [](Bytes& b) { b.resize(b.size() - jet::kPageSize / 2); }},
        {"the file cut inside a row", [inside_a_row](Bytes& b) { b.resize(inside_a_row); }},
        {"the file cut to two thirds",
         [pages](Bytes& b) { b.resize(size_t{pages * 2 / 3} * jet::kPageSize + 100); }}};
    for (uint32_t leaf : leaves) {
      out.push_back({"a leaf of a Customer index zeroed (page " + std::to_string(leaf) + ")",
                     zero(leaf), true});
    }
    return out;
  }

  static ScratchDir* demo_;
};

ScratchDir* RepairDamaged::demo_ = nullptr;

void ExpectRepairKeepsOnlyOriginalRows(const fs::path& original_file,
                                       const std::vector<Damage>& damages) {
  const auto original = UserRows(original_file);
  std::map<std::string, std::multiset<std::string>> original_without_memos =
      UserRows(original_file, true);
  size_t original_rows = 0;
  for (const auto& [table, rows] : original) original_rows += rows.size();

  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.name);
    ScratchDir dir;
    const fs::path damaged = dir.path() / "damaged.sys", repaired = dir.path() / "repaired.sys";
    Bytes bytes = testing_support::ReadBytes(original_file);
    damage.apply(bytes);
    testing_support::WriteBytes(damaged, bytes);

    jet::compact::RepairReport report;
    try {
      report = jet::compact::RepairDatabase(damaged, repaired, upgrade::kDatabasePassword);
    } catch (const jet::JetError& e) {
      // Only a catalog that does not read stops a repair; then nothing is left behind.
      EXPECT_EQ(e.kind(), jet::ErrorKind::kCorrupt) << e.what();
      EXPECT_FALSE(fs::exists(repaired));
      testing::Test::RecordProperty(damage.name, std::string("nothing written: ") + e.what());
      continue;
    }
    EXPECT_EQ(testing_support::ReadBytes(damaged), bytes) << "the damaged file was written";
    {
      auto db = jet::Database::Open(repaired, upgrade::kDatabasePassword);
      EXPECT_TRUE(jet::CheckDatabase(*db).ok()) << "the checker finds damage in the repair";
    }

    // Every kept row is one of the original's (memo values may have been lost).
    const auto kept = UserRows(repaired);
    const auto kept_without_memos = UserRows(repaired, true);
    size_t kept_rows = 0, accounted = 0;
    for (const auto& [table, rows] : kept) {
      SCOPED_TRACE("table " + table);
      kept_rows += rows.size();
      const auto& all = original.at(table);
      std::multiset<std::string> unmatched;
      for (const std::string& row : rows) {
        if (!all.count(row)) unmatched.insert(row);
      }
      size_t long_values_lost = 0;
      for (const auto& t : report.tables) {
        if (t.name == table) long_values_lost = t.long_values_lost;
      }
      // A row that differs from every original row differs only in long values the report
      // counts as lost.
      EXPECT_LE(unmatched.size(), long_values_lost + damage.changed_bytes);
      size_t changed = 0;
      for (const std::string& row : kept_without_memos.at(table)) {
        if (original_without_memos.at(table).count(row)) continue;
        EXPECT_LT(changed++, damage.changed_bytes) << "not an original row: " << row;
      }
    }
    for (const auto& t : report.tables) {
      if (t.system) continue;
      EXPECT_EQ(t.rows_kept, kept.count(t.name) ? kept.at(t.name).size() : 0u) << t.name;
      accounted += t.rows_kept + t.RowsLost() + t.RowsMissing();
    }
    for (const auto& l : report.lost_tables) {
      if (original.count(l.name)) accounted += original.at(l.name).size();
    }
    // Every original row is kept or counted as lost (a damaged row count may count more).
    EXPECT_GE(accounted, original_rows);
    if (damage.keeps_every_row) {
      EXPECT_EQ(kept_rows, original_rows);
    }
    // A row or table fewer is always reported as a loss (the exit status 1 of jetdb repair).
    if (kept_rows < original_rows || !report.lost_tables.empty()) {
      EXPECT_TRUE(report.LostAnything());
    }
    testing::Test::RecordProperty(damage.name, std::to_string(kept_rows) + " of " +
                                                   std::to_string(original_rows) + " rows kept");
  }
}

TEST_F(RepairDamaged, KeepsOnlyOriginalRowsAndCountsEveryOtherOne) {
  ExpectRepairKeepsOnlyOriginalRows(Original(), Damages());
}

// A file cut short keeps every value its remaining pages hold: its long-value maps still list
// the pages it lost, and only the values on those are lost. The same pages zeroed in a file of
// full length are the measure.
TEST_F(RepairDamaged, ACutFileKeepsTheLongValuesOfThePagesItKept) {
  const Bytes original = testing_support::ReadBytes(Original());
  const size_t pages = original.size() / jet::kPageSize;
  for (size_t eighth = 2; eighth < 8; ++eighth) {
    const size_t keep = pages * eighth / 8 * jet::kPageSize;
    SCOPED_TRACE("cut to " + std::to_string(keep) + " bytes");
    ScratchDir dir;
    Bytes cut(original.begin(), original.begin() + keep);
    Bytes zeroed = original;
    std::fill(zeroed.begin() + keep, zeroed.end(), 0);
    testing_support::WriteBytes(dir.path() / "cut.sys", cut);
    testing_support::WriteBytes(dir.path() / "zeroed.sys", zeroed);
    try {
      jet::compact::RepairDatabase(dir.path() / "cut.sys", dir.path() / "from_cut.sys",
                                   upgrade::kDatabasePassword);
      jet::compact::RepairDatabase(dir.path() / "zeroed.sys", dir.path() / "from_zeroed.sys",
                                   upgrade::kDatabasePassword);
    } catch (const jet::JetError&) {
      continue;  // the catalog was cut away: nothing to compare
    }
    EXPECT_EQ(UserRows(dir.path() / "from_cut.sys"), UserRows(dir.path() / "from_zeroed.sys"));
  }
}

// The same for damage anywhere, drawn from a fixed seed: pages zeroed, bytes scribbled, pages
// swapped, the file cut at or inside a page.
TEST_F(RepairDamaged, RandomDamageAnywhere) {
  const uint32_t pages = static_cast<uint32_t>(fs::file_size(Original()) / jet::kPageSize);
  std::mt19937 rng(20261210);
  auto page = [&] { return 3 + rng() % (pages - 3); };
  std::vector<Damage> damages;
  for (int i = 0; i < 24; ++i) {
    switch (i % 4) {
      case 0: {
        const uint32_t p = page();
        damages.push_back({"page " + std::to_string(p) + " zeroed", [p](Bytes& b) {
                             std::fill_n(b.begin() + size_t{p} * jet::kPageSize, jet::kPageSize, 0);
                           }});
        break;
      }
      case 1: {
        std::vector<std::pair<size_t, uint8_t>> at;
        const uint32_t p = page();
        for (int k = 0; k < 6; ++k) {
          at.emplace_back(size_t{p} * jet::kPageSize + rng() % jet::kPageSize,
                          static_cast<uint8_t>(rng() | 1));
        }
        damages.push_back({"page " + std::to_string(p) + " scribbled",
                           [at](Bytes& b) {
                             for (auto [offset, value] : at) b[offset] ^= value;
                           },
                           false, at.size()});
        break;
      }
      case 2: {
        const uint32_t p = page(), q = page();
        damages.push_back({"pages " + std::to_string(p) + " and " + std::to_string(q) + " swapped",
                           [p, q](Bytes& b) {
                             std::swap_ranges(b.begin() + size_t{p} * jet::kPageSize,
                                              b.begin() + size_t{p + 1} * jet::kPageSize,
                                              b.begin() + size_t{q} * jet::kPageSize);
                           }});
        break;
      }
      case 3: {
        const size_t keep = size_t{page()} * jet::kPageSize + rng() % jet::kPageSize;
        damages.push_back(
            {"cut to " + std::to_string(keep) + " bytes", [keep](Bytes& b) { b.resize(keep); }});
        break;
      }
    }
  }
  ExpectRepairKeepsOnlyOriginalRows(Original(), damages);
}

TEST_F(RepairDamaged, RefusesAWrongPasswordAndWritesNothing) {
  ScratchDir dir;
  const fs::path repaired = dir.path() / "repaired.sys";
  try {
    jet::compact::RepairDatabase(Original(), repaired, "wrong");
    ADD_FAILURE() << "a wrong password was accepted";
  } catch (const jet::JetError& e) {
    EXPECT_EQ(e.kind(), jet::ErrorKind::kBadPassword);
  }
  EXPECT_FALSE(fs::exists(repaired));
}

// Han keys under 2052 come only from the source's index. When that index does not read, the
// repair leaves the index out and keeps every row, rather than dropping rows or making keys
// Access would look for elsewhere.
TEST(RepairHanKeys, AnUnreadableHanIndexIsLeftOutAndEveryRowKept) {
  SKIP_WITHOUT_FIXTURES();
  const fs::path source =
      testing_support::FixtureDir().parent_path() / "jet4-han2052" / "asp_book_2052_hankeys.mdb";
  ScratchDir dir;
  const fs::path damaged = dir.path() / "damaged.mdb", repaired = dir.path() / "repaired.mdb";
  size_t rows = 0;
  Bytes bytes = testing_support::ReadBytes(source);
  {
    auto db = jet::Database::Open(source, "");
    jet::Table t = db->OpenTable("mytable");
    rows = t.CountRows();
    const jet::TableDefinition& def = t.definition();
    for (size_t r = 0; r < def.real_indexes.size(); ++r) {
      if (def.RealIndexName(r) != "name") continue;
      const uint32_t root = def.real_indexes[r].root_page;
      std::fill_n(bytes.begin() + size_t{root} * jet::kPageSize, jet::kPageSize, 0);
    }
  }
  testing_support::WriteBytes(damaged, bytes);
  jet::compact::RepairReport report = jet::compact::RepairDatabase(damaged, repaired, "");
  bool dropped = false;
  for (const auto& d : report.dropped_indexes) dropped |= d.table == "mytable" && d.index == "name";
  EXPECT_TRUE(dropped);
  EXPECT_TRUE(report.LostAnything());
  auto db = jet::Database::Open(repaired, "");
  EXPECT_EQ(db->OpenTable("mytable").CountRows(), rows);
  EXPECT_TRUE(jet::CheckDatabase(*db).ok());
}

// jetdb repair's exit status says whether anything was lost: 0 nothing, 1 something (the
// summary says what, in Chinese), 2 nothing written.
TEST_F(RepairDamaged, JetdbRepairExitStatusSaysWhetherAnythingWasLost) {
  ScratchDir dir;
  auto repair = [&](const fs::path& source, const fs::path& destination, std::string* out) {
    return testing_support::RunCommand(
        std::string(JETDB_PATH) + " repair " + testing_support::ShellQuote(source.string()) + " " +
            testing_support::ShellQuote(destination.string()) + " -p " +
            testing_support::ShellQuote(upgrade::kDatabasePassword) + " 2>&1",
        out);
  };
  std::string out;
  EXPECT_EQ(repair(Original(), dir.path() / "whole.sys", &out), 0) << out;
  EXPECT_NE(out.find("没有丢失任何数据"), std::string::npos) << out;

  Bytes bytes = testing_support::ReadBytes(Original());
  bytes.resize(bytes.size() * 2 / 3 / jet::kPageSize * jet::kPageSize);
  testing_support::WriteBytes(dir.path() / "cut.sys", bytes);
  EXPECT_EQ(repair(dir.path() / "cut.sys", dir.path() / "from_cut.sys", &out), 1) << out;
  EXPECT_NE(out.find("有数据丢失"), std::string::npos) << out;
  EXPECT_NE(out.find("丢失"), out.rfind("有数据丢失")) << "no table says what it lost: " << out;

  testing_support::WriteBytes(dir.path() / "not_jet.sys", Bytes(3 * jet::kPageSize, 0x20));
  EXPECT_EQ(repair(dir.path() / "not_jet.sys", dir.path() / "none.sys", &out), 2) << out;
  EXPECT_FALSE(fs::exists(dir.path() / "none.sys"));
}

}  // namespace

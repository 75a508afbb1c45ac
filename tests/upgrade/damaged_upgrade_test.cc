// Damaged files handed to a writer, as old customer files are: cut short, a page of zeros, a
// few scribbled bytes, two pages swapped, a usage map that lists pages past the end, and the
// same aimed at the tables an upgrade never writes (Customer's rows and memo values, a
// ContactPerson page, the catalog). Each damage is applied to a copy of demo data (the data
// file or the template, then upgraded) or of an Access-written fixture (then copied with
// SELECT INTO). For every damaged copy:
//  - the write either completes and the checker finds nothing it did not find before, or it
//    is refused and the file is byte for byte as it was;
//  - a damaged data file is upgraded only where the checker finds no damage in it: the
//    upgrade checks the data file whole, not only what it reads and writes;
//  - reading any table either returns every row the undamaged file has or fails, and where
//    it fails the checker finds the file damaged;
//  - nothing crashes or hangs (each case runs in a child process with a time limit).
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "db/db_connection.h"
#include "jet/error.h"
#include "jet/format/data_page.h"
#include "jet/format/page_size.h"
#include "jet/format/rc4.h"
#include "jet/format/row_reader.h"
#include "jet/format/usage_map.h"
#include "jet/table/checker.h"
#include "jet/table/database.h"
#include "jet/table/index_tree.h"
#include "jet/table/stored_rows.h"
#include "jet/table/table.h"
#include "tests/test_support.h"
#include "tests/upgrade/upgrade_test_support.h"
#include "tools/demo/demo_data.h"
#include "upgrade/product_database.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using testing_support::ReadBytes;
using testing_support::ScratchDir;
using testing_support::WriteBytes;

// Rows per table of an undamaged file, and what the checker finds in a file (the failure to
// open it, for a file it cannot), places left out so the same finding after a write compares
// equal.
using RowCounts = std::map<std::string, size_t>;

RowCounts CountRows(const fs::path& path, const std::string& password) {
  RowCounts counts;
  auto db = jet::Database::Open(path, password);
  for (const jet::CatalogEntry& e : db->catalog().entries()) {
    if (e.kind != jet::ObjectKind::kUserTable && e.kind != jet::ObjectKind::kSystemTable) continue;
    size_t rows = 0;
    db->OpenTable(e).Scan([&](jet::RowPointer, const std::vector<jet::Value>&) {
      ++rows;
      return true;
    });
    counts[e.name] = rows;
  }
  return counts;
}

std::multiset<jet::Finding> Findings(const fs::path& path, const std::string& password) {
  try {
    return jet::CheckDatabase(*jet::Database::Open(path, password)).FindingsWithoutPlaces();
  } catch (const jet::JetError& e) {
    return {jet::FindingOf(e).WithoutPlaces()};
  }
}

// What reading every table of a damaged file gives: the tables that returned a different
// number of rows than the undamaged file has without failing, and those that failed.
struct Reads {
  std::vector<std::string> short_reads;
  std::vector<std::string> failed;
};

Reads ReadAll(const fs::path& path, const std::string& password, const RowCounts& whole) {
  Reads reads;
  std::unique_ptr<jet::Database> db;
  try {
    db = jet::Database::Open(path, password);
  } catch (const jet::JetError&) {
    return reads;
  }
  for (const auto& [table, rows] : whole) {
    size_t read = 0;
    try {
      db->OpenTable(table).Scan([&](jet::RowPointer, const std::vector<jet::Value>&) {
        ++read;
        return true;
      });
    } catch (const jet::JetError&) {
      reads.failed.push_back(table);
      continue;
    }
    if (read != rows) {
      reads.short_reads.push_back(table + " read " + std::to_string(read) + " of " +
                                  std::to_string(rows));
    }
  }
  return reads;
}

// Whether the checker finds damage in the file (a file it cannot even open is damaged).
bool CheckerFindsDamage(const fs::path& path, const std::string& password) {
  try {
    auto db = jet::Database::Open(path, password);
    return !jet::CheckDatabase(*db).ok();
  } catch (const jet::JetError&) {
    return true;
  }
}

// --- The damages -------------------------------------------------------------------------

struct Damage {
  std::string name;
  std::function<void(Bytes&)> apply;
};

// Marks page `past_end` (beyond the file) as owned in `table`'s owned-pages map, working on
// the decoded page and putting the page cipher back.
void ListPagePastEnd(const fs::path& original, const std::string& password, Bytes& bytes,
                     const std::string& table, uint32_t past_end) {
  auto db = jet::Database::Open(original, password);
  const jet::RowPointer map =
      db->Definition(db->catalog().FindTable(table)->DefinitionPage()).owned_pages;
  jet::PinnedView page = db->pager().Page(map.page);
  const size_t at =
      static_cast<size_t>(jet::DataPageReader(page).Row(map.row).bytes.data() - page.data());
  const uint32_t key = db->header().database_key;
  jet::PageBuffer buffer{};
  std::memcpy(buffer.data(), bytes.data() + size_t{map.page} * jet::kPageSize, jet::kPageSize);
  if (key != 0) jet::ApplyPageCipher(key, map.page, buffer);
  if (buffer[at] == jet::usage_map::kInline) {
    uint32_t start = jet::ByteView(buffer.data(), buffer.size()).U32(at + 1);
    uint32_t bit = past_end - start;
    if (past_end < start || bit >= jet::usage_map::kInlineBitmapBytes * 8) return;
    buffer[at + 5 + bit / 8] |= static_cast<uint8_t>(1 << (bit % 8));
  } else {
    buffer[at + 1] = static_cast<uint8_t>(past_end);  // a bitmap page past the end
    buffer[at + 2] = static_cast<uint8_t>(past_end >> 8);
    buffer[at + 3] = static_cast<uint8_t>(past_end >> 16);
    buffer[at + 4] = 0;
  }
  if (key != 0) jet::ApplyPageCipher(key, map.page, buffer);
  std::memcpy(bytes.data() + size_t{map.page} * jet::kPageSize, buffer.data(), jet::kPageSize);
}

// Where the stored bytes of `column` are in the file (the page's decoded bytes, which a byte
// flipped in the file flips alike), in the row of `table` whose `key_column` reads `key`.
size_t FieldOffset(jet::Database& db, const std::string& table, const std::string& column,
                   const std::string& key_column, const std::string& key) {
  jet::Table t = db.OpenTable(table);
  const jet::TableDefinition& def = t.definition();
  const size_t position = def.RequireColumn(column), key_position = def.RequireColumn(key_column);
  jet::RowPointer where;
  t.Scan([&](jet::RowPointer at, const std::vector<jet::Value>& values) {
    if (jet::ValueToText(values[key_position]) != key) return true;
    where = at;
    return false;
  });
  EXPECT_NE(where.page, 0u) << "no row of " << table << " has " << key_column << " " << key;
  jet::PinnedView page = db.pager().Page(where.page);
  jet::PinnedView row = jet::ReadStoredRow(db.pager(), where);
  const jet::ByteView bytes = jet::SplitRow(def, row)[position].bytes;
  return size_t{where.page} * jet::kPageSize + static_cast<size_t>(bytes.data() - page.data());
}

Damage Zeroed(const std::string& what, uint32_t page) {
  return {what + " (page " + std::to_string(page) + ") zeroed", [page](Bytes& b) {
            std::fill_n(b.begin() + size_t{page} * jet::kPageSize, jet::kPageSize, 0);
          }};
}

Damage Scribbled(const std::string& what, size_t at) {
  return {"a byte of " + what + " scribbled", [at](Bytes& b) { b.at(at) ^= 0x5A; }};
}

Damage Swapped(const std::string& what, uint32_t p, uint32_t q) {
  return {what + " (pages " + std::to_string(p) + " and " + std::to_string(q) + ") swapped",
          [p, q](Bytes& b) {
            std::swap_ranges(b.begin() + size_t{p} * jet::kPageSize,
                             b.begin() + size_t{p + 1} * jet::kPageSize,
                             b.begin() + size_t{q} * jet::kPageSize);
          }};
}

// Damage to the tables of a data file that an upgrade neither reads nor writes, beyond
// their definitions: their rows, memo values and index pages, and the catalog's rows.
std::vector<Damage> DamagesWhereTheUpgradeDoesNotLook(const fs::path& original,
                                                      const std::string& password) {
  auto db = jet::Database::Open(original, password);
  auto data_pages = [&](const std::string& table, size_t at_least) {
    std::vector<uint32_t> pages = db->OpenTable(table).OwnedPages();
    EXPECT_GE(pages.size(), at_least) << table;
    return pages;
  };
  const std::vector<uint32_t> customer = data_pages("Customer", 2);
  const std::vector<uint32_t> contacts = data_pages("ContactPerson", 2);
  const std::vector<uint32_t> sales = data_pages("Sale", 1);
  const jet::TableDefinition& def = db->OpenTable("Customer").definition();
  const uint16_t notes = def.columns.at(def.RequireColumn("notes")).id;
  std::vector<uint32_t> memos;
  for (const jet::LongValueMaps& m : def.long_value_maps) {
    if (m.column_id == notes) memos = jet::ReadUsageMap(db->pager(), m.owned);
  }
  EXPECT_FALSE(memos.empty()) << "Customer's notes hold no memo pages";
  const uint32_t customer_index = jet::ReadIndexTree(db->pager(), def.real_indexes.at(0).root_page,
                                                     db->OpenTable("Customer").definition_page())
                                      .leaves.back();
  const size_t contact_page = size_t{contacts[1]} * jet::kPageSize;
  const jet::RowPointer first_contact = [&] {
    jet::RowPointer at;
    db->OpenTable("ContactPerson").ScanStored([&](jet::RowPointer where, jet::ByteView) {
      at = where;
      return where.page != contacts[1];
    });
    return at;
  }();
  const size_t first_contact_at =
      static_cast<size_t>(jet::ReadStoredRow(db->pager(), first_contact).data() -
                          db->pager().Page(first_contact.page).data());
  return {
      Zeroed("a page of Customer's rows", customer[customer.size() / 2]),
      Zeroed("a page of Customer's memo values", memos[memos.size() / 2]),
      Zeroed("a leaf of Customer's primary key", customer_index),
      Scribbled("a ContactPerson page's row count", contact_page + jet::data_page::kRowCount),
      Scribbled("a ContactPerson page's first row slot", contact_page + jet::data_page::kSlots + 1),
      Scribbled("a ContactPerson row's column count",
                size_t{first_contact.page} * jet::kPageSize + first_contact_at),
      Scribbled("the catalog row of Sale, where its definition is",
                FieldOffset(*db, "MSysObjects", "Id", "Name", "Sale")),
      Scribbled("the catalog row of Customer, where its definition is",
                FieldOffset(*db, "MSysObjects", "Id", "Name", "Customer") + 1),
      Swapped("a page of Customer's rows and one of ContactPerson's", customer.front(),
              contacts.back()),
      Swapped("a page of Customer's memo values and one of Sale's rows", memos.front(),
              sales.front()),
      Swapped("a leaf of Customer's primary key and a page of ContactPerson's rows", customer_index,
              contacts.front()),
  };
}

// `count` damages of every kind, drawn from a fixed seed, for a file of `pages` pages.
std::vector<Damage> DamagesFor(const fs::path& original, const std::string& password,
                               const std::vector<std::string>& tables, size_t count,
                               uint32_t seed) {
  const uint32_t pages = static_cast<uint32_t>(fs::file_size(original) / jet::kPageSize);
  std::mt19937 rng(seed);
  auto page = [&](uint32_t from) { return from + rng() % (pages - from); };
  std::vector<Damage> out;
  for (size_t i = 0; out.size() < count; ++i) {
    switch (i % 6) {
      case 0: {  // cut at a page boundary (half the file, or anywhere)
        uint32_t keep = i % 12 == 0 ? pages / 2 : page(3);
        out.push_back({"cut to " + std::to_string(keep) + " pages",
                       [keep](Bytes& b) { b.resize(size_t{keep} * jet::kPageSize); }});
        break;
      }
      case 1: {  // cut inside a page
        size_t keep = size_t{page(3)} * jet::kPageSize + 1 + rng() % (jet::kPageSize - 1);
        out.push_back(
            {"cut to " + std::to_string(keep) + " bytes", [keep](Bytes& b) { b.resize(keep); }});
        break;
      }
      case 2: {  // a page of zeros
        uint32_t p = page(1);
        out.push_back({"page " + std::to_string(p) + " zeroed", [p](Bytes& b) {
                         std::fill_n(b.begin() + size_t{p} * jet::kPageSize, jet::kPageSize, 0);
                       }});
        break;
      }
      case 3: {  // a few scribbled bytes in one page
        uint32_t p = page(1);
        std::vector<std::pair<size_t, uint8_t>> scribbles;
        for (int k = 1 + rng() % 8; k > 0; --k) {
          scribbles.emplace_back(size_t{p} * jet::kPageSize + rng() % jet::kPageSize,
                                 static_cast<uint8_t>(rng()));
        }
        out.push_back({"page " + std::to_string(p) + " scribbled", [scribbles](Bytes& b) {
                         for (auto [at, value] : scribbles) b[at] ^= value | 1;
                       }});
        break;
      }
      case 4: {  // two pages swapped
        uint32_t p = page(1), q = page(1);
        if (p == q) continue;
        out.push_back({"pages " + std::to_string(p) + " and " + std::to_string(q) + " swapped",
                       [p, q](Bytes& b) {
                         std::swap_ranges(b.begin() + size_t{p} * jet::kPageSize,
                                          b.begin() + size_t{p + 1} * jet::kPageSize,
                                          b.begin() + size_t{q} * jet::kPageSize);
                       }});
        break;
      }
      case 5: {  // a table's usage map lists a page past the end
        const std::string table = tables[rng() % tables.size()];
        uint32_t past = pages + rng() % 4;
        out.push_back({table + "'s map lists page " + std::to_string(past),
                       [=](Bytes& b) { ListPagePastEnd(original, password, b, table, past); }});
        break;
      }
    }
  }
  return out;
}

// --- One case ----------------------------------------------------------------------------

enum Outcome {
  kUpgraded,
  kRefusedUnchanged,
  kNewFindings,
  kChangedAndFailed,
  kShortRead,
  kCrashOrHang,
  kDamageMissed,
  kDamagedFileWritten
};
const char* const kOutcomeNames[] = {"upgraded cleanly",
                                     "refused unchanged",
                                     "written, new findings",
                                     "failed after writing",
                                     "read short",
                                     "crash or hang",
                                     "a table fails to read, the checker finds no damage",
                                     "written though the checker finds it damaged"};

// What the write is held to besides the rule every write keeps.
enum class Check {
  kWhatItTouches,  // the write checks what it reads and writes
  kWholeFile,      // the write checks the damaged file whole first: no damage, no write
};

// Reads the `damaged` file, then runs `write`, which changes `written` (the damaged file
// itself, or the data file a damaged template is read into), in a child process, and
// classifies what happened.
Outcome RunCase(const fs::path& damaged, const fs::path& written, const std::string& password,
                const RowCounts& whole, Check check, const std::function<bool()>& write,
                std::string& detail) {
  testing_support::ChildReport child = testing_support::RunInChild([&]() -> std::string {
    alarm(60);
    const Reads reads = ReadAll(damaged, password, whole);
    if (!reads.short_reads.empty()) {
      return std::to_string(kShortRead) + " " + reads.short_reads.front();
    }
    const bool damage_found = CheckerFindsDamage(damaged, password);
    if (!reads.failed.empty() && !damage_found) {
      return std::to_string(kDamageMissed) + " " + reads.failed.front();
    }
    const Bytes before = ReadBytes(written);
    const std::multiset<jet::Finding> found = Findings(written, password);
    bool done = false;
    try {
      done = write();
    } catch (const std::exception&) {
    }
    if (!done) {
      return std::to_string(ReadBytes(written) == before ? kRefusedUnchanged : kChangedAndFailed);
    }
    if (check == Check::kWholeFile && damage_found) return std::to_string(kDamagedFileWritten);
    for (const jet::Finding& f : Findings(written, password)) {
      if (!found.count(f)) return std::to_string(kNewFindings) + " " + f.Text();
    }
    return std::to_string(kUpgraded);
  });
  if (!child.finished || child.text.empty()) {
    detail = " signal " + std::to_string(child.signal);
    return kCrashOrHang;
  }
  std::istringstream in(child.text);
  int outcome = 0;
  in >> outcome;
  std::getline(in, detail);
  return static_cast<Outcome>(outcome);
}

class DamagedWrite : public ::testing::Test {
 protected:
  void Tally(const std::string& what, Outcome outcome, const std::string& detail) {
    ++counts_[outcome];
    if (outcome != kUpgraded && outcome != kRefusedUnchanged) {
      ADD_FAILURE() << what << ": " << kOutcomeNames[outcome] << detail;
    }
  }
  void Report(const std::string& title) {
    std::printf("%s:", title.c_str());
    for (const auto& [outcome, n] : counts_) std::printf(" %s %zu;", kOutcomeNames[outcome], n);
    std::printf("\n");
  }

  ScratchDir dir_;
  std::map<Outcome, size_t> counts_;
};

// The copy an interrupted transfer leaves: half the data file. A table whose pages are gone
// cannot be counted, and the upgrade is refused before its first write with a message that
// says the file is damaged, where, and what to do about it.
TEST_F(DamagedWrite, HalfADataFileIsRefusedAsItIs) {
  const fs::path program = dir_.path() / "program";
  WriteDemoData(program, DemoOptions{200, 300, 2052});
  const fs::path data = DemoDataFilePath(program);
  Bytes bytes = ReadBytes(data);
  bytes.resize(bytes.size() / 2 / jet::kPageSize * jet::kPageSize);
  WriteBytes(data, bytes);
  EXPECT_THROW(
      jet::Database::Open(data, upgrade::kDatabasePassword)->OpenTable("Customer").CountRows(),
      jet::JetError);

  upgrade_test::Harness h(data, DemoTemplatePath(program));
  const upgrade::UpgradeSummary s = h.Run();
  EXPECT_FALSE(s.succeeded);
  for (const char* said :
       {"已损坏", "（表 '", "文件没有被修改", "jetdb repair", "压缩和修复数据库", "备份"}) {
    EXPECT_NE(s.failure.find(said), std::string::npos) << s.failure;
  }
  EXPECT_TRUE(testing_support::ForeignWords(s.failure).empty()) << s.failure;
  EXPECT_EQ(ReadBytes(data), bytes);
}

// Upgrades damaged copies of demo data: 161 damaged data files (11 of them damaged where the
// upgrade does not look), 30 damaged templates.
TEST_F(DamagedWrite, UpgradeOfDamagedDemoData) {
  const fs::path whole = dir_.path() / "whole";
  WriteDemoData(whole, DemoOptions{60, 300, 2052});
  const fs::path program = dir_.path() / "program";
  const std::string password = upgrade::kDatabasePassword;
  for (bool template_damaged : {false, true}) {
    const fs::path original = template_damaged ? DemoTemplatePath(whole) : DemoDataFilePath(whole);
    const RowCounts rows = CountRows(original, password);
    const std::vector<std::string> tables =
        template_damaged
            ? std::vector<std::string>{"search", "sj", "zdy", "sfz"}
            : std::vector<std::string>{"search", "Customer", "ContactPerson", "MSysObjects"};
    const Bytes bytes = ReadBytes(original);
    std::vector<Damage> damages =
        DamagesFor(original, password, tables, template_damaged ? 30 : 150, 19);
    if (!template_damaged) {
      for (Damage& d : DamagesWhereTheUpgradeDoesNotLook(original, password)) {
        damages.push_back(std::move(d));
      }
    }
    for (const Damage& damage : damages) {
      fs::remove_all(program);
      fs::create_directories(program / "sys");
      fs::copy_file(DemoTemplatePath(whole), DemoTemplatePath(program));
      fs::copy_file(DemoDataFilePath(whole), DemoDataFilePath(program));
      const fs::path target =
          template_damaged ? DemoTemplatePath(program) : DemoDataFilePath(program);
      Bytes damaged = bytes;
      damage.apply(damaged);
      WriteBytes(target, damaged);
      const fs::path data = DemoDataFilePath(program);
      std::string detail;
      // The data file is the customer's and checked whole; the template is checked in what
      // the run copies from it.
      const Outcome outcome = RunCase(
          target, data, password, rows,
          template_damaged ? Check::kWhatItTouches : Check::kWholeFile,
          [&] {
            upgrade_test::Harness h(data, DemoTemplatePath(program));
            return h.Run().succeeded;
          },
          detail);
      Tally((template_damaged ? "template, " : "data file, ") + damage.name, outcome, detail);
    }
  }
  Report("damaged demo data, upgraded");
}

// Copies the largest table of damaged Access-written files with SELECT INTO.
TEST_F(DamagedWrite, CopyOutOfDamagedFixtures) {
  SKIP_WITHOUT_FIXTURES();
  for (const char* name : {"northwind2000.mdb", "jackcess_test2_2000.mdb",
                           "bbs_chinese_longmemo.mdb", "linq2db_testdata.mdb"}) {
    const fs::path original = testing_support::Fixture(name);
    const RowCounts rows = CountRows(original, "");
    std::string largest;
    std::vector<std::string> tables;
    for (const auto& [table, n] : rows) {
      if (table.rfind("MSys", 0) == 0) continue;
      tables.push_back(table);
      if (largest.empty() || n > rows.at(largest)) largest = table;
    }
    const Bytes bytes = ReadBytes(original);
    for (const Damage& damage : DamagesFor(original, "", tables, 12, 7)) {
      const fs::path target = dir_.path() / name;
      Bytes damaged = bytes;
      damage.apply(damaged);
      WriteBytes(target, damaged);
      std::string detail;
      const Outcome outcome = RunCase(
          target, target, "", rows, Check::kWhatItTouches,
          [&] {
            db::DbConnection c;
            c.Connect(upgrade::ConnectionStringFor(target.string()));
            c.RunStatement("SELECT * INTO zz_copy FROM [" + largest + "]");
            return true;
          },
          detail);
      Tally(std::string(name) + ", " + damage.name, outcome, detail);
      fs::remove(target);
    }
  }
  Report("damaged fixtures, copied with SELECT INTO");
}

}  // namespace

// Every damage check holds a case of its own. A generator damages a small database in the one
// way a check is for, and the case runs only the layer the check belongs to:
//  - the definition decoder: opening the table is refused as a damaged definition;
//  - the check before the first write (FindFirstDamage, with the tables the case says are
//    changed and read): the first damage it finds is the problem that check raises and, where
//    the damage is on one page, names that page; and the writer is refused, quoting it;
//  - the consistency check behind `jetdb check`, the page census included: exactly the
//    damage the case names, nothing else (and the notes it names).
// Each damage is one no other check of the same layer refuses: with its check taken out, the
// case fails. And the check of a whole file before an upgrade changes it refuses every case
// of damage, of every layer, and passes every case that is only a note. (Damage in general,
// random and in combinations, is damaged_input_test's and damaged_upgrade_test's.)
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "jet/error.h"
#include "jet/format/data_page.h"
#include "jet/format/index_page.h"
#include "jet/format/long_value.h"
#include "jet/format/row_reader.h"
#include "jet/format/usage_map.h"
#include "jet/table/checker.h"
#include "jet/table/database.h"
#include "jet/table/database_creator.h"
#include "jet/table/definition_writer.h"
#include "jet/table/index_tree.h"
#include "jet/table/schema_change.h"
#include "jet/table/stored_rows.h"
#include "jet/table/table.h"
#include "jet/table/table_writer.h"
#include "jet/table/usage_map_editor.h"
#include "tests/clean_file.h"
#include "tests/test_support.h"

namespace {

using jet::ColumnType;
using jet::Database;
using jet::Pager;
using jet::Problem;
using jet::RowPointer;
using jet::TableDefinition;
using jet::Value;
using testing_support::ScratchDir;

// --- The small database ---------------------------------------------------------------
//
// Plain: fixed and variable columns, no index, no long value (40 rows).
// Keyed: a primary key and NameIdx, a plain index that keeps NULLs, over several leaves
//        (500 rows; row 7's name is NULL).
// Notes: a memo and an OLE column whose values lie on long-value pages (6 rows).
// Other: a plain table to bend maps and pointers onto (10 rows).

constexpr int kKeyedRows = 500;
constexpr int32_t kNullNameId = 7;

jet::NewColumn Column(const char* name, ColumnType type, uint16_t length = 0) {
  jet::NewColumn c;
  c.name = name;
  c.type = type;
  c.length = length;
  return c;
}

void Fill(Database& db, const std::string& table, int rows,
          const std::function<std::vector<Value>(int32_t)>& row) {
  jet::Transaction t(db);
  jet::TableWriter writer(db, db.catalog().FindTable(table)->DefinitionPage(), table);
  for (int32_t id = 1; id <= rows; ++id) writer.Insert(row(id));
  writer.Finish();
  t.Commit();
}

// `text` made `size` characters long with letters, which, unlike spaces, every key keeps.
std::string Padded(const std::string& text, size_t size) {
  return text + std::string(size - text.size(), 'x');
}

const std::vector<uint8_t>& SmallDatabase() {
  static const std::vector<uint8_t> bytes = [] {
    ScratchDir dir;
    const auto path = dir.path() / "small.mdb";
    jet::CreateDatabase(path, "");
    auto db = Database::Open(path, "", Pager::Mode::kReadWrite);
    {
      jet::Transaction t(*db);
      jet::CreateTable(
          *db, "Plain",
          {Column("ID", ColumnType::kLong), Column("Amount", ColumnType::kCurrency),
           Column("Stamp", ColumnType::kDateTime), Column("Name", ColumnType::kText, 50),
           Column("Remark", ColumnType::kText, 100)},
          {});
      jet::CreateTable(*db, "Keyed",
                       {Column("ID", ColumnType::kLong), Column("Name", ColumnType::kText, 40)},
                       {{"PrimaryKey", {{"ID", true}}, true, true, false},
                        {"NameIdx", {{"Name", true}}, false, false, false}});
      jet::CreateTable(*db, "Notes",
                       {Column("ID", ColumnType::kLong), Column("Memo", ColumnType::kMemo),
                        Column("Pic", ColumnType::kOle)},
                       {});
      jet::CreateTable(*db, "Other",
                       {Column("ID", ColumnType::kLong), Column("Name", ColumnType::kText, 20)},
                       {});
      t.Commit();
    }
    const Value money{jet::ValueKind::kCurrency, 12345, 0, {}, {}};
    const Value date{jet::ValueKind::kDateTime, 0, 45000.5, {}, {}};
    Fill(*db, "Plain", 40, [&](int32_t id) {
      return std::vector<Value>{Value::Long(id), money, date,
                                Value::Text("name " + std::to_string(id)), Value::Text("remark")};
    });
    Fill(*db, "Keyed", kKeyedRows, [](int32_t id) {
      // Long keys that share a prefix: several leaves under one node.
      std::string name = Padded("customer " + std::to_string(1000 + id) + " ", 36);
      return std::vector<Value>{Value::Long(id),
                                id == kNullNameId ? Value::Null() : Value::Text(name)};
    });
    Fill(*db, "Notes", 6, [](int32_t id) {
      std::vector<uint8_t> picture(3000, static_cast<uint8_t>(id));
      return std::vector<Value>{Value::Long(id), Value::Text(std::string(2000, 'a' + id)),
                                Value{jet::ValueKind::kBinary, 0, 0, {}, picture}};
    });
    Fill(*db, "Other", 10, [](int32_t id) {
      return std::vector<Value>{Value::Long(id), Value::Text("other " + std::to_string(id))};
    });
    db.reset();
    return testing_support::ReadBytes(path);
  }();
  return bytes;
}

template <typename Definition>  // const or not
auto& LongValueMapsOf(Definition& def, const std::string& column) {
  const uint16_t id = def.columns.at(def.RequireColumn(column)).id;
  for (auto& m : def.long_value_maps) {
    if (m.column_id == id) return m;
  }
  throw std::runtime_error("no long-value maps for " + column);
}

template <typename Definition>
auto& RealIndexNamed(Definition& def, const std::string& name) {
  for (const jet::LogicalIndex& li : def.logical_indexes) {
    if (li.name == name) return def.real_indexes.at(li.real_index);
  }
  throw std::runtime_error("no index " + name);
}

// --- Damaging it ------------------------------------------------------------------------

// A copy of the small database, open for writing through its pager alone: the damage goes
// in as one commit, past every check a writer makes.
class Damager {
 public:
  explicit Damager(const std::filesystem::path& path)
      : db_(Database::Open(path, "", Pager::Mode::kReadWrite)), pager_(db_->pager()) {
    pager_.Begin();
  }
  void Commit() { pager_.Commit(); }

  Database& db() { return *db_; }
  uint32_t page_count() const { return pager_.page_count(); }
  uint32_t Tdef(const std::string& table) {
    return db_->catalog().FindTable(table)->DefinitionPage();
  }
  const TableDefinition& Definition(const std::string& table) {
    return db_->Definition(Tdef(table));
  }

  // Rewrites a table's definition as `edit` leaves it.
  void EditDefinition(const std::string& table, const std::function<void(TableDefinition&)>& edit) {
    TableDefinition def = Definition(table);
    edit(def);
    jet::WriteDefinition(pager_, db_->allocator(), Tdef(table), def);
  }

  // Sets or clears `page`'s bit in the inline usage map stored at `map`.
  void SetMapBit(RowPointer map, uint32_t page, bool set = true) {
    jet::PinnedView row = jet::ReadStoredRow(pager_, map);
    const size_t at = OffsetOf(map.page, row);
    std::span<uint8_t> bytes = pager_.Modify(map.page);
    ASSERT_EQ(bytes[at], jet::usage_map::kInline);
    const uint32_t start = jet::ByteView(bytes.data(), bytes.size()).U32(at + 1);
    ASSERT_GE(page, start);
    ASSERT_LT(page - start, jet::usage_map::kInlineBitmapBytes * 8);
    const uint8_t bit = static_cast<uint8_t>(1 << ((page - start) % 8));
    uint8_t& byte = bytes[at + 5 + (page - start) / 8];
    byte = set ? (byte | bit) : (byte & ~bit);
  }
  void MarkFree(uint32_t page) { SetMapBit(RowPointer{1, 0}, page); }

  // A table's data pages (those its owned-pages map lists).
  std::vector<uint32_t> DataPages(const std::string& table) {
    return db_->OpenTable(table).OwnedPages();
  }
  std::vector<uint32_t> LongValuePages(const std::string& table, const std::string& column) {
    return MapPages(LongValueMapsOf(Definition(table), column).owned);
  }
  std::vector<uint32_t> MapPages(RowPointer map) { return jet::ReadUsageMap(pager_, map); }

  // The NameIdx tree of Keyed, and its usage map.
  jet::IndexTree NameIndex() {
    return jet::ReadIndexTree(pager_, RealIndexNamed(Definition("Keyed"), "NameIdx").root_page,
                              Tdef("Keyed"));
  }
  RowPointer NameIndexMap() { return RealIndexNamed(Definition("Keyed"), "NameIdx").usage_map; }

  // Rebuilds leaf `page` with the entries `edit` leaves it, its links kept.
  void EditLeaf(uint32_t page, const std::function<void(std::vector<jet::IndexEntry>&)>& edit) {
    jet::IndexPage leaf = jet::ReadIndexPage(pager_, page);
    ASSERT_TRUE(leaf.leaf);
    edit(leaf.entries);
    std::vector<std::vector<uint8_t>> bytes;
    for (const jet::IndexEntry& e : leaf.entries) bytes.push_back(jet::EncodeIndexEntry(e, true));
    jet::BuildIndexPage(pager_.Modify(page), true, 0, leaf.owner, leaf.previous, leaf.next,
                        leaf.tail, bytes);
  }

  // Where the stored bytes of `column` are, in the first row of `table` whose `key_column`
  // reads as `key` (its number, or its text).
  struct Field {
    RowPointer row;
    size_t offset = 0;  // in the row's page
    size_t size = 0;
  };
  Field FieldOf(const std::string& table, const std::string& column, const std::string& key_column,
                const std::string& key) {
    jet::Table t = db_->OpenTable(table);
    const TableDefinition& def = t.definition();
    const size_t position = def.RequireColumn(column), key_position = def.RequireColumn(key_column);
    Field field;
    t.Scan([&](RowPointer where, const std::vector<Value>& values) {
      if (jet::ValueToText(values[key_position]) != key) return true;
      field.row = where;
      return false;
    });
    EXPECT_NE(field.row.page, 0u) << "no such row in " << table;
    jet::PinnedView row = jet::ReadStoredRow(pager_, field.row);
    jet::ByteView bytes = jet::SplitRow(def, row)[position].bytes;
    field.offset = OffsetOf(field.row.page, bytes);
    field.size = bytes.size();
    return field;
  }
  std::span<uint8_t> Bytes(const Field& f) {
    return pager_.Modify(f.row.page).subspan(f.offset, f.size);
  }

  // Points the long value of Notes' memo in row `id` at a page past the end of the file.
  void BendMemoPastTheEnd(int32_t id) {
    Field memo = FieldOf("Notes", "Memo", "ID", std::to_string(id));
    ASSERT_NE(jet::DecodeLongValueHeader(jet::ByteView(Bytes(memo).data(), memo.size)).form,
              jet::LongValueForm::kInline);
    jet::PutU32(Bytes(memo).data() + 4, RowPointer{page_count() + 3, 0}.ToStored());
  }

 private:
  size_t OffsetOf(uint32_t page, jet::ByteView bytes) {
    return static_cast<size_t>(bytes.data() - pager_.Page(page).data());
  }

  std::unique_ptr<Database> db_;
  Pager& pager_;
};

// --- The cases --------------------------------------------------------------------------

enum class Layer { kDefinition, kBeforeWriting, kChecker };

// A finding of the consistency check: its problem, and the table it names ("" for one of
// the file as a whole).
struct Expected {
  Problem problem;
  std::string table;
};

struct DamageCase {
  std::string name;
  Layer layer;
  // Damages the database; returns the page the check names (0 where it names none).
  std::function<uint32_t(Damager&)> damage;
  std::string table;                       // kDefinition: the table whose definition is damaged
  std::vector<std::string> changed, read;  // kBeforeWriting: the tables a write would change, read
  Problem problem = Problem::kDamagedDefinition;  // kBeforeWriting: the problem the check raises
  std::vector<Expected> findings;                 // kChecker: the damage found, and notes among it

  bool IsDamage() const {
    return layer != Layer::kChecker ||
           std::any_of(findings.begin(), findings.end(), [](const Expected& e) {
             return jet::TextOf(e.problem).kind != jet::ErrorKind::kNote;
           });
  }
};

void PrintTo(const DamageCase& c, std::ostream* os) {
  *os << c.name;
}

DamageCase Definition(std::string name, std::string table,
                      std::function<void(TableDefinition&)> edit) {
  return {"Decoder_" + name,
          Layer::kDefinition,
          [table, edit](Damager& d) {
            d.EditDefinition(table, edit);
            return 0u;
          },
          table,
          {},
          {},
          Problem::kDamagedDefinition,
          {}};
}

DamageCase BeforeWriting(std::string name, std::vector<std::string> changed,
                         std::vector<std::string> read, Problem problem,
                         std::function<uint32_t(Damager&)> damage) {
  return {"BeforeWriting_" + name, Layer::kBeforeWriting, std::move(damage), "",
          std::move(changed),      std::move(read),       problem,           {}};
}

DamageCase Checker(std::string name, std::vector<Expected> findings,
                   std::function<uint32_t(Damager&)> damage) {
  return {"Checker_" + name,           Layer::kChecker,    std::move(damage), "", {}, {},
          Problem::kDamagedDefinition, std::move(findings)};
}

jet::ColumnDefinition& ColumnNamed(TableDefinition& def, const std::string& name) {
  return def.columns.at(def.RequireColumn(name));
}

const std::vector<DamageCase>& Cases() {
  static const std::vector<DamageCase> cases = {
      // The definition decoder.
      Definition("MemoFlaggedFixed", "Notes",
                 [](TableDefinition& t) {
                   ColumnNamed(t, "Memo").flags |= jet::ColumnDefinition::kFlagFixed;
                 }),
      Definition("OleFlaggedFixed", "Notes",
                 [](TableDefinition& t) {
                   ColumnNamed(t, "Pic").flags |= jet::ColumnDefinition::kFlagFixed;
                 }),
      Definition("ColumnIdAtTheNextColumnId", "Plain",
                 [](TableDefinition& t) { t.next_column_id = ColumnNamed(t, "Remark").id; }),
      Definition(
          "VariableSlotAtTheSlotCount", "Plain",
          [](TableDefinition& t) { t.variable_columns = ColumnNamed(t, "Remark").variable_index; }),
      Definition(
          "TwoColumnsOneId", "Plain",
          [](TableDefinition& t) { ColumnNamed(t, "Stamp").id = ColumnNamed(t, "Amount").id; }),
      Definition("TwoColumnsOneVariableSlot", "Plain",
                 [](TableDefinition& t) {
                   ColumnNamed(t, "Remark").variable_index = ColumnNamed(t, "Name").variable_index;
                 }),
      // Not at one start: only the bytes past the first column's start are shared.
      Definition("FixedAreasOverlapInPart", "Plain",
                 [](TableDefinition& t) {
                   ColumnNamed(t, "Stamp").fixed_offset = ColumnNamed(t, "Amount").fixed_offset + 4;
                 }),
      Definition(
          "IndexOnAColumnNotThere", "Keyed",
          [](TableDefinition& t) { RealIndexNamed(t, "NameIdx").columns.at(0).column_id = 99; }),
      Definition(
          "LongValueColumnListedTwice", "Notes",
          [](TableDefinition& t) { t.long_value_maps.push_back(LongValueMapsOf(t, "Memo")); }),

      // The check before the first write.
      BeforeWriting("LongValueMapPastTheEnd", {"Plain"}, {}, Problem::kDamagedUsageMapPastEnd,
                    [](Damager& d) {
                      d.SetMapBit(LongValueMapsOf(d.Definition("Notes"), "Memo").free,
                                  d.page_count() + 2);
                      return d.page_count() + 2;
                    }),
      BeforeWriting("IndexRootPastTheEnd", {"Plain"}, {}, Problem::kDamagedIndexPagePastEnd,
                    [](Damager& d) {
                      const uint32_t past = d.page_count() + 5;
                      d.EditDefinition("Keyed", [&](TableDefinition& t) {
                        RealIndexNamed(t, "NameIdx").root_page = past;
                      });
                      return past;
                    }),
      BeforeWriting("TwoCatalogRowsOneDefinition", {"Plain"}, {}, Problem::kDamagedSharedDefinition,
                    [](Damager& d) {
                      const uint32_t plain = d.Tdef("Plain");
                      auto id = d.FieldOf("MSysObjects", "Id", "Name", "Other");
                      std::span<uint8_t> bytes = d.Bytes(id);
                      jet::PutU32(bytes.data(),
                                  (jet::ByteView(bytes.data(), 4).U32(0) & 0xFF000000u) | plain);
                      return plain;
                    }),
      BeforeWriting("DefinitionRunsOnIntoAnother", {"Plain"}, {}, Problem::kDamagedDefinitionChain,
                    [](Damager& d) {
                      const uint32_t other = d.Tdef("Other");
                      jet::PutU32(
                          d.db().pager().Modify(d.Tdef("Plain")).data() + jet::tdef::kNextPage,
                          other);
                      return other;
                    }),
      // A free-space map is one of the maps that must each have a row of their own.
      BeforeWriting("FreeSpaceMapOnAnotherTablesMap", {"Keyed"}, {}, Problem::kDamagedUsageMap,
                    [](Damager& d) {
                      const RowPointer plain = d.Definition("Plain").owned_pages;
                      d.EditDefinition("Other", [&](TableDefinition& t) { t.free_pages = plain; });
                      return plain.page;
                    }),
      BeforeWriting("OwnedMapListsAnotherTablesPage", {"Plain"}, {}, Problem::kDamagedForeignPage,
                    [](Damager& d) {
                      const uint32_t page = d.DataPages("Other").at(0);
                      d.SetMapBit(d.Definition("Plain").owned_pages, page);
                      return page;
                    }),
      BeforeWriting("FreeSpaceMapListsAnotherTablesPage", {"Plain"}, {},
                    Problem::kDamagedForeignPage,
                    [](Damager& d) {
                      const uint32_t page = d.DataPages("Other").at(0);
                      d.SetMapBit(d.Definition("Plain").free_pages, page);
                      return page;
                    }),
      BeforeWriting("LongValueMapListsADataPage", {"Notes"}, {}, Problem::kDamagedNotLongValuePage,
                    [](Damager& d) {
                      const uint32_t page = d.DataPages("Plain").at(0);
                      d.SetMapBit(LongValueMapsOf(d.Definition("Notes"), "Memo").owned, page);
                      return page;
                    }),
      BeforeWriting("ChangedTablesLongValueLeadsOutside", {"Notes"}, {},
                    Problem::kDamagedLongValueOutsideMap,
                    [](Damager& d) {
                      d.BendMemoPastTheEnd(3);
                      return d.page_count() + 3;
                    }),
      BeforeWriting("ReadTablesLongValueLeadsOutside", {}, {"Notes"},
                    Problem::kDamagedLongValueOutsideMap,
                    [](Damager& d) {
                      d.BendMemoPastTheEnd(3);
                      return d.page_count() + 3;
                    }),
      BeforeWriting("LeafLinkSkipsALeaf", {"Keyed"}, {}, Problem::kDamagedIndexStructure,
                    [](Damager& d) {
                      const std::vector<uint32_t> leaves = d.NameIndex().leaves;
                      jet::PutU32(
                          d.db().pager().Modify(leaves.at(0)).data() + jet::index_page::kNext,
                          leaves.at(2));
                      return leaves[0];
                    }),
      BeforeWriting("IndexEntriesOutOfOrder", {"Keyed"}, {}, Problem::kDamagedIndexOrder,
                    [](Damager& d) {
                      const uint32_t leaf = d.NameIndex().leaves.at(1);
                      d.EditLeaf(leaf,
                                 [](auto& entries) { std::swap(entries.at(2), entries.at(3)); });
                      return leaf;
                    }),
      BeforeWriting("IndexEntryForARowNotThere", {"Keyed"}, {}, Problem::kDamagedIndexEntryNoRow,
                    [](Damager& d) {
                      // The row goes, its entries stay: the slot is flagged deleted.
                      auto id = d.FieldOf("Keyed", "ID", "ID", "99");
                      std::span<uint8_t> page = d.db().pager().Modify(id.row.page);
                      const size_t slot = jet::data_page::kSlots + 2 * size_t{id.row.row};
                      page[slot + 1] |= 0xC0;
                      return id.row.page;
                    }),
      BeforeWriting("IndexPageMissingFromItsMap", {"Keyed"}, {}, Problem::kDamagedIndexStructure,
                    [](Damager& d) {
                      const uint32_t leaf = d.NameIndex().leaves.at(1);
                      d.SetMapBit(d.NameIndexMap(), leaf, false);
                      return leaf;
                    }),

      // The consistency check.
      // A note, not damage: Access leaves such counts.
      Checker("RowCountDisagrees", {{Problem::kNoteRowCount, "Plain"}},
              [](Damager& d) {
                d.EditDefinition("Plain", [](TableDefinition& t) { ++t.row_count; });
                return 0u;
              }),
      Checker("KeyDisagreesWithItsRow", {{Problem::kDamagedIndexKey, "Keyed"}},
              [](Damager& d) {
                auto name = d.FieldOf("Keyed", "Name", "ID", "42");
                std::span<uint8_t> bytes = d.Bytes(name);
                // The last character, stored compressed or as UTF-16 (its low byte).
                const bool compressed = bytes[0] == 0xFF && bytes[1] == 0xFE;
                bytes[bytes.size() - (compressed ? 1 : 2)] ^= 0x01;
                return 0u;
              }),
      Checker("RowWithoutAnEntry", {{Problem::kDamagedIndexEntryMissing, "Keyed"}},
              [](Damager& d) {
                d.EditLeaf(d.NameIndex().leaves.at(1),
                           [](auto& entries) { entries.erase(entries.begin() + 3); });
                return 0u;
              }),
      // NameIdx does not ignore NULLs: a row whose name is NULL has its entry too.
      Checker("NullRowWithoutAnEntry", {{Problem::kDamagedIndexEntryMissing, "Keyed"}},
              [](Damager& d) {
                auto null_row = d.FieldOf("Keyed", "ID", "ID", std::to_string(kNullNameId));
                const uint32_t leaf = d.NameIndex().leaves.at(0);
                d.EditLeaf(leaf, [&](auto& entries) {
                  auto it = std::find_if(entries.begin(), entries.end(),
                                         [&](const auto& e) { return e.row == null_row.row; });
                  ASSERT_NE(it, entries.end()) << "the NULL key's entry is not first";
                  entries.erase(it);
                });
                return 0u;
              }),
      Checker("TwoEntriesForOneRow",
              {{Problem::kDamagedIndexEntryTwice, "Keyed"},
               {Problem::kDamagedIndexEntryMissing, "Keyed"},
               {Problem::kDamagedIndexKey, "Keyed"}},
              [](Damager& d) {
                d.EditLeaf(d.NameIndex().leaves.at(1),
                           [](auto& entries) { entries.at(3).row = entries.at(2).row; });
                return 0u;
              }),
      Checker("EntryForARowNotThere", {{Problem::kDamagedIndexEntryNoRow, "Keyed"}},
              [](Damager& d) {
                // In the last leaf, which the others' splits left with room.
                d.EditLeaf(d.NameIndex().leaves.back(), [](auto& entries) {
                  jet::IndexEntry extra = entries.at(0);
                  extra.row.row = 250;
                  entries.insert(entries.begin() + 1, extra);
                });
                return 0u;
              }),
      Checker("EntriesOutOfOrder", {{Problem::kDamagedIndexOrder, "Keyed"}},
              [](Damager& d) {
                d.EditLeaf(d.NameIndex().leaves.at(1),
                           [](auto& entries) { std::swap(entries.at(2), entries.at(3)); });
                return 0u;
              }),
      Checker("IndexPageMissingFromItsMap",
              {{Problem::kDamagedIndexStructure, "Keyed"}, {Problem::kNoteLeakedPages, ""}},
              [](Damager& d) {
                d.SetMapBit(d.NameIndexMap(), d.NameIndex().leaves.at(1), false);
                return 0u;
              }),
      Checker("LeafLinkSkipsALeaf", {{Problem::kDamagedIndexStructure, "Keyed"}},
              [](Damager& d) {
                const std::vector<uint32_t> leaves = d.NameIndex().leaves;
                jet::PutU32(d.db().pager().Modify(leaves.at(0)).data() + jet::index_page::kNext,
                            leaves.at(2));
                return 0u;
              }),
      // The catalog's own row says it is something else: it is checked all the same.
      Checker("CatalogHiddenByItsOwnRow", {{Problem::kDamagedCatalogNotListed, "MSysObjects"}},
              [](Damager& d) {
                auto type = d.FieldOf("MSysObjects", "Type", "Name", "MSysObjects");
                d.Bytes(type)[0] = 3;
                return 0u;
              }),
      // The page census.
      Checker("PageClaimedTwice", {{Problem::kDamagedPageClaimedTwice, ""}},
              [](Damager& d) {
                d.SetMapBit(d.NameIndexMap(), d.DataPages("Plain").at(0));
                return 0u;
              }),
      // Two maps on one row, though neither lists a page another claims.
      Checker("TwoMapsOneRow", {{Problem::kDamagedUsageMapShared, ""}},
              [](Damager& d) {
                const RowPointer pic = LongValueMapsOf(d.Definition("Notes"), "Pic").free;
                EXPECT_TRUE(d.MapPages(pic).empty());
                d.EditDefinition("Other", [&](TableDefinition& t) { t.free_pages = pic; });
                return 0u;
              }),
      Checker("LongValuePageMarkedFree", {{Problem::kDamagedPageClaimedAndFree, ""}},
              [](Damager& d) {
                d.MarkFree(d.LongValuePages("Notes", "Pic").at(0));
                return 0u;
              }),
      Checker("IndexPageMarkedFree", {{Problem::kDamagedPageClaimedAndFree, ""}},
              [](Damager& d) {
                d.MarkFree(d.NameIndex().leaves.at(1));
                return 0u;
              }),
      // The maps of a table are the table's checks', the census leaves them out.
      Checker("FreeSpaceMapUnreadable", {{Problem::kDamagedDataPage, "Other"}},
              [](Damager& d) {
                d.EditDefinition("Other", [](TableDefinition& t) { t.free_pages.row = 200; });
                return 0u;
              }),
      Checker("LongValueMapUnreadable", {{Problem::kDamagedDataPage, "Notes"}},
              [](Damager& d) {
                d.EditDefinition(
                    "Notes", [](TableDefinition& t) { LongValueMapsOf(t, "Pic").free.row = 200; });
                return 0u;
              }),
      // Rows go on the pages a free-space map lists, long values on those of their column's
      // maps: each must be a page of that kind, though no other structure claims it.
      Checker("FreeSpaceMapListsAStrayPage", {{Problem::kDamagedPageType, "Plain"}},
              [](Damager& d) {
                d.SetMapBit(d.Definition("Plain").free_pages, d.db().allocator().Allocate());
                return 0u;
              }),
      Checker("LongValueMapListsAStrayPage", {{Problem::kDamagedNotLongValuePage, "Notes"}},
              [](Damager& d) {
                d.SetMapBit(LongValueMapsOf(d.Definition("Notes"), "Memo").owned,
                            d.db().allocator().Allocate());
                return 0u;
              }),
      Checker("FreePageMapUnreadable", {{Problem::kDamagedUsageMap, ""}},
              [](Damager& d) {
                const size_t at = jet::data_page::kSlots;  // row 0's slot
                std::span<uint8_t> page = d.db().pager().Modify(1);
                const size_t row = jet::ByteView(page.data(), page.size()).U16(at) & 0x1FFF;
                page[row] = 7;  // no such map type
                return 0u;
              }),
  };
  return cases;
}

class DamageChecks : public testing::TestWithParam<DamageCase> {};

TEST_P(DamageChecks, OnlyItsCheckRefuses) {
  const DamageCase& c = GetParam();
  ScratchDir dir;
  const auto path = dir.path() / "damaged.mdb";
  testing_support::WriteBytes(path, SmallDatabase());
  uint32_t page = 0;
  {
    Damager damager(path);
    page = c.damage(damager);
    ASSERT_FALSE(testing::Test::HasFatalFailure());
    damager.Commit();
  }
  auto db = Database::Open(path, "");
  switch (c.layer) {
    case Layer::kDefinition: {
      try {
        db->OpenTable(c.table);
        ADD_FAILURE() << "the definition was read";
      } catch (const jet::JetError& e) {
        EXPECT_EQ(e.problem(), Problem::kDamagedDefinition) << e.what();
        EXPECT_EQ(e.facts().table, c.table) << e.what();
      }
      break;
    }
    case Layer::kBeforeWriting: {
      const jet::WriteScope scope{c.changed, c.read};
      const std::optional<jet::Finding> damage = jet::FindFirstDamage(*db, scope);
      ASSERT_TRUE(damage) << "the check before writing let it through";
      EXPECT_EQ(damage->problem, c.problem) << damage->Text();
      if (page != 0) {
        EXPECT_EQ(damage->facts.page, page) << damage->Text();
      }
      try {
        jet::RefuseIfDamaged(*db, scope);
        ADD_FAILURE() << "the writer was not refused";
      } catch (const jet::JetError& e) {
        ASSERT_EQ(e.problem(), Problem::kDamagedRefusedBeforeWriting) << e.what();
        EXPECT_EQ(e.facts().detail, damage->Words()) << e.what();
        EXPECT_EQ(e.facts().page, damage->facts.page) << e.what();
      }
      break;
    }
    case Layer::kChecker: {
      jet::CheckReport report = jet::CheckDatabase(*db);
      auto expected = [&](const jet::Finding& f) {
        return std::any_of(c.findings.begin(), c.findings.end(), [&](const Expected& e) {
          return e.problem == f.problem && e.table == f.facts.table;
        });
      };
      for (const Expected& e : c.findings) {
        EXPECT_TRUE(std::any_of(report.findings.begin(), report.findings.end(),
                                [&](const jet::Finding& f) {
                                  return e.problem == f.problem && e.table == f.facts.table;
                                }))
            << "not found: " << jet::TextOf(e.problem).text << " in '" << e.table << "'";
      }
      for (const jet::Finding& f : report.findings) {
        EXPECT_TRUE(!f.IsDamage() || expected(f)) << "found besides: " << f.Text();
      }
      break;
    }
  }
  // The check before an upgrade's first change takes in all of them.
  try {
    jet::RefuseIfDamaged(*db, {.whole_file = true});
    EXPECT_FALSE(c.IsDamage()) << "the whole file's check let it through";
  } catch (const jet::JetError& e) {
    EXPECT_TRUE(c.IsDamage()) << "the whole file's check refused a note: " << e.what();
    EXPECT_EQ(e.problem(), Problem::kDamagedRefusedBeforeWriting) << e.what();
  }
}

INSTANTIATE_TEST_SUITE_P(Each, DamageChecks, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<DamageCase>& info) {
                           return info.param.name;
                         });

// The database the cases damage is whole: every layer lets it through, and the census finds
// each page in use or free.
TEST(DamageChecksBaseline, TheUndamagedDatabasePassesEveryCheck) {
  ScratchDir dir;
  const auto path = dir.path() / "small.mdb";
  testing_support::WriteBytes(path, SmallDatabase());
  auto db = Database::Open(path, "");
  const std::vector<std::string> all = {"Plain", "Keyed", "Notes", "Other"};
  EXPECT_NO_THROW(jet::RefuseIfDamaged(*db, {all, all}));
  EXPECT_NO_THROW(jet::RefuseIfDamaged(*db, {.whole_file = true}));
  EXPECT_TRUE(testing_support::IsClean(*db));
  jet::IndexTree names = jet::ReadIndexTree(
      db->pager(), RealIndexNamed(db->OpenTable("Keyed").definition(), "NameIdx").root_page,
      db->OpenTable("Keyed").definition_page());
  EXPECT_GE(names.leaves.size(), 3u) << "NameIdx should span several leaves";
}

// A page that is neither claimed nor free is leaked space: a note, not damage.
TEST(DamageChecksBaseline, ALeakedPageIsANoteNotDamage) {
  ScratchDir dir;
  const auto path = dir.path() / "leaked.mdb";
  testing_support::WriteBytes(path, SmallDatabase());
  uint32_t leaked = 0;
  {
    Damager damager(path);
    leaked = damager.db().allocator().Allocate();
    damager.Commit();
  }
  auto db = Database::Open(path, "");
  jet::CheckReport report = jet::CheckDatabase(*db);
  EXPECT_TRUE(report.ok());
  EXPECT_EQ(report.census.leaked, std::vector<uint32_t>{leaked});
  ASSERT_EQ(report.findings.size(), 1u);
  EXPECT_FALSE(report.findings[0].IsDamage());
  EXPECT_EQ(report.findings[0], (jet::Finding{Problem::kNoteLeakedPages,
                                              {.detail = std::to_string(leaked), .number = 1}}));
  EXPECT_FALSE(testing_support::IsClean(report));
}

}  // namespace

#include "jet/table/structure_check.h"

#include <algorithm>

#include "base/unicode.h"
#include "base/utf8_path.h"
#include "jet/error.h"
#include "jet/format/data_page.h"
#include "jet/format/page_size.h"
#include "jet/format/row_reader.h"
#include "jet/table/checker.h"
#include "jet/table/database.h"
#include "jet/table/index_tree.h"
#include "jet/table/stored_rows.h"
#include "jet/table/table.h"

namespace jet {
namespace {

// Runs `check`, adding the file and `table` to the damage it finds.
template <typename F>
void ForTable(Database& db, const std::string& table, F&& check) {
  try {
    check();
  } catch (JetError& e) {
    e.AddFacts({.file = base::PathToUtf8(db.pager().path()), .table = table});
    throw;
  }
}

void CheckReferences(Database& db, const TableDefinition& def, uint32_t definition_page) {
  Pager& pager = db.pager();
  ReadUsageMap(pager, def.owned_pages);
  ReadUsageMap(pager, def.free_pages);
  for (const LongValueMaps& m : def.long_value_maps) {
    if (!m.owned.IsNull()) ReadUsageMap(pager, m.owned);
    if (!m.free.IsNull()) ReadUsageMap(pager, m.free);
  }
  for (const RealIndex& index : def.real_indexes) ReadUsageMap(pager, index.usage_map);
  CheckIndexRoots(pager, def.real_indexes, definition_page);
}

// What can be damaged in a row is where its parts are and where its long values lead;
// decoding the values (text above all) can meet nothing more, so it is left out.
class RowWalk {
 public:
  RowWalk(Database& db, const TableDefinition& def)
      : db_(db), def_(def), layout_(LayoutOf(def)), long_value_pages_(db.pager(), def) {}

  void FollowLongValues(ByteView row) {
    SplitRow(def_, layout_, row, parts_);
    for (size_t i = 0; i < def_.columns.size(); ++i) {
      if (IsLongValueType(def_.columns[i].type) && !parts_[i].null) {
        ReadLongValue(db_.pager(), parts_[i].bytes, long_value_pages_, def_.columns[i].id);
      }
    }
  }

 private:
  Database& db_;
  const TableDefinition& def_;
  const RowLayout layout_;
  LongValuePages long_value_pages_;
  std::vector<ColumnData> parts_;
};

// `live` holds the table's live rows, sorted.
void CheckIndexTree(Pager& pager, const TableDefinition& def, size_t real, uint32_t owner,
                    const std::vector<RowPointer>& live) {
  const RealIndex& index = def.real_indexes[real];
  const std::string name = def.RealIndexName(real);
  try {
    IndexTree tree = ReadIndexTree(pager, index.root_page, owner);
    if (!tree.problems.empty()) {
      ThrowCorrupt(tree.problems.front().problem, tree.problems.front().facts);
    }
    // A writer finds where a key goes by its order: out of order, it would put new entries
    // where no search finds them.
    for (size_t i = 1; i < tree.entries.size(); ++i) {
      if (!IndexEntryLess(tree.entries[i - 1], tree.entries[i])) {
        const size_t leaf = static_cast<size_t>(
            std::upper_bound(tree.leaf_starts.begin(), tree.leaf_starts.end(), i) -
            tree.leaf_starts.begin() - 1);
        ThrowCorrupt(Problem::kDamagedIndexOrder, {.page = tree.leaves[leaf]});
      }
    }
    // An entry for a row that is not there would stand for the next row placed in that slot,
    // under another row's key.
    for (const IndexEntry& e : tree.entries) {
      if (!std::binary_search(live.begin(), live.end(), e.row)) {
        ThrowCorrupt(Problem::kDamagedIndexEntryNoRow, {.page = e.row.page, .row = e.row.row});
      }
    }
    std::vector<uint32_t> mapped = ReadUsageMap(pager, index.usage_map);
    for (uint32_t page : tree.pages) {
      if (!std::binary_search(mapped.begin(), mapped.end(), page)) {
        ThrowCorrupt(Problem::kDamagedIndexStructure, {.page = page});
      }
    }
  } catch (JetError& e) {
    e.AddFacts({.index = name});
    throw;
  }
}

// Refuses the change for `damage`: the file was not changed, and this is how to mend it.
[[noreturn]] void Refuse(Database& db, const Finding& damage) {
  ErrorFacts facts = damage.facts;
  if (facts.file.empty()) facts.file = base::PathToUtf8(db.pager().path());
  facts.detail = damage.Words();
  throw JetError(Problem::kDamagedRefusedBeforeWriting, std::move(facts));
}

}  // namespace

void CheckReferencesWithinFile(Database& db) {
  std::vector<uint32_t> definition_pages;
  for (const CatalogEntry& e : db.catalog().entries()) {
    if (e.kind == ObjectKind::kUserTable || e.kind == ObjectKind::kSystemTable)
      definition_pages.push_back(e.DefinitionPage());
  }
  std::sort(definition_pages.begin(), definition_pages.end());
  // Two catalog rows for one definition: writing to either would change both tables.
  const auto shared = std::adjacent_find(definition_pages.begin(), definition_pages.end());
  if (shared != definition_pages.end()) {
    for (const CatalogEntry& e : db.catalog().entries()) {
      if ((e.kind == ObjectKind::kUserTable || e.kind == ObjectKind::kSystemTable) &&
          e.DefinitionPage() == *shared) {
        db.OpenTable(e);  // throws, naming both tables
      }
    }
  }
  // Each usage map belongs to one table, index or long-value column. A map pointer bent onto
  // another's map would have a writer list its new pages in the other's map.
  std::vector<std::pair<RowPointer, const std::string*>> maps;
  for (const CatalogEntry& e : db.catalog().entries()) {
    if (e.kind != ObjectKind::kUserTable && e.kind != ObjectKind::kSystemTable) continue;
    ForTable(db, e.name, [&] {
      // A definition continued onto another table's first page would be rewritten over that
      // table when it grows or shrinks.
      std::vector<uint32_t> chain;
      db.ReadDefinitionBytes(e.DefinitionPage(), &chain);
      for (size_t i = 1; i < chain.size(); ++i) {
        if (std::binary_search(definition_pages.begin(), definition_pages.end(), chain[i]))
          ThrowCorrupt(Problem::kDamagedDefinitionChain, {.page = chain[i]});
      }
      const TableDefinition& def = db.Definition(e.DefinitionPage());
      CheckReferences(db, def, e.DefinitionPage());
      auto add = [&](RowPointer map) {
        if (!map.IsNull()) maps.emplace_back(map, &e.name);
      };
      add(def.owned_pages);
      add(def.free_pages);
      for (const RealIndex& index : def.real_indexes) add(index.usage_map);
      for (const LongValueMaps& m : def.long_value_maps) {
        add(m.owned);
        add(m.free);
      }
    });
  }
  std::sort(maps.begin(), maps.end());
  for (size_t i = 1; i < maps.size(); ++i) {
    if (maps[i].first == maps[i - 1].first) {
      ForTable(db, *maps[i].second,
               [&] { ThrowCorrupt(Problem::kDamagedUsageMap, {.page = maps[i].first.page}); });
    }
  }
}

void CheckTableStructure(Database& db, uint32_t definition_page, const std::string& name) {
  ForTable(db, name, [&] {
    Pager& pager = db.pager();
    const TableDefinition& def = db.Definition(definition_page);
    CheckReferences(db, def, definition_page);
    for (uint32_t page : Table(db, definition_page, name).OwnedPages())
      RequireTableDataPage(pager.Page(page, Pager::Use::kOnce).Unpinned(), page, definition_page);
    // Rows are inserted on the pages this map lists: they must be the table's own.
    for (uint32_t page : ReadUsageMap(pager, def.free_pages)) {
      RequireTableDataPage(pager.Page(page, Pager::Use::kOnce).Unpinned(), page, definition_page);
    }
    for (const LongValueMaps& m : def.long_value_maps) {
      for (RowPointer map : {m.owned, m.free}) {
        if (map.IsNull()) continue;
        for (uint32_t page : ReadUsageMap(pager, map))
          RequireLongValuePage(pager.Page(page, Pager::Use::kOnce).Unpinned(), page);
      }
    }
    // Where each row is, for the index entries, and where its long values lead: a link a
    // scribble bent past the end of the file would name a page this table's own next long
    // value may take.
    std::vector<RowPointer> live;
    if (!def.real_indexes.empty() || !def.long_value_maps.empty()) {
      RowWalk walk(db, def);
      Table(db, definition_page, name).ScanStored([&](RowPointer where, ByteView row) {
        live.push_back(where);
        walk.FollowLongValues(row);
        return true;
      });
      std::sort(live.begin(), live.end());
    }
    for (size_t i = 0; i < def.real_indexes.size(); ++i) {
      CheckIndexTree(pager, def, i, definition_page, live);
    }
  });
}

void CheckTableRows(Database& db, const std::string& name) {
  Table table = db.OpenTable(name);
  RowWalk walk(db, table.definition());
  table.ScanStored([&](RowPointer, ByteView row) {
    walk.FollowLongValues(row);
    return true;
  });
}

void CheckBeforeWriting(Database& db, const std::vector<std::string>& rows_changed,
                        const std::vector<std::string>& read) {
  try {
    CheckReferencesWithinFile(db);
    for (const CatalogEntry& e : db.catalog().entries()) {
      if (e.kind != ObjectKind::kUserTable && e.kind != ObjectKind::kSystemTable) continue;
      const bool reading = std::any_of(read.begin(), read.end(), [&](const std::string& n) {
        return base::EqualsIgnoreCase(n, e.name);
      });
      const bool changing =
          std::any_of(rows_changed.begin(), rows_changed.end(),
                      [&](const std::string& n) { return base::EqualsIgnoreCase(n, e.name); });
      if (e.kind == ObjectKind::kSystemTable || changing) {
        CheckTableStructure(db, e.DefinitionPage(), e.name);
      }
      // A table that is only read needs its rows whole, not its indexes.
      if (reading) CheckTableRows(db, e.name);
    }
  } catch (JetError& e) {
    if (e.kind() != ErrorKind::kCorrupt) throw;
    Refuse(db, FindingOf(e));
  }
}

void CheckWholeFileBeforeWriting(Database& db) {
  const CheckReport report = CheckDatabase(db);
  for (const Finding& f : report.findings) {
    if (f.IsDamage()) Refuse(db, f);
  }
}

}  // namespace jet

#include "jet/table/checker.h"

#include <algorithm>
#include <optional>
#include <unordered_set>

#include "jet/error.h"
#include "jet/format/index_key.h"
#include "jet/table/database.h"
#include "jet/table/index_tree.h"
#include "jet/table/stored_rows.h"
#include "jet/table/table.h"

namespace jet {
namespace {

class TableChecker {
 public:
  TableChecker(Database& db, const std::string& name, uint32_t definition_page, CheckReport& report)
      : db_(db), table_(db, definition_page, name), report_(report) {}

  void Run() {
    const TableDefinition& def = table_.definition();
    const size_t indexes = def.real_indexes.size();
    std::vector<std::vector<size_t>> positions;
    // Only the indexed columns are decoded: the others need only be where the row says they
    // are, and their long values readable, which the scan makes sure of.
    std::vector<bool> decoded(def.columns.size(), false);
    for (const RealIndex& index : def.real_indexes) {
      positions.push_back(IndexColumnPositions(def, index));
      for (size_t p : positions.back()) {
        if (p < decoded.size()) decoded[p] = true;
      }
    }
    // Only what the index checks need is kept of each row, its key in every index, not its
    // values: a check of a file with millions of rows then holds tens of bytes per row.
    std::vector<uint8_t> key;
    table_.ScanColumns(decoded, [&](RowPointer where, const std::vector<Value>& values) {
      // keys_ and skipped_ hold `indexes` items per row, in scan order.
      rows_.push_back({where, rows_.size()});
      for (size_t r = 0; r < indexes; ++r) {
        const RealIndex& index = def.real_indexes[r];
        bool all_null = true;
        for (size_t p : positions[r]) all_null &= p >= values.size() || values[p].IsNull();
        skipped_.push_back(index.IgnoresNulls() && all_null);
        if (EncodeIndexKeyInto(def, index, positions[r], values, key)) {
          keys_.emplace_back(IndexKey(key));
        } else {
          keys_.emplace_back(std::nullopt);
        }
      }
      return true;
    });
    // A scan visits pages in the order their map lists them, so this is nearly always
    // sorted already.
    if (!std::is_sorted(rows_.begin(), rows_.end())) std::sort(rows_.begin(), rows_.end());
    report_.rows += rows_.size();
    if (rows_.size() != def.row_count) {
      Found(Problem::kNoteRowCount, {.number = def.row_count, .limit = rows_.size()});
    }
    for (size_t i = 0; i < indexes; ++i) CheckIndex(i);
    // After the scan, which has most long-value pages in the cache.
    CheckMapsListTheirKind();
  }

 private:
  void Found(Problem problem, ErrorFacts facts) {
    facts.table = table_.name();
    report_.findings.push_back({problem, std::move(facts)});
  }
  void Found(const JetError& e, const std::string& index = {}) {
    Finding f = FindingOf(e);
    f.facts.table = table_.name();
    if (f.facts.index.empty()) f.facts.index = index;
    report_.findings.push_back(std::move(f));
  }

  // Rows are placed on the pages a table's free-space map lists, and a long value is read
  // from the pages its column's maps list: a writer trusts each to be a page of that kind.
  // (The scan holds the owned-pages map to the table's own data pages.)
  void CheckMapsListTheirKind() {
    Pager& pager = db_.pager();
    const TableDefinition& def = table_.definition();
    try {
      std::vector<uint32_t> owned = table_.OwnedPages();
      for (uint32_t page : ReadUsageMap(pager, def.free_pages)) {
        // The owned pages are held to it as the scan reads them.
        if (std::binary_search(owned.begin(), owned.end(), page)) continue;
        RequireTableDataPage(pager.Page(page, Pager::Use::kOnce).Unpinned(), page,
                             table_.definition_page());
      }
    } catch (const JetError& e) {
      Found(e);
    }
    for (const LongValueMaps& m : def.long_value_maps) {
      try {
        for (RowPointer map : {m.owned, m.free}) {
          if (map.IsNull()) continue;
          for (uint32_t page : ReadUsageMap(pager, map)) {
            RequireLongValuePage(pager.Page(page).Unpinned(), page);
          }
        }
      } catch (const JetError& e) {
        Found(e);
        const ColumnDefinition* column = def.ColumnById(m.column_id);
        if (column) report_.findings.back().facts.column = column->name;
      }
    }
  }

  void CheckIndex(size_t real) {
    const TableDefinition& def = table_.definition();
    const RealIndex& index = def.real_indexes[real];
    const std::string name = def.RealIndexName(real);
    IndexTree tree;
    try {
      tree = ReadIndexTree(db_.pager(), index.root_page, table_.definition_page());
    } catch (const JetError& e) {
      Found(e, name);
      return;
    }
    for (const Finding& p : tree.problems) {
      ErrorFacts facts = p.facts;
      facts.index = name;
      Found(p.problem, facts);
    }
    report_.index_entries += tree.entries.size();

    // Every page of the tree must be listed in the index's own usage map (which the page
    // census holds to be in use and the index's alone).
    std::vector<uint32_t> mapped;
    try {
      mapped = ReadUsageMap(db_.pager(), index.usage_map);
    } catch (const JetError& e) {
      Found(e, name);
    }
    std::unordered_set<uint32_t> mapped_set(mapped.begin(), mapped.end());
    for (uint32_t page : tree.pages) {
      if (!mapped.empty() && !mapped_set.count(page)) {
        Found(Problem::kDamagedIndexStructure, {.index = name, .page = page});
      }
    }

    for (size_t i = 1; i < tree.entries.size(); ++i) {
      if (!IndexEntryLess(tree.entries[i - 1], tree.entries[i])) {
        const size_t leaf = static_cast<size_t>(
            std::upper_bound(tree.leaf_starts.begin(), tree.leaf_starts.end(), i) -
            tree.leaf_starts.begin() - 1);
        Found(Problem::kDamagedIndexOrder, {.index = name, .page = tree.leaves[leaf]});
        break;
      }
    }

    const size_t indexes = def.real_indexes.size();
    auto at = [&](RowPointer p) -> ErrorFacts {
      return {.index = name, .page = p.page, .row = p.row};
    };
    std::vector<uint8_t> seen(rows_.size(), 0);  // entries per row (by ordinal), up to 2
    // Where the last entry's row was: an index whose keys grew as rows were added (an
    // autonumber's) meets the rows in the order they are stored, so the next entry's row is
    // most often the next row.
    auto next = rows_.begin();
    for (const IndexEntry& e : tree.entries) {
      auto row = next != rows_.end() && next->where == e.row
                     ? next
                     : std::lower_bound(rows_.begin(), rows_.end(), LiveRow{e.row, 0});
      if (row != rows_.end()) next = row + 1;
      if (row == rows_.end() || row->where != e.row) {
        Found(Problem::kDamagedIndexEntryNoRow, at(e.row));
        continue;
      }
      uint8_t& count = seen[row->ordinal];
      if (count < 2 && ++count == 2) Found(Problem::kDamagedIndexEntryTwice, at(e.row));
      const std::optional<IndexKey>& key = keys_[row->ordinal * indexes + real];
      if (!key) {
        ++report_.keys_not_encodable;
      } else {
        ++report_.keys_compared;
        if (*key != e.key) Found(Problem::kDamagedIndexKey, at(e.row));
      }
    }
    for (const LiveRow& row : rows_) {
      if (seen[row.ordinal] > 0 || skipped_[row.ordinal * indexes + real]) continue;
      Found(Problem::kDamagedIndexEntryMissing, at(row.where));
    }
  }

  Database& db_;
  Table table_;
  CheckReport& report_;
  // Every live row with its ordinal in scan order, sorted by place; then, per row (by
  // ordinal) and real index, the row's key (nullopt where the engine cannot encode it) and
  // whether the index holds no entry for it (it ignores nulls and the row's indexed columns
  // are all NULL).
  struct LiveRow {
    RowPointer where;
    size_t ordinal = 0;
    bool operator<(const LiveRow& other) const { return where < other.where; }
  };
  std::vector<LiveRow> rows_;
  std::vector<std::optional<IndexKey>> keys_;
  std::vector<bool> skipped_;
};

}  // namespace

size_t CheckReport::DamageCount() const {
  return static_cast<size_t>(std::count_if(findings.begin(), findings.end(),
                                           [](const Finding& f) { return f.IsDamage(); }));
}

CheckReport CheckDatabase(Database& db) {
  CheckReport report;
  auto check = [&](const std::string& name, uint32_t definition_page) {
    ++report.tables;
    try {
      TableChecker(db, name, definition_page, report).Run();
    } catch (const JetError& err) {
      Finding f = FindingOf(err);
      f.facts.table = name;
      report.findings.push_back(std::move(f));
    }
  };
  bool catalog_listed = false;
  for (const CatalogEntry& e : db.catalog().entries()) {
    if (e.kind != ObjectKind::kUserTable && e.kind != ObjectKind::kSystemTable) continue;
    catalog_listed |= e.DefinitionPage() == Catalog::kObjectsDefinitionPage;
    check(e.name, e.DefinitionPage());
  }
  // The catalog is read from its fixed definition page whatever its own row says. A scribble
  // in that row must not hide the catalog, with whatever else is scribbled in it, from the
  // check: its rows are what every table name leads through.
  if (!catalog_listed) {
    report.findings.push_back({Problem::kDamagedCatalogNotListed, {.table = "MSysObjects"}});
    check("MSysObjects", Catalog::kObjectsDefinitionPage);
  }
  report.census = TakePageCensus(db);
  report.findings.insert(report.findings.end(), report.census.damage.begin(),
                         report.census.damage.end());
  if (!report.census.leaked.empty()) {
    report.findings.push_back(LeakedPagesNote(report.census.leaked));
  }
  return report;
}

}  // namespace jet

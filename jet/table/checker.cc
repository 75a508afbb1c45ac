#include "jet/table/checker.h"

#include <algorithm>
#include <unordered_set>

#include "jet/error.h"
#include "jet/format/data_page.h"
#include "jet/format/index_key.h"
#include "jet/format/page_size.h"
#include "jet/table/database.h"
#include "jet/table/index_tree.h"
#include "jet/table/stored_rows.h"
#include "jet/table/table.h"

namespace jet {
namespace {

std::string Hex(const std::vector<uint8_t>& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (uint8_t b : bytes) {
    if (!out.empty()) out.push_back(' ');
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 15]);
  }
  return out;
}

std::string Where(RowPointer p) {
  return "page " + std::to_string(p.page) + " row " + std::to_string(p.row);
}

class TableChecker {
 public:
  TableChecker(Database& db, const std::string& name, uint32_t definition_page, CheckReport& report)
      : db_(db), table_(db, definition_page, name), report_(report) {}

  void Run() {
    const TableDefinition& def = table_.definition();
    const size_t indexes = def.real_indexes.size();
    std::vector<std::vector<size_t>> positions;
    for (const RealIndex& index : def.real_indexes) {
      positions.push_back(IndexColumnPositions(def, index));
    }
    // Only what the index checks need is kept of each row, its key in every index, not its
    // values: a check of a file with millions of rows then holds tens of bytes per row.
    std::vector<uint8_t> key;
    table_.Scan([&](RowPointer where, const std::vector<Value>& values) {
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
      Problem("holds " + std::to_string(rows_.size()) + " live rows but its definition says " +
              std::to_string(def.row_count));
    }
    for (size_t i = 0; i < indexes; ++i) CheckIndex(i);
  }

 private:
  void Problem(const std::string& what) {
    report_.problems.push_back("table '" + table_.name() + "': " + what);
  }

  void CheckIndex(size_t real) {
    const TableDefinition& def = table_.definition();
    const RealIndex& index = def.real_indexes[real];
    const std::string name = "index '" + table_.definition().RealIndexName(real) + "': ";
    IndexTree tree;
    try {
      tree = ReadIndexTree(db_.pager(), index.root_page, table_.definition_page());
    } catch (const JetError& e) {
      Problem(name + e.what());
      return;
    }
    for (const auto& p : tree.problems) Problem(name + p);
    report_.index_entries += tree.entries.size();

    // Every page of the tree must be listed in the index's own usage map (which the page
    // census holds to be in use and the index's alone).
    std::vector<uint32_t> mapped;
    try {
      mapped = ReadUsageMap(db_.pager(), index.usage_map);
    } catch (const JetError& e) {
      Problem(name + "its usage map cannot be read: " + e.what());
    }
    std::unordered_set<uint32_t> mapped_set(mapped.begin(), mapped.end());
    for (uint32_t page : tree.pages) {
      if (!mapped.empty() && !mapped_set.count(page)) {
        Problem(name + "page " + std::to_string(page) + " is missing from its usage map");
      }
    }

    for (size_t i = 1; i < tree.entries.size(); ++i) {
      if (!IndexEntryLess(tree.entries[i - 1], tree.entries[i])) {
        Problem(name + "entries out of order at " + Where(tree.entries[i].row));
        break;
      }
    }

    const size_t indexes = def.real_indexes.size();
    std::vector<uint8_t> seen(rows_.size(), 0);  // entries per row (by ordinal), up to 2
    for (const IndexEntry& e : tree.entries) {
      auto row = std::lower_bound(rows_.begin(), rows_.end(), LiveRow{e.row, 0});
      if (row == rows_.end() || row->where != e.row) {
        Problem(name + "entry points at " + Where(e.row) + ", which is not a live row");
        continue;
      }
      uint8_t& count = seen[row->ordinal];
      if (count < 2 && ++count == 2) Problem(name + "has two entries for " + Where(e.row));
      const std::optional<IndexKey>& key = keys_[row->ordinal * indexes + real];
      if (!key) {
        ++report_.keys_not_encodable;
      } else {
        ++report_.keys_compared;
        if (*key != e.key) {
          Problem(name + "entry for " + Where(e.row) + " has key " + Hex(e.key.ToVector()) +
                  " but the row's values give " + Hex(key->ToVector()));
        }
      }
    }
    for (const LiveRow& row : rows_) {
      if (seen[row.ordinal] > 0 || skipped_[row.ordinal * indexes + real]) continue;
      Problem(name + "has no entry for the row at " + Where(row.where));
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

CheckReport CheckDatabase(Database& db) {
  CheckReport report;
  auto check = [&](const std::string& name, uint32_t definition_page) {
    ++report.tables;
    try {
      TableChecker(db, name, definition_page, report).Run();
    } catch (const JetError& err) {
      report.problems.push_back("table '" + name + "': " + err.what());
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
    report.problems.push_back("table 'MSysObjects': no catalog row lists it as a table");
    check("MSysObjects", Catalog::kObjectsDefinitionPage);
  }
  report.census = TakePageCensus(db);
  report.problems.insert(report.problems.end(), report.census.problems.begin(),
                         report.census.problems.end());
  if (!report.census.leaked.empty()) {
    report.notes.push_back(DescribeLeakedPages(report.census.leaked));
  }
  return report;
}

}  // namespace jet

#include "jet/table/checker.h"

#include <algorithm>
#include <optional>

#include "base/unicode.h"
#include "base/utf8_path.h"
#include "jet/error.h"
#include "jet/format/index_key.h"
#include "jet/format/index_page.h"
#include "jet/format/page_size.h"
#include "jet/table/database.h"
#include "jet/table/index_tree.h"
#include "jet/table/stored_rows.h"
#include "jet/table/table.h"

namespace jet {
namespace {

bool IsTable(const CatalogEntry& e) {
  return e.kind == ObjectKind::kUserTable || e.kind == ObjectKind::kSystemTable;
}

// Where the walk's findings go: into the report, or, for a writer, the first damage thrown at
// once (naming the file), so the walk goes no further than it must. The walk is the same.
class Sink {
 public:
  explicit Sink(CheckReport& report) : report_(report) {}
  Sink(CheckReport& report, Database& db)
      : report_(report), throwing_(true), file_(base::PathToUtf8(db.pager().path())) {}

  CheckReport& report() { return report_; }

  void Add(Finding f) {
    if (!throwing_) {
      report_.findings.push_back(std::move(f));
    } else if (f.IsDamage()) {  // notes pass
      if (f.facts.file.empty()) f.facts.file = file_;
      throw JetError(f.problem, std::move(f.facts));
    }
  }

  // Runs `step`; what it throws, with `context` added, is a finding. Returns whether it ran
  // through.
  template <typename F>
  bool Guard(const ErrorFacts& context, F&& step) {
    try {
      WithFacts(context, step);
      return true;
    } catch (JetError& e) {
      if (throwing_) {
        e.AddFacts({.file = file_});
        throw;
      }
      report_.findings.push_back(FindingOf(e));
      return false;
    }
  }

 private:
  CheckReport& report_;
  const bool throwing_ = false;
  const std::string file_;
};

// What the walk checks of one table (checker.h says what each is).
struct Depth {
  bool structure = false;
  bool rows = false;
  bool full = false;
};

// Every map of a table reads and lists no page past the end of the file, and each index's
// root is an index page of this table.
void ReadEveryMap(Pager& pager, const TableDefinition& def, uint32_t definition_page) {
  ReadUsageMap(pager, def.owned_pages);
  ReadUsageMap(pager, def.free_pages);
  for (const LongValueMaps& m : def.long_value_maps) {
    if (!m.owned.IsNull()) ReadUsageMap(pager, m.owned);
    if (!m.free.IsNull()) ReadUsageMap(pager, m.free);
  }
  for (const RealIndex& index : def.real_indexes) ReadUsageMap(pager, index.usage_map);
  RequireIndexRoots(pager, def.real_indexes, definition_page);
}

class TableWalk {
 public:
  TableWalk(Database& db, std::string name, uint32_t definition_page, Depth depth, Sink& out)
      : db_(db), name_(std::move(name)), page_(definition_page), depth_(depth), out_(out) {}

  void Run() {
    out_.Guard({.table = name_}, [&] {
      Pager& pager = db_.pager();
      // The full check meets these where it reads, each reported there.
      if (!depth_.full) ReadEveryMap(pager, db_.Definition(page_), page_);
      Table table(db_, page_, name_);
      const TableDefinition& def = table.definition();
      const std::vector<uint32_t> owned = table.OwnedPages();
      const bool deep = depth_.structure || depth_.full;
      if (deep) CheckMapsListTheirKind(def, owned);
      // The rows: every one, for the full check and where they are read; for the structure,
      // where each is (for the index entries) and where its long values lead (a link bent past
      // the end of the file would name a page this table's next long value may take).
      if (depth_.full || depth_.rows ||
          (deep && (!def.real_indexes.empty() || !def.long_value_maps.empty()))) {
        Scan(table);
      }
      if (depth_.full && rows_.size() != def.row_count) {
        Add(Problem::kNoteRowCount, {.number = def.row_count, .limit = rows_.size()});
      }
      if (deep) {
        for (size_t i = 0; i < def.real_indexes.size(); ++i) CheckIndex(def, i);
      }
    });
  }

 private:
  void Add(Problem problem, ErrorFacts facts) {
    facts.table = name_;
    out_.Add({problem, std::move(facts)});
  }

  // Rows are placed on the pages a table's free-space map lists, and a long value is read
  // from the pages its column's maps list: a writer trusts each to be a page of that kind.
  // The owned pages are held to it as the scan reads them, and up front where the rows are
  // not all read.
  void CheckMapsListTheirKind(const TableDefinition& def, const std::vector<uint32_t>& owned) {
    Pager& pager = db_.pager();
    out_.Guard({.table = name_}, [&] {
      if (!depth_.full) {
        for (uint32_t page : owned) {
          RequireTableDataPage(pager.Page(page, Pager::Use::kOnce).Unpinned(), page, page_);
        }
      }
      for (uint32_t page : ReadUsageMap(pager, def.free_pages)) {
        if (std::binary_search(owned.begin(), owned.end(), page)) continue;
        RequireTableDataPage(pager.Page(page, Pager::Use::kOnce).Unpinned(), page, page_);
      }
    });
    for (const LongValueMaps& m : def.long_value_maps) {
      const ColumnDefinition* column = def.ColumnById(m.column_id);
      out_.Guard({.table = name_, .column = column ? column->name : ""}, [&] {
        for (RowPointer map : {m.owned, m.free}) {
          if (map.IsNull()) continue;
          for (uint32_t page : ReadUsageMap(pager, map)) {
            RequireLongValuePage(pager.Page(page).Unpinned(), page);
          }
        }
      });
    }
  }

  // Every row read, its long values with it. Only what the index checks need is kept of each
  // row: where it is, and in the full check its key in every index, not its values, so a check
  // of a file with millions of rows holds tens of bytes per row. Only the indexed columns are
  // decoded: the others need only be where the row says they are.
  void Scan(const Table& table) {
    const TableDefinition& def = table.definition();
    std::vector<bool> decoded(def.columns.size(), false);
    std::vector<std::vector<size_t>> positions;
    if (depth_.full) {
      for (const RealIndex& index : def.real_indexes) {
        positions.push_back(IndexColumnPositions(def, index));
        for (size_t p : positions.back()) {
          if (p < decoded.size()) decoded[p] = true;
        }
      }
    }
    std::vector<uint8_t> key;
    table.ScanColumns(decoded, [&](RowPointer where, const std::vector<Value>& values) {
      rows_.push_back({where, rows_.size()});
      for (size_t r = 0; r < positions.size(); ++r) {
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
    out_.report().rows += rows_.size();
  }

  void CheckIndex(const TableDefinition& def, size_t real) {
    Pager& pager = db_.pager();
    const RealIndex& index = def.real_indexes[real];
    const ErrorFacts here = {.table = name_, .index = def.RealIndexName(real)};
    IndexTree tree;
    if (!out_.Guard(here, [&] { tree = ReadIndexTree(pager, index.root_page, page_); })) return;
    for (const Finding& p : tree.problems) Add(p.problem, At(here, p.facts.page));
    out_.report().index_entries += tree.entries.size();

    // A writer finds where a key goes by its order: out of order, it would put new entries
    // where no search finds them.
    for (size_t i = 1; i < tree.entries.size(); ++i) {
      if (!IndexEntryLess(tree.entries[i - 1], tree.entries[i])) {
        const size_t leaf = static_cast<size_t>(
            std::upper_bound(tree.leaf_starts.begin(), tree.leaf_starts.end(), i) -
            tree.leaf_starts.begin() - 1);
        Add(Problem::kDamagedIndexOrder, At(here, tree.leaves[leaf]));
        break;
      }
    }

    // An entry for a row that is not there would stand for the next row placed in that slot,
    // under another row's key. The full check also holds each row to one entry, with its key.
    const size_t indexes = def.real_indexes.size();
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
        Add(Problem::kDamagedIndexEntryNoRow, At(here, e.row));
        continue;
      }
      if (!depth_.full) continue;
      uint8_t& count = seen[row->ordinal];
      if (count < 2 && ++count == 2) Add(Problem::kDamagedIndexEntryTwice, At(here, e.row));
      const std::optional<IndexKey>& key = keys_[row->ordinal * indexes + real];
      if (!key) {
        ++out_.report().keys_not_encodable;
      } else {
        ++out_.report().keys_compared;
        if (*key != e.key) Add(Problem::kDamagedIndexKey, At(here, e.row));
      }
    }
    for (const LiveRow& row : rows_) {
      if (!depth_.full || seen[row.ordinal] > 0 || skipped_[row.ordinal * indexes + real]) {
        continue;
      }
      Add(Problem::kDamagedIndexEntryMissing, At(here, row.where));
    }

    // Every page of the tree must be listed in the index's own usage map (which the page
    // census holds to be in use and the index's alone).
    std::vector<uint32_t> mapped;
    if (!out_.Guard(here, [&] { mapped = ReadUsageMap(pager, index.usage_map); })) return;
    if (mapped.empty()) return;
    for (uint32_t page : tree.pages) {
      if (!std::binary_search(mapped.begin(), mapped.end(), page)) {
        Add(Problem::kDamagedIndexStructure, At(here, page));
      }
    }
  }

  static ErrorFacts At(ErrorFacts facts, std::optional<uint64_t> page) {
    facts.page = page;
    return facts;
  }
  static ErrorFacts At(ErrorFacts facts, RowPointer row) {
    facts.page = row.page;
    facts.row = row.row;
    return facts;
  }

  Database& db_;
  const std::string name_;
  const uint32_t page_;
  const Depth depth_;
  Sink& out_;
  // Every live row with its ordinal in scan order, sorted by place; then, in the full check,
  // per row (by ordinal) and real index, the row's key (nullopt where the engine cannot encode
  // it) and whether the index holds no entry for it (it ignores nulls and the row's indexed
  // columns are all NULL).
  struct LiveRow {
    RowPointer where;
    size_t ordinal = 0;
    bool operator<(const LiveRow& other) const { return where < other.where; }
  };
  std::vector<LiveRow> rows_;
  std::vector<std::optional<IndexKey>> keys_;
  std::vector<bool> skipped_;
};

// The references of every table (checker.h), and over the file: no two tables share a
// definition or a map.
void CheckReferencesWithinFile(Database& db, Sink& out) {
  std::vector<uint32_t> definition_pages;
  for (const CatalogEntry& e : db.catalog().entries()) {
    if (IsTable(e)) definition_pages.push_back(e.DefinitionPage());
  }
  std::sort(definition_pages.begin(), definition_pages.end());
  // Two catalog rows for one definition: writing to either would change both tables.
  const auto shared = std::adjacent_find(definition_pages.begin(), definition_pages.end());
  if (shared != definition_pages.end()) {
    for (const CatalogEntry& e : db.catalog().entries()) {
      if (IsTable(e) && e.DefinitionPage() == *shared) {
        db.OpenTable(e);  // throws, naming both tables
      }
    }
  }
  // Each usage map belongs to one table, index or long-value column. A map pointer bent onto
  // another's map would have a writer list its new pages in the other's map.
  std::vector<std::pair<RowPointer, const std::string*>> maps;
  for (const CatalogEntry& e : db.catalog().entries()) {
    if (!IsTable(e)) continue;
    out.Guard({.table = e.name}, [&] {
      // A definition continued onto another table's first page would be rewritten over that
      // table when it grows or shrinks.
      std::vector<uint32_t> chain;
      db.ReadDefinitionBytes(e.DefinitionPage(), &chain);
      for (size_t i = 1; i < chain.size(); ++i) {
        if (std::binary_search(definition_pages.begin(), definition_pages.end(), chain[i]))
          ThrowCorrupt(Problem::kDamagedDefinitionChain, {.page = chain[i]});
      }
      const TableDefinition& def = db.Definition(e.DefinitionPage());
      ReadEveryMap(db.pager(), def, e.DefinitionPage());
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
      out.Add({Problem::kDamagedUsageMap, {.table = *maps[i].second, .page = maps[i].first.page}});
    }
  }
}

// The one walk: what `scope` asks of every table, in catalog order.
void Walk(Database& db, const WriteScope& scope, Sink& out) {
  if (!scope.whole_file) CheckReferencesWithinFile(db, out);
  auto named = [](const std::vector<std::string>& names, const std::string& name) {
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& n) { return base::EqualsIgnoreCase(n, name); });
  };
  bool catalog_listed = false;
  for (const CatalogEntry& e : db.catalog().entries()) {
    if (!IsTable(e)) continue;
    catalog_listed |= e.DefinitionPage() == Catalog::kObjectsDefinitionPage;
    Depth depth{.full = scope.whole_file};
    if (!scope.whole_file) {
      // A table that is only read needs its rows whole, not its indexes.
      depth.structure = e.kind == ObjectKind::kSystemTable || named(scope.rows_changed, e.name);
      depth.rows = named(scope.read, e.name);
      if (!depth.structure && !depth.rows) continue;
    }
    ++out.report().tables;
    TableWalk(db, e.name, e.DefinitionPage(), depth, out).Run();
  }
  if (!scope.whole_file) return;
  // The catalog is read from its fixed definition page whatever its own row says. A scribble
  // in that row must not hide the catalog, with whatever else is scribbled in it, from the
  // check: its rows are what every table name leads through.
  if (!catalog_listed) {
    out.Add({Problem::kDamagedCatalogNotListed, {.table = "MSysObjects"}});
    ++out.report().tables;
    TableWalk(db, "MSysObjects", Catalog::kObjectsDefinitionPage, {.full = true}, out).Run();
  }
  CheckReport& report = out.report();
  report.census = TakePageCensus(db);
  for (const Finding& f : report.census.damage) out.Add(f);
  if (!report.census.leaked.empty()) out.Add(LeakedPagesNote(report.census.leaked));
}

}  // namespace

size_t CheckReport::DamageCount() const {
  return static_cast<size_t>(std::count_if(findings.begin(), findings.end(),
                                           [](const Finding& f) { return f.IsDamage(); }));
}

std::multiset<Finding> CheckReport::FindingsWithoutPlaces() const {
  std::multiset<Finding> out;
  for (const Finding& f : findings) out.insert(f.WithoutPlaces());
  return out;
}

CheckReport CheckDatabase(Database& db) {
  CheckReport report;
  Sink sink(report);
  Walk(db, {.whole_file = true}, sink);
  return report;
}

std::optional<Finding> FindFirstDamage(Database& db, const WriteScope& scope) {
  CheckReport unused;
  Sink sink(unused, db);
  try {
    Walk(db, scope, sink);
  } catch (const JetError& e) {
    // The whole file's check takes any failure of its walk as damage, as CheckDatabase
    // reports it; a writer's narrower one, only the file's bytes contradicting the format.
    if (e.kind() != ErrorKind::kCorrupt && !scope.whole_file) throw;
    return FindingOf(e);
  }
  return std::nullopt;
}

void RefuseIfDamaged(Database& db, const WriteScope& scope) {
  const std::optional<Finding> damage = FindFirstDamage(db, scope);
  if (!damage) return;
  ErrorFacts facts = damage->facts;
  if (facts.file.empty()) facts.file = base::PathToUtf8(db.pager().path());
  facts.detail = damage->Words();
  throw JetError(Problem::kDamagedRefusedBeforeWriting, std::move(facts));
}

void RequireReferencesWithinFile(Database& db) {
  CheckReport unused;
  Sink sink(unused, db);
  CheckReferencesWithinFile(db, sink);
}

void RequireTableStructure(Database& db, uint32_t definition_page, const std::string& name) {
  CheckReport unused;
  Sink sink(unused, db);
  TableWalk(db, name, definition_page, {.structure = true}, sink).Run();
}

void RequireIndexRoots(Pager& pager, const std::vector<RealIndex>& indexes,
                       uint32_t definition_page) {
  for (const RealIndex& index : indexes) {
    if (index.root_page == 0 || index.root_page >= pager.page_count()) {
      ThrowCorrupt(Problem::kDamagedIndexPagePastEnd, {.page = index.root_page});
    }
    PinnedView root = pager.Page(index.root_page);
    if (root.U8(0) != kPageIndexNode && root.U8(0) != kPageIndexLeaf) {
      ThrowCorrupt(Problem::kDamagedNotIndexPage, {.page = index.root_page});
    }
    if (root.U32(index_page::kOwner) != definition_page) {
      ThrowCorrupt(Problem::kDamagedIndexForeignPage, {.page = index.root_page});
    }
  }
}

}  // namespace jet

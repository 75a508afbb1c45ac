#include "jet/compact/repair.h"

#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <system_error>

#include "base/unicode.h"
#include "base/utf8_path.h"
#include "jet/compact/carried_keys.h"
#include "jet/compact/copy_steps.h"
#include "jet/compact/page_scan.h"
#include "jet/error.h"
#include "jet/format/page_size.h"
#include "jet/format/row_layout.h"
#include "jet/format/row_reader.h"
#include "jet/format/text_codec.h"
#include "jet/table/catalog.h"
#include "jet/table/database.h"
#include "jet/table/index_tree.h"
#include "jet/table/stored_rows.h"
#include "jet/table/table_writer.h"

namespace jet::compact {
namespace {

// MSysObjects' type of a table of this file (doc/jet4-format.md §10).
constexpr int16_t kLocalTableType = 1;

// A file whose end is cut inside a page is read with that page completed by zeros: the
// pager reads whole pages only. The completed copy lives beside the destination while the
// repair runs. Empty path when the source needs no completing.
std::filesystem::path CompletedCopy(const std::filesystem::path& source,
                                    const std::filesystem::path& destination) {
  const uint64_t size = std::filesystem::file_size(source);
  if (size % kPageSize == 0 && size >= 3 * kPageSize) return {};
  std::filesystem::path copy = destination;
  copy += ".source";
  RefuseExisting(copy);
  std::filesystem::copy_file(source, copy);
  const uint64_t whole = std::max<uint64_t>(3, (size + kPageSize - 1) / kPageSize) * kPageSize;
  std::filesystem::resize_file(copy, whole);
  return copy;
}

// One row of a table, decoded on its own: every value, long values read whole (a long value
// that does not read is NULL and counted).
//
// `without_lost`, when given, receives the row's bytes with each such value's null-mask bit
// cleared: the same row with those values NULL, for a stored copy.
bool DecodeRow(Pager& pager, const TableDefinition& def, const RowLayout& layout,
               LongValuePages& long_pages, ByteView bytes, std::vector<Value>& values,
               size_t& long_values_lost, std::vector<uint8_t>* without_lost = nullptr) {
  if (without_lost) without_lost->assign(bytes.data(), bytes.data() + bytes.size());
  std::vector<ColumnData> parts;
  try {
    SplitRow(def, layout, bytes, parts);
    values.assign(def.columns.size(), Value{});
    for (size_t i = 0; i < def.columns.size(); ++i) {
      const ColumnDefinition& c = def.columns[i];
      if (!IsLongValueType(c.type)) {
        DecodeColumnValue(c, parts[i], values[i]);
      }
    }
  } catch (const JetError&) {
    return false;
  }
  for (size_t i = 0; i < def.columns.size(); ++i) {
    const ColumnDefinition& c = def.columns[i];
    if (!IsLongValueType(c.type) || parts[i].null) continue;
    try {
      std::vector<uint8_t> data = ReadLongValue(pager, parts[i].bytes, long_pages, c.id);
      Value& v = values[i];
      if (c.type == ColumnType::kMemo) {
        v.kind = ValueKind::kText;
        AppendTextAsUtf8(ByteView(data.data(), data.size()), v.text);
      } else {
        v.kind = ValueKind::kBinary;
        v.bytes = std::move(data);
      }
    } catch (const JetError&) {
      values[i] = Value{};
      ++long_values_lost;
      if (without_lost) {
        // The mask ends the row: one bit per column id, set for a present value.
        std::vector<uint8_t>& row = *without_lost;
        const size_t mask = (size_t{bytes.U16(0)} + 7) / 8;
        row[row.size() - mask + c.id / 8] &= static_cast<uint8_t>(~(1u << (c.id % 8)));
      }
    }
  }
  return true;
}

class Repair {
 public:
  // `file_end`: the source's size, before a cut-short end was completed.
  Repair(Pager& source, uint64_t file_end, const std::filesystem::path& destination,
         std::string_view password)
      : source_(source), file_end_(file_end), destination_(destination), password_(password) {}

  RepairReport Run() {
    report_.source_pages = source_.page_count();
    owners_ = DataPagesByOwner(source_);
    ReadCatalog();
    std::vector<SourceTable> tables;
    std::vector<const TableDefinition*> definitions;
    std::set<uint32_t> claimed;
    for (const CatalogEntry& e : entries_) {
      if (e.type != kLocalTableType || e.id <= 0) continue;
      const uint32_t page = e.DefinitionPage();
      LostTable lost{e.name, page, owners_[page], ""};
      if (!claimed.insert(page).second) {
        lost.reason = "它的定义页也是另一个表的定义页";
        report_.lost_tables.push_back(lost);
        continue;
      }
      try {
        definitions_[page] = std::make_unique<TableDefinition>(ReadDefinition(source_, page));
        DropIndexesWithoutKeys(e.name, page, *definitions_[page]);
      } catch (const JetError& error) {
        lost.reason = error.what();
        report_.lost_tables.push_back(lost);
        continue;
      }
      SourceTable t{&e, page};
      if (page == Catalog::kObjectsDefinitionPage) {
        tables.insert(tables.begin(), t);
        definitions.insert(definitions.begin(), definitions_[page].get());
      } else {
        tables.push_back(t);
        definitions.push_back(definitions_[page].get());
      }
    }
    if (tables.empty() || tables.front().page != Catalog::kObjectsDefinitionPage) {
      // Without the catalog's own row the copy would be a damaged file: nothing is written.
      ThrowCorrupt(Problem::kDamagedCatalogNotListed, {.table = "MSysObjects"});
    }
    for (const LostTable& l : report_.lost_tables) lost_ids_.insert(l.definition_page);

    WriteDefinitions(destination_, source_, tables, definitions, pages_);
    auto target = Database::Open(destination_, password_, Pager::Mode::kReadWrite);
    for (size_t i = 0; i < tables.size(); ++i) {
      try {
        report_.tables.push_back(CopyTable(*target, tables[i], *definitions[i]));
      } catch (const JetError& error) {
        // A definition that decoded but that the writer refuses: the table stays empty.
        if (i == 0) throw;
        report_.lost_tables.push_back(
            {tables[i].entry->name, tables[i].page, owners_[tables[i].page], error.what()});
      }
    }
    report_.pages = target->pager().page_count();
    return report_;
  }

 private:
  // The catalog from MSysObjects's own pages. Its definition is the one thing a repair
  // cannot do without.
  void ReadCatalog() {
    definitions_[Catalog::kObjectsDefinitionPage] =
        std::make_unique<TableDefinition>(ReadDefinition(source_, Catalog::kObjectsDefinitionPage));
    const TableDefinition& def = *definitions_[Catalog::kObjectsDefinitionPage];
    const CatalogRowReader reader(def);
    const RowLayout layout = LayoutOf(def);
    LongValuePages long_pages(source_, def, PagesPastEnd::kIgnore);
    std::vector<Value> values;
    size_t ignored = 0;
    ScanOwnedRows(
        source_, Catalog::kObjectsDefinitionPage, owners_[Catalog::kObjectsDefinitionPage],
        file_end_,
        [&](RowPointer, ByteView bytes) {
          if (!DecodeRow(source_, def, layout, long_pages, bytes, values, ignored)) return;
          entries_.push_back(reader.Entry(values));
        },
        [](RowPointer) {});
  }

  // Leaves out each index whose keys only the source's index can give (MayNeedCarriedKeys)
  // when that index does not read, unless a relationship relies on it.
  void DropIndexesWithoutKeys(const std::string& table, uint32_t page, TableDefinition& def) {
    for (size_t r = def.real_indexes.size(); r-- > 0;) {
      const RealIndex& index = def.real_indexes[r];
      if (!MayNeedCarriedKeys(def, index)) continue;
      try {
        ReadIndexTree(source_, index.root_page, page);
        continue;
      } catch (const JetError&) {
      }
      bool related = false;
      for (const LogicalIndex& l : def.logical_indexes) {
        related |= l.real_index == r && l.type == LogicalIndex::kForeignKey;
      }
      if (related) continue;
      report_.dropped_indexes.push_back({table, def.RealIndexName(r)});
      def.real_indexes.erase(def.real_indexes.begin() + static_cast<std::ptrdiff_t>(r));
      std::erase_if(def.logical_indexes, [r](const LogicalIndex& l) { return l.real_index == r; });
      for (LogicalIndex& l : def.logical_indexes) {
        if (l.real_index > r) --l.real_index;
      }
    }
  }

  // Whether a catalog row is about a table that is not in the copy.
  bool AboutLostTable(const std::string& table, const TableDefinition& def,
                      const std::vector<Value>& values) {
    if (lost_ids_.empty()) return false;
    for (size_t c : TableIdColumns(table, def)) {
      if (def.columns[c].name == "ParentId") continue;
      const Value& v = values[c];
      if (!v.IsNull() && v.integer > 0 && lost_ids_.count(static_cast<uint32_t>(v.integer))) {
        return true;
      }
    }
    return false;
  }

  // The pages of a table's rows: those whose header names it (owners_), less pages it gave
  // up. Access leaves such pages with their header and rows, neither free nor listed
  // anywhere; a page counts as the table's while its usage map lists it or an entry of one
  // of its indexes points into it (a damaged map loses nothing an index still finds), or
  // when the map does not read at all.
  std::vector<uint32_t> RowPages(const TableDefinition& def, uint32_t definition_page,
                                 size_t& stale) {
    const std::vector<uint32_t>& pages = owners_[definition_page];
    std::vector<uint32_t> listed;
    try {
      listed = ReadUsageMap(source_, def.owned_pages);
    } catch (const JetError&) {
      return pages;
    }
    std::set<uint32_t> wanted(listed.begin(), listed.end());
    for (const RealIndex& index : def.real_indexes) {
      try {
        for (const IndexEntry& e :
             ReadIndexTree(source_, index.root_page, definition_page).entries) {
          wanted.insert(e.row.page);
        }
      } catch (const JetError&) {
      }
    }
    std::vector<uint32_t> out;
    for (uint32_t p : pages) {
      if (wanted.count(p)) {
        out.push_back(p);
      } else {
        ++stale;
      }
    }
    return out;
  }

  RepairedTable CopyTable(Database& target, const SourceTable& t, const TableDefinition& def) {
    RepairedTable r;
    r.name = t.entry->name;
    r.system = t.entry->kind == ObjectKind::kSystemTable;
    r.rows_recorded = def.row_count;
    CarriedKeys keys(source_, def, t.page, true);
    RowPointer current;
    const RowLayout layout = LayoutOf(def);
    LongValuePages long_pages(source_, def, PagesPastEnd::kIgnore);
    const std::vector<size_t> id_columns = TableIdColumns(r.name, def);

    Transaction transaction(target);
    TableWriter writer(target, t.new_page, r.name);
    writer.CarryKeysFrom(
        [&](size_t index, std::vector<uint8_t>& key) { return keys.Find(index, current, key); });
    // Rows move as stored (every column type copies so), but for the catalog's, whose ids
    // change: they go value by value.
    const bool stored = id_columns.empty();
    if (stored) {
      std::vector<int> same(def.columns.size());
      for (size_t i = 0; i < same.size(); ++i) same[i] = static_cast<int>(i);
      writer.PrepareStoredCopy(def, same, [&](size_t column, ByteView bytes) {
        return ReadLongValue(source_, bytes, long_pages, def.columns[column].id);
      });
    }
    std::vector<Value> values;
    std::vector<uint8_t> row;
    ScanOwnedRows(
        source_, t.page, RowPages(def, t.page, r.stale_pages), file_end_,
        [&](RowPointer where, ByteView bytes) {
          current = where;
          if (!DecodeRow(source_, def, layout, long_pages, bytes, values, r.long_values_lost,
                         &row)) {
            ++r.rows_unreadable;
            return;
          }
          if (AboutLostTable(r.name, def, values)) {
            ++report_.catalog_rows_dropped;
            return;
          }
          for (size_t c : id_columns) {
            Value& v = values[c];
            if (!v.IsNull()) v.integer = MapId(static_cast<int32_t>(v.integer), pages_);
          }
          try {
            if (stored) {
              writer.InsertStored(ByteView(row.data(), row.size()));
            } else {
              writer.Insert(values);
            }
            ++r.rows_kept;
          } catch (const JetError& e) {
            if (e.problem() == Problem::kDuplicateKey) {
              ++r.rows_duplicate;
            } else if (e.problem() == Problem::kCannotIndexUnderSortOrder ||
                       e.problem() == Problem::kCannotIndex) {
              ++r.rows_without_key;
            } else if (e.kind() == ErrorKind::kConstraint || e.kind() == ErrorKind::kCorrupt) {
              ++r.rows_refused;
            } else {
              throw;
            }
          }
        },
        [&](RowPointer) { ++r.rows_unreadable; });
    writer.Finish();
    transaction.Commit();
    r.carried_keys = keys.used();
    return r;
  }

  Pager& source_;
  uint64_t file_end_;
  std::filesystem::path destination_;
  std::string password_;
  RepairReport report_;
  std::map<uint32_t, std::vector<uint32_t>> owners_;
  std::vector<CatalogEntry> entries_;
  std::map<uint32_t, std::unique_ptr<TableDefinition>> definitions_;
  std::map<uint32_t, uint32_t> pages_;
  std::set<uint32_t> lost_ids_;
};

}  // namespace

bool RepairReport::LostAnything() const {
  if (!lost_tables.empty() || !dropped_indexes.empty() || catalog_rows_dropped > 0) return true;
  for (const RepairedTable& t : tables) {
    if (t.LostAnything()) return true;
  }
  return false;
}

RepairReport RepairDatabase(const std::filesystem::path& source_path,
                            const std::filesystem::path& destination, std::string_view password) {
  RefuseExisting(destination);
  const uint64_t file_end = std::filesystem::file_size(source_path);
  const std::filesystem::path completed = CompletedCopy(source_path, destination);
  struct RemoveCompleted {
    std::filesystem::path path;
    ~RemoveCompleted() {
      std::error_code ec;
      if (!path.empty()) std::filesystem::remove(path, ec);
    }
  } remove_completed{completed};

  Pager source(completed.empty() ? source_path : completed, Pager::Mode::kReadOnly);
  const std::u16string& stored = source.header().password;
  if (!stored.empty() && stored != base::Utf8ToUtf16(password)) {
    throw JetError(Problem::kBadPassword, {.file = base::PathToUtf8(source_path)});
  }
  try {
    return Repair(source, file_end, destination, password).Run();
  } catch (...) {
    RemoveCopy(destination);
    throw;
  }
}

}  // namespace jet::compact

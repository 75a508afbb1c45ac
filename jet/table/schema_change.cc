#include "jet/table/schema_change.h"

#include <algorithm>

#include "base/unicode.h"
#include "jet/error.h"
#include "jet/format/data_page.h"
#include "jet/format/index_key.h"
#include "jet/format/row_reader.h"
#include "jet/format/text_key.h"
#include "jet/format/usage_map.h"
#include "jet/table/database.h"
#include "jet/table/definition_writer.h"
#include "jet/table/index_writer.h"
#include "jet/table/table.h"
#include "jet/table/table_writer.h"
#include "jet/table/usage_map_editor.h"

namespace jet {
namespace {

constexpr int32_t kTablesContainer = 0x0F000001;
constexpr int16_t kTableObjectType = 1;
constexpr int32_t kNewObjectAccess = 1048575;  // every right, as Access grants new tables
constexpr size_t kMaxNameLength = 64;          // characters, as Access allows for any object

bool IsFixedType(const NewColumn& c) {
  switch (c.type) {
    case ColumnType::kText:
      return c.fixed_length;
    case ColumnType::kBinary:
      return c.fixed_length;
    case ColumnType::kMemo:
    case ColumnType::kOle:
      return false;
    default:
      return true;
  }
}

uint16_t StoredLength(const NewColumn& c) {
  switch (c.type) {
    case ColumnType::kBoolean:
      return 1;
    case ColumnType::kText:
      return static_cast<uint16_t>(2 * c.length);
    case ColumnType::kBinary:
      return c.length;
    default:
      return static_cast<uint16_t>(FixedTypeSize(c.type));
  }
}

ColumnDefinition BuildColumn(const NewColumn& spec, uint16_t id, const SortOrder& sort_order) {
  ValidateObjectName(spec.name);
  if (spec.type == ColumnType::kText && (spec.length < 1 || spec.length > kMaxTextLength)) {
    throw JetError(Problem::kTextLength, {.column = spec.name, .limit = kMaxTextLength});
  }
  if (spec.type == ColumnType::kBinary && (spec.length < 1 || spec.length > kMaxBinaryLength)) {
    throw JetError(Problem::kBinaryLength, {.column = spec.name, .limit = kMaxBinaryLength});
  }
  if (spec.autonumber && spec.type != ColumnType::kLong) {
    throw JetError(Problem::kAutonumberType, {.column = spec.name});
  }
  ColumnDefinition c;
  c.name = spec.name;
  c.type = spec.type;
  c.id = id;
  c.ordinal = id;
  // Access stamps the database's sort order on every column, whatever its type.
  c.sort_order = sort_order;
  c.precision = spec.precision;
  c.scale = spec.scale;
  c.flags = ColumnDefinition::kFlagUpdatable;
  if (IsFixedType(spec)) c.flags |= ColumnDefinition::kFlagFixed;
  if (spec.autonumber) c.flags |= ColumnDefinition::kFlagAutoLong;
  c.length = StoredLength(spec);
  return c;
}

// Places a new column's storage: fixed columns at the end of the fixed area, variable
// columns in the next slot. Booleans live in the null mask and take neither.
void PlaceColumn(TableDefinition& def, ColumnDefinition& c) {
  if (c.type == ColumnType::kBoolean) return;
  if (c.IsFixed()) {
    size_t end = 0;
    for (const auto& other : def.columns) {
      if (other.IsFixed() && other.type != ColumnType::kBoolean) {
        end = std::max(end, size_t{other.fixed_offset} + FixedSizeOf(other));
      }
    }
    c.fixed_offset = static_cast<uint16_t>(end);
  } else {
    c.variable_index = def.variable_columns++;
  }
}

// Adds a map row to the table's usage-map page, or to a fresh one when it is full.
RowPointer PlaceMapRow(Database& db, uint32_t& map_page, const std::vector<uint8_t>& row) {
  Pager& pager = db.pager();
  if (map_page != 0) {
    if (auto slot = AppendRowToPage(pager.Modify(map_page), ByteView(row.data(), row.size()))) {
      return RowPointer{map_page, static_cast<uint8_t>(*slot)};
    }
  }
  map_page = db.allocator().Allocate();
  InitDataPage(pager.Modify(map_page), 0);  // usage-map pages have no owner
  auto slot = AppendRowToPage(pager.Modify(map_page), ByteView(row.data(), row.size()));
  return RowPointer{map_page, static_cast<uint8_t>(*slot)};
}

Value Bytes(std::vector<uint8_t> b) {
  Value v;
  v.kind = ValueKind::kBinary;
  v.bytes = std::move(b);
  return v;
}

// The catalog rows that make the table exist: MSysObjects (with both its indexes, kept by
// the table writer) and one MSysACEs row per account that has rights on the Tables
// container. Owner and account SIDs are copied from rows already in the file, never made up:
// in password-protected files they may be masked in ways we cannot reproduce.
void AddCatalogRows(Database& db, const std::string& name, uint32_t tdef_page) {
  Table objects(db, Catalog::kObjectsDefinitionPage, "MSysObjects");
  const TableDefinition& odef = objects.definition();
  const size_t id = odef.RequireColumn("Id"), parent = odef.RequireColumn("ParentId"),
               nm = odef.RequireColumn("Name"), type = odef.RequireColumn("Type"),
               created = odef.RequireColumn("DateCreate"),
               updated = odef.RequireColumn("DateUpdate"), owner = odef.RequireColumn("Owner"),
               flags = odef.RequireColumn("Flags");
  std::vector<uint8_t> owner_sid;
  objects.Scan([&](RowPointer, const std::vector<Value>& v) {
    if (v[nm].text == "MSysDb" && v[type].integer == 2) {
      owner_sid = v[owner].bytes;
      return false;
    }
    return true;
  });

  std::vector<Value> row(odef.columns.size());
  row[id] = Value::Long(static_cast<int32_t>(tdef_page));
  row[parent] = Value::Long(kTablesContainer);
  row[nm] = Value::Text(name);
  row[type] = Value{ValueKind::kInteger, kTableObjectType, 0, {}, {}};
  double now = OleDateNow();
  row[created] = Value{ValueKind::kDateTime, 0, now, {}, {}};
  row[updated] = row[created];
  if (!owner_sid.empty()) row[owner] = Bytes(owner_sid);
  row[flags] = Value::Long(0);
  TableWriter object_writer(db, Catalog::kObjectsDefinitionPage, "MSysObjects");
  object_writer.Insert(std::move(row));
  object_writer.Finish();

  const CatalogEntry* aces = db.catalog().Find("MSysACEs", ObjectKind::kSystemTable);
  if (!aces) return;
  Table ace_table = db.OpenTable(*aces);
  const TableDefinition& adef = ace_table.definition();
  const size_t object = adef.RequireColumn("ObjectId"), sid = adef.RequireColumn("SID"),
               acm = adef.RequireColumn("ACM"), inheritable = adef.RequireColumn("FInheritable");
  std::vector<std::vector<uint8_t>> sids;
  ace_table.Scan([&](RowPointer, const std::vector<Value>& v) {
    if (v[object].integer == kTablesContainer &&
        std::find(sids.begin(), sids.end(), v[sid].bytes) == sids.end()) {
      sids.push_back(v[sid].bytes);
    }
    return true;
  });
  TableWriter ace_writer(db, aces->DefinitionPage(), "MSysACEs");
  for (const auto& s : sids) {
    std::vector<Value> r(adef.columns.size());
    r[object] = Value::Long(static_cast<int32_t>(tdef_page));
    r[sid] = Bytes(s);
    r[acm] = Value::Long(kNewObjectAccess);
    r[inheritable] = Value::Boolean(false);
    ace_writer.Insert(std::move(r));
  }
  ace_writer.Finish();
}

}  // namespace

void ValidateObjectName(const std::string& name) {
  std::u16string text = base::Utf8ToUtf16(name);
  bool bad = text.empty() || text.size() > kMaxNameLength || text[0] == u' ';
  for (char16_t c : text)
    bad |= c < 0x20 || c == u'.' || c == u'!' || c == u'`' || c == u'[' || c == u']';
  if (bad) {
    throw JetError(Problem::kInvalidName, {.name = name});
  }
}

uint32_t CreateTable(Database& db, const std::string& name, const std::vector<NewColumn>& columns,
                     const std::vector<NewIndex>& indexes) {
  ValidateObjectName(name);
  // The catalog indexes table names as text in the database's sort order; say so plainly
  // rather than through the catalog's index name.
  const SortOrder order = db.header().sort_order;
  if (!MakesTextKeysUnder(order.lcid, order.version)) {
    throw JetError(Problem::kCannotCatalogUnderSortOrder, {.table = name, .number = order.lcid});
  }
  if (!TextKeyMatchesGeneral(base::Utf8ToUtf16(name), order.lcid)) {
    throw JetError(Problem::kCannotCatalogName, {.table = name, .number = order.lcid});
  }
  for (const auto& e : db.catalog().entries()) {
    if (e.kind != ObjectKind::kOther && base::EqualsIgnoreCase(e.name, name)) {
      throw JetError(Problem::kTableExists, {.table = name});
    }
  }
  if (columns.empty()) throw JetError(Problem::kNoFields, {.table = name});
  if (columns.size() > tdef::kMaxColumns) {
    throw JetError(Problem::kTooManyFields, {.table = name, .limit = tdef::kMaxColumns});
  }
  for (size_t i = 0; i < columns.size(); ++i) {
    for (size_t k = 0; k < i; ++k) {
      if (base::EqualsIgnoreCase(columns[i].name, columns[k].name)) {
        throw JetError(Problem::kFieldDefinedTwice, {.table = name, .column = columns[i].name});
      }
    }
  }
  Pager& pager = db.pager();
  PageAllocator& allocator = db.allocator();
  const SortOrder sort_order = db.header().sort_order;

  TableDefinition def;
  def.table_type = TableDefinition::kUserTable;
  def.autonumber_increment = 1;
  for (const NewColumn& spec : columns) {
    ColumnDefinition c = BuildColumn(spec, static_cast<uint16_t>(def.columns.size()), sort_order);
    PlaceColumn(def, c);
    def.columns.push_back(std::move(c));
  }
  def.next_column_id = static_cast<uint16_t>(def.columns.size());

  // Pages in the order Access and Jackcess take them: definition, usage maps, index roots.
  const uint32_t tdef_page = allocator.Allocate();
  uint32_t map_page = 0;
  def.owned_pages = PlaceMapRow(db, map_page, NewInlineUsageMap(0));
  def.free_pages = PlaceMapRow(db, map_page, NewInlineUsageMap(0));

  for (const NewIndex& spec : indexes) {
    RealIndex ri;
    for (const auto& [column_name, ascending] : spec.columns) {
      const ColumnDefinition* c = def.FindColumn(column_name);
      if (!c) {
        throw JetError(Problem::kIndexFieldMissing,
                       {.table = name, .column = column_name, .index = spec.name});
      }
      ri.columns.push_back({c->id, ascending});
    }
    if (ri.columns.empty() || ri.columns.size() > tdef::kMaxIndexColumns) {
      throw JetError(Problem::kIndexFieldCount,
                     {.table = name, .index = spec.name, .limit = tdef::kMaxIndexColumns});
    }
    // 0x80 is set on every index Access 2000 and later writes.
    ri.flags = 0x80;
    if (spec.primary_key) ri.flags |= RealIndex::kFlagUnique | RealIndex::kFlagRequired;
    if (spec.unique) ri.flags |= RealIndex::kFlagUnique;
    if (spec.ignore_nulls) ri.flags |= RealIndex::kFlagIgnoreNulls;
    ri.root_page = allocator.Allocate();
    ri.usage_map = PlaceMapRow(db, map_page, NewInlineUsageMap(ri.root_page));
    WriteEmptyIndexRoot(pager, ri.root_page, tdef_page);

    LogicalIndex li;
    li.name = spec.name;
    ValidateObjectName(li.name);
    li.number = static_cast<uint32_t>(def.logical_indexes.size());
    li.real_index = static_cast<uint32_t>(def.real_indexes.size());
    li.type = spec.primary_key ? LogicalIndex::kPrimaryKey : 0;
    // Access writes 4, 4 here on every index that is not a relationship.
    li.cascade_update = 4;
    li.cascade_delete = 4;
    def.real_indexes.push_back(std::move(ri));
    def.logical_indexes.push_back(std::move(li));
  }
  for (const auto& c : def.columns) {
    if (!IsLongValueType(c.type)) continue;
    LongValueMaps m;
    m.column_id = c.id;
    m.owned = PlaceMapRow(db, map_page, NewInlineUsageMap(0));
    m.free = PlaceMapRow(db, map_page, NewInlineUsageMap(0));
    def.long_value_maps.push_back(m);
  }
  WriteDefinition(pager, allocator, tdef_page, def);
  AddCatalogRows(db, name, tdef_page);
  db.ReloadCatalog();
  return tdef_page;
}

void AddColumn(Database& db, const std::string& table, const NewColumn& column) {
  const CatalogEntry* entry = db.catalog().FindTable(table);
  if (!entry ||
      (entry->kind != ObjectKind::kUserTable && entry->kind != ObjectKind::kSystemTable)) {
    throw JetError(Problem::kTableNotFound, {.table = table});
  }
  // Only the definition is rewritten and maps placed on the table's usage-map page; the
  // first transaction's reference check has seen to both.
  const uint32_t tdef_page = entry->DefinitionPage();
  TableDefinition def = db.Definition(tdef_page);
  if (def.FindColumn(column.name)) {
    throw JetError(Problem::kFieldExists, {.table = entry->name, .column = column.name});
  }
  if (def.columns.size() >= tdef::kMaxColumns || def.next_column_id >= 0xFFFF) {
    throw JetError(Problem::kTooManyFields, {.table = entry->name, .limit = tdef::kMaxColumns});
  }
  ColumnDefinition c = BuildColumn(column, def.next_column_id, db.header().sort_order);
  PlaceColumn(def, c);
  ++def.next_column_id;
  if (IsLongValueType(c.type)) {
    // The column's maps go beside the table's own, on its usage-map page if there is room.
    uint32_t map_page = def.owned_pages.page;
    LongValueMaps m;
    m.column_id = c.id;
    m.owned = PlaceMapRow(db, map_page, NewInlineUsageMap(0));
    m.free = PlaceMapRow(db, map_page, NewInlineUsageMap(0));
    def.long_value_maps.push_back(m);
  }
  def.columns.push_back(std::move(c));
  WriteDefinition(db.pager(), db.allocator(), tdef_page, def);
  db.ForgetDefinition(tdef_page);
}

}  // namespace jet

#include "jet/table/database_creator.h"

#include <chrono>
#include <cstring>
#include <vector>

#include "base/unicode.h"
#include "base/utf8_path.h"
#include "jet/error.h"
#include "jet/file/journal.h"
#include "jet/file/os_file.h"
#include "jet/format/data_page.h"
#include "jet/format/index_page.h"
#include "jet/format/page_size.h"
#include "jet/format/table_definition.h"
#include "jet/format/usage_map.h"
#include "jet/table/database.h"
#include "jet/table/table_writer.h"

namespace jet {
namespace {

// The layout of the system tables, as the Jet engine writes them (an ADOX-created file
// shows it). Descriptors are stored in name order; ids, variable slots and fixed offsets
// are what the rows rely on.
struct SystemColumn {
  const char* name;
  ColumnType type;
  uint16_t id;
  uint16_t variable_index;
  uint16_t fixed_offset;
  uint16_t length;
  uint8_t flags;
};

struct SystemIndex {
  const char* name;
  std::vector<uint16_t> columns;
  uint8_t flags;
  uint8_t logical_type;
  uint32_t logical_number;
};

struct SystemTable {
  uint32_t tdef_page;
  uint16_t next_column_id;
  uint16_t variable_columns;
  std::vector<SystemColumn> columns;
  std::vector<SystemIndex> indexes;  // in real-index order
};

constexpr uint8_t kFixed = 0x13, kVariable = 0x12, kSid = 0x32;
constexpr auto L = ColumnType::kLong;

const std::vector<SystemTable>& SystemTables() {
  static const std::vector<SystemTable> tables = {
      {2,
       17,
       11,
       {{"Connect", ColumnType::kMemo, 9, 3, 0, 0, kVariable},
        {"Database", ColumnType::kMemo, 8, 2, 0, 0, kVariable},
        {"DateCreate", ColumnType::kDateTime, 4, 1, 10, 8, kFixed},
        {"DateUpdate", ColumnType::kDateTime, 5, 1, 18, 8, kFixed},
        {"Flags", L, 7, 2, 26, 4, kFixed},
        {"ForeignName", ColumnType::kText, 10, 4, 0, 510, kVariable},
        {"Id", L, 0, 0, 0, 4, kFixed},
        {"Lv", ColumnType::kOle, 13, 7, 0, 0, kVariable},
        {"LvExtra", ColumnType::kOle, 16, 10, 0, 0, kVariable},
        {"LvModule", ColumnType::kOle, 15, 9, 0, 0, kVariable},
        {"LvProp", ColumnType::kOle, 14, 8, 0, 0, kVariable},
        {"Name", ColumnType::kText, 2, 0, 0, 510, kVariable},
        {"Owner", ColumnType::kBinary, 6, 1, 0, 510, kSid},
        {"ParentId", L, 1, 0, 4, 4, kFixed},
        {"RmtInfoLong", ColumnType::kOle, 12, 6, 0, 0, kVariable},
        {"RmtInfoShort", ColumnType::kBinary, 11, 5, 0, 510, kVariable},
        {"Type", ColumnType::kInteger, 3, 1, 8, 2, kFixed}},
       {{"ParentIdName", {1, 2}, 0x81, 0, 0}, {"Id", {0}, 0x81, LogicalIndex::kPrimaryKey, 1}}},
      {3,
       4,
       1,
       {{"ACM", L, 2, 1, 4, 4, kFixed},
        {"FInheritable", ColumnType::kBoolean, 3, 1, 0, 1, kFixed},
        {"ObjectId", L, 0, 0, 0, 4, kFixed},
        {"SID", ColumnType::kBinary, 1, 0, 0, 510, kSid}},
       {{"ObjectId", {0}, 0x88, 0, 0}}},
      {4,
       8,
       4,
       {{"Attribute", ColumnType::kByte, 1, 0, 4, 1, kFixed},
        {"Expression", ColumnType::kMemo, 5, 3, 0, 0, kVariable},
        {"Flag", ColumnType::kInteger, 6, 4, 5, 2, kFixed},
        {"LvExtra", L, 7, 4, 7, 4, kFixed},
        {"Name1", ColumnType::kText, 3, 1, 0, 510, kVariable},
        {"Name2", ColumnType::kText, 4, 2, 0, 510, kVariable},
        {"ObjectId", L, 0, 0, 0, 4, kFixed},
        {"Order", ColumnType::kBinary, 2, 0, 0, 510, kVariable}},
       {{"ObjectIdAttribute", {0, 1, 2}, 0x81, LogicalIndex::kPrimaryKey, 0}}},
      {5,
       8,
       5,
       {{"ccolumn", L, 2, 1, 4, 4, kFixed},
        {"grbit", L, 1, 1, 0, 4, kFixed},
        {"icolumn", L, 3, 1, 8, 4, kFixed},
        {"szColumn", ColumnType::kText, 5, 2, 0, 510, kVariable},
        {"szObject", ColumnType::kText, 4, 1, 0, 510, kVariable},
        {"szReferencedColumn", ColumnType::kText, 7, 4, 0, 510, kVariable},
        {"szReferencedObject", ColumnType::kText, 6, 3, 0, 510, kVariable},
        {"szRelationship", ColumnType::kText, 0, 0, 0, 510, kVariable}},
       {{"szRelationship", {0}, 0x82, 0, 0},
        {"szObject", {4}, 0x82, 0, 1},
        {"szReferencedObject", {6}, 0x82, 0, 2}}},
  };
  return tables;
}

constexpr uint32_t kMapPage = 6;
constexpr uint32_t kFirstIndexRoot = 7;
// The free-page map's bitmap: generous, so files up to 32 MiB keep every page covered.
constexpr size_t kFreeMapBitmapBytes = 1024;

uint16_t CodePageFor(const SortOrder& order) {
  switch (order.lcid) {
    case 2052:
      return 936;  // Chinese (PRC)
    case 1028:
      return 950;  // Chinese (Taiwan)
    case 1041:
      return 932;  // Japanese
    case 1042:
      return 949;  // Korean
    default:
      return 1252;
  }
}

std::vector<uint8_t> HeaderPage(std::string_view password, const SortOrder& order) {
  std::vector<uint8_t> page(kPageSize, 0);
  static const char kMagic[] = "Standard Jet DB";
  page[1] = 0x01;
  std::memcpy(page.data() + 4, kMagic, 16);
  page[0x14] = 0x01;  // Jet 4
  // Fixed fields inside the masked region, as the engine writes them.
  ApplyHeaderMask(page);
  PutU32(page.data() + 0x18, 0x00000100);
  PutU32(page.data() + 0x1C, 0x00000101);
  for (uint32_t i = 0; i < 4; ++i) PutU32(page.data() + 0x20 + 4 * i, 2 + i);
  PutU32(page.data() + 0x6A, 0x0000261C);
  ApplyHeaderMask(page);
  PutU32(page.data() + 0x98, 0x00000654);
  std::memcpy(page.data() + 0x9C, "4.0", 4);
  // The per-user commit table: every slot idle.
  for (size_t at = 0xE00; at < kPageSize; at += 2) page[at + 1] = 0x01;

  DatabaseHeader h;
  h.format = FileFormat::kJet4;
  h.code_page = CodePageFor(order);
  h.sort_order = order;
  // To the millisecond, not the second the catalog's dates keep: the creation date is what
  // tells two databases apart (a journal found beside a file must be that file's own).
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::system_clock::now().time_since_epoch())
                      .count() %
                  1000;
  h.creation_date = OleDateNow() + static_cast<double>(ms) / 86'400'000.0;
  h.password = base::Utf8ToUtf16(password);
  EncodeDatabaseHeader(h, page);
  return page;
}

TableDefinition BuildSystemDefinition(const SystemTable& t, const SortOrder& order,
                                      uint16_t& next_map_row, uint32_t& next_root) {
  TableDefinition def;
  def.table_type = TableDefinition::kSystemTable;
  def.next_column_id = t.next_column_id;
  def.variable_columns = t.variable_columns;
  def.owned_pages = {kMapPage, static_cast<uint8_t>(next_map_row++)};
  def.free_pages = {kMapPage, static_cast<uint8_t>(next_map_row++)};
  for (const SystemColumn& s : t.columns) {
    ColumnDefinition c;
    c.name = s.name;
    c.type = s.type;
    c.id = s.id;
    c.variable_index = s.variable_index;
    c.sort_order = order;
    c.flags = s.flags;
    c.fixed_offset = s.fixed_offset;
    c.length = s.length;
    def.columns.push_back(c);
  }
  // Long-value maps come before the index maps on the map page, in column-id order.
  std::vector<uint16_t> long_ids;
  for (const auto& c : def.columns) {
    if (IsLongValueType(c.type)) long_ids.push_back(c.id);
  }
  std::sort(long_ids.begin(), long_ids.end());
  for (uint16_t id : long_ids) {
    LongValueMaps m;
    m.column_id = id;
    m.owned = {kMapPage, static_cast<uint8_t>(next_map_row++)};
    m.free = {kMapPage, static_cast<uint8_t>(next_map_row++)};
    def.long_value_maps.push_back(m);
  }
  std::vector<LogicalIndex> logical(t.indexes.size());
  for (size_t r = 0; r < t.indexes.size(); ++r) {
    const SystemIndex& s = t.indexes[r];
    RealIndex ri;
    for (uint16_t id : s.columns) ri.columns.push_back({id, true});
    ri.flags = s.flags;
    ri.root_page = next_root++;
    ri.usage_map = {kMapPage, static_cast<uint8_t>(next_map_row++)};
    def.real_indexes.push_back(ri);
    LogicalIndex& li = logical[s.logical_number];
    li.name = s.name;
    li.number = s.logical_number;
    li.real_index = static_cast<uint32_t>(r);
    li.type = s.logical_type;
    li.cascade_update = 4;
    li.cascade_delete = 4;
  }
  def.logical_indexes = std::move(logical);
  return def;
}

void WritePages(const std::filesystem::path& path, std::string_view password,
                const SortOrder& order) {
  std::vector<std::vector<uint8_t>> pages;
  pages.push_back(HeaderPage(password, order));

  uint16_t map_row = 0;
  uint32_t root = kFirstIndexRoot;
  std::vector<TableDefinition> defs;
  for (const SystemTable& t : SystemTables())
    defs.push_back(BuildSystemDefinition(t, order, map_row, root));
  const uint32_t page_count = root;  // header, free map, 4 definitions, map page, roots

  // Page 1: the free-page map (set bit = free: every page past the end of the file) and
  // the second, empty map Access keeps beside it.
  std::vector<uint8_t> free_map(5 + kFreeMapBitmapBytes, 0);
  for (size_t p = page_count; p < kFreeMapBitmapBytes * 8; ++p) free_map[5 + p / 8] |= 1 << (p % 8);
  std::vector<uint8_t> spare(free_map.size(), 0);
  std::vector<uint8_t> page1(kPageSize);
  InitDataPage(page1, 1);
  AppendRowToPage(page1, ByteView(free_map.data(), free_map.size()));
  AppendRowToPage(page1, ByteView(spare.data(), spare.size()));
  pages.push_back(page1);

  for (const TableDefinition& def : defs) {
    std::vector<uint8_t> logical = EncodeTableDefinition(def);
    std::vector<uint8_t> page(kPageSize, 0);
    std::copy(logical.begin(), logical.end(), page.begin());
    PutU16(page.data() + tdef::kFreeSpace,
           static_cast<uint16_t>(kPageSize - logical.size() - tdef::kPageReserve));
    pages.push_back(page);
  }

  // Page 6: every usage map of the system tables, in the order the definitions name them.
  std::vector<uint8_t> map_page(kPageSize);
  InitDataPage(map_page, 0);
  std::vector<std::vector<uint8_t>> rows(map_row,
                                         std::vector<uint8_t>(usage_map::kInlineRowSize, 0));
  for (const TableDefinition& def : defs) {
    for (const RealIndex& ri : def.real_indexes) {
      auto& row = rows[ri.usage_map.row];
      uint32_t start = ri.root_page - ri.root_page % 8;
      PutU32(row.data() + 1, start);
      row[5 + (ri.root_page - start) / 8] |= 1 << ((ri.root_page - start) % 8);
    }
  }
  for (const auto& row : rows) AppendRowToPage(map_page, ByteView(row.data(), row.size()));
  pages.push_back(map_page);

  for (size_t d = 0; d < defs.size(); ++d) {
    for (const RealIndex& ri : defs[d].real_indexes) {
      std::vector<uint8_t> page(kPageSize);
      BuildIndexPage(page, true, 0, 2 + static_cast<uint32_t>(d), 0, 0, 0, {});
      pages.push_back(page);
      (void)ri;
    }
  }

  OsFile file = OsFile::Create(path);
  for (size_t i = 0; i < pages.size(); ++i) file.WriteAt(i * kPageSize, pages[i]);
  file.Sync();
  SyncDirectoryOf(path);
}

Value Sid(std::initializer_list<uint8_t> bytes) {
  Value v;
  v.kind = ValueKind::kBinary;
  v.bytes = bytes;
  return v;
}

// The catalog rows and permissions of an engine-created database.
void AddCatalogRows(Database& db) {
  const Value admins = Sid({0x65, 0x89}), creator = Sid({0x64, 0x8B}), users = Sid({0x65, 0x8B}),
              engine = Sid({0x65, 0x8E});
  const double now = OleDateNow();
  struct ObjectRow {
    int32_t id, parent;
    const char* name;
    int16_t type;
    const Value* owner;
  };
  const ObjectRow objects[] = {
      {0x0F000001, 0x0F000000, "Tables", 3, &admins},
      {0x0F000002, 0x0F000000, "Databases", 3, &admins},
      {0x0F000003, 0x0F000000, "Relationships", 3, &admins},
      {0x10000000, 0x0F000002, "MSysDb", 2, &creator},
      {2, 0x0F000001, "MSysObjects", 1, &admins},
      {3, 0x0F000001, "MSysACEs", 1, &admins},
      {4, 0x0F000001, "MSysQueries", 1, &admins},
      {5, 0x0F000001, "MSysRelationships", 1, &admins},
  };
  TableWriter writer(db, 2, "MSysObjects");
  const TableDefinition& def = writer.definition();
  for (const ObjectRow& o : objects) {
    std::vector<Value> v(def.columns.size());
    v[def.RequireColumn("Id")] = Value::Long(o.id);
    v[def.RequireColumn("ParentId")] = Value::Long(o.parent);
    v[def.RequireColumn("Name")] = Value::Text(o.name);
    v[def.RequireColumn("Type")] = Value{ValueKind::kInteger, o.type, 0, {}, {}};
    v[def.RequireColumn("DateCreate")] = Value{ValueKind::kDateTime, 0, now, {}, {}};
    v[def.RequireColumn("DateUpdate")] = v[def.RequireColumn("DateCreate")];
    v[def.RequireColumn("Owner")] = *o.owner;
    v[def.RequireColumn("Flags")] = Value::Long(static_cast<int32_t>(0x80000000u));
    writer.Insert(std::move(v));
  }
  writer.Finish();

  struct AceRow {
    int32_t object;
    const Value* sid;
    int32_t acm;
    bool inheritable;
  };
  const AceRow aces[] = {
      {2, &creator, 393216, false},
      {3, &creator, 393216, false},
      {4, &creator, 393216, false},
      {5, &creator, 917504, false},
      {0x0F000001, &engine, 983294, true},
      {0x0F000001, &creator, 393217, false},
      {0x0F000003, &engine, 983294, true},
      {0x0F000003, &creator, 393217, false},
      {0x0F000002, &creator, 393216, false},
      {0x10000000, &creator, 393230, false},
      {0x10000000, &users, 14, false},
      {4, &users, 20, false},
      {5, &users, 20, false},
      {2, &users, 20, false},
      {0x0F000001, &users, 1048319, true},
      {0x0F000003, &users, 1048575, true},
  };
  TableWriter ace_writer(db, 3, "MSysACEs");
  const TableDefinition& adef = ace_writer.definition();
  for (const AceRow& a : aces) {
    std::vector<Value> v(adef.columns.size());
    v[adef.RequireColumn("ObjectId")] = Value::Long(a.object);
    v[adef.RequireColumn("SID")] = *a.sid;
    v[adef.RequireColumn("ACM")] = Value::Long(a.acm);
    v[adef.RequireColumn("FInheritable")] = Value::Boolean(a.inheritable);
    ace_writer.Insert(std::move(v));
  }
  ace_writer.Finish();
}

}  // namespace

void CreateDatabase(const std::filesystem::path& path, std::string_view password,
                    SortOrder sort_order) {
  std::error_code ec;
  if (std::filesystem::exists(path, ec)) {
    throw JetError(Problem::kFileExists, {.file = base::PathToUtf8(path)});
  }
  if (base::Utf8ToUtf16(password).size() > 20) {
    throw JetError(Problem::kPasswordTooLong, {.limit = 20});
  }
  try {
    WritePages(path, password, sort_order);
    auto db = Database::Open(path, password, Pager::Mode::kReadWrite);
    Transaction t(*db);
    AddCatalogRows(*db);
    t.Commit();
  } catch (...) {
    std::filesystem::remove(path, ec);
    std::filesystem::remove(JournalPathFor(path), ec);
    throw;
  }
}

}  // namespace jet

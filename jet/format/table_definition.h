// The table definition (TDEF): a table's columns, indexes, usage maps, row count and
// autonumber counter. Stored on one or more 0x02 pages; this codec works on the logical
// definition, that is the first page whole followed by each continuation page from offset 8.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "jet/format/bytes.h"
#include "jet/format/column_type.h"
#include "jet/format/database_header.h"
#include "jet/format/row_pointer.h"

namespace jet {

struct ColumnDefinition {
  std::string name;  // UTF-8
  ColumnType type = ColumnType::kLong;
  uint16_t id = 0;              // null-mask bit; never reused within a table
  uint16_t variable_index = 0;  // slot among the variable columns
  uint16_t ordinal = 0;
  SortOrder sort_order;   // text and memo columns; Access fills it on every column
  uint8_t precision = 0;  // numeric columns (shares bytes with the sort order)
  uint8_t scale = 0;
  uint8_t flags = 0;
  uint8_t extended_flags = 0;
  uint16_t fixed_offset = 0;  // within the row's fixed area
  uint16_t length = 0;        // bytes; text holds 2 per character
  // The descriptor exactly as stored; the encoder starts from it so bytes whose meaning is
  // unknown survive a rewrite. New columns start from zeros.
  std::array<uint8_t, 25> raw{};

  static constexpr uint8_t kFlagFixed = 0x01;
  static constexpr uint8_t kFlagUpdatable = 0x02;
  static constexpr uint8_t kFlagAutoLong = 0x04;
  static constexpr uint8_t kFlagAutoGuid = 0x40;
  static constexpr uint8_t kFlagHyperlink = 0x80;
  static constexpr uint8_t kExtCompressedUnicode = 0x01;

  bool IsFixed() const { return flags & kFlagFixed; }
  bool IsAutoNumber() const { return flags & (kFlagAutoLong | kFlagAutoGuid); }
  bool AllowsCompression() const { return extended_flags & kExtCompressedUnicode; }
};

struct IndexColumn {
  uint16_t column_id = 0;
  bool ascending = true;
};

// A "real" index: one B-tree. Several logical indexes may share it.
struct RealIndex {
  std::vector<IndexColumn> columns;
  RowPointer usage_map;
  uint32_t root_page = 0;
  uint8_t flags = 0;
  uint32_t stat_unknown = 0;      // first word of the index's stats entry
  uint32_t stat_unique_keys = 0;  // second word; not an exact count in Access files
  uint32_t reserved = 0;          // bytes 0x2A..0x2D of the block, kept as found
  uint32_t stat_reserved = 0;     // third word of the stats entry
  std::array<uint8_t, 52> raw{};  // the block as stored (unused slots may hold junk)

  static constexpr uint8_t kFlagUnique = 0x01;
  static constexpr uint8_t kFlagIgnoreNulls = 0x02;
  static constexpr uint8_t kFlagRequired = 0x08;
  bool IsUnique() const { return flags & kFlagUnique; }
  bool IgnoresNulls() const { return flags & kFlagIgnoreNulls; }
};

// A named index as the user sees it (primary key, plain index, foreign key).
struct LogicalIndex {
  std::string name;
  uint32_t number = 0;
  uint32_t real_index = 0;
  uint8_t related_table_type = 0;
  int32_t related_index = -1;
  uint32_t related_table_page = 0;
  uint8_t cascade_update = 0;
  uint8_t cascade_delete = 0;
  uint8_t type = 0;      // 1 primary key, 2 foreign key, 0 other
  uint32_t trailer = 0;  // last 4 bytes of the block, kept as found

  static constexpr uint8_t kPrimaryKey = 1;
  static constexpr uint8_t kForeignKey = 2;
};

struct LongValueMaps {
  uint16_t column_id = 0;
  RowPointer owned;
  RowPointer free;
};

struct TableDefinition {
  uint32_t row_count = 0;
  uint32_t last_autonumber = 0;
  int32_t autonumber_increment = 1;
  uint32_t complex_autonumber = 0;
  uint8_t table_type = 0x4E;      // 0x4E user, 0x53 system
  uint16_t next_column_id = 0;    // high-water mark of column ids
  uint16_t variable_columns = 0;  // high-water mark of variable slots
  RowPointer owned_pages;
  RowPointer free_pages;
  std::vector<ColumnDefinition> columns;  // in stored order
  std::vector<RealIndex> real_indexes;
  std::vector<LogicalIndex> logical_indexes;
  std::vector<LongValueMaps> long_value_maps;
  // Header bytes 0x00..0x3E as stored (several hold values whose meaning is unknown).
  std::array<uint8_t, 0x3F> raw_header{};

  static constexpr uint8_t kUserTable = 0x4E;
  static constexpr uint8_t kSystemTable = 0x53;

  const ColumnDefinition* FindColumn(std::string_view name) const;  // case-insensitive
  // Position in `columns` of the column named exactly `name`; throws kCorrupt when the
  // table lacks it (for the system tables, whose layout the engine relies on).
  size_t RequireColumn(std::string_view name) const;
  const ColumnDefinition* ColumnById(uint16_t id) const;
  // The name of the first logical index on real index `real`, or "#real" when none names it.
  std::string RealIndexName(size_t real) const;
};

// Parses a logical definition. Throws kCorrupt on any count or offset that does not fit.
TableDefinition DecodeTableDefinition(ByteView logical);

// The logical definition for `def`, through its FF FF terminator, with the length field set.
// Page-level fields (free space, next page) are left zero for the page writer.
std::vector<uint8_t> EncodeTableDefinition(const TableDefinition& def);

// Sizes and places of the definition's parts (doc/jet4-format.md §6). The fields inside
// each part are listed once, in table_definition.cc, for the decoder and the encoder alike.
namespace tdef {
// Page header, on the first page and on every continuation page (§6.1, §6.8).
inline constexpr size_t kFreeSpace = 0x02;
inline constexpr size_t kNextPage = 0x04;
inline constexpr size_t kContinuationData = 8;  // where a continuation page's share starts
inline constexpr size_t kPageReserve = 8;       // Access leaves this much free at each page's end
// First page only: the logical length (through the FF FF terminator) and the row count.
inline constexpr size_t kLength = 0x08;
inline constexpr size_t kRowCount = 0x10;
inline constexpr size_t kBody = 0x3F;  // the header's end, where the parts below follow (§6.2)
inline constexpr size_t kIndexStatSize = 12;     // §6.3
inline constexpr size_t kColumnSize = 25;        // §6.4
inline constexpr size_t kRealIndexSize = 52;     // §6.5
inline constexpr size_t kLogicalIndexSize = 28;  // §6.6
inline constexpr size_t kLongValueMapSize = 10;  // §6.7
// A real index's key columns: kMaxIndexColumns slots of (u16 column id, u8 order) from
// kIndexColumnSlots; an unused slot holds kNoColumn.
inline constexpr size_t kIndexColumnSlots = 0x04;
inline constexpr size_t kIndexColumnSlotSize = 3;
inline constexpr size_t kMaxIndexColumns = 10;
inline constexpr uint16_t kNoColumn = 0xFFFF;
inline constexpr uint16_t kEndOfLongValueMaps = 0xFFFF;  // also ends the definition
inline constexpr uint32_t kMarker = 0x0659;
// Access allows 255 columns a table.
inline constexpr size_t kMaxColumns = 255;
inline constexpr uint32_t kRealIndexMarker = 0x0783;
// Access allows 32 indexes a table; a count far beyond that is damage, not a table.
inline constexpr uint32_t kMostLogicalIndexes = 1000;
}  // namespace tdef

}  // namespace jet

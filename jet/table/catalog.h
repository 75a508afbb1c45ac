// The catalog: the rows of MSysObjects, classified. User tables, system tables, saved queries
// (a saved select query is a view) and linked tables are told apart here, once, at open.
// doc/jet4-format.md §10.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace jet {

class Database;
struct TableDefinition;
struct Value;

enum class ObjectKind {
  kUserTable,
  kSystemTable,
  kView,         // a saved select query
  kQuery,        // any other saved query (action, crosstab, union, pass-through, DDL)
  kLinkedTable,  // Jet-linked (type 6) or ODBC-linked (type 4)
  kOther,        // containers, the database object, relationships, Access documents
};

struct CatalogEntry {
  int32_t id = 0;
  int32_t parent_id = 0;
  std::string name;
  int16_t type = 0;
  uint32_t flags = 0;
  ObjectKind kind = ObjectKind::kOther;
  std::string linked_database;  // linked tables: the file they point at
  std::string foreign_name;     // linked tables: the table's name there

  uint32_t DefinitionPage() const { return static_cast<uint32_t>(id) & 0x00FFFFFF; }
};

// MSysObjects' rows as catalog entries, classified: for the catalog, and for a reader that
// walks MSysObjects' pages itself because its maps cannot be trusted (repair).
class CatalogRowReader {
 public:
  // Throws kCorrupt when MSysObjects lacks a column the catalog reads.
  explicit CatalogRowReader(const TableDefinition& objects);
  CatalogEntry Entry(const std::vector<Value>& row) const;

 private:
  size_t id_, parent_, name_, type_, flags_, database_, foreign_;
};

class Catalog {
 public:
  // MSysObjects is always the table defined on page 2.
  static constexpr uint32_t kObjectsDefinitionPage = 2;
  static constexpr int32_t kTablesContainerId = 0x0F000001;

  void Load(Database& db);

  // Every object in storage order ("catalog order").
  const std::vector<CatalogEntry>& entries() const { return entries_; }
  // Case-insensitive lookup among tables (user and system) and views.
  const CatalogEntry* FindTable(std::string_view name) const;
  const CatalogEntry* Find(std::string_view name, ObjectKind kind) const;
  std::vector<const CatalogEntry*> OfKind(ObjectKind kind) const;

 private:
  std::vector<CatalogEntry> entries_;
};

}  // namespace jet

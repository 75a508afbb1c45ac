#include "jet/table/catalog.h"

#include "base/unicode.h"
#include "jet/table/database.h"
#include "jet/table/table.h"

namespace jet {
namespace {

constexpr int16_t kTypeTable = 1;
constexpr int16_t kTypeOdbcLinked = 4;
constexpr int16_t kTypeQuery = 5;
constexpr int16_t kTypeLinked = 6;
constexpr uint32_t kSystemFlags = 0x80000002;
// A saved query's kind sits in these bits of its flags; zero is a plain select.
constexpr uint32_t kQueryKindMask = 0xF0;

ObjectKind Classify(const CatalogEntry& e) {
  switch (e.type) {
    case kTypeTable:
      if (e.parent_id != Catalog::kTablesContainerId) return ObjectKind::kOther;
      return (e.flags & kSystemFlags) ? ObjectKind::kSystemTable : ObjectKind::kUserTable;
    case kTypeQuery:
      // Queries whose names start with "~" are Access's hidden form and report sources.
      if ((e.flags & kQueryKindMask) == 0 && !e.name.starts_with("~")) return ObjectKind::kView;
      return ObjectKind::kQuery;
    case kTypeLinked:
    case kTypeOdbcLinked:
      return ObjectKind::kLinkedTable;
    default:
      return ObjectKind::kOther;
  }
}

}  // namespace

CatalogRowReader::CatalogRowReader(const TableDefinition& objects)
    : id_(objects.RequireColumn("Id")),
      parent_(objects.RequireColumn("ParentId")),
      name_(objects.RequireColumn("Name")),
      type_(objects.RequireColumn("Type")),
      flags_(objects.RequireColumn("Flags")),
      database_(objects.RequireColumn("Database")),
      foreign_(objects.RequireColumn("ForeignName")) {}

CatalogEntry CatalogRowReader::Entry(const std::vector<Value>& v) const {
  CatalogEntry e;
  e.id = static_cast<int32_t>(v[id_].integer);
  e.parent_id = static_cast<int32_t>(v[parent_].integer);
  e.name = v[name_].text;
  e.type = static_cast<int16_t>(v[type_].integer);
  e.flags = static_cast<uint32_t>(v[flags_].integer);
  e.linked_database = v[database_].text;
  e.foreign_name = v[foreign_].text;
  e.kind = Classify(e);
  return e;
}

void Catalog::Load(Database& db) {
  entries_.clear();
  Table objects(db, kObjectsDefinitionPage, "MSysObjects");
  const CatalogRowReader reader(objects.definition());
  objects.Scan([&](RowPointer, const std::vector<Value>& v) {
    entries_.push_back(reader.Entry(v));
    return true;
  });
}

const CatalogEntry* Catalog::FindTable(std::string_view name) const {
  for (const auto& e : entries_) {
    if ((e.kind == ObjectKind::kUserTable || e.kind == ObjectKind::kSystemTable ||
         e.kind == ObjectKind::kView) &&
        base::EqualsIgnoreCase(e.name, name)) {
      return &e;
    }
  }
  return nullptr;
}

const CatalogEntry* Catalog::Find(std::string_view name, ObjectKind kind) const {
  for (const auto& e : entries_) {
    if (e.kind == kind && base::EqualsIgnoreCase(e.name, name)) return &e;
  }
  return nullptr;
}

std::vector<const CatalogEntry*> Catalog::OfKind(ObjectKind kind) const {
  std::vector<const CatalogEntry*> out;
  for (const auto& e : entries_) {
    if (e.kind == kind) out.push_back(&e);
  }
  return out;
}

}  // namespace jet

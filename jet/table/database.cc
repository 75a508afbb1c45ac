#include "jet/table/database.h"

#include "base/utf8_path.h"

#include <unordered_set>

#include "base/unicode.h"
#include "jet/error.h"
#include "jet/format/page_size.h"
#include "jet/format/table_definition.h"
#include "jet/table/checker.h"
#include "jet/table/table.h"

namespace jet {

Database::Database(std::unique_ptr<Pager> pager) : pager_(std::move(pager)), allocator_(*pager_) {}

void Database::Begin() {
  if (!references_checked_ && pager_->mode() == Pager::Mode::kReadWrite) {
    RequireReferencesWithinFile(*this);
    references_checked_ = true;
  }
  pager_->Begin();
}

void Database::CheckTableBeforeWriting(uint32_t tdef_page, const std::string& name) {
  if (checked_for_writing_.contains(tdef_page)) return;
  RequireTableStructure(*this, tdef_page, name);
  checked_for_writing_.insert(tdef_page);
}

void Database::Commit() {
  try {
    pager_->Commit();
  } catch (...) {
    definitions_.clear();
    catalog_.Load(*this);
    throw;
  }
  definitions_.clear();
  catalog_.Load(*this);
}

void Database::Rollback() {
  pager_->Rollback();
  definitions_.clear();
  catalog_.Load(*this);
}

void Database::RollbackToSavepoint() {
  pager_->RollbackToSavepoint();
  definitions_.clear();
  catalog_.Load(*this);
}

Transaction::Transaction(Database& db) : db_(db) {
  db_.Begin();
}

Transaction::~Transaction() {
  if (done_) return;
  try {
    db_.Rollback();
  } catch (...) {
    // Nothing was written; a failure to reload the catalog surfaces at the next use.
  }
}

void Transaction::Commit() {
  done_ = true;
  db_.Commit();
}

std::unique_ptr<Database> Database::Open(const std::filesystem::path& path,
                                         std::string_view password, Pager::Mode mode) {
  return WithFacts({.file = base::PathToUtf8(path)}, [&] {
    auto pager = std::make_unique<Pager>(path, mode);
    const std::u16string& stored = pager->header().password;
    // Jet compares the database password exactly; a database without one ignores what is
    // given.
    if (!stored.empty() && stored != base::Utf8ToUtf16(password)) {
      throw JetError(Problem::kBadPassword);
    }
    std::unique_ptr<Database> db(new Database(std::move(pager)));
    db->catalog_.Load(*db);
    return db;
  });
}

std::vector<uint8_t> Database::ReadDefinitionBytes(uint32_t tdef_page,
                                                   std::vector<uint32_t>* pages) {
  std::vector<uint8_t> bytes;
  std::unordered_set<uint32_t> seen;
  uint32_t page = tdef_page;
  while (page != 0) {
    if (!seen.insert(page).second) ThrowCorrupt(Problem::kDamagedDefinitionLoop);
    PinnedView p = pager_->Page(page);
    if (p.U8(0) != kPageTableDefinition) {
      ThrowCorrupt(Problem::kDamagedNotDefinitionPage, {.page = page});
    }
    if (pages) pages->push_back(page);
    size_t from = bytes.empty() ? 0 : tdef::kContinuationData;
    bytes.insert(bytes.end(), p.data() + from, p.data() + kPageSize);
    page = p.U32(tdef::kNextPage);
  }
  return bytes;
}

const TableDefinition& Database::Definition(uint32_t tdef_page) {
  auto it = definitions_.find(tdef_page);
  if (it != definitions_.end()) return *it->second;
  std::vector<uint8_t> bytes = ReadDefinitionBytes(tdef_page, nullptr);
  auto def = std::make_unique<TableDefinition>(
      DecodeTableDefinition(ByteView(bytes.data(), bytes.size())));
  return *definitions_.emplace(tdef_page, std::move(def)).first->second;
}

Table Database::OpenTable(std::string_view name) {
  const CatalogEntry* entry = catalog_.FindTable(name);
  if (!entry ||
      (entry->kind != ObjectKind::kUserTable && entry->kind != ObjectKind::kSystemTable)) {
    throw JetError(Problem::kTableNotFound, {.table = std::string(name)});
  }
  return OpenTable(*entry);
}

Table Database::OpenTable(const CatalogEntry& entry) {
  // Two catalog rows for one definition: one of them is damaged, and which one cannot be
  // told, so neither table reads as the other.
  for (const CatalogEntry& other : catalog_.entries()) {
    if (other.name != entry.name && other.DefinitionPage() == entry.DefinitionPage() &&
        (other.kind == ObjectKind::kUserTable || other.kind == ObjectKind::kSystemTable)) {
      ThrowCorrupt(Problem::kDamagedSharedDefinition, {.file = base::PathToUtf8(pager_->path()),
                                                       .table = entry.name,
                                                       .name = other.name,
                                                       .page = entry.DefinitionPage()});
    }
  }
  return Table(*this, entry.DefinitionPage(), entry.name);
}

}  // namespace jet

// An open Jet 4 database: the pager, the password check, the catalog and table definitions.
// This is the engine's entry point for the layers above (SQL, the database contract, tools).
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "jet/file/pager.h"
#include "jet/format/table_definition.h"
#include "jet/table/catalog.h"
#include "jet/table/page_allocator.h"

namespace jet {

class Table;

// Rolls back on destruction unless committed: the unit of "all of it or nothing".
class Transaction {
 public:
  explicit Transaction(Database& db);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void Commit();

 private:
  Database& db_;
  bool done_ = false;
};

class Database {
 public:
  // Opens `path`. A database with a password refuses any other password (kBadPassword); a
  // database without one opens whatever password is given, as Jet does.
  static std::unique_ptr<Database> Open(const std::filesystem::path& path,
                                        std::string_view password,
                                        Pager::Mode mode = Pager::Mode::kReadOnly);

  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  const DatabaseHeader& header() const { return pager_->header(); }
  Pager& pager() { return *pager_; }
  const Catalog& catalog() const { return catalog_; }

  // The definition stored at `tdef_page`, decoded once and cached.
  const TableDefinition& Definition(uint32_t tdef_page);
  // The logical bytes of a definition (first page whole, continuations from offset 8) and
  // the pages they came from. Throws kCorrupt on a cycle or a page of the wrong type.
  std::vector<uint8_t> ReadDefinitionBytes(uint32_t tdef_page, std::vector<uint32_t>* pages);

  // --- Writing: one transaction per statement (see jet/file/journal.h) ---
  // The first Begin of a database checks that no table refers to a page past the end of the
  // file (checker.h), so the pages the allocator appends are free for good.
  void Begin();
  // Commits, then reloads what the transaction may have changed (catalog, definitions).
  void Commit();
  // Drops the transaction's changes; the file is untouched.
  void Rollback();
  bool in_transaction() const { return pager_->in_transaction(); }
  // Savepoints inside the open transaction (see Pager): a failed statement among several,
  // or a nested transaction, undoes only its own changes.
  void Savepoint() { pager_->Savepoint(); }
  void ReleaseSavepoint() { pager_->ReleaseSavepoint(); }
  // Undoes the changes since the innermost savepoint and reloads what they may have touched.
  void RollbackToSavepoint();
  PageAllocator& allocator() { return allocator_; }
  // Checks a table in depth (checker.h) before its first change through this
  // database: a damaged table is refused, not written into. Later changes trust it, since
  // only this engine has written it since.
  void CheckTableBeforeWriting(uint32_t tdef_page, const std::string& name);
  // Drops a cached definition that was rewritten in the open transaction.
  void ForgetDefinition(uint32_t tdef_page) { definitions_.erase(tdef_page); }
  void ReloadCatalog() { catalog_.Load(*this); }

  // A table (user or system) by name, case-insensitive. Throws kNotFound.
  Table OpenTable(std::string_view name);
  Table OpenTable(const CatalogEntry& entry);

 private:
  explicit Database(std::unique_ptr<Pager> pager);

  std::unique_ptr<Pager> pager_;
  PageAllocator allocator_;
  Catalog catalog_;
  std::map<uint32_t, std::unique_ptr<TableDefinition>> definitions_;
  bool references_checked_ = false;
  std::set<uint32_t> checked_for_writing_;  // definition pages of tables checked in depth
};

}  // namespace jet

// Fuzz target: one Jet SQL statement. Tokenizes and parses it; what parses runs against the
// small database: a SELECT on a copy opened once, anything else on a fresh copy each time, so
// every input starts from the same file. Every failure must be a JetError, and a change that
// succeeds must leave a file that passes the checker.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "fuzz/scratch_file.h"
#include "fuzz/small_database.h"
#include "jet/error.h"
#include "jet/sql/lexer.h"
#include "jet/sql/parser.h"
#include "jet/sql/session.h"
#include "jet/table/checker.h"
#include "upgrade/product_database.h"

namespace {

// Statements naming another database file would let the fuzzer open any file of the machine;
// the parser still sees them, but they do not run.
bool NamesAnotherFile(const jet::sql::Statement& s) {
  using Kind = jet::sql::Statement::Kind;
  switch (s.kind) {
    case Kind::kInsert:
      return s.insert.table.external || (s.insert.select && s.insert.select->from.external);
    case Kind::kSelect:
      return s.select.from.external || (s.select.into && s.select.into->external);
    case Kind::kDelete:
      return s.del.table.external;
    case Kind::kCreateTable:
    case Kind::kAlterTableAdd:
      return false;
  }
  return false;
}

struct Files {
  fuzz::ScratchFile pristine{"sql-pristine"};
  fuzz::ScratchFile work{"sql-work"};
  std::string pristine_bytes;
  std::unique_ptr<jet::sql::Session> reader;

  Files() {
    pristine.Remove();
    fuzz::CreateSmallDatabase(pristine.path());
    pristine_bytes = fuzz::ReadWholeFile(pristine.path());
    reader = std::make_unique<jet::sql::Session>(pristine.path(), upgrade::kDatabasePassword);
  }
};

void RunChange(Files& files, std::string_view text) {
  files.work.Write(std::span(reinterpret_cast<const uint8_t*>(files.pristine_bytes.data()),
                             files.pristine_bytes.size()));
  size_t affected = 0;
  bool changed = false;
  {
    jet::sql::Session session(files.work.path(), upgrade::kDatabasePassword);
    try {
      affected = session.Execute(text);
      changed = true;
    } catch (const jet::JetError&) {
    }
  }
  (void)affected;
  auto db = jet::Database::Open(files.work.path(), upgrade::kDatabasePassword);
  // The engine keeps every count and leaks no page: even a note is a fault here.
  jet::CheckReport report = jet::CheckDatabase(*db);
  if (!report.findings.empty()) {
    std::fprintf(stderr, "after %s the checker reports: %s\n",
                 changed ? "a change" : "a refused change", report.findings.front().Text().c_str());
    std::abort();
  }
  // A refused statement leaves the file exactly as it was.
  if (!changed && fuzz::ReadWholeFile(files.work.path()) != files.pristine_bytes) {
    std::fprintf(stderr, "a refused statement changed the file\n");
    std::abort();
  }
}

Files* g_files = nullptr;

}  // namespace

// Made once, before the first input, so its cost counts against no input's time limit.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_files = new Files;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Files& files = *g_files;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    jet::sql::Tokenize(text);
  } catch (const jet::JetError&) {
  }
  jet::sql::ReturnsRows(text);
  jet::sql::Statement statement;
  try {
    statement = jet::sql::Parse(text);
  } catch (const jet::JetError&) {
    return 0;
  }
  if (NamesAnotherFile(statement)) return 0;
  if (statement.kind == jet::sql::Statement::Kind::kSelect && !statement.select.into) {
    try {
      files.reader->Query(text, 0);  // the shape alone: binds without reading rows
      files.reader->Query(text);
    } catch (const jet::JetError&) {
    }
    return 0;
  }
  RunChange(files, text);
  return 0;
}

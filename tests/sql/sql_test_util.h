// Helpers shared by the SQL-layer and database-contract tests: the product's password, fresh
// databases built with our own engine, row reading, checks on the product's error wording,
// and the independent readers (mdb-export and the mdb-reader script) used as oracles.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "jet/error.h"
#include "jet/format/value.h"
#include "jet/sql/session.h"
#include "jet/table/database.h"
#include "jet/table/database_creator.h"
#include "jet/table/table.h"
#include "jet/table/table_writer.h"
#include "tests/json_lite.h"
#include "tests/test_support.h"
#include "upgrade/column_additions.h"
#include "upgrade/product_database.h"
#include "upgrade/reference_import.h"
#include "upgrade/search_rows.h"
#include "upgrade/table_catalogue.h"

namespace sql_test {

// The customer-relationship application's database password, used for every file.
inline constexpr const char* kPassword = upgrade::kDatabasePassword;

inline std::string ConnectionStringFor(const std::filesystem::path& path) {
  return std::string("Provider=Microsoft.Jet.OLEDB.4.0;Jet OLEDB:Database Password=") + kPassword +
         ";Data Source=" + path.string();
}

// "[path;pwd=password]": a table reference into another database file.
inline std::string ExternalPrefix(const std::filesystem::path& path,
                                  const std::string& password = kPassword) {
  return "[" + path.string() + ";pwd=" + password + "]";
}

// A blank database at `path` (parent directories created).
inline void NewDatabase(const std::filesystem::path& path) {
  std::filesystem::create_directories(path.parent_path());
  jet::CreateDatabase(path, kPassword);
}

// Runs each statement in one session.
inline void RunAll(const std::filesystem::path& path, const std::vector<std::string>& statements) {
  jet::sql::Session s(path, kPassword);
  for (const auto& text : statements) {
    SCOPED_TRACE(text);
    s.Execute(text);
  }
}

// Appends many rows in one transaction through the table writer (fast bulk fill). Each row
// gives the values of `columns`, in that order; other columns are NULL (autonumbers count on).
inline void BulkInsert(const std::filesystem::path& path, const std::string& table,
                       const std::vector<std::string>& columns,
                       const std::vector<std::vector<jet::Value>>& rows) {
  auto db = jet::Database::Open(path, kPassword, jet::Pager::Mode::kReadWrite);
  const jet::CatalogEntry* entry = db->catalog().FindTable(table);
  ASSERT_NE(entry, nullptr) << table;
  jet::Transaction t(*db);
  jet::TableWriter writer(*db, entry->DefinitionPage(), entry->name);
  const jet::TableDefinition& def = writer.definition();
  std::vector<size_t> positions;
  for (const auto& name : columns) {
    const jet::ColumnDefinition* c = def.FindColumn(name);
    ASSERT_NE(c, nullptr) << name;
    positions.push_back(static_cast<size_t>(c - def.columns.data()));
  }
  for (const auto& row : rows) {
    ASSERT_EQ(row.size(), columns.size());
    std::vector<jet::Value> values(def.columns.size());
    for (size_t i = 0; i < row.size(); ++i) values[positions[i]] = row[i];
    writer.Insert(std::move(values));
  }
  writer.Finish();
  t.Commit();
}

// Every live row of `table` in storage order, read with the engine's table scan.
inline std::vector<std::vector<jet::Value>> ScanRows(jet::Database& db, const std::string& table) {
  std::vector<std::vector<jet::Value>> rows;
  db.OpenTable(table).Scan([&](jet::RowPointer, const std::vector<jet::Value>& values) {
    rows.push_back(values);
    return true;
  });
  return rows;
}

inline size_t CountRows(const std::filesystem::path& path, const std::string& table) {
  auto db = jet::Database::Open(path, kPassword);
  return ScanRows(*db, table).size();
}

// A value from a query result as text, with NULL shown as "<NULL>" so it differs from "".
inline std::string Show(const jet::Value& v) {
  return v.IsNull() ? "<NULL>" : jet::ValueToText(v);
}

inline jet::Value Text(const std::string& s) {
  return jet::Value::Text(s);
}
inline jet::Value Long(int32_t n) {
  return jet::Value::Long(n);
}
inline jet::Value Null() {
  return jet::Value::Null();
}
inline jet::Value Currency(int64_t ten_thousandths) {
  return jet::Value{jet::ValueKind::kCurrency, ten_thousandths, 0, {}, {}};
}
inline jet::Value Date(double days) {
  return jet::Value{jet::ValueKind::kDateTime, 0, days, {}, {}};
}

// --- The product's wording of errors ---

// True when `text` holds at least one CJK unified ideograph (U+4E00..U+9FFF).
inline bool HasChinese(const std::string& text) {
  for (size_t i = 0; i + 2 < text.size(); ++i) {
    unsigned char a = static_cast<unsigned char>(text[i]);
    unsigned char b = static_cast<unsigned char>(text[i + 1]);
    if ((a & 0xF0) == 0xE0 && (b & 0xC0) == 0x80) {
      unsigned cp =
          ((a & 0x0F) << 12) | ((b & 0x3F) << 6) | (static_cast<unsigned char>(text[i + 2]) & 0x3F);
      if (cp >= 0x4E00 && cp <= 0x9FFF) return true;
    }
  }
  return false;
}

inline bool EndsWithStop(const std::string& text) {
  if (text.empty()) return false;
  char last = text.back();
  if (last == '.' || last == ' ' || last == '\n' || last == '\r' || last == '\t') return true;
  return text.size() >= 3 && text.compare(text.size() - 3, 3, "\xE3\x80\x82") == 0;  // 。
}

inline std::string AsciiLower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Checks a message is in the product's wording: Chinese, without a trailing full stop, and
// naming each of `names` (compared without regard to ASCII letter case).
inline void ExpectProductMessage(const std::string& message,
                                 const std::vector<std::string>& names = {}) {
  EXPECT_TRUE(HasChinese(message)) << "not in Chinese: " << message;
  EXPECT_EQ(testing_support::ForeignWords(message), std::vector<std::string>{})
      << "English in: " << message;
  EXPECT_FALSE(EndsWithStop(message)) << "ends with a full stop or space: [" << message << "]";
  for (const auto& name : names) {
    EXPECT_NE(AsciiLower(message).find(AsciiLower(name)), std::string::npos)
        << "message does not name '" << name << "': " << message;
  }
}

// Runs `f`, which must throw a JetError; returns its message ("" and a failure otherwise).
inline std::string JetErrorOf(const std::function<void()>& f, jet::ErrorKind* kind = nullptr) {
  try {
    f();
  } catch (const jet::JetError& e) {
    if (kind) *kind = e.kind();
    return e.what();
  } catch (const std::exception& e) {
    ADD_FAILURE() << "threw something other than JetError: " << e.what();
    return e.what();
  }
  ADD_FAILURE() << "expected a JetError, nothing was thrown";
  return "";
}

// --- Independent readers ---

using testing_support::ShellQuote;

// The independent readers (mdbtools, node) are Linux programs; a Windows build's tests
// never have them.
inline bool HaveCommand(const std::string& name) {
#ifdef _WIN32
  (void)name;
  return false;
#else
  return testing_support::RunCommand("command -v " + name + " >/dev/null 2>&1", nullptr) == 0;
#endif
}

inline std::string OracleScript() {
  return std::string(SOURCE_DIR) + "/tests/oracle/dump.mjs";
}

inline bool HaveNodeOracle() {
  return HaveCommand("node") && std::filesystem::exists(std::filesystem::path(SOURCE_DIR) /
                                                        "tests/oracle/node_modules/mdb-reader");
}

// The rows of `table` as mdb-reader sees them (one JSON object per row). Fails the test when
// the script cannot read the file.
inline std::vector<json_lite::Value> OracleRows(const std::filesystem::path& file,
                                                const std::string& table) {
  std::string out;
  int rc = testing_support::RunCommand("node " + ShellQuote(OracleScript()) + " " +
                                           ShellQuote(file.string()) + " --password " +
                                           ShellQuote(kPassword) + " rows " + ShellQuote(table),
                                       &out);
  EXPECT_EQ(rc, 0) << "mdb-reader could not read " << table << " of " << file;
  std::vector<json_lite::Value> rows;
  size_t at = 0;
  while (at < out.size()) {
    size_t end = out.find('\n', at);
    if (end == std::string::npos) end = out.size();
    if (end > at) rows.push_back(json_lite::Parse(std::string_view(out).substr(at, end - at)));
    at = end + 1;
  }
  return rows;
}

// {name, type, size, autoLong} of each column as mdb-reader sees them.
inline json_lite::Value OracleColumns(const std::filesystem::path& file, const std::string& table) {
  std::string out;
  int rc = testing_support::RunCommand("node " + ShellQuote(OracleScript()) + " " +
                                           ShellQuote(file.string()) + " --password " +
                                           ShellQuote(kPassword) + " columns " + ShellQuote(table),
                                       &out);
  EXPECT_EQ(rc, 0) << "mdb-reader could not read the columns of " << table;
  return rc == 0 ? json_lite::Parse(out) : json_lite::Value();
}

// mdb-export's CSV of `table` (header row included), or "" with a failure.
inline std::string MdbExport(const std::filesystem::path& file, const std::string& table) {
  std::string out;
  int rc = testing_support::RunCommand(
      "mdb-export " + ShellQuote(file.string()) + " " + ShellQuote(table) + " 2>/dev/null", &out);
  EXPECT_EQ(rc, 0) << "mdb-export could not read " << table << " of " << file;
  return out;
}

// The search-row fix-ups the upgrade runs: its last phase's own statements.
inline std::vector<std::string> FixUpStatements() {
  std::vector<std::string> statements = upgrade::FixedRowDeletions();
  for (std::string& s : upgrade::FixedRowInsertions()) statements.push_back(std::move(s));
  return statements;
}

// A statement of the product's table catalogue, by the table it creates; fails the test and
// returns "" when the catalogue has no such table. The texts are the product's own, so the
// SQL tests run exactly what an upgrade sends; the transcript test pins them.
inline std::string CatalogueStatement(std::string_view table) {
  for (const upgrade::CatalogueEntry& e : upgrade::TableCatalogue()) {
    if (e.table == table) return e.statement;
  }
  ADD_FAILURE() << "the table catalogue has no " << table;
  return "";
}

// The statement by which the upgrade adds `column` to `table`, as its column phases hold it;
// fails the test and returns "" when there is none.
inline std::string ColumnAdditionStatement(std::string_view table, std::string_view column) {
  for (const upgrade::TablePhase& phase : upgrade::ColumnPhases()) {
    if (phase.table != table) continue;
    for (const upgrade::ColumnAddition& a : phase.columns) {
      if (a.column == column) return a.statement;
    }
  }
  ADD_FAILURE() << "the upgrade adds no column " << column << " to " << table;
  return "";
}

// Every CREATE TABLE the upgrade runs: the catalogue's, in its order, then the reference
// tables sj and sfz (zdy is made by its copy).
inline std::vector<std::string> CreateStatements() {
  std::vector<std::string> statements;
  for (const upgrade::CatalogueEntry& e : upgrade::TableCatalogue()) {
    statements.push_back(e.statement);
  }
  for (const upgrade::ReferenceImport& r : upgrade::kReferenceImports) {
    if (r.create) statements.push_back(r.create);
  }
  return statements;
}

// The reference-table copies, as the upgrade runs them, naming the template's tables through
// their external prefix.
inline std::string CopyFromTemplate(std::string_view table, const std::filesystem::path& tpl) {
  for (const upgrade::ReferenceImport& r : upgrade::kReferenceImports) {
    if (r.table == table) {
      return std::string(r.copy) + "[" + tpl.string() + ";pwd=" + upgrade::kDatabasePassword +
             "]." + r.table;
    }
  }
  ADD_FAILURE() << "the upgrade imports no reference table " << table;
  return "";
}
inline std::string CopySj(const std::filesystem::path& tpl) {
  return CopyFromTemplate("sj", tpl);
}
inline std::string CopyZdy(const std::filesystem::path& tpl) {
  return CopyFromTemplate("zdy", tpl);
}
inline std::string CopySfz(const std::filesystem::path& tpl) {
  return CopyFromTemplate("sfz", tpl);
}

}  // namespace sql_test

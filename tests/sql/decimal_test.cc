// Decimal columns take values every way a statement or the contract writes them: numbers
// written in the statement with all their digits, text, other decimals of the same or another
// scale, floating-point and integer columns, and whole-table copies. The engine, mdbtools and
// mdb-reader read back the same values; digits past a column's scale are cut off, and a value
// with too many digits before the point is refused, leaving the file as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "jet/error.h"
#include "jet/sql/session.h"
#include "jet/table/checker.h"
#include "tests/sql/sql_test_util.h"

namespace {

namespace fs = std::filesystem;
using sql_test::kPassword;
using sql_test::RunAll;
using testing_support::ReadBytes;
using testing_support::ScratchDir;

// Table -> column -> id -> the value as text ("" for NULL).
using Values = std::map<std::string, std::map<std::string, std::map<std::string, std::string>>>;

Values Expected() {
  const std::map<std::string, std::map<std::string, std::string>> src = {
      {"small", {{"1", "1.1100"}, {"2", "-2.4999"}, {"3", "104.7668"}, {"4", "0.0000"}}},
      {"big",
       {{"1", "1"},
        {"2", "-9999999999999999999999999999"},
        {"3", "18446744073709551616"},
        {"4", "79228162514264337593543950"}}},
      {"wide",
       {{"1", "12345678.9012345678"},
        {"2", "-99999999.9999999999"},
        {"3", "-8540982423.4530000000"},
        {"4", "0.0000345400"}}},
  };
  Values v;
  v["src"] = src;
  v["same"] = src;
  v["whole"] = src;
  for (const auto& [column, rows] : src) {
    v["part"][column] = {{"3", rows.at("3")}, {"4", rows.at("4")}};
  }
  v["narrow"] = {
      {"d", {{"1", "12345678.90"}, {"2", "-99999999.99"}, {"3", "-8540982423.45"}, {"4", "0.00"}}}};
  v["conv"] = {
      {"e", {{"1", "0.10"}, {"2", "-2.50"}, {"3", "1000.00"}, {"4", ""}}},
      {"f", {{"1", "7.00"}, {"2", "-8.00"}, {"3", "0.00"}, {"4", ""}}},
      {"g", {{"1", "3.25"}, {"2", "-0.50"}, {"3", "100.00"}, {"4", ""}}},
  };
  return v;
}

// The values of `table` from rows given as (column name -> text).
template <typename Rows, typename Get>
std::map<std::string, std::map<std::string, std::string>> Collect(
    const Rows& rows, const std::map<std::string, std::map<std::string, std::string>>& want,
    Get get) {
  std::map<std::string, std::map<std::string, std::string>> got;
  for (const auto& row : rows) {
    const std::string id = get(row, "id");
    for (const auto& [column, unused] : want) got[column][id] = get(row, column);
  }
  return got;
}

TEST(SqlDecimal, ValuesWrittenEveryWayReadTheSameInEveryReader) {
  ScratchDir scratch;
  const fs::path path = scratch.path() / "decimal.sys";
  sql_test::NewDatabase(path);
  RunAll(path,
         {"CREATE TABLE src (id LONG, small DECIMAL(10,4), big DECIMAL(28,0), "
          "wide DECIMAL(24,10) PRIMARY KEY, n DOUBLE, l LONG, txt TEXT(20))",
          "INSERT INTO src VALUES (1, 1.11, 1, 12345678.9012345678, 0.1, 7, '3.25')",
          "INSERT INTO src VALUES (2, -2.4999, -9999999999999999999999999999, "
          "-99999999.9999999999, -2.5, -8, '-0.5')",
          "INSERT INTO src VALUES (3, '104.76685', 18446744073709551616, -8540982423.453, 1e3, "
          "0, '1e2')"});
  {
    jet::sql::Session s(path, kPassword);
    s.AddRow("src", {{"id", "4"},
                     {"small", "-0.00005"},
                     {"big", "79228162514264337593543950"},
                     {"wide", " 0.00003454 "}});
  }
  RunAll(path, {"CREATE TABLE same (id LONG, small DECIMAL(10,4), big DECIMAL(28,0), "
                "wide DECIMAL(24,10))",
                "INSERT INTO same (id, small, big, wide) SELECT id, small, big, wide FROM src",
                "CREATE TABLE narrow (id LONG, d DECIMAL(28,2))",
                "INSERT INTO narrow (id, d) SELECT id, wide FROM src",
                "CREATE TABLE conv (id LONG, e DECIMAL(12,2), f DECIMAL(12,2), g DECIMAL(12,2))",
                "INSERT INTO conv (id, e, f, g) SELECT id, n, l, txt FROM src",
                "SELECT id, small, big, wide INTO whole FROM src",
                "SELECT id, small, big, wide INTO part FROM src WHERE id > 2"});

  // Too many digits before the point: refused whole, naming the column; the file unchanged.
  const std::vector<uint8_t> before = ReadBytes(path);
  jet::ErrorKind kind{};
  const std::string message = sql_test::JetErrorOf(
      [&] { RunAll(path, {"INSERT INTO narrow (id, d) SELECT id, big FROM src"}); }, &kind);
  EXPECT_EQ(kind, jet::ErrorKind::kConstraint);
  sql_test::ExpectProductMessage(message, {"'d'", "26"});
  EXPECT_NE(message.find("精度"), std::string::npos) << message;
  EXPECT_EQ(ReadBytes(path), before);
  // Jet's limits on the definition: 1 to 28 digits, no more of them after the point.
  for (const char* ddl :
       {"CREATE TABLE bad (d DECIMAL(29,0))", "CREATE TABLE bad (d DECIMAL(5,6))"}) {
    EXPECT_EQ(sql_test::JetErrorOf([&] { RunAll(path, {ddl}); }, &kind).empty(), false) << ddl;
    EXPECT_EQ(kind, jet::ErrorKind::kInvalid) << ddl;
  }

  const Values want = Expected();
  {
    auto db = jet::Database::Open(path, kPassword);
    jet::CheckReport report = jet::CheckDatabase(*db);
    EXPECT_TRUE(report.ok()) << (report.findings.empty() ? "" : report.findings[0].Text());
    for (const auto& [table, columns] : want) {
      SCOPED_TRACE("engine: " + table);
      const jet::TableDefinition& def = db->OpenTable(table).definition();
      for (const auto& [name, unused] : columns) {
        // As Access lays Decimal columns out: 17 bytes in the fixed part of the row.
        EXPECT_TRUE(def.FindColumn(name)->IsFixed()) << name;
        EXPECT_EQ(def.FindColumn(name)->length, 17u) << name;
      }
      auto rows = sql_test::ScanRows(*db, table);
      EXPECT_EQ(
          Collect(rows, columns,
                  [&](const std::vector<jet::Value>& row, const std::string& name) {
                    const jet::ColumnDefinition* c = def.FindColumn(name);
                    return jet::ValueToText(row.at(static_cast<size_t>(c - def.columns.data())));
                  }),
          columns);
    }
  }
  bool checked = false;
  if (sql_test::HaveNodeOracle()) {
    checked = true;
    for (const auto& [table, columns] : want) {
      SCOPED_TRACE("mdb-reader: " + table);
      auto rows = sql_test::OracleRows(path, table);
      EXPECT_EQ(Collect(rows, columns,
                        [](const json_lite::Value& row, const std::string& name) {
                          const json_lite::Value& v = row[name];
                          if (v.is_null()) return std::string();
                          return v.is_string() ? v.AsString() : v.NumberText();
                        }),
                columns);
    }
  }
  if (sql_test::HaveCommand("mdb-export")) {
    checked = true;
    for (const auto& [table, columns] : want) {
      SCOPED_TRACE("mdb-export: " + table);
      // Every column of these tables is a number: the CSV has no quotes or commas inside.
      std::istringstream csv(sql_test::MdbExport(path, table));
      std::vector<std::map<std::string, std::string>> rows;
      std::vector<std::string> header;
      for (std::string line; std::getline(csv, line);) {
        std::vector<std::string> fields;
        std::istringstream split(line);
        for (std::string f; std::getline(split, f, ',');) fields.push_back(f);
        if (line.ends_with(",")) fields.emplace_back();
        if (header.empty()) {
          header = fields;
          continue;
        }
        std::map<std::string, std::string> row;
        for (size_t i = 0; i < header.size() && i < fields.size(); ++i) row[header[i]] = fields[i];
        rows.push_back(row);
      }
      EXPECT_EQ(Collect(rows, columns,
                        [](const std::map<std::string, std::string>& row, const std::string& name) {
                          auto it = row.find(name);
                          return it == row.end() ? std::string("<missing>") : it->second;
                        }),
                columns);
    }
  }
  if (!checked) GTEST_SKIP() << "neither mdb-reader (node) nor mdb-export is available";
}

}  // namespace

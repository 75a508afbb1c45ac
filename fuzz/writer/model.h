// What the writer target's statements should leave in the database: its tables, their
// columns and rows, kept in memory beside the file and compared with it at the end.
// Four column kinds cover the write paths: fixed-size numbers (Long, Currency), short text
// and memo (a long value, on pages of its own when it is long).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fuzz::writer {

enum class Kind { kLong, kCurrency, kText, kMemo };

struct Column {
  std::string name;
  Kind kind = Kind::kLong;
  int length = 0;        // kText: characters (UTF-16 units)
  bool counter = false;  // COUNTER: numbered by the engine
  bool key = false;      // the primary key (one column at most)
};

struct Cell {
  bool null = true;
  int64_t number = 0;  // kLong, or kCurrency in ten-thousandths
  std::string text;    // kText, kMemo (UTF-8)
  bool operator==(const Cell&) const = default;
  auto operator<=>(const Cell&) const = default;
};
using Row = std::vector<Cell>;

struct Table {
  std::string name;
  std::vector<Column> columns;
  std::vector<Row> rows;
  int64_t next_counter = 1;

  int CounterColumn() const;  // -1 when none
  int KeyColumn() const;      // -1 when none
};

struct Model {
  std::vector<Table> tables;

  // Case-insensitive (ASCII), as Jet compares names.
  Table* Find(const std::string& name);
  const Table* Find(const std::string& name) const;
};

bool SameName(const std::string& a, const std::string& b);
// UTF-16 units in a UTF-8 string: what a text column's size limits.
size_t Utf16Length(const std::string& utf8);

// A WHERE condition over Long columns, with SQL's three-valued logic.
struct Condition {
  enum class Op { kCompare, kIsNull, kIsNotNull, kAnd, kOr, kNot };
  Op op = Op::kCompare;
  int column = 0;       // kCompare, kIsNull, kIsNotNull
  std::string compare;  // "=", "<>", "<", "<=", ">", ">="
  int64_t literal = 0;
  std::vector<Condition> operands;  // kAnd, kOr: two; kNot: one

  std::optional<bool> Test(const Row& row) const;
  std::string Sql(const Table& table) const;
};

}  // namespace fuzz::writer

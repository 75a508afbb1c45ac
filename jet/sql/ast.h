// The statement tree the parser builds and the executor runs.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "jet/format/column_type.h"

namespace jet::sql {

// A table named in FROM, INTO or a target: local, or in another database file
// ("[path;pwd=password].table").
struct TableRef {
  std::string name;
  std::string alias;
  bool external = false;
  std::string path;
  std::string password;
};

struct Expression {
  enum class Kind { kNull, kNumber, kString, kColumn, kCompare, kAnd, kOr, kNot, kIsNull, kNegate };
  Kind kind = Kind::kNull;
  std::string text;       // number text, string value, column name, comparison operator
  std::string qualifier;  // "sj" in sj.CodeB
  bool negated = false;   // IS NOT NULL
  std::vector<std::unique_ptr<Expression>> operands;
  size_t position = 0;
  int column = -1;  // kColumn: position in the source row, set when bound
  int depth = 1;    // levels of this tree: binding, evaluation and destruction recurse this deep
};
using ExpressionPtr = std::unique_ptr<Expression>;

struct ColumnSpec {
  std::string name;
  ColumnType type = ColumnType::kLong;
  uint16_t length = 0;
  bool fixed_length = false;
  bool autonumber = false;
  bool primary_key = false;
  bool not_null = false;
  uint8_t precision = 18;
  uint8_t scale = 0;
};

struct CreateTable {
  std::string table;
  std::vector<ColumnSpec> columns;
};

struct AlterTableAdd {
  std::string table;
  ColumnSpec column;
};

struct SelectItem {
  ExpressionPtr expression;  // null for "*"
  std::string alias;
};

struct Select {
  std::vector<SelectItem> items;  // empty = "*"
  std::optional<TableRef> into;
  TableRef from;
  ExpressionPtr where;
};

struct Insert {
  TableRef table;
  std::vector<std::string> columns;  // empty = every column in order
  std::vector<ExpressionPtr> values;  // VALUES form
  std::optional<Select> select;       // INSERT ... SELECT form
};

struct Delete {
  TableRef table;
  ExpressionPtr where;
};

struct Statement {
  enum class Kind { kCreateTable, kAlterTableAdd, kInsert, kSelect, kDelete };
  Kind kind = Kind::kSelect;
  CreateTable create;
  AlterTableAdd alter;
  Insert insert;
  Select select;
  Delete del;
};

}  // namespace jet::sql

#include "fuzz/writer/model.h"

#include "base/unicode.h"

#include <cctype>

namespace fuzz::writer {

// The engine's rule for names, so the model finds what the engine finds.
bool SameName(const std::string& a, const std::string& b) {
  return base::EqualsIgnoreCase(a, b);
}

int Table::CounterColumn() const {
  for (size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].counter) return static_cast<int>(i);
  }
  return -1;
}

int Table::KeyColumn() const {
  for (size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].key) return static_cast<int>(i);
  }
  return -1;
}

Table* Model::Find(const std::string& name) {
  for (Table& t : tables) {
    if (SameName(t.name, name)) return &t;
  }
  return nullptr;
}

const Table* Model::Find(const std::string& name) const {
  return const_cast<Model*>(this)->Find(name);
}

size_t Utf16Length(const std::string& utf8) {
  size_t units = 0;
  for (unsigned char c : utf8) {
    if ((c & 0xC0) != 0x80) units += c >= 0xF0 ? 2 : 1;  // four-byte sequences are pairs
  }
  return units;
}

std::optional<bool> Condition::Test(const Row& row) const {
  switch (op) {
    case Op::kCompare: {
      const Cell& c = row[static_cast<size_t>(column)];
      if (c.null) return std::nullopt;
      if (compare == "=") return c.number == literal;
      if (compare == "<>") return c.number != literal;
      if (compare == "<") return c.number < literal;
      if (compare == "<=") return c.number <= literal;
      if (compare == ">") return c.number > literal;
      return c.number >= literal;
    }
    case Op::kIsNull:
      return row[static_cast<size_t>(column)].null;
    case Op::kIsNotNull:
      return !row[static_cast<size_t>(column)].null;
    case Op::kAnd: {
      std::optional<bool> a = operands[0].Test(row), b = operands[1].Test(row);
      if (a == false || b == false) return false;
      if (!a || !b) return std::nullopt;
      return true;
    }
    case Op::kOr: {
      std::optional<bool> a = operands[0].Test(row), b = operands[1].Test(row);
      if (a == true || b == true) return true;
      if (!a || !b) return std::nullopt;
      return false;
    }
    case Op::kNot: {
      std::optional<bool> a = operands[0].Test(row);
      if (!a) return std::nullopt;
      return !*a;
    }
  }
  return std::nullopt;
}

std::string Condition::Sql(const Table& table) const {
  auto name = [&] { return "[" + table.columns[static_cast<size_t>(column)].name + "]"; };
  switch (op) {
    case Op::kCompare:
      return name() + " " + compare + " " + std::to_string(literal);
    case Op::kIsNull:
      return name() + " IS NULL";
    case Op::kIsNotNull:
      return name() + " IS NOT NULL";
    case Op::kAnd:
      return "(" + operands[0].Sql(table) + ") AND (" + operands[1].Sql(table) + ")";
    case Op::kOr:
      return "(" + operands[0].Sql(table) + ") OR (" + operands[1].Sql(table) + ")";
    case Op::kNot:
      return "NOT (" + operands[0].Sql(table) + ")";
  }
  return "";
}

}  // namespace fuzz::writer

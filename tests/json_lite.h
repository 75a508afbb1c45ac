// A small JSON reader for the tests: the fixture expectations (expected.json) and the JSON
// lines printed by jetdb and the oracle script. No JSON library is installed on the build
// machines, and the tests need only reading, so this stays minimal: objects keep their key
// order (expected.json lists tables in catalog order), numbers are doubles, strings UTF-8.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace json_lite {

class Value {
 public:
  enum class Type { kNull, kBool, kNumber, kString, kArray, kObject };
  using Member = std::pair<std::string, Value>;

  Value() = default;
  static Value Bool(bool b);
  static Value Number(double d, std::string raw);
  static Value String(std::string s);
  static Value Array(std::vector<Value> items);
  static Value Object(std::vector<Member> members);

  Type type() const { return type_; }
  bool is_null() const { return type_ == Type::kNull; }
  bool is_bool() const { return type_ == Type::kBool; }
  bool is_number() const { return type_ == Type::kNumber; }
  bool is_string() const { return type_ == Type::kString; }
  bool is_array() const { return type_ == Type::kArray; }
  bool is_object() const { return type_ == Type::kObject; }

  // Each accessor throws std::runtime_error when the value has another type, so a test
  // reading a changed expectations file fails with a message instead of misbehaving.
  bool AsBool() const;
  double AsNumber() const;
  long long AsInt() const;                // REQUIRES: a number with no fraction
  const std::string& NumberText() const;  // the number exactly as written
  const std::string& AsString() const;
  const std::vector<Value>& AsArray() const;
  const std::vector<Member>& AsObject() const;

  // Object members: nullptr / throw when absent.
  const Value* Find(std::string_view key) const;
  const Value& operator[](std::string_view key) const;
  bool Has(std::string_view key) const { return Find(key) != nullptr; }
  // True for a member that is present and the JSON literal true.
  bool IsTrue(std::string_view key) const;

 private:
  void Require(Type t, const char* what) const;

  Type type_ = Type::kNull;
  bool bool_ = false;
  double number_ = 0;
  std::string text_;  // string value, or the number's source text
  std::vector<Value> items_;
  std::vector<Member> members_;
};

// Parses one JSON document (surrounding whitespace allowed). Throws std::runtime_error with
// the byte offset of the fault.
Value Parse(std::string_view text);

// Reads and parses a whole file.
Value ParseFile(const std::string& path);

}  // namespace json_lite

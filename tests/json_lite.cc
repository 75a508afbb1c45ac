#include "tests/json_lite.h"

#include "base/unicode.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace json_lite {
namespace {

class Parser {
 public:
  explicit Parser(std::string_view text) : s_(text) {}

  Value Document() {
    Value v = Any(0);
    SkipSpace();
    if (pos_ != s_.size()) Fail("unexpected text after the document");
    return v;
  }

 private:
  // Deep nesting only comes from a broken or hostile input; stop long before the stack does.
  static constexpr int kMaxDepth = 200;

  [[noreturn]] void Fail(const std::string& what) const {
    throw std::runtime_error("JSON: " + what + " at offset " + std::to_string(pos_));
  }

  void SkipSpace() {
    while (pos_ < s_.size() &&
           (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\n' || s_[pos_] == '\r')) {
      ++pos_;
    }
  }

  bool Consume(std::string_view word) {
    if (s_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    return true;
  }

  Value Any(int depth) {
    if (depth > kMaxDepth) Fail("nesting too deep");
    SkipSpace();
    if (pos_ >= s_.size()) Fail("unexpected end of input");
    char c = s_[pos_];
    if (c == '{') return ObjectValue(depth);
    if (c == '[') return ArrayValue(depth);
    if (c == '"') return Value::String(StringBody());
    if (Consume("true")) return Value::Bool(true);
    if (Consume("false")) return Value::Bool(false);
    if (Consume("null")) return Value();
    if (c == '-' || (c >= '0' && c <= '9')) return NumberValue();
    Fail(std::string("unexpected character '") + c + "'");
  }

  Value ObjectValue(int depth) {
    ++pos_;  // {
    std::vector<Value::Member> members;
    SkipSpace();
    if (Consume("}")) return Value::Object(std::move(members));
    for (;;) {
      SkipSpace();
      if (pos_ >= s_.size() || s_[pos_] != '"') Fail("expected a member name");
      std::string key = StringBody();
      SkipSpace();
      if (!Consume(":")) Fail("expected ':'");
      Value v = Any(depth + 1);
      members.emplace_back(std::move(key), std::move(v));
      SkipSpace();
      if (Consume(",")) continue;
      if (Consume("}")) return Value::Object(std::move(members));
      Fail("expected ',' or '}'");
    }
  }

  Value ArrayValue(int depth) {
    ++pos_;  // [
    std::vector<Value> items;
    SkipSpace();
    if (Consume("]")) return Value::Array(std::move(items));
    for (;;) {
      items.push_back(Any(depth + 1));
      SkipSpace();
      if (Consume(",")) continue;
      if (Consume("]")) return Value::Array(std::move(items));
      Fail("expected ',' or ']'");
    }
  }

  Value NumberValue() {
    size_t start = pos_;
    if (s_[pos_] == '-') ++pos_;
    auto digits = [&] {
      size_t from = pos_;
      while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9') ++pos_;
      if (pos_ == from) Fail("malformed number");
    };
    digits();
    if (pos_ < s_.size() && s_[pos_] == '.') {
      ++pos_;
      digits();
    }
    if (pos_ < s_.size() && (s_[pos_] == 'e' || s_[pos_] == 'E')) {
      ++pos_;
      if (pos_ < s_.size() && (s_[pos_] == '+' || s_[pos_] == '-')) ++pos_;
      digits();
    }
    std::string raw(s_.substr(start, pos_ - start));
    return Value::Number(std::strtod(raw.c_str(), nullptr), raw);
  }

  unsigned Hex4() {
    if (pos_ + 4 > s_.size()) Fail("truncated \\u escape");
    unsigned v = 0;
    for (int i = 0; i < 4; ++i) {
      char c = s_[pos_++];
      v <<= 4;
      if (c >= '0' && c <= '9') {
        v |= static_cast<unsigned>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        v |= static_cast<unsigned>(c - 'a' + 10);
      } else if (c >= 'A' && c <= 'F') {
        v |= static_cast<unsigned>(c - 'A' + 10);
      } else {
        Fail("bad hex digit in \\u escape");
      }
    }
    return v;
  }

  // One code point, through the engine's own UTF-16 to UTF-8 conversion.
  static void AppendUtf8(uint32_t c, std::string& out) {
    std::u16string units;
    if (c >= 0x10000) {
      units = {static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)),
               static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF))};
    } else {
      units = {static_cast<char16_t>(c)};
    }
    out += base::Utf16ToUtf8(units);
  }

  std::string StringBody() {
    ++pos_;  // opening quote
    std::string out;
    for (;;) {
      if (pos_ >= s_.size()) Fail("unterminated string");
      char c = s_[pos_++];
      if (c == '"') return out;
      if (static_cast<unsigned char>(c) < 0x20) Fail("raw control character in string");
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      if (pos_ >= s_.size()) Fail("unterminated escape");
      char e = s_[pos_++];
      switch (e) {
        case '"':
          out.push_back('"');
          break;
        case '\\':
          out.push_back('\\');
          break;
        case '/':
          out.push_back('/');
          break;
        case 'b':
          out.push_back('\b');
          break;
        case 'f':
          out.push_back('\f');
          break;
        case 'n':
          out.push_back('\n');
          break;
        case 'r':
          out.push_back('\r');
          break;
        case 't':
          out.push_back('\t');
          break;
        case 'u': {
          uint32_t c1 = Hex4();
          // A high surrogate followed by an escaped low surrogate is one character; a lone
          // surrogate cannot be UTF-8, so it becomes U+FFFD as the engine's converter does.
          if (c1 >= 0xD800 && c1 <= 0xDBFF && s_.substr(pos_, 2) == "\\u") {
            size_t save = pos_;
            pos_ += 2;
            uint32_t c2 = Hex4();
            if (c2 >= 0xDC00 && c2 <= 0xDFFF) {
              AppendUtf8(0x10000 + ((c1 - 0xD800) << 10) + (c2 - 0xDC00), out);
              break;
            }
            pos_ = save;
          }
          AppendUtf8(c1 >= 0xD800 && c1 <= 0xDFFF ? 0xFFFD : c1, out);
          break;
        }
        default:
          Fail(std::string("unknown escape \\") + e);
      }
    }
  }

  std::string_view s_;
  size_t pos_ = 0;
};

const char* TypeName(Value::Type t) {
  switch (t) {
    case Value::Type::kNull:
      return "null";
    case Value::Type::kBool:
      return "boolean";
    case Value::Type::kNumber:
      return "number";
    case Value::Type::kString:
      return "string";
    case Value::Type::kArray:
      return "array";
    case Value::Type::kObject:
      return "object";
  }
  return "?";
}

}  // namespace

Value Value::Bool(bool b) {
  Value v;
  v.type_ = Type::kBool;
  v.bool_ = b;
  return v;
}

Value Value::Number(double d, std::string raw) {
  Value v;
  v.type_ = Type::kNumber;
  v.number_ = d;
  v.text_ = std::move(raw);
  return v;
}

Value Value::String(std::string s) {
  Value v;
  v.type_ = Type::kString;
  v.text_ = std::move(s);
  return v;
}

Value Value::Array(std::vector<Value> items) {
  Value v;
  v.type_ = Type::kArray;
  v.items_ = std::move(items);
  return v;
}

Value Value::Object(std::vector<Member> members) {
  Value v;
  v.type_ = Type::kObject;
  v.members_ = std::move(members);
  return v;
}

void Value::Require(Type t, const char* what) const {
  if (type_ != t) {
    throw std::runtime_error(std::string("JSON: ") + what + " of a " + TypeName(type_) +
                             ", not a " + TypeName(t));
  }
}

bool Value::AsBool() const {
  Require(Type::kBool, "AsBool");
  return bool_;
}

double Value::AsNumber() const {
  Require(Type::kNumber, "AsNumber");
  return number_;
}

long long Value::AsInt() const {
  Require(Type::kNumber, "AsInt");
  if (number_ != std::trunc(number_)) throw std::runtime_error("JSON: " + text_ + " is no integer");
  return static_cast<long long>(number_);
}

const std::string& Value::NumberText() const {
  Require(Type::kNumber, "NumberText");
  return text_;
}

const std::string& Value::AsString() const {
  Require(Type::kString, "AsString");
  return text_;
}

const std::vector<Value>& Value::AsArray() const {
  Require(Type::kArray, "AsArray");
  return items_;
}

const std::vector<Value::Member>& Value::AsObject() const {
  Require(Type::kObject, "AsObject");
  return members_;
}

const Value* Value::Find(std::string_view key) const {
  for (const auto& [name, value] : AsObject()) {
    if (name == key) return &value;
  }
  return nullptr;
}

const Value& Value::operator[](std::string_view key) const {
  const Value* v = Find(key);
  if (!v) throw std::runtime_error("JSON: no member '" + std::string(key) + "'");
  return *v;
}

bool Value::IsTrue(std::string_view key) const {
  const Value* v = Find(key);
  return v && v->is_bool() && v->AsBool();
}

Value Parse(std::string_view text) {
  return Parser(text).Document();
}

Value ParseFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream text;
  text << in.rdbuf();
  return Parse(text.str());
}

}  // namespace json_lite

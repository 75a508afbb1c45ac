#include "tools/jetdb_format.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace tools {
namespace {

using jet::ColumnType;
using jet::Value;
using jet::ValueKind;

std::string Bracket(const std::string& name) {
  std::string out = "[";
  for (char c : name) {
    out.push_back(c);
    if (c == ']') out.push_back(']');
  }
  return out + "]";
}

// True when any byte of `word` equals the byte repeated in `pattern` (the classic
// "has zero byte" test on their XOR).
bool HasByte(uint64_t word, uint64_t pattern) {
  constexpr uint64_t kLow = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
  uint64_t x = word ^ pattern;
  return ((x - kLow) & ~x & kHigh) != 0;
}

// True when any byte of `word` is below `n` (n <= 128).
bool HasByteBelow(uint64_t word, uint8_t n) {
  constexpr uint64_t kLow = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
  return ((word - kLow * n) & ~word & kHigh) != 0;
}

bool NeedsCsvQuotes(std::string_view text) {
  // Eight bytes at a time: an export checks every byte of every text value. All four
  // characters lie below '-', which most words have none of (UTF-8 of Chinese never does).
  constexpr uint64_t kLow = 0x0101010101010101ull;
  size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    uint64_t word;
    std::memcpy(&word, text.data() + i, 8);
    if (!HasByteBelow(word, '-')) continue;
    if (HasByte(word, kLow * ',') || HasByte(word, kLow * '"') || HasByte(word, kLow * '\r') ||
        HasByte(word, kLow * '\n')) {
      return true;
    }
  }
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c == ',' || c == '"' || c == '\r' || c == '\n') return true;
  }
  return false;
}

void AppendCsvField(std::string_view text, bool quote_always, std::string& out) {
  if (!quote_always && !NeedsCsvQuotes(text)) {
    out.append(text);
    return;
  }
  out.push_back('"');
  // Whole runs between quotes at a time; each quote is doubled.
  size_t from = 0;
  for (size_t q = text.find('"'); q != std::string_view::npos; q = text.find('"', q + 1)) {
    out.append(text.substr(from, q + 1 - from));
    out.push_back('"');
    from = q + 1;
  }
  out.append(text.substr(from));
  out.push_back('"');
}

void AppendJsonString(const std::string& text, std::string& out) {
  out.push_back('"');
  for (unsigned char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
  out.push_back('"');
}

}  // namespace

std::string ColumnTypeSql(const jet::ColumnDefinition& c) {
  switch (c.type) {
    case ColumnType::kBoolean:
      return "BIT";
    case ColumnType::kByte:
      return "BYTE";
    case ColumnType::kInteger:
      return "SHORT";
    case ColumnType::kLong:
      return c.IsAutoNumber() ? "COUNTER" : "LONG";
    case ColumnType::kCurrency:
      return "CURRENCY";
    case ColumnType::kSingle:
      return "SINGLE";
    case ColumnType::kDouble:
      return "DOUBLE";
    case ColumnType::kDateTime:
      return "DATETIME";
    case ColumnType::kBinary:
      return (c.IsFixed() ? "BINARY(" : "VARBINARY(") + std::to_string(c.length) + ")";
    case ColumnType::kText:
      return (c.IsFixed() ? "CHAR(" : "TEXT(") + std::to_string(c.length / 2) + ")";
    case ColumnType::kOle:
      return "LONGBINARY";
    case ColumnType::kMemo:
      return "MEMO";
    case ColumnType::kGuid:
      return "GUID";
    case ColumnType::kNumeric:
      return "DECIMAL(" + std::to_string(c.precision) + "," + std::to_string(c.scale) + ")";
    case ColumnType::kAccessObjectData:
      return "BINARY(" + std::to_string(c.length) + ")";
  }
  return "UNKNOWN";
}

std::string TableSchemaSql(const std::string& name, const jet::TableDefinition& def) {
  std::string out = "CREATE TABLE " + Bracket(name) + " (\n";
  for (size_t i = 0; i < def.columns.size(); ++i) {
    out += "  " + Bracket(def.columns[i].name) + " " + ColumnTypeSql(def.columns[i]);
    out += i + 1 < def.columns.size() ? ",\n" : "\n";
  }
  out += ");\n";
  for (const auto& li : def.logical_indexes) {
    const jet::RealIndex& ri = def.real_indexes[li.real_index];
    if (li.type == jet::LogicalIndex::kForeignKey) continue;  // relationships, not indexes
    out += ri.IsUnique() ? "CREATE UNIQUE INDEX " : "CREATE INDEX ";
    out += Bracket(li.name) + " ON " + Bracket(name) + " (";
    for (size_t k = 0; k < ri.columns.size(); ++k) {
      const jet::ColumnDefinition* c = def.ColumnById(ri.columns[k].column_id);
      out += (k ? ", " : "") + (c ? Bracket(c->name) : std::string("[?]"));
      if (!ri.columns[k].ascending) out += " DESC";
    }
    out += ")";
    if (li.type == jet::LogicalIndex::kPrimaryKey) {
      out += " WITH PRIMARY";
    } else if (ri.IgnoresNulls()) {
      out += " WITH IGNORE NULL";
    }
    out += ";\n";
  }
  return out;
}

std::string CsvField(const std::string& text) {
  std::string out;
  AppendCsvField(text, false, out);
  return out;
}

std::string CsvHeader(const jet::TableDefinition& def) {
  std::string out;
  for (size_t i = 0; i < def.columns.size(); ++i) {
    if (i) out.push_back(',');
    AppendCsvField(def.columns[i].name, false, out);
  }
  return out + "\r\n";
}

void AppendCsvRow(const std::vector<Value>& values, std::string& out) {
  for (size_t i = 0; i < values.size(); ++i) {
    if (i) out.push_back(',');
    if (values[i].IsNull()) continue;
    if (values[i].kind == jet::ValueKind::kText) {  // the common case, without a copy
      AppendCsvField(values[i].text, values[i].text.empty(), out);
      continue;
    }
    std::string text = jet::ValueToText(values[i]);
    AppendCsvField(text, text.empty(), out);
  }
  out += "\r\n";
}

void AppendJsonRow(const jet::TableDefinition& def, const std::vector<Value>& values,
                   std::string& out) {
  out.push_back('{');
  for (size_t i = 0; i < values.size(); ++i) {
    if (i) out.push_back(',');
    AppendJsonString(def.columns[i].name, out);
    out.push_back(':');
    const Value& v = values[i];
    switch (v.kind) {
      case ValueKind::kNull:
        out += "null";
        break;
      case ValueKind::kBoolean:
        out += v.integer ? "true" : "false";
        break;
      case ValueKind::kByte:
      case ValueKind::kInteger:
      case ValueKind::kLong:
      case ValueKind::kDouble:
      case ValueKind::kSingle:
        // JSON has no NaN or infinity; those go out as strings.
        if (std::isfinite(v.real)) {
          out += jet::ValueToText(v);
        } else {
          AppendJsonString(jet::ValueToText(v), out);
        }
        break;
      default:
        AppendJsonString(jet::ValueToText(v), out);
    }
  }
  out += "}\n";
}

std::string FindingLines(const jet::CheckReport& report) {
  std::string out;
  for (const jet::Finding& f : report.findings) {
    out += (f.IsDamage() ? "损坏：" : "注意：") + f.Text() + "\n";
  }
  return out;
}

std::string CheckVerdict(const jet::CheckReport& report) {
  return report.ok() ? "没有发现损坏" : "发现 " + std::to_string(report.DamageCount()) + " 处损坏";
}

}  // namespace tools

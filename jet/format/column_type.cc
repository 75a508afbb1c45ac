#include "jet/format/column_type.h"

namespace jet {

bool IsKnownColumnType(uint8_t code) {
  return (code >= 0x01 && code <= 0x0C) || code == 0x0F || code == 0x10 || code == 0x11;
}

bool IsLongValueType(ColumnType type) {
  return type == ColumnType::kOle || type == ColumnType::kMemo;
}

bool IsTextType(ColumnType type) {
  return type == ColumnType::kText || type == ColumnType::kMemo;
}

std::string ColumnTypeName(ColumnType type) {
  switch (type) {
    case ColumnType::kBoolean:
      return "Boolean";
    case ColumnType::kByte:
      return "Byte";
    case ColumnType::kInteger:
      return "Integer";
    case ColumnType::kLong:
      return "Long Integer";
    case ColumnType::kCurrency:
      return "Currency";
    case ColumnType::kSingle:
      return "Single";
    case ColumnType::kDouble:
      return "Double";
    case ColumnType::kDateTime:
      return "DateTime";
    case ColumnType::kBinary:
      return "Binary";
    case ColumnType::kText:
      return "Text";
    case ColumnType::kOle:
      return "OLE";
    case ColumnType::kMemo:
      return "Memo";
    case ColumnType::kGuid:
      return "Replication ID";
    case ColumnType::kNumeric:
      return "Numeric";
    case ColumnType::kAccessObjectData:
      return "Access object data";
  }
  return "Unknown";
}

size_t FixedTypeSize(ColumnType type) {
  switch (type) {
    case ColumnType::kByte:
      return 1;
    case ColumnType::kInteger:
      return 2;
    case ColumnType::kLong:
    case ColumnType::kSingle:
      return 4;
    case ColumnType::kCurrency:
    case ColumnType::kDouble:
    case ColumnType::kDateTime:
      return 8;
    case ColumnType::kGuid:
      return 16;
    case ColumnType::kNumeric:
      return 17;
    default:
      return 0;
  }
}

}  // namespace jet

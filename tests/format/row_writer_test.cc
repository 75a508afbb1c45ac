// The stored bytes of text columns: Access compresses text only in columns whose definition
// carries the compression flag; anywhere else the bytes are plain UTF-16LE, which every
// reader takes as it is. (A compressed value in a column without the flag is read by Access
// as the raw bytes FF FE … , i.e. as garbage.)
#include <gtest/gtest.h>

#include <vector>

#include "jet/error.h"
#include "jet/format/row_writer.h"
#include "jet/format/table_definition.h"
#include "jet/format/value.h"

namespace {

jet::ColumnDefinition TextColumn(bool compression_allowed, bool fixed = false) {
  jet::ColumnDefinition c;
  c.name = "Name";
  c.type = jet::ColumnType::kText;
  c.length = 2 * 10;
  if (compression_allowed) c.extended_flags = jet::ColumnDefinition::kExtCompressedUnicode;
  if (fixed) c.flags = jet::ColumnDefinition::kFlagFixed;
  return c;
}

std::vector<uint8_t> Utf16(const std::vector<char16_t>& units) {
  std::vector<uint8_t> out;
  for (char16_t u : units) {
    out.push_back(static_cast<uint8_t>(u & 0xFF));
    out.push_back(static_cast<uint8_t>(u >> 8));
  }
  return out;
}

TEST(RowWriterText, OnlyColumnsWithTheCompressionFlagStoreCompressedText) {
  const jet::Value latin = jet::Value::Text("abc");
  EXPECT_EQ(jet::EncodeColumnValue(TextColumn(false), latin), Utf16({u'a', u'b', u'c'}));
  EXPECT_EQ(jet::EncodeColumnValue(TextColumn(true), latin),
            (std::vector<uint8_t>{0xFF, 0xFE, 'a', 'b', 'c'}));
  // Chinese never compresses to fewer bytes; fixed-length text is never compressed, padded.
  EXPECT_EQ(jet::EncodeColumnValue(TextColumn(false), jet::Value::Text("客户")),
            Utf16({u'客', u'户'}));
  std::vector<uint8_t> fixed = jet::EncodeColumnValue(TextColumn(true, /*fixed=*/true), latin);
  EXPECT_EQ(fixed, Utf16({u'a', u'b', u'c', u' ', u' ', u' ', u' ', u' ', u' ', u' '}));
}

// The table writer stores what it is given; a value of another kind (which the SQL layer
// would have converted) is refused rather than stored as whatever its unused fields hold.
TEST(RowWriterKinds, ValuesOfAnotherKindOrOutOfRangeAreRefused) {
  auto column = [](jet::ColumnType type) {
    jet::ColumnDefinition c;
    c.name = "F";
    c.type = type;
    c.length = 8;
    return c;
  };
  EXPECT_THROW(jet::EncodeColumnValue(column(jet::ColumnType::kLong), jet::Value::Text("12")),
               jet::JetError);
  EXPECT_THROW(jet::EncodeColumnValue(column(jet::ColumnType::kInteger), jet::Value::Long(70000)),
               jet::JetError);
  EXPECT_THROW(jet::EncodeColumnValue(column(jet::ColumnType::kByte), jet::Value::Long(-1)),
               jet::JetError);
  EXPECT_THROW(jet::EncodeColumnValue(column(jet::ColumnType::kCurrency), jet::Value::Text("1.5")),
               jet::JetError);
  EXPECT_EQ(jet::EncodeColumnValue(column(jet::ColumnType::kInteger), jet::Value::Long(-2)),
            (std::vector<uint8_t>{0xFE, 0xFF}));
}

}  // namespace

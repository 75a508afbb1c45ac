// Decimal values: the engine stores a value with exactly the bytes Access stored for it in
// the fixtures' Decimal columns, and reads text the way Jet fits it to a column.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "jet/format/numeric.h"
#include "jet/format/row_reader.h"
#include "jet/format/row_writer.h"
#include "jet/table/database.h"
#include "jet/table/table.h"
#include "tests/test_support.h"

namespace {

using jet::DecimalReading;
using jet::ScaledDecimal;

struct DecimalColumn {
  const char* file;
  const char* table;
  const char* key;     // a column naming each row
  const char* column;  // the Decimal column
  // Key (as text) to the value as mdbtools and mdb-reader both read it; NULLs left out.
  std::map<std::string, std::string> values;
};

// Precisions 10 to 24, scales 0 to 10, both signs, magnitudes in one, two and three of the
// four words (-8540982423.453 at scale 10 is 0x4_A14CA69E_E3B5CC80).
const std::vector<DecimalColumn>& AccessColumns() {
  static const std::vector<DecimalColumn> columns = {
      {"linq2db_testdata.mdb",
       "LinqDataTypes",
       "ID",
       "MoneyValue",
       {{"1", "1.1100"}, {"3", "3.9900"}, {"6", "6.5500"}, {"10", "10.7700"}}},
      {"linq2db_testdata.mdb",
       "TestMerge1",
       "Id",
       "FieldDecimal",
       {{"2", "12345678.9012345678"}, {"3", "-99999999.9999999999"}}},
      {"linq2db_testdata.mdb", "TestMerge2", "Id", "FieldDecimal", {{"3", "-0.1230000000"}}},
      {"jackcess_fixednumeric2000.mdb", "test", "col2", "col6", {{"1", "-1"}}},
      {"jackcess_fixednumeric2000.mdb", "test", "col2", "col5", {{"1", "4"}}},
      {"jackcess_indexcodes2000.mdb",
       "Table7",
       "name",
       "data",
       {{"row0", "0.0000000000"},
        {"row2", "309840983.0000000000"},
        {"row9", "0.0000345400"},
        {"row10", "-0.0000354560"},
        {"row15", "7567345.4567945600"},
        {"row16", "-8540982423.4530000000"}}},
  };
  return columns;
}

TEST(NumericStoredForm, EncodesValuesWithTheBytesAccessStored) {
  SKIP_WITHOUT_FIXTURES();
  for (const DecimalColumn& dc : AccessColumns()) {
    SCOPED_TRACE(std::string(dc.file) + " " + dc.table + "." + dc.column);
    auto db = jet::Database::Open(testing_support::Fixture(dc.file), "");
    jet::Table table = db->OpenTable(dc.table);
    const jet::TableDefinition& def = table.definition();
    const jet::ColumnDefinition* key = def.FindColumn(dc.key);
    const jet::ColumnDefinition* column = def.FindColumn(dc.column);
    ASSERT_TRUE(key && column);
    ASSERT_EQ(column->type, jet::ColumnType::kNumeric);
    const size_t k = static_cast<size_t>(key - def.columns.data());
    const size_t c = static_cast<size_t>(column - def.columns.data());
    size_t seen = 0;
    table.ScanStored([&](jet::RowPointer, jet::ByteView row) {
      std::vector<jet::ColumnData> parts = jet::SplitRow(def, row);
      auto it = dc.values.find(jet::ValueToText(jet::DecodeColumnValue(*key, parts[k])));
      if (it == dc.values.end()) return true;
      ++seen;
      const jet::ByteView stored = parts[c].bytes;
      const std::vector<uint8_t> access(stored.data(), stored.data() + stored.size());
      EXPECT_EQ(jet::DecodeColumnValue(*column, parts[c]).text, it->second);
      jet::Value value{jet::ValueKind::kNumeric, 0, 0, it->second, {}};
      EXPECT_EQ(jet::EncodeColumnValue(*column, value), access) << it->second;
      return true;
    });
    EXPECT_EQ(seen, dc.values.size());
  }
}

std::string Read(const std::string& text, uint8_t precision, uint8_t scale) {
  ScaledDecimal d;
  switch (jet::ReadScaledDecimal(text, precision, scale, d)) {
    case DecimalReading::kRead:
      return jet::FormatScaledDecimal(d, scale);
    case DecimalReading::kTooLarge:
      return "too large";
    case DecimalReading::kNotANumber:
      break;
  }
  return "not a number";
}

// Jet cuts digits past the scale off (104.7668 into a scale-2 column is 104.76) and refuses
// more digits before the point than the precision leaves.
TEST(NumericText, ExtraDecimalsAreCutAndTooManyWholeDigitsRefused) {
  EXPECT_EQ(Read("104.7668", 17, 2), "104.76");
  EXPECT_EQ(Read("-104.7699", 17, 2), "-104.76");
  EXPECT_EQ(Read("-0.009", 5, 2), "0.00");  // no negative zero
  EXPECT_EQ(Read(" +.5 ", 5, 2), "0.50");
  EXPECT_EQ(Read("1.5e3", 6, 2), "1500.00");
  EXPECT_EQ(Read("12345e-6", 6, 4), "0.0123");
  EXPECT_EQ(Read("0001234.5", 6, 2), "1234.50");
  EXPECT_EQ(Read("9999.999", 6, 2), "9999.99");
  EXPECT_EQ(Read("10000", 6, 2), "too large");
  EXPECT_EQ(Read("1e4", 6, 2), "too large");
  EXPECT_EQ(Read("9999999999999999999999999999", 28, 0), "9999999999999999999999999999");
  EXPECT_EQ(Read("10000000000000000000000000000", 28, 0), "too large");
  EXPECT_EQ(Read("1e99999999999999999999", 28, 0), "too large");
  EXPECT_EQ(Read("1e-99999999999999999999", 28, 4), "0.0000");
  for (const char* bad : {"", "-", ".", "1.2.3", "1e", "1e+", "12a", "0x10", "inf", "1,5"}) {
    EXPECT_EQ(Read(bad, 10, 2), "not a number") << bad;
  }
}

}  // namespace

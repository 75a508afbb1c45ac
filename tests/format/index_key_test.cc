// Index keys for the non-text types: flag byte, then an encoding whose unsigned byte order
// is the value order (reversed for descending columns).
#include "jet/format/index_key.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

using jet::ColumnDefinition;
using jet::ColumnType;
using jet::Value;
using jet::ValueKind;

using Bytes = std::vector<uint8_t>;

Bytes Key(ColumnType type, const Value& v, bool ascending = true) {
  ColumnDefinition c;
  c.type = type;
  Bytes out;
  EXPECT_TRUE(jet::AppendColumnKey(c, ascending, v, out));
  return out;
}

Value Integer(ValueKind kind, int64_t i) {
  Value v;
  v.kind = kind;
  v.integer = i;
  return v;
}

Value Real(ValueKind kind, double d) {
  Value v;
  v.kind = kind;
  v.real = d;
  return v;
}

TEST(IndexKey, IntegersFlipTheSignBitBigEndian) {
  EXPECT_EQ(Key(ColumnType::kLong, Value::Long(1)), (Bytes{0x7F, 0x80, 0x00, 0x00, 0x01}));
  EXPECT_EQ(Key(ColumnType::kLong, Value::Long(-1)), (Bytes{0x7F, 0x7F, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(Key(ColumnType::kLong, Value::Long(std::numeric_limits<int32_t>::min())),
            (Bytes{0x7F, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_EQ(Key(ColumnType::kLong, Value::Long(1), false), (Bytes{0x80, 0x7F, 0xFF, 0xFF, 0xFE}));
  EXPECT_EQ(Key(ColumnType::kInteger, Integer(ValueKind::kInteger, -2)), (Bytes{0x7F, 0x7F, 0xFE}));
  EXPECT_EQ(Key(ColumnType::kByte, Integer(ValueKind::kByte, 200)), (Bytes{0x7F, 0xC8}));
  EXPECT_EQ(Key(ColumnType::kCurrency, Integer(ValueKind::kCurrency, 10000)),
            (Bytes{0x7F, 0x80, 0, 0, 0, 0, 0, 0x27, 0x10}));
}

TEST(IndexKey, BooleansAndNulls) {
  EXPECT_EQ(Key(ColumnType::kBoolean, Value::Boolean(true)), (Bytes{0x7F, 0x00}));
  EXPECT_EQ(Key(ColumnType::kBoolean, Value::Boolean(false)), (Bytes{0x7F, 0xFF}));
  EXPECT_EQ(Key(ColumnType::kBoolean, Value::Boolean(true), false), (Bytes{0x80, 0xFF}));
  EXPECT_EQ(Key(ColumnType::kBoolean, Value::Boolean(false), false), (Bytes{0x80, 0x00}));
  // NULL is a lone flag byte that sorts first ascending and last descending.
  for (ColumnType t : {ColumnType::kLong, ColumnType::kDouble, ColumnType::kText, ColumnType::kGuid,
                       ColumnType::kBinary}) {
    EXPECT_EQ(Key(t, Value::Null()), Bytes{0x00});
    EXPECT_EQ(Key(t, Value::Null(), false), Bytes{0xFF});
  }
}

TEST(IndexKey, BinaryAndGuidGoInEightByteGroups) {
  Value bin;
  bin.kind = ValueKind::kBinary;
  bin.bytes = {0x01, 0x02, 0x03};
  EXPECT_EQ(Key(ColumnType::kBinary, bin), (Bytes{0x7F, 1, 2, 3, 0, 0, 0, 0, 0, 0x03}));
  bin.bytes = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  EXPECT_EQ(Key(ColumnType::kBinary, bin),
            (Bytes{0x7F, 1, 2, 3, 4, 5, 6, 7, 8, 0x09, 9, 0, 0, 0, 0, 0, 0, 0, 0x01}));
  // Descending inverts the data but not the "more follows" marker.
  EXPECT_EQ(Key(ColumnType::kBinary, bin, false),
            (Bytes{0x80, 0xFE, 0xFD, 0xFC, 0xFB, 0xFA, 0xF9, 0xF8, 0xF7, 0x09, 0xF6, 0xFF, 0xFF,
                   0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}));
  Value guid;
  guid.kind = ValueKind::kGuid;
  for (uint8_t i = 0; i < 16; ++i) guid.bytes.push_back(i);
  EXPECT_EQ(Key(ColumnType::kGuid, guid),
            (Bytes{0x7F, 3, 2, 1, 0, 5, 4, 7, 6, 0x09, 8, 9, 10, 11, 12, 13, 14, 15, 0x08}));
}

Value Decimal(const std::string& text) {
  Value v;
  v.kind = ValueKind::kNumeric;
  v.text = text;
  return v;
}

// Numeric: FF and the 16-byte magnitude for values >= 0; all 17 bytes inverted for
// negatives, so ascending keys sort like the numbers.
TEST(IndexKey, NumericKeysSortLikeTheNumbers) {
  ColumnDefinition c;
  c.type = ColumnType::kNumeric;
  c.precision = 18;
  c.scale = 2;
  auto key = [&](const std::string& text) {
    Bytes out;
    EXPECT_TRUE(jet::AppendColumnKey(c, true, Decimal(text), out)) << text;
    return out;
  };
  Bytes one = {0x7F, 0xFF};
  one.insert(one.end(), 15, 0x00);
  one.push_back(100);  // 1.00 at scale 2
  EXPECT_EQ(key("1"), one);
  const char* ascending[] = {"-99999.99", "-1000", "-1.01", "-1", "-0.01",  "0",
                             "0.01",      "0.5",   "1",     "2",  "255.99", "1000000"};
  for (size_t i = 1; i < std::size(ascending); ++i) {
    EXPECT_LT(key(ascending[i - 1]), key(ascending[i]))
        << ascending[i - 1] << " < " << ascending[i];
  }
  Bytes out = {0xAA};
  EXPECT_FALSE(jet::AppendColumnKey(c, true, Decimal("not a number"), out));
  EXPECT_EQ(out, Bytes{0xAA});  // left as it was
}

// The property the B-tree relies on: key order is value order.
template <typename Make>
void ExpectOrderPreserved(ColumnType type, std::vector<double> values, Make make) {
  std::sort(values.begin(), values.end());
  values.erase(std::unique(values.begin(), values.end()), values.end());
  for (size_t i = 1; i < values.size(); ++i) {
    Bytes lo = Key(type, make(values[i - 1])), hi = Key(type, make(values[i]));
    ASSERT_LT(lo, hi) << values[i - 1] << " < " << values[i];
    ASSERT_GT(Key(type, make(values[i - 1]), false), Key(type, make(values[i]), false));
  }
}

TEST(IndexKey, FloatingPointKeysSortLikeTheNumbers) {
  std::mt19937_64 random(11);
  std::vector<double> doubles = {-std::numeric_limits<double>::infinity(),
                                 -std::numeric_limits<double>::max(),
                                 -1.0,
                                 -std::numeric_limits<double>::denorm_min(),
                                 0.0,
                                 std::numeric_limits<double>::denorm_min(),
                                 1.0,
                                 std::numeric_limits<double>::max(),
                                 std::numeric_limits<double>::infinity()};
  std::uniform_real_distribution<double> wide(-1e6, 1e6);
  for (int i = 0; i < 3000; ++i) {
    uint64_t bits = random();
    double d;
    std::memcpy(&d, &bits, 8);
    if (std::isfinite(d)) doubles.push_back(d);  // spread over every exponent
    doubles.push_back(wide(random));
  }
  ExpectOrderPreserved(ColumnType::kDouble, doubles,
                       [](double d) { return Real(ValueKind::kDouble, d); });
  ExpectOrderPreserved(ColumnType::kDateTime, doubles,
                       [](double d) { return Real(ValueKind::kDateTime, d); });
  std::vector<double> singles;
  for (double d : doubles) {
    if (std::fabs(d) < 1e38) singles.push_back(static_cast<float>(d));
  }
  ExpectOrderPreserved(ColumnType::kSingle, singles,
                       [](double d) { return Real(ValueKind::kSingle, d); });
  EXPECT_EQ(Key(ColumnType::kDouble, Real(ValueKind::kDouble, 1.0)),
            (Bytes{0x7F, 0xBF, 0xF0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Key(ColumnType::kDouble, Real(ValueKind::kDouble, -1.0)),
            (Bytes{0x7F, 0x40, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(IndexKey, IntegerKeysSortLikeTheNumbers) {
  std::mt19937 random(5);
  std::vector<double> longs = {-2147483648.0, -1, 0, 1, 2147483647.0};
  for (int i = 0; i < 2000; ++i) longs.push_back(static_cast<int32_t>(random()));
  ExpectOrderPreserved(ColumnType::kLong, longs,
                       [](double d) { return Value::Long(static_cast<int32_t>(d)); });
}

TEST(IndexKey, MultiColumnKeysConcatenateInIndexOrder) {
  jet::TableDefinition def;
  ColumnDefinition a, b;
  a.name = "a";
  a.type = ColumnType::kLong;
  a.id = 0;
  b.name = "b";
  b.type = ColumnType::kBoolean;
  b.id = 1;
  def.columns = {a, b};
  jet::RealIndex index;
  index.columns = {{1, true}, {0, false}};  // b ascending, then a descending
  auto key = jet::EncodeIndexKey(def, index, {Value::Long(1), Value::Boolean(true)});
  ASSERT_TRUE(key.has_value());
  EXPECT_EQ(*key, (Bytes{0x7F, 0x00, 0x80, 0x7F, 0xFF, 0xFF, 0xFE}));
  index.columns = {{7, true}};  // a column the table does not have
  EXPECT_FALSE(jet::EncodeIndexKey(def, index, {Value::Long(1), Value::Boolean(true)}));
}

}  // namespace

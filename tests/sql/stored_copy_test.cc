// Copies between Jet tables that move rows as stored bytes (INSERT ... SELECT and SELECT ...
// INTO of plain columns) must write exactly what the value-by-value copy writes. A WHERE
// clause sends the same copy down the value-by-value road, so the two are compared byte for
// byte, row by row.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "jet/table/checker.h"
#include "tests/clean_file.h"
#include "tests/sql/sql_test_util.h"

namespace {

using sql_test::kPassword;
using testing_support::ScratchDir;

constexpr char kColumns[] =
    "code varchar(20), name varchar(50), fixed char(6), b byte, i smallint, l int, "
    "c currency, f single, d double, t datetime, y bit, g guid";
constexpr char kColumnList[] = "code, name, fixed, b, i, l, c, f, d, t, y, g";

jet::Value Guid(uint8_t seed) {
  jet::Value v;
  v.kind = jet::ValueKind::kGuid;
  for (int k = 0; k < 16; ++k) v.bytes.push_back(static_cast<uint8_t>(seed * 7 + k));
  return v;
}

jet::Value Of(jet::ValueKind kind, int64_t integer, double real = 0) {
  jet::Value v;
  v.kind = kind;
  v.integer = integer;
  v.real = real;
  return v;
}

// Text of every kind the stored form distinguishes: compressible Latin-1, Chinese, a
// character outside the BMP, a leading U+FEFF, empty, NULL.
const std::vector<std::string> kNames = {"plain ascii",
                                         "客户 张三",
                                         "café ½",
                                         "\xF0\xA0\x80\xBE 𠀾",
                                         "\xEF\xBB\xBF"
                                         "bom first",
                                         "",
                                         "x"};

std::vector<std::vector<jet::Value>> SourceRows() {
  using jet::ValueKind;
  std::vector<std::vector<jet::Value>> rows;
  for (int r = 0; r < 60; ++r) {
    bool nulls = r % 7 == 3;
    auto maybe = [&](jet::Value v) { return nulls ? jet::Value::Null() : v; };
    rows.push_back({
        jet::Value::Text("K" + std::to_string(1000 - r)),
        r % 11 == 5 ? jet::Value::Null() : jet::Value::Text(kNames[r % kNames.size()]),
        maybe(jet::Value::Text(r % 2 ? "ab" : "中文")),
        maybe(Of(ValueKind::kByte, r % 256)),
        maybe(Of(ValueKind::kInteger, -r * 300)),
        maybe(Of(ValueKind::kLong, r * 100003 - 2000000)),
        maybe(Of(ValueKind::kCurrency, r * 12345 - 99)),
        maybe(Of(ValueKind::kSingle, 0, r * 0.25)),
        maybe(Of(ValueKind::kDouble, 0, std::sqrt(r + 0.5))),
        maybe(Of(ValueKind::kDateTime, 0, 36526.5 + r)),
        jet::Value::Boolean(r % 3 == 0),
        maybe(Guid(static_cast<uint8_t>(r))),
    });
  }
  return rows;
}

std::vector<std::vector<uint8_t>> StoredRows(jet::Database& db, const std::string& table) {
  std::vector<std::vector<uint8_t>> rows;
  db.OpenTable(table).ScanStored([&](jet::RowPointer, jet::ByteView bytes) {
    rows.emplace_back(bytes.data(), bytes.data() + bytes.size());
    return true;
  });
  return rows;
}

class StoredCopyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    source_ = dir_.path() / "source.sys";
    target_ = dir_.path() / "target.sys";
    sql_test::NewDatabase(source_);
    sql_test::RunAll(source_, {std::string("CREATE TABLE s (id COUNTER PRIMARY KEY, ") + kColumns +
                               ", memo_col memo)"});
    sql_test::BulkInsert(source_, "s",
                         {"code", "name", "fixed", "b", "i", "l", "c", "f", "d", "t", "y", "g"},
                         SourceRows());
    sql_test::NewDatabase(target_);
  }

  std::string Source() const { return sql_test::ExternalPrefix(source_) + ".s"; }

  // Every row of `a` and `b`, byte for byte, and the file still consistent.
  void ExpectSameStoredRows(const std::string& a, const std::string& b, size_t rows) {
    auto db = jet::Database::Open(target_, kPassword, jet::Pager::Mode::kReadOnly);
    auto fast = StoredRows(*db, a);
    auto slow = StoredRows(*db, b);
    ASSERT_EQ(fast.size(), rows);
    ASSERT_EQ(slow.size(), rows);
    for (size_t r = 0; r < rows; ++r) EXPECT_EQ(fast[r], slow[r]) << "row " << r;
    EXPECT_TRUE(testing_support::IsClean(*db));
  }

  ScratchDir dir_;
  std::filesystem::path source_, target_;
};

TEST_F(StoredCopyTest, InsertSelectWritesWhatTheValueCopyWrites) {
  // A text primary key, so keys are made from the copied values too; the target's own
  // autonumber numbers the rows.
  std::string columns = kColumns;
  columns.replace(0, std::string("code varchar(20)").size(), "code varchar(20) PRIMARY KEY");
  for (const char* t : {"a", "b"}) {
    sql_test::RunAll(target_,
                     {std::string("CREATE TABLE ") + t + " (id COUNTER, " + columns + ")"});
  }
  {
    jet::sql::Session s(target_, kPassword);
    const std::string cols = kColumnList;
    EXPECT_EQ(s.Execute("INSERT INTO a (" + cols + ") SELECT " + cols + " FROM " + Source()), 60u);
    EXPECT_EQ(s.Execute("INSERT INTO b (" + cols + ") SELECT " + cols + " FROM " + Source() +
                        " WHERE 1 = 1"),
              60u);
  }
  ExpectSameStoredRows("a", "b", 60);
}

TEST_F(StoredCopyTest, ACopiedAutonumberKeepsItsValueAndMovesTheCounterOn) {
  for (const char* t : {"a", "b"}) {
    sql_test::RunAll(target_, {std::string("CREATE TABLE ") + t +
                               " (id COUNTER PRIMARY KEY, name varchar(50))"});
  }
  {
    jet::sql::Session s(target_, kPassword);
    s.Execute("INSERT INTO a (id, name) SELECT id, name FROM " + Source());
    s.Execute("INSERT INTO b (id, name) SELECT id, name FROM " + Source() + " WHERE 1 = 1");
    s.Execute("INSERT INTO a (name) VALUES ('next')");
    s.Execute("INSERT INTO b (name) VALUES ('next')");
    auto rows = s.Query("SELECT id FROM a WHERE name = 'next'").rows;
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0].integer, 61);
  }
  ExpectSameStoredRows("a", "b", 61);
}

TEST_F(StoredCopyTest, SelectIntoWritesWhatTheValueCopyWrites) {
  {
    jet::sql::Session s(target_, kPassword);
    // Every column, the memo among them (a memo column takes the value road), and the plain
    // columns alone.
    s.Execute("SELECT * INTO all_fast FROM " + Source());
    s.Execute("SELECT * INTO all_slow FROM " + Source() + " WHERE 1 = 1");
    s.Execute(std::string("SELECT ") + kColumnList + " INTO plain_fast FROM " + Source());
    s.Execute(std::string("SELECT ") + kColumnList + " INTO plain_slow FROM " + Source() +
              " WHERE 1 = 1");
  }
  ExpectSameStoredRows("all_fast", "all_slow", 60);
  ExpectSameStoredRows("plain_fast", "plain_slow", 60);
}

TEST_F(StoredCopyTest, RowsOlderThanTheirColumnsAndTargetsThatGainedColumns) {
  // The source's first 60 rows end before the columns added later; the targets gained
  // columns after they were created, so their ids and slots are not in declaration order.
  sql_test::RunAll(source_, {"alter table s add later varchar(30)", "alter table s add flag bit",
                             "INSERT INTO s (code, later, flag) VALUES ('N1', '后来的', 1)",
                             "INSERT INTO s (code, name) VALUES ('N2', 'no later')"});
  for (const char* t : {"a", "b"}) {
    sql_test::RunAll(target_,
                     {std::string("CREATE TABLE ") + t + " (id COUNTER PRIMARY KEY, name text(50))",
                      std::string("alter table ") + t + " add later varchar(30)",
                      std::string("alter table ") + t + " add flag bit",
                      std::string("alter table ") + t + " add code varchar(20)"});
  }
  {
    jet::sql::Session s(target_, kPassword);
    const std::string cols = "code, later, flag, name";
    EXPECT_EQ(s.Execute("INSERT INTO a (" + cols + ") SELECT " + cols + " FROM " + Source()), 62u);
    EXPECT_EQ(s.Execute("INSERT INTO b (" + cols + ") SELECT " + cols + " FROM " + Source() +
                        " WHERE 1 = 1"),
              62u);
    auto rows = s.Query("SELECT later, flag FROM a WHERE code = 'N1'").rows;
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0].text, "后来的");
    EXPECT_EQ(rows[0][1].integer, 1);
  }
  ExpectSameStoredRows("a", "b", 62);
}

TEST_F(StoredCopyTest, ShorterOrOtherColumnsTakeTheValueRoadWithItsChecks) {
  // A target too short for some names, and one of another type: the copy is refused as
  // the value copy refuses it, and nothing of it stays.
  sql_test::RunAll(
      target_, {"CREATE TABLE short_names (name varchar(3))", "CREATE TABLE numbers (l double)"});
  jet::sql::Session s(target_, kPassword);
  EXPECT_THROW(s.Execute("INSERT INTO short_names (name) SELECT name FROM " + Source()),
               jet::JetError);
  EXPECT_EQ(s.Query("SELECT * FROM short_names").rows.size(), 0u);
  EXPECT_EQ(s.Execute("INSERT INTO numbers (l) SELECT l FROM " + Source()), 60u);
}

TEST_F(StoredCopyTest, TextIsReEncodedByTheTargetColumnsOwnCompression) {
  // Tables this engine creates never compress text; Access's do. Into an Access table
  // (two compressed TEXT(50) columns, no indexes), from ours.
  SKIP_WITHOUT_FIXTURES();
  const auto fixture = testing_support::FixtureDir() / "jackcess_deltest2003.mdb";
  const auto fast = dir_.Copy(fixture);
  const auto slow = dir_.path() / "slow.mdb";
  std::filesystem::copy_file(fast, slow);
  {
    jet::sql::Session f(fast, "");
    EXPECT_EQ(f.Execute("INSERT INTO [Table] (a, b) SELECT name, code FROM " + Source()), 60u);
    jet::sql::Session s(slow, "");
    EXPECT_EQ(
        s.Execute("INSERT INTO [Table] (a, b) SELECT name, code FROM " + Source() + " WHERE 1 = 1"),
        60u);
  }
  auto a = jet::Database::Open(fast, "", jet::Pager::Mode::kReadOnly);
  auto b = jet::Database::Open(slow, "", jet::Pager::Mode::kReadOnly);
  EXPECT_TRUE(a->OpenTable("Table").definition().columns[0].AllowsCompression());
  EXPECT_EQ(StoredRows(*a, "Table"), StoredRows(*b, "Table"));
  EXPECT_TRUE(testing_support::IsClean(*a));
}

}  // namespace

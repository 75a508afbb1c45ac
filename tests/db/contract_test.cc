// The database contract the upgrade run uses: connection strings, opening and reopening,
// fully fetched row sets and their texts, adding rows by the contract's text rules, the
// recordset stand-in, and the one failure type with its trimmed message.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "db/connection_string.h"
#include "db/db_connection.h"
#include "db/db_failure.h"
#include "db/recordset.h"
#include "db/row_cursor.h"
#include "jet/sql/session.h"
#include "jet/table/checker.h"
#include "tests/clean_file.h"
#include "tests/sql/sql_test_util.h"
#include "upgrade/product_database.h"

namespace {

namespace fs = std::filesystem;
using db::ConnectionString;
using db::DbConnection;
using db::DbFailure;
using db::ParseConnectionString;
using sql_test::ConnectionStringFor;
using sql_test::ExpectProductMessage;
using sql_test::kPassword;
using sql_test::RunAll;
using sql_test::Show;
using testing_support::ReadBytes;
using testing_support::ScratchDir;

// Runs `f`, which must throw DbFailure; returns its message, checked for the product's
// wording (Chinese, trimmed) and for naming each of `names`.
template <typename F>
std::string FailureOf(F f, const std::vector<std::string>& names = {}) {
  try {
    f();
  } catch (const DbFailure& e) {
    ExpectProductMessage(e.what(), names);
    return e.what();
  } catch (const std::exception& e) {
    ADD_FAILURE() << "threw something other than DbFailure: " << e.what();
    return e.what();
  }
  ADD_FAILURE() << "expected a DbFailure, nothing was thrown";
  return "";
}

// ---------------------------------------------------------------------------------------
// Connection strings

// The product's connection string typed out in full, the password too: everything else in
// C++ takes the password from upgrade::kDatabasePassword, so a slip in that constant shows
// here rather than only on customers' files.
TEST(ContractConnectionStringTest, TheProductsString) {
  const std::string path = "C:\\Program Files\\客户 管理\\data\\crm.sys";
  const std::string product =
      "Provider=Microsoft.Jet.OLEDB.4.0;Jet OLEDB:Database Password=plmoknijbuhvygc,t.f/;Data "
      "Source=" +
      path;
  EXPECT_EQ(upgrade::ConnectionStringFor(path), product);
  ConnectionString cs = ParseConnectionString(product);
  EXPECT_EQ(cs.provider, "Microsoft.Jet.OLEDB.4.0");
  EXPECT_EQ(cs.password, upgrade::kDatabasePassword);
  EXPECT_EQ(cs.data_source, "C:\\Program Files\\客户 管理\\data\\crm.sys");
}

TEST(ContractConnectionStringTest, KeysInAnyCaseAndOrder) {
  ConnectionString cs = ParseConnectionString(
      "jet oledb:database password=a=b,c.d/;PROVIDER=microsoft.jet.oledb.4.0; data source = /tmp/x "
      "y/z.sys ");
  EXPECT_EQ(cs.password, "a=b,c.d/");
  EXPECT_EQ(cs.data_source, "/tmp/x y/z.sys");
}

TEST(ContractConnectionStringTest, DataSourceRunsToTheEndOfTheString) {
  ConnectionString cs = ParseConnectionString(
      "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/tmp/a;b/c.sys;Jet OLEDB:Database Password=x");
  EXPECT_EQ(cs.data_source, "/tmp/a;b/c.sys;Jet OLEDB:Database Password=x");
  EXPECT_EQ(cs.password, "");
}

TEST(ContractConnectionStringTest, OtherProvidersAndMissingPartsAreRefused) {
  FailureOf(
      [] { ParseConnectionString("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=/tmp/a.sys"); },
      {"Microsoft.ACE.OLEDB.12.0"});
  FailureOf([] { ParseConnectionString("Provider=SQLOLEDB;Data Source=server"); }, {"SQLOLEDB"});
  FailureOf([] { ParseConnectionString("Data Source=/tmp/a.sys"); });
  FailureOf([] {
    ParseConnectionString("Provider=Microsoft.Jet.OLEDB.4.0;Jet OLEDB:Database Password=x");
  });
  FailureOf([] { ParseConnectionString("Provider=Microsoft.Jet.OLEDB.4.0;Data Source="); });
  FailureOf([] { ParseConnectionString(""); });
}

// ---------------------------------------------------------------------------------------
// Connections

class ContractTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = scratch_.path() / u8"客户 数据" / "crm.sys";
    sql_test::NewDatabase(path_);
    RunAll(path_, {
                      "CREATE TABLE zeta (a int)",
                      "CREATE TABLE Alpha (id COUNTER PRIMARY KEY, n int, sm smallint, b byte, c "
                      "currency, d datetime, "
                      "m text, v varchar(5), dbl double, flag bit, pic image)",
                      "CREATE TABLE 客户 (id COUNTER PRIMARY KEY, 名称 varchar(50))",
                      "CREATE TABLE mid (x varchar(10))",
                      "insert into Alpha (n, sm, b, c, d, m, v, dbl) values (-5, -32768, 255, "
                      "12.34, '2003-06-13 00:15:28', "
                      "'备注', 'abc', 0.5)",
                      "insert into Alpha (n, c) values (2147483647, -0.5)",
                      "insert into Alpha (v) values (NULL)",
                      "insert into 客户 (名称) values ('北京某某科技有限公司')",
                  });
  }

  std::string Connection() const { return ConnectionStringFor(path_); }

  ScratchDir scratch_;
  fs::path path_;
};

TEST_F(ContractTest, ConnectOpensWithThePasswordAndAChinesePathWithSpaces) {
  DbConnection conn;
  EXPECT_FALSE(conn.IsOpen());
  conn.Connect(Connection());
  EXPECT_TRUE(conn.IsOpen());
  EXPECT_EQ(conn.connection_string(), Connection());
  EXPECT_EQ(conn.OpenRows("select * from 客户")->ColumnText("名称"), "北京某某科技有限公司");
}

TEST_F(ContractTest, OtherProviderIsRefusedAndLeavesTheConnectionClosed) {
  DbConnection conn;
  std::string text =
      "Provider=Microsoft.ACE.OLEDB.12.0;Jet OLEDB:Database Password=" + std::string(kPassword) +
      ";Data Source=" + path_.string();
  FailureOf([&] { conn.Connect(text); }, {"Microsoft.ACE.OLEDB.12.0"});
  EXPECT_FALSE(conn.IsOpen());
  EXPECT_EQ(conn.connection_string(), text);
  FailureOf([&] { conn.ListUserTables(); });
  // The provider's name is matched without regard to letter case.
  conn.Connect("provider=MICROSOFT.JET.OLEDB.4.0;Jet OLEDB:Database Password=" +
               std::string(kPassword) + ";Data Source=" + path_.string());
  EXPECT_TRUE(conn.IsOpen());
}

TEST_F(ContractTest, FailedConnectKeepsTheStringAndTheNextUseOpensAgain) {
  fs::path later = scratch_.path() / u8"稍后 创建" / "later.sys";
  std::string text = ConnectionStringFor(later);
  DbConnection conn;
  FailureOf([&] { conn.Connect(text); }, {later.string()});
  EXPECT_FALSE(conn.IsOpen());
  EXPECT_EQ(conn.connection_string(), text);
  // Still missing: the next operation tries again and fails the same way.
  FailureOf([&] { conn.ListUserTables(); }, {later.string()});
  EXPECT_FALSE(conn.IsOpen());

  sql_test::NewDatabase(later);
  RunAll(later, {"CREATE TABLE t (a int)"});
  EXPECT_EQ(conn.ListUserTables(), (std::vector<std::string>{"t"}));
  EXPECT_TRUE(conn.IsOpen());
}

TEST_F(ContractTest, WrongPasswordLeavesTheConnectionClosed) {
  std::string text =
      "Provider=Microsoft.Jet.OLEDB.4.0;Jet OLEDB:Database Password=wrong;Data Source=" +
      path_.string();
  DbConnection conn;
  std::string m = FailureOf([&] { conn.Connect(text); }, {"密码"});
  EXPECT_FALSE(conn.IsOpen());
  EXPECT_EQ(conn.connection_string(), text);
  EXPECT_EQ(FailureOf([&] { conn.OpenRows("select * from zeta"); }), m);
  FailureOf([&] { conn.RunStatement("insert into zeta (a) values (1)"); }, {"密码"});
  EXPECT_FALSE(conn.IsOpen());
  // A connection with no string at all.
  DbConnection empty;
  FailureOf([&] { empty.ListUserTables(); });
}

TEST_F(ContractTest, DisconnectIsANoOpWhenClosedAndFetchedRowsStayUsable) {
  DbConnection conn;
  EXPECT_NO_THROW(conn.Disconnect());
  EXPECT_NO_THROW(conn.Disconnect());
  conn.Connect(Connection());
  std::unique_ptr<db::RowCursor> rows = conn.OpenRows("select * from Alpha");
  conn.Disconnect();
  EXPECT_FALSE(conn.IsOpen());
  EXPECT_NO_THROW(conn.Disconnect());
  ASSERT_FALSE(rows->AtEnd());
  EXPECT_EQ(rows->ColumnText("n"), "-5");
  rows->MoveNext();
  EXPECT_EQ(rows->ColumnText("n"), "2147483647");
  rows->MoveNext();
  rows->MoveNext();
  EXPECT_TRUE(rows->AtEnd());

  // Disconnecting lets go of the file: another connection can write, and the first one
  // reopens at its next use and sees the change.
  {
    DbConnection other;
    other.Connect(Connection());
    other.RunStatement("insert into zeta (a) values (7)");
  }
  EXPECT_EQ(conn.OpenRows("select * from zeta")->ColumnText("a"), "7");
  EXPECT_TRUE(conn.IsOpen());
}

TEST_F(ContractTest, AddRowThroughARowSetFetchedBeforeDisconnect) {
  DbConnection conn;
  conn.Connect(Connection());
  std::unique_ptr<db::RowCursor> rows = conn.OpenRows("select * from zeta");
  conn.Disconnect();
  rows->AddRow({{"a", "42"}});  // reopens with the kept string
  EXPECT_TRUE(conn.IsOpen());
  EXPECT_EQ(conn.OpenRows("select * from zeta")->ColumnText("a"), "42");
}

TEST_F(ContractTest, ListUserTablesInCatalogOrderWithoutSystemTables) {
  DbConnection conn;
  conn.Connect(Connection());
  EXPECT_EQ(conn.ListUserTables(), (std::vector<std::string>{"zeta", "Alpha", "客户", "mid"}));
  conn.RunStatement("CREATE TABLE aaa (a int)");
  conn.RunStatement("SELECT * into bbb FROM Alpha");
  EXPECT_EQ(conn.ListUserTables(),
            (std::vector<std::string>{"zeta", "Alpha", "客户", "mid", "aaa", "bbb"}));
}

TEST_F(ContractTest, OpenRowsFetchesEveryRow) {
  std::vector<std::vector<jet::Value>> rows;
  for (int i = 0; i < 2500; ++i) rows.push_back({jet::Value::Text("行" + std::to_string(i))});
  sql_test::BulkInsert(path_, "mid", {"x"}, rows);
  DbConnection conn;
  conn.Connect(Connection());
  std::unique_ptr<db::RowCursor> cursor = conn.OpenRows("select * from mid");
  EXPECT_EQ(cursor->RowCount(), 2500u);
  size_t seen = 0;
  for (; !cursor->AtEnd(); cursor->MoveNext()) {
    EXPECT_EQ(cursor->ColumnText("X"), "行" + std::to_string(seen));
    ++seen;
  }
  EXPECT_EQ(seen, 2500u);
  // No engine cursor stays open: the same connection writes to the table at once.
  conn.RunStatement("delete from mid");
  EXPECT_TRUE(conn.OpenRows("select * from mid")->AtEnd());
}

TEST_F(ContractTest, RowCursorTexts) {
  DbConnection conn;
  conn.Connect(Connection());
  std::unique_ptr<db::RowCursor> rows = conn.OpenRows("select * from Alpha");
  EXPECT_EQ(rows->RowCount(), 3u);
  EXPECT_TRUE(rows->HasColumn("sm"));
  EXPECT_TRUE(rows->HasColumn("SM"));
  EXPECT_TRUE(rows->HasColumn("Pic"));
  EXPECT_FALSE(rows->HasColumn("nosuch"));
  EXPECT_FALSE(rows->HasColumn(""));
  EXPECT_EQ(rows->Columns().front(), "id");

  ASSERT_FALSE(rows->AtEnd());
  EXPECT_EQ(rows->ColumnText("id"), "1");
  EXPECT_EQ(rows->ColumnText("N"), "-5");
  EXPECT_EQ(rows->ColumnText("sm"), "-32768");
  EXPECT_EQ(rows->ColumnText("b"), "255");
  EXPECT_EQ(rows->ColumnText("c"), "12.3400");
  EXPECT_EQ(rows->ColumnText("d"), "2003-06-13 00:15:28");
  EXPECT_EQ(rows->ColumnText("m"), "备注");
  EXPECT_EQ(rows->ColumnText("v"), "abc");
  EXPECT_EQ(rows->ColumnText("pic"), "");
  FailureOf([&] { rows->ColumnText("nosuch"); }, {"nosuch"});

  rows->MoveNext();
  EXPECT_EQ(rows->ColumnText("n"), "2147483647");
  EXPECT_EQ(rows->ColumnText("c"), "-0.5000");
  EXPECT_EQ(rows->ColumnText("d"), "");  // NULL
  EXPECT_EQ(rows->ColumnText("m"), "");
  EXPECT_EQ(rows->ColumnText("sm"), "");

  rows->MoveNext();
  EXPECT_EQ(rows->ColumnText("id"), "3");
  EXPECT_EQ(rows->ColumnText("v"), "");
  rows->MoveNext();
  EXPECT_TRUE(rows->AtEnd());
  FailureOf([&] { rows->MoveNext(); });
  FailureOf([&] { rows->ColumnText("id"); });

  std::unique_ptr<db::RowCursor> none = conn.OpenRows("select * from Alpha where id > 100");
  EXPECT_TRUE(none->AtEnd());
  EXPECT_EQ(none->RowCount(), 0u);
  EXPECT_TRUE(none->HasColumn("n"));
  FailureOf([&] { none->ColumnText("n"); });

  rows->CloseRows();
  EXPECT_FALSE(rows->IsOpen());
  EXPECT_TRUE(rows->AtEnd());
}

// Reads one row of Alpha by id through a fresh session.
std::vector<jet::Value> AlphaRow(const fs::path& path, int id) {
  jet::sql::Session s(path, kPassword);
  jet::sql::ResultSet r = s.Query(
      "select id, n, sm, b, c, d, m, v, dbl, flag from Alpha where id=" + std::to_string(id));
  EXPECT_EQ(r.rows.size(), 1u);
  return r.rows.empty() ? std::vector<jet::Value>(10) : r.rows[0];
}

TEST_F(ContractTest, AddRowEmptyTextIsNullExceptInShortText) {
  DbConnection conn;
  conn.Connect(Connection());
  std::unique_ptr<db::RowCursor> rows = conn.OpenRows("select * from Alpha");
  rows->AddRow({{"n", ""},
                {"sm", ""},
                {"b", ""},
                {"c", ""},
                {"d", ""},
                {"m", ""},
                {"v", ""},
                {"dbl", ""},
                {"flag", ""}});
  conn.Disconnect();
  std::vector<jet::Value> r = AlphaRow(path_, 4);
  EXPECT_EQ(Show(r[0]), "4");
  for (size_t i : {1, 2, 3, 4, 5, 6, 8})
    EXPECT_TRUE(r[i].IsNull()) << "column " << i << ": " << Show(r[i]);
  EXPECT_EQ(r[7].kind, jet::ValueKind::kText);
  EXPECT_EQ(r[7].text, "");
}

TEST_F(ContractTest, AddRowConvertsTextsToTheColumnTypes) {
  DbConnection conn;
  conn.Connect(Connection());
  std::unique_ptr<db::RowCursor> rows = conn.OpenRows("select * from Alpha");
  rows->AddRow({{"N", " 85 "},
                {"sm", "-7"},
                {"b", "200"},
                {"c", "12.34"},
                {"d", "2003-06-13 00:15:28"},
                {"m", "很长的备注"},
                {"v", "abcdefgh"},
                {"dbl", "1e3"},
                {"flag", "True"}});
  rows->AddRow({{"v", "一二三四五六七"}, {"c", "-0.00005"}, {"d", "2024/1/2"}});
  rows->AddRow({{"v", "ab中文cd"}, {"flag", "0"}});
  conn.Disconnect();

  std::vector<jet::Value> r = AlphaRow(path_, 4);
  EXPECT_EQ(Show(r[1]), "85");
  EXPECT_EQ(Show(r[2]), "-7");
  EXPECT_EQ(Show(r[3]), "200");
  EXPECT_EQ(Show(r[4]), "12.3400");
  EXPECT_EQ(Show(r[5]), "2003-06-13T00:15:28");
  EXPECT_EQ(Show(r[6]), "很长的备注");
  EXPECT_EQ(Show(r[7]), "abcde");  // cut to varchar(5)
  EXPECT_DOUBLE_EQ(r[8].real, 1000.0);
  EXPECT_EQ(r[9].kind, jet::ValueKind::kBoolean);
  EXPECT_EQ(r[9].integer, 1);

  r = AlphaRow(path_, 5);
  EXPECT_EQ(Show(r[7]), "一二三四五");  // Chinese characters count one each
  EXPECT_EQ(Show(r[5]), "2024-01-02T00:00:00");
  r = AlphaRow(path_, 6);
  EXPECT_EQ(Show(r[7]), "ab中文c");
  EXPECT_EQ(r[9].integer, 0);

  auto db = jet::Database::Open(path_, kPassword);
  jet::CheckReport report = jet::CheckDatabase(*db);
  EXPECT_TRUE(testing_support::IsClean(report));
}

TEST_F(ContractTest, AddRowRefusalsLeaveTheTableUnchanged) {
  fs::path other = scratch_.path() / u8"模板 目录" / "my.sys";
  sql_test::NewDatabase(other);
  RunAll(other, {"CREATE TABLE zeta (a int)"});
  const std::vector<uint8_t> other_before = ReadBytes(other);
  const std::vector<uint8_t> before = ReadBytes(path_);
  {
    DbConnection conn;
    conn.Connect(Connection());
    std::unique_ptr<db::RowCursor> rows = conn.OpenRows("select * from Alpha");
    FailureOf([&] { rows->AddRow({{"v", "ok"}, {"n", "abc"}}); }, {"n"});
    FailureOf([&] { rows->AddRow({{"v", "ok"}, {"nosuch", "1"}}); }, {"nosuch"});
    FailureOf([&] { rows->AddRow({{"id", "9"}, {"v", "ok"}}); }, {"id"});
    FailureOf([&] { rows->AddRow({{"b", "256"}}); }, {"b"});
    FailureOf([&] { rows->AddRow({{"d", "not a date"}}); }, {"d"});
    FailureOf([&] { rows->AddRow({{"n", "99999999999"}}); }, {"n"});
    EXPECT_EQ(conn.OpenRows("select * from Alpha")->RowCount(), 3u);
    // A row set that does not come from a table of this database cannot take rows.
    std::unique_ptr<db::RowCursor> external =
        conn.OpenRows("select * from " + sql_test::ExternalPrefix(other) + ".zeta");
    EXPECT_EQ(external->RowCount(), 0u);
    FailureOf([&] { external->AddRow({{"a", "1"}}); });
  }
  EXPECT_TRUE(ReadBytes(path_) == before) << "a refused row changed the file";
  EXPECT_TRUE(ReadBytes(other) == other_before);
}

TEST_F(ContractTest, AddRowToATableWithADuplicateKeyIsRefused) {
  DbConnection conn;
  conn.Connect(Connection());
  conn.RunStatement("CREATE TABLE keyed (id int PRIMARY KEY, name varchar(10))");
  std::unique_ptr<db::RowCursor> rows = conn.OpenRows("select * from keyed");
  rows->AddRow({{"id", "85"}, {"name", "a"}});
  FailureOf([&] { rows->AddRow({{"id", "85"}, {"name", "b"}}); }, {"keyed"});
  EXPECT_EQ(conn.OpenRows("select * from keyed")->RowCount(), 1u);
}

TEST(ContractFailureTest, TrimMessageRemovesTrailingSpacesAndFullStops) {
  EXPECT_EQ(db::TrimMessage("找不到文件 'x'。"), "找不到文件 'x'");
  EXPECT_EQ(db::TrimMessage("Could not find file 'x'.  "), "Could not find file 'x'");
  EXPECT_EQ(db::TrimMessage("a. 。 . "), "a");
  EXPECT_EQ(db::TrimMessage("a.b"), "a.b");
  EXPECT_EQ(db::TrimMessage("版本 4.0"), "版本 4.0");
  EXPECT_EQ(db::TrimMessage("...."), "");
  EXPECT_EQ(db::TrimMessage(""), "");
  EXPECT_EQ(db::TrimMessage("完成！"), "完成！");
  EXPECT_EQ(DbFailure("不是有效的密码。").what(), std::string("不是有效的密码"));
  EXPECT_EQ(DbFailure("x. ").what(), std::string("x"));
}

TEST(ContractRecordsetTest, CreateRecordsetByProgramIdentifier) {
  for (const char* id :
       {"Adodb.Recordset", "ADODB.RECORDSET", "adodb.recordset", "AdoDb.RecordSet"}) {
    std::unique_ptr<db::Recordset> rs = db::CreateRecordset(id);
    ASSERT_NE(rs, nullptr) << id;
    EXPECT_FALSE(rs->IsOpen());
    EXPECT_EQ(rs->Pagesize, 10);
  }
  for (const char* id :
       {"Adodb.Connection", "ADODB.Recordset.6", "Recordset", "", "Adodb Recordset"}) {
    FailureOf([&] { db::CreateRecordset(id); }, {id});
  }
}

TEST_F(ContractTest, RunOnRecordsetOpensForRowsAndStaysClosedForStatements) {
  DbConnection conn;
  conn.Connect(Connection());
  std::unique_ptr<db::Recordset> rs = db::CreateRecordset("Adodb.Recordset");
  rs->Pagesize = 1;
  rs->CursorType = 3;
  rs->LockType = 2;
  conn.RunOnRecordset(*rs, "select * from Alpha");
  ASSERT_TRUE(rs->IsOpen());
  EXPECT_EQ(rs->Rows()->RowCount(), 3u);
  EXPECT_EQ(rs->Rows()->ColumnText("v"), "abc");

  conn.RunOnRecordset(*rs, "INSERT INTO zeta ( a ) SELECT Alpha.n FROM " +
                               sql_test::ExternalPrefix(path_) + ".Alpha");
  EXPECT_FALSE(rs->IsOpen());
  EXPECT_EQ(conn.OpenRows("select * from zeta")->RowCount(), 3u);

  conn.RunOnRecordset(*rs, "SELECT * into copy FROM Alpha");
  EXPECT_FALSE(rs->IsOpen());
  conn.RunOnRecordset(*rs, "  select * from copy");
  EXPECT_TRUE(rs->IsOpen());
  conn.RunOnRecordset(*rs, "delete from copy");
  EXPECT_FALSE(rs->IsOpen());
  // A failing statement leaves it closed too.
  conn.RunOnRecordset(*rs, "select * from copy");
  FailureOf([&] { conn.RunOnRecordset(*rs, "insert into nosuch select * from copy"); }, {"nosuch"});
  EXPECT_FALSE(rs->IsOpen());
  rs->Close();
  EXPECT_FALSE(rs->IsOpen());
}

}  // namespace

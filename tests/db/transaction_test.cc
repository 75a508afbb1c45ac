// Transactions on the database contract: several statements, DDL and reads of another file
// included, take effect together or not at all; they nest; a statement that fails inside
// one is undone alone. Also the column-only query the upgrade's shape checks use.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "db/db_connection.h"
#include "db/db_failure.h"
#include "db/row_cursor.h"
#include "jet/table/checker.h"
#include "tests/clean_file.h"
#include "tests/sql/sql_test_util.h"

namespace {

namespace fs = std::filesystem;
using db::DbConnection;
using db::DbFailure;
using sql_test::ConnectionStringFor;
using sql_test::ExternalPrefix;
using sql_test::kPassword;
using sql_test::NewDatabase;
using sql_test::RunAll;
using testing_support::ReadBytes;
using testing_support::ScratchDir;

std::vector<std::string> Ids(DbConnection& c, const std::string& table) {
  std::vector<std::string> ids;
  auto rows = c.OpenRows("select * from " + table);
  for (; !rows->AtEnd(); rows->MoveNext()) ids.push_back(rows->ColumnText("id"));
  return ids;
}

void ExpectConsistent(const fs::path& path) {
  auto database = jet::Database::Open(path, kPassword);
  EXPECT_TRUE(testing_support::IsClean(*database)) << path;
}

class ContractTransactionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    data_ = dir_.path() / "data.sys";
    template_ = dir_.path() / u8"模板 副本" / "my.sys";
    NewDatabase(data_);
    NewDatabase(template_);
    RunAll(data_, {"CREATE TABLE t (id int PRIMARY KEY, name varchar(50))",
                   "insert into t (id, name) values (1, '一')"});
    RunAll(template_, {"CREATE TABLE src (id int, name varchar(50))",
                       "insert into src (id, name) values (7, '七')",
                       "insert into src (id, name) values (8, '八')",
                       "insert into src (id, name) values (2, '二')"});
  }

  ScratchDir dir_;
  fs::path data_;
  fs::path template_;
};

TEST_F(ContractTransactionTest, NestedLevelsAndAFailedStatementUndoOnlyTheirOwnWork) {
  DbConnection c;
  c.Connect(ConnectionStringFor(data_));
  EXPECT_EQ(c.BeginTrans(), 1);
  c.RunStatement("insert into t (id, name) values (2, '二')");
  EXPECT_EQ(c.BeginTrans(), 2);
  c.RunStatement("CREATE TABLE inner_table (id int)");
  c.RunStatement("insert into t (id, name) values (3, '三')");
  c.RollbackTrans();  // level 2: drops inner_table and row 3
  EXPECT_EQ(c.TransactionLevel(), 1);
  // A duplicate key fails alone; the transaction goes on.
  EXPECT_THROW(c.RunStatement("insert into t (id, name) values (2, '重复')"), DbFailure);
  // So does a copy whose last row collides, after its first rows were written.
  const std::string copy =
      "INSERT INTO t (id, name) SELECT id, name FROM " + ExternalPrefix(template_) + ".src";
  EXPECT_THROW(c.RunStatement(copy), DbFailure);
  EXPECT_EQ(Ids(c, "t"), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(c.BeginTrans(), 2);
  c.RunStatement(copy + " WHERE id <> 2");
  c.CommitTrans();  // level 2 merges into level 1
  EXPECT_EQ(Ids(c, "t"), (std::vector<std::string>{"1", "2", "7", "8"}));
  auto tables = c.ListUserTables();
  EXPECT_EQ(std::count(tables.begin(), tables.end(), "inner_table"), 0);

  // Nothing reaches the file before the outermost commit.
  auto before = ReadBytes(data_);
  c.CommitTrans();
  EXPECT_EQ(c.TransactionLevel(), 0);
  EXPECT_NE(ReadBytes(data_), before);
  c.Disconnect();

  DbConnection again;
  again.Connect(ConnectionStringFor(data_));
  EXPECT_EQ(Ids(again, "t"), (std::vector<std::string>{"1", "2", "7", "8"}));
  again.Disconnect();
  ExpectConsistent(data_);
}

TEST_F(ContractTransactionTest, RollbackLeavesTheFileByteIdentical) {
  auto before = ReadBytes(data_);
  DbConnection c;
  c.Connect(ConnectionStringFor(data_));
  c.BeginTrans();
  c.RunStatement("CREATE TABLE sj (id COUNTER  PRIMARY KEY,CodeB varchar(50))");
  c.RunStatement("alter table t add bz text");
  c.RunStatement("SELECT * into copy_of_src FROM " + ExternalPrefix(template_) + ".src");
  c.RunStatement("delete from t where id=1");
  auto receiving = c.OpenColumns("select * from t");
  receiving->AddRow({{"id", "5"}, {"name", "五"}, {"bz", "备注"}});
  EXPECT_EQ(Ids(c, "t"), (std::vector<std::string>{"5"}));
  c.RollbackTrans();
  EXPECT_EQ(ReadBytes(data_), before);
  EXPECT_FALSE(fs::exists(dir_.path() / "data.sys-journal"));

  // The connection goes on working after the rollback.
  EXPECT_EQ(Ids(c, "t"), (std::vector<std::string>{"1"}));
  c.RunStatement("insert into t (id, name) values (4, '四')");
  EXPECT_EQ(Ids(c, "t"), (std::vector<std::string>{"1", "4"}));
}

TEST_F(ContractTransactionTest, ClosingWithAnOpenTransactionDropsIt) {
  auto before = ReadBytes(data_);
  {
    DbConnection c;
    c.Connect(ConnectionStringFor(data_));
    c.BeginTrans();
    c.RunStatement("insert into t (id, name) values (2, '二')");
    c.Disconnect();
    EXPECT_EQ(c.TransactionLevel(), 0);
  }
  EXPECT_EQ(ReadBytes(data_), before);
}

// A group of statements shares one durable commit: nothing reaches the file before it, a
// failed statement is undone alone, an explicit transaction inside the group is a savepoint
// of it, and a power cut before the group's commit loses the whole group, never a part.
TEST_F(ContractTransactionTest, AGroupOfStatementsSharesOneDurableCommit) {
  auto before = ReadBytes(data_);
  DbConnection c;
  c.Connect(ConnectionStringFor(data_));
  c.BeginGroupCommit();
  c.RunStatement("insert into t (id, name) values (2, '二')");
  c.RunStatement("CREATE TABLE u (id int)");
  EXPECT_THROW(c.RunStatement("insert into t (id, name) values (2, '重复')"), DbFailure);
  EXPECT_EQ(c.BeginTrans(), 1);
  c.RunStatement("insert into t (id, name) values (3, '三')");
  c.RollbackTrans();
  EXPECT_EQ(c.BeginTrans(), 1);
  c.RunStatement("insert into t (id, name) values (4, '四')");
  c.CommitTrans();
  c.CommitGroup();  // inside nothing: durable now
  EXPECT_EQ(c.TransactionLevel(), 0);
  EXPECT_NE(ReadBytes(data_), before);
  const auto after_group = ReadBytes(data_);
  c.RunStatement("insert into t (id, name) values (5, '五')");
  EXPECT_EQ(ReadBytes(data_), after_group) << "a statement of the group was committed alone";
  c.EndGroupCommit();
  EXPECT_NE(ReadBytes(data_), after_group);
  const auto after_end = ReadBytes(data_);
  c.RunStatement("insert into t (id, name) values (6, '六')");  // on its own again
  EXPECT_NE(ReadBytes(data_), after_end);
  EXPECT_EQ(Ids(c, "t"), (std::vector<std::string>{"1", "2", "4", "5", "6"}));
  c.Disconnect();
  ExpectConsistent(data_);

  // Until the group's commit none of it is on disk, so a crash loses the whole group and
  // never a part; closing the connection commits it.
  const auto start = ReadBytes(data_);
  {
    DbConnection crashed;
    crashed.Connect(ConnectionStringFor(data_));
    crashed.BeginGroupCommit();
    crashed.RunStatement("insert into t (id, name) values (7, '七')");
    crashed.RunStatement("delete from t where id=1");
    EXPECT_EQ(ReadBytes(data_), start);
  }
  DbConnection reopened;
  reopened.Connect(ConnectionStringFor(data_));
  EXPECT_EQ(Ids(reopened, "t"), (std::vector<std::string>{"2", "4", "5", "6", "7"}));
}

TEST_F(ContractTransactionTest, CommitOrRollbackWithoutATransactionIsRefused) {
  DbConnection c;
  c.Connect(ConnectionStringFor(data_));
  for (auto end : {&DbConnection::CommitTrans, &DbConnection::RollbackTrans}) {
    try {
      (c.*end)();
      ADD_FAILURE() << "no failure";
    } catch (const DbFailure& e) {
      EXPECT_TRUE(sql_test::HasChinese(e.what())) << e.what();
    }
  }
}

TEST_F(ContractTransactionTest, ColumnsOnlyQueryGivesTheShapeWithoutRows) {
  DbConnection c;
  c.Connect(ConnectionStringFor(data_));
  auto shape = c.OpenColumns("select * from t");
  EXPECT_EQ(shape->Columns(), (std::vector<std::string>{"id", "name"}));
  EXPECT_TRUE(shape->AtEnd());
  EXPECT_TRUE(shape->HasColumn("NAME"));
  shape->AddRow({{"id", "2"}, {"name", "二"}});
  EXPECT_EQ(Ids(c, "t"), (std::vector<std::string>{"1", "2"}));
  // Names are still checked, as the full query would.
  EXPECT_THROW(c.OpenColumns("select * from missing"), DbFailure);
  EXPECT_THROW(c.OpenColumns("select * from t where nosuch = 1"), DbFailure);
}

}  // namespace

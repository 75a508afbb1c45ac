// Every error a statement can meet: the message is in Chinese, names the object concerned and
// ends without a full stop, and the database file is byte-for-byte what it was before (each
// statement is all of it or nothing).
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/utf8_path.h"
#include "db/db_connection.h"
#include "jet/error.h"
#include "jet/file/journal.h"
#include "jet/sql/parser.h"
#include "jet/sql/session.h"
#include "jet/table/checker.h"
#include "tests/clean_file.h"
#include "tests/sql/sql_test_util.h"

namespace {

namespace fs = std::filesystem;
using jet::ErrorKind;
using jet::Value;
using sql_test::BulkInsert;
using sql_test::ExpectProductMessage;
using sql_test::ExternalPrefix;
using sql_test::JetErrorOf;
using sql_test::kPassword;
using sql_test::Long;
using sql_test::Null;
using sql_test::RunAll;
using sql_test::Text;
using testing_support::ReadBytes;
using testing_support::RunCommand;
using testing_support::ScratchDir;

std::set<std::string> DirectoryEntries(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

class SqlErrorsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = scratch_.path() / u8"数据 目录" / "crm.sys";
    template_ = scratch_.path() / u8"模板 目录" / "my.sys";
    sql_test::NewDatabase(path_);
    RunAll(path_, {
                      "CREATE TABLE gsxz (id COUNTER  PRIMARY KEY,name varchar(50))",
                      "insert into gsxz (name) values ('有限责任公司')",
                      "insert into gsxz (name) values ('股份有限公司')",
                      "CREATE TABLE customer (id COUNTER PRIMARY KEY, name varchar(100), qq "
                      "varchar(255), age byte, "
                      "small smallint, money currency, born datetime)",
                      "insert into customer (name, qq, age) values ('张三', '10001', 30)",
                      "CREATE TABLE search (id int, name varchar(50), field varchar(50), numtype "
                      "varchar(20), tablename "
                      "varchar(50), tablenum int)",
                      "insert into search(id,name,field,numtype,tablename,tablenum) "
                      "values(1,'客户名称','name','str','Customer',1)",
                  });
    sql_test::NewDatabase(template_);
    RunAll(template_,
           {
               "CREATE TABLE sj (id COUNTER  PRIMARY KEY,CodeB varchar(50),CodeE varchar(50),DQ "
               "varchar(50),city "
               "varchar(50),qh int,type varchar(50))",
               "CREATE TABLE src (id COUNTER PRIMARY KEY, name varchar(100), n int, big int)",
           });
    std::vector<std::vector<Value>> rows;
    for (int i = 1; i <= 100; ++i) {
      // Row 50 holds a name longer than gsxz.name's 50 characters.
      std::string name = i == 50 ? std::string(60, 'x') : "名称" + std::to_string(i);
      // Row 50 also holds a number too large for a Byte column.
      rows.push_back({Text(name), i == 70 ? Null() : Long(i), Long(i == 50 ? 100000 : i)});
    }
    BulkInsert(template_, "src", {"name", "n", "big"}, rows);
    std::vector<std::vector<Value>> sj;
    for (int i = 0; i < 10; ++i) {
      sj.push_back({Text(std::to_string(1300000 + i)), Text(std::to_string(1300009 + i)),
                    Text("广东"), Text("广州"), Long(20), Text("移动")});
    }
    BulkInsert(template_, "sj", {"CodeB", "CodeE", "DQ", "city", "qh", "type"}, sj);
    RunAll(path_,
           {"CREATE TABLE sj (id COUNTER  PRIMARY KEY,CodeB varchar(50),CodeE varchar(50),DQ "
            "varchar(50),city varchar(50),qh int,type varchar(50))"});
  }

  // Runs `statement` in a fresh session; it must fail with a message in the product's wording
  // naming each of `names`, leaving the file's bytes and its directory as they were.
  std::string ExpectRefused(const std::string& statement, const std::vector<std::string>& names,
                            ErrorKind* kind = nullptr) {
    SCOPED_TRACE(statement);
    const std::vector<uint8_t> before = ReadBytes(path_);
    const std::set<std::string> entries = DirectoryEntries(path_.parent_path());
    std::string message;
    {
      jet::sql::Session s(path_, kPassword);
      message = JetErrorOf([&] { s.Execute(statement); }, kind);
      // The session stays usable after a refused statement.
      EXPECT_NO_THROW(s.Query("select * from gsxz"));
    }
    ExpectProductMessage(message, names);
    EXPECT_TRUE(ReadBytes(path_) == before) << "the file changed";
    EXPECT_EQ(DirectoryEntries(path_.parent_path()), entries);
    return message;
  }

  void ExpectConsistent() {
    auto db = jet::Database::Open(path_, kPassword);
    jet::CheckReport report = jet::CheckDatabase(*db);
    EXPECT_TRUE(testing_support::IsClean(report));
  }

  std::string Template(const std::string& password = kPassword) {
    return ExternalPrefix(template_, password);
  }

  ScratchDir scratch_;
  fs::path path_;
  fs::path template_;
};

TEST_F(SqlErrorsTest, SyntaxErrorNamesThePosition) {
  std::string m = ExpectRefused(
      "CREATE TABLE findtable (id COUNTER  PRIMARY KEY,name varchar(255) content text)",
      {"第 67 个字符", "content"});
  m = ExpectRefused("insert into gsxz(name) values('a'", {"第 34 个字符"});
  m = ExpectRefused("delete form gsxz", {"第 8 个字符", "form"});
}

// Expressions nested or chained too deep for the stack are refused before they can
// exhaust it, whatever builds the depth; a deep but reasonable one still runs.
TEST_F(SqlErrorsTest, ExpressionsTooDeepAreRefusedNotCrashed) {
  auto repeat = [](const std::string& piece, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += piece;
    return out;
  };
  const int kDeep = 20000;
  for (const std::string& where :
       {repeat("(", kDeep) + "id=1" + repeat(")", kDeep), repeat("not ", kDeep) + "id=1",
        "id=" + repeat("- ", kDeep) + "1", "id=1" + repeat(" or id=1", kDeep),
        "id=1" + repeat(" and id=1", kDeep)}) {
    ExpectRefused("delete from gsxz where " + where, {"查询过于复杂"});
    EXPECT_THROW(jet::sql::Parse("select * from gsxz where " + where), jet::JetError);
  }
  jet::sql::Session s(path_, kPassword);
  EXPECT_NO_THROW(s.Query("select * from gsxz where " + repeat("(", 100) + "id=1" +
                          repeat(")", 100) + repeat(" or id=2", 100)));
}

// Jet allows 255 fields in a table or a query's result; longer lists of columns, values or
// select items are refused as they are read, however long the statement goes on.
TEST_F(SqlErrorsTest, ListsOfMoreThan255FieldsAreRefused) {
  auto list = [](const std::string& prefix, int n, const std::string& suffix) {
    std::string out;
    for (int i = 0; i < n; ++i) out += (i ? "," : "") + prefix + std::to_string(i) + suffix;
    return out;
  };
  for (int n : {256, 5000}) {
    ExpectRefused("CREATE TABLE wide (" + list("c", n, " int") + ")", {"过多字段", "255"});
    ExpectRefused("select " + list("name as n", n, "") + " from gsxz", {"过多字段"});
    ExpectRefused("insert into gsxz (" + list("n", n, "") + ") values (1)", {"过多字段"});
    ExpectRefused("insert into gsxz (name) values (" + list("", n, "") + ")", {"过多字段"});
  }
  // 255 is still allowed.
  RunAll(path_, {"CREATE TABLE wide (" + list("c", 255, " int") + ")"});
  jet::sql::Session s(path_, kPassword);
  EXPECT_EQ(s.Query("select " + list("name as n", 255, "") + " from gsxz").columns.size(), 255u);
}

TEST_F(SqlErrorsTest, TableAlreadyExists) {
  ExpectRefused("CREATE TABLE gsxz (id COUNTER  PRIMARY KEY,name varchar(50))", {"gsxz"});
  ExpectRefused("CREATE TABLE GSXZ (id COUNTER  PRIMARY KEY,name varchar(50))", {"gsxz"});
  ExpectRefused("CREATE TABLE [Search] (a int)", {"search"});
  ExpectRefused("SELECT * into GsXz FROM customer", {"gsxz"});
  ExpectRefused("SELECT * into sj FROM " + Template() + ".sj", {"sj"});
  // A system table's name is taken too.
  ExpectRefused("CREATE TABLE msysobjects (a int)", {"msysobjects"});
}

// The catalog is the engine's alone: every statement that would change a system table is
// refused as Jet refuses it, reads stay allowed, and the engine's own upkeep goes on.
TEST_F(SqlErrorsTest, SystemTablesAreReadOnly) {
  for (const std::string& statement : {
           std::string("delete from MSysObjects"),
           std::string("delete from msysobjects where Id=1"),
           std::string("insert into MSysObjects (Id, Name) values (424242,'evil')"),
           std::string("insert into MSysACEs select * from MSysACEs"),
           std::string("alter table MSysObjects add qq varchar(255)"),
           std::string("SELECT * into MSysCopy FROM customer"),
           std::string("CREATE TABLE MSysMine (a int)"),
       }) {
    ErrorKind kind{};
    std::string message = ExpectRefused(statement, {}, &kind);
    EXPECT_EQ(kind, ErrorKind::kReadOnly) << message;
    EXPECT_NE(message.find("只读"), std::string::npos) << message;
  }
  {
    db::DbConnection c;
    c.Connect(sql_test::ConnectionStringFor(path_));
    EXPECT_THROW(c.OpenColumns("select * from MSysObjects")->AddRow({{"Name", "evil"}}),
                 db::DbFailure);
    EXPECT_GT(c.OpenRows("select * from MSysObjects")->RowCount(), 0u);
    c.RunStatement("CREATE TABLE after_refusals (a int)");  // the catalog still takes new tables
  }
  ExpectConsistent();
}

TEST_F(SqlErrorsTest, TableNotFound) {
  ExpectRefused("select * from nosuch", {"nosuch"});
  ExpectRefused("insert into nosuch (a) values (1)", {"nosuch"});
  ExpectRefused("insert into nosuch select * from gsxz", {"nosuch"});
  ExpectRefused("insert into gsxz (name) select name from nosuch", {"nosuch"});
  ExpectRefused("delete from nosuch where id=85", {"nosuch"});
  ExpectRefused("alter table nosuch add qq varchar(255)", {"nosuch"});
  ExpectRefused("SELECT * into zdy FROM " + Template() + ".zdy", {"zdy"});
  ExpectRefused("INSERT INTO sfz ( bm,dq ) SELECT sfz.bm, sfz.dq FROM " + Template() + ".sfz",
                {"sfz"});
  // The failed SELECT ... INTO left no table behind.
  EXPECT_THROW(jet::sql::Session(path_, kPassword).Query("select * from zdy"), jet::JetError);
}

TEST_F(SqlErrorsTest, FieldAlreadyExists) {
  RunAll(path_, {"alter table customer add bz text"});
  ExpectRefused("alter table customer add QQ varchar(255)", {"qq", "customer"});
  ExpectRefused("alter table CUSTOMER add Bz text", {"bz", "customer"});
  ExpectRefused("alter table customer add NAME int", {"name", "customer"});
  ExpectRefused("CREATE TABLE t (a int, b int, A varchar(5))", {"a"});
}

TEST_F(SqlErrorsTest, FieldNotFound) {
  ExpectRefused("insert into gsxz (nosuch) values (1)", {"nosuch"});
  ExpectRefused("insert into gsxz (name, nosuch) values ('a', 1)", {"nosuch"});
  ExpectRefused("delete from gsxz where nosuch=1", {"nosuch"});
  ExpectRefused("select * from gsxz where nosuch is null", {"nosuch"});
  ExpectRefused("insert into gsxz (name) select nosuch from customer", {"nosuch"});
  ExpectRefused("INSERT INTO sj ( CodeB ) SELECT sj.nosuch FROM " + Template() + ".sj", {"nosuch"});
  // A qualifier that is not the source table's name or alias.
  ExpectRefused("INSERT INTO sj ( CodeB ) SELECT other.CodeB FROM " + Template() + ".sj",
                {"other.CodeB"});
}

TEST_F(SqlErrorsTest, TypeMismatch) {
  ExpectRefused("insert into customer (age) values ('abc')", {"age"});
  ExpectRefused("insert into search (tablenum) values ('abc')", {"tablenum"});
  ExpectRefused("insert into customer (born) values ('not a date')", {"born"});
  ExpectRefused("delete from gsxz where id='x'", {"id"});
  ExpectRefused("select * from gsxz where id='x'", {"id"});
  ExpectRefused("delete from gsxz where name=5", {"name"});
}

// Jet types the condition when it compiles the statement, so the mismatch is reported even
// when the table has no rows to compare.
// Jet checks a condition's types when it compiles the statement, not row by row, so an
// empty table refuses "where id='x'" too.
TEST_F(SqlErrorsTest, TypeMismatchOnAnEmptyTable) {
  RunAll(path_, {"CREATE TABLE empty (id COUNTER PRIMARY KEY, name varchar(50))"});
  ExpectRefused("select * from empty where id='x'", {"id"});
  ExpectRefused("delete from empty where id='x'", {"id"});
  ExpectRefused("delete from empty where name=5", {"name"});
}

TEST_F(SqlErrorsTest, InvalidNamesAndValueCounts) {
  ExpectRefused("CREATE TABLE [a.b] (x int)", {"a.b"});
  ExpectRefused("CREATE TABLE t (x int, [y!] int)", {"y!"});
  ExpectRefused("CREATE TABLE " + std::string(65, 'n') + " (x int)", {std::string(65, 'n')});
  ExpectRefused("alter table gsxz add [bad]]name] int", {"bad]name"});
  ExpectRefused("insert into gsxz (name) values ('a', 'b')", {});
  ExpectRefused("insert into gsxz values ('a')", {});
  ExpectRefused("insert into gsxz (name) select id, name from customer", {});
}

// A row over the page's room is refused whole: custself's eighteen varchar(255) columns
// full of Chinese text (stored uncompressed, two bytes a character) do not fit.
TEST_F(SqlErrorsTest, RecordTooLarge) {
  std::string columns;
  for (int i = 1; i <= 18; ++i) columns += ",self" + std::to_string(i) + " varchar(255)";
  RunAll(path_, {"CREATE TABLE custself(custumid int" + columns + ")"});
  std::string full;
  for (int i = 0; i < 255; ++i) full += "中";
  std::string values = "1";
  for (int i = 1; i <= 18; ++i) values += ",'" + full + "'";
  ExpectRefused("insert into custself values (" + values + ")", {});
  EXPECT_EQ(sql_test::CountRows(path_, "custself"), 0u);
  // Half as much text fits.
  std::string half = "1";
  for (int i = 1; i <= 18; ++i) half += ",'" + full.substr(0, 100 * 3) + "'";
  RunAll(path_, {"insert into custself values (" + half + ")"});
  EXPECT_EQ(sql_test::CountRows(path_, "custself"), 1u);
  ExpectConsistent();
}

TEST_F(SqlErrorsTest, ValueTooLarge) {
  ExpectRefused("insert into gsxz (name) values ('" + std::string(51, 'a') + "')", {"name"});
  std::string chinese;
  for (int i = 0; i < 51; ++i) chinese += "中";
  ExpectRefused("insert into gsxz (name) values ('" + chinese + "')", {"name"});
  ExpectRefused("insert into customer (age) values (100000)", {"age"});
  ExpectRefused("insert into customer (age) values (256)", {"age"});
  ExpectRefused("insert into customer (age) values (-1)", {"age"});
  ExpectRefused("insert into customer (small) values (32768)", {"small"});
  ExpectRefused("insert into search (tablenum) values (2147483648)", {"tablenum"});
  // The limits themselves are accepted.
  RunAll(path_, {"insert into customer (age, small) values (255, -32768)",
                 "insert into gsxz (name) values ('" + chinese.substr(0, 50 * 3) + "')"});
}

TEST_F(SqlErrorsTest, DuplicateKey) {
  ExpectRefused("insert into gsxz (id, name) values (1, 'again')", {"gsxz"});
  ExpectRefused("insert into gsxz (id, name) select id, name from gsxz", {"gsxz"});
  // Two new rows with the same key in one statement.
  ExpectRefused("insert into gsxz (id, name) select 7, name from gsxz", {"gsxz"});
}

// A primary key takes no empty value, whether the column is left out or given NULL; an
// autonumber key is filled in instead.
TEST_F(SqlErrorsTest, NullPrimaryKey) {
  RunAll(path_, {"CREATE TABLE keyed (code long primary key, name varchar(10))"});
  ExpectRefused("insert into keyed (name) values ('x')", {"keyed", "空值"});
  ExpectRefused("insert into keyed (code, name) values (null, 'x')", {"keyed"});
  ExpectRefused("insert into keyed (code, name) select null, name from gsxz", {"keyed"});
  jet::sql::Session s(path_, kPassword);
  EXPECT_EQ(s.Execute("insert into gsxz (id, name) values (null, 'auto')"), 1u);
  EXPECT_EQ(s.Execute("insert into keyed (code, name) values (1, 'x')"), 1u);
}

TEST_F(SqlErrorsTest, WrongPassword) {
  const std::vector<uint8_t> before = ReadBytes(path_);
  ErrorKind kind{};
  std::string m = JetErrorOf([&] { jet::sql::Session s(path_, "wrong"); }, &kind);
  EXPECT_EQ(kind, ErrorKind::kBadPassword);
  ExpectProductMessage(m, {"密码"});
  m = JetErrorOf([&] { jet::sql::Session s(path_, ""); }, &kind);
  ExpectProductMessage(m, {"密码"});
  // Passwords are compared exactly: another letter case is another password.
  m = JetErrorOf([&] { jet::sql::Session s(path_, "PLMOKNIJBUHVYGC,T.F/"); }, &kind);
  ExpectProductMessage(m, {"密码"});
  EXPECT_TRUE(ReadBytes(path_) == before);

  ExpectRefused(
      "INSERT INTO sj ( CodeB, CodeE, DQ, city, QH, type ) SELECT sj.CodeB, sj.CodeE, sj.DQ, "
      "sj.city, "
      "sj.QH, sj.type FROM " +
          Template("wrong") + ".sj",
      {"密码"});
  ExpectRefused("SELECT * into zdy FROM " + Template("") + ".sj", {"密码"});
}

TEST_F(SqlErrorsTest, FileNotFoundOrNotADatabase) {
  fs::path missing = scratch_.path() / u8"没有 这个" / "missing.sys";
  ErrorKind kind{};
  std::string m = JetErrorOf([&] { jet::sql::Session s(missing, kPassword); }, &kind);
  EXPECT_EQ(kind, ErrorKind::kNotFound);
  ExpectProductMessage(m, {missing.string()});
  EXPECT_FALSE(fs::exists(missing));

  // Text files, short and long, are not databases.
  fs::path short_text = scratch_.path() / "notes.sys";
  {
    std::ofstream out(short_text);
    out << "这不是数据库\n";
  }
  m = JetErrorOf([&] { jet::sql::Session s(short_text, kPassword); }, &kind);
  ExpectProductMessage(m, {short_text.string(), "数据库格式"});
  fs::path long_text = scratch_.path() / "long notes.sys";
  {
    std::ofstream out(long_text);
    for (int i = 0; i < 2000; ++i)
      out << "line " << i << " of a text file that is not a database\n";
  }
  const std::vector<uint8_t> text_before = ReadBytes(long_text);
  m = JetErrorOf([&] { jet::sql::Session s(long_text, kPassword); }, &kind);
  ExpectProductMessage(m, {long_text.string(), "数据库格式"});
  EXPECT_TRUE(ReadBytes(long_text) == text_before);

  // The template named in a statement is missing or is not a database.
  fs::path missing_template = scratch_.path() / u8"模板 目录" / "gone.sys";
  ExpectRefused(
      "INSERT INTO sj ( CodeB ) SELECT sj.CodeB FROM " + ExternalPrefix(missing_template) + ".sj",
      {missing_template.string()});
  ExpectRefused("SELECT * into zdy FROM " + ExternalPrefix(missing_template) + ".zdy",
                {missing_template.string()});
  ExpectRefused("SELECT * into zdy FROM " + ExternalPrefix(long_text) + ".zdy",
                {long_text.string()});

  // A folder, or (on POSIX) a pipe that nobody writes to, named as the template: refused at
  // once, not waited on.
  fs::path folder = scratch_.path() / u8"模板文件夹";
  fs::create_directory(folder);
  ExpectRefused("SELECT * into zdy FROM " + ExternalPrefix(folder) + ".zdy", {folder.string()});
#ifndef _WIN32
  fs::path pipe = scratch_.path() / "pipe.sys";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  ExpectRefused("SELECT * into zdy FROM " + ExternalPrefix(pipe) + ".zdy", {pipe.string()});
#endif
}

// One session holds the write lock: a second session, or a second process, cannot write and
// leaves the file as the first one made it.
TEST_F(SqlErrorsTest, DatabaseInUse) {
  jet::sql::Session first(path_, kPassword);
  first.Execute("insert into gsxz (name) values ('first')");
  const std::vector<uint8_t> before = ReadBytes(path_);

  ErrorKind kind{};
  std::string m = JetErrorOf(
      [&] {
        jet::sql::Session second(path_, kPassword);
        second.Execute("insert into gsxz (name) values ('second')");
      },
      &kind);
  EXPECT_EQ(kind, ErrorKind::kInUse);
  ExpectProductMessage(m, {path_.string()});
  EXPECT_TRUE(ReadBytes(path_) == before);

  // The contract reports the same through DbFailure.
  db::DbConnection conn;
  try {
    conn.Connect(sql_test::ConnectionStringFor(path_));
    conn.RunStatement("insert into gsxz (name) values ('third')");
    ADD_FAILURE() << "a second connection wrote while the first held the file";
  } catch (const db::DbFailure& e) {
    ExpectProductMessage(e.what(), {path_.string()});
  }
  EXPECT_TRUE(ReadBytes(path_) == before);

  std::string out;
  int rc = RunCommand(std::string(JETDB_PATH) + " sql " + sql_test::ShellQuote(path_.string()) +
                          " -p " + sql_test::ShellQuote(kPassword) +
                          " \"insert into gsxz (name) values ('fourth')\" 2>&1",
                      &out);
  EXPECT_NE(rc, 0) << out;
  // jetdb prints the engine's message after its own name.
  ASSERT_EQ(out.rfind("jetdb: ", 0), 0u) << out;
  ExpectProductMessage(out.substr(7, out.find_last_not_of("\n") + 1 - 7), {});
  EXPECT_NE(out.find("正被其他程序使用"), std::string::npos) << out;
  EXPECT_TRUE(ReadBytes(path_) == before);

  // The first session keeps working.
  first.Execute("insert into gsxz (name) values ('first again')");
  EXPECT_EQ(first.Query("select * from gsxz").rows.size(), 4u);
}

// A second process holds the file: our write fails and leaves the file unchanged.
TEST_F(SqlErrorsTest, DatabaseInUseByAnotherProcess) {
  if (!sql_test::HaveCommand("flock")) GTEST_SKIP() << "flock(1) is not installed";
  const std::vector<uint8_t> before = ReadBytes(path_);
  fs::path ready = scratch_.path() / "ready";
  std::string holder = "flock -x " + sql_test::ShellQuote(path_.string()) + " sh -c 'touch " +
                       sql_test::ShellQuote(ready.string()) + "; sleep 3' >/dev/null 2>&1 &";
  ASSERT_EQ(RunCommand(holder, nullptr), 0);
  for (int i = 0; i < 200 && !fs::exists(ready); ++i) RunCommand("sleep 0.01", nullptr);
  ASSERT_TRUE(fs::exists(ready));
  ErrorKind kind{};
  std::string m = JetErrorOf(
      [&] {
        jet::sql::Session s(path_, kPassword);
        s.Execute("insert into gsxz (name) values ('x')");
      },
      &kind);
  EXPECT_EQ(kind, ErrorKind::kInUse);
  ExpectProductMessage(m, {path_.string()});
  EXPECT_TRUE(ReadBytes(path_) == before);
}

#ifndef _WIN32
// A session whose file is gone when it reopens it for writing is left without a database: it
// refuses that change and every later use as a missing file, naming it, and touches nothing.
TEST_F(SqlErrorsTest, ASessionWhoseFileVanishedRefusesEveryLaterUse) {
  jet::sql::Session s(path_, kPassword);
  EXPECT_EQ(s.Query("select * from gsxz").rows.size(), 2u);
  fs::remove(path_);
  const std::vector<std::function<void()>> uses = {
      [&] { s.Execute("insert into gsxz (name) values ('x')"); },
      [&] { s.Execute("select * from gsxz"); },
      [&] { s.Query("select * from gsxz"); },
      [&] {
        s.AddRow("gsxz", {{"name", "x"}});
      },
      [&] { s.ListTablesAndViews(); },
      [&] { s.BeginTransaction(); },
      [&] { s.PrepareToWrite(); },
  };
  for (size_t i = 0; i < uses.size(); ++i) {
    SCOPED_TRACE("use " + std::to_string(i));
    ErrorKind kind{};
    std::string message = JetErrorOf(uses[i], &kind);
    EXPECT_EQ(kind, ErrorKind::kNotFound) << message;
    ExpectProductMessage(message, {path_.string()});
  }
  EXPECT_FALSE(fs::exists(path_));
}
#endif

// A failure while a statement writes a table carries that table and this file among its
// facts, for callers that branch on them rather than on the words.
TEST_F(SqlErrorsTest, AFailedWriteNamesItsTableAndFile) {
  jet::sql::Session s(path_, kPassword);
  for (const std::string& statement : {
           std::string("insert into gsxz (id, name) values (1, 'x')"),
           std::string("insert into gsxz (id, name) select id, name from gsxz"),
       }) {
    SCOPED_TRACE(statement);
    try {
      s.Execute(statement);
      ADD_FAILURE() << "no failure";
    } catch (const jet::JetError& e) {
      EXPECT_EQ(e.problem(), jet::Problem::kDuplicateKey) << e.what();
      EXPECT_EQ(e.facts().table, "gsxz");
      EXPECT_EQ(e.facts().file, base::PathToUtf8(path_));
    }
  }
}

// A statement that fails part-way leaves nothing of its earlier rows.
TEST_F(SqlErrorsTest, InsertSelectFailingOnItsFiftiethRowAddsNothing) {
  std::string m =
      ExpectRefused("insert into gsxz (name) select name from " + Template() + ".src", {"name"});
  EXPECT_EQ(sql_test::CountRows(path_, "gsxz"), 2u);

  // The same from a local source table, with a key clash on row 50, and with a number too
  // large for its column on row 50.
  RunAll(path_, {"CREATE TABLE src (id COUNTER PRIMARY KEY, name varchar(100), n int, big int)",
                 "insert into src (name, n, big) select name, n, big from " + Template() + ".src",
                 "CREATE TABLE keyed (id int PRIMARY KEY, name varchar(100))",
                 "insert into keyed (id, name) values (50, 'blocker')"});
  EXPECT_EQ(sql_test::CountRows(path_, "src"), 100u);
  ExpectRefused("insert into gsxz (name) select name from src", {"name"});
  ExpectRefused("insert into keyed (id, name) select n, name from src", {"keyed"});
  ExpectRefused("insert into customer (age) select big from src", {"age"});
  ExpectRefused("insert into customer (age) select big from " + Template() + ".src", {"age"});

  EXPECT_EQ(sql_test::CountRows(path_, "gsxz"), 2u);
  EXPECT_EQ(sql_test::CountRows(path_, "keyed"), 1u);
  EXPECT_EQ(sql_test::CountRows(path_, "customer"), 1u);
  ExpectConsistent();
  // The session that saw the failure goes on to write correctly.
  jet::sql::Session s(path_, kPassword);
  EXPECT_THROW(s.Execute("insert into gsxz (name) select name from src"), jet::JetError);
  EXPECT_EQ(s.Execute("insert into gsxz (name) select name from src where n < 50"), 49u);
  EXPECT_EQ(s.Query("select * from gsxz").rows.size(), 51u);
  jet::CheckReport report = jet::CheckDatabase(s.database());
  EXPECT_TRUE(testing_support::IsClean(report));
  // The refused rows used up no numbers of the counter.
  jet::sql::ResultSet r = s.Query("select id from gsxz where name='名称49'");
  ASSERT_EQ(r.rows.size(), 1u);
  EXPECT_EQ(r.rows[0][0].integer, 51);
}

// Errors from the contract carry the same wording, trimmed.
TEST_F(SqlErrorsTest, ContractFailuresCarryTheWording) {
  db::DbConnection conn;
  conn.Connect(sql_test::ConnectionStringFor(path_));
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"CREATE TABLE GSXZ (id int)", "gsxz"},
      {"select * from nosuch", "nosuch"},
      {"alter table customer add QQ text", "qq"},
      {"insert into gsxz (nosuch) values (1)", "nosuch"},
      {"insert into customer (age) values ('abc')", "age"},
      {"insert into gsxz (name) values ('" + std::string(51, 'a') + "')", "name"},
      {"insert into gsxz (id, name) values (1, 'x')", "gsxz"},
      {"selec * from gsxz", "selec"},
  };
  for (const auto& [statement, name] : cases) {
    SCOPED_TRACE(statement);
    try {
      conn.RunStatement(statement);
      ADD_FAILURE() << "no failure";
    } catch (const db::DbFailure& e) {
      ExpectProductMessage(e.what(), {name});
    }
  }
  EXPECT_TRUE(conn.IsOpen());
  conn.RunStatement("insert into gsxz (name) values ('ok')");
  EXPECT_EQ(conn.OpenRows("select * from gsxz")->RowCount(), 3u);
}

// A saved query is no table: a statement that would change one, or a row added to one, finds
// no such table; one that reads from it is refused as Jet refuses it. The file stays as it was.
TEST(SavedQueryTest, IsNeitherChangedNorRead) {
  SKIP_WITHOUT_FIXTURES();
  ScratchDir dir;
  const fs::path path = dir.Copy(testing_support::Fixture("northwind2000.mdb"));
  const std::vector<uint8_t> before = ReadBytes(path);
  jet::sql::Session s(path, "");
  std::string view;
  for (const std::string& name : s.ListTablesAndViews()) {
    const jet::CatalogEntry* entry = s.database().catalog().FindTable(name);
    if (entry && entry->kind == jet::ObjectKind::kView) view = name;
  }
  ASSERT_FALSE(view.empty()) << "the fixture holds no saved query";
  auto problem_of = [](const std::function<void()>& f) {
    try {
      f();
    } catch (const jet::JetError& e) {
      return std::make_pair(e.problem(), e.facts().table + e.facts().name);
    }
    return std::make_pair(jet::Problem::kCount, std::string());
  };
  const auto not_found = std::make_pair(jet::Problem::kTableNotFound, view);
  EXPECT_EQ(problem_of([&] { s.Execute("alter table [" + view + "] add qq int"); }), not_found);
  EXPECT_EQ(problem_of([&] { s.Execute("insert into [" + view + "] (qq) values (1)"); }),
            not_found);
  EXPECT_EQ(problem_of([&] { s.Execute("delete from [" + view + "]"); }), not_found);
  EXPECT_EQ(problem_of([&] { s.AddRow(view, {}); }), not_found);
  EXPECT_EQ(problem_of([&] { s.Query("select * from [" + view + "]"); }),
            std::make_pair(jet::Problem::kSavedQuerySource, view));
  EXPECT_EQ(problem_of([&] { s.Execute("select * into copied from [" + view + "]"); }),
            std::make_pair(jet::Problem::kSavedQuerySource, view));
  EXPECT_TRUE(ReadBytes(path) == before) << "the file changed";
}

}  // namespace

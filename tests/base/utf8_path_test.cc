// File names outside ASCII, as customers' folders are named ("D:\客户 数据\sys\Custom.sys"):
// the same name must reach the disk whether the engine is given a path, the contract a
// UTF-8 connection string, or a statement an IN clause naming another file.
#include "base/utf8_path.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "db/db_connection.h"
#include "jet/sql/session.h"
#include "tests/sql/sql_test_util.h"
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;
using sql_test::kPassword;
using testing_support::ScratchDir;

TEST(Utf8PathTest, ConvertsBothWaysWithoutLoss) {
  const std::string text = "客户 数据/sys/Custom.sys";
  const fs::path path = base::PathFromUtf8(text);
  EXPECT_EQ(base::PathToUtf8(path.parent_path().parent_path()), "客户 数据");
  EXPECT_EQ(path.filename(), fs::path(u8"Custom.sys"));
  EXPECT_EQ(base::PathToUtf8(path), text);
#ifdef _WIN32
  // What CreateFileW receives: each Chinese character one UTF-16 unit, not its UTF-8 bytes.
  EXPECT_EQ(path.native(), L"客户 数据/sys/Custom.sys");
#endif
  const std::string astral = "表情😀";  // outside the Basic Multilingual Plane
  EXPECT_EQ(base::PathToUtf8(base::PathFromUtf8(astral)), astral);
}

// Names the file system holds in `dir`, as UTF-8.
std::vector<std::string> NamesIn(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    names.push_back(base::PathToUtf8(entry.path().filename()));
  }
  return names;
}

TEST(Utf8PathTest, EveryWayInReachesTheSameChineseFolder) {
  ScratchDir scratch;
  const std::string folder = "客户 数据";
  const fs::path data = scratch.path() / base::PathFromUtf8(folder) / "sys" / "Custom.sys";
  const fs::path other = scratch.path() / base::PathFromUtf8(folder) / u8"模板.sys";
  sql_test::NewDatabase(data);
  sql_test::NewDatabase(other);
  EXPECT_EQ(NamesIn(scratch.path()), std::vector<std::string>{folder});
  sql_test::RunAll(other, {"create table sj (CodeB text(10))", "insert into sj values ('0755')"});

  // The contract takes the path inside a UTF-8 connection string.
  db::DbConnection connection;
  connection.Connect(sql_test::ConnectionStringFor(data));
  connection.RunStatement("create table gsxz (name text(50))");
  connection.RunStatement("insert into gsxz (name) values ('深圳')");
  // A statement names the other file in its IN clause, as UTF-8 text.
  connection.RunStatement("select * into sj from " + sql_test::ExternalPrefix(other) + ".sj");
  connection.Disconnect();

  // The engine, given the path, sees what the contract wrote.
  EXPECT_EQ(sql_test::CountRows(data, "gsxz"), 1u);
  EXPECT_EQ(sql_test::CountRows(data, "sj"), 1u);
  // Nothing was written anywhere else, under another spelling of the folder.
  EXPECT_EQ(NamesIn(scratch.path()), std::vector<std::string>{folder});
  EXPECT_EQ(NamesIn(data.parent_path()), std::vector<std::string>{"Custom.sys"});
}

}  // namespace

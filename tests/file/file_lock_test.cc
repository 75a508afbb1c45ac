// The lock on a data file, between processes. While another program holds the file for
// writing, our writer is refused with "in use" and the file stays byte-identical; while we
// hold it, another writer (a second upgrade, jetdb) is refused the same way. On Windows the
// customer-relationship application, which opens its file for reading and writing shared
// with others, and our writer shut each other out.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "base/utf8_path.h"
#include "db/db_connection.h"
#include "db/db_failure.h"
#include "jet/error.h"
#include "jet/sql/session.h"
#include "jet/table/checker.h"
#include "jet/table/database.h"
#include "tests/child_process.h"
#include "tests/sql/sql_test_util.h"
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;
using jet::ErrorKind;
using sql_test::kPassword;
using testing_support::ChildProcess;
using testing_support::ReadBytes;
using testing_support::ScratchDir;
using testing_support::ShellQuote;

constexpr int kHolderInUse = 3;  // hold_file's exit status when the file is in use

// hold_file holding `file` in `mode` until Release().
class Holder {
 public:
  Holder(const std::string& mode, const fs::path& file, const fs::path& dir)
      : ready_(dir / ("ready-" + std::to_string(++count_))),
        release_(dir / ("release-" + std::to_string(count_))),
        process_(HOLD_FILE_PATH, {mode, file.string(), ready_.string(), release_.string()}) {}
  ~Holder() { Release(); }

  // Waits until the file is held; false when the holder ended without holding it.
  bool Held() {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!fs::exists(ready_) && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return fs::exists(ready_);
  }
  // Lets the holder close the file and end; returns its exit status.
  int Release() {
    if (!fs::exists(release_)) std::ofstream(release_).put('1');
    return process_.Wait();
  }

 private:
  static inline int count_ = 0;
  fs::path ready_, release_;
  ChildProcess process_;
};

class FileLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = scratch_.path() / u8"客户 数据" / "Custom.sys";
    sql_test::NewDatabase(path_);
    sql_test::RunAll(path_, {"create table gsxz (name text(50))",
                             "insert into gsxz (name) values ('有限公司')"});
  }

  // Our writer's attempt while someone else holds the file: "in use", nothing written.
  void ExpectOurWriterRefused() {
    const std::vector<uint8_t> before = ReadBytes(path_);
    ErrorKind kind{};
    const std::string message = sql_test::JetErrorOf(
        [&] {
          jet::sql::Session s(path_, kPassword);
          s.Execute("insert into gsxz (name) values ('ours')");
        },
        &kind);
    EXPECT_EQ(kind, ErrorKind::kInUse) << message;
    sql_test::ExpectProductMessage(message, {path_.string(), "正被其他程序使用"});
    db::DbConnection connection;
    try {
      connection.Connect(sql_test::ConnectionStringFor(path_));
      connection.RunStatement("insert into gsxz (name) values ('ours')");
      ADD_FAILURE() << "the contract wrote to a file another program holds";
    } catch (const db::DbFailure& e) {
      sql_test::ExpectProductMessage(e.what(), {path_.string(), "正被其他程序使用"});
    }
    EXPECT_TRUE(ReadBytes(path_) == before) << "the refused writer changed the file";
  }

  size_t Rows() { return sql_test::CountRows(path_, "gsxz"); }

  ScratchDir scratch_;
  fs::path path_;
};

TEST_F(FileLockTest, AnotherWriterProcessHoldingTheFileRefusesOurs) {
  {
    Holder holder("writer", path_, scratch_.path());
    ASSERT_TRUE(holder.Held());
    ExpectOurWriterRefused();
    EXPECT_EQ(holder.Release(), 0);
  }
  // Released, the file is ours to write.
  sql_test::RunAll(path_, {"insert into gsxz (name) values ('ours')"});
  EXPECT_EQ(Rows(), 2u);
}

// jetdb compact and repair without a destination rebuild the file in place: never under a
// program that holds it, and once it is free, with the original kept beside it as a backup.
TEST_F(FileLockTest, RebuildingInPlaceNeverReplacesAFileAnotherProgramHolds) {
  const std::vector<uint8_t> before = ReadBytes(path_);
  auto files = [&] {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(path_.parent_path())) {
      names.push_back(base::PathToUtf8(e.path().filename()));
    }
    std::sort(names.begin(), names.end());
    return names;
  };
  const std::vector<std::string> alone = files();
  std::string out;
  auto rebuild = [&](const char* command) {
    return testing_support::RunCommand(ShellQuote(JETDB_PATH) + " " + command + " " +
                                           ShellQuote(path_.string()) + " -p " +
                                           ShellQuote(kPassword) + " 2>&1",
                                       &out);
  };
  {
    Holder holder("writer", path_, scratch_.path());
    ASSERT_TRUE(holder.Held());
    for (const char* command : {"compact", "repair"}) {
      EXPECT_NE(rebuild(command), 0) << out;
      EXPECT_NE(out.find("原文件没有改动"), std::string::npos) << out;
      EXPECT_TRUE(ReadBytes(path_) == before) << command << " replaced a held file";
      EXPECT_EQ(files(), alone) << command << " left a file behind: " << out;
    }
  }
  ASSERT_EQ(rebuild("compact"), 0) << out;
  const std::vector<std::string> after = files();
  ASSERT_EQ(after.size(), 2u) << out;
  const fs::path backup =
      path_.parent_path() / base::PathFromUtf8(after[0] == "Custom.sys" ? after[1] : after[0]);
  EXPECT_NE(out.find(base::PathToUtf8(backup)), std::string::npos)
      << "the output names the backup: " << out;
  EXPECT_TRUE(ReadBytes(backup) == before) << "the backup is not the original";
  EXPECT_EQ(Rows(), 1u);
  auto db = jet::Database::Open(path_, kPassword);
  EXPECT_TRUE(jet::CheckDatabase(*db).ok());
}

TEST_F(FileLockTest, OurWriterRefusesAnotherWriterProcess) {
  jet::sql::Session ours(path_, kPassword);
  ours.Execute("insert into gsxz (name) values ('ours')");
  const std::vector<uint8_t> before = ReadBytes(path_);

  // A second upgrade or jetdb: refused with the product's message, exit status 1.
  std::string out;
  const int status = testing_support::RunCommand(
      ShellQuote(JETDB_PATH) + " sql " + ShellQuote(path_.string()) + " -p " +
          ShellQuote(kPassword) + " \"insert into gsxz (name) values ('theirs')\" 2>&1",
      &out);
  EXPECT_EQ(status, 1) << out;
  EXPECT_NE(out.find("正被其他程序使用"), std::string::npos) << out;
  // Another process of this engine cannot even open it for writing.
  Holder holder("writer", path_, scratch_.path());
  EXPECT_EQ(holder.Release(), kHolderInUse);
  EXPECT_TRUE(ReadBytes(path_) == before) << "a refused writer changed the file";

  // Ours keeps working.
  ours.Execute("insert into gsxz (name) values ('ours again')");
  EXPECT_EQ(ours.Query("select * from gsxz").rows.size(), 3u);
}

#ifdef _WIN32
// The application opens its data file for reading and writing, sharing both: our writer
// denies other writers, so neither can hold the file while the other does.
TEST_F(FileLockTest, TheApplicationAndOurWriterShutEachOtherOut) {
  {
    Holder application("shared-writer", path_, scratch_.path());
    ASSERT_TRUE(application.Held());
    ExpectOurWriterRefused();
    EXPECT_EQ(application.Release(), 0);
  }
  jet::sql::Session ours(path_, kPassword);
  ours.Execute("insert into gsxz (name) values ('ours')");
  const std::vector<uint8_t> before = ReadBytes(path_);
  Holder application("shared-writer", path_, scratch_.path());
  EXPECT_EQ(application.Release(), kHolderInUse);
  EXPECT_TRUE(ReadBytes(path_) == before);
}
#endif

}  // namespace

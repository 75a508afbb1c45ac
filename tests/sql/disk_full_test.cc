// A disk that fills up during the largest copy an upgrade makes: 300,000 rows of the phone-
// prefix table from the template. The file may grow only so far (a file-size limit, as a small
// file system would allow), the statement fails saying the disk is full, the file is byte for
// byte as before, consistent, and the same copy succeeds once there is room.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <string>

#include "jet/error.h"
#include "jet/file/journal.h"
#include "jet/sql/session.h"
#include "jet/table/checker.h"
#include "jet/table/database.h"
#include "tests/clean_file.h"
#include "tests/sql/sql_test_util.h"
#include "tests/test_support.h"
#include "tools/demo/demo_data.h"
#include "upgrade/template_ref.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ReadBytes;
using testing_support::ScratchDir;

constexpr int kRows = 300000;

const char* kCreate =
    "CREATE TABLE sj (id COUNTER  PRIMARY KEY,CodeB varchar(50),CodeE varchar(50),"
    "DQ varchar(50),city varchar(50),qh int,type varchar(50))";
const char* kCopy =
    "INSERT INTO sj ( CodeB, CodeE, DQ, city, QH, type ) SELECT sj.CodeB, sj.CodeE, sj.DQ, "
    "sj.city, sj.QH, sj.type FROM ";

// Runs `statement` on `path` in a child process whose files may not grow past `limit` bytes;
// returns the error's message, or "" when the statement succeeded.
std::string RunWithFileSizeLimit(const fs::path& path, const std::string& statement, rlim_t limit) {
  testing_support::ChildReport child = testing_support::RunInChild([&]() -> std::string {
    // Past the limit a write fails with EFBIG instead of killing the process.
    signal(SIGXFSZ, SIG_IGN);
    rlimit size{limit, limit};
    setrlimit(RLIMIT_FSIZE, &size);
    try {
      jet::sql::Session s(path, sql_test::kPassword);
      s.Execute(statement);
    } catch (const jet::JetError& e) {
      return e.what();
    } catch (const std::exception& e) {
      return std::string("not a JetError: ") + e.what();
    }
    return "";
  });
  return child.finished ? child.text : "the child did not finish";
}

TEST(DiskFull, ALargeCopyFailsCleanlyAndSucceedsOnceThereIsRoom) {
  ScratchDir dir;
  WriteDemoData(dir.path(), DemoOptions{20, kRows, 2052});
  const fs::path data = DemoDataFilePath(dir.path());
  const std::string copy =
      kCopy + upgrade::MakeTemplateRef(DemoTemplatePath(dir.path()).string()) + "sj";
  {
    jet::sql::Session s(data, sql_test::kPassword);
    s.Execute(kCreate);
  }
  const std::vector<uint8_t> before = ReadBytes(data);

  // Room for a few megabytes more: the copy needs far more.
  const std::string message = RunWithFileSizeLimit(data, copy, before.size() + (4u << 20));
  ASSERT_FALSE(message.empty()) << "the copy fitted in the room left";
  sql_test::ExpectProductMessage(message, {data.string()});
  EXPECT_NE(message.find("磁盘已满"), std::string::npos) << message;

  EXPECT_FALSE(fs::exists(jet::JournalPathFor(data)));
  EXPECT_TRUE(ReadBytes(data) == before) << "the failed copy changed the file";
  {
    auto db = jet::Database::Open(data, sql_test::kPassword);
    EXPECT_TRUE(testing_support::IsClean(*db));
  }

  // With room again, the same statement copies every row.
  jet::sql::Session s(data, sql_test::kPassword);
  EXPECT_EQ(s.Execute(copy), static_cast<size_t>(kRows));
  EXPECT_EQ(s.Query("select * from sj", 1).rows.size(), 1u);
}

}  // namespace

#endif  // _WIN32

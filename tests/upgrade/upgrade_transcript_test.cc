// What an upgrade run sends and reports, compared line by line with what it must send and
// report (expected_transcripts.cc, written out by hand): every statement on which connection
// and through which component, every view call, the recordset's settings at each copy. Then
// what the statements made: every added or created column has the type and size its
// statement declares, to our engine and to mdb-reader. And the one retried statement.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "base/unicode.h"
#include "db/db_failure.h"
#include "jet/file/os_file.h"
#include "jet/table/database.h"
#include "tests/sql/sql_test_util.h"
#include "tests/test_support.h"
#include "tests/upgrade/expected_transcripts.h"
#include "tests/upgrade/run_transcript.h"
#include "tests/upgrade/upgrade_test_support.h"
#include "tools/demo/demo_data.h"
#include "upgrade/product_database.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ScratchDir;
using upgrade_test::Harness;
using upgrade_test::RunTranscript;
using upgrade_test::Transcript;

const std::string kExec = "ADOQuery2 on ADOConnection1 exec: ";

class UpgradeTranscriptTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    demo_ = new ScratchDir;
    WriteDemoData(demo_->path(), DemoOptions{30, 40, 2052});
  }
  static void TearDownTestSuite() {
    delete demo_;
    demo_ = nullptr;
  }

  void SetUp() override {
    fs::create_directories(dir_.path() / "sys");
    data_ = dir_.path() / "sys" / "Custom.sys";
    template_ = dir_.path() / "my.sys";
    fs::copy_file(DemoTemplatePath(demo_->path()), template_);
  }
  void CopyDemoDataFile() { fs::copy_file(DemoDataFilePath(demo_->path()), data_); }

  static ScratchDir* demo_;
  ScratchDir dir_;
  fs::path data_;
  fs::path template_;
};

ScratchDir* UpgradeTranscriptTest::demo_ = nullptr;

// One recorded run: the window's wiring, with the transcript as the view and as the
// connections' observer.
struct RecordedRun {
  RecordedRun(const fs::path& data, const fs::path& templ)
      : h(data, templ), transcript(h.data, h.templ, h.query1, h.query2, h.query3) {}
  upgrade::UpgradeSummary Run() { return h.Run(transcript); }

  Harness h;
  RunTranscript transcript;
};

TEST_F(UpgradeTranscriptTest, OldDemoFileThenTheSameFileUpToDate) {
  CopyDemoDataFile();
  {
    RecordedRun first(data_, template_);
    upgrade::UpgradeSummary s = first.Run();
    EXPECT_TRUE(s.succeeded) << s.failure;
    upgrade_test::ExpectTranscript(first.transcript.lines,
                                   upgrade_test::OldDemoFileTranscript(first.h.template_path));
  }
  RecordedRun again(data_, template_);
  upgrade::UpgradeSummary s = again.Run();
  EXPECT_TRUE(s.succeeded) << s.failure;
  upgrade_test::ExpectTranscript(again.transcript.lines, upgrade_test::UpToDateTranscript());
}

TEST_F(UpgradeTranscriptTest, FileWithoutSaleListEndsBeforeItsFirstChange) {
  upgrade_test::WriteOldDataFile(data_, {.with_sale_list = false});
  RecordedRun run(data_, template_);
  upgrade::UpgradeSummary s = run.Run();
  EXPECT_FALSE(s.succeeded);
  EXPECT_NE(run.transcript.failure.find("SaleList"), std::string::npos) << run.transcript.failure;
  upgrade_test::ExpectTranscript(run.transcript.lines, upgrade_test::NoSaleListTranscript());
}

// A file with none of the catalogue's tables gets every one, each statement as written: the
// demo file above has four of them already.
TEST_F(UpgradeTranscriptTest, FileWithoutTheCatalogueTablesGetsEveryOne) {
  upgrade_test::WriteOldDataFile(data_);
  RecordedRun run(data_, template_);
  upgrade::UpgradeSummary s = run.Run();
  EXPECT_TRUE(s.succeeded) << s.failure;
  // From the first CREATE TABLE to the reference tables' first transaction.
  const Transcript& lines = run.transcript.lines;
  auto first = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
    return line.starts_with(kExec + "CREATE TABLE");
  });
  auto end = std::find(first, lines.end(), "ADOConnection1 BeginTrans");
  upgrade_test::ExpectTranscript(Transcript(first, end), upgrade_test::AllCatalogueTablesCreated());
}

// A column as a statement declares it, in the words both readers use for Jet's types.
struct DeclaredColumn {
  std::string table;
  std::string column;
  std::string type;  // long, text, currency, memo, ole
  int size = 0;      // characters, for text
  bool autonumber = false;
};

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// "varchar(255)" -> text 255, "int" -> long, "COUNTER  PRIMARY KEY" -> autonumber long, ...
DeclaredColumn Declared(const std::string& table, const std::string& definition) {
  std::istringstream words(Lower(definition));
  DeclaredColumn c;
  c.table = table;
  std::string type;
  words >> c.column >> type;
  if (type == "counter") {
    c.type = "long";
    c.autonumber = true;
  } else if (type == "int") {
    c.type = "long";
  } else if (type.starts_with("varchar(") || type.starts_with("char(")) {
    c.type = "text";
    c.size = std::stoi(type.substr(type.find('(') + 1));
  } else if (type == "currency") {
    c.type = "currency";
  } else if (type == "text") {
    c.type = "memo";
  } else if (type == "image" || type == "blob") {
    c.type = "ole";
  } else {
    ADD_FAILURE() << "no type known for " << definition;
  }
  return c;
}

// The columns that CREATE TABLE and ALTER TABLE ADD statements of `transcript` declare.
std::vector<DeclaredColumn> DeclaredColumns(const Transcript& transcript) {
  std::vector<DeclaredColumn> out;
  for (const std::string& line : transcript) {
    if (!line.starts_with(kExec)) continue;
    const std::string statement = line.substr(kExec.size());
    if (statement.starts_with("CREATE TABLE ")) {
      const size_t open = statement.find('(');
      std::string table = statement.substr(13, open - 13);
      table.erase(table.find_last_not_of(' ') + 1);
      // Types carry no commas ("varchar(50)"), so every comma ends a column.
      std::istringstream body(statement.substr(open + 1, statement.rfind(')') - open - 1));
      for (std::string definition; std::getline(body, definition, ',');)
        out.push_back(Declared(table, definition));
    } else if (statement.starts_with("alter table ")) {
      std::istringstream words(statement);
      std::string alter, table_word, table, add;
      words >> alter >> table_word >> table >> add;
      std::string definition;
      std::getline(words, definition);
      out.push_back(Declared(table, definition));
    }
  }
  return out;
}

std::string EngineType(jet::ColumnType type) {
  switch (type) {
    case jet::ColumnType::kLong:
      return "long";
    case jet::ColumnType::kText:
      return "text";
    case jet::ColumnType::kCurrency:
      return "currency";
    case jet::ColumnType::kMemo:
      return "memo";
    case jet::ColumnType::kOle:
      return "ole";
    default:
      return "type " + std::to_string(static_cast<int>(type));
  }
}

const json_lite::Value* FindOracleColumn(const json_lite::Value& columns, const std::string& name) {
  for (const auto& c : columns.AsArray()) {
    if (base::EqualsIgnoreCase(c["name"].AsString(), name)) return &c;
  }
  return nullptr;
}

TEST_F(UpgradeTranscriptTest, EveryAddedOrCreatedColumnHasItsDeclaredTypeAndSize) {
  CopyDemoDataFile();
  Harness h(data_, template_);
  ASSERT_TRUE(h.Run().succeeded);
  const std::vector<DeclaredColumn> declared =
      DeclaredColumns(upgrade_test::OldDemoFileTranscript(h.template_path));
  ASSERT_EQ(declared.size(), 236u) << "15 tables created (206 columns), 30 columns added";

  auto database = jet::Database::Open(data_, upgrade::kDatabasePassword);
  for (const DeclaredColumn& want : declared) {
    SCOPED_TRACE(want.table + "." + want.column);
    const jet::TableDefinition& def = database->OpenTable(want.table).definition();
    const jet::ColumnDefinition* c = def.FindColumn(want.column);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(EngineType(c->type), want.type);
    if (want.type == "text") {
      EXPECT_EQ(c->length, want.size * 2) << "text keeps two bytes a character";
    }
    EXPECT_EQ(c->IsAutoNumber(), want.autonumber);
  }

  if (!sql_test::HaveNodeOracle()) GTEST_SKIP() << "mdb-reader (node) is not installed";
  std::string table;
  json_lite::Value columns;
  for (const DeclaredColumn& want : declared) {
    SCOPED_TRACE("mdb-reader: " + want.table + "." + want.column);
    if (!base::EqualsIgnoreCase(table, want.table)) {
      table = want.table;
      columns = sql_test::OracleColumns(data_, want.table == "customer" ? "Customer" : table);
    }
    const json_lite::Value* c = FindOracleColumn(columns, want.column);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ((*c)["type"].AsString(), want.type);
    if (want.type == "text") {
      EXPECT_EQ((*c)["size"].AsInt(), want.size * 2) << "mdb-reader gives text sizes in bytes";
    }
    EXPECT_EQ((*c)["autoLong"].AsBool(), want.autonumber);
  }
  // zdy takes the template's columns as they are.
  json_lite::Value ours = sql_test::OracleColumns(data_, "zdy");
  json_lite::Value theirs = sql_test::OracleColumns(template_, "zdy");
  ASSERT_EQ(ours.AsArray().size(), theirs.AsArray().size());
  for (size_t i = 0; i < ours.AsArray().size(); ++i) {
    EXPECT_EQ(ours.AsArray()[i]["name"].AsString(), theirs.AsArray()[i]["name"].AsString());
    EXPECT_EQ(ours.AsArray()[i]["type"].AsString(), theirs.AsArray()[i]["type"].AsString());
    EXPECT_EQ(ours.AsArray()[i]["size"].AsInt(), theirs.AsArray()[i]["size"].AsInt());
  }
}

// The picture column's statement fails, as on a full disk, the first `failing_tries` times
// it is sent. (The run's statements reach the disk only at the end of their phase, so the
// failure is raised where the engine would raise it for the statement itself.)
class PictureColumnFault : public db::ContractObserver {
 public:
  PictureColumnFault(RunTranscript& transcript, int failing_tries)
      : transcript_(transcript), failing_tries_(failing_tries) {
    transcript_.ObserveThrough(this);
  }
  ~PictureColumnFault() override { transcript_.ObserveThrough(&transcript_); }

  void Before(const db::ContractCall& call) override {
    transcript_.Before(call);
    if (call.op == db::ContractOp::kRunStatement &&
        call.text == "alter table ContactPerson add pic image" && sent_++ < failing_tries_) {
      ++faults_;
      throw db::DbFailure(jet::Problem::kDiskFull, {.file = "Custom.sys"});
    }
  }

  int faults() const { return faults_; }

 private:
  RunTranscript& transcript_;
  const int failing_tries_;
  int sent_ = 0;
  int faults_ = 0;
};

TEST_F(UpgradeTranscriptTest, PictureColumnIsTriedOnceMoreAndOnlyOnce) {
  const std::string pic = upgrade_test::PictureColumnLine();
  {
    SCOPED_TRACE("the first try fails");
    CopyDemoDataFile();
    RecordedRun run(data_, template_);
    upgrade::UpgradeSummary s;
    {
      PictureColumnFault fault(run.transcript, 1);
      s = run.Run();
      EXPECT_EQ(fault.faults(), 1);
    }
    EXPECT_TRUE(s.succeeded) << s.failure;
    Transcript expected = upgrade_test::OldDemoFileTranscript(run.h.template_path);
    auto at = std::find(expected.begin(), expected.end(), pic);
    ASSERT_NE(at, expected.end());
    expected.insert(at, pic);  // the same statement at once, nothing in between
    upgrade_test::ExpectTranscript(run.transcript.lines, expected);
    const auto columns = upgrade_test::ColumnsOf(data_, "ContactPerson");
    EXPECT_EQ(std::count(columns.begin(), columns.end(), "pic"), 1);
  }
  fs::remove(data_);
  {
    SCOPED_TRACE("both tries fail");
    CopyDemoDataFile();
    RecordedRun run(data_, template_);
    upgrade::UpgradeSummary s;
    {
      PictureColumnFault fault(run.transcript, 2);
      s = run.Run();
      EXPECT_EQ(fault.faults(), 2);
    }
    EXPECT_FALSE(s.succeeded);
    EXPECT_NE(run.transcript.failure.find("磁盘已满"), std::string::npos) << run.transcript.failure;
    Transcript expected = upgrade_test::OldDemoFileTranscript(run.h.template_path);
    auto at = std::find(expected.begin(), expected.end(), pic);
    ASSERT_NE(at, expected.end());
    expected.erase(at + 1, expected.end());
    expected.insert(expected.end(),
                    {pic, "view SetStatus \"\"", "view SetFailure", "view PumpEvents"});
    upgrade_test::ExpectTranscript(run.transcript.lines, expected);
    const auto columns = upgrade_test::ColumnsOf(data_, "ContactPerson");
    EXPECT_EQ(std::count(columns.begin(), columns.end(), "pic"), 0);
    EXPECT_EQ(std::count(columns.begin(), columns.end(), "qq"), 0);
  }
}

}  // namespace

// The upgrade run on small generated files: what it creates, adds, copies and rewrites, what
// it reports (through a recording view), how it fails, and that a failure never loses rows.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "jet/file/journal.h"
#include "jet/file/os_file.h"
#include "tests/test_support.h"
#include "tests/upgrade/upgrade_test_support.h"
#include "upgrade/product_database.h"
#include "upgrade/table_catalogue.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ReadBytes;
using testing_support::ScratchDir;
using upgrade_test::ColumnsOf;
using upgrade_test::DataFileShape;
using upgrade_test::ExpectConsistentAndReadable;
using upgrade_test::ExportAll;
using upgrade_test::Harness;
using upgrade_test::SearchRows;
using upgrade_test::TemplateShape;
using upgrade_test::WriteOldDataFile;
using upgrade_test::WriteTemplate;
using Strings = std::vector<std::string>;

const Strings kPhaseTexts = {"正在升级客户信息...", "正在升级联系人信息...",
                             "正在升级销售订单信息...", "正在升级销售明细信息...",
                             "正在升级产品信息..."};

// The rows 85-89 as the last phase writes them.
const Strings kFixedRows = {"85|发票号|bz1|str|sale|3", "86|创建时间|creattime|str|Customer|1",
                            "87|创建时间|creattime|str|ContactPerson|2",
                            "88|自定义字段|creattime|str|Customer|1",
                            "89|自定义字段|creattime|str|ContactPerson|2"};

class UpgradeRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    data_ = dir_.path() / "sys" / "Custom.sys";
    template_ = dir_.path() / "my.sys";
  }

  ScratchDir dir_;
  fs::path data_;
  fs::path template_;
};

TEST_F(UpgradeRunTest, OldFileGetsTheWholeLayoutAndTheRunReportsEveryStep) {
  WriteOldDataFile(data_);
  WriteTemplate(template_);
  Harness h(data_, template_);
  upgrade::UpgradeSummary s = h.Run();
  ASSERT_TRUE(s.succeeded) << s.failure;

  EXPECT_EQ(h.view.Only("progress:"), (Strings{"1", "1", "2", "3", "4", "5", "6", "7", "8", "10",
                                               "11", "12", "13", "14", "15", "16", "0"}));
  Strings statuses = {"正在创建数据表..."};
  statuses.insert(statuses.end(), kPhaseTexts.begin(), kPhaseTexts.end());
  statuses.push_back("升级成功");
  EXPECT_EQ(h.view.Only("status:"), statuses);
  EXPECT_EQ(h.view.Only("visible:"), (Strings{"1", "0"}));
  EXPECT_EQ(h.view.Only("max:"), (Strings{"16"}));
  EXPECT_EQ(h.view.Only("pump").size(), 7u);
  EXPECT_TRUE(h.view.Only("failure:").empty());
  // The bar is shown and its maximum set before the first text; it is hidden after the last.
  EXPECT_EQ(h.view.events.front(), "visible:1");
  EXPECT_EQ(h.view.events[2], "status:正在创建数据表...");
  EXPECT_EQ(Strings(h.view.events.end() - 4, h.view.events.end()),
            (Strings{"status:升级成功", "progress:0", "visible:0", "pump"}));

  Strings created;
  for (const auto& e : upgrade::TableCatalogue()) created.push_back(e.table);
  for (const char* t : {"sj", "zdy", "sfz"}) created.push_back(t);
  EXPECT_EQ(s.tables_created, created);
  EXPECT_EQ(ColumnsOf(data_, "Customer"),
            (Strings{"id", "name", "address", "notes", "qq", "msn", "by1", "by2", "by3", "by4",
                     "by5", "bz", "creattime"}));
  EXPECT_EQ(ColumnsOf(data_, "ContactPerson"),
            (Strings{"id", "custid", "name", "phone", "pic", "qq", "msn", "by1", "by2", "by3",
                     "by4", "by5", "bz", "creattime"}));
  EXPECT_EQ(ColumnsOf(data_, "SaleList"),
            (Strings{"id", "saleid", "amount", "remindsetup", "by1", "by2", "by3", "by4", "by5"}));
  EXPECT_EQ(ColumnsOf(data_, "product"), (Strings{"id", "name", "pic1", "pic2", "pic3"}));
  EXPECT_EQ(ColumnsOf(data_, "zdy"), (Strings{"id", "name", "fieldname", "bz"}));
  EXPECT_EQ(s.reference_rows,
            (std::vector<std::pair<std::string, size_t>>{{"sj", 25}, {"zdy", 2}, {"sfz", 3}}));

  // Groups 10 and 11 are the template's; the old group-10 row 95 and the stray 创建时间 (90)
  // are gone; the template's group-1 row is not copied.
  Strings search = {"1|客户名称|name|str|Customer|1",    "2|地址|address|str|Customer|1",
                    "3|联系人|name|str|ContactPerson|2", "4|电话|phone|str|ContactPerson|2",
                    "5|订单号|code|str|sale|3",          "6|金额|total|num|sale|3"};
  search.insert(search.end(), kFixedRows.begin(), kFixedRows.end());
  for (const char* r : {"101|模板字段1|f0|str|jzghs|10", "102|模板字段2|f1|str|jzproduct|11",
                        "103|模板字段3|f2|str|jzghs|10"}) {
    search.push_back(r);
  }
  EXPECT_EQ(SearchRows(data_), search);
  EXPECT_EQ(s.search_group_rows_deleted, 1u);
  EXPECT_EQ(s.search_group_rows_copied, 3u);
  EXPECT_EQ(s.search_fixed_rows_deleted, 1u);
  ExpectConsistentAndReadable(data_);
}

TEST_F(UpgradeRunTest, ASecondRunChangesNothingAndShowsOnlyTheFixedPositions) {
  WriteOldDataFile(data_);
  WriteTemplate(template_);
  ASSERT_TRUE(Harness(data_, template_).Run().succeeded);
  auto once = ExportAll(data_);

  Harness again(data_, template_);
  upgrade::UpgradeSummary s = again.Run();
  ASSERT_TRUE(s.succeeded) << s.failure;
  EXPECT_EQ(again.view.Only("progress:"),
            (Strings{"2", "10", "11", "12", "13", "14", "15", "16", "0"}));
  EXPECT_TRUE(s.tables_created.empty());
  EXPECT_TRUE(s.columns_added.empty());
  EXPECT_EQ(ExportAll(data_), once);
  ExpectConsistentAndReadable(data_);
}

TEST_F(UpgradeRunTest, TablesInOtherLetterCaseCountAsPresentAndStayAsTheyAre) {
  WriteOldDataFile(data_,
                   {.catalogue_tables = {"FINDTABLE", "GSXZ", "ChanceState", "RELATION", "SJ"}});
  WriteTemplate(template_);
  Harness h(data_, template_);
  upgrade::UpgradeSummary s = h.Run();
  ASSERT_TRUE(s.succeeded) << s.failure;
  // No first 1 (gsxz) and no 8 (Relation).
  EXPECT_EQ(h.view.Only("progress:"), (Strings{"1", "2", "3", "4", "5", "6", "7", "10", "11", "12",
                                               "13", "14", "15", "16", "0"}));
  for (const char* t : {"findtable", "gsxz", "chancestate", "Relation", "sj"}) {
    EXPECT_EQ(std::count(s.tables_created.begin(), s.tables_created.end(), t), 0) << t;
  }
  EXPECT_EQ(ColumnsOf(data_, "FINDTABLE"), (Strings{"id", "name"}));
  EXPECT_EQ(ColumnsOf(data_, "SJ"), (Strings{"id", "name"}));
  ExpectConsistentAndReadable(data_);
}

TEST_F(UpgradeRunTest, ASavedQueryNamedLikeACatalogueTableCountsAsPresent) {
  WriteOldDataFile(data_);
  upgrade_test::AddSavedSelectQuery(data_, "Finance");
  upgrade_test::AddSavedSelectQuery(data_, "zdy");
  WriteTemplate(template_);
  Harness h(data_, template_);
  upgrade::UpgradeSummary s = h.Run();
  ASSERT_TRUE(s.succeeded) << s.failure;
  EXPECT_EQ(h.view.Only("progress:"),  // no 7: Finance was not created
            (Strings{"1", "1", "2", "3", "4", "5", "6", "8", "10", "11", "12", "13", "14", "15",
                     "16", "0"}));
  EXPECT_EQ(s.reference_rows,
            (std::vector<std::pair<std::string, size_t>>{{"sj", 25}, {"sfz", 3}}));
  ExpectConsistentAndReadable(data_);
}

TEST_F(UpgradeRunTest, ExistingColumnsAreFoundWithoutRegardToCase) {
  WriteOldDataFile(data_, {.customer_qq_in_capitals = true, .product_with_pic1 = true});
  WriteTemplate(template_);
  upgrade::UpgradeSummary s = Harness(data_, template_).Run();
  ASSERT_TRUE(s.succeeded) << s.failure;
  EXPECT_EQ(ColumnsOf(data_, "Customer"),
            (Strings{"id", "name", "QQ", "address", "notes", "msn", "by1", "by2", "by3", "by4",
                     "by5", "bz", "creattime"}));
  EXPECT_EQ(ColumnsOf(data_, "product"), (Strings{"id", "name", "pic1", "pic2", "pic3"}));
}

// A run that cannot finish changes nothing: what it needs of both files is found missing
// before its first change, and the message names the file that lacks what. Swapped files
// are the commonest way: the template is then the data file, and it lacks Customer.
TEST_F(UpgradeRunTest, ARunThatCannotFinishChangesNothingAndNamesWhatIsMissing) {
  struct Case {
    const char* name;
    DataFileShape data;
    TemplateShape templ;
    bool swapped = false;
    bool same = false;
    Strings words;  // in the message
  };
  const std::vector<Case> cases = {
      {"data file without SaleList",
       {.with_sale_list = false},
       {},
       false,
       false,
       {"数据文件", "Custom.sys", "SaleList"}},
      {"template without zdy", {}, {.with_zdy = false}, false, false, {"模板", "my.sys", "zdy"}},
      {"template without search",
       {},
       {.with_search = false},
       false,
       false,
       {"模板", "my.sys", "search"}},
      {"template's sj without a column its copy names",
       {},
       {.sj_without_type = true},
       false,
       false,
       {"模板", "my.sys", "sj", "type"}},
      {"arguments swapped", {}, {}, true, false, {"数据文件", "my.sys", "Customer"}},
      {"one file for both", {}, {}, false, true, {"Custom.sys", "同一个文件"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(data_);
    fs::remove(template_);
    WriteOldDataFile(data_, c.data);
    WriteTemplate(template_, c.templ);
    const auto data_before = ReadBytes(data_), template_before = ReadBytes(template_);
    const fs::path data = c.swapped ? template_ : data_;
    const fs::path templ = c.swapped ? data_ : c.same ? data_ : template_;
    Harness h(data, templ);
    upgrade::UpgradeSummary s = h.Run();
    ASSERT_FALSE(s.succeeded);
    for (const std::string& word : c.words) {
      EXPECT_NE(s.failure.find(word), std::string::npos) << s.failure;
    }
    EXPECT_TRUE(s.tables_created.empty());
    EXPECT_EQ(Strings(h.view.events.end() - 3, h.view.events.end()),
              (Strings{"status:", "failure:" + s.failure, "pump"}));
    EXPECT_TRUE(ReadBytes(data_) == data_before) << "the data file changed";
    EXPECT_TRUE(ReadBytes(template_) == template_before) << "the template changed";
  }
}

// A dry run (the whole run in a transaction that is rolled back) predicts the real run: a
// journal that cannot be created beside the data file fails both before the first write,
// with the same message, and neither changes the file.
TEST_F(UpgradeRunTest, ADryRunFailsWhereTheRealRunWouldWhenNoJournalCanBeMade) {
  WriteOldDataFile(data_);
  WriteTemplate(template_);
  const auto before = ReadBytes(data_);
  struct NoJournal : jet::IoFaultHook {
    fs::path journal;
    size_t BeforeWrite(const fs::path&, uint64_t, std::span<const uint8_t> data) override {
      return data.size();
    }
    bool BeforeOperation(const fs::path& path, jet::IoOperation op, uint64_t) override {
      return !(op == jet::IoOperation::kCreate && path.filename() == journal.filename());
    }
  } no_journal;
  no_journal.journal = jet::JournalPathFor(data_);
  jet::SetIoFaultHook(&no_journal);
  std::string failures[2];
  for (bool dry : {true, false}) {
    SCOPED_TRACE(dry ? "dry run" : "real run");
    Harness h(data_, template_);
    if (dry) h.data.BeginTrans();
    upgrade::UpgradeSummary s = h.Run();
    EXPECT_FALSE(s.succeeded);
    EXPECT_TRUE(s.tables_created.empty());
    failures[dry] = s.failure;
  }
  jet::SetIoFaultHook(nullptr);
  EXPECT_EQ(failures[0], failures[1]);
  EXPECT_NE(failures[0].find("Custom.sys-journal"), std::string::npos) << failures[0];
  EXPECT_TRUE(ReadBytes(data_) == before);
}

// A failure nobody can foresee (here a refused statement in the column phase, as on a full
// disk) ends the run where it happens; the work done before it stays, and is on the disk by
// the time the failure is told, while the window still has the file open.
TEST_F(UpgradeRunTest, AnUnforeseenFailureKeepsEarlierWorkOnTheDiskBeforeItIsTold) {
  WriteOldDataFile(data_);
  WriteTemplate(template_);
  Harness h(data_, template_);
  struct FailOneStatement : db::ContractObserver {
    void Before(const db::ContractCall& call) override {
      if (call.op == db::ContractOp::kRunStatement &&
          call.text == "alter table SaleList add remindsetup text") {
        throw db::DbFailure(jet::Problem::kDiskFull, {.file = "data.sys"});
      }
    }
  } fault;
  h.data.SetObserver(&fault);
  struct SnapshotAtFailure : upgrade_test::RecordingView {
    fs::path data, copy;
    void SetFailure(const std::string& message) override {
      upgrade_test::RecordingView::SetFailure(message);
      testing_support::WriteBytes(copy, testing_support::ReadBytes(data));
    }
  } view;
  view.data = data_;
  view.copy = data_.parent_path() / "at_failure.sys";
  upgrade::UpgradeSummary s = h.Run(view);
  ASSERT_FALSE(s.succeeded);
  EXPECT_NE(s.failure.find("磁盘已满"), std::string::npos) << s.failure;
  // Status emptied, failure handed over, events pumped; the bar stays visible at 14.
  EXPECT_EQ(Strings(view.events.end() - 3, view.events.end()),
            (Strings{"status:", "failure:" + s.failure, "pump"}));
  EXPECT_EQ(view.Only("progress:").back(), "14");
  EXPECT_EQ(view.Only("visible:"), (Strings{"1"}));
  for (const fs::path& file : {view.copy, data_}) {
    SCOPED_TRACE(file.filename().string());
    EXPECT_EQ(ColumnsOf(file, "Sale").back(), "by5");
    EXPECT_EQ(ColumnsOf(file, "ContactPerson").back(), "creattime");
  }
  EXPECT_EQ(s.tables_created.size(), 20u);
  // The last phase never ran: no rows 85-89, the stray 创建时间 row stays.
  Strings rows = SearchRows(data_);
  EXPECT_EQ(std::count(rows.begin(), rows.end(), "90|创建时间|createdate|str|Customer|1"), 1);
  EXPECT_EQ(std::count(rows.begin(), rows.end(), kFixedRows[0]), 0);
  ExpectConsistentAndReadable(data_);
}

TEST_F(UpgradeRunTest, GroupsTenAndElevenBecomeExactlyTheTemplates) {
  for (int rows : {0, 3}) {
    SCOPED_TRACE(rows);
    WriteOldDataFile(data_);
    WriteTemplate(template_, {.group_rows = rows});
    ASSERT_TRUE(Harness(data_, template_).Run().succeeded);
    Strings groups;
    for (const auto& r : SearchRows(data_)) {
      if (r.ends_with("|10") || r.ends_with("|11")) groups.push_back(r);
    }
    EXPECT_EQ(groups.size(), static_cast<size_t>(rows));
    if (rows == 3) {
      EXPECT_EQ(groups.front(), "101|模板字段1|f0|str|jzghs|10");
    }
    fs::remove(data_);
    fs::remove(template_);
  }
}

TEST_F(UpgradeRunTest, OnlyTheFixedRowsKeepTheirNames) {
  WriteOldDataFile(data_, {.search_rows = {"50,'创建时间','creattime','str','Customer',1",
                                           "60,'自定义字段','x','str','ContactPerson',2",
                                           "85,'旧的85','bz','str','sale',3"}});
  WriteTemplate(template_);
  ASSERT_TRUE(Harness(data_, template_).Run().succeeded);
  Strings named;
  for (const auto& r : SearchRows(data_)) {
    if (r.find("|创建时间|") != std::string::npos || r.find("|自定义字段|") != std::string::npos ||
        r.starts_with("85|")) {
      named.push_back(r);
    }
  }
  EXPECT_EQ(named, kFixedRows);
}

TEST_F(UpgradeRunTest, TextOutsideTheChineseCodePageIsCopiedIntact) {
  const std::string name = "한국어 𠀾 ½ €";
  WriteOldDataFile(data_);
  WriteTemplate(template_, {.group_rows = 1, .group_name_prefix = name});
  ASSERT_TRUE(Harness(data_, template_).Run().succeeded);
  Strings rows = SearchRows(data_);
  EXPECT_EQ(std::count(rows.begin(), rows.end(), "101|" + name + "1|f0|str|jzghs|10"), 1);
  ExpectConsistentAndReadable(data_);
}

TEST_F(UpgradeRunTest, TemplatePathWithBracketsAndSemicolons) {
  template_ = dir_.path() / u8"模板 [2005];副本" / "my.sys";
  WriteOldDataFile(data_);
  WriteTemplate(template_);
  upgrade::UpgradeSummary s = Harness(data_, template_).Run();
  ASSERT_TRUE(s.succeeded) << s.failure;
  EXPECT_EQ(s.reference_rows.front(), (std::pair<std::string, size_t>{"sj", 25}));
}

// Failures before anything is written: the file stays byte-identical.
TEST_F(UpgradeRunTest, NoDataFileNoTemplateOrAWrongPasswordFailCleanly) {
  WriteTemplate(template_);
  {
    // The data file cannot be opened: the run stops at the table list, the bar never shows.
    db::DbConnection none;
    db::Query q1, q2, q3;
    upgrade_test::RecordingView view;
    upgrade::UpgradeComponents c{none, none, q1, q2, q3};
    upgrade::UpgradeSummary s = upgrade::RunUpgrade(c, "", view);
    EXPECT_FALSE(s.succeeded);
    EXPECT_FALSE(s.failure.empty());
    EXPECT_EQ(view.events, (Strings{"status:", "failure:" + s.failure, "pump"}));
  }
  WriteOldDataFile(data_);
  auto before = ReadBytes(data_);
  {
    Harness h(data_, dir_.path() / u8"没有这个模板.sys");
    upgrade::UpgradeSummary s = h.Run();
    EXPECT_FALSE(s.succeeded);
    EXPECT_NE(s.failure.find("没有这个模板.sys"), std::string::npos) << s.failure;
    EXPECT_EQ(h.view.Only("progress:"), Strings{});
  }
  EXPECT_EQ(ReadBytes(data_), before);
  {
    db::DbConnection data;
    EXPECT_THROW(
        data.Connect(
            "Provider=Microsoft.Jet.OLEDB.4.0;Jet OLEDB:Database Password=wrong;Data Source=" +
            data_.string()),
        db::DbFailure);
    db::DbConnection templ;
    db::Query q1, q2, q3;
    upgrade_test::RecordingView view;
    upgrade::UpgradeComponents c{data, templ, q1, q2, q3};
    upgrade::UpgradeSummary s = upgrade::RunUpgrade(c, template_.string(), view);
    EXPECT_FALSE(s.succeeded);
    EXPECT_EQ(view.Only("status:"), Strings{""});
  }
  EXPECT_EQ(ReadBytes(data_), before);
}

TEST_F(UpgradeRunTest, AFailedSearchCopyLeavesTheOldGroupRows) {
  WriteOldDataFile(data_);
  WriteTemplate(template_, {.search_without_numtype = true});
  auto before = ReadBytes(data_);
  upgrade::UpgradeSummary s = Harness(data_, template_).Run();
  EXPECT_FALSE(s.succeeded);
  EXPECT_NE(s.failure.find("numtype"), std::string::npos) << s.failure;
  EXPECT_EQ(ReadBytes(data_), before);  // the delete of groups 10 and 11 was undone
}

TEST_F(UpgradeRunTest, AFailedFixedRowInsertLeavesTheRowsItWouldHaveDeleted) {
  // Row 86 under another name: the insert of 86 is refused (id is unique).
  WriteOldDataFile(data_, {.search_rows = {"86,'另一个字段','x','str','Customer',1",
                                           "85,'旧发票','bz','str','sale',3"}});
  WriteTemplate(template_);
  upgrade::UpgradeSummary s = Harness(data_, template_).Run();
  EXPECT_FALSE(s.succeeded);
  Strings rows = SearchRows(data_);
  for (const char* kept : {"85|旧发票|bz|str|sale|3", "86|另一个字段|x|str|Customer|1",
                           "90|创建时间|createdate|str|Customer|1"}) {
    EXPECT_EQ(std::count(rows.begin(), rows.end(), kept), 1) << kept;
  }
  // The phases before it are committed.
  EXPECT_EQ(s.columns_added.size(), 33u);
  ExpectConsistentAndReadable(data_);
}

}  // namespace

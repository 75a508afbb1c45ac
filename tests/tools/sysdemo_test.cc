// The demo data generator: what the upgrade's tests rely on in the template and the
// old-layout data file, that both files are consistent, and that the same options always
// give the same rows (the files' bytes differ: creation times are stamped into them).
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "jet/file/journal.h"
#include "jet/format/page_size.h"
#include "jet/table/database.h"
#include "jet/table/table.h"
#include "tests/clean_file.h"
#include "tests/test_support.h"
#include "tools/demo/demo_data.h"
#include "upgrade/product_database.h"

namespace {

using testing_support::ScratchDir;
using Rows = std::vector<std::vector<std::string>>;

const DemoOptions kSmall{30, 120, 2052};

std::unique_ptr<jet::Database> Open(const std::filesystem::path& path) {
  return jet::Database::Open(path, upgrade::kDatabasePassword);
}

std::set<std::string> TableNames(const jet::Database& db) {
  std::set<std::string> names;
  for (const auto* e : db.catalog().OfKind(jet::ObjectKind::kUserTable)) names.insert(e->name);
  return names;
}

// Every table's rows as text, NULL told apart from empty text.
std::map<std::string, Rows> Contents(const std::filesystem::path& path) {
  auto db = Open(path);
  std::map<std::string, Rows> contents;
  for (const std::string& name : TableNames(*db)) {
    Rows& rows = contents[name];
    db->OpenTable(name).Scan([&](jet::RowPointer, const std::vector<jet::Value>& values) {
      auto& row = rows.emplace_back();
      for (const auto& v : values) row.push_back(v.IsNull() ? "<NULL>" : jet::ValueToText(v));
      return true;
    });
  }
  return contents;
}

// search rows as id -> (name, field, tablename, tablenum), in the table's column order.
std::map<int, std::vector<std::string>> SearchRows(const Rows& rows) {
  std::map<int, std::vector<std::string>> by_id;
  for (const auto& r : rows) by_id[std::stoi(r[0])] = {r[1], r[2], r[4], r[5]};
  return by_id;
}

class DemoDataTest : public testing::Test {
 protected:
  // Written once: every test reads the same pair of files.
  static void SetUpTestSuite() {
    dir_ = std::make_unique<ScratchDir>();
    WriteDemoData(dir_->path(), kSmall);
    template_ = Contents(DemoTemplatePath(dir_->path()));
    data_ = Contents(DemoDataFilePath(dir_->path()));
  }
  static void TearDownTestSuite() { dir_.reset(); }
  static inline std::unique_ptr<ScratchDir> dir_;
  static inline std::map<std::string, Rows> template_, data_;
};

TEST_F(DemoDataTest, TablesHoldTheRowCountsTheOptionsGive) {
  const DemoRowCounts n = CountDemoRows(kSmall);
  const std::map<std::string, size_t> in_template = {
      {"search", n.template_search}, {"sj", 120}, {"zdy", n.zdy}, {"sfz", 31}, {"demo_readme", 1}};
  const std::map<std::string, size_t> in_data = {
      {"search", 86},    {"Customer", 30},           {"ContactPerson", n.contacts},
      {"Sale", n.sales}, {"SaleList", n.sale_lines}, {"product", n.products},
      {"findtable", 0},  {"notetable", 0},           {"gsxz", 5},
      {"custself", 0}};
  for (const auto& [table, count] : in_template)
    EXPECT_EQ(template_.at(table).size(), count) << table;
  for (const auto& [table, count] : in_data) EXPECT_EQ(data_.at(table).size(), count) << table;
  EXPECT_EQ(n.contacts, 49u);  // about 1.66 contacts per customer
  EXPECT_GE(n.sale_lines, n.sales);
}

TEST_F(DemoDataTest, TemplateHasSearchGroups10And11) {
  auto search = SearchRows(template_.at("search"));
  for (int id = 101; id <= 112; ++id) {
    ASSERT_TRUE(search.count(id)) << id;
    EXPECT_EQ(search[id][3], id <= 106 ? "10" : "11") << id;
  }
}

TEST_F(DemoDataTest, DataFileHasTheOldSearchGroupsAndTheRowsAnUpgradeFixes) {
  auto search = SearchRows(data_.at("search"));
  std::set<int> ids;
  for (const auto& [id, row] : search) ids.insert(id);
  std::set<int> expected;
  for (int id = 1; id <= 84; ++id) expected.insert(id);
  expected.insert({90, 95});
  EXPECT_EQ(ids, expected);
  for (int id = 1; id <= 84; ++id)
    EXPECT_TRUE(search[id][3] == "1" || search[id][3] == "2" || search[id][3] == "3");
  EXPECT_EQ(search[90], (std::vector<std::string>{"创建时间", "createdate", "Customer", "1"}));
  EXPECT_EQ(search[95][3], "10");
}

TEST_F(DemoDataTest, DataFileHasTheOldLayout) {
  auto db = Open(DemoDataFilePath(dir_->path()));
  auto tables = TableNames(*db);
  for (const char* absent : {"sj", "zdy", "sfz"}) EXPECT_FALSE(tables.count(absent)) << absent;
  for (const char* present : {"findtable", "notetable", "gsxz", "custself"})
    EXPECT_TRUE(tables.count(present)) << present;
  std::set<std::string> columns;
  for (const auto& c : db->OpenTable("Customer").definition().columns) columns.insert(c.name);
  EXPECT_TRUE(columns.count("by2"));
  EXPECT_FALSE(columns.count("qq"));
}

TEST_F(DemoDataTest, RowsReferToRowsThatExist) {
  std::set<int> contacted, customers;
  for (const auto& r : data_.at("ContactPerson")) contacted.insert(std::stoi(r[1]));
  for (const auto& r : data_.at("Customer")) customers.insert(std::stoi(r[0]));
  EXPECT_EQ(contacted, customers);  // every customer has a contact, every contact a customer
  std::map<std::string, int64_t> line_totals;  // per sale, in ten-thousandths
  for (const auto& r : data_.at("SaleList"))
    line_totals[r[1]] += std::llround(std::stod(r[5]) * 1e4);
  for (const auto& r : data_.at("Sale"))
    EXPECT_EQ(std::llround(std::stod(r[5]) * 1e4), line_totals[r[0]]) << r[1];
}

TEST_F(DemoDataTest, BothFilesPassTheChecker) {
  for (const auto& path : {DemoTemplatePath(dir_->path()), DemoDataFilePath(dir_->path())}) {
    auto db = Open(path);
    EXPECT_TRUE(testing_support::IsClean(*db)) << path;
  }
}

TEST_F(DemoDataTest, RewritingGivesTheSameRowsAndKeepsTheSortOrder) {
  // Over files that are not databases, one with a valid journal beside it from an interrupted
  // run: applied to the new file, it would cut the file back to one page.
  ScratchDir again;
  const auto data_file = DemoDataFilePath(again.path());
  std::filesystem::create_directories(data_file.parent_path());
  testing_support::WriteBytes(DemoTemplatePath(again.path()), {'j', 'u', 'n', 'k'});
  testing_support::WriteBytes(data_file, {'j', 'u', 'n', 'k'});
  const std::vector<uint8_t> page(jet::kPageSize, 0);
  jet::JournalHeader journal;
  journal.original_page_count = journal.new_page_count = 1;
  testing_support::WriteBytes(
      jet::JournalPathFor(data_file),
      jet::EncodeJournal(journal, {{0, true, jet::PageChecksum(0, page), {}}}, page));
  WriteDemoData(again.path(), kSmall);
  EXPECT_EQ(Contents(DemoTemplatePath(again.path())), template_);
  EXPECT_EQ(Contents(DemoDataFilePath(again.path())), data_);
  EXPECT_EQ(Open(DemoDataFilePath(again.path()))->header().sort_order.lcid, 2052);

  DemoOptions general = kSmall;
  general.sort_order = 1033;
  WriteDemoTemplate(again.path() / "general.sys", general);
  EXPECT_EQ(Open(again.path() / "general.sys")->header().sort_order.lcid, 1033);
}

// One mistyped folder must not replace a customer's file with demo data: sysdemo writes over
// an existing file only when told to, and never over one another program holds.
TEST(SysdemoProgramTest, WritesOverAFileOnlyWhenToldAndNeverOneHeld) {
  ScratchDir dir;
  auto sysdemo = [&](const std::string& extra, std::string* out) {
    return testing_support::RunCommand(testing_support::ShellQuote(SYSDEMO_PATH) + " " +
                                           testing_support::ShellQuote(dir.path().string()) +
                                           " --customers 3 --sj-rows 5 " + extra + " 2>&1",
                                       out);
  };
  std::string out;
  ASSERT_EQ(sysdemo("", &out), 0) << out;
  const auto data = DemoDataFilePath(dir.path());
  const auto before = testing_support::ReadBytes(data);
  EXPECT_EQ(sysdemo("", &out), 1) << out;
  EXPECT_NE(out.find("--force"), std::string::npos) << out;
  EXPECT_EQ(testing_support::ReadBytes(data), before);
  {
    auto held = jet::Database::Open(data, upgrade::kDatabasePassword, jet::Pager::Mode::kReadWrite);
    EXPECT_EQ(sysdemo("--force", &out), 1) << out;
    EXPECT_NE(out.find("正被其他程序使用"), std::string::npos) << out;
  }
  EXPECT_EQ(testing_support::ReadBytes(data), before);
  EXPECT_EQ(sysdemo("--force", &out), 0) << out;
  EXPECT_NE(testing_support::ReadBytes(data), before);  // a new file: its creation date differs
}

TEST(DemoOptionsTest, OutOfRangeOptionsAreRefused) {
  EXPECT_THROW(ValidateDemoOptions({0, 10, 2052}), std::invalid_argument);
  EXPECT_THROW(ValidateDemoOptions({10, 10'000'000, 2052}), std::invalid_argument);
  EXPECT_THROW(ValidateDemoOptions({10, 10, 1252}), std::invalid_argument);
  EXPECT_NO_THROW(ValidateDemoOptions({1, 0, 1033}));
}

}  // namespace

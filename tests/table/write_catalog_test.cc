// The catalog under growth: enough new tables that MSysObjects and its indexes span several
// pages, with Chinese, mixed-case and spaced names; every table must be found again after a
// reopen, by the engine and by the independent readers. Under sort order 2052 a table name
// that must enter MSysObjects' text index has to be ASCII.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "jet/error.h"
#include "jet/file/journal.h"
#include "jet/table/catalog.h"
#include "jet/table/database.h"
#include "jet/table/database_creator.h"
#include "jet/table/schema_change.h"
#include "jet/table/table.h"
#include "jet/table/table_writer.h"
#include "tests/table/write_test_helpers.h"
#include "tests/test_support.h"

namespace {

using jet::ColumnType;
using jet::Database;
using jet::ErrorKind;
using jet::NewColumn;
using jet::NewIndex;
using jet::Pager;
using jet::Transaction;
using testing_support::ReadBytes;
using testing_support::RunCommand;
using testing_support::ScratchDir;
using namespace write_test;

std::vector<std::string> TableNames(int count) {
  std::vector<std::string> names;
  std::mt19937 rng(8);
  for (int i = 0; i < count; ++i) {
    switch (i % 4) {
      case 0:
        names.push_back("客户" + ChineseText(rng, 2) + std::to_string(i));
        break;
      case 1:
        names.push_back("Table Number " + std::to_string(i));
        break;
      case 2:
        names.push_back("t_" + std::to_string(i) + "_" + AsciiText(rng, 20));
        break;
      default:
        names.push_back("MixedCase" + std::to_string(i) + "ÄÖÜ");
        break;
    }
  }
  return names;
}

void CreateWithOneRow(Database& db, const std::string& name, int i) {
  NewColumn id{"ID", ColumnType::kLong};
  id.autonumber = true;
  NewColumn label{"标签", ColumnType::kText, 40};
  jet::CreateTable(db, name, {id, label},
                   {NewIndex{"PrimaryKey", {{"ID", true}}, true, true, false}});
  jet::TableWriter w(db, DefinitionPageOf(db, name), name);
  w.Insert({Null(), Text(name + " #" + std::to_string(i))});
  w.Finish();
}

TEST(WriteCatalog, ManyTablesAreFoundAgain) {
  ScratchDir dir;
  auto path = dir.path() / "catalog.mdb";
  jet::CreateDatabase(path, "");
  const std::vector<std::string> names = TableNames(kSanitized ? 80 : 150);
  {
    auto db = Database::Open(path, "", Pager::Mode::kReadWrite);
    // Most in one transaction, the last few one per transaction.
    {
      Transaction t(*db);
      for (size_t i = 0; i + 10 < names.size(); ++i)
        CreateWithOneRow(*db, names[i], static_cast<int>(i));
      t.Commit();
    }
    for (size_t i = names.size() - 10; i < names.size(); ++i) {
      Transaction t(*db);
      CreateWithOneRow(*db, names[i], static_cast<int>(i));
      t.Commit();
    }
    // Names are unique without regard to case.
    for (const std::string& taken : {names[1], std::string("table number 1"), names[3]}) {
      jet::JetError e = ExpectJetError([&] {
        Transaction t(*db);
        jet::CreateTable(*db, taken, {NewColumn{"A", ColumnType::kLong}}, {});
      });
      EXPECT_EQ(e.kind(), ErrorKind::kInvalid) << taken;
    }
  }
  auto db = Database::Open(path, "");
  std::vector<std::string> listed;
  for (const jet::CatalogEntry* e : db->catalog().OfKind(jet::ObjectKind::kUserTable)) {
    listed.push_back(e->name);
  }
  EXPECT_EQ(listed, names) << "user tables in catalog order";
  for (size_t i = 0; i < names.size(); ++i) {
    auto rows = ReadById(*db, names[i], "ID");
    ASSERT_EQ(rows.size(), 1u) << names[i];
    EXPECT_EQ(rows.begin()->second.values[1].text, names[i] + " #" + std::to_string(i));
  }
  EXPECT_TRUE(IsClean(*db));

  // The independent readers list the same tables.
  std::string out;
  if (RunCommand("command -v mdb-tables >/dev/null 2>&1", &out) == 0) {
    ASSERT_EQ(RunCommand("mdb-tables -1 '" + path.string() + "' 2>&1", &out), 0) << out;
    std::istringstream lines(out);
    std::set<std::string> seen;
    for (std::string line; std::getline(lines, line);) {
      if (!line.empty()) seen.insert(line);
    }
    EXPECT_EQ(seen, std::set<std::string>(names.begin(), names.end()));
  } else {
    std::cout << "mdb-tables is not installed; that cross-check skipped\n";
  }
  if (RunCommand("command -v node >/dev/null 2>&1", &out) == 0 &&
      std::filesystem::is_directory(std::filesystem::path(SOURCE_DIR) /
                                    "tests/oracle/node_modules")) {
    ASSERT_EQ(RunCommand("node '" + std::string(SOURCE_DIR) + "/tests/oracle/dump.mjs' '" +
                             path.string() + "' tables 2>&1",
                         &out),
              0)
        << out;
    std::istringstream lines(out);
    std::vector<std::string> seen;
    for (std::string line; std::getline(lines, line);) {
      if (!line.empty()) seen.push_back(line);
    }
    EXPECT_EQ(std::set<std::string>(seen.begin(), seen.end()),
              std::set<std::string>(names.begin(), names.end()));
  } else {
    std::cout << "node or tests/oracle/node_modules is missing; that cross-check skipped\n";
  }
}

// MSysObjects indexes the table name by its text, so under 2052 only an ASCII table name can
// be stored; column names are not indexed and may be Chinese. A refused name leaves the file
// as it was.
TEST(WriteCatalog, ChineseTableNamesUnder2052AreRefused) {
  ScratchDir dir;
  auto path = dir.path() / "prc.mdb";
  jet::CreateDatabase(path, "", jet::SortOrder{2052, 0, 0});
  const auto before = ReadBytes(path);
  auto db = Database::Open(path, "", Pager::Mode::kReadWrite);
  jet::JetError e = ExpectJetError([&] {
    Transaction t(*db);
    jet::CreateTable(*db, "客户", {NewColumn{"A", ColumnType::kLong}}, {});
    t.Commit();
  });
  EXPECT_EQ(e.kind(), ErrorKind::kUnsupported) << e.what();
  EXPECT_TRUE(Contains(e.what(), "2052")) << e.what();
  EXPECT_EQ(ReadBytes(path), before);
  EXPECT_FALSE(std::filesystem::exists(jet::JournalPathFor(path)));
  {
    Transaction t(*db);
    jet::CreateTable(*db, "Customers", {NewColumn{"客户名称", ColumnType::kText, 30}}, {});
    t.Commit();
  }
  const jet::TableDefinition& def = db->OpenTable("Customers").definition();
  ASSERT_EQ(def.columns.size(), 1u);
  EXPECT_EQ(def.columns[0].name, "客户名称");
  EXPECT_TRUE(IsClean(*db));
}

}  // namespace

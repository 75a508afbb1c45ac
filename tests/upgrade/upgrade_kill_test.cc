// sysupgrade killed (SIGKILL, TerminateProcess) at moments spread over a whole run: every file
// reopens consistent, at a statement or phase boundary (no half-copied reference table, no half-
// replaced search group), and a second run completes the upgrade to exactly what an
// uninterrupted run gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "db/db_connection.h"
#include "jet/table/database.h"
#include "tests/child_process.h"
#include "tests/clean_file.h"
#include "tests/sql/sql_test_util.h"
#include "tests/test_support.h"
#include "tests/upgrade/upgrade_test_support.h"
#include "upgrade/product_database.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using testing_support::ChildProcess;
using testing_support::ScratchDir;
using Strings = std::vector<std::string>;

constexpr int kKills = 30;

int RunUpgrade(const fs::path& data, const fs::path& tpl) {
  return ChildProcess(SYSUPGRADE_PATH, {"--template", tpl.string(), data.string()}).Wait();
}

size_t Count(db::DbConnection& c, const std::string& table) {
  return c.OpenRows("select * from " + table)->RowCount();
}

bool Has(const Strings& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

// What a reopened file may look like after a kill: every change is a whole statement or a
// whole all-or-nothing phase.
void ExpectAtABoundary(const fs::path& data, const fs::path& tpl, const Strings& old_search,
                       const Strings& final_customer_columns) {
  db::DbConnection templ;
  templ.Connect(upgrade::ConnectionStringFor(tpl.string()));
  db::DbConnection c;
  c.Connect(upgrade::ConnectionStringFor(data.string()));
  Strings tables = c.ListUserTables();
  for (const char* t : {"sj", "zdy", "sfz"}) {
    if (Has(tables, t)) {
      EXPECT_EQ(Count(c, t), Count(templ, t)) << t << " is partly copied";
    }
  }
  Strings template_groups;
  for (const auto& r : upgrade_test::SearchRows(tpl)) {
    if (r.ends_with("|10") || r.ends_with("|11")) template_groups.push_back(r);
  }
  Strings search = upgrade_test::SearchRows(data), groups, fixed, old_groups;
  for (const auto& r : search) {
    if (r.ends_with("|10") || r.ends_with("|11")) groups.push_back(r);
    int id = std::stoi(r.substr(0, r.find('|')));
    if (id >= 85 && id <= 89) fixed.push_back(std::to_string(id));
  }
  for (const auto& r : old_search) {
    if (r.ends_with("|10") || r.ends_with("|11")) old_groups.push_back(r);
  }
  EXPECT_TRUE(groups == old_groups || groups == template_groups)
      << "search groups 10 and 11 are mixed";
  EXPECT_TRUE(fixed.empty() || fixed == (Strings{"85", "86", "87", "88", "89"}))
      << "rows 85-89 are partly written";
  Strings customer = upgrade_test::ColumnsOf(data, "Customer");
  ASSERT_LE(customer.size(), final_customer_columns.size());
  EXPECT_TRUE(std::equal(customer.begin(), customer.end(), final_customer_columns.begin()));
}

TEST(UpgradeKillTest, EveryKilledRunLeavesAConsistentFileThatASecondRunCompletes) {
  ScratchDir dir;
  fs::path generated = dir.path() / "generated";
  ASSERT_EQ(
      ChildProcess(SYSDEMO_PATH, {generated.string(), "--customers", "300", "--sj-rows", "8000"})
          .Wait(),
      0);
  const fs::path tpl = generated / "my.sys", source = generated / "sys" / "Custom.sys";
  const Strings old_search = upgrade_test::SearchRows(source);

  // An uninterrupted run: the reference content and how long a run takes.
  fs::path reference = dir.path() / "reference.sys";
  fs::copy_file(source, reference);
  auto t0 = Clock::now();
  ASSERT_EQ(RunUpgrade(reference, tpl), 0);
  const double run_seconds = std::chrono::duration<double>(Clock::now() - t0).count();
  const auto expected = upgrade_test::ExportAll(reference);
  const Strings final_customer = upgrade_test::ColumnsOf(reference, "Customer");

  std::mt19937 rng(20261208);
  // Kill moments spread evenly over the run, each at a random point of its slice. A run
  // that ends before its kill counts nothing: runs vary with the disk, so the run's length
  // is then taken as shorter and the slice tried again.
  double scale = run_seconds;
  int killed = 0, attempts = 0, hot_journals = 0;
  while (killed < kKills && attempts < 4 * kKills) {
    ++attempts;
    double at = scale * (killed + std::uniform_real_distribution<double>(0, 1)(rng)) / kKills;
    SCOPED_TRACE("kill " + std::to_string(killed) + " at " + std::to_string(at) + " s");
    fs::path data = dir.path() / ("killed" + std::to_string(attempts) + ".sys");
    fs::copy_file(source, data);
    ChildProcess upgrade(SYSUPGRADE_PATH, {"--template", tpl.string(), data.string()});
    std::this_thread::sleep_for(std::chrono::duration<double>(at));
    upgrade.Kill();
    if (upgrade.Wait() != ChildProcess::kKilled) {
      scale *= 0.8;
      fs::remove(data);
      continue;
    }
    ++killed;
    if (fs::exists(data.string() + "-journal")) ++hot_journals;

    {
      auto database = jet::Database::Open(data, sql_test::kPassword);  // rolls a journal back
      EXPECT_TRUE(testing_support::IsClean(*database));
    }
    ExpectAtABoundary(data, tpl, old_search, final_customer);
    ASSERT_EQ(RunUpgrade(data, tpl), 0) << "the second run failed";
    EXPECT_EQ(upgrade_test::ExportAll(data), expected);
    fs::remove(data);
  }
  std::cout << "[ INFO     ] " << killed << " runs killed in " << attempts
            << " attempts (an uninterrupted run took " << run_seconds << " s); " << hot_journals
            << " left a journal to roll back\n";
  EXPECT_EQ(killed, kKills);
}

}  // namespace

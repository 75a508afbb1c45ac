// Compaction, judged by what reads the copy: every fixture (password-protected, RC4-encoded
// and the 2052 file with Han keys among them) compacts to a file that our reader, the
// checker, mdbtools and mdb-reader find identical in content and schema to its source; the
// source is never written; a destination that exists is refused. Repair of the same files
// loses nothing and writes the same database.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "jet/compact/compact.h"
#include "jet/compact/repair.h"
#include "jet/error.h"
#include "jet/table/catalog.h"
#include "jet/table/checker.h"
#include "jet/table/database.h"
#include "tests/compact/same_database.h"
#include "tests/fixture_expectations.h"
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;
using jet::CatalogEntry;
using jet::Database;
using testing_support::ScratchDir;
using testing_support::ShellQuote;

const char kHanFixture[] = "asp_book_2052_hankeys.mdb";

fs::path FixturePath(const std::string& name) {
  if (name == kHanFixture)
    return testing_support::FixtureDir().parent_path() / "jet4-han2052" / name;
  return testing_support::Fixture(name);
}

std::vector<std::string> CompactedFixtures() {
  std::vector<std::string> names = testing_support::Jet4FixtureNames();
  names.push_back(kHanFixture);
  return names;
}

class CompactFixture : public testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_FIXTURES();
    source_ = FixturePath(GetParam());
    password_ = GetParam() == kHanFixture ? "" : testing_support::FixturePassword(GetParam());
    copy_ = dir_.path() / "compacted.mdb";
  }
  ScratchDir dir_;
  fs::path source_, copy_;
  std::string password_;
};

TEST_P(CompactFixture, CopyHoldsWhatTheSourceHolds) {
  const std::vector<uint8_t> before = testing_support::ReadBytes(source_);
  jet::compact::CompactReport report = jet::compact::CompactDatabase(source_, copy_, password_);
  EXPECT_EQ(testing_support::ReadBytes(source_), before) << "the source was written";
  EXPECT_LE(report.pages, report.source_pages + 2);

  auto source = Database::Open(source_, password_);
  auto copy = Database::Open(copy_, password_);
  EXPECT_EQ(copy->header().format, source->header().format);
  EXPECT_EQ(copy->header().code_page, source->header().code_page);
  EXPECT_EQ(copy->header().sort_order, source->header().sort_order);
  EXPECT_EQ(copy->header().password, source->header().password);
  EXPECT_EQ(copy->header().database_key, source->header().database_key);
  EXPECT_EQ(copy->pager().page_count(), report.pages);

  compact_test::ExpectSameDatabase(*source, *copy);

  jet::CheckReport check = jet::CheckDatabase(*copy);
  EXPECT_TRUE(check.ok()) << "the checker finds damage in the copy";
  EXPECT_TRUE(check.census.leaked.empty()) << "the copy has pages nothing uses";
}

// Repair finds every row of an undamaged file on its pages and loses nothing: the same
// database as compaction writes, and a report that says nothing was lost.
TEST_P(CompactFixture, RepairOfAnUndamagedFileLosesNothing) {
  const std::vector<uint8_t> before = testing_support::ReadBytes(source_);
  jet::compact::RepairReport report = jet::compact::RepairDatabase(source_, copy_, password_);
  EXPECT_EQ(testing_support::ReadBytes(source_), before) << "the source was written";
  EXPECT_FALSE(report.LostAnything());
  EXPECT_TRUE(report.lost_tables.empty());
  auto source = Database::Open(source_, password_);
  auto copy = Database::Open(copy_, password_);
  compact_test::ExpectSameDatabase(*source, *copy);
  EXPECT_TRUE(jet::CheckDatabase(*copy).ok()) << "the checker finds damage in the repaired file";
}

// mdbtools and mdb-reader read the copy as they read the source: the same schema (mdb-schema,
// which prints indexes and relationships too), the same rows of every user table.
TEST_P(CompactFixture, OtherReadersSeeTheSameDatabase) {
  const bool have_mdbtools =
      testing_support::RunCommand("command -v mdb-schema >/dev/null", nullptr) == 0;
  const fs::path oracle = fs::path(SOURCE_DIR) / "tests" / "oracle";
  const bool have_oracle =
      testing_support::RunCommand("command -v node >/dev/null", nullptr) == 0 &&
      fs::is_directory(oracle / "node_modules" / "mdb-reader");
  if (!have_mdbtools && !have_oracle) GTEST_SKIP() << "neither mdbtools nor node with mdb-reader";
  jet::compact::CompactDatabase(source_, copy_, password_);

  auto sorted_output = [](const std::string& command) {
    std::string out;
    EXPECT_EQ(testing_support::RunCommand(command, &out), 0) << command;
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t at; (at = out.find('\n', start)) != std::string::npos; start = at + 1) {
      lines.push_back(out.substr(start, at - start));
    }
    std::sort(lines.begin(), lines.end());
    return lines;
  };
  std::vector<std::string> tables;
  {
    auto db = Database::Open(source_, password_);
    for (const CatalogEntry* e : db->catalog().OfKind(jet::ObjectKind::kUserTable)) {
      tables.push_back(e->name);
    }
  }
  if (have_mdbtools) {
    auto schema = [&](const fs::path& f) {
      return sorted_output("mdb-schema " + ShellQuote(f.string()) + " 2>/dev/null");
    };
    std::vector<std::string> expected = schema(source_);
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(schema(copy_), expected) << "mdb-schema";
    for (const std::string& t : tables) {
      auto rows = [&](const fs::path& f) {
        return sorted_output("mdb-export -b hex " + ShellQuote(f.string()) + " " + ShellQuote(t));
      };
      EXPECT_EQ(rows(copy_), rows(source_)) << "mdb-export " << t;
    }
  }
  if (have_oracle) {
    // Each table's rows in a canonical order: mdb-reader lists moved rows where it finds
    // them, and the copy stores them in place.
    const std::string sort_rows =
        "node -e " + ShellQuote(
                         "const lines=require('fs').readFileSync(0,'utf8').split('\\n');"
                         "for(const l of lines){if(!l)continue;const t=JSON.parse(l);"
                         "t.rows=t.rows.map(r=>JSON.stringify(r)).sort();"
                         "console.log(JSON.stringify(t));}");
    auto dump = [&](const fs::path& f) {
      return sorted_output("node " + ShellQuote((oracle / "dump.mjs").string()) + " " +
                           ShellQuote(f.string()) +
                           (password_.empty() ? "" : " --password " + ShellQuote(password_)) +
                           " all | " + sort_rows);
    };
    std::vector<std::string> expected = dump(source_);
    EXPECT_EQ(expected.size(), tables.size());
    EXPECT_EQ(dump(copy_), expected) << "mdb-reader";
  }
}

INSTANTIATE_TEST_SUITE_P(Jet4, CompactFixture, testing::ValuesIn(CompactedFixtures()),
                         [](const testing::TestParamInfo<std::string>& info) {
                           return testing_support::FixtureTestName(info.param);
                         });

TEST(Compact, RefusesADestinationThatExistsAndABadPassword) {
  SKIP_WITHOUT_FIXTURES();
  ScratchDir dir;
  const fs::path source = testing_support::Fixture("mdbreader_password2000.mdb");
  const fs::path existing = dir.path() / "existing.mdb";
  testing_support::WriteBytes(existing, {1, 2, 3});
  try {
    jet::compact::CompactDatabase(source, existing, "password");
    ADD_FAILURE() << "an existing destination was written";
  } catch (const jet::JetError& e) {
    EXPECT_EQ(e.problem(), jet::Problem::kFileExists);
  }
  EXPECT_EQ(testing_support::ReadBytes(existing), (std::vector<uint8_t>{1, 2, 3}));

  const fs::path fresh = dir.path() / "fresh.mdb";
  try {
    jet::compact::CompactDatabase(source, fresh, "wrong");
    ADD_FAILURE() << "a wrong password was accepted";
  } catch (const jet::JetError& e) {
    EXPECT_EQ(e.kind(), jet::ErrorKind::kBadPassword);
  }
  EXPECT_FALSE(fs::exists(fresh));
}

}  // namespace

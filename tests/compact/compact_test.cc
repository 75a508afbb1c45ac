// Compaction, judged by what reads the copy: every fixture (password-protected, RC4-encoded
// and the 2052 file with Han keys among them) compacts to a file that our reader, the
// checker, mdbtools and mdb-reader find identical in content and schema to its source; the
// source is never written; a destination that exists is refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "jet/compact/compact.h"
#include "jet/error.h"
#include "jet/table/catalog.h"
#include "jet/table/checker.h"
#include "jet/table/database.h"
#include "jet/table/index_tree.h"
#include "jet/table/table.h"
#include "tests/fixture_expectations.h"
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;
using jet::CatalogEntry;
using jet::Database;
using jet::TableDefinition;
using jet::Value;
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

bool SameValue(const Value& a, const Value& b) {
  return a.kind == b.kind && a.integer == b.integer && a.text == b.text && a.bytes == b.bytes &&
         (a.real == b.real || (a.real != a.real && b.real != b.real));
}

void ExpectSameDefinition(const TableDefinition& a, const TableDefinition& b,
                          const std::map<uint32_t, uint32_t>& pages, const std::string& table) {
  SCOPED_TRACE("table " + table);
  EXPECT_EQ(a.table_type, b.table_type);
  // The next autonumber never goes backwards (the writer also keeps it above every value).
  EXPECT_GE(b.last_autonumber, a.last_autonumber);
  EXPECT_EQ(a.autonumber_increment, b.autonumber_increment);
  EXPECT_EQ(a.next_column_id, b.next_column_id);
  EXPECT_EQ(a.variable_columns, b.variable_columns);
  ASSERT_EQ(a.columns.size(), b.columns.size());
  for (size_t i = 0; i < a.columns.size(); ++i) {
    // The descriptor as stored holds every attribute of the column: type, id, ordinal,
    // place, length, sort order or precision and scale, flags.
    EXPECT_EQ(a.columns[i].name, b.columns[i].name);
    EXPECT_EQ(a.columns[i].raw, b.columns[i].raw) << "column " << a.columns[i].name;
  }
  ASSERT_EQ(a.real_indexes.size(), b.real_indexes.size());
  for (size_t r = 0; r < a.real_indexes.size(); ++r) {
    const jet::RealIndex &x = a.real_indexes[r], &y = b.real_indexes[r];
    EXPECT_EQ(x.flags, y.flags) << "index " << a.RealIndexName(r);
    ASSERT_EQ(x.columns.size(), y.columns.size());
    for (size_t c = 0; c < x.columns.size(); ++c) {
      EXPECT_EQ(x.columns[c].column_id, y.columns[c].column_id);
      EXPECT_EQ(x.columns[c].ascending, y.columns[c].ascending);
    }
  }
  ASSERT_EQ(a.logical_indexes.size(), b.logical_indexes.size());
  for (size_t l = 0; l < a.logical_indexes.size(); ++l) {
    const jet::LogicalIndex &x = a.logical_indexes[l], &y = b.logical_indexes[l];
    EXPECT_EQ(x.name, y.name);
    EXPECT_EQ(x.number, y.number);
    EXPECT_EQ(x.real_index, y.real_index);
    EXPECT_EQ(x.type, y.type);
    EXPECT_EQ(x.related_index, y.related_index);
    EXPECT_EQ(x.cascade_update, y.cascade_update);
    EXPECT_EQ(x.cascade_delete, y.cascade_delete);
    auto it = pages.find(x.related_table_page);
    EXPECT_EQ(it == pages.end() ? x.related_table_page : it->second, y.related_table_page)
        << "index " << x.name;
  }
}

// Every row of every table in the same order with the same values, ids that name a table
// followed to its new page; every index holds the same keys (Han keys carried over too).
void ExpectSameTable(Database& source, Database& copy, const CatalogEntry& from,
                     const CatalogEntry& to, const std::map<uint32_t, uint32_t>& pages) {
  SCOPED_TRACE("table " + from.name);
  jet::Table a(source, from.DefinitionPage(), from.name);
  jet::Table b(copy, to.DefinitionPage(), to.name);
  const TableDefinition& def = a.definition();
  std::vector<std::vector<Value>> rows;
  a.Scan([&](jet::RowPointer, const std::vector<Value>& v) {
    rows.push_back(v);
    return true;
  });
  // The catalog's tables name tables by id.
  const bool catalog_ids =
      from.name == "MSysObjects" || from.name == "MSysACEs" || from.name == "MSysNavPaneObjectIDs";
  auto is_id = [&](const std::string& column) {
    return catalog_ids && (column == "Id" || column == "ParentId" || column == "ObjectId");
  };
  size_t n = 0;
  b.Scan([&](jet::RowPointer, const std::vector<Value>& v) {
    if (n >= rows.size()) {
      ++n;
      return true;
    }
    for (size_t c = 0; c < v.size(); ++c) {
      Value expected = rows[n][c];
      const std::string& column = def.columns[c].name;
      if (is_id(column) && !expected.IsNull()) {
        auto it = pages.find(static_cast<uint32_t>(expected.integer));
        if (expected.integer > 0 && it != pages.end()) expected.integer = it->second;
      }
      EXPECT_TRUE(SameValue(expected, v[c]))
          << "row " << n << " column " << column << ": " << jet::ValueToText(expected) << " became "
          << jet::ValueToText(v[c]);
    }
    ++n;
    return true;
  });
  EXPECT_EQ(rows.size(), n);
  EXPECT_EQ(n, b.definition().row_count);
  ExpectSameDefinition(def, b.definition(), pages, from.name);
  for (size_t r = 0; r < def.real_indexes.size() && r < b.definition().real_indexes.size(); ++r) {
    bool keys_ids = false;  // an id's key changes with the id
    for (const auto& ic : def.real_indexes[r].columns) {
      const jet::ColumnDefinition* c = def.ColumnById(ic.column_id);
      keys_ids |= c && is_id(c->name);
    }
    if (keys_ids) continue;
    auto keys = [](Database& db, const jet::RealIndex& index, uint32_t owner) {
      std::vector<std::vector<uint8_t>> out;
      for (const auto& e : jet::ReadIndexTree(db.pager(), index.root_page, owner).entries) {
        out.push_back(e.key.ToVector());
      }
      return out;
    };
    EXPECT_EQ(keys(source, def.real_indexes[r], from.DefinitionPage()),
              keys(copy, b.definition().real_indexes[r], to.DefinitionPage()))
        << "keys of index " << def.RealIndexName(r);
  }
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

  // Every catalog object, in catalog order: only a table's id (its definition page) changes.
  const auto& from = source->catalog().entries();
  const auto& to = copy->catalog().entries();
  ASSERT_EQ(from.size(), to.size());
  std::map<uint32_t, uint32_t> pages;
  for (size_t i = 0; i < from.size(); ++i) {
    SCOPED_TRACE("object " + from[i].name);
    EXPECT_EQ(from[i].name, to[i].name);
    EXPECT_EQ(from[i].type, to[i].type);
    EXPECT_EQ(from[i].flags, to[i].flags);
    EXPECT_EQ(from[i].kind, to[i].kind);
    EXPECT_EQ(from[i].parent_id, to[i].parent_id);
    EXPECT_EQ(from[i].linked_database, to[i].linked_database);
    EXPECT_EQ(from[i].foreign_name, to[i].foreign_name);
    if (from[i].type == 1 && from[i].id > 0) {
      pages[from[i].DefinitionPage()] = to[i].DefinitionPage();
    } else {
      EXPECT_EQ(from[i].id, to[i].id);
    }
  }
  for (size_t i = 0; i < from.size(); ++i) {
    if (from[i].type == 1 && from[i].id > 0) ExpectSameTable(*source, *copy, from[i], to[i], pages);
  }

  jet::CheckReport check = jet::CheckDatabase(*copy);
  EXPECT_TRUE(check.ok()) << "the checker finds damage in the copy";
  EXPECT_TRUE(check.census.leaked.empty()) << "the copy has pages nothing uses";
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
    auto dump = [&](const fs::path& f) {
      return sorted_output(
          "node " + ShellQuote((oracle / "dump.mjs").string()) + " " + ShellQuote(f.string()) +
          (password_.empty() ? "" : " --password " + ShellQuote(password_)) + " all");
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

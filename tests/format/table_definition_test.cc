// The table-definition codec against the definitions Access and Jackcess wrote. The engine
// rewrites a definition whenever a table changes (its row count on every insert), so encoding
// what the decoder read must give back the stored bytes: any byte the encoder loses, moves or
// invents is damage written into a file that was sound.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "jet/format/table_definition.h"
#include "jet/table/catalog.h"
#include "jet/table/database.h"
#include "jet/table/table.h"
#include "tests/fixture_expectations.h"
#include "tests/test_support.h"

namespace {

TEST(TableDefinitionCodec, EveryFixtureDefinitionEncodesToItsStoredBytes) {
  SKIP_WITHOUT_FIXTURES();
  size_t definitions = 0;
  for (const std::string& name : testing_support::Jet4FixtureNames()) {
    auto db =
        jet::Database::Open(testing_support::Fixture(name), testing_support::FixturePassword(name));
    for (const jet::CatalogEntry& e : db->catalog().entries()) {
      if (e.kind != jet::ObjectKind::kUserTable && e.kind != jet::ObjectKind::kSystemTable) {
        continue;
      }
      const std::vector<uint8_t> stored = db->ReadDefinitionBytes(e.DefinitionPage(), nullptr);
      const std::vector<uint8_t> encoded = jet::EncodeTableDefinition(
          jet::DecodeTableDefinition(jet::ByteView(stored.data(), stored.size())));
      ASSERT_LE(encoded.size(), stored.size()) << name << ": " << e.name;
      // Free space and next page belong to the page writer, which fills them in afterwards.
      EXPECT_TRUE(
          std::equal(encoded.begin(), encoded.begin() + jet::tdef::kFreeSpace, stored.begin()) &&
          std::equal(encoded.begin() + jet::tdef::kLength, encoded.end(),
                     stored.begin() + jet::tdef::kLength))
          << name << ": " << e.name;
      ++definitions;
    }
  }
  EXPECT_GT(definitions, 300u);  // every table of 28 files, system tables included
}

// The header's fields, each at its place: the values an independent reading of Northwind's
// Orders definition finds (a field read from the wrong offset would still re-encode to the
// same bytes, so the test above cannot see it).
TEST(TableDefinitionCodec, HeaderFieldsOfNorthwindOrders) {
  SKIP_WITHOUT_FIXTURES();
  auto db = jet::Database::Open(testing_support::Fixture("northwind2000.mdb"), "");
  const jet::TableDefinition& def = db->OpenTable("Orders").definition();
  EXPECT_EQ(def.row_count, 830u);
  // Below the largest OrderID (11077): Access files do not keep the counter above the values.
  EXPECT_EQ(def.last_autonumber, 10248u);
  EXPECT_EQ(def.autonumber_increment, 1);
  EXPECT_EQ(def.table_type, jet::TableDefinition::kUserTable);
  EXPECT_EQ(def.next_column_id, 14u);
  EXPECT_EQ(def.variable_columns, 7u);
  EXPECT_EQ(def.columns.size(), 14u);
  EXPECT_EQ(def.owned_pages, (jet::RowPointer{0x2DA, 0}));
  EXPECT_EQ(def.free_pages, (jet::RowPointer{0x2DA, 1}));
}

}  // namespace

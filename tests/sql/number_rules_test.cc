// What number a value stands for is one rule wherever SQL needs one: a value put into a
// numeric column, a comparison of two numbers of different kinds, a negation. True is -1, a
// decimal is the number it spells, currency its amount.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jet/sql/session.h"
#include "tests/sql/sql_test_util.h"
#include "tests/test_support.h"

namespace {

using sql_test::kPassword;

std::vector<double> Doubles(jet::sql::Session& s, const std::string& query) {
  std::vector<double> out;
  for (const auto& row : s.Query(query).rows) out.push_back(row.at(0).real);
  return out;
}

std::vector<int64_t> Ids(jet::sql::Session& s, const std::string& query) {
  std::vector<int64_t> out;
  for (const auto& row : s.Query(query).rows) out.push_back(row.at(0).integer);
  return out;
}

TEST(NumberRulesTest, ColumnsComparisonsAndNegationReadNumbersAlike) {
  testing_support::ScratchDir dir;
  const auto path = dir.path() / "numbers.sys";
  sql_test::NewDatabase(path);
  sql_test::RunAll(path, {
                             "CREATE TABLE t (id int, b bit, m decimal(12,3), c currency)",
                             "insert into t (id, b, m, c) values (1, -1, 2.125, 1.5)",
                             "insert into t (id, b, m, c) values (2, 0, -7.5, -0.25)",
                             "CREATE TABLE d (id int, x double, y double, z double)",
                             "insert into d (id, x, y, z) select id, b, m, c from t",
                         });
  jet::sql::Session s(path, kPassword);
  // Into a Double column: True is -1, a decimal and currency their amounts.
  EXPECT_EQ(Doubles(s, "select x from d"), (std::vector<double>{-1, 0}));
  EXPECT_EQ(Doubles(s, "select y from d"), (std::vector<double>{2.125, -7.5}));
  EXPECT_EQ(Doubles(s, "select z from d"), (std::vector<double>{1.5, -0.25}));
  // Compared with a fraction (not an exact integer comparison): the same numbers.
  EXPECT_EQ(Ids(s, "select id from t where b < 0.5"), (std::vector<int64_t>{1, 2}));
  EXPECT_EQ(Ids(s, "select id from t where b < -0.5"), (std::vector<int64_t>{1}));
  EXPECT_EQ(Ids(s, "select id from t where m > 2.1"), (std::vector<int64_t>{1}));
  EXPECT_EQ(Ids(s, "select id from t where m < c"), (std::vector<int64_t>{2}));
  // Negated, a decimal is its number turned around.
  EXPECT_EQ(Doubles(s, "select -m from t"), (std::vector<double>{-2.125, 7.5}));
}

}  // namespace

// The verdict a write test ends with on a file this engine has written: the checker finds no
// damage, and the page census finds no page leaked. Access leaves leaked pages in its files,
// so the checker calls them a note, not damage; but this engine marks every page it frees as
// free, and every file the write tests start from leaks none, so here a leaked page is a page
// the engine lost. Header-only: the test binary's sources are the *_test.cc glob.
#pragma once

#include <gtest/gtest.h>

#include "jet/table/checker.h"
#include "jet/table/database.h"

namespace testing_support {

inline ::testing::AssertionResult IsClean(const jet::CheckReport& report) {
  if (report.ok() && report.census.leaked.empty()) return ::testing::AssertionSuccess();
  auto failure = ::testing::AssertionFailure();
  failure << report.problems.size() << " problem(s):";
  for (size_t i = 0; i < report.problems.size() && i < 20; ++i) {
    failure << "\n  " << report.problems[i];
  }
  if (!report.census.leaked.empty()) {
    failure << "\n  " << jet::DescribeLeakedPages(report.census.leaked);
  }
  return failure;
}

inline ::testing::AssertionResult IsClean(jet::Database& db) {
  return IsClean(jet::CheckDatabase(db));
}

}  // namespace testing_support

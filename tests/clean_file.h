// The verdict a write test ends with on a file this engine has written: the checker finds
// nothing at all, neither damage nor a note. Access leaves leaked pages and row counts that
// differ from the rows in its files, so the checker calls them notes, not damage; but this
// engine marks every page it frees as free and keeps every count, and every file the write
// tests start from has neither, so here a note is something the engine lost. Header-only: the
// test binary's sources are the *_test.cc glob.
#pragma once

#include <gtest/gtest.h>

#include "jet/table/checker.h"
#include "jet/table/database.h"

namespace testing_support {

inline ::testing::AssertionResult IsClean(const jet::CheckReport& report) {
  if (report.findings.empty()) return ::testing::AssertionSuccess();
  auto failure = ::testing::AssertionFailure();
  failure << report.findings.size() << " finding(s):";
  for (size_t i = 0; i < report.findings.size() && i < 20; ++i) {
    failure << "\n  " << report.findings[i].Text();
  }
  return failure;
}

inline ::testing::AssertionResult IsClean(jet::Database& db) {
  return IsClean(jet::CheckDatabase(db));
}

}  // namespace testing_support

namespace jet {

// A finding in a test's failure message, as `jetdb check` words it.
inline void PrintTo(const Finding& finding, std::ostream* os) {
  *os << finding.Text();
}

}  // namespace jet

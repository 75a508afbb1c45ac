// The consistency checker: compares what a database says about itself with what it holds.
// For every table: live rows against the stored row count; every index against the rows
// (one entry per live row, in key order, pointing at a live row, with the key the row's values
// give where the sort order is one the engine can encode); and every page of the file
// accounted for (page_census.h). Problems are collected, not thrown, so one run reports them
// all; what is odd but not damage (leaked pages) is reported as a note.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "jet/table/page_census.h"

namespace jet {

class Database;

struct CheckReport {
  std::vector<std::string> problems;
  std::vector<std::string> notes;  // not damage: leaked pages
  PageCensus census;
  size_t tables = 0;
  size_t rows = 0;
  size_t index_entries = 0;
  size_t keys_compared = 0;       // entries whose key was recomputed from the row and compared
  size_t keys_not_encodable = 0;  // entries under sort orders the engine does not encode

  bool ok() const { return problems.empty(); }
};

CheckReport CheckDatabase(Database& db);

}  // namespace jet

// The consistency checker: compares what a database says about itself with what it holds.
// For every table: live rows against the stored row count; every index against the rows
// (one entry per live row, in key order, pointing at a live row, with the key the row's values
// give where the sort order is one the engine can encode); page ownership against the usage
// maps. Problems are collected, not thrown, so one run reports them all.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace jet {

class Database;

struct CheckReport {
  std::vector<std::string> problems;
  size_t tables = 0;
  size_t rows = 0;
  size_t index_entries = 0;
  size_t keys_compared = 0;       // entries whose key was recomputed from the row and compared
  size_t keys_not_encodable = 0;  // entries under sort orders the engine does not encode

  bool ok() const { return problems.empty(); }
};

CheckReport CheckDatabase(Database& db);

}  // namespace jet

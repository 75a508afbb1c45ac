// Compacting a Jet 4 database: a new file holding every object of the source, with its
// storage rebuilt. Every table, system tables included, gets a new definition page (ids that
// name a table follow it), fresh usage maps and index trees; rows are copied in storage
// order, long values stored anew, index keys recomputed (or carried over where the engine
// cannot compute them, see carried_keys.h). Pages of deleted rows, dropped tables and
// orphaned long values are left behind. The source is only read.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace jet::compact {

struct CopiedTable {
  std::string name;
  bool system = false;
  size_t rows = 0;
  size_t carried_keys = 0;  // index keys taken from the source's index
};

struct CompactReport {
  std::vector<CopiedTable> tables;  // in catalog order
  uint32_t source_pages = 0;
  uint32_t pages = 0;
};

// Writes the compacted copy of `source` to `destination`. Throws JetError: kFileExists when
// `destination` or a journal beside it exists (a compaction never writes over a file, which
// another program may hold), the source's own errors (a bad password, damage: a damaged file
// is for repair), and write failures. On failure nothing is left at `destination`.
CompactReport CompactDatabase(const std::filesystem::path& source,
                              const std::filesystem::path& destination, std::string_view password);

}  // namespace jet::compact

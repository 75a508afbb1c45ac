// The pager: the only way the engine reaches the data file's pages. It reads page 0, decodes
// the header, and hands out decoded pages (page-cipher removed) from a cache, checking every
// page number against the file's size first.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <unordered_map>

#include "jet/file/os_file.h"
#include "jet/format/bytes.h"
#include "jet/format/database_header.h"
#include "jet/format/page_size.h"

namespace jet {

class Pager {
 public:
  enum class Mode { kReadOnly, kReadWrite };

  // Opens a Jet 4 file. Throws kUnsupported for Jet 3, ACE and unknown files, kCorrupt when
  // the file is too short or not a whole number of pages.
  Pager(const std::filesystem::path& path, Mode mode);
  Pager(const Pager&) = delete;
  Pager& operator=(const Pager&) = delete;

  const DatabaseHeader& header() const { return header_; }
  uint32_t page_count() const { return page_count_; }
  Mode mode() const { return mode_; }
  const std::filesystem::path& path() const { return file_.path(); }

  // The decoded bytes of page `n`, valid as long as the pager lives.
  // Throws kCorrupt when n is past the end of the file.
  ByteView Page(uint32_t n);

  // Bytes read from the file so far (benchmarks).
  uint64_t bytes_read() const { return bytes_read_; }

 private:
  using PageBuffer = std::array<uint8_t, kPageSize>;

  OsFile file_;
  Mode mode_;
  DatabaseHeader header_;
  uint32_t page_count_ = 0;
  std::unordered_map<uint32_t, std::unique_ptr<PageBuffer>> cache_;
  uint64_t bytes_read_ = 0;
};

}  // namespace jet

// The bytes of the rollback journal (see journal.h for the protocol around them;
// doc/jet4-format.md §11).
//
//   header     96 bytes and the data file's name: magic "JetJrnl2", the page size, the data
//              file's page count before and after the commit, how many pages the commit
//              writes and how many of them it overwrites, a random nonce, when it was
//              written, the database's identity (see DatabaseIdentity), the checksums of the
//              two parts below, and last a checksum of the header itself
//   pages      48 bytes per page the commit writes, in page order: its number, whether it
//              existed before (else the commit appends it), the checksum of its original
//              bytes, and the checksum of each 512-byte sector of its new bytes
//   originals  the original bytes of every page that existed before, in the same order
//
// Every checksum is of the bytes exactly as on disk (page cipher applied) and is seeded
// with the page number, so a page found at another page's place does not pass for it.
// A journal is read part by part, so that a journal cut short can still say which pages its
// commit was about to write.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "jet/format/database_header.h"
#include "jet/format/page_size.h"

namespace jet {

inline constexpr size_t kSectorSize = 512;
inline constexpr size_t kSectorsPerPage = kPageSize / kSectorSize;

// Facts of a database set when the file is created and never changed afterwards: a journal
// beside a file whose facts differ is another database's.
struct DatabaseIdentity {
  uint64_t creation_date_bits = 0;  // the header's creation date, as stored
  uint32_t database_key = 0;
  uint16_t code_page = 0;
  bool operator==(const DatabaseIdentity&) const = default;
};
DatabaseIdentity IdentityOf(const DatabaseHeader& header);

struct JournalHeader {
  uint32_t page_size = kPageSize;
  uint32_t original_page_count = 0;
  uint32_t new_page_count = 0;
  uint64_t nonce = 0;
  int64_t written_at = 0;  // seconds since 1970, UTC
  DatabaseIdentity identity;
  std::string database_name;  // the data file's name when the journal was written (UTF-8)
};

struct JournalPage {
  uint32_t page = 0;
  bool existed = false;  // false: the commit appends it
  uint64_t original_checksum = 0;
  std::array<uint32_t, kSectorsPerPage> new_sectors{};
};

// Checksums as the journal records them.
uint64_t PageChecksum(uint32_t page, std::span<const uint8_t> bytes);
uint32_t SectorChecksum(uint32_t page, size_t sector, std::span<const uint8_t> bytes);
std::array<uint32_t, kSectorsPerPage> SectorChecksums(uint32_t page,
                                                      std::span<const uint8_t> bytes);

// REQUIRES: `pages` in ascending page order; `originals` holds kPageSize bytes for each
// page that existed, in that order.
std::vector<uint8_t> EncodeJournal(const JournalHeader& header,
                                   const std::vector<JournalPage>& pages,
                                   std::span<const uint8_t> originals);

// How much of a journal file could be read.
enum class JournalState {
  kEmpty,                // no bytes at all
  kNotOurs,              // does not start as a journal of this program does
  kOlderVersion,         // a journal of an earlier version of this program
  kHeaderUnreadable,     // ours, but its header is cut short or does not verify
  kPagesUnreadable,      // header verifies; the list of pages is cut short or does not verify
  kOriginalsUnreadable,  // header and pages verify; the original bytes do not
  kWhole,                // every part verifies
};

struct DecodedJournal {
  JournalState state = JournalState::kEmpty;
  JournalHeader header;                // from kPagesUnreadable on
  std::vector<JournalPage> pages;      // from kOriginalsUnreadable on
  std::span<const uint8_t> originals;  // kWhole only: into the decoded bytes
};

DecodedJournal DecodeJournal(std::span<const uint8_t> bytes);

}  // namespace jet

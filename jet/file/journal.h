// The rollback journal that makes a commit atomic.
//
// A commit never overwrites a page of the data file before a copy of that page's original
// bytes is safely on disk beside it. The protocol, step by step:
//
//   1. Write "<file>-journal": a header (magic, page size, the file's original page count,
//      the number of records, a checksum over the records) followed by one record per page
//      about to be overwritten (page number + its original bytes exactly as on disk).
//   2. Flush the journal, then its directory, so the journal exists after a crash.
//   3. Write the new pages into the data file (the file may grow), then flush the data file.
//   4. Remove the journal and flush the directory. The commit is durable from this moment.
//      Windows cannot flush a directory, so there the journal is first emptied and flushed
//      (RemoveFileDurably): emptying it is the commit point, and a journal that a power cut
//      brings back is empty, which recovery simply removes.
//
// Recovery, on every open: a journal whose checksum verifies is "hot": the crash came after
// step 2, so the data file may hold any mix of old and new pages. Writing every record back
// and truncating to the original page count restores the state before the transaction. A
// journal that does not verify was cut short during step 1, before the data file was
// touched, so it is simply removed. Either way the file ends in the state before or after
// the transaction, never a mix.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <vector>

namespace jet {

class OsFile;

std::filesystem::path JournalPathFor(const std::filesystem::path& database);

struct JournalRecord {
  uint32_t page = 0;
  std::vector<uint8_t> bytes;  // exactly as on disk
};

// Steps 1 and 2. Throws JetError kIo on failure (the data file is untouched then).
void WriteJournal(const std::filesystem::path& database, uint32_t original_page_count,
                  const std::vector<JournalRecord>& records);

// Restores `file` from a hot journal and removes the journal. Returns true if a hot journal
// was rolled back, false if there was none or only an incomplete one (removed).
bool RecoverFromJournal(OsFile& file);

// True when a journal file exists beside `database` (hot or not).
bool JournalExists(const std::filesystem::path& database);

}  // namespace jet

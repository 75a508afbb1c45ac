// The rollback journal that makes a commit atomic, and the recovery that trusts it only as
// far as it can prove.
//
// A commit never overwrites a page of the data file before a copy of that page's original
// bytes is safely on disk beside it. Step by step:
//
//   1. Write "<file>-journal" (journal_format.h): what database it belongs to, every page the
//      commit is about to write with a checksum of its new bytes, and the original bytes of
//      every page it overwrites.
//   2. Flush the journal. The first time a connection creates its journal, also flush the
//      directory, so the journal's name survives a power cut.
//   3. Write the new pages into the data file (the file may grow), then flush it.
//   4. Empty the journal and flush it: the commit point, the same on every system. The
//      journal stays, empty, while the connection lasts; closing removes it. An empty journal
//      that a crash leaves behind is dropped by the next open.
//
// A journal that outlives its commit is examined, not obeyed, because another program (the
// customer's own application, a restored backup) may have written the data file since. It is
// played back only when every page it lists holds either its original bytes or the commit's
// new bytes (or a mix of the two, sector by sector, as a torn write leaves them), and the
// file holds nothing past its old end but what the commit wrote. A journal whose commit
// never reached the file, or reached all of it, is simply dropped. Anything else (a file
// changed since, another database's journal, a journal cut short, a file that is not our
// journal at all) is refused: neither file is touched, and the database is not opened until
// `jetdb journal` settles it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

#include "jet/file/journal_format.h"
#include "jet/file/os_file.h"

namespace jet {

std::filesystem::path JournalPathFor(const std::filesystem::path& database);

// True when a file exists at the journal's path (a journal or not, empty or not).
bool JournalExists(const std::filesystem::path& database);

// The journal of one writable connection: steps 1, 2 and 4 above.
class Journal {
 public:
  explicit Journal(std::filesystem::path database);
  // Removes the journal if it is empty; a journal left hot by a failed commit stays.
  ~Journal();
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  // Creates the (empty) journal now, proving a commit will be able to: a directory that
  // takes no new file fails here, before anything is changed. Write does it if not done.
  void Create();
  // Steps 1 and 2. Throws JetError kIo; the data file is untouched then.
  void Write(std::span<const uint8_t> bytes);
  // Step 4. Throws JetError kIo; the journal may still be hot then.
  void Clear();

 private:
  std::filesystem::path path_;
  std::optional<OsFile> file_;
  bool hot_ = false;
  bool name_durable_ = false;  // the directory was flushed since the journal was created
};

// What a journal found beside a data file says, and whether the file matches it.
enum class JournalVerdict {
  kNone,       // no journal
  kEmpty,      // an empty journal: a finished commit's
  kUntouched,  // the commit never reached the data file
  kComplete,   // the data file holds all the commit wrote; only its commit point was lost
  kTorn,       // the data file holds a mix of originals and new pages: roll back
  // Refused: the open fails and neither file is touched.
  kNotOurs,        // the file at the journal's path is not a journal of this program
  kOlderVersion,   // a journal of an earlier version, which cannot be verified
  kUnreadable,     // ours, but cut short or damaged where it says what it covers
  kOtherDatabase,  // a journal of another database (or of a file that is no Jet 4 file)
  kFileChanged,    // a page holds neither its original nor its new bytes: written since
  kNoOriginals,    // a mix that needs originals the journal no longer holds intact
};

struct JournalExamination {
  JournalVerdict verdict = JournalVerdict::kNone;
  std::filesystem::path journal_path;
  std::vector<uint8_t> bytes;  // the journal as read
  DecodedJournal journal;      // decoded from `bytes`
  uint64_t file_size = 0;      // of the data file
  // Of the pages the journal lists: how many hold their original bytes, the commit's new
  // bytes, a mix of the two, or are not there (appended pages past the file's end).
  size_t original_pages = 0, new_pages = 0, torn_pages = 0, absent_pages = 0;
  std::optional<uint64_t> first_changed_page;  // kFileChanged

  JournalExamination() = default;
  JournalExamination(JournalExamination&&) = default;
  JournalExamination& operator=(JournalExamination&&) = default;

  // True when the journal can be settled with no doubt (rolled back or dropped).
  bool Settles() const;
};

// Reads the journal beside `data` and compares the data file with it. Writes nothing.
JournalExamination ExamineJournal(const OsFile& data);

// REQUIRES: e.Settles(), `data` open for writing with an exclusive lock. Rolls back a torn
// commit, makes the data file durable, and removes the journal.
void SettleJournal(OsFile& data, const JournalExamination& e);

// Removes a journal of this program that cannot be settled, leaving the data file as it is:
// the administrator's decision, after `jetdb journal` showed why. Refuses (kJournalNotOurs)
// a file that is not a journal of ours: that one is never removed.
void DiscardJournal(OsFile& data, const JournalExamination& e);

// The error an open raises for a refused journal.
[[noreturn]] void ThrowJournalRefused(const std::filesystem::path& database,
                                      const JournalExamination& e);

}  // namespace jet

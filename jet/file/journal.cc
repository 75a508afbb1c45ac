#include "jet/file/journal.h"

#include <algorithm>
#include <cstring>

#include "base/utf8_path.h"
#include "jet/error.h"
#include "jet/file/pinned_view.h"
#include "jet/format/bytes.h"
#include "jet/format/database_header.h"

namespace jet {

std::filesystem::path JournalPathFor(const std::filesystem::path& database) {
  std::filesystem::path p = database;
  p += "-journal";
  return p;
}

bool JournalExists(const std::filesystem::path& database) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(JournalPathFor(database), ec));
}

// --- The writer ---

Journal::Journal(std::filesystem::path database) : path_(JournalPathFor(database)) {}

Journal::~Journal() {
  if (!file_ || hot_) return;
  file_.reset();
  try {
    // Not made durable: should a crash bring the empty journal back, the next open drops it.
    RemoveFile(path_);
  } catch (...) {
  }
}

void Journal::Create() {
  if (!file_) file_.emplace(OsFile::Create(path_));
}

void Journal::Write(std::span<const uint8_t> bytes) {
  Create();
  hot_ = true;  // from here on a failure may leave a partial journal, which is never removed
  file_->WriteAt(0, bytes);
  file_->Sync();
  if (!name_durable_) {
    SyncDirectoryOf(path_);
    name_durable_ = true;
  }
}

void Journal::Clear() {
  if (!file_) return;
  file_->Truncate(0);
  file_->Sync();
  hot_ = false;
}

// --- Recovery ---

namespace {

// kBoth: a page the commit rewrote with the bytes it had.
enum class PageState { kOriginal, kNew, kBoth, kTorn, kAbsent, kChanged };

bool AllZero(std::span<const uint8_t> bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
}

// Compares what the data file holds at one listed page with what the journal says it held
// before the commit and was about to hold after it. `original` is empty when the journal's
// originals are not intact.
PageState Classify(const JournalPage& p, std::span<const uint8_t> now,
                   std::span<const uint8_t> original) {
  if (now.empty()) return p.existed ? PageState::kChanged : PageState::kAbsent;
  if (now.size() == kPageSize) {
    const bool is_original =
        p.existed && PageChecksum(p.page, now) == p.original_checksum &&
        (original.empty() || std::equal(now.begin(), now.end(), original.begin()));
    const bool is_new = SectorChecksums(p.page, now) == p.new_sectors;
    if (is_original && is_new) return PageState::kBoth;
    if (is_original) return PageState::kOriginal;
    if (is_new) return PageState::kNew;
  }
  // A torn write: each sector old or new. An appended page's "old" is nothing: zeros, or
  // the end of the file.
  if (p.existed && original.empty()) return PageState::kChanged;
  for (size_t s = 0; s * kSectorSize < now.size(); ++s) {
    auto sector = now.subspan(s * kSectorSize, std::min(kSectorSize, now.size() - s * kSectorSize));
    if (sector.size() == kSectorSize && SectorChecksum(p.page, s, sector) == p.new_sectors[s]) {
      continue;
    }
    if (p.existed) {
      if (sector.size() == kSectorSize &&
          std::equal(sector.begin(), sector.end(), original.begin() + s * kSectorSize)) {
        continue;
      }
    } else if (AllZero(sector)) {
      continue;
    }
    return PageState::kChanged;
  }
  return PageState::kTorn;
}

std::span<const uint8_t> OriginalOf(const JournalExamination& e, size_t index_among_existing) {
  if (e.journal.state != JournalState::kWhole) return {};
  return e.journal.originals.subspan(index_among_existing * kPageSize, kPageSize);
}

void CompareWithDataFile(const OsFile& data, JournalExamination& e) {
  const JournalHeader& h = e.journal.header;
  const uint64_t old_end = uint64_t{h.original_page_count} * kPageSize;
  const uint64_t new_end = uint64_t{h.new_page_count} * kPageSize;
  e.file_size = data.Size();
  if (e.file_size < old_end || e.file_size > std::max(old_end, new_end)) {
    e.verdict = JournalVerdict::kFileChanged;
    e.first_changed_page = std::min(e.file_size, old_end) / kPageSize;
    return;
  }
  std::vector<uint8_t> buffer(kPageSize);
  size_t existing = 0;
  bool needs_originals = false;
  for (const JournalPage& p : e.journal.pages) {
    const uint64_t at = uint64_t{p.page} * kPageSize;
    size_t have = at >= e.file_size
                      ? 0
                      : static_cast<size_t>(std::min<uint64_t>(kPageSize, e.file_size - at));
    std::span<uint8_t> now(buffer.data(), have);
    if (have > 0) data.ReadAt(at, now);
    std::span<const uint8_t> original =
        p.existed ? OriginalOf(e, existing) : std::span<const uint8_t>{};
    if (p.existed) ++existing;
    switch (Classify(p, now, original)) {
      case PageState::kOriginal:
        ++e.original_pages;
        break;
      case PageState::kBoth:
        ++e.original_pages;
        ++e.new_pages;
        break;
      case PageState::kNew:
        ++e.new_pages;
        needs_originals |= p.existed;
        break;
      case PageState::kTorn:
        ++e.torn_pages;
        needs_originals |= p.existed;
        break;
      case PageState::kAbsent:
        ++e.absent_pages;
        break;
      case PageState::kChanged:
        if (!e.first_changed_page) e.first_changed_page = p.page;
        break;
    }
  }
  if (e.first_changed_page) {
    // Without intact originals a torn page cannot be told from a page written since.
    e.verdict = e.journal.state == JournalState::kWhole ? JournalVerdict::kFileChanged
                                                        : JournalVerdict::kNoOriginals;
    return;
  }
  const size_t listed = e.journal.pages.size();
  if (e.file_size == old_end && e.original_pages + e.absent_pages == listed) {
    e.verdict = JournalVerdict::kUntouched;
  } else if (e.file_size == std::max(old_end, new_end) && e.new_pages == listed) {
    e.verdict = JournalVerdict::kComplete;
  } else if (needs_originals && e.journal.state != JournalState::kWhole) {
    e.verdict = JournalVerdict::kNoOriginals;
  } else {
    e.verdict = JournalVerdict::kTorn;
  }
}

}  // namespace

bool JournalExamination::Settles() const {
  switch (verdict) {
    case JournalVerdict::kNone:
    case JournalVerdict::kEmpty:
    case JournalVerdict::kUntouched:
    case JournalVerdict::kComplete:
    case JournalVerdict::kTorn:
      return true;
    default:
      return false;
  }
}

JournalExamination ExamineJournal(const OsFile& data) {
  JournalExamination e;
  e.journal_path = JournalPathFor(data.path());
  if (!JournalExists(data.path())) return e;
  {
    OsFile journal(e.journal_path, OsFile::Access::kRead, OsFile::Lock::kNone);
    e.bytes.resize(journal.Size());
    if (!e.bytes.empty()) journal.ReadAt(0, e.bytes);
  }
  e.journal = DecodeJournal(e.bytes);
  switch (e.journal.state) {
    case JournalState::kEmpty:
      e.verdict = JournalVerdict::kEmpty;
      return e;
    case JournalState::kNotOurs:
      e.verdict = JournalVerdict::kNotOurs;
      return e;
    case JournalState::kOlderVersion:
      e.verdict = JournalVerdict::kOlderVersion;
      return e;
    case JournalState::kHeaderUnreadable:
    case JournalState::kPagesUnreadable:
      e.verdict = JournalVerdict::kUnreadable;
      return e;
    case JournalState::kOriginalsUnreadable:
    case JournalState::kWhole:
      break;
  }
  // Whose journal: the data file's own header says.
  e.file_size = data.Size();
  PageBuffer first{};
  bool same = false;
  if (e.file_size >= kPageSize) {
    data.ReadAt(0, first);
    ByteView page0(first.data(), first.size());
    same = DetectFormat(page0) == FileFormat::kJet4 &&
           IdentityOf(DecodeDatabaseHeader(page0)) == e.journal.header.identity;
  }
  if (!same) {
    e.verdict = JournalVerdict::kOtherDatabase;
    return e;
  }
  CompareWithDataFile(data, e);
  return e;
}

namespace {

void RemoveJournal(const std::filesystem::path& journal_path) {
  // Emptied and flushed first, so that a removal a power cut undoes brings back an empty
  // journal, which is dropped, rather than one that is examined again.
  {
    OsFile journal(journal_path, OsFile::Access::kReadWrite, OsFile::Lock::kNone);
    journal.Truncate(0);
    journal.Sync();
  }
  RemoveFile(journal_path);
}

}  // namespace

void SettleJournal(OsFile& data, const JournalExamination& e) {
  if (e.verdict == JournalVerdict::kNone) return;
  if (!e.Settles()) throw JetError(Problem::kUnexpected, {.detail = "journal does not settle"});
  if (e.verdict == JournalVerdict::kEmpty) {
    RemoveFile(e.journal_path);
    return;
  }
  if (e.verdict == JournalVerdict::kTorn) {
    std::vector<uint8_t> buffer(kPageSize);
    size_t existing = 0;
    for (const JournalPage& p : e.journal.pages) {
      if (!p.existed) continue;
      std::span<const uint8_t> original = OriginalOf(e, existing++);
      std::span<uint8_t> now(buffer.data(), kPageSize);
      data.ReadAt(uint64_t{p.page} * kPageSize, now);
      if (PageChecksum(p.page, now) == p.original_checksum &&
          std::equal(now.begin(), now.end(), original.begin())) {
        continue;
      }
      data.WriteAt(uint64_t{p.page} * kPageSize, original);
    }
    data.Truncate(uint64_t{e.journal.header.original_page_count} * kPageSize);
  }
  // What the file holds now may still be only in the system's cache: make it durable before
  // the journal that could restore it goes.
  data.Sync();
  RemoveJournal(e.journal_path);
}

void DiscardJournal(OsFile& data, const JournalExamination& e) {
  switch (e.verdict) {
    case JournalVerdict::kNone:
      return;
    case JournalVerdict::kNotOurs:
      ThrowJournalRefused(data.path(), e);
    default:
      break;
  }
  RemoveJournal(e.journal_path);
}

void ThrowJournalRefused(const std::filesystem::path& database, const JournalExamination& e) {
  Problem problem = Problem::kJournalUnreadable;
  switch (e.verdict) {
    case JournalVerdict::kNotOurs:
      problem = Problem::kJournalNotOurs;
      break;
    case JournalVerdict::kOlderVersion:
    case JournalVerdict::kUnreadable:
      problem = Problem::kJournalUnreadable;
      break;
    case JournalVerdict::kOtherDatabase:
      problem = Problem::kJournalOtherDatabase;
      break;
    case JournalVerdict::kFileChanged:
      problem = Problem::kJournalFileChanged;
      break;
    case JournalVerdict::kNoOriginals:
      problem = Problem::kJournalNoOriginals;
      break;
    default:
      throw JetError(Problem::kUnexpected, {.detail = "journal settles"});
  }
  throw JetError(problem, {.file = base::PathToUtf8(database),
                           .name = base::PathToUtf8(e.journal_path),
                           .page = e.first_changed_page});
}

}  // namespace jet

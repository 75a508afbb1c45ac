#include "jet/file/pager.h"

#include <ctime>
#include <optional>
#include <random>
#include <string>

#include "base/utf8_path.h"
#include "jet/error.h"
#include "jet/file/journal.h"
#include "jet/format/rc4.h"
#include "jet/format/row_pointer.h"

namespace jet {
namespace {

// Settles a journal a crash (or anything else) left beside the file, before anyone reads
// it: rolls back what provably is our own unfinished commit, refuses everything else.
void RecoverIfNeeded(const std::filesystem::path& path) {
  if (!JournalExists(path)) return;
  std::optional<OsFile> file;
  try {
    file.emplace(path, OsFile::Access::kReadWrite, OsFile::Lock::kExclusive);
  } catch (const JetError& e) {
    if (e.kind() == ErrorKind::kInUse || e.kind() == ErrorKind::kNotFound) throw;
    // Cannot write it: say why the journal is there all the same.
    OsFile readable(path, OsFile::Access::kRead, OsFile::Lock::kShared);
    JournalExamination seen = ExamineJournal(readable);
    if (!seen.Settles()) ThrowJournalRefused(path, seen);
    throw JetError(Problem::kRecoveryFailed, {.file = base::PathToUtf8(path), .detail = e.what()});
  }
  JournalExamination seen = ExamineJournal(*file);
  if (!seen.Settles()) ThrowJournalRefused(path, seen);
  try {
    SettleJournal(*file, seen);
  } catch (const JetError& e) {
    throw JetError(Problem::kRecoveryFailed, {.file = base::PathToUtf8(path), .detail = e.what()});
  }
}

OsFile OpenDataFile(const std::filesystem::path& path, Pager::Mode mode) {
  if (mode == Pager::Mode::kReadWrite) {
    // Honour the read-only attribute even where the OS would let us (as root, say).
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::perms perms = fs::status(path, ec).permissions();
    constexpr fs::perms kAnyWrite =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    if (!ec && fs::exists(path, ec) && (perms & kAnyWrite) == fs::perms::none) {
      throw JetError(Problem::kFileReadOnly, {.file = base::PathToUtf8(path)});
    }
    return OsFile(path, OsFile::Access::kReadWrite, OsFile::Lock::kExclusive);
  }
  return OsFile(path, OsFile::Access::kRead, OsFile::Lock::kShared);
}

}  // namespace

Pager::Pager(const std::filesystem::path& path, Mode mode)
    : file_((RecoverIfNeeded(path), OpenDataFile(path, mode))), mode_(mode) {
  uint64_t size = file_.Size();
  PageBuffer first{};
  if (size < 0x20) {
    throw JetError(Problem::kNotJet, {.file = base::PathToUtf8(path)});
  }
  file_.ReadAt(0, std::span<uint8_t>(first.data(), size < kPageSize ? size : kPageSize));
  switch (DetectFormat(ByteView(first.data(), first.size()))) {
    case FileFormat::kJet4:
      break;
    case FileFormat::kJet3:
      throw JetError(Problem::kJet3, {.file = base::PathToUtf8(path)});
    case FileFormat::kAce:
      throw JetError(Problem::kAce, {.file = base::PathToUtf8(path)});
    case FileFormat::kUnknown:
      throw JetError(Problem::kNotJet, {.file = base::PathToUtf8(path)});
  }
  if (size < 3 * kPageSize)
    ThrowCorrupt(Problem::kDamagedTooShort, {.file = base::PathToUtf8(path)});
  // Row pointers name pages in 24 bits (doc/jet4-format.md §1): no file of ours is larger.
  if (size > uint64_t{RowPointer::kMaxPageCount} * kPageSize) {
    ThrowCorrupt(Problem::kDamagedTooLarge, {.file = base::PathToUtf8(path)});
  }
  // Jet always writes whole pages: a file that ends inside one was cut short (an interrupted
  // copy), and its last pages, which its tables may still list, are gone.
  if (size % kPageSize != 0)
    ThrowCorrupt(Problem::kDamagedFileEnd, {.file = base::PathToUtf8(path)});
  page_count_ = static_cast<uint32_t>(size / kPageSize);
  header_ = DecodeDatabaseHeader(ByteView(first.data(), first.size()));
  Remember(0, std::make_shared<PageBuffer>(first));
}

Pager::~Pager() = default;

void Pager::ThrowIfPoisoned() const {
  if (poisoned_) {
    throw JetError(Problem::kNotRestored, {.file = base::PathToUtf8(path())});
  }
}

PinnedView Pager::Page(uint32_t n, Use use) {
  if (in_transaction_) {
    auto d = dirty_.find(n);
    if (d != dirty_.end()) return PinnedView(d->second);
  }
  auto it = cache_.find(n);
  if (it != cache_.end()) {
    recency_.splice(recency_.begin(), recency_, it->second.recency);
    return PinnedView(it->second.buffer);
  }
  ThrowIfPoisoned();
  if (n >= page_count_) {
    ThrowCorrupt(Problem::kDamagedPagePastEnd,
                 {.file = base::PathToUtf8(path()), .page = n, .number = page_count_});
  }
  auto buffer = std::make_shared<PageBuffer>();
  file_.ReadAt(uint64_t{n} * kPageSize, *buffer);
  bytes_read_ += kPageSize;
  if (header_.database_key != 0 && n != 0) ApplyPageCipher(header_.database_key, n, *buffer);
  PinnedView view(buffer);
  if (use == Use::kKeep) {
    Remember(n, std::move(buffer));
    TrimCache();
  }
  return view;
}

void Pager::Remember(uint32_t n, std::shared_ptr<PageBuffer> buffer) {
  auto it = cache_.find(n);
  if (it != cache_.end()) {
    it->second.buffer = std::move(buffer);
    recency_.splice(recency_.begin(), recency_, it->second.recency);
    return;
  }
  recency_.push_front(n);
  cache_.emplace(n, CachedPage{std::move(buffer), recency_.begin()});
}

void Pager::TrimCache() {
  while (cache_.size() > kPageCachePages) {
    // Whoever still holds the page keeps its buffer; the cache only lets go of it.
    cache_.erase(recency_.back());
    recency_.pop_back();
  }
}

void Pager::Begin() {
  if (mode_ != Mode::kReadWrite) {
    throw JetError(Problem::kFileReadOnly, {.file = base::PathToUtf8(path())});
  }
  if (in_transaction_) throw JetError(Problem::kInternalTransactionOpen);
  ThrowIfPoisoned();
  in_transaction_ = true;
  committed_page_count_ = page_count_;
}

std::span<uint8_t> Pager::Modify(uint32_t n) {
  if (!in_transaction_) throw JetError(Problem::kInternalNoTransaction);
  // Its savepoint record, if it needs one, was made by that earlier call.
  if (last_modified_buffer_ != nullptr && n == last_modified_) return *last_modified_buffer_;
  auto d = dirty_.find(n);
  if (!savepoints_.empty()) {
    SavepointState& sp = savepoints_.back();
    if (n < sp.page_count && !sp.before.contains(n)) {
      std::unique_ptr<PageBuffer> before;
      if (d != dirty_.end()) before = std::make_unique<PageBuffer>(*d->second);
      sp.before.emplace(n, std::move(before));
    }
  }
  if (d != dirty_.end()) {
    last_modified_ = n;
    last_modified_buffer_ = d->second.get();
    return *d->second;
  }
  PinnedView current = Page(n);  // bounds-checked
  auto copy = std::make_shared<PageBuffer>();
  std::copy(current.data(), current.data() + kPageSize, copy->begin());
  // The transaction's copy is the page from now on; the cache's would only be a second copy.
  if (auto it = cache_.find(n); it != cache_.end()) {
    recency_.erase(it->second.recency);
    cache_.erase(it);
  }
  last_modified_ = n;
  last_modified_buffer_ = copy.get();
  return *dirty_.emplace(n, std::move(copy)).first->second;
}

uint32_t Pager::Append() {
  if (!in_transaction_) throw JetError(Problem::kInternalNoTransaction);
  if (page_count_ >= RowPointer::kMaxPageCount)
    throw JetError(Problem::kDatabaseFull, {.file = base::PathToUtf8(path())});
  uint32_t n = page_count_++;
  dirty_.emplace(n, std::make_shared<PageBuffer>());
  return n;
}

void Pager::Rollback() {
  last_modified_buffer_ = nullptr;
  dirty_.clear();
  savepoints_.clear();
  page_count_ = in_transaction_ ? committed_page_count_ : page_count_;
  in_transaction_ = false;
}

void Pager::PrepareJournal() {
  if (mode_ != Mode::kReadWrite) {
    throw JetError(Problem::kFileReadOnly, {.file = base::PathToUtf8(path())});
  }
  if (!journal_) journal_ = std::make_unique<Journal>(path());
  journal_->Create();
}

void Pager::Savepoint() {
  last_modified_buffer_ = nullptr;
  if (!in_transaction_) throw JetError(Problem::kInternalNoTransaction);
  savepoints_.push_back(SavepointState{page_count_, {}});
}

void Pager::ReleaseSavepoint() {
  last_modified_buffer_ = nullptr;
  if (savepoints_.empty()) throw JetError(Problem::kInternalNoSavepoint);
  SavepointState inner = std::move(savepoints_.back());
  savepoints_.pop_back();
  if (savepoints_.empty()) return;
  // The enclosing savepoint must still be able to undo what the inner one recorded. A page
  // the outer one has no record of was unchanged between the two, so the inner record is
  // also its state at the outer savepoint.
  SavepointState& outer = savepoints_.back();
  for (auto& [n, before] : inner.before) {
    if (n < outer.page_count && !outer.before.contains(n))
      outer.before.emplace(n, std::move(before));
  }
}

void Pager::RollbackToSavepoint() {
  last_modified_buffer_ = nullptr;
  if (savepoints_.empty()) throw JetError(Problem::kInternalNoSavepoint);
  SavepointState sp = std::move(savepoints_.back());
  savepoints_.pop_back();
  dirty_.erase(dirty_.lower_bound(sp.page_count), dirty_.end());
  page_count_ = sp.page_count;
  for (auto& [n, before] : sp.before) {
    if (before) {
      dirty_[n] = std::shared_ptr<PageBuffer>(std::move(before));
    } else {
      dirty_.erase(n);
    }
  }
}

void Pager::WriteDirtyPages() {
  // Runs of consecutive pages go out in one write each (a bulk copy appends thousands of
  // pages in a row), at most kRunPages at a time.
  constexpr size_t kRunPages = 256;
  std::vector<uint8_t> run;
  run.reserve(kRunPages * kPageSize);
  uint32_t run_start = 0;
  auto flush = [&] {
    if (run.empty()) return;
    file_.WriteAt(uint64_t{run_start} * kPageSize, run);
    bytes_written_ += run.size();
    run.clear();
  };
  for (const auto& [n, page] : dirty_) {
    if (!run.empty() &&
        (n != run_start + run.size() / kPageSize || run.size() == kRunPages * kPageSize)) {
      flush();
    }
    if (run.empty()) run_start = n;
    size_t at = run.size();
    run.insert(run.end(), page->begin(), page->end());
    if (header_.database_key != 0 && n != 0) {
      ApplyPageCipher(header_.database_key, n, std::span<uint8_t>(run.data() + at, kPageSize));
    }
  }
  flush();
}

// The page as the data file will hold it: ciphered when the database encodes its pages.
void Pager::DiskImage(uint32_t n, const PageBuffer& page, std::span<uint8_t> out) const {
  std::copy(page.begin(), page.end(), out.begin());
  if (header_.database_key != 0 && n != 0) ApplyPageCipher(header_.database_key, n, out);
}

std::vector<uint8_t> Pager::JournalFor(std::vector<uint8_t>& originals) {
  JournalHeader h;
  h.original_page_count = committed_page_count_;
  h.new_page_count = page_count_;
  h.nonce = (uint64_t{std::random_device{}()} << 32) ^ std::random_device{}();
  h.written_at = static_cast<int64_t>(std::time(nullptr));
  h.identity = IdentityOf(header_);
  h.database_name = base::PathToUtf8(path().filename());
  std::vector<JournalPage> pages;
  pages.reserve(dirty_.size());
  PageBuffer image;
  for (const auto& [n, page] : dirty_) {
    JournalPage p;
    p.page = n;
    p.existed = n < committed_page_count_;
    if (p.existed) {
      size_t at = originals.size();
      originals.resize(at + kPageSize);
      std::span<uint8_t> original(originals.data() + at, kPageSize);
      file_.ReadAt(uint64_t{n} * kPageSize, original);
      p.original_checksum = PageChecksum(n, original);
    }
    DiskImage(n, *page, image);
    p.new_sectors = SectorChecksums(n, image);
    pages.push_back(p);
  }
  return EncodeJournal(h, pages, originals);
}

void Pager::UndoInPlace(const std::vector<uint8_t>& originals) {
  size_t k = 0;
  for (const auto& [n, page] : dirty_) {
    if (n >= committed_page_count_) break;
    file_.WriteAt(uint64_t{n} * kPageSize,
                  std::span<const uint8_t>(originals.data() + k++ * kPageSize, kPageSize));
  }
  file_.Truncate(uint64_t{committed_page_count_} * kPageSize);
  file_.Sync();
  journal_->Clear();
}

void Pager::Commit() {
  last_modified_buffer_ = nullptr;
  if (!in_transaction_) throw JetError(Problem::kInternalNoTransaction);
  savepoints_.clear();
  if (dirty_.empty()) {
    in_transaction_ = false;
    return;
  }
  if (!journal_) journal_ = std::make_unique<Journal>(path());
  // Originals of every existing page about to change, exactly as on disk.
  std::vector<uint8_t> originals;
  try {
    journal_->Write(JournalFor(originals));
  } catch (...) {
    // The data file is untouched. An emptied journal says so at once; should even that
    // fail, the journal still lists the pages, and the next open finds them unchanged.
    try {
      journal_->Clear();
    } catch (...) {
    }
    Rollback();
    throw;
  }
  try {
    WriteDirtyPages();
    file_.Sync();
    journal_->Clear();  // the commit point
  } catch (...) {
    // Put the originals back now; if that fails too, the next open finds the hot journal.
    try {
      UndoInPlace(originals);
    } catch (...) {
      poisoned_ = true;
    }
    cache_.clear();
    recency_.clear();
    Rollback();
    throw;
  }
  for (auto& [n, page] : dirty_) Remember(n, std::move(page));
  dirty_.clear();
  in_transaction_ = false;
  TrimCache();
}

}  // namespace jet

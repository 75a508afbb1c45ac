// The pager: the only way the engine reaches the data file's pages.
//
// It reads page 0, decodes the header, and hands out decoded pages (page cipher removed)
// from a cache, checking every page number against the file's size (page encoding:
// doc/jet4-format.md §1.2). The cache holds at most
// kPageCachePages pages the file already has, dropping the least recently used; a caller
// keeps the page it reads alive through the PinnedView it gets, so nothing it holds is freed
// under it. Writes happen inside a
// transaction: Modify() gives a private copy of a page, Append() a new page at the end of
// the file; reads inside the transaction see those copies. Commit() makes them durable
// through the rollback journal (see journal.h); Rollback() drops them, leaving the file as
// it was. Savepoints mark a point inside a transaction that it can be rolled back to (one
// failed statement of several, a nested transaction); they never touch the file. A writable pager
// holds an exclusive lock on the file for its whole life; a read-only one holds a shared lock, so
// nobody writes under it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <list>
#include <map>
#include <memory>
#include <span>
#include <unordered_map>
#include <vector>

#include "jet/file/journal.h"
#include "jet/file/os_file.h"
#include "jet/file/pinned_view.h"
#include "jet/format/bytes.h"
#include "jet/format/database_header.h"
#include "jet/format/page_size.h"

namespace jet {

// What the pager keeps of pages it has read and nobody changes: enough for a table's usage
// maps, definition and index levels to stay in memory during a scan or a bulk copy, small
// enough that reading a file of any size stays within a few tens of megabytes.
// (A build may set JET_PAGE_CACHE_PAGES to test with a tiny cache.)
#ifdef JET_PAGE_CACHE_PAGES
inline constexpr size_t kPageCachePages = JET_PAGE_CACHE_PAGES;
#else
inline constexpr size_t kPageCachePages = (size_t{16} << 20) / kPageSize;
#endif

class Pager {
 public:
  enum class Mode { kReadOnly, kReadWrite };

  // Opens a Jet 4 file, first rolling back a transaction a crash left unfinished. Throws
  // kUnsupported for Jet 3, ACE and unknown files, kCorrupt when the file is too short,
  // kInUse when another connection holds it, kReadOnly when a write is asked of a file
  // that is marked read-only or cannot be written.
  Pager(const std::filesystem::path& path, Mode mode);
  Pager(const Pager&) = delete;
  Pager& operator=(const Pager&) = delete;
  ~Pager();

  const DatabaseHeader& header() const { return header_; }
  uint32_t page_count() const { return page_count_; }
  Mode mode() const { return mode_; }
  const std::filesystem::path& path() const { return file_.path(); }

  // The decoded bytes of page `n` (the transaction's copy if it has one), valid while the
  // view is held. A change made later through Modify() shows in a view of the transaction's
  // copy; a view taken before the page's first change keeps the bytes as they were then.
  // Throws kCorrupt when n is past the end of the file.
  //
  // `once` says the caller reads the page once and moves on (a table scan's data pages): such
  // a page is not kept in the cache unless it was there already, so a scan of a large table
  // does not push out the pages every statement needs (usage maps, definitions, index levels).
  enum class Use { kKeep, kOnce };
  PinnedView Page(uint32_t n, Use use = Use::kKeep);

  // --- Transactions ---
  // REQUIRES: a writable pager with no transaction open.
  void Begin();
  bool in_transaction() const { return in_transaction_; }
  // A writable copy of page `n` for the transaction.
  std::span<uint8_t> Modify(uint32_t n);
  // A new zero-filled page at the end of the file; returns its number.
  uint32_t Append();
  // Makes the transaction's pages durable. On failure the file is restored (or, if even
  // that fails, left to be restored from the journal at the next open) and the error thrown.
  void Commit();
  // Drops the transaction's pages; the file was never touched.
  void Rollback();
  // Proves that a commit could begin: the file is open for writing and its journal can be
  // created beside it (it is, empty, and kept for the first commit). Throws JetError.
  void PrepareJournal();

  // --- Savepoints, innermost last ---
  // REQUIRES: a transaction is open. Marks the transaction's current state.
  void Savepoint();
  // Forgets the innermost savepoint, keeping every change made since it.
  void ReleaseSavepoint();
  // Undoes every change made since the innermost savepoint, then forgets it.
  void RollbackToSavepoint();
  size_t savepoint_depth() const { return savepoints_.size(); }

  // Figures for benchmarks and tests.
  uint64_t bytes_read() const { return bytes_read_; }
  uint64_t bytes_written() const { return bytes_written_; }
  size_t cached_pages() const { return cache_.size(); }
  size_t dirty_pages() const { return dirty_.size(); }

 private:
  // A page read from the file, and its place in the recency list.
  struct CachedPage {
    std::shared_ptr<PageBuffer> buffer;
    std::list<uint32_t>::iterator recency;
  };

  void Remember(uint32_t n, std::shared_ptr<PageBuffer> buffer);
  void TrimCache();
  void WriteDirtyPages();
  void DiskImage(uint32_t n, const PageBuffer& page, std::span<uint8_t> out) const;
  // The journal of the open transaction; fills `originals` with the bytes it overwrites.
  std::vector<uint8_t> JournalFor(std::vector<uint8_t>& originals);
  // After a failed write of the data file: puts `originals` back and empties the journal.
  void UndoInPlace(const std::vector<uint8_t>& originals);
  // After a failed commit that could not be undone in place, the file's pages may be a mix
  // until the journal is rolled back by the next open: refuse to read or write them.
  void ThrowIfPoisoned() const;

  OsFile file_;
  Mode mode_;
  DatabaseHeader header_;
  uint32_t page_count_ = 0;
  std::unordered_map<uint32_t, CachedPage> cache_;
  std::list<uint32_t> recency_;  // cached page numbers, most recently used first
  // Declared after file_, so it goes first: the empty journal is removed while the file's
  // lock is still held, never under another connection that has just opened it.
  std::unique_ptr<Journal> journal_;
  bool in_transaction_ = false;
  bool poisoned_ = false;  // a failed commit could not be undone in place
  uint32_t committed_page_count_ = 0;
  // The transaction's pages (never in cache_ at the same time); ordered: written in page order.
  std::map<uint32_t, std::shared_ptr<PageBuffer>> dirty_;
  // The page Modify() returned last, while nothing since can have changed what a second
  // Modify() of it must do (no savepoint taken, released or rolled back, no commit or
  // rollback): a bulk insert modifies the same data page row after row.
  uint32_t last_modified_ = 0;
  PageBuffer* last_modified_buffer_ = nullptr;

  // What a savepoint needs to undo: the page count when it was taken, and the state of each
  // older page before its first change since then (null: the page was not dirty yet). Pages
  // appended since need no record; they are simply dropped.
  struct SavepointState {
    uint32_t page_count = 0;
    std::unordered_map<uint32_t, std::unique_ptr<PageBuffer>> before;
  };
  std::vector<SavepointState> savepoints_;
  uint64_t bytes_read_ = 0;
  uint64_t bytes_written_ = 0;
};

}  // namespace jet

// Crash safety of a commit: whatever moment a crash (or a torn write) hits, the file that the
// next open leaves behind is byte for byte either the state before the transaction or the
// state after it. Faults are injected through the I/O hook at every write and flush of a
// commit (or a spread of them), and real crashes are made by killing a child process in the
// middle of its commit. A crash that cuts the journal short where it lists its pages leaves
// the file as before, and the open refuses it until the journal is settled. Also: a hot
// journal is rolled back by any open, a read-only one included, and a journal that does not
// match the file is refused with both files left as they are.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "jet/error.h"
#include "jet/file/journal.h"
#include "jet/file/os_file.h"
#include "jet/table/database.h"
#include "jet/table/database_creator.h"
#include "jet/table/schema_change.h"
#include "jet/table/table.h"
#include "jet/table/table_writer.h"
#include "tests/file/volatile_disk.h"
#include "tests/table/write_test_helpers.h"
#include "tests/test_support.h"

namespace {

using jet::ColumnType;
using jet::Database;
using jet::NewColumn;
using jet::NewIndex;
using jet::Pager;
using jet::Transaction;
using jet::Value;
using testing_support::ReadBytes;
using testing_support::RunCommand;
using testing_support::ScratchDir;
using testing_support::ShellQuote;
using testing_support::WriteBytes;
using namespace write_test;
namespace fs = std::filesystem;

using Bytes = std::vector<uint8_t>;

// The table the transactions write to: autonumber key, an indexed text column, a memo.
void CreateLogTable(Database& db) {
  NewColumn id{"ID", ColumnType::kLong};
  id.autonumber = true;
  NewColumn name{"Name", ColumnType::kText, 50};
  NewColumn body{"Body", ColumnType::kMemo};
  Transaction t(db);
  jet::CreateTable(db, "Log", {id, name, body},
                   {NewIndex{"PrimaryKey", {{"ID", true}}, true, true, false},
                    NewIndex{"NameIdx", {{"Name", true}}, false, false, false}});
  t.Commit();
}

std::vector<Value> LogRow(std::mt19937& rng, int i) {
  std::string body = i % 10 == 0  ? ChineseText(rng, 2500 + rng() % 2500)  // a chain of LVAL rows
                     : i % 3 == 0 ? AsciiText(rng, 200 + rng() % 1500)     // one LVAL row
                                  : AsciiText(rng, rng() % 30);            // inline
  return {Null(), Text(AsciiText(rng, 1 + rng() % 40)), Text(body)};
}

// The transaction under test, deterministic so two runs write the same bytes: it rewrites
// existing pages (deletes, the definition, index leaves, usage maps) and appends new ones.
void RunTransaction(Database& db, int rows, const std::function<void()>& before_commit = nullptr) {
  std::mt19937 rng(4242);
  auto stored = ReadById(db, "Log", "ID");
  Transaction t(db);
  jet::TableWriter w(db, DefinitionPageOf(db, "Log"), "Log");
  int n = 0;
  for (const auto& [id, row] : stored) {
    if (n++ % 4 == 0) w.Delete(row.where);
  }
  for (int i = 0; i < rows; ++i) w.Insert(LogRow(rng, i));
  w.Finish();
  if (before_commit) before_commit();
  t.Commit();
}

// Counts the hooked operations, remembering the size of each write (0 for any other
// operation). From operation `fail_from` on it fails them all (a crash: the process is gone),
// letting `torn(size)` bytes of the first failed write through.
class CrashHook : public jet::IoFaultHook {
 public:
  using Torn = size_t (*)(size_t size);
  static size_t Nothing(size_t) { return 0; }
  static size_t Half(size_t size) { return size / 2; }
  static size_t PastAPage(size_t size) { return std::min<size_t>(size - 1, 4096 + 17); }

  explicit CrashHook(size_t fail_from = SIZE_MAX, Torn torn = Nothing)
      : fail_from_(fail_from), torn_(torn) {}
  size_t BeforeWrite(const fs::path&, uint64_t, std::span<const uint8_t> data) override {
    size_t op = ops_.size();
    ops_.push_back(data.size());
    if (op < fail_from_) return data.size();
    return op == fail_from_ ? torn_(data.size()) : 0;
  }
  bool BeforeOperation(const fs::path&, jet::IoOperation kind, uint64_t) override {
    size_t op = ops_.size();
    ops_.push_back(kind == jet::IoOperation::kFlushDirectory ? kDirectoryFlush : 0);
    return op < fail_from_;
  }
  // A directory flush cannot fail visibly: on a disk that keeps what it is given, a crash
  // there is the same as a crash at the next operation.
  static constexpr size_t kDirectoryFlush = SIZE_MAX;
  const std::vector<size_t>& ops() const { return ops_; }

 private:
  std::vector<size_t> ops_;
  size_t fail_from_;
  Torn torn_;
};

// Only operation `fail_at` fails (a transient error); everything after it succeeds, so the
// pager can put the originals back at once.
class TransientHook : public jet::IoFaultHook {
 public:
  explicit TransientHook(size_t fail_at) : fail_at_(fail_at) {}
  size_t BeforeWrite(const fs::path&, uint64_t, std::span<const uint8_t> data) override {
    return ops_++ == fail_at_ ? data.size() / 2 : data.size();
  }
  bool BeforeOperation(const fs::path&, jet::IoOperation, uint64_t) override {
    return ops_++ != fail_at_;
  }

 private:
  size_t ops_ = 0;
  size_t fail_at_;
};

class HookGuard {
 public:
  explicit HookGuard(jet::IoFaultHook* hook) { jet::SetIoFaultHook(hook); }
  ~HookGuard() { jet::SetIoFaultHook(nullptr); }
};

// The two acceptable outcomes of the transaction, and the file it starts from.
class CrashSafety : public testing::Test {
 protected:
  static constexpr int kInitialRows = 200;
  static int TransactionRows() { return kSanitized ? 150 : 300; }

  static void SetUpTestSuite() {
    dir_ = new ScratchDir();
    base_ = dir_->path() / "base.mdb";
    jet::CreateDatabase(base_, "");
    {
      auto db = Database::Open(base_, "", Pager::Mode::kReadWrite);
      CreateLogTable(*db);
      std::mt19937 rng(7);
      Transaction t(*db);
      jet::TableWriter w(*db, DefinitionPageOf(*db, "Log"), "Log");
      for (int i = 0; i < kInitialRows; ++i) w.Insert(LogRow(rng, i));
      w.Finish();
      t.Commit();
    }
    pre_ = new Bytes(ReadBytes(base_));
    fs::path ref = dir_->path() / "reference.mdb";
    fs::copy_file(base_, ref);
    {
      auto db = Database::Open(ref, "", Pager::Mode::kReadWrite);
      RunTransaction(*db, TransactionRows());
    }
    post_ = new Bytes(ReadBytes(ref));
  }

  static void TearDownTestSuite() {
    delete pre_;
    delete post_;
    delete dir_;
  }

  // A fresh copy of the starting state alone in a directory of its own, for VolatileDisk.
  fs::path FreshCopyAlone(const std::string& name) {
    fs::path d = dir_->path() / name;
    fs::remove_all(d);
    fs::create_directories(d);
    WriteBytes(d / "data.mdb", *pre_);
    return d / "data.mdb";
  }

  fs::path FreshCopy(const std::string& name) {
    fs::path p = dir_->path() / name;
    fs::remove(p);
    fs::remove(jet::JournalPathFor(p));
    WriteBytes(p, *pre_);
    return p;
  }

  // Opens `path` (recovering it) and closes it again.
  static void Reopen(const fs::path& path, Pager::Mode mode = Pager::Mode::kReadWrite) {
    auto db = Database::Open(path, "", mode);
  }

  // Reopens after a crash. A crash that cut the journal short where it lists its pages is
  // refused until settled: then the file must be exactly as before, and the administrator's
  // discard (what `jetdb journal` does) leaves it so. Returns true for that outcome.
  static bool ReopenAfterCrash(const fs::path& path) {
    try {
      Reopen(path);
      return false;
    } catch (const jet::JetError& e) {
      EXPECT_EQ(e.problem(), jet::Problem::kJournalUnreadable) << e.what();
      EXPECT_EQ(ReadBytes(path), *pre_) << "a refused file must be as before the commit";
      jet::OsFile file(path, jet::OsFile::Access::kReadWrite, jet::OsFile::Lock::kExclusive);
      jet::DiscardJournal(file, jet::ExamineJournal(file));
    }
    Reopen(path);
    return true;
  }

  // The operations of an undisturbed commit, as a CrashHook counts them; the file it leaves
  // must be the committed state.
  void CountCommit(std::vector<size_t>* ops) {
    fs::path p = FreshCopy("count.mdb");
    CrashHook counter;
    {
      auto db = Database::Open(p, "", Pager::Mode::kReadWrite);
      HookGuard guard(&counter);
      RunTransaction(*db, TransactionRows());
    }
    *ops = counter.ops();
    ASSERT_EQ(Outcome(p), "post");
  }

  // "pre", "post", or a description of the mismatch.
  static std::string Outcome(const fs::path& path) {
    Bytes now = ReadBytes(path);
    if (now == *pre_) return "pre";
    if (now == *post_) return "post";
    size_t first = 0;
    const Bytes& closer = now.size() == post_->size() ? *post_ : *pre_;
    while (first < now.size() && first < closer.size() && now[first] == closer[first]) ++first;
    return "neither (size " + std::to_string(now.size()) + ", pre " + std::to_string(pre_->size()) +
           ", post " + std::to_string(post_->size()) + ", first difference at page " +
           std::to_string(first / 4096) + ")";
  }

  static ScratchDir* dir_;
  static fs::path base_;
  static Bytes* pre_;
  static Bytes* post_;
};

ScratchDir* CrashSafety::dir_ = nullptr;
fs::path CrashSafety::base_;
Bytes* CrashSafety::pre_ = nullptr;
Bytes* CrashSafety::post_ = nullptr;

TEST_F(CrashSafety, ReferenceStatesAreConsistent) {
  ASSERT_NE(*pre_, *post_);
  ASSERT_GT(post_->size(), pre_->size()) << "the transaction should append pages";
  for (const Bytes* state : {pre_, post_}) {
    fs::path p = dir_->path() / "state.mdb";
    fs::remove(p);
    WriteBytes(p, *state);
    auto db = Database::Open(p, "");
    EXPECT_TRUE(IsClean(*db));
    auto rows = ReadById(*db, "Log", "ID");
    EXPECT_EQ(rows.size(), state == pre_
                               ? size_t{kInitialRows}
                               : size_t{kInitialRows} - kInitialRows / 4 + TransactionRows());
  }
}

// The points of a commit's `count` operations to fail at: all of them when few, otherwise the
// first and last few and an even spread between.
std::vector<size_t> FaultPoints(size_t count, size_t wanted) {
  std::set<size_t> points;
  if (count <= wanted) {
    for (size_t k = 0; k < count; ++k) points.insert(k);
  } else {
    for (size_t k = 0; k < 6; ++k) {
      points.insert(k);
      points.insert(count - 1 - k);
    }
    for (size_t i = 0; i < wanted; ++i) points.insert(i * (count - 1) / (wanted - 1));
  }
  return {points.begin(), points.end()};
}

TEST_F(CrashSafety, SimulatedCrashAtEveryStepOfACommit) {
  std::vector<size_t> ops;
  ASSERT_NO_FATAL_FAILURE(CountCommit(&ops));
  // Journal create, write, flush, directory flush; the data pages, the data flush, the
  // journal emptied and flushed.
  ASSERT_GT(ops.size(), 7u);
  ASSERT_EQ(ops[0], 0u) << "the journal is created first";
  ASSERT_GT(ops[1], 4096u) << "the journal is written in one piece";

  // The last write of the data file: from the operation after it (its flush) on, the file
  // holds everything the commit wrote.
  size_t last_data_write = 0;
  for (size_t k = 0; k < ops.size(); ++k) {
    if (ops[k] > 0 && ops[k] != CrashHook::kDirectoryFlush && k > 1) last_data_write = k;
  }
  size_t pre = 0, post = 0, runs = 0, refused = 0;
  for (size_t k : FaultPoints(ops.size(), kSanitized ? 30 : 60)) {
    if (ops[k] == CrashHook::kDirectoryFlush) continue;
    // A crash just before the k-th operation; for a write also one that tears it: half of
    // it, and for the journal's one large write also a cut just past a page boundary.
    std::vector<CrashHook::Torn> variants = {CrashHook::Nothing};
    if (ops[k] > 0) variants.push_back(CrashHook::Half);  // a write
    if (k == 1 && ops[k] > 4096 + 17) variants.push_back(CrashHook::PastAPage);
    for (size_t v = 0; v < variants.size(); ++v) {
      ++runs;
      fs::path p = FreshCopy("crash.mdb");
      CrashHook hook(k, variants[v]);
      {
        auto db = Database::Open(p, "", Pager::Mode::kReadWrite);
        HookGuard guard(&hook);
        EXPECT_THROW(RunTransaction(*db, TransactionRows()), jet::JetError) << "k=" << k;
      }
      if (ReopenAfterCrash(p)) ++refused;
      EXPECT_FALSE(fs::exists(jet::JournalPathFor(p))) << "k=" << k;
      std::string outcome = Outcome(p);
      if (outcome == "pre") {
        ++pre;
        EXPECT_LE(k, last_data_write) << "a crash after the data file's flush must keep the commit";
      } else if (outcome == "post") {
        ++post;
        EXPECT_GT(k, last_data_write) << "a crash before the data file was whole must roll back";
      } else {
        ADD_FAILURE() << "crash at operation " << k << " of " << ops.size() << " (variant " << v
                      << ") left " << outcome;
      }
    }
  }
  // Before the data file holds the whole commit, a crash rolls back; after, the commit stands
  // even though its commit point was lost, since the file is whole either way.
  EXPECT_GT(pre, 0u);
  EXPECT_GT(post, 0u);
  std::cout << runs << " simulated crashes over " << ops.size() << " operations: " << pre
            << " rolled back (" << refused << " refused until settled), " << post << " committed\n";
}

TEST_F(CrashSafety, TransientFailureIsUndoneInPlaceAndTheStatementCanBeRetried) {
  std::vector<size_t> ops;
  ASSERT_NO_FATAL_FAILURE(CountCommit(&ops));
  for (size_t k : FaultPoints(ops.size(), kSanitized ? 6 : 12)) {
    if (ops[k] == CrashHook::kDirectoryFlush) continue;  // never fails visibly
    fs::path p = FreshCopy("transient.mdb");
    auto db = Database::Open(p, "", Pager::Mode::kReadWrite);
    {
      TransientHook hook(k);
      HookGuard guard(&hook);
      EXPECT_THROW(RunTransaction(*db, TransactionRows()), jet::JetError) << "k=" << k;
    }
    // Restored in place: no hot journal, the old bytes, and the connection still works.
    EXPECT_FALSE(testing_support::HasHotJournal(p)) << "k=" << k;
    EXPECT_EQ(Outcome(p), "pre") << "k=" << k;
    EXPECT_EQ(ReadById(*db, "Log", "ID").size(), size_t{kInitialRows}) << "k=" << k;
    RunTransaction(*db, TransactionRows());
    db.reset();
    EXPECT_EQ(Outcome(p), "post") << "retry after a failure at operation " << k;
  }
}

#ifndef _WIN32
// A child process commits a large transaction and is killed at a random moment, mostly
// while it commits; twice more it is killed where the outcome is known: while it waits to
// begin its commit (before), and once its commit has returned with the database still open
// (after). What the child reported before its kill says which outcomes are possible.
// (Windows has no fork; there the upgrade-kill test kills whole runs.)
TEST_F(CrashSafety, KilledProcessLeavesBeforeOrAfter) {
  const int kIterations = 20;
  const int kRows = kSanitized ? 1000 : 4000;
  using Clock = std::chrono::steady_clock;
  using Micros = std::chrono::microseconds;
  // The child's reports: its commit begins, its commit has returned.
  constexpr char kCommitting = 'c', kCommitted = 'd';
  enum class Hold { kNowhere, kBeforeCommit, kAfterCommit };  // where the child waits to be killed
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  // Starts a child that reports on the pipe; returns its pid.
  auto run_child = [&](const fs::path& p, Hold hold) -> pid_t {
    pid_t pid = fork();
    if (pid == 0) {
      auto report = [&](char c) {
        if (write(fds[1], &c, 1) != 1) _exit(4);
      };
      int status = 0;
      try {
        auto db = Database::Open(p, "", Pager::Mode::kReadWrite);
        RunTransaction(*db, kRows, [&] {
          report(kCommitting);
          while (hold == Hold::kBeforeCommit) pause();
        });
        report(kCommitted);
        while (hold == Hold::kAfterCommit) pause();
      } catch (...) {
        status = 3;
      }
      _exit(status);
    }
    return pid;
  };
  // The last report a dead child made (0 for none).
  auto last_report = [&] {
    char last = 0, c;
    while (true) {
      pollfd pfd{fds[0], POLLIN, 0};
      if (poll(&pfd, 1, 0) != 1 || read(fds[0], &c, 1) != 1) return last;
      last = c;
    }
  };

  // An undisturbed child: the committed state, and when its commit starts and ends.
  fs::path p = FreshCopy("killed.mdb");
  auto start = Clock::now();
  pid_t pid = run_child(p, Hold::kNowhere);
  ASSERT_GT(pid, 0);
  char c;
  ASSERT_EQ(read(fds[0], &c, 1), 1);
  ASSERT_EQ(c, kCommitting);
  const auto commit_start = Clock::now() - start;
  int status = 0;
  waitpid(pid, &status, 0);
  const auto lifetime = Clock::now() - start;
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_EQ(last_report(), kCommitted);
  const Bytes committed = ReadBytes(p);
  ASSERT_NE(committed, *pre_);
  {
    auto db = Database::Open(p, "");
    ASSERT_TRUE(IsClean(*db));
  }

  int pre = 0, post = 0, hot = 0, refused = 0;
  // Settles the file a killed child left and counts its outcome; `what` says when it was
  // killed, `reported` is its last report. A child killed before it began its commit must
  // leave the file as before; one whose commit returned, as after.
  auto judge = [&](const std::string& what, char reported) {
    if (testing_support::HasHotJournal(p)) ++hot;
    if (ReopenAfterCrash(p)) ++refused;
    EXPECT_FALSE(fs::exists(jet::JournalPathFor(p))) << what;
    Bytes now = ReadBytes(p);
    if (now == *pre_) {
      ++pre;
      EXPECT_NE(reported, kCommitted) << what << ": the commit had returned, and was lost";
    } else if (now == committed) {
      ++post;
      EXPECT_NE(reported, 0) << what << ": the commit had not begun, yet its rows are there";
    } else {
      ADD_FAILURE() << what << " left a file that is neither state";
    }
  };

  // The two kills whose outcome does not hang on when the kill lands.
  for (Hold hold : {Hold::kBeforeCommit, Hold::kAfterCommit}) {
    p = FreshCopy("killed.mdb");
    pid = run_child(p, hold);
    ASSERT_GT(pid, 0);
    const char awaited = hold == Hold::kBeforeCommit ? kCommitting : kCommitted;
    do {
      ASSERT_EQ(read(fds[0], &c, 1), 1);
    } while (c != awaited);
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_EQ(last_report(), 0);
    const int pre_before = pre, post_before = post;
    if (hold == Hold::kBeforeCommit) {
      judge("a kill as the commit begins", awaited);
      EXPECT_EQ(pre, pre_before + 1) << "a kill as the commit begins must roll back";
    } else {
      judge("a kill after the commit returned", awaited);
      EXPECT_EQ(post, post_before + 1) << "a kill after the commit returned must keep it";
    }
  }

  // Kill times: a few anywhere in the child's life, most inside its commit.
  const auto from = std::chrono::duration_cast<Micros>(commit_start);
  const auto to = std::chrono::duration_cast<Micros>(lifetime);
  std::mt19937 rng(20240601);
  for (int i = 0; i < kIterations; ++i) {
    p = FreshCopy("killed.mdb");
    double f = static_cast<double>(rng() % 1000) / 1000.0;
    Micros delay = i % 4 == 0 ? Micros(static_cast<int64_t>(f * to.count()))
                              : from + Micros(static_cast<int64_t>(f * 1.1 * (to - from).count()));
    pid = run_child(p, Hold::kNowhere);
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(delay);
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    judge("a kill after " + std::to_string(delay.count()) + " us", last_report());
  }
  close(fds[0]);
  close(fds[1]);
  // Both outcomes occur: a kill before the commit rolls back, one after it keeps it.
  EXPECT_GT(pre, 0);
  EXPECT_GT(post, 0);
  std::cout << "killed " << kIterations + 2 << " children (commit from " << from.count() / 1000
            << " ms to " << to.count() / 1000 << " ms): " << pre << " rolled back (" << hot
            << " from a hot journal, " << refused << " refused until settled), " << post
            << " committed\n";
}
#endif  // _WIN32

// Leaves `path` as a crash in the middle of writing the data pages does: some pages new,
// the file grown, and a hot journal beside it. Returns the journal's bytes.
Bytes CrashMidCommit(const fs::path& path, int rows) {
  {
    auto db = Database::Open(path, "", Pager::Mode::kReadWrite);
    // Journal create, write, flush and directory flush, two data pages, then nothing.
    CrashHook hook(6);
    HookGuard guard(&hook);
    EXPECT_THROW(RunTransaction(*db, rows), jet::JetError);
  }
  EXPECT_TRUE(fs::exists(jet::JournalPathFor(path)));
  return ReadBytes(jet::JournalPathFor(path));
}

TEST_F(CrashSafety, HotJournalIsRolledBackByAReadOnlyOpen) {
  fs::path p = FreshCopy("hot.mdb");
  CrashMidCommit(p, TransactionRows());
  EXPECT_NE(Outcome(p), "pre") << "the crash should have left a mixed file";
  {
    auto db = Database::Open(p, "", Pager::Mode::kReadOnly);
    EXPECT_EQ(ReadById(*db, "Log", "ID").size(), size_t{kInitialRows});
    EXPECT_TRUE(IsClean(*db));
  }
  EXPECT_FALSE(fs::exists(jet::JournalPathFor(p)));
  EXPECT_EQ(Outcome(p), "pre");
}

TEST_F(CrashSafety, HotJournalIsRolledBackByTheCommandLineTool) {
  fs::path p = FreshCopy("hot_tool.mdb");
  CrashMidCommit(p, TransactionRows());
  std::string out;
  EXPECT_EQ(RunCommand(ShellQuote(JETDB_PATH) + " check " + ShellQuote(p.string()) + " 2>&1", &out),
            0)
      << out;
  EXPECT_FALSE(fs::exists(jet::JournalPathFor(p)));
  EXPECT_EQ(Outcome(p), "pre");
}

// What a journal that outlives its commit can look like, beside the file it was written for
// (as before its commit, or torn by a crash) or beside another: each is rolled back or
// dropped only when the file provably matches it, and otherwise refused with both files left
// exactly as they were, by a read as by a write.
TEST_F(CrashSafety, ALeftoverJournalIsObeyedOnlyWhereTheFileMatchesIt) {
  fs::path source = FreshCopy("journal_source.mdb");
  const Bytes journal = CrashMidCommit(source, TransactionRows());
  const Bytes torn = ReadBytes(source);
  ASSERT_NE(torn, *pre_);
  ASSERT_GT(journal.size(), 96u + 4096u);

  std::mt19937 rng(99);
  enum Expect { kDropped, kRolledBack, kRefused };
  struct Case {
    std::string name;
    Bytes journal;
    const Bytes* file;  // what the data file holds
    Expect expect;
    jet::Problem problem = jet::Problem::kUnexpected;  // for kRefused
  };
  auto altered = [&](size_t at, uint8_t bit) {
    Bytes b = journal;
    b[at] ^= bit;
    return b;
  };
  const Bytes cut_in_originals(journal.begin(), journal.end() - 4096 - 100);
  // Another writer added pages past the end, and changed none the journal lists. The
  // journal is of a commit that rewrote pages and added none, so only the file's length
  // tells that it was written since.
  Bytes grown = *pre_;
  grown.resize(pre_->size() + 3 * 4096, 0x22);
  const Bytes appends_nothing = [&] {
    jet::DecodedJournal d = jet::DecodeJournal(journal);
    std::erase_if(d.pages, [](const jet::JournalPage& page) { return !page.existed; });
    d.header.new_page_count = d.header.original_page_count;
    Bytes originals(d.originals.begin(), d.originals.end());
    return jet::EncodeJournal(d.header, d.pages, originals);
  }();
  const Bytes other = [&] {  // the same journal, but naming another database
    jet::DecodedJournal d = jet::DecodeJournal(journal);
    d.header.identity.creation_date_bits ^= 1;
    Bytes originals(d.originals.begin(), d.originals.end());
    return jet::EncodeJournal(d.header, d.pages, originals);
  }();
  std::vector<Case> cases = {
      {"empty", {}, pre_, kDropped},
      {"intact, the file as before", journal, pre_, kDropped},
      {"intact, the file torn", journal, &torn, kRolledBack},
      {"intact, the file as after", journal, post_, kDropped},
      {"pages added past the file's end", appends_nothing, &grown, kRefused,
       jet::Problem::kJournalFileChanged},
      {"originals cut, the file as before", cut_in_originals, pre_, kDropped},
      {"originals cut, the file torn", cut_in_originals, &torn, kRefused,
       jet::Problem::kJournalNoOriginals},
      {"an original altered, the file torn", altered(journal.size() - 5000, 1), &torn, kRefused,
       jet::Problem::kJournalNoOriginals},
      {"one byte too many, the file as before",
       [&] {
         Bytes b = journal;
         b.push_back(0);
         return b;
       }(),
       pre_, kDropped},
      {"header only", Bytes(journal.begin(), journal.begin() + 40), pre_, kRefused,
       jet::Problem::kJournalUnreadable},
      {"a page count altered", altered(16, 1), &torn, kRefused, jet::Problem::kJournalUnreadable},
      {"the page list altered", altered(96 + 100, 4), &torn, kRefused,
       jet::Problem::kJournalUnreadable},
      {"another database's", other, &torn, kRefused, jet::Problem::kJournalOtherDatabase},
      {"not a journal", RandomBytes(rng, 5000), &torn, kRefused, jet::Problem::kJournalNotOurs},
      {"an older version's",
       [&] {
         Bytes b = journal;
         std::memcpy(b.data(), "JETJRNL1", 8);
         return b;
       }(),
       pre_, kRefused, jet::Problem::kJournalUnreadable},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (Pager::Mode mode : {Pager::Mode::kReadOnly, Pager::Mode::kReadWrite}) {
      fs::path p = FreshCopy("leftover.mdb");
      WriteBytes(p, *c.file);
      WriteBytes(jet::JournalPathFor(p), c.journal);
      if (c.expect == kRefused) {
        jet::JetError e = ExpectJetError([&] { Reopen(p, mode); });
        EXPECT_EQ(e.problem(), c.problem) << e.what();
        EXPECT_NE(std::string(e.what()).find(jet::JournalPathFor(p).filename().string()),
                  std::string::npos)
            << "the message names the journal: " << e.what();
        EXPECT_EQ(ReadBytes(p), *c.file) << "a refused file was changed";
        EXPECT_EQ(ReadBytes(jet::JournalPathFor(p)), c.journal) << "a refused journal was changed";
        continue;
      }
      Reopen(p, mode);
      EXPECT_FALSE(fs::exists(jet::JournalPathFor(p)));
      if (c.expect == kRolledBack) {
        EXPECT_EQ(Outcome(p), "pre");
      } else {
        EXPECT_EQ(ReadBytes(p), *c.file) << "a dropped journal changed the file";
      }
    }
  }
}

// The everyday ways a journal outlives its transaction: the upgrade is killed, then the
// backup is restored over the file, or the customer's application (which knows nothing of our
// journal) writes to it, or the journal is copied beside another database. None of them may
// cost a byte; the refused journal is then settled by the administrator's discard.
TEST_F(CrashSafety, AJournalThatOutlivedItsTransactionNeverCostsARow) {
  struct Scenario {
    std::string name;
    std::function<void(const fs::path& data)> after_crash;  // what happens to the file next
    jet::Problem problem;
    bool whole = true;  // the file is a whole database after it (not the torn one written to)
  };
  std::vector<Scenario> scenarios = {
      {"the backup restored",
       [&](const fs::path& data) {
         // Another state of the same database than the commit's before or after.
         fs::path backup = dir_->path() / "backup.mdb";
         fs::remove(backup);
         WriteBytes(backup, *pre_);
         RunTransaction(*Database::Open(backup, "", Pager::Mode::kReadWrite), 40);
         WriteBytes(data, ReadBytes(backup));
       },
       jet::Problem::kJournalFileChanged},
      {"the other application writes",
       [&](const fs::path& data) {
         // Another writer, knowing nothing of our journal: it rewrites a page the journal
         // lists and adds pages past the file's end.
         Bytes b = ReadBytes(data);
         jet::DecodedJournal d = jet::DecodeJournal(ReadBytes(jet::JournalPathFor(data)));
         b[size_t{d.pages.front().page} * 4096 + 2000] ^= 0x5a;
         b.resize(b.size() + 8 * 4096, 0x11);
         WriteBytes(data, b);
       },
       jet::Problem::kJournalFileChanged, false},
      {"the journal beside another database",
       [&](const fs::path& data) {
         fs::path other = dir_->path() / "another.mdb";
         fs::remove(other);
         jet::CreateDatabase(other, "");
         CreateLogTable(*Database::Open(other, "", Pager::Mode::kReadWrite));
         WriteBytes(data, ReadBytes(other));
       },
       jet::Problem::kJournalOtherDatabase},
  };
  for (const Scenario& s : scenarios) {
    SCOPED_TRACE(s.name);
    fs::path p = FreshCopy("outlived.mdb");
    const Bytes journal = CrashMidCommit(p, TransactionRows());
    s.after_crash(p);
    const Bytes now = ReadBytes(p);
    size_t rows = 0;
    if (s.whole) {
      fs::path look = dir_->path() / "look.mdb";
      fs::remove(look);
      WriteBytes(look, now);
      rows = ReadById(*Database::Open(look, ""), "Log", "ID").size();
    }
    for (Pager::Mode mode : {Pager::Mode::kReadOnly, Pager::Mode::kReadWrite}) {
      jet::JetError e = ExpectJetError([&] { Reopen(p, mode); });
      EXPECT_EQ(e.problem(), s.problem) << e.what();
    }
    EXPECT_EQ(ReadBytes(p), now) << "the refused file was changed";
    EXPECT_EQ(ReadBytes(jet::JournalPathFor(p)), journal);
    // Settled: the journal goes, the file stays as the other writer left it.
    {
      jet::OsFile file(p, jet::OsFile::Access::kReadWrite, jet::OsFile::Lock::kExclusive);
      jet::JournalExamination seen = jet::ExamineJournal(file);
      EXPECT_FALSE(seen.Settles());
      jet::DiscardJournal(file, seen);
    }
    EXPECT_FALSE(fs::exists(jet::JournalPathFor(p)));
    EXPECT_EQ(ReadBytes(p), now);
    if (!s.whole) continue;  // as the other writer left it, which only its own tools can judge
    auto db = Database::Open(p, "");
    EXPECT_EQ(ReadById(*db, "Log", "ID").size(), rows);
    EXPECT_TRUE(IsClean(*db));
  }
}

// `jetdb journal` is how an administrator settles a refused journal: it changes nothing
// until told to discard, never removes a file that is not our journal, rolls back what is
// provably ours, and checks the file afterwards.
TEST_F(CrashSafety, TheCommandLineToolSettlesARefusedJournal) {
  auto jetdb = [](const std::vector<std::string>& args, std::string* out) {
    std::string command = ShellQuote(JETDB_PATH);
    for (const auto& a : args) command += " " + ShellQuote(a);
    return RunCommand(command + " 2>&1", out);
  };
  std::string out;
  {
    SCOPED_TRACE("the backup restored over a file with a hot journal");
    fs::path p = FreshCopy("settle.mdb");
    const Bytes journal = CrashMidCommit(p, TransactionRows());
    WriteBytes(p, *post_);
    RunTransaction(*Database::Open(p, "", Pager::Mode::kReadWrite), 40);  // not the same state
    WriteBytes(jet::JournalPathFor(p), journal);
    const Bytes restored = ReadBytes(p);
    EXPECT_EQ(jetdb({"count", p.string(), "Log"}, &out), 1) << out;
    EXPECT_NE(out.find("settle.mdb-journal"), std::string::npos) << out;
    EXPECT_EQ(jetdb({"journal", p.string()}, &out), 1) << out;
    EXPECT_NE(out.find("--discard"), std::string::npos) << out;
    EXPECT_EQ(ReadBytes(p), restored);
    EXPECT_EQ(ReadBytes(jet::JournalPathFor(p)), journal);
    EXPECT_EQ(jetdb({"journal", p.string(), "--discard"}, &out), 0) << out;
    EXPECT_FALSE(fs::exists(jet::JournalPathFor(p)));
    EXPECT_EQ(ReadBytes(p), restored);
  }
  {
    SCOPED_TRACE("a torn commit");
    fs::path p = FreshCopy("settle_torn.mdb");
    CrashMidCommit(p, TransactionRows());
    EXPECT_EQ(jetdb({"journal", p.string()}, &out), 0) << out;
    EXPECT_FALSE(fs::exists(jet::JournalPathFor(p)));
    EXPECT_EQ(Outcome(p), "pre");
  }
  {
    SCOPED_TRACE("not our journal");
    fs::path p = FreshCopy("settle_foreign.mdb");
    const Bytes foreign = {'n', 'o', 't', ' ', 'o', 'u', 'r', 's'};
    WriteBytes(jet::JournalPathFor(p), foreign);
    EXPECT_EQ(jetdb({"journal", p.string(), "--discard"}, &out), 1) << out;
    EXPECT_EQ(ReadBytes(jet::JournalPathFor(p)), foreign);
    EXPECT_EQ(Outcome(p), "pre");
  }
}

// An older journal of the same file that a power cut brings back after later commits (as a
// disk that loses the journal's emptying could): it must never roll the file back to before
// them. The later commits rewrote pages it lists, so it is refused; where they did not, it
// describes a commit the file holds whole, and is dropped.
TEST_F(CrashSafety, AnOlderJournalBroughtBackNeverRollsBackALaterCommit) {
  fs::path p = FreshCopy("older.mdb");
  Bytes older;
  {
    auto db = Database::Open(p, "", Pager::Mode::kReadWrite);
    // The first commit's journal, as it stood before that commit's data was written.
    struct Grab : jet::IoFaultHook {
      fs::path journal;
      Bytes* out;
      bool done = false;
      size_t BeforeWrite(const fs::path& path, uint64_t, std::span<const uint8_t> data) override {
        if (!done && path == journal) {
          out->assign(data.begin(), data.end());
          done = true;
        }
        return data.size();
      }
      bool BeforeOperation(const fs::path&, jet::IoOperation, uint64_t) override { return true; }
    } grab;
    grab.journal = jet::JournalPathFor(p);
    grab.out = &older;
    HookGuard guard(&grab);
    RunTransaction(*db, TransactionRows());
  }
  ASSERT_FALSE(older.empty());
  ASSERT_EQ(Outcome(p), "post");
  {
    auto db = Database::Open(p, "", Pager::Mode::kReadWrite);
    RunTransaction(*db, 50);  // a later commit, over the same table
  }
  const Bytes later = ReadBytes(p);
  WriteBytes(jet::JournalPathFor(p), older);
  try {
    Reopen(p);
    EXPECT_FALSE(fs::exists(jet::JournalPathFor(p)));
  } catch (const jet::JetError& e) {
    EXPECT_EQ(e.problem(), jet::Problem::kJournalFileChanged) << e.what();
  }
  EXPECT_EQ(ReadBytes(p), later) << "an older journal rolled back a later commit";
}

// A database with a hot journal that another connection still holds open is not touched.
TEST_F(CrashSafety, RecoveryWaitsForTheLock) {
  fs::path p = FreshCopy("locked.mdb");
  auto holder = Database::Open(p, "", Pager::Mode::kReadWrite);
  WriteBytes(jet::JournalPathFor(p), Bytes{});
  jet::JetError e = ExpectJetError([&] { Reopen(p, Pager::Mode::kReadOnly); });
  EXPECT_EQ(e.kind(), jet::ErrorKind::kInUse) << e.what();
  EXPECT_TRUE(fs::exists(jet::JournalPathFor(p)));
  holder.reset();
  Reopen(p);
  EXPECT_FALSE(fs::exists(jet::JournalPathFor(p)));
  EXPECT_EQ(Outcome(p), "pre");
}

// The order of a commit's operations, as the protocol in jet/file/journal.h states it: the
// journal is written and flushed before any page of the data file is written (and, the first
// time, its name made durable); the data file is flushed before the journal is emptied and
// flushed, the commit point. A second commit of the connection reuses the journal: three
// flushes, no directory flush.
TEST_F(CrashSafety, CommitFollowsTheJournalProtocol) {
  fs::path p = FreshCopyAlone("protocol");
  std::vector<std::string> steps;
  {
    auto db = Database::Open(p, "", Pager::Mode::kReadWrite);
    crash_test::VolatileDisk disk(p.parent_path());
    RunTransaction(*db, TransactionRows());
    RunTransaction(*db, 20);
    for (const auto& e : disk.events()) {
      if (steps.empty() || steps.back() != e) steps.push_back(e);  // runs of writes as one
    }
  }
  const std::vector<std::string> commit = {"write data.mdb-journal",  "flush data.mdb-journal",
                                           "write data.mdb",          "flush data.mdb",
                                           "resize data.mdb-journal", "flush data.mdb-journal"};
  std::vector<std::string> expected = {"create data.mdb-journal"};
  expected.insert(expected.end(), commit.begin(), commit.begin() + 2);
  expected.push_back("flush directory");
  expected.insert(expected.end(), commit.begin() + 2, commit.end());
  expected.insert(expected.end(), commit.begin(), commit.end());
  EXPECT_EQ(steps, expected);
  EXPECT_FALSE(fs::exists(jet::JournalPathFor(p))) << "closing removes the empty journal";
}

// Crashes on a disk that loses what was not flushed: at every step of a commit (or a spread
// of them) and just after it returned, each with several choices of what the disk kept.
// Before the commit returns the file must come back as before or after; once it has
// returned, as after. A missing flush of the journal or of the data file fails this.
TEST_F(CrashSafety, CrashesOnAVolatileDiskLeaveBeforeOrAfter) {
  size_t operations = 0;
  {
    fs::path p = FreshCopyAlone("count");
    auto db = Database::Open(p, "", Pager::Mode::kReadWrite);
    crash_test::VolatileDisk disk(p.parent_path());
    RunTransaction(*db, TransactionRows());
    operations = disk.operations();
  }
  const int kChoices = kSanitized ? 3 : 6;
  std::vector<size_t> points = FaultPoints(operations, kSanitized ? 20 : 40);
  points.push_back(operations);  // after the commit returned
  size_t pre = 0, post = 0, refused = 0;
  std::mt19937 rng(1208);
  for (size_t k : points) {
    for (int choice = 0; choice < kChoices; ++choice) {
      fs::path p = FreshCopyAlone("volatile");
      bool returned = false;
      {
        auto db = Database::Open(p, "", Pager::Mode::kReadWrite);
        crash_test::VolatileDisk disk(p.parent_path(), k);
        try {
          RunTransaction(*db, TransactionRows());
          returned = !disk.crashed();
        } catch (const jet::JetError&) {
        }
        db.reset();
        disk.ApplyCrash(rng);
      }
      // A commit that returned leaves no journal with anything in it: one could refuse the
      // file once another program has written to it.
      if (returned) {
        EXPECT_FALSE(testing_support::HasHotJournal(p)) << "k=" << k;
      }
      if (ReopenAfterCrash(p)) ++refused;
      const std::string outcome = Outcome(p);
      const bool acceptable =
          returned ? outcome == "post" : (outcome == "pre" || outcome == "post");
      if (!acceptable) {
        ADD_FAILURE() << "a power cut at operation " << k << " of " << operations << " (choice "
                      << choice << (returned ? ", after the commit returned" : "") << ") left "
                      << outcome;
        return;
      }
      ++(outcome == "pre" ? pre : post);
    }
  }
  EXPECT_GT(pre, 0u);
  EXPECT_GT(post, 0u);
  std::cout << pre + post << " power cuts on a volatile disk over " << operations
            << " operations: " << pre << " rolled back (" << refused << " refused until settled), "
            << post << " committed\n";
}

// A power cut while a hot journal is being rolled back: the journal is removed only after
// the restored pages are flushed, so the next open rolls back again.
TEST_F(CrashSafety, CrashDuringRecoveryOnAVolatileDiskRecoversAgain) {
  size_t operations = 0;
  {
    fs::path p = FreshCopyAlone("recovery-count");
    CrashMidCommit(p, TransactionRows());
    crash_test::VolatileDisk disk(p.parent_path());
    Reopen(p);
    operations = disk.operations();
    EXPECT_EQ(Outcome(p), "pre");
  }
  ASSERT_GT(operations, 3u);
  std::mt19937 rng(77);
  for (size_t k = 0; k < operations; ++k) {
    for (int choice = 0; choice < 3; ++choice) {
      fs::path p = FreshCopyAlone("recovery");
      CrashMidCommit(p, TransactionRows());
      {
        crash_test::VolatileDisk disk(p.parent_path(), k);
        try {
          Reopen(p);
        } catch (const jet::JetError&) {
        }
        disk.ApplyCrash(rng);
      }
      Reopen(p);
      EXPECT_EQ(Outcome(p), "pre") << "a power cut at operation " << k << " of the recovery";
    }
  }
}

}  // namespace

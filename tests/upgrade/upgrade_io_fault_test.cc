// I/O faults during a whole upgrade of the demo data: one read, write, flush, resize, create or
// removal fails (a write as a full disk, anything else as an I/O error) and the disk then
// works again. The run stops with a message that says what happened in the product's words;
// the data file, reopened, is byte for byte what it was after the last statement that
// committed, and it is consistent; a second run completes the upgrade.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "jet/file/journal.h"
#include "jet/file/os_file.h"
#include "jet/table/checker.h"
#include "jet/table/database.h"
#include "tests/sql/sql_test_util.h"
#include "tests/test_support.h"
#include "tests/upgrade/upgrade_test_support.h"
#include "tools/demo/demo_data.h"
#include "upgrade/product_database.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ReadBytes;
using testing_support::ScratchDir;
using Bytes = std::vector<uint8_t>;

enum class Op { kRead, kWrite, kOther };

// Counts every hooked operation but directory flushes (which never fail visibly) and fails
// only operation `fail_at`. It keeps the data file's bytes each time a commit has ended, that
// is at the first operation after the flush of the emptied journal, the commit point (the
// catalog records when tables were made, so two runs never write quite the same bytes), and
// notes which operations belong to which commit: from the journal's write to that flush.
class OneFault : public jet::IoFaultHook {
 public:
  OneFault(fs::path data, std::optional<size_t> fail_at)
      : data_(std::move(data)), journal_(jet::JournalPathFor(data_)), fail_at_(fail_at) {
    jet::SetIoFaultHook(this);
  }
  ~OneFault() override { jet::SetIoFaultHook(nullptr); }

  size_t BeforeWrite(const fs::path& path, uint64_t offset,
                     std::span<const uint8_t> data) override {
    bool ok = Next(Op::kWrite);
    if (path == journal_ && offset == 0) {
      commit_starts_.push_back(ops_.size() - 1);
      failed_in_commit_ = !ok;
    }
    failed_in_commit_ |= !ok;
    return ok ? data.size() : 0;
  }
  bool BeforeOperation(const fs::path& path, jet::IoOperation op, uint64_t size) override {
    if (op == jet::IoOperation::kFlushDirectory) return true;
    bool ok = Next(Op::kOther);
    failed_in_commit_ |= !ok;
    if (path != journal_) return ok;
    if (op == jet::IoOperation::kResize && size == 0 &&
        commit_starts_.size() > commit_ends_.size()) {
      emptied_ = ok;
    } else if (op == jet::IoOperation::kFlush && emptied_) {
      // The journal emptied after a failed commit's originals were put back ends no commit.
      emptied_ = false;
      commit_ends_.push_back(ops_.size() - 1);
      snapshot_due_ = ok && !failed_in_commit_;
    }
    return ok;
  }
  bool BeforeRead(const fs::path&, uint64_t, size_t) override { return Next(Op::kRead); }

  // The file after the last commit, once the run is over.
  void Finish() { TakeSnapshotIfDue(); }

  const std::vector<Op>& ops() const { return ops_; }
  const std::vector<Bytes>& snapshots() const { return snapshots_; }
  const std::vector<size_t>& commit_starts() const { return commit_starts_; }
  const std::vector<size_t>& commit_ends() const { return commit_ends_; }

 private:
  bool Next(Op op) {
    TakeSnapshotIfDue();
    ops_.push_back(op);
    return !fail_at_ || ops_.size() - 1 != *fail_at_;
  }
  void TakeSnapshotIfDue() {
    if (!snapshot_due_) return;
    snapshot_due_ = false;
    snapshots_.push_back(ReadBytes(data_));
  }

  fs::path data_, journal_;
  std::optional<size_t> fail_at_;
  std::vector<Op> ops_;
  std::vector<Bytes> snapshots_;
  std::vector<size_t> commit_starts_, commit_ends_;
  bool snapshot_due_ = false;
  bool emptied_ = false;           // the journal was just emptied: its flush is the commit point
  bool failed_in_commit_ = false;  // an operation of the commit under way failed
};

class UpgradeIoFaults : public testing::Test {
 protected:
  void SetUp() override {
    WriteDemoData(base_.path(), DemoOptions{60, 2000, 2052});
    original_ = ReadBytes(DemoDataFilePath(base_.path()));
  }

  // A fresh copy of the demo files, in a directory of its own.
  struct Files {
    ScratchDir dir;
    fs::path data, tpl;
  };
  std::unique_ptr<Files> FreshCopy() {
    auto f = std::make_unique<Files>();
    fs::create_directories(f->dir.path() / "sys");
    f->data = f->dir.path() / "sys" / "Custom.sys";
    f->tpl = f->dir.path() / "my.sys";
    fs::copy_file(DemoDataFilePath(base_.path()), f->data);
    fs::copy_file(DemoTemplatePath(base_.path()), f->tpl);
    return f;
  }

  // Runs the upgrade as the window wires it; the failure message, if it failed.
  static std::optional<std::string> Upgrade(const Files& f) {
    try {
      upgrade_test::Harness h(f.data, f.tpl);
      upgrade::UpgradeSummary s = h.Run();
      if (s.succeeded) return std::nullopt;
      return s.failure;
    } catch (const std::exception& e) {
      return std::string(e.what());
    }
  }

  ScratchDir base_;
  Bytes original_;
};

TEST_F(UpgradeIoFaults, EachFaultStopsAtACommittedStateWithAClearMessage) {
  // An undisturbed run, recorded.
  auto clean = FreshCopy();
  std::vector<Op> ops;
  std::vector<size_t> starts, ends;
  {
    OneFault record(clean->data, std::nullopt);
    ASSERT_EQ(Upgrade(*clean), std::nullopt);
    ops = record.ops();
    starts = record.commit_starts();
    ends = record.commit_ends();
  }
  ASSERT_EQ(starts.size(), ends.size());
  ASSERT_GE(ends.size(), 5u) << "an upgrade commits once a phase";

  // Every operation of the largest commit (the reference-table copy), and a spread over the
  // whole run: opening both files, reading, every statement.
  size_t largest = 0;
  for (size_t i = 1; i < starts.size(); ++i) {
    if (ends[i] - starts[i] > ends[largest] - starts[largest]) largest = i;
  }
  std::set<size_t> points;
  for (size_t k = starts[largest]; k <= ends[largest]; ++k) points.insert(k);
  const size_t spread = 80;
  for (size_t i = 0; i < spread; ++i) points.insert(i * (ops.size() - 1) / (spread - 1));
  SCOPED_TRACE(std::to_string(ops.size()) + " operations, " + std::to_string(ends.size()) +
               " commits");

  size_t retried = 0, absorbed = 0;
  for (size_t k : points) {
    SCOPED_TRACE("fault at operation " + std::to_string(k));
    auto f = FreshCopy();
    std::optional<std::string> failure;
    std::vector<Bytes> states = {original_};
    {
      OneFault fault(f->data, k);
      failure = Upgrade(*f);
      fault.Finish();
      states.insert(states.end(), fault.snapshots().begin(), fault.snapshots().end());
    }
    if (!failure) {
      // The run retries two things, as the original does: the template's first open (as at
      // the window's start-up) and one column addition. A fault there is absorbed; the
      // upgrade completed on a consistent file.
      EXPECT_FALSE(testing_support::HasHotJournal(f->data));
      auto db = jet::Database::Open(f->data, upgrade::kDatabasePassword);
      EXPECT_TRUE(jet::CheckDatabase(*db).ok());
      ++absorbed;
      continue;
    }
    sql_test::ExpectProductMessage(*failure);
    if (ops[k] == Op::kWrite) {
      EXPECT_NE(failure->find("磁盘已满"), std::string::npos) << *failure;
    } else {
      EXPECT_TRUE(failure->find("磁盘错误") != std::string::npos ||
                  failure->find("无法") != std::string::npos)
          << *failure;
    }

    // The run stopped at the fault: it committed what ended before it, and then at most the
    // statements of its phase that came before the fault (work done before a failure stays).
    // A fault inside a commit fails that commit, and nothing is committed after it. A
    // journal emptied after the failed commit's pages were put back ends no commit.
    size_t committed = std::upper_bound(ends.begin(), ends.end(), k) - ends.begin();
    if (committed > 0 && ends[committed - 1] == k) --committed;  // its commit point failed
    const bool in_a_commit = committed < starts.size() && starts[committed] <= k;
    ASSERT_GE(states.size() - 1, committed);
    ASSERT_LE(states.size() - 1, committed + (in_a_commit ? 0 : 1))
        << "something committed after the fault";
    // The failed statement was undone in place (or is rolled back by this open): the file is
    // what the last commit left.
    {
      auto db = jet::Database::Open(f->data, upgrade::kDatabasePassword);
      EXPECT_TRUE(jet::CheckDatabase(*db).ok());
    }
    EXPECT_FALSE(fs::exists(jet::JournalPathFor(f->data)));
    EXPECT_TRUE(ReadBytes(f->data) == states.back()) << "not the state of the last commit";

    // Some runs again, with the disk working: the upgrade completes.
    if (k % 5 == 0 && retried < 8) {
      ++retried;
      EXPECT_EQ(Upgrade(*f), std::nullopt);
      auto db = jet::Database::Open(f->data, upgrade::kDatabasePassword);
      EXPECT_TRUE(jet::CheckDatabase(*db).ok());
    }
  }
  EXPECT_LT(absorbed, 10u) << "most faults must stop the run";
}

}  // namespace

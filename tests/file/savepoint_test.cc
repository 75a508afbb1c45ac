// Savepoints inside a transaction, against a model: random sequences of page changes,
// appends, savepoints, releases and rollbacks must leave the pager showing exactly what
// the model shows, and commit exactly that to the file.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "jet/error.h"
#include "jet/file/pager.h"
#include "jet/table/database_creator.h"
#include "tests/test_support.h"

namespace {

using testing_support::ScratchDir;

// Each page carries a stamp here; the model is the stamp of every page.
constexpr size_t kStampOffset = 2048;

uint64_t StampOf(jet::Pager& pager, uint32_t n) {
  uint64_t v;
  std::memcpy(&v, pager.Page(n).data() + kStampOffset, sizeof v);
  return v;
}

void Stamp(jet::Pager& pager, uint32_t n, uint64_t v) {
  std::memcpy(pager.Modify(n).data() + kStampOffset, &v, sizeof v);
}

void ExpectMatches(jet::Pager& pager, const std::vector<uint64_t>& model, const char* when) {
  ASSERT_EQ(pager.page_count(), model.size()) << when;
  for (uint32_t n = 1; n < model.size(); ++n)
    ASSERT_EQ(StampOf(pager, n), model[n]) << when << ", page " << n;
}

std::vector<uint64_t> Stamps(jet::Pager& pager) {
  std::vector<uint64_t> s(pager.page_count());
  for (uint32_t n = 1; n < s.size(); ++n) s[n] = StampOf(pager, n);
  return s;
}

TEST(PagerSavepointTest, RandomSequencesMatchTheModel) {
  ScratchDir dir;
  for (uint32_t seed = 1; seed <= 60; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    auto path = dir.path() / ("db" + std::to_string(seed) + ".mdb");
    jet::CreateDatabase(path, "");
    std::mt19937 rng(seed);
    std::vector<uint64_t> original;
    std::vector<uint64_t> model;
    bool commit = seed % 2 == 0;
    {
      jet::Pager pager(path, jet::Pager::Mode::kReadWrite);
      original = Stamps(pager);
      model = original;
      std::vector<std::vector<uint64_t>> saved;  // the model at each open savepoint
      pager.Begin();
      uint64_t next_stamp = 1000;
      uint32_t last_changed = 0;
      for (int step = 0; step < 200; ++step) {
        switch (rng() % 6) {
          case 0:
          case 1: {  // change a page (page 0, the header, is left alone)
            // Often the page changed last, as bulk inserts do, across savepoint steps.
            uint32_t n = last_changed != 0 && rng() % 2
                             ? last_changed
                             : 1 + static_cast<uint32_t>(rng() % (model.size() - 1));
            last_changed = n;
            Stamp(pager, n, ++next_stamp);
            model[n] = next_stamp;
            break;
          }
          case 2:
            model.push_back(0);
            ASSERT_EQ(pager.Append(), model.size() - 1);
            break;
          case 3:
            pager.Savepoint();
            saved.push_back(model);
            break;
          case 4:
            if (saved.empty()) break;
            pager.ReleaseSavepoint();
            saved.pop_back();
            break;
          case 5:
            if (saved.empty()) break;
            pager.RollbackToSavepoint();
            model = saved.back();
            saved.pop_back();
            if (last_changed >= model.size()) last_changed = 0;  // an appended page went
            break;
        }
        ASSERT_EQ(pager.savepoint_depth(), saved.size());
        ExpectMatches(pager, model, "during the transaction");
      }
      if (commit) {
        pager.Commit();
      } else {
        pager.Rollback();
      }
    }
    jet::Pager reopened(path, jet::Pager::Mode::kReadOnly);
    ExpectMatches(reopened, commit ? model : original, commit ? "after commit" : "after rollback");
  }
}

TEST(PagerSavepointTest, MisuseIsRefused) {
  ScratchDir dir;
  auto path = dir.path() / "db.mdb";
  jet::CreateDatabase(path, "");
  jet::Pager pager(path, jet::Pager::Mode::kReadWrite);
  EXPECT_THROW(pager.Savepoint(), jet::JetError);  // no transaction
  pager.Begin();
  EXPECT_THROW(pager.ReleaseSavepoint(), jet::JetError);
  EXPECT_THROW(pager.RollbackToSavepoint(), jet::JetError);
  // A commit ends the savepoints with the transaction.
  pager.Savepoint();
  Stamp(pager, 1, 7);
  pager.Commit();
  EXPECT_EQ(pager.savepoint_depth(), 0u);
  EXPECT_EQ(StampOf(pager, 1), 7u);
}

}  // namespace

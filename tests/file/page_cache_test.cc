// The pager's bounded cache: reading a file larger than the cache keeps at most
// kPageCachePages of its pages, and a page a caller holds stays intact (and alive: the
// sanitizer build runs every test with a cache of a few pages) while the cache lets go of it.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "jet/file/pager.h"
#include "tests/sql/sql_test_util.h"

namespace {

using testing_support::ScratchDir;

TEST(PageCache, HeldPagesOutliveTheCacheAndTheCacheStaysBounded) {
  ScratchDir dir;
  const auto path = dir.path() / "big.sys";
  sql_test::NewDatabase(path);
  sql_test::RunAll(path, {"CREATE TABLE t (id COUNTER PRIMARY KEY, pad varchar(255))"});
  std::vector<std::vector<jet::Value>> rows(3000, {jet::Value::Text(std::string(200, 'p'))});
  sql_test::BulkInsert(path, "t", {"pad"}, rows);

  jet::Pager pager(path, jet::Pager::Mode::kReadOnly);
  ASSERT_GT(pager.page_count(), 100u);
  jet::PinnedView first = pager.Page(1);
  std::vector<uint8_t> first_bytes(first.data(), first.data() + first.size());
  // Twice over every page, holding one in ten.
  std::vector<jet::PinnedView> held;
  for (int pass = 0; pass < 2; ++pass) {
    for (uint32_t n = 1; n < pager.page_count(); ++n) {
      jet::PinnedView v = pager.Page(n);
      if (n % 10 == 0 && pass == 0) held.push_back(v);
      EXPECT_LE(pager.cached_pages(), jet::kPageCachePages);
    }
  }
  EXPECT_EQ(std::memcmp(first.data(), first_bytes.data(), first_bytes.size()), 0);
  for (size_t k = 0; k < held.size(); ++k) {
    jet::PinnedView again = pager.Page(static_cast<uint32_t>(10 * (k + 1)));
    EXPECT_EQ(std::memcmp(held[k].data(), again.data(), again.size()), 0)
        << "page " << 10 * (k + 1);
  }
}

TEST(PageCache, ATransactionSeesItsOwnPagesWhateverTheCacheDrops) {
  ScratchDir dir;
  const auto path = dir.path() / "t.sys";
  sql_test::NewDatabase(path);
  sql_test::RunAll(path, {"CREATE TABLE t (id COUNTER PRIMARY KEY, pad varchar(255))"});
  std::vector<std::vector<jet::Value>> rows(1500, {jet::Value::Text(std::string(200, 'q'))});
  sql_test::BulkInsert(path, "t", {"pad"}, rows);

  uint32_t pages = 0;
  {
    jet::Pager pager(path, jet::Pager::Mode::kReadWrite);
    pages = pager.page_count();
    pager.Begin();
    for (uint32_t n = 1; n < pages; n += 3) pager.Modify(n)[4000] = static_cast<uint8_t>(n);
    for (uint32_t n = 1; n < pages; ++n) (void)pager.Page(n);  // churn the cache
    for (uint32_t n = 1; n < pages; n += 3)
      ASSERT_EQ(pager.Page(n).U8(4000), static_cast<uint8_t>(n));
    pager.Commit();
  }
  jet::Pager reopened(path, jet::Pager::Mode::kReadOnly);
  for (uint32_t n = 1; n < pages; n += 3)
    ASSERT_EQ(reopened.Page(n).U8(4000), static_cast<uint8_t>(n));
}

}  // namespace

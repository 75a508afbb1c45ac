// Index keys held inline or on the heap, and data pages appended to with a remembered fill:
// the two shortcuts a bulk copy takes must behave exactly like the plain forms.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "jet/format/data_page.h"
#include "jet/format/index_key_bytes.h"
#include "jet/format/page_size.h"

namespace {

using jet::IndexKey;

std::vector<uint8_t> Bytes(size_t n, uint8_t first) {
  std::vector<uint8_t> out(n);
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(first + i);
  return out;
}

TEST(IndexKeyBytes, KeepsItsBytesAcrossCopiesMovesAndTheInlineLimit) {
  for (size_t n :
       {size_t{0}, size_t{1}, IndexKey::kInlineBytes, IndexKey::kInlineBytes + 1, size_t{300}}) {
    const std::vector<uint8_t> bytes = Bytes(n, 7);
    IndexKey key(bytes);
    EXPECT_EQ(key.ToVector(), bytes) << n;
    IndexKey copy = key;
    IndexKey moved = std::move(copy);
    EXPECT_TRUE(copy.empty());
    EXPECT_EQ(moved, key);
    // Reassigned across the limit both ways, and from its own bytes.
    for (size_t m : {size_t{3}, size_t{40}, size_t{0}, size_t{25}}) {
      const std::vector<uint8_t> other = Bytes(m, 100);
      moved = IndexKey(other);
      EXPECT_EQ(moved.ToVector(), other) << n << " then " << m;
      moved.Assign(moved.data() + (m > 0 ? 1 : 0), m > 0 ? m - 1 : 0);
      EXPECT_EQ(moved.ToVector(),
                std::vector<uint8_t>(other.begin() + (m > 0 ? 1 : 0), other.end()));
      const IndexKey& same = moved;
      moved = same;  // self-assignment keeps the bytes
      EXPECT_EQ(moved.size(), m > 0 ? m - 1 : 0);
    }
  }
}

TEST(IndexKeyBytes, OrdersAsUnsignedBytesLikeAByteVector) {
  std::mt19937 rng(5);
  std::vector<std::vector<uint8_t>> vectors;
  for (int i = 0; i < 400; ++i) {
    std::vector<uint8_t> v(rng() % 40);
    for (auto& b : v) b = static_cast<uint8_t>(rng() % 3 == 0 ? 0xFF : rng() % 4);
    vectors.push_back(v);
  }
  for (size_t i = 0; i + 1 < vectors.size(); ++i) {
    const IndexKey a(vectors[i]), b(vectors[i + 1]);
    EXPECT_EQ(a < b, vectors[i] < vectors[i + 1]);
    EXPECT_EQ(a == b, vectors[i] == vectors[i + 1]);
    EXPECT_EQ(a == a, true);
  }
  EXPECT_LT(IndexKey(std::vector<uint8_t>{1, 2}), IndexKey(std::vector<uint8_t>{1, 2, 0}));
  EXPECT_LT(IndexKey(std::vector<uint8_t>{0x7F}), IndexKey(std::vector<uint8_t>{0x80}));
}

TEST(DataPageFill, RememberedFillMatchesARescanAndNoticesOtherAppends) {
  std::vector<uint8_t> plain(jet::kPageSize), remembered(jet::kPageSize);
  jet::InitDataPage(plain, 9);
  jet::InitDataPage(remembered, 9);
  jet::PageFill fill;
  std::mt19937 rng(3);
  for (int i = 0;; ++i) {
    std::vector<uint8_t> row = Bytes(1 + rng() % 90, static_cast<uint8_t>(i));
    jet::ByteView view(row.data(), row.size());
    // Every fifth row arrives without the fill, as another writer's would.
    auto a = jet::AppendRowToPage(plain, view);
    auto b = jet::AppendRowToPage(remembered, view, i % 5 == 4 ? nullptr : &fill);
    ASSERT_EQ(a, b);
    ASSERT_EQ(plain, remembered) << "after row " << i;
    if (!a) break;
  }
}

}  // namespace

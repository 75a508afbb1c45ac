#include "jet/file/checksum.h"

namespace jet {
namespace {

constexpr uint64_t kMul1 = 0x87c37b91114253d5ull;
constexpr uint64_t kMul2 = 0x4cf5ad432745937full;
constexpr uint64_t kGolden = 0x9e3779b97f4a7c15ull;

constexpr uint64_t Rotl(uint64_t x, int r) {
  return (x << r) | (x >> (64 - r));
}

uint64_t LoadLe64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

uint64_t Finish(uint64_t h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdull;
  h ^= h >> 33;
  h *= 0xc4ceb9fe1a85ec53ull;
  h ^= h >> 33;
  return h;
}

}  // namespace

uint64_t Checksum64(std::span<const uint8_t> data, uint64_t seed) {
  // Two independent lanes over alternate words, so the multiplies of one overlap the other's.
  uint64_t a = seed ^ (data.size() * kGolden);
  uint64_t b = Rotl(seed, 32) ^ kGolden;
  const uint8_t* p = data.data();
  size_t n = data.size();
  size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    a = Rotl(a ^ (Rotl(LoadLe64(p + i) * kMul1, 31) * kMul2), 27) * 5 + 0x52dce729;
    b = Rotl(b ^ (Rotl(LoadLe64(p + i + 8) * kMul2, 33) * kMul1), 31) * 5 + 0x38495ab5;
  }
  if (i + 8 <= n) {
    b ^= Rotl(LoadLe64(p + i) * kMul2, 33) * kMul1;
    i += 8;
  }
  uint64_t tail = 0;  // the last 0-7 bytes
  for (size_t k = n; k > i; --k) tail = (tail << 8) | p[k - 1];
  a ^= Rotl(tail * kMul1, 31) * kMul2;
  return Finish(a ^ Finish(b + n));
}

}  // namespace jet

// The demo data's only source of chance. std::mt19937's output is fixed by the C++ standard
// for a given seed, but the std distributions are not (each library maps to ranges its own
// way), so ranges are mapped here and the same options give the same rows with any compiler.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <random>

namespace demo {

// One stream per generated table.
enum DemoStream : uint32_t {
  kPhonePrefixStream = 1,
  kCustomerStream,
  kContactStream,
  kSaleStream,
};

class DemoRandom {
 public:
  // Each table draws from its own stream, so the size of one table never changes the rows of
  // another.
  explicit DemoRandom(DemoStream stream) : engine_(kSeed + stream) {}

  // 0 <= result < n (n > 0). Multiply-and-shift: the bias for the small n used here is far
  // below anything demo data could show.
  uint32_t Below(uint32_t n) {
    return static_cast<uint32_t>((static_cast<uint64_t>(engine_()) * n) >> 32);
  }
  // lo <= result <= hi.
  int Between(int lo, int hi) {
    return lo + static_cast<int>(Below(static_cast<uint32_t>(hi - lo + 1)));
  }
  bool Chance(int percent) { return Below(100) < static_cast<uint32_t>(percent); }

  template <typename Items>
  const auto& Pick(const Items& items) {
    return items[Below(static_cast<uint32_t>(std::size(items)))];
  }

 private:
  static constexpr uint32_t kSeed = 20050301;
  std::mt19937 engine_;
};

}  // namespace demo

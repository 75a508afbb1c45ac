// The bytes of one index key, as an index entry holds them. Most keys are short (an
// autonumber's is 5 bytes), and a bulk copy holds one per row until its index is written:
// a key of up to kInlineBytes therefore lives inside the object and costs no allocation.
// Keys compare as unsigned bytes, shorter first on a common prefix: the index order.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace jet {

class IndexKey {
 public:
  static constexpr size_t kInlineBytes = 24;

  IndexKey() = default;
  IndexKey(const uint8_t* data, size_t size) { Assign(data, size); }
  // Implicit: a key built in a byte vector is an IndexKey wherever one is asked for.
  IndexKey(const std::vector<uint8_t>& bytes) : IndexKey(bytes.data(), bytes.size()) {}
  IndexKey(const IndexKey& other) : IndexKey(other.data(), other.size()) {}
  IndexKey(IndexKey&& other) noexcept { Take(other); }
  IndexKey& operator=(const IndexKey& other) {
    if (this != &other) Assign(other.data(), other.size());
    return *this;
  }
  IndexKey& operator=(IndexKey&& other) noexcept {
    if (this != &other) {
      Release();
      Take(other);
    }
    return *this;
  }
  ~IndexKey() { Release(); }

  void Assign(const uint8_t* data, size_t size);

  const uint8_t* data() const { return OnHeap() ? heap_ : inline_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const uint8_t* begin() const { return data(); }
  const uint8_t* end() const { return data() + size_; }
  std::vector<uint8_t> ToVector() const { return std::vector<uint8_t>(begin(), end()); }

  friend bool operator==(const IndexKey& a, const IndexKey& b) {
    return a.size_ == b.size_ && Compare(a.data(), b.data(), a.size_) == 0;
  }
  friend std::strong_ordering operator<=>(const IndexKey& a, const IndexKey& b) {
    const size_t common = a.size_ < b.size_ ? a.size_ : b.size_;
    if (int c = Compare(a.data(), b.data(), common); c != 0) {
      return c < 0 ? std::strong_ordering::less : std::strong_ordering::greater;
    }
    return a.size_ <=> b.size_;
  }

 private:
  // memcmp's order; short keys (nearly all) compared in line, without the call.
  static int Compare(const uint8_t* a, const uint8_t* b, size_t n) {
    if (n > kInlineBytes) return std::memcmp(a, b, n);
    for (size_t i = 0; i < n; ++i) {
      if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    }
    return 0;
  }
  bool OnHeap() const { return size_ > kInlineBytes; }
  void Release() {
    if (OnHeap()) delete[] heap_;
    size_ = 0;
  }
  // Moves `other`'s bytes here and leaves it empty. REQUIRES: this key holds nothing.
  void Take(IndexKey& other) noexcept {
    size_ = other.size_;
    if (other.OnHeap()) {
      heap_ = other.heap_;
    } else if (size_ > 0) {
      std::memcpy(inline_, other.inline_, size_);
    }
    other.size_ = 0;
  }

  size_t size_ = 0;
  union {
    uint8_t inline_[kInlineBytes];
    uint8_t* heap_;
  };
};

}  // namespace jet

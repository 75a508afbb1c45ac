// Bounds-checked little- and big-endian access to page bytes. Every codec reads through
// ByteView so that an offset or length taken from a damaged file can never read past the
// buffer: it throws a kCorrupt JetError instead.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <string>

#include "jet/error.h"

namespace jet {

class PinnedView;

class ByteView {
 public:
  ByteView() = default;
  ByteView(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  ByteView(std::span<const uint8_t> s) : data_(s.data()), size_(s.size()) {}
  // A view of a temporary page hold would outlive it (see pinned_view.h).
  ByteView(PinnedView&&) = delete;
  ByteView(const PinnedView&&) = delete;

  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  // REQUIRES nothing: out-of-range requests throw.
  void Check(size_t offset, size_t length) const {
    if (offset > size_ || length > size_ - offset) [[unlikely]] {
      ThrowOutOfRange();
    }
  }
  ByteView Sub(size_t offset, size_t length) const {
    Check(offset, length);
    return ByteView(data_ + offset, length);
  }
  ByteView From(size_t offset) const {
    Check(offset, 0);
    return ByteView(data_ + offset, size_ - offset);
  }
  uint8_t U8(size_t off) const {
    Check(off, 1);
    return data_[off];
  }
  uint16_t U16(size_t off) const {
    Check(off, 2);
    return static_cast<uint16_t>(data_[off] | (data_[off + 1] << 8));
  }
  uint32_t U24(size_t off) const {
    Check(off, 3);
    return data_[off] | (data_[off + 1] << 8) | (uint32_t{data_[off + 2]} << 16);
  }
  uint32_t U32(size_t off) const {
    Check(off, 4);
    return data_[off] | (data_[off + 1] << 8) | (data_[off + 2] << 16) |
           (uint32_t{data_[off + 3]} << 24);
  }
  int16_t I16(size_t off) const { return static_cast<int16_t>(U16(off)); }
  int32_t I32(size_t off) const { return static_cast<int32_t>(U32(off)); }
  uint64_t U64(size_t off) const { return U32(off) | (uint64_t{U32(off + 4)} << 32); }
  int64_t I64(size_t off) const { return static_cast<int64_t>(U64(off)); }
  float F32(size_t off) const {
    uint32_t bits = U32(off);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
  }
  double F64(size_t off) const {
    uint64_t bits = U64(off);
    double d;
    std::memcpy(&d, &bits, 8);
    return d;
  }
  // Big-endian readers, for index keys and the page pointers inside index entries.
  uint32_t U24BE(size_t off) const {
    Check(off, 3);
    return (uint32_t{data_[off]} << 16) | (data_[off + 1] << 8) | data_[off + 2];
  }
  uint32_t U32BE(size_t off) const {
    Check(off, 4);
    return (uint32_t{data_[off]} << 24) | (data_[off + 1] << 16) | (data_[off + 2] << 8) |
           data_[off + 3];
  }

  // Kept out of line so that Check() itself inlines to one comparison on every read.
  [[noreturn]] [[gnu::cold]] [[gnu::noinline]] void ThrowOutOfRange() const {
    ThrowCorrupt(Problem::kDamagedBlockOverrun, {.number = size_});
  }

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

// Writers for the encode side; callers size the buffer first.
inline void PutU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU24(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
}
inline void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutU64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutF64(uint8_t* p, double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, 8);
  PutU64(p, bits);
}
inline void PutU24BE(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 16);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v);
}
inline void PutU32BE(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * (3 - i)));
}

}  // namespace jet

#include "jet/format/index_key_bytes.h"

namespace jet {

void IndexKey::Assign(const uint8_t* data, size_t size) {
  if (size > kInlineBytes) {
    // Allocated before anything is released, so `data` may point into this key.
    uint8_t* copy = new uint8_t[size];
    std::memcpy(copy, data, size);
    Release();
    heap_ = copy;
  } else {
    // The inline bytes share their place with the heap pointer: keep it until `data`, which
    // may lie in the old heap copy, has been moved.
    uint8_t* old = OnHeap() ? heap_ : nullptr;
    if (size > 0) std::memmove(inline_, data, size);
    delete[] old;
  }
  size_ = size;
}

}  // namespace jet

// Bytes of a page together with a hold on the page itself.
//
// The pager keeps only a bounded number of pages in memory, so a page can leave the cache
// while a caller is still reading it (a table scan holds its data page while the row's long
// values are read from others). A PinnedView shares ownership of the page's buffer: the
// bytes stay valid for as long as the view is held, whatever the cache does meanwhile.
//
// A PinnedView is a ByteView, so every codec reads it directly. Making a plain ByteView
// from a temporary PinnedView is refused at compile time (see ByteView), since the
// ByteView would outlive the hold: name the PinnedView first, or call Unpinned() where the
// bytes are used up within the same expression.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "jet/format/bytes.h"
#include "jet/format/page_size.h"

namespace jet {

using PageBuffer = std::array<uint8_t, kPageSize>;

class PinnedView : public ByteView {
 public:
  PinnedView() = default;
  explicit PinnedView(std::shared_ptr<const PageBuffer> page)
      : ByteView(page->data(), page->size()), page_(std::move(page)) {}

  // The same bytes without the hold, for a use that ends within the current expression
  // (decoding them into values of their own, say).
  ByteView Unpinned() const { return *this; }

  // A part of these bytes, holding the same page.
  PinnedView Pin(ByteView part) const {
    PinnedView p = *this;
    static_cast<ByteView&>(p) = part;
    return p;
  }

 private:
  std::shared_ptr<const PageBuffer> page_;
};

}  // namespace jet

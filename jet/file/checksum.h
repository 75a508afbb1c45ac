// The checksum that guards the rollback journal and names a page's contents in it. Not a
// cryptographic hash: it only has to tell one page image (or journal part) from another
// that differs by accident, and to be cheap enough to run over every page a commit writes.
#pragma once

#include <cstdint>
#include <span>

namespace jet {

uint64_t Checksum64(std::span<const uint8_t> data, uint64_t seed = 0);

}  // namespace jet

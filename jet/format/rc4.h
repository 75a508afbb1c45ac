// RC4, the stream cipher Jet uses twice: a fixed key masks part of the database header, and
// an optional per-database key encodes every page after the first ("Encrypt Database").
// Both directions are the same XOR. doc/jet4-format.md §3.2 and §1.2.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace jet {

class Rc4 {
 public:
  explicit Rc4(std::span<const uint8_t> key);
  // XORs the next keystream bytes into `data`.
  void Apply(std::span<uint8_t> data);

 private:
  std::array<uint8_t, 256> state_;
  uint8_t i_ = 0;
  uint8_t j_ = 0;
};

// Encodes or decodes one page of an encoded database in place: the key is the database key
// XOR the page number, both as 32-bit little-endian values, and the stream starts at offset 0.
void ApplyPageCipher(uint32_t database_key, uint32_t page_number, std::span<uint8_t> page);

}  // namespace jet

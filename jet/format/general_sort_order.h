// The General-legacy code table: how each UTF-16 code unit takes part in a text index key under
// the General sort order of Jet 4 (LCID 1033, version 0; doc/jet4-format.md §9.5).
//
// A character contributes primary weights (the bytes that decide the order, with case already
// folded), and may add a secondary byte per weight (accents), a kana flag, or, for characters
// that word sorting skips (apostrophe, hyphen, control characters), an entry in a separate
// ignorable section. The table lives in format/data/general_legacy_codes.txt and is compiled
// into the library by the build.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace jet {

enum class CollationKind : uint8_t {
  kIgnored,    // contributes nothing at all
  kPlain,      // primary weights only
  kAccented,   // primary weights and one secondary byte for each of them
  kIgnorable,  // no weight; its code and position go to the ignorable section
  kModifier,   // no weight; a combining mark that adds to the secondary byte before it
  kKana,       // primary weights, at most one secondary byte, and a kana flag
};

struct CollationCode {
  CollationKind kind = CollationKind::kIgnored;
  // Primary weights, `primary_size` bytes forming `weight_count` weights of one or two bytes.
  uint8_t primary_size = 0;
  uint8_t weight_count = 0;
  std::array<uint8_t, 4> primary{};
  // Secondary bytes: kAccented has one per weight, kKana none or one.
  uint8_t secondary_size = 0;
  std::array<uint8_t, 2> secondary{};
  // kIgnorable: the code written in the ignorable section. kModifier: the amount added to the
  // previous secondary byte. kKana: the two-bit flag (2 or 3).
  uint8_t value = 0;
};

// The code of one UTF-16 code unit. Surrogate code units are ignored: characters outside the
// Basic Multilingual Plane were measured to leave no trace in General-legacy keys.
const CollationCode& GeneralLegacyCode(char16_t unit);

// Reads a table in the format of general_legacy_codes.txt into one code per code unit
// (65536 entries). Throws std::invalid_argument naming the line when the text is malformed or
// does not describe every code unit exactly once, in order.
//
// Format: lines starting with '#' are comments. Every other line is
//   <first>[-<last>] <kind> [fields]
// with code points and byte strings in hexadecimal. The line gives the same code to each code
// point of the range, except "S <hhhh>+", which gives the first one <hhhh> and each following
// one the next two-byte weight (the low byte runs 02..FF, then the high byte steps up). Kinds:
//   X                                   ignored
//   S <primary>                         plain
//   I <primary> <secondary>             accented
//   U <code>                            ignorable
//   P <increment>                       modifier
//   Z <primary> <secondary or -> <flag> kana
std::vector<CollationCode> ParseCollationTable(std::string_view text);

}  // namespace jet

// Index keys for text columns (Text and Memo) under the sort orders the engine can write
// (doc/jet4-format.md §9.5, §9.6).
//
// Jet stores a text key as a collation key, not as the characters: under the General sort
// order (LCID 1033, version 0, "General - Legacy" in later Access) each character maps to
// primary weights, optional secondary ("extra") bytes, ignorable-character positions and kana
// flags. The weights come from a code table kept as a data file beside this code.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace jet {

// Appends the key of one text column to `out`: the flag byte (0x7F ascending, 0x80
// descending; a NULL value is encoded by the caller, not here), then the collation key under
// General legacy, then the terminator. For descending columns every byte is inverted as Jet does.
void AppendGeneralTextKey(std::u16string_view text, bool ascending, std::vector<uint8_t>& out);

// True when Access is known to write, under sort order `lcid`, the same key bytes as under
// General for every character of `text`. Always true for General (1033) itself.
bool TextKeyMatchesGeneral(std::u16string_view text, uint16_t lcid);

// True when the engine can make text keys under the sort order at all, for some text: General
// and Chinese (PRC), version 0. Under any other sort order every text key is refused, whatever
// the characters, so a refusal names the sort order as its reason.
bool MakesTextKeysUnder(uint16_t lcid, uint8_t version);

}  // namespace jet

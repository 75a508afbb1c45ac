#include "jet/format/text_key.h"

#include <algorithm>

#include "jet/format/general_sort_order.h"

namespace jet {
namespace {

// Jet indexes only the first 255 UTF-16 units of a Text or Memo value (the longest Text).
constexpr size_t kIndexedUnits = 255;

constexpr uint16_t kGeneralLcid = 1033;
constexpr uint16_t kChinesePrcLcid = 2052;

constexpr uint8_t kAscendingValue = 0x7F;
constexpr uint8_t kDescendingValue = 0x80;
constexpr uint8_t kKeyEnd = 0x00;
// Ends the primary weights; repeated, it also opens the kana and ignorable sections.
constexpr uint8_t kSectionEnd = 0x01;
// Secondary byte for "no accent". Trailing ones are left out of the key, so a plain string has
// no secondary section at all.
constexpr uint8_t kPlainSecondary = 0x02;

// Kana flags: two bits per kana character, three to a byte under a fixed top pair of bits. The
// usual flag (3) is left out at the end, but the closing bytes are written even then.
constexpr uint8_t kKanaFlagByte = 0x80;
constexpr uint8_t kUsualKanaFlag = 0x03;
constexpr uint8_t kKanaFlagsClose[] = {0xFF, 0x02, 0x80, 0xFF, 0x80};
constexpr uint8_t kKanaBeforeIgnorables = 0xFF;

// Ignorable entries: big-endian position with its top bit set, a marker, then the code. The
// position is 7 + 4 per secondary slot before the character (see GeneralKeyWriter).
constexpr unsigned kIgnorableFirstPosition = 7;
constexpr unsigned kIgnorablePositionStep = 4;
constexpr unsigned kIgnorablePositionFlag = 0x8000;
constexpr uint8_t kIgnorableMarker = 0x06;

// Writes the sections of one key. Primary weights go straight to the output; the secondary bytes,
// kana flags and ignorable entries follow all the weights, so they wait on the side.
//
// How secondary bytes line up with the weights is where characters that expand to two weights
// (ß, Æ, Þ) matter, and Access-written keys show two regimes. Until the first accent, no section
// exists; when it starts, it is filled with one plain byte per weight so far (Northwind:
// "Plutzer Lebensmittelgroßmärkte AG" has 26 plain bytes before ä, after 25 characters). From
// then on every character adds its own bytes, one for a plain character even if it expands
// ("ÅÆÇ" in an Access 2003 file: 1A 02 1C). An ignorable's position is the secondary slot it
// would take, so before any accent it counts weights ("NuNuCa Nuß-": 80 33, 11 weights).
class GeneralKeyWriter {
 public:
  explicit GeneralKeyWriter(std::vector<uint8_t>& out) : out_(out) {}

  void Add(char16_t unit) {
    const CollationCode& code = GeneralLegacyCode(unit);
    switch (code.kind) {
      case CollationKind::kIgnored:
        break;
      case CollationKind::kPlain:
        AddPrimary(code);
        break;
      case CollationKind::kAccented:
      case CollationKind::kKana:
        if (code.secondary_size > 0) {
          PadSecondary();
          secondary_.insert(secondary_.end(), code.secondary.begin(),
                            code.secondary.begin() + code.secondary_size);
          ++covered_chars_;
        }
        AddPrimary(code);
        if (code.kind == CollationKind::kKana) kana_flags_.push_back(code.value);
        break;
      case CollationKind::kIgnorable: {
        size_t slot = secondary_.empty()
                          ? weights_
                          : secondary_.size() - leading_marks_ + (chars_ - covered_chars_);
        unsigned position =
            kIgnorablePositionFlag | (kIgnorableFirstPosition + kIgnorablePositionStep * slot);
        ignorables_.push_back(static_cast<uint8_t>(position >> 8));
        ignorables_.push_back(static_cast<uint8_t>(position));
        ignorables_.push_back(kIgnorableMarker);
        ignorables_.push_back(code.value);
        break;
      }
      case CollationKind::kModifier:
        // A combining mark changes the accent of the character before it. With nothing before
        // it, its byte stands alone ahead of the others and takes no slot.
        PadSecondary();
        if (secondary_.empty()) {
          secondary_.push_back(code.value);
          leading_marks_ = 1;
        } else {
          secondary_.back() = static_cast<uint8_t>(secondary_.back() + code.value);
        }
        break;
    }
  }

  void Finish() {
    out_.push_back(kSectionEnd);
    while (!secondary_.empty() && secondary_.back() <= kPlainSecondary) secondary_.pop_back();
    out_.insert(out_.end(), secondary_.begin(), secondary_.end());
    if (kana_flags_.empty() && ignorables_.empty()) return;
    out_.push_back(kSectionEnd);
    out_.push_back(kSectionEnd);
    if (!kana_flags_.empty()) {
      AppendKanaFlags();
      if (!ignorables_.empty()) out_.push_back(kKanaBeforeIgnorables);
    }
    if (!ignorables_.empty()) {
      out_.push_back(kSectionEnd);
      out_.insert(out_.end(), ignorables_.begin(), ignorables_.end());
    }
  }

 private:
  void AddPrimary(const CollationCode& code) {
    out_.insert(out_.end(), code.primary.begin(), code.primary.begin() + code.primary_size);
    weights_ += code.weight_count;
    ++chars_;
  }

  // Gives the plain byte to what came since the last secondary byte: per weight when the section
  // starts, per character once it exists.
  void PadSecondary() {
    if (secondary_.empty()) {
      secondary_.assign(weights_, kPlainSecondary);
    } else {
      secondary_.insert(secondary_.end(), chars_ - covered_chars_, kPlainSecondary);
    }
    covered_chars_ = chars_;
  }

  void AppendKanaFlags() {
    size_t count = kana_flags_.size();
    while (count > 0 && kana_flags_[count - 1] == kUsualKanaFlag) --count;
    for (size_t i = 0; i < count; i += 3) {
      uint8_t packed = kKanaFlagByte;
      for (size_t j = 0; j < 3 && i + j < count; ++j) {
        packed = static_cast<uint8_t>(packed | (kana_flags_[i + j] << (4 - 2 * j)));
      }
      out_.push_back(packed);
    }
    out_.insert(out_.end(), std::begin(kKanaFlagsClose), std::end(kKanaFlagsClose));
  }

  std::vector<uint8_t>& out_;
  size_t weights_ = 0;  // primary weights written so far
  size_t chars_ = 0;    // characters that wrote primary weights
  std::vector<uint8_t> secondary_;
  size_t covered_chars_ = 0;  // characters the secondary bytes account for
  size_t leading_marks_ = 0;  // 1 when the section opens with a mark that had nothing to modify
  std::vector<uint8_t> kana_flags_;
  std::vector<uint8_t> ignorables_;
};

std::u16string_view IndexedPart(std::u16string_view text) {
  return text.substr(0, std::min(text.size(), kIndexedUnits));
}

}  // namespace

void AppendGeneralTextKey(std::u16string_view text, bool ascending, std::vector<uint8_t>& out) {
  text = IndexedPart(text);
  // Trailing spaces do not count ("ab" and "ab  " share a key); other blanks do.
  while (!text.empty() && text.back() == u' ') text.remove_suffix(1);

  out.push_back(ascending ? kAscendingValue : kDescendingValue);
  const size_t body = out.size();
  GeneralKeyWriter writer(out);
  for (char16_t unit : text) writer.Add(unit);
  writer.Finish();
  if (!ascending) {
    // The end byte is inverted with the rest, so that a key whose ascending form is a prefix of
    // another's ("a" of "a-") still sorts after it; a fresh end byte follows.
    out.push_back(kKeyEnd);
    for (size_t i = body; i < out.size(); ++i) out[i] = static_cast<uint8_t>(~out[i]);
  }
  out.push_back(kKeyEnd);
}

bool MakesTextKeysUnder(uint16_t lcid, uint8_t version) {
  return version == 0 && (lcid == kGeneralLcid || lcid == kChinesePrcLcid);
}

bool TextKeyMatchesGeneral(std::u16string_view text, uint16_t lcid) {
  if (lcid == kGeneralLcid) return true;
  if (lcid != kChinesePrcLcid) return false;
  // Access-made Chinese (PRC) files key ASCII letters, '0', '_' and control characters exactly as
  // General does, and nothing in them suggests other printable ASCII differs. What 2052 does
  // with anything beyond ASCII (Han in pinyin order?) is not known, so such text is refused
  // rather than given a key that might sort wrongly. Only the indexed part matters.
  std::u16string_view indexed = IndexedPart(text);
  return std::all_of(indexed.begin(), indexed.end(),
                     [](char16_t c) { return c >= 0x01 && c <= 0x7E; });
}

}  // namespace jet

#include "jet/format/general_sort_order.h"

#include <bitset>
#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>

namespace jet {

namespace general_legacy_data {
// Defined in the source the build generates from format/data/general_legacy_codes.txt.
extern const char kCodeTableText[];
extern const std::size_t kCodeTableSize;
}  // namespace general_legacy_data

namespace {

constexpr size_t kCodeUnits = 0x10000;

class TableReader {
 public:
  explicit TableReader(std::string_view text) : rest_(text) {}

  std::vector<CollationCode> Read() {
    std::vector<CollationCode> table(kCodeUnits);
    size_t next = 0;  // first code point no line has described yet
    while (!rest_.empty()) {
      size_t end = rest_.find('\n');
      std::string_view line = rest_.substr(0, end);
      rest_ = end == std::string_view::npos ? std::string_view() : rest_.substr(end + 1);
      ++line_number_;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (line.empty() || line.front() == '#') continue;
      fields_ = line;
      next = ReadLine(table, next);
    }
    if (next != kCodeUnits) Fail("the table ends before U+FFFF");
    AssignWeightCounts(table);
    return table;
  }

 private:
  size_t ReadLine(std::vector<CollationCode>& table, size_t next) {
    std::string_view range = Field();
    size_t dash = range.find('-');
    size_t first = CodePoint(range.substr(0, dash));
    size_t last = dash == std::string_view::npos ? first : CodePoint(range.substr(dash + 1));
    if (first != next) Fail("expected U+" + Hex(next) + " next");
    if (last < first) Fail("range runs backwards");

    CollationCode code;
    bool stepping = false;
    std::string_view kind = Field();
    if (kind == "X") {
      code.kind = CollationKind::kIgnored;
    } else if (kind == "S") {
      code.kind = CollationKind::kPlain;
      std::string_view primary = Field();
      if (!primary.empty() && primary.back() == '+') {
        stepping = true;
        primary.remove_suffix(1);
      }
      code.primary_size = Bytes(primary, code.primary.data(), code.primary.size());
      if (stepping && code.primary_size != 2) Fail("only two-byte weights can step");
    } else if (kind == "I") {
      code.kind = CollationKind::kAccented;
      code.primary_size = Bytes(Field(), code.primary.data(), code.primary.size());
      code.secondary_size = Bytes(Field(), code.secondary.data(), code.secondary.size());
    } else if (kind == "U" || kind == "P") {
      code.kind = kind == "U" ? CollationKind::kIgnorable : CollationKind::kModifier;
      Bytes(Field(), &code.value, 1);
    } else if (kind == "Z") {
      code.kind = CollationKind::kKana;
      code.primary_size = Bytes(Field(), code.primary.data(), code.primary.size());
      std::string_view secondary = Field();
      if (secondary != "-") {
        code.secondary_size = Bytes(secondary, code.secondary.data(), code.secondary.size());
      }
      std::string_view flag = Field();
      if (flag != "2" && flag != "3") Fail("kana flag must be 2 or 3");
      code.value = static_cast<uint8_t>(flag[0] - '0');
    } else {
      Fail("unknown kind '" + std::string(kind) + "'");
    }
    if (!fields_.empty()) Fail("unexpected text after the fields");

    for (size_t cp = first; cp <= last; ++cp) {
      table[cp] = code;
      if (stepping && cp != last) StepWeight(code.primary);
    }
    return last + 1;
  }

  // The two-byte weight after `w`. Low bytes 00 and 01 never occur in weights: those values mark
  // the end of a key and of its sections.
  void StepWeight(std::array<uint8_t, 4>& w) {
    if (w[1] != 0xFF) {
      ++w[1];
      return;
    }
    if (w[0] == 0xFF) Fail("stepping runs past the last two-byte weight");
    ++w[0];
    w[1] = 0x02;
  }

  // The table gives each character's primary bytes but not where one weight ends and the next
  // begins, and keys need the count: the padding that opens a secondary section, and the
  // positions of ignorables before it, count weights. A byte that on its own is some character's
  // whole primary is a one-byte weight (letters, digits, most punctuation); any other byte opens
  // a two-byte weight. This splits every entry exactly, and agrees with the table's accented
  // ligatures, which carry one secondary byte per weight found this way (U+01E2, AE with
  // macron: primary 4A 51, secondary 17 17).
  void AssignWeightCounts(std::vector<CollationCode>& table) {
    std::bitset<256> single;
    for (const CollationCode& c : table) {
      if (c.primary_size == 1) single.set(c.primary[0]);
    }
    for (size_t cp = 0; cp < table.size(); ++cp) {
      CollationCode& c = table[cp];
      size_t at = 0;
      size_t weights = 0;
      while (at < c.primary_size) {
        at += single.test(c.primary[at]) ? 1 : 2;
        ++weights;
      }
      if (at != c.primary_size) FailAt(cp, "primary bytes end inside a two-byte weight");
      c.weight_count = static_cast<uint8_t>(weights);
      bool secondary_fits = c.kind == CollationKind::kAccented
                                ? c.secondary_size == weights
                                : c.secondary_size <= 1 && c.secondary_size <= weights;
      if (!secondary_fits) FailAt(cp, "secondary bytes do not match the weights");
    }
  }

  std::string_view Field() {
    size_t start = fields_.find_first_not_of(' ');
    if (start == std::string_view::npos) Fail("missing field");
    fields_.remove_prefix(start);
    size_t end = fields_.find(' ');
    std::string_view field = fields_.substr(0, end);
    fields_ = end == std::string_view::npos ? std::string_view() : fields_.substr(end);
    if (fields_.find_first_not_of(' ') == std::string_view::npos) fields_ = {};
    return field;
  }

  static std::optional<int> Nibble(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return std::nullopt;
  }

  size_t CodePoint(std::string_view hex) {
    if (hex.size() != 4) Fail("code points are four hex digits");
    size_t value = 0;
    for (char ch : hex) {
      std::optional<int> n = Nibble(ch);
      if (!n) Fail("bad hex digit in code point");
      value = value * 16 + static_cast<size_t>(*n);
    }
    return value;
  }

  uint8_t Bytes(std::string_view hex, uint8_t* out, size_t capacity) {
    if (hex.empty() || hex.size() % 2 != 0 || hex.size() / 2 > capacity) {
      Fail("byte string '" + std::string(hex) + "' has the wrong length");
    }
    for (size_t i = 0; i < hex.size(); i += 2) {
      std::optional<int> hi = Nibble(hex[i]);
      std::optional<int> lo = Nibble(hex[i + 1]);
      if (!hi || !lo) Fail("bad hex digit in '" + std::string(hex) + "'");
      out[i / 2] = static_cast<uint8_t>(*hi * 16 + *lo);
    }
    return static_cast<uint8_t>(hex.size() / 2);
  }

  static std::string Hex(size_t cp) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string s(4, '0');
    for (int i = 3; i >= 0; --i, cp >>= 4) s[static_cast<size_t>(i)] = kDigits[cp & 0xF];
    return s;
  }

  [[noreturn]] void Fail(const std::string& what) const {
    throw std::invalid_argument("code table line " + std::to_string(line_number_) + ": " + what);
  }
  [[noreturn]] static void FailAt(size_t cp, const std::string& what) {
    throw std::invalid_argument("code table entry U+" + Hex(cp) + ": " + what);
  }

  std::string_view rest_;
  std::string_view fields_;
  size_t line_number_ = 0;
};

}  // namespace

std::vector<CollationCode> ParseCollationTable(std::string_view text) {
  return TableReader(text).Read();
}

const CollationCode& GeneralLegacyCode(char16_t unit) {
  // Parsed once, on first use; the embedded text is checked by the unit tests, so a failure
  // here would be a build that shipped a broken table.
  static const std::vector<CollationCode> table = ParseCollationTable(
      std::string_view(general_legacy_data::kCodeTableText, general_legacy_data::kCodeTableSize));
  return table[unit];
}

}  // namespace jet

#include "jet/format/index_key.h"

#include <cstring>

#include "base/unicode.h"
#include "jet/format/numeric.h"
#include "jet/format/text_key.h"

namespace jet {
namespace {

constexpr uint8_t kAscendingValue = 0x7F;
constexpr uint8_t kAscendingNull = 0x00;
constexpr uint8_t kDescendingValue = 0x80;
constexpr uint8_t kDescendingNull = 0xFF;

void Invert(std::vector<uint8_t>& out, size_t from) {
  for (size_t i = from; i < out.size(); ++i) out[i] = static_cast<uint8_t>(~out[i]);
}

void AppendBigEndian(uint64_t v, int bytes, std::vector<uint8_t>& out) {
  const size_t at = out.size();
  out.resize(at + static_cast<size_t>(bytes));
  uint8_t* p = out.data() + at;
  for (int i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(v >> (8 * (bytes - 1 - i)));
}

// Two's-complement integers sort as unsigned once the sign bit is flipped.
void AppendSigned(int64_t v, int bytes, std::vector<uint8_t>& out) {
  size_t at = out.size();
  AppendBigEndian(static_cast<uint64_t>(v), bytes, out);
  out[at] ^= 0x80;
}

// IEEE numbers: positives sort by flipping the sign bit, negatives by inverting every bit.
void AppendFloat(uint64_t bits, int bytes, std::vector<uint8_t>& out) {
  size_t at = out.size();
  AppendBigEndian(bits, bytes, out);
  if (out[at] & 0x80) {
    Invert(out, at);
  } else {
    out[at] ^= 0x80;
  }
}

// Binary and GUID: 8-byte groups, each followed by 09 when more follow, or by the number of
// real bytes in the last group.
void AppendChunked(const std::vector<uint8_t>& data, std::vector<uint8_t>& out,
                   std::vector<size_t>& markers) {
  size_t i = 0;
  do {
    size_t n = std::min<size_t>(8, data.size() - i);
    out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(i),
               data.begin() + static_cast<std::ptrdiff_t>(i + n));
    out.insert(out.end(), 8 - n, 0);
    i += n;
    bool more = i < data.size();
    if (more) markers.push_back(out.size());
    out.push_back(more ? 0x09 : static_cast<uint8_t>(n));
  } while (i < data.size());
}

}  // namespace

std::string SortOrderName(const SortOrder& order) {
  std::string name = std::to_string(order.lcid);
  if (order.version != 0) name += " version " + std::to_string(order.version);
  return name;
}

bool AppendColumnKey(const ColumnDefinition& c, bool ascending, const Value& v,
                     std::vector<uint8_t>& out) {
  if (v.IsNull() && c.type != ColumnType::kBoolean) {
    out.push_back(ascending ? kAscendingNull : kDescendingNull);
    return true;
  }
  if (IsTextType(c.type)) {
    std::u16string text = base::Utf8ToUtf16(v.text);
    if (c.sort_order.version != 0 || !TextKeyMatchesGeneral(text, c.sort_order.lcid)) return false;
    AppendGeneralTextKey(text, ascending, out);
    return true;
  }
  const size_t start = out.size();
  out.push_back(ascending ? kAscendingValue : kDescendingValue);
  const size_t body = out.size();
  std::vector<size_t> markers;  // bytes a descending key leaves uninverted
  switch (c.type) {
    case ColumnType::kBoolean:
      out.push_back(v.integer ? 0x00 : 0xFF);
      break;
    case ColumnType::kByte:
      out.push_back(static_cast<uint8_t>(v.integer));
      break;
    case ColumnType::kInteger:
      AppendSigned(v.integer, 2, out);
      break;
    case ColumnType::kLong:
      AppendSigned(v.integer, 4, out);
      break;
    case ColumnType::kCurrency:
      AppendSigned(v.integer, 8, out);
      break;
    case ColumnType::kSingle: {
      float f = static_cast<float>(v.real);
      uint32_t bits;
      std::memcpy(&bits, &f, 4);
      AppendFloat(bits, 4, out);
      break;
    }
    case ColumnType::kDouble:
    case ColumnType::kDateTime: {
      uint64_t bits;
      std::memcpy(&bits, &v.real, 8);
      AppendFloat(bits, 8, out);
      break;
    }
    case ColumnType::kGuid: {
      if (v.bytes.size() != 16) return false;
      // String order: the first three fields are stored little-endian.
      const auto& b = v.bytes;
      std::vector<uint8_t> ordered = {b[3], b[2], b[1], b[0], b[5], b[4], b[7], b[6]};
      ordered.insert(ordered.end(), b.begin() + 8, b.end());
      AppendChunked(ordered, out, markers);
      break;
    }
    case ColumnType::kBinary:
      AppendChunked(v.bytes, out, markers);
      break;
    case ColumnType::kNumeric: {
      ScaledDecimal d;
      if (ReadScaledDecimal(v.text, 38, c.scale, d) != DecimalReading::kRead) {
        out.resize(start);
        return false;
      }
      uint8_t magnitude[16];
      MagnitudeBigEndian(d, magnitude);
      // Jet 4's rule, kept as it is although it sorts descending keys oddly: a non-negative
      // value is FF + magnitude, a negative one all 17 bytes inverted; descending inverts
      // the magnitude of non-negatives only and leaves negatives as they are.
      size_t sign_at = out.size();
      out.push_back(0xFF);
      out.insert(out.end(), magnitude, magnitude + 16);
      if (d.negative) {
        for (size_t i = sign_at; i < out.size(); ++i) out[i] = static_cast<uint8_t>(~out[i]);
      }
      if (!ascending) {
        for (size_t i = sign_at + 1; i < out.size(); ++i) out[i] = static_cast<uint8_t>(~out[i]);
      }
      return true;
    }
    default:
      out.resize(start);
      return false;
  }
  if (!ascending) {
    // Descending keys invert the value bytes but keep the 09 "more follows" markers.
    for (size_t i = body; i < out.size(); ++i) {
      bool marker = false;
      for (size_t m : markers) marker |= m == i;
      if (!marker) out[i] = static_cast<uint8_t>(~out[i]);
    }
  }
  return true;
}

std::vector<size_t> IndexColumnPositions(const TableDefinition& def, const RealIndex& index) {
  std::vector<size_t> positions;
  for (const IndexColumn& ic : index.columns) {
    size_t position = def.columns.size();
    for (size_t i = 0; i < def.columns.size(); ++i) {
      if (def.columns[i].id == ic.column_id) position = i;
    }
    positions.push_back(position);
  }
  return positions;
}

bool EncodeIndexKeyInto(const TableDefinition& def, const RealIndex& index,
                        const std::vector<size_t>& positions, const std::vector<Value>& row,
                        std::vector<uint8_t>& out) {
  out.clear();
  for (size_t k = 0; k < index.columns.size(); ++k) {
    const size_t position = positions[k];
    if (position >= def.columns.size()) return false;
    if (!AppendColumnKey(def.columns[position], index.columns[k].ascending, row[position], out)) {
      return false;
    }
  }
  return true;
}

std::optional<std::vector<uint8_t>> EncodeIndexKey(const TableDefinition& def,
                                                   const RealIndex& index,
                                                   const std::vector<Value>& row) {
  std::vector<uint8_t> key;
  if (!EncodeIndexKeyInto(def, index, IndexColumnPositions(def, index), row, key)) {
    return std::nullopt;
  }
  return key;
}

}  // namespace jet

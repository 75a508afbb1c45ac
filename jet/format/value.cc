#include "jet/format/value.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace jet {
namespace {

// Days since 1970-01-01 to civil date (proleptic Gregorian), after H. Hinnant's algorithm.
void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (uint8_t b : bytes) {
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 15]);
  }
  return out;
}

}  // namespace

std::string FormatOleDate(double days) {
  if (!std::isfinite(days) || std::fabs(days) > 3e6) return FormatDouble(days);
  // Jet stores dates before 1899-12-30 with a negative day part and a positive time fraction.
  double whole = std::trunc(days);
  double fraction = std::fabs(days - whole);
  int64_t seconds = std::llround(fraction * 86400.0);
  int64_t day = static_cast<int64_t>(whole);
  if (seconds >= 86400) {
    // Rounded up to midnight: the next day in time, whichever side of 1899-12-30.
    seconds -= 86400;
    day += 1;
  }
  int64_t y;
  unsigned m, d;
  CivilFromDays(day - 25569, y, m, d);  // 1899-12-30 is 25569 days before 1970-01-01
  if (y >= 0 && y <= 9999) {
    // Written digit by digit: an export formats one of these per date per row.
    std::string out = "0000-00-00T00:00:00";
    auto put = [&](size_t at, int64_t value, int digits) {
      for (int k = digits - 1; k >= 0; --k, value /= 10)
        out[at + k] = static_cast<char>('0' + value % 10);
    };
    put(0, y, 4);
    put(5, m, 2);
    put(8, d, 2);
    put(11, seconds / 3600, 2);
    put(14, seconds / 60 % 60, 2);
    put(17, seconds % 60, 2);
    return out;
  }
  char buf[96];
  std::snprintf(buf, sizeof buf, "%04lld-%02u-%02uT%02lld:%02lld:%02lld", static_cast<long long>(y),
                m, d, static_cast<long long>(seconds / 3600),
                static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  return buf;
}

std::string FormatGuid(const std::vector<uint8_t>& b) {
  if (b.size() != 16) return Hex(b);
  char buf[40];
  std::snprintf(buf, sizeof buf,
                "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b[3],
                b[2], b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13],
                b[14], b[15]);
  return buf;
}

std::string FormatDouble(double d) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, d);
  return std::string(buf, r.ptr);
}

std::string ValueToText(const Value& v) {
  switch (v.kind) {
    case ValueKind::kNull:
      return "";
    case ValueKind::kBoolean:
    case ValueKind::kByte:
    case ValueKind::kInteger:
    case ValueKind::kLong:
      return std::to_string(v.integer);
    case ValueKind::kCurrency: {
      uint64_t magnitude =
          v.integer < 0 ? 0 - static_cast<uint64_t>(v.integer) : static_cast<uint64_t>(v.integer);
      std::string frac = std::to_string(magnitude % 10000);
      frac.insert(0, 4 - frac.size(), '0');
      return (v.integer < 0 ? "-" : "") + std::to_string(magnitude / 10000) + "." + frac;
    }
    case ValueKind::kSingle: {
      // Shortest text that reads back as the same float, not the widened double's digits.
      char buf[64];
      auto r = std::to_chars(buf, buf + sizeof buf, static_cast<float>(v.real));
      return std::string(buf, r.ptr);
    }
    case ValueKind::kDouble:
      return FormatDouble(v.real);
    case ValueKind::kDateTime:
      return FormatOleDate(v.real);
    case ValueKind::kText:
    case ValueKind::kNumeric:
      return v.text;
    case ValueKind::kBinary:
      return Hex(v.bytes);
    case ValueKind::kGuid:
      return FormatGuid(v.bytes);
  }
  return "";
}

}  // namespace jet

#include <ctime>

namespace jet {

double OleDateFromCivil(int y, unsigned m, unsigned d, int hour, int minute, int second) {
  // Days since 1970-01-01, after H. Hinnant's algorithm.
  y -= m <= 2;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const double days = era * 146097.0 + static_cast<double>(doe) - 719468.0 + 25569.0;
  const double fraction = (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
  // Before 1899-12-30 the day part is negative but the time still counts forward.
  return days >= 0 ? days + fraction : days - fraction;
}

double OleDateNow() {
  std::time_t t = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &t);
#else
  localtime_r(&t, &local);
#endif
  return OleDateFromCivil(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                          static_cast<unsigned>(local.tm_mday), local.tm_hour, local.tm_min,
                          local.tm_sec);
}

}  // namespace jet

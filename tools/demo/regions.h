// Geography and telephone facts of mainland China that the demo rows are drawn from: the 31
// province-level divisions with their official codes, a few cities in each with area code
// and postcode, and the mobile network prefixes with their carriers.
#pragma once

#include <span>
#include <string_view>

namespace demo {

struct Division {
  int code;                     // six digits, e.g. 440000
  std::string_view name;        // as on an identity card: 广东省
  std::string_view short_name;  // as in everyday use: 广东
  bool municipality;            // 北京, 天津, 上海, 重庆: the city is the division
};

struct City {
  int division_code;
  std::string_view name;  // without 市
  int area_code;          // without the leading 0
  int postcode;
  const char* districts[4];  // real district names where known; unused slots are null
};

struct MobileNetwork {
  int prefix;  // the first three digits of an 11-digit mobile number
  std::string_view carrier;
};

std::span<const Division> Divisions();
std::span<const City> Cities();
const Division& DivisionOf(const City& city);
// Ascending by prefix.
std::span<const MobileNetwork> MobileNetworks();

}  // namespace demo

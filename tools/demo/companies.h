// Chinese companies for the demo customers: names in the usual 城市+字号+行业+有限公司 form,
// their web domains, street addresses, postcodes and telephone numbers in their city.
#pragma once

#include <string>
#include <string_view>

#include "tools/demo/random.h"
#include "tools/demo/regions.h"

namespace demo {

struct Company {
  std::string name;           // 广州华信电子科技有限公司
  std::string domain;         // huaxin-tech.com
  std::string_view industry;  // 电子 (the customer's 行业)
};

Company RandomCompany(DemoRandom& random, const City& city);
// 广东省广州市天河区中山路128号世纪大厦1203室; municipalities are not named twice.
std::string RandomAddress(DemoRandom& random, const City& city);
std::string RandomPostcode(DemoRandom& random, const City& city);
// 020-87654321: eight local digits after two-digit area codes and in large cities.
std::string RandomLandline(DemoRandom& random, const City& city);
// An 11-digit mobile number on one of the real network prefixes.
std::string RandomMobile(DemoRandom& random);
std::string_view RandomCustomerType(DemoRandom& random);

}  // namespace demo

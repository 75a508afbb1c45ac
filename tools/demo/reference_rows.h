// The demo's small fixed tables: custom-field definitions (zdy), the product catalogue and
// the company types (gsxz). Their sizes are part of the demo's row counts.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace demo {

struct CustomField {
  int id;
  std::string_view name;
  std::string_view tablename;
  std::string_view fieldname;
  std::string_view fieldtype;
  bool visible;
  std::string_view remark;  // empty: NULL
};

struct Product {
  std::string_view name;
  std::string_view code;
  std::string_view spec;  // 规格
  int64_t price_fen;
  std::string_view remark;  // empty: NULL
};

std::span<const CustomField> CustomFields();
std::span<const Product> Products();
std::span<const std::string_view> CompanyTypes();

}  // namespace demo

#include "upgrade/template_ref.h"

#include "upgrade/product_database.h"

namespace upgrade {

std::string MakeTemplateRef(const std::string& template_path) {
  std::string ref = "[";
  for (char c : template_path) {
    ref.push_back(c);
    if (c == ']') ref.push_back(']');
  }
  return ref + ";pwd=" + kDatabasePassword + "].";
}

}  // namespace upgrade

#include "connection_string.h"

#include <algorithm>
#include <cctype>

#include "db/db_failure.h"

namespace db {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

}  // namespace

ConnectionString ParseConnectionString(const std::string& text) {
  ConnectionString cs;
  bool have_source = false;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find(';', at);
    std::string part = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    size_t eq = part.find('=');
    std::string key = Lower(Trim(part.substr(0, eq)));
    if (eq != std::string::npos && key == "data source") {
      // The path is the rest of the string.
      cs.data_source = Trim(text.substr(at + eq + 1));
      have_source = true;
      break;
    }
    std::string value = eq == std::string::npos ? "" : part.substr(eq + 1);
    if (key == "provider") cs.provider = Trim(value);
    if (key == "jet oledb:database password" || key == "password" || key == "pwd") {
      cs.password = value;
    }
    if (end == std::string::npos) break;
    at = end + 1;
  }
  if (Lower(cs.provider) != Lower(kJetProvider)) {
    if (cs.provider.empty()) throw DbFailure(jet::Problem::kNoProvider);
    throw DbFailure(jet::Problem::kUnknownProvider, {.name = cs.provider, .detail = kJetProvider});
  }
  if (!have_source || cs.data_source.empty()) throw DbFailure(jet::Problem::kNoDataSource);
  return cs;
}

}  // namespace db

// The provider connection string: "Provider=...;Jet OLEDB:Database Password=...;Data Source=path".
// Keys are matched without regard to letter case; the data source runs to the end of the
// string, so a path may hold ";".
#pragma once

#include <string>

namespace db {

struct ConnectionString {
  std::string provider;
  std::string password;
  std::string data_source;
};

// The provider this product's engine stands in for.
inline constexpr const char kJetProvider[] = "Microsoft.Jet.OLEDB.4.0";

// Throws DbFailure on a string without a data source or with another provider.
ConnectionString ParseConnectionString(const std::string& text);

}  // namespace db

// The fixed facts of the product's databases: every data file and the template carry the
// same database password, and are opened through the Jet 4.0 provider.
#pragma once

#include <string>

namespace upgrade {

inline constexpr char kDatabasePassword[] = "plmoknijbuhvygc,t.f/";

// The connection string prefix; the database file's full path follows it directly.
inline constexpr char kConnectionPrefix[] =
    "Provider=Microsoft.Jet.OLEDB.4.0;Jet OLEDB:Database Password=plmoknijbuhvygc,t.f/;Data "
    "Source=";

inline std::string ConnectionStringFor(const std::string& path) {
  return kConnectionPrefix + path;
}

}  // namespace upgrade

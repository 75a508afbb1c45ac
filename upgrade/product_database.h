// The fixed facts of the product's databases: every data file and the template carry the
// same database password, and are opened through the Jet 4.0 provider.
#pragma once

#include <string>

namespace upgrade {

// The password's one copy in C++: the program, the tools, tests, fuzz targets and
// benchmarks all use this constant. Shell scripts that need it keep their own copy.
inline constexpr char kDatabasePassword[] = "plmoknijbuhvygc,t.f/";

// The connection string for the database file at `path` (its full path).
inline std::string ConnectionStringFor(const std::string& path) {
  return std::string("Provider=Microsoft.Jet.OLEDB.4.0;Jet OLEDB:Database Password=") +
         kDatabasePassword + ";Data Source=" + path;
}

}  // namespace upgrade

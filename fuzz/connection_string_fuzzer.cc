// Fuzz target: the provider connection string. Any text either parses or is refused with a
// DbFailure; what parses names our provider and a data source, and parses again the same
// once written back in the canonical form.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/unicode.h"
#include "db/connection_string.h"
#include "db/db_failure.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  db::ConnectionString parsed;
  try {
    parsed = db::ParseConnectionString(text);
  } catch (const db::DbFailure&) {
    return 0;
  }
  Require(base::EqualsIgnoreCase(parsed.provider, db::kJetProvider));
  Require(!parsed.data_source.empty());
  // The path runs to the end of the string, ";" included; a password never holds one.
  Require(parsed.password.find(';') == std::string::npos);
  std::string canonical = std::string("Provider=") + db::kJetProvider +
                          ";Jet OLEDB:Database Password=" + parsed.password +
                          ";Data Source=" + parsed.data_source;
  db::ConnectionString again = db::ParseConnectionString(canonical);
  Require(again.data_source == parsed.data_source);
  Require(again.password == parsed.password);
  return 0;
}

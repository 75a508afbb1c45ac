#include "db/db_failure.h"

namespace db {

std::string TrimMessage(std::string m) {
  static const std::string kIdeographicStop = "\xE3\x80\x82";  // 。
  for (;;) {
    if (!m.empty() && (m.back() == ' ' || m.back() == '.' || m.back() == '\r' || m.back() == '\n' ||
                       m.back() == '\t')) {
      m.pop_back();
    } else if (m.size() >= 3 && m.compare(m.size() - 3, 3, kIdeographicStop) == 0) {
      m.resize(m.size() - 3);
    } else {
      return m;
    }
  }
}

DbFailure::DbFailure(const std::string& message) : std::runtime_error(TrimMessage(message)) {}

DbFailure::DbFailure(jet::Problem problem, const jet::ErrorFacts& facts)
    : DbFailure(jet::WordMessage(problem, facts)) {}

}  // namespace db

#include "jet/table/finding.h"

#include <string_view>

namespace jet {

std::string Finding::Text() const {
  const std::string_view words = TextOf(problem).text;
  if (facts.table.empty() || words.find("{table}") != words.npos) return Words();
  return "表 '" + facts.table + "'：" + Words();
}

std::string Finding::Words() const {
  const std::string_view words = TextOf(problem).text;
  std::string out;
  if (!facts.index.empty() && words.find("{index}") == words.npos) {
    out += "索引 '" + facts.index + "'：";
  }
  if (!facts.column.empty() && words.find("{column}") == words.npos) {
    out += "字段 '" + facts.column + "'：";
  }
  return out + WordProblem(problem, facts);
}

}  // namespace jet

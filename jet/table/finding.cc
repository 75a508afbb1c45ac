#include "jet/table/finding.h"

#include <string_view>
#include <tuple>

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

Finding Finding::WithoutPlaces() const {
  Finding f{problem,
            {.table = facts.table,
             .column = facts.column,
             .index = facts.index,
             .name = facts.name,
             .detail = problem == Problem::kNoteLeakedPages ? "" : facts.detail}};
  return f;
}

namespace {

auto Tied(const Finding& f) {
  const ErrorFacts& x = f.facts;
  return std::tie(f.problem, x.file, x.table, x.column, x.index, x.name, x.detail, x.page, x.row,
                  x.number, x.limit);
}

}  // namespace

bool operator==(const Finding& a, const Finding& b) {
  return Tied(a) == Tied(b);
}

bool operator<(const Finding& a, const Finding& b) {
  return Tied(a) < Tied(b);
}

}  // namespace jet

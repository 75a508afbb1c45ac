// What a check of a file finds: a problem and the facts it concerns, as an error would carry
// them, kept instead of thrown so that one check reports everything it finds. Whether a
// finding is damage is the problem's own: the few things Access itself leaves in files (a
// definition's row count that differs from its rows, pages neither used nor free) are
// problems of the kind kNote, and every other finding is damage.
#pragma once

#include <string>

#include "jet/error.h"

namespace jet {

struct Finding {
  Problem problem;
  ErrorFacts facts;

  bool IsDamage() const { return TextOf(problem).kind != ErrorKind::kNote; }
  // In the product's language, naming the table (and the index or column) it concerns:
  // "表 'Keyed'：索引 'NameIdx' 中没有第 12 页第 3 条记录的项".
  std::string Text() const;
  // The same without the table, for a message that names the table in its own words.
  std::string Words() const;

  // The finding without the places it names (page, row, counts, the file, the leaked pages'
  // list): what is found where. The same damage met again after a write may name other places
  // (a leaf rewritten around a damaged entry, other pages left over), and compares equal so.
  Finding WithoutPlaces() const;
};

// Findings compare by problem, then facts: to hold two checks' findings to each other.
bool operator==(const Finding& a, const Finding& b);
bool operator<(const Finding& a, const Finding& b);

// The damage a check raised, as a finding.
inline Finding FindingOf(const JetError& e) {
  return {e.problem(), e.facts()};
}

}  // namespace jet

// Parses one Jet SQL statement into a statement tree. Throws a syntax error naming the
// character position and the text found there.
#pragma once

#include <string_view>

#include "jet/sql/ast.h"

namespace jet::sql {

Statement Parse(std::string_view statement);

// True when `statement` is a SELECT that returns rows (not SELECT ... INTO). A statement
// that does not parse returns false; running it reports the syntax error.
bool ReturnsRows(std::string_view statement);

}  // namespace jet::sql

// Evaluating expressions over the rows of one source table: binding column names (without
// regard to letter case, qualified by the table's name or alias or not at all), and Jet's
// comparisons, where NULL compared with anything is unknown and text compares in the General
// sort order (so letter case does not matter).
#pragma once

#include <optional>
#include <vector>

#include "jet/format/table_definition.h"
#include "jet/format/value.h"
#include "jet/sql/ast.h"

namespace jet::sql {

// Resolves every column reference in `e` against `def`. Throws FieldNotFound.
void Bind(Expression& e, const TableDefinition& def, const TableRef& source);

Value Evaluate(const Expression& e, const std::vector<Value>& row);

// True, false, or unknown (NULL involved). Throws TypeMismatch when text meets a number.
std::optional<bool> Test(const Expression& e, const std::vector<Value>& row);

// Three-way comparison of two non-NULL values under Jet's rules; throws TypeMismatch.
int CompareValues(const Value& a, const Value& b, const std::string& context);

}  // namespace jet::sql

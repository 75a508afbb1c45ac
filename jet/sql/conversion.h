// Turning SQL literals, copied values and contract texts into values a column can store,
// with Jet's rules: numbers read from text, text cut or refused when too long, ranges
// checked per type.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "jet/format/table_definition.h"
#include "jet/format/value.h"

namespace jet::sql {

// Converts `value` (any kind) for storage in `column`. Throws TypeMismatch or ValueTooLarge
// naming the column. `truncate_text` cuts over-long short text instead of refusing it.
Value ConvertForColumn(const ColumnDefinition& column, const Value& value, bool truncate_text);

// The contract's text rules: empty text is NULL in numeric, date and long-value columns
// and an empty string in short text; short text is cut to the column's size; anything else
// is read as the column's type or refused.
Value ConvertTextForColumn(const ColumnDefinition& column, const std::string& text);

// The number a value stands for, by Jet's rules, for arithmetic, comparisons and numeric
// columns alike: True is -1 and False 0, currency its amount, a date its days since
// 1899-12-30, a decimal and text the number they spell (ParseNumber). Throws TypeMismatch
// naming `context` (a column) for text that spells none, NULL, binary and GUID.
double NumberOf(const Value& v, const std::string& context);

// Reads a number written the way SQL and users write them ("85", "-3.5", "1e3", " 7 ").
std::optional<double> ParseNumber(std::string_view text);
// Reads "yyyy-mm-dd[ hh:mm[:ss]]", "yyyy/mm/dd ...", or "mm/dd/yyyy ..." as an OLE date.
std::optional<double> ParseDate(std::string_view text);

}  // namespace jet::sql

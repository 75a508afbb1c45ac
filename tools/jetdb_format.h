// Text forms jetdb prints: table definitions as Jet SQL, rows as CSV (RFC 4180) or JSON lines,
// the consistency check's report.
#pragma once

#include <string>
#include <vector>

#include "jet/format/table_definition.h"
#include "jet/format/value.h"
#include "jet/table/checker.h"

namespace tools {

std::string TableSchemaSql(const std::string& name, const jet::TableDefinition& def);
std::string ColumnTypeSql(const jet::ColumnDefinition& column);

// One CSV field, quoted when it holds a comma, a quote or a line break.
std::string CsvField(const std::string& text);
std::string CsvHeader(const jet::TableDefinition& def);
// NULL is an empty field; empty text is "" so the two stay distinguishable.
void AppendCsvRow(const std::vector<jet::Value>& values, std::string& out);
void AppendJsonRow(const jet::TableDefinition& def, const std::vector<jet::Value>& values,
                   std::string& out);

// Each finding on a line of its own, damage as "损坏：…" and notes as "注意：…".
std::string FindingLines(const jet::CheckReport& report);
// The verdict: "没有发现损坏", or "发现 3 处损坏".
std::string CheckVerdict(const jet::CheckReport& report);

}  // namespace tools

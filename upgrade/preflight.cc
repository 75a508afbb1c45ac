#include "upgrade/preflight.h"

#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include "db/connection_string.h"
#include "db/db_failure.h"
#include "db/names.h"
#include "upgrade/column_additions.h"
#include "upgrade/program_paths.h"
#include "upgrade/reference_import.h"
#include "upgrade/search_rows.h"

namespace upgrade {
namespace {

// What the run relies on of one table.
struct TableNeeds {
  std::string table;
  std::vector<std::string> columns;
  std::vector<std::string> numeric;   // of `columns`, those compared or set as numbers
  std::vector<std::string> assigned;  // of `columns`, those the run gives values
};

const db::ColumnShape* Find(const std::vector<db::ColumnShape>& columns, const std::string& name) {
  for (const db::ColumnShape& c : columns) {
    if (db::SameName(c.name, name)) return &c;
  }
  return nullptr;
}

void Require(db::DbConnection& connection, const char* role, const std::string& file,
             const std::vector<TableNeeds>& needs) {
  std::vector<std::string> names;
  for (const TableNeeds& n : needs) names.push_back(n.table);
  const auto shapes = connection.DescribeTables(names);
  for (size_t i = 0; i < needs.size(); ++i) {
    const TableNeeds& n = needs[i];
    jet::ErrorFacts facts{.file = file, .table = n.table, .name = role};
    if (!shapes[i]) throw db::DbFailure(jet::Problem::kUpgradeTableMissing, facts);
    for (const std::string& column : n.columns) {
      facts.column = column;
      const db::ColumnShape* c = Find(*shapes[i], column);
      if (!c) throw db::DbFailure(jet::Problem::kUpgradeColumnMissing, facts);
      for (const std::string& numeric : n.numeric) {
        if (db::SameName(numeric, column) && !c->numeric)
          throw db::DbFailure(jet::Problem::kUpgradeColumnNotNumeric, facts);
      }
      for (const std::string& assigned : n.assigned) {
        if (db::SameName(assigned, column) && c->autonumber)
          throw db::DbFailure(jet::Problem::kUpgradeColumnAutonumber, facts);
      }
    }
  }
}

TableNeeds Search(bool as_written) {
  TableNeeds n{"search", {}, {}, {}};
  for (const char* c : SearchColumnsCopied()) n.columns.push_back(c);
  if (as_written) {
    n.numeric = {"id", "tablenum"};
    n.assigned = {"id"};
  }
  return n;
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  const auto pa = base::PathFromUtf8(a), pb = base::PathFromUtf8(b);
  if (std::filesystem::equivalent(pa, pb, ec)) return true;
  // Neither exists yet, or one cannot be looked at: the names alone decide.
  return std::filesystem::weakly_canonical(pa, ec) == std::filesystem::weakly_canonical(pb, ec);
}

}  // namespace

void CheckRunCanFinish(RunContext& run, const std::string& template_path) {
  const std::string data_path =
      db::ParseConnectionString(run.data().connection_string()).data_source;
  if (SameFile(data_path, template_path)) {
    throw db::DbFailure(jet::Problem::kUpgradeSameFile, {.file = data_path});
  }

  std::vector<TableNeeds> data = {Search(true)};
  for (const TablePhase& phase : ColumnPhases()) data.push_back({phase.table, {}, {}, {}});
  Require(run.data(), "数据文件", data_path, data);

  std::vector<TableNeeds> templ = {Search(false)};
  for (const ReferenceImport& import : kReferenceImports) {
    const char* table = import.table;
    if (!run.tables.Contains(table)) templ.push_back({table, TemplateColumnsCopied(table), {}, {}});
  }
  Require(run.components.ADOConnection2, "模板", template_path, templ);

  // Last, what the first commit needs: the data file open for writing, a journal beside it.
  run.data().PrepareToWrite();
}

}  // namespace upgrade

#include "upgrade/reference_import.h"

#include <string>

namespace upgrade {
namespace {

constexpr int kAfterZdy = 10;

// Copy statements are handed to TemplateRecordset with the data file's connection, a static
// cursor and pessimistic locks. They return no rows, so it stays closed for the next one.
size_t RunOnTemplateRecordset(RunContext& run, const std::string& text) {
  run.TemplateRecordset.CursorType = 3;
  run.TemplateRecordset.LockType = 2;
  return run.data().RunOnRecordset(run.TemplateRecordset, text);
}

// Creates the table, then copies the template's rows into it, as one transaction; or, for a
// table its copy creates, just the copy.
void Import(RunContext& run, const ReferenceImport& import) {
  if (run.tables.Contains(import.table)) return;
  const std::string copy = import.copy + run.TemplateRef + import.table;
  size_t rows = 0;
  if (import.create) {
    AllOrNothing(run.data(), [&] {
      run.components.ADOQuery2.ExecSQL(import.create);
      rows = RunOnTemplateRecordset(run, copy);
    });
  } else {
    rows = RunOnTemplateRecordset(run, copy);
  }
  run.summary.tables_created.push_back(import.table);
  run.summary.reference_rows.emplace_back(import.table, rows);
  run.view.NoteDone(std::string("复制参考表 ") + import.table + "（" + std::to_string(rows) +
                    " 行）");
}

}  // namespace

std::vector<std::string> TemplateColumnsCopied(std::string_view table) {
  // As the copy statements below name them.
  if (table == "sj") return {"CodeB", "CodeE", "DQ", "city", "QH", "type"};
  if (table == "sfz") return {"bm", "dq"};
  return {};  // zdy: SELECT * INTO
}

void ImportReferenceTables(RunContext& run) {
  for (const ReferenceImport& import : kReferenceImports) {
    Import(run, import);
    if (std::string_view(import.table) == "zdy") run.view.SetProgress(kAfterZdy);
  }
}

}  // namespace upgrade

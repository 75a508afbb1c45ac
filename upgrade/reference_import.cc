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

// Creates `table` with `create`, then copies the template's rows with `copy` + TemplateRef.
void CreateAndCopy(RunContext& run, const char* table, const char* create, const char* copy) {
  if (run.tables.Contains(table)) return;
  size_t rows = 0;
  AllOrNothing(run.data(), [&] {
    run.components.ADOQuery2.ExecSQL(create);
    rows = RunOnTemplateRecordset(run, copy + run.TemplateRef + table);
  });
  run.summary.tables_created.push_back(table);
  run.summary.reference_rows.emplace_back(table, rows);
  run.view.NoteDone(std::string("复制参考表 ") + table + "（" + std::to_string(rows) + " 行）");
}

}  // namespace

std::vector<std::string> TemplateColumnsCopied(std::string_view table) {
  // As the copy statements below name them.
  if (table == "sj") return {"CodeB", "CodeE", "DQ", "city", "QH", "type"};
  if (table == "sfz") return {"bm", "dq"};
  return {};  // zdy: SELECT * INTO
}

void ImportReferenceTables(RunContext& run) {
  CreateAndCopy(
      run, "sj",
      "CREATE TABLE sj (id COUNTER  PRIMARY KEY,CodeB varchar(50),CodeE varchar(50),"
      "DQ varchar(50),city varchar(50),qh int,type varchar(50))",
      "INSERT INTO sj ( CodeB, CodeE, DQ, city, QH, type ) SELECT sj.CodeB, sj.CodeE, sj.DQ, "
      "sj.city, sj.QH, sj.type FROM ");
  if (!run.tables.Contains("zdy")) {
    // One statement creates zdy with the template's columns and copies its rows.
    size_t rows = RunOnTemplateRecordset(run, "SELECT * into zdy FROM " + run.TemplateRef + "zdy");
    run.summary.tables_created.push_back("zdy");
    run.summary.reference_rows.emplace_back("zdy", rows);
    run.view.NoteDone("复制参考表 zdy（" + std::to_string(rows) + " 行）");
  }
  run.view.SetProgress(kAfterZdy);
  CreateAndCopy(run, "sfz", "CREATE TABLE sfz (bm int,dq char(50))",
                "INSERT INTO sfz ( bm,dq ) SELECT sfz.bm, sfz.dq FROM ");
}

}  // namespace upgrade

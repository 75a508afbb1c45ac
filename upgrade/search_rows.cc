#include "upgrade/search_rows.h"

#include <string>
#include <utility>
#include <vector>

namespace upgrade {
namespace {

// The columns copied from each template row, in the order they are set; values pass as text.
constexpr const char* kCopiedColumns[] = {"id",      "name",      "field",
                                          "numtype", "tablename", "tablenum"};

struct FixedSearchRow {
  int id;
  const char* name;
  const char* field;
  const char* numtype;
  const char* tablename;
  int tablenum;
};

// "creattime" in rows 88 and 89 and "bz1" in row 85 are what the application expects.
constexpr FixedSearchRow kFixedRows[] = {
    {85, "发票号", "bz1", "str", "sale", 3},
    {86, "创建时间", "creattime", "str", "Customer", 1},
    {87, "创建时间", "creattime", "str", "ContactPerson", 2},
    {88, "自定义字段", "creattime", "str", "Customer", 1},
    {89, "自定义字段", "creattime", "str", "ContactPerson", 2},
};

std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    out.push_back(c);
    if (c == '\'') out.push_back('\'');
  }
  return out + "'";
}

std::string InsertStatement(const FixedSearchRow& r) {
  return "insert into search(id,name,field,numtype,tablename,tablenum) values(" +
         std::to_string(r.id) + "," + Quoted(r.name) + "," + Quoted(r.field) + "," +
         Quoted(r.numtype) + "," + Quoted(r.tablename) + "," + std::to_string(r.tablenum) + ")";
}

}  // namespace

std::span<const char* const> SearchColumnsCopied() {
  return kCopiedColumns;
}

void RefreshSearchGroups(RunContext& run) {
  UpgradeComponents& c = run.components;
  c.ADOQuery3.Close();
  c.ADOQuery3.Open(kGroupQuery);
  db::RowCursor& from = c.ADOQuery3.Rows();
  size_t deleted = 0;
  size_t copied = 0;
  AllOrNothing(run.data(), [&] {
    deleted = c.ADOQuery1.ExecSQL(kGroupDeletion);
    // Only the receiving result's columns and the rows added to it are used.
    c.ADOQuery1.Close();
    c.ADOQuery1.OpenColumns(kSearchColumnsQuery);
    db::RowCursor& to = c.ADOQuery1.Rows();
    for (; !from.AtEnd(); from.MoveNext()) {
      std::vector<std::pair<std::string, std::string>> values;
      for (const char* column : kCopiedColumns)
        values.emplace_back(column, from.ColumnText(column));
      to.AddRow(values);
      ++copied;
    }
  });
  run.summary.search_group_rows_deleted = deleted;
  run.summary.search_group_rows_copied = copied;
  run.view.NoteDone("查询定义第 10、11 组：删除 " + std::to_string(deleted) + " 行，从模板复制 " +
                    std::to_string(copied) + " 行");
}

std::vector<std::string> FixedRowDeletions() {
  return {"delete from search where id=85", "delete from search where name=" + Quoted("创建时间"),
          "delete from search where name=" + Quoted("自定义字段")};
}

std::vector<std::string> FixedRowInsertions() {
  std::vector<std::string> statements;
  for (const FixedSearchRow& r : kFixedRows) statements.push_back(InsertStatement(r));
  return statements;
}

void RewriteFixedSearchRows(RunContext& run) {
  db::Query& q = run.components.ADOQuery2;
  size_t deleted = 0;
  AllOrNothing(run.data(), [&] {
    for (const std::string& deletion : FixedRowDeletions()) deleted += q.ExecSQL(deletion);
    for (const std::string& insertion : FixedRowInsertions()) q.ExecSQL(insertion);
  });
  run.summary.search_fixed_rows_deleted = deleted;
  run.summary.search_fixed_rows_written = std::size(kFixedRows);
  run.view.NoteDone("查询定义 85–89 号：删除 " + std::to_string(deleted) + " 行，写入 " +
                    std::to_string(std::size(kFixedRows)) + " 行");
  run.view.SetProgress(kProgressMax);
}

}  // namespace upgrade

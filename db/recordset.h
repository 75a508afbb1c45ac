// The stand-in for the ADO recordset object the upgrade run creates by its program
// identifier and hands statements to: it carries the properties the run sets and, when a
// statement returns rows, holds them.
#pragma once

#include <memory>
#include <string>

namespace db {

class RowCursor;

class Recordset {
 public:
  int Pagesize = 10;   // ADO's default; the run sets 1
  int CursorType = 0;  // 3 = static
  int LockType = 1;    // 2 = pessimistic
  bool IsOpen() const { return rows_ != nullptr; }
  void Close();
  RowCursor* Rows() { return rows_.get(); }

 private:
  friend class DbConnection;
  std::shared_ptr<RowCursor> rows_;
};

// Creates the object a program identifier names; only "Adodb.Recordset" (any letter case)
// exists here. Throws DbFailure for any other.
std::unique_ptr<Recordset> CreateRecordset(const std::string& program_id);

}  // namespace db

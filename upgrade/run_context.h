// What the phases of an upgrade run share: the connections and query components the window
// hands over, and what the run prepares at its start (TemplateRecordset, TemplateRef,
// TableList). Phases read and write the data file only through these.
#pragma once

#include <string>

#include "db/db_connection.h"
#include "db/query.h"
#include "db/recordset.h"
#include "upgrade/table_list.h"
#include "upgrade/upgrade_summary.h"
#include "upgrade/upgrade_view.h"

namespace upgrade {

// The progress bar's maximum over a run; the last search row brings the bar to it.
inline constexpr int kProgressMax = 16;

// The window's components a run works through, under the window's names.
struct UpgradeComponents {
  db::DbConnection& ADOConnection1;  // the data file
  db::DbConnection& ADOConnection2;  // the template
  db::Query& ADOQuery1;              // results on the data file: columns read, rows received
  db::Query& ADOQuery2;              // statements on the data file
  db::Query& ADOQuery3;              // the template's rows (attached to ADOConnection2)
};

struct RunContext {
  UpgradeComponents& components;
  UpgradeView& view;
  db::Recordset& TemplateRecordset;
  std::string TemplateRef;
  TableList tables;
  UpgradeSummary& summary;

  db::DbConnection& data() { return components.ADOConnection1; }
};

// Runs `work` as one transaction on `connection`: all of it takes effect, or none of it.
template <typename Work>
void AllOrNothing(db::DbConnection& connection, Work work) {
  connection.BeginTrans();
  try {
    work();
  } catch (...) {
    try {
      connection.RollbackTrans();
    } catch (...) {
      // The first failure is the one worth reporting.
    }
    throw;
  }
  connection.CommitTrans();
}

}  // namespace upgrade

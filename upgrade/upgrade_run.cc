#include "upgrade/upgrade_run.h"

#include <exception>
#include <memory>

#include "db/db_connection.h"
#include "db/recordset.h"
#include "upgrade/column_additions.h"
#include "upgrade/integrity_check.h"
#include "upgrade/preflight.h"
#include "upgrade/reference_import.h"
#include "upgrade/search_rows.h"
#include "upgrade/table_catalogue.h"
#include "upgrade/template_ref.h"

namespace upgrade {
namespace {

void RunSteps(UpgradeComponents& components, const std::string& template_path, UpgradeView& view,
              UpgradeSummary& summary) {
  // The recordset lives exactly as long as the run: released on every way out.
  std::unique_ptr<db::Recordset> TemplateRecordset = db::CreateRecordset("Adodb.Recordset");
  TemplateRecordset->Pagesize = 1;

  RunContext run{components,
                 view,
                 *TemplateRecordset,
                 MakeTemplateRef(template_path),
                 TableList(components.ADOConnection1.ListUserTables()),
                 summary};
  components.ADOQuery1.SetConnection(&components.ADOConnection1);
  components.ADOQuery2.SetConnection(&components.ADOConnection1);

  view.SetProgressVisible(true);
  view.SetProgressMax(kProgressMax);
  view.SetStatus("正在创建数据表...");
  view.PumpEvents();

  CheckRunCanFinish(run, template_path);
  CheckFilesBeforeUpgrade(run);
  // Each phase is made durable once, at its end, rather than statement by statement: a
  // crash inside a phase leaves the file as the phase found it, and running the upgrade
  // again completes it.
  db::DbConnection& data = components.ADOConnection1;
  data.BeginGroupCommit();
  for (void (*phase)(RunContext&) :
       {RefreshSearchGroups, CreateMissingTables, ImportReferenceTables, AddMissingColumns,
        RewriteFixedSearchRows}) {
    phase(run);
    data.CommitGroup();
  }

  view.SetStatus("升级成功");
  view.SetProgress(0);
  view.SetProgressVisible(false);
  view.PumpEvents();
}

}  // namespace

UpgradeSummary RunUpgrade(UpgradeComponents& components, const std::string& template_path,
                          UpgradeView& view) {
  UpgradeSummary summary;
  try {
    RunSteps(components, template_path, view, summary);
    summary.succeeded = true;
  } catch (const std::exception& e) {
    summary.failure = e.what();
  } catch (...) {
    summary.failure = "未知错误";
  }
  // What the run did before a failure stays: it is made durable before the failure is told.
  try {
    components.ADOConnection1.EndGroupCommit();
  } catch (const std::exception& e) {
    if (summary.succeeded) {
      summary.succeeded = false;
      summary.failure = e.what();
    }
  }
  if (!summary.succeeded) {
    view.SetStatus("");
    view.SetFailure(summary.failure);
    view.PumpEvents();
  }
  return summary;
}

}  // namespace upgrade

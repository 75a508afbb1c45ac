#include "upgrade/upgrade_run.h"

#include <exception>
#include <memory>

#include "db/recordset.h"
#include "upgrade/column_additions.h"
#include "upgrade/integrity_check.h"
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

  CheckFilesBeforeUpgrade(run);
  RefreshSearchGroups(run);
  CreateMissingTables(run);
  ImportReferenceTables(run);
  AddMissingColumns(run);
  RewriteFixedSearchRows(run);

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
  if (!summary.succeeded) {
    view.SetStatus("");
    view.SetFailure(summary.failure);
    view.PumpEvents();
  }
  return summary;
}

}  // namespace upgrade

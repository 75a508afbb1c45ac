#include "upgrade/integrity_check.h"

#include <string>
#include <vector>

namespace upgrade {

void CheckFilesBeforeUpgrade(RunContext& run) {
  // The data file is the customer's: a run that upgraded it while its Customer table no
  // longer read would report success over a file the customer cannot use. So all of it is
  // checked, not only what the run reads and writes (`search` loses and gains rows; the
  // tables of the column phases only gain columns; the tables it creates do not exist yet).
  run.data().CheckIntegrity({"search"}, {"search"}, db::DbConnection::Scope::kWholeFile);

  // The template is only read from: the rows the run copies out of it.
  std::vector<std::string> copied = {"search"};
  for (const char* table : {"sj", "zdy", "sfz"}) {
    if (!run.tables.Contains(table)) copied.push_back(table);
  }
  run.components.ADOConnection2.CheckIntegrity({}, copied);
}

}  // namespace upgrade

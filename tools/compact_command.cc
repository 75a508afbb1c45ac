#include "tools/compact_command.h"

#include <ostream>

#include "base/utf8_path.h"
#include "jet/compact/compact.h"
#include "jet/error.h"
#include "jet/format/page_size.h"

namespace tools {

int CompactCommand(const std::filesystem::path& source, const std::filesystem::path& destination,
                   const std::string& password, std::ostream& out, std::ostream& err) {
  jet::compact::CompactReport report;
  try {
    report = jet::compact::CompactDatabase(source, destination, password);
  } catch (const jet::JetError& e) {
    err << "jetdb: " << e.what() << "\n未写入 '" << base::PathToUtf8(destination) << "'\n";
    return 1;
  }
  size_t system_tables = 0, system_rows = 0, carried = 0;
  for (const auto& t : report.tables) {
    carried += t.carried_keys;
    if (t.system) {
      ++system_tables;
      system_rows += t.rows;
      continue;
    }
    out << "表 " << t.name << "：" << t.rows << " 条记录\n";
  }
  out << "系统表 " << system_tables << " 个：" << system_rows << " 条记录\n";
  if (carried > 0) {
    out << carried << " 个索引键的排序规则无法重新计算，沿用原文件中的键\n";
  }
  const uint64_t page = jet::kPageSize;
  out << "已写入 '" << base::PathToUtf8(destination) << "'：" << report.pages << " 页（"
      << report.pages * page / 1024 << " KB），原文件 " << report.source_pages << " 页（"
      << report.source_pages * page / 1024 << " KB）\n";
  return 0;
}

}  // namespace tools

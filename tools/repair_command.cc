#include "tools/repair_command.h"

#include <ostream>
#include <string>
#include <vector>

#include "base/utf8_path.h"
#include "jet/compact/repair.h"
#include "jet/error.h"
#include "jet/format/page_size.h"

namespace tools {
namespace {

// "3-5, 9" for pages 3, 4, 5 and 9.
std::string PageRanges(const std::vector<uint32_t>& pages) {
  std::string out;
  for (size_t i = 0; i < pages.size();) {
    size_t j = i;
    while (j + 1 < pages.size() && pages[j + 1] == pages[j] + 1) ++j;
    if (!out.empty()) out += ", ";
    out += std::to_string(pages[i]);
    if (j > i) out += "-" + std::to_string(pages[j]);
    i = j + 1;
  }
  return out;
}

void Describe(const jet::compact::RepairedTable& t, std::ostream& out) {
  out << (t.system ? "系统表 " : "表 ") << t.name << "：保留 " << t.rows_kept << " 条记录";
  if (t.RowsLost() + t.RowsMissing() > 0) {
    out << "；丢失 " << t.RowsLost() + t.RowsMissing() << " 条（";
    std::vector<std::string> why;
    if (t.rows_unreadable) why.push_back("无法读出 " + std::to_string(t.rows_unreadable) + " 条");
    if (t.RowsMissing()) {
      why.push_back("定义中记载 " + std::to_string(t.rows_recorded) + " 条，数据页上少了 " +
                    std::to_string(t.RowsMissing()) + " 条");
    }
    if (t.rows_duplicate) {
      why.push_back("与唯一索引中已有的键重复 " + std::to_string(t.rows_duplicate) + " 条");
    }
    if (t.rows_without_key) {
      why.push_back("索引键无法重新计算、原索引中也没有指向它的项 " +
                    std::to_string(t.rows_without_key) + " 条");
    }
    if (t.rows_refused) why.push_back("表不接受 " + std::to_string(t.rows_refused) + " 条");
    for (size_t i = 0; i < why.size(); ++i) out << (i ? "，" : "") << why[i];
    out << "）";
  }
  if (t.long_values_lost) {
    out << "；" << t.long_values_lost << " 个备注或 OLE 对象值无法读出，记录保留，该值为空";
  }
  out << '\n';
}

}  // namespace

int RepairCommand(const std::filesystem::path& source, const std::filesystem::path& destination,
                  const std::string& password, std::ostream& out, std::ostream& err) {
  jet::compact::RepairReport report;
  try {
    report = jet::compact::RepairDatabase(source, destination, password);
  } catch (const std::exception& e) {
    err << "jetdb: " << e.what() << "\n未写入 '" << base::PathToUtf8(destination) << "'\n";
    return 2;
  }
  for (const auto& t : report.tables) {
    if (!t.system || t.LostAnything()) Describe(t, out);
  }
  for (const auto& l : report.lost_tables) {
    out << "表 " << l.name << "（定义在第 " << l.definition_page << " 页）：整个表丢失（"
        << l.reason << "）";
    if (!l.pages.empty()) out << "；它的数据页：" << PageRanges(l.pages);
    out << '\n';
  }
  for (const auto& d : report.dropped_indexes) {
    out << "表 " << d.table << "：索引 " << d.index
        << " 已损坏，其中的键按排序规则无法重新计算，新文件中没有这个索引（记录都已保留，"
           "可在 Access 中重建该索引）\n";
  }
  if (report.catalog_rows_dropped) {
    out << "目录中关于丢失的表的 " << report.catalog_rows_dropped << " 行未写入\n";
  }
  const uint64_t page = jet::kPageSize;
  out << "已写入 '" << base::PathToUtf8(destination) << "'：" << report.pages << " 页（"
      << report.pages * page / 1024 << " KB），原文件 " << report.source_pages << " 页\n";
  bool rows_lost = !report.lost_tables.empty() || report.catalog_rows_dropped > 0;
  for (const auto& t : report.tables) rows_lost |= t.LostAnything();
  if (rows_lost) {
    out << "结论：有数据丢失，原文件保持不变\n";
  } else if (report.LostAnything()) {
    out << "结论：记录都已保留，但有索引没有写入新文件，原文件保持不变\n";
  } else {
    out << "结论：没有丢失任何数据\n";
  }
  return report.LostAnything() ? 1 : 0;
}

}  // namespace tools

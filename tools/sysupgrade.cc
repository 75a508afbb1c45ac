// sysupgrade: the upgrade run without a window, for administrators who upgrade many
// customers' data files: one file after another, each with the same template.
//
//   sysupgrade [--template FILE] [--dry-run] DATAFILE...
//
// Exit status: 0 when every file was upgraded, 1 when any failed (each failure on stderr,
// naming its file), 2 for bad usage.
#include <chrono>
#include <cstring>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <string>
#include <vector>

#include "base/utf8_path.h"
#include "db/db_connection.h"
#include "db/query.h"
#include "tools/console_view.h"
#include "tools/utf8_command_line.h"
#include "tools/utf8_console.h"
#include "upgrade/product_database.h"
#include "upgrade/program_paths.h"
#include "upgrade/upgrade_run.h"

namespace {

constexpr char kUsage[] =
    "用法：sysupgrade [--template 模板文件] [--dry-run] 数据文件...\n"
    "\n"
    "把每个数据文件（.sys）依次升级到当前的表结构，与窗口程序中的“升级”相同。\n"
    "\n"
    "  --template 模板文件  升级所用的模板数据库（默认：本程序所在目录下的 my.sys）\n"
    "  --dry-run            完整地试运行每个文件的升级并报告结果，然后回滚，文件不作任何改动\n"
    "  -h, --help           显示本说明\n"
    "\n"
    "退出码：0 全部成功；1 有文件升级失败（原因写到标准错误输出）；2 用法错误。\n";

struct Options {
  std::filesystem::path template_path;
  bool dry_run = false;
  std::vector<std::filesystem::path> data_files;
};

[[noreturn]] void UsageError(const std::string& message) {
  std::cerr << "sysupgrade: " << message << "\n\n" << kUsage;
  std::exit(2);
}

Options ParseOptions(int argc, char** argv) {
  Options o;
  bool options_done = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (!options_done && (a == "-h" || a == "--help")) {
      std::cout << kUsage;
      std::exit(0);
    } else if (!options_done && a == "--template") {
      if (i + 1 >= argc) UsageError("--template 后面缺少模板文件");
      o.template_path = base::PathFromUtf8(argv[++i]);
    } else if (!options_done && a == "--dry-run") {
      o.dry_run = true;
    } else if (!options_done && a == "--") {
      options_done = true;
    } else if (!options_done && a.size() > 1 && a[0] == '-') {
      UsageError("未知选项 " + a);
    } else {
      o.data_files.push_back(base::PathFromUtf8(a));
    }
  }
  if (o.data_files.empty()) UsageError("没有指定数据文件");
  if (o.template_path.empty()) o.template_path = upgrade::DefaultTemplatePath();
  return o;
}

std::string Join(const std::vector<std::string>& items) {
  std::string out;
  for (const auto& item : items) out += (out.empty() ? "" : ", ") + item;
  return out;
}

void PrintSummary(const upgrade::UpgradeSummary& s, bool dry_run) {
  std::cout << "  新建数据表 " << s.tables_created.size() << " 个"
            << (s.tables_created.empty() ? "" : "：" + Join(s.tables_created)) << '\n';
  std::cout << "  新增字段 " << s.columns_added.size() << " 个"
            << (s.columns_added.empty() ? "" : "：" + Join(s.columns_added)) << '\n';
  std::vector<std::string> copies;
  for (const auto& [table, rows] : s.reference_rows)
    copies.push_back(table + " " + std::to_string(rows) + " 行");
  std::cout << "  参考表复制：" << (copies.empty() ? "无" : Join(copies)) << '\n';
  std::cout << "  查询定义：第 10、11 组删除 " << s.search_group_rows_deleted << " 行，从模板复制 "
            << s.search_group_rows_copied << " 行；85–89 号删除 " << s.search_fixed_rows_deleted
            << " 行，写入 " << s.search_fixed_rows_written << " 行\n";
  if (dry_run) std::cout << "  试运行：以上改动已全部回滚，文件未作任何改动\n";
}

// Upgrades one data file; returns whether it succeeded.
bool UpgradeOne(const std::filesystem::path& file, const Options& o, db::DbConnection& templ) {
  const std::string name = upgrade::PathToUtf8(file);
  std::cout << "== " << name << '\n';
  auto started = std::chrono::steady_clock::now();

  db::DbConnection data;
  db::Query query1, query2, query3;
  query3.SetConnection(&templ);
  upgrade::UpgradeComponents components{data, templ, query1, query2, query3};
  ConsoleView view(std::cout);
  upgrade::UpgradeSummary summary;
  try {
    data.Connect(upgrade::ConnectionStringFor(name));
    // A dry run is the whole upgrade in one transaction that is never committed.
    if (o.dry_run) data.BeginTrans();
    summary = upgrade::RunUpgrade(components, upgrade::PathToUtf8(o.template_path), view);
    view.Finish();
    if (o.dry_run) data.RollbackTrans();
  } catch (const std::exception& e) {
    summary.succeeded = false;
    summary.failure = e.what();
  }
  data.Disconnect();

  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::cout << "  " << (summary.succeeded ? "升级成功" : "升级失败") << "（" << std::fixed
            << std::setprecision(2) << seconds << " 秒）\n";
  // A failure keeps the work committed before it; say what that was.
  if (summary.succeeded || summary.ChangedAnything()) PrintSummary(summary, o.dry_run);
  if (!summary.succeeded) {
    std::cout.flush();
    std::cerr << "sysupgrade: " << name << "：" << summary.failure << '\n';
  }
  return summary.succeeded;
}

}  // namespace

int main(int argc, char** argv) {
  UseUtf8Console();
  Utf8CommandLine command_line(argc, argv);
  Options o = ParseOptions(command_line.argc(), command_line.argv());
  o.template_path = std::filesystem::absolute(o.template_path);

  db::DbConnection templ;
  try {
    templ.Connect(upgrade::ConnectionStringFor(upgrade::PathToUtf8(o.template_path)));
  } catch (const std::exception& e) {
    std::cerr << "sysupgrade: 无法打开模板 " << upgrade::PathToUtf8(o.template_path) << "："
              << e.what() << '\n';
    return 1;
  }

  int failed = 0;
  for (const auto& file : o.data_files) {
    if (!UpgradeOne(file, o, templ)) ++failed;
  }
  int total = static_cast<int>(o.data_files.size());
  std::cout << "共 " << total << " 个文件：" << (o.dry_run ? "试运行成功 " : "升级成功 ")
            << total - failed << " 个，失败 " << failed << " 个\n";
  return failed == 0 ? 0 : 1;
}

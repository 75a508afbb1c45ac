// jetdb: the engine's command-line tool, for developers and support staff.
//
//   jetdb tables FILE                 user tables, one per line, in catalog order
//   jetdb schema FILE [TABLE]         table definitions as Jet SQL
//   jetdb count FILE TABLE            live rows, counted on the table's data pages
//   jetdb export FILE TABLE [--format csv|jsonl]
//   jetdb check FILE                  exit 0 no damage (notes allowed), 1 damage, 2 could not open
//   jetdb create FILE [--sort-order LCID]   a blank database
//   jetdb sql FILE "STATEMENT"        runs one Jet SQL statement
//   jetdb journal FILE [--discard]    settles a journal an interrupted change left behind
//   jetdb compact SRC [DST]           a compacted copy of SRC, written to a new file DST
//   jetdb repair SRC [DST]            what can be read of a damaged SRC, written to DST
//                                     (without DST: in place, SRC kept as a backup; in_place.h)
//
// Every subcommand takes -p PASSWORD (anywhere on the line).
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "base/utf8_path.h"
#include "jet/error.h"
#include "jet/sql/parser.h"
#include "jet/sql/session.h"
#include "jet/table/checker.h"
#include "jet/table/database.h"
#include "jet/table/database_creator.h"
#include "jet/table/table.h"
#include "tools/compact_command.h"
#include "tools/in_place.h"
#include "tools/jetdb_format.h"
#include "tools/journal_command.h"
#include "tools/repair_command.h"
#include "tools/utf8_command_line.h"
#include "tools/utf8_console.h"

namespace {

const char kUsage[] =
    "用法：jetdb 命令 文件 [参数] [-p 密码]\n"
    "\n"
    "命令：\n"
    "  tables 文件                          按目录中的顺序列出用户表\n"
    "  schema 文件 [表]                     以 Jet SQL 显示表的定义（所有表或一个表）\n"
    "  count 文件 表                        统计表中的记录数\n"
    "  export 文件 表 [--format csv|jsonl]\n"
    "                                       输出表中的记录（默认为带标题行的 CSV，\n"
    "                                       NULL 为空字段）\n"
    "  check 文件                           检查文件有无损坏（退出码：0 没有发现损坏，\n"
    "                                       1 发现损坏，2 无法打开）；Access 自己也会\n"
    "                                       留下的情况只列为注意事项\n"
    "  sql 文件 语句                        执行一条 Jet SQL 语句：SELECT 以 CSV 输出\n"
    "                                       结果，其他语句输出受影响的记录数\n"
    "  create 文件 [--sort-order LCID]      新建空数据库（排序规则默认为 1033 通用，\n"
    "                                       2052 为中文）\n"
    "  journal 文件 [--discard]             处理中断的修改留下的日志：能安全地撤销或\n"
    "                                       删除时就处理，否则加 --discard 才删除；\n"
    "                                       然后检查文件\n"
    "  compact 源文件 [新文件]              压缩：把源文件的全部对象写入新文件（新文件\n"
    "                                       不能已存在），去掉已删除的记录和表留下的页；\n"
    "                                       源文件只读不写；不给新文件时，检查无误后\n"
    "                                       替换源文件，原文件改名保留为备份\n"
    "  repair 源文件 [新文件]               修复：按页逐条读出损坏的源文件中能读出的记录，\n"
    "                                       写入新文件并重建索引，逐表说明保留和丢失了\n"
    "                                       什么（退出码：0 没有丢失，1 有丢失，2 什么也\n"
    "                                       没能写入）；源文件只读不写；不给新文件时\n"
    "                                       同 compact，替换源文件并保留备份\n"
    "\n"
    "选项：\n"
    "  -p, --password 密码                  数据库密码\n"
    "  -h, --help                           显示本说明\n";

struct Arguments {
  std::string command;
  std::vector<std::string> positional;
  std::string password;
  std::string format = "csv";
  std::string sort_order = "1033";
  bool help = false;
  bool discard = false;
};

class UsageError : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

Arguments Parse(int argc, char** argv) {
  Arguments a;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](const char* option) {
      if (i + 1 >= argc) throw UsageError(std::string("选项 ") + option + " 需要一个值");
      return std::string(argv[++i]);
    };
    if (arg == "-h" || arg == "--help") {
      a.help = true;
    } else if (arg == "-p" || arg == "--password") {
      a.password = value("-p");
    } else if (arg.starts_with("--password=")) {
      a.password = arg.substr(11);
    } else if (arg == "--format") {
      a.format = value("--format");
    } else if (arg.starts_with("--format=")) {
      a.format = arg.substr(9);
    } else if (arg == "--discard") {
      a.discard = true;
    } else if (arg == "--sort-order") {
      a.sort_order = value("--sort-order");
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw UsageError("未知的选项 " + arg);
    } else if (a.command.empty()) {
      a.command = arg;
    } else {
      a.positional.push_back(arg);
    }
  }
  return a;
}

void Expect(const Arguments& a, size_t min, size_t max) {
  if (a.positional.size() < min || a.positional.size() > max) {
    throw UsageError("命令 '" + a.command + "' 的参数个数不对");
  }
}

int Run(const Arguments& a) {
  using namespace jet;
  if (a.command == "tables") {
    Expect(a, 1, 1);
    auto db = Database::Open(base::PathFromUtf8(a.positional[0]), a.password);
    for (const CatalogEntry* e : db->catalog().OfKind(ObjectKind::kUserTable)) {
      std::cout << e->name << '\n';
    }
    return 0;
  }
  if (a.command == "schema") {
    Expect(a, 1, 2);
    auto db = Database::Open(base::PathFromUtf8(a.positional[0]), a.password);
    if (a.positional.size() == 2) {
      Table t = db->OpenTable(a.positional[1]);
      std::cout << tools::TableSchemaSql(t.name(), t.definition());
    } else {
      for (const CatalogEntry* e : db->catalog().OfKind(ObjectKind::kUserTable)) {
        Table t = db->OpenTable(*e);
        std::cout << tools::TableSchemaSql(t.name(), t.definition()) << '\n';
      }
    }
    return 0;
  }
  if (a.command == "count") {
    Expect(a, 2, 2);
    auto db = Database::Open(base::PathFromUtf8(a.positional[0]), a.password);
    std::cout << db->OpenTable(a.positional[1]).CountRows() << '\n';
    return 0;
  }
  if (a.command == "export") {
    Expect(a, 2, 2);
    if (a.format != "csv" && a.format != "jsonl") {
      throw UsageError("未知的格式 " + a.format + "（只能是 csv 或 jsonl）");
    }
    auto db = Database::Open(base::PathFromUtf8(a.positional[0]), a.password);
    Table t = db->OpenTable(a.positional[1]);
    const TableDefinition& def = t.definition();
    bool csv = a.format == "csv";
    std::string line;
    if (csv) std::cout << tools::CsvHeader(def);
    t.Scan([&](RowPointer, const std::vector<Value>& values) {
      line.clear();
      if (csv) {
        tools::AppendCsvRow(values, line);
      } else {
        tools::AppendJsonRow(def, values, line);
      }
      std::cout << line;
      return static_cast<bool>(std::cout);
    });
    std::cout.flush();
    return 0;
  }
  if (a.command == "check") {
    Expect(a, 1, 1);
    std::unique_ptr<Database> db;
    try {
      db = Database::Open(base::PathFromUtf8(a.positional[0]), a.password);
    } catch (const JetError& e) {
      std::cerr << "jetdb: " << e.what() << '\n';
      return 2;
    }
    CheckReport report = CheckDatabase(*db);
    std::cout << tools::FindingLines(report);
    const PageCensus& c = report.census;
    std::cout << "共 " << c.pages << " 页：使用中 " << c.claimed << " 页，空闲 " << c.free
              << " 页，既未使用也不空闲 " << c.leaked.size() << " 页\n";
    std::cout << report.tables << " 个表，" << report.rows << " 条记录，" << report.index_entries
              << " 个索引项（" << report.keys_compared << " 个键按记录重新算过，"
              << report.keys_not_encodable << " 个键的排序规则无法重新计算）："
              << tools::CheckVerdict(report) << '\n';
    return report.ok() ? 0 : 1;
  }
  if (a.command == "sql") {
    Expect(a, 2, 2);
    sql::Session session(base::PathFromUtf8(a.positional[0]), a.password);
    const std::string& text = a.positional[1];
    bool query = sql::ReturnsRows(text);
    if (query) {
      sql::ResultSet result = session.Query(text);
      std::string line;
      for (size_t i = 0; i < result.columns.size(); ++i) {
        if (i) line.push_back(',');
        line += tools::CsvField(result.columns[i]);
      }
      std::cout << line << "\r\n";
      for (const auto& row : result.rows) {
        line.clear();
        tools::AppendCsvRow(row, line);
        std::cout << line;
      }
    } else {
      std::cout << session.Execute(text) << '\n';
    }
    return 0;
  }
  if (a.command == "journal") {
    Expect(a, 1, 1);
    return tools::SettleJournalCommand(base::PathFromUtf8(a.positional[0]), a.password, a.discard,
                                       std::cout, std::cerr);
  }
  if (a.command == "compact" || a.command == "repair") {
    Expect(a, 1, 2);
    const bool compact = a.command == "compact";
    auto rebuild = [&](const std::filesystem::path& source, const std::filesystem::path& to) {
      return compact ? tools::CompactCommand(source, to, a.password, std::cout, std::cerr)
                     : tools::RepairCommand(source, to, a.password, std::cout, std::cerr);
    };
    const std::filesystem::path source = base::PathFromUtf8(a.positional[0]);
    if (a.positional.size() == 2) return rebuild(source, base::PathFromUtf8(a.positional[1]));
    // In place: the failure statuses are compact's 1 and repair's 2, "nothing written".
    const int failed = compact ? 1 : 2;
    try {
      const tools::InPlace plan = tools::PlanInPlace(source, compact ? "压缩" : "修复");
      const int status = rebuild(source, plan.work);
      if (status == failed) {
        std::cerr << "原文件没有改动\n";
        return status;
      }
      tools::SwapInPlace(plan, a.password, std::cout);
      return status;
    } catch (const std::exception& e) {
      std::cerr << "jetdb: " << e.what() << "\n原文件没有改动\n";
      return failed;
    }
  }
  if (a.command == "create") {
    Expect(a, 1, 1);
    SortOrder order;
    try {
      order.lcid = static_cast<uint16_t>(std::stoi(a.sort_order));
    } catch (const std::exception&) {
      throw UsageError("--sort-order 需要一个数字，例如 1033 或 2052");
    }
    CreateDatabase(base::PathFromUtf8(a.positional[0]), a.password, order);
    return 0;
  }
  throw UsageError("未知的命令 '" + a.command + "'");
}

}  // namespace

int main(int argc, char** argv) {
  UseUtf8Console();
  std::ios::sync_with_stdio(false);
  Utf8CommandLine command_line(argc, argv);
  try {
    Arguments a = Parse(command_line.argc(), command_line.argv());
    if (a.help || a.command.empty()) {
      (a.help ? std::cout : std::cerr) << kUsage;
      return a.help ? 0 : 2;
    }
    return Run(a);
  } catch (const UsageError& e) {
    std::cerr << "jetdb: " << e.what() << "\n\n" << kUsage;
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "jetdb: " << e.what() << '\n';
    return 1;
  }
}

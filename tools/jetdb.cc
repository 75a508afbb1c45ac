// jetdb: the engine's command-line tool, for developers and support staff.
//
//   jetdb tables FILE                 user tables, one per line, in catalog order
//   jetdb schema FILE [TABLE]         table definitions as Jet SQL
//   jetdb count FILE TABLE            live rows, counted on the table's data pages
//   jetdb export FILE TABLE [--format csv|jsonl]
//   jetdb check FILE                  exit 0 consistent, 1 problems found, 2 could not open
//   jetdb create FILE [--sort-order LCID]   a blank database
//   jetdb sql FILE "STATEMENT"        runs one Jet SQL statement
//   jetdb journal FILE [--discard]    settles a journal an interrupted change left behind
//
// Every subcommand takes -p PASSWORD (anywhere on the line).
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "jet/error.h"
#include "jet/file/utf8_path.h"
#include "jet/sql/parser.h"
#include "jet/sql/session.h"
#include "jet/table/checker.h"
#include "jet/table/database.h"
#include "jet/table/database_creator.h"
#include "jet/table/table.h"
#include "tools/jetdb_format.h"
#include "tools/journal_command.h"
#include "tools/utf8_command_line.h"
#include "tools/utf8_console.h"

namespace {

const char kUsage[] =
    "usage: jetdb COMMAND FILE [ARGS] [-p PASSWORD]\n"
    "\n"
    "commands:\n"
    "  tables FILE                          list user tables in catalog order\n"
    "  schema FILE [TABLE]                  show table definitions as Jet SQL\n"
    "  count FILE TABLE                     count the live rows of a table\n"
    "  export FILE TABLE [--format csv|jsonl]\n"
    "                                       write a table's rows (CSV with a header row by\n"
    "                                       default; NULL is an empty field)\n"
    "  check FILE                           check the file's consistency (exit 0 consistent,\n"
    "                                       1 problems found, 2 could not open)\n"
    "  sql FILE STATEMENT                   run one Jet SQL statement: a SELECT prints its\n"
    "                                       rows as CSV, any other the rows it affected\n"
    "  create FILE [--sort-order LCID]      create a blank database (sort order 1033 General\n"
    "                                       by default, 2052 Chinese PRC)\n"
    "  journal FILE [--discard]             settle the journal an interrupted change left:\n"
    "                                       roll it back or drop it where that is safe, drop\n"
    "                                       it on --discard otherwise, then check the file\n"
    "\n"
    "options:\n"
    "  -p, --password PASSWORD              the database password\n"
    "  -h, --help                           show this help\n";

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
      if (i + 1 >= argc) throw UsageError(std::string(option) + " needs a value");
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
      throw UsageError("unknown option " + arg);
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
    throw UsageError("wrong number of arguments for '" + a.command + "'");
  }
}

int Run(const Arguments& a) {
  using namespace jet;
  if (a.command == "tables") {
    Expect(a, 1, 1);
    auto db = Database::Open(PathFromUtf8(a.positional[0]), a.password);
    for (const CatalogEntry* e : db->catalog().OfKind(ObjectKind::kUserTable)) {
      std::cout << e->name << '\n';
    }
    return 0;
  }
  if (a.command == "schema") {
    Expect(a, 1, 2);
    auto db = Database::Open(PathFromUtf8(a.positional[0]), a.password);
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
    auto db = Database::Open(PathFromUtf8(a.positional[0]), a.password);
    std::cout << db->OpenTable(a.positional[1]).CountRows() << '\n';
    return 0;
  }
  if (a.command == "export") {
    Expect(a, 2, 2);
    if (a.format != "csv" && a.format != "jsonl") throw UsageError("unknown format " + a.format);
    auto db = Database::Open(PathFromUtf8(a.positional[0]), a.password);
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
      db = Database::Open(PathFromUtf8(a.positional[0]), a.password);
    } catch (const JetError& e) {
      std::cerr << "jetdb: " << e.what() << '\n';
      return 2;
    }
    CheckReport report = CheckDatabase(*db);
    for (const auto& p : report.problems) std::cout << p << '\n';
    for (const auto& n : report.notes) std::cout << "note: " << n << '\n';
    const PageCensus& c = report.census;
    std::cout << c.pages << " pages: " << c.claimed << " in use, " << c.free << " free, "
              << c.leaked.size() << " leaked\n";
    std::cout << report.tables << " tables, " << report.rows << " rows, " << report.index_entries
              << " index entries (" << report.keys_compared << " keys recomputed, "
              << report.keys_not_encodable << " under sort orders not recomputed): "
              << (report.ok() ? "consistent" : std::to_string(report.problems.size()) + " problems")
              << '\n';
    return report.ok() ? 0 : 1;
  }
  if (a.command == "sql") {
    Expect(a, 2, 2);
    sql::Session session(PathFromUtf8(a.positional[0]), a.password);
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
    return tools::SettleJournalCommand(PathFromUtf8(a.positional[0]), a.password, a.discard,
                                       std::cout, std::cerr);
  }
  if (a.command == "create") {
    Expect(a, 1, 1);
    SortOrder order;
    try {
      order.lcid = static_cast<uint16_t>(std::stoi(a.sort_order));
    } catch (const std::exception&) {
      throw UsageError("--sort-order takes a number such as 1033 or 2052");
    }
    CreateDatabase(PathFromUtf8(a.positional[0]), a.password, order);
    return 0;
  }
  throw UsageError("unknown command '" + a.command + "'");
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

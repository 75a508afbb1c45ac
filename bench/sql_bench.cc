// jet_sql_bench: how fast the upgrade's bulk copy runs.
//
// Builds a source database holding a phone-prefix table of 300,000 rows (COUNTER primary key,
// five short text columns, one integer) with the table writer in one transaction, then times
// the upgrade's statement form "INSERT INTO t2 (...) SELECT ... FROM [source;pwd=...].t" into
// a second database, and a full "SELECT *" of the copy. Prints the figures; asserts nothing.
//
//   jet_sql_bench [ROWS] [DIRECTORY]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "jet/error.h"
#include "jet/sql/session.h"
#include "jet/table/database.h"
#include "jet/table/database_creator.h"
#include "jet/table/table_writer.h"
#include "upgrade/product_database.h"

namespace {

namespace fs = std::filesystem;
constexpr const char* kPassword = upgrade::kDatabasePassword;
const char kCreate[] =
    "CREATE TABLE %s (id COUNTER  PRIMARY KEY,CodeB varchar(50),CodeE varchar(50),DQ "
    "varchar(50),city "
    "varchar(50),qh int,type varchar(50))";

using Clock = std::chrono::steady_clock;
double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

std::string CreateStatement(const char* table) {
  char buf[512];
  std::snprintf(buf, sizeof buf, kCreate, table);
  return buf;
}

void Report(const char* what, size_t rows, double seconds, const fs::path& file) {
  std::error_code ec;
  auto size = fs::file_size(file, ec);
  std::printf("%-44s %8zu rows %8.3f s %10.0f rows/s  file %6.1f MB\n", what, rows, seconds,
              seconds > 0 ? static_cast<double>(rows) / seconds : 0.0,
              ec ? 0.0 : static_cast<double>(size) / 1e6);
}

}  // namespace

int main(int argc, char** argv) {
  size_t rows = argc > 1 ? static_cast<size_t>(std::strtoul(argv[1], nullptr, 10)) : 300000;
  fs::path dir = argc > 2
                     ? fs::path(argv[2])
                     : fs::temp_directory_path() / ("jet_sql_bench-" + std::to_string(::getpid()));
  try {
    fs::create_directories(dir);
    fs::path source = dir / "模板 目录 source.sys";
    fs::path target = dir / "target.sys";
    fs::remove(source);
    fs::remove(target);
    jet::CreateDatabase(source, kPassword);
    jet::CreateDatabase(target, kPassword);
    {
      jet::sql::Session s(source, kPassword);
      s.Execute(CreateStatement("t"));
    }
    {
      jet::sql::Session s(target, kPassword);
      s.Execute(CreateStatement("t2"));
    }

    // The bulk build: the table writer, one transaction.
    static const char* kPlaces[][2] = {{"北京", "北京"}, {"广东", "广州"}, {"广东", "深圳"},
                                       {"上海", "上海"}, {"四川", "成都"}, {"新疆", "乌鲁木齐"},
                                       {"江苏", "南京"}, {"浙江", "杭州"}};
    static const char* kTypes[] = {"移动", "联通", "电信"};
    std::mt19937 rng(1);
    auto start = Clock::now();
    {
      auto db = jet::Database::Open(source, kPassword, jet::Pager::Mode::kReadWrite);
      const jet::CatalogEntry* entry = db->catalog().FindTable("t");
      jet::Transaction transaction(*db);
      jet::TableWriter writer(*db, entry->DefinitionPage(), entry->name);
      const auto& def = writer.definition();
      std::vector<size_t> at;
      for (const char* name : {"id", "CodeB", "CodeE", "DQ", "city", "qh", "type"}) {
        at.push_back(static_cast<size_t>(def.FindColumn(name) - def.columns.data()));
      }
      for (size_t i = 0; i < rows; ++i) {
        const auto& place = kPlaces[rng() % 8];
        std::vector<jet::Value> v(def.columns.size());
        v[at[1]] = jet::Value::Text(std::to_string(1300000 + i));
        v[at[2]] = jet::Value::Text(std::to_string(1300000 + i) + "9");
        v[at[3]] = jet::Value::Text(place[0]);
        v[at[4]] = jet::Value::Text(place[1]);
        v[at[5]] = jet::Value::Long(static_cast<int32_t>(10 + rng() % 990));
        v[at[6]] = jet::Value::Text(kTypes[rng() % 3]);
        writer.Insert(std::move(v));
      }
      writer.Finish();
      transaction.Commit();
    }
    double build = Seconds(start);
    Report("bulk build (TableWriter, one transaction)", rows, build, source);

    // The upgrade's statement form.
    std::string copy =
        "INSERT INTO t2 ( CodeB, CodeE, DQ, city, QH, type ) SELECT t.CodeB, t.CodeE, t.DQ, "
        "t.city, "
        "t.QH, t.type FROM [" +
        source.string() + ";pwd=" + kPassword + "].t";
    size_t copied = 0;
    start = Clock::now();
    {
      jet::sql::Session s(target, kPassword);
      copied = s.Execute(copy);
    }
    double insert_select = Seconds(start);
    Report("INSERT ... SELECT from [source;pwd=...].t", copied, insert_select, target);

    start = Clock::now();
    size_t read = 0;
    {
      jet::sql::Session s(target, kPassword);
      read = s.Query("select * from t2").rows.size();
    }
    Report("SELECT * FROM t2 (whole result fetched)", read, Seconds(start), target);

    start = Clock::now();
    size_t matched = 0;
    {
      jet::sql::Session s(target, kPassword);
      matched = s.Query("select * from t2 where DQ='广东' and qh < 500").rows.size();
    }
    Report("SELECT ... WHERE (rows scanned)", read, Seconds(start), target);
    std::printf("  (the condition DQ='广东' AND qh < 500 matched %zu rows)\n", matched);

    if (argc <= 2) fs::remove_all(dir);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "jet_sql_bench: %s\n", e.what());
    if (argc <= 2) fs::remove_all(dir);
    return 1;
  }
}

// Write benchmark: a bulk insert shaped like the phone-prefix table of a data upgrade
// (autonumber key, five short text columns, one Long) into a new table of a new database, in
// one transaction; then single-row statements, each its own transaction, on the same table.
// It reports rows/s, megabytes written through the pager, the file size and the peak
// resident memory. Timings depend on the machine and its disk; nothing here asserts on them.
//
//   jet_write_bench [--rows N] [--single N] [--random-single] [--dir DIR] [--keep]
//
// By default the single-row statements continue the bulk load's key order (the usual case
// for an import); --random-single inserts prefixes in random order instead.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "jet/error.h"
#include "jet/format/value.h"
#include "jet/table/database.h"
#include "jet/table/database_creator.h"
#include "jet/table/schema_change.h"
#include "jet/table/table_writer.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}
double Megabytes(uint64_t bytes) {
  return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

long PeakRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;  // kilobytes on Linux
}

struct Options {
  int rows = 300000;
  int single = 2000;
  bool random_single = false;
  std::filesystem::path dir;
  bool keep = false;
};

Options Parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&]() -> std::string {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "%s needs a value\n", a.c_str());
        std::exit(2);
      }
      return argv[++i];
    };
    if (a == "--rows") {
      o.rows = std::atoi(next().c_str());
    } else if (a == "--single") {
      o.single = std::atoi(next().c_str());
    } else if (a == "--random-single") {
      o.random_single = true;
    } else if (a == "--dir") {
      o.dir = next();
    } else if (a == "--keep") {
      o.keep = true;
    } else {
      std::fprintf(stderr,
                   "usage: jet_write_bench [--rows N] [--single N] [--random-single] [--dir DIR] "
                   "[--keep]\n");
      std::exit(2);
    }
  }
  return o;
}

const char* const kProvinces[] = {"北京", "上海", "广东", "江苏", "浙江", "四川", "湖北", "山东"};
const char* const kCities[] = {"北京市", "上海市", "广州市", "深圳市", "南京市", "杭州市",
                               "成都市", "武汉市", "济南市", "青岛市", "苏州市", "东莞市"};
const char* const kCarriers[] = {"中国移动", "中国联通", "中国电信"};

// One row: ID (NULL: the next autonumber), Prefix, Province, City, Carrier, AreaCode, Zip.
std::vector<jet::Value> PrefixRow(uint32_t prefix, std::mt19937& rng) {
  std::vector<jet::Value> v(7);
  v[1] = jet::Value::Text(std::to_string(prefix));
  v[2] = jet::Value::Text(kProvinces[rng() % std::size(kProvinces)]);
  v[3] = jet::Value::Text(kCities[rng() % std::size(kCities)]);
  v[4] = jet::Value::Text(kCarriers[rng() % std::size(kCarriers)]);
  v[5] = jet::Value::Text("0" + std::to_string(10 + rng() % 900));
  v[6] = jet::Value::Long(static_cast<int32_t>(100000 + rng() % 900000));
  return v;
}

int Run(const Options& o) {
  std::filesystem::path dir = o.dir;
  bool made_dir = false;
  if (dir.empty()) {
    dir = std::filesystem::temp_directory_path() / ("jet_write_bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    made_dir = true;
  }
  const std::filesystem::path path = dir / "prefix_bench.mdb";
  std::error_code ec;
  std::filesystem::remove(path, ec);

  auto t0 = Clock::now();
  jet::CreateDatabase(path, "");
  auto db = jet::Database::Open(path, "", jet::Pager::Mode::kReadWrite);
  {
    jet::NewColumn id{"ID", jet::ColumnType::kLong};
    id.autonumber = true;
    std::vector<jet::NewColumn> cols = {id};
    for (const char* name : {"Prefix", "Province", "City", "Carrier", "AreaCode"}) {
      cols.push_back(jet::NewColumn{name, jet::ColumnType::kText, 50});
    }
    cols.push_back(jet::NewColumn{"Zip", jet::ColumnType::kLong});
    jet::Transaction t(*db);
    jet::CreateTable(*db, "PhonePrefix", cols,
                     {jet::NewIndex{"PrimaryKey", {{"ID", true}}, true, true, false},
                      jet::NewIndex{"PrefixIdx", {{"Prefix", true}}, false, false, false}});
    t.Commit();
  }
  const uint32_t tdef = db->catalog().FindTable("PhonePrefix")->DefinitionPage();
  auto t1 = Clock::now();
  std::printf("create database + table: %.3f s\n", Seconds(t1 - t0));

  // Bulk load: one statement, one transaction. Prefixes ascend, as an import's usually do.
  std::mt19937 rng(2024);
  uint64_t written_before = db->pager().bytes_written();
  Clock::time_point t_insert, t_finish, t_commit;
  {
    jet::Transaction t(*db);
    jet::TableWriter w(*db, tdef, "PhonePrefix");
    for (int i = 0; i < o.rows; ++i) w.Insert(PrefixRow(1300000 + static_cast<uint32_t>(i), rng));
    t_insert = Clock::now();
    w.Finish();
    t_finish = Clock::now();
    t.Commit();
    t_commit = Clock::now();
  }
  const uint64_t bulk_written = db->pager().bytes_written() - written_before;
  const double bulk_seconds = Seconds(t_commit - t1);
  std::printf("bulk insert, %d rows in one transaction:\n", o.rows);
  std::printf("  rows:   %.3f s\n  finish: %.3f s (indexes, definition)\n  commit: %.3f s\n",
              Seconds(t_insert - t1), Seconds(t_finish - t_insert), Seconds(t_commit - t_finish));
  std::printf("  total:  %.3f s = %.0f rows/s, %.1f MB written, file %.1f MB, peak RSS %.1f MB\n",
              bulk_seconds, o.rows / bulk_seconds, Megabytes(bulk_written),
              Megabytes(std::filesystem::file_size(path)), PeakRssKb() / 1024.0);

  // Single-row statements on the now large table.
  written_before = db->pager().bytes_written();
  std::vector<double> per_statement;
  per_statement.reserve(static_cast<size_t>(o.single));
  auto s0 = Clock::now();
  for (int i = 0; i < o.single; ++i) {
    uint32_t prefix = o.random_single ? 1300000 + static_cast<uint32_t>(rng() % o.rows)
                                      : 1300000 + static_cast<uint32_t>(o.rows + i);
    auto a = Clock::now();
    jet::Transaction t(*db);
    jet::TableWriter w(*db, tdef, "PhonePrefix");
    w.Insert(PrefixRow(prefix, rng));
    w.Finish();
    t.Commit();
    per_statement.push_back(Seconds(Clock::now() - a) * 1000.0);
  }
  const double single_seconds = Seconds(Clock::now() - s0);
  const uint64_t single_written = db->pager().bytes_written() - written_before;
  if (o.single > 0) {
    std::sort(per_statement.begin(), per_statement.end());
    auto pct = [&](double p) {
      return per_statement[static_cast<size_t>(p * (per_statement.size() - 1))];
    };
    std::printf("single-row statements, %d rows, one transaction each (%s keys):\n", o.single,
                o.random_single ? "random" : "ascending");
    std::printf(
        "  total:  %.3f s = %.0f rows/s, %.2f ms per statement (median %.2f, p99 %.2f, "
        "max %.2f)\n",
        single_seconds, o.single / single_seconds, single_seconds * 1000.0 / o.single, pct(0.5),
        pct(0.99), per_statement.back());
    std::printf("  %.1f MB written (%.1f KB per statement), file %.1f MB, peak RSS %.1f MB\n",
                Megabytes(single_written), single_written / 1024.0 / o.single,
                Megabytes(std::filesystem::file_size(path)), PeakRssKb() / 1024.0);
  }
  db.reset();
  if (!o.keep) {
    std::filesystem::remove(path, ec);
    if (made_dir) std::filesystem::remove_all(dir, ec);
  } else {
    std::printf("kept %s\n", path.string().c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(Parse(argc, argv));
  } catch (const jet::JetError& e) {
    std::fprintf(stderr, "jet_write_bench: %s\n", e.what());
    return 1;
  }
}

// Read benchmark: full scans of the largest fixture tables, reported as rows/s and MB/s of
// pages read, next to mdbtools' mdb-export on the same tables for scale. It only reports;
// timings depend on the machine and nothing here asserts on them.
//
//   jet_bench [FIXTURE_DIR]
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "jet/error.h"
#include "jet/table/database.h"
#include "jet/table/table.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Target {
  const char* file;
  const char* table;
};

// The biggest tables in the corpus by rows, plus one dominated by a 121 KB OLE chain.
constexpr Target kTargets[] = {
    {"northwind2000.mdb", "Order Details"},
    {"northwind2000.mdb", "Orders"},
    {"jackcess_indexcodes2000.mdb", "Table1"},
    {"tika_access2_2000.mdb", "Table1"},
};

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

struct ScanResult {
  size_t rows = 0;
  uint64_t value_bytes = 0;  // decoded text and binary bytes, to keep the work observable
  uint64_t page_bytes = 0;   // bytes the pager read from the file
  double open_seconds = 0;
  double scan_seconds = 0;
};

// One cold run: a fresh open (empty page cache), then a scan of every row.
ScanResult ScanOnce(const std::filesystem::path& file, const char* table) {
  ScanResult r;
  auto t0 = Clock::now();
  auto db = jet::Database::Open(file, "");
  auto t1 = Clock::now();
  uint64_t before = db->pager().bytes_read();
  db->OpenTable(table).Scan([&](jet::RowPointer, const std::vector<jet::Value>& values) {
    ++r.rows;
    for (const auto& v : values) r.value_bytes += v.text.size() + v.bytes.size();
    return true;
  });
  auto t2 = Clock::now();
  r.page_bytes = db->pager().bytes_read() - before;
  r.open_seconds = Seconds(t1 - t0);
  r.scan_seconds = Seconds(t2 - t1);
  return r;
}

std::string Quote(const std::string& arg) {
  std::string out = "'";
  for (char c : arg) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out.push_back(c);
    }
  }
  return out + "'";
}

bool HaveMdbExport() {
  return std::system("command -v mdb-export >/dev/null 2>&1") == 0;
}

// Best wall time of `reps` runs of mdb-export to /dev/null, or a negative value on failure.
double TimeMdbExport(const std::filesystem::path& file, const char* table, int reps) {
  std::string command =
      "mdb-export " + Quote(file.string()) + " " + Quote(table) + " >/dev/null 2>&1";
  double best = 1e300;
  for (int i = 0; i < reps; ++i) {
    auto t0 = Clock::now();
    int status = std::system(command.c_str());
    double s = Seconds(Clock::now() - t0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    best = std::min(best, s);
  }
  return best;
}

std::string Rate(double per_second) {
  char buf[32];
  if (per_second >= 1e6) {
    std::snprintf(buf, sizeof buf, "%.2fM", per_second / 1e6);
  } else if (per_second >= 1e3) {
    std::snprintf(buf, sizeof buf, "%.1fk", per_second / 1e3);
  } else {
    std::snprintf(buf, sizeof buf, "%.0f", per_second);
  }
  return buf;
}

}  // namespace

int main(int argc, char** argv) {
  std::filesystem::path dir = argc > 1 ? argv[1] : FIXTURE_DIR;
  if (!std::filesystem::is_directory(dir)) {
    std::printf("jet_bench: fixture directory %s is not present; nothing to measure\n",
                dir.string().c_str());
    return 0;
  }
  const bool mdb_export = HaveMdbExport();
  std::printf(
      "Full-table reads; engine figures are the best of repeated cold runs (fresh open,\n"
      "empty page cache). MB/s counts the pages the scan read from the file.\n\n");
  std::printf("%-42s %6s %5s %10s %10s %9s %9s | %12s %10s\n", "table", "rows", "runs", "scan ms",
              "rows/s", "MB/s", "open ms", "mdb-export ms", "rows/s");
  for (const Target& t : kTargets) {
    std::filesystem::path file = dir / t.file;
    std::string label = std::string(t.file) + " / " + t.table;
    if (!std::filesystem::exists(file)) {
      std::printf("%-42s (missing)\n", label.c_str());
      continue;
    }
    try {
      // Repeat until a quarter second has been spent, at least 3 and at most 200 runs.
      ScanResult best;
      best.scan_seconds = 1e300;
      int runs = 0;
      double spent = 0;
      while (runs < 3 || (spent < 0.25 && runs < 200)) {
        ScanResult r = ScanOnce(file, t.table);
        spent += r.open_seconds + r.scan_seconds;
        ++runs;
        if (r.scan_seconds < best.scan_seconds) best = r;
      }
      double rows_per_s = best.rows / best.scan_seconds;
      double mb_per_s = best.page_bytes / 1e6 / best.scan_seconds;
      std::printf("%-42s %6zu %5d %10.3f %10s %9.1f %9.3f |", label.c_str(), best.rows, runs,
                  best.scan_seconds * 1e3, Rate(rows_per_s).c_str(), mb_per_s,
                  best.open_seconds * 1e3);
      if (mdb_export) {
        double s = TimeMdbExport(file, t.table, 5);
        if (s < 0) {
          std::printf(" %12s\n", "failed");
        } else {
          std::printf(" %12.3f %10s\n", s * 1e3, Rate(best.rows / s).c_str());
        }
      } else {
        std::printf(" %12s\n", "n/a");
      }
    } catch (const jet::JetError& e) {
      std::printf("%-42s error: %s\n", label.c_str(), e.what());
    }
  }
  if (mdb_export) {
    std::printf(
        "\nmdb-export times are whole processes (start, open, CSV to /dev/null), best of 5.\n");
  } else {
    std::printf("\nmdb-export is not installed; no comparison.\n");
  }
  return 0;
}

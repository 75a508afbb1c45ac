// Compaction and repair of one file: the median wall time of several runs (each into a new
// file, removed afterwards), with the source's and the copy's sizes. Peak memory is a
// process figure: measure it with /usr/bin/time -v on `jetdb compact`. Nothing here asserts.
//
//   jet_compact_bench FILE [-p PASSWORD] [--runs N]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "jet/compact/compact.h"
#include "jet/compact/repair.h"
#include "jet/error.h"
#include "jet/format/page_size.h"

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

template <typename Run>
double Median(int runs, const std::filesystem::path& out, Run run) {
  std::vector<double> times;
  for (int r = 0; r < runs; ++r) {
    std::filesystem::remove(out);
    const Clock::time_point start = Clock::now();
    run();
    times.push_back(Milliseconds(Clock::now() - start));
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  std::string file, password;
  int runs = 5;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if ((a == "-p" || a == "--password") && i + 1 < argc) {
      password = argv[++i];
    } else if (a == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (file.empty()) {
      file = a;
    } else {
      file.clear();
      break;
    }
  }
  if (file.empty()) {
    std::fprintf(stderr, "usage: jet_compact_bench FILE [-p PASSWORD] [--runs N]\n");
    return 2;
  }
  const std::filesystem::path out =
      std::filesystem::temp_directory_path() / "jet_compact_bench.mdb";
  try {
    jet::compact::CompactReport report;
    const double compact =
        Median(runs, out, [&] { report = jet::compact::CompactDatabase(file, out, password); });
    const double repair =
        Median(runs, out, [&] { jet::compact::RepairDatabase(file, out, password); });
    std::filesystem::remove(out);
    std::printf("source %u pages (%.1f MiB), compacted %u pages (%.1f MiB)\n", report.source_pages,
                report.source_pages * double(jet::kPageSize) / (1 << 20), report.pages,
                report.pages * double(jet::kPageSize) / (1 << 20));
    std::printf("compact: %.1f ms, repair: %.1f ms (median of %d runs)\n", compact, repair, runs);
  } catch (const jet::JetError& e) {
    std::fprintf(stderr, "jet_compact_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}

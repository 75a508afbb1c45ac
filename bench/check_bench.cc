// The consistency check on one file: the page census alone, then the whole check (each the
// median of several runs, each on a database opened afresh, so none reads pages an earlier
// run cached). The census runs after every write test, and the whole check before every
// upgrade, so their costs are the figures to watch; nothing here asserts on them.
//
//   jet_check_bench FILE [-p PASSWORD] [--runs N]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "jet/error.h"
#include "jet/table/checker.h"
#include "jet/table/database.h"
#include "jet/table/page_census.h"

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
  std::string file, password;
  int runs = 7;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if ((a == "-p" || a == "--password") && i + 1 < argc) {
      password = argv[++i];
    } else if (a == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (file.empty()) {
      file = a;
    } else {
      std::fprintf(stderr, "usage: jet_check_bench FILE [-p PASSWORD] [--runs N]\n");
      return 2;
    }
  }
  if (file.empty()) {
    std::fprintf(stderr, "usage: jet_check_bench FILE [-p PASSWORD] [--runs N]\n");
    return 2;
  }
  try {
    std::vector<double> times;
    jet::PageCensus census;
    for (int r = 0; r < runs; ++r) {
      auto db = jet::Database::Open(file, password);
      const Clock::time_point start = Clock::now();
      census = jet::TakePageCensus(*db);
      times.push_back(Milliseconds(Clock::now() - start));
    }
    std::sort(times.begin(), times.end());
    std::printf(
        "page census: %u pages (%u in use, %u free, %zu leaked), %zu damaged: "
        "median %.2f ms of %d runs (min %.2f, max %.2f)\n",
        census.pages, census.claimed, census.free, census.leaked.size(), census.damage.size(),
        times[times.size() / 2], runs, times.front(), times.back());
    times.clear();
    jet::CheckReport report;
    for (int r = 0; r < runs; ++r) {
      auto db = jet::Database::Open(file, password);
      const Clock::time_point start = Clock::now();
      report = jet::CheckDatabase(*db);
      times.push_back(Milliseconds(Clock::now() - start));
    }
    std::sort(times.begin(), times.end());
    std::printf(
        "whole check: %zu tables, %zu rows, %zu index entries, %zu damaged, %zu notes: "
        "median %.0f ms of %d runs (min %.0f, max %.0f)\n",
        report.tables, report.rows, report.index_entries, report.DamageCount(),
        report.findings.size() - report.DamageCount(), times[times.size() / 2], runs, times.front(),
        times.back());
  } catch (const jet::JetError& e) {
    std::fprintf(stderr, "jet_check_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}

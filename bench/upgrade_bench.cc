// The whole upgrade on demo data of a customer's size: a data file with N customers (with
// memo notes, contacts, sales) and a template whose sj has M rows, as sysdemo makes them.
//
//   jet_upgrade_bench [--customers N] [--sj-rows M] [--dir DIR] [--keep]
//
// It runs sysdemo, then the upgrade twice on fresh copies: as a whole sysupgrade process
// (wall time, peak RSS and bytes written: the figures of record), and in this process with
// a view that stamps each status and progress event (where the time goes). Nothing here
// asserts on time.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "db/db_connection.h"
#include "db/query.h"
#include "tools/demo/demo_data.h"
#include "upgrade/product_database.h"
#include "upgrade/program_paths.h"
#include "upgrade/upgrade_run.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}
double Megabytes(double bytes) {
  return bytes / (1024.0 * 1024.0);
}

struct Options {
  int customers = 50000;
  int sj_rows = 300000;
  fs::path dir;
  bool keep = false;
};

[[noreturn]] void Usage() {
  std::fprintf(stderr,
               "usage: jet_upgrade_bench [--customers N] [--sj-rows M] [--dir DIR] [--keep]\n");
  std::exit(2);
}

Options Parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Usage();
      return argv[++i];
    };
    if (a == "--customers") {
      o.customers = std::atoi(value().c_str());
    } else if (a == "--sj-rows") {
      o.sj_rows = std::atoi(value().c_str());
    } else if (a == "--dir") {
      o.dir = value();
    } else if (a == "--keep") {
      o.keep = true;
    } else {
      Usage();
    }
  }
  if (o.dir.empty())
    o.dir = fs::temp_directory_path() / ("jet_upgrade_bench." + std::to_string(getpid()));
  return o;
}

// Stamps every event of the run with the time since the run began.
class TimingView : public upgrade::UpgradeView {
 public:
  struct Event {
    double at;
    std::string what;
  };
  void SetStatus(const std::string& text) override { Add("status " + text); }
  void PumpEvents() override {}
  void SetProgressVisible(bool) override {}
  void SetProgressMax(int) override {}
  void SetProgress(int position) override { Add("progress " + std::to_string(position)); }
  void SetFailure(const std::string& message) override { Add("failure " + message); }

  std::vector<Event> events;
  Clock::time_point start = Clock::now();

 private:
  void Add(std::string what) { events.push_back({Seconds(Clock::now() - start), std::move(what)}); }
};

void CopyDemo(const fs::path& from, const fs::path& to) {
  fs::create_directories(DemoDataFilePath(to).parent_path());
  fs::copy_file(DemoTemplatePath(from), DemoTemplatePath(to), fs::copy_options::overwrite_existing);
  fs::copy_file(DemoDataFilePath(from), DemoDataFilePath(to), fs::copy_options::overwrite_existing);
}

void RunInProcess(const fs::path& dir) {
  db::DbConnection data, templ;
  db::Query q1, q2, q3;
  data.Connect(upgrade::ConnectionStringFor(DemoDataFilePath(dir).string()));
  templ.Connect(upgrade::ConnectionStringFor(DemoTemplatePath(dir).string()));
  q3.SetConnection(&templ);
  upgrade::UpgradeComponents components{data, templ, q1, q2, q3};
  TimingView view;
  upgrade::UpgradeSummary s = upgrade::RunUpgrade(components, DemoTemplatePath(dir).string(), view);
  double total = view.events.empty() ? 0 : view.events.back().at;
  std::printf("in-process run: %s, %.3f s\n", s.succeeded ? "succeeded" : s.failure.c_str(), total);
  double previous = 0;
  for (const auto& e : view.events) {
    std::printf("  %8.3f s  (+%6.3f)  %s\n", e.at, e.at - previous, e.what.c_str());
    previous = e.at;
  }
  // sj and zdy are copied between the last catalogue position and 10; sfz before 11.
  double before_copy = 0, after_copy = 0;
  for (const auto& e : view.events) {
    if (e.what == "progress 10") after_copy = e.at;
    if (after_copy == 0 && e.what.rfind("progress ", 0) == 0) before_copy = e.at;
  }
  if (total > 0 && after_copy > 0) {
    std::printf("  sj and zdy copies: %.3f s = %.0f%% of the run\n", after_copy - before_copy,
                100 * (after_copy - before_copy) / total);
  }

  // The column phases need only a table's shape; fetching its rows is what they avoid.
  for (const char* table : {"Customer", "ContactPerson"}) {
    std::string query = std::string("select * from ") + table;
    auto t0 = Clock::now();
    size_t rows = data.OpenRows(query)->RowCount();
    double all = Seconds(Clock::now() - t0);
    t0 = Clock::now();
    size_t columns = data.OpenColumns(query)->Columns().size();
    double shape = Seconds(Clock::now() - t0);
    std::printf(
        "  reading query on %s (%zu rows, %zu columns): all rows %.3f s, columns only %.6f s\n",
        table, rows, columns, all, shape);
  }
}

// The check the run makes before its first change, alone: the data file whole, the template's
// tables it copies, row by row.
void TimeIntegrityCheck(const fs::path& dir) {
  db::DbConnection data, templ;
  data.Connect(upgrade::ConnectionStringFor(DemoDataFilePath(dir).string()));
  templ.Connect(upgrade::ConnectionStringFor(DemoTemplatePath(dir).string()));
  auto t0 = Clock::now();
  data.CheckIntegrity({"search"}, {"search"}, db::DbConnection::Scope::kWholeFile);
  auto t1 = Clock::now();
  templ.CheckIntegrity({}, {"search", "sj", "zdy", "sfz"});
  auto t2 = Clock::now();
  std::printf("integrity check before the first change: data file %.3f s, template %.3f s\n",
              Seconds(t1 - t0), Seconds(t2 - t1));
}

struct ProcessFigures {
  int exit_status = -1;
  double wall = 0;
  double peak_rss_mb = 0;
  double written_mb = 0;
};

// Runs one of the programs built beside this one, its output discarded. A started process
// counts its parent's peak RSS as its own, so this runs before this process grows.
ProcessFigures RunProgram(const std::string& name, std::vector<std::string> args) {
  std::string program = (upgrade::ExecutableDirectory() / name).string();
  args.insert(args.begin(), program);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  ProcessFigures f;
  pid_t pid = 0;
  auto t0 = Clock::now();
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    f.wall = Seconds(Clock::now() - t0);
    f.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    f.peak_rss_mb = usage.ru_maxrss / 1024.0;
    f.written_mb = Megabytes(usage.ru_oublock * 512.0);
  }
  posix_spawn_file_actions_destroy(&actions);
  return f;
}

void RunAsProcess(const fs::path& dir) {
  std::string file = DemoDataFilePath(dir).string();
  ProcessFigures f = RunProgram("sysupgrade", {"--template", DemoTemplatePath(dir).string(), file});
  std::printf(
      "whole process (sysupgrade, fsync included): exit %d, %.3f s wall, peak RSS %.1f MB, "
      "%.1f MB written to storage; data file after: %.1f MB\n",
      f.exit_status, f.wall, f.peak_rss_mb, f.written_mb,
      Megabytes(static_cast<double>(fs::file_size(file))));
}

}  // namespace

int main(int argc, char** argv) {
  Options o = Parse(argc, argv);
  fs::path generated = o.dir / "generated";
  ProcessFigures made =
      RunProgram("sysdemo", {generated.string(), "--customers", std::to_string(o.customers),
                             "--sj-rows", std::to_string(o.sj_rows)});
  if (made.exit_status != 0) {
    std::fprintf(stderr, "jet_upgrade_bench: sysdemo failed (exit %d)\n", made.exit_status);
    return 1;
  }
  std::printf(
      "demo data: %d customers, %d sj rows: made in %.2f s; data file %.1f MB, template %.1f MB\n",
      o.customers, o.sj_rows, made.wall,
      Megabytes(static_cast<double>(fs::file_size(DemoDataFilePath(generated)))),
      Megabytes(static_cast<double>(fs::file_size(DemoTemplatePath(generated)))));

  // The whole process first, while this one is still small.
  CopyDemo(generated, o.dir / "process");
  RunAsProcess(o.dir / "process");
  CopyDemo(generated, o.dir / "in_process");
  TimeIntegrityCheck(generated);
  RunInProcess(o.dir / "in_process");

  if (o.keep) {
    std::printf("kept %s\n", o.dir.c_str());
  } else {
    fs::remove_all(o.dir);
  }
  return 0;
}

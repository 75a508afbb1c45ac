// sysdemo: writes demo data for the data upgrade, the template OUTDIR/my.sys and an old-layout
// customer data file OUTDIR/sys/Custom.sys (see tools/demo/demo_data.h).
#include <charconv>
#include <exception>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "jet/file/utf8_path.h"
#include "tools/demo/demo_data.h"
#include "tools/utf8_command_line.h"
#include "tools/utf8_console.h"

namespace {

constexpr char kUsage[] =
    "usage: sysdemo OUTDIR [--customers N] [--sj-rows N] [--sort-order 2052|1033]\n"
    "  writes OUTDIR/my.sys (template) and OUTDIR/sys/Custom.sys (data file), replacing them\n"
    "  --customers N     customers in the data file (default 200)\n"
    "  --sj-rows N       rows of the phone-prefix table in the template (default 2000)\n"
    "  --sort-order ID   2052 (Chinese PRC, the default) or 1033 (General)\n";

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

int ParseInt(std::string_view option, std::string_view text) {
  int value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) {
    throw UsageError(std::string(option) + " takes a whole number, not '" + std::string(text) +
                     "'");
  }
  return value;
}

// Returns nullopt for --help.
std::optional<std::pair<std::string, DemoOptions>> Parse(int argc, char** argv) {
  std::string outdir;
  DemoOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") return std::nullopt;
    if (arg == "--customers" || arg == "--sj-rows" || arg == "--sort-order") {
      if (i + 1 >= argc) throw UsageError(std::string(arg) + " needs a value");
      const int value = ParseInt(arg, argv[++i]);
      if (arg == "--customers") {
        options.customers = value;
      } else if (arg == "--sj-rows") {
        options.sj_rows = value;
      } else {
        if (value < 0 || value > 0xFFFF) throw UsageError("--sort-order must be 2052 or 1033");
        options.sort_order = static_cast<uint16_t>(value);
      }
    } else if (arg.starts_with("-") || !outdir.empty()) {
      throw UsageError("unexpected argument '" + std::string(arg) + "'");
    } else {
      outdir = arg;
    }
  }
  if (outdir.empty()) throw UsageError("missing OUTDIR");
  try {
    ValidateDemoOptions(options);
  } catch (const std::invalid_argument& e) {
    throw UsageError(e.what());
  }
  return std::make_pair(outdir, options);
}

}  // namespace

int main(int argc, char** argv) {
  UseUtf8Console();
  Utf8CommandLine command_line(argc, argv);
  std::optional<std::pair<std::string, DemoOptions>> parsed;
  try {
    parsed = Parse(command_line.argc(), command_line.argv());
  } catch (const UsageError& e) {
    // The first line of the usage is the synopsis; --help gives the rest.
    const std::string_view usage = kUsage;
    std::cerr << "sysdemo: " << e.what() << '\n' << usage.substr(0, usage.find('\n') + 1);
    return 2;
  }
  if (!parsed) {
    std::cout << kUsage;
    return 0;
  }
  const std::filesystem::path outdir = jet::PathFromUtf8(parsed->first);
  const DemoOptions& options = parsed->second;
  try {
    WriteDemoData(outdir, options);
  } catch (const std::exception& e) {
    std::cerr << "sysdemo: " << e.what() << '\n';
    return 1;
  }
  const DemoRowCounts n = CountDemoRows(options);
  std::cout << "sysdemo: wrote " << jet::PathToUtf8(DemoTemplatePath(outdir)) << " (search "
            << n.template_search << ", sj " << n.sj << ", zdy " << n.zdy << ", sfz " << n.sfz
            << ") and " << jet::PathToUtf8(DemoDataFilePath(outdir)) << " (search " << n.search
            << ", Customer " << n.customers << ", ContactPerson " << n.contacts << ", Sale "
            << n.sales << ", SaleList " << n.sale_lines << ", product " << n.products << ", gsxz "
            << n.gsxz << "), sort order " << options.sort_order << '\n';
  return 0;
}

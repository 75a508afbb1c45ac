// sysdemo: writes demo data for the data upgrade, the template OUTDIR/my.sys and an old-layout
// customer data file OUTDIR/sys/Custom.sys (see tools/demo/demo_data.h).
#include <charconv>
#include <cstdio>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "tools/demo/demo_data.h"

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
  std::optional<std::pair<std::string, DemoOptions>> parsed;
  try {
    parsed = Parse(argc, argv);
  } catch (const UsageError& e) {
    // The first line of the usage is the synopsis; --help gives the rest.
    const std::string_view usage = kUsage;
    std::fprintf(stderr, "sysdemo: %s\n%.*s", e.what(), static_cast<int>(usage.find('\n') + 1),
                 usage.data());
    return 2;
  }
  if (!parsed) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  const auto& [outdir, options] = *parsed;
  try {
    WriteDemoData(outdir, options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "sysdemo: %s\n", e.what());
    return 1;
  }
  const DemoRowCounts n = CountDemoRows(options);
  std::printf(
      "sysdemo: wrote %s (search %zu, sj %zu, zdy %zu, sfz %zu) and %s (search %zu, Customer %zu, "
      "ContactPerson %zu, Sale %zu, SaleList %zu, product %zu, gsxz %zu), sort order %u\n",
      DemoTemplatePath(outdir).string().c_str(), n.template_search, n.sj, n.zdy, n.sfz,
      DemoDataFilePath(outdir).string().c_str(), n.search, n.customers, n.contacts, n.sales,
      n.sale_lines, n.products, n.gsxz, static_cast<unsigned>(options.sort_order));
  return 0;
}

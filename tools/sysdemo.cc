// sysdemo: writes demo data for the data upgrade, the template OUTDIR/my.sys and an old-layout
// customer data file OUTDIR/sys/Custom.sys (see tools/demo/demo_data.h).
#include <charconv>
#include <exception>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

#include "base/utf8_path.h"
#include "tools/demo/demo_data.h"
#include "tools/utf8_command_line.h"
#include "tools/utf8_console.h"

namespace {

constexpr char kUsage[] =
    "用法：sysdemo 目录 [--customers N] [--sj-rows N] [--sort-order 2052|1033] [--force]\n"
    "  在“目录”中写入演示模板 my.sys 和旧版数据文件 sys/Custom.sys，供试用和培训\n"
    "  --customers N     数据文件中的客户数（默认 200）\n"
    "  --sj-rows N       模板中电话号段表 sj 的行数（默认 2000）\n"
    "  --sort-order ID   排序规则：2052（中文，默认）或 1033（通用）\n"
    "  --force           这两个文件已存在时用演示数据替换它们（否则不写，以免覆盖客户的数据）\n";

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

int ParseInt(std::string_view option, std::string_view text) {
  int value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) {
    throw UsageError(std::string(option) + " 需要一个整数，而不是 '" + std::string(text) + "'");
  }
  return value;
}

struct Request {
  std::string outdir;
  DemoOptions options;
  bool force = false;
};

// Returns nullopt for --help.
std::optional<Request> Parse(int argc, char** argv) {
  std::string outdir;
  DemoOptions options;
  bool force = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") return std::nullopt;
    if (arg == "--force") {
      force = true;
      continue;
    }
    if (arg == "--customers" || arg == "--sj-rows" || arg == "--sort-order") {
      if (i + 1 >= argc) throw UsageError(std::string(arg) + " 后面缺少数值");
      const int value = ParseInt(arg, argv[++i]);
      if (arg == "--customers") {
        options.customers = value;
      } else if (arg == "--sj-rows") {
        options.sj_rows = value;
      } else {
        if (value < 0 || value > 0xFFFF) throw UsageError("--sort-order 只能是 2052 或 1033");
        options.sort_order = static_cast<uint16_t>(value);
      }
    } else if (arg.starts_with("-") || !outdir.empty()) {
      throw UsageError("无法识别的参数 '" + std::string(arg) + "'");
    } else {
      outdir = arg;
    }
  }
  if (outdir.empty()) throw UsageError("缺少目录");
  try {
    ValidateDemoOptions(options);
  } catch (const std::invalid_argument& e) {
    throw UsageError(e.what());
  }
  return Request{outdir, options, force};
}

}  // namespace

int main(int argc, char** argv) {
  UseUtf8Console();
  Utf8CommandLine command_line(argc, argv);
  std::optional<Request> parsed;
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
  const std::filesystem::path outdir = base::PathFromUtf8(parsed->outdir);
  const DemoOptions& options = parsed->options;
  // One mistyped folder must not replace a customer's file with demo data.
  if (!parsed->force) {
    for (const auto& path : {DemoTemplatePath(outdir), DemoDataFilePath(outdir)}) {
      std::error_code ec;
      if (std::filesystem::exists(path, ec)) {
        std::cerr << "sysdemo: 文件 '" << base::PathToUtf8(path)
                  << "' 已存在，没有写入任何文件。要用演示数据替换它，请加 --force\n";
        return 1;
      }
    }
  }
  try {
    WriteDemoData(outdir, options);
  } catch (const std::exception& e) {
    std::cerr << "sysdemo: " << e.what() << '\n';
    return 1;
  }
  const DemoRowCounts n = CountDemoRows(options);
  std::cout << "sysdemo：已写入模板 " << base::PathToUtf8(DemoTemplatePath(outdir)) << "（search "
            << n.template_search << " 行，sj " << n.sj << " 行，zdy " << n.zdy << " 行，sfz "
            << n.sfz << " 行）和数据文件 " << base::PathToUtf8(DemoDataFilePath(outdir))
            << "（search " << n.search << " 行，Customer " << n.customers << " 行，ContactPerson "
            << n.contacts << " 行，Sale " << n.sales << " 行，SaleList " << n.sale_lines
            << " 行，product " << n.products << " 行，gsxz " << n.gsxz << " 行），排序规则 "
            << options.sort_order << '\n';
  return 0;
}

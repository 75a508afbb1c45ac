#include "tools/demo/demo_data.h"

#include <stdexcept>
#include <string>

#include "tools/demo/reference_rows.h"
#include "tools/demo/regions.h"
#include "tools/demo/search_fields.h"

namespace {

// About 1.1 GB of data file, enough to show that reading a file larger than any cache stays
// within a bounded memory; Jet's limit is 2 GB.
constexpr int kMaxCustomers = 1200000;
// Each sj row covers at least one 7-digit prefix of its own.
int MaxPhonePrefixRows() {
  return static_cast<int>(demo::MobileNetworks().size()) * 10000;
}

}  // namespace

void ValidateDemoOptions(const DemoOptions& options) {
  if (options.customers < 1 || options.customers > kMaxCustomers) {
    throw std::invalid_argument("--customers 必须在 1 到 " + std::to_string(kMaxCustomers) +
                                " 之间");
  }
  if (options.sj_rows < 0 || options.sj_rows > MaxPhonePrefixRows()) {
    throw std::invalid_argument("--sj-rows 必须在 0 到 " + std::to_string(MaxPhonePrefixRows()) +
                                " 之间");
  }
  if (options.sort_order != 2052 && options.sort_order != 1033) {
    throw std::invalid_argument("--sort-order 只能是 2052 或 1033");
  }
}

DemoRowCounts CountDemoRows(const DemoOptions& options) {
  const auto customers = static_cast<size_t>(options.customers);
  DemoRowCounts c;
  c.template_search = demo::TemplateSearchFields().size();
  c.sj = static_cast<size_t>(options.sj_rows);
  c.zdy = demo::CustomFields().size();
  c.sfz = demo::Divisions().size();
  c.search = demo::OldSearchFields().size();
  c.customers = customers;
  c.contacts = customers * 166 / 100;  // never fewer than one per customer
  c.sales = customers * 2 / 5;
  c.sale_lines = c.sales + c.sales / 2;  // at least one line per order
  c.products = demo::Products().size();
  c.gsxz = demo::CompanyTypes().size();
  return c;
}

std::filesystem::path DemoTemplatePath(const std::filesystem::path& outdir) {
  return outdir / "my.sys";
}

std::filesystem::path DemoDataFilePath(const std::filesystem::path& outdir) {
  return outdir / "sys" / "Custom.sys";
}

void WriteDemoData(const std::filesystem::path& outdir, const DemoOptions& options) {
  ValidateDemoOptions(options);
  std::filesystem::create_directories(DemoDataFilePath(outdir).parent_path());
  WriteDemoTemplate(DemoTemplatePath(outdir), options);
  WriteDemoDataFile(DemoDataFilePath(outdir), options);
}

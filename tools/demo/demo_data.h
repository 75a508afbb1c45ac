// Demo data for the data upgrade: a template (my.sys) as the product ships it and a customer
// data file (sys/Custom.sys) in the older layout an upgrade brings up to date, both filled
// with realistic Chinese rows and protected with the product's database password. The same
// options always give the same rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

struct DemoOptions {
  int customers = 200;
  int sj_rows = 2000;          // rows of the phone-prefix table sj in the template
  uint16_t sort_order = 2052;  // what Simplified-Chinese Windows gives new databases
};

// The rows each table gets for `options`.
struct DemoRowCounts {
  // Template
  size_t template_search = 0;
  size_t sj = 0;
  size_t zdy = 0;
  size_t sfz = 0;
  // Data file
  size_t search = 0;
  size_t customers = 0;
  size_t contacts = 0;
  size_t sales = 0;
  size_t sale_lines = 0;
  size_t products = 0;
  size_t gsxz = 0;
};

// Throws std::invalid_argument naming the option that is out of range.
void ValidateDemoOptions(const DemoOptions& options);
DemoRowCounts CountDemoRows(const DemoOptions& options);

// Each writes one file, replacing it (and any journal beside it) if it exists.
void WriteDemoTemplate(const std::filesystem::path& path, const DemoOptions& options);
void WriteDemoDataFile(const std::filesystem::path& path, const DemoOptions& options);
// Writes OUTDIR/my.sys and OUTDIR/sys/Custom.sys, creating the directories.
void WriteDemoData(const std::filesystem::path& outdir, const DemoOptions& options);

std::filesystem::path DemoTemplatePath(const std::filesystem::path& outdir);
std::filesystem::path DemoDataFilePath(const std::filesystem::path& outdir);

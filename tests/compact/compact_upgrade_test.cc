// A compacted data file upgrades exactly as its source does: the same statements on the
// same connections, the same view calls (the transcript), and the same tables afterwards.
#include <gtest/gtest.h>

#include <filesystem>

#include "jet/compact/compact.h"
#include "tests/test_support.h"
#include "tests/upgrade/run_transcript.h"
#include "tests/upgrade/upgrade_test_support.h"
#include "tools/demo/demo_data.h"
#include "upgrade/product_database.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ScratchDir;

struct Upgraded {
  std::vector<std::string> transcript;
  std::map<std::string, std::string> tables;
};

// Upgrades `data` (copied in as DIR/sys/Custom.sys) with the demo template, in `dir`.
Upgraded UpgradeIn(const fs::path& dir, const fs::path& demo, const fs::path& data) {
  fs::create_directories(dir / "sys");
  const fs::path file = dir / "sys" / "Custom.sys";
  fs::copy_file(data, file);
  fs::copy_file(DemoTemplatePath(demo), dir / "my.sys");
  Upgraded out;
  {
    upgrade_test::Harness h(file, dir / "my.sys");
    upgrade_test::RunTranscript transcript(h.data, h.templ, h.query1, h.query2, h.query3);
    upgrade::UpgradeSummary s = h.Run(transcript);
    EXPECT_TRUE(s.succeeded) << s.failure;
    out.transcript = transcript.lines;
  }
  out.tables = upgrade_test::ExportAll(file);
  return out;
}

TEST(CompactUpgrade, CompactedDataFileUpgradesAsItsSourceDoes) {
  ScratchDir demo, work;
  WriteDemoData(demo.path(), DemoOptions{30, 40, 2052});
  const fs::path source = DemoDataFilePath(demo.path());
  const fs::path compacted = work.path() / "compacted.sys";
  jet::compact::CompactDatabase(source, compacted, upgrade::kDatabasePassword);

  // The same directory for both runs: the transcript names the template's path.
  const fs::path dir = work.path() / "run";
  Upgraded expected = UpgradeIn(dir, demo.path(), source);
  fs::remove_all(dir);
  Upgraded got = UpgradeIn(dir, demo.path(), compacted);
  upgrade_test::ExpectTranscript(got.transcript, expected.transcript);
  EXPECT_EQ(got.tables, expected.tables);
}

}  // namespace

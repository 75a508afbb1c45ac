// sysupgrade run as a separate process: what an administrator upgrading many files sees
// (progress lines, a summary per file, a last count), its exit statuses, the default
// template beside the program, and a dry run that leaves every file byte-identical.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/test_support.h"
#include "tests/upgrade/upgrade_test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ReadBytes;
using testing_support::RunCommand;
using testing_support::ScratchDir;
using testing_support::ShellQuote;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

Outcome RunProgram(const std::string& program, const std::vector<std::string>& args) {
  ScratchDir dir;
  std::string command = ShellQuote(program);
  for (const auto& a : args) command += " " + ShellQuote(a);
  auto err_path = dir.path() / "stderr";
  Outcome r;
  r.status = RunCommand(command + " 2>" + ShellQuote(err_path.string()), &r.out);
  auto err = ReadBytes(err_path);
  r.err.assign(err.begin(), err.end());
  return r;
}

Outcome Sysupgrade(const std::vector<std::string>& args) {
  return RunProgram(SYSUPGRADE_PATH, args);
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class SysupgradeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    template_ = dir_.path() / "my.sys";
    first_ = dir_.path() / u8"客户甲" / "Custom.sys";
    second_ = dir_.path() / u8"客户乙" / "Custom.sys";
    upgrade_test::WriteTemplate(template_);
    upgrade_test::WriteOldDataFile(first_);
    upgrade_test::WriteOldDataFile(second_, {.with_sale_list = false});
  }

  ScratchDir dir_;
  fs::path template_, first_, second_;
};

TEST_F(SysupgradeTest, UpgradesEachFileAndReportsFailuresByName) {
  Outcome r = Sysupgrade({"--template", template_.string(), first_.string(), second_.string()});
  EXPECT_EQ(r.status, 1);
  // Every position line says what the steps that reached it did.
  EXPECT_TRUE(Contains(r.out, "[0/16] 正在创建数据表...\n[1/16] 查询定义第 10、11 组：删除 1 行，"
                              "从模板复制 3 行，新建数据表 findtable，新建数据表 notetable，"
                              "新建数据表 gsxz\n[1/16] 新建数据表 bjlist\n[2/16] 新建数据表 custself"))
      << r.out;
  EXPECT_TRUE(Contains(r.out, "[3/16] 新建数据表 jzghs\n")) << r.out;
  EXPECT_TRUE(Contains(r.out, "[11/16] 正在升级客户信息...\n")) << r.out;
  EXPECT_TRUE(Contains(r.out, "[16/16] 升级成功\n")) << r.out;
  EXPECT_TRUE(Contains(r.out, "新增字段 33 个：Customer.qq, Customer.msn")) << r.out;
  EXPECT_TRUE(Contains(r.out, "参考表复制：sj 25 行, zdy 2 行, sfz 3 行")) << r.out;
  EXPECT_TRUE(Contains(r.out, "升级失败")) << r.out;
  EXPECT_TRUE(r.out.ends_with("共 2 个文件：升级成功 1 个，失败 1 个\n")) << r.out;
  // The failure names its file and its cause, on standard error only.
  EXPECT_TRUE(Contains(r.err, second_.string())) << r.err;
  EXPECT_TRUE(Contains(r.err, "SaleList")) << r.err;
  EXPECT_FALSE(Contains(r.err, first_.string())) << r.err;
  upgrade_test::ExpectConsistentAndReadable(first_);

  // An upgraded file upgrades again with nothing to add.
  Outcome again = Sysupgrade({"--template", template_.string(), first_.string()});
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_TRUE(Contains(again.out, "新建数据表 0 个\n  新增字段 0 个\n")) << again.out;
}

TEST_F(SysupgradeTest, DryRunReportsTheUpgradeAndLeavesFilesByteIdentical) {
  auto first = ReadBytes(first_);
  auto second = ReadBytes(second_);
  Outcome r = Sysupgrade(
      {"--dry-run", "--template", template_.string(), first_.string(), second_.string()});
  EXPECT_EQ(r.status, 1);  // the second file lacks SaleList, in a dry run too
  EXPECT_TRUE(Contains(r.out, "新增字段 33 个")) << r.out;
  EXPECT_TRUE(Contains(r.out, "试运行")) << r.out;
  EXPECT_EQ(ReadBytes(first_), first);
  EXPECT_EQ(ReadBytes(second_), second);
  EXPECT_FALSE(fs::exists(first_.string() + "-journal"));

  // Options count wherever they stand on the line, after the file names too: a dry run that
  // wrote is the one mistake an administrator could not undo.
  Outcome after = Sysupgrade({first_.string(), "--dry-run", "--template", template_.string()});
  EXPECT_EQ(after.status, 0) << after.err;
  EXPECT_TRUE(Contains(after.out, "试运行")) << after.out;
  EXPECT_EQ(ReadBytes(first_), first);
}

TEST_F(SysupgradeTest, TheDefaultTemplateIsTheOneBesideTheProgram) {
  // A copy of the program in a directory of its own, with my.sys beside it.
  fs::path bin = dir_.path() / u8"程序";
  fs::create_directories(bin);
  const fs::path program = bin / fs::path(SYSUPGRADE_PATH).filename();  // sysupgrade(.exe)
  fs::copy_file(SYSUPGRADE_PATH, program);
  fs::permissions(program, fs::perms::owner_all);
  Outcome missing = RunProgram(program.string(), {first_.string()});
  EXPECT_EQ(missing.status, 1);
  EXPECT_TRUE(Contains(missing.err, (bin / "my.sys").string())) << missing.err;

  fs::copy_file(template_, bin / "my.sys");
  Outcome r = RunProgram(program.string(), {first_.string()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Contains(r.out, "sj 25 行")) << r.out;
}

TEST(SysupgradeUsageTest, BadUsageExitsTwoAndHelpExitsZero) {
  for (const auto& args :
       std::vector<std::vector<std::string>>{{}, {"--frobnicate", "x.sys"}, {"--template"}}) {
    Outcome r = Sysupgrade(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Contains(r.err, "用法")) << r.err;
  }
  Outcome help = Sysupgrade({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(Contains(help.out, "--dry-run")) << help.out;
  EXPECT_TRUE(help.err.empty());
}

}  // namespace

// TForm1's behaviour with no toolkit: start-up with and without the data file and the
// template, choosing a data file, upgrade runs, closing during a run, the radio handlers
// and the error box's text, against recorded controls. Each skin's own tests cover only
// what its toolkit draws.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/Unit1.h"
#include "app/error_box.h"
#include "base/utf8_path.h"
#include "tests/app/fake_form_controls.h"
#include "tests/test_support.h"
#include "tools/demo/demo_data.h"

namespace fs = std::filesystem;
using app::FormControl;

namespace {

// A program directory of its own with my.sys and sys/Custom.sys as sysdemo lays them out,
// and the window over it, created as a skin creates it.
class FormBehaviourTest : public ::testing::Test {
 protected:
  void SetUp() override { WriteDemoData(dir(), DemoOptions{20, 50, 2052}); }
  const fs::path& dir() const { return scratch_.path(); }
  fs::path data() const { return DemoDataFilePath(dir()); }
  fs::path tpl() const { return DemoTemplatePath(dir()); }
  TForm1& Create() {
    form_ = std::make_unique<TForm1>(c, dir());
    form_->Handle(&TForm1::FormCreate);
    return *form_;
  }

  FakeFormControls c;

 private:
  testing_support::ScratchDir scratch_;
  std::unique_ptr<TForm1> form_;
};

std::string Utf8(const fs::path& p) {
  return base::PathToUtf8(p);
}

// A file name written in UTF-8 (on Windows a narrow path would be read in the ANSI code page).
fs::path Name(const char* utf8) {
  return base::PathFromUtf8(utf8);
}

}  // namespace

TEST(ErrorBoxTest, TextGetsAFullStopAfterLettersDigitsAndChineseAndTheTitleIsTheApplications) {
  EXPECT_EQ(app::ErrorBoxText("找不到文件"), "找不到文件.");
  EXPECT_EQ(app::ErrorBoxText("Disk error 5"), "Disk error 5.");
  EXPECT_EQ(app::ErrorBoxText("path C:/"), "path C:/.");  // "/" comes after "."
  EXPECT_EQ(app::ErrorBoxText(""), "");
  for (const char* kept : {"done.", "why!", "a-", "a ", "a,", "line\n", "(x)"}) {
    EXPECT_EQ(app::ErrorBoxText(kept), kept);
  }
  EXPECT_EQ(app::ErrorBoxText("完成。"), "完成。.");  // "。" is a Chinese character
  const app::ErrorBoxContent box = app::ErrorBoxFor("打不开");
  EXPECT_EQ(box.title, "数据升级");
  EXPECT_EQ(box.text, "打不开.");
}

TEST_F(FormBehaviourTest, StartUpWithoutADataFileDisablesTheLoginGroupAndConnectsTheTemplate) {
  fs::remove(data());
  TForm1& f = Create();
  EXPECT_TRUE(c.error_boxes.empty());
  EXPECT_EQ(c.status, "");
  EXPECT_EQ(f.TemplatePath, Utf8(tpl()));
  EXPECT_TRUE(f.ADOConnection2.IsOpen());
  EXPECT_FALSE(f.ADOConnection1.IsOpen());
  EXPECT_EQ(c.panel1_enabled, false);
  EXPECT_FALSE(f.Panel1Enabled());
  EXPECT_FALSE(c.Enabled(FormControl::RadioButton1));
  EXPECT_FALSE(c.Enabled(FormControl::RadioButton2));
  EXPECT_TRUE(c.Enabled(FormControl::Button1) && c.Enabled(FormControl::Button2));
  EXPECT_FALSE(c.progress_visible);

  // With no data file, an upgrade fails at its table list: empty status, no bar, no box.
  f.Handle(&TForm1::Button1Click);
  EXPECT_EQ(c.status, "");
  EXPECT_FALSE(c.progress_visible);
  EXPECT_NE(c.tooltip, "");
  EXPECT_TRUE(c.error_boxes.empty());
}

TEST_F(FormBehaviourTest, AFolderAtTheDataFilesPathIsNoDataFile) {
  fs::remove(data());
  fs::create_directories(data());
  TForm1& f = Create();
  EXPECT_TRUE(c.error_boxes.empty());
  EXPECT_EQ(c.status, "");
  EXPECT_FALSE(f.ADOConnection1.IsOpen());
  EXPECT_TRUE(f.ADOConnection2.IsOpen());
}

TEST_F(FormBehaviourTest, StartUpWithTheDataFileConnectsAndAnUpgradeSucceeds) {
  TForm1& f = Create();
  EXPECT_TRUE(c.error_boxes.empty());
  EXPECT_EQ(c.status, "已连接数据文件!");
  EXPECT_TRUE(f.ADOConnection1.IsOpen());
  f.Handle(&TForm1::Button1Click);
  EXPECT_EQ(c.status, "升级成功");
  EXPECT_FALSE(c.progress_visible);
  EXPECT_EQ(c.progress_max, 16);
  EXPECT_EQ(c.progress, 0);
  EXPECT_EQ(c.tooltip, "");
  EXPECT_GT(c.pumps, 0);
  EXPECT_TRUE(c.Enabled(FormControl::Button1) && c.Enabled(FormControl::Button2));
}

TEST_F(FormBehaviourTest, ADamagedDataFileIsReportedButTheTemplateIsStillConnected) {
  const fs::path good = dir() / "good.sys";
  fs::copy_file(data(), good);
  std::ofstream(data(), std::ios::binary | std::ios::trunc) << std::string(8192, 'x');
  TForm1& f = Create();
  ASSERT_EQ(c.error_boxes.size(), 1u);
  EXPECT_EQ(c.error_boxes[0].title, "数据升级");
  EXPECT_EQ(c.status, "");
  EXPECT_EQ(f.TemplatePath, Utf8(tpl()));
  EXPECT_TRUE(f.ADOConnection2.IsOpen());
  // Choosing a good file makes the upgrade work without a restart.
  c.next_choice = Utf8(good);
  f.Handle(&TForm1::Button2Click);
  EXPECT_EQ(c.status, "已连接数据文件!");
  f.Handle(&TForm1::Button1Click);
  EXPECT_EQ(c.status, "升级成功");
}

TEST_F(FormBehaviourTest, AMissingTemplateFailsTheRunWhoseTooltipANewStatusClears) {
  fs::remove(tpl());
  TForm1& f = Create();
  ASSERT_EQ(c.error_boxes.size(), 1u);
  EXPECT_NE(c.error_boxes[0].text.find("my.sys"), std::string::npos);
  EXPECT_EQ(c.error_boxes[0].title, "数据升级");
  EXPECT_EQ(c.status, "已连接数据文件!");
  EXPECT_FALSE(f.ADOConnection2.IsOpen());
  f.Handle(&TForm1::Button1Click);
  EXPECT_EQ(c.status, "");
  EXPECT_TRUE(c.progress_visible);
  EXPECT_NE(c.tooltip.find("my.sys"), std::string::npos);
  EXPECT_EQ(c.error_boxes.size(), 1u);  // a run shows no error box

  // The next status is no failure: its tooltip goes.
  c.next_choice = Utf8(data());
  f.Handle(&TForm1::Button2Click);
  EXPECT_EQ(c.status, "已连接数据文件!");
  EXPECT_EQ(c.tooltip, "");
}

TEST_F(FormBehaviourTest, ChoosingADataFile) {
  const fs::path other = dir() / Name("其他 数据") / Name("客户.sys");
  fs::create_directories(other.parent_path());
  fs::copy_file(data(), other);
  TForm1& f = Create();
  ASSERT_TRUE(f.ADOConnection1.IsOpen());
  const std::string connected_string = f.ADOConnection1.connection_string();

  // Cancelled: the open connection, its string and the status line stay as they were.
  c.next_choice.reset();
  c.status = "之前";
  f.Handle(&TForm1::Button2Click);
  ASSERT_EQ(c.dialogs_shown.size(), 1u);
  EXPECT_EQ(c.status, "之前");
  EXPECT_TRUE(f.ADOConnection1.IsOpen());
  EXPECT_EQ(f.ADOConnection1.connection_string(), connected_string);

  // OD as designed: one entry 数据文件 for *.sys, default extension sys, no read-only box,
  // resizable, and a typed name need not exist.
  const app::OpenDialogSettings& od = c.dialogs_shown[0];
  EXPECT_EQ(od.Filter, "数据文件|*.sys");
  EXPECT_EQ(od.FilterDescription(), "数据文件");
  EXPECT_EQ(od.FilterPattern(), "*.sys");
  EXPECT_EQ(od.DefaultExt, "sys");
  EXPECT_TRUE(od.HideReadOnly);
  EXPECT_TRUE(od.EnableSizing);
  EXPECT_FALSE(od.FileMustExist);

  // Chosen, and chosen again: each time the connection is reopened and the status rewritten.
  c.next_choice = Utf8(other);
  for (int i = 0; i < 2; ++i) {
    c.status = "之前";
    f.Handle(&TForm1::Button2Click);
    EXPECT_EQ(c.status, "已连接数据文件!");
    EXPECT_TRUE(f.ADOConnection1.IsOpen());
    EXPECT_NE(f.ADOConnection1.connection_string().find("客户.sys"), std::string::npos);
  }
  EXPECT_TRUE(c.error_boxes.empty());
#ifndef _WIN32
  // The same file once more, now damaged (on Windows the open connection's share mode
  // refuses the write): a real reopen finds the damage.
  std::ofstream(other, std::ios::binary | std::ios::trunc) << std::string(8192, 'x');
  f.Handle(&TForm1::Button2Click);
  EXPECT_EQ(c.error_boxes.size(), 1u);
  EXPECT_FALSE(f.ADOConnection1.IsOpen());
  c.error_boxes.clear();
#endif

  // A typed name of a missing file: the open fails, the string is kept, the status stays.
  c.next_choice = Utf8(dir() / Name("没有.sys"));
  f.Handle(&TForm1::Button2Click);
  ASSERT_EQ(c.error_boxes.size(), 1u);
  EXPECT_EQ(c.error_boxes[0].title, "数据升级");
  EXPECT_FALSE(f.ADOConnection1.IsOpen());
  EXPECT_NE(f.ADOConnection1.connection_string().find("没有.sys"), std::string::npos);
  EXPECT_EQ(c.status, "已连接数据文件!");
}

TEST_F(FormBehaviourTest, AFailingRunLeavesTheBarWhereItStoppedAndExplainsInTheTooltip) {
  // A "template" without sj: the run stops before its first change, the bar shown at the
  // position it had.
  fs::remove(tpl());
  fs::copy_file(data(), tpl());
  TForm1& f = Create();
  f.Handle(&TForm1::Button1Click);
  EXPECT_EQ(c.status, "");
  EXPECT_TRUE(c.progress_visible);
  EXPECT_EQ(c.progress, 0);
  EXPECT_NE(c.tooltip.find("sj"), std::string::npos);
  EXPECT_TRUE(c.error_boxes.empty());
  EXPECT_TRUE(c.Enabled(FormControl::Button1) && c.Enabled(FormControl::Button2));
}

TEST_F(FormBehaviourTest, DuringARunTheButtonsAreDisabledACloseWaitsAndTheFocusComesBack) {
  TForm1& f = Create();
  for (FormControl focused : {FormControl::Button1, FormControl::Button2}) {
    c.focus = focused;
    c.closed = false;
    bool seen = false, button1 = true, button2 = true, running = false, may_close = true;
    c.on_pump = [&] {
      if (seen) return;
      seen = true;
      button1 = c.Enabled(FormControl::Button1);
      button2 = c.Enabled(FormControl::Button2);
      running = f.UpgradeRunning();
      may_close = f.CloseQuery();
      EXPECT_FALSE(c.closed);
    };
    f.Handle(&TForm1::Button1Click);
    EXPECT_TRUE(seen);
    EXPECT_TRUE(!button1 && !button2 && running && !may_close);
    EXPECT_EQ(c.status, "升级成功");  // the run went on to its end
    EXPECT_TRUE(c.closed);            // and then the window closed
    EXPECT_EQ(c.focus, focused);      // where it was, so Enter presses the same button
    EXPECT_FALSE(f.UpgradeRunning());
    EXPECT_TRUE(f.CloseQuery());
  }
}

TEST_F(FormBehaviourTest, TheRadioButtonsDecideWhetherThePanelTakesInput) {
  TForm1& f = Create();
  c.radio_button2_checked = false;
  f.Handle(&TForm1::RadioButton1Click);
  EXPECT_FALSE(f.Panel1Enabled());
  EXPECT_EQ(c.panel1_enabled, false);
  c.radio_button2_checked = true;
  f.Handle(&TForm1::RadioButton2Click);
  EXPECT_TRUE(f.Panel1Enabled());
  EXPECT_EQ(c.panel1_enabled, true);
}

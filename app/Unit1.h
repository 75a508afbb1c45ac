// The utility's one window, Form1 of class TForm1, as behaviour with no toolkit in it: the
// status line, the progress bar, the "升级" and "选择数据文件" buttons, and a database-login
// group that is shown but stays disabled. The window owns both connections (the data file,
// the template), the three query components an upgrade run works through, and the
// open-file dialog, for its whole life. A skin (app/qt, app/win32) builds the controls,
// hands them over as FormControls, and calls the handlers from its events through Handle.
#pragma once

#include <filesystem>
#include <string>

#include "app/form_controls.h"
#include "db/db_connection.h"
#include "db/query.h"

class TForm1 {
 public:
  // `executable_directory` is where my.sys and sys/Custom.sys are looked for. FormCreate
  // is left to the skin, which runs it once its controls exist.
  TForm1(app::FormControls& controls, std::filesystem::path executable_directory);

  // Components, named as the window's designer named them.
  db::DbConnection ADOConnection1;  // the data file
  db::DbConnection ADOConnection2;  // the template
  db::Query ADOQuery1, ADOQuery2, ADOQuery3;
  app::OpenDialogSettings OD;
  std::string TemplatePath;  // the template's full path; empty until FormCreate sets it

  // Handlers. Failures escape them; Handle shows those in the error box.
  void FormCreate();
  void Button1Click();
  void Button2Click();
  void RadioButton1Click();
  void RadioButton2Click();

  // What the application does around every handler: a failure that escapes it goes to the
  // error box, and the program carries on.
  void Handle(void (TForm1::*handler)());

  // A request to close the window: true when it may close now. During an upgrade run it is
  // held, the run goes on, and the window closes when the run has ended.
  bool CloseQuery();

  // Sets the status line's text; a new text clears the tooltip an earlier failure left.
  void SetStatus(const std::string& text);

  bool Panel1Enabled() const { return panel1_enabled_; }
  bool UpgradeRunning() const { return running_; }

 private:
  void SetPanel1Enabled(bool enabled);

  app::FormControls& controls_;
  std::filesystem::path executable_directory_;
  bool panel1_enabled_ = true;
  bool running_ = false;
  bool close_requested_ = false;
};

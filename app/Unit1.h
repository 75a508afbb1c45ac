// The utility's one window, Form1 of class TForm1: the status line, the progress bar, the
// "升级" and "选择数据文件" buttons, and a database-login group that is shown but stays
// disabled. The window owns both connections (the data file, the template), the three query
// components an upgrade run works through, and the open-file dialog, for its whole life.
#pragma once

#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "db/db_connection.h"
#include "db/query.h"

// What tests replace: where the program lives, the dialog, and the error box.
struct FormHooks {
  // Empty: the running program's own directory.
  std::filesystem::path executable_directory;
  // Shows OD and returns the chosen file's path, or nothing when the user cancels.
  // Empty: the real dialog.
  std::function<std::optional<QString>(QFileDialog& dialog)> choose_file;
  // Shows a failure that escaped a handler. Empty: the application's error box.
  std::function<void(const std::string& message)> report_failure;
};

class TForm1 : public QWidget {
  Q_OBJECT

 public:
  // Builds the window and runs FormCreate (which opens the connections).
  explicit TForm1(FormHooks hooks = {}, QWidget* parent = nullptr);
  ~TForm1() override;

  // Components, named as the window's designer named them.
  db::DbConnection ADOConnection1;  // the data file
  db::DbConnection ADOConnection2;  // the template
  db::Query ADOQuery1, ADOQuery2, ADOQuery3;
  QPushButton* Button1;  // 升级
  QPushButton* Button2;  // 选择数据文件
  QLabel* Label1;        // the status line
  QLabel* Label2;        // the red notice
  QLabel* Label3;        // 用户名
  QLabel* Label4;        // 密码
  QProgressBar* ProgressBar1;
  QRadioButton* RadioButton1;
  QRadioButton* RadioButton2;
  QFrame* Panel1;
  QLineEdit* Edit1;
  QLineEdit* Edit2;
  QFileDialog* OD;
  std::string TemplatePath;  // the template's full path; empty until FormCreate sets it

  // Handlers. Failures escape them; the window's signal connections route those to the
  // error box.
  void FormCreate(QObject* sender);
  void Button1Click(QObject* sender);
  void Button2Click(QObject* sender);
  void RadioButton1Click(QObject* sender);
  void RadioButton2Click(QObject* sender);

  // Panel1 "disabled" refuses mouse and keyboard input to its controls but leaves their
  // look alone, as the original panel did.
  void SetPanel1Enabled(bool enabled);
  bool Panel1Enabled() const { return panel1_enabled_; }
  bool UpgradeRunning() const { return running_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildControls();
  // Runs a handler; a failure that escapes it goes to the error box and the program goes on.
  void Guarded(const std::function<void()>& handler);
  std::filesystem::path ExecutableDirectory() const;
  void ReportFailure(const std::string& message);

  FormHooks hooks_;
  bool panel1_enabled_ = true;
  bool running_ = false;
  bool close_requested_ = false;
  bool placed_ = false;
};

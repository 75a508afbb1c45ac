// The Qt skin of the window (Linux; Windows with MSVC): the designer's table of controls
// (app/form_layout.h) as Qt widgets, TForm1's behaviour behind them. It knows Qt and FormControls
// only; what the handlers do is TForm1's.
#pragma once

#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "app/Unit1.h"
#include "app/form_controls.h"

namespace app {

// What tests replace: where the program lives, the dialog, and the error box.
struct QtFormHooks {
  // Empty: the running program's own directory.
  std::filesystem::path executable_directory;
  // Shows OD and returns the chosen file's path, or nothing when the user cancels.
  // Empty: the real dialog.
  std::function<std::optional<QString>(QFileDialog& dialog)> choose_file;
  // Shows the error box. Empty: the real one.
  std::function<void(const ErrorBoxContent& box)> show_error_box;
};

// OD as a Qt dialog: one filter entry that reads as its description alone, the default
// suffix, any file name (a missing file's open fails later), resizable.
std::unique_ptr<QFileDialog> MakeOpenDialog(QWidget* parent, const OpenDialogSettings& od);

// The error box: its title, the error icon, one OK button.
std::unique_ptr<QMessageBox> MakeErrorBox(QWidget* parent, const ErrorBoxContent& box);

class QtForm1 : public QWidget, private FormControls {
  Q_OBJECT

 public:
  // Builds the window and runs FormCreate (which opens the connections).
  explicit QtForm1(QtFormHooks hooks = {}, QWidget* parent = nullptr);
  ~QtForm1() override;

  // The controls by their designer names, made from the table.
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
  TForm1 form;  // the behaviour: connections, queries, OD, TemplatePath, handlers

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildControls();
  QWidget* Widget(FormControl control) const;
  template <class W>
  W* WidgetAs(FormControl control) const {
    return qobject_cast<W*>(Widget(control));
  }

  // FormControls.
  void SetStatusText(const std::string& text) override;
  void SetStatusTooltip(const std::string& text) override;
  void SetProgressVisible(bool visible) override { ProgressBar1->setVisible(visible); }
  void SetProgressMax(int max) override { ProgressBar1->setMaximum(max); }
  void SetProgress(int position) override { ProgressBar1->setValue(position); }
  void SetEnabled(FormControl control, bool enabled) override;
  bool IsChecked(FormControl radio_button) const override;
  void SetPanel1Enabled(bool enabled) override;
  FormControl Focused() const override;
  void SetFocus(FormControl control) override;
  std::optional<std::string> ShowOpenDialog(const OpenDialogSettings& od) override;
  void ShowErrorBox(const ErrorBoxContent& box) override;
  void PumpEvents() override;
  void CloseWindow() override { close(); }

  QtFormHooks hooks_;
  std::map<FormControl, QWidget*> widgets_;  // every control of the table
  bool placed_ = false;
};

}  // namespace app

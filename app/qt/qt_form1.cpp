#include "app/qt/qt_form1.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPalette>
#include <QShowEvent>
#include <algorithm>

#include "app/qt/window_font.h"
#include "upgrade/program_paths.h"

namespace app {
namespace {

constexpr int kOuterWidth = 371;
constexpr int kOuterHeight = 199;
constexpr int kLeft = 465;
constexpr int kTop = 250;

QString Q(const std::string& utf8) {
  return QString::fromStdString(utf8);
}

}  // namespace

std::unique_ptr<QFileDialog> MakeOpenDialog(QWidget* parent, const OpenDialogSettings& od) {
  auto dialog = std::make_unique<QFileDialog>(parent);
  dialog->setNameFilter(Q(od.FilterDescription() + " (" + od.FilterPattern() + ")"));
  // The entry reads as its description, as "数据文件|*.sys" does on Windows.
  dialog->setOption(QFileDialog::HideNameFilterDetails);
  dialog->setDefaultSuffix(Q(od.DefaultExt));
  dialog->setAcceptMode(QFileDialog::AcceptOpen);
  dialog->setFileMode(od.FileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  dialog->setOption(QFileDialog::ReadOnly, false);  // Qt's dialog has no read-only box
  dialog->setSizeGripEnabled(od.EnableSizing);
  return dialog;
}

std::unique_ptr<QMessageBox> MakeErrorBox(QWidget* parent, const ErrorBoxContent& box) {
  return std::make_unique<QMessageBox>(QMessageBox::Critical, Q(box.title), Q(box.text),
                                       QMessageBox::Ok, parent);
}

QtForm1::QtForm1(QtFormHooks hooks, QWidget* parent)
    : QWidget(parent),
      form(*this, hooks.executable_directory.empty() ? upgrade::ExecutableDirectory()
                                                     : hooks.executable_directory),
      hooks_(std::move(hooks)) {
  BuildControls();
  form.Handle(&TForm1::FormCreate);
}

QtForm1::~QtForm1() = default;

void QtForm1::BuildControls() {
  setWindowTitle(QStringLiteral("数据升级"));
  setFont(WindowFont());
  // The face colour of buttons as background.
  setBackgroundRole(QPalette::Button);
  setAutoFillBackground(true);
  move(kLeft, kTop);
  resize(kOuterWidth, kOuterHeight);  // the frame's share is taken off once it is known

  RadioButton1 = new QRadioButton(QStringLiteral("Windows 身份验证"), this);
  RadioButton1->setGeometry(48, 8, 113, 17);
  RadioButton2 = new QRadioButton(QStringLiteral("SQL SERVER 混合登录"), this);
  RadioButton2->setGeometry(184, 8, 145, 17);
  RadioButton2->setChecked(true);
  // The sizes were made for SimSun and a Windows radio mark. Where another font or style
  // needs more room, a caption grows to the right (into empty space) rather than be cut.
  for (QRadioButton* r : {RadioButton1, RadioButton2}) {
    r->resize(std::max(r->width(), r->sizeHint().width()), r->height());
  }

  Panel1 = new QFrame(this);
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel1->setLineWidth(1);
  Panel1->setGeometry(8, 32, 345, 29);
  Label3 = new QLabel(QStringLiteral("用户名"), Panel1);
  Label3->setGeometry(8, 8, 36, 12);
  Edit1 = new QLineEdit(QStringLiteral("sa"), Panel1);
  Edit1->setGeometry(50, 5, 47, 20);
  Label4 = new QLabel(QStringLiteral("密码"), Panel1);
  Label4->setGeometry(126, 9, 24, 12);
  Edit2 = new QLineEdit(Panel1);
  Edit2->setGeometry(159, 5, 162, 20);  // characters shown plainly

  Label1 = new QLabel(this);  // the status line: sized to its text, growing to the right
  Label1->move(16, 64);
  Label1->adjustSize();

  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setGeometry(24, 80, 305, 16);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
  ProgressBar1->hide();

  Button1 = new QPushButton(QStringLiteral("升级"), this);
  Button1->setGeometry(144, 124, 75, 25);
  Button2 = new QPushButton(QStringLiteral("选择数据文件"), this);
  Button2->setGeometry(232, 124, 89, 25);
  setTabOrder(Button1, Button2);

  Label2 = new QLabel(QStringLiteral("2005.07.005以前版本升级时间稍长,请耐心等候..."), this);
  Label2->setGeometry(56, 152, 270, 12);
  // Pure red. A style sheet, since platform themes may repaint a label's palette colours.
  Label2->setStyleSheet(QStringLiteral("color: #ff0000;"));

  connect(Button1, &QPushButton::clicked, this, [this] { form.Handle(&TForm1::Button1Click); });
  connect(Button2, &QPushButton::clicked, this, [this] { form.Handle(&TForm1::Button2Click); });
  connect(RadioButton1, &QRadioButton::clicked, this,
          [this] { form.Handle(&TForm1::RadioButton1Click); });
  connect(RadioButton2, &QRadioButton::clicked, this,
          [this] { form.Handle(&TForm1::RadioButton2Click); });
}

QWidget* QtForm1::Widget(FormControl control) const {
  switch (control) {
    case FormControl::RadioButton1:
      return RadioButton1;
    case FormControl::RadioButton2:
      return RadioButton2;
    case FormControl::Edit1:
      return Edit1;
    case FormControl::Edit2:
      return Edit2;
    case FormControl::Button1:
      return Button1;
    case FormControl::Button2:
      return Button2;
    case FormControl::kNone:
      break;
  }
  return nullptr;
}

void QtForm1::SetStatusText(const std::string& text) {
  Label1->setText(Q(text));
  Label1->adjustSize();
}

void QtForm1::SetStatusTooltip(const std::string& text) {
  Label1->setToolTip(Q(text));
}

void QtForm1::SetEnabled(FormControl control, bool enabled) {
  if (QWidget* w = Widget(control)) w->setEnabled(enabled);
}

bool QtForm1::IsChecked(FormControl radio_button) const {
  auto* r = qobject_cast<QRadioButton*>(Widget(radio_button));
  return r && r->isChecked();
}

// The panel's controls refuse mouse and keyboard input but keep their look, as the
// children of a disabled panel do on Windows.
void QtForm1::SetPanel1Enabled(bool enabled) {
  for (QWidget* child : Panel1->findChildren<QWidget*>()) {
    child->setAttribute(Qt::WA_TransparentForMouseEvents, !enabled);
    child->setFocusPolicy(
        enabled ? (qobject_cast<QLineEdit*>(child) ? Qt::StrongFocus : Qt::NoFocus) : Qt::NoFocus);
  }
}

FormControl QtForm1::Focused() const {
  QWidget* focus = focusWidget();
  for (FormControl c : {FormControl::RadioButton1, FormControl::RadioButton2, FormControl::Edit1,
                        FormControl::Edit2, FormControl::Button1, FormControl::Button2}) {
    if (Widget(c) == focus) return c;
  }
  return FormControl::kNone;
}

void QtForm1::SetFocus(FormControl control) {
  if (QWidget* w = Widget(control)) w->setFocus();
}

std::optional<std::string> QtForm1::ShowOpenDialog(const OpenDialogSettings& od) {
  std::unique_ptr<QFileDialog> dialog = MakeOpenDialog(this, od);
  std::optional<QString> chosen;
  if (hooks_.choose_file) {
    chosen = hooks_.choose_file(*dialog);
  } else if (dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty()) {
    chosen = dialog->selectedFiles().first();
  }
  if (!chosen) return std::nullopt;
  return QDir::toNativeSeparators(QFileInfo(*chosen).absoluteFilePath()).toStdString();
}

void QtForm1::ShowErrorBox(const ErrorBoxContent& box) {
  if (hooks_.show_error_box) {
    hooks_.show_error_box(box);
  } else {
    MakeErrorBox(isVisible() ? this : nullptr, box)->exec();
  }
}

void QtForm1::PumpEvents() {
  QCoreApplication::processEvents();
}

void QtForm1::closeEvent(QCloseEvent* event) {
  if (!form.CloseQuery()) {
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

void QtForm1::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (placed_) return;
  placed_ = true;
  Button1->setFocus();
  // The outer size includes the frame, which is known only once the window is shown.
  const QSize frame = frameGeometry().size() - size();
  if (!frame.isEmpty()) resize(kOuterWidth - frame.width(), kOuterHeight - frame.height());
}

}  // namespace app

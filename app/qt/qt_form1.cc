#include "app/qt/qt_form1.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPalette>
#include <QShowEvent>
#include <algorithm>

#include "app/form_layout.h"
#include "app/qt/window_font.h"
#include "upgrade/program_paths.h"

namespace app {
namespace {

QString Q(const std::string& utf8) {
  return QString::fromStdString(utf8);
}

// A control of the designer's table as the Qt widget of its kind, with its text.
QWidget* MakeWidget(const ControlLayout& c, QWidget* parent) {
  const QString text = Q(c.text);
  switch (c.kind) {
    case ControlKind::kRadioButton: {
      auto* radio = new QRadioButton(text, parent);
      if (c.checked) radio->setChecked(true);
      return radio;
    }
    case ControlKind::kPanel: {
      auto* panel = new QFrame(parent);
      panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
      panel->setLineWidth(1);
      return panel;
    }
    case ControlKind::kLabel:
      return new QLabel(text, parent);
    case ControlKind::kEdit:
      return new QLineEdit(text, parent);  // characters shown plainly
    case ControlKind::kProgressBar: {
      auto* bar = new QProgressBar(parent);
      bar->setRange(0, 100);
      bar->setValue(0);
      bar->setTextVisible(false);
      return bar;
    }
    case ControlKind::kPushButton:
      return new QPushButton(text, parent);
  }
  return nullptr;
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
  setWindowTitle(QString::fromUtf8(kFormCaption));
  setFont(WindowFont());
  // The face colour of buttons as background.
  setBackgroundRole(QPalette::Button);
  setAutoFillBackground(true);
  move(kFormLeft, kFormTop);
  resize(kFormOuterWidth, kFormOuterHeight);  // the frame's share is taken off once it is known

  // In the table's order, which Qt's focus chain follows: the Tab order.
  for (const ControlLayout& c : kFormLayout) {
    QWidget* parent = c.parent == FormControl::kNone ? this : Widget(c.parent);
    QWidget* w = MakeWidget(c, parent);
    if (c.width == kSizedToText) {  // Label1, the status line: growing to the right
      w->move(c.left, c.top);
      w->adjustSize();
    } else {
      w->setGeometry(c.left, c.top, c.width, c.height);
    }
    // The sizes were made for SimSun and a Windows radio mark. Where another font or style
    // needs more room, a caption grows to the right (into empty space) rather than be cut.
    if (c.kind == ControlKind::kRadioButton) {
      w->resize(std::max(w->width(), w->sizeHint().width()), w->height());
    }
    if (!c.visible) w->hide();
    widgets_[c.control] = w;
  }
  RadioButton1 = WidgetAs<QRadioButton>(FormControl::RadioButton1);
  RadioButton2 = WidgetAs<QRadioButton>(FormControl::RadioButton2);
  Panel1 = WidgetAs<QFrame>(FormControl::Panel1);
  Label3 = WidgetAs<QLabel>(FormControl::Label3);
  Edit1 = WidgetAs<QLineEdit>(FormControl::Edit1);
  Label4 = WidgetAs<QLabel>(FormControl::Label4);
  Edit2 = WidgetAs<QLineEdit>(FormControl::Edit2);
  Label1 = WidgetAs<QLabel>(FormControl::Label1);
  ProgressBar1 = WidgetAs<QProgressBar>(FormControl::ProgressBar1);
  Button1 = WidgetAs<QPushButton>(FormControl::Button1);
  Button2 = WidgetAs<QPushButton>(FormControl::Button2);
  Label2 = WidgetAs<QLabel>(FormControl::Label2);

  // The notice in pure red. A style sheet, since platform themes may repaint a label's
  // palette colours.
  Label2->setStyleSheet(QStringLiteral("color: #ff0000;"));

  connect(Button1, &QPushButton::clicked, this, [this] { form.Handle(&TForm1::Button1Click); });
  connect(Button2, &QPushButton::clicked, this, [this] { form.Handle(&TForm1::Button2Click); });
  connect(RadioButton1, &QRadioButton::clicked, this,
          [this] { form.Handle(&TForm1::RadioButton1Click); });
  connect(RadioButton2, &QRadioButton::clicked, this,
          [this] { form.Handle(&TForm1::RadioButton2Click); });
}

QWidget* QtForm1::Widget(FormControl control) const {
  const auto it = widgets_.find(control);
  return it == widgets_.end() ? nullptr : it->second;
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
  for (const auto& [control, widget] : widgets_) {
    if (widget == focus) return control;
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
  if (!frame.isEmpty()) resize(kFormOuterWidth - frame.width(), kFormOuterHeight - frame.height());
}

}  // namespace app

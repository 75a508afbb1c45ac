#include "app/Unit1.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QPalette>
#include <QShowEvent>
#include <algorithm>
#include <exception>
#include <stdexcept>

#include "app/error_box.h"
#include "app/upgrade_window_view.h"
#include "app/window_font.h"
#include "upgrade/product_database.h"
#include "upgrade/program_paths.h"
#include "upgrade/upgrade_run.h"

namespace {

constexpr int kOuterWidth = 371;
constexpr int kOuterHeight = 199;
constexpr int kLeft = 465;
constexpr int kTop = 250;

const QString kConnected = QStringLiteral("已连接数据文件!");

std::string Utf8(const QString& text) {
  return text.toUtf8().toStdString();
}

}  // namespace

TForm1::TForm1(FormHooks hooks, QWidget* parent) : QWidget(parent), hooks_(std::move(hooks)) {
  BuildControls();
  ADOQuery3.SetConnection(&ADOConnection2);
  Guarded([this] { FormCreate(this); });
}

TForm1::~TForm1() = default;

void TForm1::BuildControls() {
  setWindowTitle(QStringLiteral("数据升级"));
  setFont(app::WindowFont());
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

  OD = new QFileDialog(this);
  OD->setNameFilter(QStringLiteral("数据文件 (*.sys)"));
  OD->setDefaultSuffix(QStringLiteral("sys"));
  OD->setAcceptMode(QFileDialog::AcceptOpen);
  OD->setFileMode(QFileDialog::AnyFile);  // a typed name of a missing file reaches the open
  OD->setSizeGripEnabled(true);

  connect(Button1, &QPushButton::clicked, this,
          [this] { Guarded([this] { Button1Click(Button1); }); });
  connect(Button2, &QPushButton::clicked, this,
          [this] { Guarded([this] { Button2Click(Button2); }); });
  connect(RadioButton1, &QRadioButton::clicked, this,
          [this] { Guarded([this] { RadioButton1Click(RadioButton1); }); });
  connect(RadioButton2, &QRadioButton::clicked, this,
          [this] { Guarded([this] { RadioButton2Click(RadioButton2); }); });
}

void TForm1::SetPanel1Enabled(bool enabled) {
  panel1_enabled_ = enabled;
  for (QWidget* child : Panel1->findChildren<QWidget*>()) {
    child->setAttribute(Qt::WA_TransparentForMouseEvents, !enabled);
    child->setFocusPolicy(
        enabled ? (qobject_cast<QLineEdit*>(child) ? Qt::StrongFocus : Qt::NoFocus) : Qt::NoFocus);
  }
}

std::filesystem::path TForm1::ExecutableDirectory() const {
  return hooks_.executable_directory.empty() ? upgrade::ExecutableDirectory()
                                             : hooks_.executable_directory;
}

void TForm1::ReportFailure(const std::string& message) {
  if (hooks_.report_failure) {
    hooks_.report_failure(message);
  } else {
    app::ShowErrorBox(isVisible() ? this : nullptr, message);
  }
}

void TForm1::Guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    ReportFailure(e.what());
  }
}

void TForm1::FormCreate(QObject*) {
  SetPanel1Enabled(false);
  RadioButton1->setEnabled(false);
  RadioButton2->setEnabled(false);

  // The data file, when the default one exists. Its failure is reported, but the template
  // is still connected, so choosing a good data file afterwards lets an upgrade work.
  std::optional<std::string> data_failure;
  const std::filesystem::path data = ExecutableDirectory() / "sys" / "Custom.sys";
  std::error_code ec;
  if (std::filesystem::exists(data, ec)) {
    try {
      ADOConnection1.Connect(upgrade::ConnectionStringFor(upgrade::PathToUtf8(data)));
      app::ShowStatus(Label1, kConnected);
    } catch (const std::exception& e) {
      data_failure = e.what();
    }
  }
  TemplatePath = upgrade::PathToUtf8(ExecutableDirectory() / "my.sys");
  try {
    ADOConnection2.Connect(upgrade::ConnectionStringFor(TemplatePath));
  } catch (const std::exception&) {
    if (data_failure) ReportFailure(*data_failure);
    throw;
  }
  if (data_failure) throw std::runtime_error(*data_failure);
}

void TForm1::Button1Click(QObject*) {
  // The run pumps events: no second run, and no other data file, until it has ended. The
  // buttons come back however the handler is left.
  struct RunInProgress {
    TForm1& form;
    explicit RunInProgress(TForm1& f) : form(f) { Set(true); }
    ~RunInProgress() { Set(false); }
    void Set(bool running) {
      form.running_ = running;
      form.Button1->setEnabled(!running);
      form.Button2->setEnabled(!running);
    }
  };
  {
    RunInProgress in_progress(*this);
    app::UpgradeWindowView view(Label1, ProgressBar1);
    upgrade::UpgradeComponents components{ADOConnection1, ADOConnection2, ADOQuery1, ADOQuery2,
                                          ADOQuery3};
    upgrade::RunUpgrade(components, TemplatePath, view);  // never throws
  }
  if (close_requested_) close();
}

void TForm1::Button2Click(QObject*) {
  std::optional<QString> chosen;
  if (hooks_.choose_file) {
    chosen = hooks_.choose_file(*OD);
  } else if (OD->exec() == QDialog::Accepted && !OD->selectedFiles().isEmpty()) {
    chosen = OD->selectedFiles().first();
  }
  if (!chosen) return;
  const QString path = QDir::toNativeSeparators(QFileInfo(*chosen).absoluteFilePath());
  ADOConnection1.Disconnect();
  ADOConnection1.Connect(upgrade::ConnectionStringFor(Utf8(path)));
  app::ShowStatus(Label1, kConnected);
}

void TForm1::RadioButton1Click(QObject*) {
  SetPanel1Enabled(RadioButton2->isChecked());
}

void TForm1::RadioButton2Click(QObject*) {
  SetPanel1Enabled(RadioButton2->isChecked());
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (running_) {
    // Carried out when the run has ended; the run goes on meanwhile.
    close_requested_ = true;
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

void TForm1::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (placed_) return;
  placed_ = true;
  Button1->setFocus();
  // The outer size includes the frame, which is known only once the window is shown.
  const QSize frame = frameGeometry().size() - size();
  if (!frame.isEmpty()) resize(kOuterWidth - frame.width(), kOuterHeight - frame.height());
}

// The Qt skin under Qt's offscreen platform: the initial state and geometry of every
// control, the dialog and the error box as Qt shows them, and TForm1's behaviour driven
// through the real widgets, with the dialog and the error box replaced so no human is
// needed. The behaviour itself is tested without a toolkit in form_behaviour_test.cc.
#include <QApplication>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "app/qt/qt_form1.h"
#include "tools/demo/demo_data.h"

namespace fs = std::filesystem;

namespace {

// A program directory of its own: my.sys and sys/Custom.sys as sysdemo lays them out.
class ProgramDir {
 public:
  ProgramDir() {
    path_ = fs::temp_directory_path() /
            ("form_test." + std::to_string(QCoreApplication::applicationPid()) + "." +
             std::to_string(counter_++));
    fs::remove_all(path_);
    WriteDemoData(path_, DemoOptions{20, 50, 2052});
  }
  ~ProgramDir() { fs::remove_all(path_); }
  fs::path path() const { return path_; }
  fs::path data() const { return DemoDataFilePath(path_); }
  fs::path tpl() const { return DemoTemplatePath(path_); }

 private:
  static inline int counter_ = 0;
  fs::path path_;
};

// The window with a recording error box and a scripted dialog.
struct Harness {
  explicit Harness(const fs::path& dir) {
    app::QtFormHooks hooks;
    hooks.executable_directory = dir;
    hooks.show_error_box = [this](const app::ErrorBoxContent& box) {
      failures.push_back(box.text);
    };
    hooks.choose_file = [this](QFileDialog&) { return next_choice; };
    form = std::make_unique<app::QtForm1>(hooks);
  }
  std::vector<std::string> failures;
  std::optional<QString> next_choice;
  std::unique_ptr<app::QtForm1> form;
};

QString Q(const fs::path& p) {
  return QString::fromStdString(p.string());
}

}  // namespace

class FormTest : public QObject {
  Q_OBJECT

 private slots:
  void theErrorBoxAndTheDialogAsQtShowsThem() {
    app::ErrorBoxContent content{"数据升级", "打不开."};
    std::unique_ptr<QMessageBox> box = app::MakeErrorBox(nullptr, content);
    QCOMPARE(box->windowTitle(), QStringLiteral("数据升级"));
    QCOMPARE(box->text(), QStringLiteral("打不开."));
    QCOMPARE(box->icon(), QMessageBox::Critical);
    QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));

    std::unique_ptr<QFileDialog> od = app::MakeOpenDialog(nullptr, app::OpenDialogSettings{});
    QCOMPARE(od->nameFilters(), QStringList{QStringLiteral("数据文件 (*.sys)")});
    QVERIFY(od->testOption(QFileDialog::HideNameFilterDetails));  // the entry reads 数据文件
    QCOMPARE(od->defaultSuffix(), QStringLiteral("sys"));
    QCOMPARE(od->fileMode(), QFileDialog::AnyFile);
    QCOMPARE(od->acceptMode(), QFileDialog::AcceptOpen);
    QVERIFY(od->isSizeGripEnabled());
  }

  void startUpWithoutADataFileShowsTheInitialState() {
    ProgramDir dir;
    fs::remove(dir.data());
    Harness h(dir.path());
    app::QtForm1& f = *h.form;
    QVERIFY(h.failures.empty());
    QCOMPARE(f.windowTitle(), QStringLiteral("数据升级"));
    QCOMPARE(f.Label1->text(), QString());
    QCOMPARE(f.form.TemplatePath, dir.tpl().string());
    QVERIFY(f.form.ADOConnection2.IsOpen());
    QVERIFY(!f.form.ADOConnection1.IsOpen());

    struct Expected {
      QWidget* w;
      QRect geometry;
      QString text;
    };
    const std::vector<Expected> controls = {
        {f.RadioButton1, {48, 8, 113, 17}, QStringLiteral("Windows 身份验证")},
        {f.RadioButton2, {184, 8, 145, 17}, QStringLiteral("SQL SERVER 混合登录")},
        {f.Panel1, {8, 32, 345, 29}, {}},
        {f.ProgressBar1, {24, 80, 305, 16}, {}},
        {f.Button1, {144, 124, 75, 25}, QStringLiteral("升级")},
        {f.Button2, {232, 124, 89, 25}, QStringLiteral("选择数据文件")},
        {f.Label2,
         {56, 152, 270, 12},
         QStringLiteral("2005.07.005以前版本升级时间稍长,请耐心等候...")},
        {f.Label3, {8, 8, 36, 12}, QStringLiteral("用户名")},
        {f.Edit1, {50, 5, 47, 20}, QStringLiteral("sa")},
        {f.Label4, {126, 9, 24, 12}, QStringLiteral("密码")},
        {f.Edit2, {159, 5, 162, 20}, QString()},
    };
    for (const auto& c : controls) {
      if (qobject_cast<QRadioButton*>(c.w)) {
        // A caption wider than the box in a fallback font widens it to the right.
        QCOMPARE(c.w->pos(), c.geometry.topLeft());
        QCOMPARE(c.w->height(), c.geometry.height());
        QCOMPARE(c.w->width(), std::max(c.geometry.width(), c.w->sizeHint().width()));
      } else {
        QCOMPARE(c.w->geometry(), c.geometry);
      }
      // Nothing is clipped (a push button's hint has a minimum width of its own: measure its text).
      if (auto* b = qobject_cast<QPushButton*>(c.w)) {
        QVERIFY(b->fontMetrics().horizontalAdvance(b->text()) + 8 <= b->width());
      } else if (qobject_cast<QLabel*>(c.w) || qobject_cast<QRadioButton*>(c.w)) {
        QVERIFY2(c.w->sizeHint().width() <= c.w->width(), qPrintable(c.text));
      }
      if (auto* b = qobject_cast<QAbstractButton*>(c.w)) QCOMPARE(b->text(), c.text);
      if (auto* l = qobject_cast<QLabel*>(c.w)) QCOMPARE(l->text(), c.text);
      if (auto* e = qobject_cast<QLineEdit*>(c.w)) QCOMPARE(e->text(), c.text);
      QCOMPARE(c.w->font().pixelSize(), 12);
    }
    QCOMPARE(f.Label1->pos(), QPoint(16, 64));
    QVERIFY(f.RadioButton2->isChecked() && !f.RadioButton1->isChecked());
    QVERIFY(!f.RadioButton1->isEnabled() && !f.RadioButton2->isEnabled());
    // The panel refuses input but its controls keep their normal look.
    QVERIFY(!f.form.Panel1Enabled());
    QVERIFY(f.Edit1->isEnabled() && f.Edit2->isEnabled());
    QVERIFY(f.Edit1->testAttribute(Qt::WA_TransparentForMouseEvents));
    QCOMPARE(f.Edit2->focusPolicy(), Qt::NoFocus);
    QCOMPARE(f.Edit2->echoMode(), QLineEdit::Normal);
    // The notice is drawn in pure red.
    const QImage notice = f.Label2->grab().toImage();
    bool red = false;
    for (int y = 0; y < notice.height() && !red; ++y) {
      for (int x = 0; x < notice.width() && !red; ++x)
        red = notice.pixelColor(x, y) == QColor(255, 0, 0);
    }
    QVERIFY(red);
    QVERIFY(f.ProgressBar1->isHidden());
    QCOMPARE(f.ProgressBar1->minimum(), 0);
    QCOMPARE(f.ProgressBar1->maximum(), 100);
    QCOMPARE(f.ProgressBar1->value(), 0);
    QVERIFY(f.Button1->isEnabled() && f.Button2->isEnabled());

    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    QCOMPARE(f.frameGeometry().size(), QSize(371, 199));
    QCOMPARE(f.frameGeometry().topLeft(), QPoint(465, 250));
    QCOMPARE(f.focusWidget(), f.Button1);
    // Resizing moves nothing.
    f.resize(600, 400);
    QCOMPARE(f.Button1->geometry(), QRect(144, 124, 75, 25));

    // With no data file, an upgrade fails at its table list: empty status, no bar.
    f.Button1->click();
    QCOMPARE(f.Label1->text(), QString());
    QVERIFY(f.ProgressBar1->isHidden());
    QVERIFY(!f.Label1->toolTip().isEmpty());
    QVERIFY(h.failures.empty());  // a run shows no error box
  }

  void startUpWithTheDataFileConnectsAndUpgrades() {
    ProgramDir dir;
    Harness h(dir.path());
    app::QtForm1& f = *h.form;
    QVERIFY(h.failures.empty());
    QCOMPARE(f.Label1->text(), QStringLiteral("已连接数据文件!"));
    QVERIFY(f.form.ADOConnection1.IsOpen());
    f.Button1->click();
    QCOMPARE(f.Label1->text(), QStringLiteral("升级成功"));
    QVERIFY(f.ProgressBar1->isHidden());
    QCOMPARE(f.ProgressBar1->value(), 0);
    QVERIFY(f.Label1->toolTip().isEmpty());
    QVERIFY(f.Button1->isEnabled() && f.Button2->isEnabled());
  }

  void aDamagedDataFileIsReportedButTheTemplateIsStillConnected() {
    ProgramDir dir;
    fs::path good = dir.path() / "good.sys";
    fs::copy_file(dir.data(), good);
    std::ofstream(dir.data(), std::ios::binary | std::ios::trunc) << std::string(8192, 'x');
    Harness h(dir.path());
    app::QtForm1& f = *h.form;
    QCOMPARE(h.failures.size(), size_t{1});
    QCOMPARE(f.Label1->text(), QString());
    QCOMPARE(f.form.TemplatePath, dir.tpl().string());
    QVERIFY(f.form.ADOConnection2.IsOpen());
    // Choosing a good file makes the upgrade work without a restart.
    h.next_choice = Q(good);
    f.Button2->click();
    QCOMPARE(f.Label1->text(), QStringLiteral("已连接数据文件!"));
    f.Button1->click();
    QCOMPARE(f.Label1->text(), QStringLiteral("升级成功"));
  }

  void aMissingTemplateIsReportedAndTheRunFailsAtItsFirstRead() {
    ProgramDir dir;
    fs::remove(dir.tpl());
    Harness h(dir.path());
    app::QtForm1& f = *h.form;
    QCOMPARE(h.failures.size(), size_t{1});
    QVERIFY(h.failures[0].find("my.sys") != std::string::npos);
    QCOMPARE(f.Label1->text(), QStringLiteral("已连接数据文件!"));
    QVERIFY(!f.form.ADOConnection2.IsOpen());
    f.Button1->click();
    QCOMPARE(f.Label1->text(), QString());
    QVERIFY(!f.ProgressBar1->isHidden());
    QVERIFY(f.Label1->toolTip().contains(QStringLiteral("my.sys")));
  }

  void choosingADataFile() {
    ProgramDir dir;
    fs::path other = dir.path() / "其他 数据" / "客户.sys";
    fs::create_directories(other.parent_path());
    fs::copy_file(dir.data(), other);
    fs::remove(dir.data());
    Harness h(dir.path());
    app::QtForm1& f = *h.form;

    // Cancelled: nothing changes.
    h.next_choice.reset();
    f.Label1->setText(QStringLiteral("之前"));
    f.Button2->click();
    QCOMPARE(f.Label1->text(), QStringLiteral("之前"));
    QVERIFY(f.form.ADOConnection1.connection_string().empty());

    // Chosen, and chosen again: each time the connection is reopened and the status rewritten.
    h.next_choice = Q(other);
    for (int i = 0; i < 2; ++i) {
      f.Label1->setText(QStringLiteral("之前"));
      f.Button2->click();
      QCOMPARE(f.Label1->text(), QStringLiteral("已连接数据文件!"));
      QVERIFY(f.form.ADOConnection1.IsOpen());
    }
    QVERIFY(h.failures.empty());

    // A typed name of a missing file: the open fails, the string is kept, the status stays.
    h.next_choice = Q(dir.path() / "没有.sys");
    f.Button2->click();
    QCOMPARE(h.failures.size(), size_t{1});
    QVERIFY(!f.form.ADOConnection1.IsOpen());
    QVERIFY(f.form.ADOConnection1.connection_string().find("没有.sys") != std::string::npos);
    QCOMPARE(f.Label1->text(), QStringLiteral("已连接数据文件!"));
  }

  void aFailingRunLeavesTheBarWhereItStoppedAndExplainsInTheTooltip() {
    ProgramDir dir;
    // A "template" without sj: the run stops before its first change, the bar shown at the
    // position it had.
    fs::remove(dir.tpl());
    fs::copy_file(dir.data(), dir.tpl());
    Harness h(dir.path());
    app::QtForm1& f = *h.form;
    f.Button1->click();
    QCOMPARE(f.Label1->text(), QString());
    QVERIFY(!f.ProgressBar1->isHidden());
    QCOMPARE(f.ProgressBar1->value(), 0);
    QVERIFY(f.Label1->toolTip().contains(QStringLiteral("sj")));
    QVERIFY(h.failures.empty());
    QVERIFY(f.Button1->isEnabled() && f.Button2->isEnabled());
  }

  void duringARunTheButtonsAreDisabledAndACloseWaitsForTheEnd() {
    ProgramDir dir;
    Harness h(dir.path());
    app::QtForm1& f = *h.form;
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    bool seen = false, button1 = true, button2 = true, running = false;
    // Fires when the run first pumps events.
    QTimer::singleShot(0, &f, [&] {
      seen = true;
      button1 = f.Button1->isEnabled();
      button2 = f.Button2->isEnabled();
      running = f.form.UpgradeRunning();
      f.close();
    });
    f.Button1->click();
    QVERIFY(seen);
    QVERIFY(!button1 && !button2 && running);
    QCOMPARE(f.Label1->text(), QStringLiteral("升级成功"));  // the run went on to its end
    QVERIFY(!f.isVisible());                                 // and then the window closed
    QCOMPARE(f.focusWidget(), f.Button1);  // back where it was: Enter presses 升级 again
  }

  void theRadioButtonsDecideWhetherThePanelTakesInput() {
    ProgramDir dir;
    Harness h(dir.path());
    app::QtForm1& f = *h.form;
    f.RadioButton1->setEnabled(true);
    f.RadioButton2->setEnabled(true);
    f.RadioButton1->click();
    QVERIFY(!f.form.Panel1Enabled());
    f.RadioButton2->click();
    QVERIFY(f.form.Panel1Enabled());
    QVERIFY(!f.Edit1->testAttribute(Qt::WA_TransparentForMouseEvents));
  }
};

QTEST_MAIN(FormTest)
#include "form_test.moc"

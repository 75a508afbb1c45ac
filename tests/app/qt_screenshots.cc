// dataupgrade_screenshots OUTDIR (a test tool for tools/screenshot.sh): shows the Qt window on the
// display (Xvfb in the scripts) over fresh demo data and writes what a user sees as PNGs: the
// window at start-up, after an upgrade, and the error box for a data file that cannot be opened.
#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTest>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "app/error_box.h"
#include "app/qt/qt_form1.h"
#include "app/qt/window_font.h"
#include "tools/demo/demo_data.h"

namespace fs = std::filesystem;

namespace {

// What the screen shows in `widget`'s frame.
bool Shoot(QWidget* widget, const fs::path& file) {
  QTest::qWait(300);  // let the window system draw
  const QRect r = widget->frameGeometry();
  QPixmap shot = widget->screen()->grabWindow(0, r.x(), r.y(), r.width(), r.height());
  bool ok = shot.save(QString::fromStdString(file.string()));
  std::printf("%s %s (%dx%d)\n", ok ? "wrote" : "could not write", file.string().c_str(), r.width(),
              r.height());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: dataupgrade_screenshots OUTDIR\n");
    return 2;
  }
  QApplication::setApplicationName(QStringLiteral("数据升级"));
  QApplication::setFont(app::WindowFont());
  const fs::path out = argv[1];
  fs::create_directories(out);
  const fs::path program =
      fs::temp_directory_path() / ("dataupgrade_screenshots." + std::to_string(getpid()));
  WriteDemoData(program, DemoOptions{200, 2000, 2052});

  std::unique_ptr<QMessageBox> box;
  app::QtFormHooks hooks;
  hooks.executable_directory = program;
  hooks.choose_file = [&](QFileDialog&) {
    return std::optional<QString>(
        QString::fromStdString((program / "客户资料" / "没有这个文件.sys").string()));
  };
  hooks.show_error_box = [&](const app::ErrorBoxContent& content) {
    box = app::MakeErrorBox(nullptr, content);
    box->show();
  };
  app::QtForm1 form(hooks);
  form.show();
  bool ok = QTest::qWaitForWindowExposed(&form);
  ok = Shoot(&form, out / "1-start.png") && ok;
  form.Button1->click();
  ok = Shoot(&form, out / "2-after-upgrade.png") && ok;
  form.Button2->click();
  if (box) {
    ok = QTest::qWaitForWindowExposed(box.get()) && ok;
    ok = Shoot(box.get(), out / "3-error-box.png") && ok;
  } else {
    ok = false;
  }
  fs::remove_all(program);
  return ok ? 0 : 1;
}

// 数据升级 (Qt): the program entry. Creates the window, runs the event loop until it closes.
#include <QApplication>

#include "app/error_box.h"
#include "app/qt/qt_form1.h"
#include "app/qt/window_font.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QString::fromUtf8(app::kApplicationTitle));
  QApplication::setApplicationDisplayName(QString::fromUtf8(app::kApplicationTitle));
  QApplication::setFont(app::WindowFont());
  app::QtForm1 Form1;
  Form1.show();
  return application.exec();
}

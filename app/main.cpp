// 数据升级: the program entry. Creates the window, runs the event loop until it closes.
#include <QApplication>

#include "app/Unit1.h"
#include "app/window_font.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("数据升级"));
  QApplication::setApplicationDisplayName(QStringLiteral("数据升级"));
  QApplication::setFont(app::WindowFont());
  TForm1 Form1;
  Form1.show();
  return application.exec();
}

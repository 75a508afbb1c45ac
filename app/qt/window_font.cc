#include "app/qt/window_font.h"

#include <QStringList>

namespace app {

QFont WindowFont() {
  QFont font;
  // Qt takes the first family that is installed, per character.
  font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("NSimSun"),
                    QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
                    QStringLiteral("Source Han Sans SC"), QStringLiteral("Microsoft YaHei")});
  font.setPixelSize(12);
  return font;
}

}  // namespace app

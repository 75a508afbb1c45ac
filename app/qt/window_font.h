// The window's font: 宋体 (SimSun) at 9 points, 12 pixels high at 96 dpi, where it exists;
// otherwise a Simplified-Chinese font of the same role, so Chinese never shows as boxes.
#pragma once

#include <QFont>

namespace app {

QFont WindowFont();

}  // namespace app

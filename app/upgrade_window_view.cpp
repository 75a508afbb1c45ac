#include "app/upgrade_window_view.h"

#include <QCoreApplication>

namespace app {

void ShowStatus(QLabel* status_line, const QString& text) {
  status_line->setText(text);
  status_line->setToolTip(QString());
  status_line->adjustSize();
}

void UpgradeWindowView::SetStatus(const std::string& text) {
  ShowStatus(status_line_, QString::fromStdString(text));
}

void UpgradeWindowView::PumpEvents() {
  QCoreApplication::processEvents();
}

void UpgradeWindowView::SetFailure(const std::string& message) {
  status_line_->setToolTip(QString::fromStdString(message));
}

}  // namespace app

#include "app/error_box.h"

#include <QMessageBox>
#include <QString>

namespace app {
namespace {

// The code point of the last character of UTF-8 `text` (not empty).
char32_t LastCharacter(const std::string& text) {
  size_t at = text.size() - 1;
  while (at > 0 && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) --at;
  const QString last =
      QString::fromUtf8(text.data() + at, static_cast<qsizetype>(text.size() - at));
  return last.isEmpty() ? U'\0' : last.toUcs4().value(0);
}

}  // namespace

std::string ErrorBoxText(const std::string& message) {
  if (message.empty() || LastCharacter(message) <= U'.') return message;
  return message + ".";
}

std::unique_ptr<QMessageBox> MakeErrorBox(QWidget* parent, const std::string& message) {
  return std::make_unique<QMessageBox>(QMessageBox::Critical, QStringLiteral("数据升级"),
                                       QString::fromStdString(ErrorBoxText(message)),
                                       QMessageBox::Ok, parent);
}

void ShowErrorBox(QWidget* parent, const std::string& message) {
  MakeErrorBox(parent, message)->exec();
}

}  // namespace app

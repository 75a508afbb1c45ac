// The application's error box: what a failure escaping a handler looks like to the user.
#pragma once

#include <memory>
#include <string>

class QMessageBox;
class QWidget;

namespace app {

// The box's text: the message with "." appended, unless it is empty or its last character
// is "." or has a smaller code (space, "!" to "-", control characters). A message ending
// in a letter, a digit or a Chinese character gets the ".".
std::string ErrorBoxText(const std::string& message);

// The error box: title 数据升级, error icon, one OK button.
std::unique_ptr<QMessageBox> MakeErrorBox(QWidget* parent, const std::string& message);

// Shows the error box and waits for OK.
void ShowErrorBox(QWidget* parent, const std::string& message);

}  // namespace app

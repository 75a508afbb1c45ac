// The application's error box: what a failure escaping a handler looks like to the user.
// Its text rule lives here once; each toolkit shows the box with the error icon and one OK
// button.
#pragma once

#include <string>

#include "app/form_controls.h"

namespace app {

// The application title: the task-bar button's text and the error box's title.
inline constexpr char kApplicationTitle[] = "数据升级";

// The box's text: the message with "." appended, unless it is empty or its last character
// is "." or has a smaller code (space, "!" to "-", control characters). A message ending
// in a letter, a digit or a Chinese character gets the ".".
std::string ErrorBoxText(const std::string& message);

// The whole box for a failure's message.
ErrorBoxContent ErrorBoxFor(const std::string& message);

}  // namespace app

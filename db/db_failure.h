// The one failure the database contract raises: a message a user can read, taken from the
// engine's description with trailing spaces and full stops removed (the window adds its own).
#pragma once

#include <stdexcept>
#include <string>

namespace db {

class DbFailure : public std::runtime_error {
 public:
  explicit DbFailure(const std::string& message);
};

// Removes trailing spaces and full stops (ASCII "." and the ideographic "。").
std::string TrimMessage(std::string message);

}  // namespace db

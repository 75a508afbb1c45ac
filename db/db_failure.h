// The one failure the database contract raises: a message a user can read, taken from the
// engine's description with trailing spaces and full stops removed (the window adds its own).
#pragma once

#include <stdexcept>
#include <string>

#include "jet/error.h"

namespace db {

class DbFailure : public std::runtime_error {
 public:
  // An engine error's message, passed on.
  explicit DbFailure(const std::string& message);
  // A failure of the contract itself, worded by the product's message table.
  explicit DbFailure(jet::Problem problem, const jet::ErrorFacts& facts = {});
};

// Removes trailing spaces and full stops (ASCII "." and the ideographic "。").
std::string TrimMessage(std::string message);

}  // namespace db

// The one error type of the engine. Every failure carries a message a user can act on and a
// kind that callers (the SQL layer, the database contract) use to choose their own wording.
#pragma once

#include <stdexcept>
#include <string>

namespace jet {

enum class ErrorKind {
  kIo,            // the operating system refused a read, write, flush or open
  kCorrupt,       // the file's bytes contradict the format (bad offset, cycle, absurd count)
  kUnsupported,   // a valid file we do not handle (Jet 3, ACE, an unknown sort order for writes)
  kBadPassword,   // the database password does not match
  kNotFound,      // a file, table, column or index that does not exist
  kInUse,         // another connection holds the file
  kReadOnly,      // a write to a file opened (or only openable) for reading
  kConstraint,    // a unique index, a row too large, a value that does not fit its column
  kInvalid,       // a request that makes no sense (a bad name, a duplicate column)
};

class JetError : public std::runtime_error {
 public:
  JetError(ErrorKind kind, const std::string& message)
      : std::runtime_error(message), kind_(kind) {}
  ErrorKind kind() const { return kind_; }

 private:
  ErrorKind kind_;
};

[[noreturn]] inline void ThrowCorrupt(const std::string& what) {
  throw JetError(ErrorKind::kCorrupt, "database file is damaged: " + what);
}

}  // namespace jet

// The texts of SQL errors, in the product's language (Simplified Chinese). Each names the
// object concerned and ends without a full stop: the window adds one.
#pragma once

#include <string>

#include "jet/error.h"

namespace jet::sql {

JetError SyntaxError(size_t position, const std::string& near);
JetError TableExists(const std::string& table);
JetError TableNotFound(const std::string& table);
JetError FieldExists(const std::string& field, const std::string& table);
JetError FieldNotFound(const std::string& field);
JetError FieldDefinedTwice(const std::string& field);
JetError TypeMismatch(const std::string& field);
JetError ValueTooLarge(const std::string& field);
JetError DuplicateKey(const std::string& table);
JetError RecordTooLarge();
JetError BadPassword();
JetError FileNotFound(const std::string& path);
JetError NotADatabase(const std::string& path);
JetError DatabaseInUse(const std::string& path);
JetError ReadOnlyDatabase(const std::string& path);
JetError CannotIndex(const std::string& detail);
JetError UnsupportedStatement(const std::string& what);
JetError NoTransaction();
JetError QueryTooComplex(size_t position, int limit);
JetError TooManyFields(size_t position, size_t limit);

// Turns an engine error into the product's wording, keeping errors already worded.
JetError Translate(const JetError& error, const std::string& path);

}  // namespace jet::sql

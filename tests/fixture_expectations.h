// What the fixture corpus says about itself (expected.json beside the files, written from
// mdbtools output and an independent header scan), shared by the suites that walk every
// fixture. Header-only so the test binary's source list stays the *_test.cc glob.
#pragma once

#include <string>
#include <vector>

#include "tests/json_lite.h"
#include "tests/test_support.h"

namespace testing_support {

// The parsed expected.json, or a null value when the fixture directory is absent.
inline const json_lite::Value& Expectations() {
  static const json_lite::Value value = [] {
    if (FixtureDir().empty()) return json_lite::Value();
    return json_lite::ParseFile((FixtureDir() / "expected.json").string());
  }();
  return value;
}

// Every Jet 4 fixture named in expected.json (the negative_* files are other formats). When
// the corpus is absent the list holds one placeholder, so parameterised suites still
// instantiate and their tests report the skip instead of vanishing.
inline std::vector<std::string> Jet4FixtureNames() {
  std::vector<std::string> names;
  const json_lite::Value& e = Expectations();
  if (e.is_object()) {
    for (const auto& [name, entry] : e.AsObject()) {
      if (name.starts_with("_") || name.starts_with("negative_")) continue;
      names.push_back(name);
    }
  }
  if (names.empty()) names.push_back("no_fixtures");
  return names;
}

// The database password the fixture was saved with ("" for none).
inline std::string FixturePassword(const std::string& name) {
  const json_lite::Value& header = Expectations()[name]["header"];
  const json_lite::Value* pw = header.Find("password");
  return pw && pw->is_string() ? pw->AsString() : std::string();
}

// A gtest-safe test name for a fixture file name.
inline std::string FixtureTestName(const std::string& file) {
  std::string out;
  for (char c : file) {
    if (c == '.') break;
    out.push_back((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ? c
                                                                                             : '_');
  }
  return out;
}

}  // namespace testing_support

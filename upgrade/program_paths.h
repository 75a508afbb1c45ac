// Where the product's files are, relative to the running program: the template my.sys
// beside it, and the default data file sys/Custom.sys under it. Nothing is configured.
#pragma once

#include <filesystem>
#include <string>

#include "base/utf8_path.h"

namespace upgrade {

// The directory of the running executable.
std::filesystem::path ExecutableDirectory();
std::filesystem::path DefaultTemplatePath();
std::filesystem::path DefaultDataFilePath();

// A path as UTF-8 text, the form the database contract takes, on every platform.
using base::PathToUtf8;

}  // namespace upgrade

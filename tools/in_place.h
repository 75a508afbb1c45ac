// Compaction and repair in place, for an administrator who has only the one file: the new
// file is written beside it under a name of its own, and takes the file's name only once it
// is complete, flushed and found without damage. The original stays beside it, renamed to
// say what it is ("Custom.修复前备份-20261210-031500.sys"), so nothing is ever lost by it.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>

namespace tools {

struct InPlace {
  std::filesystem::path file;    // the file being rebuilt
  std::filesystem::path work;    // where the new file is written first
  std::filesystem::path backup;  // what the original is renamed to
};

// Names the work file and the backup for rebuilding `file` by `verb` ("压缩" or "修复"). Throws
// std::runtime_error, in the product's words, when either name is taken, or when `file` has a
// journal an interrupted change left.
InPlace PlanInPlace(const std::filesystem::path& file, const std::string& verb);

// Checks the work file, then renames the original to the backup and the work file to the
// original's name, unless another program holds the original. On any failure the original
// keeps its name and bytes, the work file is removed, and the exception (JetError, or
// std::runtime_error) says why.
void SwapInPlace(const InPlace& plan, const std::string& password, std::ostream& out);

}  // namespace tools

// A database file for one fuzz input: the engine opens files by path, so each input is
// written to a file in memory-backed storage (/dev/shm when it exists) and run from there.
// Names carry the process id, so several fuzzing processes never share a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace fuzz {

class ScratchFile {
 public:
  // `name` tells the targets' files apart ("open", "sql", ...).
  explicit ScratchFile(const std::string& name);
  ~ScratchFile();
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Replaces the file's contents with `bytes` and removes any journal a previous input left.
  void Write(std::span<const uint8_t> bytes);
  // Removes the file and its journal.
  void Remove();

 private:
  std::filesystem::path path_;
};

// The bytes of a whole file.
std::string ReadWholeFile(const std::filesystem::path& path);

}  // namespace fuzz

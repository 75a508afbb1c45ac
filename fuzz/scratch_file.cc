#include "fuzz/scratch_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <signal.h>
#include <unistd.h>

#include "jet/file/journal.h"

namespace fuzz {
namespace {

std::filesystem::path ScratchDirectory() {
  std::error_code ec;
  if (std::filesystem::is_directory("/dev/shm", ec)) return "/dev/shm";
  return std::filesystem::temp_directory_path();
}

// A fuzzing process ended by a crash or a timeout never removes its files: remove those of
// processes that are gone, so memory-backed storage does not fill up run after run.
void RemoveFilesOfEndedProcesses(const std::filesystem::path& dir) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("jetfuzz-", 0) != 0) continue;
    const long pid = std::strtol(name.c_str() + 8, nullptr, 10);
    if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
      std::filesystem::remove(entry.path(), ec);
    }
  }
}

}  // namespace

ScratchFile::ScratchFile(const std::string& name)
    : path_(ScratchDirectory() / ("jetfuzz-" + std::to_string(::getpid()) + "-" + name + ".mdb")) {
  RemoveFilesOfEndedProcesses(path_.parent_path());
}

ScratchFile::~ScratchFile() {
  Remove();
}

void ScratchFile::Write(std::span<const uint8_t> bytes) {
  std::error_code ec;
  std::filesystem::remove(jet::JournalPathFor(path_), ec);
  // Write through stdio, not ofstream: this runs once per input and must stay cheap.
  FILE* f = std::fopen(path_.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot write " + path_.string());
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
    std::fclose(f);
    throw std::runtime_error("cannot write " + path_.string());
  }
  std::fclose(f);
}

void ScratchFile::Remove() {
  std::error_code ec;
  std::filesystem::remove(path_, ec);
  std::filesystem::remove(jet::JournalPathFor(path_), ec);
}

std::string ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace fuzz

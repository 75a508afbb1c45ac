#include "fuzz/scratch_file.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <unistd.h>

#include "jet/file/journal.h"

namespace fuzz {
namespace {

std::filesystem::path ScratchDirectory() {
  std::error_code ec;
  if (std::filesystem::is_directory("/dev/shm", ec)) return "/dev/shm";
  return std::filesystem::temp_directory_path();
}

}  // namespace

ScratchFile::ScratchFile(const std::string& name)
    : path_(ScratchDirectory() / ("jetfuzz-" + std::to_string(::getpid()) + "-" + name + ".mdb")) {}

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

// A disk with a volatile write cache, for crash tests that must see a missing flush. The
// engine works on the real files of one directory; this hook watches every operation and,
// at a simulated power cut, rewrites the directory as such a disk may have kept it:
//   - a file's writes (and resizes) since its last successful flush may each be lost,
//     kept, or kept in part (torn at a 512-byte sector), independently of their order;
//   - a file created or removed since its directory was last flushed may or may not exist.
// From operation `crash_at` on every operation fails, as when the process is gone.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "jet/file/os_file.h"

namespace crash_test {

class VolatileDisk : public jet::IoFaultHook {
 public:
  // Everything in `dir` now counts as durable.
  explicit VolatileDisk(std::filesystem::path dir, size_t crash_at = SIZE_MAX);
  ~VolatileDisk() override;
  VolatileDisk(const VolatileDisk&) = delete;
  VolatileDisk& operator=(const VolatileDisk&) = delete;

  size_t BeforeWrite(const std::filesystem::path& path, uint64_t offset,
                     std::span<const uint8_t> data) override;
  bool BeforeOperation(const std::filesystem::path& path, jet::IoOperation op,
                       uint64_t size) override;

  // Each operation as "<what> <file name>" ("write x.mdb-journal", "flush x.mdb",
  // "flush directory"), in order, crashed ones included.
  const std::vector<std::string>& events() const { return events_; }
  size_t operations() const { return events_.size(); }
  bool crashed() const { return events_.size() > crash_at_; }

  // Rewrites the directory as the disk may hold it after a power cut now. Call with no
  // file of the directory open.
  void ApplyCrash(std::mt19937& rng);

 private:
  struct Change {
    enum class Kind { kWrite, kResize, kCreate } kind;
    uint64_t offset = 0;  // kWrite; kResize: the new size
    std::vector<uint8_t> data;
  };
  struct File {
    std::vector<uint8_t> durable;  // what the disk holds for sure
    std::vector<Change> pending;   // since the last flush
  };

  bool Crashing();
  std::set<std::string> NamesNow() const;

  std::filesystem::path dir_;
  size_t crash_at_;
  std::vector<std::string> events_;
  std::map<std::string, File> files_;    // by file name
  std::set<std::string> durable_names_;  // the names the directory holds for sure
};

}  // namespace crash_test

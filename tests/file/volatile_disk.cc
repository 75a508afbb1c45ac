#include "tests/file/volatile_disk.h"

#include <algorithm>

#include "tests/test_support.h"

namespace crash_test {

namespace fs = std::filesystem;
using testing_support::ReadBytes;
using testing_support::WriteBytes;

VolatileDisk::VolatileDisk(fs::path dir, size_t crash_at)
    : dir_(std::move(dir)), crash_at_(crash_at) {
  durable_names_ = NamesNow();
  for (const auto& name : durable_names_) files_[name].durable = ReadBytes(dir_ / name);
  jet::SetIoFaultHook(this);
}

VolatileDisk::~VolatileDisk() {
  jet::SetIoFaultHook(nullptr);
}

std::set<std::string> VolatileDisk::NamesNow() const {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir_)) {
    if (e.is_regular_file()) names.insert(e.path().filename().string());
  }
  return names;
}

bool VolatileDisk::Crashing() {
  return events_.size() > crash_at_;
}

size_t VolatileDisk::BeforeWrite(const fs::path& path, uint64_t offset,
                                 std::span<const uint8_t> data) {
  events_.push_back("write " + path.filename().string());
  if (Crashing()) return 0;
  Change c{Change::Kind::kWrite, offset, std::vector<uint8_t>(data.begin(), data.end())};
  files_[path.filename().string()].pending.push_back(std::move(c));
  return data.size();
}

bool VolatileDisk::BeforeOperation(const fs::path& path, jet::IoOperation op, uint64_t size) {
  const std::string name = path.filename().string();
  switch (op) {
    case jet::IoOperation::kCreate:
      events_.push_back("create " + name);
      break;
    case jet::IoOperation::kFlush:
      events_.push_back("flush " + name);
      break;
    case jet::IoOperation::kResize:
      events_.push_back("resize " + name);
      break;
    case jet::IoOperation::kRemove:
      events_.push_back("remove " + name);
      break;
    case jet::IoOperation::kFlushDirectory:
      events_.push_back("flush directory");
      break;
  }
  if (Crashing()) return false;
  switch (op) {
    case jet::IoOperation::kCreate:
      files_[name].pending.push_back({Change::Kind::kCreate, 0, {}});
      break;
    case jet::IoOperation::kResize:
      files_[name].pending.push_back({Change::Kind::kResize, size, {}});
      break;
    case jet::IoOperation::kFlush:
      // What is in the file now is what the flush makes durable.
      files_[name].durable = ReadBytes(path);
      files_[name].pending.clear();
      break;
    case jet::IoOperation::kFlushDirectory:
      // Called just before the flush, after the creations and removals it makes durable.
      durable_names_ = NamesNow();
      break;
    case jet::IoOperation::kRemove:
      break;  // durable only once the directory is flushed
  }
  return true;
}

void VolatileDisk::ApplyCrash(std::mt19937& rng) {
  std::set<std::string> names = NamesNow();
  names.insert(durable_names_.begin(), durable_names_.end());
  for (const auto& name : names) {
    const bool durable = durable_names_.count(name) > 0;
    const bool now = fs::exists(dir_ / name);
    // A creation or removal the directory was not flushed for may or may not have happened.
    const bool exists = durable == now ? now : rng() % 2 == 0;
    if (!exists) {
      fs::remove(dir_ / name);
      continue;
    }
    File& f = files_[name];
    std::vector<uint8_t> bytes = f.durable;
    for (const Change& c : f.pending) {
      const unsigned fate = rng() % 3;  // 0 lost, 1 kept, 2 kept in part
      if (fate == 0) continue;
      switch (c.kind) {
        case Change::Kind::kCreate:
          bytes.clear();
          break;
        case Change::Kind::kResize:
          bytes.resize(c.offset);
          break;
        case Change::Kind::kWrite: {
          size_t kept = c.data.size();
          if (fate == 2) kept = std::min(kept, (rng() % (kept / 512 + 1)) * size_t{512});
          if (kept == 0) break;
          if (bytes.size() < c.offset + kept) bytes.resize(c.offset + kept);
          std::copy(c.data.begin(), c.data.begin() + static_cast<std::ptrdiff_t>(kept),
                    bytes.begin() + static_cast<std::ptrdiff_t>(c.offset));
          break;
        }
      }
    }
    fs::remove(dir_ / name);
    WriteBytes(dir_ / name, bytes);
  }
}

}  // namespace crash_test

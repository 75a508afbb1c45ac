#include "tools/in_place.h"

#include <chrono>
#include <ctime>
#include <stdexcept>
#include <system_error>

#include "base/utf8_path.h"
#include "jet/file/journal.h"
#include "jet/file/os_file.h"
#include "jet/table/checker.h"
#include "jet/table/database.h"

namespace tools {
namespace {

namespace fs = std::filesystem;

std::string LocalTimeStamp() {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

// "dir/Custom.<label>.sys" for "dir/Custom.sys".
fs::path Beside(const fs::path& file, const std::string& label) {
  return file.parent_path() / base::PathFromUtf8(base::PathToUtf8(file.stem()) + "." + label +
                                                 base::PathToUtf8(file.extension()));
}

[[noreturn]] void Refuse(const fs::path& file, const std::string& why) {
  throw std::runtime_error("'" + base::PathToUtf8(file) + "'：" + why);
}

}  // namespace

InPlace PlanInPlace(const fs::path& file, const std::string& verb) {
  InPlace plan{file, Beside(file, verb + "中"), Beside(file, verb + "前备份-" + LocalTimeStamp())};
  std::error_code ec;
  for (const fs::path& taken : {plan.work, plan.backup, jet::JournalPathFor(plan.work)}) {
    if (fs::exists(taken, ec)) Refuse(taken, "这个文件已经存在，请先把它移走");
  }
  if (fs::exists(jet::JournalPathFor(file), ec)) {
    Refuse(file, "旁边有中断的修改留下的日志，请先运行 jetdb journal 处理它");
  }
  return plan;
}

void SwapInPlace(const InPlace& plan, const std::string& password, std::ostream& out) {
  std::error_code ec;
  try {
    {
      auto db = jet::Database::Open(plan.work, password);
      if (!jet::CheckDatabase(*db).ok()) Refuse(plan.work, "新文件检查出损坏，没有替换原文件");
    }
    // Taking the lock a writer takes proves no program has the file open (kInUse otherwise);
    // it is let go before the renames, which Windows refuses on an open file.
    { jet::OsFile held(plan.file, jet::OsFile::Access::kReadWrite, jet::OsFile::Lock::kExclusive); }
  } catch (...) {
    fs::remove(plan.work, ec);
    throw;
  }
  fs::rename(plan.file, plan.backup, ec);
  if (ec) {
    fs::remove(plan.work, ec);
    Refuse(plan.file, "无法改名为备份：" + ec.message());
  }
  fs::rename(plan.work, plan.file, ec);
  if (ec) {
    const std::string why = ec.message();
    fs::rename(plan.backup, plan.file, ec);
    fs::remove(plan.work, ec);
    Refuse(plan.file, "无法用新文件替换：" + why);
  }
  jet::SyncDirectoryOf(plan.file);
  out << "已用新文件替换 '" << base::PathToUtf8(plan.file) << "'；原文件原样保存为 '"
      << base::PathToUtf8(plan.backup) << "'\n";
}

}  // namespace tools

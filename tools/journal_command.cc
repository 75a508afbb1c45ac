#include "tools/journal_command.h"

#include <ctime>
#include <iostream>
#include <memory>

#include "base/utf8_path.h"
#include "jet/error.h"
#include "jet/file/journal.h"
#include "jet/file/os_file.h"
#include "jet/table/checker.h"
#include "jet/table/database.h"
#include "tools/jetdb_format.h"

namespace tools {
namespace {

std::string Utc(int64_t seconds) {
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
#ifdef _WIN32
  gmtime_s(&tm, &t);
#else
  gmtime_r(&t, &tm);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
  return std::string(text) + " (UTC)";
}

const char* Verdict(jet::JournalVerdict v) {
  using enum jet::JournalVerdict;
  switch (v) {
    case kNone:
      return "没有日志文件，无需处理";
    case kEmpty:
      return "日志是空的：上一次修改已经完成，删除它即可";
    case kUntouched:
      return "那次修改还没有写入数据库：数据库与修改前完全一致，删除日志即可";
    case kComplete:
      return "那次修改已经完整写入数据库，只是没来得及收尾：保留修改，删除日志即可";
    case kTorn:
      return "那次修改只写入了一部分，而且数据库此后没有被改动过：可以安全地撤销";
    case kNotOurs:
      return "这个文件不是本程序的日志";
    case kOlderVersion:
      return "这是旧版本的本程序留下的日志，无法核对";
    case kUnreadable:
      return "日志不完整或已损坏，说不清那次修改涉及哪些页";
    case kOtherDatabase:
      return "日志属于另一个数据库，不是这个文件的";
    case kFileChanged:
      return "数据库在那次修改被中断之后又被改动过（例如其他程序写入，或者用备份替换），"
             "撤销会毁掉这些改动";
    case kNoOriginals:
      return "那次修改只写入了一部分，但日志中撤销所需的原始数据不完整，无法撤销";
  }
  return "";
}

void Describe(const jet::JournalExamination& e, std::ostream& out) {
  out << "日志文件：" << base::PathToUtf8(e.journal_path) << " (" << e.bytes.size() << " 字节)\n";
  const jet::DecodedJournal& j = e.journal;
  if (j.state >= jet::JournalState::kPagesUnreadable) {
    out << "写给：" << j.header.database_name << "，写于 " << Utc(j.header.written_at) << "\n";
    out << "修改前 " << j.header.original_page_count << " 页，修改后 " << j.header.new_page_count
        << " 页";
    if (j.state >= jet::JournalState::kOriginalsUnreadable) {
      out << "，这次修改要写 " << j.pages.size() << " 页";
    }
    out << "\n";
  }
  if (j.state >= jet::JournalState::kOriginalsUnreadable &&
      e.verdict != jet::JournalVerdict::kOtherDatabase) {
    out << "数据库现在 " << e.file_size / 4096 << " 页；日志列出的页中，" << e.original_pages
        << " 页是修改前的内容，" << e.new_pages << " 页是修改后的内容，" << e.torn_pages
        << " 页两者各有一部分，" << e.absent_pages << " 页还不存在";
    if (e.first_changed_page) out << "；第 " << *e.first_changed_page << " 页两者都不是";
    out << "\n";
  }
  out << "结论：" << Verdict(e.verdict) << "\n";
}

int CheckAfterwards(const std::filesystem::path& database, const std::string& password,
                    std::ostream& out, std::ostream& err) {
  std::unique_ptr<jet::Database> db;
  try {
    db = jet::Database::Open(database, password);
  } catch (const jet::JetError& e) {
    err << "jetdb: " << e.what() << '\n';
    return 2;
  }
  jet::CheckReport report = jet::CheckDatabase(*db);
  out << FindingLines(report);
  if (report.ok()) {
    out << "检查数据库：" << CheckVerdict(report) << "（" << report.tables << " 个表，"
        << report.rows << " 条记录）\n";
    return 0;
  }
  out << "检查数据库：" << CheckVerdict(report)
      << "。请用 jetdb repair 修复（原文件会改名保留为备份），或者用 Access 的“压缩和修复"
         "数据库”修复，或者恢复备份\n";
  return 1;
}

}  // namespace

int SettleJournalCommand(const std::filesystem::path& database, const std::string& password,
                         bool discard, std::ostream& out, std::ostream& err) {
  if (!jet::JournalExists(database)) {
    out << "数据库 '" << base::PathToUtf8(database) << "' 旁边没有日志文件，无需处理\n";
    return CheckAfterwards(database, password, out, err);
  }
  jet::JournalExamination seen;
  std::unique_ptr<jet::OsFile> file;
  try {
    file = std::make_unique<jet::OsFile>(database, jet::OsFile::Access::kReadWrite,
                                         jet::OsFile::Lock::kExclusive);
    seen = jet::ExamineJournal(*file);
  } catch (const jet::JetError& e) {
    err << "jetdb: " << e.what() << '\n';
    return 2;
  }
  Describe(seen, out);
  try {
    if (seen.Settles()) {
      jet::SettleJournal(*file, seen);
      out << (seen.verdict == jet::JournalVerdict::kTorn ? "已撤销那次未完成的修改，并删除了日志\n"
                                                         : "已删除日志\n");
    } else if (seen.verdict == jet::JournalVerdict::kNotOurs) {
      out << "本程序不会删除或改动这个文件。请查明它的来历，把它移到别处后再打开数据库\n";
      return 1;
    } else if (!discard) {
      out << "没有改动任何文件。如果数据库现在的内容是您要的（例如刚恢复的备份），"
             "请加 --discard 再运行一次，删除这个日志并保留数据库现状；"
             "否则请先恢复修改前的备份\n";
      return 1;
    } else {
      jet::DiscardJournal(*file, seen);
      out << "已按要求删除日志，数据库保持现状\n";
    }
  } catch (const jet::JetError& e) {
    err << "jetdb: " << e.what() << '\n';
    return 1;
  }
  file.reset();
  return CheckAfterwards(database, password, out, err);
}

}  // namespace tools

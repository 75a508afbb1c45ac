#include "tests/upgrade/run_transcript.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "db/recordset.h"

namespace upgrade_test {

RunTranscript::RunTranscript(db::DbConnection& data, db::DbConnection& templ, db::Query& query1,
                             db::Query& query2, db::Query& query3)
    : data_(data),
      templ_(templ),
      queries_{{&query1, "ADOQuery1"}, {&query2, "ADOQuery2"}, {&query3, "ADOQuery3"}} {
  ObserveThrough(this);
}

RunTranscript::~RunTranscript() {
  ObserveThrough(nullptr);
}

void RunTranscript::ObserveThrough(db::ContractObserver* observer) {
  data_.SetObserver(observer);
  templ_.SetObserver(observer);
}

std::string RunTranscript::NameOf(const db::DbConnection& connection) const {
  if (&connection == &data_) return "ADOConnection1";
  if (&connection == &templ_) return "ADOConnection2";
  return "an unknown connection";
}

std::string RunTranscript::NameOf(const db::Query& query) const {
  for (const auto& [q, name] : queries_) {
    if (q == &query) return name;
  }
  return "an unknown query component";
}

// A row is added to the result a query component has open.
std::string RunTranscript::CursorOwner(const db::RowCursor& cursor) const {
  for (const auto& [query, name] : queries_) {
    if (query->Active() && &query->Rows() == &cursor) return name;
  }
  return "a result of no query component";
}

void RunTranscript::Before(const db::ContractCall& call) {
  const std::string connection = NameOf(call.connection);
  const std::string text(call.text);
  std::string line;
  switch (call.op) {
    case db::ContractOp::kListUserTables:
      line = connection + " ListUserTables";
      break;
    case db::ContractOp::kBeginTrans:
      line = connection + " BeginTrans";
      break;
    case db::ContractOp::kCommitTrans:
      line = connection + " CommitTrans";
      break;
    case db::ContractOp::kRollbackTrans:
      line = connection + " RollbackTrans";
      break;
    case db::ContractOp::kCheckIntegrity:
      line = connection + " CheckIntegrity: " + text;
      break;
    case db::ContractOp::kPrepareToWrite:
      line = connection + " PrepareToWrite";
      break;
    case db::ContractOp::kDescribeTables:
      line = connection + " DescribeTables: " + text;
      break;
    case db::ContractOp::kRunStatement:
    case db::ContractOp::kOpenRows:
    case db::ContractOp::kOpenColumns: {
      const char* what = call.op == db::ContractOp::kRunStatement ? "exec"
                         : call.op == db::ContractOp::kOpenRows   ? "open"
                                                                  : "open columns";
      line =
          (call.query ? NameOf(*call.query) + " on " : "") + connection + " " + what + ": " + text;
      break;
    }
    case db::ContractOp::kRunOnRecordset: {
      const db::Recordset& r = *call.recordset;
      line = "TemplateRecordset on " + connection + " (Pagesize " + std::to_string(r.Pagesize) +
             ", CursorType " + std::to_string(r.CursorType) + ", LockType " +
             std::to_string(r.LockType) + ") open: " + text;
      break;
    }
    case db::ContractOp::kAddRow: {
      line = CursorOwner(*call.cursor) + " on " + connection + " add row to " + text + ":";
      const char* separator = " ";
      for (const auto& [column, value] : *call.values) {
        line += separator + column + "=" + value;
        separator = " | ";
      }
      break;
    }
  }
  lines.push_back(line);
}

void ExpectTranscript(const std::vector<std::string>& recorded,
                      const std::vector<std::string>& expected) {
  if (recorded == expected) return;
  const size_t common = std::min(recorded.size(), expected.size());
  size_t at = 0;
  while (at < common && recorded[at] == expected[at]) ++at;
  std::ostringstream out;
  out << "the transcripts differ at line " << at + 1 << " (recorded " << recorded.size()
      << " lines, expected " << expected.size() << ")\n";
  const size_t from = at >= 3 ? at - 3 : 0;
  for (size_t i = from; i < at; ++i) out << "    same:     " << recorded[i] << "\n";
  for (size_t i = at; i < std::min(at + 4, expected.size()); ++i)
    out << "    expected: " << expected[i] << "\n";
  for (size_t i = at; i < std::min(at + 4, recorded.size()); ++i)
    out << "    recorded: " << recorded[i] << "\n";
  if (at < common) {
    // A long statement may differ by one blank far to the right: point at it.
    const std::string& e = expected[at];
    const std::string& r = recorded[at];
    size_t c = 0;
    while (c < e.size() && c < r.size() && e[c] == r[c]) ++c;
    const size_t from_char = c >= 20 ? c - 20 : 0;
    out << "  line " << at + 1 << " first differs at byte " << c + 1 << ": expected \""
        << e.substr(from_char, 40) << "\", recorded \"" << r.substr(from_char, 40) << "\"\n";
  }
  ADD_FAILURE() << out.str();
}

}  // namespace upgrade_test

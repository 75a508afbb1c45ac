// Cross-checks every user table of every fixture against two independent readers: the npm
// package mdb-reader (through tests/oracle/dump.mjs) for the values, and mdbtools'
// mdb-export for the row counts. Rows are compared as multisets: the engine reports rows in
// storage order, which differs from the others' where rows were moved to overflow pages.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "jet/format/value.h"
#include "jet/table/catalog.h"
#include "jet/table/database.h"
#include "jet/table/table.h"
#include "tests/fixture_expectations.h"
#include "tests/json_lite.h"
#include "tests/test_support.h"

namespace {

using testing_support::ShellQuote;

using jet::ValueKind;
using testing_support::Fixture;
using testing_support::FixturePassword;

bool HaveCommand(const char* name) {
  return testing_support::RunCommand(std::string("command -v ") + name + " >/dev/null 2>&1",
                                     nullptr) == 0;
}

std::filesystem::path OracleScript() {
  return std::filesystem::path(SOURCE_DIR) / "tests" / "oracle" / "dump.mjs";
}

// Starts every command at once (the oracle is a Node process with a noticeable start-up
// cost) and returns their outputs in order; -1 statuses are failed starts.
std::vector<std::pair<int, std::string>> RunAll(const std::vector<std::string>& commands) {
  constexpr size_t kAtOnce = 8;
  std::vector<std::pair<int, std::string>> results(commands.size());
  for (size_t first = 0; first < commands.size(); first += kAtOnce) {
    std::vector<FILE*> pipes;
    size_t last = std::min(commands.size(), first + kAtOnce);
    for (size_t i = first; i < last; ++i) pipes.push_back(popen(commands[i].c_str(), "r"));
    for (size_t i = first; i < last; ++i) {
      FILE* pipe = pipes[i - first];
      if (!pipe) {
        results[i].first = -1;
        continue;
      }
      char buf[65536];
      size_t n;
      while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) results[i].second.append(buf, n);
      int status = pclose(pipe);
      results[i].first = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
  }
  return results;
}

// "12.5000" and "12.5" are the same number; so are "-0.0000" and "0".
std::string NormalizeDecimal(std::string s) {
  if (s.find('.') != std::string::npos) {
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
  }
  if (s == "-0") s = "0";
  return s;
}

std::string Shortest(double d) {
  char buf[64];
  return std::string(buf, std::to_chars(buf, buf + sizeof buf, d).ptr);
}
std::string Shortest(float f) {
  char buf[64];
  return std::string(buf, std::to_chars(buf, buf + sizeof buf, f).ptr);
}

// Seconds since 1899-12-30 of mdb-reader's ISO date ("1996-07-04T00:00:00.000Z"), whose
// "Z" time is the stored wall-clock time.
bool ParseIsoSeconds(const std::string& s, double* seconds) {
  int y, mo, d, h, mi;
  double sec;
  if (std::sscanf(s.c_str(), "%d-%d-%dT%d:%d:%lfZ", &y, &mo, &d, &h, &mi, &sec) != 6) return false;
  double days = jet::OleDateFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d));
  *seconds = days * 86400 + h * 3600 + mi * 60 + sec;
  return true;
}

// One row in comparable form: every value as canonical text, except dates, which are kept
// as seconds and compared with a tolerance (mdb-reader keeps milliseconds; the engine rounds
// to the second).
struct Row {
  std::string key;            // the canonical text of all columns, dates as a placeholder
  std::vector<double> dates;  // seconds, in column order
  std::string shown;          // for failure messages
};

constexpr char kSeparator = '\x1F';

Row FromEngine(const jet::TableDefinition& def, const std::vector<jet::Value>& values) {
  Row row;
  for (size_t i = 0; i < values.size(); ++i) {
    const jet::Value& v = values[i];
    std::string text;
    switch (v.kind) {
      case ValueKind::kNull:
        text = "null";
        break;
      case ValueKind::kBoolean:
        text = v.integer ? "true" : "false";
        break;
      case ValueKind::kByte:
      case ValueKind::kInteger:
      case ValueKind::kLong:
        text = std::to_string(v.integer);
        break;
      case ValueKind::kCurrency:
      case ValueKind::kNumeric:
        text = NormalizeDecimal(jet::ValueToText(v));
        break;
      case ValueKind::kSingle:
        text = Shortest(static_cast<float>(v.real));
        break;
      case ValueKind::kDouble:
        text = Shortest(v.real);
        break;
      case ValueKind::kDateTime:
        // mdb-reader reads a negative day with a time linearly (-1.25 as 1899-12-28 18:00),
        // the engine as Access does (1899-12-29 06:00): those values cannot agree.
        if (v.real < 0 && v.real != std::trunc(v.real)) {
          text = "date-convention-differs";
        } else {
          text = "date";
          row.dates.push_back(v.real * 86400);
        }
        break;
      case ValueKind::kText:
        text = "\"" + v.text;
        break;
      case ValueKind::kBinary:
        text = "x" + jet::ValueToText(v);
        break;
      case ValueKind::kGuid: {
        std::string g = jet::ValueToText(v);
        text.clear();
        for (char c : g) {
          if (c != '{' && c != '}') text.push_back(static_cast<char>(std::tolower(c)));
        }
        break;
      }
    }
    row.key += text + kSeparator;
    row.shown += def.columns[i].name + "=" + jet::ValueToText(v) + " ";
  }
  return row;
}

// The same canonical form from one line of the oracle's output, using the engine's column
// types to interpret it.
Row FromOracle(const jet::TableDefinition& def, const json_lite::Value& json) {
  Row row;
  for (size_t i = 0; i < def.columns.size(); ++i) {
    const jet::ColumnDefinition& c = def.columns[i];
    const json_lite::Value* v = json.Find(c.name);
    std::string text;
    if (!v) {
      text = "missing";
    } else if (v->is_null()) {
      text = "null";
    } else {
      switch (c.type) {
        case jet::ColumnType::kBoolean:
          text = v->AsBool() ? "true" : "false";
          break;
        case jet::ColumnType::kByte:
        case jet::ColumnType::kInteger:
        case jet::ColumnType::kLong:
          text = std::to_string(v->AsInt());
          break;
        case jet::ColumnType::kCurrency:
        case jet::ColumnType::kNumeric:
          text = NormalizeDecimal(v->AsString());
          break;
        case jet::ColumnType::kSingle:
          text = Shortest(static_cast<float>(v->AsNumber()));
          break;
        case jet::ColumnType::kDouble:
          text = Shortest(v->AsNumber());
          break;
        case jet::ColumnType::kDateTime: {
          double seconds = 0;
          if (!ParseIsoSeconds(v->AsString(), &seconds)) {
            text = "bad-date:" + v->AsString();
          } else if (seconds < 0 && std::fmod(seconds, 86400) != 0) {
            text = "date-convention-differs";
          } else {
            text = "date";
            row.dates.push_back(seconds);
          }
          break;
        }
        case jet::ColumnType::kText:
        case jet::ColumnType::kMemo:
          text = "\"" + v->AsString();
          break;
        case jet::ColumnType::kBinary:
        case jet::ColumnType::kOle:
        case jet::ColumnType::kAccessObjectData:
          text = "x" + v->AsString();
          break;
        case jet::ColumnType::kGuid:
          for (char ch : v->AsString()) {
            if (ch != '{' && ch != '}') text.push_back(static_cast<char>(std::tolower(ch)));
          }
          break;
      }
    }
    row.key += text + kSeparator;
    row.shown += c.name + "=" + (v && v->is_string() ? v->AsString() : text) + " ";
  }
  return row;
}

// mdb-export's records (header first); quoted fields may hold line breaks.
size_t CountCsvRecords(const std::string& csv) {
  size_t records = 0;
  bool quoted = false, pending = false;
  for (char c : csv) {
    if (c == '"') quoted = !quoted;
    if (c == '\n' && !quoted) {
      ++records;
      pending = false;
    } else {
      pending = true;
    }
  }
  return records + (pending ? 1 : 0);
}

class OracleRead : public testing::TestWithParam<std::string> {};

TEST_P(OracleRead, ValuesMatchMdbReaderAndCountsMatchMdbExport) {
  SKIP_WITHOUT_FIXTURES();
  if (!HaveCommand("node")) GTEST_SKIP() << "node is not installed";
  if (!std::filesystem::is_directory(OracleScript().parent_path() / "node_modules" /
                                     "mdb-reader")) {
    GTEST_SKIP() << "tests/oracle/node_modules is missing (run npm ci in tests/oracle)";
  }
  const std::string file = Fixture(GetParam()).string();
  const std::string password = FixturePassword(GetParam());
  auto db = jet::Database::Open(file, password);
  std::vector<std::string> tables;
  for (const jet::CatalogEntry* e : db->catalog().OfKind(jet::ObjectKind::kUserTable)) {
    tables.push_back(e->name);
  }

  const std::string node = "node " + ShellQuote(OracleScript().string()) + " " + ShellQuote(file) +
                           (password.empty() ? "" : " --password " + ShellQuote(password));
  std::string oracle_tables;
  ASSERT_EQ(testing_support::RunCommand(node + " tables", &oracle_tables), 0);
  std::string ours;
  for (const auto& t : tables) ours += t + "\n";
  EXPECT_EQ(ours, oracle_tables);

  std::vector<std::string> commands;
  for (const auto& t : tables) commands.push_back(node + " rows " + ShellQuote(t));
  const bool have_mdb_export = HaveCommand("mdb-export");
  if (have_mdb_export) {
    for (const auto& t : tables) {
      commands.push_back("mdb-export -b strip " + ShellQuote(file) + " " + ShellQuote(t) +
                         " 2>/dev/null");
    }
  }
  auto outputs = RunAll(commands);

  for (size_t t = 0; t < tables.size(); ++t) {
    SCOPED_TRACE(tables[t]);
    jet::Table table = db->OpenTable(tables[t]);
    const jet::TableDefinition& def = table.definition();
    std::vector<Row> engine_rows;
    table.Scan([&](jet::RowPointer, const std::vector<jet::Value>& values) {
      engine_rows.push_back(FromEngine(def, values));
      return true;
    });

    const auto& [status, text] = outputs[t];
    ASSERT_EQ(status, 0) << "the oracle failed on " << tables[t];
    std::multimap<std::string, Row> oracle_rows;
    size_t lines = 0;
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      if (end > start) {
        Row r = FromOracle(def, json_lite::Parse(text.substr(start, end - start)));
        oracle_rows.emplace(r.key, std::move(r));
        ++lines;
      }
      start = end + 1;
    }
    EXPECT_EQ(engine_rows.size(), lines);

    int unmatched = 0;
    for (const Row& ours_row : engine_rows) {
      auto [lo, hi] = oracle_rows.equal_range(ours_row.key);
      auto match = hi;
      for (auto it = lo; it != hi; ++it) {
        bool close = it->second.dates.size() == ours_row.dates.size();
        for (size_t k = 0; close && k < ours_row.dates.size(); ++k) {
          close = std::fabs(it->second.dates[k] - ours_row.dates[k]) <= 1.0;
        }
        if (close) {
          match = it;
          break;
        }
      }
      if (match == hi) {
        if (++unmatched <= 3) ADD_FAILURE() << "engine row not in the oracle: " << ours_row.shown;
      } else {
        oracle_rows.erase(match);
      }
    }
    int left = 0;
    for (const auto& [key, r] : oracle_rows) {
      if (++left <= 3) ADD_FAILURE() << "oracle row not read by the engine: " << r.shown;
    }
    EXPECT_EQ(unmatched, 0);

    if (have_mdb_export) {
      const auto& [export_status, csv] = outputs[tables.size() + t];
      EXPECT_EQ(export_status, 0);
      size_t records = CountCsvRecords(csv);
      ASSERT_GE(records, 1u) << "mdb-export printed no header";
      EXPECT_EQ(engine_rows.size(), records - 1) << "mdb-export row count";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Jet4, OracleRead, testing::ValuesIn(testing_support::Jet4FixtureNames()),
                         [](const testing::TestParamInfo<std::string>& info) {
                           return testing_support::FixtureTestName(info.param);
                         });

}  // namespace

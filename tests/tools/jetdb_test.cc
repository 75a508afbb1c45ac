// The jetdb command-line tool, run as a separate process: exit statuses, where messages go,
// and the CSV and JSON-lines text support staff will feed to other programs.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "jet/format/page_size.h"
#include "jet/table/database.h"
#include "jet/table/table.h"
#include "tests/json_lite.h"
#include "tests/test_support.h"

namespace {

using testing_support::ShellQuote;

using testing_support::Fixture;
using testing_support::RunCommand;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs jetdb with `args` (each shell-quoted), capturing standard output and error apart.
Outcome Jetdb(const std::vector<std::string>& args) {
  testing_support::ScratchDir dir;
  std::string command = ShellQuote(JETDB_PATH);
  for (const auto& a : args) command += " " + ShellQuote(a);
  auto err_path = dir.path() / "stderr";
  Outcome r;
  r.status = RunCommand(command + " 2>" + ShellQuote(err_path.string()), &r.out);
  auto err = testing_support::ReadBytes(err_path);
  r.err.assign(err.begin(), err.end());
  return r;
}

std::string FixturePath(const std::string& name) {
  return Fixture(name).string();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// RFC 4180 records. A field remembers whether it was quoted, which is how jetdb tells empty
// text ("") from NULL (nothing).
struct Field {
  std::string text;
  bool quoted = false;
  bool operator==(const Field&) const = default;
};
using Record = std::vector<Field>;

std::vector<Record> ParseCsv(const std::string& s) {
  std::vector<Record> records;
  Record record;
  Field field;
  size_t i = 0;
  bool at_field_start = true;
  while (i < s.size()) {
    char c = s[i];
    if (at_field_start && c == '"') {
      field.quoted = true;
      ++i;
      for (;;) {
        if (i >= s.size()) throw std::runtime_error("unterminated quoted field");
        if (s[i] == '"') {
          if (i + 1 < s.size() && s[i + 1] == '"') {
            field.text.push_back('"');
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        field.text.push_back(s[i++]);
      }
      at_field_start = false;
      continue;
    }
    if (c == ',') {
      record.push_back(std::move(field));
      field = Field{};
      at_field_start = true;
      ++i;
    } else if (c == '\r' && i + 1 < s.size() && s[i + 1] == '\n') {
      record.push_back(std::move(field));
      records.push_back(std::move(record));
      field = Field{};
      record.clear();
      at_field_start = true;
      i += 2;
    } else {
      if (field.quoted || c == '"' || c == '\n' || c == '\r') {
        throw std::runtime_error("stray character at byte " + std::to_string(i));
      }
      field.text.push_back(c);
      at_field_start = false;
      ++i;
    }
  }
  if (!at_field_start || !record.empty()) throw std::runtime_error("last record not ended by CRLF");
  return records;
}

// The words of jetdb's own that are not Chinese: its name, commands and options, and the
// formats it names.
const std::set<std::string> kNames = {
    "jetdb",  "tables", "schema", "count", "export",     "check", "sql",     "create",  "journal",
    "format", "csv",    "jsonl",  "sort",  "order",      "LCID",  "discard", "p",       "password",
    "h",      "help",   "CSV",    "NULL",  "frobnicate", "bogus", "xml",     "compact", "repair"};

std::vector<std::string> ForeignWords(const std::string& text) {
  std::vector<std::string> out;
  for (const std::string& w : testing_support::ForeignWords(text)) {
    if (!kNames.count(w)) out.push_back(w);
  }
  return out;
}

TEST(Jetdb, HelpAndUsageErrorsInChinese) {
  Outcome help = Jetdb({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("用法：jetdb"), std::string::npos);
  EXPECT_EQ(ForeignWords(help.out), std::vector<std::string>{}) << help.out;
  EXPECT_TRUE(help.err.empty());

  for (const auto& args :
       std::vector<std::vector<std::string>>{{},
                                             {"frobnicate", "x.mdb"},
                                             {"tables"},
                                             {"count", "x.mdb"},
                                             {"tables", "x", "--bogus"},
                                             {"export", "x.mdb", "t", "--format", "xml"},
                                             {"tables", "x.mdb", "-p"},
                                             {"create", "x.mdb", "--sort-order", "chinese"}}) {
    Outcome r = Jetdb(args);
    EXPECT_EQ(r.status, 2) << testing::PrintToString(args);
    EXPECT_NE(r.err.find("用法：jetdb"), std::string::npos) << testing::PrintToString(args);
    EXPECT_EQ(ForeignWords(r.err), std::vector<std::string>{}) << r.err;
    EXPECT_TRUE(r.out.empty());
  }
}

TEST(Jetdb, TablesAndCount) {
  SKIP_WITHOUT_FIXTURES();
  Outcome tables = Jetdb({"tables", FixturePath("northwind2000.mdb")});
  EXPECT_EQ(tables.status, 0) << tables.err;
  EXPECT_EQ(Lines(tables.out),
            (std::vector<std::string>{"Categories", "Customers", "Employees", "Order Details",
                                      "Orders", "Products", "Shippers", "Suppliers"}));
  Outcome count = Jetdb({"count", FixturePath("northwind2000.mdb"), "Order Details"});
  EXPECT_EQ(count.status, 0) << count.err;
  EXPECT_EQ(count.out, "2155\n");
  // The scan's count, not the stale stored one (274).
  EXPECT_EQ(Jetdb({"count", FixturePath("jackcess_indexcodes2000.mdb"), "Table1"}).out, "275\n");
  Outcome missing = Jetdb({"count", FixturePath("northwind2000.mdb"), "No Such Table"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("No Such Table"), std::string::npos) << missing.err;
}

TEST(Jetdb, ExportCsvQuotesOnlyWhatNeedsIt) {
  SKIP_WITHOUT_FIXTURES();
  Outcome r = Jetdb({"export", FixturePath("northwind2000.mdb"), "Customers"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<Record> records = ParseCsv(r.out);
  ASSERT_EQ(records.size(), 92u);  // header + 91 rows
  std::vector<std::string> header;
  for (const Field& f : records[0]) header.push_back(f.text);
  EXPECT_EQ(header, (std::vector<std::string>{"CustomerID", "CompanyName", "ContactName",
                                              "ContactTitle", "Address", "City", "Region",
                                              "PostalCode", "Country", "Phone", "Fax"}));
  for (const Record& rec : records) ASSERT_EQ(rec.size(), 11u);
  // A comma forces quotes; a plain value has none; a NULL Region is an empty bare field.
  EXPECT_NE(r.out.find("BLONP,Blondel père et fils,Frédérique Citeaux,Marketing Manager,"
                       "\"24, place Kléber\",Strasbourg,,67000,"),
            std::string::npos);
  for (const Record& rec : records) {
    if (rec[0].text != "BLONP") continue;
    EXPECT_EQ(rec[4], (Field{"24, place Kléber", true}));
    EXPECT_EQ(rec[5], (Field{"Strasbourg", false}));
    EXPECT_EQ(rec[6], (Field{"", false}));
  }
}

TEST(Jetdb, ExportCsvEscapesQuotesAndLineBreaks) {
  SKIP_WITHOUT_FIXTURES();
  // Employees.Notes holds quoted course titles.
  Outcome employees = Jetdb({"export", FixturePath("northwind2000.mdb"), "Employees"});
  ASSERT_EQ(employees.status, 0) << employees.err;
  EXPECT_NE(employees.out.find("completed \"\"The Art of the Cold Call.\"\""), std::string::npos);
  std::vector<Record> records = ParseCsv(employees.out);
  ASSERT_EQ(records.size(), 10u);
  bool found = false;
  for (const Record& rec : records) {
    for (const Field& f : rec) {
      if (f.text.find("\"The Art of the Cold Call.\"") != std::string::npos) {
        found = true;
        EXPECT_TRUE(f.quoted);
      }
    }
  }
  EXPECT_TRUE(found);

  // DateTest row 6: a memo with a real line break; row 5: the literal characters \r\n.
  Outcome dates = Jetdb({"export", FixturePath("mdbtools_datetest.mdb"), "DateTest"});
  ASSERT_EQ(dates.status, 0) << dates.err;
  records = ParseCsv(dates.out);
  ASSERT_EQ(records.size(), 7u);
  EXPECT_EQ(records[6][4].text.find_first_of("\r\n") != std::string::npos, true);
  EXPECT_TRUE(records[6][4].quoted);
  EXPECT_EQ(records[6][4].text, "New line\r\nin field");
  EXPECT_EQ(records[5][4], (Field{"Escaped new line \\r\\n in field", false}));
  EXPECT_EQ(records[4][1].text, "0632-01-01T00:00:00");
}

TEST(Jetdb, ExportCsvTellsNullFromEmptyText) {
  SKIP_WITHOUT_FIXTURES();
  Outcome r = Jetdb({"export", FixturePath("linq2db_testdata.mdb"), "LinqDataTypes"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<Record> records = ParseCsv(r.out);
  ASSERT_GE(records.size(), 3u);
  ASSERT_EQ(records[0].back().text, "StringValue");
  EXPECT_EQ(records[1].back(), (Field{"", false}));  // NULL
  EXPECT_EQ(records[2].back(), (Field{"", true}));   // empty text
  EXPECT_NE(r.out.find(",1,\r\n2,2.4900,"), std::string::npos);
}

TEST(Jetdb, ExportJsonLinesParseWithTypedValues) {
  SKIP_WITHOUT_FIXTURES();
  Outcome r =
      Jetdb({"export", FixturePath("linq2db_testdata.mdb"), "LinqDataTypes", "--format", "jsonl"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 12u);
  for (const auto& line : lines) {
    json_lite::Value row = json_lite::Parse(line);
    ASSERT_TRUE(row.is_object()) << line;
    EXPECT_EQ(row.AsObject().size(), 11u);
    EXPECT_TRUE(row["ID"].is_number());
    EXPECT_TRUE(row["BoolValue"].is_bool());
    EXPECT_TRUE(row["MoneyValue"].is_null() || row["MoneyValue"].is_string());
  }
  json_lite::Value second = json_lite::Parse(lines[1]);
  EXPECT_EQ(second["MoneyValue"].AsString(), "2.4900");
  EXPECT_EQ(second["GuidValue"].AsString(), "{BC663A61-7B40-4681-AC38-F9AAF55B706B}");
  EXPECT_EQ(second["BinaryValue"].AsString(), "0504030201");
  EXPECT_EQ(second["StringValue"].AsString(), "");
  EXPECT_TRUE(json_lite::Parse(lines[0])["StringValue"].is_null());

  // Control characters and every one-byte character survive the JSON escaping.
  Outcome unicode =
      Jetdb({"export", FixturePath("jackcess_unicodecomp2003.mdb"), "Table", "--format=jsonl"});
  ASSERT_EQ(unicode.status, 0) << unicode.err;
  std::string all;
  for (const auto& line : Lines(unicode.out)) {
    json_lite::Value row = json_lite::Parse(line);
    if (row["ID"].AsInt() == 8) all = row["Unicode"].AsString();
  }
  std::string expected;
  for (int c = 1; c < 0x80; ++c) expected.push_back(static_cast<char>(c));
  for (int c = 0x80; c < 0x100; ++c) {
    expected.push_back(static_cast<char>(0xC0 | (c >> 6)));
    expected.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
  EXPECT_EQ(all, expected);
}

// Exit 1 only for damage. What Access itself leaves in files, a row count that differs from
// the rows, pages neither used nor free, is a note, with exit 0. All of it in Chinese.
TEST(Jetdb, CheckExitStatuses) {
  SKIP_WITHOUT_FIXTURES();
  Outcome ok = Jetdb({"check", FixturePath("northwind2000.mdb")});
  EXPECT_EQ(ok.status, 0) << ok.out << ok.err;
  EXPECT_NE(ok.out.find("：没有发现损坏\n"), std::string::npos) << ok.out;
  EXPECT_EQ(ForeignWords(ok.out), std::vector<std::string>{}) << ok.out;

  Outcome counts = Jetdb({"check", FixturePath("jackcess_querytest2000.mdb")});
  EXPECT_EQ(counts.status, 0) << counts.out;
  EXPECT_NE(counts.out.find("注意：表 'MSysQueries'：表定义记有 82 条记录，实际有 90 条"),
            std::string::npos)
      << counts.out;
  EXPECT_NE(counts.out.find("：没有发现损坏\n"), std::string::npos) << counts.out;

  Outcome leaked = Jetdb({"check", FixturePath("mdbtools_datetest.mdb")});
  EXPECT_EQ(leaked.status, 0) << leaked.out;
  EXPECT_NE(leaked.out.find("注意：11 页既没有使用，也没有标为空闲"), std::string::npos)
      << leaked.out;
  EXPECT_NE(leaked.out.find("共 67 页：使用中 56 页，空闲 0 页，既未使用也不空闲 11 页"),
            std::string::npos)
      << leaked.out;

  // A page of Shippers' rows zeroed.
  testing_support::ScratchDir dir;
  const std::filesystem::path damaged = dir.Copy(Fixture("northwind2000.mdb"));
  uint32_t page = 0;
  {
    auto db = jet::Database::Open(damaged, "");
    page = db->OpenTable("Shippers").OwnedPages().at(0);
  }
  std::vector<uint8_t> bytes = testing_support::ReadBytes(damaged);
  std::fill_n(bytes.begin() + size_t{page} * jet::kPageSize, jet::kPageSize, 0);
  testing_support::WriteBytes(damaged, bytes);
  Outcome broken = Jetdb({"check", damaged.string()});
  EXPECT_EQ(broken.status, 1) << broken.out;
  EXPECT_NE(broken.out.find("损坏：表 'Shippers'：第 " + std::to_string(page) + " 页"),
            std::string::npos)
      << broken.out;
  EXPECT_NE(broken.out.find("：发现 1 处损坏\n"), std::string::npos) << broken.out;
  EXPECT_EQ(ForeignWords(broken.out), std::vector<std::string>{}) << broken.out;

  Outcome missing = Jetdb({"check", FixturePath("no_such_file.mdb")});
  EXPECT_EQ(missing.status, 2);
  EXPECT_FALSE(missing.err.empty());

  Outcome wrong = Jetdb({"check", FixturePath("mdbreader_password2000.mdb"), "-p", "wrong"});
  EXPECT_EQ(wrong.status, 2);
  EXPECT_NE(wrong.err.find("不是有效的密码"), std::string::npos) << wrong.err;

  Outcome right = Jetdb({"check", FixturePath("mdbreader_password2000.mdb"), "-p", "password"});
  EXPECT_EQ(right.status, 0) << right.out << right.err;
}

TEST(Jetdb, WrongPasswordFailsWithAMessageOnStandardError) {
  SKIP_WITHOUT_FIXTURES();
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"tables", FixturePath("mdbreader_password2003.mdb")},
        std::vector<std::string>{"export", FixturePath("mdbreader_password2003.mdb"), "Table1",
                                 "--password", "nope"}}) {
    Outcome r = Jetdb(args);
    EXPECT_NE(r.status, 0);
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_NE(r.err.find("不是有效的密码"), std::string::npos) << r.err;
  }
  Outcome right = Jetdb({"export", FixturePath("mdbreader_password2003.mdb"), "Table1",
                         "--password=password", "--format", "jsonl"});
  EXPECT_EQ(right.status, 0) << right.err;
  EXPECT_EQ(Lines(right.out).size(), 3u);
}

}  // namespace

// Write round trip: a table with every common column type is created, filled, thinned out,
// widened with new columns and filled again, on a new database and on copies of writable
// fixtures (passwords, an RC4-encoded file, a Chinese sort-order file). The engine must read
// back exactly the rows a model kept in the test says survive, the checker must find nothing,
// and two independent readers (mdbtools and the npm reader mdb-reader) must see the same.
// Also: the rule that text under sort order 2052 cannot be indexed unless it is ASCII.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "jet/error.h"
#include "jet/file/journal.h"
#include "jet/format/value.h"
#include "jet/table/database.h"
#include "jet/table/database_creator.h"
#include "jet/table/schema_change.h"
#include "jet/table/table.h"
#include "jet/table/table_writer.h"
#include "tests/json_lite.h"
#include "tests/table/write_test_helpers.h"
#include "tests/test_support.h"

namespace {

using jet::ColumnType;
using jet::Database;
using jet::ErrorKind;
using jet::JetError;
using jet::NewColumn;
using jet::NewIndex;
using jet::Pager;
using jet::Transaction;
using jet::Value;
using jet::ValueKind;
using testing_support::Fixture;
using testing_support::ReadBytes;
using testing_support::RunCommand;
using testing_support::ScratchDir;
using namespace write_test;

constexpr char kTable[] = "WriteTrip";

// Column names in creation order; the last two are added by AddColumn.
const std::vector<std::string> kColumns = {"ID",    "Num",  "Name",  "Code",     "Amount",
                                           "Notes", "Blob", "Stamp", "Ratio",    "Small",
                                           "Tiny",  "Flag", "Extra", "ExtraMemo"};
constexpr size_t kId = 0, kNum = 1, kName = 2, kCode = 3, kAmount = 4, kNotes = 5, kBlob = 6,
                 kStamp = 7, kRatio = 8, kSmall = 9, kTiny = 10, kFlag = 11, kExtra = 12,
                 kExtraMemo = 13;
constexpr size_t kCodeLength = 10;

std::vector<NewColumn> TableColumns() {
  auto col = [](const char* name, ColumnType type, uint16_t length = 0) {
    NewColumn c;
    c.name = name;
    c.type = type;
    c.length = length;
    return c;
  };
  std::vector<NewColumn> cols = {
      col("ID", ColumnType::kLong),         col("Num", ColumnType::kLong),
      col("Name", ColumnType::kText, 50),   col("Code", ColumnType::kText, kCodeLength),
      col("Amount", ColumnType::kCurrency), col("Notes", ColumnType::kMemo),
      col("Blob", ColumnType::kOle),        col("Stamp", ColumnType::kDateTime),
      col("Ratio", ColumnType::kDouble),    col("Small", ColumnType::kInteger),
      col("Tiny", ColumnType::kByte),       col("Flag", ColumnType::kBoolean)};
  cols[0].autonumber = true;
  cols[3].fixed_length = true;
  return cols;
}

std::vector<NewIndex> TableIndexes() {
  return {NewIndex{"PrimaryKey", {{"ID", true}}, true, true, false},
          NewIndex{"NameIdx", {{"Name", true}}, false, false, false}};
}

// Fixed-length text reads back padded with spaces to its full length.
std::string PadCode(const std::string& text) {
  size_t units = 0;
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    i += c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    units += c >= 0xF0 ? 2 : 1;
  }
  return text + std::string(units < kCodeLength ? kCodeLength - units : 0, ' ');
}

// OLE sizes around the storage boundaries: inline (<= 64 bytes), one LVAL row (<= 4076),
// a chain of rows.
const size_t kBlobSizes[] = {1, 63, 64, 65, 500, 4075, 4076, 4077, 8200, 20000};

// One generated row, in kColumns order (the two added columns included), as the reader
// must return it. `stored` is what is handed to the writer for the same row.
struct GeneratedRow {
  std::vector<Value> stored;    // kColumns order
  std::vector<Value> expected;  // kColumns order
};

GeneratedRow MakeRow(uint32_t seq, bool chinese_keys, bool with_extra) {
  std::mt19937 rng(seq * 2654435761u + 17);
  std::vector<Value> v(kColumns.size());
  v[kId] = Null();
  if (seq % 7 != 0) {
    int32_t n = static_cast<int32_t>(rng());
    if (seq % 101 == 3) n = INT32_MIN;
    if (seq % 101 == 4) n = INT32_MAX;
    v[kNum] = Long(n);
  }
  if (seq % 11 == 5) {
    v[kName] = Null();
  } else if (seq % 13 == 6) {
    v[kName] = Text("");
  } else if (chinese_keys && seq % 3 == 0) {
    v[kName] = Text(ChineseText(rng, 1 + rng() % 20) + (seq % 2 ? AsciiText(rng, rng() % 10) : ""));
  } else if (seq % 17 == 1) {
    v[kName] = Text(AsciiText(rng, 50));  // full length
  } else {
    v[kName] = Text(AsciiText(rng, 1 + rng() % 30));
  }
  if (seq % 5 != 2) {
    v[kCode] = Text(seq % 2 ? ChineseText(rng, 1 + rng() % kCodeLength)
                            : AsciiText(rng, 1 + rng() % kCodeLength));
  }
  if (seq % 8 != 1) {
    int64_t amount = static_cast<int64_t>(rng() % 2000000000) * 1000 - 1000000000000;
    if (seq % 97 == 2) amount = 0;
    v[kAmount] = Currency(amount);
  }
  // Memo: mostly short (inline), some medium (one LVAL row), some over 8 KB (a chain).
  if (seq % 9 == 4) {
    v[kNotes] = Null();
  } else if (seq % 50 == 7) {
    v[kNotes] = Text(ChineseText(rng, 4500 + rng() % 2000));  // 9-13 KB of UTF-16
  } else if (seq % 50 == 32) {
    v[kNotes] = Text("line one, \"quoted\"\nline two " + AsciiText(rng, 9000 + rng() % 4000));
  } else if (seq % 10 == 3) {
    v[kNotes] = Text(AsciiText(rng, 100 + rng() % 1500));
  } else if (seq % 10 == 6) {
    v[kNotes] = Text("中文备注：" + ChineseText(rng, 1 + rng() % 200));
  } else {
    v[kNotes] = Text(AsciiText(rng, rng() % 30));
  }
  if (seq % 6 != 0) {
    // Every size early on, then the large ones on a few rows only, to keep the file small.
    size_t size = kBlobSizes[(seq / 6) % std::size(kBlobSizes)];
    if (seq > 600 && size > 500 && seq % 10 != 1) size = 1 + seq % 100;
    v[kBlob] = Binary(RandomBytes(rng, size));
  }
  if (seq % 12 != 11) {
    double days = 30000 + rng() % 20000;  // 1982..2036, whole seconds
    v[kStamp] = Date(days + static_cast<double>(rng() % 86400) / 86400.0);
  }
  if (seq % 14 != 13) {
    double r = (static_cast<double>(rng()) - 2147483648.0) / 3.0;
    if (seq % 113 == 5) r = 0.0;
    if (seq % 113 == 6) r = 1e300;
    if (seq % 113 == 7) r = -1.5e-300;
    v[kRatio] = Double(r);
  }
  if (seq % 15 != 14) {
    int16_t s = static_cast<int16_t>(rng());
    if (seq % 89 == 1) s = INT16_MIN;
    v[kSmall] = Integer(s);
  }
  if (seq % 16 != 15) v[kTiny] = Byte(static_cast<uint8_t>(seq % 256));
  v[kFlag] = seq % 19 == 0 ? Null() : Bool(rng() % 2);
  if (with_extra) {
    if (seq % 4 != 0)
      v[kExtra] = Text(seq % 2 ? ChineseText(rng, 1 + rng() % 40) : AsciiText(rng, 40));
    if (seq % 5 == 0) {
      v[kExtraMemo] = Text(ChineseText(rng, 5000));
    } else if (seq % 5 != 1) {
      v[kExtraMemo] = Text(AsciiText(rng, rng() % 200));
    }
  }

  GeneratedRow row;
  row.stored = v;
  row.expected = v;
  if (!v[kCode].IsNull()) row.expected[kCode].text = PadCode(v[kCode].text);
  if (v[kFlag].IsNull()) row.expected[kFlag] = Bool(false);  // Boolean fields are never NULL
  return row;
}

// The model: the rows that must be in the table, by ID, in kColumns order.
using Model = std::map<int32_t, std::vector<Value>>;

// Inserts rows with the writer, in kColumns order mapped onto the definition's columns.
// Returns the IDs the rows got.
std::vector<int32_t> InsertRows(Database& db, const std::vector<std::vector<Value>>& rows) {
  Transaction t(db);
  jet::TableWriter w(db, DefinitionPageOf(db, kTable), kTable);
  const auto& def = w.definition();
  std::vector<size_t> slot;
  for (const auto& c : def.columns) {
    size_t k = std::find(kColumns.begin(), kColumns.end(), c.name) - kColumns.begin();
    EXPECT_LT(k, kColumns.size()) << c.name;
    slot.push_back(k);
  }
  const size_t id_column = ColumnIndex(def, "ID");
  std::vector<int32_t> ids;
  for (const auto& row : rows) {
    std::vector<Value> values(def.columns.size());
    for (size_t i = 0; i < values.size(); ++i) values[i] = row[slot[i]];
    jet::RowPointer where = w.Insert(values);
    ids.push_back(static_cast<int32_t>(
        jet::Table(db, DefinitionPageOf(db, kTable), kTable).ReadRow(where)[id_column].integer));
  }
  w.Finish();
  t.Commit();
  return ids;
}

// Compares the table with the model: same IDs, same values in every column.
void ExpectTableMatches(Database& db, const Model& model) {
  jet::Table table = db.OpenTable(kTable);
  const auto& def = table.definition();
  // Before AddColumn the last two columns do not exist yet; the model has them NULL.
  std::vector<std::optional<size_t>> at;
  for (const auto& name : kColumns) {
    at.emplace_back();
    for (size_t i = 0; i < def.columns.size(); ++i) {
      if (def.columns[i].name == name) at.back() = i;
    }
  }
  ASSERT_TRUE(at[kFlag].has_value());
  ASSERT_EQ(def.columns.size(), at[kExtra] ? kColumns.size() : kColumns.size() - 2);
  auto rows = ReadById(db, kTable, "ID");
  ASSERT_EQ(rows.size(), model.size());
  size_t mismatches = 0;
  for (const auto& [id, expected] : model) {
    auto it = rows.find(id);
    if (it == rows.end()) {
      ADD_FAILURE() << "row " << id << " is missing";
      if (++mismatches > 10) return;
      continue;
    }
    for (size_t k = 0; k < kColumns.size(); ++k) {
      const Value got = at[k] ? it->second.values[*at[k]] : Null();
      if (!SameValue(got, expected[k])) {
        ADD_FAILURE() << "row " << id << " column " << kColumns[k] << ": got " << Show(got)
                      << ", expected " << Show(expected[k]);
        if (++mismatches > 10) return;
      }
    }
  }
}

struct Scenario {
  std::string name;     // test name
  std::string fixture;  // "" for a database made by CreateDatabase
  std::string password;
  jet::SortOrder sort_order = jet::kGeneralSortOrder;  // new databases only
  bool general = true;  // General sort order: Chinese text may go in the indexed column
  int rows = 300;
  int extra_rows = 100;
};

void PrintTo(const Scenario& s, std::ostream* os) {
  *os << s.name;
}

struct Built {
  bool ok = false;
  std::filesystem::path path;
  Model model;
};

// Builds the scenario's file once per test program; the engine and the oracle tests share it.
class RoundTrip : public testing::TestWithParam<Scenario> {
 protected:
  static ScratchDir& Dir() {
    static ScratchDir dir;  // removed at exit
    return dir;
  }

  static const Built& Build(const Scenario& s) {
    static std::map<std::string, std::unique_ptr<Built>> cache;
    auto& slot = cache[s.name];
    if (slot) return *slot;
    slot = std::make_unique<Built>();
    Built& b = *slot;
    std::filesystem::path dir = Dir().path() / s.name;
    std::filesystem::create_directories(dir);
    if (s.fixture.empty()) {
      b.path = dir / "new.mdb";
      jet::CreateDatabase(b.path, s.password, s.sort_order);
    } else {
      b.path = dir / s.fixture;
      std::filesystem::copy_file(Fixture(s.fixture), b.path);
      std::filesystem::permissions(b.path, std::filesystem::perms::owner_write,
                                   std::filesystem::perm_options::add);
    }
    Model& model = b.model;
    uint32_t seq = 1;
    {
      auto db = Database::Open(b.path, s.password, Pager::Mode::kReadWrite);
      {
        Transaction t(*db);
        jet::CreateTable(*db, kTable, TableColumns(), TableIndexes());
        t.Commit();
      }
      // First fill: autonumbers 1..rows on a new table.
      std::vector<std::vector<Value>> batch;
      std::vector<std::vector<Value>> expected;
      for (int i = 0; i < s.rows; ++i, ++seq) {
        GeneratedRow r = MakeRow(seq, s.general, false);
        batch.push_back(r.stored);
        expected.push_back(r.expected);
      }
      std::vector<int32_t> ids = InsertRows(*db, batch);
      for (size_t i = 0; i < ids.size(); ++i) {
        EXPECT_EQ(ids[i], static_cast<int32_t>(i + 1)) << "autonumber of row " << i;
        expected[i][kId] = Long(ids[i]);
        model[ids[i]] = expected[i];
      }
      ExpectTableMatches(*db, model);

      // Delete a third, the highest ID among them: the counter must not go back.
      {
        auto stored = ReadById(*db, kTable, "ID");
        Transaction t(*db);
        jet::TableWriter w(*db, DefinitionPageOf(*db, kTable), kTable);
        for (const auto& [id, row] : stored) {
          if (id % 3 == 0 || id == s.rows) {
            w.Delete(row.where);
            model.erase(id);
          }
        }
        w.Finish();
        t.Commit();
      }
      ExpectTableMatches(*db, model);
      EXPECT_TRUE(IsClean(*db)) << "after the delete";

      {
        Transaction t(*db);
        NewColumn extra;
        extra.name = "Extra";
        extra.type = ColumnType::kText;
        extra.length = 40;
        jet::AddColumn(*db, kTable, extra);
        NewColumn memo;
        memo.name = "ExtraMemo";
        memo.type = ColumnType::kMemo;
        jet::AddColumn(*db, kTable, memo);
        t.Commit();
      }
      // Old rows read the new columns as NULL (the model has them NULL already).
      ExpectTableMatches(*db, model);
    }

    // Reopen before the second fill: the widened definition must have been stored.
    {
      auto db = Database::Open(b.path, s.password, Pager::Mode::kReadWrite);
      std::vector<std::vector<Value>> batch;
      std::vector<std::vector<Value>> expected;
      for (int i = 0; i < s.extra_rows; ++i, ++seq) {
        GeneratedRow r = MakeRow(seq, s.general, true);
        batch.push_back(r.stored);
        expected.push_back(r.expected);
      }
      // An explicit ID in a gap a delete left, then one above everything: the counter follows
      // the highest, never the gap.
      GeneratedRow gap = MakeRow(seq++, s.general, true);
      gap.stored[kId] = Long(3);
      batch.push_back(gap.stored);
      expected.push_back(gap.expected);
      GeneratedRow high = MakeRow(seq++, s.general, true);
      const int32_t high_id = s.rows + s.extra_rows + 1000;
      high.stored[kId] = Long(high_id);
      batch.push_back(high.stored);
      expected.push_back(high.expected);
      GeneratedRow after = MakeRow(seq++, s.general, true);
      batch.push_back(after.stored);
      expected.push_back(after.expected);

      std::vector<int32_t> ids = InsertRows(*db, batch);
      for (int i = 0; i < s.extra_rows; ++i) {
        EXPECT_EQ(ids[i], s.rows + 1 + i) << "autonumber after the deleted maximum";
      }
      EXPECT_EQ(ids[s.extra_rows], 3);
      EXPECT_EQ(ids[s.extra_rows + 1], high_id);
      EXPECT_EQ(ids[s.extra_rows + 2], high_id + 1);
      for (size_t i = 0; i < ids.size(); ++i) {
        expected[i][kId] = Long(ids[i]);
        model[ids[i]] = expected[i];
      }
      // Deletes that mix rows written before AddColumn (shorter rows) with rows written
      // after it, their long values included.
      auto stored = ReadById(*db, kTable, "ID");
      Transaction t(*db);
      jet::TableWriter w(*db, DefinitionPageOf(*db, kTable), kTable);
      for (const auto& [id, row] : stored) {
        if (id % 5 == 1 && id < high_id) {
          w.Delete(row.where);
          model.erase(id);
        }
      }
      w.Finish();
      t.Commit();
    }
    b.ok = !testing::Test::HasFailure();
    return b;
  }
};

TEST_P(RoundTrip, EngineReadsBackTheModel) {
  const Scenario& s = GetParam();
  if (!s.fixture.empty()) SKIP_WITHOUT_FIXTURES();
  const Built& b = Build(s);
  ASSERT_TRUE(b.ok) << "building the file failed";
  for (Pager::Mode mode : {Pager::Mode::kReadOnly, Pager::Mode::kReadWrite}) {
    auto db = Database::Open(b.path, s.password, mode);
    ExpectTableMatches(*db, b.model);
    EXPECT_TRUE(IsClean(*db));
    const auto& def = db->OpenTable(kTable).definition();
    EXPECT_EQ(def.row_count, b.model.size());
    EXPECT_EQ(static_cast<int32_t>(def.last_autonumber), b.model.rbegin()->first);
  }
  EXPECT_FALSE(std::filesystem::exists(jet::JournalPathFor(b.path)));
  // And the counter continues after a reopen (on a copy: the other tests share the file).
  GeneratedRow r = MakeRow(999999, s.general, true);
  std::filesystem::path copy = b.path;
  copy += ".again";
  std::filesystem::copy_file(b.path, copy, std::filesystem::copy_options::overwrite_existing);
  auto db = Database::Open(copy, s.password, Pager::Mode::kReadWrite);
  std::vector<int32_t> ids = InsertRows(*db, {r.stored});
  ASSERT_EQ(ids.size(), 1u);
  EXPECT_EQ(ids[0], b.model.rbegin()->first + 1);
  EXPECT_TRUE(IsClean(*db));
}

// --- The independent readers ---

std::string ShellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out.push_back(c);
    }
  }
  return out + "'";
}

std::optional<std::string> OracleMissing() {
  std::string out;
  if (RunCommand("command -v mdb-export >/dev/null 2>&1 && command -v mdb-schema >/dev/null 2>&1",
                 &out) != 0) {
    return "mdbtools (mdb-export, mdb-schema) is not installed";
  }
  if (RunCommand("command -v node >/dev/null 2>&1", &out) != 0) return "node is not installed";
  if (!std::filesystem::is_directory(std::filesystem::path(SOURCE_DIR) /
                                     "tests/oracle/node_modules")) {
    return "tests/oracle/node_modules is missing (run npm ci in tests/oracle)";
  }
  return std::nullopt;
}

// A CSV field: its text and whether it was quoted (mdb-export quotes every non-NULL text).
struct CsvField {
  std::string text;
  bool quoted = false;
};
std::vector<std::vector<CsvField>> ParseCsv(const std::string& data) {
  std::vector<std::vector<CsvField>> rows;
  std::vector<CsvField> row;
  CsvField field;
  bool in_quotes = false, any = false;
  for (size_t i = 0; i < data.size(); ++i) {
    char c = data[i];
    if (in_quotes) {
      if (c == '"') {
        if (i + 1 < data.size() && data[i + 1] == '"') {
          field.text.push_back('"');
          ++i;
        } else {
          in_quotes = false;
        }
      } else {
        field.text.push_back(c);
      }
      continue;
    }
    any = true;
    if (c == '"') {
      in_quotes = true;
      field.quoted = true;
    } else if (c == ',') {
      row.push_back(std::move(field));
      field = {};
    } else if (c == '\n') {
      row.push_back(std::move(field));
      field = {};
      rows.push_back(std::move(row));
      row.clear();
      any = false;
    } else if (c != '\r') {
      field.text.push_back(c);
    }
  }
  if (any) {
    row.push_back(std::move(field));
    rows.push_back(std::move(row));
  }
  return rows;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string HexOf(const std::vector<uint8_t>& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (uint8_t b : bytes) {
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 15]);
  }
  return out;
}

std::string CurrencyText(int64_t v) {
  std::string sign = v < 0 ? "-" : "";
  uint64_t a = v < 0 ? static_cast<uint64_t>(-(v + 1)) + 1 : static_cast<uint64_t>(v);
  char frac[8];
  std::snprintf(frac, sizeof frac, "%04llu", static_cast<unsigned long long>(a % 10000));
  return sign + std::to_string(a / 10000) + "." + frac;
}

TEST_P(RoundTrip, MdbtoolsAgrees) {
  const Scenario& s = GetParam();
  if (!s.fixture.empty()) SKIP_WITHOUT_FIXTURES();
  if (auto missing = OracleMissing()) GTEST_SKIP() << "oracle part skipped: " << *missing;
  const Built& b = Build(s);
  ASSERT_TRUE(b.ok) << "building the file failed";

  // The definition: every column with its type (Access names), then the indexes and the
  // autonumber (shown by the mysql backend only).
  std::string schema;
  ASSERT_EQ(RunCommand("mdb-schema -T " + std::string(kTable) + " " + ShellQuote(b.path.string()) +
                           " 2>&1",
                       &schema),
            0)
      << schema;
  EXPECT_TRUE(Contains(schema, std::string("CREATE TABLE [") + kTable + "]")) << schema;
  const std::map<std::string, std::string> kTypes = {
      {"ID", "Long Integer"}, {"Num", "Long Integer"},
      {"Name", "Text (50)"},  {"Code", "Text (10)"},
      {"Amount", "Currency"}, {"Notes", "Memo/Hyperlink (255)"},
      {"Blob", "OLE (255)"},  {"Stamp", "DateTime"},
      {"Ratio", "Double"},    {"Small", "Integer"},
      {"Tiny", "Byte"},       {"Flag", "Boolean NOT NULL"},
      {"Extra", "Text (40)"}, {"ExtraMemo", "Memo/Hyperlink (255)"}};
  std::vector<std::string> order;
  std::istringstream schema_lines(schema);
  for (std::string line; std::getline(schema_lines, line);) {
    size_t open = line.find("\t["), close = line.find(']');
    if (open != 0 || close == std::string::npos) continue;
    std::string name = line.substr(2, close - 2);
    std::string type = line.substr(close + 1);
    type.erase(0, type.find_first_not_of('\t'));
    while (!type.empty() && (type.back() == ' ' || type.back() == ',')) type.pop_back();
    order.push_back(name);
    auto want = kTypes.find(name);
    if (want == kTypes.end()) {
      ADD_FAILURE() << "mdb-schema shows an unexpected column " << name;
    } else {
      EXPECT_EQ(type, want->second) << "column " << name;
    }
  }
  EXPECT_EQ(order, kColumns) << schema;
  std::string mysql;
  ASSERT_EQ(RunCommand("mdb-schema --indexes -T " + std::string(kTable) + " " +
                           ShellQuote(b.path.string()) + " mysql 2>&1",
                       &mysql),
            0);
  EXPECT_TRUE(Contains(mysql, "`ID`\t\t\tint not null auto_increment unique")) << mysql;
  EXPECT_TRUE(Contains(mysql, std::string("ALTER TABLE `") + kTable + "` ADD PRIMARY KEY (`ID`);"))
      << mysql;
  EXPECT_TRUE(
      Contains(mysql, std::string("ALTER TABLE `") + kTable + "` ADD INDEX `NameIdx` (`Name`);"))
      << mysql;

  std::string csv;
  ASSERT_EQ(RunCommand("mdb-export -b hex -T '%Y-%m-%dT%H:%M:%S' " + ShellQuote(b.path.string()) +
                           " " + kTable + " 2>/dev/null",
                       &csv),
            0);
  auto rows = ParseCsv(csv);
  ASSERT_FALSE(rows.empty());
  std::map<std::string, size_t> header;
  for (size_t i = 0; i < rows[0].size(); ++i) header[rows[0][i].text] = i;
  for (const auto& c : kColumns) ASSERT_TRUE(header.count(c)) << "mdb-export has no column " << c;
  ASSERT_EQ(rows.size() - 1, b.model.size());
  size_t mismatches = 0;
  auto report = [&](int32_t id, const std::string& column, const std::string& got,
                    const std::string& want) {
    ADD_FAILURE() << "mdb-export row " << id << " column " << column << ": got '"
                  << got.substr(0, 80) << "', expected '" << want.substr(0, 80) << "'";
    return ++mismatches < 10;
  };
  for (size_t r = 1; r < rows.size(); ++r) {
    const auto& row = rows[r];
    ASSERT_EQ(row.size(), header.size()) << "row " << r;
    int32_t id = std::atoi(row[header["ID"]].text.c_str());
    auto it = b.model.find(id);
    if (it == b.model.end()) {
      ADD_FAILURE() << "mdb-export shows a row " << id << " that should not exist";
      continue;
    }
    const auto& want = it->second;
    // Text-like columns exactly; NULL is an unquoted empty field. mdb-export prints a
    // zero-length value the same way, so it cannot tell "" from NULL.
    for (size_t k : {kName, kCode, kNotes, kExtra, kExtraMemo}) {
      const CsvField& f = row[header[kColumns[k]]];
      std::string got = f.quoted ? f.text : (f.text.empty() ? "<NULL>" : f.text);
      std::string expected = want[k].IsNull() || want[k].text.empty() ? "<NULL>" : want[k].text;
      if (got != expected && !report(id, kColumns[k], got, expected)) return;
    }
    // Integers as decimal digits.
    for (size_t k : {kNum, kSmall, kTiny}) {
      const CsvField& f = row[header[kColumns[k]]];
      std::string expected = want[k].IsNull() ? "" : std::to_string(want[k].integer);
      if (f.text != expected && !report(id, kColumns[k], f.text, expected)) return;
    }
    {
      const CsvField& f = row[header["Blob"]];
      std::string expected = want[kBlob].IsNull() ? "" : HexOf(want[kBlob].bytes);
      if (Lower(f.text) != expected && !report(id, "Blob", f.text, expected)) return;
    }
    {
      const CsvField& f = row[header["Amount"]];
      std::string expected = want[kAmount].IsNull() ? "" : CurrencyText(want[kAmount].integer);
      if (f.text != expected && !report(id, "Amount", f.text, expected)) return;
    }
    {
      const CsvField& f = row[header["Stamp"]];
      std::string expected = want[kStamp].IsNull() ? "" : jet::FormatOleDate(want[kStamp].real);
      if (f.text != expected && !report(id, "Stamp", f.text, expected)) return;
    }
    {
      // mdb-export prints doubles to about 16 significant digits, not round-trip exact.
      const CsvField& f = row[header["Ratio"]];
      bool same = want[kRatio].IsNull()
                      ? f.text.empty()
                      : !f.text.empty() &&
                            std::fabs(std::strtod(f.text.c_str(), nullptr) - want[kRatio].real) <=
                                1e-15 * std::fabs(want[kRatio].real);
      if (!same && !report(id, "Ratio", f.text, jet::FormatDouble(want[kRatio].real))) return;
    }
    {
      const CsvField& f = row[header["Flag"]];
      std::string expected = want[kFlag].integer ? "1" : "0";
      if (f.text != expected && !report(id, "Flag", f.text, expected)) return;
    }
  }
}

// mdb-reader 3.2 finds the end of a row from the previous slot's offset without masking the
// slot's flag bits, so a chained memo or OLE row stored right after a deleted slot would read
// as running to the end of its page. The engine leaves a deleted row's long values in place
// (as Access does until a compact), so no long-value page has deleted slots and every value
// must match exactly.
TEST_P(RoundTrip, MdbReaderAgrees) {
  const Scenario& s = GetParam();
  if (!s.fixture.empty()) SKIP_WITHOUT_FIXTURES();
  if (auto missing = OracleMissing()) GTEST_SKIP() << "oracle part skipped: " << *missing;
  const Built& b = Build(s);
  ASSERT_TRUE(b.ok) << "building the file failed";

  std::string out;
  std::string command = "node " + ShellQuote(std::string(SOURCE_DIR) + "/tests/oracle/dump.mjs") +
                        " " + ShellQuote(b.path.string());
  if (!s.password.empty()) command += " --password " + ShellQuote(s.password);
  ASSERT_EQ(RunCommand(command + " rows " + kTable + " 2>&1", &out), 0) << out.substr(0, 2000);
  std::istringstream lines(out);
  std::string line;
  size_t count = 0, mismatches = 0;
  while (std::getline(lines, line)) {
    if (line.empty()) continue;
    ++count;
    json_lite::Value row = json_lite::Parse(line);
    ASSERT_TRUE(row.is_object()) << line.substr(0, 200);
    int32_t id = static_cast<int32_t>(row["ID"].AsInt());
    auto it = b.model.find(id);
    if (it == b.model.end()) {
      ADD_FAILURE() << "mdb-reader shows a row " << id << " that should not exist";
      continue;
    }
    for (size_t k = 0; k < kColumns.size(); ++k) {
      const Value& want = it->second[k];
      const json_lite::Value& got = row[kColumns[k]];
      bool same;
      std::string expected;
      if (want.IsNull()) {
        same = got.is_null();
        expected = "null";
      } else {
        switch (want.kind) {
          case ValueKind::kLong:
          case ValueKind::kInteger:
          case ValueKind::kByte:
            same = got.is_number() && got.AsNumber() == static_cast<double>(want.integer);
            expected = std::to_string(want.integer);
            break;
          case ValueKind::kBoolean:
            same = got.is_bool() && got.AsBool() == (want.integer != 0);
            expected = want.integer ? "true" : "false";
            break;
          case ValueKind::kCurrency:
            expected = CurrencyText(want.integer);
            same = got.is_string() && got.AsString() == expected;
            break;
          case ValueKind::kDouble:
            same = got.is_number() && got.AsNumber() == want.real;
            expected = jet::FormatDouble(want.real);
            break;
          case ValueKind::kDateTime:
            expected = jet::FormatOleDate(want.real) + ".000Z";
            same = got.is_string() && got.AsString() == expected;
            break;
          case ValueKind::kText:
            expected = want.text;
            same = got.is_string() && got.AsString() == expected;
            break;
          case ValueKind::kBinary:
            expected = HexOf(want.bytes);
            same = got.is_string() && got.AsString() == expected;
            break;
          default:
            same = false;
            expected = "?";
        }
      }
      if (!same) {
        std::string shown = got.is_string()   ? got.AsString()
                            : got.is_number() ? got.NumberText()
                            : got.is_null()   ? "null"
                            : got.is_bool()   ? (got.AsBool() ? "true" : "false")
                                              : "?";
        ADD_FAILURE() << "mdb-reader row " << id << " column " << kColumns[k] << ": got '"
                      << shown.substr(0, 80) << "', expected '" << expected.substr(0, 80) << "'";
        if (++mismatches >= 10) return;
      }
    }
  }
  EXPECT_EQ(count, b.model.size());
}

int NewDatabaseRows() {
  return kSanitized ? 3000 : 10000;
}

INSTANTIATE_TEST_SUITE_P(
    Write, RoundTrip,
    testing::Values(
        Scenario{"NewDatabase", "", "s3cret", jet::kGeneralSortOrder, true, NewDatabaseRows(), 600},
        Scenario{"NewDatabase2052", "", "", jet::SortOrder{2052, 0, 0}, false, 400, 100},
        Scenario{"jackcess_empty2000", "jackcess_empty2000.mdb", ""},
        Scenario{"jackcess_empty2003", "jackcess_empty2003.mdb", ""},
        Scenario{"jackcess_adox_jet4", "jackcess_adox_jet4.mdb", ""},
        Scenario{"pyodbc_empty", "pyodbc_empty.mdb", ""},
        Scenario{"northwind2000", "northwind2000.mdb", ""},
        Scenario{"mdbreader_password2000", "mdbreader_password2000.mdb", "password"},
        Scenario{"ucanaccess_password_blank", "ucanaccess_password_blank.mdb", "ucanaccess"},
        Scenario{"jackcessencrypt_rc4", "jackcessencrypt_rc4.mdb", ""},
        Scenario{"nodeadodb_chinese", "nodeadodb_chinese.mdb", "", jet::kGeneralSortOrder, false}),
    [](const testing::TestParamInfo<Scenario>& info) { return info.param.name; });

// --- Extremes of row and value size ---

// Rows of a few bytes: a page holds at most 255 of them (the row number is one byte), however
// much room is left.
TEST(WriteShapes, TinyRowsFillPagesToTheRowLimit) {
  ScratchDir dir;
  auto path = dir.path() / "tiny.mdb";
  jet::CreateDatabase(path, "");
  auto db = Database::Open(path, "", Pager::Mode::kReadWrite);
  NewColumn id{"ID", ColumnType::kLong};
  id.autonumber = true;
  {
    Transaction t(*db);
    jet::CreateTable(*db, "Tiny", {id, NewColumn{"F", ColumnType::kBoolean}},
                     {NewIndex{"PrimaryKey", {{"ID", true}}, true, true, false}});
    t.Commit();
  }
  const int kRows = 1200;
  {
    Transaction t(*db);
    jet::TableWriter w(*db, DefinitionPageOf(*db, "Tiny"), "Tiny");
    for (int i = 0; i < kRows; ++i) w.Insert({Null(), Bool(i % 3 == 0)});
    w.Finish();
    t.Commit();
  }
  auto rows = ReadById(*db, "Tiny", "ID");
  ASSERT_EQ(rows.size(), size_t{kRows});
  std::map<uint32_t, int> per_page;
  for (const auto& [id, row] : rows) {
    ++per_page[row.where.page];
    EXPECT_EQ(row.values[1].integer, (id - 1) % 3 == 0 ? 1 : 0) << id;
  }
  for (const auto& [page, count] : per_page) EXPECT_LE(count, 255) << "page " << page;
  EXPECT_GE(per_page.size(), size_t{kRows / 255 + 1});
  EXPECT_TRUE(IsClean(*db));
  db.reset();
  std::string out;
  if (RunCommand("command -v mdb-export >/dev/null 2>&1", &out) == 0) {
    ASSERT_EQ(RunCommand("mdb-export '" + path.string() + "' Tiny", &out), 0);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), kRows + 1);
  }
}

// Values of a megabyte: a memo of 600,000 characters (a chain of about 300 rows) and an OLE
// value of 1 MiB, next to empty ones.
TEST(WriteShapes, MegabyteLongValues) {
  ScratchDir dir;
  auto path = dir.path() / "huge.mdb";
  jet::CreateDatabase(path, "");
  auto db = Database::Open(path, "", Pager::Mode::kReadWrite);
  {
    Transaction t(*db);
    jet::CreateTable(*db, "Huge",
                     {NewColumn{"N", ColumnType::kLong}, NewColumn{"M", ColumnType::kMemo},
                      NewColumn{"O", ColumnType::kOle}},
                     {});
    t.Commit();
  }
  std::mt19937 rng(3);
  const std::string memo = ChineseText(rng, 200000) + AsciiText(rng, 400000);
  const std::vector<uint8_t> blob = RandomBytes(rng, 1 << 20);
  {
    Transaction t(*db);
    jet::TableWriter w(*db, DefinitionPageOf(*db, "Huge"), "Huge");
    w.Insert({Long(1), Text(memo), Binary(blob)});
    w.Insert({Long(2), Text(""), Binary({})});
    w.Insert({Long(3), Text(memo.substr(0, 3 * 2036)), Binary(RandomBytes(rng, 4072 * 2))});
    w.Finish();
    t.Commit();
  }
  db.reset();
  db = Database::Open(path, "");
  auto rows = ReadById(*db, "Huge", "N");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_TRUE(rows[1].values[1].text == memo) << "the long memo differs";
  EXPECT_TRUE(rows[1].values[2].bytes == blob) << "the long OLE value differs";
  EXPECT_EQ(rows[2].values[1].kind, ValueKind::kText);
  EXPECT_EQ(rows[2].values[1].text, "");
  EXPECT_EQ(rows[2].values[2].kind, ValueKind::kBinary);
  EXPECT_TRUE(rows[2].values[2].bytes.empty());
  EXPECT_EQ(rows[3].values[1].text, memo.substr(0, 3 * 2036));
  EXPECT_TRUE(IsClean(*db));
  db.reset();
  if (OracleMissing()) return;
  std::string out;
  ASSERT_EQ(RunCommand("node '" + std::string(SOURCE_DIR) + "/tests/oracle/dump.mjs' '" +
                           path.string() + "' rows Huge 2>&1",
                       &out),
            0)
      << out.substr(0, 500);
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    json_lite::Value row = json_lite::Parse(line);
    int n = static_cast<int>(row["N"].AsInt());
    const auto& want = rows[n].values;
    EXPECT_EQ(row["M"].AsString(), want[1].text) << "row " << n;
    EXPECT_EQ(row["O"].AsString(), HexOf(want[2].bytes)) << "row " << n;
  }
}

// --- Sort order 2052: only text the engine can key may enter an index ---

class WriteChinese2052 : public testing::Test {
 protected:
  // A table with an indexed Text column (and a unique one) in a 2052 database at `path`.
  void MakeTable(const std::filesystem::path& path) {
    auto db = Database::Open(path, "", Pager::Mode::kReadWrite);
    ASSERT_EQ(db->header().sort_order.lcid, 2052);
    Transaction t(*db);
    NewColumn id{"ID", ColumnType::kLong};
    id.autonumber = true;
    NewColumn word{"Word", ColumnType::kText, 40};
    NewColumn note{"Note", ColumnType::kText, 40};
    jet::CreateTable(*db, "Words", {id, word, note},
                     {NewIndex{"PrimaryKey", {{"ID", true}}, true, true, false},
                      NewIndex{"WordIdx", {{"Word", true}}, false, false, false}});
    t.Commit();
  }

  void CheckRule(const std::filesystem::path& path) {
    MakeTable(path);
    if (HasFatalFailure()) return;
    const std::vector<uint8_t> before = ReadBytes(path);
    {
      auto db = Database::Open(path, "", Pager::Mode::kReadWrite);
      // One Chinese value alone, and one after ASCII rows of the same statement.
      for (int ascii_first : {0, 3}) {
        Transaction t(*db);
        jet::TableWriter w(*db, DefinitionPageOf(*db, "Words"), "Words");
        for (int i = 0; i < ascii_first; ++i)
          w.Insert({Null(), Text("abc" + std::to_string(i)), Null()});
        JetError e = ExpectJetError([&] { w.Insert({Null(), Text("中文"), Null()}); });
        EXPECT_EQ(e.kind(), ErrorKind::kUnsupported) << e.what();
        EXPECT_TRUE(Contains(e.what(), "WordIdx")) << e.what();
        EXPECT_TRUE(Contains(e.what(), "2052")) << e.what();
        // The transaction is dropped uncommitted.
      }
      // Chinese in the column without an index is fine, but not committed here.
    }
    EXPECT_EQ(ReadBytes(path), before) << "a refused insert changed the file";
    EXPECT_FALSE(std::filesystem::exists(jet::JournalPathFor(path)));

    auto db = Database::Open(path, "", Pager::Mode::kReadWrite);
    {
      Transaction t(*db);
      jet::TableWriter w(*db, DefinitionPageOf(*db, "Words"), "Words");
      for (const char* word : {"zebra", "Apple", "apple", "", "mango 12", "~!@#"}) {
        w.Insert({Null(), Text(word), Text("注释" + std::string(word))});
      }
      w.Insert({Null(), Null(), Text("没有索引的中文")});
      w.Finish();
      t.Commit();
    }
    auto rows = ReadById(*db, "Words", "ID");
    ASSERT_EQ(rows.size(), 7u);
    EXPECT_EQ(rows[7].values[2].text, "没有索引的中文");
    EXPECT_TRUE(IsClean(*db));
    jet::CheckReport report = jet::CheckDatabase(*db);
    EXPECT_GT(report.keys_compared, 0u);
  }
};

TEST_F(WriteChinese2052, NewDatabaseRefusesChineseIndexKeys) {
  ScratchDir dir;
  auto path = dir.path() / "prc.mdb";
  jet::CreateDatabase(path, "", jet::SortOrder{2052, 0, 0});
  CheckRule(path);
}

TEST_F(WriteChinese2052, FixtureRefusesChineseIndexKeys) {
  SKIP_WITHOUT_FIXTURES();
  ScratchDir dir;
  CheckRule(dir.Copy(Fixture("nodeadodb_chinese.mdb")));
}

}  // namespace

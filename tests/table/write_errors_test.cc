// Refused writes: each must throw the right kind of error with a usable message and leave
// the file exactly as it was, and the connection usable for the next statement. Covers
// constraint violations, bad schema requests, the password, the connection lock, read-only
// files and a full disk.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "jet/error.h"
#include "jet/file/journal.h"
#include "jet/format/bytes.h"
#include "jet/format/page_size.h"
#include "jet/format/table_definition.h"
#include "jet/table/database.h"
#include "jet/table/database_creator.h"
#include "jet/table/schema_change.h"
#include "jet/table/table.h"
#include "jet/table/table_writer.h"
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
using testing_support::Fixture;
using testing_support::ReadBytes;
using testing_support::ScratchDir;
using testing_support::WriteBytes;
using namespace write_test;

NewColumn Col(const std::string& name, ColumnType type, uint16_t length = 0) {
  NewColumn c;
  c.name = name;
  c.type = type;
  c.length = length;
  return c;
}

// A new database with table People(ID autonumber PK, Name Text(10) unique-indexed, Code
// CHAR(10), Note Memo) holding rows 1..5.
class WriteErrors : public testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.path() / "errors.mdb";
    jet::CreateDatabase(path_, "pw");
    db_ = Database::Open(path_, "pw", Pager::Mode::kReadWrite);
    NewColumn id = Col("ID", ColumnType::kLong);
    id.autonumber = true;
    NewColumn code = Col("Code", ColumnType::kText, 10);
    code.fixed_length = true;
    {
      Transaction t(*db_);
      jet::CreateTable(
          *db_, "People",
          {id, Col("Name", ColumnType::kText, 10), code, Col("Note", ColumnType::kMemo)},
          {NewIndex{"PrimaryKey", {{"ID", true}}, true, true, false},
           NewIndex{"NameKey", {{"Name", true}}, false, true, true}});
      t.Commit();
    }
    Insert({{Null(), Text("ann"), Text("a"), Text("first")},
            {Null(), Text("bob"), Null(), Null()},
            {Null(), Text("cid"), Null(), Null()},
            {Null(), Text("dee"), Null(), Null()},
            {Null(), Null(), Null(), Null()}});
    before_ = ReadBytes(path_);
  }

  void Insert(const std::vector<std::vector<Value>>& rows) {
    Transaction t(*db_);
    jet::TableWriter w(*db_, DefinitionPageOf(*db_, "People"), "People");
    for (const auto& r : rows) w.Insert(r);
    w.Finish();
    t.Commit();
  }

  // Runs one statement that must fail with `kind`; returns the error. The transaction is
  // dropped uncommitted, and the file must be exactly as before.
  JetError FailingStatement(ErrorKind kind, const std::function<void()>& body) {
    JetError e = ExpectJetError([&] {
      Transaction t(*db_);
      body();
      t.Commit();
    });
    EXPECT_EQ(e.kind(), kind) << e.what();
    EXPECT_EQ(ReadBytes(path_), before_) << "a refused statement changed the file";
    EXPECT_FALSE(testing_support::HasHotJournal(path_));
    return e;
  }

  // The connection still works, the data is intact, and the checker is content.
  void ExpectStillUsable() {
    Insert({{Null(), Text("zed"), Null(), Null()}});
    auto rows = ReadById(*db_, "People", "ID");
    EXPECT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows.rbegin()->first, 6) << "the autonumber advanced past a refused row";
    EXPECT_TRUE(IsClean(*db_));
  }

  ScratchDir dir_;
  std::filesystem::path path_;
  std::unique_ptr<Database> db_;
  std::vector<uint8_t> before_;
};

TEST_F(WriteErrors, DuplicateKeysAreRefused) {
  auto writer = [&] { return jet::TableWriter(*db_, DefinitionPageOf(*db_, "People"), "People"); };
  // An explicit ID equal to an existing one, inside the tree (not above its last key).
  JetError e = FailingStatement(ErrorKind::kConstraint, [&] {
    auto w = writer();
    w.Insert({Long(3), Text("new"), Null(), Null()});
  });
  EXPECT_TRUE(Contains(e.what(), "PrimaryKey")) << e.what();
  EXPECT_TRUE(Contains(e.what(), "People")) << e.what();
  // Equal to the last existing key.
  FailingStatement(ErrorKind::kConstraint, [&] {
    auto w = writer();
    w.Insert({Long(5), Text("new"), Null(), Null()});
  });
  // Two new rows of one statement with the same key, arriving in order and out of order.
  FailingStatement(ErrorKind::kConstraint, [&] {
    auto w = writer();
    w.Insert({Long(100), Text("x1"), Null(), Null()});
    w.Insert({Long(100), Text("x2"), Null(), Null()});
  });
  FailingStatement(ErrorKind::kConstraint, [&] {
    auto w = writer();
    w.Insert({Long(100), Text("x1"), Null(), Null()});
    w.Insert({Long(50), Text("x2"), Null(), Null()});
    w.Insert({Long(100), Text("x3"), Null(), Null()});
  });
  // An explicit ID equal to the next autonumber the statement hands out.
  FailingStatement(ErrorKind::kConstraint, [&] {
    auto w = writer();
    w.Insert({Long(7), Text("x1"), Null(), Null()});
    w.Insert({Null(), Text("x2"), Null(), Null()});  // gets 8
    w.Insert({Long(8), Text("x3"), Null(), Null()});
  });
  // A unique text index; NULLs are ignored by it, so several NULL names are fine.
  e = FailingStatement(ErrorKind::kConstraint, [&] {
    auto w = writer();
    w.Insert({Null(), Null(), Null(), Null()});
    w.Insert({Null(), Text("bob"), Null(), Null()});
  });
  EXPECT_TRUE(Contains(e.what(), "NameKey")) << e.what();
  ExpectStillUsable();
}

TEST_F(WriteErrors, KeyFreedInTheSameStatementCanBeReused) {
  auto rows = ReadById(*db_, "People", "ID");
  {
    Transaction t(*db_);
    jet::TableWriter w(*db_, DefinitionPageOf(*db_, "People"), "People");
    w.Delete(rows.at(2).where);
    w.Insert({Long(2), Text("bob"), Null(), Null()});
    w.Finish();
    t.Commit();
  }
  auto after = ReadById(*db_, "People", "ID");
  ASSERT_EQ(after.size(), 5u);
  EXPECT_EQ(after.at(2).values[1].text, "bob");
  EXPECT_TRUE(IsClean(*db_));
}

TEST_F(WriteErrors, ValuesThatDoNotFitAreRefused) {
  auto insert = [&](std::vector<Value> v) {
    jet::TableWriter w(*db_, DefinitionPageOf(*db_, "People"), "People");
    w.Insert(std::move(v));
    w.Finish();
  };
  JetError e = FailingStatement(ErrorKind::kConstraint, [&] {
    insert({Null(), Text("elevenchars"), Null(), Null()});
  });
  EXPECT_TRUE(Contains(e.what(), "Name")) << e.what();
  // Characters are counted in UTF-16 units, as Jet stores them: 9 + a surrogate pair = 11.
  FailingStatement(ErrorKind::kConstraint, [&] {
    insert({Null(), Text("123456789\xF0\x9F\x98\x80"), Null(), Null()});
  });
  FailingStatement(ErrorKind::kConstraint, [&] {
    insert({Null(), Null(), Text("中文中文中文中文中文中"), Null()});
  });
  // Exactly full is fine: ten ASCII characters, ten Chinese ones.
  Insert({{Null(), Text("tenletters"), Text("中文中文中文中文中文"), Null()}});
  auto rows = ReadById(*db_, "People", "ID");
  EXPECT_EQ(rows.at(6).values[1].text, "tenletters");
  EXPECT_EQ(rows.at(6).values[2].text, "中文中文中文中文中文");
  EXPECT_TRUE(IsClean(*db_));
}

TEST_F(WriteErrors, RecordTooLarge) {
  std::vector<NewColumn> wide;
  NewColumn id = Col("ID", ColumnType::kLong);
  id.autonumber = true;
  wide.push_back(id);
  for (int i = 0; i < 20; ++i) wide.push_back(Col("T" + std::to_string(i), ColumnType::kText, 255));
  {
    Transaction t(*db_);
    jet::CreateTable(*db_, "Wide", wide,
                     {NewIndex{"PrimaryKey", {{"ID", true}}, true, true, false}});
    t.Commit();
  }
  before_ = ReadBytes(path_);
  std::mt19937 rng(5);
  std::vector<Value> row(wide.size());
  row[0] = Null();
  for (size_t i = 1; i < row.size(); ++i) row[i] = Text(ChineseText(rng, 255));
  JetError e = FailingStatement(ErrorKind::kConstraint, [&] {
    jet::TableWriter w(*db_, DefinitionPageOf(*db_, "Wide"), "Wide");
    std::vector<Value> small(wide.size());
    small[1] = Text("fits");
    w.Insert(small);
    w.Insert(row);
  });
  EXPECT_EQ(e.problem(), jet::Problem::kRecordTooLarge) << e.what();
  // Seven full columns (7 * 510 bytes) still fit a page.
  for (size_t i = 8; i < row.size(); ++i) row[i] = Null();
  {
    Transaction t(*db_);
    jet::TableWriter w(*db_, DefinitionPageOf(*db_, "Wide"), "Wide");
    w.Insert(row);
    w.Finish();
    t.Commit();
  }
  auto rows = ReadById(*db_, "Wide", "ID");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows.begin()->second.values[7].text, row[7].text);
  EXPECT_TRUE(IsClean(*db_));
}

TEST_F(WriteErrors, SchemaRequestsThatMakeNoSense) {
  const std::vector<NewColumn> one = {Col("A", ColumnType::kLong)};
  // An existing table, in any case, system tables included.
  for (const char* name : {"People", "PEOPLE", "people", "MSysObjects", "msysaces"}) {
    JetError e =
        FailingStatement(ErrorKind::kInvalid, [&] { jet::CreateTable(*db_, name, one, {}); });
    EXPECT_EQ(e.problem(), jet::Problem::kTableExists) << name << ": " << e.what();
  }
  // A column named twice (case-insensitively) in a new table.
  FailingStatement(ErrorKind::kInvalid, [&] {
    jet::CreateTable(*db_, "Twice",
                     {Col("Col", ColumnType::kLong), Col("COL", ColumnType::kText, 5)}, {});
  });
  // No columns at all.
  FailingStatement(ErrorKind::kInvalid, [&] { jet::CreateTable(*db_, "Empty", {}, {}); });
  // An existing column, case-insensitively.
  for (const char* name : {"Name", "NAME", "note", "id"}) {
    JetError e = FailingStatement(
        ErrorKind::kInvalid, [&] { jet::AddColumn(*db_, "People", Col(name, ColumnType::kLong)); });
    EXPECT_EQ(e.problem(), jet::Problem::kFieldExists) << e.what();
    EXPECT_TRUE(Contains(e.what(), "People")) << e.what();
  }
  FailingStatement(ErrorKind::kNotFound,
                   [&] { jet::AddColumn(*db_, "Nobody", Col("X", ColumnType::kLong)); });
  // Text lengths outside 1..255, an autonumber that is not Long, an index on a missing column.
  FailingStatement(ErrorKind::kInvalid,
                   [&] { jet::CreateTable(*db_, "T1", {Col("A", ColumnType::kText, 0)}, {}); });
  FailingStatement(ErrorKind::kInvalid,
                   [&] { jet::CreateTable(*db_, "T1", {Col("A", ColumnType::kText, 256)}, {}); });
  FailingStatement(ErrorKind::kInvalid,
                   [&] { jet::AddColumn(*db_, "People", Col("Long", ColumnType::kText, 300)); });
  FailingStatement(ErrorKind::kInvalid, [&] {
    NewColumn c = Col("A", ColumnType::kText, 10);
    c.autonumber = true;
    jet::CreateTable(*db_, "T1", {c}, {});
  });
  FailingStatement(ErrorKind::kNotFound, [&] {
    jet::CreateTable(*db_, "T1", {Col("A", ColumnType::kLong)},
                     {NewIndex{"Idx", {{"B", true}}, false, false, false}});
  });
  // More than 255 columns.
  FailingStatement(ErrorKind::kInvalid, [&] {
    std::vector<NewColumn> many;
    for (int i = 0; i < 256; ++i) many.push_back(Col("C" + std::to_string(i), ColumnType::kByte));
    jet::CreateTable(*db_, "T1", many, {});
  });
  ExpectStillUsable();
}

TEST_F(WriteErrors, BadNames) {
  const std::vector<std::string> bad = {
      "",    " lead", "a.b",       "a!b",       "a`b",
      "a[b", "a]b",   "tab\there", "new\nline", std::string(65, 'x')};
  for (const std::string& name : bad) {
    SCOPED_TRACE("'" + name + "'");
    JetError e = FailingStatement(ErrorKind::kInvalid, [&] {
      jet::CreateTable(*db_, name, {Col("A", ColumnType::kLong)}, {});
    });
    EXPECT_EQ(e.problem(), jet::Problem::kInvalidName) << e.what();
    FailingStatement(ErrorKind::kInvalid,
                     [&] { jet::CreateTable(*db_, "T1", {Col(name, ColumnType::kLong)}, {}); });
    FailingStatement(ErrorKind::kInvalid,
                     [&] { jet::AddColumn(*db_, "People", Col(name, ColumnType::kLong)); });
    FailingStatement(ErrorKind::kInvalid, [&] {
      jet::CreateTable(*db_, "T1", {Col("A", ColumnType::kLong)},
                       {NewIndex{name, {{"A", true}}, false, false, false}});
    });
  }
  // The limits themselves are fine: 64 characters (Chinese ones too), inner spaces, symbols.
  Transaction t(*db_);
  jet::CreateTable(*db_, std::string(64, 'T'), {Col(std::string(64, 'c'), ColumnType::kLong)}, {});
  std::string chinese;
  for (int i = 0; i < 64; ++i) chinese += "表";
  jet::CreateTable(*db_, chinese, {Col("名 称 #1", ColumnType::kText, 20)}, {});
  jet::AddColumn(*db_, "People", Col("Trailing space ", ColumnType::kLong));
  t.Commit();
  EXPECT_NE(db_->catalog().FindTable(chinese), nullptr);
  EXPECT_TRUE(IsClean(*db_));
}

TEST_F(WriteErrors, WrongPasswordForWriting) {
  db_.reset();
  for (const char* wrong : {"", "PW", "pw ", "wrong"}) {
    JetError e = ExpectJetError([&] { Database::Open(path_, wrong, Pager::Mode::kReadWrite); });
    EXPECT_EQ(e.kind(), ErrorKind::kBadPassword) << "'" << wrong << "'";
  }
  EXPECT_EQ(ReadBytes(path_), before_);
  // No lock is left behind by the refused opens.
  db_ = Database::Open(path_, "pw", Pager::Mode::kReadWrite);
  ExpectStillUsable();
}

TEST_F(WriteErrors, SecondConnectionIsRefusedWhileOneWrites) {
  // Another writer, and a reader, while this connection holds the file.
  JetError e = ExpectJetError([&] { Database::Open(path_, "pw", Pager::Mode::kReadWrite); });
  EXPECT_EQ(e.kind(), ErrorKind::kInUse) << e.what();
  e = ExpectJetError([&] { Database::Open(path_, "pw", Pager::Mode::kReadOnly); });
  EXPECT_EQ(e.kind(), ErrorKind::kInUse) << e.what();
  EXPECT_EQ(ReadBytes(path_), before_);
  ExpectStillUsable();
  // A reader shuts out writers but not other readers.
  db_.reset();
  auto reader = Database::Open(path_, "pw", Pager::Mode::kReadOnly);
  auto reader2 = Database::Open(path_, "pw", Pager::Mode::kReadOnly);
  e = ExpectJetError([&] { Database::Open(path_, "pw", Pager::Mode::kReadWrite); });
  EXPECT_EQ(e.kind(), ErrorKind::kInUse) << e.what();
  // A read-only connection refuses to start a transaction.
  e = ExpectJetError([&] { Transaction t(*reader); });
  EXPECT_EQ(e.kind(), ErrorKind::kReadOnly) << e.what();
  reader.reset();
  reader2.reset();
  db_ = Database::Open(path_, "pw", Pager::Mode::kReadWrite);
  EXPECT_EQ(ReadById(*db_, "People", "ID").size(), 6u);
}

TEST_F(WriteErrors, ReadOnlyFile) {
  db_.reset();
  std::filesystem::permissions(path_, std::filesystem::perms(0444));
  JetError e = ExpectJetError([&] { Database::Open(path_, "pw", Pager::Mode::kReadWrite); });
  EXPECT_EQ(e.kind(), ErrorKind::kReadOnly) << e.what();
  // Reading is still allowed.
  auto reader = Database::Open(path_, "pw", Pager::Mode::kReadOnly);
  EXPECT_EQ(ReadById(*reader, "People", "ID").size(), 5u);
  reader.reset();
  EXPECT_EQ(ReadBytes(path_), before_);
  std::filesystem::permissions(path_, std::filesystem::perms(0644));
  db_ = Database::Open(path_, "pw", Pager::Mode::kReadWrite);
  ExpectStillUsable();
}

// A disk that is full: every write that would grow a file fails. `journal_too` says whether
// the journal (a new file, so every write grows it) fails as well.
std::unique_ptr<ScopedFaultHook> FullDisk(const std::filesystem::path& db, bool journal_too) {
  const uint64_t size = std::filesystem::file_size(db);
  const std::filesystem::path journal = jet::JournalPathFor(db);
  return std::make_unique<ScopedFaultHook>(
      [=](const std::filesystem::path& path, uint64_t offset, size_t n) -> size_t {
        if (path == journal) return journal_too ? 0 : n;
        if (path != db || offset + n <= size) return n;
        return offset >= size ? 0 : static_cast<size_t>(size - offset);
      },
      nullptr);
}

TEST_F(WriteErrors, FullDiskLeavesTheFileAsItWas) {
  for (bool journal_too : {false, true}) {
    SCOPED_TRACE(journal_too ? "journal cannot be written" : "data file cannot grow");
    {
      auto hook = FullDisk(path_, journal_too);
      // A statement that needs new pages: many rows with long memos.
      JetError e = FailingStatement(ErrorKind::kIo, [&] {
        jet::TableWriter w(*db_, DefinitionPageOf(*db_, "People"), "People");
        std::mt19937 rng(1);
        for (int i = 0; i < 200; ++i)
          w.Insert({Null(), Null(), Null(), Text(ChineseText(rng, 3000))});
        w.Finish();
      });
      EXPECT_EQ(std::filesystem::file_size(path_), before_.size());
    }
    // The same connection reads the old contents and can write again.
    EXPECT_EQ(ReadById(*db_, "People", "ID").size(), 5u);
    EXPECT_TRUE(IsClean(*db_));
  }
  {
    // Only existing pages change (a delete), so the data file need not grow: fine unless the
    // journal cannot be written.
    auto hook = FullDisk(path_, true);
    auto rows = ReadById(*db_, "People", "ID");
    FailingStatement(ErrorKind::kIo, [&] {
      jet::TableWriter w(*db_, DefinitionPageOf(*db_, "People"), "People");
      w.Delete(rows.at(1).where);
      w.Finish();
    });
  }
  {
    auto hook = FullDisk(path_, false);
    auto rows = ReadById(*db_, "People", "ID");
    Transaction t(*db_);
    jet::TableWriter w(*db_, DefinitionPageOf(*db_, "People"), "People");
    w.Delete(rows.at(1).where);
    w.Finish();
    t.Commit();
  }
  EXPECT_EQ(std::filesystem::file_size(path_), before_.size());
  EXPECT_EQ(ReadById(*db_, "People", "ID").size(), 4u);
  EXPECT_TRUE(IsClean(*db_));
  // Reopened, with room again: the big statement goes through.
  db_.reset();
  db_ = Database::Open(path_, "pw", Pager::Mode::kReadWrite);
  {
    std::mt19937 rng(1);
    std::vector<std::vector<Value>> rows;
    for (int i = 0; i < 200; ++i)
      rows.push_back({Null(), Null(), Null(), Text(ChineseText(rng, 3000))});
    Insert(rows);
  }
  EXPECT_EQ(ReadById(*db_, "People", "ID").size(), 204u);
  EXPECT_TRUE(IsClean(*db_));
}

// Saved queries and linked tables own their names too.
TEST(WriteErrorsFixture, NamesOfQueriesAndLinkedTablesAreTaken) {
  SKIP_WITHOUT_FIXTURES();
  for (const char* file : {"jackcess_querytest2000.mdb", "ucanaccess_linked.mdb"}) {
    SCOPED_TRACE(file);
    ScratchDir dir;
    auto path = dir.Copy(Fixture(file));
    const auto before = ReadBytes(path);
    auto db = Database::Open(path, "", Pager::Mode::kReadWrite);
    std::vector<std::string> names;
    for (const auto& e : db->catalog().entries()) {
      if (e.kind == jet::ObjectKind::kView || e.kind == jet::ObjectKind::kQuery ||
          e.kind == jet::ObjectKind::kLinkedTable) {
        names.push_back(e.name);
      }
    }
    ASSERT_FALSE(names.empty());
    for (const std::string& name : names) {
      JetError e = ExpectJetError([&] {
        Transaction t(*db);
        jet::CreateTable(*db, name, {Col("A", ColumnType::kLong)}, {});
        t.Commit();
      });
      EXPECT_EQ(e.kind(), ErrorKind::kInvalid) << name << ": " << e.what();
    }
    db.reset();
    EXPECT_EQ(ReadBytes(path), before);
  }
}

// Under a sort order whose text keys the engine cannot make at all (French, 1036, in this
// Access file), a write that needs one is refused naming the sort order as the reason, even
// for plain ASCII. Under 2052, whose ASCII keys are known, the characters stay the reason.
TEST(WriteErrorsFixture, ASortOrderWithoutKeysIsNamedAsTheReason) {
  SKIP_WITHOUT_FIXTURES();
  ScratchDir dir;
  auto path = dir.Copy(Fixture("linq2db_issue1164_french.mdb"));
  const auto before = ReadBytes(path);
  auto db = Database::Open(path, "", Pager::Mode::kReadWrite);
  JetError create = ExpectJetError([&] {
    Transaction t(*db);
    jet::CreateTable(*db, "Plain", {Col("A", ColumnType::kLong)}, {});
    t.Commit();
  });
  EXPECT_EQ(create.problem(), jet::Problem::kCannotCatalogUnderSortOrder) << create.what();
  EXPECT_TRUE(Contains(create.what(), "'Plain'") && Contains(create.what(), "1036"))
      << create.what();
  JetError insert = ExpectJetError([&] {
    Transaction t(*db);
    jet::TableWriter w(*db, DefinitionPageOf(*db, "Personnes"), "Personnes");
    std::vector<Value> row(w.definition().columns.size());
    row[static_cast<size_t>(w.definition().FindColumn("phonetic") - &w.definition().columns[0])] =
        Value::Text("abc");
    w.Insert(std::move(row));
    w.Finish();
    t.Commit();
  });
  EXPECT_EQ(insert.problem(), jet::Problem::kCannotIndexUnderSortOrder) << insert.what();
  EXPECT_TRUE(Contains(insert.what(), "'phonetic'") && Contains(insert.what(), "1036"))
      << insert.what();
  db.reset();
  EXPECT_EQ(ReadBytes(path), before);

  const auto prc = dir.path() / "prc.mdb";
  jet::CreateDatabase(prc, "", jet::SortOrder{2052, 0, 0});
  db = Database::Open(prc, "", Pager::Mode::kReadWrite);
  Transaction t(*db);
  jet::CreateTable(*db, "Plain", {Col("A", ColumnType::kLong)}, {});
  JetError chinese =
      ExpectJetError([&] { jet::CreateTable(*db, "中文", {Col("A", ColumnType::kLong)}, {}); });
  EXPECT_EQ(chinese.problem(), jet::Problem::kCannotCatalogName) << chinese.what();
}

// A definition whose recorded column count is below its columns' ids: a row could not hold
// their null-mask bits (they would lie past the row's end). Both insert roads, value by value
// and as stored bytes, refuse it as damage before anything is written.
TEST(WriteErrorsDamage, ColumnsBeyondTheRecordedColumnCountAreRefused) {
  ScratchDir dir;
  const auto path = dir.path() / "damaged.mdb";
  jet::CreateDatabase(path, "pw");
  std::vector<NewColumn> columns;
  for (int i = 1; i <= 12; ++i) columns.push_back(Col("c" + std::to_string(i), ColumnType::kLong));
  uint32_t page = 0;
  {
    auto db = Database::Open(path, "pw", Pager::Mode::kReadWrite);
    Transaction t(*db);
    jet::CreateTable(*db, "t", columns, {});
    page = DefinitionPageOf(*db, "t");
    jet::PutU16(db->pager().Modify(page).data() + 0x29, 1);  // the recorded column count
    t.Commit();
  }
  const auto before = ReadBytes(path);
  auto db = Database::Open(path, "pw", Pager::Mode::kReadWrite);
  std::vector<Value> row(12);
  row[11] = Value::Long(7);
  JetError by_value = ExpectJetError([&] {
    Transaction t(*db);
    jet::TableWriter w(*db, page, "t");
    w.Insert(row);
  });
  EXPECT_EQ(by_value.kind(), ErrorKind::kCorrupt) << by_value.what();
  JetError as_stored = ExpectJetError([&] {
    Transaction t(*db);
    jet::TableWriter w(*db, page, "t");
    const jet::TableDefinition source = w.definition();
    std::vector<int> same(12);
    for (int i = 0; i < 12; ++i) same[static_cast<size_t>(i)] = i;
    w.PrepareStoredCopy(source, same);
  });
  EXPECT_EQ(as_stored.kind(), ErrorKind::kCorrupt) << as_stored.what();
  db.reset();
  EXPECT_EQ(ReadBytes(path), before);
}

// A fixture: the same full-disk failure on an RC4-encoded file restores the encoded pages.
TEST(WriteErrorsFixture, FullDiskOnAnEncodedFile) {
  SKIP_WITHOUT_FIXTURES();
  ScratchDir dir;
  auto path = dir.Copy(Fixture("jackcessencrypt_rc4.mdb"));
  auto db = Database::Open(path, "", Pager::Mode::kReadWrite);
  {
    Transaction t(*db);
    jet::CreateTable(*db, "Notes", {Col("N", ColumnType::kMemo)}, {});
    t.Commit();
  }
  const auto before = ReadBytes(path);
  {
    auto hook = FullDisk(path, false);
    JetError e = ExpectJetError([&] {
      Transaction t(*db);
      jet::TableWriter w(*db, DefinitionPageOf(*db, "Notes"), "Notes");
      for (int i = 0; i < 50; ++i) w.Insert({Text(std::string(5000, 'n'))});
      w.Finish();
      t.Commit();
    });
    EXPECT_EQ(e.kind(), ErrorKind::kIo);
  }
  EXPECT_EQ(ReadBytes(path), before);
  EXPECT_FALSE(testing_support::HasHotJournal(path));
  EXPECT_TRUE(IsClean(*db));
}

}  // namespace

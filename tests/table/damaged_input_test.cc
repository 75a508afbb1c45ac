// Damaged files: every offset, count and pointer the engine follows comes from the file, so
// a damaged file must end in a JetError (or a problem reported by the checker) and never in
// a crash, a hang or an absurd allocation. Each damaged read runs in a child process with a
// time and memory limit, so such a failure is reported against its case instead of taking
// the whole suite down.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "base/unicode.h"
#include "jet/error.h"
#include "jet/format/bytes.h"
#include "jet/format/data_page.h"
#include "jet/format/long_value.h"
#include "jet/format/page_size.h"
#include "jet/format/row_reader.h"
#include "jet/format/table_definition.h"
#include "jet/table/checker.h"
#include "jet/table/database.h"
#include "jet/table/stored_rows.h"
#include "jet/table/table.h"
#include "tests/test_support.h"

namespace {

using jet::Database;
using jet::ErrorKind;
using jet::RowPointer;
using testing_support::Fixture;
using testing_support::ScratchDir;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kLimitMemory = false;  // the sanitizer reserves terabytes of address space
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kLimitMemory = false;
#else
constexpr bool kLimitMemory = true;
#endif
#else
constexpr bool kLimitMemory = true;
#endif

// Everything a reader of the file does: the catalog, every row of every table (system tables
// included) and the consistency check. Returns how many findings of the check are damage.
size_t FullRead(const std::filesystem::path& path, const std::string& password) {
  auto db = Database::Open(path, password);
  for (const jet::CatalogEntry& e : db->catalog().entries()) {
    if (e.kind != jet::ObjectKind::kUserTable && e.kind != jet::ObjectKind::kSystemTable) continue;
    db->OpenTable(e).Scan([](RowPointer, const std::vector<jet::Value>&) { return true; });
  }
  return jet::CheckDatabase(*db).DamageCount();
}

struct Outcome {
  enum Kind { kRead, kJetError, kOtherException, kCrash, kTimeout } kind = kCrash;
  ErrorKind error = ErrorKind::kIo;  // kJetError only
  size_t problems = 0;               // kRead only
  std::string detail;

  std::string Describe() const {
    static const char* kNames[] = {"read", "JetError", "other exception", "crash", "timeout"};
    return std::string(kNames[kind]) + ": " + detail;
  }
};

// Runs FullRead in a child process limited to `seconds` of time and 1 GiB of address space.
Outcome IsolatedFullRead(const std::filesystem::path& path, const std::string& password = "",
                         unsigned seconds = 20) {
  testing_support::ChildReport child = testing_support::RunInChild([&]() -> std::string {
    alarm(seconds);
    if (kLimitMemory) {
      rlimit limit{1u << 30, 1u << 30};
      setrlimit(RLIMIT_AS, &limit);
    }
    try {
      return "R " + std::to_string(FullRead(path, password));
    } catch (const jet::JetError& e) {
      return "J " + std::to_string(static_cast<int>(e.kind())) + " " + e.what();
    } catch (const std::exception& e) {
      return std::string("X ") + e.what();
    } catch (...) {
      return "X unknown exception";
    }
  });
  Outcome out;
  if (child.signal != 0) {
    out.kind = child.signal == SIGALRM ? Outcome::kTimeout : Outcome::kCrash;
    out.detail = std::string("signal ") + strsignal(child.signal);
    return out;
  }
  const std::string& message = child.text;
  if (message.size() < 2) {
    out.detail = "child ended without a report";
    return out;
  }
  std::istringstream in(message.substr(2));
  switch (message[0]) {
    case 'R':
      out.kind = Outcome::kRead;
      in >> out.problems;
      out.detail = std::to_string(out.problems) + " problems";
      break;
    case 'J': {
      int kind = 0;
      in >> kind;
      out.kind = Outcome::kJetError;
      out.error = static_cast<ErrorKind>(kind);
      std::getline(in, out.detail);
      break;
    }
    default:
      out.kind = Outcome::kOtherException;
      out.detail = message.substr(2);
  }
  return out;
}

// The damage was noticed: a kCorrupt/kUnsupported error, or problems from the checker.
void ExpectDetected(const Outcome& o) {
  bool detected = (o.kind == Outcome::kJetError &&
                   (o.error == ErrorKind::kCorrupt || o.error == ErrorKind::kUnsupported)) ||
                  (o.kind == Outcome::kRead && o.problems > 0);
  EXPECT_TRUE(detected) << o.Describe();
  // What the user reads is in the product's language, down to the detail of the damage.
  if (o.kind == Outcome::kJetError) {
    EXPECT_EQ(testing_support::ForeignWords(o.detail), std::vector<std::string>{}) << o.Describe();
  }
}

// Byte edits on a scratch copy. Pages of unencoded files are stored as they are read, so a
// position found through the engine is the file offset page * 4096 + offset in the page.
class DamagedCopy {
 public:
  explicit DamagedCopy(const std::string& fixture) : path_(dir_.Copy(Fixture(fixture))) {
    bytes_ = testing_support::ReadBytes(path_);
    db_ = Database::Open(path_, "");
  }

  Database& db() { return *db_; }
  const std::filesystem::path& path() const { return path_; }
  uint32_t page_count() const { return static_cast<uint32_t>(bytes_.size() / jet::kPageSize); }

  // The file offset of bytes the engine handed out from page `page`.
  uint64_t OffsetOf(uint32_t page, jet::ByteView bytes) {
    return uint64_t{page} * jet::kPageSize +
           static_cast<uint64_t>(bytes.data() - db_->pager().Page(page).data());
  }

  uint32_t DefinitionPage(const std::string& table) {
    return db_->OpenTable(table).definition_page();
  }

  // The stored row of the first row `pick` accepts, following an overflow pointer.
  struct FoundRow {
    RowPointer where;       // the row's real place (after an overflow pointer)
    jet::PinnedView bytes;  // its stored bytes
    std::vector<jet::ColumnData> columns;
  };
  FoundRow FindRow(const std::string& table,
                   const std::function<bool(const std::vector<jet::Value>&)>& pick) {
    jet::Table t = db_->OpenTable(table);
    RowPointer slot;
    bool found = false;
    t.Scan([&](RowPointer where, const std::vector<jet::Value>& values) {
      if (!pick(values)) return true;
      slot = where;
      found = true;
      return false;
    });
    EXPECT_TRUE(found) << "no matching row in " << table;
    FoundRow row{slot, jet::ReadStoredRow(db_->pager(), slot), {}};
    jet::PinnedView slot_page = db_->pager().Page(slot.page);
    jet::DataPageReader page(slot_page);
    if (page.Row(slot.row).overflow) {
      row.where = RowPointer::FromStored(row.bytes.U32(0));
      row.bytes = jet::ReadStoredRow(db_->pager(), row.where);
    }
    row.columns = jet::SplitRow(t.definition(), row.bytes);
    return row;
  }

  void PutU16(uint64_t offset, uint16_t v) { jet::PutU16(&bytes_.at(offset), v); }
  void PutU32(uint64_t offset, uint32_t v) {
    bytes_.at(offset + 3);
    jet::PutU32(&bytes_[offset], v);
  }
  void Truncate(size_t size) { bytes_.resize(size); }

  // Writes the edited bytes and reads the file in a child process.
  Outcome Read() {
    db_.reset();  // release the file before it is rewritten
    testing_support::WriteBytes(path_, bytes_);
    return IsolatedFullRead(path_);
  }

 private:
  ScratchDir dir_;
  std::filesystem::path path_;
  std::vector<uint8_t> bytes_;
  std::unique_ptr<Database> db_;
};

size_t ColumnPosition(const jet::TableDefinition& def, const std::string& name) {
  for (size_t i = 0; i < def.columns.size(); ++i) {
    if (def.columns[i].name == name) return i;
  }
  ADD_FAILURE() << "no column " << name;
  return 0;
}

TEST(DamagedInput, PristineFixturesReadCleanly) {
  SKIP_WITHOUT_FIXTURES();
  // The baseline the other cases depend on: an undamaged copy reads without problems.
  for (const char* file : {"jackcess_overflow2000.mdb", "bbs_chinese_longmemo.mdb"}) {
    ScratchDir dir;
    Outcome o = IsolatedFullRead(dir.Copy(Fixture(file)));
    EXPECT_EQ(o.kind, Outcome::kRead) << file << " " << o.Describe();
    EXPECT_EQ(o.problems, 0u) << file;
  }
}

TEST(DamagedInput, TruncatedFiles) {
  SKIP_WITHOUT_FIXTURES();
  {
    DamagedCopy copy("northwind2000.mdb");
    copy.Truncate(copy.page_count() / 2 * jet::kPageSize + 2048);  // mid-page, half the file
    ExpectDetected(copy.Read());
  }
  {
    DamagedCopy copy("northwind2000.mdb");
    copy.Truncate(jet::kPageSize * 3 / 2);  // 1.5 pages: not even the catalog's definition
    Outcome o = copy.Read();
    EXPECT_EQ(o.kind, Outcome::kJetError) << o.Describe();
    EXPECT_EQ(o.error, ErrorKind::kCorrupt) << o.Describe();
  }
}

TEST(DamagedInput, AbsurdCountsInATableDefinition) {
  SKIP_WITHOUT_FIXTURES();
  struct Case {
    const char* what;
    size_t offset;
    uint32_t value;
    int bytes;
  };
  for (const Case& c :
       {Case{"column count", 0x2D, 0xFFFF, 2}, Case{"logical index count", 0x2F, 0xFFFFFFFF, 4},
        Case{"real index count", 0x33, 0xFFFFFFFF, 4}, Case{"both index counts", 0x2F, 900, 4}}) {
    SCOPED_TRACE(c.what);
    DamagedCopy copy("northwind2000.mdb");
    uint64_t tdef = uint64_t{copy.DefinitionPage("Orders")} * jet::kPageSize;
    if (c.bytes == 2) {
      copy.PutU16(tdef + c.offset, static_cast<uint16_t>(c.value));
    } else {
      copy.PutU32(tdef + c.offset, c.value);
      if (c.value == 900) copy.PutU32(tdef + 0x33, c.value);
    }
    Outcome o = copy.Read();
    EXPECT_EQ(o.kind, Outcome::kJetError) << o.Describe();
    EXPECT_EQ(o.error, ErrorKind::kCorrupt) << o.Describe();
  }
  // The catalog's own definition: the file cannot be opened at all.
  DamagedCopy copy("jackcess_empty2000.mdb");
  copy.PutU16(uint64_t{2} * jet::kPageSize + 0x2D, 0xFFFF);
  Outcome o = copy.Read();
  EXPECT_EQ(o.kind, Outcome::kJetError) << o.Describe();
}

TEST(DamagedInput, PointersPastTheEndOfTheFile) {
  SKIP_WITHOUT_FIXTURES();
  // Orders (northwind) has data pages, several indexes and usage maps to aim at.
  for (size_t which = 0; which < 4; ++which) {
    DamagedCopy copy("northwind2000.mdb");
    uint32_t tdef_page = copy.DefinitionPage("Orders");
    uint64_t tdef = uint64_t{tdef_page} * jet::kPageSize;
    uint32_t beyond = copy.page_count() + 7;
    const jet::TableDefinition& def = copy.db().Definition(tdef_page);
    // Real index blocks follow the statistics, column descriptors and column names.
    size_t real_index_block = jet::tdef::kBody +
                              def.real_indexes.size() * jet::tdef::kIndexStatSize +
                              def.columns.size() * jet::tdef::kColumnSize;
    for (const auto& c : def.columns) real_index_block += 2 + 2 * base::Utf8ToUtf16(c.name).size();
    ASSERT_LT(real_index_block + jet::tdef::kRealIndexSize, jet::kPageSize);
    const char* what = "";
    switch (which) {
      case 0:
        what = "owned-pages usage map";
        copy.PutU32(tdef + 0x37, RowPointer{beyond, 0}.ToStored());
        break;
      case 1:
        what = "definition continuation page";
        copy.PutU32(tdef + jet::tdef::kNextPage, beyond);
        break;
      case 2:
        what = "index root page";
        copy.PutU32(tdef + real_index_block + 0x26, beyond);
        break;
      case 3:
        what = "index usage map";
        copy.PutU32(tdef + real_index_block + 0x22, RowPointer{beyond, 3}.ToStored());
        break;
    }
    SCOPED_TRACE(what);
    ExpectDetected(copy.Read());
  }
}

TEST(DamagedInput, DefinitionChainsThatLoop) {
  SKIP_WITHOUT_FIXTURES();
  {
    // A one-page definition that names itself as its continuation.
    DamagedCopy copy("northwind2000.mdb");
    uint32_t page = copy.DefinitionPage("Shippers");
    copy.PutU32(uint64_t{page} * jet::kPageSize + jet::tdef::kNextPage, page);
    ExpectDetected(copy.Read());
  }
  {
    // MSP_PROJECTS' definition spans two pages; the second leads back to the first.
    DamagedCopy copy("jackcess_test2_2000.mdb");
    std::vector<uint32_t> pages;
    copy.db().ReadDefinitionBytes(copy.DefinitionPage("MSP_PROJECTS"), &pages);
    ASSERT_EQ(pages.size(), 2u);
    copy.PutU32(uint64_t{pages[1]} * jet::kPageSize + jet::tdef::kNextPage, pages[0]);
    ExpectDetected(copy.Read());
  }
  {
    // A continuation that is not a definition page (page 1 is the free-page map's page).
    DamagedCopy copy("northwind2000.mdb");
    uint32_t page = copy.DefinitionPage("Shippers");
    copy.PutU32(uint64_t{page} * jet::kPageSize + jet::tdef::kNextPage, 1);
    ExpectDetected(copy.Read());
  }
}

// Long values kept on chains of LVAL rows, each row starting with the pointer to the next.
TEST(DamagedInput, LongValueChainsThatLoopOrBreak) {
  SKIP_WITHOUT_FIXTURES();
  struct Target {
    const char* file;
    const char* table;
    const char* key_column;  // picks the row
    int64_t key;
    const char* lv_column;
  };
  const Target targets[] = {{"bbs_chinese_longmemo.mdb", "forum", "listid", 13, "content"},
                            {"tika_access2_2000.mdb", "Table1", "ID", -1, "OLEObject"}};
  for (const Target& t : targets) {
    for (int damage = 0; damage < 4; ++damage) {
      SCOPED_TRACE(std::string(t.file) + " damage " + std::to_string(damage));
      DamagedCopy copy(t.file);
      const jet::TableDefinition& def = copy.db().OpenTable(t.table).definition();
      size_t key = ColumnPosition(def, t.key_column), lv = ColumnPosition(def, t.lv_column);
      auto row = copy.FindRow(t.table, [&](const std::vector<jet::Value>& v) {
        return t.key < 0 ? !v[lv].IsNull() : v[key].integer == t.key;
      });
      jet::LongValueHeader h = jet::DecodeLongValueHeader(row.columns[lv].bytes);
      ASSERT_EQ(h.form, jet::LongValueForm::kChained);
      jet::PinnedView first = jet::ReadStoredRow(copy.db().pager(), h.first);
      RowPointer second = RowPointer::FromStored(first.U32(0));
      ASSERT_FALSE(second.IsNull());
      uint64_t first_next = copy.OffsetOf(h.first.page, first);
      switch (damage) {
        case 0:  // the first row leads to itself
          copy.PutU32(first_next, h.first.ToStored());
          break;
        case 1: {  // the second row leads back to the first
          jet::PinnedView next = jet::ReadStoredRow(copy.db().pager(), second);
          // The last row's pointer is never followed (the stated length is reached first),
          // so on a two-row chain this damage is harmless and rightly goes unnoticed.
          if (RowPointer::FromStored(next.U32(0)).IsNull()) continue;
          copy.PutU32(copy.OffsetOf(second.page, next), h.first.ToStored());
          break;
        }
        case 2:  // the chain ends before the stated length
          copy.PutU32(first_next, 0);
          break;
        case 3:  // the chain leaves the file
          copy.PutU32(first_next, RowPointer{copy.page_count() + 1, 0}.ToStored());
          break;
      }
      Outcome o = copy.Read();
      EXPECT_EQ(o.kind, Outcome::kJetError) << o.Describe();
      EXPECT_EQ(o.error, ErrorKind::kCorrupt) << o.Describe();
    }
  }
}

TEST(DamagedInput, AbsurdLongValueLengths) {
  SKIP_WITHOUT_FIXTURES();
  // A single-row memo, a chained memo and an inline memo each claiming 0x3FFFFFFF bytes.
  for (int64_t listid : {6, 13}) {
    SCOPED_TRACE(listid);
    DamagedCopy copy("bbs_chinese_longmemo.mdb");
    const jet::TableDefinition& def = copy.db().OpenTable("forum").definition();
    size_t key = ColumnPosition(def, "listid"), lv = ColumnPosition(def, "content");
    auto row = copy.FindRow("forum", [&](const auto& v) { return v[key].integer == listid; });
    jet::ByteView header = row.columns[lv].bytes;
    uint32_t word = header.U32(0);
    copy.PutU32(copy.OffsetOf(row.where.page, header), (word & 0xC0000000u) | 0x3FFFFFFFu);
    Outcome o = copy.Read();
    EXPECT_EQ(o.kind, Outcome::kJetError) << o.Describe();
    EXPECT_EQ(o.error, ErrorKind::kCorrupt) << o.Describe();
  }
  {
    SCOPED_TRACE("inline");
    DamagedCopy copy("mdbtools_datetest.mdb");
    const jet::TableDefinition& def = copy.db().OpenTable("DateTest").definition();
    size_t lv = ColumnPosition(def, "LongTextCol");
    auto row = copy.FindRow("DateTest", [&](const auto& v) { return !v[lv].IsNull(); });
    jet::ByteView header = row.columns[lv].bytes;
    ASSERT_EQ(jet::DecodeLongValueHeader(header).form, jet::LongValueForm::kInline);
    copy.PutU32(copy.OffsetOf(row.where.page, header), 0x80000000u | 0x3FFFFFFFu);
    Outcome o = copy.Read();
    EXPECT_EQ(o.kind, Outcome::kJetError) << o.Describe();
    EXPECT_EQ(o.error, ErrorKind::kCorrupt) << o.Describe();
  }
  {
    SCOPED_TRACE("single row pointing past the end");
    DamagedCopy copy("bbs_chinese_longmemo.mdb");
    const jet::TableDefinition& def = copy.db().OpenTable("forum").definition();
    size_t key = ColumnPosition(def, "listid"), lv = ColumnPosition(def, "content");
    auto row = copy.FindRow("forum", [&](const auto& v) { return v[key].integer == 6; });
    jet::ByteView header = row.columns[lv].bytes;
    copy.PutU32(copy.OffsetOf(row.where.page, header) + 4,
                RowPointer{copy.page_count() + 3, 0}.ToStored());
    Outcome o = copy.Read();
    EXPECT_EQ(o.kind, Outcome::kJetError) << o.Describe();
    EXPECT_EQ(o.error, ErrorKind::kCorrupt) << o.Describe();
  }
}

// jackcess_overflow2000 Table1: two rows grew and were moved; their slots (flag 0x4000) hold
// a pointer to the row's new place.
class OverflowPointer : public testing::Test {
 protected:
  // Finds the first overflow slot of Table1 and returns where its pointer is stored.
  void SetUp() override {
    SKIP_WITHOUT_FIXTURES();
    copy_ = std::make_unique<DamagedCopy>("jackcess_overflow2000.mdb");
    jet::Table t = copy_->db().OpenTable("Table1");
    for (uint32_t page : t.OwnedPages()) {
      jet::PinnedView bytes = copy_->db().pager().Page(page);
      if (bytes.U8(0) != jet::kPageData) continue;
      jet::DataPageReader reader(bytes);
      for (uint16_t r = 0; r < reader.row_count() && !pointer_offset_; ++r) {
        jet::RowSlot s = reader.Row(r);
        if (s.deleted || !s.overflow) continue;
        slot_ = RowPointer{page, static_cast<uint8_t>(r)};
        pointer_offset_ = copy_->OffsetOf(page, s.bytes);
      }
    }
    ASSERT_NE(pointer_offset_, 0u) << "no overflow row found";
  }

  std::unique_ptr<DamagedCopy> copy_;
  RowPointer slot_;
  uint64_t pointer_offset_ = 0;
};

TEST_F(OverflowPointer, ToItself) {
  copy_->PutU32(pointer_offset_, slot_.ToStored());
  ExpectDetected(copy_->Read());
}

TEST_F(OverflowPointer, PastTheEndOfTheFile) {
  copy_->PutU32(pointer_offset_, RowPointer{copy_->page_count(), 0}.ToStored());
  ExpectDetected(copy_->Read());
}

TEST_F(OverflowPointer, ToARowThePageDoesNotHave) {
  copy_->PutU32(pointer_offset_, RowPointer{slot_.page, 250}.ToStored());
  ExpectDetected(copy_->Read());
}

// An overflow pointer damaged to name another owner's page (here the free-page map) must
// not be decoded as a row of the table: Table1 has no index, so only the owner check on the
// target page can notice.
TEST_F(OverflowPointer, ToAnotherOwnersPage) {
  copy_->PutU32(pointer_offset_, RowPointer{1, 0}.ToStored());
  ExpectDetected(copy_->Read());
}

// Random damage: flip bytes anywhere after the header page of a small database, read
// everything, and accept only success or a JetError. A fixed seed keeps failures
// reproducible; the message names the iteration and the bytes changed. For longer local
// runs, JET_FUZZ_ITERATIONS multiplies the iterations and JET_FUZZ_SEED changes the seed.
void FuzzFixture(const char* file, int iterations, uint32_t seed) {
  if (const char* scale = std::getenv("JET_FUZZ_ITERATIONS")) iterations *= std::atoi(scale);
  if (const char* s = std::getenv("JET_FUZZ_SEED")) seed += static_cast<uint32_t>(std::atoi(s));
  ScratchDir dir;
  const std::vector<uint8_t> pristine = testing_support::ReadBytes(Fixture(file));
  auto path = dir.path() / file;
  std::mt19937 random(seed);
  std::uniform_int_distribution<size_t> offset(jet::kPageSize, pristine.size() - 1);
  std::uniform_int_distribution<int> flips(1, 24), byte(1, 255);
  int detected = 0;
  for (int i = 0; i < iterations; ++i) {
    std::vector<uint8_t> bytes = pristine;
    std::string changes;
    for (int n = flips(random); n > 0; --n) {
      size_t at = offset(random);
      uint8_t mask = static_cast<uint8_t>(byte(random));
      bytes[at] ^= mask;
      changes += " " + std::to_string(at) + "^" + std::to_string(mask);
    }
    testing_support::WriteBytes(path, bytes);
    Outcome o = IsolatedFullRead(path, "", 10);
    ASSERT_TRUE(o.kind == Outcome::kRead || o.kind == Outcome::kJetError)
        << file << " iteration " << i << " flipped" << changes << ": " << o.Describe();
    detected += o.kind == Outcome::kJetError || o.problems > 0;
  }
  // Most random damage is noticed; a suite where nothing is would be testing nothing.
  EXPECT_GT(detected, iterations / 4) << file;
}

TEST(DamagedInput, RandomByteFlipsInABlankDatabase) {
  SKIP_WITHOUT_FIXTURES();
  FuzzFixture("jackcess_empty2000.mdb", 300, 20240611);
}

TEST(DamagedInput, RandomByteFlipsInADatabaseWithRowsAndIndexes) {
  SKIP_WITHOUT_FIXTURES();
  FuzzFixture("jackcess_indextest2000.mdb", 150, 7);
}

}  // namespace

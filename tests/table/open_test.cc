// Opening files: which ones are refused and with which error, and the database password.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "jet/error.h"
#include "jet/table/catalog.h"
#include "jet/table/database.h"
#include "jet/table/table.h"
#include "tests/test_support.h"

namespace {

using jet::Database;
using jet::ErrorKind;
using jet::JetError;
using jet::Problem;
using testing_support::Fixture;
using testing_support::ScratchDir;

// Opens `path` and returns the error it throws; fails the test if it opens.
JetError OpenError(const std::filesystem::path& path, const std::string& password = "") {
  try {
    Database::Open(path, password);
  } catch (const JetError& e) {
    return e;
  }
  ADD_FAILURE() << path << " opened";
  return JetError(Problem::kInternalNoTransaction);  // any problem: the test failed
}

size_t CountRows(Database& db, const std::string& table) {
  size_t rows = 0;
  db.OpenTable(table).Scan([&](jet::RowPointer, const std::vector<jet::Value>&) {
    ++rows;
    return true;
  });
  return rows;
}

TEST(Open, OtherAccessFormatsAreUnsupported) {
  SKIP_WITHOUT_FIXTURES();
  for (const char* file : {"negative_jet3_deltest1997.mdb", "negative_ace12_empty2007.accdb"}) {
    JetError e = OpenError(Fixture(file));
    EXPECT_EQ(e.kind(), ErrorKind::kUnsupported) << file;
    EXPECT_EQ(e.facts().file, Fixture(file).string()) << e.what();
  }
  // The message names what the file is, so support staff know which tool to reach for.
  EXPECT_EQ(OpenError(Fixture("negative_jet3_deltest1997.mdb")).problem(), Problem::kJet3);
  EXPECT_EQ(OpenError(Fixture("negative_ace12_empty2007.accdb")).problem(), Problem::kAce);
}

TEST(Open, PasswordMustMatchExactly) {
  SKIP_WITHOUT_FIXTURES();
  struct Case {
    const char* file;
    const char* password;
    const char* table;  // a table to read once open ("" for a blank database)
    size_t rows;
  };
  for (const Case& c : {Case{"mdbreader_password2000.mdb", "password", "Table1", 3},
                        Case{"mdbreader_password2003.mdb", "password", "Table1", 3},
                        Case{"ucanaccess_password_blank.mdb", "ucanaccess", "", 0}}) {
    SCOPED_TRACE(c.file);
    auto db = Database::Open(Fixture(c.file), c.password);
    if (*c.table) {
      EXPECT_EQ(CountRows(*db, c.table), c.rows);
    }
    std::string pw = c.password;
    std::string upper = pw;
    for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    // Wrong, empty, differently cased, truncated and extended passwords are all refused.
    for (const std::string& wrong : {std::string("wrong"), std::string(), upper,
                                     pw.substr(0, pw.size() - 1), pw + "x", pw + " "}) {
      JetError e = OpenError(Fixture(c.file), wrong);
      EXPECT_EQ(e.kind(), ErrorKind::kBadPassword) << "'" << wrong << "'";
    }
  }
}

TEST(Open, FileWithoutPasswordOpensWithAnyPassword) {
  SKIP_WITHOUT_FIXTURES();
  for (const char* pw : {"", "password", "anything at all"}) {
    auto db = Database::Open(Fixture("jackcess_overflow2000.mdb"), pw);
    EXPECT_EQ(CountRows(*db, "Table1"), 7u) << pw;
  }
}

TEST(Open, EncodedDatabaseIsReadable) {
  SKIP_WITHOUT_FIXTURES();
  auto db = Database::Open(Fixture("jackcessencrypt_rc4.mdb"), "");
  EXPECT_NE(db->header().database_key, 0u);
  auto tables = db->catalog().OfKind(jet::ObjectKind::kUserTable);
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0]->name, "Table1");
  EXPECT_EQ(CountRows(*db, "Table1"), 2u);
}

TEST(Open, MissingPathIsNotFound) {
  ScratchDir dir;
  EXPECT_EQ(OpenError(dir.path() / "no-such-file.mdb").kind(), ErrorKind::kNotFound);
  EXPECT_EQ(OpenError(dir.path() / "no-such-dir" / "x.mdb").kind(), ErrorKind::kNotFound);
}

TEST(Open, DirectoryIsRefused) {
  ScratchDir dir;
  // Any JetError will do (the OS decides between a refused open and a failed read); it
  // must not be read as a database, nor escape as another exception type.
  JetError e = OpenError(dir.path());
  EXPECT_NE(e.kind(), ErrorKind::kBadPassword);
}

TEST(Open, FilesThatAreNotDatabasesAreUnsupported) {
  ScratchDir dir;
  auto write = [&](const char* name, const std::string& text) {
    auto path = dir.path() / name;
    testing_support::WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
    return path;
  };
  std::string hundred(100, '\0');
  for (size_t i = 0; i < hundred.size(); ++i) hundred[i] = static_cast<char>(i * 37 + 11);
  std::string text;
  for (int i = 0; i < 500; ++i) text += "Name,City\r\nSomebody,Somewhere\r\n";
  for (const auto& path : {write("empty.mdb", ""), write("hundred.mdb", hundred),
                           write("text.mdb", text), write("zeros.mdb", std::string(20000, '\0'))}) {
    JetError e = OpenError(path);
    EXPECT_EQ(e.problem(), Problem::kNotJet) << path << ": " << e.what();
  }
}

// A real header on a file too short to hold the catalog: recognised as Jet 4, then refused
// as damaged rather than read past its end.
TEST(Open, TruncatedJet4FileIsCorrupt) {
  SKIP_WITHOUT_FIXTURES();
  ScratchDir dir;
  std::vector<uint8_t> bytes = testing_support::ReadBytes(Fixture("jackcess_empty2000.mdb"));
  for (size_t size : {size_t{100}, size_t{4096}, size_t{6144}, size_t{8192}}) {
    auto path = dir.path() / ("short" + std::to_string(size) + ".mdb");
    testing_support::WriteBytes(path, std::vector<uint8_t>(bytes.begin(), bytes.begin() + size));
    EXPECT_EQ(OpenError(path).kind(), ErrorKind::kCorrupt) << size;
  }
}

TEST(Open, ReadOnlyOpenLeavesTheFileUntouched) {
  SKIP_WITHOUT_FIXTURES();
  ScratchDir dir;
  auto path = dir.Copy(Fixture("northwind2000.mdb"));
  auto before = testing_support::ReadBytes(path);
  auto mtime = std::filesystem::last_write_time(path);
  {
    auto db = Database::Open(path, "");
    EXPECT_EQ(CountRows(*db, "Order Details"), 2155u);
    EXPECT_THROW(db->Begin(), JetError);  // writes need a writable open
  }
  EXPECT_EQ(testing_support::ReadBytes(path), before);
  EXPECT_EQ(std::filesystem::last_write_time(path), mtime);
  EXPECT_FALSE(std::filesystem::exists(path.string() + "-journal"));
}

TEST(Open, UnknownTableIsNotFound) {
  SKIP_WITHOUT_FIXTURES();
  auto db = Database::Open(Fixture("northwind2000.mdb"), "");
  try {
    db->OpenTable("No Such Table");
    FAIL() << "opened";
  } catch (const JetError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::kNotFound);
  }
  // Names match without regard to case, as in Access.
  EXPECT_EQ(db->OpenTable("order details").name(), "Order Details");
}

}  // namespace

// Writes the fuzz targets' seed inputs, all made by this project's own engine and from the
// product's own statements:
//
//   seed_maker DIR     creates DIR/open, DIR/sql, DIR/connection_string and DIR/writer
//
// fuzz/run.sh fuzzes from fuzz/corpus/<target>, which holds these seeds (merged with what
// fuzzing found); run this again after changing what the seeds should cover.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "fuzz/scratch_file.h"
#include "fuzz/small_database.h"
#include "jet/format/database_header.h"
#include "jet/format/page_size.h"
#include "jet/format/rc4.h"
#include "jet/sql/session.h"
#include "jet/table/database_creator.h"
#include "upgrade/column_additions.h"
#include "upgrade/product_database.h"
#include "upgrade/table_catalogue.h"
#include "upgrade/template_ref.h"

namespace fs = std::filesystem;

namespace {

void WriteSeed(const fs::path& dir, const std::string& name, const std::string& bytes) {
  fs::create_directories(dir);
  std::ofstream(dir / name, std::ios::binary) << bytes;
}

// A database built by `fill` in a scratch file, as bytes.
template <typename Fill>
std::string DatabaseBytes(const std::string& password, jet::SortOrder order, Fill fill) {
  fuzz::ScratchFile file("seed");
  file.Remove();
  jet::CreateDatabase(file.path(), password, order);
  {
    jet::sql::Session session(file.path(), password);
    fill(session);
  }
  return fuzz::ReadWholeFile(file.path());
}

// The same database with its pages encoded under a page key, as "Encrypt Database" leaves it.
std::string WithPageCipher(std::string bytes, uint32_t key) {
  std::span<uint8_t> all(reinterpret_cast<uint8_t*>(bytes.data()), bytes.size());
  std::span<uint8_t> page0 = all.first(jet::kPageSize);
  jet::DatabaseHeader header = jet::DecodeDatabaseHeader(jet::ByteView(page0.data(), page0.size()));
  header.database_key = key;
  jet::EncodeDatabaseHeader(header, page0);
  for (size_t n = 1; n < bytes.size() / jet::kPageSize; ++n) {
    jet::ApplyPageCipher(key, static_cast<uint32_t>(n),
                         all.subspan(n * jet::kPageSize, jet::kPageSize));
  }
  return bytes;
}

void WriteDatabaseSeeds(const fs::path& dir) {
  const std::string small =
      DatabaseBytes(upgrade::kDatabasePassword, jet::kGeneralSortOrder, [](jet::sql::Session& s) {
        for (const auto& st : fuzz::SmallDatabaseStatements()) s.Execute(st);
      });
  WriteSeed(dir, "small", small);
  WriteSeed(dir, "small-encoded", WithPageCipher(small, 0x5A17C0DE));
  WriteSeed(dir, "blank-no-password",
            DatabaseBytes("", jet::kGeneralSortOrder, [](jet::sql::Session&) {}));
  // Sort order 2052 (Chinese PRC) with text keys (of characters it can encode), and enough rows
  // for an index of two levels.
  WriteSeed(dir, "indexed-2052",
            DatabaseBytes(
                upgrade::kDatabasePassword, jet::SortOrder{2052, 0, 0}, [](jet::sql::Session& s) {
                  s.Execute("CREATE TABLE dq (name varchar(30) PRIMARY KEY, code int)");
                  for (int i = 0; i < 300; ++i) {
                    s.Execute("insert into dq(name,code) values('Region " +
                              std::to_string(i * 7919 % 1000) + "'," + std::to_string(i) + ")");
                  }
                }));
}

std::vector<std::string> ProductStatements() {
  std::vector<std::string> s;
  for (const auto& entry : upgrade::TableCatalogue()) s.push_back(entry.statement);
  for (const auto& phase : upgrade::ColumnPhases()) {
    s.push_back(phase.reading_query);
    for (const auto& column : phase.columns) s.push_back(column.statement);
  }
  const std::string templ = upgrade::MakeTemplateRef("my.sys");
  const std::string others[] = {
      "select * from search where tablenum=10 or tablenum=11",
      "delete from Search where tablenum=10 or tablenum=11",
      "delete from search where id=85",
      "delete from search where name='创建时间'",
      "delete from search where name='自定义字段'",
      "insert into search(id,name,field,numtype,tablename,tablenum) "
      "values(88,'自定义字段','creattime','str','Customer',1)",
      "INSERT INTO sj ( CodeB, CodeE, DQ, city, QH, type ) SELECT sj.CodeB, sj.CodeE, sj.DQ, "
      "sj.city, sj.QH, sj.type FROM " +
          templ + "sj",
      "SELECT * into zdy FROM " + templ + "zdy",
      "INSERT INTO sfz ( bm,dq ) SELECT sfz.bm, sfz.dq FROM sfz",
      "SELECT * into zdy FROM sj where qh >= 757 and not (type is null)",
      "SELECT id, -qh AS negative, 'text' FROM sj AS s WHERE s.qh <> 760 OR city = '深圳'",
      "select name, money, creattime, vip from Customer where money > -1.5e2",
  };
  s.insert(s.end(), std::begin(others), std::end(others));
  return s;
}

void WriteTextSeeds(const fs::path& dir, const std::vector<std::string>& texts) {
  for (size_t i = 0; i < texts.size(); ++i) WriteSeed(dir, std::to_string(i), texts[i]);
}

// Writer inputs are byte programs; random ones of a few lengths get it started.
void WriteWriterSeeds(const fs::path& dir) {
  std::mt19937 random(20240601);
  for (size_t length : {16, 48, 96, 200, 400}) {
    std::string bytes(length, '\0');
    for (char& b : bytes) b = static_cast<char>(random());
    WriteSeed(dir, "random-" + std::to_string(length), bytes);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
    return 2;
  }
  const fs::path dir = argv[1];
  WriteDatabaseSeeds(dir / "open");
  std::vector<std::string> sql = ProductStatements();
  sql.insert(sql.end(), fuzz::SmallDatabaseStatements().begin(),
             fuzz::SmallDatabaseStatements().end());
  WriteTextSeeds(dir / "sql", sql);
  WriteTextSeeds(dir / "connection_string",
                 {upgrade::ConnectionStringFor("C:\\crm\\sys\\Custom.sys"),
                  "provider=microsoft.jet.oledb.4.0; pwd = x ;data source = /tmp/a;b.sys",
                  "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=x.accdb",
                  "Data Source=;Provider=Microsoft.Jet.OLEDB.4.0", "Password=a=b;;;=;"});
  WriteWriterSeeds(dir / "writer");
  return 0;
}

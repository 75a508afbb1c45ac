// Fuzz target: a write into a damaged file. The input damages a copy of the small database
// (pages cut off, zeroed, scribbled on, swapped or copied over each other, a file that ends
// inside a page), then one write statement runs on it. What must hold:
//  - reading a table either returns every row it had before the damage or fails;
//  - the statement either is refused and the file is byte for byte as it was, or succeeds
//    and the checker finds nothing it did not find before.
// A fault is a crash, a hang, an exception other than the engine's, or a broken promise above
// (reported with abort(), so libFuzzer keeps the input).
//
// Input: byte 0 chooses the statement; then up to eight damages of five bytes each
// (kind, page, two offset bytes, value), applied to the decoded pages.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "fuzz/scratch_file.h"
#include "fuzz/small_database.h"
#include "jet/error.h"
#include "jet/format/database_header.h"
#include "jet/format/page_size.h"
#include "jet/format/rc4.h"
#include "jet/sql/session.h"
#include "jet/table/checker.h"
#include "jet/table/database.h"
#include "jet/table/table.h"
#include "upgrade/product_database.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The product's own kinds of write: rows added and deleted (long values among them), tables
// created and filled from others, columns added.
const std::vector<std::string>& Statements() {
  static const std::vector<std::string> statements = {
      "insert into search(id,name,field,numtype,tablename,tablenum) "
      "values(87,'创建时间','creattime','str','ContactPerson',2)",
      "delete from search where tablenum=10 or tablenum=11",
      "CREATE TABLE findtable (id COUNTER  PRIMARY KEY,name varchar(255),content text,"
      "tablename varchar(50))",
      "alter table customer add qq varchar(255)",
      "alter table Customer add pic2 image",
      "INSERT INTO sfz ( bm,dq ) SELECT sj.qh, sj.city FROM sj",
      "SELECT * into zdy FROM sj",
      "insert into Customer(name,bz) values('新客户','" + std::string(2500, 'y') + "')",
      "delete from Customer where name='长备注'",
  };
  return statements;
}

struct Original {
  Bytes bytes;  // decoded pages (no page cipher), so damages hit what the engine reads
  uint32_t key = 0;
  std::map<std::string, size_t> rows;
};

const Original& SmallDatabase() {
  static const Original original = [] {
    Original o;
    fuzz::ScratchFile file("damaged_write_base");
    file.Remove();
    fuzz::CreateSmallDatabase(file.path());
    std::string raw = fuzz::ReadWholeFile(file.path());
    o.bytes.assign(raw.begin(), raw.end());
    o.key = jet::DecodeDatabaseHeader(jet::ByteView(o.bytes.data(), jet::kPageSize)).database_key;
    auto db = jet::Database::Open(file.path(), upgrade::kDatabasePassword);
    for (const jet::CatalogEntry& e : db->catalog().entries()) {
      if (e.kind != jet::ObjectKind::kUserTable && e.kind != jet::ObjectKind::kSystemTable) {
        continue;
      }
      o.rows[e.name] = db->OpenTable(e).CountRows();
    }
    db.reset();
    file.Remove();
    for (uint32_t n = 1; o.key != 0 && n < o.bytes.size() / jet::kPageSize; ++n) {
      jet::ApplyPageCipher(o.key, n,
                           std::span(o.bytes).subspan(size_t{n} * jet::kPageSize, jet::kPageSize));
    }
    return o;
  }();
  return original;
}

Bytes Damaged(const Original& o, const uint8_t* data, size_t size) {
  Bytes b = o.bytes;
  for (size_t at = 1; at + 5 <= size && at < 1 + 8 * 5; at += 5) {
    const size_t pages = b.size() / jet::kPageSize;
    if (pages == 0) break;
    const uint8_t kind = data[at] % 5, value = data[at + 4];
    const size_t page = data[at + 1] % pages;
    const size_t offset = ((size_t{data[at + 2]} << 8) | data[at + 3]) % jet::kPageSize;
    uint8_t* p = b.data() + page * jet::kPageSize;
    switch (kind) {
      case 0:  // cut short, at the page or inside it
        b.resize(page * jet::kPageSize + (value & 1 ? offset : 0));
        break;
      case 1:
        std::fill_n(p, jet::kPageSize, 0);
        break;
      case 2:
        p[offset] ^= value | 1;
        break;
      case 3:
      case 4: {
        uint8_t* q = b.data() + (value % pages) * jet::kPageSize;
        if (kind == 3) {
          std::swap_ranges(p, p + jet::kPageSize, q);
        } else {
          std::copy_n(p, jet::kPageSize, q);
        }
        break;
      }
    }
  }
  for (size_t n = 1; o.key != 0 && n < b.size() / jet::kPageSize; ++n) {
    jet::ApplyPageCipher(o.key, static_cast<uint32_t>(n),
                         std::span(b).subspan(n * jet::kPageSize, jet::kPageSize));
  }
  return b;
}

// What the checker finds, places left out; a file it cannot open, that failure.
std::multiset<jet::Finding> Findings(const std::filesystem::path& path) {
  try {
    return jet::CheckDatabase(*jet::Database::Open(path, upgrade::kDatabasePassword))
        .FindingsWithoutPlaces();
  } catch (const jet::JetError& e) {
    return {jet::FindingOf(e).WithoutPlaces()};
  }
}

void Fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "damaged_write: %s: %s\n", what, detail.c_str());
  std::abort();
}

// Reads check every reference they follow, but some damage leaves nothing wrong on the
// path a read takes: a slot flagged deleted and nothing else (it reads as a deleted row, and
// only the row count, which Access itself leaves off at times, still counts it: a note, not
// damage), or several pages copied over each other so that another structure stands in whole
// for the table's. Then the checker, which compares indexes, counts and maps with the rows,
// must say so, as damage or as a note.
bool CheckerFindsDamage(const std::filesystem::path& path) {
  return !Findings(path).empty();
}

void ExpectWholeReads(const std::filesystem::path& path, const Original& o) {
  std::unique_ptr<jet::Database> db;
  try {
    db = jet::Database::Open(path, upgrade::kDatabasePassword);
  } catch (const jet::JetError&) {
    return;
  }
  for (const auto& [table, rows] : o.rows) {
    try {
      size_t read = 0;
      db->OpenTable(table).Scan([&](jet::RowPointer, const std::vector<jet::Value>&) {
        ++read;
        return true;
      });
      if (read != rows && !CheckerFindsDamage(path)) Fail("a table read short", table);
    } catch (const jet::JetError&) {
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const Original& original = SmallDatabase();
  static fuzz::ScratchFile file("damaged_write");
  const Bytes damaged = Damaged(original, data, size);
  file.Write(damaged);

  ExpectWholeReads(file.path(), original);
  const std::string& statement = Statements()[data[0] % Statements().size()];
  std::string refused;
  try {
    jet::sql::Session session(file.path(), upgrade::kDatabasePassword);
    session.Execute(statement);
  } catch (const jet::JetError& e) {
    refused = e.what();
  }
  if (!refused.empty()) {
    const std::string now = fuzz::ReadWholeFile(file.path());
    if (now.size() != damaged.size() || std::memcmp(now.data(), damaged.data(), now.size()) != 0) {
      Fail("a refused statement changed the file", statement + ": " + refused);
    }
    return 0;
  }
  // What the checker found before the write, on the damaged bytes in a file of their own:
  // worked out only when the write went ahead, so refused writes cost one check less.
  static fuzz::ScratchFile before_file("damaged_write_before");
  before_file.Write(damaged);
  const std::multiset<jet::Finding> before = Findings(before_file.path());
  for (const jet::Finding& f : Findings(file.path())) {
    if (!before.count(f)) Fail(("a write left a new finding: " + f.Text()).c_str(), statement);
  }
  return 0;
}

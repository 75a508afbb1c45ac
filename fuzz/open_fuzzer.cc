// Fuzz target: a database file's bytes. Opens it (with the product's password, then with the
// one its header holds, then with a wrong one), reads every table's rows with their long
// values, and runs the checker. Damaged bytes must end in a JetError: any other exception,
// a crash, a hang or a huge allocation is a fault.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "fuzz/product_password.h"
#include "fuzz/scratch_file.h"
#include "jet/error.h"
#include "jet/format/database_header.h"
#include "jet/format/page_size.h"
#include "jet/format/unicode.h"
#include "jet/table/checker.h"
#include "jet/table/database.h"
#include "jet/table/table.h"

namespace {

// The password page 0 stores, or "" when the bytes are no Jet 4 header.
std::string StoredPassword(std::span<const uint8_t> bytes) {
  if (bytes.size() < jet::kPageSize) return "";
  jet::ByteView page0(bytes.data(), jet::kPageSize);
  if (jet::DetectFormat(page0) != jet::FileFormat::kJet4) return "";
  return jet::Utf16ToUtf8(jet::DecodeDatabaseHeader(page0).password);
}

std::unique_ptr<jet::Database> OpenAnyway(const std::filesystem::path& path,
                                          std::span<const uint8_t> bytes) {
  try {
    return jet::Database::Open(path, fuzz::kProductPassword);
  } catch (const jet::JetError& e) {
    if (e.kind() != jet::ErrorKind::kBadPassword) throw;
  }
  // A wrong password is refused before anything else is read.
  try {
    jet::Database::Open(path, "not the password");
  } catch (const jet::JetError&) {
  }
  return jet::Database::Open(path, StoredPassword(bytes));
}

void ReadEverything(jet::Database& db) {
  for (const jet::CatalogEntry& entry : db.catalog().entries()) {
    if (entry.kind != jet::ObjectKind::kUserTable && entry.kind != jet::ObjectKind::kSystemTable)
      continue;
    try {
      jet::Table table = db.OpenTable(entry);
      size_t scanned = 0;
      table.Scan([&](jet::RowPointer where, const std::vector<jet::Value>&) {
        // Reading a row again by its pointer must work for every row a scan found.
        if (scanned++ < 8) table.ReadRow(where);
        return true;
      });
      table.CountRows();
    } catch (const jet::JetError&) {
      // One damaged table must not hide the others.
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::ScratchFile file("open");
  std::span<const uint8_t> bytes(data, size);
  file.Write(bytes);
  try {
    std::unique_ptr<jet::Database> db = OpenAnyway(file.path(), bytes);
    ReadEverything(*db);
    jet::CheckDatabase(*db);
  } catch (const jet::JetError&) {
  }
  return 0;
}

// Fuzz target: a database file's bytes. Opens it (with the product's password, then with the
// one its header holds, then with a wrong one), reads every table's rows with their long
// values, and runs the checker. Damaged bytes must end in a JetError: any other exception,
// a crash, a hang or a huge allocation is a fault.
//
// The mutator keeps the page structure: it mostly changes a few bytes inside one page (seen
// through the page cipher when the file has a page key, so it changes what the engine reads,
// not the cipher's noise), sometimes copies a page over another or drops the last pages, and
// only now and then mutates the raw bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <span>
#include <string>

#include "base/unicode.h"
#include "fuzz/scratch_file.h"
#include "jet/error.h"
#include "jet/format/database_header.h"
#include "jet/format/page_size.h"
#include "jet/format/rc4.h"
#include "jet/table/checker.h"
#include "jet/table/database.h"
#include "jet/table/table.h"
#include "upgrade/product_database.h"

// libFuzzer's own mutation, for the custom mutator to apply to a part of the input.
extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t max_size);

namespace {

// The password page 0 stores, or "" when the bytes are no Jet 4 header.
std::string StoredPassword(std::span<const uint8_t> bytes) {
  if (bytes.size() < jet::kPageSize) return "";
  jet::ByteView page0(bytes.data(), jet::kPageSize);
  if (jet::DetectFormat(page0) != jet::FileFormat::kJet4) return "";
  return base::Utf16ToUtf8(jet::DecodeDatabaseHeader(page0).password);
}

std::unique_ptr<jet::Database> OpenAnyway(const std::filesystem::path& path,
                                          std::span<const uint8_t> bytes) {
  try {
    return jet::Database::Open(path, upgrade::kDatabasePassword);
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

uint32_t PageKey(const uint8_t* data, size_t size) {
  if (size < jet::kPageSize) return 0;
  jet::ByteView page0(data, jet::kPageSize);
  if (jet::DetectFormat(page0) != jet::FileFormat::kJet4) return 0;
  return jet::DecodeDatabaseHeader(page0).database_key;
}

// Mutates up to 64 bytes of page `page` in place, seen through the page cipher.
void MutateInsidePage(uint8_t* data, size_t page, uint32_t key, std::minstd_rand& random) {
  std::span<uint8_t> bytes(data + page * jet::kPageSize, jet::kPageSize);
  const bool coded = key != 0 && page != 0;
  if (coded) jet::ApplyPageCipher(key, static_cast<uint32_t>(page), bytes);
  const size_t offset = random() % jet::kPageSize;
  const size_t length = std::min<size_t>(1 + random() % 64, jet::kPageSize - offset);
  uint8_t window[64];
  std::memcpy(window, bytes.data() + offset, length);
  const size_t kept = LLVMFuzzerMutate(window, length, length);
  std::memcpy(bytes.data() + offset, window, std::min(kept, length));
  if (coded) jet::ApplyPageCipher(key, static_cast<uint32_t>(page), bytes);
}

}  // namespace

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t max_size,
                                          unsigned int seed) {
  std::minstd_rand random(seed);
  const size_t pages = size / jet::kPageSize;
  const unsigned choice = random() % 16;
  if (pages < 2 || choice == 0) return LLVMFuzzerMutate(data, size, max_size);
  if (choice == 1) {  // a page in another page's place
    const size_t from = random() % pages, to = random() % pages;
    std::memmove(data + to * jet::kPageSize, data + from * jet::kPageSize, jet::kPageSize);
    return size;
  }
  if (choice == 2) return (pages - 1 - random() % (pages / 2)) * jet::kPageSize;  // cut short
  const uint32_t key = PageKey(data, size);
  const size_t changes = 1 + random() % 3;
  for (size_t i = 0; i < changes; ++i) MutateInsidePage(data, random() % pages, key, random);
  return size;
}

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

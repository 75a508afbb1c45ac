// Shared helpers for the write-path suites (write_*_test.cc, tests/file/crash_safety_test.cc):
// building values, reading a table back keyed by its ID column, comparing values, and the
// consistency check and page census every write test ends with. Header-only: the test
// binary's sources are the *_test.cc glob.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <iterator>
#include <map>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "jet/error.h"
#include "jet/file/os_file.h"
#include "jet/format/value.h"
#include "jet/table/checker.h"
#include "jet/table/database.h"
#include "jet/table/schema_change.h"
#include "jet/table/table.h"
#include "jet/table/table_writer.h"
#include "tests/clean_file.h"

namespace jet {
// Error kinds by name in test failure messages.
inline void PrintTo(ErrorKind kind, std::ostream* os) {
  static const char* const kNames[] = {"kIo",          "kCorrupt",    "kUnsupported",
                                       "kBadPassword", "kNotFound",   "kInUse",
                                       "kReadOnly",    "kConstraint", "kInvalid"};
  size_t i = static_cast<size_t>(kind);
  *os << (i < std::size(kNames) ? kNames[i] : "?");
}
}  // namespace jet

namespace write_test {

inline jet::Value Null() {
  return jet::Value::Null();
}
inline jet::Value Long(int32_t v) {
  return jet::Value::Long(v);
}
inline jet::Value Text(std::string s) {
  return jet::Value::Text(std::move(s));
}
inline jet::Value Bool(bool b) {
  return jet::Value::Boolean(b);
}
inline jet::Value Integer(int16_t v) {
  return {jet::ValueKind::kInteger, v, 0, {}, {}};
}
inline jet::Value Byte(uint8_t v) {
  return {jet::ValueKind::kByte, v, 0, {}, {}};
}
inline jet::Value Currency(int64_t ten_thousandths) {
  return {jet::ValueKind::kCurrency, ten_thousandths, 0, {}, {}};
}
inline jet::Value Double(double d) {
  return {jet::ValueKind::kDouble, 0, d, {}, {}};
}
inline jet::Value Date(double days) {
  return {jet::ValueKind::kDateTime, 0, days, {}, {}};
}
inline jet::Value Binary(std::vector<uint8_t> b) {
  return {jet::ValueKind::kBinary, 0, 0, {}, std::move(b)};
}

// Equality of two values as the reader returns them (kind and payload; NaN never occurs).
inline bool SameValue(const jet::Value& a, const jet::Value& b) {
  if (a.kind != b.kind) return false;
  switch (a.kind) {
    case jet::ValueKind::kNull:
      return true;
    case jet::ValueKind::kSingle:
    case jet::ValueKind::kDouble:
    case jet::ValueKind::kDateTime:
      return a.real == b.real;
    case jet::ValueKind::kText:
    case jet::ValueKind::kNumeric:
      return a.text == b.text;
    case jet::ValueKind::kBinary:
    case jet::ValueKind::kGuid:
      return a.bytes == b.bytes;
    default:
      return a.integer == b.integer;
  }
}

inline std::string Show(const jet::Value& v) {
  if (v.IsNull()) return "NULL";
  std::string text = jet::ValueToText(v);
  if (text.size() > 80) text = text.substr(0, 80) + "...(" + std::to_string(text.size()) + ")";
  return text;
}

// Common CJK characters (3 bytes each in UTF-8) for Chinese test text.
inline const std::vector<std::string>& ChineseCharacters() {
  static const std::vector<std::string> chars = [] {
    const std::string all =
        "的一是在不了有和人这中大为上个国我以要他时来用们生到作地于出就分对成会可主发年动同工"
        "也能下过子说产种面而方后多定行学法所民得经十三之进着等部度家电力里如水化高自二理起小物"
        "现实加量都两体制机当使点从业本去把性好应开它合还因由其些然前外天政四日那社义事平形相全"
        "表间样与关各重新线内数正心反你明看原又么利比或但质气第向道命此变条只没结解问意建月公无"
        "系军很情者最立代想已通并提直题党程展五果料象员革位入常文总次品式活设及管特件长求老头基"
        "资边流路级少图山统接知较将组见计别她手角期根论运农指几九区强放决西被干做必战先回则任取"
        "据处队南给色光门即保治北造百规热领七海口东导器压志世金增争济阶油思术极交受联什认六共权"
        "收证改清己美再采转更单风切打白教速花带安场身车例真务具万每目至达走积示议声报斗完类八离"
        "华名确才科张信马节话米整空元况今集温传土许步群广石记需段研界拉林律叫且究观越织装影算低"
        "持音众书布复容儿须际商非验连断深难近矿千周委素技备半办青省列习响约支般史感劳便团往酸历"
        "市克何除消构府称太准精值号率族维划选标写存候毛亲快效斯院查江型眼王按格养易置派层片始却"
        "专状育厂京识适属圆包火住调满县局照参红细引听该铁价严";
    std::vector<std::string> out;
    for (size_t i = 0; i + 3 <= all.size(); i += 3) out.push_back(all.substr(i, 3));
    return out;
  }();
  return chars;
}

inline std::string ChineseText(std::mt19937& rng, size_t characters) {
  const auto& chars = ChineseCharacters();
  std::string out;
  for (size_t i = 0; i < characters; ++i) out += chars[rng() % chars.size()];
  return out;
}

inline std::string AsciiText(std::mt19937& rng, size_t characters) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 -";
  std::string out;
  for (size_t i = 0; i < characters; ++i) out.push_back(kLetters[rng() % (sizeof kLetters - 1)]);
  return out;
}

inline std::vector<uint8_t> RandomBytes(std::mt19937& rng, size_t size) {
  std::vector<uint8_t> out(size);
  for (auto& b : out) b = static_cast<uint8_t>(rng());
  return out;
}

// Index of a column in definition().columns by name; fails the test when absent.
inline size_t ColumnIndex(const jet::TableDefinition& def, const std::string& name) {
  for (size_t i = 0; i < def.columns.size(); ++i) {
    if (def.columns[i].name == name) return i;
  }
  ADD_FAILURE() << "no column " << name;
  return 0;
}

// Every live row of `table`, keyed by the Long column `id_column`, with where it lives.
struct StoredRow {
  jet::RowPointer where;
  std::vector<jet::Value> values;
};
inline std::map<int32_t, StoredRow> ReadById(jet::Database& db, const std::string& table,
                                             const std::string& id_column) {
  std::map<int32_t, StoredRow> rows;
  jet::Table t = db.OpenTable(table);
  size_t id = ColumnIndex(t.definition(), id_column);
  t.Scan([&](jet::RowPointer where, const std::vector<jet::Value>& values) {
    bool fresh =
        rows.emplace(static_cast<int32_t>(values[id].integer), StoredRow{where, values}).second;
    EXPECT_TRUE(fresh) << "ID " << values[id].integer << " appears twice";
    return true;
  });
  return rows;
}

inline uint32_t DefinitionPageOf(jet::Database& db, const std::string& table) {
  const jet::CatalogEntry* entry = db.catalog().FindTable(table);
  if (!entry) throw jet::JetError(jet::Problem::kTableNotFound, {.table = table});
  return entry->DefinitionPage();
}

// No damage and no page leaked (tests/clean_file.h).
using testing_support::IsClean;

// Runs `body` and returns the JetError it throws; fails the test when it throws nothing.
template <typename F>
jet::JetError ExpectJetError(F&& body) {
  try {
    body();
  } catch (const jet::JetError& e) {
    return e;
  }
  ADD_FAILURE() << "no JetError was thrown";
  return jet::JetError(jet::Problem::kInternalNoTransaction);  // any problem: the test failed
}

inline bool Contains(const std::string& haystack, const std::string& needle) {
  return haystack.find(needle) != std::string::npos;
}

// Installs an I/O fault hook for its lifetime; the hook's behaviour is given as functions.
class ScopedFaultHook : public jet::IoFaultHook {
 public:
  using WriteRule = std::function<size_t(const std::filesystem::path&, uint64_t, size_t)>;
  using SyncRule = std::function<bool(const std::filesystem::path&)>;
  ScopedFaultHook(WriteRule write, SyncRule sync)
      : write_(std::move(write)), sync_(std::move(sync)) {
    jet::SetIoFaultHook(this);
  }
  ~ScopedFaultHook() override { jet::SetIoFaultHook(nullptr); }
  ScopedFaultHook(const ScopedFaultHook&) = delete;
  ScopedFaultHook& operator=(const ScopedFaultHook&) = delete;

  size_t BeforeWrite(const std::filesystem::path& path, uint64_t offset,
                     std::span<const uint8_t> data) override {
    return write_ ? write_(path, offset, data.size()) : data.size();
  }
  // Every operation other than a write counts as a flush here.
  bool BeforeOperation(const std::filesystem::path& path, jet::IoOperation, uint64_t) override {
    return sync_ ? sync_(path) : true;
  }

 private:
  WriteRule write_;
  SyncRule sync_;
};

// True when the build is instrumented (AddressSanitizer), to scale the heavier suites down.
constexpr bool kSanitized =
#if defined(__SANITIZE_ADDRESS__)
    true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    true;
#else
    false;
#endif
#else
    false;
#endif

}  // namespace write_test

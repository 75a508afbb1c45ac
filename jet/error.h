// The one error type of the engine. A failure is raised as a problem (what went wrong) and the
// facts it concerns (file, table, column, index, page...); its message is worded from those,
// in the product's language, by the one message table in error_messages.cc. Callers branch on
// the kind or the problem, never on the text.
#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

namespace jet {

enum class ErrorKind {
  kIo,           // the operating system refused a read, write, flush or open
  kCorrupt,      // the file's bytes contradict the format (bad offset, cycle, absurd count)
  kUnsupported,  // a valid file we do not handle (Jet 3, ACE, an unknown sort order for writes)
  kBadPassword,  // the database password does not match
  kNotFound,     // a file, table, column or index that does not exist
  kInUse,        // another connection holds the file
  kReadOnly,     // a write to a file opened (or only openable) for reading
  kConstraint,   // a unique index, a row too large, a value that does not fit its column
  kInvalid,      // a request that makes no sense (a bad name, a duplicate column)
  kNote,         // not a failure: what a consistency check notes that is not damage
};

// Every distinct failure. The message table lists them in this order; add a value there too.
enum class Problem : uint8_t {
  // The file and the operating system.
  kFileNotFound,
  kNotAFile,
  kFileInUse,
  kFileReadOnly,
  kAccessDenied,
  kFileExists,
  kDiskFull,
  kCannotOpen,
  kCannotLock,
  kCannotRead,
  kCannotWrite,
  kCannotFlush,
  kCannotResize,
  kCannotCreate,
  kCannotRemove,
  kNotRestored,
  kRecoveryFailed,
  kJournalNotOurs,
  kJournalUnreadable,
  kJournalOtherDatabase,
  kJournalFileChanged,
  kJournalNoOriginals,
  // The file's format and password.
  kNotJet,
  kJet3,
  kAce,
  kBadPassword,
  kPasswordTooLong,
  kDatabaseFull,
  // Damage: the file's bytes contradict the format.
  kDamagedFileEnd,
  kDamagedTooShort,
  kDamagedTooLarge,
  kDamagedPagePastEnd,
  kDamagedBlockOverrun,
  kDamagedRow,
  kDamagedColumn,
  kDamagedDataPage,
  kDamagedRowMissing,
  kDamagedRowPointer,
  kDamagedOverflowRow,
  kDamagedForeignPage,
  kDamagedUsageMap,
  kDamagedUsageMapPage,
  kDamagedLongValue,
  kDamagedLongValueChain,
  kDamagedMissingUsageMap,
  kDamagedNotDataPage,
  kDamagedNotIndexPage,
  kDamagedNotDefinitionPage,
  kDamagedDefinition,
  kDamagedDefinitionLoop,
  kDamagedSystemColumn,
  kDamagedColumnType,
  kDamagedIndexEntry,
  kDamagedIndexForeignPage,
  kDamagedIndexDepth,
  kDamagedIndexLoop,
  kDamagedIndexPagePastEnd,
  kDamagedUsageMapPastEnd,
  kDamagedNotLongValuePage,
  kDamagedPageType,
  kDamagedIndexStructure,
  kDamagedNoPagesForRows,
  kDamagedDefinitionChain,
  kDamagedSharedDefinition,
  kDamagedIndexEntryNoRow,
  kDamagedLongValueOutsideMap,
  kDamagedRefusedBeforeWriting,
  kDamagedIndexOrder,
  kDamagedIndexKey,
  kDamagedIndexEntryMissing,
  kDamagedIndexEntryTwice,
  kDamagedCatalogNotListed,
  kDamagedPageClaimedTwice,
  kDamagedPageClaimedAndFree,
  kDamagedUsageMapShared,
  // Not damage: what a consistency check notes because Access itself leaves files so.
  kNoteRowCount,
  kNoteLeakedPages,
  // Values, rows and keys that do not fit.
  kRecordTooLarge,
  kValueTooLarge,
  kGuidSize,
  kLongValueTooLarge,
  kIndexEntryTooLarge,
  kDuplicateKey,
  kNullInKey,
  kCannotIndex,
  kCannotCatalogName,
  kTypeMismatch,
  kTypeNotWritable,
  kCannotCatalogUnderSortOrder,
  kCannotIndexUnderSortOrder,
  kDecimalTooLarge,
  // Tables, fields and indexes.
  kTableExists,
  kTableNotFound,
  kFieldExists,
  kFieldNotFound,
  kFieldDefinedTwice,
  kTooManyFields,
  kNoFields,
  kTextLength,
  kBinaryLength,
  kAutonumberType,
  kAutonumberAssigned,
  kInvalidName,
  kIndexFieldMissing,
  kIndexFieldCount,
  // Statements.
  kSyntaxError,
  kQueryTooComplex,
  kTooManyItems,
  kValueCountMismatch,
  kSelectOnly,
  kSavedQuerySource,
  kExternalSelectInto,
  kExternalWrite,
  kSystemTableReadOnly,
  kNoTransaction,
  // The database contract: connections, queries and recordsets.
  kNotConnected,
  kNoProvider,
  kUnknownProvider,
  kNoDataSource,
  kQueryNotConnected,
  kObjectClosed,
  kBadClassString,
  kNoCurrentRecord,
  kItemNotFound,
  kNotUpdatable,
  // What an upgrade run needs of its two files, found missing before its first change.
  kUpgradeSameFile,
  kUpgradeTableMissing,
  kUpgradeColumnMissing,
  kUpgradeColumnNotNumeric,
  kUpgradeColumnAutonumber,
  // Faults of the program itself, not of the file or the request.
  kOutOfMemory,
  kUnexpected,
  kInternalNoTransaction,
  kInternalTransactionOpen,
  kInternalNoSavepoint,
  kInternalRowShape,
  kInternalStoredCopy,
  kInternalRowLength,
  kCount  // not a problem: the number of them
};

// The objects a failure concerns. Only the ones that apply are set; the message leaves out
// the words about an unset one where it can, so a fact can also be added by a caller that
// knows more (a statement knows its table and file, the page reader does not).
struct ErrorFacts {
  std::string file{};  // the database or other file, as the user named it
  std::string table{};
  std::string column{};
  std::string index{};
  std::string name{};    // another name: the text near a syntax error, a saved query, a bad name
  std::string detail{};  // a message of another failure this one wraps
  std::optional<uint64_t> page{};
  std::optional<uint64_t> row{};
  std::optional<uint64_t> number{};  // a count, size, position, code or sort order, as worded
  std::optional<uint64_t> limit{};
};

class JetError : public std::exception {
 public:
  JetError(Problem problem, ErrorFacts facts = {});
  ErrorKind kind() const { return kind_; }
  Problem problem() const { return problem_; }
  const ErrorFacts& facts() const { return facts_; }
  const char* what() const noexcept override { return message_.c_str(); }

  // Sets the facts this error does not have yet (a file, a table...), keeping its own.
  JetError& AddFacts(const ErrorFacts& more);

 private:
  Problem problem_;
  ErrorKind kind_;
  ErrorFacts facts_;
  std::string message_;
};

// Runs `body` and returns what it returns. A JetError escaping it gets `facts` that it does
// not have yet (AddFacts: its own file, table... stay) and goes on; other exceptions pass as
// they are. `facts` is an ErrorFacts, or a function making one, called only on failure: for
// facts that cost something to word (a path) around work that runs once per row, or that
// depend on where the failure arose (one returning ErrorFacts{} adds nothing).
template <class Body, class Facts = ErrorFacts>
decltype(auto) WithFacts(const Facts& facts, Body&& body) {
  try {
    return std::forward<Body>(body)();
  } catch (JetError& e) {
    if constexpr (std::is_invocable_v<const Facts&>) {
      e.AddFacts(facts());
    } else {
      e.AddFacts(facts);
    }
    throw;
  }
}

[[noreturn]] inline void ThrowCorrupt(Problem problem, ErrorFacts facts = {}) {
  throw JetError(problem, std::move(facts));
}

// The message table, for the error type and for tests that check every entry.
struct ProblemText {
  Problem problem;
  ErrorKind kind;
  const char* text;  // {file}, {table}... stand for facts; [...] is left out if one is unset
};
const ProblemText& TextOf(Problem problem);
std::string WordMessage(Problem problem, const ErrorFacts& facts);
// The problem's own words, without the lead every damage message starts with.
std::string WordProblem(Problem problem, const ErrorFacts& facts);

}  // namespace jet

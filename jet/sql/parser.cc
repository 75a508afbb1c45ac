#include "jet/sql/parser.h"

#include <algorithm>

#include <map>

#include "base/unicode.h"
#include "jet/error.h"
#include "jet/format/numeric.h"
#include "jet/sql/lexer.h"

namespace jet::sql {
namespace {

struct TypeName {
  ColumnType type;
  enum Length { kNone, kOptional, kTextual } length;
  bool fixed;
};

// Jet's DDL type names and their synonyms.
const std::map<std::string, TypeName>& TypeNames() {
  static const std::map<std::string, TypeName> names = {
      {"COUNTER", {ColumnType::kLong, TypeName::kNone, true}},
      {"AUTOINCREMENT", {ColumnType::kLong, TypeName::kNone, true}},
      {"INT", {ColumnType::kLong, TypeName::kNone, true}},
      {"INTEGER", {ColumnType::kLong, TypeName::kNone, true}},
      {"LONG", {ColumnType::kLong, TypeName::kNone, true}},
      {"INTEGER4", {ColumnType::kLong, TypeName::kNone, true}},
      {"SMALLINT", {ColumnType::kInteger, TypeName::kNone, true}},
      {"SHORT", {ColumnType::kInteger, TypeName::kNone, true}},
      {"INTEGER2", {ColumnType::kInteger, TypeName::kNone, true}},
      {"BYTE", {ColumnType::kByte, TypeName::kNone, true}},
      {"TINYINT", {ColumnType::kByte, TypeName::kNone, true}},
      {"INTEGER1", {ColumnType::kByte, TypeName::kNone, true}},
      {"BIT", {ColumnType::kBoolean, TypeName::kNone, true}},
      {"YESNO", {ColumnType::kBoolean, TypeName::kNone, true}},
      {"LOGICAL", {ColumnType::kBoolean, TypeName::kNone, true}},
      {"LOGICAL1", {ColumnType::kBoolean, TypeName::kNone, true}},
      {"BOOLEAN", {ColumnType::kBoolean, TypeName::kNone, true}},
      {"CURRENCY", {ColumnType::kCurrency, TypeName::kNone, true}},
      {"MONEY", {ColumnType::kCurrency, TypeName::kNone, true}},
      {"DATETIME", {ColumnType::kDateTime, TypeName::kNone, true}},
      {"DATE", {ColumnType::kDateTime, TypeName::kNone, true}},
      {"TIME", {ColumnType::kDateTime, TypeName::kNone, true}},
      {"DOUBLE", {ColumnType::kDouble, TypeName::kNone, true}},
      {"FLOAT", {ColumnType::kDouble, TypeName::kNone, true}},
      {"FLOAT8", {ColumnType::kDouble, TypeName::kNone, true}},
      {"IEEEDOUBLE", {ColumnType::kDouble, TypeName::kNone, true}},
      {"NUMBER", {ColumnType::kDouble, TypeName::kNone, true}},
      {"REAL", {ColumnType::kSingle, TypeName::kNone, true}},
      {"SINGLE", {ColumnType::kSingle, TypeName::kNone, true}},
      {"FLOAT4", {ColumnType::kSingle, TypeName::kNone, true}},
      {"IEEESINGLE", {ColumnType::kSingle, TypeName::kNone, true}},
      {"GUID", {ColumnType::kGuid, TypeName::kNone, true}},
      {"UNIQUEIDENTIFIER", {ColumnType::kGuid, TypeName::kNone, true}},
      {"DECIMAL", {ColumnType::kNumeric, TypeName::kOptional, false}},
      {"NUMERIC", {ColumnType::kNumeric, TypeName::kOptional, false}},
      {"DEC", {ColumnType::kNumeric, TypeName::kOptional, false}},
      {"VARCHAR", {ColumnType::kText, TypeName::kTextual, false}},
      {"NVARCHAR", {ColumnType::kText, TypeName::kTextual, false}},
      {"STRING", {ColumnType::kText, TypeName::kTextual, false}},
      {"ALPHANUMERIC", {ColumnType::kText, TypeName::kTextual, false}},
      {"CHAR", {ColumnType::kText, TypeName::kTextual, true}},
      {"CHARACTER", {ColumnType::kText, TypeName::kTextual, true}},
      {"NCHAR", {ColumnType::kText, TypeName::kTextual, true}},
      // Without a length, TEXT is a memo (as through OLE DB); with one, a short text.
      {"TEXT", {ColumnType::kMemo, TypeName::kTextual, false}},
      {"MEMO", {ColumnType::kMemo, TypeName::kNone, false}},
      {"LONGTEXT", {ColumnType::kMemo, TypeName::kNone, false}},
      {"LONGCHAR", {ColumnType::kMemo, TypeName::kNone, false}},
      {"NOTE", {ColumnType::kMemo, TypeName::kNone, false}},
      {"NTEXT", {ColumnType::kMemo, TypeName::kNone, false}},
      {"IMAGE", {ColumnType::kOle, TypeName::kNone, false}},
      {"BLOB", {ColumnType::kOle, TypeName::kNone, false}},
      {"LONGBINARY", {ColumnType::kOle, TypeName::kNone, false}},
      {"OLEOBJECT", {ColumnType::kOle, TypeName::kNone, false}},
      {"GENERAL", {ColumnType::kOle, TypeName::kNone, false}},
      {"BINARY", {ColumnType::kBinary, TypeName::kTextual, true}},
      {"VARBINARY", {ColumnType::kBinary, TypeName::kTextual, false}},
  };
  return names;
}

std::string Upper(const std::string& s) {
  std::string out = s;
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

class Parser {
 public:
  explicit Parser(std::string_view text) : tokens_(Tokenize(text)) {}

  Statement ParseStatement() {
    Statement s;
    if (AcceptKeyword("CREATE")) {
      ExpectKeyword("TABLE");
      s.kind = Statement::Kind::kCreateTable;
      s.create = ParseCreateTable();
    } else if (AcceptKeyword("ALTER")) {
      ExpectKeyword("TABLE");
      s.kind = Statement::Kind::kAlterTableAdd;
      s.alter.table = ParseName();
      ExpectKeyword("ADD");
      AcceptKeyword("COLUMN");
      s.alter.column = ParseColumnSpec();
    } else if (AcceptKeyword("INSERT")) {
      ExpectKeyword("INTO");
      s.kind = Statement::Kind::kInsert;
      s.insert = ParseInsert();
    } else if (AcceptKeyword("SELECT")) {
      s.kind = Statement::Kind::kSelect;
      s.select = ParseSelectBody();
    } else if (AcceptKeyword("DELETE")) {
      s.kind = Statement::Kind::kDelete;
      AcceptSymbol("*");
      ExpectKeyword("FROM");
      s.del.table = ParseTableRef();
      if (AcceptKeyword("WHERE")) s.del.where = ParseExpression();
    } else {
      Fail();
    }
    AcceptSymbol(";");
    if (Peek().kind != TokenKind::kEnd) Fail();
    return s;
  }

 private:
  const Token& Peek(size_t ahead = 0) const {
    return tokens_[std::min(at_ + ahead, tokens_.size() - 1)];
  }
  const Token& Next() {
    const Token& t = Peek();
    if (at_ < tokens_.size() - 1) ++at_;
    return t;
  }
  [[noreturn]] void Fail() const {
    const Token& t = Peek();
    throw JetError(
        Problem::kSyntaxError,
        {.name = t.kind == TokenKind::kEnd ? std::string() : t.text, .number = t.position});
  }
  bool IsKeyword(const Token& t, const char* word) const {
    return t.kind == TokenKind::kName && Upper(t.text) == word;
  }
  bool AcceptKeyword(const char* word) {
    if (!IsKeyword(Peek(), word)) return false;
    Next();
    return true;
  }
  void ExpectKeyword(const char* word) {
    if (!AcceptKeyword(word)) Fail();
  }
  bool AcceptSymbol(const char* symbol) {
    if (Peek().kind != TokenKind::kSymbol || Peek().text != symbol) return false;
    Next();
    return true;
  }
  void ExpectSymbol(const char* symbol) {
    if (!AcceptSymbol(symbol)) Fail();
  }
  std::string ParseName() {
    const Token& t = Peek();
    if (t.kind != TokenKind::kName && t.kind != TokenKind::kQuotedName) Fail();
    return Next().text;
  }
  long ParseInteger() {
    if (Peek().kind != TokenKind::kNumber) Fail();
    const Token& t = Next();
    try {
      return std::stol(t.text);
    } catch (const std::exception&) {
      throw JetError(Problem::kSyntaxError, {.name = t.text, .number = t.position});
    }
  }

  // Jet allows at most 255 fields in a table and in a query's result, so no list of fields,
  // columns or values is longer; stopping there also bounds the work a statement can ask of
  // every later step (a check for repeated names compares every pair).
  static constexpr size_t kMaxFields = 255;
  template <typename List>
  void CheckFieldCount(const List& list) const {
    if (list.size() > kMaxFields)
      throw JetError(Problem::kTooManyItems, {.number = Peek().position, .limit = kMaxFields});
  }

  // A table, possibly in another database: "[path;pwd=secret].name".
  TableRef ParseTableRef() {
    TableRef ref;
    if (Peek().kind == TokenKind::kQuotedName && Peek(1).kind == TokenKind::kSymbol &&
        Peek(1).text == ".") {
      ParseExternal(Next().text, ref);
      Next();  // the dot
    }
    ref.name = ParseName();
    if (AcceptKeyword("AS")) {
      ref.alias = ParseName();
    } else if (Peek().kind == TokenKind::kName && !IsClauseKeyword(Peek())) {
      ref.alias = Next().text;
    }
    return ref;
  }

  bool IsClauseKeyword(const Token& t) const {
    for (const char* k : {"WHERE", "ORDER", "GROUP", "IN", "INTO", "VALUES", "SELECT", "FROM",
                          "HAVING", "UNION", "JOIN", "INNER", "LEFT", "RIGHT", "ON", "SET"}) {
      if (IsKeyword(t, k)) return true;
    }
    return false;
  }

  // The bracket holds a file path followed by ";pwd=...", or a connect string of
  // ";KEY=value" pairs (DATABASE=, PWD=).
  static void ParseExternal(const std::string& spec, TableRef& ref) {
    ref.external = true;
    // Keys are ASCII; folding only ASCII keeps byte offsets valid in `spec` whatever the path
    // holds.
    std::string upper = spec;
    for (char& c : upper) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    auto find_key = [&](const std::string& key) { return upper.rfind(";" + key + "="); };
    size_t database = find_key("DATABASE");
    size_t pwd = find_key("PWD");
    if (database != std::string::npos) {
      size_t begin = database + 10;
      size_t end = pwd != std::string::npos && pwd > database ? pwd : spec.size();
      ref.path = spec.substr(begin, end - begin);
    } else {
      ref.path = spec.substr(0, pwd == std::string::npos ? spec.size() : pwd);
    }
    if (pwd != std::string::npos) {
      size_t begin = pwd + 5;
      size_t end = database != std::string::npos && database > pwd ? database : spec.size();
      ref.password = spec.substr(begin, end - begin);
    }
  }

  ColumnSpec ParseColumnSpec() {
    ColumnSpec c;
    c.name = ParseName();
    const Token& type_token = Peek();
    if (type_token.kind != TokenKind::kName) Fail();
    std::string type = Upper(type_token.text);
    auto it = TypeNames().find(type);
    if (it == TypeNames().end()) Fail();
    Next();
    c.type = it->second.type;
    c.fixed_length =
        it->second.fixed && (c.type == ColumnType::kText || c.type == ColumnType::kBinary);
    c.autonumber = type == "COUNTER" || type == "AUTOINCREMENT";
    if (type == "CHARACTER" && AcceptKeyword("VARYING")) c.fixed_length = false;
    if (c.type == ColumnType::kText || c.type == ColumnType::kBinary)
      c.length = c.type == ColumnType::kText ? 255 : 510;
    if (AcceptSymbol("(")) {
      if (it->second.length == TypeName::kNone && !c.autonumber) Fail();
      const size_t length_at = at_;
      long first = ParseInteger();
      long second = -1;
      if (AcceptSymbol(",")) second = ParseInteger();
      ExpectSymbol(")");
      if (c.autonumber) {
        // COUNTER(seed, increment): accepted; new tables start at the seed.
      } else if (c.type == ColumnType::kNumeric) {
        // Precision 1 to 28 digits, of which the scale (0 to all of them) after the point.
        const bool bad_precision = first < 1 || first > kMaxDecimalPrecision;
        if (bad_precision || second > first) {
          const Token& at = tokens_[bad_precision ? length_at : length_at + 2];
          throw JetError(Problem::kSyntaxError, {.name = at.text, .number = at.position});
        }
        c.precision = static_cast<uint8_t>(first);
        c.scale = static_cast<uint8_t>(second < 0 ? 0 : second);
      } else {
        if (c.type == ColumnType::kMemo) c.type = ColumnType::kText;  // TEXT(n)
        if (first < 1 || first > (c.type == ColumnType::kText ? 255 : 510) || second >= 0) {
          const Token& length = tokens_[length_at];
          throw JetError(Problem::kSyntaxError, {.name = length.text, .number = length.position});
        }
        c.length = static_cast<uint16_t>(first);
      }
    }
    for (;;) {
      if (AcceptKeyword("NOT")) {
        ExpectKeyword("NULL");
        c.not_null = true;
      } else if (AcceptKeyword("NULL")) {
      } else if (AcceptKeyword("PRIMARY")) {
        ExpectKeyword("KEY");
        c.primary_key = true;
      } else if (AcceptKeyword("CONSTRAINT")) {
        ParseName();
        ExpectKeyword("PRIMARY");
        ExpectKeyword("KEY");
        c.primary_key = true;
      } else if (AcceptKeyword("WITH")) {
        if (!AcceptKeyword("COMPRESSION")) ExpectKeyword("COMP");
      } else {
        break;
      }
    }
    return c;
  }

  CreateTable ParseCreateTable() {
    CreateTable t;
    t.table = ParseName();
    ExpectSymbol("(");
    do {
      if (AcceptKeyword("PRIMARY") ||
          (AcceptKeyword("CONSTRAINT") && (ParseName(), AcceptKeyword("PRIMARY")))) {
        ExpectKeyword("KEY");
        ExpectSymbol("(");
        do {
          std::string name = ParseName();
          bool found = false;
          for (auto& c : t.columns) {
            if (base::EqualsIgnoreCase(c.name, name)) c.primary_key = found = true;
          }
          if (!found) throw JetError(Problem::kFieldNotFound, {.column = name});
        } while (AcceptSymbol(","));
        ExpectSymbol(")");
      } else {
        t.columns.push_back(ParseColumnSpec());
        CheckFieldCount(t.columns);
      }
    } while (AcceptSymbol(","));
    ExpectSymbol(")");
    return t;
  }

  Insert ParseInsert() {
    Insert ins;
    ins.table = ParseTableRef();
    if (AcceptSymbol("(")) {
      do {
        ins.columns.push_back(ParseName());
        CheckFieldCount(ins.columns);
      } while (AcceptSymbol(","));
      ExpectSymbol(")");
    }
    if (AcceptKeyword("VALUES")) {
      ExpectSymbol("(");
      do {
        ins.values.push_back(ParseExpression());
        CheckFieldCount(ins.values);
      } while (AcceptSymbol(","));
      ExpectSymbol(")");
    } else if (AcceptKeyword("SELECT")) {
      ins.select = ParseSelectBody();
      if (ins.select->into) Fail();
    } else {
      Fail();
    }
    return ins;
  }

  Select ParseSelectBody() {
    Select s;
    AcceptKeyword("ALL");
    if (!AcceptSymbol("*")) {
      do {
        SelectItem item;
        item.expression = ParseExpression();
        if (AcceptKeyword("AS")) item.alias = ParseName();
        s.items.push_back(std::move(item));
        CheckFieldCount(s.items);
      } while (AcceptSymbol(","));
    }
    if (AcceptKeyword("INTO")) s.into = ParseTableRef();
    ExpectKeyword("FROM");
    s.from = ParseTableRef();
    if (AcceptKeyword("WHERE")) s.where = ParseExpression();
    return s;
  }

  ExpressionPtr Make(Expression::Kind kind, size_t position) {
    auto e = std::make_unique<Expression>();
    e->kind = kind;
    e->position = position;
    return e;
  }

  // Everything that walks an expression recurses once per level, parsing included, so a
  // statement nested or chained deeper than this is refused before it can exhaust the stack
  // (a Windows thread has 1 MB). Real statements stay far below it.
  static constexpr int kMaxDepth = 256;

  // Sets `e`'s depth from its operands; refuses a tree that grew too deep.
  ExpressionPtr Finish(ExpressionPtr e) {
    int deepest = 0;
    for (const auto& o : e->operands) deepest = std::max(deepest, o->depth);
    e->depth = deepest + 1;
    if (e->depth > kMaxDepth)
      throw JetError(Problem::kQueryTooComplex, {.number = e->position + 1, .limit = kMaxDepth});
    return e;
  }

  // Counts the parser's own recursion (parentheses, NOT, signs) for as long as it lives.
  class Nesting {
   public:
    Nesting(Parser& p, size_t position) : p_(p) {
      if (++p_.nesting_ > kMaxDepth)
        throw JetError(Problem::kQueryTooComplex, {.number = position + 1, .limit = kMaxDepth});
    }
    ~Nesting() { --p_.nesting_; }
    Nesting(const Nesting&) = delete;
    Nesting& operator=(const Nesting&) = delete;

   private:
    Parser& p_;
  };

  ExpressionPtr ParseExpression() {
    ExpressionPtr left = ParseAnd();
    while (IsKeyword(Peek(), "OR")) {
      auto e = Make(Expression::Kind::kOr, Next().position);
      e->operands.push_back(std::move(left));
      e->operands.push_back(ParseAnd());
      left = Finish(std::move(e));
    }
    return left;
  }

  ExpressionPtr ParseAnd() {
    ExpressionPtr left = ParseNot();
    while (IsKeyword(Peek(), "AND")) {
      auto e = Make(Expression::Kind::kAnd, Next().position);
      e->operands.push_back(std::move(left));
      e->operands.push_back(ParseNot());
      left = Finish(std::move(e));
    }
    return left;
  }

  ExpressionPtr ParseNot() {
    if (IsKeyword(Peek(), "NOT")) {
      Nesting nesting(*this, Peek().position);
      auto e = Make(Expression::Kind::kNot, Next().position);
      e->operands.push_back(ParseNot());
      return Finish(std::move(e));
    }
    return ParseComparison();
  }

  ExpressionPtr ParseComparison() {
    ExpressionPtr left = ParseUnary();
    const Token& t = Peek();
    if (t.kind == TokenKind::kSymbol && (t.text == "=" || t.text == "<>" || t.text == "<" ||
                                         t.text == "<=" || t.text == ">" || t.text == ">=")) {
      auto e = Make(Expression::Kind::kCompare, t.position);
      e->text = Next().text;
      e->operands.push_back(std::move(left));
      e->operands.push_back(ParseUnary());
      return Finish(std::move(e));
    }
    if (IsKeyword(t, "IS")) {
      auto e = Make(Expression::Kind::kIsNull, Next().position);
      e->negated = AcceptKeyword("NOT");
      ExpectKeyword("NULL");
      e->operands.push_back(std::move(left));
      return Finish(std::move(e));
    }
    return left;
  }

  ExpressionPtr ParseUnary() {
    if (Peek().kind == TokenKind::kSymbol && (Peek().text == "-" || Peek().text == "+")) {
      Nesting nesting(*this, Peek().position);
      bool negate = Peek().text == "-";
      size_t position = Next().position;
      ExpressionPtr operand = ParseUnary();
      if (!negate) return operand;
      if (operand->kind == Expression::Kind::kNumber) {
        operand->text = operand->text[0] == '-' ? operand->text.substr(1) : "-" + operand->text;
        return operand;
      }
      auto e = Make(Expression::Kind::kNegate, position);
      e->operands.push_back(std::move(operand));
      return Finish(std::move(e));
    }
    return ParsePrimary();
  }

  ExpressionPtr ParsePrimary() {
    const Token& t = Peek();
    switch (t.kind) {
      case TokenKind::kNumber: {
        auto e = Make(Expression::Kind::kNumber, t.position);
        e->text = Next().text;
        return e;
      }
      case TokenKind::kString: {
        auto e = Make(Expression::Kind::kString, t.position);
        e->text = Next().text;
        return e;
      }
      case TokenKind::kSymbol:
        if (t.text == "(") {
          Nesting nesting(*this, t.position);
          Next();
          ExpressionPtr inner = ParseExpression();
          ExpectSymbol(")");
          return inner;
        }
        Fail();
      case TokenKind::kName:
        if (IsKeyword(t, "NULL")) {
          return Make(Expression::Kind::kNull, Next().position);
        }
        for (const char* k :
             {"FROM", "WHERE", "AND", "OR", "NOT", "INTO", "SELECT", "VALUES", "IS"}) {
          if (IsKeyword(t, k)) Fail();
        }
        [[fallthrough]];
      case TokenKind::kQuotedName: {
        auto e = Make(Expression::Kind::kColumn, t.position);
        e->text = Next().text;
        if (Peek().kind == TokenKind::kSymbol && Peek().text == "." &&
            (Peek(1).kind == TokenKind::kName || Peek(1).kind == TokenKind::kQuotedName)) {
          Next();
          e->qualifier = std::move(e->text);
          e->text = Next().text;
        }
        return e;
      }
      case TokenKind::kEnd:
        Fail();
    }
    Fail();
  }

  std::vector<Token> tokens_;
  size_t at_ = 0;
  int nesting_ = 0;
};

}  // namespace

Statement Parse(std::string_view statement) {
  return Parser(statement).ParseStatement();
}

bool ReturnsRows(std::string_view statement) {
  try {
    Statement s = Parse(statement);
    return s.kind == Statement::Kind::kSelect && !s.select.into;
  } catch (const JetError&) {
    return false;
  }
}

}  // namespace jet::sql

// The Jet SQL tokenizer and parser: tokens, free spacing, every DDL type name, references into
// other database files, expression shape and precedence, and syntax errors that name the
// character position in the product's wording.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jet/error.h"
#include "jet/sql/ast.h"
#include "jet/sql/lexer.h"
#include "jet/sql/parser.h"
#include "tests/sql/sql_test_util.h"
#include "upgrade/column_additions.h"
#include "upgrade/reference_import.h"
#include "upgrade/search_rows.h"

namespace {

using jet::ColumnType;
using jet::sql::Expression;
using jet::sql::Parse;
using jet::sql::Statement;
using jet::sql::Token;
using jet::sql::Tokenize;
using jet::sql::TokenKind;
using sql_test::CatalogueStatement;
using sql_test::ColumnAdditionStatement;
using sql_test::ExpectProductMessage;
using sql_test::JetErrorOf;

std::vector<TokenKind> Kinds(const std::vector<Token>& tokens) {
  std::vector<TokenKind> kinds;
  for (const auto& t : tokens) kinds.push_back(t.kind);
  return kinds;
}

std::vector<std::string> Texts(const std::vector<Token>& tokens) {
  std::vector<std::string> texts;
  for (const auto& t : tokens) {
    if (t.kind != TokenKind::kEnd) texts.push_back(t.text);
  }
  return texts;
}

// The syntax error's message for `text`, checked for the product's wording and for naming
// the character position.
std::string SyntaxErrorAt(const std::string& text, size_t position) {
  jet::ErrorKind kind{};
  std::string message = JetErrorOf([&] { Parse(text); }, &kind);
  EXPECT_EQ(kind, jet::ErrorKind::kInvalid) << message;
  ExpectProductMessage(message);
  EXPECT_NE(message.find("第 " + std::to_string(position) + " 个字符"), std::string::npos)
      << "for [" << text << "] expected position " << position << ", got: " << message;
  return message;
}

// ---------------------------------------------------------------------------------------
// Tokens

TEST(LexerTest, KeywordsAreNamesInAnyLetterCase) {
  auto tokens = Tokenize("SeLeCt * fRoM Search");
  EXPECT_EQ(Kinds(tokens),
            (std::vector<TokenKind>{TokenKind::kName, TokenKind::kSymbol, TokenKind::kName,
                                    TokenKind::kName, TokenKind::kEnd}));
  EXPECT_EQ(Texts(tokens), (std::vector<std::string>{"SeLeCt", "*", "fRoM", "Search"}));
}

TEST(LexerTest, BracketedNamesKeepSpacesAndDoubledClosingBrackets) {
  auto tokens = Tokenize("[my table] [a]]b] [select] [客户 资料] []]]");
  ASSERT_EQ(tokens.size(), 6u);
  for (size_t i = 0; i < 5; ++i) EXPECT_EQ(tokens[i].kind, TokenKind::kQuotedName) << i;
  EXPECT_EQ(Texts(tokens),
            (std::vector<std::string>{"my table", "a]b", "select", "客户 资料", "]"}));
}

TEST(LexerTest, StringsWithDoubledQuotesAndChinese) {
  auto tokens = Tokenize("'it''s' '' '创建时间' ''''  'a;b,c'");
  ASSERT_EQ(tokens.size(), 6u);
  for (size_t i = 0; i < 5; ++i) EXPECT_EQ(tokens[i].kind, TokenKind::kString) << i;
  EXPECT_EQ(Texts(tokens), (std::vector<std::string>{"it's", "", "创建时间", "'", "a;b,c"}));
}

TEST(LexerTest, Numbers) {
  auto tokens = Tokenize("85 12.5 .5 1e3 2E+4 7e-2 0");
  ASSERT_EQ(tokens.size(), 8u);
  for (size_t i = 0; i < 7; ++i) EXPECT_EQ(tokens[i].kind, TokenKind::kNumber) << tokens[i].text;
  EXPECT_EQ(Texts(tokens),
            (std::vector<std::string>{"85", "12.5", ".5", "1e3", "2E+4", "7e-2", "0"}));
  // A minus sign is a symbol of its own; the parser folds it into the number.
  auto negative = Tokenize("-3");
  EXPECT_EQ(Kinds(negative),
            (std::vector<TokenKind>{TokenKind::kSymbol, TokenKind::kNumber, TokenKind::kEnd}));
}

TEST(LexerTest, QualifiedNamesAndComparisonSymbols) {
  auto tokens = Tokenize("sj.CodeB<>1 a<=b c>=d e!=f g<h");
  EXPECT_EQ(Texts(tokens),
            (std::vector<std::string>{"sj", ".", "CodeB", "<>", "1", "a", "<=", "b", "c", ">=", "d",
                                      "e", "<>", "f", "g", "<", "h"}));
  EXPECT_EQ(tokens[1].kind, TokenKind::kSymbol);
}

TEST(LexerTest, NoSpaceNeededAroundPunctuation) {
  auto tokens = Tokenize("values(85,'发票号','bz1')");
  EXPECT_EQ(Texts(tokens),
            (std::vector<std::string>{"values", "(", "85", ",", "发票号", ",", "bz1", ")"}));
}

TEST(LexerTest, PositionsCountCharactersFromOne) {
  auto tokens = Tokenize("select '创建时间', x");
  ASSERT_EQ(tokens.size(), 5u);
  EXPECT_EQ(tokens[0].position, 1u);
  EXPECT_EQ(tokens[1].position, 8u);
  EXPECT_EQ(tokens[2].position, 14u);  // six characters for the quoted four
  EXPECT_EQ(tokens[3].position, 16u);
  EXPECT_EQ(tokens[4].kind, TokenKind::kEnd);
  EXPECT_EQ(tokens[4].position, 17u);
}

TEST(LexerTest, UnterminatedStringOrBracketIsASyntaxErrorAtItsStart) {
  SyntaxErrorAt("select * from t where name='abc", 28);
  SyntaxErrorAt("select * from [my table", 15);
  SyntaxErrorAt("select '创建' from [t", 18);
}

TEST(LexerTest, StrayCharacterIsASyntaxError) {
  std::string message = SyntaxErrorAt("select * from t where a ? 1", 25);
  EXPECT_NE(message.find('?'), std::string::npos) << message;
}

// ---------------------------------------------------------------------------------------
// Statements as the product writes them

TEST(ParserTest, EveryProductStatementParses) {
  const std::string tpl =
      "[C:\\Program Files\\客户管理\\template\\my.sys;pwd=plmoknijbuhvygc,t.f/]";
  std::vector<std::string> statements = {
      upgrade::kGroupDeletion,
      upgrade::kGroupQuery,
      upgrade::kSearchColumnsQuery,
  };
  // Each reference table's creation and copy.
  for (const upgrade::ReferenceImport& r : upgrade::kReferenceImports) {
    if (r.create) statements.push_back(r.create);
    statements.push_back(r.copy + tpl + "." + r.table);
  }
  // Each column phase's reading query and additions, as the upgrade holds them.
  for (const upgrade::TablePhase& phase : upgrade::ColumnPhases()) {
    statements.push_back(phase.reading_query);
    for (const upgrade::ColumnAddition& a : phase.columns) statements.push_back(a.statement);
  }
  for (const auto& text : statements) {
    EXPECT_NO_THROW(Parse(text)) << text;
  }
  for (const auto& text : sql_test::FixUpStatements()) EXPECT_NO_THROW(Parse(text)) << text;
  for (const auto& text : sql_test::CreateStatements()) EXPECT_NO_THROW(Parse(text)) << text;
}

TEST(ParserTest, CreateTableWithCounterKeyTextAndMemo) {
  Statement s = Parse(CatalogueStatement("findtable"));
  ASSERT_EQ(s.kind, Statement::Kind::kCreateTable);
  EXPECT_EQ(s.create.table, "findtable");
  ASSERT_EQ(s.create.columns.size(), 4u);
  const auto& id = s.create.columns[0];
  EXPECT_EQ(id.name, "id");
  EXPECT_EQ(id.type, ColumnType::kLong);
  EXPECT_TRUE(id.autonumber);
  EXPECT_TRUE(id.primary_key);
  EXPECT_EQ(s.create.columns[1].type, ColumnType::kText);
  EXPECT_EQ(s.create.columns[1].length, 255);
  EXPECT_FALSE(s.create.columns[1].fixed_length);
  EXPECT_FALSE(s.create.columns[1].primary_key);
  EXPECT_EQ(s.create.columns[2].type, ColumnType::kMemo);
  EXPECT_EQ(s.create.columns[3].name, "tablename");
  EXPECT_EQ(s.create.columns[3].length, 50);
}

TEST(ParserTest, FreeSpacingAroundNullAndCommas) {
  // "jzid int NULL ,name": a space before the comma.
  Statement s = Parse(CatalogueStatement("jzproduct"));
  ASSERT_EQ(s.create.columns.size(), 14u);
  EXPECT_EQ(s.create.columns[1].name, "jzid");
  EXPECT_EQ(s.create.columns[1].type, ColumnType::kLong);
  EXPECT_FALSE(s.create.columns[1].not_null);
  EXPECT_FALSE(s.create.columns[1].autonumber);
  EXPECT_EQ(s.create.columns[2].name, "name");

  Statement r = Parse(CatalogueStatement("Relation"));
  ASSERT_EQ(r.create.columns.size(), 7u);
  EXPECT_EQ(r.create.columns[6].name, "ctypeid");

  Statement n = Parse("create table t(a int not null,b varchar ( 10 ) )");
  ASSERT_EQ(n.create.columns.size(), 2u);
  EXPECT_TRUE(n.create.columns[0].not_null);
  EXPECT_EQ(n.create.columns[1].length, 10);
}

TEST(ParserTest, CreateTableWithoutSpaceBeforeParenthesis) {
  Statement s = Parse(CatalogueStatement("custself"));
  EXPECT_EQ(s.create.table, "custself");
  ASSERT_EQ(s.create.columns.size(), 19u);
  EXPECT_EQ(s.create.columns[0].name, "custumid");
  EXPECT_EQ(s.create.columns[0].type, ColumnType::kLong);
  for (int i = 1; i <= 18; ++i) {
    EXPECT_EQ(s.create.columns[i].name, "self" + std::to_string(i));
    EXPECT_EQ(s.create.columns[i].type, ColumnType::kText);
    EXPECT_EQ(s.create.columns[i].length, 255);
  }
}

struct TypeCase {
  std::string written;
  ColumnType type;
  uint16_t length;  // characters for text; 0 where no length applies
  bool fixed;
  bool autonumber;
};

TEST(ParserTest, EveryTypeNameMapsToItsColumnType) {
  const std::vector<TypeCase> cases = {
      {"COUNTER", ColumnType::kLong, 0, false, true},
      {"counter", ColumnType::kLong, 0, false, true},
      {"AUTOINCREMENT", ColumnType::kLong, 0, false, true},
      {"INT", ColumnType::kLong, 0, false, false},
      {"int", ColumnType::kLong, 0, false, false},
      {"INTEGER", ColumnType::kLong, 0, false, false},
      {"LONG", ColumnType::kLong, 0, false, false},
      {"SMALLINT", ColumnType::kInteger, 0, false, false},
      {"SHORT", ColumnType::kInteger, 0, false, false},
      {"BYTE", ColumnType::kByte, 0, false, false},
      {"TINYINT", ColumnType::kByte, 0, false, false},
      {"BIT", ColumnType::kBoolean, 0, false, false},
      {"YESNO", ColumnType::kBoolean, 0, false, false},
      {"VARCHAR(50)", ColumnType::kText, 50, false, false},
      {"varchar(255)", ColumnType::kText, 255, false, false},
      {"VARCHAR(1)", ColumnType::kText, 1, false, false},
      {"VARCHAR", ColumnType::kText, 255, false, false},
      {"TEXT(20)", ColumnType::kText, 20, false, false},
      {"text(255)", ColumnType::kText, 255, false, false},
      {"CHAR(50)", ColumnType::kText, 50, true, false},
      {"char(1)", ColumnType::kText, 1, true, false},
      {"CHARACTER(10)", ColumnType::kText, 10, true, false},
      {"CURRENCY", ColumnType::kCurrency, 0, false, false},
      {"MONEY", ColumnType::kCurrency, 0, false, false},
      {"TEXT", ColumnType::kMemo, 0, false, false},
      {"text", ColumnType::kMemo, 0, false, false},
      {"MEMO", ColumnType::kMemo, 0, false, false},
      {"LONGTEXT", ColumnType::kMemo, 0, false, false},
      {"LONGCHAR", ColumnType::kMemo, 0, false, false},
      {"IMAGE", ColumnType::kOle, 0, false, false},
      {"image", ColumnType::kOle, 0, false, false},
      {"BLOB", ColumnType::kOle, 0, false, false},
      {"blob", ColumnType::kOle, 0, false, false},
      {"LONGBINARY", ColumnType::kOle, 0, false, false},
      {"OLEOBJECT", ColumnType::kOle, 0, false, false},
      {"DATETIME", ColumnType::kDateTime, 0, false, false},
      {"DATE", ColumnType::kDateTime, 0, false, false},
      {"DOUBLE", ColumnType::kDouble, 0, false, false},
      {"FLOAT", ColumnType::kDouble, 0, false, false},
      {"REAL", ColumnType::kSingle, 0, false, false},
      {"SINGLE", ColumnType::kSingle, 0, false, false},
      {"GUID", ColumnType::kGuid, 0, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.written);
    Statement s;
    ASSERT_NO_THROW(s = Parse("CREATE TABLE t (c " + c.written + ")"));
    ASSERT_EQ(s.create.columns.size(), 1u);
    const auto& col = s.create.columns[0];
    EXPECT_EQ(col.type, c.type);
    EXPECT_EQ(col.fixed_length, c.fixed);
    EXPECT_EQ(col.autonumber, c.autonumber);
    if (c.type == ColumnType::kText) {
      EXPECT_EQ(col.length, c.length);
    }
    // ALTER TABLE ... ADD reads the same column syntax.
    Statement a = Parse("alter table t add c " + c.written);
    ASSERT_EQ(a.kind, Statement::Kind::kAlterTableAdd);
    EXPECT_EQ(a.alter.column.type, c.type);
    EXPECT_EQ(a.alter.column.fixed_length, c.fixed);
  }
}

TEST(ParserTest, BadTypesAndLengthsAreSyntaxErrors) {
  SyntaxErrorAt("CREATE TABLE t (c FOO)", 19);
  SyntaxErrorAt("CREATE TABLE t (c int(4))", 23);  // the length a number type does not take
  SyntaxErrorAt("CREATE TABLE t (c memo(10))", 24);
  SyntaxErrorAt("CREATE TABLE t (c varchar(abc))", 27);
}

// A text length out of range is reported at the length, where the fault is.
TEST(ParserTest, OutOfRangeTextLengthIsReportedAtTheLength) {
  SyntaxErrorAt("CREATE TABLE t (c varchar(0))", 27);
  SyntaxErrorAt("CREATE TABLE t (c varchar(256))", 27);
  SyntaxErrorAt("alter table t add c char(300)", 26);
}

TEST(ParserTest, AlterTableAddColumn) {
  Statement s = Parse(ColumnAdditionStatement("Customer", "qq"));
  ASSERT_EQ(s.kind, Statement::Kind::kAlterTableAdd);
  EXPECT_EQ(s.alter.table, "customer");
  EXPECT_EQ(s.alter.column.name, "qq");
  EXPECT_EQ(s.alter.column.type, ColumnType::kText);
  EXPECT_EQ(s.alter.column.length, 255);
  EXPECT_EQ(Parse(ColumnAdditionStatement("ContactPerson", "pic")).alter.column.type,
            ColumnType::kOle);
  EXPECT_EQ(Parse("ALTER TABLE SaleList ADD COLUMN remindsetup text").alter.column.type,
            ColumnType::kMemo);
  EXPECT_EQ(Parse("alter table [my table] add [my col] int").alter.table, "my table");
}

TEST(ParserTest, InsertValuesWithoutSpaces) {
  Statement s = Parse(upgrade::FixedRowInsertions().at(0));
  ASSERT_EQ(s.kind, Statement::Kind::kInsert);
  EXPECT_EQ(s.insert.table.name, "search");
  EXPECT_FALSE(s.insert.table.external);
  EXPECT_EQ(s.insert.columns,
            (std::vector<std::string>{"id", "name", "field", "numtype", "tablename", "tablenum"}));
  ASSERT_EQ(s.insert.values.size(), 6u);
  EXPECT_EQ(s.insert.values[0]->kind, Expression::Kind::kNumber);
  EXPECT_EQ(s.insert.values[0]->text, "85");
  EXPECT_EQ(s.insert.values[1]->kind, Expression::Kind::kString);
  EXPECT_EQ(s.insert.values[1]->text, "发票号");
  EXPECT_EQ(s.insert.values[5]->text, "3");
  EXPECT_FALSE(s.insert.select.has_value());
}

TEST(ParserTest, InsertValuesNegativeNumbersAndNull) {
  Statement s = Parse("INSERT INTO t VALUES (-5, - 2.5, NULL, 'x''y', --3)");
  EXPECT_TRUE(s.insert.columns.empty());
  ASSERT_EQ(s.insert.values.size(), 5u);
  EXPECT_EQ(s.insert.values[0]->kind, Expression::Kind::kNumber);
  EXPECT_EQ(s.insert.values[0]->text, "-5");
  EXPECT_EQ(s.insert.values[1]->text, "-2.5");
  EXPECT_EQ(s.insert.values[2]->kind, Expression::Kind::kNull);
  EXPECT_EQ(s.insert.values[3]->text, "x'y");
  EXPECT_EQ(s.insert.values[4]->text, "3");
}

TEST(ParserTest, InsertSelectFromAnotherDatabaseWithQualifiedColumns) {
  Statement s = Parse(sql_test::CopySj("C:\\dir with space\\模板 目录\\my.sys"));
  ASSERT_EQ(s.kind, Statement::Kind::kInsert);
  EXPECT_EQ(s.insert.table.name, "sj");
  EXPECT_EQ(s.insert.columns,
            (std::vector<std::string>{"CodeB", "CodeE", "DQ", "city", "QH", "type"}));
  ASSERT_TRUE(s.insert.select.has_value());
  const auto& sel = *s.insert.select;
  ASSERT_EQ(sel.items.size(), 6u);
  EXPECT_EQ(sel.items[0].expression->kind, Expression::Kind::kColumn);
  EXPECT_EQ(sel.items[0].expression->qualifier, "sj");
  EXPECT_EQ(sel.items[0].expression->text, "CodeB");
  EXPECT_EQ(sel.items[5].expression->text, "type");
  EXPECT_TRUE(sel.from.external);
  EXPECT_EQ(sel.from.name, "sj");
  EXPECT_EQ(sel.from.path, "C:\\dir with space\\模板 目录\\my.sys");
  EXPECT_EQ(sel.from.password, "plmoknijbuhvygc,t.f/");
  EXPECT_FALSE(sel.where);
}

TEST(ParserTest, ExternalReferenceForms) {
  struct Case {
    std::string bracket;
    std::string path;
    std::string password;
  };
  const std::vector<Case> cases = {
      {"[C:\\dir with space\\模板 目录\\my.sys;pwd=plmoknijbuhvygc,t.f/]",
       "C:\\dir with space\\模板 目录\\my.sys", "plmoknijbuhvygc,t.f/"},
      {"[C:\\odd]]dir\\my.sys;pwd=plmoknijbuhvygc,t.f/]", "C:\\odd]dir\\my.sys",
       "plmoknijbuhvygc,t.f/"},
      {"[/tmp/a b/my.sys;PWD=Secret]", "/tmp/a b/my.sys", "Secret"},
      {"[/tmp/x;y/my.sys;pwd=p]", "/tmp/x;y/my.sys", "p"},  // ";" inside the path
      {"[/tmp/my.sys]", "/tmp/my.sys", ""},
      {"[/tmp/my.sys;pwd=]", "/tmp/my.sys", ""},
      {"[;DATABASE=/tmp/其他/my.sys;PWD=plmoknijbuhvygc,t.f/]", "/tmp/其他/my.sys",
       "plmoknijbuhvygc,t.f/"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bracket);
    Statement s;
    ASSERT_NO_THROW(s = Parse("SELECT * into zdy FROM " + c.bracket + ".zdy"));
    ASSERT_EQ(s.kind, Statement::Kind::kSelect);
    ASSERT_TRUE(s.select.into.has_value());
    EXPECT_EQ(s.select.into->name, "zdy");
    EXPECT_FALSE(s.select.into->external);
    EXPECT_TRUE(s.select.items.empty());
    EXPECT_TRUE(s.select.from.external);
    EXPECT_EQ(s.select.from.name, "zdy");
    EXPECT_EQ(s.select.from.path, c.path);
    EXPECT_EQ(s.select.from.password, c.password);
  }
}

TEST(ParserTest, BracketedLocalTableIsNotExternal) {
  Statement s = Parse("select * from [客户 资料] where [名 称]='x'");
  EXPECT_FALSE(s.select.from.external);
  EXPECT_EQ(s.select.from.name, "客户 资料");
  ASSERT_TRUE(s.select.where);
  EXPECT_EQ(s.select.where->operands[0]->text, "名 称");
}

TEST(ParserTest, SelectListAliasesAndTableAlias) {
  Statement s = Parse("SELECT a.id AS n, name FROM Customer AS a WHERE a.id > 3");
  ASSERT_EQ(s.select.items.size(), 2u);
  EXPECT_EQ(s.select.items[0].alias, "n");
  EXPECT_EQ(s.select.items[0].expression->qualifier, "a");
  EXPECT_EQ(s.select.from.name, "Customer");
  EXPECT_EQ(s.select.from.alias, "a");
  Statement t = Parse("select * from Customer c");
  EXPECT_EQ(t.select.from.alias, "c");
  Statement u = Parse("select * from Customer where id=1;");
  EXPECT_EQ(u.select.from.alias, "");
}

TEST(ParserTest, DeleteWithOr) {
  Statement s = Parse(upgrade::kGroupDeletion);
  ASSERT_EQ(s.kind, Statement::Kind::kDelete);
  EXPECT_EQ(s.del.table.name, "Search");
  ASSERT_TRUE(s.del.where);
  EXPECT_EQ(s.del.where->kind, Expression::Kind::kOr);
  ASSERT_EQ(s.del.where->operands.size(), 2u);
  const Expression& left = *s.del.where->operands[0];
  EXPECT_EQ(left.kind, Expression::Kind::kCompare);
  EXPECT_EQ(left.text, "=");
  EXPECT_EQ(left.operands[0]->text, "tablenum");
  EXPECT_EQ(left.operands[1]->text, "10");
  EXPECT_EQ(Parse("DELETE * FROM t").del.table.name, "t");
  EXPECT_FALSE(Parse("delete from t").del.where);
}

// Renders an expression tree fully parenthesised, to check the parser's grouping.
std::string Shape(const Expression& e) {
  switch (e.kind) {
    case Expression::Kind::kAnd:
      return "(" + Shape(*e.operands[0]) + " AND " + Shape(*e.operands[1]) + ")";
    case Expression::Kind::kOr:
      return "(" + Shape(*e.operands[0]) + " OR " + Shape(*e.operands[1]) + ")";
    case Expression::Kind::kNot:
      return "(NOT " + Shape(*e.operands[0]) + ")";
    case Expression::Kind::kCompare:
      return Shape(*e.operands[0]) + e.text + Shape(*e.operands[1]);
    case Expression::Kind::kIsNull:
      return Shape(*e.operands[0]) + (e.negated ? " IS NOT NULL" : " IS NULL");
    case Expression::Kind::kNull:
      return "NULL";
    case Expression::Kind::kString:
      return "'" + e.text + "'";
    case Expression::Kind::kColumn:
      return e.qualifier.empty() ? e.text : e.qualifier + "." + e.text;
    case Expression::Kind::kNegate:
      return "-" + Shape(*e.operands[0]);
    default:
      return e.text;
  }
}

TEST(ParserTest, ConditionPrecedenceNotAndOr) {
  auto shape = [](const std::string& where) {
    return Shape(*Parse("select * from t where " + where).select.where);
  };
  EXPECT_EQ(shape("a=1 or b=2 and c=3"), "(a=1 OR (b=2 AND c=3))");
  EXPECT_EQ(shape("a=1 and b=2 or c=3"), "((a=1 AND b=2) OR c=3)");
  EXPECT_EQ(shape("(a=1 or b=2) and c=3"), "((a=1 OR b=2) AND c=3)");
  EXPECT_EQ(shape("not a=1 and b=2"), "((NOT a=1) AND b=2)");
  EXPECT_EQ(shape("not (a=1 and b=2)"), "(NOT (a=1 AND b=2))");
  EXPECT_EQ(shape("NOT NOT a<>1"), "(NOT (NOT a<>1))");
  EXPECT_EQ(shape("a is null or b IS NOT NULL"), "(a IS NULL OR b IS NOT NULL)");
  EXPECT_EQ(shape("a=1 or b=2 or c=3"), "((a=1 OR b=2) OR c=3)");
  EXPECT_EQ(shape("((a>=1))AND(b<=-2)"), "(a>=1 AND b<=-2)");
  EXPECT_EQ(shape("t.a = 'x' And T.B <> 'y'"), "(t.a='x' AND T.B<>'y')");
}

// ---------------------------------------------------------------------------------------
// Syntax errors

TEST(ParserTest, SyntaxErrorsNameThePositionAndTheTextFound) {
  std::string m = SyntaxErrorAt("SELEC * FROM t", 1);
  EXPECT_NE(m.find("SELEC"), std::string::npos) << m;
  m = SyntaxErrorAt("select * form t", 10);
  EXPECT_NE(m.find("form"), std::string::npos) << m;
  SyntaxErrorAt("delete from search where name='创建时间' oops", 38);
  SyntaxErrorAt("insert into search(id,name) values(85,)", 39);
  SyntaxErrorAt("insert into search(id,name) values(85,'x'", 42);  // at the end
  SyntaxErrorAt("select * from t where", 22);
  SyntaxErrorAt("CREATE TABLE gsxz (id COUNTER  PRIMARY KEY,name varchar(50)", 60);
  SyntaxErrorAt("CREATE gsxz (id int)", 8);
  SyntaxErrorAt("alter table customer drop qq", 22);
  SyntaxErrorAt("update customer set qq='1'", 1);
  SyntaxErrorAt("", 1);
  SyntaxErrorAt("select * from t where a = = 1", 27);
  SyntaxErrorAt("select * from t where a is 1", 28);
  SyntaxErrorAt("select * from t; select 1", 18);
}

TEST(ParserTest, TrailingSemicolonAndWhitespaceAreAccepted) {
  EXPECT_NO_THROW(Parse("  select * from t ;  "));
  EXPECT_NO_THROW(Parse("\tdelete from t where id=85\r\n"));
}

}  // namespace

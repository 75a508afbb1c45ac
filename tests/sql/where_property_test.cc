// A property test of WHERE: random rows (fixed seed) with NULLs and mixed-case text, random
// condition trees rendered to SQL, and the rows "SELECT ... WHERE" returns compared with a
// reference filter computed here under Jet's three-valued logic (a comparison with NULL is
// unknown, NOT unknown is unknown, only true passes), with text compared without regard to
// letter case and numbers compared numerically. DELETE is checked the same way.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "jet/format/value.h"
#include "jet/sql/session.h"
#include "jet/table/checker.h"
#include "tests/clean_file.h"
#include "tests/sql/sql_test_util.h"

namespace {

namespace fs = std::filesystem;
using sql_test::kPassword;
using testing_support::ScratchDir;

// One row as the reference sees it. Column order in the table: id, n, s, c, d.
struct Row {
  int id = 0;
  std::optional<int> n;
  std::optional<std::string> s;
  std::optional<int64_t> c;  // currency in ten-thousandths
  std::optional<double> d;   // OLE date
};

enum class Col { kId, kN, kS, kC, kD };
const char* ColName(Col c) {
  switch (c) {
    case Col::kId:
      return "id";
    case Col::kN:
      return "n";
    case Col::kS:
      return "s";
    case Col::kC:
      return "c";
    case Col::kD:
      return "d";
  }
  return "?";
}

// A value in a condition: a column, or a literal of the column's kind, or NULL.
struct Operand {
  bool is_column = false;
  Col column = Col::kId;
  bool is_null = false;
  bool is_text = false;  // a text literal
  bool is_date = false;  // a date written as text
  double number = 0;     // numbers and currency; dates as OLE days
  std::string text;      // text literals
  std::string sql;       // as written
};

struct Node {
  enum Kind { kCompare, kIsNull, kAnd, kOr, kNot } kind = kCompare;
  std::string op;        // comparison operator
  bool negated = false;  // IS NOT NULL
  Operand left, right;   // kCompare; kIsNull uses left
  std::unique_ptr<Node> a, b;
};

using Tri = std::optional<bool>;

std::string Upper(std::string s) {
  for (char& ch : s) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  return s;
}

// The text pool: ASCII letters and digits only, so the General sort order's ranking is the
// ranking of the upper-cased text (digits before letters, a prefix before a longer text).
const std::vector<std::string>& TextPool() {
  static const std::vector<std::string> pool = {
      "",   "a",  "A",    "abc",  "ABC",  "Abc",   "abd", "ABCD", "b",
      "B",  "ba", "zeta", "Zeta", "ZETA", "m1",    "M10", "m2",   "9",
      "10", "x",  "xY",   "XYZ",  "aBc0", "Alpha", "alp"};
  return pool;
}

// Days since 1899-12-30 for 2000-01-01 plus `day` days and `seconds` seconds.
double DateValue(int day, int seconds) {
  return 36526.0 + day + seconds / 86400.0;
}

std::string DateText(double ole) {
  std::string iso = jet::FormatOleDate(ole);  // yyyy-mm-ddThh:mm:ss
  iso[10] = ' ';
  return iso;
}

class Generator {
 public:
  explicit Generator(uint32_t seed) : rng_(seed) {}

  int Int(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
  bool Chance(int percent) { return Int(1, 100) <= percent; }

  std::vector<Row> Rows(int count) {
    std::vector<Row> rows;
    for (int i = 1; i <= count; ++i) {
      Row r;
      r.id = i;
      if (!Chance(15)) r.n = Int(-20, 20);
      if (!Chance(15))
        r.s = TextPool()[static_cast<size_t>(Int(0, static_cast<int>(TextPool().size()) - 1))];
      if (!Chance(15)) r.c = static_cast<int64_t>(Int(-3000, 3000)) * 100;  // two decimals
      if (!Chance(15)) r.d = DateValue(Int(0, 30), Chance(50) ? 0 : Int(0, 86399));
      rows.push_back(std::move(r));
    }
    return rows;
  }

  Operand Literal(Col kind) {
    Operand o;
    if (Chance(4)) {
      o.is_null = true;
      o.sql = "NULL";
      return o;
    }
    switch (kind) {
      case Col::kId:
      case Col::kN: {
        int v = kind == Col::kId ? Int(-5, 125) : Int(-22, 22);
        o.number = v;
        o.sql = std::to_string(v);
        if (Chance(10)) o.sql = std::to_string(v) + ".0";
        break;
      }
      case Col::kC: {
        int cents = Int(-3100, 3100) * 10;  // hundredths of the unit, multiples of 0.1
        o.number = cents / 100.0;
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.2f", o.number);
        o.sql = buf;
        break;
      }
      case Col::kS: {
        o.text = TextPool()[static_cast<size_t>(Int(0, static_cast<int>(TextPool().size()) - 1))];
        if (Chance(30)) {  // change the letter case of a pool text
          for (char& ch : o.text) {
            if (Chance(50))
              ch = static_cast<char>(std::islower(static_cast<unsigned char>(ch))
                                         ? std::toupper(ch)
                                         : std::tolower(ch));
          }
        }
        o.is_text = true;
        o.sql = "'" + o.text + "'";
        break;
      }
      case Col::kD: {
        o.is_date = true;
        o.number = DateValue(Int(-1, 31), Chance(50) ? 0 : Int(0, 86399));
        std::string text = DateText(o.number);
        if (text.substr(11) == "00:00:00" && Chance(50)) text.resize(10);
        o.sql = "'" + text + "'";
        break;
      }
    }
    return o;
  }

  Operand Column(Col c) {
    Operand o;
    o.is_column = true;
    o.column = c;
    std::string name = ColName(c);
    if (Chance(30)) name = Upper(name);
    if (Chance(10)) name = "[" + name + "]";
    if (Chance(15)) name = (Chance(50) ? "t." : "T.") + name;
    o.sql = name;
    return o;
  }

  std::unique_ptr<Node> Leaf() {
    auto node = std::make_unique<Node>();
    static const Col kColumns[] = {Col::kId, Col::kN, Col::kS, Col::kC, Col::kD};
    Col col = kColumns[Int(0, 4)];
    if (Chance(15)) {
      node->kind = Node::kIsNull;
      node->negated = Chance(50);
      node->left = Column(col);
      return node;
    }
    static const char* kOps[] = {"=", "<>", "<", "<=", ">", ">="};
    node->kind = Node::kCompare;
    node->op = kOps[Int(0, 5)];
    Operand column = Column(col);
    Operand other;
    if (Chance(15) && col != Col::kS && col != Col::kD) {
      // Two numeric columns of different types: compared as numbers.
      static const Col kNumeric[] = {Col::kId, Col::kN, Col::kC};
      other = Column(kNumeric[Int(0, 2)]);
    } else if (Chance(10) && col == Col::kS) {
      other = Column(Col::kS);
    } else {
      other = Literal(col == Col::kC && Chance(30) ? Col::kN : col);
    }
    if (Chance(30)) {
      node->left = other;
      node->right = column;
    } else {
      node->left = column;
      node->right = other;
    }
    return node;
  }

  std::unique_ptr<Node> Tree(int depth) {
    if (depth == 0 || Chance(30)) return Leaf();
    auto node = std::make_unique<Node>();
    int pick = Int(0, 9);
    if (pick < 4) {
      node->kind = Node::kAnd;
    } else if (pick < 8) {
      node->kind = Node::kOr;
    } else {
      node->kind = Node::kNot;
      node->a = Tree(depth - 1);
      return node;
    }
    node->a = Tree(depth - 1);
    node->b = Tree(depth - 1);
    return node;
  }

  std::string Keyword(const char* word) {
    std::string w = word;
    int style = Int(0, 2);
    if (style == 0) {
      for (char& ch : w) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    } else if (style == 1) {
      for (size_t i = 1; i < w.size(); ++i)
        w[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(w[i])));
    }
    return w;
  }

  // Operator precedence: OR 1, AND 2, NOT 3, comparisons 4. Parentheses where the grouping
  // needs them, and at random elsewhere.
  std::string Render(const Node& n, int context) {
    int mine = n.kind == Node::kOr ? 1 : n.kind == Node::kAnd ? 2 : n.kind == Node::kNot ? 3 : 4;
    std::string text;
    switch (n.kind) {
      case Node::kCompare:
        text = n.left.sql + Space() + n.op + Space() + n.right.sql;
        break;
      case Node::kIsNull:
        text = n.left.sql + " " + Keyword("IS") + (n.negated ? " " + Keyword("NOT") : "") + " " +
               Keyword("NULL");
        break;
      case Node::kAnd:
        text = Render(*n.a, 2) + " " + Keyword("AND") + " " + Render(*n.b, 2);
        break;
      case Node::kOr:
        text = Render(*n.a, 1) + " " + Keyword("OR") + " " + Render(*n.b, 1);
        break;
      case Node::kNot:
        text = Keyword("NOT") + " " + Render(*n.a, 3);
        break;
    }
    if (mine < context || (mine != 4 && context > 0 && Chance(20)) || Chance(5))
      text = "(" + text + ")";
    return text;
  }

 private:
  std::string Space() { return Chance(30) ? "" : " "; }
  std::mt19937 rng_;
};

// --- The reference ---

struct RefValue {
  enum { kNull, kNumber, kText, kDate } kind = kNull;
  double number = 0;
  int64_t seconds = 0;  // dates, counted in whole seconds
  std::string text;
};

RefValue Number(double d) {
  RefValue v;
  v.kind = RefValue::kNumber;
  v.number = d;
  return v;
}

RefValue DateOf(double ole) {
  RefValue v;
  v.kind = RefValue::kDate;
  v.seconds = std::llround(ole * 86400.0);
  return v;
}

RefValue ValueOf(const Operand& o, const Row& r) {
  RefValue v;
  if (!o.is_column) {
    if (o.is_null) return v;
    if (o.is_date) return DateOf(o.number);
    if (o.is_text) {
      v.kind = RefValue::kText;
      v.text = o.text;
      return v;
    }
    return Number(o.number);
  }
  switch (o.column) {
    case Col::kId:
      return Number(r.id);
    case Col::kN:
      return r.n ? Number(*r.n) : v;
    case Col::kS:
      if (r.s) v.kind = RefValue::kText, v.text = *r.s;
      return v;
    case Col::kC:
      return r.c ? Number(static_cast<double>(*r.c) / 10000.0) : v;
    case Col::kD:
      return r.d ? DateOf(*r.d) : v;
  }
  return v;
}

Tri Eval(const Node& n, const Row& r) {
  switch (n.kind) {
    case Node::kIsNull: {
      bool null = ValueOf(n.left, r).kind == RefValue::kNull;
      return n.negated ? !null : null;
    }
    case Node::kCompare: {
      RefValue a = ValueOf(n.left, r), b = ValueOf(n.right, r);
      if (a.kind == RefValue::kNull || b.kind == RefValue::kNull) return std::nullopt;
      int c;
      if (a.kind == RefValue::kText) {
        std::string x = Upper(a.text), y = Upper(b.text);
        c = x < y ? -1 : (x > y ? 1 : 0);
      } else if (a.kind == RefValue::kDate) {
        c = a.seconds < b.seconds ? -1 : (a.seconds > b.seconds ? 1 : 0);
      } else {
        c = a.number < b.number ? -1 : (a.number > b.number ? 1 : 0);
      }
      if (n.op == "=") return c == 0;
      if (n.op == "<>") return c != 0;
      if (n.op == "<") return c < 0;
      if (n.op == "<=") return c <= 0;
      if (n.op == ">") return c > 0;
      return c >= 0;
    }
    case Node::kNot: {
      Tri v = Eval(*n.a, r);
      if (!v) return std::nullopt;
      return !*v;
    }
    case Node::kAnd: {
      Tri x = Eval(*n.a, r), y = Eval(*n.b, r);
      if ((x && !*x) || (y && !*y)) return false;
      if (!x || !y) return std::nullopt;
      return true;
    }
    case Node::kOr: {
      Tri x = Eval(*n.a, r), y = Eval(*n.b, r);
      if ((x && *x) || (y && *y)) return true;
      if (!x || !y) return std::nullopt;
      return false;
    }
  }
  return std::nullopt;
}

std::string Sql(const Row& r) {
  auto opt_int = [](const std::optional<int>& v) {
    return v ? std::to_string(*v) : std::string("NULL");
  };
  std::string c = "NULL";
  if (r.c) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", static_cast<double>(*r.c) / 10000.0);
    c = buf;
  }
  return "insert into t (id, n, s, c, d) values (" + std::to_string(r.id) + ", " + opt_int(r.n) +
         ", " + (r.s ? "'" + *r.s + "'" : std::string("NULL")) + ", " + c + ", " +
         (r.d ? "'" + DateText(*r.d) + "'" : std::string("NULL")) + ")";
}

class WherePropertyTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    scratch_ = new ScratchDir();
    path_ = new fs::path(scratch_->path() / "where.sys");
    sql_test::NewDatabase(*path_);
    Generator g(20240611);
    rows_ = new std::vector<Row>(g.Rows(120));
    jet::sql::Session s(*path_, kPassword);
    s.Execute("CREATE TABLE t (id int, n int, s varchar(20), c currency, d datetime)");
    for (const Row& r : *rows_) s.Execute(Sql(r));
  }
  static void TearDownTestSuite() {
    delete rows_;
    delete path_;
    delete scratch_;
  }

  static std::vector<int> Expected(const Node& where) {
    std::vector<int> ids;
    for (const Row& r : *rows_) {
      Tri t = Eval(where, r);
      if (t && *t) ids.push_back(r.id);
    }
    return ids;
  }

  static std::vector<int> Ids(const jet::sql::ResultSet& result) {
    std::vector<int> ids;
    for (const auto& row : result.rows) ids.push_back(static_cast<int>(row.at(0).integer));
    return ids;
  }

  static ScratchDir* scratch_;
  static fs::path* path_;
  static std::vector<Row>* rows_;
};

ScratchDir* WherePropertyTest::scratch_ = nullptr;
fs::path* WherePropertyTest::path_ = nullptr;
std::vector<Row>* WherePropertyTest::rows_ = nullptr;

TEST_F(WherePropertyTest, StoredRowsReadBackAsGenerated) {
  jet::sql::Session s(*path_, kPassword);
  jet::sql::ResultSet all = s.Query("select * from t");
  ASSERT_EQ(all.rows.size(), rows_->size());
  for (size_t i = 0; i < all.rows.size(); ++i) {
    const Row& r = (*rows_)[i];
    const auto& v = all.rows[i];
    EXPECT_EQ(v[0].integer, r.id);
    EXPECT_EQ(v[1].IsNull(), !r.n);
    if (r.n) {
      EXPECT_EQ(v[1].integer, *r.n);
    }
    EXPECT_EQ(v[2].IsNull(), !r.s);
    if (r.s) {
      EXPECT_EQ(v[2].text, *r.s);
    }
    EXPECT_EQ(v[3].IsNull(), !r.c);
    if (r.c) {
      EXPECT_EQ(v[3].integer, *r.c);
    }
    EXPECT_EQ(v[4].IsNull(), !r.d);
    if (r.d) {
      EXPECT_NEAR(v[4].real, *r.d, 0.5 / 86400);
    }
  }
}

// Hand-written cases the random ones might miss.
TEST_F(WherePropertyTest, KnownCases) {
  jet::sql::Session s(*path_, kPassword);
  auto count = [&](const std::string& where) {
    return s.Query("select id from t where " + where).rows.size();
  };
  auto expect = [&](const std::string& where, const std::function<Tri(const Row&)>& f) {
    size_t want = 0;
    for (const Row& r : *rows_) {
      Tri t = f(r);
      if (t && *t) ++want;
    }
    EXPECT_EQ(count(where), want) << where;
  };
  expect("s = 'abc'", [](const Row& r) -> Tri {
    if (!r.s) return std::nullopt;
    return Upper(*r.s) == "ABC";
  });
  expect("s = 'ABC'", [](const Row& r) -> Tri {
    if (!r.s) return std::nullopt;
    return Upper(*r.s) == "ABC";
  });
  expect("s <> ''", [](const Row& r) -> Tri {
    if (!r.s) return std::nullopt;
    return !r.s->empty();
  });
  expect("s is null", [](const Row& r) -> Tri { return !r.s; });
  expect("not (n = 1)", [](const Row& r) -> Tri {
    if (!r.n) return std::nullopt;
    return *r.n != 1;
  });
  expect("n = NULL or not n = NULL", [](const Row&) -> Tri { return std::nullopt; });
  expect("n is null or n is not null", [](const Row&) -> Tri { return true; });
  expect("c >= 10.5", [](const Row& r) -> Tri {
    if (!r.c) return std::nullopt;
    return *r.c >= 105000;
  });
  expect("-c > 10", [](const Row& r) -> Tri {
    if (!r.c) return std::nullopt;
    return -*r.c > 100000;
  });
  expect("d >= '2000-01-15'", [](const Row& r) -> Tri {
    if (!r.d) return std::nullopt;
    return *r.d >= DateValue(14, 0);
  });
  // Unknown OR true is true; unknown AND false is false.
  expect("n = 5 or id > 0", [](const Row&) -> Tri { return true; });
  expect("not (n = 5 and id < 0)", [](const Row&) -> Tri { return true; });
  EXPECT_EQ(count("s = 'Zeta'"), count("s = 'zEtA'"));
}

TEST_F(WherePropertyTest, RandomConditionsSelectTheReferenceRows) {
  Generator g(777);
  jet::sql::Session s(*path_, kPassword);
  int nonempty = 0, partial = 0;
  for (int i = 0; i < 400; ++i) {
    std::unique_ptr<Node> where = g.Tree(g.Int(0, 4));
    std::string text = g.Render(*where, 0);
    std::vector<int> want = Expected(*where);
    std::vector<int> got;
    try {
      got = Ids(s.Query("SELECT * FROM t WHERE " + text));
    } catch (const std::exception& e) {
      ADD_FAILURE() << "case " << i << ": " << text << "\n  threw: " << e.what();
      continue;
    }
    EXPECT_EQ(got, want) << "case " << i << ": WHERE " << text;
    if (!want.empty()) ++nonempty;
    if (!want.empty() && want.size() < rows_->size()) ++partial;
  }
  // The generator must produce selective conditions, not only all-or-nothing ones.
  EXPECT_GT(partial, 150);
  EXPECT_GT(nonempty, 200);
}

TEST_F(WherePropertyTest, RandomDeletesRemoveExactlyTheReferenceRows) {
  Generator g(4242);
  ScratchDir scratch;
  for (int i = 0; i < 25; ++i) {
    std::unique_ptr<Node> where = g.Tree(g.Int(1, 3));
    std::string text = g.Render(*where, 0);
    std::vector<int> removed = Expected(*where);
    std::vector<int> kept;
    for (const Row& r : *rows_) {
      if (std::find(removed.begin(), removed.end(), r.id) == removed.end()) kept.push_back(r.id);
    }
    fs::path copy = scratch.path() / ("copy" + std::to_string(i) + ".sys");
    fs::copy_file(*path_, copy);
    jet::sql::Session s(copy, kPassword);
    size_t affected = 0;
    try {
      affected = s.Execute("delete from t where " + text);
    } catch (const std::exception& e) {
      ADD_FAILURE() << "case " << i << ": " << text << "\n  threw: " << e.what();
      continue;
    }
    EXPECT_EQ(affected, removed.size()) << text;
    EXPECT_EQ(Ids(s.Query("select id from t")), kept) << "DELETE WHERE " << text;
    jet::CheckReport report = jet::CheckDatabase(s.database());
    EXPECT_TRUE(testing_support::IsClean(report)) << text;
  }
}

}  // namespace

// The upgrade's fixed statements, run exactly as the product writes them, on an old-style
// customer-relationship database and a template in a directory whose path holds spaces and
// Chinese characters. Effects are checked with our own reader, with the consistency checker,
// and with the independent readers mdb-reader (node) and mdb-export where installed.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/unicode.h"
#include "db/db_connection.h"
#include "db/recordset.h"
#include "db/row_cursor.h"
#include "jet/file/journal.h"
#include "jet/sql/session.h"
#include "jet/table/checker.h"
#include "tests/clean_file.h"
#include "tests/sql/sql_test_util.h"

namespace {

namespace fs = std::filesystem;
using jet::ColumnDefinition;
using jet::ColumnType;
using jet::Value;
using jet::ValueKind;
using sql_test::BulkInsert;
using sql_test::ConnectionStringFor;
using sql_test::CopySfz;
using sql_test::CopySj;
using sql_test::CopyZdy;
using sql_test::CreateStatements;
using sql_test::Currency;
using sql_test::Date;
using sql_test::ExternalPrefix;
using sql_test::FixUpStatements;
using sql_test::kPassword;
using sql_test::Long;
using sql_test::Null;
using sql_test::RunAll;
using sql_test::ScanRows;
using sql_test::Show;
using sql_test::Text;
using testing_support::ReadBytes;
using testing_support::ScratchDir;

using Rows = std::vector<std::vector<Value>>;

// --- The product's statements ---

constexpr const char* kDeleteGroups = upgrade::kGroupDeletion;
constexpr const char* kSelectGroups = upgrade::kGroupQuery;
constexpr const char* kSelectSearch = upgrade::kSearchColumnsQuery;

const std::vector<std::string>& AlterStatements() {
  using sql_test::ColumnAdditionStatement;
  static const std::vector<std::string> statements = {
      ColumnAdditionStatement("Customer", "qq"),
      ColumnAdditionStatement("Customer", "bz"),
      ColumnAdditionStatement("Customer", "creattime"),
      ColumnAdditionStatement("ContactPerson", "pic"),
      ColumnAdditionStatement("SaleList", "remindsetup"),
      ColumnAdditionStatement("product", "pic1"),
  };
  return statements;
}

// --- Building the test data with our engine ---

std::string SearchInsert(int id, const std::string& name, const std::string& field,
                         const std::string& numtype, const std::string& table, int num) {
  return "insert into search(id,name,field,numtype,tablename,tablenum) values(" +
         std::to_string(id) + ",'" + name + "','" + field + "','" + numtype + "','" + table + "'," +
         std::to_string(num) + ")";
}

// An old customer-relationship database: search with groups 10/11 to be replaced and rows
// the fix-up sequence removes, and the tables the ALTER statements extend, holding rows.
void BuildOldDatabase(const fs::path& path) {
  sql_test::NewDatabase(path);
  RunAll(
      path,
      {
          "CREATE TABLE search (id int, name varchar(50), field varchar(50), numtype varchar(20), "
          "tablename "
          "varchar(50), tablenum int)",
          SearchInsert(1, "客户名称", "name", "str", "Customer", 1),
          SearchInsert(2, "电话", "tel", "str", "Customer", 1),
          SearchInsert(3, "联系人姓名", "name", "str", "ContactPerson", 2),
          SearchInsert(4, "手机", "mobile", "str", "ContactPerson", 2),
          SearchInsert(5, "销售单号", "code", "str", "sale", 3),
          SearchInsert(20, "旧报价", "code", "str", "bj", 10),
          SearchInsert(21, "旧报价日期", "bjdate", "date", "bj", 10),
          SearchInsert(22, "旧机会", "title", "str", "chancesale", 11),
          SearchInsert(85, "旧字段", "by1", "str", "sale", 3),
          SearchInsert(30, "创建时间", "lastdate", "date", "Customer", 1),
          SearchInsert(31, "自定义字段", "self1", "str", "Customer", 1),
          "CREATE TABLE Customer (id COUNTER PRIMARY KEY, name varchar(100), tel varchar(50), "
          "address "
          "varchar(255), lastdate datetime, money currency)",
          "insert into Customer (name, tel, address, lastdate, money) values "
          "('北京某某科技有限公司', "
          "'010-12345678', '北京市海淀区中关村大街1号', '2003-06-13 09:30:00', 1234.5)",
          "insert into Customer (name, tel, address) values ('上海贸易公司', '021-87654321', NULL)",
          "insert into Customer (name) values ('O''Neil & Co.')",
          "CREATE TABLE ContactPerson (id COUNTER PRIMARY KEY, custid int, name varchar(50), "
          "mobile varchar(50))",
          "insert into ContactPerson (custid, name, mobile) values (1, '张三', '13800138000')",
          "insert into ContactPerson (custid, name, mobile) values (2, '李四', NULL)",
          "CREATE TABLE Sale (id COUNTER PRIMARY KEY, code varchar(50), custid int, total "
          "currency, bz text)",
          "insert into Sale (code, custid, total, bz) values ('XS-0001', 1, 99.99, '首单')",
          "CREATE TABLE SaleList (id COUNTER PRIMARY KEY, saleid int, product varchar(50), amount "
          "currency, "
          "price currency)",
          "insert into SaleList (saleid, product, amount, price) values (1, '打印机', 2, 49.995)",
          "insert into SaleList (saleid, product, amount, price) values (1, '硒鼓', 1, 0)",
          "CREATE TABLE product (id COUNTER PRIMARY KEY, name varchar(50), code varchar(50), price "
          "currency)",
          "insert into product (name, code, price) values ('打印机', 'P-01', 1999)",
      });
}

// The province and city names the phone-prefix rows cycle through.
const std::vector<std::pair<std::string, std::string>>& Places() {
  static const std::vector<std::pair<std::string, std::string>> places = {
      {"北京", "北京"}, {"广东", "广州"},     {"广东", "深圳"},       {"上海", "上海"},
      {"四川", "成都"}, {"新疆", "乌鲁木齐"}, {"内蒙古", "呼和浩特"}, {"黑龙江", "齐齐哈尔"},
  };
  return places;
}

std::vector<uint8_t> Picture(size_t size, uint8_t seed) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7);
  return bytes;
}

std::string Repeat(const std::string& piece, size_t times) {
  std::string out;
  for (size_t i = 0; i < times; ++i) out += piece;
  return out;
}

// The template the upgrade copies from: search (groups 10 and 11 and others), sj with a few
// hundred rows and autonumber gaps, zdy with many column types (or empty), and sfz.
void BuildTemplate(const fs::path& path, bool empty_zdy = false) {
  sql_test::NewDatabase(path);
  RunAll(path, {
                   "CREATE TABLE search (id int, name varchar(50), field varchar(50), numtype "
                   "varchar(20), tablename "
                   "varchar(50), tablenum int)",
                   SearchInsert(1, "客户名称", "name", "str", "Customer", 1),
                   SearchInsert(40, "报价单号", "code", "str", "bj", 10),
                   SearchInsert(41, "报价日期", "bjdate", "date", "bj", 10),
                   SearchInsert(42, "报价人", "person", "str", "bj", 10),
                   SearchInsert(50, "机会主题", "title", "str", "chancesale", 11),
                   SearchInsert(51, "销售日期", "saledate", "date", "chancesale", 11),
                   SearchInsert(52, "联系人", "contact", "str", "chancesale", 11),
                   "insert into search(id,name,field,tablename,tablenum) values(53,'O''Brien "
                   "项目','by1','chancesale',11)",
                   SearchInsert(60, "其他", "x", "str", "Other", 12),
                   "CREATE TABLE sj (id COUNTER  PRIMARY KEY,CodeB varchar(50),CodeE "
                   "varchar(50),DQ varchar(50),city "
                   "varchar(50),qh int,type varchar(50))",
                   "CREATE TABLE zdy (id COUNTER PRIMARY KEY, tablename varchar(50), fieldname "
                   "varchar(50), title "
                   "varchar(100), content text, price currency, num int, created datetime, code "
                   "char(10), flag bit, pic "
                   "image, ratio double, small smallint)",
                   "CREATE TABLE sfz (bm int,dq char(50))",
               });
  Rows sj;
  const std::vector<std::string> types = {"移动", "联通", "电信", "小灵通"};
  for (int i = 0; i < 320; ++i) {
    const auto& place = Places()[i % Places().size()];
    std::string begin = std::to_string(1300000 + i * 10);
    std::string end = std::to_string(1300000 + i * 10 + 9);
    Value city = i % 17 == 3 ? Null() : Text(place.second);
    Value qh = i % 23 == 5 ? Null() : Long(10 + i % 900);
    Value dq = Text(i == 111 ? Repeat("长", 50) : place.first);  // exactly the column's size
    sj.push_back({Null(), Text(begin), Text(end), dq, city, qh, Text(types[i % types.size()])});
  }
  BulkInsert(path, "sj", {"id", "CodeB", "CodeE", "DQ", "city", "qh", "type"}, sj);
  // Gaps in the template's numbers: the copy must number its rows afresh.
  RunAll(path, {"delete from sj where id=7 or id=100 or id=320"});

  if (!empty_zdy) {
    Value bit_true = Value::Boolean(true), bit_false = Value::Boolean(false);
    Value pic{ValueKind::kBinary, 0, 0, {}, Picture(3000, 1)};
    Rows zdy = {
        {Null(), Text("Customer"), Text("self1"), Text("客户来源"), Text("网络;电话;朋友介绍"),
         Currency(123400), Long(1), Date(37785.5), Text("A1"), bit_true, pic,
         Value{ValueKind::kDouble, 0, 0.25, {}, {}}, Value{ValueKind::kInteger, -7, 0, {}, {}}},
        {Null(), Text("ContactPerson"), Text("self2"), Text(Repeat("标题", 50)),
         Text(Repeat("很长的备注。", 900)), Currency(-5000), Long(-2147483647 - 1), Date(0),
         Text("中文代码"), bit_false, Null(), Null(), Null()},
        {Null(), Text("Customer"), Null(), Text(""), Text(""), Null(), Null(), Null(), Null(),
         bit_false, Null(), Null(), Null()},
        {Null(), Text("sale"), Text("by1"), Text("it's"), Null(),
         Currency(922337203685477LL * 10000), Long(2147483647), Date(2958465.999988426),
         Text("0123456789"), bit_true, Value{ValueKind::kBinary, 0, 0, {}, {0x00, 0xFF}},
         Value{ValueKind::kDouble, 0, -1e300, {}, {}},
         Value{ValueKind::kInteger, 32767, 0, {}, {}}},
    };
    BulkInsert(path, "zdy",
               {"id", "tablename", "fieldname", "title", "content", "price", "num", "created",
                "code", "flag", "pic", "ratio", "small"},
               zdy);
  }

  Rows sfz;
  for (int i = 0; i < 60; ++i) {
    const auto& place = Places()[i % Places().size()];
    Value dq =
        i == 13 ? Null() : Text(i == 29 ? Repeat("区", 50) : place.first + place.second + "市");
    sfz.push_back({i == 41 ? Null() : Long(110000 + i * 101), dq});
  }
  BulkInsert(path, "sfz", {"bm", "dq"}, sfz);
}

// --- Reading back ---

// Columns in the order the user sees them.
std::vector<const ColumnDefinition*> Ordered(const jet::TableDefinition& def) {
  std::vector<const ColumnDefinition*> out;
  for (const auto& c : def.columns) out.push_back(&c);
  std::stable_sort(out.begin(), out.end(),
                   [](auto* a, auto* b) { return a->ordinal < b->ordinal; });
  return out;
}

void ExpectColumn(const jet::TableDefinition& def, const std::string& name, ColumnType type,
                  uint16_t text_chars = 0, bool fixed = false) {
  const ColumnDefinition* c = def.FindColumn(name);
  ASSERT_NE(c, nullptr) << name;
  EXPECT_EQ(c->type, type) << name;
  if (type == ColumnType::kText) {
    EXPECT_EQ(c->length, text_chars * 2) << name;
    EXPECT_EQ(c->IsFixed(), fixed) << name;
  }
}

bool HasPrimaryKeyOn(const jet::TableDefinition& def, const std::string& column) {
  const ColumnDefinition* c = def.FindColumn(column);
  if (!c) return false;
  for (const auto& li : def.logical_indexes) {
    if (li.type != jet::LogicalIndex::kPrimaryKey) continue;
    const auto& ri = def.real_indexes.at(li.real_index);
    return ri.IsUnique() && ri.columns.size() == 1 && ri.columns[0].column_id == c->id;
  }
  return false;
}

// Values of `table` as texts keyed by column name (NULL shown as "<NULL>").
std::vector<std::map<std::string, std::string>> Named(jet::Database& db, const std::string& table) {
  jet::Table t = db.OpenTable(table);
  const auto& def = t.definition();
  std::vector<std::map<std::string, std::string>> out;
  t.Scan([&](jet::RowPointer, const std::vector<Value>& row) {
    std::map<std::string, std::string> m;
    for (size_t i = 0; i < def.columns.size(); ++i) m[def.columns[i].name] = Show(row[i]);
    out.push_back(std::move(m));
    return true;
  });
  return out;
}

// One JSON value from the oracle as comparable text.
std::string JsonText(const json_lite::Value& v) {
  switch (v.type()) {
    case json_lite::Value::Type::kNull:
      return "null";
    case json_lite::Value::Type::kBool:
      return v.AsBool() ? "true" : "false";
    case json_lite::Value::Type::kNumber:
      return v.NumberText();
    case json_lite::Value::Type::kString:
      return "\"" + v.AsString() + "\"";
    default:
      return "?";
  }
}

std::map<std::string, std::string> JsonRow(const json_lite::Value& row,
                                           const std::string& skip = "") {
  std::map<std::string, std::string> out;
  for (const auto& [key, value] : row.AsObject()) {
    if (!skip.empty() && base::EqualsIgnoreCase(key, skip)) continue;
    out[key] = JsonText(value);
  }
  return out;
}

// Drops the first CSV field of every line (mdb-export puts the id column first).
std::vector<std::string> WithoutFirstField(const std::string& csv) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < csv.size()) {
    size_t end = csv.find('\n', at);
    if (end == std::string::npos) end = csv.size();
    std::string line = csv.substr(at, end - at);
    size_t comma = line.find(',');
    lines.push_back(comma == std::string::npos ? "" : line.substr(comma + 1));
    at = end + 1;
  }
  return lines;
}

class SqlStatementsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = scratch_.path() / u8"客户 数据" / "crm.sys";
    template_ = scratch_.path() / u8"模板 目录" / "my.sys";
    BuildOldDatabase(old_);
    BuildTemplate(template_);
  }

  ScratchDir scratch_;
  fs::path old_;
  fs::path template_;
};

// The whole run through the database contract, in the product's order.
TEST_F(SqlStatementsTest, UpgradeSequenceThroughTheContract) {
  const std::vector<uint8_t> template_before = ReadBytes(template_);
  {
    db::DbConnection conn;
    conn.Connect(ConnectionStringFor(old_));
    db::DbConnection tpl;
    tpl.Connect(ConnectionStringFor(template_));

    conn.RunStatement(kDeleteGroups);
    std::unique_ptr<db::RowCursor> from = tpl.OpenRows(kSelectGroups);
    EXPECT_EQ(from->RowCount(), 7u);
    std::unique_ptr<db::RowCursor> into = conn.OpenRows(kSelectSearch);
    EXPECT_EQ(into->RowCount(), 8u);  // 11 rows less the three of groups 10 and 11
    for (; !from->AtEnd(); from->MoveNext()) {
      into->AddRow({{"id", from->ColumnText("id")},
                    {"name", from->ColumnText("name")},
                    {"field", from->ColumnText("field")},
                    {"numtype", from->ColumnText("numtype")},
                    {"tablename", from->ColumnText("tablename")},
                    {"tablenum", from->ColumnText("tablenum")}});
    }
    for (const auto& s : FixUpStatements()) conn.RunStatement(s);
    for (const auto& s : CreateStatements()) conn.RunStatement(s);

    std::unique_ptr<db::Recordset> rs = db::CreateRecordset("Adodb.Recordset");
    rs->Pagesize = 1;
    for (const auto& s : {CopySj(template_), CopyZdy(template_), CopySfz(template_)}) {
      SCOPED_TRACE(s);
      conn.RunOnRecordset(*rs, s);
      EXPECT_FALSE(rs->IsOpen());
    }
    for (const auto& s : AlterStatements()) conn.RunStatement(s);

    for (const char* table : {"Customer", "ContactPerson", "Sale", "SaleList", "product"}) {
      std::unique_ptr<db::RowCursor> rows = conn.OpenRows(std::string("select * from ") + table);
      EXPECT_GT(rows->RowCount(), 0u) << table;
    }
    std::unique_ptr<db::RowCursor> customers = conn.OpenRows("select * from Customer");
    EXPECT_TRUE(customers->HasColumn("QQ"));
    EXPECT_TRUE(customers->HasColumn("creattime"));
    ASSERT_FALSE(customers->AtEnd());
    EXPECT_EQ(customers->ColumnText("name"), "北京某某科技有限公司");
    EXPECT_EQ(customers->ColumnText("qq"), "");
    EXPECT_EQ(customers->ColumnText("money"), "1234.5000");
    EXPECT_EQ(customers->ColumnText("lastdate"), "2003-06-13 09:30:00");
  }
  EXPECT_EQ(ReadBytes(template_), template_before) << "the template must not change";
  EXPECT_FALSE(jet::JournalExists(old_));

  auto db = jet::Database::Open(old_, kPassword);

  // search: the old rows outside groups 10/11, the template's groups, the fixed-up rows.
  {
    auto rows = Named(*db, "search");
    std::map<std::string, std::map<std::string, std::string>> by_id;
    for (auto& r : rows) {
      EXPECT_EQ(by_id.count(r["id"]), 0u) << "id " << r["id"] << " twice";
      by_id[r["id"]] = r;
    }
    std::set<std::string> ids;
    for (auto& [id, r] : by_id) ids.insert(id);
    EXPECT_EQ(ids, (std::set<std::string>{"1", "2", "3", "4", "5", "40", "41", "42", "50", "51",
                                          "52", "53", "85", "86", "87", "88", "89"}));
    EXPECT_EQ(by_id["41"]["name"], "报价日期");
    EXPECT_EQ(by_id["41"]["numtype"], "date");
    EXPECT_EQ(by_id["41"]["tablenum"], "10");
    EXPECT_EQ(by_id["53"]["name"], "O'Brien 项目");
    // A NULL in the template comes through the contract's texts as an empty string.
    EXPECT_EQ(by_id["53"]["numtype"], "");
    EXPECT_EQ(by_id["85"]["name"], "发票号");
    EXPECT_EQ(by_id["85"]["field"], "bz1");
    EXPECT_EQ(by_id["85"]["tablename"], "sale");
    EXPECT_EQ(by_id["85"]["tablenum"], "3");
    EXPECT_EQ(by_id["87"]["name"], "创建时间");
    EXPECT_EQ(by_id["87"]["tablename"], "ContactPerson");
    EXPECT_EQ(by_id["88"]["name"], "自定义字段");
    EXPECT_EQ(by_id["89"]["tablenum"], "2");
  }

  // The created tables and their column types.
  {
    const auto& findtable = db->OpenTable("findtable").definition();
    ExpectColumn(findtable, "id", ColumnType::kLong);
    EXPECT_TRUE(findtable.FindColumn("id")->IsAutoNumber());
    EXPECT_TRUE(HasPrimaryKeyOn(findtable, "id"));
    ExpectColumn(findtable, "name", ColumnType::kText, 255);
    ExpectColumn(findtable, "content", ColumnType::kMemo);
    ExpectColumn(findtable, "tablename", ColumnType::kText, 50);

    const auto& bjlist = db->OpenTable("bjlist").definition();
    EXPECT_EQ(bjlist.columns.size(), 14u);
    ExpectColumn(bjlist, "bjid", ColumnType::kLong);
    EXPECT_FALSE(bjlist.FindColumn("bjid")->IsAutoNumber());
    ExpectColumn(bjlist, "zhekou", ColumnType::kCurrency);
    ExpectColumn(bjlist, "bz", ColumnType::kMemo);
    ExpectColumn(bjlist, "total", ColumnType::kCurrency);

    for (const char* self : {"custself", "contactself"}) {
      const auto& def = db->OpenTable(self).definition();
      ASSERT_EQ(def.columns.size(), 19u) << self;
      EXPECT_TRUE(def.logical_indexes.empty()) << self;
      auto ordered = Ordered(def);
      EXPECT_EQ(ordered[0]->name, "custumid");
      EXPECT_EQ(ordered[18]->name, "self18");
      ExpectColumn(def, "self18", ColumnType::kText, 255);
    }
    const auto& chancesale = db->OpenTable("chancesale").definition();
    EXPECT_EQ(chancesale.columns.size(), 24u);
    ExpectColumn(chancesale, "by5", ColumnType::kMemo);
    ExpectColumn(chancesale, "bjcode", ColumnType::kText, 100);
    const auto& relation = db->OpenTable("relation").definition();
    EXPECT_EQ(relation.columns.size(), 7u);
    EXPECT_TRUE(HasPrimaryKeyOn(relation, "id"));
    const auto& sfz = db->OpenTable("sfz").definition();
    ExpectColumn(sfz, "bm", ColumnType::kLong);
    ExpectColumn(sfz, "dq", ColumnType::kText, 50, /*fixed=*/true);
    EXPECT_TRUE(sfz.logical_indexes.empty());
  }

  // sj: every template row, renumbered from 1 in the template's order.
  auto template_db = jet::Database::Open(template_, kPassword);
  {
    Rows source = ScanRows(*template_db, "sj");
    Rows copied = ScanRows(*db, "sj");
    ASSERT_EQ(source.size(), 317u);
    ASSERT_EQ(copied.size(), source.size());
    for (size_t i = 0; i < copied.size(); ++i) {
      SCOPED_TRACE("row " + std::to_string(i));
      EXPECT_EQ(Show(copied[i][0]), std::to_string(i + 1));
      for (size_t c = 1; c < 7; ++c)
        EXPECT_EQ(Show(copied[i][c]), Show(source[i][c])) << "column " << c;
    }
    EXPECT_EQ(db->OpenTable("sj").definition().last_autonumber, 317u);
    EXPECT_EQ(db->OpenTable("sj").definition().row_count, 317u);
  }

  // zdy: the template's columns, types and sizes, and its rows.
  {
    const auto& want = template_db->OpenTable("zdy").definition();
    const auto& got = db->OpenTable("zdy").definition();
    auto want_columns = Ordered(want), got_columns = Ordered(got);
    ASSERT_EQ(got_columns.size(), want_columns.size());
    for (size_t i = 0; i < got_columns.size(); ++i) {
      SCOPED_TRACE(want_columns[i]->name);
      EXPECT_EQ(got_columns[i]->name, want_columns[i]->name);
      EXPECT_EQ(got_columns[i]->type, want_columns[i]->type);
      if (want_columns[i]->type == ColumnType::kText) {
        EXPECT_EQ(got_columns[i]->length, want_columns[i]->length);
        EXPECT_EQ(got_columns[i]->IsFixed(), want_columns[i]->IsFixed());
      }
    }
    EXPECT_EQ(Named(*db, "zdy"), Named(*template_db, "zdy"));
    EXPECT_EQ(Named(*db, "zdy").size(), 4u);
  }

  // sfz: identical rows, fixed-length text included.
  EXPECT_EQ(Named(*db, "sfz"), Named(*template_db, "sfz"));
  EXPECT_EQ(Named(*db, "sfz").size(), 60u);

  // ALTER: new columns of the right types, NULL in every existing row.
  {
    const auto& customer = db->OpenTable("customer").definition();
    ExpectColumn(customer, "qq", ColumnType::kText, 255);
    ExpectColumn(customer, "bz", ColumnType::kMemo);
    ExpectColumn(customer, "creattime", ColumnType::kText, 20);
    ExpectColumn(db->OpenTable("ContactPerson").definition(), "pic", ColumnType::kOle);
    ExpectColumn(db->OpenTable("SaleList").definition(), "remindsetup", ColumnType::kMemo);
    ExpectColumn(db->OpenTable("product").definition(), "pic1", ColumnType::kOle);
    auto customers = Named(*db, "Customer");
    ASSERT_EQ(customers.size(), 3u);
    for (auto& r : customers) {
      EXPECT_EQ(r["qq"], "<NULL>");
      EXPECT_EQ(r["bz"], "<NULL>");
      EXPECT_EQ(r["creattime"], "<NULL>");
    }
    EXPECT_EQ(customers[0]["name"], "北京某某科技有限公司");
    EXPECT_EQ(customers[2]["name"], "O'Neil & Co.");
    for (auto& r : Named(*db, "ContactPerson")) EXPECT_EQ(r["pic"], "<NULL>");
    for (auto& r : Named(*db, "SaleList")) EXPECT_EQ(r["remindsetup"], "<NULL>");
    for (auto& r : Named(*db, "product")) EXPECT_EQ(r["pic1"], "<NULL>");
  }

  jet::CheckReport report = jet::CheckDatabase(*db);
  EXPECT_TRUE(testing_support::IsClean(report));
  EXPECT_GT(report.keys_compared, 0u);
  jet::CheckReport template_report = jet::CheckDatabase(*template_db);
  EXPECT_TRUE(testing_support::IsClean(template_report));
}

// The same statements through a bare session, then the tables are written to again: the
// counter continues after the copied rows, and new columns take values.
TEST_F(SqlStatementsTest, TablesAcceptRowsAfterTheUpgrade) {
  jet::sql::Session s(old_, kPassword);
  for (const auto& text : CreateStatements()) s.Execute(text);
  EXPECT_EQ(s.Execute(CopySj(template_)), 317u);
  EXPECT_EQ(s.Execute(CopyZdy(template_)), 4u);
  EXPECT_EQ(s.Execute(CopySfz(template_)), 60u);
  for (const auto& text : AlterStatements()) s.Execute(text);

  s.Execute("INSERT INTO sj (CodeB, DQ) VALUES ('1999999', '海南')");
  jet::sql::ResultSet last = s.Query("select id, DQ from sj where CodeB='1999999'");
  ASSERT_EQ(last.rows.size(), 1u);
  EXPECT_EQ(Show(last.rows[0][0]), "318");
  EXPECT_EQ(Show(last.rows[0][1]), "海南");

  s.Execute(
      "insert into customer (name, qq, bz, creattime) values ('新客户', '12345', '备注', "
      "'2024-01-01')");
  jet::sql::ResultSet c = s.Query("select id, qq, bz, creattime from customer where name='新客户'");
  ASSERT_EQ(c.rows.size(), 1u);
  EXPECT_EQ(Show(c.rows[0][0]), "4");
  EXPECT_EQ(Show(c.rows[0][1]), "12345");
  EXPECT_EQ(Show(c.rows[0][2]), "备注");
  EXPECT_EQ(Show(c.rows[0][3]), "2024-01-01");

  s.Execute("insert into gsxz (name) values ('有限责任公司')");
  s.Execute("insert into gsxz (name) values ('股份有限公司')");
  jet::sql::ResultSet g = s.Query("select * from gsxz");
  ASSERT_EQ(g.rows.size(), 2u);
  EXPECT_EQ(Show(g.rows[0][0]), "1");
  EXPECT_EQ(Show(g.rows[1][0]), "2");

  // CHAR(50) pads to its size when read back; the stored text is the same either way.
  s.Execute("insert into sfz (bm, dq) values (1, '北京')");
  jet::sql::ResultSet f = s.Query("select dq from sfz where bm=1");
  ASSERT_EQ(f.rows.size(), 1u);
  EXPECT_EQ(base::Utf8ToUtf16(f.rows[0][0].text).substr(0, 2), u"北京");

  jet::CheckReport report = jet::CheckDatabase(s.database());
  EXPECT_TRUE(testing_support::IsClean(report));
}

// Running the fix-up sequence twice leaves exactly one row for each of ids 85 to 89.
TEST_F(SqlStatementsTest, FixUpSequenceTwiceLeavesOneRowPerId) {
  for (int round = 0; round < 2; ++round) {
    db::DbConnection conn;
    conn.Connect(ConnectionStringFor(old_));
    for (const auto& s : FixUpStatements()) conn.RunStatement(s);
  }
  jet::sql::Session s(old_, kPassword);
  for (int id = 85; id <= 89; ++id) {
    jet::sql::ResultSet r = s.Query("select * from search where id=" + std::to_string(id));
    EXPECT_EQ(r.rows.size(), 1u) << "id " << id;
  }
  EXPECT_EQ(s.Query("select * from search where name='创建时间'").rows.size(), 2u);
  EXPECT_EQ(s.Query("select * from search where name='自定义字段'").rows.size(), 2u);
  EXPECT_EQ(s.Query("select * from search where id=30 or id=31").rows.size(), 0u);
  EXPECT_EQ(s.Query("select * from search").rows.size(), 11u - 3u + 5u);
  jet::CheckReport report = jet::CheckDatabase(s.database());
  EXPECT_TRUE(testing_support::IsClean(report));
}

// The group copy run twice also converges: the delete removes the first copy.
TEST_F(SqlStatementsTest, GroupCopyTwiceLeavesOneCopy) {
  for (int round = 0; round < 2; ++round) {
    db::DbConnection conn, tpl;
    conn.Connect(ConnectionStringFor(old_));
    tpl.Connect(ConnectionStringFor(template_));
    conn.RunStatement(kDeleteGroups);
    auto from = tpl.OpenRows(kSelectGroups);
    auto into = conn.OpenRows(kSelectSearch);
    for (; !from->AtEnd(); from->MoveNext()) {
      into->AddRow({{"id", from->ColumnText("id")},
                    {"name", from->ColumnText("name")},
                    {"field", from->ColumnText("field")},
                    {"numtype", from->ColumnText("numtype")},
                    {"tablename", from->ColumnText("tablename")},
                    {"tablenum", from->ColumnText("tablenum")}});
    }
  }
  jet::sql::Session s(old_, kPassword);
  EXPECT_EQ(s.Query(kSelectGroups).rows.size(), 7u);
  EXPECT_EQ(s.Query(kSelectSearch).rows.size(), 8u + 7u);
}

// The copies as the independent readers see them: mdb-reader (node) and mdb-export.
TEST_F(SqlStatementsTest, IndependentReadersSeeTheCopies) {
  RunAll(old_, CreateStatements());
  RunAll(old_, {CopySj(template_), CopyZdy(template_), CopySfz(template_)});
  RunAll(old_, AlterStatements());
  RunAll(old_, FixUpStatements());
  bool checked = false;

  if (sql_test::HaveNodeOracle()) {
    checked = true;
    auto source = sql_test::OracleRows(template_, "sj");
    auto copied = sql_test::OracleRows(old_, "sj");
    ASSERT_EQ(source.size(), 317u);
    ASSERT_EQ(copied.size(), source.size());
    for (size_t i = 0; i < copied.size(); ++i) {
      EXPECT_EQ(JsonRow(copied[i], "id"), JsonRow(source[i], "id")) << "row " << i;
      EXPECT_EQ(JsonText(copied[i]["id"]), std::to_string(i + 1));
    }
    auto zdy_source = sql_test::OracleRows(template_, "zdy");
    auto zdy_copied = sql_test::OracleRows(old_, "zdy");
    ASSERT_EQ(zdy_copied.size(), zdy_source.size());
    for (size_t i = 0; i < zdy_copied.size(); ++i)
      EXPECT_EQ(JsonRow(zdy_copied[i]), JsonRow(zdy_source[i]));
    EXPECT_EQ(zdy_copied[1]["content"].AsString(), Repeat("很长的备注。", 900));

    json_lite::Value want = sql_test::OracleColumns(template_, "zdy");
    json_lite::Value got = sql_test::OracleColumns(old_, "zdy");
    ASSERT_TRUE(got.is_array());
    ASSERT_EQ(got.AsArray().size(), want.AsArray().size());
    for (size_t i = 0; i < got.AsArray().size(); ++i) {
      EXPECT_EQ(got.AsArray()[i]["name"].AsString(), want.AsArray()[i]["name"].AsString());
      EXPECT_EQ(got.AsArray()[i]["type"].AsString(), want.AsArray()[i]["type"].AsString());
      EXPECT_EQ(JsonText(got.AsArray()[i]["size"]), JsonText(want.AsArray()[i]["size"]));
    }

    auto sfz_source = sql_test::OracleRows(template_, "sfz");
    auto sfz_copied = sql_test::OracleRows(old_, "sfz");
    ASSERT_EQ(sfz_copied.size(), 60u);
    for (size_t i = 0; i < sfz_copied.size(); ++i)
      EXPECT_EQ(JsonRow(sfz_copied[i]), JsonRow(sfz_source[i]));

    json_lite::Value customer = sql_test::OracleColumns(old_, "Customer");
    std::map<std::string, std::string> types;
    for (const auto& c : customer.AsArray()) types[c["name"].AsString()] = c["type"].AsString();
    EXPECT_EQ(types["qq"], "text");
    EXPECT_EQ(types["bz"], "memo");
    EXPECT_EQ(types["creattime"], "text");
    for (const auto& row : sql_test::OracleRows(old_, "Customer")) {
      EXPECT_TRUE(row["qq"].is_null());
      EXPECT_TRUE(row["bz"].is_null());
    }
    json_lite::Value contact = sql_test::OracleColumns(old_, "ContactPerson");
    EXPECT_EQ(contact.AsArray().back()["name"].AsString(), "pic");
    EXPECT_EQ(contact.AsArray().back()["type"].AsString(), "ole");

    std::set<std::string> ids;
    for (const auto& row : sql_test::OracleRows(old_, "search")) {
      EXPECT_TRUE(ids.insert(JsonText(row["id"])).second)
          << "id " << JsonText(row["id"]) << " twice";
      if (JsonText(row["id"]) == "86") {
        EXPECT_EQ(row["name"].AsString(), "创建时间");
      }
    }
    for (const char* id : {"85", "86", "87", "88", "89"}) EXPECT_EQ(ids.count(id), 1u) << id;
  } else {
    std::cout << "[ SKIPPED  ] mdb-reader part: node or tests/oracle/node_modules is missing\n";
  }

  if (sql_test::HaveCommand("mdb-export")) {
    checked = true;
    std::vector<std::string> source = WithoutFirstField(sql_test::MdbExport(template_, "sj"));
    std::vector<std::string> copied = WithoutFirstField(sql_test::MdbExport(old_, "sj"));
    EXPECT_EQ(copied.size(), 318u);  // the header and 317 rows
    EXPECT_EQ(copied, source);
    EXPECT_EQ(sql_test::MdbExport(old_, "sfz"), sql_test::MdbExport(template_, "sfz"));
    std::string customers = sql_test::MdbExport(old_, "Customer");
    EXPECT_NE(customers.find("北京某某科技有限公司"), std::string::npos) << customers;
  } else {
    std::cout << "[ SKIPPED  ] mdb-export part: mdb-export is not installed\n";
  }
  if (!checked) GTEST_SKIP() << "neither mdb-reader (node) nor mdb-export is available";
}

// SELECT ... INTO from an empty template table makes the table with no rows.
TEST(SqlStatementsEmptyTest, SelectIntoFromEmptyTemplateTable) {
  ScratchDir scratch;
  fs::path old = scratch.path() / "crm.sys";
  fs::path tpl = scratch.path() / u8"模板 目录" / "my.sys";
  BuildOldDatabase(old);
  BuildTemplate(tpl, /*empty_zdy=*/true);
  db::DbConnection conn;
  conn.Connect(ConnectionStringFor(old));
  auto rs = db::CreateRecordset("Adodb.Recordset");
  rs->Pagesize = 1;
  conn.RunOnRecordset(*rs, CopyZdy(tpl));
  EXPECT_FALSE(rs->IsOpen());
  auto rows = conn.OpenRows("select * from zdy");
  EXPECT_TRUE(rows->AtEnd());
  EXPECT_EQ(rows->Columns().size(), 13u);
  EXPECT_TRUE(rows->HasColumn("content"));
  EXPECT_TRUE(rows->HasColumn("pic"));
  conn.Disconnect();

  auto db = jet::Database::Open(old, kPassword);
  const auto& def = db->OpenTable("zdy").definition();
  ExpectColumn(def, "content", ColumnType::kMemo);
  ExpectColumn(def, "price", ColumnType::kCurrency);
  ExpectColumn(def, "code", ColumnType::kText, 10, /*fixed=*/true);
  ExpectColumn(def, "pic", ColumnType::kOle);
  ExpectColumn(def, "created", ColumnType::kDateTime);
  ExpectColumn(def, "flag", ColumnType::kBoolean);
  ExpectColumn(def, "small", ColumnType::kInteger);
  EXPECT_EQ(def.row_count, 0u);
  jet::CheckReport report = jet::CheckDatabase(*db);
  EXPECT_TRUE(testing_support::IsClean(report));
  if (sql_test::HaveNodeOracle()) {
    EXPECT_TRUE(sql_test::OracleRows(old, "zdy").empty());
    EXPECT_EQ(sql_test::OracleColumns(old, "zdy").AsArray().size(), 13u);
  }
}

// Smaller statement forms the product's statements rely on.
class SqlStatementFormsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = scratch_.path() / "forms.sys";
    sql_test::NewDatabase(path_);
    session_ = std::make_unique<jet::sql::Session>(path_, kPassword);
    session_->Execute("CREATE TABLE gsxz (id COUNTER  PRIMARY KEY,name varchar(50))");
  }
  void ExpectConsistent() {
    jet::CheckReport report = jet::CheckDatabase(session_->database());
    EXPECT_TRUE(testing_support::IsClean(report));
  }
  std::vector<std::string> Column(const std::string& query, size_t column = 0) {
    std::vector<std::string> out;
    for (const auto& row : session_->Query(query).rows) out.push_back(Show(row.at(column)));
    return out;
  }

  ScratchDir scratch_;
  fs::path path_;
  std::unique_ptr<jet::sql::Session> session_;
};

TEST_F(SqlStatementFormsTest, ExecuteReturnsAffectedRows) {
  EXPECT_EQ(session_->Execute("insert into gsxz (name) values ('a')"), 1u);
  EXPECT_EQ(session_->Execute("insert into gsxz (name) select name from gsxz"), 1u);
  EXPECT_EQ(session_->Execute("insert into gsxz (name) select name from gsxz"), 2u);
  EXPECT_EQ(session_->Execute("select * from gsxz"), 4u);
  EXPECT_EQ(session_->Execute("delete from gsxz where id>2"), 2u);
  EXPECT_EQ(session_->Execute("delete from gsxz where id>2"), 0u);
  EXPECT_EQ(session_->Execute("CREATE TABLE t2 (a int)"), 0u);
  EXPECT_EQ(session_->Execute("alter table t2 add b int"), 0u);
  EXPECT_EQ(session_->Execute("select * into t3 from gsxz"), 2u);
  ExpectConsistent();
}

TEST_F(SqlStatementFormsTest, InsertSelectFromTheSameTableDoublesIt) {
  for (int i = 0; i < 5; ++i)
    session_->Execute("insert into gsxz (name) values ('n" + std::to_string(i) + "')");
  session_->Execute("insert into gsxz (name) select name from gsxz");
  EXPECT_EQ(Column("select id from gsxz"),
            (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}));
  EXPECT_EQ(Column("select name from gsxz where id=8"), (std::vector<std::string>{"n2"}));
  ExpectConsistent();
}

TEST_F(SqlStatementFormsTest, ExplicitCounterValueMovesTheCounterOn) {
  session_->Execute("insert into gsxz (id, name) values (10, 'ten')");
  session_->Execute("insert into gsxz (name) values ('next')");
  EXPECT_EQ(Column("select id from gsxz where name='next'"), (std::vector<std::string>{"11"}));
  // A value below the counter does not move it back.
  session_->Execute("insert into gsxz (id, name) values (3, 'three')");
  session_->Execute("insert into gsxz (name) values ('after')");
  EXPECT_EQ(Column("select id from gsxz where name='after'"), (std::vector<std::string>{"12"}));
  ExpectConsistent();
}

TEST_F(SqlStatementFormsTest, InsertWithoutColumnListAndInAnotherOrder) {
  session_->Execute("CREATE TABLE t (a int, b varchar(10), c currency)");
  session_->Execute("insert into t values (1, 'x', 2.5)");
  session_->Execute("insert into t (c, a) values (-1, 2)");
  session_->Execute("INSERT INTO T (B) VALUES ('only')");
  auto r = session_->Query("select a, b, c from t");
  ASSERT_EQ(r.rows.size(), 3u);
  EXPECT_EQ(Show(r.rows[0][0]) + "|" + Show(r.rows[0][1]) + "|" + Show(r.rows[0][2]), "1|x|2.5000");
  EXPECT_EQ(Show(r.rows[1][0]) + "|" + Show(r.rows[1][1]) + "|" + Show(r.rows[1][2]),
            "2|<NULL>|-1.0000");
  EXPECT_EQ(Show(r.rows[2][0]) + "|" + Show(r.rows[2][1]) + "|" + Show(r.rows[2][2]),
            "<NULL>|only|<NULL>");
  // Numbers written as text and text written as numbers convert on the way in.
  session_->Execute("insert into t (a, b, c) values ('42', 7, '3.25')");
  EXPECT_EQ(Column("select b from t where a=42"), (std::vector<std::string>{"7"}));
  EXPECT_EQ(Column("select c from t where a=42"), (std::vector<std::string>{"3.2500"}));
  ExpectConsistent();
}

TEST_F(SqlStatementFormsTest, QueryColumnsFollowTheSelectList) {
  session_->Execute("insert into gsxz (name) values ('甲')");
  auto star = session_->Query("select * from GSXZ");
  EXPECT_EQ(star.columns, (std::vector<std::string>{"id", "name"}));
  EXPECT_EQ(star.table, "gsxz");
  auto listed = session_->Query("select name, ID, g.name as n2 from gsxz g");
  EXPECT_EQ(listed.columns, (std::vector<std::string>{"name", "id", "n2"}));
  ASSERT_EQ(listed.rows.size(), 1u);
  EXPECT_EQ(Show(listed.rows[0][0]), "甲");
  EXPECT_EQ(Show(listed.rows[0][1]), "1");
  EXPECT_EQ(Show(listed.rows[0][2]), "甲");
}

TEST_F(SqlStatementFormsTest, DeleteEverythingAndRefill) {
  for (int i = 0; i < 300; ++i)
    session_->Execute("insert into gsxz (name) values ('行" + std::to_string(i) + "')");
  EXPECT_EQ(session_->Execute("delete from gsxz"), 300u);
  EXPECT_TRUE(session_->Query("select * from gsxz").rows.empty());
  ExpectConsistent();
  session_->Execute("insert into gsxz (name) values ('again')");
  EXPECT_EQ(Column("select id from gsxz"), (std::vector<std::string>{"301"}));
  ExpectConsistent();
}

TEST_F(SqlStatementFormsTest, LongMemoAndPictureSurviveACopy) {
  session_->Execute("CREATE TABLE notes (id COUNTER PRIMARY KEY, body text, pic image)");
  std::string body = Repeat("备注内容", 5000);  // 20000 characters: several long-value pages
  session_.reset();                             // the bulk writer takes the file for itself
  BulkInsert(path_, "notes", {"body", "pic"},
             {{Text(body), Value{ValueKind::kBinary, 0, 0, {}, Picture(300000, 3)}}});
  session_ = std::make_unique<jet::sql::Session>(path_, kPassword);
  session_->Execute("select * into notes2 from notes");
  session_->Execute("insert into notes (body, pic) select body, pic from notes2");
  auto r = session_->Query("select body, pic from notes");
  ASSERT_EQ(r.rows.size(), 2u);
  for (const auto& row : r.rows) {
    EXPECT_EQ(row[0].text, body);
    EXPECT_EQ(row[1].bytes, Picture(300000, 3));
  }
  ExpectConsistent();
}

}  // namespace

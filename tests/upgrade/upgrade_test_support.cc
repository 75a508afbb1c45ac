#include "tests/upgrade/upgrade_test_support.h"

#include <algorithm>
#include <set>

#include "db/db_failure.h"
#include "jet/table/catalog.h"
#include "jet/table/database.h"
#include "jet/table/table_writer.h"
#include "tests/clean_file.h"
#include "tests/sql/sql_test_util.h"
#include "upgrade/product_database.h"
#include "upgrade/program_paths.h"

namespace upgrade_test {

namespace fs = std::filesystem;
using sql_test::kPassword;
using sql_test::NewDatabase;
using sql_test::RunAll;

std::vector<std::string> RecordingView::Only(const std::string& prefix) const {
  std::vector<std::string> out;
  for (const auto& e : events) {
    if (e.rfind(prefix, 0) == 0) out.push_back(e.substr(prefix.size()));
  }
  return out;
}

void WriteOldDataFile(const fs::path& path, const DataFileShape& shape) {
  NewDatabase(path);
  std::vector<std::string> s = {
      "CREATE TABLE search (id int PRIMARY KEY, name varchar(50), field varchar(50), "
      "numtype varchar(20), tablename varchar(50), tablenum int)",
      std::string("CREATE TABLE Customer (id COUNTER PRIMARY KEY, name varchar(100), ") +
          (shape.customer_qq_in_capitals ? "QQ varchar(30), " : "") +
          "address varchar(255), notes text)",
      "CREATE TABLE ContactPerson (id COUNTER PRIMARY KEY, custid int, name varchar(50), phone "
      "varchar(50))",
      "CREATE TABLE Sale (id COUNTER PRIMARY KEY, code varchar(50), custid int, total currency, "
      "saledate datetime)",
      std::string("CREATE TABLE product (id COUNTER PRIMARY KEY, name varchar(100)") +
          (shape.product_with_pic1 ? ", pic1 image" : "") + ")",
      "insert into search(id,name,field,numtype,tablename,tablenum) "
      "values(1,'客户名称','name','str','Customer',1)",
      "insert into search(id,name,field,numtype,tablename,tablenum) "
      "values(2,'地址','address','str','Customer',1)",
      "insert into search(id,name,field,numtype,tablename,tablenum) "
      "values(3,'联系人','name','str','ContactPerson',2)",
      "insert into search(id,name,field,numtype,tablename,tablenum) "
      "values(4,'电话','phone','str','ContactPerson',2)",
      "insert into search(id,name,field,numtype,tablename,tablenum) "
      "values(5,'订单号','code','str','sale',3)",
      "insert into search(id,name,field,numtype,tablename,tablenum) "
      "values(6,'金额','total','num','sale',3)",
      "insert into search(id,name,field,numtype,tablename,tablenum) "
      "values(95,'旧竞争对手','name','str','jzghs',10)",
      "insert into search(id,name,field,numtype,tablename,tablenum) "
      "values(90,'创建时间','createdate','str','Customer',1)",
      "insert into Customer (name, address, notes) values ('北京星辰科技有限公司', "
      "'海淀区中关村大街1号', '老客户，每年续费。')",
      "insert into Customer (name, address, notes) values ('上海东方贸易公司', "
      "'浦东新区世纪大道100号', NULL)",
      "insert into ContactPerson (custid, name, phone) values (1, '张伟', '13800000001')",
      "insert into Sale (code, custid, total, saledate) values ('XS2005001', 1, 12800.5, "
      "'2005-03-15')",
      "insert into product (name) values ('客户管理软件 标准版')",
  };
  if (shape.with_sale_list) {
    s.push_back("CREATE TABLE SaleList (id COUNTER PRIMARY KEY, saleid int, amount currency)");
    s.push_back("insert into SaleList (saleid, amount) values (1, 2)");
  }
  for (const auto& r : shape.search_rows) {
    s.push_back("insert into search(id,name,field,numtype,tablename,tablenum) values(" + r + ")");
  }
  for (const auto& t : shape.catalogue_tables)
    s.push_back("CREATE TABLE " + t + " (id int, name varchar(50))");
  RunAll(path, s);
}

void WriteTemplate(const fs::path& path, const TemplateShape& shape) {
  NewDatabase(path);
  std::vector<std::string> s = {
      std::string(
          "CREATE TABLE search (id int PRIMARY KEY, name varchar(50), field varchar(50), ") +
          (shape.search_without_numtype ? "" : "numtype varchar(20), ") +
          "tablename varchar(50), tablenum int)",
      std::string("CREATE TABLE sj (id COUNTER  PRIMARY KEY,CodeB varchar(50),CodeE varchar(50),") +
          "DQ varchar(50),city varchar(50),qh int" +
          (shape.sj_without_type ? "" : ",type varchar(50)") + ")",
      "CREATE TABLE zdy (id int, name varchar(50), fieldname varchar(50), bz text)",
      "insert into zdy (id, name, fieldname, bz) values (1, '客户等级', 'by1', '自定义字段示例')",
      "insert into zdy (id, name, fieldname, bz) values (2, '来源渠道', 'by2', NULL)",
      "CREATE TABLE sfz (bm int,dq char(50))",
      "insert into sfz (bm, dq) values (110000, '北京市')",
      "insert into sfz (bm, dq) values (440000, '广东省')",
      "insert into sfz (bm, dq) values (650000, '新疆维吾尔自治区')",
  };
  const std::string numtype = shape.search_without_numtype ? "" : "'str',";
  const std::string columns = shape.search_without_numtype
                                  ? "id,name,field,tablename,tablenum"
                                  : "id,name,field,numtype,tablename,tablenum";
  for (int i = 0; i < shape.group_rows; ++i) {
    int group = 10 + i % 2;
    s.push_back("insert into search(" + columns + ") values(" + std::to_string(101 + i) + ",'" +
                shape.group_name_prefix + std::to_string(i + 1) + "','f" + std::to_string(i) +
                "'," + numtype + (group == 10 ? "'jzghs'," : "'jzproduct',") +
                std::to_string(group) + ")");
  }
  // Rows of other groups are never copied.
  s.push_back("insert into search(" + columns + ") values(1,'模板客户名称','name'," + numtype +
              "'Customer',1)");
  for (int i = 0; i < shape.sj_rows; ++i) {
    std::string prefix = std::to_string(1300000 + 10 * i);
    s.push_back(std::string("INSERT INTO sj (CodeB, CodeE, DQ, city, qh") +
                (shape.sj_without_type ? "" : ", type") + ") VALUES ('" + prefix + "','" + prefix +
                "9','广东','广州',20" + (shape.sj_without_type ? "" : ",'中国移动'") + ")");
  }
  std::erase_if(s, [&](const std::string& statement) {
    const bool search = statement.find(" search") != std::string::npos;
    const bool zdy = statement.find(" zdy") != std::string::npos;
    return (search && !shape.with_search) || (zdy && !shape.with_zdy);
  });
  RunAll(path, s);
}

void AddSavedSelectQuery(const fs::path& path, const std::string& name) {
  auto database = jet::Database::Open(path, kPassword, jet::Pager::Mode::kReadWrite);
  jet::Transaction t(*database);
  jet::TableWriter objects(*database, jet::Catalog::kObjectsDefinitionPage, "MSysObjects");
  const jet::TableDefinition& def = objects.definition();
  std::vector<jet::Value> row(def.columns.size());
  // Type 5 with no kind bits in Flags is a select query; saved queries sit in the Tables
  // container. The id only has to be unused.
  const auto entries = static_cast<int32_t>(database->catalog().entries().size());
  row[def.RequireColumn("Id")] = jet::Value::Long(0x00FFFF00 + entries);
  row[def.RequireColumn("ParentId")] = jet::Value::Long(jet::Catalog::kTablesContainerId);
  row[def.RequireColumn("Name")] = jet::Value::Text(name);
  row[def.RequireColumn("Type")] = jet::Value{jet::ValueKind::kInteger, 5, 0, {}, {}};
  row[def.RequireColumn("Flags")] = jet::Value::Long(0);
  objects.Insert(std::move(row));
  objects.Finish();
  t.Commit();
}

Harness::Harness(const fs::path& data_path, const fs::path& template_file)
    : template_path(upgrade::PathToUtf8(template_file)) {
  data.Connect(upgrade::ConnectionStringFor(upgrade::PathToUtf8(data_path)));
  try {
    templ.Connect(upgrade::ConnectionStringFor(template_path));
  } catch (const db::DbFailure&) {
    // As at the window's start-up: the string is kept and the run retries the open.
  }
  query3.SetConnection(&templ);
}

upgrade::UpgradeSummary Harness::Run(upgrade::UpgradeView& to) {
  upgrade::UpgradeComponents components{data, templ, query1, query2, query3};
  upgrade::UpgradeSummary summary = upgrade::RunUpgrade(components, template_path, to);
  // A writing connection holds the file exclusively; let the checks read it.
  data.Disconnect();
  return summary;
}

namespace {

std::vector<std::vector<std::string>> RowsOf(db::DbConnection& c, const std::string& table,
                                             std::vector<std::string>* columns) {
  auto rows = c.OpenRows("select * from [" + table + "]");
  *columns = rows->Columns();
  std::vector<std::vector<std::string>> out;
  for (; !rows->AtEnd(); rows->MoveNext()) {
    std::vector<std::string> row;
    for (const auto& column : *columns) row.push_back(rows->ColumnText(column));
    out.push_back(std::move(row));
  }
  return out;
}

// The user tables (not the saved queries the table list also shows).
std::vector<std::string> UserTables(const fs::path& path) {
  auto database = jet::Database::Open(path, kPassword);
  std::vector<std::string> names;
  for (const jet::CatalogEntry* e : database->catalog().OfKind(jet::ObjectKind::kUserTable))
    names.push_back(e->name);
  return names;
}

}  // namespace

std::map<std::string, std::string> ExportAll(const fs::path& path) {
  db::DbConnection c;
  c.Connect(upgrade::ConnectionStringFor(upgrade::PathToUtf8(path)));
  std::map<std::string, std::string> out;
  for (const auto& table : UserTables(path)) {
    std::vector<std::string> columns;
    std::vector<std::string> lines;
    for (const auto& row : RowsOf(c, table, &columns)) {
      std::string line;
      for (const auto& v : row) line += v + "|";
      lines.push_back(line);
    }
    // Rows a run deletes and writes again may land in other slots; their order is not content.
    std::sort(lines.begin(), lines.end());
    std::string text;
    for (const auto& col : columns) text += col + ",";
    for (const auto& line : lines) text += "\n" + line;
    out[table] = text;
  }
  return out;
}

namespace {

// mdbtools prints a character outside the Basic Multilingual Plane as two "?", one per
// UTF-16 unit; compare what it can show.
std::string AsMdbtoolsShowsIt(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    if ((static_cast<unsigned char>(utf8[i]) & 0xF8) == 0xF0) {
      out += "??";
      i += 4;
    } else {
      out.push_back(utf8[i++]);
    }
  }
  return out;
}

// Every user table as mdb-reader sees it, from one run of the oracle script.
std::map<std::string, json_lite::Value> OracleTables(const fs::path& path) {
  std::string out;
  int rc = testing_support::RunCommand(
      "node " + testing_support::ShellQuote(sql_test::OracleScript()) + " " +
          testing_support::ShellQuote(path.string()) + " --password " +
          testing_support::ShellQuote(kPassword) + " all",
      &out);
  EXPECT_EQ(rc, 0) << "mdb-reader could not read " << path;
  std::map<std::string, json_lite::Value> tables;
  size_t at = 0;
  while (at < out.size()) {
    size_t end = out.find('\n', at);
    if (end == std::string::npos) end = out.size();
    if (end > at) {
      json_lite::Value v = json_lite::Parse(std::string_view(out).substr(at, end - at));
      std::string name = v["table"].AsString();
      tables.emplace(name, std::move(v));
    }
    at = end + 1;
  }
  return tables;
}

void CompareWithMdbReader(const json_lite::Value& theirs, const std::vector<std::string>& columns,
                          const std::vector<std::vector<std::string>>& ours) {
  std::map<std::string, std::string> types;
  for (const auto& col : theirs["columns"].AsArray())
    types[col["name"].AsString()] = col["type"].AsString();
  const auto& rows = theirs["rows"].AsArray();
  ASSERT_EQ(rows.size(), ours.size());
  for (size_t r = 0; r < ours.size(); ++r) {
    for (size_t k = 0; k < columns.size(); ++k) {
      const json_lite::Value& v = rows[r][columns[k]];
      const std::string& type = types[columns[k]];
      if (v.is_null()) {
        // Our text form cannot tell NULL from "" in a text column; elsewhere NULL is "".
        if (type != "text") {
          EXPECT_EQ(ours[r][k], "") << columns[k] << " row " << r;
        }
      } else if (type == "text" || type == "memo") {
        EXPECT_EQ(v.AsString(), ours[r][k]) << columns[k] << " row " << r;
      } else if (type == "long" || type == "integer" || type == "byte") {
        EXPECT_EQ(std::to_string(v.AsInt()), ours[r][k]) << columns[k] << " row " << r;
      }
    }
  }
}

void CompareWithMdbExport(const fs::path& path, const std::string& table,
                          const std::vector<std::string>& columns,
                          const std::vector<std::vector<std::string>>& ours,
                          const json_lite::Value* theirs) {
  std::string out;
  ASSERT_EQ(testing_support::RunCommand("mdb-export -R '<ROW>' " +
                                            testing_support::ShellQuote(path.string()) + " " +
                                            testing_support::ShellQuote(table) + " 2>/dev/null",
                                        &out),
            0);
  size_t delimiters = 0;
  for (size_t at = out.find("<ROW>"); at != std::string::npos; at = out.find("<ROW>", at + 1))
    ++delimiters;
  EXPECT_EQ(delimiters, ours.size() + 1) << "mdb-export's rows (and its header)";
  if (!theirs) return;  // the column types come from mdb-reader
  std::set<std::string> text_columns;
  for (const auto& col : (*theirs)["columns"].AsArray()) {
    if (col["type"].AsString() == "text" || col["type"].AsString() == "memo")
      text_columns.insert(col["name"].AsString());
  }
  for (const auto& row : ours) {
    for (size_t k = 0; k < columns.size(); ++k) {
      const std::string& v = row[k];
      if (text_columns.count(columns[k]) && !v.empty() && v.find('"') == std::string::npos) {
        EXPECT_NE(out.find(AsMdbtoolsShowsIt(v)), std::string::npos) << "mdb-export lacks " << v;
      }
    }
  }
}

}  // namespace

void ExpectConsistentAndReadable(const fs::path& path) {
  {
    auto database = jet::Database::Open(path, kPassword);
    EXPECT_TRUE(testing_support::IsClean(*database)) << path;
  }
  db::DbConnection c;
  c.Connect(upgrade::ConnectionStringFor(upgrade::PathToUtf8(path)));
  std::map<std::string, json_lite::Value> oracle;
  if (sql_test::HaveNodeOracle()) oracle = OracleTables(path);
  const bool mdbtools = sql_test::HaveCommand("mdb-export");
  for (const auto& table : UserTables(path)) {
    SCOPED_TRACE(table);
    std::vector<std::string> columns;
    auto ours = RowsOf(c, table, &columns);
    auto it = oracle.find(table);
    const json_lite::Value* theirs = it == oracle.end() ? nullptr : &it->second;
    if (sql_test::HaveNodeOracle()) {
      ASSERT_NE(theirs, nullptr) << "mdb-reader does not list the table";
      CompareWithMdbReader(*theirs, columns, ours);
    }
    if (mdbtools) CompareWithMdbExport(path, table, columns, ours, theirs);
  }
}

std::vector<std::string> SearchRows(const fs::path& path) {
  db::DbConnection c;
  c.Connect(upgrade::ConnectionStringFor(upgrade::PathToUtf8(path)));
  std::vector<std::string> columns;
  std::vector<std::pair<int, std::string>> rows;
  auto cursor = c.OpenRows("select * from search");
  for (; !cursor->AtEnd(); cursor->MoveNext()) {
    std::string line;
    for (const char* col : {"id", "name", "field", "numtype", "tablename", "tablenum"}) {
      line += (line.empty() ? "" : "|") + cursor->ColumnText(col);
    }
    rows.emplace_back(std::stoi(cursor->ColumnText("id")), line);
  }
  std::sort(rows.begin(), rows.end());
  std::vector<std::string> out;
  for (auto& [id, line] : rows) out.push_back(line);
  return out;
}

std::vector<std::string> ColumnsOf(const fs::path& path, const std::string& table) {
  db::DbConnection c;
  c.Connect(upgrade::ConnectionStringFor(upgrade::PathToUtf8(path)));
  return c.OpenColumns("select * from " + table)->Columns();
}

}  // namespace upgrade_test

// sysdemo: writes demo data for the upgrade: a data file in an old layout and the template
// beside it, both with the product's database password.
//
//   sysdemo PATH/Custom.sys      writes PATH/Custom.sys and PATH/my.sys (replacing them)
//
// The data file has the tables an old release of the customer-relationship application
// had (search, Customer, ContactPerson, Sale, SaleList, product) with Chinese sample rows;
// the template has the current search definitions and the reference tables sj, zdy, sfz.
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "jet/sql/session.h"
#include "jet/table/database_creator.h"

namespace {

const char kPassword[] = "plmoknijbuhvygc,t.f/";

void Run(jet::sql::Session& s, const std::vector<std::string>& statements) {
  for (const auto& text : statements) s.Execute(text);
}

std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    out.push_back(c);
    if (c == '\'') out.push_back('\'');
  }
  return out + "'";
}

void WriteDataFile(const std::filesystem::path& path) {
  jet::CreateDatabase(path, kPassword, jet::SortOrder{2052, 0, 0});
  jet::sql::Session s(path, kPassword);
  Run(s, {
      "CREATE TABLE search (id int, name varchar(50), field varchar(50), numtype varchar(20), "
      "tablename varchar(50), tablenum int)",
      "CREATE TABLE Customer (id COUNTER PRIMARY KEY, name varchar(100), phone varchar(50), "
      "address varchar(255), city varchar(50), province varchar(50), createdate datetime)",
      "CREATE TABLE ContactPerson (id COUNTER PRIMARY KEY, custid int, name varchar(50), "
      "sex varchar(10), phone varchar(50), email varchar(100))",
      "CREATE TABLE Sale (id COUNTER PRIMARY KEY, code varchar(50), custid int, "
      "saledate datetime, total currency, bz text)",
      "CREATE TABLE SaleList (id COUNTER PRIMARY KEY, saleid int, productid int, "
      "amount currency, price currency)",
      "CREATE TABLE product (id COUNTER PRIMARY KEY, name varchar(100), code varchar(50), "
      "price currency, bz text)",
  });
  const char* search_rows[][6] = {
      {"1", "客户名称", "name", "str", "Customer", "1"},
      {"2", "电话", "phone", "str", "Customer", "1"},
      {"3", "联系人", "name", "str", "ContactPerson", "2"},
      {"4", "订单号", "code", "str", "sale", "3"},
      {"40", "旧分组字段", "oldfield", "str", "Customer", "10"},
      {"85", "旧发票号", "invoice", "str", "sale", "3"},
      {"90", "创建时间", "createdate", "str", "Customer", "1"},
  };
  for (const auto& r : search_rows) {
    s.Execute(std::string("insert into search(id,name,field,numtype,tablename,tablenum) values(") +
              r[0] + "," + Quote(r[1]) + "," + Quote(r[2]) + "," + Quote(r[3]) + "," +
              Quote(r[4]) + "," + r[5] + ")");
  }
  const char* customers[][5] = {
      {"北京星辰科技有限公司", "010-62345678", "海淀区中关村大街1号", "北京", "北京"},
      {"上海东方贸易公司", "021-58881234", "浦东新区世纪大道100号", "上海", "上海"},
      {"广州南方电子厂", "020-87654321", "天河区体育西路8号", "广州", "广东"},
      {"成都天府软件园", "028-85551234", "高新区天府大道", "成都", "四川"},
  };
  for (const auto& c : customers) {
    s.Execute(std::string("INSERT INTO Customer (name, phone, address, city, province, createdate) "
                          "VALUES (") + Quote(c[0]) + "," + Quote(c[1]) + "," + Quote(c[2]) + "," +
              Quote(c[3]) + "," + Quote(c[4]) + ", '2004-06-01')");
  }
  Run(s, {
      "INSERT INTO ContactPerson (custid, name, sex, phone, email) VALUES (1, '张伟', '男', "
      "'13800000001', 'zhangwei@example.com')",
      "INSERT INTO ContactPerson (custid, name, sex, phone, email) VALUES (2, '李娜', '女', "
      "'13900000002', 'lina@example.com')",
      "INSERT INTO Sale (code, custid, saledate, total, bz) VALUES ('XS2005001', 1, "
      "'2005-03-15', 12800.5, '首批订单')",
      "INSERT INTO SaleList (saleid, productid, amount, price) VALUES (1, 1, 2, 6400.25)",
      "INSERT INTO product (name, code, price, bz) VALUES ('客户管理软件 标准版', 'CRM-STD', "
      "6400.25, '含一年服务')",
  });
}

void WriteTemplate(const std::filesystem::path& path) {
  jet::CreateDatabase(path, kPassword, jet::SortOrder{2052, 0, 0});
  jet::sql::Session s(path, kPassword);
  Run(s, {
      "CREATE TABLE search (id int, name varchar(50), field varchar(50), numtype varchar(20), "
      "tablename varchar(50), tablenum int)",
      "insert into search(id,name,field,numtype,tablename,tablenum) "
      "values(60,'竞争对手名称','name','str','jzghs',10)",
      "insert into search(id,name,field,numtype,tablename,tablenum) "
      "values(61,'竞争对手地址','address','str','jzghs',10)",
      "insert into search(id,name,field,numtype,tablename,tablenum) "
      "values(62,'竞争产品','name','str','jzproduct',11)",
      "CREATE TABLE sj (id COUNTER  PRIMARY KEY,CodeB varchar(50),CodeE varchar(50),"
      "DQ varchar(50),city varchar(50),qh int,type varchar(50))",
      "CREATE TABLE zdy (id int, name varchar(50), tablename varchar(50), fieldname varchar(50), "
      "bz text)",
      "insert into zdy (id, name, tablename, fieldname, bz) values (1, '客户等级', 'Customer', "
      "'by1', '自定义字段示例')",
      "CREATE TABLE sfz (bm int,dq char(50))",
  });
  const char* regions[][3] = {{"北京", "北京", "10"}, {"上海", "上海", "21"},
                              {"广东", "广州", "20"}, {"四川", "成都", "28"},
                              {"湖北", "武汉", "27"}, {"陕西", "西安", "29"}};
  int prefix = 1300000;
  for (const auto& r : regions) {
    for (int k = 0; k < 50; ++k, prefix += 10) {
      s.Execute("INSERT INTO sj (CodeB, CodeE, DQ, city, qh, type) VALUES (" +
                Quote(std::to_string(prefix)) + "," + Quote(std::to_string(prefix + 9)) + "," +
                Quote(r[0]) + "," + Quote(r[1]) + "," + r[2] + ",'移动')");
    }
  }
  const char* ids[][2] = {{"110000", "北京市"}, {"310000", "上海市"}, {"440100", "广东省广州市"},
                          {"510100", "四川省成都市"}, {"420100", "湖北省武汉市"}};
  for (const auto& r : ids) {
    s.Execute(std::string("INSERT INTO sfz (bm, dq) VALUES (") + r[0] + "," + Quote(r[1]) + ")");
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h") {
    std::cerr << "usage: sysdemo PATH/Custom.sys   (also writes PATH/my.sys)\n";
    return argc == 2 ? 0 : 2;
  }
  try {
    std::filesystem::path data = argv[1];
    std::filesystem::path dir = data.has_parent_path() ? data.parent_path() : ".";
    std::filesystem::create_directories(dir);
    std::filesystem::path templ = dir / "my.sys";
    for (const auto& p : {data, templ}) std::filesystem::remove(p);
    WriteDataFile(data);
    WriteTemplate(templ);
    std::cout << "wrote " << data.string() << " and " << templ.string() << '\n';
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "sysdemo: " << e.what() << '\n';
    return 1;
  }
}

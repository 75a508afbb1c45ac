#include "fuzz/small_database.h"

#include "jet/sql/session.h"
#include "jet/table/database_creator.h"
#include "upgrade/product_database.h"

namespace fuzz {

const std::vector<std::string>& SmallDatabaseStatements() {
  static const std::vector<std::string> statements = [] {
    std::vector<std::string> s = {
        "CREATE TABLE search (id COUNTER PRIMARY KEY, name varchar(50), field varchar(50), "
        "numtype varchar(10), tablename varchar(50), tablenum int)",
        "CREATE TABLE Customer (id COUNTER PRIMARY KEY, name varchar(100), code char(8), "
        "creattime datetime, money currency, bz text, vip bit, ratio double, weight single, "
        "level byte, rank smallint, amount decimal(12,2), guid guid, pic image, tag binary(8))",
        "CREATE TABLE sj (id COUNTER PRIMARY KEY, CodeB varchar(50), CodeE varchar(50), "
        "DQ varchar(50), city varchar(50), qh int, type varchar(50))",
        "CREATE TABLE sfz (bm int, dq char(50))",
        "CREATE TABLE empty (id int PRIMARY KEY, note varchar(20))",
        "insert into search(id,name,field,numtype,tablename,tablenum) "
        "values(85,'发票号','bz1','str','sale',3)",
        "insert into search(id,name,field,numtype,tablename,tablenum) "
        "values(86,'创建时间','creattime','str','Customer',1)",
        "insert into search(name,field,numtype,tablename,tablenum) "
        "values('客户名称','name','str','Customer',10)",
        "insert into search(name,field,numtype,tablename,tablenum) "
        "values('Stadt','city',NULL,'Customer',11)",
        "insert into Customer(name,code,creattime,money,bz,vip,ratio,weight,level,rank) "
        "values('北京星辰科技有限公司','BJ001',36526.5,1234.5678,'老客户',-1,0.25,1.5,7,-300)",
        "insert into Customer(name,code,money,vip) values('Ünïcødé GmbH','DE',-0.01,0)",
        "insert into Customer(name) values(NULL)",
    };
    // A memo long enough to be stored on a page of its own, and one that fits in its row.
    s.push_back("insert into Customer(name,bz) values('长备注','" + std::string(3000, 'x') +
                "长备注')");
    for (int i = 0; i < 12; ++i) {
      s.push_back("insert into sj(CodeB,CodeE,DQ,city,qh,type) values('13" + std::to_string(i) +
                  "0000','13" + std::to_string(i) + "9999','广东','深圳'," +
                  std::to_string(755 + i) + ",'移动')");
    }
    s.push_back("insert into sfz(bm,dq) values(110000,'北京市')");
    s.push_back("insert into sfz(bm,dq) values(440300,'深圳市')");
    s.push_back("delete from sj where qh=760");
    return s;
  }();
  return statements;
}

void CreateSmallDatabase(const std::filesystem::path& path) {
  jet::CreateDatabase(path, upgrade::kDatabasePassword);
  jet::sql::Session session(path, upgrade::kDatabasePassword);
  for (const std::string& statement : SmallDatabaseStatements()) session.Execute(statement);
}

}  // namespace fuzz

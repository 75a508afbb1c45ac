#include "tests/upgrade/expected_transcripts.h"

#include <initializer_list>

#include "upgrade/product_database.h"

namespace upgrade_test {
namespace {

// The line forms, as RunTranscript writes them.
std::string Exec(const std::string& statement) {  // a statement on the data file
  return "ADOQuery2 on ADOConnection1 exec: " + statement;
}
std::string Progress(int position) {
  return "view SetProgress " + std::to_string(position);
}
std::string Status(const std::string& text) {
  return "view SetStatus \"" + text + "\"";
}
const std::string kPump = "view PumpEvents";
const std::string kBegin = "ADOConnection1 BeginTrans";
const std::string kCommit = "ADOConnection1 CommitTrans";

std::string TemplateRef(const std::string& template_path) {
  return "[" + template_path + ";pwd=" + upgrade::kDatabasePassword + "].";
}
std::string OnRecordset(const std::string& statement) {
  return "TemplateRecordset on ADOConnection1 (Pagesize 1, CursorType 3, LockType 2) open: " +
         statement;
}

// One column phase's opening: progress, the reading query, the status and its events.
Transcript PhaseStart(int progress, const std::string& query, const std::string& status) {
  return {Progress(progress), "ADOQuery1 on ADOConnection1 open columns: " + query, Status(status),
          kPump};
}

Transcript Join(std::initializer_list<Transcript> parts) {
  Transcript all;
  for (const Transcript& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// clang-format off
// The catalogue's statements, one a line, "COUNTER  PRIMARY KEY" with its two spaces.
const std::string kFindtable = "CREATE TABLE findtable (id COUNTER  PRIMARY KEY,name varchar(255),content text,tablename varchar(50))";
const std::string kNotetable = "CREATE TABLE notetable (id COUNTER  PRIMARY KEY,code varchar(20),content text)";
const std::string kGsxz = "CREATE TABLE gsxz (id COUNTER  PRIMARY KEY,name varchar(50))";
const std::string kBjlist = "CREATE TABLE bjlist (id COUNTER  PRIMARY KEY,bjid int,name varchar(50),bigtype varchar(50),smalltype varchar(50),dw varchar(50),zhekou currency,bz text,by1 varchar(50),by2 varchar(50),by3 varchar(50),price currency,amount currency,total currency)";
const std::string kCustself = "CREATE TABLE custself(custumid int,self1 varchar(255),self2 varchar(255),self3 varchar(255),self4 varchar(255),self5 varchar(255),self6 varchar(255),self7 varchar(255),self8 varchar(255),self9 varchar(255),self10 varchar(255),self11 varchar(255),self12 varchar(255),self13 varchar(255),self14 varchar(255),self15 varchar(255),self16 varchar(255),self17 varchar(255),self18 varchar(255))";
const std::string kContactself = "CREATE TABLE contactself(custumid int,self1 varchar(255),self2 varchar(255),self3 varchar(255),self4 varchar(255),self5 varchar(255),self6 varchar(255),self7 varchar(255),self8 varchar(255),self9 varchar(255),self10 varchar(255),self11 varchar(255),self12 varchar(255),self13 varchar(255),self14 varchar(255),self15 varchar(255),self16 varchar(255),self17 varchar(255),self18 varchar(255))";
const std::string kBj = "CREATE TABLE bj (id COUNTER  PRIMARY KEY,code varchar(50),bjdate varchar(50),person varchar(50),personid int null,bz text,by1 varchar(50),by2 varchar(50),by3 varchar(50))";
const std::string kFee = "CREATE TABLE fee (id COUNTER  PRIMARY KEY,title varchar(255),personid int,person varchar(255),contact varchar(255),contactid int,chance varchar(255),chanceid int,feetype varchar(50),feetypeid varchar(50),feedate varchar(100),feeprice currency,bz text,by1 varchar(50),by2 varchar(50),by3 varchar(50),by4 varchar(255),by5 text)";
const std::string kChance = "CREATE TABLE chance (id COUNTER  PRIMARY KEY,title varchar(255),personid int,person varchar(255),contact varchar(255),contactid int,jzds varchar(255),jzdsid int,state varchar(50),scale varchar(50),bjcode varchar(100),predate varchar(50),preprice varchar(50),finish int,bz text,by1 varchar(50),by2 varchar(50),by3 varchar(50),by4 varchar(255),by5 text)";
const std::string kChancesale = "CREATE TABLE chancesale (id COUNTER  PRIMARY KEY,chanceid int,title varchar(255),saledate varchar(50),personid int,person varchar(255),contact varchar(255),contactid int,bigtype varchar(50),smalltype varchar(50),bjcode varchar(100),product varchar(50),productid int,price currency,amount currency,zhekou currency,total currency,remindsetup text,bz text,by1 varchar(50),by2 varchar(50),by3 varchar(50),by4 varchar(255),by5 text)";
const std::string kChancestate = "CREATE TABLE chancestate (id COUNTER  PRIMARY KEY,name varchar(255),scale varchar(50))";
const std::string kJzghs = "CREATE TABLE jzghs (id COUNTER  PRIMARY KEY,name varchar(50),jzid int,address varchar(255),fzr varchar(50),phone varchar(255),email varchar(255),homepage varchar(255),xz varchar(50),zcdate varchar(50),fax varchar(255),bz text,dlproduct varchar(255),zcprice currency,gm varchar(255),ygnum int,saleprice currency,lr currency,scale currency)";
const std::string kJzheng = "CREATE TABLE Jzheng (id COUNTER  PRIMARY KEY,name varchar(50),address varchar(255),frdb varchar(50),xz varchar(50),zcdate varchar(50),zcprice currency,gm varchar(255),ygnum int,saleprice currency,lr currency,scale currency,yshi varchar(255),lshi varchar(255),by1 varchar(50),by2 varchar(50),by3 varchar(50),city varchar(50),province varchar(50))";
const std::string kJzproduct = "CREATE TABLE jzproduct (id COUNTER  PRIMARY KEY,jzid int NULL ,name varchar(50),code varchar(50),gg varchar(50),xh varchar(50),price currency,cbprice currency,lr currency,yshi varchar(255),lshi varchar(255),by1 varchar(50),by2 varchar(50),by3 varchar(50))";
const std::string kJzperson = "CREATE TABLE jzperson (id COUNTER  PRIMARY KEY,jzid int NULL ,bz text,name varchar(50),sex varchar(50),born varchar(50),phone varchar(50),gugan int,zhy varchar(50),aihao varchar(255),worktime currency,salary currency,lz int,lzdate varchar(50),yshi varchar(255),lshi varchar(255),by1 varchar(50),by2 varchar(50),by3 varchar(50),city varchar(50),province varchar(50))";
const std::string kFinance = "CREATE TABLE Finance (id COUNTER  PRIMARY KEY,personid int NULL ,bank varchar(50),zhanghao varchar(50),zzsname varchar(50),zzsnum varchar(50),zzsbank varchar(50),zzszh varchar(50),zzsphone varchar(255),zzsaddress text)";
const std::string kRelation = "CREATE TABLE Relation (id COUNTER  PRIMARY KEY,pid int NULL, personid int NULL ,ptypeid int NULL,cid int NULL,contactid int NULL,ctypeid int NULL)";

// The start of every run that opens the data file.
const Transcript kStart = {
    "ADOConnection1 ListUserTables",
    "view SetProgressVisible true",
    "view SetProgressMax 16",
    Status("正在创建数据表..."),
    kPump,
};

// Before the first change the run proves it can finish: the tables it needs of each file,
// then both files are checked for damage: the data file's search, whose rows change and are
// read, then the tables the run will copy from the template.
Transcript IntegrityChecks(const std::string& copied) {
  return {"ADOConnection1 DescribeTables: search, Customer, ContactPerson, Sale, SaleList, product",
          "ADOConnection2 DescribeTables: " + copied,
          "ADOConnection1 PrepareToWrite",
          "ADOConnection1 CheckIntegrity: search; search",
          "ADOConnection2 CheckIntegrity: ; " + copied};
}

// Groups 10 and 11: the template is read first, then the delete and the copies are one
// transaction. The rows are sysdemo's template's, in its order.
const Transcript kSearchGroups = {
    "ADOQuery3 on ADOConnection2 open: select * from search where tablenum=10 or tablenum=11",
    kBegin,
    "ADOQuery1 on ADOConnection1 exec: delete from Search where tablenum=10 or tablenum=11",
    "ADOQuery1 on ADOConnection1 open columns: select * from search",
    "ADOQuery1 on ADOConnection1 add row to search: id=101 | name=竞争对手名称 | field=name | numtype=str | tablename=jzghs | tablenum=10",
    "ADOQuery1 on ADOConnection1 add row to search: id=102 | name=地址 | field=address | numtype=str | tablename=jzghs | tablenum=10",
    "ADOQuery1 on ADOConnection1 add row to search: id=103 | name=负责人 | field=fzr | numtype=str | tablename=jzghs | tablenum=10",
    "ADOQuery1 on ADOConnection1 add row to search: id=104 | name=电话 | field=phone | numtype=str | tablename=jzghs | tablenum=10",
    "ADOQuery1 on ADOConnection1 add row to search: id=105 | name=主要产品 | field=product | numtype=str | tablename=jzghs | tablenum=10",
    "ADOQuery1 on ADOConnection1 add row to search: id=106 | name=员工人数 | field=rs | numtype=num | tablename=jzghs | tablenum=10",
    "ADOQuery1 on ADOConnection1 add row to search: id=107 | name=产品名称 | field=name | numtype=str | tablename=jzproduct | tablenum=11",
    "ADOQuery1 on ADOConnection1 add row to search: id=108 | name=产品编号 | field=code | numtype=str | tablename=jzproduct | tablenum=11",
    "ADOQuery1 on ADOConnection1 add row to search: id=109 | name=规格 | field=gg | numtype=str | tablename=jzproduct | tablenum=11",
    "ADOQuery1 on ADOConnection1 add row to search: id=110 | name=型号 | field=xh | numtype=str | tablename=jzproduct | tablenum=11",
    "ADOQuery1 on ADOConnection1 add row to search: id=111 | name=价格 | field=price | numtype=num | tablename=jzproduct | tablenum=11",
    "ADOQuery1 on ADOConnection1 add row to search: id=112 | name=生产厂家 | field=cj | numtype=str | tablename=jzproduct | tablenum=11",
    kCommit,
};

// The reference tables, each creation with its copy one transaction; zdy by select into.
Transcript ReferenceTables(const std::string& t) {
  return {
      kBegin,
      Exec("CREATE TABLE sj (id COUNTER  PRIMARY KEY,CodeB varchar(50),CodeE varchar(50),DQ varchar(50),city varchar(50),qh int,type varchar(50))"),
      OnRecordset("INSERT INTO sj ( CodeB, CodeE, DQ, city, QH, type ) SELECT sj.CodeB, sj.CodeE, sj.DQ, sj.city, sj.QH, sj.type FROM " + TemplateRef(t) + "sj"),
      kCommit,
      OnRecordset("SELECT * into zdy FROM " + TemplateRef(t) + "zdy"),
      Progress(10),
      kBegin,
      Exec("CREATE TABLE sfz (bm int,dq char(50))"),
      OnRecordset("INSERT INTO sfz ( bm,dq ) SELECT sfz.bm, sfz.dq FROM " + TemplateRef(t) + "sfz"),
      kCommit,
  };
}

// The fixed search rows, one transaction, then the bar at its end.
const Transcript kFixedSearchRows = {
    kBegin,
    Exec("delete from search where id=85"),
    Exec("delete from search where name='创建时间'"),
    Exec("delete from search where name='自定义字段'"),
    Exec("insert into search(id,name,field,numtype,tablename,tablenum) values(85,'发票号','bz1','str','sale',3)"),
    Exec("insert into search(id,name,field,numtype,tablename,tablenum) values(86,'创建时间','creattime','str','Customer',1)"),
    Exec("insert into search(id,name,field,numtype,tablename,tablenum) values(87,'创建时间','creattime','str','ContactPerson',2)"),
    Exec("insert into search(id,name,field,numtype,tablename,tablenum) values(88,'自定义字段','creattime','str','Customer',1)"),
    Exec("insert into search(id,name,field,numtype,tablename,tablenum) values(89,'自定义字段','creattime','str','ContactPerson',2)"),
    kCommit,
    Progress(16),
};

const Transcript kSuccess = {
    Status("升级成功"),
    Progress(0),
    "view SetProgressVisible false",
    kPump,
};

const Transcript kFailure = {
    Status(""),
    "view SetFailure",
    kPump,
};

const Transcript kCustomerPhase = PhaseStart(11, "select * from Customer", "正在升级客户信息...");
const Transcript kContactPhase =
    PhaseStart(12, "select * from ContactPerson", "正在升级联系人信息...");
const Transcript kSalePhase = PhaseStart(13, "select * from Sale", "正在升级销售订单信息...");
const Transcript kSaleListPhase =
    PhaseStart(14, "select * from SaleList", "正在升级销售明细信息...");
const Transcript kProductPhase = PhaseStart(15, "select * from product", "正在升级产品信息...");

}  // namespace

std::string PictureColumnLine() {
  return Exec("alter table ContactPerson add pic image");
}

Transcript OldDemoFileTranscript(const std::string& template_path) {
  return Join({
      kStart,
      IntegrityChecks("search, sj, zdy, sfz"),
      kSearchGroups,
      // findtable, notetable, gsxz and custself are there: no 1 for gsxz.
      {
          Exec(kBjlist),
          Progress(1),
          Exec(kContactself),
          Exec(kBj),
          Exec(kFee),
          Exec(kChance),
          Exec(kChancesale),
          Exec(kChancestate),
          Progress(2),
          Exec(kJzghs),
          Progress(3),
          Exec(kJzheng),
          Progress(4),
          Exec(kJzproduct),
          Progress(5),
          Exec(kJzperson),
          Progress(6),
          Exec(kFinance),
          Progress(7),
          Exec(kRelation),
          Progress(8),
      },
      ReferenceTables(template_path),
      kCustomerPhase,
      {
          // by1 and by2 are there.
          Exec("alter table customer add qq varchar(255)"),
          Exec("alter table customer add msn varchar(255)"),
          Exec("alter table customer add by3 varchar(255)"),
          Exec("alter table customer add by4 varchar(255)"),
          Exec("alter table customer add by5 varchar(255)"),
          Exec("alter table customer add bz text"),
          Exec("alter table customer add creattime varchar(20)"),
      },
      kContactPhase,
      {
          // bz is there.
          Exec("alter table ContactPerson add pic image"),
          Exec("alter table ContactPerson add qq varchar(255)"),
          Exec("alter table ContactPerson add msn varchar(255)"),
          Exec("alter table ContactPerson add by1 varchar(255)"),
          Exec("alter table ContactPerson add by2 varchar(255)"),
          Exec("alter table ContactPerson add by3 varchar(255)"),
          Exec("alter table ContactPerson add by4 varchar(255)"),
          Exec("alter table ContactPerson add by5 varchar(255)"),
          Exec("alter table ContactPerson add creattime varchar(20)"),
      },
      kSalePhase,
      {
          Exec("alter table Sale add by1 varchar(255)"),
          Exec("alter table Sale add by2 varchar(255)"),
          Exec("alter table Sale add by3 varchar(255)"),
          Exec("alter table Sale add by4 varchar(255)"),
          Exec("alter table Sale add by5 varchar(255)"),
      },
      kSaleListPhase,
      {
          Exec("alter table SaleList add remindsetup text"),
          Exec("alter table SaleList add by1 varchar(255)"),
          Exec("alter table SaleList add by2 varchar(255)"),
          Exec("alter table SaleList add by3 varchar(255)"),
          Exec("alter table SaleList add by4 varchar(255)"),
          Exec("alter table SaleList add by5 varchar(255)"),
      },
      kProductPhase,
      {
          Exec("alter table product add pic1 blob"),
          Exec("alter table product add pic2 blob"),
          Exec("alter table product add pic3 blob"),
      },
      kFixedSearchRows,
      kSuccess,
  });
}

Transcript UpToDateTranscript() {
  return Join({
      kStart,
      IntegrityChecks("search"),
      kSearchGroups,
      {Progress(2)},
      {Progress(10)},
      kCustomerPhase,
      kContactPhase,
      kSalePhase,
      kSaleListPhase,
      kProductPhase,
      kFixedSearchRows,
      kSuccess,
  });
}

Transcript AllCatalogueTablesCreated() {
  return {
      Exec(kFindtable), Exec(kNotetable), Exec(kGsxz), Progress(1), Exec(kBjlist), Progress(1),
      Exec(kCustself), Exec(kContactself), Exec(kBj), Exec(kFee), Exec(kChance), Exec(kChancesale),
      Exec(kChancestate), Progress(2), Exec(kJzghs), Progress(3), Exec(kJzheng), Progress(4),
      Exec(kJzproduct), Progress(5), Exec(kJzperson), Progress(6), Exec(kFinance), Progress(7),
      Exec(kRelation), Progress(8),
  };
}

Transcript NoSaleListTranscript() {
  // The run finds SaleList missing before its first change: it ends there, with nothing
  // written, the bar as it was set at the start.
  return Join({
      kStart,
      {"ADOConnection1 DescribeTables: search, Customer, ContactPerson, Sale, SaleList, product",
       Status(""), "view SetFailure", kPump},
  });
}

// clang-format on

}  // namespace upgrade_test

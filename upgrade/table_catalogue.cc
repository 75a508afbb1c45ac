#include "upgrade/table_catalogue.h"

namespace upgrade {
namespace {

// The statements are sent exactly as written: "COUNTER  PRIMARY KEY" with its two spaces,
// `text` for a memo, `currency` for money. custself and contactself have no key.
constexpr CatalogueEntry kCatalogue[] = {
    {"findtable",
     "CREATE TABLE findtable (id COUNTER  PRIMARY KEY,name varchar(255),content text,tablename "
     "varchar(50))",
     0, 0},
    {"notetable", "CREATE TABLE notetable (id COUNTER  PRIMARY KEY,code varchar(20),content text)",
     0, 0},
    {"gsxz", "CREATE TABLE gsxz (id COUNTER  PRIMARY KEY,name varchar(50))", 1, 0},
    {"bjlist",
     "CREATE TABLE bjlist (id COUNTER  PRIMARY KEY,bjid int,name varchar(50),bigtype "
     "varchar(50),smalltype varchar(50),dw varchar(50),zhekou currency,bz text,by1 varchar(50),by2 "
     "varchar(50),by3 varchar(50),price currency,amount currency,total currency)",
     1, 0},
    {"custself",
     "CREATE TABLE custself(custumid int,self1 varchar(255),self2 varchar(255),self3 "
     "varchar(255),self4 varchar(255),self5 varchar(255),self6 varchar(255),self7 "
     "varchar(255),self8 varchar(255),self9 varchar(255),self10 varchar(255),self11 "
     "varchar(255),self12 varchar(255),self13 varchar(255),self14 varchar(255),self15 "
     "varchar(255),self16 varchar(255),self17 varchar(255),self18 varchar(255))",
     0, 0},
    {"contactself",
     "CREATE TABLE contactself(custumid int,self1 varchar(255),self2 varchar(255),self3 "
     "varchar(255),self4 varchar(255),self5 varchar(255),self6 varchar(255),self7 "
     "varchar(255),self8 varchar(255),self9 varchar(255),self10 varchar(255),self11 "
     "varchar(255),self12 varchar(255),self13 varchar(255),self14 varchar(255),self15 "
     "varchar(255),self16 varchar(255),self17 varchar(255),self18 varchar(255))",
     0, 0},
    {"bj",
     "CREATE TABLE bj (id COUNTER  PRIMARY KEY,code varchar(50),bjdate varchar(50),person "
     "varchar(50),personid int null,bz text,by1 varchar(50),by2 varchar(50),by3 varchar(50))",
     0, 0},
    {"fee",
     "CREATE TABLE fee (id COUNTER  PRIMARY KEY,title varchar(255),personid int,person "
     "varchar(255),contact varchar(255),contactid int,chance varchar(255),chanceid int,feetype "
     "varchar(50),feetypeid varchar(50),feedate varchar(100),feeprice currency,bz text,by1 "
     "varchar(50),by2 varchar(50),by3 varchar(50),by4 varchar(255),by5 text)",
     0, 0},
    {"chance",
     "CREATE TABLE chance (id COUNTER  PRIMARY KEY,title varchar(255),personid int,person "
     "varchar(255),contact varchar(255),contactid int,jzds varchar(255),jzdsid int,state "
     "varchar(50),scale varchar(50),bjcode varchar(100),predate varchar(50),preprice "
     "varchar(50),finish int,bz text,by1 varchar(50),by2 varchar(50),by3 varchar(50),by4 "
     "varchar(255),by5 text)",
     0, 0},
    {"chancesale",
     "CREATE TABLE chancesale (id COUNTER  PRIMARY KEY,chanceid int,title varchar(255),saledate "
     "varchar(50),personid int,person varchar(255),contact varchar(255),contactid int,bigtype "
     "varchar(50),smalltype varchar(50),bjcode varchar(100),product varchar(50),productid "
     "int,price currency,amount currency,zhekou currency,total currency,remindsetup text,bz "
     "text,by1 varchar(50),by2 varchar(50),by3 varchar(50),by4 varchar(255),by5 text)",
     0, 0},
    {"chancestate",
     "CREATE TABLE chancestate (id COUNTER  PRIMARY KEY,name varchar(255),scale varchar(50))", 0,
     2},
    {"jzghs",
     "CREATE TABLE jzghs (id COUNTER  PRIMARY KEY,name varchar(50),jzid int,address "
     "varchar(255),fzr varchar(50),phone varchar(255),email varchar(255),homepage varchar(255),xz "
     "varchar(50),zcdate varchar(50),fax varchar(255),bz text,dlproduct varchar(255),zcprice "
     "currency,gm varchar(255),ygnum int,saleprice currency,lr currency,scale currency)",
     3, 0},
    {"Jzheng",
     "CREATE TABLE Jzheng (id COUNTER  PRIMARY KEY,name varchar(50),address varchar(255),frdb "
     "varchar(50),xz varchar(50),zcdate varchar(50),zcprice currency,gm varchar(255),ygnum "
     "int,saleprice currency,lr currency,scale currency,yshi varchar(255),lshi varchar(255),by1 "
     "varchar(50),by2 varchar(50),by3 varchar(50),city varchar(50),province varchar(50))",
     4, 0},
    {"jzproduct",
     "CREATE TABLE jzproduct (id COUNTER  PRIMARY KEY,jzid int NULL ,name varchar(50),code "
     "varchar(50),gg varchar(50),xh varchar(50),price currency,cbprice currency,lr currency,yshi "
     "varchar(255),lshi varchar(255),by1 varchar(50),by2 varchar(50),by3 varchar(50))",
     5, 0},
    {"jzperson",
     "CREATE TABLE jzperson (id COUNTER  PRIMARY KEY,jzid int NULL ,bz text,name varchar(50),sex "
     "varchar(50),born varchar(50),phone varchar(50),gugan int,zhy varchar(50),aihao "
     "varchar(255),worktime currency,salary currency,lz int,lzdate varchar(50),yshi "
     "varchar(255),lshi varchar(255),by1 varchar(50),by2 varchar(50),by3 varchar(50),city "
     "varchar(50),province varchar(50))",
     6, 0},
    {"Finance",
     "CREATE TABLE Finance (id COUNTER  PRIMARY KEY,personid int NULL ,bank varchar(50),zhanghao "
     "varchar(50),zzsname varchar(50),zzsnum varchar(50),zzsbank varchar(50),zzszh "
     "varchar(50),zzsphone varchar(255),zzsaddress text)",
     7, 0},
    {"Relation",
     "CREATE TABLE Relation (id COUNTER  PRIMARY KEY,pid int NULL, personid int NULL ,ptypeid int "
     "NULL,cid int NULL,contactid int NULL,ctypeid int NULL)",
     8, 0},
};

}  // namespace

std::span<const CatalogueEntry> TableCatalogue() {
  return kCatalogue;
}

void CreateMissingTables(RunContext& run) {
  for (const CatalogueEntry& entry : kCatalogue) {
    if (!run.tables.Contains(entry.table)) {
      run.components.ADOQuery2.ExecSQL(entry.statement);
      run.summary.tables_created.push_back(entry.table);
      run.view.NoteDone(std::string("新建数据表 ") + entry.table);
      if (entry.progress_when_created != 0) run.view.SetProgress(entry.progress_when_created);
    }
    if (entry.progress_after != 0) run.view.SetProgress(entry.progress_after);
  }
}

}  // namespace upgrade

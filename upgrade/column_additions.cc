#include "upgrade/column_additions.h"

#include <exception>
#include <string>

namespace upgrade {
namespace {

// Sent exactly as written, lower-case `customer` included: Jet names ignore letter case.
constexpr ColumnAddition kCustomer[] = {
    {"qq", "alter table customer add qq varchar(255)"},
    {"msn", "alter table customer add msn varchar(255)"},
    {"by1", "alter table customer add by1 varchar(255)"},
    {"by2", "alter table customer add by2 varchar(255)"},
    {"by3", "alter table customer add by3 varchar(255)"},
    {"by4", "alter table customer add by4 varchar(255)"},
    {"by5", "alter table customer add by5 varchar(255)"},
    {"bz", "alter table customer add bz text"},
    {"creattime", "alter table customer add creattime varchar(20)"},
};

constexpr ColumnAddition kContactPerson[] = {
    {"pic", "alter table ContactPerson add pic image", true},
    {"qq", "alter table ContactPerson add qq varchar(255)"},
    {"msn", "alter table ContactPerson add msn varchar(255)"},
    {"by1", "alter table ContactPerson add by1 varchar(255)"},
    {"by2", "alter table ContactPerson add by2 varchar(255)"},
    {"by3", "alter table ContactPerson add by3 varchar(255)"},
    {"by4", "alter table ContactPerson add by4 varchar(255)"},
    {"by5", "alter table ContactPerson add by5 varchar(255)"},
    {"bz", "alter table ContactPerson add bz text"},
    {"creattime", "alter table ContactPerson add creattime varchar(20)"},
};

constexpr ColumnAddition kSale[] = {
    {"by1", "alter table Sale add by1 varchar(255)"},
    {"by2", "alter table Sale add by2 varchar(255)"},
    {"by3", "alter table Sale add by3 varchar(255)"},
    {"by4", "alter table Sale add by4 varchar(255)"},
    {"by5", "alter table Sale add by5 varchar(255)"},
};

constexpr ColumnAddition kSaleList[] = {
    {"remindsetup", "alter table SaleList add remindsetup text"},
    {"by1", "alter table SaleList add by1 varchar(255)"},
    {"by2", "alter table SaleList add by2 varchar(255)"},
    {"by3", "alter table SaleList add by3 varchar(255)"},
    {"by4", "alter table SaleList add by4 varchar(255)"},
    {"by5", "alter table SaleList add by5 varchar(255)"},
};

constexpr ColumnAddition kProduct[] = {
    {"pic1", "alter table product add pic1 blob"},
    {"pic2", "alter table product add pic2 blob"},
    {"pic3", "alter table product add pic3 blob"},
};

constexpr TablePhase kPhases[] = {
    {"Customer", 11, "select * from Customer", "正在升级客户信息...", kCustomer},
    {"ContactPerson", 12, "select * from ContactPerson", "正在升级联系人信息...", kContactPerson},
    {"Sale", 13, "select * from Sale", "正在升级销售订单信息...", kSale},
    {"SaleList", 14, "select * from SaleList", "正在升级销售明细信息...", kSaleList},
    {"product", 15, "select * from product", "正在升级产品信息...", kProduct},
};

void AddColumn(RunContext& run, const ColumnAddition& a) {
  db::Query& q = run.components.ADOQuery2;
  if (a.retried) {
    try {
      q.ExecSQL(a.statement);
      return;
    } catch (const std::exception&) {
    }
  }
  q.ExecSQL(a.statement);
}

}  // namespace

std::span<const TablePhase> ColumnPhases() {
  return kPhases;
}

void AddMissingColumns(RunContext& run) {
  db::Query& reading = run.components.ADOQuery1;
  for (const TablePhase& phase : kPhases) {
    run.view.SetProgress(phase.progress);
    // Only the column names are used: fetching the rows of a large table would be waste.
    reading.Close();
    reading.OpenColumns(phase.reading_query);
    run.view.SetStatus(phase.status);
    run.view.PumpEvents();
    // Columns added below are not looked up again; the list is the one read above.
    for (const ColumnAddition& a : phase.columns) {
      if (reading.Rows().HasColumn(a.column)) continue;
      AddColumn(run, a);
      run.summary.columns_added.push_back(std::string(phase.table) + "." + a.column);
      run.view.NoteDone(std::string("新增字段 ") + phase.table + "." + a.column);
    }
  }
}

}  // namespace upgrade

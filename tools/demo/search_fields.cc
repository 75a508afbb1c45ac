#include "tools/demo/search_fields.h"

#include <string>

#include "tools/demo/table_load.h"
#include "tools/demo/values.h"

namespace demo {
namespace {

constexpr SearchField kTemplateFields[] = {
    {1, "客户名称", "name", "str", "Customer", 1},
    {2, "联系人", "lxr", "str", "Customer", 1},
    {3, "电话", "phone", "str", "Customer", 1},
    {4, "姓名", "name", "str", "ContactPerson", 2},
    {5, "销售单号", "code", "str", "sale", 3},
    {101, "竞争对手名称", "name", "str", "jzghs", 10},
    {102, "地址", "address", "str", "jzghs", 10},
    {103, "负责人", "fzr", "str", "jzghs", 10},
    {104, "电话", "phone", "str", "jzghs", 10},
    {105, "主要产品", "product", "str", "jzghs", 10},
    {106, "员工人数", "rs", "num", "jzghs", 10},
    {107, "产品名称", "name", "str", "jzproduct", 11},
    {108, "产品编号", "code", "str", "jzproduct", 11},
    {109, "规格", "gg", "str", "jzproduct", 11},
    {110, "型号", "xh", "str", "jzproduct", 11},
    {111, "价格", "price", "num", "jzproduct", 11},
    {112, "生产厂家", "cj", "str", "jzproduct", 11},
};

constexpr SearchField kOldFields[] = {
    // Group 1: the customer screen, with the eighteen free fields of custself.
    {1, "客户编号", "id", "num", "Customer", 1},
    {2, "客户名称", "name", "str", "Customer", 1},
    {3, "联系人", "lxr", "str", "Customer", 1},
    {4, "电话", "phone", "str", "Customer", 1},
    {5, "传真", "fax", "str", "Customer", 1},
    {6, "手机", "mobile", "str", "Customer", 1},
    {7, "电子邮件", "email", "str", "Customer", 1},
    {8, "网址", "homepage", "str", "Customer", 1},
    {9, "地址", "address", "str", "Customer", 1},
    {10, "邮政编码", "postcode", "str", "Customer", 1},
    {11, "城市", "city", "str", "Customer", 1},
    {12, "省份", "province", "str", "Customer", 1},
    {13, "所属行业", "hy", "str", "Customer", 1},
    {14, "客户类型", "khlx", "str", "Customer", 1},
    {15, "备用字段1", "by1", "str", "Customer", 1},
    {16, "备用字段2", "by2", "str", "Customer", 1},
    {17, "备注", "notes", "str", "Customer", 1},
    {18, "自定义字段1", "self1", "str", "custself", 1},
    {19, "自定义字段2", "self2", "str", "custself", 1},
    {20, "自定义字段3", "self3", "str", "custself", 1},
    {21, "自定义字段4", "self4", "str", "custself", 1},
    {22, "自定义字段5", "self5", "str", "custself", 1},
    {23, "自定义字段6", "self6", "str", "custself", 1},
    {24, "自定义字段7", "self7", "str", "custself", 1},
    {25, "自定义字段8", "self8", "str", "custself", 1},
    {26, "自定义字段9", "self9", "str", "custself", 1},
    {27, "自定义字段10", "self10", "str", "custself", 1},
    {28, "自定义字段11", "self11", "str", "custself", 1},
    {29, "自定义字段12", "self12", "str", "custself", 1},
    {30, "自定义字段13", "self13", "str", "custself", 1},
    {31, "自定义字段14", "self14", "str", "custself", 1},
    {32, "自定义字段15", "self15", "str", "custself", 1},
    {33, "自定义字段16", "self16", "str", "custself", 1},
    {34, "自定义字段17", "self17", "str", "custself", 1},
    {35, "自定义字段18", "self18", "str", "custself", 1},
    // Group 2: contacts, searchable by their company's fields too.
    {36, "联系人编号", "id", "num", "ContactPerson", 2},
    {37, "客户编号", "custid", "num", "ContactPerson", 2},
    {38, "姓名", "name", "str", "ContactPerson", 2},
    {39, "性别", "sex", "str", "ContactPerson", 2},
    {40, "职务", "zw", "str", "ContactPerson", 2},
    {41, "办公电话", "phone", "str", "ContactPerson", 2},
    {42, "手机", "mobile", "str", "ContactPerson", 2},
    {43, "电子邮件", "email", "str", "ContactPerson", 2},
    {44, "出生日期", "born", "str", "ContactPerson", 2},
    {45, "备注", "bz", "str", "ContactPerson", 2},
    {46, "客户名称", "name", "str", "Customer", 2},
    {47, "客户联系人", "lxr", "str", "Customer", 2},
    {48, "客户电话", "phone", "str", "Customer", 2},
    {49, "客户传真", "fax", "str", "Customer", 2},
    {50, "客户手机", "mobile", "str", "Customer", 2},
    {51, "客户邮箱", "email", "str", "Customer", 2},
    {52, "客户网址", "homepage", "str", "Customer", 2},
    {53, "客户地址", "address", "str", "Customer", 2},
    {54, "邮政编码", "postcode", "str", "Customer", 2},
    {55, "城市", "city", "str", "Customer", 2},
    {56, "省份", "province", "str", "Customer", 2},
    {57, "所属行业", "hy", "str", "Customer", 2},
    {58, "客户类型", "khlx", "str", "Customer", 2},
    {59, "客户备注", "notes", "str", "Customer", 2},
    // Group 3: sales orders, their lines, products and customers.
    {60, "销售单编号", "id", "num", "sale", 3},
    {61, "销售单号", "code", "str", "sale", 3},
    {62, "客户编号", "custid", "num", "sale", 3},
    {63, "销售日期", "saledate", "str", "sale", 3},
    {64, "业务员", "person", "str", "sale", 3},
    {65, "销售金额", "total", "num", "sale", 3},
    {66, "销售备注", "bz", "str", "sale", 3},
    {67, "明细编号", "id", "num", "SaleList", 3},
    {68, "产品编号", "productid", "num", "SaleList", 3},
    {69, "数量", "amount", "num", "SaleList", 3},
    {70, "单价", "price", "num", "SaleList", 3},
    {71, "金额", "total", "num", "SaleList", 3},
    {72, "产品名称", "name", "str", "product", 3},
    {73, "产品代码", "code", "str", "product", 3},
    {74, "规格", "gg", "str", "product", 3},
    {75, "产品单价", "price", "num", "product", 3},
    {76, "产品备注", "bz", "str", "product", 3},
    {77, "客户名称", "name", "str", "Customer", 3},
    {78, "客户联系人", "lxr", "str", "Customer", 3},
    {79, "客户电话", "phone", "str", "Customer", 3},
    {80, "客户地址", "address", "str", "Customer", 3},
    {81, "城市", "city", "str", "Customer", 3},
    {82, "省份", "province", "str", "Customer", 3},
    {83, "所属行业", "hy", "str", "Customer", 3},
    {84, "客户类型", "khlx", "str", "Customer", 3},
    // Rows an upgrade has to remove or replace: a stray search on the creation date and an
    // outdated competitor group.
    {90, "创建时间", "createdate", "str", "Customer", 1},
    {95, "旧竞争对手", "name", "str", "jzghs", 10},
};

}  // namespace

std::span<const SearchField> TemplateSearchFields() {
  return kTemplateFields;
}
std::span<const SearchField> OldSearchFields() {
  return kOldFields;
}

void WriteSearchTable(jet::sql::Session& session, std::span<const SearchField> rows) {
  session.Execute(
      "CREATE TABLE search (id int PRIMARY KEY, name varchar(50), field varchar(50), "
      "numtype varchar(20), tablename varchar(50), tablenum int)");
  TableLoad load(session, "search", {"id", "name", "field", "numtype", "tablename", "tablenum"});
  for (const SearchField& f : rows) {
    load.Insert(Long(f.id), Text(std::string(f.name)), Text(std::string(f.field)),
                Text(std::string(f.numtype)), Text(std::string(f.tablename)), Long(f.tablenum));
  }
  load.Commit();
}

}  // namespace demo

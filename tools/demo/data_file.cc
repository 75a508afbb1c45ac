// The customer data file sys/Custom.sys in the layout of an older release: customers, their
// contacts, sales orders with their lines, products, the old search groups, and the four
// tables of the current catalogue that the older release already had.
//
// Every random draw happens in a statement of its own: the order in which a function's
// arguments are evaluated is up to the compiler, and the rows must not depend on it.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "jet/sql/session.h"
#include "tools/demo/companies.h"
#include "tools/demo/database.h"
#include "tools/demo/demo_data.h"
#include "tools/demo/notes.h"
#include "tools/demo/people.h"
#include "tools/demo/random.h"
#include "tools/demo/reference_rows.h"
#include "tools/demo/search_fields.h"
#include "tools/demo/table_load.h"
#include "tools/demo/values.h"
#include "upgrade/product_database.h"

namespace {

using demo::CurrencyFromFen;
using demo::Date;
using demo::Long;
using demo::Text;
using demo::TextOrNull;

constexpr const char* kCreateStatements[] = {
    "CREATE TABLE Customer (id COUNTER PRIMARY KEY, name varchar(100), lxr varchar(50), "
    "phone varchar(50), fax varchar(50), mobile varchar(50), email varchar(100), "
    "homepage varchar(100), address varchar(255), postcode varchar(10), city varchar(50), "
    "province varchar(50), hy varchar(50), khlx varchar(50), createdate datetime, "
    "by1 varchar(255), by2 varchar(255), notes text)",
    "CREATE TABLE ContactPerson (id COUNTER PRIMARY KEY, custid int, name varchar(50), "
    "sex varchar(10), zw varchar(50), phone varchar(50), mobile varchar(50), "
    "email varchar(100), born datetime, bz text)",
    "CREATE TABLE Sale (id COUNTER PRIMARY KEY, code varchar(50), custid int, "
    "saledate datetime, person varchar(50), total currency, bz text)",
    "CREATE TABLE SaleList (id COUNTER PRIMARY KEY, saleid int, productid int, "
    "amount currency, price currency, total currency)",
    "CREATE TABLE product (id COUNTER PRIMARY KEY, name varchar(100), code varchar(50), "
    "gg varchar(50), price currency, bz text)",
    "CREATE TABLE findtable (id COUNTER  PRIMARY KEY,name varchar(255),content text,"
    "tablename varchar(50))",
    "CREATE TABLE notetable (id COUNTER  PRIMARY KEY,code varchar(20),content text)",
    "CREATE TABLE gsxz (id COUNTER  PRIMARY KEY,name varchar(50))",
    "CREATE TABLE custself(custumid int,self1 varchar(255),self2 varchar(255),"
    "self3 varchar(255),self4 varchar(255),self5 varchar(255),self6 varchar(255),"
    "self7 varchar(255),self8 varchar(255),self9 varchar(255),self10 varchar(255),"
    "self11 varchar(255),self12 varchar(255),self13 varchar(255),self14 varchar(255),"
    "self15 varchar(255),self16 varchar(255),self17 varchar(255),self18 varchar(255))",
};

constexpr std::string_view kMailboxes[] = {"info", "sales", "service", "office", "contact"};
constexpr std::string_view kGrades[] = {"A级", "B级", "C级"};
constexpr std::string_view kSources[] = {"展会", "网络", "朋友介绍", "电话营销", "老客户介绍"};
constexpr std::string_view kSalespeople[] = {"张晓明", "李静", "王海涛", "刘洋",
                                             "陈丽华", "杨帆", "赵磊",   "周婷"};

// Text made by `make` in `percent` of the calls, otherwise NULL. The chance is drawn first.
template <typename Make>
jet::Value Sometimes(demo::DemoRandom& random, int percent, Make make) {
  if (!random.Chance(percent)) return jet::Value::Null();
  return Text(make());
}

// What the contacts need to know about their customer.
struct CustomerFacts {
  const demo::City* city;
  demo::Person contact;  // the customer's lxr, also its first ContactPerson row
};

// One customer in 50 carries a follow-up log of over 2,000 characters, at fixed places so
// that even a small demo has a few.
bool HasLongLog(size_t index) {
  return index % 50 == 17;
}

std::vector<CustomerFacts> LoadCustomers(jet::sql::Session& session, size_t count) {
  demo::DemoRandom random(demo::kCustomerStream);
  std::vector<CustomerFacts> facts;
  facts.reserve(count);
  const double first_day = jet::OleDateFromCivil(2002, 1, 1);
  demo::TableLoad load(
      session, "Customer",
      {"name", "lxr", "phone", "fax", "mobile", "email", "homepage", "address", "postcode", "city",
       "province", "hy", "khlx", "createdate", "by1", "by2", "notes"});
  for (size_t i = 0; i < count; ++i) {
    const demo::City& city = random.Pick(demo::Cities());
    demo::Company company = demo::RandomCompany(random, city);
    demo::Person contact = demo::RandomPerson(random);
    std::string phone = demo::RandomLandline(random, city);
    jet::Value fax = Sometimes(random, 70, [&] { return demo::RandomLandline(random, city); });
    jet::Value mobile = Sometimes(random, 80, [&] { return demo::RandomMobile(random); });
    jet::Value email;
    if (random.Chance(50)) {
      email = Text(std::string(random.Pick(kMailboxes)) + "@" + company.domain);
    } else if (random.Chance(60)) {
      email = Text(demo::RandomPersonalEmail(random, contact));
    }
    jet::Value homepage = Sometimes(random, 60, [&] { return "http://www." + company.domain; });
    std::string address = demo::RandomAddress(random, city);
    std::string postcode = demo::RandomPostcode(random, city);
    std::string_view type = demo::RandomCustomerType(random);
    const uint32_t day = random.Below(5 * 365);
    const int second_of_day = random.Between(8 * 3600, 18 * 3600);  // office hours
    const double created = first_day + day + second_of_day / 86400.0;
    jet::Value grade = Sometimes(random, 60, [&] { return std::string(random.Pick(kGrades)); });
    jet::Value source = Sometimes(random, 50, [&] { return std::string(random.Pick(kSources)); });
    jet::Value notes = HasLongLog(i) ? Text(demo::LongCustomerLog(random))
                                     : TextOrNull(demo::RandomCustomerNotes(random));
    load.Insert(Text(std::move(company.name)), Text(contact.name), Text(std::move(phone)),
                std::move(fax), std::move(mobile), std::move(email), std::move(homepage),
                Text(std::move(address)), Text(std::move(postcode)), Text(std::string(city.name)),
                Text(std::string(demo::DivisionOf(city).short_name)),
                Text(std::string(company.industry)), Text(std::string(type)), Date(created),
                std::move(grade), std::move(source), std::move(notes));
    facts.push_back({&city, std::move(contact)});
  }
  load.Commit();
  return facts;
}

void LoadContacts(jet::sql::Session& session, const std::vector<CustomerFacts>& customers,
                  size_t count) {
  demo::DemoRandom random(demo::kContactStream);
  // Every customer has its lxr as a contact; the remaining contacts go to random customers.
  std::vector<int> per_customer(customers.size(), 1);
  for (size_t extra = customers.size(); extra < count; ++extra) {
    ++per_customer[random.Below(static_cast<uint32_t>(customers.size()))];
  }
  demo::TableLoad load(session, "ContactPerson",
                       {"custid", "name", "sex", "zw", "phone", "mobile", "email", "born", "bz"});
  for (size_t c = 0; c < customers.size(); ++c) {
    for (int k = 0; k < per_customer[c]; ++k) {
      demo::Person person = k == 0 ? customers[c].contact : demo::RandomPerson(random);
      std::string_view title = demo::RandomJobTitle(random);
      std::string phone = demo::RandomLandline(random, *customers[c].city);
      jet::Value mobile = Sometimes(random, 85, [&] { return demo::RandomMobile(random); });
      jet::Value email =
          Sometimes(random, 50, [&] { return demo::RandomPersonalEmail(random, person); });
      jet::Value born;
      if (random.Chance(75)) {
        const int year = random.Between(1950, 1985);
        const int month = random.Between(1, 12);
        const int day = random.Between(1, 28);
        born = Date(
            jet::OleDateFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)));
      }
      jet::Value remark = TextOrNull(demo::RandomContactRemark(random));
      load.Insert(Long(static_cast<int64_t>(c + 1)), Text(std::move(person.name)),
                  Text(person.female ? "女" : "男"), Text(std::string(title)),
                  Text(std::move(phone)), std::move(mobile), std::move(email), std::move(born),
                  std::move(remark));
    }
  }
  load.Commit();
}

struct OrderLine {
  int product;  // 1-based, as the product table numbers them
  int64_t quantity;
  int64_t price_fen;
};

struct Order {
  int day;  // OLE day number
  int customer;
  std::vector<OrderLine> lines;
};

// "XS" + the order date + the order's number within that day: XS20050315002.
std::string OrderCode(int day, int number_in_day) {
  const std::string date = jet::FormatOleDate(day);  // yyyy-mm-dd...
  char number[16];
  std::snprintf(number, sizeof number, "%03d", number_in_day);
  return "XS" + date.substr(0, 4) + date.substr(5, 2) + date.substr(8, 2) + number;
}

void LoadSales(jet::sql::Session& session, size_t customers, size_t orders, size_t lines) {
  demo::DemoRandom random(demo::kSaleStream);
  const auto products = demo::Products();
  const int first_day = static_cast<int>(jet::OleDateFromCivil(2003, 1, 1));
  std::vector<Order> plan(orders);
  for (Order& o : plan) o.day = first_day + static_cast<int>(random.Below(4 * 365));
  std::sort(plan.begin(), plan.end(), [](const Order& a, const Order& b) { return a.day < b.day; });
  std::vector<int> per_order(orders, 1);
  for (size_t extra = orders; extra < lines && orders > 0; ++extra) {
    ++per_order[random.Below(static_cast<uint32_t>(orders))];
  }
  for (size_t i = 0; i < orders; ++i) {
    Order& o = plan[i];
    o.customer = 1 + static_cast<int>(random.Below(static_cast<uint32_t>(customers)));
    for (int k = 0; k < per_order[i]; ++k) {
      OrderLine line;
      // A product appears once per order, as long as there are products left to choose.
      do {
        line.product = 1 + static_cast<int>(random.Below(static_cast<uint32_t>(products.size())));
      } while (o.lines.size() < products.size() &&
               std::any_of(o.lines.begin(), o.lines.end(),
                           [&](const OrderLine& l) { return l.product == line.product; }));
      const int64_t list_price = products[static_cast<size_t>(line.product - 1)].price_fen;
      line.quantity = random.Between(1, list_price < 10000 ? 50 : 5);
      line.price_fen = list_price * random.Between(90, 100) / 100;
      o.lines.push_back(line);
    }
  }

  demo::TableLoad sales(session, "Sale", {"code", "custid", "saledate", "person", "total", "bz"});
  int number_in_day = 0;
  for (size_t i = 0; i < orders; ++i) {
    const Order& o = plan[i];
    number_in_day = i > 0 && plan[i - 1].day == o.day ? number_in_day + 1 : 1;
    int64_t total = 0;
    for (const OrderLine& l : o.lines) total += l.quantity * l.price_fen;
    std::string_view person = random.Pick(kSalespeople);
    jet::Value remark = TextOrNull(demo::RandomOrderRemark(random));
    sales.Insert(Text(OrderCode(o.day, number_in_day)), Long(o.customer), Date(o.day),
                 Text(std::string(person)), CurrencyFromFen(total), std::move(remark));
  }
  sales.Commit();

  demo::TableLoad items(session, "SaleList", {"saleid", "productid", "amount", "price", "total"});
  for (size_t i = 0; i < orders; ++i) {
    for (const OrderLine& l : plan[i].lines) {
      items.Insert(Long(static_cast<int64_t>(i + 1)), Long(l.product),
                   CurrencyFromFen(l.quantity * 100), CurrencyFromFen(l.price_fen),
                   CurrencyFromFen(l.quantity * l.price_fen));
    }
  }
  items.Commit();
}

void LoadProducts(jet::sql::Session& session) {
  demo::TableLoad load(session, "product", {"name", "code", "gg", "price", "bz"});
  for (const demo::Product& p : demo::Products()) {
    load.Insert(Text(std::string(p.name)), Text(std::string(p.code)), Text(std::string(p.spec)),
                CurrencyFromFen(p.price_fen),
                p.remark.empty() ? jet::Value::Null() : Text(std::string(p.remark)));
  }
  load.Commit();
}

void LoadCompanyTypes(jet::sql::Session& session) {
  demo::TableLoad load(session, "gsxz", {"name"});
  for (std::string_view type : demo::CompanyTypes()) load.Insert(Text(std::string(type)));
  load.Commit();
}

}  // namespace

void WriteDemoDataFile(const std::filesystem::path& path, const DemoOptions& options) {
  ValidateDemoOptions(options);
  const DemoRowCounts counts = CountDemoRows(options);
  demo::CreateFreshDatabase(path, options);
  jet::sql::Session session(path, upgrade::kDatabasePassword);
  demo::WriteSearchTable(session, demo::OldSearchFields());
  for (const char* statement : kCreateStatements) session.Execute(statement);
  LoadProducts(session);
  const auto customers = LoadCustomers(session, counts.customers);
  LoadContacts(session, customers, counts.contacts);
  LoadSales(session, counts.customers, counts.sales, counts.sale_lines);
  LoadCompanyTypes(session);
}

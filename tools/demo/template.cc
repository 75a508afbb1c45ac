// The template my.sys: current search groups, the phone-prefix table sj, the custom-field
// definitions zdy, the province codes sfz, and a note that marks the file as demo data.
#include <string>

#include "jet/sql/session.h"
#include "tools/demo/database.h"
#include "tools/demo/demo_data.h"
#include "tools/demo/random.h"
#include "tools/demo/reference_rows.h"
#include "tools/demo/regions.h"
#include "tools/demo/search_fields.h"
#include "tools/demo/table_load.h"
#include "tools/demo/values.h"
#include "upgrade/product_database.h"

namespace {

using demo::Long;
using demo::Text;

// Rows ascend by prefix, each covering a range of 7-digit prefixes (the first seven digits
// of a mobile number), spread evenly over the networks: ranges of 1,000 numbers' prefixes
// when there are few rows, down to single prefixes when there are hundreds of thousands. A
// run of neighbouring ranges belongs to one city, as the carriers hand them out.
void LoadPhonePrefixes(jet::sql::Session& session, int rows) {
  const auto networks = demo::MobileNetworks();
  const int per_network =
      (rows + static_cast<int>(networks.size()) - 1) / static_cast<int>(networks.size());
  int width = 1000;
  while (width > 1 && per_network * width > 10000) width /= 10;

  demo::DemoRandom random(demo::kPhonePrefixStream);
  demo::TableLoad load(session, "sj", {"CodeB", "CodeE", "DQ", "city", "qh", "type"});
  const demo::City* city = nullptr;
  int run_left = 0;
  for (int i = 0; i < rows; ++i) {
    const demo::MobileNetwork& network = networks[static_cast<size_t>(i / per_network)];
    const int first = network.prefix * 10000 + (i % per_network) * width;
    if (run_left == 0) {
      city = &random.Pick(demo::Cities());
      run_left = random.Between(1, 8);
    }
    --run_left;
    load.Insert(Text(std::to_string(first)), Text(std::to_string(first + width - 1)),
                Text(std::string(demo::DivisionOf(*city).short_name)),
                Text(std::string(city->name)), Long(city->area_code),
                Text(std::string(network.carrier)));
  }
  load.Commit();
}

void LoadCustomFields(jet::sql::Session& session) {
  demo::TableLoad load(session, "zdy",
                       {"id", "name", "tablename", "fieldname", "fieldtype", "visible", "bz"});
  for (const demo::CustomField& f : demo::CustomFields()) {
    load.Insert(Long(f.id), Text(std::string(f.name)), Text(std::string(f.tablename)),
                Text(std::string(f.fieldname)), Text(std::string(f.fieldtype)),
                jet::Value::Boolean(f.visible),
                f.remark.empty() ? jet::Value::Null() : Text(std::string(f.remark)));
  }
  load.Commit();
}

void LoadDivisions(jet::sql::Session& session) {
  demo::TableLoad load(session, "sfz", {"bm", "dq"});
  for (const demo::Division& d : demo::Divisions())
    load.Insert(Long(d.code), Text(std::string(d.name)));
  load.Commit();
}

}  // namespace

void WriteDemoTemplate(const std::filesystem::path& path, const DemoOptions& options) {
  ValidateDemoOptions(options);
  demo::CreateFreshDatabase(path, options);
  jet::sql::Session session(path, upgrade::kDatabasePassword);
  demo::WriteSearchTable(session, demo::TemplateSearchFields());
  session.Execute(
      "CREATE TABLE sj (id COUNTER  PRIMARY KEY,CodeB varchar(50),CodeE varchar(50),"
      "DQ varchar(50),city varchar(50),qh int,type varchar(50))");
  session.Execute(
      "CREATE TABLE zdy (id int, name varchar(50), tablename varchar(50), fieldname varchar(50), "
      "fieldtype varchar(20), visible bit, bz text)");
  session.Execute("CREATE TABLE sfz (bm int,dq char(50))");
  session.Execute("CREATE TABLE demo_readme (note varchar(255))");
  LoadPhonePrefixes(session, options.sj_rows);
  LoadCustomFields(session);
  LoadDivisions(session);
  demo::TableLoad readme(session, "demo_readme", {"note"});
  readme.Insert(Text("演示数据：正式安装请使用随产品提供的 my.sys"));
  readme.Commit();
}

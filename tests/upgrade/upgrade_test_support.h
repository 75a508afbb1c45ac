// Shared by the upgrade-run tests: small data files in an old layout and templates, built
// with SQL so each scenario states exactly what it starts from; a view that records what a
// run reports; a harness wired like the window; and the checks every upgraded file must pass.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "db/db_connection.h"
#include "db/query.h"
#include "upgrade/upgrade_run.h"
#include "upgrade/upgrade_view.h"

namespace upgrade_test {

// What a run reported, one entry per call: "status:…", "progress:N", "visible:0|1", "max:N",
// "pump", "failure:…".
class RecordingView : public upgrade::UpgradeView {
 public:
  void SetStatus(const std::string& text) override { events.push_back("status:" + text); }
  void PumpEvents() override { events.push_back("pump"); }
  void SetProgressVisible(bool visible) override {
    events.push_back(std::string("visible:") + (visible ? "1" : "0"));
  }
  void SetProgressMax(int max) override { events.push_back("max:" + std::to_string(max)); }
  void SetProgress(int position) override {
    events.push_back("progress:" + std::to_string(position));
  }
  void SetFailure(const std::string& message) override { events.push_back("failure:" + message); }

  // The events that start with `prefix`, with the prefix removed.
  std::vector<std::string> Only(const std::string& prefix) const;

  std::vector<std::string> events;
};

struct DataFileShape {
  bool with_sale_list = true;
  bool customer_qq_in_capitals = false;            // Customer already has "QQ"
  bool product_with_pic1 = false;                  // product already has pic1
  std::vector<std::string> catalogue_tables = {};  // created first, with these names as given
  // Extra search rows: "id,'name','field','numtype','tablename',tablenum".
  std::vector<std::string> search_rows = {};
};

struct TemplateShape {
  int group_rows = 3;  // rows in groups 10 and 11 (ids 101…), alternating groups
  std::string group_name_prefix = "模板字段";
  bool search_without_numtype = false;  // the template's search lacks a copied column
  bool sj_without_type = false;         // the sj copy names a column the template lacks
  int sj_rows = 25;
  bool with_search = true;
  bool with_zdy = true;
};

// An old-layout data file: search (ids 1-6 in groups 1-3, one old group-10 row, id 90 named
// 创建时间), Customer, ContactPerson, Sale, SaleList, product with a few Chinese rows.
void WriteOldDataFile(const std::filesystem::path& path, const DataFileShape& shape = {});
void WriteTemplate(const std::filesystem::path& path, const TemplateShape& shape = {});

// Adds a catalog entry for a saved select query (a view) named `name`, as Access lists one,
// without its query text: enough for the table list to show it.
void AddSavedSelectQuery(const std::filesystem::path& path, const std::string& name);

// The run wired as the window wires it: two connections, three queries.
class Harness {
 public:
  Harness(const std::filesystem::path& data, const std::filesystem::path& template_path);
  // Runs the upgrade, then closes the data file so the test can inspect it.
  upgrade::UpgradeSummary Run() { return Run(view); }
  // The same, reporting to `to` instead of `view`.
  upgrade::UpgradeSummary Run(upgrade::UpgradeView& to);

  db::DbConnection data;
  db::DbConnection templ;
  db::Query query1, query2, query3;
  RecordingView view;
  std::string template_path;
};

// Every table of `path` as text, table by table ("name: row; row; …" with columns sorted by
// name), for comparing whole files.
std::map<std::string, std::string> ExportAll(const std::filesystem::path& path);

// The engine's checker finds `path` consistent; mdb-reader and mdb-export read every user
// table with the same rows as the engine (where they are installed).
void ExpectConsistentAndReadable(const std::filesystem::path& path);

// The search rows as "id|name|field|numtype|tablename|tablenum", ordered by id.
std::vector<std::string> SearchRows(const std::filesystem::path& path);

// Column names of `table`, in order.
std::vector<std::string> ColumnsOf(const std::filesystem::path& path, const std::string& table);

}  // namespace upgrade_test

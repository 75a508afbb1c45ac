// The whole observable run as lines of text, in the order things happened: every call the run
// makes on the database contract (with the component it came through and the connection it
// ran on), every call on its view, and the recordset's settings as each statement is opened
// on it. The components are named as the window names them, so an expected transcript reads
// like the run's own description:
//
//   ADOConnection1 ListUserTables
//   ADOConnection1 BeginTrans
//   ADOQuery3 on ADOConnection2 open: select * from search where tablenum=10 or tablenum=11
//   ADOQuery1 on ADOConnection1 add row to search: id=101 | name=… | …
//   ADOQuery2 on ADOConnection1 exec: CREATE TABLE …
//   TemplateRecordset on ADOConnection1 (Pagesize 1, CursorType 3, LockType 2) open: INSERT …
//   view SetProgress 11
//   view SetStatus "正在升级客户信息..."
//   view PumpEvents
//   view SetFailure
//
// The failure's message is left out of its line (it is the engine's wording); `failure` keeps it.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "db/contract_observer.h"
#include "db/db_connection.h"
#include "db/query.h"
#include "upgrade/upgrade_view.h"

namespace upgrade_test {

class RunTranscript : public upgrade::UpgradeView, public db::ContractObserver {
 public:
  // Names the window's components; watches both connections until destroyed.
  RunTranscript(db::DbConnection& data, db::DbConnection& templ, db::Query& query1,
                db::Query& query2, db::Query& query3);
  ~RunTranscript() override;
  RunTranscript(const RunTranscript&) = delete;
  RunTranscript& operator=(const RunTranscript&) = delete;

  // Watches both connections through `observer` instead, which passes each call on to Before.
  void ObserveThrough(db::ContractObserver* observer);

  void Before(const db::ContractCall& call) override;

  void SetStatus(const std::string& text) override {
    lines.push_back("view SetStatus \"" + text + "\"");
  }
  void PumpEvents() override { lines.push_back("view PumpEvents"); }
  void SetProgressVisible(bool visible) override {
    lines.push_back(std::string("view SetProgressVisible ") + (visible ? "true" : "false"));
  }
  void SetProgressMax(int max) override {
    lines.push_back("view SetProgressMax " + std::to_string(max));
  }
  void SetProgress(int position) override {
    lines.push_back("view SetProgress " + std::to_string(position));
  }
  void SetFailure(const std::string& message) override {
    lines.push_back("view SetFailure");
    failure = message;
  }

  std::vector<std::string> lines;
  std::string failure;

 private:
  std::string NameOf(const db::DbConnection& connection) const;
  std::string NameOf(const db::Query& query) const;
  std::string CursorOwner(const db::RowCursor& cursor) const;

  db::DbConnection& data_;
  db::DbConnection& templ_;
  std::vector<std::pair<db::Query*, std::string>> queries_;
};

// Compares a recorded transcript with the expected one line by line, and on a difference
// shows the first differing line with a few lines around it, rather than two long lists.
void ExpectTranscript(const std::vector<std::string>& recorded,
                      const std::vector<std::string>& expected);

}  // namespace upgrade_test

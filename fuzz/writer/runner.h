// Runs the writer target's statements on a session and on the model side by side. Each
// statement says what the model predicts (success, refusal, or either where Jet's rule is
// not the model's business); an outcome against the prediction, or a different count of
// rows affected, is a fault. A refused statement leaves the model as it was, as it must
// leave the file.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/writer/model.h"
#include "jet/sql/session.h"

namespace fuzz::writer {

class Runner {
 public:
  // Opens a session on `path`, which holds what `model` describes.
  Runner(const std::filesystem::path& path, Model model);

  const Model& model() const { return model_; }
  // What the file holds once the session is closed: an unfinished transaction is dropped.
  const Model& DurableModel() const { return snapshots_.empty() ? model_ : snapshots_.front(); }
  void CloseSession() { session_.reset(); }
  // The statements run so far, for the report of a fault.
  const std::vector<std::string>& log() const { return log_; }

  void Create(const std::string& table, const std::vector<Column>& columns);
  void AddColumn(const std::string& table, const Column& column);
  // `columns` and `values` are parallel; values follow the column's kind.
  void InsertValues(const std::string& table, const std::vector<int>& columns,
                    const std::vector<Cell>& values);
  void Delete(const std::string& table, const Condition* where);
  // Copies source column sources[i] into target column targets[i].
  void InsertSelect(const std::string& target, const std::vector<int>& targets,
                    const std::string& source, const std::vector<int>& sources,
                    const Condition* where);
  // `sources` empty: SELECT *.
  void SelectInto(const std::string& table, const std::string& source,
                  const std::vector<int>& sources, const Condition* where);
  void Begin();
  void Commit();
  void Rollback();
  // Closes the session (dropping an unfinished transaction) and opens a new one.
  void Reopen();

  [[noreturn]] void Fault(const std::string& what) const;

 private:
  enum class Expect { kSuccess, kRefusal, kEither };
  // Runs `sql`; on success the model becomes `after` and the rows affected must be `affected`.
  void Run(const std::string& sql, Expect expect, Model after, size_t affected);
  // Runs a SELECT and checks its rows (in any order) against `expected`; returns them in the
  // engine's order.
  std::vector<Row> Probe(const std::string& sql, const std::vector<Kind>& kinds,
                         const std::vector<Row>& expected);

  std::filesystem::path path_;
  std::unique_ptr<jet::sql::Session> session_;
  Model model_;
  std::vector<Model> snapshots_;  // one per open transaction level
  std::vector<std::string> log_;
};

// Prints `what` and the statements that led to it, and aborts: the fuzzer records a crash.
[[noreturn]] void ReportFault(const std::string& what, const std::vector<std::string>& log);

// A value as a SQL literal.
std::string Literal(const Cell& cell, Kind kind);

}  // namespace fuzz::writer

// Fuzz target: a sequence of writing statements (CREATE TABLE, ALTER TABLE ADD, INSERT
// VALUES, DELETE, INSERT ... SELECT, SELECT ... INTO, and explicit transactions) decoded from
// the input and run on a copy of a small database, beside a model of what they should do.
// Afterwards the file must pass the checker and read back exactly as the model says.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/scratch_file.h"
#include "fuzz/writer/program.h"
#include "fuzz/writer/readback.h"
#include "jet/sql/session.h"
#include "jet/table/database_creator.h"
#include "upgrade/product_database.h"

namespace {

constexpr int kMaxSteps = 24;

struct Start {
  fuzz::ScratchFile file{"writer"};
  std::string bytes;
  fuzz::writer::Model model;

  Start() {
    file.Remove();
    jet::CreateDatabase(file.path(), upgrade::kDatabasePassword);
    fuzz::writer::Runner runner(file.path(), {});
    fuzz::writer::RunPrelude(runner);
    model = runner.model();
    runner.CloseSession();
    bytes = fuzz::ReadWholeFile(file.path());
  }
};

Start* g_start = nullptr;

}  // namespace

// Made once, before the first input, so its cost counts against no input's time limit.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_start = new Start;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Start& start = *g_start;
  start.file.Write(
      std::span(reinterpret_cast<const uint8_t*>(start.bytes.data()), start.bytes.size()));
  FuzzedDataProvider input(data, size);
  fuzz::writer::Model durable;
  std::vector<std::string> log;
  {
    fuzz::writer::Runner runner(start.file.path(), start.model);
    fuzz::writer::RunProgram(input, runner, kMaxSteps);
    runner.CloseSession();
    durable = runner.DurableModel();
    log = runner.log();
  }
  if (std::getenv("WRITER_TRACE")) {
    for (const std::string& s : log) std::fprintf(stderr, "%s\n", s.c_str());
  }
  // The session is closed: what an unfinished transaction changed is gone.
  fuzz::writer::CheckFileMatches(start.file.path(), durable, log);
  return 0;
}

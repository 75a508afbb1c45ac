// Decodes the writer target's input into statements: each step's first byte chooses the
// statement, the following bytes its table, columns, values and condition. Names come from
// small pools, so statements meet the tables earlier ones made (and sometimes collide).
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz/writer/runner.h"

namespace fuzz::writer {

// Runs steps until the input is used up (at most `max_steps`).
void RunProgram(FuzzedDataProvider& input, Runner& runner, int max_steps);

// The database every input starts from, made through `runner` so the model knows it.
void RunPrelude(Runner& runner);

}  // namespace fuzz::writer

// Helpers shared by the engine tests: where the fixtures are, scratch directories, file bytes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace testing_support {

// The directory of the Access-written fixture files, or empty when it is not present.
std::filesystem::path FixtureDir();
// Path of one fixture; the test calls GTEST_SKIP when FixtureDir() is empty.
std::filesystem::path Fixture(const std::string& name);

// A fresh directory under the system temp dir, removed with the object.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path Copy(const std::filesystem::path& source);

 private:
  std::filesystem::path path_;
};

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
// True when a journal with something in it lies beside `database`. An open connection that
// has committed keeps an empty one.
bool HasHotJournal(const std::filesystem::path& database);

// `arg` quoted for a command line: in single quotes for a POSIX shell; on Windows in double
// quotes, as programs split their command line (CommandLineToArgvW).
std::string ShellQuote(const std::string& arg);

// Runs a command line (UTF-8) in the system's shell (sh, or cmd on Windows), returns its exit
// status and fills `out` with its standard output, byte for byte.
int RunCommand(const std::string& command, std::string* out);

#ifndef _WIN32
// Runs `body` in a forked child process (which may limit itself first: time, memory, file
// size) and returns the text it returned, or how it died.
struct ChildReport {
  bool finished = false;  // the body returned
  int signal = 0;         // the signal that ended the child otherwise
  std::string text;
};
ChildReport RunInChild(const std::function<std::string()>& body);
#endif

// The words in Latin letters that `message` uses outside its quoted names ('...'), other than
// the proper names and SQL keywords the product's messages may contain (Access, Jet, SQL...).
// Empty for a message worded wholly in the product's language.
std::vector<std::string> ForeignWords(const std::string& message);

}  // namespace testing_support

#define SKIP_WITHOUT_FIXTURES()                                                   \
  do {                                                                            \
    if (testing_support::FixtureDir().empty())                                    \
      GTEST_SKIP() << "fixture directory ../shared/fixtures/jet4 is not present"; \
  } while (0)

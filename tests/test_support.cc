#include "tests/test_support.h"

#include "jet/file/journal.h"

#include <cctype>
#include <cstdio>
#include <fstream>
#include <random>
#include <set>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace testing_support {

std::filesystem::path FixtureDir() {
  std::filesystem::path dir = FIXTURE_DIR;
  if (std::filesystem::is_directory(dir)) return dir;
  return {};
}

std::filesystem::path Fixture(const std::string& name) {
  return FixtureDir() / name;
}

ScratchDir::ScratchDir() {
  std::random_device rd;
  for (;;) {
    path_ = std::filesystem::temp_directory_path() / ("jettest-" + std::to_string(rd()));
    if (std::filesystem::create_directory(path_)) break;
  }
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::filesystem::path ScratchDir::Copy(const std::filesystem::path& source) {
  auto target = path_ / source.filename();
  std::filesystem::copy_file(source, target, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::permissions(target, std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
  return target;
}

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

#ifdef _WIN32

std::string ShellQuote(const std::string& arg) {
  // Backslashes are literal except before a quote, where each one must be doubled.
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    out.push_back(c);
  }
  out.append(2 * backslashes, '\\');
  return out + "\"";
}

int RunCommand(const std::string& command, std::string* out) {
  // cmd /c drops the first and the last quote of a line that starts with one: a pair around
  // the whole line keeps the quotes inside it.
  const std::string line = "\"" + command + "\"";
  const std::wstring wide =
      std::filesystem::path(std::u8string(line.begin(), line.end())).wstring();
  FILE* pipe = _wpopen(wide.c_str(), L"rb");
  if (!pipe) return -1;
  std::string text;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) text.append(buf, n);
  int status = _pclose(pipe);
  if (out) *out = std::move(text);
  return status;
}

#else

std::string ShellQuote(const std::string& arg) {
  std::string out = "'";
  for (char c : arg) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out.push_back(c);
    }
  }
  return out + "'";
}

int RunCommand(const std::string& command, std::string* out) {
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return -1;
  std::string text;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) text.append(buf, n);
  int status = pclose(pipe);
  if (out) *out = std::move(text);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

ChildReport RunInChild(const std::function<std::string()>& body) {
  int fds[2];
  if (pipe(fds) != 0) return {false, 0, "pipe failed"};
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    std::string text = body();
    ssize_t ignored = write(fds[1], text.data(), text.size());
    (void)ignored;
    _exit(0);  // skip the parent's atexit handlers and gtest's teardown
  }
  close(fds[1]);
  ChildReport report;
  char buf[512];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) report.text.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  report.finished = WIFEXITED(status);
  report.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return report;
}

#endif

std::vector<std::string> ForeignWords(const std::string& message) {
  // Names no translation changes: products, SQL words, and the command a message tells of.
  static const std::set<std::string> kAllowed = {"Access", "Jet", "ACE",  "SQL",   "SELECT",
                                                 "INTO",   "OLE", "GUID", "jetdb", "repair"};
  std::vector<std::string> found;
  bool quoted = false;
  std::string word;
  auto end_word = [&] {
    if (!word.empty() && !kAllowed.count(word)) found.push_back(word);
    word.clear();
  };
  for (size_t i = 0; i < message.size(); ++i) {
    const char c = message[i];
    // A quoted name may itself hold quotes: only a quote not followed by more of the name
    // closes it.
    const char next = i + 1 < message.size() ? message[i + 1] : ' ';
    if (c == '\'' &&
        (!quoted || !(std::isalnum(static_cast<unsigned char>(next)) || next == '\''))) {
      end_word();
      quoted = !quoted;
    } else if (!quoted && std::isalpha(static_cast<unsigned char>(c))) {
      word += c;
    } else {
      end_word();
    }
  }
  end_word();
  return found;
}

bool HasHotJournal(const std::filesystem::path& database) {
  std::error_code ec;
  auto journal = jet::JournalPathFor(database);
  return std::filesystem::exists(journal, ec) && std::filesystem::file_size(journal, ec) != 0;
}

}  // namespace testing_support

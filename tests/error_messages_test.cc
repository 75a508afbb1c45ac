// The message table as a whole: every failure the engine can raise is worded in the product's
// language, names what it concerns, and reads differently from every other.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "jet/error.h"
#include "tests/test_support.h"

namespace {

using jet::ErrorFacts;
using jet::ErrorKind;
using jet::JetError;
using jet::Problem;

std::vector<Problem> AllProblems() {
  std::vector<Problem> all;
  for (size_t i = 0; i < static_cast<size_t>(Problem::kCount); ++i) {
    all.push_back(static_cast<Problem>(i));
  }
  return all;
}

// Every fact set, each to a value found nowhere in the templates.
ErrorFacts EveryFact() {
  return {.file = "甲文件.sys",
          .table = "乙表",
          .column = "丙字段",
          .index = "丁索引",
          .name = "戊名称",
          .detail = "己原因",
          .page = 9001,
          .row = 9002,
          .number = 9003,
          .limit = 9004};
}

bool EndsWithStopOrSpace(const std::string& text) {
  if (text.empty()) return true;
  char last = text.back();
  if (last == '.' || last == ' ') return true;
  for (const char* stop : {"。", "，", "：", "；"}) {
    std::string s = stop;
    if (text.size() >= s.size() && text.compare(text.size() - s.size(), s.size(), s) == 0) {
      return true;
    }
  }
  return false;
}

TEST(ErrorMessages, EveryProblemIsWordedInTheProductLanguageAndNamesItsObjects) {
  const ErrorFacts facts = EveryFact();
  const std::vector<std::pair<std::string, std::string>> placeholders = {
      {"{file}", facts.file},   {"{table}", facts.table}, {"{column}", facts.column},
      {"{index}", facts.index}, {"{name}", facts.name},   {"{detail}", facts.detail},
      {"{page}", "9001"},       {"{row}", "9002"},        {"{number}", "9003"},
      {"{limit}", "9004"}};
  for (Problem p : AllProblems()) {
    const jet::ProblemText& entry = jet::TextOf(p);
    SCOPED_TRACE("problem " + std::to_string(static_cast<int>(p)) + ": " + entry.text);
    EXPECT_EQ(entry.problem, p) << "the table is out of the enum's order";
    const std::string message = JetError(p, facts).what();
    EXPECT_EQ(testing_support::ForeignWords(message), std::vector<std::string>{}) << message;
    EXPECT_FALSE(EndsWithStopOrSpace(message)) << "[" << message << "]";
    // Every placeholder was a known fact, and every bracket closed.
    for (const char* mark : {"{", "}", "[", "]"}) {
      EXPECT_EQ(message.find(mark), std::string::npos) << message;
    }
    // A fact the text asks for appears in the message.
    for (const auto& [placeholder, value] : placeholders) {
      if (std::string(entry.text).find(placeholder) == std::string::npos) continue;
      EXPECT_NE(message.find(value), std::string::npos) << placeholder << " in " << message;
    }
    // A user is told which database is damaged, and which table when it is known.
    if (entry.kind == ErrorKind::kCorrupt) {
      EXPECT_EQ(message.rfind("数据库文件 '甲文件.sys' 已损坏（表 '乙表'）：", 0), 0u) << message;
    }
  }
}

TEST(ErrorMessages, NoTwoProblemsReadAlike) {
  std::set<std::string> seen;
  for (Problem p : AllProblems()) {
    std::string message = JetError(p, EveryFact()).what();
    EXPECT_TRUE(seen.insert(message).second) << "worded twice: " << message;
  }
}

TEST(ErrorMessages, AnUnknownFactLeavesOutOnlyItsOwnWords) {
  EXPECT_STREQ(JetError(Problem::kDamagedPagePastEnd, {.page = 12}).what(),
               "数据库文件已损坏：第 12 页超出了文件的末尾");
  EXPECT_STREQ(
      JetError(Problem::kDamagedPagePastEnd, {.file = "a.sys", .page = 12, .number = 5}).what(),
      "数据库文件 'a.sys' 已损坏：第 12 页超出了文件的末尾（文件共 5 页）");
  EXPECT_STREQ(JetError(Problem::kCannotWrite, {.file = "a.sys"}).what(),
               "写入文件 'a.sys' 时发生磁盘错误");
  EXPECT_STREQ(JetError(Problem::kDiskFull, {.file = "a.sys", .number = 28}).what(),
               "磁盘已满：无法写入文件 'a.sys'");
}

TEST(ErrorMessages, FactsAddedLaterFillOnlyWhatIsMissing) {
  JetError e(Problem::kDamagedRowPointer, {.table = "Customer", .page = 7});
  EXPECT_EQ(e.kind(), ErrorKind::kCorrupt);
  e.AddFacts({.file = "客户.sys", .table = "Other", .page = 99});
  EXPECT_EQ(e.facts().table, "Customer");
  EXPECT_EQ(e.facts().page, 7u);
  EXPECT_STREQ(e.what(),
               "数据库文件 '客户.sys' 已损坏（表 'Customer'）：记录指针指向文件之外的第 7 页");
}

}  // namespace

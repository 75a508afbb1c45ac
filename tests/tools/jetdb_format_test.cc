// CSV fields: quoted exactly when they hold a comma, a quote or a line break, wherever in the
// value that character is (the check reads eight bytes at a time, so every position of a
// word and of the tail after the last whole word counts), and with each quote doubled.
#include "tools/jetdb_format.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(JetdbFormat, CsvFieldQuotesASpecialCharacterAtAnyPosition) {
  for (char special : {',', '"', '\r', '\n'}) {
    for (size_t length = 1; length <= 20; ++length) {
      for (size_t at = 0; at < length; ++at) {
        std::string text(length, 'x');
        text[at] = special;
        std::string inner = special == '"' ? std::string(text).insert(at, 1, '"') : text;
        EXPECT_EQ(tools::CsvField(text), '"' + inner + '"')
            << "length " << length << " at " << at << " char " << int{special};
      }
    }
  }
}

TEST(JetdbFormat, CsvFieldLeavesOtherTextBare) {
  // Bytes next to the special ones, control characters and UTF-8 stay unquoted.
  for (std::string text : {std::string(""), std::string("plain"), std::string("a+b-c.d/e;f"),
                           std::string("\t\x0b\x0c\x0e\x01 tabs and controls"),
                           std::string("中文字段，全角逗号“引号”"), std::string(40, '!')}) {
    EXPECT_EQ(tools::CsvField(text), text);
  }
}

}  // namespace

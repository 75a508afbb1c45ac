#include "jet/sql/lexer.h"

#include "jet/error.h"

namespace jet::sql {
namespace {

bool IsNameStart(unsigned char c) {
  return std::isalpha(c) || c == '_' || c >= 0x80;
}
bool IsNamePart(unsigned char c) {
  return std::isalnum(c) || c == '_' || c >= 0x80 || c == '$';
}

// 1-based positions counted in characters (UTF-8 lead bytes), for messages. Tokens come in
// order, so each count goes on from the last one: a long statement costs no more than once.
class CharacterCounter {
 public:
  explicit CharacterCounter(std::string_view s) : s_(s) {}
  size_t PositionOf(size_t byte) {
    for (; counted_ < byte && counted_ < s_.size(); ++counted_) {
      if ((static_cast<unsigned char>(s_[counted_]) & 0xC0) != 0x80) ++characters_;
    }
    return characters_ + 1;
  }

 private:
  std::string_view s_;
  size_t counted_ = 0;
  size_t characters_ = 0;
};

// Reads the text enclosed from s[open] to the next `close` into `t`, a doubled `close`
// standing for one ('it''s', [a]]b]); returns the position after the closing one. Text left
// open is a syntax error at the token.
size_t ReadEnclosed(std::string_view s, size_t open, char close, Token& t) {
  size_t j = open + 1;
  for (;;) {
    if (j >= s.size())
      throw JetError(Problem::kSyntaxError,
                     {.name = std::string(s.substr(open, 20)), .number = t.position});
    if (s[j] == close) {
      if (j + 1 < s.size() && s[j + 1] == close) {
        t.text.push_back(close);
        j += 2;
        continue;
      }
      return j + 1;
    }
    t.text.push_back(s[j++]);
  }
}

}  // namespace

std::vector<Token> Tokenize(std::string_view s) {
  std::vector<Token> tokens;
  CharacterCounter counter(s);
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (std::isspace(c)) {
      ++i;
      continue;
    }
    Token t;
    t.position = counter.PositionOf(i);
    if (c == '[') {
      t.kind = TokenKind::kQuotedName;
      i = ReadEnclosed(s, i, ']', t);
    } else if (c == '\'') {
      t.kind = TokenKind::kString;
      i = ReadEnclosed(s, i, '\'', t);
    } else if (std::isdigit(c) || (c == '.' && i + 1 < s.size() &&
                                   std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
      t.kind = TokenKind::kNumber;
      size_t j = i;
      while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
      if (j < s.size() && s[j] == '.') {
        ++j;
        while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
      }
      if (j < s.size() && (s[j] == 'e' || s[j] == 'E')) {
        size_t k = j + 1;
        if (k < s.size() && (s[k] == '+' || s[k] == '-')) ++k;
        if (k < s.size() && std::isdigit(static_cast<unsigned char>(s[k]))) {
          j = k;
          while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
        }
      }
      t.text = std::string(s.substr(i, j - i));
      i = j;
    } else if (IsNameStart(c)) {
      t.kind = TokenKind::kName;
      size_t j = i;
      while (j < s.size() && IsNamePart(static_cast<unsigned char>(s[j]))) ++j;
      t.text = std::string(s.substr(i, j - i));
      i = j;
    } else {
      t.kind = TokenKind::kSymbol;
      std::string_view two = s.substr(i, 2);
      if (two == "<>" || two == "<=" || two == ">=" || two == "!=") {
        t.text = std::string(two == "!=" ? "<>" : two);
        i += 2;
      } else if (std::string_view("(),.;*=<>+-/&").find(static_cast<char>(c)) !=
                 std::string_view::npos) {
        t.text = std::string(1, static_cast<char>(c));
        ++i;
      } else {
        throw JetError(Problem::kSyntaxError,
                       {.name = std::string(1, static_cast<char>(c)), .number = t.position});
      }
    }
    tokens.push_back(std::move(t));
  }
  Token end;
  end.kind = TokenKind::kEnd;
  end.position = counter.PositionOf(s.size());
  tokens.push_back(end);
  return tokens;
}

}  // namespace jet::sql

// The Jet SQL tokenizer: names (plain or in [brackets], where "]]" stands for "]"), string
// literals in single quotes (with '' for a quote), numbers and punctuation. Keywords are
// names; the parser compares them without regard to letter case.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace jet::sql {

enum class TokenKind {
  kName,         // a plain word: keyword or identifier
  kQuotedName,   // [bracketed], never a keyword
  kString,       // 'text'
  kNumber,       // 12, 12.5, .5, 1e3
  kSymbol,       // ( ) , . ; * = <> < <= > >= + - /
  kEnd,
};

struct Token {
  TokenKind kind = TokenKind::kEnd;
  std::string text;   // names and strings unquoted; symbols as written
  size_t position = 0;  // 1-based character position in the statement, for error messages
};

// Throws a syntax error (JetError kInvalid) on an unterminated string or bracket or a
// character that starts no token.
std::vector<Token> Tokenize(std::string_view statement);

}  // namespace jet::sql

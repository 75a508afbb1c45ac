// Conversions between the program's UTF-8 and the file's UTF-16 (UCS-2 with surrogate pairs).
// Ill-formed input becomes U+FFFD rather than being dropped, so no text is silently shortened.
#pragma once

#include <string>
#include <string_view>

namespace base {

std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);
// The number of UTF-16 units Utf8ToUtf16(text) returns, without building it.
size_t Utf16Length(std::string_view text);

// Case folding for catalog names: Jet compares table and column names without regard to
// letter case. Folds ASCII and the Latin-1/Greek/Cyrillic letters that have simple pairs.
std::u16string FoldCase(std::u16string_view text);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace base

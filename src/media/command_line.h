#pragma once
// Command lines are assembled as one text and split into arguments by one
// rule before the program is executed directly (never through a shell):
//  - spaces and tabs outside quotes separate arguments;
//  - a double quote toggles quoting and is not part of the argument;
//  - 2n backslashes before a quote give n backslashes and the quote toggles;
//    2n+1 backslashes before a quote give n backslashes and a literal quote;
//  - other backslashes are literal;
//  - a quote opened at the very end of the line adds nothing.
// File names are carried losslessly: bytes that are not UTF-8 travel as
// U+DC80..U+DCFF and become the same bytes again.
#include <string>
#include <string_view>
#include <vector>

namespace media {

std::wstring BytesToWide(std::string_view bytes);
std::string WideToBytes(std::wstring_view wide);

// The text to put between two quotes so that splitting gives back `arg`;
// names without quotes or trailing backslashes come back unchanged.
std::wstring EscapeForQuotes(std::wstring_view arg);

std::vector<std::wstring> SplitCommandLine(std::wstring_view line);

}  // namespace media

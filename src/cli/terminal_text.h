#pragma once
// Text from outside (pages, servers, files, the command line) made safe to
// print on a terminal.
#include <string>
#include <string_view>

namespace cli {

// True for characters a terminal would act on or that hide or reorder what
// is shown (platform::IsHiddenOrControl).
bool IsUnsafeOnTerminal(char32_t c);

// UTF-8 with every unsafe character replaced by U+FFFD.
std::string TerminalText(std::wstring_view text);
// The same for UTF-8 input; broken sequences become U+FFFD as well.
std::string TerminalText(std::string_view utf8);

}  // namespace cli

#include "cli/terminal_text.h"

#include <type_traits>

#include "platform/text.h"

namespace cli {

bool IsUnsafeOnTerminal(char32_t c) {
    return platform::IsHiddenOrControl(c);
}

std::string TerminalText(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (wchar_t w : text) {
        char32_t c = static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(w));
        platform::AppendUtf8(out, IsUnsafeOnTerminal(c) ? char32_t{platform::kReplacementChar} : c);
    }
    return out;
}

std::string TerminalText(std::string_view utf8) {
    return TerminalText(platform::FromUtf8(utf8));
}

}  // namespace cli

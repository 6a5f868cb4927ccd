#include "cli/terminal_text.h"

#include <type_traits>

#include "platform/text.h"

namespace cli {

bool IsUnsafeOnTerminal(char32_t c) {
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return true;
    if (c >= 0xD800 && c <= 0xDFFF) return true;
    if (c > 0x10FFFF) return true;
    switch (c) {
        case 0x061C:  // Arabic letter mark
        case 0x200B:  // zero width space
        case 0x200C:  // zero width non-joiner
        case 0x200D:  // zero width joiner
        case 0x200E:  // left-to-right mark
        case 0x200F:  // right-to-left mark
        case 0x2028:  // line separator
        case 0x2029:  // paragraph separator
        case 0x2060:  // word joiner
        case 0xFEFF:  // zero width no-break space
            return true;
        default:
            break;
    }
    return (c >= 0x202A && c <= 0x202E) ||  // embeddings and overrides
           (c >= 0x2066 && c <= 0x2069);    // isolates
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

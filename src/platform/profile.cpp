#include "platform/profile.h"

#include <string_view>

#include "platform/file_io.h"
#include "platform/text.h"

namespace platform {
namespace {

// A larger file is taken for a mistake and treated as missing.
constexpr size_t kMaxProfileBytes = size_t{64} << 20;

// UTF-16 without its byte-order mark; a lone surrogate or odd last byte
// becomes U+FFFD.
std::wstring FromUtf16(std::string_view b, bool bigEndian) {
    std::wstring out;
    out.reserve(b.size() / 2);
    auto unit = [&](size_t i) -> char32_t {
        auto hi = static_cast<unsigned char>(b[i + (bigEndian ? 0 : 1)]);
        auto lo = static_cast<unsigned char>(b[i + (bigEndian ? 1 : 0)]);
        return static_cast<char32_t>(hi << 8 | lo);
    };
    size_t i = 0;
    for (; i + 1 < b.size(); i += 2) {
        char32_t u = unit(i);
        if (u >= 0xD800 && u < 0xDC00 && i + 3 < b.size()) {
            char32_t low = unit(i + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                out += static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        out += (u >= 0xD800 && u < 0xE000) ? kReplacementChar : static_cast<wchar_t>(u);
    }
    if (i < b.size()) out += kReplacementChar;
    return out;
}

std::wstring Decode(std::string_view b) {
    if (b.substr(0, 3) == "\xEF\xBB\xBF") return FromUtf8(b.substr(3));
    if (b.substr(0, 2) == "\xFF\xFE") return FromUtf16(b.substr(2), false);
    if (b.substr(0, 2) == "\xFE\xFF") return FromUtf16(b.substr(2), true);
    return FromUtf8(b);
}

bool Blank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

// Finds key in section; false when either is absent.
bool Lookup(std::wstring_view text, std::wstring_view section, std::wstring_view key, bool exactKey,
            std::wstring& value) {
    bool inSection = false;  // lines before any section belong to none
    while (!text.empty()) {
        size_t end = text.find_first_of(L"\r\n");
        std::wstring_view line = Trim(text.substr(0, end));
        text.remove_prefix(end == std::wstring_view::npos ? text.size() : end + 1);
        if (line.empty() || line[0] == L';') continue;
        if (line[0] == L'[') {
            size_t close = line.find(L']');
            inSection = EqualsNoCase(
                Trim(line.substr(1, close == line.npos ? line.npos : close - 1)), section);
            continue;
        }
        size_t eq = line.find(L'=');
        if (!inSection || eq == line.npos) continue;
        std::wstring_view name = Trim(line.substr(0, eq));
        if (exactKey ? name != key : !EqualsNoCase(name, key)) continue;
        std::wstring_view v = Trim(line.substr(eq + 1));
        if (v.size() >= 2 && (v[0] == L'"' || v[0] == L'\'') && v.back() == v[0])
            v = v.substr(1, v.size() - 2);
        value.assign(v);
        return true;  // the first occurrence wins
    }
    return false;
}

}  // namespace

std::wstring GetPrivateProfileString(const std::wstring& section, const std::wstring& key,
                                     const std::wstring& def, size_t sizeChars,
                                     const std::wstring& filePath, KeyMatch match) {
    if (sizeChars == 0) return {};
    std::wstring value;
    std::string raw;
    if (ReadWholeFile(ToUtf8(filePath), kMaxProfileBytes, raw) != ReadResult::Ok ||
        !Lookup(Decode(raw), section, key, match == KeyMatch::Exact, value)) {
        // Like the Windows call, the default loses its trailing blanks.
        value = def;
        while (!value.empty() && Blank(value.back())) value.pop_back();
    }
    if (value.size() > sizeChars - 1) value.resize(sizeChars - 1);
    return value;
}

}  // namespace platform

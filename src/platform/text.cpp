#include "platform/text.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <vector>

namespace platform {
namespace {

// Length of a UTF-8 sequence from its lead byte; 0 for a byte that cannot lead.
int SequenceLength(unsigned char b) {
    if (b < 0x80) return 1;
    if (b >= 0xC2 && b <= 0xDF) return 2;
    if (b >= 0xE0 && b <= 0xEF) return 3;
    if (b >= 0xF0 && b <= 0xF4) return 4;
    return 0;
}

// Whether byte b may stand at position idx (1-based) of a sequence led by lead.
bool ValidContinuation(unsigned char lead, int idx, unsigned char b) {
    if ((b & 0xC0) != 0x80) return false;
    if (idx != 1) return true;
    switch (lead) {
        case 0xE0:
            return b >= 0xA0;
        case 0xED:
            return b <= 0x9F;  // no surrogates
        case 0xF0:
            return b >= 0x90;
        case 0xF4:
            return b <= 0x8F;
        default:
            return true;
    }
}

char32_t DecodeComplete(const unsigned char* s, int len) {
    switch (len) {
        case 1:
            return s[0];
        case 2:
            return ((s[0] & 0x1F) << 6) | (s[1] & 0x3F);
        case 3:
            return ((s[0] & 0x0F) << 12) | ((s[1] & 0x3F) << 6) | (s[2] & 0x3F);
        default:
            return ((s[0] & 0x07) << 18) | ((s[1] & 0x3F) << 12) | ((s[2] & 0x3F) << 6) |
                   (s[3] & 0x3F);
    }
}

}  // namespace

size_t DecodeUtf8Span(const unsigned char* p, size_t n, std::wstring& out, bool final) {
    size_t start = out.size();
    out.resize(start + n);  // never more characters than bytes
    wchar_t* o = out.data() + start;
    size_t i = 0;
    while (i < n) {
        // Runs of ASCII go eight bytes at a time.
        while (i + 8 <= n) {
            uint64_t word;
            std::memcpy(&word, p + i, 8);
            if (word & 0x8080808080808080ull) break;
            for (int k = 0; k < 8; ++k) o[k] = static_cast<wchar_t>(p[i + k]);
            o += 8;
            i += 8;
        }
        if (i >= n) break;
        unsigned char lead = p[i];
        if (lead < 0x80) {
            *o++ = static_cast<wchar_t>(lead);
            ++i;
            continue;
        }
        int len = SequenceLength(lead);
        int got = 1;
        while (len && got < len && i + got < n && ValidContinuation(lead, got, p[i + got])) ++got;
        if (len && got == len) {
            *o++ = static_cast<wchar_t>(DecodeComplete(p + i, len));
        } else if (len && i + got == n && !final) {
            break;  // incomplete at the end: wait for more
        } else {
            *o++ = kReplacementChar;  // the maximal valid prefix becomes one U+FFFD
        }
        i += got;
    }
    out.resize(static_cast<size_t>(o - out.data()));
    return i;
}

std::wstring FromUtf8(std::string_view utf8) {
    std::wstring out;
    out.reserve(utf8.size());
    DecodeUtf8Span(reinterpret_cast<const unsigned char*>(utf8.data()), utf8.size(), out, true);
    return out;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string ToUtf8(std::wstring_view wide) {
    std::string out;
    out.reserve(wide.size());
    for (wchar_t c : wide) AppendUtf8(out, static_cast<char32_t>(c));
    return out;
}

namespace {
template <typename View>
View TrimView(View s, View chars) {
    size_t b = s.find_first_not_of(chars);
    if (b == View::npos) return View();
    return s.substr(b, s.find_last_not_of(chars) - b + 1);
}
}  // namespace

std::string_view Trim(std::string_view s, std::string_view chars) {
    return TrimView(s, chars);
}

std::wstring_view Trim(std::wstring_view s, std::wstring_view chars) {
    return TrimView(s, chars);
}

void Utf8Decoder::Feed(std::string_view piece, std::wstring& out) {
    const auto* p = reinterpret_cast<const unsigned char*>(piece.data());
    size_t n = piece.size();
    // Complete the carried-over sequence first, byte by byte.
    while (pendingLen_ > 0 && n > 0) {
        pending_[pendingLen_++] = *p++;
        --n;
        std::wstring tmp;
        size_t used = DecodeUtf8Span(pending_, pendingLen_, tmp, false);
        out += tmp;
        if (used == static_cast<size_t>(pendingLen_)) {
            pendingLen_ = 0;
        } else if (used > 0) {
            // Bytes after a replacement may start a new sequence.
            int rest = pendingLen_ - static_cast<int>(used);
            for (int k = 0; k < rest; ++k) pending_[k] = pending_[used + k];
            pendingLen_ = rest;
        }
    }
    size_t used = DecodeUtf8Span(p, n, out, false);
    for (size_t k = used; k < n; ++k) pending_[pendingLen_++] = p[k];
}

void Utf8Decoder::Finish(std::wstring& out) {
    if (pendingLen_ > 0) DecodeUtf8Span(pending_, pendingLen_, out, true);
    pendingLen_ = 0;
}

std::wstring AsciiLower(std::wstring_view s) {
    std::wstring out(s);
    for (auto& c : out)
        if (c >= L'A' && c <= L'Z') c = c - L'A' + L'a';
    return out;
}

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        wchar_t x = a[i], y = b[i];
        if (x >= L'A' && x <= L'Z') x = x - L'A' + L'a';
        if (y >= L'A' && y <= L'Z') y = y - L'A' + L'a';
        if (x != y) return false;
    }
    return true;
}

std::string FormatV(size_t maxChars, const char* fmt, va_list ap) {
    va_list copy;
    va_copy(copy, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    if (n < 0) return {};
    std::string out(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(out.data(), out.size(), fmt, ap);
    out.resize(static_cast<size_t>(n));
    if (maxChars && out.size() > maxChars) {
        // Cut on a character boundary.
        size_t cut = maxChars;
        while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
        out.resize(cut);
    }
    return out;
}

std::wstring FormatWV(size_t maxChars, const wchar_t* fmt, va_list ap) {
    // vswprintf reports only failure when the buffer is short: grow until it fits.
    size_t cap = 256;
    for (;;) {
        std::vector<wchar_t> buf(cap);
        va_list copy;
        va_copy(copy, ap);
        int n = std::vswprintf(buf.data(), cap, fmt, copy);
        va_end(copy);
        if (n >= 0) {
            std::wstring out(buf.data(), static_cast<size_t>(n));
            if (maxChars && out.size() > maxChars) out.resize(maxChars);
            return out;
        }
        // A failing conversion (not just a short buffer) must not loop forever.
        if (cap >= (1u << 24) || (maxChars && cap > maxChars * 4 + 1024)) {
            // Return what fits in the largest buffer tried.
            std::wstring out(buf.data(), std::wcslen(buf.data()));
            if (maxChars && out.size() > maxChars) out.resize(maxChars);
            return out;
        }
        cap *= 4;
    }
}

std::string Format(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::string s = FormatV(0, fmt, ap);
    va_end(ap);
    return s;
}

std::wstring FormatW(const wchar_t* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::wstring s = FormatWV(0, fmt, ap);
    va_end(ap);
    return s;
}

bool IsHiddenOrControl(char32_t c) {
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return true;
    if (c >= 0xD800 && c <= 0xDFFF) return true;
    if (c > 0x10FFFF) return true;
    switch (c) {
        case 0x061C:  // Arabic letter mark
        case 0x2028:  // line separator
        case 0x2029:  // paragraph separator
        case 0xFEFF:  // zero width no-break space
            return true;
        default:
            break;
    }
    return (c >= 0x200B && c <= 0x200F) ||  // zero-width characters and marks
           (c >= 0x202A && c <= 0x202E) ||  // embeddings and overrides
           (c >= 0x2060 && c <= 0x2064) ||  // word joiner, invisible operators
           (c >= 0x2066 && c <= 0x2069);    // isolates
}

}  // namespace platform

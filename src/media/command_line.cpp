#include "media/command_line.h"

#include "platform/text.h"

namespace media {

std::wstring BytesToWide(std::string_view s) {
    std::wstring out;
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = s[i];
        int len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        char32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
        bool ok = len > 0 && i + len <= s.size();
        for (int k = 1; ok && k < len; ++k) {
            unsigned char d = s[i + k];
            if ((d & 0xC0) != 0x80) ok = false;
            cp = (cp << 6) | (d & 0x3F);
        }
        if (ok) {
            static const char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
            if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) ok = false;
        }
        if (ok) {
            out.push_back(static_cast<wchar_t>(cp));
            i += len;
        } else {
            out.push_back(static_cast<wchar_t>(0xDC00 + c));
            ++i;
        }
    }
    return out;
}

std::string WideToBytes(std::wstring_view w) {
    std::string out;
    out.reserve(w.size());
    for (wchar_t wc : w) {
        char32_t cp = static_cast<char32_t>(wc);
        if (cp >= 0xDC80 && cp <= 0xDCFF)
            out.push_back(static_cast<char>(cp - 0xDC00));  // a byte carried from BytesToWide
        else
            platform::AppendUtf8(out, cp);
    }
    return out;
}

std::wstring EscapeForQuotes(std::wstring_view arg) {
    std::wstring out;
    size_t slashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        if (c == L'"') {
            out.append(slashes * 2 + 1, L'\\');
        } else {
            out.append(slashes, L'\\');
        }
        slashes = 0;
        out.push_back(c);
    }
    out.append(slashes * 2, L'\\');  // before the closing quote
    return out;
}

std::vector<std::wstring> SplitCommandLine(std::wstring_view line) {
    std::vector<std::wstring> args;
    std::wstring cur;
    bool inArg = false, quoted = false;
    size_t i = 0;
    while (i < line.size()) {
        wchar_t c = line[i];
        if (!quoted && (c == L' ' || c == L'\t')) {
            if (inArg) args.push_back(cur);
            cur.clear();
            inArg = false;
            ++i;
            continue;
        }
        if (c == L'\\') {
            size_t n = 0;
            while (i < line.size() && line[i] == L'\\') ++n, ++i;
            if (i < line.size() && line[i] == L'"') {
                cur.append(n / 2, L'\\');
                if (n % 2) {
                    cur.push_back(L'"');
                    ++i;
                }
            } else {
                cur.append(n, L'\\');
            }
            inArg = true;
            continue;
        }
        if (c == L'"') {
            if (!quoted && i + 1 == line.size()) break;  // a dangling opening quote
            quoted = !quoted;
            inArg = true;
            ++i;
            continue;
        }
        cur.push_back(c);
        inArg = true;
        ++i;
    }
    if (inArg) args.push_back(cur);
    return args;
}

}  // namespace media

#include "download/url.h"

#include "platform/text.h"

namespace {

int HexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

}  // namespace

bool CrackUrl(const std::wstring& url, UrlParts& out) {
    size_t colon = url.find(L"://");
    if (colon == std::wstring::npos || colon == 0) return false;
    std::wstring scheme = platform::AsciiLower(url.substr(0, colon));
    int defPort;
    if (scheme == L"http")
        defPort = 80;
    else if (scheme == L"https")
        defPort = 443;
    else
        return false;
    size_t hostStart = colon + 3;
    size_t end = url.find_first_of(L"/?#", hostStart);
    std::wstring authority =
        url.substr(hostStart, end == std::wstring::npos ? end : end - hostStart);
    size_t at = authority.rfind(L'@');
    if (at != std::wstring::npos) authority = authority.substr(at + 1);
    std::wstring host = authority;
    int port = defPort;
    size_t pc = authority.rfind(L':');
    if (pc != std::wstring::npos && authority.find(L']', pc) == std::wstring::npos) {
        host = authority.substr(0, pc);
        std::wstring digits = authority.substr(pc + 1);
        if (!digits.empty()) {
            if (digits.size() > 5) return false;
            port = 0;
            for (wchar_t c : digits) {
                if (c < L'0' || c > L'9') return false;
                port = port * 10 + (c - L'0');
            }
            if (port == 0 || port > 65535) return false;
        }
    }
    if (host.empty()) return false;
    for (wchar_t c : host)
        if (c <= L' ' || c == 0x7F || c == L'\\') return false;
    out.scheme = scheme;
    out.host = host;
    out.port = port;
    if (end == std::wstring::npos)
        out.path = L"/";
    else if (url[end] == L'/')
        out.path = url.substr(end);
    else
        out.path = L"/" + url.substr(end);
    size_t hash = out.path.find(L'#');
    if (hash != std::wstring::npos) out.path.erase(hash);
    return true;
}

std::wstring CanonicalizeUrl(const std::wstring& url) {
    std::string bytes;
    std::wstring out;
    auto flush = [&] {
        if (!bytes.empty()) out += platform::FromUtf8(bytes);
        bytes.clear();
    };
    for (size_t i = 0; i < url.size(); ++i) {
        if (url[i] == L'%') {
            int hi = i + 1 < url.size() ? HexValue(url[i + 1]) : -1;
            int lo = i + 2 < url.size() ? HexValue(url[i + 2]) : -1;
            if (hi >= 0 && lo >= 0) {
                bytes.push_back(static_cast<char>(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        flush();
        out.push_back(url[i]);
    }
    flush();
    return out;
}

std::string EscapeForRequest(const std::wstring& url) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : platform::ToUtf8(url)) {
        if (c <= ' ' || c >= 0x7F) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

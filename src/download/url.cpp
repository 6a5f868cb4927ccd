#include "download/url.h"

#include <cwctype>

#include "platform/text.h"

namespace {

int HexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

// A reference split into its five components; `has*` tells an absent
// component from an empty one ("http://a/?" has an empty query).
struct Reference {
    bool hasScheme = false, hasAuthority = false, hasQuery = false, hasFragment = false;
    std::wstring scheme, authority, path, query, fragment;
};

Reference SplitReference(const std::wstring& s) {
    Reference r;
    size_t pos = 0;
    size_t colon = s.find(L':');
    size_t stop = s.find_first_of(L"/?#");
    if (colon != std::wstring::npos && colon > 0 && (stop == std::wstring::npos || colon < stop)) {
        bool valid = iswalpha(s[0]) != 0 && s[0] < 0x80;
        for (size_t i = 1; valid && i < colon; ++i) {
            wchar_t c = s[i];
            valid = c < 0x80 && (iswalnum(c) || c == L'+' || c == L'-' || c == L'.');
        }
        if (valid) {
            r.hasScheme = true;
            r.scheme = platform::AsciiLower(s.substr(0, colon));
            pos = colon + 1;
        }
    }
    if (s.compare(pos, 2, L"//") == 0) {
        size_t end = s.find_first_of(L"/?#", pos + 2);
        if (end == std::wstring::npos) end = s.size();
        r.hasAuthority = true;
        r.authority = s.substr(pos + 2, end - pos - 2);
        pos = end;
    }
    size_t end = s.find_first_of(L"?#", pos);
    if (end == std::wstring::npos) end = s.size();
    r.path = s.substr(pos, end - pos);
    pos = end;
    if (pos < s.size() && s[pos] == L'?') {
        end = s.find(L'#', pos);
        if (end == std::wstring::npos) end = s.size();
        r.hasQuery = true;
        r.query = s.substr(pos + 1, end - pos - 1);
        pos = end;
    }
    if (pos < s.size() && s[pos] == L'#') {
        r.hasFragment = true;
        r.fragment = s.substr(pos + 1);
    }
    return r;
}

std::wstring RemoveDotSegments(std::wstring in) {
    std::wstring out;
    while (!in.empty()) {
        if (in.rfind(L"../", 0) == 0) {
            in.erase(0, 3);
        } else if (in.rfind(L"./", 0) == 0) {
            in.erase(0, 2);
        } else if (in.rfind(L"/./", 0) == 0) {
            in.erase(0, 2);
        } else if (in == L"/.") {
            in = L"/";
        } else if (in.rfind(L"/../", 0) == 0 || in == L"/..") {
            in = in.size() == 3 ? std::wstring(L"/") : in.substr(3);
            size_t slash = out.rfind(L'/');
            out.erase(slash == std::wstring::npos ? 0 : slash);
        } else if (in == L"." || in == L"..") {
            in.clear();
        } else {
            size_t next = in.find(L'/', 1);
            if (next == std::wstring::npos) next = in.size();
            out += in.substr(0, next);
            in.erase(0, next);
        }
    }
    return out;
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

std::wstring ResolveUrl(const std::wstring& base, const std::wstring& reference) {
    size_t first = 0, last = reference.size();
    while (first < last && reference[first] <= L' ') ++first;
    while (last > first && reference[last - 1] <= L' ') --last;
    const std::wstring ref = reference.substr(first, last - first);
    const Reference b = SplitReference(base);
    const Reference r = SplitReference(ref);
    if (!b.hasScheme && !r.hasScheme) return ref;

    Reference t;
    if (r.hasScheme) {
        t = r;
        t.path = RemoveDotSegments(r.path);
    } else {
        t.hasScheme = true;
        t.scheme = b.scheme;
        if (r.hasAuthority) {
            t.hasAuthority = true;
            t.authority = r.authority;
            t.path = RemoveDotSegments(r.path);
            t.hasQuery = r.hasQuery;
            t.query = r.query;
        } else {
            t.hasAuthority = b.hasAuthority;
            t.authority = b.authority;
            if (r.path.empty()) {
                t.path = b.path;
                t.hasQuery = r.hasQuery || b.hasQuery;
                t.query = r.hasQuery ? r.query : b.query;
            } else {
                if (r.path[0] == L'/') {
                    t.path = RemoveDotSegments(r.path);
                } else if (b.hasAuthority && b.path.empty()) {
                    t.path = RemoveDotSegments(L"/" + r.path);
                } else {
                    size_t slash = b.path.rfind(L'/');
                    std::wstring merged =
                        slash == std::wstring::npos ? std::wstring() : b.path.substr(0, slash + 1);
                    t.path = RemoveDotSegments(merged + r.path);
                }
                t.hasQuery = r.hasQuery;
                t.query = r.query;
            }
        }
        t.hasFragment = r.hasFragment;
        t.fragment = r.fragment;
    }

    std::wstring out = t.scheme + L":";
    if (t.hasAuthority) out += L"//" + t.authority;
    out += t.path;
    if (t.hasQuery) out += L"?" + t.query;
    if (t.hasFragment) out += L"#" + t.fragment;
    return out;
}

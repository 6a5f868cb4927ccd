#include "download/media_name.h"

#include <strings.h>
#include <cctype>

#include "download/media_types.h"
#include "download/page_scanner.h"
#include "download/url.h"
#include "platform/text.h"

namespace {

int Hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string PercentDecode(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && Hex(s[i + 1]) >= 0 && Hex(s[i + 2]) >= 0) {
            out.push_back(static_cast<char>(Hex(s[i + 1]) * 16 + Hex(s[i + 2])));
            i += 2;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

std::wstring Latin1(std::string_view s) {
    std::wstring out;
    for (unsigned char c : s) out.push_back(static_cast<wchar_t>(c));
    return out;
}

// The part after the last slash or backslash: a suggested name never
// chooses a folder.
std::wstring LastComponent(std::wstring name) {
    size_t slash = name.find_last_of(L"/\\");
    if (slash != std::wstring::npos) name.erase(0, slash + 1);
    return std::wstring(platform::Trim(name, L" \t"));
}

// One parameter of the header: name (lower case) and value, quotes and
// their escapes undone.
struct Param {
    std::string name, value;
};

std::vector<Param> ReadParams(std::string_view h) {
    std::vector<Param> out;
    size_t i = h.find(';');  // the disposition type comes first
    while (i != std::string_view::npos && i < h.size()) {
        ++i;
        while (i < h.size() && (h[i] == ' ' || h[i] == '\t' || h[i] == ';')) ++i;
        size_t eq = h.find_first_of("=;", i);
        if (eq == std::string_view::npos || h[eq] == ';') {
            i = eq;
            continue;
        }
        Param p;
        p.name = std::string(platform::Trim(h.substr(i, eq - i), " \t"));
        for (char& c : p.name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        i = eq + 1;
        while (i < h.size() && (h[i] == ' ' || h[i] == '\t')) ++i;
        if (i < h.size() && h[i] == '"') {
            for (++i; i < h.size() && h[i] != '"'; ++i) {
                if (h[i] == '\\' && i + 1 < h.size()) ++i;
                p.value.push_back(h[i]);
            }
            i = h.find(';', i);
        } else {
            size_t end = h.find(';', i);
            p.value = std::string(
                platform::Trim(h.substr(i, end == std::string_view::npos ? end : end - i), " \t"));
            i = end;
        }
        out.push_back(std::move(p));
    }
    return out;
}

// An RFC 8187 value: charset'language'percent-encoded. Empty when the
// charset is neither UTF-8 nor ISO-8859-1.
std::wstring ExtendedValue(std::string_view v) {
    size_t q1 = v.find('\'');
    size_t q2 = q1 == std::string_view::npos ? q1 : v.find('\'', q1 + 1);
    if (q2 == std::string_view::npos) return L"";
    std::string charset(v.substr(0, q1));
    std::string bytes = PercentDecode(v.substr(q2 + 1));
    if (strcasecmp(charset.c_str(), "utf-8") == 0) return platform::FromUtf8(bytes);
    if (strcasecmp(charset.c_str(), "iso-8859-1") == 0) return Latin1(bytes);
    return L"";
}

}  // namespace

std::wstring ContentDispositionName(std::string_view header) {
    std::wstring plain, extended;
    for (const Param& p : ReadParams(header)) {
        if (p.name == "filename*" && extended.empty())
            extended = LastComponent(ExtendedValue(p.value));
        else if (p.name == "filename" && plain.empty())
            // Mostly UTF-8 in practice; other bytes become U+FFFD.
            plain = LastComponent(platform::FromUtf8(p.value));
    }
    return !extended.empty() ? extended : plain;
}

std::wstring MediaFileName(std::string_view contentDisposition, const std::wstring& url) {
    std::wstring name = ContentDispositionName(contentDisposition);
    if (!name.empty()) return name;
    UrlParts parts;
    if (!CrackUrl(url, parts)) return L"";
    std::wstring path = parts.path.substr(0, parts.path.find(L'?'));
    size_t slash = path.rfind(L'/');
    std::wstring last = slash == std::wstring::npos ? path : path.substr(slash + 1);
    name = LastComponent(platform::FromUtf8(PercentDecode(platform::ToUtf8(last))));
    return name.empty() ? platform::AsciiLower(parts.host) : name;
}

void SplitFileName(const std::wstring& name, std::wstring& stem, std::wstring& extension) {
    size_t dot = name.rfind(L'.');
    stem = name;
    extension.clear();
    if (dot == std::wstring::npos || dot == 0 || name.size() - dot - 1 > 8 ||
        dot + 1 == name.size())
        return;
    for (size_t i = dot + 1; i < name.size(); ++i)
        if (name[i] > 0x7F || !std::isalnum(static_cast<int>(name[i]))) return;
    stem = name.substr(0, dot);
    extension = platform::AsciiLower(name.substr(dot + 1));
}

std::wstring ExtensionForType(std::wstring_view contentType) {
    static const std::pair<const wchar_t*, const wchar_t*> kTypes[] = {
        {L"video/mp4", L"mp4"},
        {L"video/webm", L"webm"},
        {L"video/x-matroska", L"mkv"},
        {L"video/quicktime", L"mov"},
        {L"video/ogg", L"ogv"},
        {L"video/x-flv", L"flv"},
        {L"video/mp2t", L"ts"},
        {L"video/3gpp", L"3gp"},
        {L"video/x-msvideo", L"avi"},
        {L"audio/mp4", L"m4a"},
        {L"audio/x-m4a", L"m4a"},
        {L"audio/mpeg", L"mp3"},
        {L"audio/webm", L"webm"},
        {L"audio/ogg", L"ogg"},
        {L"audio/aac", L"aac"},
        {L"audio/flac", L"flac"},
        {L"audio/wav", L"wav"},
        {L"audio/x-wav", L"wav"},
        {L"application/vnd.apple.mpegurl", L"m3u8"},
        {L"application/x-mpegurl", L"m3u8"}};
    size_t semi = contentType.find(L';');
    std::wstring t = platform::AsciiLower(platform::Trim(contentType.substr(0, semi), L" \t"));
    for (const auto& [type, ext] : kTypes)
        if (t == type) return ext;
    return L"";
}

bool IsMediaAnswer(std::wstring_view contentType, const std::wstring& url) {
    if (!IsMediaContentType(platform::ToUtf8(contentType))) return false;
    // The generic binary types, and no type at all, say nothing by
    // themselves: the address's extension decides.
    size_t semi = contentType.find(L';');
    std::wstring t = platform::AsciiLower(platform::Trim(contentType.substr(0, semi), L" \t"));
    if (t.empty() || t == L"application/octet-stream" || t == L"binary/octet-stream")
        return IsMediaExtension(UrlExtension(url));
    return true;
}

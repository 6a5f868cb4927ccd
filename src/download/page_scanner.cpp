#include "download/page_scanner.h"

#include <algorithm>
#include <cwctype>
#include <nlohmann/json.hpp>

#include "app/logging.h"
#include "download/pattern.h"
#include "download/url.h"
#include "platform/text.h"

namespace {

constexpr const char* kTag = "CPageScanner";

// Quoted values may hold '>'; the quantifiers never give back, so a page of
// many broken tags is still read in one pass.
#define CV_ATTRS L"((?:[^>\"']++|\"[^\"]*+\"|'[^']*+')*+)"

// Groups: 1 script attributes, 2 script body; 3 title attributes, 4 title
// text; 5 "/" of an end tag, 6 tag name, 7 its attributes. Comments and script bodies are taken
// whole so that nothing inside them counts; one left open takes the rest of
// the page, as in a browser.
const CPattern& MarkupPattern() {
    static const CPattern p(
        L"(?s)<!--(?:.*?-->|.*+)"
        L"|<script\\b" CV_ATTRS L">(?:(.*?)</script\\s*>|.*+)"
        L"|<title\\b" CV_ATTRS L">([^<]*+)"
        L"|<(/?)(video|source|meta|link|base)\\b" CV_ATTRS L">",
        CPattern::kCaseless);
    return p;
}
#undef CV_ATTRS

// Groups: 1 name, then the value double-quoted (2), single-quoted (3) or bare (4).
const CPattern& AttributePattern() {
    static const CPattern p(
        L"([^\\s\"'>/=]++)(?:\\s*+=\\s*+(?:\"([^\"]*+)\"|'([^']*+)'|([^\\s>]++)))?");
    return p;
}

enum Group { kScriptAttrs = 1, kScriptBody, kTitleAttrs, kTitleText, kSlash, kName, kAttrs };

struct Attributes {
    std::vector<std::pair<std::wstring, std::wstring>> list;  // names in lower case

    const std::wstring* Find(std::wstring_view name) const {
        for (const auto& [n, v] : list)
            if (n == name) return &v;
        return nullptr;
    }
    std::wstring Get(std::wstring_view name) const {
        const std::wstring* v = Find(name);
        return v ? *v : std::wstring();
    }
};

Attributes ReadAttributes(std::wstring_view text, bool validText) {
    Attributes out;
    AttributePattern().FindAll(
        text,
        [&](const CPattern::Span* g, size_t count) {
            std::wstring name = platform::AsciiLower(text.substr(g[1].begin, g[1].Length()));
            std::wstring value;
            for (size_t i = 2; i < count && i <= 4; ++i)
                if (g[i].Matched())
                    value = DecodeHtmlEntities(text.substr(g[i].begin, g[i].Length()));
            // The first of a repeated attribute counts, as in a browser.
            if (!out.Find(name)) out.list.emplace_back(std::move(name), std::move(value));
            return out.list.size() < 64;
        },
        validText);
    return out;
}

std::wstring FoldBlanks(std::wstring_view text) {
    std::wstring out;
    bool blank = false;
    for (wchar_t c : text) {
        if (c == L' ' || c == L'\t' || c == L'\n' || c == L'\r' || c == L'\f') {
            blank = !out.empty();
            continue;
        }
        if (blank) out.push_back(L' ');
        blank = false;
        out.push_back(c);
    }
    return out;
}

// The leading number of a height: "720", "720px", 720, 720.0, {"value": 720}.
int ReadHeight(std::wstring_view text) {
    long v = 0;
    size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        v = v * 10 + (text[i] - L'0');
        if (v > 100000) return 0;  // no real height
    }
    return static_cast<int>(v);
}

int JsonHeight(const nlohmann::json& j, int depth = 0) {
    if (j.is_number_integer() || j.is_number_unsigned()) {
        auto v = j.get<long long>();
        return v > 0 && v <= 100000 ? static_cast<int>(v) : 0;
    }
    if (j.is_number_float()) {
        double v = j.get<double>();
        return v > 0 && v <= 100000 ? static_cast<int>(v) : 0;
    }
    if (j.is_string()) return ReadHeight(platform::FromUtf8(j.get_ref<const std::string&>()));
    if (j.is_object() && depth == 0) {
        auto it = j.find("value");
        if (it != j.end()) return JsonHeight(*it, 1);
    }
    return 0;
}

bool StartsNoCase(std::wstring_view s, std::wstring_view prefix) {
    return s.size() >= prefix.size() && platform::EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

// The bare media type, lower case, without parameters or blanks.
std::wstring MediaType(std::wstring_view contentType) {
    size_t semi = contentType.find(L';');
    return platform::AsciiLower(platform::Trim(contentType.substr(0, semi), L" \t"));
}

bool IsVideoOrAudioType(std::wstring_view type) {
    std::wstring t = MediaType(type);
    return StartsNoCase(t, L"video/") || StartsNoCase(t, L"audio/");
}

// What a scan collects before the addresses are resolved.
struct Found {
    CPageCandidate::Source source;
    std::wstring url;  // as written, entities decoded
    bool hls;
    int height;
};

class Scanner {
  public:
    Scanner(std::wstring_view page, bool validText) : page_(page), validText_(validText) {}

    void Run() {
        MarkupPattern().FindAll(
            page_,
            [&](const CPattern::Span* g, size_t count) {
                if (count > kName && g[kName].Matched())
                    OnTag(g);
                else if (count > kScriptBody && g[kScriptAttrs].Matched())
                    OnScript(g);
                else if (count > kTitleText && g[kTitleText].Matched())
                    OnTitle(g);
                return true;
            },
            validText_);
        FlushOpenGraph();
    }

    std::vector<Found> found;
    std::wstring base, ogTitle, title;
    size_t badJson = 0;

  private:
    std::wstring_view Text(const CPattern::Span& s) const {
        return page_.substr(s.begin, s.Length());
    }

    void Add(CPageCandidate::Source source, const std::wstring& url, bool hls, int height) {
        if (url.empty() || found.size() >= kMaxPageCandidates) return;
        found.push_back({source, url, hls, height});
    }

    void OnTitle(const CPattern::Span* g) {
        if (title.empty()) title = FoldBlanks(DecodeHtmlEntities(Text(g[kTitleText])));
    }

    void OnTag(const CPattern::Span* g) {
        std::wstring name = platform::AsciiLower(Text(g[kName]));
        bool end = g[kSlash].Length() > 0;
        if (name == L"video") {
            inVideo_ = !end;
            if (end) return;
            Attributes a = ReadAttributes(Text(g[kAttrs]), validText_);
            videoHeight_ = ReadHeight(a.Get(L"height"));
            std::wstring src = a.Get(L"src");
            if (!src.empty())
                Add(CPageCandidate::kVideoTag, src, UrlExtension(src) == L"m3u8", videoHeight_);
            return;
        }
        if (end) return;
        Attributes a = ReadAttributes(Text(g[kAttrs]), validText_);
        if (name == L"source") {
            if (!inVideo_) return;  // <picture> and <audio> sources are no video
            std::wstring src = a.Get(L"src"), type = a.Get(L"type");
            bool hls = IsHlsType(type) || (type.empty() && UrlExtension(src) == L"m3u8");
            if (!type.empty() && !hls && !IsVideoOrAudioType(type)) return;
            int h = ReadHeight(a.Get(L"height"));
            Add(CPageCandidate::kVideoTag, src, hls, h ? h : videoHeight_);
        } else if (name == L"meta") {
            OnMeta(a);
        } else if (name == L"link") {
            std::wstring rel = L" " + platform::AsciiLower(a.Get(L"rel")) + L" ";
            for (wchar_t& c : rel)
                if (c == L'\t' || c == L'\n' || c == L'\r') c = L' ';
            if (rel.find(L" alternate ") != std::wstring::npos && IsHlsType(a.Get(L"type")))
                Add(CPageCandidate::kLinkAlternate, a.Get(L"href"), true, 0);
        } else if (name == L"base") {
            if (!haveBase_ && a.Find(L"href")) {
                haveBase_ = true;
                base = a.Get(L"href");
            }
        }
    }

    // Open Graph's structured properties: og:video starts a video, the
    // og:video:* after it describe that one.
    struct OgVideo {
        std::wstring root, url, secureUrl, type;
        int height = 0;
        bool any = false;
    };

    void FlushOpenGraph() {
        if (!og_.any) return;
        const std::wstring& url = !og_.secureUrl.empty() ? og_.secureUrl
                                  : !og_.url.empty()     ? og_.url
                                                         : og_.root;
        std::wstring ext = UrlExtension(url);
        bool hls = IsHlsType(og_.type) || (og_.type.empty() && ext == L"m3u8");
        // Often a player page rather than a file: trusted only when it says it is media.
        if (hls || IsVideoOrAudioType(og_.type) || IsMediaExtension(ext))
            Add(CPageCandidate::kOpenGraph, url, hls, og_.height);
        og_ = OgVideo();
    }

    void OnMeta(const Attributes& a) {
        std::wstring key = platform::AsciiLower(
            platform::Trim(a.Find(L"property") ? a.Get(L"property") : a.Get(L"name"), L" "));
        if (key.empty()) return;
        const std::wstring content = a.Get(L"content");
        if (key == L"og:title") {
            if (ogTitle.empty()) ogTitle = FoldBlanks(content);
        } else if (key == L"og:video" || key == L"og:video:url" || key == L"og:video:secure_url") {
            std::wstring OgVideo::*slot = key == L"og:video"       ? &OgVideo::root
                                          : key == L"og:video:url" ? &OgVideo::url
                                                                   : &OgVideo::secureUrl;
            // og:video, or a second value of a property, starts the next video.
            if (key == L"og:video" || !(og_.*slot).empty()) FlushOpenGraph();
            og_.*slot = content;
            og_.any = true;
        } else if (key == L"og:video:type") {
            og_.type = content;
        } else if (key == L"og:video:height") {
            og_.height = ReadHeight(content);
        } else if (key == L"twitter:player:stream") {
            twitterUrl_ = content;
            Add(CPageCandidate::kTwitterStream, content, UrlExtension(content) == L"m3u8", 0);
        } else if (key == L"twitter:player:stream:content_type") {
            // Refines the stream named just before.
            if (!found.empty() && found.back().source == CPageCandidate::kTwitterStream &&
                found.back().url == twitterUrl_) {
                if (IsHlsType(content))
                    found.back().hls = true;
                else if (!IsVideoOrAudioType(content))
                    found.pop_back();
            }
        }
    }

    void OnScript(const CPattern::Span* g) {
        Attributes a = ReadAttributes(Text(g[kScriptAttrs]), validText_);
        if (MediaType(a.Get(L"type")) != L"application/ld+json" || !g[kScriptBody].Matched())
            return;
        std::string body = platform::ToUtf8(Text(g[kScriptBody]));
        nlohmann::json j = nlohmann::json::parse(body, nullptr, false);
        if (j.is_discarded()) {
            ++badJson;
            LogWarnW(kTag, L"A JSON-LD block of %zu bytes is not valid JSON; skipped", body.size());
            return;
        }
        WalkJson(j, 0);
    }

    static bool IsVideoObject(const nlohmann::json& type) {
        if (type.is_string()) return type.get_ref<const std::string&>() == "VideoObject";
        if (type.is_array())
            for (const auto& t : type)
                if (IsVideoObject(t)) return true;
        return false;
    }

    void WalkJson(const nlohmann::json& j, int depth) {
        // Deeper than any real description; also keeps the walk's stack small.
        if (depth > 64 || found.size() >= kMaxPageCandidates) return;
        if (j.is_array()) {
            for (const auto& v : j) WalkJson(v, depth + 1);
            return;
        }
        if (!j.is_object()) return;
        auto type = j.find("@type");
        if (type != j.end() && IsVideoObject(*type)) {
            auto url = j.find("contentUrl");
            if (url != j.end() && url->is_string()) {
                std::wstring u = platform::FromUtf8(url->get_ref<const std::string&>());
                auto fmt = j.find("encodingFormat");
                bool hls = UrlExtension(u) == L"m3u8" ||
                           (fmt != j.end() && fmt->is_string() &&
                            IsHlsType(platform::FromUtf8(fmt->get_ref<const std::string&>())));
                auto h = j.find("height");
                Add(CPageCandidate::kJsonLd, u, hls, h != j.end() ? JsonHeight(*h) : 0);
            }
        }
        for (const auto& [key, value] : j.items())
            if (value.is_structured()) WalkJson(value, depth + 1);
    }

    std::wstring_view page_;
    bool validText_;
    bool inVideo_ = false, haveBase_ = false;
    int videoHeight_ = 0;
    OgVideo og_;
    std::wstring twitterUrl_;
};

bool IsHttpUrl(const std::wstring& url) {
    UrlParts parts;
    return CrackUrl(url, parts);
}

}  // namespace

std::wstring DecodeHtmlEntities(std::wstring_view text) {
    static const std::pair<const wchar_t*, wchar_t> kNamed[] = {
        {L"amp", L'&'},    {L"lt", L'<'},    {L"gt", L'>'},  {L"quot", L'"'},
        {L"apos", L'\''},  {L"nbsp", 0xA0},  {L"sol", L'/'}, {L"colon", L':'},
        {L"equals", L'='}, {L"quest", L'?'}, {L"num", L'#'}, {L"period", L'.'}};
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        wchar_t c = text[i];
        if (c != L'&') {
            out.push_back(c);
            ++i;
            continue;
        }
        size_t semi = text.find(L';', i + 1);
        // References are short; a lone '&' stays as it is.
        if (semi == std::wstring_view::npos || semi - i > 32) {
            out.push_back(c);
            ++i;
            continue;
        }
        std::wstring_view ref = text.substr(i + 1, semi - i - 1);
        bool done = false;
        if (ref.size() >= 2 && ref[0] == L'#') {
            bool hex = ref[1] == L'x' || ref[1] == L'X';
            std::wstring_view digits = ref.substr(hex ? 2 : 1);
            uint32_t code = 0;
            bool ok = !digits.empty();
            for (wchar_t d : digits) {
                int v = d >= L'0' && d <= L'9'          ? d - L'0'
                        : hex && d >= L'a' && d <= L'f' ? d - L'a' + 10
                        : hex && d >= L'A' && d <= L'F' ? d - L'A' + 10
                                                        : -1;
                if (v < 0) {
                    ok = false;
                    break;
                }
                code =
                    std::min<uint32_t>(code * (hex ? 16 : 10) + static_cast<uint32_t>(v), 0x110000);
            }
            if (ok) {
                bool bad = code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF);
                out.push_back(bad ? static_cast<wchar_t>(0xFFFD) : static_cast<wchar_t>(code));
                done = true;
            }
        } else {
            for (const auto& [name, ch] : kNamed)
                if (ref == name) {
                    out.push_back(ch);
                    done = true;
                    break;
                }
        }
        if (done) {
            i = semi + 1;
        } else {
            out.push_back(c);
            ++i;
        }
    }
    return out;
}

bool IsHlsType(std::wstring_view contentType) {
    std::wstring t = MediaType(contentType);
    return t == L"application/vnd.apple.mpegurl" || t == L"application/x-mpegurl" ||
           t == L"audio/mpegurl" || t == L"audio/x-mpegurl";
}

std::wstring UrlExtension(const std::wstring& url) {
    size_t end = url.find_first_of(L"?#");
    std::wstring_view path(url.data(), end == std::wstring::npos ? url.size() : end);
    size_t scheme = path.find(L"://");
    if (scheme != std::wstring_view::npos) {
        size_t slash = path.find(L'/', scheme + 3);
        path = slash == std::wstring_view::npos ? std::wstring_view() : path.substr(slash);
    }
    size_t slash = path.rfind(L'/');
    std::wstring_view last = slash == std::wstring_view::npos ? path : path.substr(slash + 1);
    size_t dot = last.rfind(L'.');
    if (dot == std::wstring_view::npos || dot + 1 == last.size()) return L"";
    return platform::AsciiLower(last.substr(dot + 1));
}

bool IsMediaExtension(const std::wstring& extension) {
    static const wchar_t* const kExtensions[] = {
        L"mp4", L"m4v", L"webm", L"mkv", L"mov", L"ogv", L"ogg", L"oga", L"opus", L"m4a",
        L"mp3", L"aac", L"flac", L"wav", L"flv", L"ts",  L"3gp", L"avi", L"m3u8"};
    return std::find_if(std::begin(kExtensions), std::end(kExtensions),
                        [&](const wchar_t* e) { return extension == e; }) != std::end(kExtensions);
}

CPageScan ScanPage(std::wstring_view page, const std::wstring& pageUrl, bool validText) {
    Scanner s(page, validText);
    s.Run();
    CPageScan scan;
    scan.ogTitle = s.ogTitle;
    scan.title = s.title;
    scan.badJsonBlocks = s.badJson;
    std::wstring base = pageUrl;
    if (!s.base.empty()) {
        std::wstring resolved = ResolveUrl(pageUrl, s.base);
        if (IsHttpUrl(resolved)) base = resolved;
    }
    std::stable_sort(s.found.begin(), s.found.end(),
                     [](const Found& a, const Found& b) { return a.source < b.source; });
    scan.candidates.reserve(s.found.size());
    for (Found& f : s.found) {
        std::wstring url = ResolveUrl(base, f.url);
        // data:, blob: and script addresses are nothing to download.
        if (!IsHttpUrl(url)) continue;
        size_t hash = url.find(L'#');
        if (hash != std::wstring::npos) url.erase(hash);
        scan.candidates.push_back({std::move(url), f.source, f.hls, f.height});
    }
    return scan;
}

const CPageCandidate* ChooseCandidate(const CPageScan& scan) {
    const CPageCandidate* best = nullptr;
    const CPageCandidate* stream = nullptr;
    for (const CPageCandidate& c : scan.candidates) {
        if (c.hls) {
            if (!stream) stream = &c;
        } else if (!best || c.height > best->height) {
            best = &c;
        }
    }
    return best ? best : stream;
}

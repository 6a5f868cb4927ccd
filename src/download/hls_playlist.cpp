#include "download/hls_playlist.h"

#include <curl/curl.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

namespace {

struct CurlUrlDeleter {
    void operator()(CURLU* u) const { curl_url_cleanup(u); }
};

// The attribute list of a tag: NAME=value pairs, values quoted or not.
std::map<std::string, std::string> Attributes(const std::string& list) {
    std::map<std::string, std::string> out;
    size_t i = 0;
    while (i < list.size()) {
        while (i < list.size() && (list[i] == ',' || list[i] == ' ')) ++i;
        size_t eq = list.find('=', i);
        if (eq == std::string::npos) break;
        std::string name = list.substr(i, eq - i);
        i = eq + 1;
        std::string value;
        if (i < list.size() && list[i] == '"') {
            size_t close = list.find('"', i + 1);
            if (close == std::string::npos) close = list.size();
            value = list.substr(i + 1, close - i - 1);
            i = close + 1;
        } else {
            size_t comma = list.find(',', i);
            if (comma == std::string::npos) comma = list.size();
            value = list.substr(i, comma - i);
            i = comma;
        }
        out[name] = value;
    }
    return out;
}

bool ParseNumber(const std::string& s, uint64_t& n) {
    if (s.empty() || !std::isdigit(static_cast<unsigned char>(s[0]))) return false;
    char* end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(s.c_str(), &end, 10);
    if (errno != 0 || *end != '\0') return false;
    n = v;
    return true;
}

// "<n>[@<o>]"; an absent offset follows the previous range of the same file.
bool ParseByteRange(const std::string& s, HlsByteRange& range, const HlsByteRange* previous) {
    size_t at = s.find('@');
    uint64_t length = 0, offset = 0;
    if (!ParseNumber(s.substr(0, at), length)) return false;
    if (at != std::string::npos) {
        if (!ParseNumber(s.substr(at + 1), offset)) return false;
    } else if (previous && previous->set) {
        offset = previous->offset + previous->length;
    }
    range.set = true;
    range.length = length;
    range.offset = offset;
    return true;
}

bool ParseIv(const std::string& s, unsigned char iv[16]) {
    if (s.size() != 34 || s[0] != '0' || (s[1] != 'x' && s[1] != 'X')) return false;
    for (int i = 0; i < 16; ++i) {
        char hex[3] = {s[2 + 2 * i], s[3 + 2 * i], 0};
        if (!std::isxdigit(static_cast<unsigned char>(hex[0])) ||
            !std::isxdigit(static_cast<unsigned char>(hex[1])))
            return false;
        iv[i] = static_cast<unsigned char>(std::strtoul(hex, nullptr, 16));
    }
    return true;
}

HlsKey ParseKey(const std::string& list, const std::string& base) {
    auto a = Attributes(list);
    HlsKey key;
    const std::string method = a["METHOD"];
    if (method == "NONE") return key;
    std::string format = a.count("KEYFORMAT") ? a["KEYFORMAT"] : "identity";
    if (method != "AES-128" || format != "identity") {
        key.method = HlsKey::kRefused;
        key.refusal = method + (format == "identity" ? "" : " (" + format + ")");
        return key;
    }
    key.method = HlsKey::kAes128;
    key.uri = ResolveAddress(base, a["URI"]);
    if (key.uri.empty()) {
        key.method = HlsKey::kRefused;
        key.refusal = "AES-128 without a key address";
    }
    if (a.count("IV")) {
        key.hasIv = ParseIv(a["IV"], key.iv);
        if (!key.hasIv) {
            key.method = HlsKey::kRefused;
            key.refusal = "AES-128 with a malformed IV";
        }
    }
    return key;
}

bool StartsWith(const std::string& s, const char* prefix) {
    return s.compare(0, std::strlen(prefix), prefix) == 0;
}

}  // namespace

std::string ResolveAddress(const std::string& base, const std::string& reference) {
    std::unique_ptr<CURLU, CurlUrlDeleter> u(curl_url());
    if (!u || reference.empty()) return "";
    if (curl_url_set(u.get(), CURLUPART_URL, base.c_str(), 0) != CURLUE_OK) return "";
    if (curl_url_set(u.get(), CURLUPART_URL, reference.c_str(), CURLU_NON_SUPPORT_SCHEME) !=
        CURLUE_OK)
        return "";
    char* out = nullptr;
    if (curl_url_get(u.get(), CURLUPART_URL, &out, 0) != CURLUE_OK) return "";
    std::string result = out;
    curl_free(out);
    if (!StartsWith(result, "http://") && !StartsWith(result, "https://")) return "";
    return result;
}

std::optional<HlsPlaylist> ParseHlsPlaylist(const std::string& text, const std::string& address,
                                            std::string& error) {
    HlsPlaylist p;
    size_t pos = 0;
    bool first = true;
    HlsKey key;
    int map = -1;
    uint64_t sequence = 0;
    bool discontinuity = false, haveInf = false, havePending = false;
    HlsByteRange pendingRange;
    HlsByteRange lastRange;
    std::string lastRangeUri;
    HlsVariant pendingVariant;
    bool variantPending = false;
    if (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) pos = 3;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) nl = text.size();
        std::string line = text.substr(pos, nl - pos);
        pos = nl + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.pop_back();
        if (first) {
            if (line != "#EXTM3U") {
                error = "The answer is not an HLS playlist";
                return std::nullopt;
            }
            first = false;
            continue;
        }
        if (line.empty()) continue;
        if (line[0] == '#') {
            if (StartsWith(line, "#EXT-X-STREAM-INF:")) {
                auto a = Attributes(line.substr(18));
                pendingVariant = HlsVariant{};
                ParseNumber(a["BANDWIDTH"], pendingVariant.bandwidth);
                const std::string& res = a["RESOLUTION"];
                size_t x = res.find('x');
                if (x != std::string::npos) {
                    pendingVariant.width = std::atoi(res.substr(0, x).c_str());
                    pendingVariant.height = std::atoi(res.substr(x + 1).c_str());
                }
                variantPending = true;
                p.master = true;
            } else if (StartsWith(line, "#EXT-X-MEDIA-SEQUENCE:")) {
                ParseNumber(line.substr(22), sequence);
            } else if (StartsWith(line, "#EXT-X-KEY:")) {
                key = ParseKey(line.substr(11), address);
            } else if (StartsWith(line, "#EXT-X-SESSION-KEY:")) {
                HlsKey k = ParseKey(line.substr(19), address);
                if (k.method == HlsKey::kRefused) {
                    error = "The stream is protected (" + k.refusal + "), which is not supported";
                    return std::nullopt;
                }
            } else if (StartsWith(line, "#EXT-X-MAP:")) {
                auto a = Attributes(line.substr(11));
                HlsMap m;
                m.uri = ResolveAddress(address, a["URI"]);
                m.key = key;
                if (m.uri.empty() ||
                    (a.count("BYTERANGE") && !ParseByteRange(a["BYTERANGE"], m.range, nullptr))) {
                    error = "The playlist has a malformed EXT-X-MAP";
                    return std::nullopt;
                }
                p.media.maps.push_back(m);
                map = static_cast<int>(p.media.maps.size()) - 1;
            } else if (StartsWith(line, "#EXT-X-BYTERANGE:")) {
                havePending = true;
                pendingRange = HlsByteRange{};
                // The offset, when absent, is resolved once the segment's address is known.
                if (!ParseByteRange(line.substr(17), pendingRange, nullptr)) {
                    error = "The playlist has a malformed EXT-X-BYTERANGE";
                    return std::nullopt;
                }
                if (line.find('@') == std::string::npos) pendingRange.offset = UINT64_MAX;
            } else if (StartsWith(line, "#EXTINF:")) {
                haveInf = true;
            } else if (line == "#EXT-X-DISCONTINUITY") {
                discontinuity = true;
            } else if (line == "#EXT-X-ENDLIST") {
                p.media.endList = true;
            }
            continue;
        }
        // A URI line.
        if (variantPending) {
            pendingVariant.uri = ResolveAddress(address, line);
            if (!pendingVariant.uri.empty()) p.variants.push_back(pendingVariant);
            variantPending = false;
            continue;
        }
        if (!haveInf) continue;
        HlsSegment s;
        s.uri = ResolveAddress(address, line);
        if (s.uri.empty()) {
            error = "The playlist names a segment that is not an http(s) address";
            return std::nullopt;
        }
        if (havePending) {
            s.range = pendingRange;
            if (s.range.offset == UINT64_MAX)
                s.range.offset = lastRangeUri == s.uri && lastRange.set
                                     ? lastRange.offset + lastRange.length
                                     : 0;
            lastRange = s.range;
            lastRangeUri = s.uri;
        }
        s.sequence = sequence++;
        s.key = key;
        s.map = map;
        s.discontinuity = discontinuity;
        p.media.segments.push_back(std::move(s));
        if (p.media.segments.size() > kMaxHlsSegments) {
            error = "The playlist has more than 100,000 segments";
            return std::nullopt;
        }
        haveInf = havePending = discontinuity = false;
    }
    if (first) {
        error = "The answer is not an HLS playlist";
        return std::nullopt;
    }
    if (p.master && p.variants.empty()) {
        error = "The master playlist names no stream";
        return std::nullopt;
    }
    return p;
}

int ChooseHlsVariant(const std::vector<HlsVariant>& variants, int maxHeight) {
    int best = -1, least = -1;
    for (size_t i = 0; i < variants.size(); ++i) {
        const HlsVariant& v = variants[i];
        int n = static_cast<int>(i);
        if (least < 0 || (v.height > 0 && v.height < variants[least].height)) least = n;
        if (maxHeight > 0 && v.height > maxHeight) continue;
        if (best < 0 || v.bandwidth > variants[best].bandwidth) best = n;
    }
    return best >= 0 ? best : least;
}

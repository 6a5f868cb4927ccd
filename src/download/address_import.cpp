#include "download/address_import.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <mutex>
#include <unordered_set>

#include "download/http_transfer.h"
#include "download/page_scanner.h"
#include "download/pattern.h"
#include "download/site_helpers.h"
#include "download/site_hosts.h"
#include "download/url.h"
#include "platform/text.h"
#include "platform/unique_fd.h"

namespace {

constexpr size_t kPiece = 8192;
// A local file is read and searched in pieces of this many bytes.
constexpr size_t kReadPiece = 1 << 20;

const CPattern& YouTubePattern() {
    static const CPattern p(L"(http://" + EscapeDots(kYouTubeHost) + L")?/watch\\?v=[\\w|\\-]+",
                            CPattern::kCaseless);
    return p;
}

const CPattern& GoogleVideoPattern() {
    static const CPattern p(
        L"(http://" + EscapeDots(kGoogleVideoHost) + L")/videoplay\\?docid=-?[\\w\\d]+",
        CPattern::kCaseless);
    return p;
}

// Links to media files, by extension: an attribute value (double-, single-
// or unquoted: groups 1 to 3) or an absolute address in plain text (group
// 4). The extension must end the path; a query or fragment may follow.
const CPattern& MediaLinkPattern() {
#define CV_EXT L"\\.(?:mp4|webm|mkv|m4a|mp3|m3u8)"
    static const CPattern p(
        L"\\b(?:href|src|content|data-src)\\s*=\\s*(?:"
        L"\"([^\"<>?#]*" CV_EXT L"(?:[?#][^\"<>]*)?)\""
        L"|'([^'<>?#]*" CV_EXT L"(?:[?#][^'<>]*)?)'"
        L"|([^\\s\"'<>?#]*" CV_EXT L"(?:[?#][^\\s\"'<>]*)?)(?=[\\s>]|$))"
        L"|(https?://[^\\s\"'<>()?#]+" CV_EXT L"(?![\\w/.\\-])(?:[?#][^\\s\"'<>()]*)?)",
        CPattern::kCaseless);
#undef CV_EXT
    return p;
}

// The host without a port written after it; empty when it cannot be a host.
std::string PlainHost(const std::wstring& host) {
    std::string h = platform::ToUtf8(host);
    size_t colon = h.rfind(':');
    if (colon != std::string::npos && h.find(']', colon) == std::string::npos) h.erase(colon);
    for (unsigned char c : h)
        if (c <= ' ' || c == 0x7F || std::strchr("/?#@\\", c)) return {};
    return h;
}

// Bytes that may not stand in a request line are sent %-escaped.
std::string EscapePath(const std::wstring& path) {
    std::string out = EscapeForRequest(path);
    if (out.empty() || out[0] != '/') out.insert(0, 1, '/');
    return out;
}

struct Download {
    CURL* easy = nullptr;
    std::string path;
    const std::atomic<bool>* cancel = nullptr;
    platform::UniqueFd fd;
    bool failed = false;
    bool requireLength = true;
    uint64_t announced = 0;
    uint64_t received = 0;

    // Creates or truncates the output file once the final answer's length is
    // known to be present and within the bound.
    bool Open() {
        curl_off_t length = -1;
        if (curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK)
            return false;
        if ((length < 0 && requireLength) ||
            (length > 0 && static_cast<uint64_t>(length) > kMaxImportDownloadBytes))
            return false;
        announced = length < 0 ? 0 : static_cast<uint64_t>(length);
        fd.Reset(::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC | O_NOCTTY, 0644));
        return static_cast<bool>(fd);
    }

    bool Write(const char* data, size_t n) {
        while (n > 0) {
            ssize_t w = ::write(fd.get(), data, std::min(n, kPiece));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) return false;
            data += w;
            n -= static_cast<size_t>(w);
        }
        return true;
    }

    static size_t OnData(char* data, size_t size, size_t count, void* user) {
        auto* self = static_cast<Download*>(user);
        size_t n = size * count;
        if (!self->fd && !self->Open()) {
            self->failed = true;
            return 0;
        }
        self->received += n;
        if (self->received > kMaxImportDownloadBytes) {
            self->failed = true;
            return 0;
        }
        // libcurl hands over larger pieces; each is written in slices.
        for (size_t off = 0; off < n; off += kPiece) {
            if (!self->Write(data + off, std::min(kPiece, n - off))) {
                self->failed = true;
                return 0;
            }
        }
        return n;
    }

    static int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        auto* self = static_cast<Download*>(user);
        return self->cancel && self->cancel->load() ? 1 : 0;
    }
};

}  // namespace

namespace {

// Fetches `url` into outputPath; `requireLength`: an answer without
// Content-Length fails. `finalUrl` gets the address after redirects.
bool FetchToFile(const std::string& url, const std::wstring& outputPath,
                 const std::atomic<bool>* cancel, bool requireLength, std::wstring* finalUrl) {
    EnsureCurlInit();
    Download d;
    d.path = platform::ToUtf8(outputPath);
    d.cancel = cancel;
    d.requireLength = requireLength;
    d.easy = curl_easy_init();
    if (!d.easy) return false;
    CURL* e = d.easy;
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    ApplyCommonCurlOptions(e, CHttpTransfer::kMinPageBytesPerSecond);
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(kMaxImportDownloadBytes));
    curl_slist* headers =
        curl_slist_append(nullptr,
                          "User-Agent: Mozilla/5.0 (Windows; U; Windows NT 5.1; en-US; rv:1.8.1) "
                          "Gecko/20061010 Firefox/2.0");
    for (const char* line : kAcceptHeaderLines) headers = curl_slist_append(headers, line);
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Download::OnData);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &d);
    curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &Download::OnProgress);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, &d);
    curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);

    CURLcode rc = curl_easy_perform(e);
    // The status is read but not examined: an error page is imported too.
    long status = 0;
    curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
    (void)status;
    bool ok = rc == CURLE_OK && !d.failed;
    // An empty body never reaches OnData: the file is made here.
    if (ok && !d.fd) ok = d.Open();
    if (ok && d.received < d.announced) ok = false;
    if (!d.fd.Close()) ok = false;
    char* effective = nullptr;
    if (finalUrl && curl_easy_getinfo(e, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK &&
        effective)
        *finalUrl = platform::FromUtf8(effective);
    curl_easy_cleanup(e);
    curl_slist_free_all(headers);
    return ok;
}

}  // namespace

bool DownloadToFile(const std::wstring& host, const std::wstring& pathWithQuery,
                    const std::wstring& outputPath, const std::atomic<bool>* cancel) {
    std::string plainHost = PlainHost(host);
    if (plainHost.empty()) return false;
    return FetchToFile("http://" + plainHost + EscapePath(pathWithQuery), outputPath, cancel, true,
                       nullptr);
}

namespace {

enum class Encoding { kUtf8, kUtf16Le, kUtf16Be };

// The encoding a byte-order mark gives, and the mark's length.
Encoding DetectEncoding(std::string_view bytes, size_t& markLength) {
    auto b = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    markLength = 2;
    if (bytes.size() >= 2 && b(0) == 0xFF && b(1) == 0xFE) return Encoding::kUtf16Le;
    if (bytes.size() >= 2 && b(0) == 0xFE && b(1) == 0xFF) return Encoding::kUtf16Be;
    markLength = bytes.size() >= 3 && b(0) == 0xEF && b(1) == 0xBB && b(2) == 0xBF ? 3 : 0;
    return Encoding::kUtf8;
}

// Decodes a piece of UTF-16 onto the end of out and returns the bytes used:
// pairs of surrogates are joined, a lone one and an odd
// last byte become U+FFFD.
size_t DecodeUtf16(const unsigned char* p, size_t n, bool le, bool last, std::wstring& out) {
    auto unit = [&](size_t i) -> char32_t {
        return le ? p[i] | (p[i + 1] << 8) : (p[i] << 8) | p[i + 1];
    };
    size_t start = out.size();
    out.resize(start + n / 2 + 1);
    wchar_t* o = out.data() + start;
    size_t i = 0;
    for (; i + 1 < n; i += 2) {
        char32_t u = unit(i);
        if (u < 0xD800 || u > 0xDFFF) {
            *o++ = static_cast<wchar_t>(u);
            continue;
        }
        if (u <= 0xDBFF && i + 3 < n) {
            char32_t lo = unit(i + 2);
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                *o++ = static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
                i += 2;
                continue;
            }
        } else if (u <= 0xDBFF && !last) {
            break;  // its partner may come with the next piece
        }
        *o++ = platform::kReplacementChar;
    }
    if (i + 1 == n && last) {
        *o++ = platform::kReplacementChar;  // an odd last byte
        i = n;
    }
    out.resize(static_cast<size_t>(o - out.data()));
    return i;
}

size_t Decode(Encoding enc, const unsigned char* p, size_t n, bool last, std::wstring& out) {
    return enc == Encoding::kUtf8 ? platform::DecodeUtf8Span(p, n, out, last)
                                  : DecodeUtf16(p, n, enc == Encoding::kUtf16Le, last, out);
}

// Searches text as it is decoded, piece by piece, so that a large file is
// never held whole. A piece ends after a character that no pattern can
// match, so no address is cut in two and each piece is searched as the whole
// text would be.
class CAddressScan {
  public:
    CAddressScan(bool validText, std::wstring base)
        : validText_(validText), base_(std::move(base)) {}

    std::wstring& Text() { return text_; }

    // Searches what has been decoded up to its last break; `last` searches all.
    void Search(bool last) {
        size_t end = text_.size();
        if (!last) {
            // Only text decoded since the last call can hold a new break.
            while (end > breakless_ && !IsBreak(text_[end - 1])) --end;
            if (end == breakless_) {
                breakless_ = text_.size();  // no break yet: wait for more text
                return;
            }
        }
        std::wstring_view piece(text_.data(), end);
        YouTubePattern().FindAll(
            piece,
            [&](const CPattern::Span* g, size_t n) {
                std::wstring_view match = piece.substr(g[0].begin, g[0].Length());
                if (n > 1 && g[1].Length() > 0)
                    youTube_.emplace_back(match);
                else
                    youTube_.push_back(Base() + std::wstring(match));
                return true;
            },
            validText_);
        GoogleVideoPattern().FindAll(
            piece,
            [&](const CPattern::Span* g, size_t) {
                google_.emplace_back(piece.substr(g[0].begin, g[0].Length()));
                return true;
            },
            validText_);
        MediaLinkPattern().FindAll(
            piece,
            [&](const CPattern::Span* g, size_t n) {
                for (size_t i = 1; i < n && i <= 4; ++i)
                    if (g[i].Matched()) AddMediaLink(piece.substr(g[i].begin, g[i].Length()));
                return true;
            },
            validText_);
        text_.erase(0, end);
        breakless_ = text_.size();
    }

    // All YouTube addresses first, then all Google Video ones, then the
    // media links, each of those once.
    std::vector<std::wstring> Result() {
        std::vector<std::wstring> all = std::move(youTube_);
        all.insert(all.end(), std::make_move_iterator(google_.begin()),
                   std::make_move_iterator(google_.end()));
        all.insert(all.end(), std::make_move_iterator(media_.begin()),
                   std::make_move_iterator(media_.end()));
        return all;
    }

  private:
    static const std::wstring& Base() {
        static const std::wstring base = std::wstring(L"http://") + kYouTubeHost;
        return base;
    }
    // A character no match holds: the tags' brackets and line ends (a link
    // split over two lines is not one).
    static bool IsBreak(wchar_t c) { return c == L'<' || c == L'>' || c == L'\n'; }

    void AddMediaLink(std::wstring_view value) {
        std::wstring link = DecodeHtmlEntities(value);
        if (!base_.empty()) link = ResolveUrl(base_, link);
        UrlParts parts;
        if (!CrackUrl(link, parts) || media_.size() >= kMaxImportedLinks) return;
        if (mediaSeen_.insert(link).second) media_.push_back(std::move(link));
    }

    bool validText_;
    std::wstring base_;  // the imported page's address; empty for a local file
    std::unordered_set<std::wstring> mediaSeen_;
    std::vector<std::wstring> media_;
    std::wstring text_;
    size_t breakless_ = 0;  // the start of text_ known to hold no break
    std::vector<std::wstring> youTube_, google_;
};

}  // namespace

std::wstring DecodeImportText(std::string_view bytes) {
    size_t mark = 0;
    Encoding enc = DetectEncoding(bytes, mark);
    std::wstring out;
    Decode(enc, reinterpret_cast<const unsigned char*>(bytes.data()) + mark, bytes.size() - mark,
           true, out);
    return out;
}

std::vector<std::wstring> ExtractAddressesFromText(const std::wstring& text,
                                                   const std::wstring& base) {
    CAddressScan scan(false, base);
    scan.Text() = text;
    scan.Search(true);
    return scan.Result();
}

std::vector<std::wstring> ExtractAddresses(const std::wstring& path, const std::wstring& base) {
    // Opened without blocking, so a FIFO or a device is only looked at.
    platform::UniqueFd fd(
        ::open(platform::ToUtf8(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd) return {};
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<uint64_t>(st.st_size) > kMaxImportFileBytes)
        return {};
    // Decoding leaves only valid code points, so the text needs no check.
    CAddressScan scan(true, base);
    std::vector<unsigned char> buf(kReadPiece);
    size_t have = 0;       // bytes in buf not yet decoded
    uint64_t total = 0;    // bytes read so far
    bool started = false;  // the byte-order mark has been looked for
    Encoding enc = Encoding::kUtf8;
    for (;;) {
        ssize_t n = ::read(fd.get(), buf.data() + have, buf.size() - have);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return {};
        total += static_cast<uint64_t>(n);
        if (total > kMaxImportFileBytes) return {};  // grew while read
        have += static_cast<size_t>(n);
        bool last = n == 0;
        size_t from = 0;
        if (!started) {
            if (have < 3 && !last) continue;
            started = true;
            size_t mark = 0;
            enc = DetectEncoding(std::string_view(reinterpret_cast<char*>(buf.data()), have), mark);
            from = mark;
        }
        size_t used = Decode(enc, buf.data() + from, have - from, last, scan.Text());
        std::memmove(buf.data(), buf.data() + from + used, have - from - used);
        have -= from + used;
        scan.Search(last);
        if (last) break;
    }
    return scan.Result();
}

std::vector<std::wstring> ImportAddresses(const std::wstring& source,
                                          const std::atomic<bool>* cancel) {
    UrlParts parts;
    if (!CrackUrl(source, parts)) return ExtractAddresses(source);
    const char* dir = std::getenv("TMPDIR");
    std::string name = std::string(dir && *dir ? dir : "/tmp") + "/~cvXXXXXX";
    platform::UniqueFd made(::mkstemp(name.data()));
    if (!made) return {};
    made.Reset();  // the download opens it by name
    std::wstring temp = platform::FromUtf8(name);
    std::wstring finalUrl = source;
    if (parts.scheme == L"http") {
        DownloadToFile(parts.host, parts.path, temp, cancel);
    } else {
        // Pages of today are often sent without a length; the size bound
        // still holds.
        std::wstring address = source.substr(0, source.find(L'#'));
        FetchToFile(EscapeForRequest(address), temp, cancel, false, &finalUrl);
    }
    std::vector<std::wstring> found = ExtractAddresses(temp, finalUrl);
    ::unlink(name.c_str());
    return found;
}

size_t CountAlreadyDownloaded(const std::vector<std::wstring>& imported,
                              const std::vector<std::wstring>& known) {
    std::unordered_set<std::wstring> keys;
    for (const std::wstring& k : known) keys.insert(AddressKey(k));
    size_t n = 0;
    for (const std::wstring& a : imported) n += keys.count(AddressKey(a));
    return n;
}

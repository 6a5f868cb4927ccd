#include "download/http_transfer.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "app/logging.h"
#include "download/codes.h"
#include "download/failure_text.h"
#include "download/media_types.h"
#include "download/url.h"
#include "platform/text.h"
#include "platform/unique_fd.h"

namespace {

constexpr size_t kPiece = 8192;
// What libcurl receives in one call for a video (its default is 16 KiB):
// few system calls, and each piece is written from where it was received
// while the processor's cache still holds it.
constexpr long kReceiveBuffer = 128 * 1024;
// Bytes libcurl may hand over before it is paused until the reader catches up.
constexpr size_t kMaxBuffered = 4 << 20;

std::once_flag g_curlInit;

// The process-wide cookie store, in libcurl's cookie-line form, keyed by
// domain, path and name.
std::mutex g_cookieMutex;
std::map<std::string, std::string> g_cookies;

std::string CookieKey(const std::string& line) {
    std::string key;
    size_t pos = 0;
    for (int field = 0; field < 6 && pos != std::string::npos; ++field) {
        size_t tab = line.find('\t', pos);
        if (field == 0 || field == 2 || field == 5)
            key += line.substr(pos, tab == std::string::npos ? tab : tab - pos) + '\t';
        pos = tab == std::string::npos ? tab : tab + 1;
    }
    return key;
}

bool StartsNoCase(const std::string& s, const char* prefix) {
    return strncasecmp(s.c_str(), prefix, std::strlen(prefix)) == 0;
}

[[noreturn]] void ThrowCurl(CURLcode code, const char* detail = nullptr,
                            const std::string& host = std::string()) {
    std::string text = detail && *detail ? detail : curl_easy_strerror(code);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
    if (code == CURLE_OPERATION_TIMEDOUT && !host.empty()) {
        // libcurl's words ("Operation too slow...") go to the log; the user
        // reads who did not answer.
        LogInfo("CVideoDownloader", "%s: %s", host.c_str(), text.c_str());
        text = platform::ToUtf8(failure_text::NoAnswerInTime(platform::FromUtf8(host)));
    } else if (!host.empty()) {
        text += " (" + host + ")";
    }
    throw CNetException{kNetErrorBase + static_cast<int>(code), text};
}

// A reason phrase or other text from a server, safe to show and to log.
std::string CleanServerText(const std::string& raw, size_t maxBytes) {
    std::string out;
    for (unsigned char c : raw.substr(0, maxBytes))
        out += (c < 0x20 || c == 0x7F) ? '?' : static_cast<char>(c);
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return platform::ToUtf8(platform::FromUtf8(out));
}

std::atomic<long> g_lowSpeedTime{120};
std::atomic<long> g_pageDeadline{120};

class CurlAnswer : public CHttpAnswer {
  public:
    explicit CurlAnswer(IHttpOwner* owner) : owner_(owner) {
        multi_ = curl_multi_init();
        easy_ = curl_easy_init();
        if (!multi_ || !easy_) ThrowCurl(CURLE_OUT_OF_MEMORY);
    }
    ~CurlAnswer() override {
        if (added_) {
            SaveCookies();
            curl_multi_remove_handle(multi_, easy_);
        }
        if (easy_) curl_easy_cleanup(easy_);
        if (multi_) curl_multi_cleanup(multi_);
        curl_slist_free_all(headers_);
    }

    CURL* easy() { return easy_; }
    void SetHost(const std::string& host) { host_ = host; }
    const std::string& Host() const { return host_; }
    std::string StatusText() const override { return reason_; }
    std::string ContentType() const override { return contentType_; }
    std::string Header(std::string_view name) const override {
        for (auto it = answerHeaders_.rbegin(); it != answerHeaders_.rend(); ++it)
            if (strncasecmp(it->first.c_str(), name.data(), name.size()) == 0 &&
                it->first.size() == name.size())
                return it->second;
        return "";
    }
    void AddHeader(const char* line) { headers_ = curl_slist_append(headers_, line); }

    // Sends the request and waits for the head of the final answer.
    void Begin() {
        curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, headers_);
        curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &CurlAnswer::OnHeader);
        curl_easy_setopt(easy_, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &CurlAnswer::OnData);
        curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);
        errbuf_[0] = '\0';
        curl_easy_setopt(easy_, CURLOPT_ERRORBUFFER, errbuf_);
        LoadSharedCookies(easy_);
        if (curl_multi_add_handle(multi_, easy_) != CURLM_OK) Fail(CURLE_FAILED_INIT);
        added_ = true;
        Pump([this] { return headersDone_; });
        if (!headersDone_) {
            if (result_ != CURLE_OK) Fail(result_);
            Fail(CURLE_GOT_NOTHING);
        }
        SaveCookies();
    }

    long Status() const override { return status_; }
    const std::string& Location() const { return location_; }
    bool ContentLength(uint64_t& length) const override {
        if (!hasLength_) return false;
        length = length_;
        return true;
    }

    size_t Read(char* buf, size_t max) override {
        Pump([this] { return offset_ < buffer_.size(); });
        size_t avail = buffer_.size() - offset_;
        if (avail == 0) {
            if (result_ != CURLE_OK) Fail(result_);
            return 0;
        }
        size_t n = std::min(avail, max);
        std::memcpy(buf, buffer_.data() + offset_, n);
        offset_ += n;
        if (offset_ == buffer_.size()) {
            buffer_.clear();
            offset_ = 0;
        }
        return n;
    }

    bool ReadEach(const std::function<bool(const char*, size_t)>& sink) override {
        if (offset_ < buffer_.size() && !sink(buffer_.data() + offset_, buffer_.size() - offset_))
            return false;
        std::string().swap(buffer_);
        offset_ = 0;
        // From here libcurl's pieces go to the sink as they are received.
        struct Direct {
            CurlAnswer& a;
            ~Direct() { a.sink_ = nullptr; }
        } direct{*this};
        sink_ = &sink;
        sinkEnded_ = false;
        sinkError_ = nullptr;
        Pump([] { return false; });
        if (sinkError_) std::rethrow_exception(sinkError_);
        if (sinkEnded_) return false;
        if (result_ != CURLE_OK) Fail(result_);
        return true;
    }

    [[noreturn]] void Fail(CURLcode code) { ThrowCurl(code, errbuf_, host_); }

  private:
    // Drives the transfer until `ready` holds or it has ended. A stop ends
    // the wait at once when nothing is ready.
    void Pump(const std::function<bool()>& ready) {
        while (!ready() && !done_) {
            if (paused_ && offset_ == buffer_.size()) {
                paused_ = false;
                curl_easy_pause(easy_, CURLPAUSE_CONT);
            }
            int running = 0;
            curl_multi_perform(multi_, &running);
            int left = 0;
            while (CURLMsg* m = curl_multi_info_read(multi_, &left)) {
                if (m->msg == CURLMSG_DONE) {
                    done_ = true;
                    result_ = m->data.result;
                }
            }
            if (ready() || done_) break;
            if (owner_ && owner_->StopRequested()) ThrowCurl(CURLE_ABORTED_BY_CALLBACK);
            curl_multi_poll(multi_, nullptr, 0, 100, nullptr);
        }
    }

    void SaveCookies() { SaveSharedCookies(easy_); }

    static size_t OnHeader(char* data, size_t size, size_t n, void* user) {
        auto* self = static_cast<CurlAnswer*>(user);
        std::string line(data, size * n);
        if (StartsNoCase(line, "HTTP/")) {
            // A new answer head (after 100 Continue): forget the last one.
            size_t sp = line.find(' ');
            self->status_ = sp == std::string::npos ? 0 : std::atol(line.c_str() + sp + 1);
            size_t sp2 = sp == std::string::npos ? sp : line.find(' ', sp + 1);
            self->reason_ =
                sp2 == std::string::npos
                    ? ""
                    : CleanServerText(std::string(platform::Trim(
                                          std::string_view(line).substr(sp2 + 1), " \t\r\n")),
                                      80);
            self->hasLength_ = false;
            self->location_.clear();
            self->contentType_.clear();
            self->answerHeaders_.clear();
            return size * n;
        } else if (StartsNoCase(line, "Location:")) {
            self->location_ =
                std::string(platform::Trim(std::string_view(line).substr(9), " \t\r\n"));
        } else if (StartsNoCase(line, "Content-Type:")) {
            self->contentType_ = CleanServerText(
                std::string(platform::Trim(std::string_view(line).substr(13), " \t\r\n")), 200);
        } else if (StartsNoCase(line, "Content-Length:")) {
            std::string v(platform::Trim(std::string_view(line).substr(15), " \t\r\n"));
            char* end = nullptr;
            errno = 0;
            unsigned long long len = std::strtoull(v.c_str(), &end, 10);
            self->hasLength_ = !v.empty() && v[0] != '-' && *end == '\0' && errno == 0;
            self->length_ = self->hasLength_ ? len : 0;
        } else if ((line == "\r\n" || line == "\n") && self->status_ >= 200) {
            self->headersDone_ = true;
        }
        size_t colon = line.find(':');
        // A bound on what a server can make us keep of its head.
        if (colon != std::string::npos && colon > 0 && self->answerHeaders_.size() < 200 &&
            line.size() < 16384)
            self->answerHeaders_.emplace_back(
                line.substr(0, colon),
                CleanServerText(std::string(platform::Trim(std::string_view(line).substr(colon + 1),
                                                           " \t\r\n")),
                                8192));
        return size * n;
    }

    static size_t OnData(char* data, size_t size, size_t n, void* user) {
        auto* self = static_cast<CurlAnswer*>(user);
        if (self->sink_) {
            // Nothing may be thrown through libcurl: a failure is kept for
            // ReadEach, and the answer ends as a failed write.
            try {
                if ((*self->sink_)(data, size * n)) return size * n;
                self->sinkEnded_ = true;
            } catch (...) {
                self->sinkError_ = std::current_exception();
            }
            return 0;
        }
        if (self->buffer_.size() - self->offset_ >= kMaxBuffered) {
            self->paused_ = true;
            return CURL_WRITEFUNC_PAUSE;
        }
        self->buffer_.append(data, size * n);
        return size * n;
    }

    IHttpOwner* owner_;
    CURLM* multi_ = nullptr;
    CURL* easy_ = nullptr;
    curl_slist* headers_ = nullptr;
    bool added_ = false, done_ = false, headersDone_ = false, paused_ = false;
    CURLcode result_ = CURLE_OK;
    long status_ = 0;
    std::string reason_, host_, contentType_;
    char errbuf_[CURL_ERROR_SIZE] = {};
    std::string location_;
    std::vector<std::pair<std::string, std::string>> answerHeaders_;
    bool hasLength_ = false;
    uint64_t length_ = 0;
    std::string buffer_;
    size_t offset_ = 0;
    const std::function<bool(const char*, size_t)>* sink_ = nullptr;
    bool sinkEnded_ = false;
    std::exception_ptr sinkError_;
};

}  // namespace

void LoadSharedCookies(void* easy) {
    curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");
    std::lock_guard lock(g_cookieMutex);
    for (const auto& [key, line] : g_cookies)
        curl_easy_setopt(easy, CURLOPT_COOKIELIST, line.c_str());
}

void SaveSharedCookies(void* easy) {
    curl_slist* list = nullptr;
    if (curl_easy_getinfo(easy, CURLINFO_COOKIELIST, &list) != CURLE_OK) return;
    std::lock_guard lock(g_cookieMutex);
    for (curl_slist* c = list; c; c = c->next) g_cookies[CookieKey(c->data)] = c->data;
    curl_slist_free_all(list);
}

const char* const kUserAgentLine =
    "User-Agent: Mozilla/5.0 (Windows; U; Windows NT 5.1; en-US; rv:1.8.1.11) "
    "Gecko/20071127 Firefox/2.0.0.11";

const char* const kAcceptHeaderLines[3] = {
    "Accept-Charset: utf-8;q=0.7,*;q=0.7",
    "Accept: text/xml,application/xml,application/xhtml+xml,text/html;q=0.9,text/"
    "plain;q=0.8,image/png,*/*;q=0.5",
    "Accept-Language: en-us,en;q=0.5"};

void EnsureCurlInit() {
    std::call_once(g_curlInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

void SetLowSpeedTime(long seconds) {
    g_lowSpeedTime = seconds;
}

void SetPageDeadline(long seconds) {
    g_pageDeadline = seconds;
}

void ApplyCommonCurlOptions(void* easy, long minBytesPerSecond) {
    CURL* e = easy;
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, 30L);
    // A peer that drips slower than this for the whole window fails like a
    // broken connection, so retries apply.
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, minBytesPerSecond);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, g_lowSpeedTime.load());
    curl_easy_setopt(e, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    if (const char* ca = std::getenv("CURL_CA_BUNDLE"))
        curl_easy_setopt(e, CURLOPT_CAINFO, ca);
    else if (const char* file = std::getenv("SSL_CERT_FILE"))
        curl_easy_setopt(e, CURLOPT_CAINFO, file);
    if (const char* dir = std::getenv("SSL_CERT_DIR")) curl_easy_setopt(e, CURLOPT_CAPATH, dir);
}

CHttpTransfer::CHttpTransfer(IHttpOwner* owner, bool useCache)
    : owner_(owner), useCache_(useCache) {
    EnsureCurlInit();
}

CHttpTransfer::~CHttpTransfer() = default;

void CHttpTransfer::SetMediaHeaders(std::vector<std::string> lines,
                                    std::vector<std::string> hostOnly, const std::wstring& host) {
    mediaHeaders_ = std::move(lines);
    hostOnlyHeaders_ = std::move(hostOnly);
    headerHost_ = host;
}

int CHttpTransfer::RequestHTTP(const std::wstring& url, std::unique_ptr<CHttpAnswer>& answer,
                               std::wstring& location, int verb, const std::wstring* body) {
    LogInfoW("CVideoDownloder::RequestHTTP", L"Getting HTTP file [%ls]...", url.c_str());
    UrlParts parts;
    if (!CrackUrl(url, parts)) {
        if (owner_) owner_->SetError(L"Not a valid address: " + url);
        return kResultFailed;
    }
    auto req = std::make_unique<CurlAnswer>(owner_);
    req->SetHost(platform::ToUtf8(parts.host));
    CURL* e = req->easy();
    std::string address = EscapeForRequest(url);
    curl_easy_setopt(e, CURLOPT_URL, address.c_str());
    ApplyCommonCurlOptions(e, videoFetch_ ? kMinVideoBytesPerSecond : kMinPageBytesPerSecond);
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
    // A page dripping just above the least rate must still end; a video may
    // take as long as it moves.
    if (!videoFetch_) curl_easy_setopt(e, CURLOPT_TIMEOUT, g_pageDeadline.load());
    auto replaced = [this](const char* line) {
        size_t colon = std::strchr(line, ':') - line;
        for (const std::string& media : mediaHeaders_)
            if (media.size() > colon && media[colon] == ':' &&
                strncasecmp(media.c_str(), line, colon) == 0)
                return true;
        return false;
    };
    for (const char* line :
         {kUserAgentLine, kAcceptHeaderLines[0], kAcceptHeaderLines[1], kAcceptHeaderLines[2]})
        if (!replaced(line)) req->AddHeader(line);
    for (const std::string& line : mediaHeaders_) req->AddHeader(line.c_str());
    if (!hostOnlyHeaders_.empty() && platform::EqualsNoCase(parts.host, headerHost_))
        for (const std::string& line : hostOnlyHeaders_) req->AddHeader(line.c_str());
    req->AddHeader("Content-Type: application/x-www-form-urlencoded");
    if (!useCache_) {
        req->AddHeader("Cache-Control: no-cache");
        req->AddHeader("Pragma: no-cache");
    }
    req->AddHeader("Expect:");
    for (const std::string& line : extraHeaders_) req->AddHeader(line.c_str());
    if (videoFetch_) curl_easy_setopt(e, CURLOPT_BUFFERSIZE, kReceiveBuffer);
    if (verb == 0) {
        std::string bytes = body ? platform::ToUtf8(*body) : std::string();
        curl_easy_setopt(e, CURLOPT_POST, 1L);
        curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(bytes.size()));
        curl_easy_setopt(e, CURLOPT_COPYPOSTFIELDS, bytes.c_str());
    } else {
        curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    }
    req->Begin();
    long status = req->Status();
    if (status == 301 || status == 302 || status == 303) {
        if (req->Location().empty()) {
            if (owner_)
                owner_->SetError(platform::FromUtf8(platform::Format(
                    "HTTP %ld redirect without a location from %s", status, req->Host().c_str())));
            return kResultFailed;
        }
        location = platform::FromUtf8(req->Location());
        return kResultRedirect;
    }
    answer = std::move(req);
    return kResultOk;
}

namespace {

// A redirect from a secure address to a plain one: what comes from there
// could have been changed on the way.
bool IsDowngrade(const std::wstring& from, const std::wstring& to) {
    UrlParts a, b;
    return CrackUrl(from, a) && a.scheme == L"https" && CrackUrl(to, b) && b.scheme == L"http";
}

std::string HostOf(const std::wstring& url) {
    UrlParts parts;
    return CrackUrl(url, parts) ? platform::ToUtf8(parts.host) : platform::ToUtf8(url);
}

// Collects an answer's bytes in blocks that are never moved, so that reading
// up to the bound needs about the bound in memory, and decodes them once.
class PageBuffer {
  public:
    void Append(const char* p, size_t n) {
        while (n > 0) {
            if (blocks_.empty() || used_ == kBlock) {
                blocks_.push_back(std::make_unique<char[]>(kBlock));
                used_ = 0;
            }
            size_t take = std::min(n, kBlock - used_);
            std::memcpy(blocks_.back().get() + used_, p, take);
            used_ += take;
            p += take;
            n -= take;
            size_ += take;
        }
    }
    uint64_t size() const { return size_; }
    void DecodeInto(std::wstring& text) const {
        text.reserve(text.size() + size_);
        platform::Utf8Decoder decoder;
        for (size_t i = 0; i < blocks_.size(); ++i) {
            size_t n = i + 1 == blocks_.size() ? used_ : kBlock;
            decoder.Feed(std::string_view(blocks_[i].get(), n), text);
        }
        decoder.Finish(text);
    }

  private:
    static constexpr size_t kBlock = 1 << 20;
    std::vector<std::unique_ptr<char[]>> blocks_;
    size_t used_ = 0;
    uint64_t size_ = 0;
};

}  // namespace

int CHttpTransfer::GetHTMLPage(const std::wstring& url, std::wstring& text) {
    std::wstring current = url;
    try {
        for (int tries = 3; tries > 0; --tries) {
            std::unique_ptr<CHttpAnswer> answer;
            std::wstring location;
            int r = RequestHTTP(current, answer, location, 1, nullptr);
            if (r == kResultRedirect) {
                LogWarnW("CVideoDownloader", L"ParseHTMLContainer redirect to %ls",
                         location.c_str());
                current = ResolveUrl(current, location);
                continue;
            }
            if (r != kResultOk) return kResultFailed;
            // An error answer is no page of the site, whatever it holds.
            if (long status = answer->Status(); status >= 400) {
                std::wstring text =
                    failure_text::PageAnswered(current, status, answer->StatusText());
                LogErrorW("CVideoDownloader", L"GetHTMLPage() %ls", text.c_str());
                if (owner_) owner_->SetError(text);
                return kResultFailed;
            }
            PageBuffer page;
            char buf[kPiece];
            while (size_t n = answer->Read(buf, sizeof buf)) {
                if (page.size() + n > kMaxPageBytes)
                    ThrowCurl(CURLE_FILESIZE_EXCEEDED,
                              "The page is larger than the 64 MiB a page may have",
                              HostOf(current));
                page.Append(buf, n);
                if (owner_ && owner_->IsAborted()) return kResultStopped;
            }
            page.DecodeInto(text);
            return kResultOk;
        }
        if (owner_)
            owner_->SetError(platform::FromUtf8("Too many redirects from " + HostOf(current)));
        return kResultFailed;
    } catch (const CNetException& e) {
        if (owner_ && e.code == kNetErrorBase + CURLE_ABORTED_BY_CALLBACK && owner_->IsAborted())
            return kResultStopped;
        ReportException("GetHTMLPage", e);
        if (owner_) owner_->SetError(platform::FromUtf8(e.message));
        return e.code;
    }
}

void CHttpTransfer::ReportException(const char* operation, const CNetException& e) {
    std::string msg = e.message.substr(0, 255);
    while (!msg.empty() && std::isspace(static_cast<unsigned char>(msg.back()))) msg.pop_back();
    LogError("CVideoDownloader", "%s() Exception [%d]: %s", operation, e.code, msg.c_str());
}

int CHttpTransfer::GetFLVFile(const std::wstring& url, const std::wstring& path,
                              std::wstring& finalUrl, std::atomic<uint64_t>& contentLength,
                              std::atomic<uint64_t>& bytesReceived) {
    auto fail = [&](const std::string& text) {
        LogError("CVideoDownloader", "GetFLVFile() Error: %s", text.c_str());
        if (owner_) owner_->SetError(platform::FromUtf8(text));
        return kResultFailed;
    };
    auto stopped = [&] {
        LogInfoW("CVideoDownloader", L"GetFLVFile() stopped by the user: %ls", url.c_str());
        if (owner_) owner_->ClearFinalPath();
        return static_cast<int>(kResultStopped);
    };
    struct VideoFetch {
        bool& flag;
        explicit VideoFetch(bool& f) : flag(f) { flag = true; }
        ~VideoFetch() { flag = false; }
    } videoFetch(videoFetch_);
    struct ResumeState {
        CHttpTransfer& t;
        ~ResumeState() {
            t.extraHeaders_.clear();
            t.resumeFrom_ = 0;
            t.recordKept_ = false;
        }
    } resumeState{*this};
    try {
        std::wstring current;
        std::unique_ptr<CHttpAnswer> answer;
        auto request = [&] {
            current = url;
            answer.reset();
            int r = kResultFailed;
            for (int count = 10; count > 0; --count) {
                std::wstring location;
                r = RequestHTTP(current, answer, location, 1, nullptr);
                if (r != kResultRedirect) break;
                std::wstring next = ResolveUrl(current, location);
                if (IsDowngrade(current, next))
                    throw CTransferFailure{platform::ToUtf8(failure_text::Format(
                        33204,
                        L"The address led from a secure https address to an insecure one (%ls), "
                        L"so nothing was downloaded from there.",
                        next))};
                current = next;
                LogInfoW("CVideoDownloader::GetFLVFile", L"Redirect to new location: %ls",
                         current.c_str());
            }
            if (r == kResultRedirect)
                throw CTransferFailure{"Too many redirects from " + HostOf(current)};
            if (r != kResultOk || !answer)
                throw CTransferFailure{platform::Format("can not connect to flv url, %d", r)};
        };
        bool resuming = PrepareResume(path);
        request();
        if (resuming && answer->Status() == 416) {
            // Nothing past the bytes kept: they are the whole file when the
            // server's length is the recorded one, else it starts over.
            unsigned long long total = 0;
            if (std::sscanf(answer->Header("Content-Range").c_str(), "bytes */%llu", &total) == 1 &&
                total == record_.length && resumeFrom_ == record_.length) {
                finalUrl = current;
                contentLength = bytesReceived = resumeFrom_;
                LogInfoW("CVideoDownloader", L"GetFLVFile() the kept part of %ls is the whole file",
                         url.c_str());
                return kResultOk;
            }
            resuming = false;
            resumeFrom_ = 0;
            extraHeaders_.clear();
            request();
        }
        finalUrl = current;
        // An error answer is not a video.
        long status = answer->Status();
        if (status < 200 || status > 299) {
            refusedStatus_ = status;
            std::string reason = answer->StatusText();
            throw CTransferFailure{platform::Format("HTTP %ld%s%s from %s", status,
                                                    reason.empty() ? "" : " ", reason.c_str(),
                                                    HostOf(current).c_str())};
        }
        // A page in the video's place (a login form, an error page with
        // status 200, an API's JSON) is refused before anything is written.
        if (!IsMediaContentType(answer->ContentType())) {
            LogWarnW("CVideoDownloader", L"GetFLVFile() the answer of %ls is %ls, not media",
                     current.c_str(), platform::FromUtf8(answer->ContentType()).c_str());
            throw CTransferFailure{platform::ToUtf8(
                failure_text::WebPageInsteadOfVideo(platform::FromUtf8(HostOf(current))))};
        }
        if (resuming && !AcceptResume(*answer, path, HostOf(current))) resumeFrom_ = 0;
        if (resumeFrom_ > 0 && record_.length > 0 && owner_)
            owner_->PostResumed(static_cast<unsigned>(resumeFrom_ * 1000 / record_.length));
        KeepResumeRecord(*answer, current, path);
        DownloadFile(*answer, path, contentLength, bytesReceived);
        if (bytesReceived == 0 && !(owner_ && owner_->IsAborted()))
            throw CTransferFailure{"The video server " + HostOf(current) + " sent no data"};
        return kResultOk;
    } catch (const CTransferFailure& f) {
        return fail(f.text);
    } catch (const CTransferStopped&) {
        return stopped();
    } catch (const CNetException& e) {
        // A stop that ends a waiting read is a stopped download, not a network fault.
        if (owner_ && e.code == kNetErrorBase + CURLE_ABORTED_BY_CALLBACK && owner_->IsAborted())
            return stopped();
        ReportException("GetFlvFile", e);
        if (owner_) owner_->SetError(platform::FromUtf8(e.message));
        return e.code;
    } catch (...) {
        return kResultFailed;
    }
}

bool CHttpTransfer::PrepareResume(const std::wstring& path) {
    resumeFrom_ = 0;
    extraHeaders_.clear();
    if (resumeKey_.empty() || !ReadPartialRecord(path, record_)) return false;
    struct stat st {};
    bool usable = record_.pageAddress == resumeKey_ && !record_.validator.empty() &&
                  record_.playlistDigest.empty() &&
                  std::none_of(record_.validator.begin(), record_.validator.end(),
                               [](unsigned char c) { return c < 0x20 || c == 0x7F; }) &&
                  ::lstat(platform::ToUtf8(path).c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
                  st.st_size > 0 && static_cast<uint64_t>(st.st_size) <= record_.length;
    if (!usable) return false;
    resumeFrom_ = static_cast<uint64_t>(st.st_size);
    LogInfoW("CVideoDownloader", L"GetFLVFile() resuming %ls at byte %llu of %llu",
             resumeKey_.c_str(), static_cast<unsigned long long>(resumeFrom_),
             static_cast<unsigned long long>(record_.length));
    extraHeaders_.push_back("Range: bytes=" + std::to_string(resumeFrom_) + "-");
    extraHeaders_.push_back("If-Range: " + record_.validator);
    return true;
}

bool CHttpTransfer::AcceptResume(CHttpAnswer& answer, const std::wstring& path,
                                 const std::string& host) {
    if (answer.Status() != 206) {
        // The file changed on the server, or the range was ignored: the
        // bytes kept are never joined to this answer.
        LogInfoW("CVideoDownloader", L"GetFLVFile() %s sent the whole file; starting over",
                 host.c_str());
        return false;
    }
    std::string range = answer.Header("Content-Range");
    unsigned long long first = 0, last = 0, total = 0;
    uint64_t rest = 0;
    if (std::sscanf(range.c_str(), "bytes %llu-%llu/%llu", &first, &last, &total) != 3 ||
        first != resumeFrom_ || total != record_.length || last + 1 != total ||
        !answer.ContentLength(rest) || rest != total - first) {
        // Not the rest of the file kept: its part goes, so that the next
        // attempt fetches it whole.
        ::unlink(platform::ToUtf8(PartialRecordPath(path)).c_str());
        ::truncate(platform::ToUtf8(path).c_str(), 0);
        throw CTransferFailure{"The video server " + host + " answered with Content-Range \"" +
                               range + "\", which does not continue the " +
                               std::to_string(resumeFrom_) + " bytes kept"};
    }
    return true;
}

void CHttpTransfer::KeepResumeRecord(CHttpAnswer& answer, const std::wstring& url,
                                     const std::wstring& path) {
    recordKept_ = false;
    if (resumeKey_.empty()) return;
    std::string etag = answer.Header("ETag");
    std::string validator = !etag.empty() && etag.rfind("W/", 0) != 0 && etag.front() == '"'
                                ? etag
                                : answer.Header("Last-Modified");
    std::string ranges = answer.Header("Accept-Ranges");
    uint64_t rest = 0;
    bool resumable = !validator.empty() && validator.find('?') == std::string::npos &&
                     (answer.Status() == 206 || strcasestr(ranges.c_str(), "bytes")) &&
                     answer.ContentLength(rest) && rest > 0;
    if (!resumable) {
        ::unlink(platform::ToUtf8(PartialRecordPath(path)).c_str());
        return;
    }
    record_ = PartialRecord{};
    record_.pageAddress = resumeKey_;
    record_.mediaAddress = url;
    record_.validator = validator;
    record_.length = resumeFrom_ + rest;
    record_.written = resumeFrom_;
    recordKept_ = WritePartialRecord(path, record_);
}

void CHttpTransfer::DownloadFile(CHttpAnswer& answer, const std::wstring& path,
                                 std::atomic<uint64_t>& contentLength,
                                 std::atomic<uint64_t>& bytesReceived) {
    contentLength = 0;
    bytesReceived = 0;
    std::string file = platform::ToUtf8(path);
    const uint64_t start = resumeFrom_;
    // The temporary file was reserved by the naming; it is written only as
    // a plain file of ours, never through a link, and emptied unless the
    // answer continues what it holds.
    platform::UniqueFd out(::open(file.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!out && errno == ENOENT && start == 0)
        out.Reset(::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!out) {
        int err = errno;
        LogError("CVideoDownloader::DownloadFile", "Open file failed: %s, %d\n", file.c_str(), err);
        throw CTransferFailure{"can not create output file " + file + ": " + std::strerror(err)};
    }
    if (!SetTempFileSize(out.get(), start)) {
        int err = errno;
        throw CTransferFailure{"Write file failed: " + file + ": " + std::strerror(err)};
    }
    uint64_t length = 0;
    if (!answer.ContentLength(length))
        throw CTransferFailure{
            "The video server sent no Content-Length, so the download can not "
            "be checked for completeness"};
    length += start;
    contentLength = length;
    uint64_t received = start;
    // What a later resume goes on from, whatever ends this download.
    struct RecordWritten {
        CHttpTransfer& t;
        const std::wstring& path;
        const uint64_t& received;
        ~RecordWritten() {
            if (!t.recordKept_) return;
            t.record_.written = received;
            WritePartialRecord(path, t.record_);
        }
    } recordWritten{*this, path, received};
    // A message for each thousandth that changes, not for each piece read.
    unsigned posted = UINT_MAX;
    auto progress = [&] {
        double ratio = length ? static_cast<double>(received) * 1000.0 / length : 1000.0;
        auto permille = static_cast<unsigned>(ratio > 4e9 ? 4e9 : ratio);
        if (owner_ && permille != posted) owner_->PostProgress(permille);
        posted = permille;
    };
    bytesReceived = received;
    if (start) progress();
    // Each piece is written as it comes: what came before a failure is in
    // the file for a resume.
    answer.ReadEach([&](const char* data, size_t n) {
        size_t done = 0;
        while (done < n) {
            ssize_t w = ::write(out.get(), data + done, n - done);
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                int err = w < 0 ? errno : ENOSPC;
                received += done;
                LogError("CVideoDownloader::DownloadFile", "Write file failed: %s, %d\n",
                         file.c_str(), err);
                throw CTransferFailure{"Write file failed: " + file + ": " + std::strerror(err)};
            }
            done += static_cast<size_t>(w);
        }
        received += n;
        bytesReceived = received;
        progress();
        if (owner_ && owner_->IsAborted()) {
            owner_->ClearFinalPath();
            return false;
        }
        return true;
    });
    if (received < length && owner_ && owner_->IsAborted()) throw CTransferStopped{};
    if (received < length)
        throw CTransferFailure{platform::Format(
            "Network error, can not get FLV file: the connection ended after %llu of %llu bytes",
            static_cast<unsigned long long>(received), static_cast<unsigned long long>(length))};
}

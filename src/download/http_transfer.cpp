#include "download/http_transfer.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>

#include "app/logging.h"
#include "download/codes.h"
#include "download/url.h"
#include "platform/text.h"

namespace {

constexpr size_t kPiece = 8192;
// Bytes libcurl may hand over before it is paused until the reader catches up.
constexpr size_t kMaxBuffered = 256 * 1024;

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

std::string Trim(std::string s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n' || s.back() == ' ')) s.pop_back();
    size_t b = s.find_first_not_of(' ');
    return b == std::string::npos ? "" : s.substr(b);
}

[[noreturn]] void ThrowCurl(CURLcode code) {
    throw CNetException{kNetErrorBase + static_cast<int>(code), curl_easy_strerror(code)};
}

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
    void AddHeader(const char* line) { headers_ = curl_slist_append(headers_, line); }

    // Sends the request and waits for the head of the final answer.
    void Begin() {
        curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, headers_);
        curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &CurlAnswer::OnHeader);
        curl_easy_setopt(easy_, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &CurlAnswer::OnData);
        curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);
        curl_easy_setopt(easy_, CURLOPT_COOKIEFILE, "");
        {
            std::lock_guard lock(g_cookieMutex);
            for (const auto& [key, line] : g_cookies)
                curl_easy_setopt(easy_, CURLOPT_COOKIELIST, line.c_str());
        }
        if (curl_multi_add_handle(multi_, easy_) != CURLM_OK) ThrowCurl(CURLE_FAILED_INIT);
        added_ = true;
        Pump([this] { return headersDone_; });
        if (!headersDone_) {
            if (result_ != CURLE_OK) ThrowCurl(result_);
            ThrowCurl(CURLE_GOT_NOTHING);
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
            if (result_ != CURLE_OK) ThrowCurl(result_);
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

    void SaveCookies() {
        curl_slist* list = nullptr;
        if (curl_easy_getinfo(easy_, CURLINFO_COOKIELIST, &list) != CURLE_OK) return;
        std::lock_guard lock(g_cookieMutex);
        for (curl_slist* c = list; c; c = c->next) g_cookies[CookieKey(c->data)] = c->data;
        curl_slist_free_all(list);
    }

    static size_t OnHeader(char* data, size_t size, size_t n, void* user) {
        auto* self = static_cast<CurlAnswer*>(user);
        std::string line(data, size * n);
        if (StartsNoCase(line, "HTTP/")) {
            // A new answer head (after 100 Continue): forget the last one.
            size_t sp = line.find(' ');
            self->status_ = sp == std::string::npos ? 0 : std::atol(line.c_str() + sp + 1);
            self->hasLength_ = false;
            self->location_.clear();
        } else if (StartsNoCase(line, "Location:")) {
            self->location_ = Trim(line.substr(9));
        } else if (StartsNoCase(line, "Content-Length:")) {
            std::string v = Trim(line.substr(15));
            char* end = nullptr;
            errno = 0;
            unsigned long long len = std::strtoull(v.c_str(), &end, 10);
            self->hasLength_ = !v.empty() && v[0] != '-' && *end == '\0' && errno == 0;
            self->length_ = self->hasLength_ ? len : 0;
        } else if ((line == "\r\n" || line == "\n") && self->status_ >= 200) {
            self->headersDone_ = true;
        }
        return size * n;
    }

    static size_t OnData(char* data, size_t size, size_t n, void* user) {
        auto* self = static_cast<CurlAnswer*>(user);
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
    std::string location_;
    bool hasLength_ = false;
    uint64_t length_ = 0;
    std::string buffer_;
    size_t offset_ = 0;
};

}  // namespace

const char* const kAcceptHeaderLines[3] = {
    "Accept-Charset: utf-8;q=0.7,*;q=0.7",
    "Accept: text/xml,application/xml,application/xhtml+xml,text/html;q=0.9,text/"
    "plain;q=0.8,image/png,*/*;q=0.5",
    "Accept-Language: en-us,en;q=0.5"};

void EnsureCurlInit() {
    std::call_once(g_curlInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

void ApplyCommonCurlOptions(void* easy) {
    CURL* e = easy;
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, 30L);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, 60L);
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

int CHttpTransfer::RequestHTTP(const std::wstring& url, std::unique_ptr<CHttpAnswer>& answer,
                               std::wstring& location, int verb, const std::wstring* body) {
    LogInfoW("CVideoDownloder::RequestHTTP", L"Getting HTTP file [%ls]...", url.c_str());
    UrlParts parts;
    if (!CrackUrl(url, parts)) return -1;
    auto req = std::make_unique<CurlAnswer>(owner_);
    CURL* e = req->easy();
    std::string address = EscapeForRequest(url);
    curl_easy_setopt(e, CURLOPT_URL, address.c_str());
    ApplyCommonCurlOptions(e);
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
    req->AddHeader(
        "User-Agent: Mozilla/5.0 (Windows; U; Windows NT 5.1; en-US; rv:1.8.1.11) "
        "Gecko/20071127 Firefox/2.0.0.11");
    for (const char* line : kAcceptHeaderLines) req->AddHeader(line);
    req->AddHeader("Content-Type: application/x-www-form-urlencoded");
    if (!useCache_) {
        req->AddHeader("Cache-Control: no-cache");
        req->AddHeader("Pragma: no-cache");
    }
    req->AddHeader("Expect:");
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
        if (req->Location().empty()) return -1;
        location = platform::FromUtf8(req->Location());
        return 302;
    }
    answer = std::move(req);
    return 0;
}

int CHttpTransfer::GetHTMLPage(const std::wstring& url, std::wstring& text) {
    std::wstring current = url;
    try {
        for (int tries = 3; tries > 0; --tries) {
            std::unique_ptr<CHttpAnswer> answer;
            std::wstring location;
            int r = RequestHTTP(current, answer, location, 1, nullptr);
            if (r == 302) {
                LogWarnW("CVideoDownloader", L"ParseHTMLContainer redirect to %ls",
                         location.c_str());
                current = MakeAbsoluteUrl(location, url);
                continue;
            }
            if (r != 0) return -1;
            platform::Utf8Decoder decoder;
            char buf[kPiece];
            uint64_t total = 0;
            while (size_t n = answer->Read(buf, sizeof buf)) {
                total += n;
                if (total > kMaxPageBytes) ThrowCurl(CURLE_FILESIZE_EXCEEDED);
                decoder.Feed(std::string_view(buf, n), text);
                if (owner_ && owner_->IsAborted()) return kResultStopped;
            }
            decoder.Finish(text);
            return 0;
        }
        return -1;
    } catch (const CNetException& e) {
        if (owner_ && e.code == kNetErrorBase + CURLE_ABORTED_BY_CALLBACK && owner_->IsAborted())
            return kResultStopped;
        ReportException("GetHTMLPage", e);
        if (owner_) owner_->SetError(platform::FromUtf8(e.message));
        return e.code;
    }
}

std::wstring CHttpTransfer::MakeAbsoluteUrl(const std::wstring& location,
                                            const std::wstring& first) {
    UrlParts parts;
    if (CrackUrl(location, parts)) return location;
    if (CrackUrl(first, parts)) return L"http://" + parts.host + location;
    return location;
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
        return -1;
    };
    try {
        std::wstring current = url;
        std::unique_ptr<CHttpAnswer> answer;
        int r = -1;
        for (int count = 10; count > 0; --count) {
            std::wstring location;
            r = RequestHTTP(current, answer, location, 1, nullptr);
            if (r != 302) break;
            if (location.empty())
                throw CTransferFailure{platform::Format("can not connect to flv url, %d", r)};
            current = location;
            LogInfoW("CVideoDownloader::GetFLVFile", L"Redirect to new location: %ls",
                     current.c_str());
        }
        if (r != 0 || !answer)
            throw CTransferFailure{platform::Format("can not connect to flv url, %d", r)};
        finalUrl = current;
        DownloadFile(*answer, path, contentLength, bytesReceived);
        return 0;
    } catch (const CTransferFailure& f) {
        return fail(f.text);
    } catch (const CNetException& e) {
        // A stop that ends a waiting read is a stopped download, not a network fault.
        if (owner_ && e.code == kNetErrorBase + CURLE_ABORTED_BY_CALLBACK && owner_->IsAborted()) {
            owner_->ClearFinalPath();
            return fail("Network error, can not get FLV file");
        }
        ReportException("GetFlvFile", e);
        if (owner_) owner_->SetError(platform::FromUtf8(e.message));
        return e.code;
    } catch (...) {
        return -1;
    }
}

void CHttpTransfer::DownloadFile(CHttpAnswer& answer, const std::wstring& path,
                                 std::atomic<uint64_t>& contentLength,
                                 std::atomic<uint64_t>& bytesReceived) {
    contentLength = 0;
    bytesReceived = 0;
    std::string file = platform::ToUtf8(path);
    int fd = ::open(file.c_str(), O_CREAT | O_TRUNC | O_RDWR | O_CLOEXEC, 0644);
    if (fd < 0) {
        LogError("CVideoDownloader::DownloadFile", "Open file failed: %s, %d\n", file.c_str(),
                 errno);
        throw CTransferFailure{"can not create output file"};
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    uint64_t length = 0;
    if (!answer.ContentLength(length))
        throw CTransferFailure{
            "Can not download the FLV file, please check your network connection."};
    contentLength = length;
    std::string out;
    out.reserve(1 << 20);
    auto flush = [&] {
        size_t done = 0;
        while (done < out.size()) {
            ssize_t w = ::write(fd, out.data() + done, out.size() - done);
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                LogError("CVideoDownloader::DownloadFile", "Write file failed: %s, %d\n",
                         file.c_str(), errno);
                throw CTransferFailure{"Write file failed"};
            }
            done += static_cast<size_t>(w);
        }
        out.clear();
    };
    char buf[kPiece];
    uint64_t received = 0;
    while (size_t n = answer.Read(buf, sizeof buf)) {
        out.append(buf, n);
        if (out.size() >= (1u << 20)) flush();
        received += n;
        bytesReceived = received;
        double ratio = length ? static_cast<double>(received) * 1000.0 / length : 1000.0;
        if (owner_) owner_->PostProgress(static_cast<unsigned>(ratio > 4e9 ? 4e9 : ratio));
        if (owner_ && owner_->IsAborted()) {
            owner_->ClearFinalPath();
            break;
        }
    }
    flush();
    if (received < length) throw CTransferFailure{"Network error, can not get FLV file"};
}

#pragma once
// One HTTP operation on libcurl: a request with the fixed browser-like
// headers, redirects reported to the caller, and the answer read in pieces.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "download/partial_file.h"

// What a transfer needs from the download run it works for.
class IHttpOwner {
  public:
    virtual ~IHttpOwner() = default;
    // Polls the stop of the run; true once a stop has been asked for.
    virtual bool IsAborted() = 0;
    // True while a stop is pending, without the side effects of IsAborted.
    virtual bool StopRequested() const = 0;
    virtual void PostProgress(unsigned thousandths) = 0;
    // A transfer goes on from the part an earlier attempt kept.
    virtual void PostResumed(unsigned /*thousandths*/) {}
    virtual void SetError(const std::wstring& text) = 0;
    virtual void ClearFinalPath() = 0;
};

// A network failure: code 12000 + the libcurl code, and libcurl's text.
struct CNetException {
    int code;
    std::string message;
};
inline constexpr int kNetErrorBase = 12000;

// An open answer; reading it may raise CNetException.
class CHttpAnswer {
  public:
    virtual ~CHttpAnswer() = default;
    virtual long Status() const = 0;
    // The Content-Length header; false when the answer has none.
    virtual bool ContentLength(uint64_t& length) const = 0;
    // The reason phrase of the status line, made safe to show.
    virtual std::string StatusText() const { return ""; }
    // The Content-Type header as sent; empty when the answer has none.
    virtual std::string ContentType() const { return ""; }
    // The value of a header of the answer (name in any case; the last one
    // when repeated); empty when absent.
    virtual std::string Header(std::string_view name) const {
        (void)name;
        return "";
    }
    // At most `max` bytes; 0 at the end of the answer.
    virtual size_t Read(char* buf, size_t max) = 0;
    // Hands the rest of the answer to `sink` piece by piece as it arrives,
    // until its end (true) or until `sink` says no more (false). What
    // `sink` throws ends the answer and comes out of here.
    virtual bool ReadEach(const std::function<bool(const char*, size_t)>& sink) {
        char buf[65536];
        while (size_t n = Read(buf, sizeof buf))
            if (!sink(buf, n)) return false;
        return true;
    }
};

class CHttpTransfer {
  public:
    explicit CHttpTransfer(IHttpOwner* owner, bool useCache);
    virtual ~CHttpTransfer();
    // The page a video download is for. With one, GetFLVFile keeps a record
    // beside the temporary file when the server can send the rest later,
    // and goes on from a kept one (see partial_file.h).
    void SetResumeKey(const std::wstring& pageAddress) { resumeKey_ = pageAddress; }
    // 0, -1 with an error text, kResultStopped after the user's stop (the
    // final path cleared), or a network error code.
    virtual int GetFLVFile(const std::wstring& url, const std::wstring& path,
                           std::wstring& finalUrl, std::atomic<uint64_t>& contentLength,
                           std::atomic<uint64_t>& bytesReceived);
    virtual int GetHTMLPage(const std::wstring& url, std::wstring& text);
    // verb 1 = GET, 0 = POST. 0 with an open answer, 302 with location set, -1.
    virtual int RequestHTTP(const std::wstring& url, std::unique_ptr<CHttpAnswer>& answer,
                            std::wstring& location, int verb, const std::wstring* body);
    virtual void DownloadFile(CHttpAnswer& answer, const std::wstring& path,
                              std::atomic<uint64_t>& contentLength,
                              std::atomic<uint64_t>& bytesReceived);

    // Header lines ("Name: value") sent with every request of this transfer
    // in place of the fixed ones of the same name; `hostOnly` lines go only
    // to `host` (cookies never reach another host after a redirect).
    void SetMediaHeaders(std::vector<std::string> lines, std::vector<std::string> hostOnly,
                         const std::wstring& host);
    // The status of the last answer GetFLVFile refused; 0 when none was.
    long RefusedStatus() const { return refusedStatus_; }

    static void ReportException(const char* operation, const CNetException& e);

    // A page answer beyond this many bytes fails like a network failure.
    static constexpr uint64_t kMaxPageBytes = 64ull << 20;
    // Slowest rates that do not fail an answer within the low-speed window:
    // about 1 KiB in two minutes for a video, 256 bytes a second for a page.
    static constexpr long kMinVideoBytesPerSecond = 9;
    static constexpr long kMinPageBytesPerSecond = 256;

  private:
    // Asks for the rest of a kept partial; false when there is none to go on from.
    bool PrepareResume(const std::wstring& path);
    // Checks the answer to a request for the rest; returns whether the bytes
    // kept stay (206 from where they end), else the file starts over.
    bool AcceptResume(CHttpAnswer& answer, const std::wstring& path, const std::string& host);
    void KeepResumeRecord(CHttpAnswer& answer, const std::wstring& url, const std::wstring& path);

    IHttpOwner* owner_;
    bool useCache_;
    bool videoFetch_ = false;
    std::wstring resumeKey_;
    std::vector<std::string> extraHeaders_;  // sent with every request
    // Bytes of the file already in the temporary file, and the record kept.
    uint64_t resumeFrom_ = 0;
    bool recordKept_ = false;
    PartialRecord record_;
    long refusedStatus_ = 0;
    // Headers of the media's own answer (SetMediaHeaders).
    std::vector<std::string> mediaHeaders_, hostOnlyHeaders_;
    std::wstring headerHost_;
};

// Initialises libcurl once for the process, before the first handle.
void EnsureCurlInit();
// What every libcurl request of ours shares (a CURL* easy handle): http and
// https only, no signals, connect and low-speed time-outs, the authorities
// to trust from CURL_CA_BUNDLE, SSL_CERT_FILE and SSL_CERT_DIR.
// `minBytesPerSecond` sets the low-speed limit.
void ApplyCommonCurlOptions(void* easy, long minBytesPerSecond);
// The window, in seconds, in which an answer slower than its least rate
// fails (120 unless a test shortens it).
void SetLowSpeedTime(long seconds);
// The time, in seconds, a page (anything but a video) may take from the
// request to its last byte (120 unless a test shortens it).
void SetPageDeadline(long seconds);
// The Accept-Charset, Accept and Accept-Language lines of every request.
extern const char* const kAcceptHeaderLines[3];
extern const char* const kUserAgentLine;
// The process's one cookie store, for requests made on other easy handles
// (a CURL*): its cookies handed to one, and the ones an answer set kept.
void LoadSharedCookies(void* easy);
void SaveSharedCookies(void* easy);

// A failure of DownloadFile or GetFLVFile described by a text.
struct CTransferFailure {
    std::string text;
};
// DownloadFile ended early because the user stopped the run.
struct CTransferStopped {};

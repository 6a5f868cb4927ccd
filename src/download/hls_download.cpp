#include "download/hls_download.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "app/logging.h"
#include "download/codes.h"
#include "download/hls_playlist.h"
#include "download/partial_file.h"
#include "download/site_helpers.h"
#include "download/url.h"
#include "platform/child_process.h"
#include "platform/text.h"
#include "platform/unique_fd.h"

namespace {

constexpr const char* kTag = "CHlsDownload";
constexpr uint64_t kMaxSegmentBytes = 2ull << 30;
constexpr uint64_t kMaxPlaylistBytes = 64ull << 20;
constexpr int kTriesPerSegment = 3;

// A failure that ends the download with a text for the user.
struct HlsFailure {
    std::string text;
    int code = kResultFailed;
};

std::string HostOf(const std::string& address) {
    UrlParts parts;
    return CrackUrl(platform::FromUtf8(address), parts) ? platform::ToUtf8(parts.host) : address;
}

// One answer fetched whole into memory.
struct Fetch {
    std::string address;
    HlsByteRange range;
    int segment = -1;  // index, or -1 for a playlist, key or map
    int tries = 0;
    CURL* easy = nullptr;
    curl_slist* headers = nullptr;
    std::string body;
    long status = 0;
    std::string contentRange;
    bool tooLarge = false;
    char errbuf[CURL_ERROR_SIZE] = {};
    uint64_t limit = kMaxSegmentBytes;

    ~Fetch() {
        if (easy) curl_easy_cleanup(easy);
        curl_slist_free_all(headers);
    }

    static size_t OnData(char* data, size_t size, size_t n, void* user) {
        auto* f = static_cast<Fetch*>(user);
        if (f->body.size() + size * n > f->limit) {
            f->tooLarge = true;
            return 0;
        }
        f->body.append(data, size * n);
        return size * n;
    }
    static size_t OnHeader(char* data, size_t size, size_t n, void* user) {
        auto* f = static_cast<Fetch*>(user);
        std::string line(data, size * n);
        if (line.compare(0, 5, "HTTP/") == 0) {
            f->contentRange.clear();
        } else if (strncasecmp(line.c_str(), "Content-Range:", 14) == 0) {
            f->contentRange =
                std::string(platform::Trim(std::string_view(line).substr(14), " \t\r\n"));
        } else if (strncasecmp(line.c_str(), "Content-Length:", 15) == 0) {
            unsigned long long len = std::strtoull(line.c_str() + 15, nullptr, 10);
            if (len > f->limit) {
                f->tooLarge = true;
                return 0;
            }
        }
        return size * n;
    }
};

// Fetches on one multi handle, several at once.
class Fetcher {
  public:
    explicit Fetcher(IHttpOwner* owner, bool secure) : owner_(owner), secure_(secure) {
        EnsureCurlInit();
        multi_ = curl_multi_init();
        if (!multi_) throw HlsFailure{"Out of memory"};
    }
    ~Fetcher() {
        for (auto& f : running_) curl_multi_remove_handle(multi_, f->easy);
        running_.clear();
        curl_multi_cleanup(multi_);
    }

    size_t Running() const { return running_.size(); }

    void Start(std::unique_ptr<Fetch> f) {
        if (f->easy) {
            curl_easy_cleanup(f->easy);
            curl_slist_free_all(f->headers);
            f->headers = nullptr;
        }
        f->body.clear();
        f->status = 0;
        f->tooLarge = false;
        f->easy = curl_easy_init();
        if (!f->easy) throw HlsFailure{"Out of memory"};
        CURL* e = f->easy;
        std::string address = EscapeForRequest(platform::FromUtf8(f->address));
        curl_easy_setopt(e, CURLOPT_URL, address.c_str());
        ApplyCommonCurlOptions(e, CHttpTransfer::kMinVideoBytesPerSecond);
        curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(e, CURLOPT_MAXREDIRS, 10L);
        // A stream begun over TLS never goes on in the clear.
        if (secure_) curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "https");
        curl_easy_setopt(e, CURLOPT_BUFFERSIZE, 256L * 1024);
        f->headers = curl_slist_append(f->headers, kUserAgentLine);
        for (const char* line : kAcceptHeaderLines)
            f->headers = curl_slist_append(f->headers, line);
        f->headers = curl_slist_append(f->headers, "Expect:");
        curl_easy_setopt(e, CURLOPT_HTTPHEADER, f->headers);
        if (f->range.set) {
            std::string r = std::to_string(f->range.offset) + "-" +
                            std::to_string(f->range.offset + f->range.length - 1);
            curl_easy_setopt(e, CURLOPT_RANGE, r.c_str());
        }
        curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Fetch::OnData);
        curl_easy_setopt(e, CURLOPT_WRITEDATA, f.get());
        curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Fetch::OnHeader);
        curl_easy_setopt(e, CURLOPT_HEADERDATA, f.get());
        curl_easy_setopt(e, CURLOPT_ERRORBUFFER, f->errbuf);
        curl_easy_setopt(e, CURLOPT_PRIVATE, f.get());
        LoadSharedCookies(e);
        if (curl_multi_add_handle(multi_, e) != CURLM_OK) throw HlsFailure{"Out of memory"};
        running_.push_back(std::move(f));
    }

    // Drives the transfers until one has ended; that one, with its result.
    // Nullopt when a stop was asked for.
    std::optional<std::pair<std::unique_ptr<Fetch>, CURLcode>> Next() {
        if (running_.empty()) throw HlsFailure{"Nothing to fetch"};
        for (;;) {
            if (auto done = TakeDone()) return done;
            if (owner_ && owner_->StopRequested()) return std::nullopt;
            int active = 0;
            curl_multi_perform(multi_, &active);
            if (auto done = TakeDone()) return done;
            curl_multi_poll(multi_, nullptr, 0, 100, nullptr);
        }
    }

  private:
    std::optional<std::pair<std::unique_ptr<Fetch>, CURLcode>> TakeDone() {
        int left = 0;
        while (CURLMsg* m = curl_multi_info_read(multi_, &left)) {
            if (m->msg != CURLMSG_DONE) continue;
            CURL* e = m->easy_handle;
            CURLcode result = m->data.result;
            curl_multi_remove_handle(multi_, e);
            auto it = std::find_if(running_.begin(), running_.end(),
                                   [e](const auto& f) { return f->easy == e; });
            if (it == running_.end()) continue;
            std::unique_ptr<Fetch> f = std::move(*it);
            running_.erase(it);
            curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &f->status);
            SaveSharedCookies(e);
            return std::make_pair(std::move(f), result);
        }
        return std::nullopt;
    }

    IHttpOwner* owner_;
    bool secure_;
    CURLM* multi_ = nullptr;
    std::vector<std::unique_ptr<Fetch>> running_;
};

// The user stopped the run.
struct Stopped {};

// The message of a transfer that did not bring what was asked for; empty
// when it did (a range answered whole is cut to the range).
std::string CheckAnswer(Fetch& f, CURLcode result, const std::string& what) {
    std::string host = HostOf(f.address);
    if (f.tooLarge)
        return what + " from " + host +
               " is larger than 2 GiB, which is more than a segment may be";
    if (result != CURLE_OK) {
        std::string text = f.errbuf[0] ? f.errbuf : curl_easy_strerror(result);
        while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
        return text + " (" + host + ")";
    }
    if (f.status < 200 || f.status > 299)
        return platform::Format("HTTP %ld from %s for %s", f.status, host.c_str(), what.c_str());
    if (!f.range.set) return "";
    if (f.status == 206) {
        unsigned long long start = 0, end = 0;
        if (std::sscanf(f.contentRange.c_str(), "bytes %llu-%llu/", &start, &end) != 2 ||
            start != f.range.offset || end + 1 != f.range.offset + f.range.length ||
            f.body.size() != f.range.length)
            return "The server " + host + " sent a Content-Range (" + f.contentRange +
                   ") that does not match the range asked for " + what;
        return "";
    }
    // The whole file instead of the range asked for.
    if (f.body.size() < f.range.offset + f.range.length)
        return "The server " + host + " ignored the range asked for " + what +
               " and sent too little";
    f.body = f.body.substr(f.range.offset, f.range.length);
    return "";
}

bool DecryptAes128(const std::string& key, const unsigned char iv[16], std::string& data) {
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                        &EVP_CIPHER_CTX_free);
    if (!ctx || EVP_DecryptInit_ex(ctx.get(), EVP_aes_128_cbc(), nullptr,
                                   reinterpret_cast<const unsigned char*>(key.data()), iv) != 1)
        return false;
    if (data.size() % 16 != 0 || data.size() > static_cast<size_t>(INT32_MAX)) return false;
    std::string out(data.size() + 16, '\0');
    int n = 0, tail = 0;
    auto* o = reinterpret_cast<unsigned char*>(out.data());
    if (EVP_DecryptUpdate(ctx.get(), o, &n, reinterpret_cast<const unsigned char*>(data.data()),
                          static_cast<int>(data.size())) != 1 ||
        EVP_DecryptFinal_ex(ctx.get(), o + n, &tail) != 1)
        return false;
    out.resize(static_cast<size_t>(n + tail));
    data.swap(out);
    return true;
}

std::string Sha256Hex(const std::string& text) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (EVP_Digest(text.data(), text.size(), digest, &len, EVP_sha256(), nullptr) != 1) return "";
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (unsigned i = 0; i < len; ++i) {
        out += kHex[digest[i] >> 4];
        out += kHex[digest[i] & 15];
    }
    return out;
}

class HlsJob {
  public:
    HlsJob(IHttpOwner* owner, const std::wstring& tempPath, const HlsOptions& options,
           HlsProgress& progress, bool secure)
        : owner_(owner),
          tempPath_(tempPath),
          options_(options),
          progress_(progress),
          fetcher_(owner, secure),
          secure_(secure) {}

    int Run(const std::string& address) {
        std::string mediaAddress = address;
        std::string text = FetchText(address, "the playlist");
        std::string error;
        std::optional<HlsPlaylist> p = ParseHlsPlaylist(text, address, error);
        if (!p) throw HlsFailure{error + " (" + HostOf(address) + ")"};
        if (p->master) {
            int v = ChooseHlsVariant(p->variants, options_.maxHeight);
            const HlsVariant& chosen = p->variants[static_cast<size_t>(v)];
            LogInfo(kTag, "Variant %dx%d at %llu bit/s of %zu", chosen.width, chosen.height,
                    static_cast<unsigned long long>(chosen.bandwidth), p->variants.size());
            mediaAddress = chosen.uri;
            if (secure_ && mediaAddress.compare(0, 8, "https://") != 0)
                throw HlsFailure{"The stream at " + HostOf(address) +
                                 " names a variant that is not over https"};
            text = FetchText(mediaAddress, "the playlist");
            p = ParseHlsPlaylist(text, mediaAddress, error);
            if (!p) throw HlsFailure{error + " (" + HostOf(mediaAddress) + ")"};
            if (p->master) throw HlsFailure{"The playlist of a variant is a master playlist again"};
        }
        media_ = std::move(p->media);
        if (!media_.endList)
            throw HlsFailure{"The stream at " + HostOf(mediaAddress) +
                             " is live; only finished streams can be downloaded"};
        if (media_.segments.empty())
            throw HlsFailure{"The stream at " + HostOf(mediaAddress) + " has no segments"};
        for (const HlsSegment& s : media_.segments) {
            if (s.key.method == HlsKey::kRefused)
                throw HlsFailure{"The stream is protected with " + s.key.refusal +
                                 ", which Clipvane can not download"};
            if (secure_ && s.uri.compare(0, 8, "https://") != 0)
                throw HlsFailure{"The stream at " + HostOf(mediaAddress) +
                                 " names segments that are not over https"};
        }
        record_.pageAddress = options_.pageAddress;
        record_.mediaAddress = platform::FromUtf8(mediaAddress);
        record_.playlistDigest = Sha256Hex(text);
        Open();
        Download();
        return kResultOk;
    }

  private:
    std::string FetchText(const std::string& address, const std::string& what) {
        auto f = std::make_unique<Fetch>();
        f->address = address;
        f->limit = kMaxPlaylistBytes;
        return FetchWhole(std::move(f), what);
    }

    // One fetch on its own (segments may be under way on the other
    // handle), retried like a segment.
    std::string FetchWhole(std::unique_ptr<Fetch> f, const std::string& what) {
        Fetcher single(owner_, secure_);
        for (;;) {
            single.Start(std::move(f));
            auto done = single.Next();
            if (!done) throw Stopped();
            f = std::move(done->first);
            std::string problem = CheckAnswer(*f, done->second, what);
            if (problem.empty()) return std::move(f->body);
            if (++f->tries >= kTriesPerSegment || f->tooLarge || Permanent(*f, done->second))
                throw HlsFailure{problem, Code(done->second)};
            LogWarnW(kTag, L"%s; trying again", problem.c_str());
        }
    }

    static bool Permanent(const Fetch& f, CURLcode result) {
        return result == CURLE_OK && f.status >= 400 && f.status < 500;
    }
    static int Code(CURLcode result) {
        return result == CURLE_OK ? kResultFailed : kNetErrorBase + static_cast<int>(result);
    }

    const std::string& Key(const HlsKey& key) {
        auto it = keys_.find(key.uri);
        if (it != keys_.end()) return it->second;
        auto f = std::make_unique<Fetch>();
        f->address = key.uri;
        f->limit = 4096;
        std::string bytes = FetchWhole(std::move(f), "the key");
        if (bytes.size() != 16)
            throw HlsFailure{
                platform::Format("The key from %s has %zu bytes, not the 16 of AES-128",
                                 HostOf(key.uri).c_str(), bytes.size())};
        return keys_[key.uri] = bytes;
    }

    static void SequenceIv(uint64_t sequence, unsigned char iv[16]) {
        std::memset(iv, 0, 16);
        for (int i = 0; i < 8; ++i) iv[15 - i] = static_cast<unsigned char>(sequence >> (8 * i));
    }

    void Decrypt(const HlsKey& key, uint64_t sequence, std::string& data, const std::string& what) {
        if (key.method != HlsKey::kAes128) return;
        unsigned char iv[16];
        if (key.hasIv)
            std::memcpy(iv, key.iv, 16);
        else
            SequenceIv(sequence, iv);
        if (!DecryptAes128(Key(key), iv, data))
            throw HlsFailure{"Could not decrypt " + what + ": the key or the data is wrong"};
    }

    // The temporary file, emptied or cut back to the segments a kept record
    // vouches for.
    void Open() {
        std::string path = platform::ToUtf8(tempPath_);
        out_.Reset(::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC));
        if (!out_ && errno == ENOENT)
            out_.Reset(
                ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
        if (!out_)
            throw HlsFailure{"can not create output file " + path + ": " + std::strerror(errno)};
        PartialRecord kept;
        struct stat st {};
        uint64_t start = 0;
        if (ReadPartialRecord(tempPath_, kept) && kept.pageAddress == record_.pageAddress &&
            !record_.pageAddress.empty() && kept.playlistDigest == record_.playlistDigest &&
            kept.segmentsDone > 0 && kept.segmentsDone < media_.segments.size() &&
            ::fstat(out_.get(), &st) == 0 && static_cast<uint64_t>(st.st_size) >= kept.written) {
            next_ = kept.segmentsDone;
            start = kept.written;
            writtenMap_ = media_.segments[next_ - 1].map;
            LogInfo(kTag, "Resuming at segment %llu of %zu (%llu bytes kept)",
                    static_cast<unsigned long long>(next_ + 1), media_.segments.size(),
                    static_cast<unsigned long long>(start));
            if (owner_)
                owner_->PostResumed(static_cast<unsigned>(next_ * 1000 / media_.segments.size()));
        }
        if (!SetTempFileSize(out_.get(), start))
            throw HlsFailure{"Write file failed: " + path + ": " + std::strerror(errno)};
        record_.written = inFile_ = start;
        record_.segmentsDone = next_;
        progress_.segmentsTotal = media_.segments.size();
        progress_.segmentsDone = next_;
        progress_.bytes = start;
        WritePartialRecord(tempPath_, record_);
    }

    void Write(const std::string& data) {
        size_t done = 0;
        while (done < data.size()) {
            ssize_t w = ::write(out_.get(), data.data() + done, data.size() - done);
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                int err = w < 0 ? errno : ENOSPC;
                throw HlsFailure{"Write file failed: " + platform::ToUtf8(tempPath_) + ": " +
                                 std::strerror(err)};
            }
            done += static_cast<size_t>(w);
        }
        inFile_ += data.size();
    }

    std::unique_ptr<Fetch> SegmentFetch(size_t i) {
        auto f = std::make_unique<Fetch>();
        f->address = media_.segments[i].uri;
        f->range = media_.segments[i].range;
        f->segment = static_cast<int>(i);
        return f;
    }

    void Download() {
        const size_t total = media_.segments.size();
        const size_t parallel = static_cast<size_t>(std::clamp(options_.parallel, 1, 16));
        std::map<size_t, std::string> ready;
        size_t started = next_;
        while (next_ < total) {
            // Keys first, so that a wrong one fails before the segments come.
            while (fetcher_.Running() < parallel && started < total &&
                   started < next_ + 2 * parallel) {
                if (media_.segments[started].key.method == HlsKey::kAes128)
                    Key(media_.segments[started].key);
                fetcher_.Start(SegmentFetch(started++));
            }
            auto done = fetcher_.Next();
            if (!done) throw Stopped();
            std::unique_ptr<Fetch> f = std::move(done->first);
            size_t i = static_cast<size_t>(f->segment);
            std::string what = platform::Format("segment %zu", i + 1);
            std::string problem = CheckAnswer(*f, done->second, what);
            if (!problem.empty()) {
                if (++f->tries >= kTriesPerSegment || f->tooLarge || Permanent(*f, done->second))
                    throw HlsFailure{problem, Code(done->second)};
                LogWarnW(kTag, L"%s; trying again", problem.c_str());
                fetcher_.Start(std::move(f));
                continue;
            }
            ready[i] = std::move(f->body);
            while (!ready.empty() && ready.begin()->first == next_) {
                std::string data = std::move(ready.begin()->second);
                ready.erase(ready.begin());
                const HlsSegment& s = media_.segments[next_];
                if (s.map != writtenMap_ && s.map >= 0) WriteMap(s);
                Decrypt(s.key, s.sequence, data, platform::Format("segment %zu", next_ + 1));
                Write(data);
                ++next_;
                record_.segmentsDone = next_;
                record_.written = inFile_;
                SaveRecord(false);
                progress_.segmentsDone = next_;
                progress_.bytes = record_.written;
                if (owner_) owner_->PostProgress(static_cast<unsigned>(next_ * 1000 / total));
            }
        }
    }

    // The record says what a resume may keep. Written at most a few times a
    // second while segments come (a kill loses at most that much), and
    // always when the download ends short.
    void SaveRecord(bool now) {
        auto t = std::chrono::steady_clock::now();
        if (!now && t - savedAt_ < std::chrono::milliseconds(250)) return;
        WritePartialRecord(tempPath_, record_);
        savedAt_ = t;
    }

  public:
    ~HlsJob() {
        if (out_ && next_ < media_.segments.size()) SaveRecord(true);
    }

  private:
    void WriteMap(const HlsSegment& s) {
        const HlsMap& m = media_.maps[static_cast<size_t>(s.map)];
        auto f = std::make_unique<Fetch>();
        f->address = m.uri;
        f->range = m.range;
        std::string data = FetchWhole(std::move(f), "the initialisation section");
        Decrypt(m.key, s.sequence, data, "the initialisation section");
        Write(data);
        writtenMap_ = s.map;
    }

    IHttpOwner* owner_;
    std::wstring tempPath_;
    HlsOptions options_;
    HlsProgress& progress_;
    Fetcher fetcher_;
    bool secure_ = false;
    HlsMediaPlaylist media_;
    std::map<std::string, std::string> keys_;
    PartialRecord record_;
    platform::UniqueFd out_;
    size_t next_ = 0;
    int writtenMap_ = -1;
    uint64_t inFile_ = 0;  // bytes written, whole segments or not
    std::chrono::steady_clock::time_point savedAt_{};
};

}  // namespace

int DownloadHlsStream(IHttpOwner* owner, const std::wstring& playlistAddress,
                      const std::wstring& tempPath, const HlsOptions& options,
                      HlsProgress& progress) {
    std::string address = platform::ToUtf8(playlistAddress);
    bool secure = address.compare(0, 8, "https://") == 0;
    auto fail = [&](const std::string& text, int code) {
        LogError("CVideoDownloader", "DownloadHlsStream() Error: %s", text.c_str());
        if (owner) owner->SetError(platform::FromUtf8(text));
        return code;
    };
    try {
        HlsJob job(owner, tempPath, options, progress, secure);
        return job.Run(address);
    } catch (const HlsFailure& f) {
        if (owner && owner->StopRequested()) owner->IsAborted();
        return fail(f.text, f.code);
    } catch (const std::exception& e) {
        return fail(std::string("The stream could not be downloaded: ") + e.what(), kResultFailed);
    } catch (const Stopped&) {
        LogInfoW("CVideoDownloader", L"DownloadHlsStream() stopped by the user: %ls",
                 playlistAddress.c_str());
        if (owner) {
            owner->IsAborted();
            owner->ClearFinalPath();
        }
        return kResultStopped;
    }
}

std::wstring RemuxToMp4(const std::wstring& tsPath, IHttpOwner* owner) {
    std::string ffmpeg = platform::FindProgram("ffmpeg");
    if (ffmpeg.empty()) return L"";
    size_t slash = tsPath.rfind(L'/');
    std::wstring folder = slash == std::wstring::npos ? L"." : tsPath.substr(0, slash);
    std::wstring name = tsPath.substr(slash == std::wstring::npos ? 0 : slash + 1);
    size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos) name.resize(dot);
    std::wstring mp4 = ReserveOutputPath(folder, name, L"mp4");
    if (mp4.empty()) return L"";
    std::wstring temp = mp4 + L".cvt";
    platform::ChildProcess child;
    platform::ChildOptions o;
    o.argv = {ffmpeg,
              "-nostdin",
              "-hide_banner",
              "-loglevel",
              "error",
              "-y",
              "-i",
              platform::ToUtf8(tsPath),
              "-map",
              "0",
              "-c",
              "copy",
              "-f",
              "mp4",
              platform::ToUtf8(temp)};
    o.in = platform::ChildStream::kNull;
    o.out = platform::ChildStream::kNull;
    o.err = platform::ChildStream::kNull;
    o.ownSession = true;
    if (child.Spawn(o) != 0) {
        DiscardTempFile(temp);
        return L"";
    }
    std::optional<int> status;
    while (!(status = child.Wait(100))) {
        if (owner && owner->StopRequested()) {
            child.Kill(SIGKILL);
            child.Wait();
            DiscardTempFile(temp);
            return L"";
        }
    }
    if (!WIFEXITED(*status) || WEXITSTATUS(*status) != 0) {
        LogWarnW(kTag, L"ffmpeg could not copy %ls into an MP4; the .ts stays", tsPath.c_str());
        DiscardTempFile(temp);
        return L"";
    }
    std::wstring used = FinishOutputFile(temp, mp4);
    if (used.empty()) {
        DiscardTempFile(temp);
        return L"";
    }
    ::unlink(platform::ToUtf8(tsPath).c_str());
    return used;
}

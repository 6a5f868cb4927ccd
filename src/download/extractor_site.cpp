#include "download/extractor_site.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/localization.h"
#include "app/logging.h"
#include "app/settings.h"
#include "download/codes.h"
#include "download/http_transfer.h"
#include "download/site_helpers.h"
#include "download/url.h"
#include "download/web_site.h"
#include "platform/child_process.h"
#include "platform/text.h"

namespace {

constexpr const char* kTag = "CExtractorSite";
// The private folder of a download by yt-dlp, hidden in the site folder.
constexpr const char* kWorkPrefix = ".clipvane-extractor-";

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool Clean(const std::string& s) {
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7F) return false;
    return true;
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

// "name=value" of each cookie in the "cookies" field of newer copies
// ("a=1; Domain=.x.org; Path=/; b=2; ..."), for a request to `host`.
std::string CookiesFor(const std::string& field, const std::string& host) {
    static const char* const kAttributes[] = {"domain", "path",     "expires", "max-age",
                                              "secure", "httponly", "samesite"};
    std::string out, pending, domain;
    auto flush = [&] {
        if (pending.empty()) return;
        std::string d = Lower(domain);
        if (!d.empty() && d[0] == '.') d.erase(0, 1);
        std::string h = Lower(host);
        bool matches = d.empty() || h == d ||
                       (h.size() > d.size() && h.compare(h.size() - d.size(), d.size(), d) == 0 &&
                        h[h.size() - d.size() - 1] == '.');
        if (matches) out += (out.empty() ? "" : "; ") + pending;
        pending.clear();
        domain.clear();
    };
    size_t pos = 0;
    while (pos <= field.size()) {
        size_t end = field.find(';', pos);
        if (end == std::string::npos) end = field.size();
        std::string part(platform::Trim(std::string_view(field).substr(pos, end - pos), " "));
        std::string key = Lower(part.substr(0, part.find('=')));
        bool attribute = false;
        for (const char* a : kAttributes) attribute = attribute || key == a;
        if (attribute) {
            if (key == "domain" && part.find('=') != std::string::npos)
                domain = part.substr(part.find('=') + 1);
        } else if (!part.empty() && part.find('=') != std::string::npos) {
            flush();
            pending = part;
        }
        pos = end + 1;
    }
    flush();
    return out;
}

}  // namespace

CExtractorSite::CExtractorSite(const std::wstring& address, std::unique_ptr<CVideoSite> fallback)
    : fallback_(std::move(fallback)), web_(dynamic_cast<CWebSite*>(fallback_.get())) {
    maxHeight = static_cast<int>(GetSettings().Get().HighestQuality);
    pageAddress = address;
    siteName = HostProfileName(address);
    siteKind = kSiteOther;
    extension = L"mp4";
}

std::wstring CExtractorSite::GetVideoId() {
    if (videoId.empty()) videoId = siteName;
    if (fallback_) {
        fallback_->owner = owner;
        fallback_->GetVideoId();
    }
    return videoId;
}

std::wstring CExtractorSite::ServedBy() const {
    switch (way_) {
        case Way::kNative:
            return platform::FormatW(LoadText(33422).c_str(), answer_.info.extractorKey.c_str());
        case Way::kExtractor:
            return platform::FormatW(LoadText(33423).c_str(), answer_.info.extractorKey.c_str());
        case Way::kFallback:
            return LoadText(33424);
        case Way::kDirect:
        case Way::kNone:
            break;
    }
    return L"";
}

namespace {

// Passes everything on to the run, except a "no video" of the page scanner,
// which is held back so that a message saying more can take its place.
class ScanOwner : public ISiteOwner {
  public:
    explicit ScanOwner(ISiteOwner* to) : to_(to) {}
    bool IsAborted() override { return to_->IsAborted(); }
    bool StopRequested() const override { return to_->StopRequested(); }
    void PostProgress(unsigned v) override { to_->PostProgress(v); }
    void SetError(const std::wstring& text) override { error_ = text; }
    void ClearFinalPath() override { to_->ClearFinalPath(); }
    void PostStatus(int code) override {
        if (code == kStatusNoVideo) {
            noVideo_ = true;
            return;
        }
        if (code >= kStatusFirstError) to_->SetError(error_);
        to_->PostStatus(code);
    }
    void PostTitle(const std::wstring& title) override { to_->PostTitle(title); }
    bool UseCache() const override { return to_->UseCache(); }
    bool noVideo() const { return noVideo_; }
    const std::wstring& error() const { return error_; }

  private:
    ISiteOwner* to_;
    std::wstring error_;
    bool noVideo_ = false;
};

}  // namespace

int CExtractorSite::Process() {
    usingFallback_ = false;
    withoutExtractor_ = false;
    way_ = Way::kNone;
    if (web_) {
        // Media is ours to fetch as it is; only a page goes to yt-dlp.
        web_->owner = owner;
        int r = web_->FetchAddress();
        if (r != kResultOk || web_->IsMedia()) {
            usingFallback_ = true;
            way_ = Way::kDirect;
            TakeFromFallback();
            if (r == kResultOk) owner->PostStatus(kStatusDownloading);
            return r;
        }
    }
    copy_ = extractor::Current();
    extractor::Failure why;
    bool absent = !copy_->usable;
    int r = kResultNoVideo;
    if (absent)
        LogInfo(kTag, "yt-dlp is not usable (%s)", copy_->problem.c_str());
    else
        r = AskExtractor(why, absent);
    if (r != kResultNoVideo) return r;
    return UseFallback(why, absent);
}

int CExtractorSite::AskExtractor(extractor::Failure& why, bool& absent) {
    owner->PostStatus(kStatusAskingExtractor);
    ISiteOwner* o = owner;
    answer_ = extractor::Ask(*copy_, pageAddress, [o] { return o->StopRequested(); });
    switch (answer_.outcome) {
        case extractor::Outcome::kStopped:
            owner->SetError(L"Aborted");
            return kResultStopped;
        case extractor::Outcome::kOk:
            break;
        case extractor::Outcome::kAbsent:
            absent = true;
            why = answer_.failure;
            return kResultNoVideo;
        default:
            LogError(kTag, "yt-dlp: %s", answer_.failure.rawLine.c_str());
            why = answer_.failure;
            return kResultNoVideo;
    }
    if (answer_.info.direct && web_ && answer_.info.formats.size() == 1 &&
        answer_.info.formats[0].url == platform::ToUtf8(pageAddress)) {
        // We saw a page there; yt-dlp's guess that the page is the media is
        // no video.
        why = {LoadText(32891), "yt-dlp took the page itself for the media", false};
        return kResultNoVideo;
    }
    choice_ = extractor::ChooseFormat(answer_.info, maxHeight);
    if (choice_.kind == extractor::Choice::kNone) {
        why = {choice_.drmOnly ? LoadText(33410) : LoadText(32891),
               choice_.drmOnly ? "every format has DRM" : "no format fits", choice_.drmOnly};
        return kResultNoVideo;
    }
    const extractor::Info& info = answer_.info;
    if (!info.id.empty()) videoId = info.id;
    title = info.title.empty() ? videoId : info.title;
    owner->PostTitle(title);
    extension = platform::FromUtf8(choice_.ext);
    hls = false;
    if (choice_.kind == extractor::Choice::kNative) {
        way_ = Way::kNative;
        flvAddress = platform::FromUtf8(choice_.native->url);
    } else {
        way_ = Way::kExtractor;
        flvAddress = info.webpageUrl.empty() ? pageAddress : info.webpageUrl;
    }
    LogInfoW(kTag, L"%ls: %ls, format %ls (%dp) %ls", pageAddress.c_str(), title.c_str(),
             platform::FromUtf8(choice_.kind == extractor::Choice::kNative ? choice_.native->id
                                                                           : choice_.selector)
                 .c_str(),
             choice_.height, ServedBy().c_str());
    owner->PostStatus(kStatusVideoAddress);
    return kResultOk;
}

int CExtractorSite::UseFallback(const extractor::Failure& why, bool absent) {
    // Why yt-dlp could not help, when that names a cause, says more than
    // the scanner's "no video"; so does what to install.
    const std::wstring text =
        absent ? platform::FormatW(LoadText(33417).c_str(), pageAddress.c_str()) : why.message;
    if (!why.rawLine.empty()) LogError(kTag, "yt-dlp said: %s", why.rawLine.c_str());
    if (!fallback_) {
        owner->SetError(text);
        owner->PostStatus(kStatusNoVideo);
        return kResultNoVideo;
    }
    LogInfoW(kTag, L"%ls goes to the page scanner: %ls", pageAddress.c_str(), text.c_str());
    usingFallback_ = true;
    withoutExtractor_ = absent;
    way_ = Way::kFallback;
    ScanOwner scan(owner);
    fallback_->owner = &scan;
    int r = web_ ? web_->ScanFetchedPage() : fallback_->Process();
    fallback_->owner = owner;
    TakeFromFallback();
    if (scan.noVideo()) {
        LogInfoW(kTag, L"the page scanner: %ls", scan.error().c_str());
        owner->SetError(absent || why.specific ? text : scan.error());
        owner->PostStatus(kStatusNoVideo);
    } else if (r == kResultOk && web_) {
        owner->PostStatus(kStatusDownloading);
    }
    return r;
}

void CExtractorSite::TakeFromFallback() {
    title = fallback_->title;
    videoId = fallback_->videoId;
    pageAddress = fallback_->pageAddress;
    flvAddress = fallback_->flvAddress;
    extension = fallback_->extension;
    hls = fallback_->hls;
    siteName = fallback_->siteName.empty() ? siteName : fallback_->siteName;
}

bool CExtractorSite::MakeOutputName(const std::wstring& outputFolder, bool useTitle,
                                    std::wstring& finalPath, std::wstring& tempPath) {
    if (usingFallback_)
        return fallback_->MakeOutputName(outputFolder, useTitle, finalPath, tempPath);
    return CVideoSite::MakeOutputName(outputFolder, useTitle, finalPath, tempPath);
}

void CExtractorSite::SplitHeaders(const extractor::Format& format, std::vector<std::string>& any,
                                  std::vector<std::string>& ownHost) {
    // Headers that describe the transfer itself are libcurl's to set; one it
    // did not ask for (an encoding) would leave a file it cannot read.
    static const char* const kLeftOut[] = {
        "host",  "content-length", "transfer-encoding",  "connection",
        "range", "if-range",       "accept-encoding",    "expect",
        "te",    "upgrade",        "proxy-authorization"};
    for (const auto& [name, value] : format.headers) {
        std::string key = Lower(name);
        bool ok = !key.empty() && Clean(name) && Clean(value) &&
                  key.find_first_of(" :\t") == std::string::npos && value.size() < 8192;
        for (const char* l : kLeftOut) ok = ok && key != l;
        if (!ok) continue;
        (key == "cookie" ? ownHost : any).push_back(name + ": " + value);
    }
    UrlParts parts;
    if (!format.cookies.empty() && CrackUrl(platform::FromUtf8(format.url), parts)) {
        std::string cookies = CookiesFor(format.cookies, platform::ToUtf8(parts.host));
        if (!cookies.empty() && Clean(cookies)) ownHost.push_back("Cookie: " + cookies);
    }
}

long CExtractorSite::FetchNative(const std::wstring& tempPath, std::atomic<uint64_t>& contentLength,
                                 std::atomic<uint64_t>& bytesReceived, int& result) {
    const extractor::Format& f = *choice_.native;
    std::vector<std::string> any, ownHost;
    SplitHeaders(f, any, ownHost);
    UrlParts parts;
    CrackUrl(platform::FromUtf8(f.url), parts);
    CHttpTransfer http(owner, owner->UseCache());
    http.SetMediaHeaders(any, ownHost, parts.host);
    std::wstring finalUrl;
    result = http.GetFLVFile(platform::FromUtf8(f.url), tempPath, finalUrl, contentLength,
                             bytesReceived);
    if (!finalUrl.empty()) flvAddress = finalUrl;
    return result == kResultFailed ? http.RefusedStatus() : 0;
}

namespace {

// The run's transfer owner, with a word added to every error it is told.
class HintOwner : public IHttpOwner {
  public:
    HintOwner(ISiteOwner* to, std::wstring hint) : to_(to), hint_(std::move(hint)) {}
    bool IsAborted() override { return to_->IsAborted(); }
    bool StopRequested() const override { return to_->StopRequested(); }
    void PostProgress(unsigned v) override { to_->PostProgress(v); }
    void SetError(const std::wstring& text) override {
        to_->SetError(platform::FormatW(hint_.c_str(), text.c_str()));
    }
    void ClearFinalPath() override { to_->ClearFinalPath(); }

  private:
    ISiteOwner* to_;
    std::wstring hint_;
};

}  // namespace

int CExtractorSite::DownloadVideo(const std::wstring& tempPath,
                                  std::atomic<uint64_t>& contentLength,
                                  std::atomic<uint64_t>& bytesReceived) {
    if (usingFallback_ && withoutExtractor_ && !hls) {
        // What the scanner found while yt-dlp was missing may be what only
        // yt-dlp can fetch (a manifest): a failure says what to install.
        HintOwner hinted(owner, LoadText(33425));
        CHttpTransfer http(&hinted, owner->UseCache());
        std::wstring finalUrl;
        int r = http.GetFLVFile(flvAddress, tempPath, finalUrl, contentLength, bytesReceived);
        if (!finalUrl.empty()) flvAddress = finalUrl;
        return r;
    }
    if (usingFallback_) return fallback_->DownloadVideo(tempPath, contentLength, bytesReceived);
    if (way_ == Way::kExtractor)
        return FetchWithExtractor(tempPath, choice_.selector, contentLength, bytesReceived);
    int result = kResultFailed;
    long refused = FetchNative(tempPath, contentLength, bytesReceived, result);
    if (refused != 403 || owner->StopRequested()) return result;
    // Addresses of some sites expire or are bound to the asker: one fresh
    // answer, then yt-dlp itself.
    LogInfoW(kTag, L"%ls answered 403; asking yt-dlp once more", flvAddress.c_str());
    std::string formatId = choice_.native->id;
    extractor::Failure why;
    bool absent = false;
    int asked = AskExtractor(why, absent);
    if (asked != kResultOk) {
        if (asked == kResultNoVideo) owner->SetError(why.message);
        return kResultFailed;
    }
    if (way_ == Way::kNative) {
        formatId = choice_.native->id;
        refused = FetchNative(tempPath, contentLength, bytesReceived, result);
        if (refused != 403 || owner->StopRequested()) return result;
        LogInfoW(kTag, L"%ls answered 403 again; yt-dlp downloads it", flvAddress.c_str());
    } else {
        formatId = choice_.selector;
    }
    way_ = Way::kExtractor;
    return FetchWithExtractor(tempPath, formatId, contentLength, bytesReceived);
}

int CExtractorSite::FetchWithExtractor(const std::wstring& tempPath, const std::string& selector,
                                       std::atomic<uint64_t>& contentLength,
                                       std::atomic<uint64_t>& bytesReceived) {
    const int parts = 1 + static_cast<int>(std::count(selector.begin(), selector.end(), '+'));
    if (parts > 1 && platform::FindProgram("ffmpeg").empty()) {
        owner->SetError(LoadText(33418));
        return kResultFailed;
    }
    const std::string temp = platform::ToUtf8(tempPath);
    // yt-dlp's own partial files live in a private folder beside the result,
    // so that a stop or a failure takes them all away. Those a killed run
    // left in the other site folders go once a run.
    extractor::SweepFolderTreeOnce(FolderOf(FolderOf(temp)), kWorkPrefix);
    extractor::PrivateFolder work(FolderOf(temp), kWorkPrefix);
    if (work.path().empty()) {
        int err = errno;
        owner->SetError(platform::FromUtf8("Can not create a folder in " + FolderOf(temp) + ": " +
                                           std::strerror(err)));
        return kResultFailed;
    }
    owner->PostStatus(kStatusExtractorDownloading);
    contentLength = 0;
    bytesReceived = 0;
    ISiteOwner* o = owner;
    auto progress = [&](const extractor::Progress& p) {
        contentLength = p.total;
        bytesReceived = p.bytes;
        o->PostProgress(p.thousandths);
    };
    extractor::DownloadResult r =
        extractor::Download(*copy_, answer_.jsonPath, selector, work.path(), choice_.ext, parts,
                            progress, [o] { return o->IsAborted(); });
    if (r.outcome == extractor::Outcome::kStopped) {
        owner->ClearFinalPath();
        owner->SetError(L"Aborted");
        return kResultFailed;
    }
    if (r.outcome != extractor::Outcome::kOk) {
        LogError(kTag, "yt-dlp download of %s: %s", selector.c_str(), r.failure.rawLine.c_str());
        owner->SetError(r.failure.message);
        return kResultFailed;
    }
    // The result takes the place of the empty file our naming reserved.
    if (std::rename(r.file.c_str(), temp.c_str()) != 0) {
        int err = errno;
        owner->SetError(platform::FromUtf8("Can not move " + r.file + " to " + temp + ": " +
                                           std::strerror(err)));
        return kResultFailed;
    }
    if (r.file.substr(r.file.rfind('.') + 1) != choice_.ext)
        LogError(kTag, "yt-dlp made %s where .%s was expected", r.file.c_str(),
                 choice_.ext.c_str());
    owner->PostProgress(1000);
    return kResultOk;
}

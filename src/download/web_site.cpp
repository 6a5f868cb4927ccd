#include "download/web_site.h"

#include <curl/curl.h>

#include "app/logging.h"
#include "download/failure_text.h"
#include "download/media_name.h"
#include "download/page_scanner.h"
#include "download/site_helpers.h"
#include "download/url.h"
#include "platform/text.h"

namespace {

constexpr const char* kTag = "CWebSite";
const wchar_t kDowngradeText[] =
    L"The address led from a secure https address to an insecure one (%ls), so nothing was "
    L"downloaded from there.";

std::wstring HostText(const std::wstring& url) {
    UrlParts parts;
    return CrackUrl(url, parts) ? parts.host : url;
}

bool IsDowngrade(const std::wstring& from, const std::wstring& to) {
    UrlParts a, b;
    return CrackUrl(from, a) && a.scheme == L"https" && CrackUrl(to, b) && b.scheme == L"http";
}

// An HLS playlist, whatever type it was sent with.
bool IsPlaylistText(const std::wstring& text) {
    size_t start = text.find_first_not_of(L"\uFEFF \t\r\n");
    return start != std::wstring::npos && text.compare(start, 7, L"#EXTM3U") == 0;
}

// application/octet-stream whose suggested name is of a media file.
bool IsMediaDownload(const std::wstring& contentType, const std::string& disposition) {
    std::wstring name = ContentDispositionName(disposition), stem, ext;
    SplitFileName(name, stem, ext);
    return IsMediaExtension(ext) && IsMediaAnswer(contentType, L"http://x/a." + ext);
}

// The extension a media file is saved with: its own when it is a media one,
// else the one of its type.
std::wstring ChooseExtension(const std::wstring& own, std::wstring_view contentType) {
    if (IsMediaExtension(own) && own != L"m3u8") return own;
    std::wstring byType = ExtensionForType(contentType);
    if (!byType.empty() && byType != L"m3u8") return byType;
    return L"mp4";
}

}  // namespace

CWebSite::CWebSite(const std::wstring& address) {
    siteKind = kSiteOther;
    pageAddress = address;
    siteName = HostProfileName(address);
    extension = L"mp4";
}

std::wstring CWebSite::GetVideoId() {
    std::wstring ext;
    SplitFileName(MediaFileName("", pageAddress), videoId, ext);
    return videoId;
}

int CWebSite::Open(CHttpTransfer& http, const std::wstring& url,
                   std::unique_ptr<CHttpAnswer>& answer, std::wstring& finalUrl) {
    std::wstring current = url;
    try {
        for (int hops = 0; hops <= kMaxRedirects; ++hops) {
            std::wstring location;
            answer.reset();
            int r = http.RequestHTTP(current, answer, location, 1, nullptr);
            if (r == kResultOk && answer && (answer->Status() == 307 || answer->Status() == 308) &&
                !answer->Header("Location").empty()) {
                location = platform::FromUtf8(answer->Header("Location"));
                r = kResultRedirect;
            }
            if (r == kResultRedirect) {
                std::wstring next = ResolveUrl(current, location);
                LogInfoW(kTag, L"Redirect to %ls", next.c_str());
                // Whatever comes from a plain address after a secure one
                // could have been changed on the way: nothing is asked there.
                if (IsDowngrade(current, next)) {
                    owner->SetError(failure_text::Format(33204, kDowngradeText, next));
                    return kResultNoVideo;
                }
                current = next;
                continue;
            }
            if (r != kResultOk || !answer) return kResultFailed;
            finalUrl = current;
            return kResultOk;
        }
        owner->SetError(L"Too many redirects from " + HostText(current));
        return kResultFailed;
    } catch (const CNetException& e) {
        if (e.code == kNetErrorBase + CURLE_ABORTED_BY_CALLBACK && owner->IsAborted()) {
            owner->SetError(L"Aborted");
            return kResultStopped;
        }
        CHttpTransfer::ReportException("CWebSite::Open", e);
        owner->SetError(platform::FromUtf8(e.message));
        return e.code;
    }
}

int CWebSite::Process() {
    int r = FetchAddress();
    if (r == kResultOk && !IsMedia()) r = ScanFetchedPage();
    if (r == kResultOk) owner->PostStatus(kStatusDownloading);
    return r;
}

int CWebSite::FetchAddress() {
    media_ = false;
    page_.clear();
    owner->PostStatus(kStatusConnecting);
    CHttpTransfer http(owner, owner->UseCache());
    std::unique_ptr<CHttpAnswer> answer;
    std::wstring at;
    int r = Open(http, pageAddress, answer, at);
    if (r != kResultOk) {
        owner->PostStatus(r == kResultStopped   ? kStatusStopped
                          : r == kResultNoVideo ? kStatusNoVideo
                                                : kStatusFailed);
        return r;
    }
    long status = answer->Status();
    if (status < 200 || status > 299) {
        // An error answer is neither a video nor a page to search.
        owner->SetError(failure_text::PageAnswered(at, status, answer->StatusText()));
        owner->PostStatus(kStatusFailed);
        return kResultFailed;
    }
    std::wstring type = platform::FromUtf8(answer->Header("Content-Type"));
    media_ =
        IsMediaAnswer(type, at) || IsMediaDownload(type, answer->Header("Content-Disposition"));
    if (media_) return TakeMedia(*answer, at, false);
    r = ReadPage(*answer, at);
    // Playlists are often sent as plain text or without a type.
    if (r == kResultOk && IsPlaylistText(page_)) {
        media_ = true;
        std::wstring().swap(page_);
        return TakeMedia(*answer, at, true);
    }
    return r;
}

int CWebSite::TakeMedia(const CHttpAnswer& answer, const std::wstring& finalUrl, bool playlist) {
    std::wstring type = platform::FromUtf8(answer.Header("Content-Type"));
    std::wstring name = MediaFileName(answer.Header("Content-Disposition"), finalUrl);
    std::wstring stem, ext;
    SplitFileName(name, stem, ext);
    hls = playlist || IsHlsType(type) || ext == L"m3u8";
    extension = hls ? L"ts" : ChooseExtension(ext, type);
    // The download asks for the address again; its answer is read there.
    flvAddress = finalUrl;
    videoId = stem;
    title = stem;
    owner->PostTitle(title);
    LogInfoW(kTag, L"%ls is media (%ls), saved as %ls.%ls", finalUrl.c_str(), type.c_str(),
             stem.c_str(), extension.c_str());
    return kResultOk;
}

int CWebSite::ReadPage(CHttpAnswer& answer, const std::wstring& finalUrl) {
    owner->PostStatus(kStatusFetchingPage);
    std::string bytes;
    try {
        char buf[65536];
        while (size_t n = answer.Read(buf, sizeof buf)) {
            if (bytes.size() + n > CHttpTransfer::kMaxPageBytes) {
                owner->SetError(L"The page is larger than the 64 MiB a page may have (" +
                                HostText(finalUrl) + L")");
                owner->PostStatus(kStatusFailed);
                return kResultFailed;
            }
            bytes.append(buf, n);
            if (owner->IsAborted()) {
                owner->SetError(L"Aborted");
                owner->PostStatus(kStatusStopped);
                return kResultStopped;
            }
        }
    } catch (const CNetException& e) {
        if (e.code == kNetErrorBase + CURLE_ABORTED_BY_CALLBACK && owner->IsAborted()) {
            owner->SetError(L"Aborted");
            owner->PostStatus(kStatusStopped);
            return kResultStopped;
        }
        CHttpTransfer::ReportException("CWebSite::ReadPage", e);
        owner->SetError(platform::FromUtf8(e.message));
        owner->PostStatus(kStatusFailed);
        return e.code;
    }
    owner->PostStatus(kStatusPageFetched);
    page_ = platform::FromUtf8(bytes);
    pageUrl_ = finalUrl;
    return kResultOk;
}

int CWebSite::ScanFetchedPage() {
    CPageScan scan = ScanPage(page_, pageUrl_, true);
    std::wstring().swap(page_);
    const std::wstring& finalUrl = pageUrl_;
    const CPageCandidate* chosen = ChooseCandidate(scan);
    LogInfoW(kTag, L"%zu candidates on %ls", scan.candidates.size(), finalUrl.c_str());
    if (!chosen) {
        owner->SetError(failure_text::Format(33202, L"No video was found on %ls", pageAddress));
        owner->PostStatus(kStatusNoVideo);
        return kResultNoVideo;
    }
    std::wstring stem, ext;
    SplitFileName(MediaFileName("", chosen->url), stem, ext);
    flvAddress = chosen->url;
    hls = chosen->hls;
    extension = hls ? L"ts" : ChooseExtension(ext, L"");
    videoId = stem;
    title = !scan.ogTitle.empty() ? scan.ogTitle : !scan.title.empty() ? scan.title : stem;
    owner->PostTitle(title);
    LogInfoW(kTag, L"Video of %ls: %ls", finalUrl.c_str(), flvAddress.c_str());
    return kResultOk;
}

// Google Video: the player's script names the video file; a page that only
// frames another site's page hands that page back to the run.
#include "download/pattern.h"
#include "download/site_helpers.h"
#include "download/url.h"
#include "download/video_site.h"

namespace {
// Literal backslash sequences of the page's script text.
constexpr const wchar_t* kStartMarker = L"/googleplayer.swf?videoUrl\\x3d";
constexpr const wchar_t* kEndMarker = L"\\x26thumbnailUrl";
constexpr const wchar_t* kFrameMarker = L"<iframe class=\"frame-iframe\" id=\"external_page\"";
}  // namespace

CGoogleVideoSite::CGoogleVideoSite(const std::wstring& address) {
    siteName = L"Google";
    siteKind = kSiteGoogleVideo;
    pageAddress = address;
}

std::wstring CGoogleVideoSite::GetVideoId() {
    videoId.clear();
    ExtractQueryValue(pageAddress, L"?docid=", videoId);
    return videoId;
}

int CGoogleVideoSite::ParsePage(const std::wstring& page) {
    size_t start = page.find(kStartMarker);
    size_t end = page.find(kEndMarker);
    if (start != std::wstring::npos) {
        start += std::wstring(kStartMarker).size();
        if (end != std::wstring::npos && end > start)
            flvAddress = CanonicalizeUrl(page.substr(start, end - start));
    }
    if (!flvAddress.empty()) return ExtractTitle(page);
    size_t frame = page.find(kFrameMarker);
    if (frame != std::wstring::npos && frame > 0) {
        static const CPattern kSource(
            L"document\\.getElementById\\('external_page'\\)\\.src = \"(.*)\"");
        std::vector<std::wstring> g;
        if (kSource.FindFirst(page, g)) {
            pageAddress = g[1];
            return kResultOtherPage;
        }
    }
    return kResultNoVideo;
}

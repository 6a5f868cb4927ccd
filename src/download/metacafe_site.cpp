// MetaCafe: the page names its video file in a mediaURL value.
#include "download/pattern.h"
#include "download/site_helpers.h"
#include "download/site_hosts.h"
#include "download/url.h"
#include "download/video_site.h"

CMetaCafeSite::CMetaCafeSite(const std::wstring& address) {
    siteName = L"MetaCafe";
    siteKind = kSiteMetaCafe;
    pageAddress = address;
}

std::wstring CMetaCafeSite::GetVideoId() {
    static const CPattern kId(std::wstring(L"(?:http://)?(?:www\\.)?") +
                                  EscapeDots(kMetaCafeDomain) + L"/watch/([^/]+)/([^/]+/)?.*",
                              CPattern::kCaseless);
    std::vector<std::wstring> g;
    videoId = kId.FindLast(pageAddress, g) ? g[1] : L"metacafe";
    return videoId;
}

int CMetaCafeSite::ParsePage(const std::wstring& page) {
    static const CPattern kMedia(L"mediaURL=(http.*?\\.flv)&", CPattern::kCaseless);
    std::vector<std::wstring> g;
    if (!kMedia.FindFirst(page, g)) return kResultNoVideo;
    flvAddress = CanonicalizeUrl(g[1]);
    const std::wstring cdn = kMetaCafeCdnHost;
    for (size_t pos = 0; (pos = flvAddress.find(cdn, pos)) != std::wstring::npos;) {
        flvAddress.replace(pos, cdn.size(), kMetaCafeVideoHost);
        pos += std::wstring(kMetaCafeVideoHost).size();
    }
    ExtractTitle(page);
    return 0;
}

// YouTube: optional login and age confirmation, then the page's token
// builds the get_video address; the format setting picks the extension.
#include <vector>

#include "app/settings.h"
#include "download/pattern.h"
#include "download/site_helpers.h"
#include "download/site_hosts.h"
#include "download/url.h"
#include "download/video_site.h"

CYouTubeSite::CYouTubeSite(const std::wstring& address) {
    siteName = L"YouTube";
    siteKind = kSiteYouTube;
    pageAddress = address;
}

std::wstring CYouTubeSite::GetVideoId() {
    size_t pos = pageAddress.find(L"?v=");
    videoId = (pos == std::wstring::npos || pos == 0) ? L"youtube" : pageAddress.substr(pos + 3);
    return videoId;
}

int CYouTubeSite::Prepare() {
    SettingsData s = GetSettings().Get();
    SetUser(s.YTUser);
    SetPassword(s.YTPasswd);
    if (user_.empty()) return 0;
    int r = Login(videoId, user_, password_);
    if (r == 0) r = ConfirmAgeVerify(videoId);
    if (r != 0) owner->PostStatus(kStatusFailed);
    return r;
}

int CYouTubeSite::Login(const std::wstring&, const std::wstring& user,
                        const std::wstring& password) {
    std::wstring body = L"current_form=loginForm&next=/&username=" + user + L"&password=" +
                        password + L"&action_login=Log%20In";
    return PostForm(kStatusLogin, kStatusLoggedIn,
                    std::wstring(L"http://") + kYouTubeFormsHost + L"/login?next_url=/", body,
                    "Login");
}

int CYouTubeSite::ConfirmAgeVerify(const std::wstring&) {
    return PostForm(kStatusAgeConfirm, kStatusAgeConfirmed,
                    std::wstring(L"http://") + kYouTubeFormsHost + L"/verify_age?next_url=/",
                    L"next_url=/&action_confirm=Confirm", "ConfirmAgeVerify");
}

int CYouTubeSite::ParsePage(const std::wstring& page) {
    static const CPattern kToken(L", \"t\": \"([^\"]+)\"");
    static const CPattern kTitle(L"<title>YouTube - ([^<]*)</title>", CPattern::kCaseless);
    std::vector<std::wstring> g;
    if (!kToken.FindLast(page, g)) return kResultNoVideo;
    UrlParts parts;
    if (!CrackUrl(pageAddress, parts)) return kResultNoVideo;
    flvAddress = L"http://" + parts.host + L"/get_video.php?video_id=" + videoId + L"&t=" + g[1];
    switch (GetSettings().Get().YoutubeFMT) {
        case 1:
            flvAddress += L"&fmt=18";
            extension = L"mp4";
            break;
        case 2:
            flvAddress += L"&fmt=17";
            extension = L"3gp";
            break;
        default:
            break;
    }
    owner->PostStatus(kStatusVideoAddress);
    if (kTitle.FindLast(page, g)) {
        title = g[1];
        owner->PostTitle(title);
    } else {
        title = videoId;
    }
    return 0;
}

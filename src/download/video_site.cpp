#include "download/video_site.h"

#include "app/folders.h"
#include "app/localization.h"
#include "app/logging.h"
#include "app/settings.h"
#include "download/pattern.h"
#include "download/site_helpers.h"
#include "download/site_hosts.h"
#include "download/url.h"
#include "platform/message_box.h"
#include "platform/text.h"

int CVideoSite::Process() {
    int r = Prepare();
    if (r != 0) return r;
    std::wstring page;
    r = FetchPage(pageAddress, page);
    if (r != 0) {
        owner->PostStatus(r == kResultStopped ? kStatusStopped : kStatusFailed);
        return r;
    }
    r = ParsePage(page);
    if (r == kResultNoVideo) {
        owner->SetError(LoadText(32891));
        owner->PostStatus(kStatusNoVideo);
    }
    return r;
}

int CVideoSite::FetchPage(const std::wstring& address, std::wstring& page) {
    owner->PostStatus(kStatusFetchingPage);
    CHttpTransfer http(owner, owner->UseCache());
    int r = http.GetHTMLPage(address, page);
    if (r == 0) owner->PostStatus(kStatusPageFetched);
    if (r == kResultStopped) owner->SetError(L"Aborted");
    return r;
}

int CVideoSite::ExtractTitle(const std::wstring& page) {
    static const CPattern kTitle(L"<title>([^<]*)</title>", CPattern::kCaseless);
    std::vector<std::wstring> g;
    if (kTitle.FindLast(page, g)) {
        title = DecodeEntities(g[1]);
        owner->PostTitle(title);
    } else {
        title = videoId;
    }
    return 0;
}

bool CVideoSite::MakeOutputName(const std::wstring& outputFolder, bool useTitle,
                                std::wstring& finalPath, std::wstring& tempPath) {
    if (BuildOutputPaths(outputFolder, siteName, useTitle ? title : videoId, extension, finalPath,
                         tempPath))
        return true;
    ShowBox(L"File name exceed max length, please change the output folder to a shorten one!",
            platform::MB_OK);
    return false;
}

int CVideoSite::ShowBox(const std::wstring& text, unsigned flags) {
    ISiteOwner* o = owner;
    return platform::ShowMessageBox(text, kAppName, flags, [o] { return o && o->StopRequested(); });
}

std::unique_ptr<CVideoSite> CreateSiteHandler(const std::wstring& address, ISiteOwner* owner) {
    std::unique_ptr<CVideoSite> site;
    switch (GetSiteKind(address)) {
        case kSiteYouTube:
            site = std::make_unique<CYouTubeSite>(address);
            break;
        case kSiteGoogleVideo:
            site = std::make_unique<CGoogleVideoSite>(address);
            break;
        case kSiteMetaCafe:
            site = std::make_unique<CMetaCafeSite>(address);
            break;
        case kSiteNicoVideo:
            site = std::make_unique<CNicoVideoSite>(address);
            break;
        default:
            return nullptr;
    }
    site->owner = owner;
    return site;
}

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

int CVideoSite::PostForm(int before, int after, const std::wstring& url, const std::wstring& body,
                         const char* name) {
    owner->PostStatus(before);
    CHttpTransfer http(owner, owner->UseCache());
    try {
        std::unique_ptr<CHttpAnswer> answer;
        std::wstring location;
        int r = http.RequestHTTP(url, answer, location, 0, &body);
        answer.reset();
        if (r != 302) return -1;
        owner->PostStatus(after);
        return 0;
    } catch (const CNetException& e) {
        CHttpTransfer::ReportException(name, e);
        return e.code;
    }
}

int CYouTubeSite::Login(const std::wstring&, const std::wstring& user,
                        const std::wstring& password) {
    std::wstring body = L"current_form=loginForm&next=/&username=" + user + L"&password=" +
                        password + L"&action_login=Log%20In";
    return PostForm(kStatusLogin, kStatusLoggedIn, std::wstring(L"http://") + kYouTubeFormsHost + L"/login?next_url=/",
                    body, "Login");
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

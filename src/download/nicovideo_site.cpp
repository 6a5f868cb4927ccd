// NicoVideo: an https login, then the video-information answer names the
// video file; the kind of its "smile" address picks the extension.
#include <atomic>

#include "app/localization.h"
#include "app/settings.h"
#include "download/pattern.h"
#include "download/site_helpers.h"
#include "download/site_hosts.h"
#include "download/url.h"
#include "download/video_site.h"
#include "platform/message_box.h"
#include "platform/text.h"

namespace {
// The account hint is shown once per program run.
std::atomic<bool> g_accountHintShown{false};
}  // namespace

CNicoVideoSite::CNicoVideoSite(const std::wstring& address) {
    siteName = L"NicoVideo";
    siteKind = kSiteNicoVideo;
    pageAddress = address;
}

void CNicoVideoSite::ResetAccountHint() {
    g_accountHintShown = false;
}

std::wstring CNicoVideoSite::GetVideoId() {
    static const CPattern kId(std::wstring(L"(?:http://)?(?:\\w+\\.)?") +
                                  EscapeDots(kNicoVideoDomain) +
                                  L"/(?:v/|(?:watch(?:\\.php)?))?/(\\w+)",
                              CPattern::kCaseless);
    std::vector<std::wstring> g;
    videoId = kId.FindLast(pageAddress, g) ? g[1] : L"nico";
    return videoId;
}

int CNicoVideoSite::Prepare() {
    SettingsData s = GetSettings().Get();
    SetUser(s.NicoUser);
    SetPassword(s.NicoPasswd);
    if (s.NicoUser.empty() && !g_accountHintShown.exchange(true)) {
        ShowBox(LoadText(32876), platform::MB_OK);
    }
    if (user_.empty()) return 0;
    int r = Login(videoId, user_, password_);
    if (r != 0) owner->PostStatus(kStatusFailed);
    return r;
}

int CNicoVideoSite::Login(const std::wstring& videoId, const std::wstring& user,
                          const std::wstring& password) {
    // The values go in as they are, unescaped.
    std::wstring body = L"current_form=login&next_url=%2Fwatch%2F" + videoId + L"&mail=" + user +
                        L"&password=" + password + L"&login_submit=Log+In";
    return PostForm(
        100, 101, std::wstring(L"https://") + kNicoVideoSecureHost + L"/secure/login?site=niconico",
        body, "Login");
}

int CNicoVideoSite::ParsePage(const std::wstring& page) {
    std::wstring answer;
    {
        CHttpTransfer http(owner, owner->UseCache());
        // A failed answer is simply empty or partial.
        http.GetHTMLPage(std::wstring(L"http://") + kNicoVideoHost + L"/api/getflv?v=" + videoId,
                         answer);
    }
    size_t pos = 0;
    for (;;) {
        size_t amp = answer.find(L'&', pos);
        std::wstring part(platform::Trim(
            std::wstring_view(answer).substr(pos, amp == std::wstring::npos ? std::wstring::npos : amp - pos),
            L" \t\r\n"));
        if (part.compare(0, 4, L"url=") == 0) {
            UrlParts parts;
            if (!CrackUrl(CanonicalizeUrl(part.substr(4)), parts)) return kResultNoVideo;
            flvAddress = L"http://" + parts.host + parts.path;
            break;
        }
        if (amp == std::wstring::npos) break;
        pos = amp + 1;
    }
    if (flvAddress.empty()) return kResultNoVideo;
    ExtractTitle(page);
    static const CPattern kSmile(
        std::wstring(L"^http://.*\\.") + EscapeDots(kNicoVideoDomain) + L"/smile\\?(.*?)=.*",
        CPattern::kCaseless);
    std::vector<std::wstring> g;
    if (kSmile.FindLast(flvAddress, g)) {
        if (g[1] == L"s") extension = L"swf";
        if (g[1] == L"m") extension = L"mp4";
    }
    return 0;
}

#include "download/video_site.h"

#include <cerrno>
#include <cstring>

#include "app/folders.h"
#include "app/helpers.h"
#include "app/localization.h"
#include "app/logging.h"
#include "app/settings.h"
#include "download/extractor_site.h"
#include "download/failure_text.h"
#include "download/pattern.h"
#include "download/site_helpers.h"
#include "download/site_hosts.h"
#include "download/url.h"
#include "download/web_site.h"
#include "platform/message_box.h"
#include "platform/text.h"

int CVideoSite::Process() {
    int r = Prepare();
    if (r != 0) return r;
    std::wstring page;
    r = FetchPage(pageAddress, page);
    // A stop is reported once, by the run.
    if (r == kResultStopped) return r;
    if (r != 0) {
        owner->PostStatus(kStatusFailed);
        return r;
    }
    r = ParsePage(page);
    if (r == kResultNoVideo && owner->StopRequested()) return kResultStopped;
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
    if (r == kResultStopped)
        LogInfoW("CVideoDownloader", L"Page fetch stopped by the user: %ls", address.c_str());
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
    std::wstring name = useTitle ? title : videoId;
    if (!FitNameToFolder(outputFolder, name)) {
        ShowBox(L"File name exceed max length, please change the output folder to a shorten one!",
                platform::MB_OK);
        return false;
    }
    if (BuildOutputPaths(outputFolder, siteName, useTitle ? title : videoId, extension, finalPath,
                         tempPath, pageAddress))
        return true;
    int err = errno;
    // The error of the last step is often only the missing folder; the
    // folder itself tells why it could not be made or written.
    const std::wstring folder = JoinPath(outputFolder, siteName);
    if (int why = FolderWriteError(folder)) err = why;
    owner->SetError(failure_text::FolderRefused(folder, err ? err : EEXIST));
    owner->PostStatus(kStatusNoVideo);
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
        case kSiteOther:
            // A page goes to yt-dlp first when it is there; media, and pages
            // yt-dlp can not help with, to our own handler.
            site = std::make_unique<CExtractorSite>(address, std::make_unique<CWebSite>(address));
            break;
        default:
            return nullptr;
    }
    site->owner = owner;
    return site;
}

bool IsAcceptedAddress(const std::wstring& address) {
    return CreateSiteHandler(TrimAddress(address), nullptr) != nullptr;
}

int CVideoSite::PostForm(int before, int after, const std::wstring& url, const std::wstring& body,
                         const char* name) {
    owner->PostStatus(before);
    CHttpTransfer http(owner, owner->UseCache());
    try {
        std::unique_ptr<CHttpAnswer> answer;
        std::wstring location;
        int r = http.RequestHTTP(url, answer, location, 0, &body);
        if (r == kResultOk) {
            // The form came back instead of leading on: the site refused it.
            UrlParts parts;
            CrackUrl(url, parts);
            std::wstring text = platform::FormatW(L"%s at %ls was refused (HTTP %ld)", name,
                                                  parts.host.c_str(), answer->Status());
            if (std::strcmp(name, "Login") == 0)
                text += L"; check the user name and password in the settings";
            owner->SetError(text);
        }
        answer.reset();
        if (r != kResultRedirect) return kResultFailed;
        owner->PostStatus(after);
        return kResultOk;
    } catch (const CNetException& e) {
        if (owner->StopRequested()) return kResultStopped;
        CHttpTransfer::ReportException(name, e);
        owner->SetError(platform::FromUtf8(e.message));
        return e.code;
    }
}

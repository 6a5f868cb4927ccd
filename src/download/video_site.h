#pragma once
// Site handlers: one object per page address, driven by the download run.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "download/codes.h"
#include "download/http_transfer.h"

// What a site handler reports to the run that drives it.
class ISiteOwner : public IHttpOwner {
  public:
    virtual void PostStatus(int code) = 0;
    // The title found; the owner keeps it and tells the window.
    virtual void PostTitle(const std::wstring& title) = 0;
    virtual bool UseCache() const = 0;
};

class CVideoSite {
  public:
    CVideoSite() = default;
    virtual ~CVideoSite() = default;
    virtual void SetUser(const std::wstring& user) { user_ = user; }
    virtual void SetPassword(const std::wstring& password) { password_ = password; }
    virtual int Process();
    virtual int Login(const std::wstring&, const std::wstring&, const std::wstring&) { return 0; }
    virtual int ConfirmAgeVerify(const std::wstring&) { return 0; }
    virtual std::wstring GetVideoId() = 0;
    virtual int Prepare() { return 0; }
    virtual int FetchPage(const std::wstring& address, std::wstring& page);
    virtual int ParsePage(const std::wstring& page) { return ExtractTitle(page); }
    // False when the output folder leaves no room for a name (after the box).
    virtual bool MakeOutputName(const std::wstring& outputFolder, bool useTitle,
                                std::wstring& finalPath, std::wstring& tempPath);
    // Downloads the video found into `tempPath` itself: 0, -1 with an error
    // text, or a network error code. kResultRunFetches leaves the fetch of
    // flvAddress to the run.
    virtual int DownloadVideo(const std::wstring& /*tempPath*/,
                              std::atomic<uint64_t>& /*contentLength*/,
                              std::atomic<uint64_t>& /*bytesReceived*/) {
        return kResultRunFetches;
    }

    // Which way served the video, for the row's tooltip; empty for the
    // handlers of the four sites.
    virtual std::wstring ServedBy() const { return L""; }

    int ExtractTitle(const std::wstring& page);

    ISiteOwner* owner = nullptr;
    int siteKind = -1;
    std::wstring pageAddress, videoId, title, flvAddress, siteName;
    std::wstring extension = L"flv";
    // flvAddress is an HLS playlist (see hls_download.h).
    bool hls = false;

  protected:
    // A message box of the run's; it ends unanswered when the run is stopped.
    int ShowBox(const std::wstring& text, unsigned flags);
    // POSTs a form; a redirect answer is success (status `after` posted).
    // 0, -1 without a redirect, or the network error code.
    int PostForm(int before, int after, const std::wstring& url, const std::wstring& body,
                 const char* name);
    std::wstring user_, password_;
};

std::unique_ptr<CVideoSite> CreateSiteHandler(const std::wstring& address, ISiteOwner* owner);

// Whether a download of the address can start: some site handler takes it
// (blanks around it aside). The window asks before it adds an address.
bool IsAcceptedAddress(const std::wstring& address);

class CYouTubeSite : public CVideoSite {
  public:
    explicit CYouTubeSite(const std::wstring& address);
    int Login(const std::wstring& videoId, const std::wstring& user,
              const std::wstring& password) override;
    int ConfirmAgeVerify(const std::wstring& videoId) override;
    std::wstring GetVideoId() override;
    int Prepare() override;
    int ParsePage(const std::wstring& page) override;
};

class CNicoVideoSite : public CVideoSite {
  public:
    explicit CNicoVideoSite(const std::wstring& address);
    int Login(const std::wstring& videoId, const std::wstring& user,
              const std::wstring& password) override;
    std::wstring GetVideoId() override;
    int Prepare() override;
    int ParsePage(const std::wstring& page) override;
    // The account hint is shown once per program run; this starts it anew.
    static void ResetAccountHint();
};

class CMetaCafeSite : public CVideoSite {
  public:
    explicit CMetaCafeSite(const std::wstring& address);
    std::wstring GetVideoId() override;
    int ParsePage(const std::wstring& page) override;
};

class CGoogleVideoSite : public CVideoSite {
  public:
    explicit CGoogleVideoSite(const std::wstring& address);
    std::wstring GetVideoId() override;
    // 0, -2, or 205 when the page only frames another one, which is then
    // named by pageAddress.
    int ParsePage(const std::wstring& page) override;
};

#pragma once
// The handler of every address that is not an http address of the four
// designed sites: an answer that is media is downloaded as it is; a page is
// searched for its video (page_scanner.h). Files go into a subfolder named
// after the host.
#include <memory>
#include <string>

#include "download/video_site.h"

class CWebSite : public CVideoSite {
  public:
    explicit CWebSite(const std::wstring& address);
    std::wstring GetVideoId() override;
    // FetchAddress, then for a page ScanFetchedPage.
    int Process() override;

    // The two steps of Process, for a handler that asks another finder
    // between them. FetchAddress requests the address: media is taken as it
    // is (IsMedia), a page is read and kept. ScanFetchedPage searches the
    // kept page. Each returns 0 or a result code with its status posted.
    int FetchAddress();
    bool IsMedia() const { return media_; }
    int ScanFetchedPage();

    // Redirects followed for one address.
    static constexpr int kMaxRedirects = 10;

  private:
    // Requests `url`, following redirects but never from https to http. 0
    // with the final answer and its address, or a result code (error set).
    int Open(CHttpTransfer& http, const std::wstring& url, std::unique_ptr<CHttpAnswer>& answer,
             std::wstring& finalUrl);
    // Takes the media the address answered with; `playlist`: the answer
    // was read and is an HLS playlist.
    int TakeMedia(const CHttpAnswer& answer, const std::wstring& finalUrl, bool playlist);
    // Reads the page, within the size bound; 0 or a failure.
    int ReadPage(CHttpAnswer& answer, const std::wstring& finalUrl);

    bool media_ = false;
    std::wstring page_, pageUrl_;
};

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
    int Process() override;

    // Redirects followed for one address.
    static constexpr int kMaxRedirects = 10;

  private:
    // Requests `url`, following redirects but never from https to http. 0
    // with the final answer and its address, or a result code (error set).
    int Open(CHttpTransfer& http, const std::wstring& url, std::unique_ptr<CHttpAnswer>& answer,
             std::wstring& finalUrl);
    // Takes the media the address answered with.
    int TakeMedia(const CHttpAnswer& answer, const std::wstring& finalUrl);
    // Reads and searches the page; 0, -2 when it holds no video, or a failure.
    int TakePage(CHttpAnswer& answer, const std::wstring& finalUrl);
};

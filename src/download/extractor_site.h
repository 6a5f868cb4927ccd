#pragma once
// The handler of pages that yt-dlp knows: yt-dlp finds the video; a plain
// file is downloaded by Clipvane's own engine, anything else by yt-dlp.
// When yt-dlp is absent, does not know the address or fails, the native
// handler given as the fallback serves the page instead.
#include <memory>
#include <string>
#include <vector>

#include "download/extractor.h"
#include "download/video_site.h"

class CWebSite;

class CExtractorSite : public CVideoSite {
  public:
    CExtractorSite(const std::wstring& address, std::unique_ptr<CVideoSite> fallback);
    std::wstring GetVideoId() override;
    int Process() override;
    bool MakeOutputName(const std::wstring& outputFolder, bool useTitle, std::wstring& finalPath,
                        std::wstring& tempPath) override;
    int DownloadVideo(const std::wstring& tempPath, std::atomic<uint64_t>& contentLength,
                      std::atomic<uint64_t>& bytesReceived) override;

    // Which way served the task, for the row's tooltip and the log.
    std::wstring ServedBy() const override;
    // The quality setting: no format higher than this (0: any).
    int maxHeight = 0;

    // The headers of a format that Clipvane's engine may send: to every host,
    // and to the format's own host only (cookies). Lines a server could be
    // misled by are left out.
    static void SplitHeaders(const extractor::Format& format, std::vector<std::string>& any,
                             std::vector<std::string>& ownHost);

  private:
    // 0 with a format chosen, kResultStopped, or kResultNoVideo with `why`
    // (`absent`: no copy of yt-dlp could be run).
    int AskExtractor(extractor::Failure& why, bool& absent);
    int UseFallback(const extractor::Failure& why, bool absent);
    void TakeFromFallback();
    // Clipvane's engine on a progressive format; the HTTP status when the
    // server refused it, else 0 with `result` set.
    long FetchNative(const std::wstring& tempPath, std::atomic<uint64_t>& contentLength,
                     std::atomic<uint64_t>& bytesReceived, int& result);
    int FetchWithExtractor(const std::wstring& tempPath, const std::string& selector,
                           std::atomic<uint64_t>& contentLength,
                           std::atomic<uint64_t>& bytesReceived);

    std::unique_ptr<CVideoSite> fallback_;
    CWebSite* web_ = nullptr;  // the fallback, when it is the web handler
    bool usingFallback_ = false;
    bool withoutExtractor_ = false;  // the fallback serves because yt-dlp is missing
    std::shared_ptr<const extractor::Copy> copy_;
    extractor::Answer answer_;
    extractor::Choice choice_;
    enum class Way { kNone, kDirect, kNative, kExtractor, kFallback } way_ = Way::kNone;
};

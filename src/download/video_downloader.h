#pragma once
// The download run: works through a list of page addresses on a worker
// thread and reports to an observer, from that thread.
#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "download/codes.h"
#include "download/hls_download.h"
#include "download/run_observer.h"
#include "download/video_site.h"

class CVideoDownloader : public ISiteOwner {
  public:
    explicit CVideoDownloader(IRunObserver* observer);
    ~CVideoDownloader() override;

    // `row` comes back with every report on the item.
    void AddItem(const std::wstring& address, int row);
    bool Start();
    bool Stop();
    // Asks the worker to stop without waiting for it.
    void RequestStop() { stop_ = true; }
    static std::wstring GetStatusText(int code);

    // Settings the main window hands over between runs.
    void SetOutputFolder(const std::wstring& f);
    void SetUseTitleAsFileName(bool v) { useTitleAsFileName_ = v; }
    void SetRetryTimes(int n) { retryTimes_ = n; }

    // The state of the item in work (or the last one), for tests and logs;
    // observers get what they need with each report.
    std::wstring Title() const;
    std::wstring PageAddress() const;
    std::wstring FinalPath() const;
    std::wstring LastError() const;
    // The temporary file the last failed attempt kept for a resume; empty
    // when none was kept.
    std::wstring PartialPath() const { return GetField(partialPath_); }
    // The same for a row of this or an earlier run.
    std::wstring PartialPathOf(int row) const;
    int SiteKind() const { return siteKind_; }
    uint64_t ContentLength() const { return contentLength_; }
    uint64_t BytesReceived() const {
        return stream_.segmentsTotal ? stream_.bytes.load() : bytesReceived_.load();
    }
    // Of a segmented stream in download; 0 segments for a plain file.
    uint64_t SegmentsDone() const { return stream_.segmentsDone; }
    uint64_t SegmentsTotal() const { return stream_.segmentsTotal; }

    // ISiteOwner, called on the worker thread.
    bool IsAborted() override;
    bool StopRequested() const override;
    void PostProgress(unsigned thousandths) override;
    void PostResumed(unsigned thousandths) override;
    void SetError(const std::wstring& text) override;
    void ClearFinalPath() override;
    void PostStatus(int code) override;
    void PostTitle(const std::wstring& title) override;
    bool UseCache() const override { return useCache_; }

  protected:
    virtual void Run();
    virtual int DownloadFLV(const std::wstring& url);
    int DownloadStream(const std::wstring& playlist, const std::wstring& pageAddress);
    void PostDone();

  private:
    void Set(std::wstring& field, const std::wstring& v);
    std::wstring GetField(const std::wstring& field) const;

    IRunObserver* observer_;
    mutable std::mutex fieldsMutex_;
    std::wstring title_, pageAddress_, flvAddress_, finalPath_, tempPath_, lastError_, servedBy_;
    std::wstring partialPath_;
    std::map<int, std::wstring> partials_;  // by row, under fieldsMutex_
    std::atomic<int> siteKind_{-1};
    std::atomic<int> taskId_{-1};
    std::atomic<uint64_t> contentLength_{0}, bytesReceived_{0};
    HlsProgress stream_;
    std::atomic<unsigned> resumedAt_{0};  // of the transfer under way
    bool aborted_ = false;
    bool useCache_ = false;
    std::atomic<int> retryTimes_{0};
    std::atomic<bool> useTitleAsFileName_{true};
    std::wstring outputFolder_;

    std::mutex listMutex_;
    std::vector<std::wstring> addresses_;
    std::vector<int> taskIds_;

    std::thread worker_;
    std::atomic<bool> stop_{false};
    std::mutex endMutex_;
    std::condition_variable endCv_;
    bool ended_ = true;
};

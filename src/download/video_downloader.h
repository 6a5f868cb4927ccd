#pragma once
// The download run: works through a list of page addresses on a worker
// thread and reports to the main window with posted messages.
#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/messages.h"
#include "download/codes.h"
#include "download/video_site.h"
#include "platform/post_message.h"

// What the worker reported for one row, as it stood when the messages were
// posted; the run's live fields may already belong to a later item.
struct ItemReport {
    std::wstring title, pageAddress, flvAddress, finalPath, lastError;
    // The temporary file kept for a later resume of a failed or stopped
    // download (RemovePartialDownload removes it); empty when none.
    std::wstring partialPath;
    int siteKind = -1;
};

class CVideoDownloader : public ISiteOwner {
  public:
    explicit CVideoDownloader(platform::IPostTarget* mainWindow);
    ~CVideoDownloader() override;

    void AddItem(const std::wstring& address, uint16_t row);
    bool Start();
    bool Stop();
    // Asks the worker to stop without waiting for it.
    void RequestStop() { stop_ = true; }
    static std::wstring GetStatusText(int code);

    // Settings the main window hands over between runs.
    void SetOutputFolder(const std::wstring& f);
    void SetUseTitleAsFileName(bool v) { useTitleAsFileName_ = v; }
    void SetRetryTimes(int n) { retryTimes_ = n; }

    // Fields the main window reads while handling the messages.
    std::wstring Title() const;
    std::wstring PageAddress() const;
    std::wstring FlvAddress() const;
    std::wstring FinalPath() const;
    std::wstring LastError() const;
    int SiteKind() const { return siteKind_; }
    // The report of a row of this or an earlier run; empty for an unknown row.
    ItemReport Report(uint16_t row) const;
    uint64_t ContentLength() const { return contentLength_; }
    uint64_t BytesReceived() const { return bytesReceived_; }

    // ISiteOwner, called on the worker thread.
    bool IsAborted() override;
    bool StopRequested() const override;
    void PostProgress(unsigned thousandths) override;
    void SetError(const std::wstring& text) override;
    void ClearFinalPath() override;
    void PostStatus(int code) override;
    void PostTitle(const std::wstring& title) override;
    bool UseCache() const override { return useCache_; }

  protected:
    virtual void Run();
    virtual int DownloadFLV(const std::wstring& url);
    void PostDone();

  private:
    void Set(std::wstring& field, const std::wstring& v);
    std::wstring GetField(const std::wstring& field) const;

    platform::IPostTarget* mainWindow_;
    mutable std::mutex fieldsMutex_;
    std::wstring title_, pageAddress_, flvAddress_, finalPath_, tempPath_, lastError_;
    std::atomic<int> siteKind_{-1};
    std::atomic<int> taskId_{-1};
    std::atomic<uint64_t> contentLength_{0}, bytesReceived_{0};
    bool aborted_ = false;
    bool useCache_ = false;
    std::atomic<int> retryTimes_{0};
    std::atomic<bool> useTitleAsFileName_{true};
    std::wstring outputFolder_;
    std::map<uint16_t, ItemReport> reports_;  // under fieldsMutex_

    std::mutex listMutex_;
    std::vector<std::wstring> addresses_;
    std::vector<uint16_t> taskIds_;

    std::thread worker_;
    std::atomic<bool> stop_{false};
    std::mutex endMutex_;
    std::condition_variable endCv_;
    bool ended_ = true;
};

#include "download/video_downloader.h"

#include <cstdio>

#include "app/localization.h"
#include "app/logging.h"
#include "app/settings.h"
#include "download/failure_text.h"
#include "download/partial_file.h"
#include "download/site_helpers.h"
#include "platform/text.h"

CVideoDownloader::CVideoDownloader(IRunObserver* observer) : observer_(observer) {}

CVideoDownloader::~CVideoDownloader() {
    Stop();
}

void CVideoDownloader::AddItem(const std::wstring& address, int row) {
    std::lock_guard lock(listMutex_);
    addresses_.push_back(address);
    taskIds_.push_back(row);
}

void CVideoDownloader::SetOutputFolder(const std::wstring& f) {
    std::lock_guard lock(fieldsMutex_);
    outputFolder_ = f;
}

bool CVideoDownloader::Start() {
    {
        std::lock_guard lock(endMutex_);
        if (worker_.joinable() && !ended_) return false;
    }
    if (worker_.joinable()) worker_.join();
    aborted_ = false;
    stop_ = false;
    Set(finalPath_, L"");
    Set(tempPath_, L"");
    useCache_ = GetSettings().Get().UseInternalCache != 0;
    ended_ = false;
    try {
        worker_ = std::thread([this] {
            Run();
            std::lock_guard lock(endMutex_);
            ended_ = true;
            endCv_.notify_all();
        });
    } catch (const std::system_error&) {
        ended_ = true;
        return false;
    }
    return true;
}

bool CVideoDownloader::Stop() {
    if (!worker_.joinable()) return false;
    stop_ = true;
    {
        std::unique_lock lock(endMutex_);
        if (!endCv_.wait_for(lock, std::chrono::milliseconds(5000), [this] { return ended_; }))
            LogError("CVideoDownloader", "worker did not end within 5000 ms of a stop");
    }
    worker_.join();
    return true;
}

bool CVideoDownloader::IsAborted() {
    if (stop_) aborted_ = true;
    return aborted_;
}

bool CVideoDownloader::StopRequested() const {
    return stop_;
}

void CVideoDownloader::Run() {
    for (size_t i = 0;; ++i) {
        std::wstring address;
        int row;
        {
            std::lock_guard lock(listMutex_);
            if (i >= taskIds_.size()) {
                taskIds_.clear();
                addresses_.clear();
                break;
            }
            address = addresses_[i];
            row = taskIds_[i];
        }
        if (aborted_) {
            std::lock_guard lock(listMutex_);
            taskIds_.clear();
            addresses_.clear();
            break;
        }
        std::unique_ptr<CVideoSite> site = CreateSiteHandler(address, this);
        if (!site) continue;
        siteKind_ = site->siteKind;
        taskId_ = row;
        {
            // Rows move between runs: what an earlier run kept under this
            // number was another row's.
            std::lock_guard lock(fieldsMutex_);
            partials_.erase(row);
        }
        int remaining = retryTimes_;
        bool finished = false;
        while (site) {
            site->GetVideoId();
            int r = site->Process();
            if (r == kResultOtherPage) {
                std::wstring next = site->pageAddress;
                site = CreateSiteHandler(next, this);
                if (!site) break;
            } else if (r == 0) {
                Set(title_, site->title);
                Set(pageAddress_, site->pageAddress);
                std::wstring fin, tmp;
                if (site->MakeOutputName(GetField(outputFolder_), useTitleAsFileName_, fin, tmp)) {
                    Set(finalPath_, fin);
                    Set(tempPath_, tmp);
                    int d = site->DownloadVideo(tmp, contentLength_, bytesReceived_);
                    if (d == kResultRunFetches)
                        d = site->hls ? DownloadStream(site->flvAddress, site->pageAddress)
                                      : DownloadFLV(site->flvAddress);
                    else
                        Set(flvAddress_, site->flvAddress);
                    if (d == kResultOk) {
                        std::wstring used = FinishOutputFile(tmp, fin);
                        if (used.empty()) {
                            std::this_thread::sleep_for(std::chrono::milliseconds(1000));
                            used = FinishOutputFile(tmp, fin);
                        }
                        if (!used.empty()) {
                            Set(servedBy_, site->ServedBy());
                            if (!servedBy_.empty())
                                LogInfoW("CVideoDownloader", L"%ls: %ls", used.c_str(),
                                         GetField(servedBy_).c_str());
                            if (used != fin)
                                LogWarnW("CVideoDownloader",
                                         L"%ls was taken meanwhile, saved as %ls", fin.c_str(),
                                         used.c_str());
                            Set(tempPath_, L"");
                            if (site->hls) {
                                PostStatus(kStatusConverting);
                                std::wstring mp4 = RemuxToMp4(used, this);
                                if (!mp4.empty()) used = mp4;
                            }
                            Set(finalPath_, used);
                            finished = true;
                            PostDone();
                            break;
                        }
                        // The video stays in its temporary file; it is not lost.
                        SetError(L"Can not rename the downloaded file to " + fin);
                        Set(tempPath_, L"");
                        PostStatus(kStatusNoVideo);
                    } else {
                        // A failed attempt leaves nothing behind but what a
                        // validated resume can go on from.
                        bool kept = SetTempFileAside(tmp);
                        Set(partialPath_, kept ? tmp : std::wstring());
                        {
                            std::lock_guard lock(fieldsMutex_);
                            partials_[row] = kept ? tmp : std::wstring();
                        }
                        Set(tempPath_, L"");
                        // A stopped one is told once, below.
                        if (d != kResultStopped) PostStatus(d < 0 ? kStatusNoVideo : kStatusFailed);
                    }
                }
            }
            if (IsAborted() || remaining <= 0) break;
            --remaining;
            LogWarnW("CVideoDownloader", L"Retrying download %d, video id: %ls", remaining + 1,
                     site->videoId.c_str());
            observer_->OnRetry(row, retryTimes_ - remaining);
        }
        site.reset();
        if (finished) PostStatus(kStatusComplete);
        if (aborted_) PostStatus(kStatusStopped);
    }
    observer_->OnRunEnded(aborted_);
    DiscardTempFile(GetField(tempPath_));
}

int CVideoDownloader::DownloadStream(const std::wstring& playlist,
                                     const std::wstring& pageAddress) {
    HlsOptions options;
    options.maxHeight = static_cast<int>(GetSettings().Get().HighestQuality);
    options.pageAddress = pageAddress;
    stream_.segmentsDone = stream_.segmentsTotal = stream_.bytes = 0;
    resumedAt_ = 0;
    contentLength_ = bytesReceived_ = 0;
    Set(flvAddress_, playlist);
    int r = DownloadHlsStream(this, playlist, GetField(tempPath_), options, stream_);
    bytesReceived_ = contentLength_ = stream_.bytes.load();
    return r;
}

int CVideoDownloader::DownloadFLV(const std::wstring& url) {
    stream_.segmentsDone = stream_.segmentsTotal = 0;
    resumedAt_ = 0;
    CHttpTransfer http(this, useCache_);
    http.SetResumeKey(GetField(pageAddress_));
    std::wstring finalUrl;
    int r = http.GetFLVFile(url, GetField(tempPath_), finalUrl, contentLength_, bytesReceived_);
    Set(flvAddress_, finalUrl);
    return r;
}

void CVideoDownloader::PostProgress(unsigned v) {
    if (stream_.segmentsTotal)
        observer_->OnProgress(taskId_, {v, stream_.bytes, 0, stream_.segmentsDone,
                                        stream_.segmentsTotal, resumedAt_});
    else
        observer_->OnProgress(taskId_, {v, bytesReceived_, contentLength_, 0, 0, resumedAt_});
}
void CVideoDownloader::PostResumed(unsigned v) {
    resumedAt_ = v;
    PostProgress(v);
}
void CVideoDownloader::PostDone() {
    if (aborted_) return;
    ItemReport r;
    {
        std::lock_guard lock(fieldsMutex_);
        partials_.erase(taskId_);
        r.title = title_;
        r.pageAddress = pageAddress_;
        r.flvAddress = flvAddress_;
        r.finalPath = finalPath_;
        r.servedBy = servedBy_;
        r.siteKind = siteKind_;
    }
    observer_->OnItemDone(taskId_, r);
}
void CVideoDownloader::PostStatus(int code) {
    // What fails after the user's stop failed because of it: the row says
    // "Stopped", once, and nothing else.
    if (code >= kStatusFirstError && stop_) return;
    observer_->OnStatus(taskId_, code, code >= kStatusFirstError ? GetField(lastError_) : L"");
}
void CVideoDownloader::PostTitle(const std::wstring& title) {
    Set(title_, title);
    observer_->OnTitle(taskId_, title);
}
void CVideoDownloader::SetError(const std::wstring& text) {
    Set(lastError_, text);
    if (stop_)
        LogInfoW("CVideoDownloader", L"After the stop: %ls", text.c_str());
    else
        LogErrorW("CVideoDownloader", L"Error: %ls", text.c_str());
}
void CVideoDownloader::ClearFinalPath() {
    Set(finalPath_, L"");
}

std::wstring CVideoDownloader::GetStatusText(int code) {
    static const std::pair<int, unsigned> kProgress[] = {
        {100, 32877}, {101, 32878}, {102, 32879}, {103, 32880}, {104, 32881},
        {105, 32882}, {108, 32883}, {110, 32872}, {111, 32875}, {112, 33300},
        {120, 33200}, {121, 33201}, {130, 33420}, {131, 33421}};
    static const std::pair<int, unsigned> kErrors[] = {
        {201, 32885}, {204, 32888}, {kStatusNotPlayable, 33000}};
    if (code < 200) {
        for (auto [c, id] : kProgress)
            if (c == code) return LoadText(id);
    } else {
        for (auto [c, id] : kErrors)
            if (c == code) return LoadText(id);
    }
    return L"";
}

void CVideoDownloader::Set(std::wstring& field, const std::wstring& v) {
    std::lock_guard lock(fieldsMutex_);
    field = v;
}
std::wstring CVideoDownloader::GetField(const std::wstring& field) const {
    std::lock_guard lock(fieldsMutex_);
    return field;
}
std::wstring CVideoDownloader::Title() const {
    return GetField(title_);
}
std::wstring CVideoDownloader::PageAddress() const {
    return GetField(pageAddress_);
}
std::wstring CVideoDownloader::FinalPath() const {
    return GetField(finalPath_);
}
std::wstring CVideoDownloader::LastError() const {
    return GetField(lastError_);
}

std::wstring CVideoDownloader::PartialPathOf(int row) const {
    std::lock_guard lock(fieldsMutex_);
    auto it = partials_.find(row);
    return it == partials_.end() ? std::wstring() : it->second;
}

#pragma once
// A download run as the site handlers see it, keeping what they report.
#include <ostream>
#include <string>
#include <vector>

#include <chrono>
#include <memory>

#include "download/video_downloader.h"
#include "download/video_site.h"
#include "platform/post_message.h"

namespace testsupport {

class SiteOwner : public ISiteOwner {
  public:
    bool IsAborted() override { return false; }
    bool StopRequested() const override { return false; }
    void PostProgress(unsigned) override {}
    void SetError(const std::wstring& text) override { lastError = text; }
    void ClearFinalPath() override {}
    void PostStatus(int code) override { statuses.push_back(code); }
    void PostTitle(const std::wstring& t) override { title = t; }
    bool UseCache() const override { return false; }
    std::vector<int> statuses;
    std::wstring title, lastError;
};

// Runs the handler of an address up to its video address: the result of
// Process, or 999 when no handler is recognised.
inline int ProcessSite(const std::wstring& address, SiteOwner& owner,
                       std::unique_ptr<CVideoSite>& site) {
    site = CreateSiteHandler(address, &owner);
    if (!site) return 999;
    site->GetVideoId();
    return site->Process();
}

// One message of a download run.
struct RunMessage {
    unsigned msg;
    uintptr_t w;
    intptr_t l;
    bool operator==(const RunMessage&) const = default;
};

// The messages up to the end of the run, without the progress ones.
inline std::vector<RunMessage> CollectRun(platform::QueuePostTarget& queue) {
    std::vector<RunMessage> got;
    while (auto m = queue.Take(std::chrono::seconds(20))) {
        if (m->msg == WM_DOWNLOAD_PROGRESS) continue;
        got.push_back({m->msg, m->wParam, m->lParam});
        if (m->msg == WM_DOWNLOAD_ALL_DONE || m->msg == WM_DOWNLOAD_STOPPED) break;
    }
    return got;
}

inline RunMessage StatusMessage(int code, int row) {
    return {WM_DOWNLOAD_STATUS, 0, code * 65536 + row};
}

inline std::ostream& operator<<(std::ostream& os, const RunMessage& m) {
    return os << "{" << m.msg << ", " << m.w << ", " << m.l << "}";
}

}  // namespace testsupport

#pragma once
// A download run as the site handlers see it, keeping what they report.
#include <ostream>
#include <string>
#include <vector>

#include <chrono>
#include <map>
#include <memory>

#include "download/run_observer.h"
#include "download/video_downloader.h"
#include "download/video_site.h"

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

// One report of a download run as the tests compare them: its kind, row and
// code (status code, retry number, or 1 for a stopped run).
struct RunMessage {
    RunEvent::Kind kind;
    int row;
    int code;
    bool operator==(const RunMessage&) const = default;
};

inline RunMessage StatusMessage(int code, int row) {
    return {RunEvent::kStatus, row, code};
}
inline RunMessage TitleMessage(int row) {
    return {RunEvent::kTitle, row, 0};
}
inline RunMessage DoneMessage(int row) {
    return {RunEvent::kItemDone, row, 0};
}
inline RunMessage RetryMessage(int attempt, int row) {
    return {RunEvent::kRetry, row, attempt};
}
inline RunMessage EndMessage(bool stopped) {
    return {RunEvent::kRunEnded, -1, stopped ? 1 : 0};
}

// Everything of a run up to its end.
struct CollectedRun {
    std::vector<RunMessage> messages;  // without the progress ones
    std::map<int, ItemReport> items;   // the finished items by row
    std::vector<RunEvent> events;      // the messages' events, in full
    std::vector<RunEvent> progress;
};

inline CollectedRun CollectAll(RunEventQueue& queue) {
    CollectedRun run;
    while (auto e = queue.Take(std::chrono::seconds(20))) {
        if (e->kind == RunEvent::kProgress) {
            run.progress.push_back(*e);
            continue;
        }
        if (e->kind == RunEvent::kItemDone) run.items[e->row] = e->item;
        run.messages.push_back({e->kind, e->row, e->code});
        run.events.push_back(*e);
        if (e->kind == RunEvent::kRunEnded) break;
    }
    return run;
}

// The reports up to the end of the run, without the progress ones.
inline std::vector<RunMessage> CollectRun(RunEventQueue& queue) {
    return CollectAll(queue).messages;
}

inline std::ostream& operator<<(std::ostream& os, const RunMessage& m) {
    return os << "{" << m.kind << ", " << m.row << ", " << m.code << "}";
}

}  // namespace testsupport

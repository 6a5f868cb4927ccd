#include "download/run_observer.h"

RunEvent RunEvent::Status(int row, int code, std::wstring message) {
    RunEvent e;
    e.kind = kStatus;
    e.row = row;
    e.code = code;
    e.text = std::move(message);
    return e;
}
RunEvent RunEvent::Progress(int row, RunProgress p) {
    RunEvent e;
    e.kind = kProgress;
    e.row = row;
    e.progress = p;
    return e;
}
RunEvent RunEvent::Title(int row, std::wstring title) {
    RunEvent e;
    e.kind = kTitle;
    e.row = row;
    e.text = std::move(title);
    return e;
}
RunEvent RunEvent::Retry(int row, int attempt) {
    RunEvent e;
    e.kind = kRetry;
    e.row = row;
    e.code = attempt;
    return e;
}
RunEvent RunEvent::ItemDone(int row, ItemReport item) {
    RunEvent e;
    e.kind = kItemDone;
    e.row = row;
    e.item = std::move(item);
    return e;
}
RunEvent RunEvent::RunEnded(bool stopped) {
    RunEvent e;
    e.kind = kRunEnded;
    e.code = stopped ? 1 : 0;
    return e;
}

void Deliver(const RunEvent& e, IRunObserver& to) {
    switch (e.kind) {
        case RunEvent::kStatus:
            to.OnStatus(e.row, e.code, e.text);
            break;
        case RunEvent::kProgress:
            to.OnProgress(e.row, e.progress);
            break;
        case RunEvent::kTitle:
            to.OnTitle(e.row, e.text);
            break;
        case RunEvent::kRetry:
            to.OnRetry(e.row, e.code);
            break;
        case RunEvent::kItemDone:
            to.OnItemDone(e.row, e.item);
            break;
        case RunEvent::kRunEnded:
            to.OnRunEnded(e.code != 0);
            break;
    }
}

void RunEventQueue::OnStatus(int row, int code, const std::wstring& message) {
    Push(RunEvent::Status(row, code, message));
}
void RunEventQueue::OnProgress(int row, const RunProgress& progress) {
    Push(RunEvent::Progress(row, progress));
}
void RunEventQueue::OnTitle(int row, const std::wstring& title) {
    Push(RunEvent::Title(row, title));
}
void RunEventQueue::OnRetry(int row, int attempt) {
    Push(RunEvent::Retry(row, attempt));
}
void RunEventQueue::OnItemDone(int row, const ItemReport& item) {
    Push(RunEvent::ItemDone(row, item));
}
void RunEventQueue::OnRunEnded(bool stopped) {
    Push(RunEvent::RunEnded(stopped));
}

void RunEventQueue::Push(RunEvent e) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(e));
    }
    cv_.notify_all();
}

std::optional<RunEvent> RunEventQueue::Take(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    if (!cv_.wait_for(lock, limit, [this] { return !queue_.empty(); })) return std::nullopt;
    RunEvent e = std::move(queue_.front());
    queue_.pop_front();
    return e;
}

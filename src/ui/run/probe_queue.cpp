#include "ui/run/probe_queue.h"

#include <QMetaObject>

#include "media/cmd_mplayer.h"

namespace ui {

ProbeQueue::ProbeQueue(QObject* receiver, std::function<void(const Result&)> deliver, Prober prober)
    : receiver_(receiver), deliver_(std::move(deliver)), prober_(std::move(prober)) {
    if (!prober_)
        prober_ = [](const std::wstring& path, Task& task, const std::atomic<bool>& cancel) {
            return ProbeMediaFile(path, task, 30000, &cancel);
        };
    thread_ = std::thread([this] { Loop(); });
}

ProbeQueue::~ProbeQueue() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        jobs_.clear();
    }
    cancel_ = true;
    cv_.notify_all();
    thread_.join();
}

uint64_t ProbeQueue::Submit(const std::wstring& path) {
    uint64_t id;
    {
        std::lock_guard lock(mutex_);
        id = nextId_++;
        jobs_.emplace_back(id, path);
    }
    cv_.notify_all();
    return id;
}

void ProbeQueue::Loop() {
    for (;;) {
        std::pair<uint64_t, std::wstring> job;
        {
            std::unique_lock lock(mutex_);
            cv_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
            if (stop_) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        Result r;
        r.id = job.first;
        r.ok = prober_(job.second, r.task, cancel_);
        {
            std::lock_guard lock(mutex_);
            if (stop_) return;
        }
        // Queued calls to one receiver keep their order.
        QMetaObject::invokeMethod(
            receiver_, [deliver = deliver_, r = std::move(r)] { deliver(r); },
            Qt::QueuedConnection);
    }
}

}  // namespace ui

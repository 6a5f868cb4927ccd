#pragma once
// Probes media files on a thread of its own, one after another, and hands
// each result to the user-interface thread in the order they were asked for.
#include <QObject>
#include <QPointer>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "media/task.h"

namespace ui {

class ProbeQueue {
  public:
    struct Result {
        uint64_t id = 0;
        bool ok = false;
        Task task;
    };
    // `cancel` turns true when the queue is destroyed: a probe under way
    // should then end soon.
    using Prober =
        std::function<bool(const std::wstring& path, Task& task, const std::atomic<bool>& cancel)>;

    // Results are delivered through `deliver` on `receiver`'s thread; none
    // arrives once the receiver is gone. Destroying the queue ends a probe
    // under way rather than waiting for it.
    ProbeQueue(QObject* receiver, std::function<void(const Result&)> deliver, Prober prober = {});
    ~ProbeQueue();

    // Queues a probe; returns its id.
    uint64_t Submit(const std::wstring& path);

  private:
    void Loop();

    QObject* receiver_;  // outlives the thread: its owner joins it
    std::function<void(const Result&)> deliver_;
    Prober prober_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::pair<uint64_t, std::wstring>> jobs_;
    uint64_t nextId_ = 1;
    bool stop_ = false;
    std::atomic<bool> cancel_{false};
    std::thread thread_;
};

}  // namespace ui

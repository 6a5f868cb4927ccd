#include "ui/bundle/question_thread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace ui {

struct QuestionThread::Shared {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Job> waiting;
    QObject* receiver = nullptr;  // null once the owner has gone
    bool stop = false;
    bool asking = false;
    std::atomic<bool> cancel{false};
    std::thread thread;
};

QuestionThread::QuestionThread(QObject* receiver, Leaving leaving)
    : shared_(std::make_shared<Shared>()), leaving_(leaving) {
    shared_->receiver = receiver;
}

QuestionThread::~QuestionThread() {
    std::deque<Job> dropped;
    std::unique_lock lock(shared_->mutex);
    shared_->receiver = nullptr;
    shared_->stop = true;
    dropped.swap(shared_->waiting);
    if (leaving_ == Leaving::kCancel) shared_->cancel = true;
    const bool asking = shared_->asking;
    lock.unlock();
    shared_->wake.notify_all();
    if (!shared_->thread.joinable()) return;
    QCoreApplication* app = QCoreApplication::instance();
    if (leaving_ == Leaving::kCancel || !asking || !app) {
        shared_->thread.join();
        return;
    }
    // Closing a page must not wait a second or two for a program's answer;
    // the program's end must, or the question outlives what it uses.
    QObject::connect(app, &QObject::destroyed, [shared = shared_] { shared->thread.join(); });
}

void QuestionThread::Post(Job job) {
    std::lock_guard lock(shared_->mutex);
    shared_->waiting.push_back(std::move(job));
    if (!shared_->thread.joinable())
        shared_->thread = std::thread([s = shared_.get()] { Loop(*s); });
    shared_->wake.notify_all();
}

void QuestionThread::Loop(Shared& s) {
    std::unique_lock lock(s.mutex);
    for (;;) {
        s.wake.wait(lock, [&] { return s.stop || !s.waiting.empty(); });
        if (s.stop) return;
        Job job = std::move(s.waiting.front());
        s.waiting.pop_front();
        s.asking = true;
        lock.unlock();
        std::function<void()> answer = job(s.cancel);
        job = nullptr;
        lock.lock();
        s.asking = false;
        // Queued calls to one receiver keep their order, and go with it.
        if (s.receiver) {
            QMetaObject::invokeMethod(s.receiver, std::move(answer), Qt::QueuedConnection);
        } else {
            lock.unlock();
            answer = nullptr;
            lock.lock();
        }
    }
}

}  // namespace ui

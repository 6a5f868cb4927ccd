#pragma once
// Takes the items of a queue filled from other threads and handles them on
// this thread, at most kSliceMs at a time before paint and input events get
// their turn. A queue that was busy is looked at again kRecheckMs later
// instead of waking this thread for each new item, so a storm of them
// merges in the queue. Both the run's reports and the window's messages go
// this way.
#include <QObject>
#include <functional>

namespace ui {

class SlicedDrain {
  public:
    static constexpr qint64 kSliceMs = 8;
    static constexpr int kRecheckMs = 25;

    struct Queue {
        // Handles the oldest item; false when none waits.
        std::function<bool()> handleOne;
        // Has the queue woken again later (or go idle when it is empty).
        std::function<void()> wake;
        // Goes idle when the queue is empty; false when an item came.
        std::function<bool()> goIdle;
        // True while the items must wait (their release wakes the queue).
        std::function<bool()> held;
    };

    // The recheck timer runs in `context`.
    SlicedDrain(QObject* context, Queue queue) : context_(context), queue_(std::move(queue)) {}
    void Run();

  private:
    QObject* context_;
    Queue queue_;
    bool draining_ = false;
    bool recheckPending_ = false;
};

}  // namespace ui

#include "ui/run/sliced_drain.h"

#include <QElapsedTimer>
#include <QTimer>

namespace ui {

void SlicedDrain::Run() {
    if (draining_) return;  // a box opened by a handler; the outer loop goes on
    draining_ = true;
    QElapsedTimer slice;
    slice.start();
    int handled = 0;
    for (;;) {
        if (queue_.held && queue_.held()) break;
        if (slice.elapsed() >= kSliceMs) {
            // Let paint and input events in, then go on.
            queue_.wake();
            break;
        }
        if (queue_.handleOne()) {
            ++handled;
            continue;
        }
        if (handled > 0) {
            if (!recheckPending_) {
                recheckPending_ = true;
                QTimer::singleShot(kRecheckMs, context_, [this] {
                    recheckPending_ = false;
                    Run();
                });
            }
            break;
        }
        if (queue_.goIdle()) break;
    }
    draining_ = false;
}

}  // namespace ui

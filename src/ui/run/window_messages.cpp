#include "ui/run/window_messages.h"

#include <QCoreApplication>

namespace ui {

void WindowPostTarget::Detach() {
    std::lock_guard lock(mutex_);
    receiver_ = nullptr;
    queue_.clear();
}

void WindowPostTarget::Post(unsigned msg, uintptr_t wParam, intptr_t lParam) {
    std::lock_guard lock(mutex_);
    if (!receiver_) return;
    queue_.push_back({msg, wParam, lParam});
    if (!wakePosted_) {
        wakePosted_ = true;
        QCoreApplication::postEvent(receiver_, new QEvent(kMessagesEvent));
    }
}

bool WindowPostTarget::Take(platform::PostedMessage& out) {
    std::lock_guard lock(mutex_);
    if (queue_.empty()) return false;
    out = queue_.front();
    queue_.pop_front();
    return true;
}

void WindowPostTarget::Wake() {
    std::lock_guard lock(mutex_);
    if (!receiver_) return;
    if (queue_.empty()) {
        wakePosted_ = false;  // idle: the next post wakes the window
        return;
    }
    wakePosted_ = true;
    QCoreApplication::postEvent(receiver_, new QEvent(kMessagesEvent));
}

bool WindowPostTarget::GoIdle() {
    std::lock_guard lock(mutex_);
    if (!queue_.empty()) return false;
    wakePosted_ = false;
    return true;
}

size_t WindowPostTarget::Pending() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

}  // namespace ui

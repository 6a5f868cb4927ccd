#include "platform/post_message.h"

namespace platform {

void QueuePostTarget::Post(unsigned msg, uintptr_t wParam, intptr_t lParam) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back({msg, wParam, lParam});
    }
    cv_.notify_all();
}

std::optional<PostedMessage> QueuePostTarget::Take(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    if (!cv_.wait_for(lock, limit, [this] { return !queue_.empty(); })) return std::nullopt;
    PostedMessage m = queue_.front();
    queue_.pop_front();
    return m;
}

std::deque<PostedMessage> QueuePostTarget::TakeAll() {
    std::lock_guard lock(mutex_);
    std::deque<PostedMessage> all;
    all.swap(queue_);
    return all;
}

}  // namespace platform

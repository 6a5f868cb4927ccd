#pragma once
// Posting numbered messages to a window from any thread. The window (or a
// test) implements the target; posting never blocks on the receiver.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>

namespace platform {

struct PostedMessage {
    unsigned msg = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
};

class IPostTarget {
  public:
    virtual ~IPostTarget() = default;
    virtual void Post(unsigned msg, uintptr_t wParam, intptr_t lParam) = 0;
};

// Keeps posted messages in order until they are taken.
class QueuePostTarget : public IPostTarget {
  public:
    void Post(unsigned msg, uintptr_t wParam, intptr_t lParam) override;
    // The oldest message, waiting up to `limit` for one to arrive.
    std::optional<PostedMessage> Take(std::chrono::milliseconds limit);
    std::deque<PostedMessage> TakeAll();

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<PostedMessage> queue_;
};

}  // namespace platform

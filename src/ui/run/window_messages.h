#pragma once
// The posting target of a window: numbered messages from any thread wait in
// one ordered queue and reach the window as a custom event on its thread.
// Only the first message after the window went idle posts an event; while
// the window is awake (it looks again shortly after emptying the queue)
// posting is a push under a lock. Nothing is merged, dropped or reordered.
#include <QEvent>
#include <QObject>
#include <QPointer>
#include <deque>
#include <mutex>

#include "platform/post_message.h"

namespace ui {

// The custom event that wakes the window to take its messages.
inline const QEvent::Type kMessagesEvent = static_cast<QEvent::Type>(QEvent::User + 5121);

class WindowPostTarget : public platform::IPostTarget {
  public:
    explicit WindowPostTarget(QObject* receiver) : receiver_(receiver) {}
    // Posts after Detach go nowhere.
    void Detach();

    void Post(unsigned msg, uintptr_t wParam, intptr_t lParam) override;
    // Takes the oldest message; false when none waits.
    bool Take(platform::PostedMessage& out);
    // The window has taken everything and goes idle: the next post wakes it
    // with an event. False (and still awake) when a message came meanwhile.
    bool GoIdle();
    size_t Pending() const;
    // Wakes the window again after it stopped taking messages early (or
    // lets it go idle when nothing waits).
    void Wake();

  private:
    mutable std::mutex mutex_;
    QObject* receiver_;
    std::deque<platform::PostedMessage> queue_;
    bool wakePosted_ = false;
};

}  // namespace ui

#pragma once
// Slow questions (what a media file holds, what a program is) asked one
// after another on a thread of their own, so that the window keeps
// answering. Each answer is heard on the receiver's thread, in the order
// the questions were asked, and none is heard once the owner has gone.
#include <QObject>
#include <atomic>
#include <functional>
#include <memory>
#include <utility>

namespace ui {

class QuestionThread {
  public:
    // What becomes of a question still being asked when the owner goes.
    enum class Leaving {
        // Its cancel flag turns true and it is waited for: it should end soon.
        kCancel,
        // It is left to finish, and waited for while the application object
        // goes: it may use statics that go only after main.
        kFinishBeforeExit,
    };

    // `receiver` outlives this object (it is usually its owner).
    QuestionThread(QObject* receiver, Leaving leaving);
    ~QuestionThread();
    QuestionThread(const QuestionThread&) = delete;
    QuestionThread& operator=(const QuestionThread&) = delete;

    // Asks `ask(cancel)` after the questions before it; `hear` gets its
    // answer on the receiver's thread. Both are copied.
    template <class Question, class Hearer>
    void Ask(Question ask, Hearer hear) {
        Post([ask = std::move(ask),
              hear = std::move(hear)](const std::atomic<bool>& cancel) -> std::function<void()> {
            return [hear, answer = ask(cancel)]() mutable { hear(std::move(answer)); };
        });
    }

  private:
    using Job = std::function<std::function<void()>(const std::atomic<bool>& cancel)>;
    struct Shared;
    void Post(Job job);
    static void Loop(Shared& s);

    std::shared_ptr<Shared> shared_;
    Leaving leaving_;
};

}  // namespace ui

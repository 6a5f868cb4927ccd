// Slow questions off the window's thread: answers in order on the
// receiver's thread, and a question still open when its owner goes.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "support/process_harness.h"
#include "ui/bundle/question_thread.h"

namespace {

using ui::QuestionThread;

// Runs the event loop until `done` or `ms` have passed.
bool SpinUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
}

}  // namespace

TEST(QuestionThread, AnswersComeInTheOrderAskedOnTheReceiversThread) {
    QObject receiver;
    QuestionThread questions(&receiver, QuestionThread::Leaving::kCancel);
    std::vector<int> heard;
    bool offThread = true;
    for (int i = 0; i < 4; ++i)
        questions.Ask(
            [i](const std::atomic<bool>&) {
                // The first is the slowest: it must still be heard first.
                std::this_thread::sleep_for(std::chrono::milliseconds(i == 0 ? 60 : 1));
                return std::make_pair(i, QThread::currentThread());
            },
            [&](std::pair<int, QThread*> answer) {
                heard.push_back(answer.first);
                offThread = offThread && answer.second != QThread::currentThread();
                EXPECT_EQ(QThread::currentThread(), receiver.thread());
            });
    ASSERT_TRUE(SpinUntil([&] { return heard.size() == 4; }, 10000));
    EXPECT_EQ(heard, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_TRUE(offThread) << "the questions were asked on the window's thread";
}

TEST(QuestionThread, AQuestionOpenWhenItsOwnerGoesIsCancelledOrLeftToFinishAndNeverHeard) {
    QObject receiver;
    for (auto leaving :
         {QuestionThread::Leaving::kCancel, QuestionThread::Leaving::kFinishBeforeExit}) {
        const bool cancel = leaving == QuestionThread::Leaving::kCancel;
        auto started = std::make_shared<std::atomic<bool>>(false);
        auto release = std::make_shared<std::atomic<bool>>(false);
        auto ended = std::make_shared<std::atomic<int>>(0);  // 1 cancelled, 2 finished
        int heard = 0;
        QElapsedTimer closing;
        {
            QuestionThread questions(&receiver, leaving);
            questions.Ask(
                [=](const std::atomic<bool>& stop) {
                    *started = true;
                    // Ends by itself after a while, so that a fault fails
                    // the test rather than holding it.
                    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
                    while (!stop && !*release && std::chrono::steady_clock::now() < limit)
                        std::this_thread::sleep_for(std::chrono::milliseconds(2));
                    *ended = stop ? 1 : *release ? 2 : 3;
                    return 0;
                },
                [&](int) { ++heard; });
            questions.Ask([](const std::atomic<bool>&) { return 0; }, [&](int) { ++heard; });
            ASSERT_TRUE(SpinUntil([&] { return bool(*started); }, 10000));
            closing.start();
        }
        EXPECT_LT(closing.elapsed(), 2000) << "closing waited for the question";
        if (cancel) {
            EXPECT_EQ(*ended, 1) << "a cancelled question was not waited for";
        } else {
            EXPECT_EQ(*ended, 0) << "the question was not left to finish";
            *release = true;
            EXPECT_TRUE(SpinUntil([&] { return *ended != 0; }, 10000));
            EXPECT_EQ(*ended, 2);
        }
        SpinUntil([] { return false; }, 100);
        EXPECT_EQ(heard, 0) << "an answer reached a gone owner";
    }
}

// In a test program of its own: a question left to finish by a page that has
// gone still ends before the program does, after main has returned.
TEST(QuestionThread, AQuestionLeftToFinishEndsBeforeTheProgramDoes) {
    if (const char* marker = std::getenv("CLIPVANE_QUESTION_MARKER")) {
        QObject receiver;
        auto started = std::make_shared<std::atomic<bool>>(false);
        QuestionThread questions(&receiver, QuestionThread::Leaving::kFinishBeforeExit);
        questions.Ask(
            [started, path = std::string(marker)](const std::atomic<bool>&) {
                *started = true;
                std::this_thread::sleep_for(std::chrono::milliseconds(700));
                testsupport::WriteFile(path, "answered");
                return 0;
            },
            [](int) {});
        ASSERT_TRUE(SpinUntil([&] { return bool(*started); }, 10000));
        return;
    }
    char self[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
    testsupport::TempDir home;
    testsupport::ProgramRun child(self, home.path());
    child.env["CLIPVANE_QUESTION_MARKER"] = home / "marker";
    child.args = {"--gtest_filter=QuestionThread.AQuestionLeftToFinishEndsBeforeTheProgramDoes"};
    ASSERT_TRUE(child.Start());
    EXPECT_EQ(child.Wait(std::chrono::seconds(60)), 0) << child.Output();
    EXPECT_EQ(testsupport::ReadFile(home / "marker"), "answered") << child.Output();
}

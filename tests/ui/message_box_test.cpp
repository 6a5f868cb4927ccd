// Message boxes asked for by a worker thread, on real Qt widgets.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <atomic>
#include <future>
#include <thread>

#include "ui/desktop/qt_message_box.h"

namespace {

QMessageBox* OpenBox() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) return box;
    return nullptr;
}

// Runs the UI thread's events until `done` holds or 10 s have passed.
template <class F>
bool SpinUntil(F done) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 10000) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
}

}  // namespace

TEST(WorkerMessageBox, UserAnswerReachesTheWorker) {
    ui::QtMessageBoxService service;
    auto answer = std::async(std::launch::async, [&] {
        return service.Show(L"Replace the file?", L"Clipvane", platform::MB_YESNO, {});
    });
    ASSERT_TRUE(SpinUntil([] { return OpenBox() != nullptr; }));
    QMessageBox* box = OpenBox();
    EXPECT_EQ(box->text(), "Replace the file?");
    box->button(QMessageBox::Yes)->click();
    ASSERT_TRUE(SpinUntil([&] {
        return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    }));
    EXPECT_EQ(answer.get(), platform::IDYES);
}

TEST(WorkerMessageBox, CancelEndsTheWaitAndClosesTheBox) {
    ui::QtMessageBoxService service;
    std::atomic<bool> stop{false};
    auto answer = std::async(std::launch::async, [&] {
        return service.Show(L"Name too long", L"Clipvane", platform::MB_OK,
                            [&] { return stop.load(); });
    });
    ASSERT_TRUE(SpinUntil([] { return OpenBox() != nullptr; }));
    stop = true;
    // The worker does not need the UI thread to get its answer.
    ASSERT_EQ(answer.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(answer.get(), platform::IDOK);
    EXPECT_TRUE(SpinUntil([] { return OpenBox() == nullptr; }));
}

TEST(WorkerMessageBox, CancelledBeforeTheBoxOpensShowsNothing) {
    ui::QtMessageBoxService service;
    int r = -1;
    std::thread worker([&] {
        r = service.Show(L"never", L"Clipvane", platform::MB_OKCANCEL, [] { return true; });
    });
    worker.join();
    EXPECT_EQ(r, platform::IDCANCEL);
    QApplication::processEvents();
    EXPECT_EQ(OpenBox(), nullptr);
}

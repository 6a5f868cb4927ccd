#include "ui/desktop/qt_message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "ui/bundle/qt_text.h"

namespace ui {
namespace {

QMessageBox* MakeBox(const std::wstring& text, const std::wstring& caption, unsigned flags) {
    auto* box = new QMessageBox(QApplication::activeWindow());
    box->setText(ToQ(text));
    // Paths and addresses in a box can be selected and copied.
    box->setTextInteractionFlags(Qt::TextSelectableByMouse);
    box->setWindowTitle(ToQ(caption));
    switch (flags & 0xF0) {
        case platform::MB_ICONERROR:
            box->setIcon(QMessageBox::Critical);
            break;
        case platform::MB_ICONQUESTION:
            box->setIcon(QMessageBox::Question);
            break;
        case platform::MB_ICONWARNING:
            box->setIcon(QMessageBox::Warning);
            break;
        case platform::MB_ICONINFORMATION:
            box->setIcon(QMessageBox::Information);
            break;
        default:
            break;
    }
    switch (flags & 0xF) {
        case platform::MB_OKCANCEL:
            box->setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case platform::MB_YESNO:
            box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        case platform::MB_YESNOCANCEL:
            box->setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            break;
        default:
            box->setStandardButtons(QMessageBox::Ok);
            break;
    }
    return box;
}

int Answer(int code, unsigned flags) {
    switch (code) {
        case QMessageBox::Ok:
            return platform::IDOK;
        case QMessageBox::Cancel:
            return platform::IDCANCEL;
        case QMessageBox::Yes:
            return platform::IDYES;
        case QMessageBox::No:
            return platform::IDNO;
        default:
            // Closed by its frame: the box's cancel answer.
            return platform::CancelAnswer(flags);
    }
}

// A box shown for another thread, shared by that thread and the UI thread.
struct PendingBox {
    std::mutex mutex;
    std::condition_variable answered;
    bool done = false, abandoned = false;
    int result = 0;
    QPointer<QMessageBox> box;  // used on the UI thread only
};

constexpr int kCancelPollMs = 50;

}  // namespace

int QtMessageBoxService::Show(const std::wstring& text, const std::wstring& caption, unsigned flags,
                              const platform::CancelCheck& cancelled) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread()) {
        std::unique_ptr<QMessageBox> box(MakeBox(text, caption, flags));
        bool wasCancelled = false;
        QTimer poll;
        if (cancelled) {
            QObject::connect(&poll, &QTimer::timeout, box.get(), [&] {
                if (cancelled()) {
                    wasCancelled = true;
                    box->done(QMessageBox::Cancel);
                }
            });
            poll.start(kCancelPollMs);
        }
        int code = box->exec();
        return wasCancelled ? platform::CancelAnswer(flags) : Answer(code, flags);
    }

    auto state = std::make_shared<PendingBox>();
    QMetaObject::invokeMethod(
        app,
        [state, text, caption, flags] {
            {
                std::lock_guard lock(state->mutex);
                if (state->abandoned) return;
            }
            QMessageBox* box = MakeBox(text, caption, flags);
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->setWindowModality(Qt::ApplicationModal);
            QObject::connect(box, &QDialog::finished, box, [state, flags](int code) {
                std::lock_guard lock(state->mutex);
                state->result = Answer(code, flags);
                state->done = true;
                state->answered.notify_all();
            });
            state->box = box;
            box->open();
        },
        Qt::QueuedConnection);

    std::unique_lock lock(state->mutex);
    while (!state->done) {
        if (cancelled && cancelled()) {
            state->abandoned = true;
            lock.unlock();
            QMetaObject::invokeMethod(
                app,
                [state] {
                    if (state->box) state->box->done(QMessageBox::Cancel);
                },
                Qt::QueuedConnection);
            return platform::CancelAnswer(flags);
        }
        state->answered.wait_for(lock, std::chrono::milliseconds(kCancelPollMs));
    }
    return state->result;
}

}  // namespace ui

#include "ui/qt_front_end.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include "app/folders.h"
#include "app/settings.h"
#include "ui/bundle/language_menu.h"
#include "ui/main_window.h"

namespace ui {
namespace {

int g_signalPipe[2] = {-1, -1};

void OnTermSignal(int sig) {
    char c = static_cast<char>(sig);
    int saved = errno;
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &c, 1);
    errno = saved;
}

}  // namespace

QtFrontEnd::QtFrontEnd() {
    platform::SetMessageBoxService(&boxes_);
    // A signal only writes a byte; the event loop closes the window.
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        notifier_ = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &QtFrontEnd::OnSignal);
        struct sigaction sa {};
        sa.sa_handler = OnTermSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        sigaction(SIGTERM, &sa, nullptr);
        sigaction(SIGINT, &sa, nullptr);
    }
    // Writing to a tool that has ended must fail with EPIPE, not end us.
    ::signal(SIGPIPE, SIG_IGN);
}

QtFrontEnd::~QtFrontEnd() {
    platform::SetMessageBoxService(nullptr);
    // The program is already ending: a repeated request must not cut its
    // last steps (the log, the settings file) short.
    ::signal(SIGTERM, SIG_IGN);
    ::signal(SIGINT, SIG_IGN);
    delete notifier_;
    notifier_ = nullptr;
    for (int& fd : g_signalPipe) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

void QtFrontEnd::OnSignal() {
    char buf[64];
    while (::read(g_signalPipe[0], buf, sizeof buf) > 0) {
    }
    closeRequested_ = true;
    // An open box is answered as if closed by the user, then the window
    // closes as if the user had closed it.
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != mainWindow_.get()) {
        modal->close();
        // The main window closes once the box's own loop has ended.
        QTimer::singleShot(50, this, [this] {
            if (mainWindow_ && mainWindow_->isVisible() && !QApplication::activeModalWidget())
                mainWindow_->CloseWithoutAsking();
        });
        return;
    }
    if (mainWindow_ && mainWindow_->isVisible()) mainWindow_->CloseWithoutAsking();
}

bool QtFrontEnd::InitToolkit() {
    QApplication::setApplicationName(QStringLiteral("Clipvane"));
    QApplication::setQuitOnLastWindowClosed(false);
    return true;
}

void QtFrontEnd::RunMainWindow() {
    ApplyToolkitLanguage(GetSettings().LangID());
    mainWindow_ = std::make_unique<CClipvaneDlg>(app_ ? app_->History() : nullptr);
    // The queue outlives the program, as download managers keep theirs.
    mainWindow_->KeepPendingRows(GetDataFolder() + L"/pending.txt");
    if (closeRequested_) {
        // A signal that came during the start-up closes the window at once.
        QTimer::singleShot(0, mainWindow_.get(), &CClipvaneDlg::CloseWithoutAsking);
    }
    // The program's life is the application's loop, until the window closes.
    connect(mainWindow_.get(), &CClipvaneDlg::closed, qApp, &QCoreApplication::quit,
            Qt::QueuedConnection);
    mainWindow_->show();
    QApplication::exec();
}

void QtFrontEnd::ReleaseToolkit() {}

void QtFrontEnd::DestroyMainWindow() {
    mainWindow_.reset();
}

}  // namespace ui

// The main window under load, on the offscreen platform:
//   window_bench storm ADDRESS   download ADDRESS through the window; prints
//                                "<seconds> <longest event-loop stall ms>"
//   window_bench rows N          N addresses added to the task list; prints
//                                "<ms> <longest stall ms>"
//   window_bench probe FILE N    N copies of FILE dropped on the list; prints
//                                "<ms until all added> <longest stall ms>"
#include <QApplication>
#include <QElapsedTimer>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/settings.h"
#include "platform/message_box.h"
#include "platform/resource_bundle.h"
#include "platform/text.h"
#include "quiet_services.h"
#include "ui/desktop/desktop_services.h"
#include "ui/dialogs/dialogs.h"
#include "ui/main_window.h"
#include "ui/run/address_intake.h"
#include "ui/run/download_run.h"
#include "ui/run/media_intake.h"
#include "ui/tasklist/task_list_model.h"

namespace {

using bench::NoDesktop;
using bench::QuietBoxes;

// The longest gap between two ticks of a 5 ms timer (finer ticks would
// cost the window more than they tell).
class StallMeter : public QObject {
  public:
    StallMeter() {
        clock_.start();
        connect(&timer_, &QTimer::timeout, this, [this] {
            qint64 now = clock_.elapsed();
            if (now - last_ > worst_) worst_ = now - last_;
            // STALL_TRACE=1 names each gap over 20 ms with when it ended.
            if (now - last_ > 20 && qEnvironmentVariableIsSet("STALL_TRACE"))
                std::fprintf(stderr, "stall %lld ms ending at %lld ms\n",
                             static_cast<long long>(now - last_), static_cast<long long>(now));
            last_ = now;
            // The completion dialog ends the run's wait.
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* d = qobject_cast<ui::CompletionDialog*>(w); d && d->isVisible())
                    d->reject();
        });
        timer_.start(5);
    }
    void Reset() {
        last_ = clock_.elapsed();
        worst_ = 0;
    }
    qint64 Worst() const { return worst_; }

  private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0, worst_ = 0;
};

template <class F>
void SpinUntil(F done) {
    while (!done()) QApplication::processEvents(QEventLoop::AllEvents, 5);
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: window_bench storm ADDRESS | rows N | probe FILE N\n");
        return 2;
    }
    const std::string mode = argv[1];
    const std::string program =
        std::filesystem::path(argv[0]).parent_path().parent_path() / "clipvane" / "cvres.bundle";
    platform::ResourceBundle::Current().Load(program);
    QuietBoxes boxes;
    platform::SetMessageBoxService(&boxes);
    const std::string out = std::filesystem::temp_directory_path() / "cv_window_bench";
    std::filesystem::create_directories(out);
    GetSettings().Update([&](SettingsData& d) {
        d.OutputFolder = platform::FromUtf8(out);
        d.ShutdownFlag = 0;
        d.RetryTimes = 0;
        d.UseTitleAsFileName = 0;
        d.YoutubeFMT = 0;
    });
    NoDesktop desktop;
    CClipvaneDlg w(nullptr, &desktop);
    w.show();
    SpinUntil([&] { return w.findChild<ui::DownloadRun*>()->Downloader() != nullptr; });
    StallMeter meter;
    QElapsedTimer t;
    if (mode == "storm") {
        w.findChild<ui::AddressIntake*>()->Add(platform::FromUtf8(argv[2]));
        meter.Reset();
        t.start();
        w.OnCommand(32855);
        SpinUntil([&] {
            return !w.findChild<ui::DownloadRun*>()->Downloading() &&
                   w.findChild<ui::MediaIntake*>()->Pending() == 0;
        });
        std::printf("%.4f %lld\n", t.elapsed() / 1000.0, static_cast<long long>(meter.Worst()));
    } else if (mode == "rows") {
        const int n = std::atoi(argv[2]);
        meter.Reset();
        t.start();
        for (int i = 0; i < n; ++i)
            w.findChild<ui::AddressIntake*>()->Add(
                platform::FromUtf8("http://www.youtube.com/watch?v=" + std::to_string(i)));
        QApplication::processEvents();
        std::printf("%lld %lld\n", static_cast<long long>(t.elapsed()),
                    static_cast<long long>(meter.Worst()));
    } else if (mode == "probe" && argc == 4) {
        const int n = std::atoi(argv[3]);
        QList<QUrl> urls;
        for (int i = 0; i < n; ++i) {
            std::string copy = out + "/p" + std::to_string(i) + ".flv";
            std::filesystem::copy_file(argv[2], copy,
                                       std::filesystem::copy_options::overwrite_existing);
            urls.push_back(QUrl::fromLocalFile(QString::fromStdString(copy)));
        }
        QMimeData data;
        data.setUrls(urls);
        meter.Reset();
        t.start();
        w.findChild<ui::AddressIntake*>()->Drop(&data);
        SpinUntil([&] { return w.findChild<ui::MediaIntake*>()->Pending() == 0; });
        std::printf("%lld %lld\n", static_cast<long long>(t.elapsed()),
                    static_cast<long long>(meter.Worst()));
    } else {
        return 2;
    }
    platform::SetMessageBoxService(nullptr);
    return 0;
}

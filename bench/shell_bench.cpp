// The window shell's costs, each as a ratio against a reference measured in
// the same run:
//  (1) the history list of N rows in the main window, from choosing the site
//      to the list painted, against the bare query into Tasks;
//  (2) the site panel's counts against the four count queries alone;
//  (3) frames per second of the main window repainted while it is resized,
//      against a plain dialog of the same size.
// Usage: shell_bench BUNDLE [ROWS]
#include <QApplication>
#include <QDialog>
#include <QPainter>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/messages.h"
#include "app/settings.h"
#include "history/history.h"
#include "platform/message_box.h"
#include "platform/resource_bundle.h"
#include "platform/text.h"
#include "quiet_services.h"
#include "ui/desktop/desktop_services.h"
#include "ui/history/history_list.h"
#include "ui/history/site_tree_panel.h"
#include "ui/main_window.h"
#include "ui/run/download_run.h"
#include "ui/run/media_intake.h"

namespace {

using Clock = std::chrono::steady_clock;
double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Rows written in one transaction; the program itself adds them one by one.
void Fill(CHistoryDb* db, int rows) {
    db->execDML("BEGIN;");
    for (int i = 0; i < rows; ++i) {
        std::string sql = platform::Format(
            "INSERT INTO history VALUES (NULL, 'YOUTUBE', 'http://www.youtube.com/watch?v=%d', "
            "'/home/u/Clipvane/youtube/video %d.flv', '%d', 'flv1', '300', '25.00', '320x240', "
            "'mp3', '64000', '22050', '2', '1', 'March %02d, 2008 10:%02d:%02d');",
            i, i, 60000 + i, 1 + i % 28, i % 60, i % 60);
        db->execDML(sql);
    }
    db->execDML("COMMIT;");
}

using bench::NoDesktop;
using bench::QuietBoxes;

// Frames per second of `w` repainted at sizes swept back and forth.
double ResizeFps(QWidget& w, double seconds) {
    w.resize(999, 600);
    w.show();
    QApplication::processEvents();
    int frames = 0;
    auto t0 = Clock::now();
    while (Ms(Clock::now() - t0) < seconds * 1000) {
        const int step = frames % 200;
        const int dx = step < 100 ? step * 4 : (200 - step) * 4;
        w.resize(999 + dx, 600 + dx / 2);
        w.repaint();
        QApplication::processEvents();
        ++frames;
    }
    return frames / (Ms(Clock::now() - t0) / 1000);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2 || !platform::ResourceBundle::Current().Load(argv[1])) {
        std::fprintf(stderr, "usage: shell_bench BUNDLE [ROWS]\n");
        return 2;
    }
    const int rows = argc > 2 ? std::atoi(argv[2]) : 100000;
    const std::string dir =
        std::filesystem::temp_directory_path() / ("shell_bench." + std::to_string(getpid()));
    std::filesystem::create_directories(dir + "/config");
    // Settings and placement of the run's own.
    setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
    QuietBoxes boxes;
    platform::SetMessageBoxService(&boxes);
    GetSettings().Update([&](SettingsData& d) { d.OutputFolder = platform::FromUtf8(dir); });
    CHistoryDb* db = nullptr;
    if (!OpenHistory(db, platform::FromUtf8(dir + "/history.db"))) return 1;
    Fill(db, rows);
    NoDesktop desktop;
    auto window = std::make_unique<CClipvaneDlg>(db, &desktop);
    CClipvaneDlg& w = *window;
    w.show();
    while (!w.findChild<ui::DownloadRun*>()->Downloader())
        QApplication::processEvents(QEventLoop::AllEvents, 5);

    // (1) The list shown against the bare query.
    double query = 1e9, shown = 1e9;
    for (int run = 0; run < 3; ++run) {
        std::vector<std::unique_ptr<Task>> tasks;
        auto t0 = Clock::now();
        LoadHistory(db, L"YOUTUBE", tasks);
        query = std::min(query, Ms(Clock::now() - t0));

        w.HandleMessage(WM_SHOW_TASK_LIST, 0, 0);
        QApplication::processEvents();
        t0 = Clock::now();
        w.HandleMessage(WM_SHOW_HISTORY_LIST, 1000, 0);
        w.repaint();
        QApplication::processEvents();
        shown = std::min(shown, Ms(Clock::now() - t0));
        if (w.findChild<ui::HistoryListView*>()->Model()->RowCount() != rows) return 1;
    }
    std::printf(
        "history list: %d rows shown in the window in %.0f ms (bound 1000 ms); bare query "
        "%.0f ms; ratio %.2f\n",
        rows, shown, query, shown / query);

    // (2) The site counts against the four count queries.
    ui::SitePanel& panel = *w.findChild<ui::SitePanel*>();
    double counts = 1e9, bare = 1e9;
    for (int run = 0; run < 5; ++run) {
        auto t0 = Clock::now();
        panel.Recount();
        counts = std::min(counts, Ms(Clock::now() - t0));
        t0 = Clock::now();
        for (const wchar_t* s : {L"YOUTUBE", L"GOOGLE", L"METACAFE", L"NICOVIDEO"})
            CountHistory(db, s);
        bare = std::min(bare, Ms(Clock::now() - t0));
    }
    std::printf("site counts: %.2f ms (bound 50 ms); four count queries %.2f ms; ratio %.2f\n",
                counts, bare, counts / bare);

    // (3) Repaint while resizing, with the task list shown.
    w.HandleMessage(WM_SHOW_TASK_LIST, 0, 0);
    const double skinFps = ResizeFps(w, 3);
    window.reset();
    delete db;
    std::filesystem::remove_all(dir);
    QDialog plain;
    const double plainFps = ResizeFps(plain, 3);
    std::printf(
        "resize repaint: main window %.0f frames/s, plain dialog %.0f frames/s; "
        "ratio %.2f\n",
        skinFps, plainFps, skinFps / plainFps);
    platform::SetMessageBoxService(nullptr);
    return 0;
}

// The window shell's costs, each as a ratio against a reference measured in
// the same run:
//  (1) the history list of N rows, from the query to the list painted,
//      against the bare query into Tasks;
//  (2) the site panel's counts against the four count queries alone;
//  (3) frames per second of the skinned window repainted while it is
//      resized, against a plain dialog of the same size.
// Usage: shell_bench BUNDLE [ROWS]
#include <QApplication>
#include <QDialog>
#include <QPainter>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "history/history.h"
#include "platform/resource_bundle.h"
#include "platform/text.h"
#include "ui/history_list.h"
#include "ui/site_tree_panel.h"
#include "ui/window_shell.h"

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

class SkinnedWindow : public QWidget {
  public:
    SkinnedWindow() : shell_(this) {}

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        shell_.Paint(p, QStringLiteral("Ready"));
    }

  private:
    CWindowShell shell_;
};

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
    const std::string dir = std::filesystem::temp_directory_path() /
                            ("shell_bench." + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    CHistoryDb* db = nullptr;
    if (!OpenHistory(db, platform::FromUtf8(dir + "/history.db"))) return 1;
    Fill(db, rows);

    // (1) The list shown against the bare query.
    double query = 1e9, shown = 1e9;
    for (int run = 0; run < 3; ++run) {
        std::vector<std::unique_ptr<Task>> tasks;
        auto t0 = Clock::now();
        LoadHistory(db, L"YOUTUBE", tasks);
        query = std::min(query, Ms(Clock::now() - t0));

        ui::HistoryListView view(db);
        view.resize(522, 472);
        view.show();
        QApplication::processEvents();
        t0 = Clock::now();
        view.LoadSite(1000);
        view.repaint();
        QApplication::processEvents();
        shown = std::min(shown, Ms(Clock::now() - t0));
        if (view.Model()->RowCount() != rows) return 1;
    }
    std::printf("history list: %d rows shown in %.0f ms (bound 1000 ms); bare query %.0f ms; "
                "ratio %.2f\n",
                rows, shown, query, shown / query);

    // (2) The site counts against the four count queries.
    CSitePanel panel(db);
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
    // The same with an index on the site word, which the database lacks.
    db->execDML("CREATE INDEX history_profile ON history(profile_name);");
    double indexed = 1e9;
    for (int run = 0; run < 5; ++run) {
        auto t0 = Clock::now();
        for (const wchar_t* s : {L"YOUTUBE", L"GOOGLE", L"METACAFE", L"NICOVIDEO"})
            CountHistory(db, s);
        indexed = std::min(indexed, Ms(Clock::now() - t0));
    }
    std::printf("site counts with an index on profile_name: four count queries %.2f ms\n",
                indexed);
    delete db;
    std::filesystem::remove_all(dir);

    // (3) Repaint while resizing.
    SkinnedWindow skinned;
    const double skinFps = ResizeFps(skinned, 3);
    skinned.hide();
    QDialog plain;
    const double plainFps = ResizeFps(plain, 3);
    std::printf("resize repaint: skinned window %.0f frames/s, plain dialog %.0f frames/s; "
                "ratio %.2f\n",
                skinFps, plainFps, skinFps / plainFps);
    return 0;
}

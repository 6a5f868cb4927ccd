// The preview panel playing a clip against the player playing it alone with
// the same video output, on the X server of DISPLAY (bench/preview.sh runs
// it under Xvfb): (1) CPU time of the whole program (itself and the player)
// over the clip, as a ratio to the player's own; (2) the time from Play to
// the first picture drawn in the panel's window.
// Usage: preview_bench [SECONDS] [VO] [RUNS]
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QScreen>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/folders.h"
#include "app/settings.h"
#include "media/cmd_opts.h"
#include "media/command_line.h"
#include "platform/resource_bundle.h"
#include "platform/text.h"
#include "ui/preview/preview_panel.h"

extern char** environ;

namespace {

double Seconds(const timeval& t) {
    return t.tv_sec + t.tv_usec / 1e6;
}
double Cpu(int who) {
    rusage r{};
    getrusage(who, &r);
    return Seconds(r.ru_utime) + Seconds(r.ru_stime);
}

// The player alone: the preview's options without -wid, its own window.
double PlayerAlone(const std::string& player, const std::string& clip, const std::string& vo) {
    std::vector<std::string> args = {player, "-slave", "-quiet", "-nokeepaspect", "-vf-add",
                                     "scale=320:-2,expand=320:240", "-colorkey", "0x10"};
    if (!vo.empty()) args.insert(args.end(), {"-vo", vo});
    args.insert(args.end(), {"-af", "volnorm", clip});
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int in[2];
    if (pipe(in) != 0) return -1;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], 0);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    pid_t pid;
    int err = posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    close(in[0]);
    if (err != 0) return -1;
    int status;
    rusage r{};
    wait4(pid, &status, 0, &r);
    close(in[1]);
    return Seconds(r.ru_utime) + Seconds(r.ru_stime);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool Bright(const QImage& img) {
    int lit = 0, n = 0;
    for (int y = 0; y < img.height(); y += 4)
        for (int x = 0; x < img.width(); x += 4, ++n)
            if (qGray(img.pixel(x, y)) > 90) ++lit;
    return n && lit * 10 > n * 3;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const std::string vo = argc > 2 ? argv[2] : "gl";
    const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);

    char tmpl[] = "/tmp/cv_pbench_XXXXXX";
    std::string dir = mkdtemp(tmpl);
    std::string clip = dir + "/clip.flv";
    std::string make =
        "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc=size=320x240:rate=25 "
        "-f lavfi -i sine -t " +
        std::to_string(seconds) + " -c:v flv -c:a libmp3lame " + clip;
    if (std::system(make.c_str()) != 0) return 1;
    const std::string program = platform::ToUtf8(PlayerProgramPath());
    platform::ResourceBundle::Current().Load(media::WideToBytes(GetProgramFolder()) + "/cvres.bundle");
    GetSettings().Update([&](SettingsData& d) { d.MPLAYER_VO = platform::FromUtf8(vo); });

    QWidget window;
    window.resize(300, 270);
    auto* panel = new CPreviewPanel(&window);
    panel->move(8, 8);
    window.show();
    for (int i = 0; i < 20; ++i) app.processEvents(QEventLoop::AllEvents, 10);

    Task task;
    task.source = platform::FromUtf8(clip);
    task.durationMs = task.cutEndMs = seconds * 1000;

    // (1) CPU over the whole clip.
    double alone = PlayerAlone(program, clip, vo);
    panel->SetTask(&task);
    double self0 = Cpu(RUSAGE_SELF), kids0 = Cpu(RUSAGE_CHILDREN);
    QElapsedTimer wall;
    wall.start();
    panel->PlayTask(true);
    while (panel->playState() != CPreviewPanel::kStopped) app.processEvents(QEventLoop::WaitForMoreEvents);
    const double ours = Cpu(RUSAGE_SELF) - self0, player = Cpu(RUSAGE_CHILDREN) - kids0;
    std::printf("preview CPU over a %d s clip (vo %s): program %.2f s + player %.2f s = %.2f s in %.1f s\n",
                seconds, vo.c_str(), ours, player, ours + player, wall.elapsed() / 1000.0);
    std::printf("player alone:                        %.2f s\n", alone);
    std::printf("ratio preview / player alone:        %.2f (target <= 1.3)\n", (ours + player) / alone);

    // (2) Play to the first picture in the panel's window.
    std::vector<double> firsts;
    for (int i = 0; i < runs; ++i) {
        panel->SetTask(&task);
        // The stopped picture is back in the area before Play.
        QElapsedTimer settle;
        settle.start();
        while (settle.elapsed() < 300) app.processEvents(QEventLoop::AllEvents, 20);
        QElapsedTimer t;
        t.start();
        panel->PlayTask(true);
        double ms = -1;
        while (t.elapsed() < 15000 && panel->playState() == CPreviewPanel::kPlaying) {
            app.processEvents(QEventLoop::AllEvents, 2);
            QImage img = QGuiApplication::primaryScreen()->grabWindow(panel->videoWindow()->winId()).toImage();
            if (Bright(img)) {
                ms = static_cast<double>(t.nsecsElapsed()) / 1e6;
                break;
            }
        }
        panel->Stop();
        if (ms >= 0) firsts.push_back(ms);
    }
    if (!firsts.empty())
        std::printf("Play to first drawn frame:           median %.0f ms of %zu runs (min %.0f, max %.0f)\n",
                    Median(firsts), firsts.size(), *std::min_element(firsts.begin(), firsts.end()),
                    *std::max_element(firsts.begin(), firsts.end()));
    else
        std::printf("Play to first drawn frame:           no frame was drawn\n");
    std::filesystem::remove_all(dir);
    return 0;
}

// (1) ProbeMediaFile on a 5-second FLV against mplayer -identify run
// directly, median of N each, as a ratio. (2) History with many rows: the
// adds, the four counts, the listing of the largest site and an open.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "history/history.h"
#include "media/cmd_mplayer.h"
#include "media/cmd_opts.h"
#include "media/command_line.h"
#include "platform/text.h"

extern char** environ;
using Clock = std::chrono::steady_clock;

namespace {
double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}
double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
void Direct(const std::string& player, const std::string& file) {
    const char* argv[] = {player.c_str(), file.c_str(), "-frames", "0",         "-vo",
                          "null",         "-ao",        "null",    "-identify", nullptr};
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    pid_t pid;
    if (posix_spawnp(&pid, argv[0], &fa, nullptr, const_cast<char**>(argv), environ) == 0)
        waitpid(pid, nullptr, 0);
    posix_spawn_file_actions_destroy(&fa);
}
}  // namespace

int main(int argc, char** argv) {
    int runs = argc > 1 ? std::atoi(argv[1]) : 10;
    int rows = argc > 2 ? std::atoi(argv[2]) : 100000;
    char tmpl[] = "/tmp/cv_bench_XXXXXX";
    std::string dir = mkdtemp(tmpl);
    std::string flv = dir + "/five.flv";
    std::string make =
        "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc=size=320x240:rate=25 "
        "-f lavfi -i sine -t 5 -c:v flv -c:a libmp3lame " +
        flv;
    if (std::system(make.c_str()) != 0) return 1;
    std::string player = media::WideToBytes(PlayerProgramPath());

    std::vector<double> ours, direct;
    for (int i = 0; i < runs; ++i) {
        auto t0 = Clock::now();
        Direct(player, flv);
        direct.push_back(Ms(Clock::now() - t0));
        Task t;
        t0 = Clock::now();
        if (!ProbeMediaFile(media::BytesToWide(flv), t)) return 1;
        ours.push_back(Ms(Clock::now() - t0));
    }
    double o = Median(ours), d = Median(direct);
    std::printf(
        "probe: ProbeMediaFile %.1f ms, mplayer direct %.1f ms, ratio %.3f (target <= 1.1)\n", o, d,
        o / d);

    std::wstring db = media::BytesToWide(dir + "/history.db");
    CHistoryDb* h = nullptr;
    if (!OpenHistory(h, db)) return 1;
    Task t;
    t.videoFormat = L"FLV1";
    t.width = 320;
    t.height = 240;
    t.cutEndMs = 5000;
    auto t0 = Clock::now();
    for (int i = 0; i < rows; ++i) {
        t.siteKind = i % 10 < 7 ? 0 : i % 10 < 8 ? 1 : i % 10 < 9 ? 2 : 3;
        t.source = L"/home/u/Clipvane/video" + std::to_wstring(i) + L".flv";
        t.originAddress = L"http://www.youtube.com/watch?v=" + std::to_wstring(i);
        AddHistoryRow(h, t);
    }
    double add = Ms(Clock::now() - t0);
    std::printf("history: %d AddHistoryRow %.0f ms (%.3f ms a row)\n", rows, add, add / rows);
    for (const wchar_t* s : {L"YOUTUBE", L"GOOGLE", L"METACAFE", L"NICOVIDEO"}) {
        t0 = Clock::now();
        int n = CountHistory(h, s);
        std::printf("history: CountHistory %ls = %d: %.2f ms\n", s, n, Ms(Clock::now() - t0));
    }
    std::vector<std::unique_ptr<Task>> list;
    t0 = Clock::now();
    LoadHistory(h, L"YOUTUBE", list);
    std::printf("history: LoadHistory YOUTUBE %zu rows: %.1f ms\n", list.size(),
                Ms(Clock::now() - t0));
    delete h;
    t0 = Clock::now();
    OpenHistory(h, db);
    std::printf("history: OpenHistory with %d rows: %.2f ms\n", rows, Ms(Clock::now() - t0));
    delete h;
    std::filesystem::remove_all(dir);
    return 0;
}

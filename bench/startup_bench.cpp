// Start-up benchmark: time from starting Clipvane until its main window is
// shown and closed again, against a bare Qt program that shows and closes
// one empty dialog, measured alternately in the same run.
// Usage: startup_bench CLIPVANE BARE_DIALOG [RUNS]
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;
using Clock = std::chrono::steady_clock;

namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Runs one program until `marker` appears in `watch`, then SIGTERM, then exit.
double TimeOnce(const std::string& prog, const std::string& home, const std::string& watch,
                const std::string& marker, const std::string& out) {
    std::vector<std::string> env = {"HOME=" + home,
                                    "XDG_CONFIG_HOME=" + home + "/config",
                                    "XDG_DATA_HOME=" + home + "/data",
                                    "QT_QPA_PLATFORM=offscreen",
                                    "LANG=en_US.UTF-8",
                                    "PATH=/usr/bin:/bin"};
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string p = prog;
    char* argv[] = {p.data(), nullptr};
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    size_t before = watch == out ? 0 : Slurp(watch).size();
    auto t0 = Clock::now();
    pid_t pid;
    if (posix_spawn(&pid, p.c_str(), &fa, nullptr, argv, envp.data()) != 0) return -1;
    posix_spawn_file_actions_destroy(&fa);
    while (Slurp(watch).find(marker, before) == std::string::npos) {
        if (Clock::now() - t0 > std::chrono::seconds(30)) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    kill(pid, SIGTERM);
    int st;
    waitpid(pid, &st, 0);
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: startup_bench CLIPVANE BARE_DIALOG [RUNS]\n");
        return 2;
    }
    int runs = argc > 3 ? std::atoi(argv[3]) : 15;
    char tmpl[] = "/tmp/cvbench.XXXXXX";
    std::string home = mkdtemp(tmpl);
    std::string log = home + "/data/Clipvane/vuzeziv.log";
    std::string bareOut = home + "/bare.txt";
    std::vector<double> ours, bare;
    for (int i = 0; i < runs + 1; ++i) {
        double a = TimeOnce(argv[1], home, log, "Main dialog shown.", home + "/ours.txt");
        double b = TimeOnce(argv[2], home, bareOut, "shown", bareOut);
        if (a < 0 || b < 0) {
            std::fprintf(stderr, "startup_bench: a program did not show its window\n");
            return 1;
        }
        if (i == 0) continue;  // warm-up
        ours.push_back(a);
        bare.push_back(b);
    }
    double mo = Median(ours), mb = Median(bare);
    std::printf(
        "startup: clipvane %.1f ms, bare Qt dialog %.1f ms (median of %d), ratio %.2f (target <= "
        "1.5)\n",
        mo, mb, runs, mo / mb);
    std::filesystem::remove_all(home);
    return 0;
}

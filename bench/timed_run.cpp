// Runs a program and writes "<seconds> <peak RSS in KiB> <exit status>
// <start>" of it into a file: wall time from the start of the process to its
// end, the peak the kernel counted for it, and the moment it was started in
// seconds of the monotonic clock; then a second line "cpu <seconds>": the
// processor time (user and system) of the program and what it waited for.
//   timed_run RESULT-FILE PROGRAM [ARGS...]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: timed_run RESULT-FILE PROGRAM [ARGS...]\n");
        return 2;
    }
    auto t0 = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid < 0) return 1;
    if (pid == 0) {
        execvp(argv[2], argv + 2);
        _exit(127);
    }
    int status = 0;
    struct rusage ru {};
    if (wait4(pid, &status, 0, &ru) != pid) return 1;
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::FILE* f = std::fopen(argv[1], "w");
    if (!f) return 1;
    std::fprintf(f, "%.4f %ld %d %.6f\n", s, ru.ru_maxrss,
                 WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
                 std::chrono::duration<double>(t0.time_since_epoch()).count());
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    std::fprintf(f, "cpu %.4f\n", seconds(ru.ru_utime) + seconds(ru.ru_stime));
    return std::fclose(f) == 0 ? 0 : 1;
}

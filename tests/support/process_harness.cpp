#include "support/process_harness.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace testsupport {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/cvtest.XXXXXX";
    char* p = mkdtemp(tmpl.data());
    path_ = p ? p : "";
}

TempDir::~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFile(const std::string& path, const std::string& data) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

bool WaitFor(const std::function<bool()>& cond, std::chrono::milliseconds limit) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (cond()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return cond();
}

std::string ProgramPath() {
    return std::string(CLIPVANE_PROGRAM_DIR) + "/clipvane";
}

ProgramRun::ProgramRun(std::string program, const std::string& home)
    : program_(std::move(program)), home_(home), outPath_(home + "/output.txt") {
    for (char** e = environ; *e; ++e) {
        std::string kv = *e;
        size_t eq = kv.find('=');
        if (eq != std::string::npos) env[kv.substr(0, eq)] = kv.substr(eq + 1);
    }
    env["HOME"] = home;
    env["XDG_CONFIG_HOME"] = home + "/config";
    env["XDG_DATA_HOME"] = home + "/data";
    env["QT_QPA_PLATFORM"] = "offscreen";
    env["LANG"] = "en_US.UTF-8";
    env.erase("LC_ALL");
    env.erase("LC_MESSAGES");
}

ProgramRun::~ProgramRun() {
    if (pid_ > 0 && Running()) {
        ::kill(pid_, SIGKILL);
        Wait(std::chrono::seconds(10));
    }
}

bool ProgramRun::Start() {
    std::vector<std::string> kv;
    for (auto& [k, v] : env) kv.push_back(k + "=" + v);
    std::vector<char*> envp;
    for (auto& s : kv) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::string prog = program_;
    std::vector<std::string> words = args;
    std::vector<char*> argv = {prog.data()};
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    int rc = posix_spawn(&pid_, prog.c_str(), &fa, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&fa);
    return rc == 0;
}

bool ProgramRun::Running() {
    if (pid_ <= 0 || status_ != -1) return false;
    int st = 0;
    pid_t r = waitpid(pid_, &st, WNOHANG);
    if (r == pid_) {
        status_ = st;
        return false;
    }
    return r == 0;
}

int ProgramRun::Wait(std::chrono::milliseconds limit) {
    if (!WaitFor([this] { return !Running(); }, limit)) return -1;
    return status_;
}

void ProgramRun::Signal(int sig) {
    if (pid_ > 0 && Running()) ::kill(pid_, sig);
}

std::string ProgramRun::Output() const {
    return ReadFile(outPath_);
}

int RunUntilShownAndClose(ProgramRun& run, int sig) {
    auto shown = [&] {
        std::string log = ReadFile(run.LogPath());
        size_t n = 0;
        for (size_t at = log.find("Main dialog shown."); at != std::string::npos;
             at = log.find("Main dialog shown.", at + 1))
            ++n;
        return n;
    };
    size_t before = shown();
    if (!run.Start()) return -1;
    // Sanitizer builds start slowly on a shared machine: allow for it.
    if (!WaitFor([&] { return shown() > before; }, std::chrono::seconds(60))) return -1;
    run.Signal(sig);
    return run.Wait(std::chrono::seconds(60));
}

}  // namespace testsupport

#include "support/process_harness.h"

#include <signal.h>
#include <sys/wait.h>

#include <cstdio>
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

int RunShell(const std::string& cmd, std::string& output) {
    output.clear();
    FILE* p = popen((cmd + " 2>&1").c_str(), "r");
    if (!p) return -1;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) output.append(buf, n);
    int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
    if (Running()) {
        child_.Kill(SIGKILL);
        Wait(std::chrono::seconds(10));
    }
}

bool ProgramRun::Start() {
    platform::ChildOptions o;
    o.argv.push_back(program_);
    o.argv.insert(o.argv.end(), args.begin(), args.end());
    o.env.emplace();
    for (auto& [k, v] : env) o.env->push_back(k + "=" + v);
    o.out = platform::ChildStream::kFile;
    o.outputFile = outPath_;
    o.err = platform::ChildStream::kToStdout;
    return child_.Spawn(o) == 0;
}

bool ProgramRun::Running() {
    if (child_.pid() <= 0 || child_.Reaped()) return false;
    return !child_.Wait(0).has_value();
}

int ProgramRun::Wait(std::chrono::milliseconds limit) {
    return child_.Wait(static_cast<int>(limit.count())).value_or(-1);
}

void ProgramRun::Signal(int sig) {
    if (Running()) child_.Kill(sig);
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

#include "fakesites_harness.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/text.h"

namespace testsupport {

std::string RecordedRequest::Header(const std::string& name) const {
    for (const auto& [k, v] : headers)
        if (platform::EqualsNoCase(platform::FromUtf8(k), platform::FromUtf8(name))) return v;
    return "";
}

bool FakeSites::Start(const std::string& scenario) {
    WriteFile(dir_ / "scenario.json", scenario);
    return Launch(dir_ / "scenario.json");
}

bool FakeSites::StartFile(const std::string& name) {
    return Launch(std::string(CLIPVANE_TEST_SRC_DIR) + "/tests/fakesites/scenarios/" + name);
}

bool FakeSites::Launch(const std::string& scenarioPath) {
    std::string script = std::string(CLIPVANE_TEST_SRC_DIR) + "/tests/fakesites/fakesites.py";
    std::vector<std::string> args = {"python3",  script,   "--scenario", scenarioPath,
                                     "--record", dir_ / "record.txt", "--tls", dir_.path()};
    if (!filesDir.empty()) {
        args.push_back("--files");
        args.push_back(filesDir);
    }
    return Spawn(std::move(args), 10000);
}

bool FakeSites::StartDemo() {
    std::string script = std::string(CLIPVANE_TEST_SRC_DIR) + "/tests/fakesites/demo_sites.sh";
    // Making the videos takes a few seconds on a busy machine.
    return Spawn({"sh", script, dir_.path(), "--record", dir_ / "record.txt"}, 120000);
}

bool FakeSites::Spawn(std::vector<std::string> args, int waitMs) {
    platform::ChildOptions o;
    o.argv = std::move(args);
    o.in = platform::ChildStream::kPipe;
    o.out = platform::ChildStream::kPipe;
    if (server_.Spawn(o) != 0) return false;
    // The first line names the port.
    std::string line;
    pollfd p{server_.stdoutPipe().get(), POLLIN, 0};
    while (line.find('\n') == std::string::npos && poll(&p, 1, waitMs) > 0) {
        char buf[64];
        ssize_t n = read(p.fd, buf, sizeof buf);
        if (n <= 0) break;
        line.append(buf, static_cast<size_t>(n));
    }
    server_.stdoutPipe().Reset();
    if (line.rfind("PORT ", 0) != 0) return false;
    port_ = std::atoi(line.c_str() + 5);
    return port_ > 0;
}

void FakeSites::UseAsProxy() const {
    setenv("http_proxy", ProxyUrl().c_str(), 1);
    setenv("https_proxy", ProxyUrl().c_str(), 1);
    setenv("CURL_CA_BUNDLE", CaBundle().c_str(), 1);
}

FakeSites::~FakeSites() {
    // Closing its input ends the server; one that does not end is killed.
    server_.stdinPipe().Reset();
    if (server_.pid() > 0 && !server_.Wait(5000)) {
        server_.Kill(SIGKILL);
        server_.Wait();
    }
}

std::vector<RecordedRequest> FakeSites::Requests() const {
    std::vector<RecordedRequest> all;
    for (const std::string& line : SplitLines(ReadFile(dir_ / "record.txt"))) {
        if (line.rfind("REQUEST ", 0) == 0) {
            RecordedRequest r;
            size_t sp = line.find(' ', 8);
            r.method = line.substr(8, sp - 8);
            r.target = sp == std::string::npos ? "" : line.substr(sp + 1);
            all.push_back(r);
        } else if (all.empty()) {
            continue;
        } else if (line.rfind("H ", 0) == 0) {
            size_t c = line.find(": ");
            if (c != std::string::npos)
                all.back().headers.emplace_back(line.substr(2, c - 2), line.substr(c + 2));
        } else if (line.rfind("B ", 0) == 0) {
            for (size_t i = 2; i + 1 < line.size(); i += 2)
                all.back().body.push_back(
                    static_cast<char>(std::stoi(line.substr(i, 2), nullptr, 16)));
        }
    }
    return all;
}

}  // namespace testsupport

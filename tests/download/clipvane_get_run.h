#pragma once
// Running the built clipvane-get as a user would.
#include <sys/wait.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "fakesites_harness.h"
#include "support/process_harness.h"

namespace testsupport {

inline std::string ClipvaneGetPath() {
    return std::string(CLIPVANE_PROGRAM_DIR) + "/clipvane-get";
}

// The exit status, or 1000 + the wait status when it did not exit.
inline int ExitStatus(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + status;
}

// Starts the run and waits up to 60 s for its exit status; -1 when it did
// not start.
inline int RunTool(ProgramRun& run) {
    if (!run.Start()) return -1;
    return ExitStatus(run.Wait(std::chrono::seconds(60)));
}

// The YouTube scenario of the stand-in sites (abc123 downloads a short real
// video) with further routes in front.
inline std::string YouTubeScenarioWith(const std::string& routes) {
    std::string base =
        ReadFile(std::string(CLIPVANE_TEST_SRC_DIR) + "/tests/fakesites/scenarios/youtube.json");
    return base.insert(base.find('[') + 1, routes + ",");
}

// `run` reaches the web through the stand-in sites, and nothing else.
inline void UseStandIn(ProgramRun& run, const FakeSites& sites) {
    run.env["http_proxy"] = sites.ProxyUrl();
    run.env.erase("https_proxy");
    run.env.erase("no_proxy");
}

// clipvane-get in `home` with `args`, through the stand-in sites.
inline std::unique_ptr<ProgramRun> GetRun(const FakeSites& sites, const TempDir& home,
                                          std::vector<std::string> args) {
    auto run = std::make_unique<ProgramRun>(ClipvaneGetPath(), home.path());
    UseStandIn(*run, sites);
    run->args = std::move(args);
    return run;
}

}  // namespace testsupport

#pragma once
// Running the built clipvane-get as a user would.
#include <sys/wait.h>

#include <chrono>
#include <string>

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

}  // namespace testsupport
